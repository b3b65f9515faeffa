// The Emtac Trine driver: query and identity, the download (text sentences or XMODEM
// and conversion), the erase, and the slots of family 3.
#include "gps/loggers/emtac.h"
#include "gps/loggers/item_file.h"
#include "gps/loggers/emtac_internal.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/loggers/xmodem.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "map/file_object.h"
#include "platform/sys/clock.h"

namespace {

emtac_ctx* ctx_of(nmea_parser* p) { return reinterpret_cast<emtac_ctx*>(p->fix); }

void write_sentence(emtac_ctx* c, nmea_parser* p) {
  std::fprintf(c->out, "$%s,%s*%2s\r\n", p->name, p->fields, p->checksum);
}

void on_version(nmea_parser* p) {
  emtac_ctx* c = ctx_of(p);
  char field[kNmeaFieldSize];
  nmea_next_field(p, field);
  if (std::strcmp(field, "0") != 0) return;
  std::string text = std::string("$") + p->name + "," + p->fields + "*";
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%2s", p->checksum);
  text += checksum;
  str_set(text.c_str(), &c->version);
}

void on_log(nmea_parser* p) {
  emtac_ctx* c = ctx_of(p);
  const int32_t type = nmea_next_int(p, nullptr);
  // The erase answer is awaited without an output file.
  if (type == 8) {
    c->count = 1;
    c->erased = 1;
    return;
  }
  if (!c->out) return;
  if (type == 0) {
    const int32_t n = nmea_next_int(p, nullptr);
    c->count = n == NULL_INT || n < 0 ? 0 : n;
    c->count_known = 1;
  } else {
    ++c->received;
  }
  p->field_cursor = p->fields;
  write_sentence(c, p);
}

void on_xmodem_start(nmea_parser* p) {
  emtac_ctx* c = ctx_of(p);
  if (!c->out) return;
  char field[kNmeaFieldSize];
  nmea_next_field(p, field);
  if (std::strcmp(field, "0") != 0) return;
  const int32_t mode = nmea_next_int(p, nullptr);
  if (mode != 1) {
    c->received = c->count;
    return;
  }
  if (c->xmodem || c->data) return;  // one transfer per download
  if (xmodem_create(c->device, 1, &c->xmodem, &c->data) != 0) return;
  // The log and the padding of its last block, nothing more.
  c->xmodem->limit = int64_t(c->count) * kEmtacRecordSize + 1024;
  xmodem_receive(c->xmodem);
  if (get_gblerr()) return;
  // Only a transfer that ended with the two EOTs brought the whole log; a cancelled one
  // is an answer not as expected.
  if (c->xmodem->reply != kXmodemAck) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  c->received = c->count;
}

// Dictionary indexes: PEMT160 1, PEMT161 2, PEMT162 3, PEMT163 4.
const nmea_handler kDriverHandlers[5] = {nullptr, nullptr, on_log, on_xmodem_start, on_version};

void context_free(emtac_ctx** ctx) {
  emtac_ctx* c = *ctx;
  if (!c) return;
  nmea_parser_free(&c->parser);
  free_mem(&c->version);
  free_mem(&c->command);
  xmodem_free(&c->xmodem);
  if (c->data) {
    obj_t* data = c->data;
    const int err = get_gblerr();
    set_gblerr(0);
    free_obj(&data);
    set_gblerr(err);
  }
  if (c->out) std::fclose(c->out);
  free_mem(ctx);
}

emtac_ctx* context_new(com_device* device) {
  emtac_sentence_dict_ensure();
  emtac_ctx* c = nullptr;
  alloc_mem_zero(&c, sizeof *c);
  c->device = device;
  if (nmea_parser_new(emtac_dict(), kDriverHandlers, 5, device, com_read_routine,
                      kEmtacFieldSize, nullptr, &c->parser) != 0 ||
      !c->parser) {
    context_free(&c);
    return nullptr;
  }
  c->parser->fix = reinterpret_cast<nmea_fix*>(c);
  return c;
}

void send(emtac_ctx* c, const char* command) {
  str_set(command, &c->command);
  nmea_send(c->device, c->command);
}

// One read of up to 500 bytes fed to the parser: the bytes read (negative on error).
int read_feed(emtac_ctx* c) {
  uint8_t buffer[kEmtacChunk];
  const int n = com_read(c->device, kEmtacChunk, buffer);
  if (n > 0) nmea_feed(buffer, n, c->parser);
  return n;
}

void query(emtac_ctx* c) {
  const int64_t start = plat::now_ms();
  int64_t sent = start;
  send(c, "$PEMT163,0");
  while (!c->version && get_gblerr() == 0 && plat::now_ms() - start < kEmtacQueryMs) {
    if (read_feed(c) < 0) break;
    if (plat::now_ms() - sent >= kEmtacResendMs && !c->version) {
      send(c, "$PEMT163,0");
      sent = plat::now_ms();
    }
  }
}

emtac_ctx* open_and_query(const char* path) {
  com_device* device = nullptr;
  com_open(path, kEmtacSpeed, &device);
  if (!device) return nullptr;
  emtac_ctx* c = context_new(device);
  if (!c) {
    com_close(&device);
    return nullptr;
  }
  query(c);
  return c;
}

void close_all(emtac_ctx** c) {
  if (!*c) return;
  com_device* device = (*c)->device;
  context_free(c);
  com_close(&device);
}

int32_t le32(const uint8_t* b) {
  return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                 uint32_t(b[3]) << 24);
}

constexpr const char* kDisplayPrefix = "Emtac Trine ";

}  // namespace

bool emtac_identity(const char* version, char** out) {
  if (!version) return false;
  const char* first = std::strchr(version, ',');
  const char* second = first ? std::strchr(first + 1, ',') : nullptr;
  if (!second) return false;
  const char* star = std::strrchr(second + 1, '*');
  const size_t n = star ? size_t(star - (second + 1)) : std::strlen(second + 1);
  std::string text(second + 1, n);
  str_set(text.c_str(), out);
  return true;
}

int emtac_convert_log(const uint8_t* bytes, int64_t size, int records, std::FILE* out) {
  if (!bytes || records <= 0 || size < int64_t(records) * kEmtacRecordSize) return 0;
  int written = 0;
  for (int i = 1; i <= records; ++i) {
    const uint8_t* r = bytes + int64_t(i - 1) * kEmtacRecordSize;
    const int32_t when = le32(r);
    if (when < 0) continue;
    const uint32_t t = uint32_t(when);
    const int second = t & 63, minute = (t >> 6) & 63, hour = (t >> 12) & 31;
    const int day = (t >> 17) & 31, month = (t >> 22) & 15, year = (t >> 26) & 31;
    const double latitude = le32(r + 4) / 10000.0;
    const double longitude = le32(r + 8) / 10000.0;
    const uint32_t w4 = uint32_t(le32(r + 12)), w5 = uint32_t(le32(r + 16));
    const double altitude = (w4 & 0xFFFFF) / 10.0;
    const int fix = int((w4 >> 20) & 3) + ((w4 >> 22) & 1 ? 8 : 0);
    const double hdop = (w4 >> 23) / 10.0;
    const double heading = w5 & 0x1FF;
    const double speed = ((w5 >> 9) & 0x7FFF) / 10.0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "$PEMT161,4,%d,%02d%02d%02d,%02d%02d%02d,%d,%.1lf,%.4lf,%.4lf,%.1lf,%.1lf,%.1lf",
                  i, year, month, day, hour, minute, second, fix, hdop, latitude, longitude,
                  altitude, heading, speed);
    char tail[kNmeaTailSize];
    nmea_checksum_suffix(line, tail);
    std::fputs(line, out);
    std::fputs(tail, out);
    ++written;
  }
  return written;
}

int32_t emtac_probe(const char* device_name, gpsport_t* port) {
  emtac_ctx* c = open_and_query(device_name);
  if (!c) return GPS_IDENTIFY_NONE;
  char* identity = nullptr;
  const bool found = emtac_identity(c->version, &identity);
  if (found) {
    std::string name = std::string(kDisplayPrefix) + identity;
    str_set(name.c_str(), &port->display_name);
    port->capabilities = kEmtacCapabilities;
    port->family = GPS_EMTAC;
    port->speed = kEmtacSpeed;
  }
  free_mem(&identity);
  close_all(&c);
  set_gblerr(0);
  return found ? 1 : GPS_IDENTIFY_NONE;
}

int32_t emtac_open(gpsport_t* port) {
  emtac_ctx* c = open_and_query(port->device_path);
  if (!c) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  char* identity = nullptr;
  const size_t prefix = std::strlen(kDisplayPrefix);
  const char* name = port->display_name ? port->display_name : "";
  const bool same = get_gblerr() == 0 && emtac_identity(c->version, &identity) &&
                    std::strncmp(name, kDisplayPrefix, prefix) == 0 &&
                    std::strcmp(name + prefix, identity) == 0;
  free_mem(&identity);
  if (!same) {
    close_all(&c);
    set_gblerr(ERR_PROTOCOL);
    return 0;
  }
  port->connection = c->device;
  port->driver = c;
  return 1;
}

void emtac_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                        const char* extension) {
  auto* c = static_cast<emtac_ctx*>(driver);
  *count = 0;
  if (!c || !connection) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  c->out = gps_item_file_open(base_name, extension);
  if (!c->out) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  com_set_timeout(c->device, 3000);
  std::fprintf(c->out, "%s\r\n", c->version ? c->version : "");
  c->count = c->received = c->count_known = 0;
  // The status: the record count.
  send(c, "$PEMT161,0");
  const int64_t start = plat::now_ms();
  while (!c->count_known && get_gblerr() == 0 && plat::now_ms() - start < kEmtacStatusMs)
    if (read_feed(c) < 0) break;
  set_gblerr(0);
  int transfer_error = 0;
  if (c->count > 0) {
    if (c->count > kEmtacTextLimit) {
      send(c, "$PEMT162,0");
    } else {
      char command[48];
      std::snprintf(command, sizeof command, "$PEMT161,4,1,%d", c->count);
      send(c, command);
    }
    for (int i = 0; i < kEmtacRecordReads && c->received < c->count; ++i) {
      if (read_feed(c) < 0 || get_gblerr()) break;
    }
    // A transfer that broke off is an answer not as expected; the text phase simply
    // ends with what came.
    if (c->xmodem && get_gblerr()) transfer_error = get_gblerr();
    set_gblerr(0);
  }
  if (c->data && c->data->store) {
    filemobj_flatten(c->data->store);
    int64_t size = filemobj_data_size(c->data->store);
    const uint8_t* bytes = size > 0 ? filemobj_read_ptr(c->data->store, 0, &size) : nullptr;
    emtac_convert_log(bytes, size, c->count, c->out);
  }
  *count = c->received;
  if (std::fclose(c->out) != 0 && !transfer_error) transfer_error = ERR_FILE_ACCESS;
  c->out = nullptr;
  if (transfer_error) set_gblerr(transfer_error);
}

void emtac_erase_log(void* connection, void* driver, int32_t* count) {
  auto* c = static_cast<emtac_ctx*>(driver);
  *count = 0;
  if (!c || !connection) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  c->count = 0;
  c->erased = 0;
  send(c, "$PEMT161,8");
  const int64_t start = plat::now_ms();
  while (!c->erased && get_gblerr() == 0 && plat::now_ms() - start < kEmtacEraseMs)
    if (read_feed(c) < 0) break;
  if (get_gblerr()) return;
  if (!c->erased) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  *count = 1;
}

void emtac_free(void** driver) {
  auto* c = static_cast<emtac_ctx*>(*driver);
  context_free(&c);
  *driver = nullptr;
}

void emtac_install() {
  gps_device_column& column = gps_device_table[GPS_EMTAC];
  column.identify = emtac_probe;
  column.connect = emtac_open;
  column.download[3] = emtac_download_log;
  column.erase[1] = emtac_erase_log;
  column.close = emtac_free;
  gpsport_set_startup(GPS_STARTUP_EMTAC, emtac_sentence_register);
}

emtac_ctx* emtac_context_new(com_device* device) { return context_new(device); }
void emtac_context_free(emtac_ctx** ctx) { context_free(ctx); }
