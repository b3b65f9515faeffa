// The RoyalTek driver: query and identity, the download of the track subfiles, the
// erase, and the slots of family 6.
#include "gps/loggers/royaltek.h"
#include "gps/loggers/item_file.h"
#include "gps/loggers/royaltek_internal.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/loggers/royaltek_log.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "shell/framework/progress.h"

namespace {

royaltek_ctx* ctx_of(nmea_parser* p) { return reinterpret_cast<royaltek_ctx*>(p->fix); }

void flag_done(royaltek_ctx* c) {
  c->wait->done = 1;
  c->wait->progress = 1;
}

// "$", the name, ",", the fields, "*", the checksum text, CR LF.
void write_text_sentence(nmea_parser* p) {
  royaltek_ctx* c = ctx_of(p);
  if (!c->out) return;
  std::fprintf(c->out, "$%s,%s*%2s\r\n", p->name, p->fields, p->checksum);
}

void on_text(nmea_parser* p) {
  royaltek_ctx* c = ctx_of(p);
  if (!std::strstr(p->fields, "RoyalTek")) return;
  str_set(p->fields, &c->device_name);
  flag_done(c);
}

void on_header(nmea_parser* p) {
  royaltek_ctx* c = ctx_of(p);
  c->received = 0;
  nmea_next_int(p, nullptr);
  const int32_t type = nmea_next_int(p, nullptr);
  c->log_type = gpslog_record_size(type) ? type : -1;
  c->value = 0;
  if (c->log_type >= 0) {
    const int32_t points = nmea_next_int(p, nullptr);
    c->value = points == NULL_INT || points < 0 ? 0 : points;
    const double address = nmea_next_double(p, nullptr);
    c->address = address >= 0 && address <= 4294967295.0 ? uint32_t(address) : 0;
  }
  flag_done(c);
  p->field_cursor = p->fields;
  write_text_sentence(p);
}

void on_records(nmea_parser* p) {
  royaltek_ctx* c = ctx_of(p);
  c->wait->progress = 1;
  if (p->field_count < 3) {
    c->block_error = 1;
    return;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(p->fields);
  const int block = bytes[0] | bytes[1] << 8;
  if (block != c->last_block + 1) {
    c->block_error = 1;
    return;
  }
  const int length = bytes[2];
  // A sentence cut short: its records are asked again with the whole request.
  if (p->field_count < length + 3) {
    c->block_error = 1;
    return;
  }
  c->last_block = block;
  const int size = gpslog_record_size(c->log_type);
  if (size) c->received += length / size;
  if (c->received >= c->asked) c->wait->done = 1;
  if (!c->out) return;
  std::fprintf(c->out, "$%s,", p->name);
  std::fwrite(bytes, 1, size_t(length) + 3, c->out);
  std::fprintf(c->out, "*%2s\r\n", p->checksum);
}

void on_summary(nmea_parser* p) {
  royaltek_ctx* c = ctx_of(p);
  flag_done(c);
  const int32_t type = nmea_next_int(p, nullptr);
  if (gpslog_record_size(type)) {
    c->log_type = type;
    for (int i = 0; i < 6; ++i) nmea_next_int(p, nullptr);
    const int32_t count = nmea_next_int(p, nullptr);
    c->subfiles = count == NULL_INT ? 0 : std::clamp(count, 0, kRoyaltekMaxSubfiles);
  }
  p->field_cursor = p->fields;
  write_text_sentence(p);
}

void on_status(nmea_parser* p) {
  royaltek_ctx* c = ctx_of(p);
  flag_done(c);
  const int32_t active = nmea_next_int(p, nullptr);
  c->value = active == NULL_INT ? 0 : active;
}

void on_erased(nmea_parser* p) { flag_done(ctx_of(p)); }

const nmea_handler kDriverHandlers[kGpslogHandlerCount] = {
    nullptr, on_text, on_header, on_records, nullptr, on_summary, on_status, on_erased};

void feed_chunk(const uint8_t* bytes, int count, port_reader* reader) {
  nmea_feed(bytes, count, reinterpret_cast<nmea_parser*>(reader));
}

void set_timeouts(royaltek_ctx* c, double no_data, double no_progress, double overall) {
  c->wait->no_data_timeout_s = no_data;
  c->wait->no_progress_timeout_s = no_progress;
  c->wait->overall_timeout_s = overall;
}

void context_free(royaltek_ctx** ctx) {
  royaltek_ctx* c = *ctx;
  if (!c) return;
  port_reader_free(&c->wait);
  nmea_parser_free(&c->parser);
  free_mem(&c->device_name);
  free_mem(&c->command);
  if (c->out) std::fclose(c->out);
  free_mem(ctx);
}

royaltek_ctx* context_new(com_device* device) {
  if (!gpslog_dict()) gpslog_init();
  royaltek_ctx* c = nullptr;
  alloc_mem_zero(&c, sizeof *c);
  c->device = device;
  c->log_type = -1;
  c->last_block = -1;
  if (nmea_parser_new(gpslog_dict(), kDriverHandlers, kGpslogHandlerCount, device,
                      com_read_routine, kGpslogFieldSize, kGpslogBegins, &c->parser) != 0 ||
      !c->parser) {
    context_free(&c);
    return nullptr;
  }
  c->parser->fix = reinterpret_cast<nmea_fix*>(c);
  port_reader_create(feed_chunk, reinterpret_cast<port_reader*>(c->parser), &c->wait);
  set_timeouts(c, 10, 10, 60);
  return c;
}

// Sends the command and waits for its answer: the read loop's result.
int send_wait(royaltek_ctx* c, const char* command) {
  str_set(command, &c->command);
  c->wait->done = 0;
  c->wait->progress = 0;
  nmea_send(c->device, c->command);
  return port_read_loop(c->wait);
}

void send_only(royaltek_ctx* c, const char* command) {
  str_set(command, &c->command);
  nmea_send(c->device, c->command);
}

// Drops what the line brings until a read gives nothing, for at most kRoyaltekDrainMs.
void drain(com_device* device, int chunk) {
  const int64_t until = plat::now_ms() + kRoyaltekDrainMs;
  uint8_t buffer[5000];
  const int max = std::min<int>(chunk, sizeof buffer);
  while (plat::now_ms() < until && com_read(device, max, buffer) > 0) {
  }
}

void query(royaltek_ctx* c) {
  send_only(c, "$PROY103,0,0");
  drain(c->device, 5000);
  set_timeouts(c, 10, 10, 60);
  c->value = 0;
  send_wait(c, "$PROY100");
  if (c->value) {
    c->value = 0;
    send_wait(c, "$PROY005");
  }
}

// Opens at `speed` and queries: the context (with or without a device name), or null
// when the device cannot be opened.
royaltek_ctx* open_and_query(const char* path, int speed) {
  com_device* device = nullptr;
  com_open(path, speed, &device);
  if (!device) return nullptr;
  royaltek_ctx* c = context_new(device);
  if (!c) {
    com_close(&device);
    return nullptr;
  }
  query(c);
  return c;
}

void close_all(royaltek_ctx** c) {
  if (!*c) return;
  com_device* device = (*c)->device;
  context_free(c);
  com_close(&device);
}

bool append_file(std::FILE* to, const char* path) {
  std::FILE* from = std::fopen(path, "rb");
  if (!from) return false;
  char buffer[4096];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0)
    if (std::fwrite(buffer, 1, n, to) != n) ok = false;
  std::fclose(from);
  return ok;
}

// One request of records: sent again after a block error or a silence, at most
// kRoyaltekTries times in all. False with gblerr 17 when it never completes.
bool request_records(royaltek_ctx* c, int points_left) {
  const long start = std::ftell(c->out);
  for (int attempt = 0; attempt < kRoyaltekTries; ++attempt) {
    if (attempt > 0) {
      // What the failed attempt wrote goes: the records come again.
      std::fflush(c->out);
      if (start >= 0 && ftruncate(fileno(c->out), start) == 0) std::fseek(c->out, start, SEEK_SET);
    }
    c->last_block = -1;
    c->received = 0;
    c->asked = std::min(c->per_request, points_left);
    c->block_error = 0;
    char command[64];
    std::snprintf(command, sizeof command, "$PROY102,%u,%d,%d", c->address, c->log_type,
                  c->asked);
    const int result = send_wait(c, command);
    if (get_gblerr()) return false;
    if (result == PORT_DONE && !c->block_error) return true;
  }
  set_gblerr(ERR_PROTOCOL);
  return false;
}

bool download_subfile(royaltek_ctx* c, int index, int32_t* count, const char* base_name,
                      const char* extension, std::FILE* main) {
  char* name = nullptr;
  royaltek_subfile_name(base_name, extension, index, &name);
  c->out = std::fopen(name, "wb");
  if (!c->out) {
    free_mem(&name);
    set_gblerr(ERR_FILE_ACCESS);
    return false;
  }
  char command[32];
  std::snprintf(command, sizeof command, "$PROY101,%d", index);
  c->log_type = -1;
  const int result = send_wait(c, command);
  bool ok = get_gblerr() == 0;
  if (ok && result != PORT_DONE) {
    set_gblerr(ERR_PROTOCOL);
    ok = false;
  }
  const int32_t points = c->value;
  for (int32_t done = 0; ok && c->log_type >= 0 && done < points; done += c->per_request) {
    if (!request_records(c, points - done)) {
      ok = false;
      break;
    }
    c->address += uint32_t(gpslog_record_size(c->log_type) * c->per_request);
    const std::string text = "Track subfile " + std::to_string(index) + " / " +
                             std::to_string(c->subfiles) + " : point " + std::to_string(done) +
                             " (Total " + std::to_string(*count + done) + " points)";
    progress_step(text.c_str(), c->subfiles ? double(index) / c->subfiles : 0.0);
  }
  if (ok) *count += points;
  std::fclose(c->out);
  c->out = nullptr;
  if (!append_file(main, name) && ok) {
    set_gblerr(ERR_FILE_ACCESS);
    ok = false;
  }
  free_mem(&name);
  return ok;
}

}  // namespace

void royaltek_subfile_name(const char* base_name, const char* extension, int index, char** out) {
  char tail[32];
  std::snprintf(tail, sizeof tail, index < 10 ? "_t0%d" : "_t%d", index);
  str_set(base_name ? base_name : "", out);
  str_cat(tail, out);
  str_cat(".", out);
  str_cat(extension ? extension : "", out);
}

int32_t royaltek_probe(const char* device_name, gpsport_t* port) {
  for (int speed : kRoyaltekSpeeds) {
    royaltek_ctx* c = open_and_query(device_name, speed);
    if (!c) return GPS_IDENTIFY_NONE;
    const bool named = c->device_name != nullptr;
    if (named) {
      str_set(c->device_name, &port->display_name);
      port->capabilities = kRoyaltekCapabilities;
      port->family = GPS_ROYALTEK;
      port->speed = speed;
    }
    close_all(&c);
    set_gblerr(0);
    if (named) return 1;
  }
  return GPS_IDENTIFY_NONE;
}

int32_t royaltek_open(gpsport_t* port) {
  royaltek_ctx* c = open_and_query(port->device_path, port->speed);
  if (!c) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  if (get_gblerr() || !c->device_name || !port->display_name ||
      std::strcmp(c->device_name, port->display_name) != 0) {
    close_all(&c);
    set_gblerr(ERR_PROTOCOL);
    return 0;
  }
  c->per_request = kRoyaltekPerRequest;
  port->connection = c->device;
  port->driver = c;
  return 1;
}

void royaltek_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                           const char* extension) {
  auto* c = static_cast<royaltek_ctx*>(driver);
  *count = 0;
  if (!c || !connection) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  progress_step("Royaltek - Datalog", 0.0);
  std::FILE* main = gps_item_file_open(base_name, extension);
  if (!main) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  com_set_timeout(c->device, 100);
  set_timeouts(c, 10, 10, 60);
  c->out = main;
  c->subfiles = 0;
  const int summary = send_wait(c, "$PROY108");
  c->out = nullptr;
  if (get_gblerr() == 0 && summary != PORT_DONE) set_gblerr(ERR_PROTOCOL);
  if (get_gblerr() == 0) {
    std::string header = "$PTMQH,";
    header += c->device_name ? c->device_name : "";
    nmea_sentence_write(main, header.c_str());
    set_timeouts(c, 10, 60, 1500);
    for (int i = 0; i < c->subfiles; ++i)
      if (!download_subfile(c, i, count, base_name, extension, main)) break;
  }
  if (std::fclose(main) != 0 && get_gblerr() == 0) set_gblerr(ERR_FILE_ACCESS);
}

void royaltek_erase_log(void* connection, void* driver, int32_t* count) {
  auto* c = static_cast<royaltek_ctx*>(driver);
  *count = 0;
  if (!c || !connection) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  set_timeouts(c, 10, 10, 60);
  const int result = send_wait(c, "$PROY109,-1");
  if (get_gblerr()) return;
  drain(c->device, 300);
  if (result != PORT_DONE) {
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  *count = 1;
}

void royaltek_free(void** driver) {
  auto* c = static_cast<royaltek_ctx*>(*driver);
  context_free(&c);
  *driver = nullptr;
}

void royaltek_install() {
  gps_device_column& column = gps_device_table[GPS_ROYALTEK];
  column.identify = royaltek_probe;
  column.connect = royaltek_open;
  column.download[3] = royaltek_download_log;
  column.erase[1] = royaltek_erase_log;
  column.close = royaltek_free;
  gpsport_set_startup(GPS_STARTUP_ROYALTEK, gpslog_init);
}

royaltek_ctx* royaltek_context_new(com_device* device) { return context_new(device); }
void royaltek_context_free(royaltek_ctx** ctx) { context_free(ctx); }
