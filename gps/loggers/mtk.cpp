// MediaTek data loggers: the $PMTK dialogue (test, firmware and release, datum, NMEA
// output rates, log queries, memory reads, erase), its sentence handlers and the routine
// slots of family 8.
#include "gps/loggers/mtk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>

#include "core/dict.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/loggers/item_file.h"
#include "gps/loggers/mtk_internal.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "shell/framework/progress.h"

namespace {

constexpr int kSpeed = 115200;
constexpr int kFieldBuffer = 4120;
constexpr int kLogCommand = 182;
constexpr int kWaiting = -10;

// The context whose parser is being fed on this thread (sentence handlers reach it).
thread_local mtk_ctx* t_ctx = nullptr;

struct feeding {
  mtk_ctx* saved;
  explicit feeding(mtk_ctx* c) : saved(t_ctx) { t_ctx = c; }
  ~feeding() { t_ctx = saved; }
};

void flag(bool done) {
  if (!t_ctx || !t_ctx->wait) return;
  t_ctx->wait->progress = 1;
  if (done) t_ctx->wait->done = 1;
}

// The handled sentence rebuilt: "$", name, ",", fields, "*", checksum.
std::string sentence_of(const nmea_parser* p) {
  return std::string("$") + p->name + "," + p->fields + "*" + p->checksum;
}

void store(char** owner, const nmea_parser* p) { str_set(sentence_of(p).c_str(), owner); }

void on_test(nmea_parser* p) {
  if (p->device) nmea_send(p->device, "$PMTK001,000,3");
  flag(false);
}

void on_ack(nmea_parser* p) {
  flag(false);
  if (!t_ctx) return;
  const std::vector<std::string_view> f = mtk_split_fields(p->fields);
  if (f.empty()) return;
  uint32_t command = 0;
  if (!mtk_parse_decimal(f[0], &command) || int32_t(command) != t_ctx->expected_command) return;
  uint32_t status = 0;
  mtk_parse_decimal(f.back(), &status);
  t_ctx->ack_status = int32_t(std::min<uint32_t>(status, 1000));
  flag(true);
}

void on_log(nmea_parser* p) {
  flag(false);
  mtk_ctx* c = t_ctx;
  if (!c) return;
  const std::vector<std::string_view> f = mtk_split_fields(p->fields);
  if (f.size() < 2) return;
  uint32_t type = 0, value = 0;
  if (!mtk_parse_decimal(f[0], &type)) return;
  if (type == 3) {
    uint32_t code = 0;
    if (!mtk_parse_decimal(f[1], &code)) return;
    if (f.size() >= 3) mtk_parse_hex(f[2], &value);
    if (code == 7) {
      c->stop_when_full = value >> 8 & 1;
      return;
    }
    if (code == 8) c->bytes_used = value;
    // The answers to the log queries go to the file before the first block.
    if (c->out && c->requested == 0) std::fprintf(c->out, "%s\r\n", sentence_of(p).c_str());
    return;
  }
  if (type != 8 || f.size() < 3) return;
  uint32_t address = 0;
  if (!mtk_parse_hex(f[1], &address)) return;
  c->last_address = address;
  if (address == c->requested && c->out) std::fprintf(c->out, "%s\r\n", sentence_of(p).c_str());
}

void on_datum(nmea_parser* p) {
  if (t_ctx) store(&t_ctx->datum, p);
  flag(true);
}
void on_firmware(nmea_parser* p) {
  if (t_ctx) store(&t_ctx->firmware, p);
  flag(true);
}
void on_release(nmea_parser* p) {
  if (t_ctx) store(&t_ctx->release, p);
  flag(true);
}
void on_rates(nmea_parser* p) {
  mtk_ctx* c = t_ctx;
  if (!c) return;
  const std::vector<std::string_view> f = mtk_split_fields(p->fields);
  if (f.size() < size_t(kMtkRates)) return;
  for (int i = 0; i < kMtkRates; ++i) {
    uint32_t v = 0;
    mtk_parse_decimal(f[size_t(i)], &v);
    c->rates[i] = std::min<uint32_t>(v, 5);
  }
  c->rates_known = 1;
  flag(true);
}

enum sentence : int { S_NONE, S_TEST, S_ACK, S_LOG, S_DATUM, S_FIRMWARE, S_RELEASE, S_RATES, S_COUNT };
constexpr nmea_handler kHandlers[S_COUNT] = {nullptr,     on_test,     on_ack,     on_log,
                                             on_datum,    on_firmware, on_release, on_rates};
tag_t g_table[7] = {make_tag("PMTK000", S_TEST),  make_tag("PMTK001", S_ACK),
                    make_tag("PMTK182", S_LOG),   make_tag("PMTK530", S_DATUM),
                    make_tag("PMTK704", S_FIRMWARE), make_tag("PMTK705", S_RELEASE),
                    make_tag("PMTK514", S_RATES)};
std::atomic<container_t*> g_dict{nullptr};

void on_chunk(const uint8_t* bytes, int count, port_reader* reader) {
  nmea_feed(bytes, count, reinterpret_cast<nmea_parser*>(reader));
}

void progress(const char* text) {
  if (auto fn = get_line_store_hooks().progress_text) fn(text);
}

void set_timeouts(mtk_ctx* c, double silence, double no_frame, double total) {
  c->wait->no_data_timeout_s = silence;
  c->wait->no_progress_timeout_s = no_frame;
  c->wait->overall_timeout_s = total;
}

int wait_answer(mtk_ctx* c) {
  feeding guard(c);
  c->wait->done = 0;
  c->wait->progress = 0;
  return port_read_loop(c->wait);
}

void send(mtk_ctx* c, const char* text) { nmea_send(c->parser->device, text); }

// Sends and waits for the answer (10, 10, 60 s).
void ask(mtk_ctx* c, const char* text) {
  set_timeouts(c, 10, 10, 60);
  send(c, text);
  wait_answer(c);
}

// A log command: sent again while the logger reports a failure (status 2) or does not
// acknowledge at all, a bounded number of times; then error 17.
void command(mtk_ctx* c, const char* text) {
  set_timeouts(c, 10, 40, 3000);
  for (int attempt = 0; attempt < kMtkCommandTries; ++attempt) {
    c->ack_status = kWaiting;
    send(c, text);
    wait_answer(c);
    if (get_gblerr()) return;
    if (c->ack_status >= 0 && c->ack_status != 2) return;
  }
  set_gblerr(ERR_PROTOCOL);
}

void query(mtk_ctx* c) {
  c->expected_command = 0;
  c->ack_status = kWaiting;
  ask(c, "$PMTK000");
  if (c->ack_status >= 2) ask(c, "$PMTK604");
  if (c->firmware) ask(c, "$PMTK605");
}

// The part of a stored sentence after its first comma, without the star and the two
// checksum digits; false when the sentence is too short to hold them.
bool fields_of(const char* sentence, std::string* out) {
  if (!sentence) return false;
  const char* comma = std::strchr(sentence, ',');
  if (!comma) return false;
  const std::string rest(comma + 1);
  if (rest.size() < 3) return false;
  *out = rest.substr(0, rest.size() - 3);
  return true;
}

// "MediaTek " + firmware fields + release fields; false when the firmware is missing.
bool display_name(const mtk_ctx* c, std::string* out) {
  std::string fw, rel;
  if (!fields_of(c->firmware, &fw)) return false;
  fields_of(c->release, &rel);
  *out = "MediaTek " + fw + rel;
  return true;
}

void restore_output(mtk_ctx* c) {
  if (!c->rates_known) return;
  std::string text = "$PMTK314";
  for (uint32_t r : c->rates) text += "," + std::to_string(r);
  send(c, text.c_str());
}

}  // namespace

// ---- Shared with the log reader ---------------------------------------------------------------

std::vector<std::string_view> mtk_split_fields(const char* fields) {
  std::vector<std::string_view> out;
  if (!fields) return out;
  std::string_view s(fields);
  for (;;) {
    const size_t comma = s.find(',');
    out.push_back(s.substr(0, comma));
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return out;
}

bool mtk_parse_hex(std::string_view s, uint32_t* out) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  for (char ch : s) {
    const int d = mtk_hex_digit(ch);
    if (d < 0) return false;
    v = v << 4 | uint32_t(d);
  }
  *out = v;
  return true;
}

bool mtk_parse_decimal(std::string_view s, uint32_t* out) {
  if (s.empty() || s.size() > 9) return false;
  uint32_t v = 0;
  for (char ch : s) {
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + uint32_t(ch - '0');
  }
  *out = v;
  return true;
}

int mtk_hex_digit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

container_t* mtk_sentence_dict() { return g_dict.load(std::memory_order_acquire); }

int mtk_parser_new(void* device, const nmea_handler* handlers, int size, nmea_parser** out) {
  return nmea_parser_new(mtk_sentence_dict(), handlers, S_COUNT, device, com_read_routine, size,
                         nullptr, out);
}

// ---- Module -----------------------------------------------------------------------------------

void mtk_module_free() {
  container_t* d = g_dict.exchange(nullptr);
  free_obj(&d);
}

void mtk_module_init() {
  mtk_module_free();
  for (tag_t& t : g_table) t.id = 0;
  container_t* dict = nullptr;
  if (dict_build(7, g_table, &dict) != 0) {
    free_obj(&dict);
    return;
  }
  g_dict.store(dict, std::memory_order_release);
  mtk_log_module_init();
}

// ---- Driver -----------------------------------------------------------------------------------

int mtk_ctx_new(void* device, mtk_ctx** out) {
  *out = nullptr;
  if (!mtk_sentence_dict()) mtk_module_init();
  mtk_ctx* c = nullptr;
  if (!alloc_mem_zero(&c, sizeof *c)) return set_gblerr(ERR_MEMORY);
  if (int e = mtk_parser_new(device, kHandlers, kFieldBuffer, &c->parser)) {
    free_mem(&c);
    return e;
  }
  if (!port_reader_create(on_chunk, reinterpret_cast<port_reader*>(c->parser), &c->wait)) {
    nmea_parser_free(&c->parser);
    free_mem(&c);
    return set_gblerr(ERR_MEMORY);
  }
  c->ack_status = kWaiting;
  *out = c;
  return 0;
}

void mtk_ctx_free(mtk_ctx** ctx) {
  if (!ctx || !*ctx) return;
  mtk_ctx* c = *ctx;
  if (c->out) std::fclose(c->out);
  port_reader_free(&c->wait);
  nmea_parser_free(&c->parser);
  free_mem(&c->firmware);
  free_mem(&c->release);
  free_mem(&c->datum);
  free_mem(ctx);
}

int mtk_feed(mtk_ctx* c, const uint8_t* bytes, int count) {
  feeding guard(c);
  return nmea_feed(bytes, count, c->parser);
}

int32_t mtk_identify(const char* device_name, gpsport_t* port) {
  com_device* dev = nullptr;
  if (!com_open(device_name, kSpeed, &dev)) return GPS_IDENTIFY_NONE;
  mtk_ctx* c = nullptr;
  int32_t found = GPS_IDENTIFY_NONE;
  if (mtk_ctx_new(dev, &c) == 0) {
    query(c);
    std::string name;
    if (!get_gblerr() && display_name(c, &name)) {
      str_set(name.c_str(), &port->display_name);
      port->capabilities = 0x30;
      port->family = GPS_MEDIATEK;
      port->kind = GPSPORT_SERIAL;
      port->speed = kSpeed;
      found = 1;
    }
  }
  mtk_ctx_free(&c);
  com_close(&dev);
  return found;
}

int32_t mtk_connect(gpsport_t* port) {
  com_device* dev = nullptr;
  if (!com_open(port->device_path, port->speed ? port->speed : kSpeed, &dev)) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  mtk_ctx* c = nullptr;
  std::string name;
  if (mtk_ctx_new(dev, &c) == 0) query(c);
  if (!c || get_gblerr() || !display_name(c, &name) || !port->display_name ||
      name != port->display_name) {
    mtk_ctx_free(&c);
    com_close(&dev);
    set_gblerr(ERR_PROTOCOL);
    return 0;
  }
  port->connection = dev;
  port->driver = c;
  return 1;
}

void mtk_download_datalog(void* connection, void* driver, int32_t* count, const char* base_name,
                          const char* extension) {
  (void)connection;
  mtk_ctx* c = static_cast<mtk_ctx*>(driver);
  *count = 0;
  if (!c) return;
  progress("MTK - Datalog");
  c->out = gps_item_file_open(base_name, extension);
  if (!c->out) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  c->blocks = 0;
  c->requested = 0;
  c->bytes_used = 0;
  for (const char* s : {c->firmware, c->release})
    if (s) std::fprintf(c->out, "%s\r\n", s);
  c->expected_command = 0;
  ask(c, "$PMTK430");
  send(c, "$PMTK314,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  ask(c, "$PMTK414");
  if (c->datum) std::fprintf(c->out, "%s\r\n", c->datum);

  c->expected_command = kLogCommand;
  bool failed = false;
  auto log_command = [&](const char* text) {
    if (failed) return;
    command(c, text);
    failed = get_gblerr() != 0;
  };
  log_command("$PMTK182,2,7");
  if (c->stop_when_full) log_command("$PMTK182,5");
  log_command("$PMTK182,2,10");
  log_command("$PMTK182,2,2");
  log_command("$PMTK182,2,8");

  int misses = 0;
  while (!failed && c->requested < c->bytes_used) {
    const uint32_t size = std::min<uint32_t>(c->bytes_used - c->requested, kMtkBlockSize);
    char text[48];
    std::snprintf(text, sizeof text, "$PMTK182,7,%08X,%08X", c->requested, size);
    c->last_address = c->requested + 1;  // nothing received yet for this block
    log_command(text);
    if (failed) break;
    if (c->last_address != c->requested) {
      // Another block came, or none: the same block is asked again, a few times.
      if (++misses >= kMtkBlockTries) {
        set_gblerr(ERR_PROTOCOL);
        failed = true;
      }
      continue;
    }
    misses = 0;
    c->requested += size;
    ++c->blocks;
    char line[96];
    std::snprintf(line, sizeof line, "Datalog : adresse %u / %u (%u%%) ", c->last_address,
                  c->bytes_used, unsigned(uint64_t(c->last_address) * 100 / c->bytes_used));
    progress_step(line, double(c->last_address) / c->bytes_used);
  }
  *count = c->blocks;
  std::fclose(c->out);
  c->out = nullptr;
  if (failed) return;
  if (c->stop_when_full) log_command("$PMTK182,4");
  restore_output(c);
  plat::sleep_ms(500);
}

void mtk_erase_log(void* connection, void* driver, int32_t* count) {
  (void)connection;
  mtk_ctx* c = static_cast<mtk_ctx*>(driver);
  *count = 0;
  if (!c) return;
  c->ack_status = 0;
  c->expected_command = kLogCommand;
  command(c, "$PMTK182,6,1");
  *count = c->ack_status == 3 ? 1 : 0;
}

void mtk_close(void** driver) {
  if (!driver) return;
  mtk_ctx* c = static_cast<mtk_ctx*>(*driver);
  mtk_ctx_free(&c);
  *driver = nullptr;
}

void mtk_install() {
  gps_device_column& col = gps_device_table[GPS_MEDIATEK];
  col.identify = mtk_identify;
  col.connect = mtk_connect;
  col.download[3] = mtk_download_datalog;
  col.erase[1] = mtk_erase_log;
  col.close = mtk_close;
  gpsport_set_startup(GPS_STARTUP_MEDIATEK, mtk_module_init);
}
