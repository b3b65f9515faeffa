// Magellan receiver driver: line reads, the checksum handshake, identify and connect,
// the waypoint, track and route listings copied into Magellan log files, the track
// delete and the close.
#include "gps/loggers/magellan.h"

#include <cstdlib>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/loggers/item_file.h"
#include "gps/loggers/serial_identify.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "shell/framework/progress.h"

namespace {

constexpr int kDrainChunk = 5000;
constexpr int kVersionChunk = 100;
constexpr int kVersionReads = 10;
constexpr int kLineBytesMax = 8 * kMagellanLineMax;  // bytes one line may take in all

magellan_ctx* ctx_of(nmea_parser* p) { return static_cast<magellan_ctx*>(p->device); }

void keep_checksum(magellan_ctx* c, const nmea_parser* p) {
  std::snprintf(c->last_checksum, sizeof c->last_checksum, "%.2s", p->checksum);
}

// The sentence as received: "$" name "," fields "*" checksum.
void write_sentence(magellan_ctx* c, const nmea_parser* p) {
  if (c->out) std::fprintf(c->out, "$%s,%s*%2s\r\n", p->name, p->fields, p->checksum);
}

void on_csm(nmea_parser* p) {
  magellan_ctx* c = ctx_of(p);
  if (!c->command) return;
  char field[kNmeaFieldSize];
  nmea_next_field(p, field);
  char* end = nullptr;
  const unsigned long got = std::strtoul(field, &end, 16);
  const int want = nmea_checksum(c->command + 1);
  if (end != field && got == static_cast<unsigned long>(want)) {
    c->acknowledged = 1;
  } else {
    c->resend = 1;
  }
}

void on_version(nmea_parser* p) {
  magellan_ctx* c = ctx_of(p);
  char* v = nullptr;
  str_set("$", &v);
  str_cat(p->name, &v);
  str_cat(",", &v);
  str_cat(p->fields, &v);
  str_cat("*", &v);
  str_cat(p->checksum, &v);
  free_mem(&c->version);
  c->version = v;
  keep_checksum(c, p);
}

void on_data(nmea_parser* p) {
  magellan_ctx* c = ctx_of(p);
  keep_checksum(c, p);
  write_sentence(c, p);
}

void on_command(nmea_parser* p) {
  magellan_ctx* c = ctx_of(p);
  char field[kNmeaFieldSize];
  nmea_next_field(p, field);
  if (std::strcmp(field, "END") == 0) c->done = 1;
  if (std::strcmp(field, "UNABLE") == 0) c->refused = 1;
  on_data(p);
}

constexpr nmea_handler kDriverHandlers[MGN_SENTENCES] = {nullptr,  on_csm,  on_data,   on_data,
                                                         on_version, on_data, on_command};

void ctx_free(magellan_ctx** ctx) {
  if (!ctx || !*ctx) return;
  magellan_ctx* c = *ctx;
  nmea_parser_free(&c->parser);
  free_mem(&c->version);
  free_mem(&c->command);
  free_mem(ctx);
}

void feed(magellan_ctx* c, const char* bytes, int n) {
  nmea_feed(reinterpret_cast<const uint8_t*>(bytes), n, c->parser);
}

void set_command(magellan_ctx* c, const char* text) {
  if (text) {
    str_set(text, &c->command);
  } else {
    free_mem(&c->command);
  }
}

// Opens the output file of an item: null with error 2 when it cannot be made.
std::FILE* open_item(const char* base, const char* extension) {
  std::FILE* f = gps_item_file_open(base, extension);
  if (!f) set_gblerr(ERR_FILE_ACCESS);
  return f;
}

void download(void* connection, void* driver, int32_t* count, const char* base,
              const char* extension, const char* title, const char* const* commands, int n) {
  if (count) *count = 0;
  magellan_ctx* c = static_cast<magellan_ctx*>(driver);
  if (!c) return;
  c->dev = static_cast<com_device*>(connection);
  progress_step(title, 0.0);
  std::FILE* f = open_item(base, extension);
  if (!f) return;
  for (int i = 0; i < n && get_gblerr() == 0; ++i) {
    int32_t part = 0;
    magellan_transfer(f, c, commands[i], &part);
    if (count) *count += part;
  }
  c->out = nullptr;
  std::fclose(f);
}

}  // namespace

magellan_ctx* magellan_ctx_create(com_device* dev) {
  magellan_ctx* c = nullptr;
  alloc_mem_zero(&c, sizeof *c);
  if (!c) return nullptr;
  c->dev = dev;
  nmea_parser_new(magellan_dict(), kDriverHandlers, MGN_SENTENCES, c, nullptr, 80, nullptr, &c->parser);
  if (!c->parser) ctx_free(&c);
  return c;
}

void magellan_ctx_free(magellan_ctx** ctx) { ctx_free(ctx); }

int magellan_read_line(com_device* dev, char* buf, int size) {
  int stored = 0, taken = 0, empty = 0;
  while (empty < kMagellanEmptyReads && taken < kLineBytesMax) {
    uint8_t b = 0;
    const int r = com_read_byte(dev, &b);
    if (r < 0) break;
    if (r == 0) {
      ++empty;
      continue;
    }
    ++taken;
    if (stored < size - 1) buf[stored++] = char(b);
    if (b == '\n') break;
  }
  if (size > 0) buf[stored < size ? stored : size - 1] = 0;
  return stored;
}

int magellan_command(magellan_ctx* c) {
  char line[kMagellanLineMax];
  for (int attempt = 0; attempt <= kMagellanResends; ++attempt) {
    c->resend = 0;
    c->acknowledged = 0;
    nmea_send(c->dev, c->command);
    const int n = magellan_read_line(c->dev, line, sizeof line);
    if (n <= 0) return set_gblerr(ERR_PROTOCOL);
    feed(c, line, n);
    if (get_gblerr()) return get_gblerr();
    if (!c->resend) return 0;
  }
  return set_gblerr(ERR_PROTOCOL);
}

int magellan_next_line(magellan_ctx* c) {
  char line[kMagellanLineMax];
  const int n = magellan_read_line(c->dev, line, sizeof line);
  if (n <= 0) return set_gblerr(ERR_PROTOCOL);
  feed(c, line, n);
  if (get_gblerr()) return get_gblerr();
  char ack[32];
  std::snprintf(ack, sizeof ack, "$PMGNCSM,%2s", c->last_checksum);
  nmea_send(c->dev, ack);
  return 0;
}

magellan_ctx* magellan_handshake(com_device* dev) {
  nmea_send(dev, "$PMGNCMD,HANDOFF");
  nmea_send(dev, "$PMGNCMD,NMEAOFF");
  uint8_t* chunk = nullptr;
  alloc_mem(&chunk, kDrainChunk);
  if (!chunk) return nullptr;
  // A receiver in NMEA mode fills chunk after chunk: bounded by the time it keeps on.
  for (int i = 0; i < 100 && com_read(dev, kDrainChunk, chunk) == kDrainChunk; ++i) {
  }
  nmea_send(dev, "$PMGNCMD,VERSION");
  // The answer in chunks of up to 100 bytes: a receiver slow to start answering gets a
  // few silences of one read, and an answer stops at the first silence after it began.
  magellan_ctx* c = nullptr;
  int total = 0;
  for (int i = 0; i < kVersionReads && !(c && c->version); ++i) {
    const int n = com_read(dev, kVersionChunk, chunk);
    if (n <= 0) {
      if (total > 0 || n < 0) break;
      continue;
    }
    total += n;
    if (!c) c = magellan_ctx_create(dev);
    if (!c) break;
    feed(c, reinterpret_cast<const char*>(chunk), n);
  }
  if (c) {
    if (!c->version) {
      ctx_free(&c);
    } else {
      nmea_send(dev, "$PMGNCMD,HANDON");
      // Its acknowledgement, read whole so that it is not taken for the answer to the
      // next command.
      magellan_read_line(dev, reinterpret_cast<char*>(chunk), kVersionChunk);
    }
  }
  free_mem(&chunk);
  set_gblerr(0);
  return c;
}

char* magellan_version_name(const char* version, char* out, int size) {
  out[0] = 0;
  const char* p = version ? std::strchr(version, ',') : nullptr;
  if (p) p = std::strchr(p + 1, ',');
  if (!p) return out;
  ++p;
  const char* star = std::strrchr(p, '*');
  const size_t n = star ? size_t(star - p) : std::strlen(p);
  std::snprintf(out, size_t(size), "%.*s", int(n), p);
  return out;
}

int magellan_transfer(std::FILE* file, magellan_ctx* c, const char* command, int32_t* count) {
  *count = 0;
  c->out = file;
  c->done = 0;
  c->refused = 0;
  if (c->version) std::fprintf(file, "%s\r\n", c->version);
  set_command(c, command);
  const int err = magellan_command(c);
  set_command(c, nullptr);
  if (err) return err;
  if (c->refused) return set_gblerr(ERR_PROTOCOL);
  while (!c->done && get_gblerr() == 0) {
    char text[48];
    std::snprintf(text, sizeof text, "%d points", *count);
    progress_step(text, (*count % 200) * 0.005);
    if (magellan_next_line(c) != 0) break;
    if (c->refused) return set_gblerr(ERR_PROTOCOL);
    if (!c->done) ++*count;
  }
  return get_gblerr();
}

int32_t magellan_identify(const char* device_name, gpsport_t* port) {
  com_device* dev = nullptr;
  com_open(device_name, kMagellanSpeed, &dev);
  if (!dev) return GPS_IDENTIFY_UNOPENABLE;
  magellan_ctx* c = magellan_handshake(dev);
  if (!c) {
    com_close(&dev);
    return GPS_IDENTIFY_NONE;
  }
  char name[128];
  magellan_version_name(c->version, name, sizeof name);
  serial_port_identified(port, GPS_MAGELLAN, kMagellanSpeed, device_name, name, dev, c,
                         kMagellanCapabilities);
  return 1;
}

int32_t magellan_connect(gpsport_t* port) {
  com_device* dev = nullptr;
  com_open(port->device_path, kMagellanSpeed, &dev);
  if (!dev) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  magellan_ctx* c = magellan_handshake(dev);
  char name[128] = {};
  if (c) magellan_version_name(c->version, name, sizeof name);
  if (!c || !port->display_name || std::strcmp(name, port->display_name) != 0) {
    ctx_free(&c);
    com_close(&dev);
    set_gblerr(ERR_PROTOCOL);
    return 0;
  }
  port->connection = dev;
  port->driver = c;
  return 1;
}

void magellan_download_waypoints(void* connection, void* driver, int32_t* count, const char* base,
                                 const char* extension) {
  static const char* const kCommands[] = {"$PMGNCMD,WAYPOINT"};
  download(connection, driver, count, base, extension, "Magellan - Waypoints", kCommands, 1);
}

void magellan_download_tracklog(void* connection, void* driver, int32_t* count, const char* base,
                                const char* extension) {
  static const char* const kCommands[] = {"$PMGNCMD,TRACK,2"};
  download(connection, driver, count, base, extension, "Magellan - Tracklog", kCommands, 1);
}

void magellan_download_routes(void* connection, void* driver, int32_t* count, const char* base,
                              const char* extension) {
  static const char* const kCommands[] = {"$PMGNCMD,WAYPOINT", "$PMGNCMD,ROUTE"};
  download(connection, driver, count, base, extension, "Magellan - Routes", kCommands, 2);
}

void magellan_delete_track(void* connection, void* driver, int32_t* count) {
  if (count) *count = 0;
  magellan_ctx* c = static_cast<magellan_ctx*>(driver);
  if (!c) return;
  c->dev = static_cast<com_device*>(connection);
  c->out = nullptr;
  c->done = 0;
  c->refused = 0;
  set_command(c, "$PMGNCMD,DELETE,TRACK");
  const int err = magellan_command(c);
  set_command(c, nullptr);
  if (err) return;
  const int64_t start = plat::now_ms();
  while (!c->refused && !c->done && get_gblerr() == 0 &&
         plat::now_ms() - start < int64_t(kMagellanDeleteSeconds * 1000)) {
    if (magellan_next_line(c) != 0) break;
  }
  if (c->refused && get_gblerr() == 0) set_gblerr(ERR_PROTOCOL);
}

void magellan_close(void** driver) {
  if (!driver || !*driver) return;
  magellan_ctx* c = static_cast<magellan_ctx*>(*driver);
  if (c->dev) {
    const int saved = get_gblerr();
    c->out = nullptr;
    set_command(c, "$PMGNCMD,HANDOFF");
    magellan_command(c);
    nmea_send(c->dev, "$PMGNCMD,BAUD,4800");
    set_gblerr(saved);
  }
  ctx_free(&c);
  *driver = nullptr;
}

void magellan_install() {
  gps_device_column& col = gps_device_table[GPS_MAGELLAN];
  col.identify = magellan_identify;
  col.connect = magellan_connect;
  col.download[0] = magellan_download_waypoints;
  col.download[1] = magellan_download_tracklog;
  col.download[2] = magellan_download_routes;
  col.erase[0] = magellan_delete_track;
  col.close = magellan_close;
  gpsport_set_startup(GPS_STARTUP_MAGELLAN, magellan_log_register);
}
