// Wintec data logger driver: the line automaton, the commands and waits, identify and
// connect, the datalog download into a TMN-V3 log, the erase and the close.
#include "gps/loggers/wintec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "gps/gpsport.h"
#include "gps/loggers/item_file.h"
#include "shell/framework/progress.h"

namespace {

// Byte classes: '@', CR, LF, ',', letter or apostrophe, digit, other.
enum byte_class : int { kAt, kCr, kLf, kComma, kLetter, kDigit, kOther, kClasses };
enum action : int { kNone, kReset, kNameChar, kNameEnd, kFieldChar, kComplete };

struct step {
  uint8_t action;
  uint8_t next;
};

constexpr step kLineTable[5][kClasses] = {
    {{kNone, 1}, {kNone, 0}, {kNone, 0}, {kNone, 0}, {kNone, 0}, {kNone, 0}, {kNone, 0}},
    {{kReset, 0}, {kReset, 0}, {kReset, 0}, {kReset, 0}, {kNameChar, 2}, {kReset, 0}, {kReset, 0}},
    {{kReset, 0}, {kReset, 0}, {kReset, 0}, {kNameEnd, 3}, {kNameChar, 2}, {kNameChar, 2}, {kReset, 0}},
    {{kReset, 0}, {kNone, 4}, {kComplete, 0}, {kFieldChar, 3}, {kFieldChar, 3}, {kFieldChar, 3},
     {kFieldChar, 3}},
    {{kReset, 0}, {kReset, 4}, {kComplete, 0}, {kReset, 0}, {kReset, 0}, {kReset, 0}, {kReset, 0}},
};

int classify(uint8_t b) {
  if (b == '@') return kAt;
  if (b == '\r') return kCr;
  if (b == '\n') return kLf;
  if (b == ',') return kComma;
  if (std::isalpha(b) || b == '\'') return kLetter;
  if (std::isdigit(b)) return kDigit;
  return kOther;
}

void reset_line(wintec_ctx* c) {
  c->name_length = 0;
  c->name[0] = 0;
  c->field_count = 0;
  if (c->fields) c->fields[0] = 0;
  c->kind = 0;
}

void field_char(wintec_ctx* c, uint8_t b) {
  if (c->field_count >= kWintecMaxLine) {  // no line of the protocol is this long
    reset_line(c);
    c->state = 0;
    return;
  }
  if (uint32_t(c->field_count) + 20 >= c->field_capacity) {
    uint32_t want = uint32_t(c->field_count) + 201;
    realloc_mem(&c->fields, want);
    c->field_capacity = want;
  }
  c->fields[c->field_count++] = char(b);
  c->fields[c->field_count] = 0;
}

// The fields of the completed line, split in place (at most `max`).
int split_fields(char* text, char** out, int max) {
  int n = 0;
  char* p = text;
  while (n < max) {
    out[n++] = p;
    char* comma = std::strchr(p, ',');
    if (!comma) break;
    *comma = 0;
    p = comma + 1;
  }
  return n;
}

void signal_done(wintec_ctx* c) {
  if (c->wait) c->wait->done = 1;
}

void write_block(wintec_ctx* c) {
  const int whole = c->raw_count / kWintecRecordSize;  // a partial record is not a record
  char line[200];
  for (int i = 0; i < whole; ++i) {
    const wintec_record r = wintec_record_decode(c->raw + i * kWintecRecordSize);
    const int n = wintec_record_line(r, line, sizeof line);
    if (c->out && n > 0) std::fwrite(line, 1, size_t(n), c->out);
    ++c->records;
  }
}

void on_checksum_line(wintec_ctx* c, char** f, int n) {
  if (c->requested <= 0 || c->block_decoded || c->raw_count != c->requested || n < 2) return;
  unsigned value = 0;
  if (std::sscanf(f[1], "%x", &value) != 1) return;
  c->checksum = int32_t(value & 0xFF);
  uint8_t x = 0;
  for (int i = 0; i < c->raw_count; ++i) x ^= c->raw[i];
  if (x != c->checksum) return;  // the caller asks for the block again
  write_block(c);
  c->block_decoded = 1;
}

void store_value(wintec_ctx* c, uint32_t param, const char* text) {
  uint32_t v = 0;
  if (!parse_uint_strict(text, &v) || !*text) return;
  switch (param) {
    case 1: c->data_start = v; break;
    case 2: c->data_end = v; break;
    case 9: c->area_start = v; break;
    case 10: c->area_end = v; break;
    default: break;
  }
}

void on_al_line(wintec_ctx* c) {
  char* f[8];
  const int n = split_fields(c->fields, f, 8);
  c->line_fields = n;
  char first[32];
  std::snprintf(first, sizeof first, "%s", f[0]);
  for (char* p = first; *p; ++p) *p = char(std::tolower(static_cast<unsigned char>(*p)));
  if (std::strstr(first, "login") && std::strstr(first, "ok")) {
    if (c->expected_command == 0) signal_done(c);
    return;
  }
  if (std::strcmp(first, "cs") == 0) {
    on_checksum_line(c, f, n);
    return;
  }
  if (n < 2) return;
  uint32_t cmd = 0, param = 0;
  if (!parse_uint_strict(f[0], &cmd) || !parse_uint_strict(f[1], &param) || !*f[0] || !*f[1]) return;
  const bool expected = int32_t(cmd) == c->expected_command && int32_t(param) == c->expected_param;
  switch (cmd) {
    case 2:
      if (expected) signal_done(c);
      break;
    case 5:
      if (!expected) break;
      if (n >= 3) store_value(c, param, f[2]);
      signal_done(c);
      break;
    case 7:
      if (!expected) break;
      if (param == 1 && n >= 3) str_set(f[2], &c->device_name);
      signal_done(c);
      break;
    case 8: {
      if (!expected) break;
      static const char* const kLabels[4] = {"", " hardw. ", " softw. ", " log "};
      if (n >= 3 && param >= 1 && param <= 3 && c->device_name) {
        str_cat(kLabels[param], &c->device_name);
        str_cat(f[2], &c->device_name);
      }
      signal_done(c);
      break;
    }
    default:
      break;
  }
}

void run_action(wintec_ctx* c, int act, uint8_t b) {
  switch (act) {
    case kReset:
      reset_line(c);
      break;
    case kNameChar:
      if (c->name_length < kWintecNameMax) {
        c->name[c->name_length++] = char(b);
        c->name[c->name_length] = 0;
      }
      break;
    case kNameEnd:
      c->kind = std::strcmp(c->name, "AL") == 0 ? 1 : 0;
      break;
    case kFieldChar:
      field_char(c, b);
      break;
    case kComplete:
      if (c->wait) c->wait->progress = 1;
      if (c->kind == 1) on_al_line(c);
      reset_line(c);
      break;
    default:
      break;
  }
}

void line_byte(wintec_ctx* c, uint8_t b) {
  const step s = kLineTable[c->state][classify(b)];
  run_action(c, s.action, b);
  c->state = s.next;
}

constexpr const char* kLoginCommand = "@AL\r\n";
constexpr const char* kCloseCommand = "@AL,2,1\r\n";
constexpr const char* kLogHeader =
    "TMN-V3_Tarmelo_Navigation_logfile\n#Wintec %s\n"
    "#longitude;latitude;time;trackflags;altitude;height;depth;temperature;speed;direction;"
    "nbsatsinvue;nbsatsused;dgps;fix;hdop;pdop;\n";

int query_value(wintec_ctx* c, int param) {
  c->expected_command = 5;
  c->expected_param = param;
  return wintec_command(c, nullptr, 10, 10, 60);
}

void context_free(wintec_ctx** ctx) {
  if (!ctx || !*ctx) return;
  wintec_ctx* c = *ctx;
  port_reader_free(&c->wait);
  free_mem(&c->fields);
  free_mem(&c->device_name);
  free_mem(&c->command);
  free_mem(ctx);
}

// Reads the block at `address` into the log, a few tries: 1 when it was written.
int read_block(wintec_ctx* c, uint32_t address, int requested) {
  char text[48];
  std::snprintf(text, sizeof text, "@AL,5,3,%u\r\n", address);
  c->expected_command = 5;
  c->expected_param = 3;
  for (int attempt = 0; attempt < kWintecBlockTries; ++attempt) {
    c->requested = requested;
    c->raw_count = 0;
    c->block_decoded = 0;
    c->state = 0;
    reset_line(c);
    wintec_command(c, text, 4, 10, 100);
    if (get_gblerr()) break;
    if (c->block_decoded) {
      c->requested = 0;
      return 1;
    }
  }
  c->requested = 0;
  return 0;
}

// The download's range checks: true when the data range lies inside the log area (an
// empty range included: the log of an erased logger).
bool ranges_fit(const wintec_ctx* c) {
  if (c->area_end < c->area_start) return false;
  if (c->data_start < c->area_start || c->data_start > c->area_end) return false;
  if (c->data_end < c->data_start || c->data_end > c->area_end) return false;
  return true;
}

}  // namespace

wintec_record wintec_record_decode(const uint8_t* p) {
  wintec_record r;
  r.flags = uint16_t(p[0] | p[1] << 8);
  r.time = uint32_t(p[2]) | uint32_t(p[3]) << 8 | uint32_t(p[4]) << 16 | uint32_t(p[5]) << 24;
  r.lat = int32_t(uint32_t(p[6]) | uint32_t(p[7]) << 8 | uint32_t(p[8]) << 16 | uint32_t(p[9]) << 24);
  r.lon = int32_t(uint32_t(p[10]) | uint32_t(p[11]) << 8 | uint32_t(p[12]) << 16 | uint32_t(p[13]) << 24);
  r.alt = int16_t(uint16_t(p[14] | p[15] << 8));
  return r;
}

namespace {
// Signed decimal degrees with seven decimals from 1e-7 units ("-0.5000000" keeps its sign).
int degrees_text(int32_t units, char* out, int size) {
  const int64_t v = units;
  const int64_t a = v < 0 ? -v : v;
  return std::snprintf(out, size_t(size), "%s%lld.%07lld", v < 0 ? "-" : "", (long long)(a / 10000000),
                       (long long)(a % 10000000));
}
}  // namespace

int wintec_record_line(const wintec_record& r, char* out, int size) {
  char lon[24], lat[24];
  degrees_text(r.lon, lon, sizeof lon);
  degrees_text(r.lat, lat, sizeof lat);
  date_rec when{};
  date_from_bits_year2000(r.time, &when);
  char* time_text = nullptr;
  format_date_iso_span(&when, 1, 1, &time_text);
  const char* t = time_text ? time_text : "";
  const char q = pick_quote_char(t, nullptr);
  const int n = std::snprintf(out, size_t(size), "%s;%s;%c%s%c;%d;%.12le;;;;;;;;;;;;\n", lon, lat, q, t,
                              q, r.flags & 3, double(r.alt));
  free_mem(&time_text);
  return n < size ? n : size - 1;
}

void wintec_feed(const uint8_t* bytes, int count, port_reader* reader) {
  wintec_ctx* c = reinterpret_cast<wintec_ctx*>(reader);
  int i = 0;
  while (i < count) {
    if (c->requested > 0 && c->raw_count < c->requested && !c->block_decoded) {
      // Block bytes are data whatever they hold: taken raw up to the count requested.
      const int take = std::min(count - i, c->requested - c->raw_count);
      std::memcpy(c->raw + c->raw_count, bytes + i, size_t(take));
      c->raw_count += take;
      i += take;
      if (c->wait) c->wait->progress = 1;
      continue;
    }
    line_byte(c, bytes[i++]);
    if (get_gblerr()) return;
  }
}

wintec_ctx* wintec_ctx_create(com_device* dev, wintec_ctx** out) {
  *out = nullptr;
  wintec_ctx* c = nullptr;
  alloc_mem_zero(&c, sizeof *c);
  if (!c) return nullptr;
  c->device = dev;
  c->read = com_read_routine;
  alloc_mem_zero(&c->fields, kWintecFieldStart + 12);
  c->field_capacity = kWintecFieldStart + 12;
  c->checksum = -1;
  port_reader_create(wintec_feed, reinterpret_cast<port_reader*>(c), &c->wait);
  if (!c->fields || !c->wait) {
    context_free(&c);
    return nullptr;
  }
  *out = c;
  return c;
}

int wintec_command(wintec_ctx* c, const char* text, double silence_s, double no_frame_s,
                   double total_s) {
  c->wait->no_data_timeout_s = silence_s;
  c->wait->no_progress_timeout_s = no_frame_s;
  c->wait->overall_timeout_s = total_s;
  c->wait->done = 0;
  c->wait->progress = 0;
  c->wait->result = 0;
  if (text) {
    str_set(text, &c->command);
  } else {
    char line[48];
    std::snprintf(line, sizeof line, "@AL,%d,%d\r\n", c->expected_command, c->expected_param);
    str_set(line, &c->command);
  }
  if (!c->command) return 0;
  com_write(static_cast<com_device*>(c->device), c->command, int(std::strlen(c->command)));
  return port_read_loop(c->wait);
}

int wintec_query(wintec_ctx* c) {
  c->expected_command = 0;
  c->expected_param = 0;
  if (wintec_command(c, kLoginCommand, 10, 30, 60) != PORT_DONE) return 0;
  c->expected_command = 7;
  c->expected_param = 1;
  wintec_command(c, nullptr, 10, 10, 60);
  if (!c->device_name || !*c->device_name) return 0;
  for (int p = 1; p <= 3; ++p) {
    c->expected_command = 8;
    c->expected_param = p;
    wintec_command(c, nullptr, 10, 10, 60);
  }
  return get_gblerr() == 0;
}

int32_t wintec_probe(const char* device_name, gpsport_t* port) {
  com_device* dev = nullptr;
  com_open(device_name, kWintecSpeed, &dev);
  if (!dev) return GPS_IDENTIFY_NONE;
  wintec_ctx* c = nullptr;
  wintec_ctx_create(dev, &c);
  if (!c || !wintec_query(c)) {
    set_gblerr(0);
    void* d = c;
    wintec_free(&d);
    com_close(&dev);
    return GPS_IDENTIFY_NONE;
  }
  str_set(c->device_name, &port->display_name);
  port->capabilities = kWintecCapabilities;
  port->family = GPS_WINTEC;
  port->kind = GPSPORT_SERIAL;
  port->speed = kWintecSpeed;
  port->connection = dev;
  port->driver = c;
  return 1;
}

int32_t wintec_open(gpsport_t* port) {
  com_device* dev = nullptr;
  com_open(port->device_path, port->speed ? port->speed : kWintecSpeed, &dev);
  if (!dev) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  wintec_ctx* c = nullptr;
  wintec_ctx_create(dev, &c);
  const bool same = c && wintec_query(c) && port->display_name &&
                    std::strcmp(c->device_name, port->display_name) == 0;
  if (!same) {
    void* d = c;
    wintec_free(&d);
    com_close(&dev);
    set_gblerr(ERR_PROTOCOL);
    return 0;
  }
  port->connection = dev;
  port->driver = c;
  return 1;
}

void wintec_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                         const char* extension) {
  wintec_ctx* c = static_cast<wintec_ctx*>(driver);
  if (count) *count = 0;
  if (!c) return;
  c->device = connection;
  progress_step("Wintec - Datalog", 0.0);
  static const int kParams[4] = {9, 10, 1, 2};
  for (int p : kParams) {
    if (query_value(c, p) != PORT_DONE) {
      if (!get_gblerr()) set_gblerr(ERR_PROTOCOL);
      return;
    }
  }
  if (!ranges_fit(c)) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  const uint32_t points = (c->data_end - c->data_start) / kWintecRecordSize;
  c->out = gps_item_file_open(base_name, extension);
  if (!c->out) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  std::fprintf(c->out, kLogHeader, c->device_name ? c->device_name : "");
  c->records = 0;
  for (uint32_t address = c->data_start; address < c->data_end; address += kWintecBlockSize) {
    const int requested = int(std::min<uint32_t>(c->data_end - address, kWintecBlockSize));
    if (!read_block(c, address, requested)) {
      if (!get_gblerr()) set_gblerr(ERR_PROTOCOL);
      break;
    }
    char text[80];
    std::snprintf(text, sizeof text, "Datalog : point %d / %u", c->records, points);
    progress_step(text, points ? double(c->records) / points : 1.0);
  }
  if (count) *count = c->records;
  std::fclose(c->out);
  c->out = nullptr;
}

void wintec_erase_log(void* connection, void* driver, int32_t* count) {
  wintec_ctx* c = static_cast<wintec_ctx*>(driver);
  if (count) *count = 0;
  if (!c) return;
  c->device = connection;
  c->expected_command = 5;
  c->expected_param = 6;
  if (wintec_command(c, nullptr, 300, 300, 300) != PORT_DONE && !get_gblerr()) set_gblerr(ERR_PROTOCOL);
}

void wintec_free(void** driver) {
  if (!driver || !*driver) return;
  wintec_ctx* c = static_cast<wintec_ctx*>(*driver);
  if (c->device_name && c->device)
    com_write(static_cast<com_device*>(c->device), kCloseCommand, int(std::strlen(kCloseCommand)));
  if (c->out) std::fclose(c->out);
  context_free(&c);
  *driver = nullptr;
}

void wintec_install() {
  gps_device_column& col = gps_device_table[GPS_WINTEC];
  col.identify = wintec_probe;
  col.connect = wintec_open;
  col.download[3] = wintec_download_log;
  col.erase[1] = wintec_erase_log;
  col.close = wintec_free;
}
