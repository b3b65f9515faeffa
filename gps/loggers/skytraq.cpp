// The SkyTraq data-logger driver: identification, log status, the sector download with
// its raw collection and record decoding into a TMN-V3 navigation log, and the erase.
#include "gps/loggers/skytraq.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/tracelog.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "gps/gpsport.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/item_file.h"
#include "gps/loggers/serial_identify.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "shell/framework/progress.h"

namespace {

constexpr uint8_t kIdVersion = 0x80;
constexpr uint8_t kIdAck = 0x83;
constexpr uint8_t kIdNack = 0x84;
constexpr uint8_t kIdLogStatus = 0x94;
constexpr uint8_t kCmdVersion = 0x02;
constexpr uint8_t kCmdMessageType = 0x09;
constexpr uint8_t kCmdLogStatus = 0x17;
constexpr uint8_t kCmdClear = 0x19;
constexpr uint8_t kCmdSector = 0x1B;
constexpr int kSendPauseMs = 10;
constexpr int kLogStatusSize = 35;

// The tag that ends a sector's raw data; one checksum byte follows it.
constexpr char kSectorTag[] = "END\0CHECKSUM=";
constexpr int kSectorTagSize = sizeof kSectorTag - 1;

const char* const kTmnHeader = "TMN-V3_Tarmelo_Navigation_logfile\n";
const char* const kTmnColumns =
    "#longitude;latitude;time;starttrack;altitude;height;depth;temperature;speed;direction;"
    "nbsatsinvue;nbsatsused;dgps;fix;hdop;pdop;\n";

struct time_outs {
  double no_data, no_progress, overall;
};
constexpr time_outs kQueryTimeOuts = {10, 10, 60};
constexpr time_outs kSectorTimeOuts = {10, 10, 300};
constexpr time_outs kEraseTimeOuts = {20, 20, 20};
constexpr double kRawOverallS = 1000;

void set_time_outs(port_read_ctx* w, const time_outs& t) {
  w->no_data_timeout_s = t.no_data;
  w->no_progress_timeout_s = t.no_progress;
  w->overall_timeout_s = t.overall;
}

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }
uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

skytraq_ctx* ctx_of(bframe* f) { return static_cast<skytraq_ctx*>(f->driver); }

// ---- Raw sector collection ----------------------------------------------------------------

// Back to framed messages: the wait record's handler, the total time-out and the
// automaton's state as they were before the sector.
void end_raw_phase(skytraq_ctx* ctx) {
  if (!ctx->wait || ctx->wait->handler != skytraq_raw_chunk) return;
  ctx->wait->handler = bframe_feed_chunk;
  ctx->wait->overall_timeout_s = ctx->saved_overall_s;
  bframe_reset(0, ctx->frame);
  ctx->frame->state = ctx->saved_state;
}

void sector_append(skytraq_ctx* ctx, uint8_t b) {
  if (ctx->sector_len >= ctx->sector_cap) {
    uint32_t cap = static_cast<uint32_t>(ctx->sector_len + 301);
    grow_capacity(&ctx->sector, &cap);
    ctx->sector_cap = static_cast<int32_t>(cap);
  }
  ctx->sector[ctx->sector_len++] = b;
}

// The sector's tag and checksum byte came: the data before the tag is decoded when its
// XOR matches the checksum byte; a sector damaged on the line is given up (and asked
// again) instead of writing wrong points.
void sector_end(skytraq_ctx* ctx, uint8_t checksum) {
  const int data_len = ctx->sector_len - kSectorTagSize;
  if (bframe_xor(ctx->sector, data_len) != checksum) {
    char line[120];
    std::snprintf(line, sizeof line, "SkyTraq datalog: sector of %d bytes with a wrong checksum, asked again",
                  data_len);
    log_line(line);
    ctx->sector_state = SKYTRAQ_SECTOR_FAILED;
  } else {
    ctx->sector_state = SKYTRAQ_SECTOR_DONE;
    skytraq_decode_sector(ctx, ctx->sector, data_len);
  }
  if (ctx->wait) ctx->wait->done = 1;
}

// Feeds raw sector bytes; returns how many it took (it stops after the checksum byte,
// or at a sector grown too long).
int raw_bytes(skytraq_ctx* ctx, const uint8_t* bytes, int count) {
  int used = 0;
  while (used < count) {
    const uint8_t b = bytes[used++];
    if (ctx->wait) ctx->wait->progress = 1;
    if (ctx->sector_state == SKYTRAQ_SECTOR_CHECKSUM) {
      sector_end(ctx, b);
      break;
    }
    sector_append(ctx, b);
    if (ctx->sector_len >= kSectorTagSize &&
        std::memcmp(ctx->sector + ctx->sector_len - kSectorTagSize, kSectorTag, kSectorTagSize) == 0) {
      ctx->sector_state = SKYTRAQ_SECTOR_CHECKSUM;
      continue;
    }
    if (ctx->sector_len > kSkytraqSectorMax + kSectorTagSize) {
      // Not a sector the receiver sends: give it up and let the request be repeated.
      ctx->sector_state = SKYTRAQ_SECTOR_FAILED;
      if (ctx->wait) ctx->wait->done = 1;
      break;
    }
  }
  return used;
}

// The acknowledgement of 1B: the rest of the current chunk is the sector's start.
void start_sector(skytraq_ctx* ctx, bframe* f) {
  ctx->sector_len = 0;
  ctx->sector_state = SKYTRAQ_SECTOR_DATA;
  const int used = raw_bytes(ctx, f->in_cursor, f->in_left);
  f->in_cursor += used;
  f->in_left -= used;
  if (ctx->sector_state == SKYTRAQ_SECTOR_DATA || ctx->sector_state == SKYTRAQ_SECTOR_CHECKSUM) {
    // The sector goes on in later reads: the wait record feeds them raw.
    ctx->saved_state = 0;
    if (ctx->wait) {
      ctx->saved_overall_s = ctx->wait->overall_timeout_s;
      ctx->wait->overall_timeout_s = kRawOverallS;
      ctx->wait->handler = skytraq_raw_chunk;
    }
  }
}

// ---- Records ------------------------------------------------------------------------------

// A 10-bit delta: d below 512 as it stands, else 511 - d.
int32_t delta10(uint32_t d) { return d < 512 ? static_cast<int32_t>(d) : 511 - static_cast<int32_t>(d); }

// Moves a coordinate by a delta; a hostile log at the ends of the 32-bit range wraps
// instead of overflowing.
void move(int32_t* c, int32_t d) {
  *c = static_cast<int32_t>(static_cast<uint32_t>(*c) + static_cast<uint32_t>(d));
}

void write_point(skytraq_ctx* ctx, uint8_t type, uint8_t speed) {
  ++ctx->points;
  if (!ctx->out) return;
  char when[64];
  format_date_iso(date_from_gps_week(ctx->week, ctx->seconds), 1, 0, when, sizeof when);
  const char quote = pick_quote_char(when, nullptr);
  double x = ctx->x, y = ctx->y, z = ctx->z;
  if (ctx->datum) {
    xform_forward(ctx->datum, 12, &x, &y, &z);
    angle_unit_convert(ctx->datum->unit, ANG_DEGREE, &x, &y);
  }
  int start = 0;
  if (type & kSkytraqFullBit) start = (type & kSkytraqPoiBit) ? 2 : 1;
  std::fprintf(ctx->out, "%.15lf;%.15lf;%c%s%c;%d;;%.12le;;;%.5lf;;;;;;;;\n", x, y, quote, when,
               quote, start, z, static_cast<double>(speed));
}

}  // namespace

int skytraq_decode_sector(skytraq_ctx* ctx, const uint8_t* data, int n) {
  if (!ctx || !data) return 0;
  int at = 0, records = 0;
  while (at < n) {
    const uint8_t* r = data + at;
    const uint8_t type = r[0];
    const uint8_t kind = type & (kSkytraqFullBit | kSkytraqCompactBit);
    if (kind == kSkytraqFullBit) {
      if (n - at < kSkytraqFullSize) break;
      uint16_t w[8];
      for (int i = 0; i < 8; ++i) w[i] = be16(r + 2 + 2 * i);
      ctx->week = (w[0] & 0x0FFF) + 1024;
      ctx->seconds = static_cast<uint32_t>(w[1]) << 4 | w[0] >> 12;
      ctx->x = static_cast<int32_t>(static_cast<uint32_t>(w[3]) << 16 | w[2]);
      ctx->y = static_cast<int32_t>(static_cast<uint32_t>(w[5]) << 16 | w[4]);
      ctx->z = static_cast<int32_t>(static_cast<uint32_t>(w[7]) << 16 | w[6]);
      ctx->have_fix = 1;
      write_point(ctx, type, r[1]);
      at += kSkytraqFullSize;
    } else if (kind == kSkytraqCompactBit) {
      if (n - at < kSkytraqCompactSize) break;
      const uint32_t v = static_cast<uint32_t>(r[4]) << 24 | static_cast<uint32_t>(r[5]) << 16 |
                         static_cast<uint32_t>(r[6]) << 8 | r[7];
      at += kSkytraqCompactSize;
      // Deltas need a position to move: without a full record before, nothing to write.
      if (!ctx->have_fix) continue;
      ctx->seconds += be16(r + 2);
      move(&ctx->x, delta10(v >> 22 & 0x3FF));
      move(&ctx->y, delta10((v >> 16 & 0x3F) | (v >> 12 & 0xF) << 6));
      move(&ctx->z, delta10(v & 0x3FF));
      write_point(ctx, type, r[1]);
    } else {
      // Neither type bit, or both (the erased flash after the last record, all 0xFF):
      // the rest of the sector holds no records.
      break;
    }
    ++records;
  }
  return records;
}

// ---- Frames -------------------------------------------------------------------------------

void skytraq_on_frame(bframe* f) {
  skytraq_ctx* ctx = ctx_of(f);
  if (!ctx) return;
  ctx->acknowledged = 0;
  port_read_ctx* w = ctx->wait;
  if (w) w->progress = 1;
  const uint8_t* p = f->cursor;
  const int n = f->expected;
  switch (f->message_id) {
    case kIdVersion:
      if (n >= 14 && p[1] == 1) {
        ctx->software_type = p[1];
        std::memcpy(ctx->version, p + 2, 12);
      }
      if (w) w->done = 1;
      break;
    case kIdAck:
      if (n != 2 || p[1] != ctx->expected) break;
      ctx->acknowledged = 1;
      if (p[1] == kCmdMessageType || p[1] == kCmdClear) {
        if (w) w->done = 1;
      } else if (p[1] == kCmdSector && ctx->sector_state == SKYTRAQ_SECTOR_IDLE) {
        // Once per request: a repeated acknowledgement does not read the sector twice.
        start_sector(ctx, f);
      }
      break;
    case kIdNack:
      if (w) w->done = 1;
      break;
    case kIdLogStatus:
      if (n < kLogStatusSize) break;
      ctx->write_pointer = le32(p + 1);
      ctx->sectors_left = le16(p + 5);
      ctx->total_sectors = le16(p + 7);
      ctx->datalog_enable = p[33];
      ctx->status_seen = 1;
      if (w) w->done = 1;
      break;
    default:
      break;
  }
}

void skytraq_raw_chunk(const uint8_t* bytes, int count, port_reader* reader) {
  auto* f = reinterpret_cast<bframe*>(reader);
  skytraq_ctx* ctx = f ? ctx_of(f) : nullptr;
  if (!ctx || !bytes || count <= 0) return;
  const int used = raw_bytes(ctx, bytes, count);
  if (ctx->sector_state == SKYTRAQ_SECTOR_DATA || ctx->sector_state == SKYTRAQ_SECTOR_CHECKSUM)
    return;
  // The sector ended: what follows it in the chunk is framed again.
  end_raw_phase(ctx);
  if (used < count) bframe_feed(bytes + used, count - used, f);
}

// ---- Context ------------------------------------------------------------------------------

skytraq_ctx* skytraq_ctx_create(void* device) {
  skytraq_ctx* ctx = nullptr;
  alloc_mem_zero(&ctx, sizeof(skytraq_ctx));
  if (!ctx) return nullptr;
  if (bframe_create_config(&kBframeSkytraq, skytraq_on_frame, device, com_read_routine,
                           &ctx->frame) != 0) {
    free_mem(&ctx);
    return nullptr;
  }
  ctx->frame->driver = ctx;
  port_reader_create(bframe_feed_chunk, reinterpret_cast<port_reader*>(ctx->frame), &ctx->wait);
  ctx->frame->wait = ctx->wait;
  return ctx;
}

void skytraq_free(void** driver) {
  if (!driver || !*driver) return;
  auto* ctx = static_cast<skytraq_ctx*>(*driver);
  if (ctx->out) std::fclose(ctx->out);
  bframe_free(&ctx->frame);
  port_reader_free(&ctx->wait);
  free_mem(&ctx->sector);
  free_mem(&ctx);
  *driver = nullptr;
}

void skytraq_send(void* device, const uint8_t* payload, int length) {
  if (length < 0 || length > 65535) return;
  std::string frame;
  frame.reserve(static_cast<size_t>(length) + 7);
  frame.push_back(static_cast<char>(0xA0));
  frame.push_back(static_cast<char>(0xA1));
  frame.push_back(static_cast<char>(length >> 8));
  frame.push_back(static_cast<char>(length & 0xFF));
  frame.append(reinterpret_cast<const char*>(payload), static_cast<size_t>(length));
  frame.push_back(static_cast<char>(bframe_xor(payload, length)));
  frame.push_back('\r');
  frame.push_back('\n');
  com_write(static_cast<com_device*>(device), frame.data(), static_cast<int>(frame.size()));
}

int skytraq_send_wait(skytraq_ctx* ctx, const uint8_t* payload, int length) {
  if (!ctx || !ctx->wait) return 0;
  plat::sleep_ms(kSendPauseMs);
  // A frame left half-received by an earlier answer would swallow the new one: the
  // automaton starts afresh before each command.
  bframe_reset(0, ctx->frame);
  ctx->frame->state = 0;
  ctx->wait->progress = 0;
  ctx->wait->done = 0;
  skytraq_send(ctx->frame->port, payload, length);
  const int result = port_read_loop(ctx->wait);
  end_raw_phase(ctx);  // a sector cut short by a time-out
  return result;
}

int skytraq_query(skytraq_ctx* ctx) {
  if (!ctx) return 0;
  set_time_outs(ctx->wait, kQueryTimeOuts);
  const uint8_t ask[] = {kCmdVersion, 0x01};
  for (int attempt = 0; attempt < kSkytraqQueryTries && ctx->version[1] == 0; ++attempt) {
    ctx->expected = kCmdVersion;
    const int result = skytraq_send_wait(ctx, ask, sizeof ask);
    // A refusal, or a version of another software, is an answer: no point asking again.
    if (result == PORT_DONE || get_gblerr() != 0) break;
  }
  return ctx->version[1] != 0 ? 1 : 0;
}

void skytraq_display_name(const skytraq_ctx* ctx, char* out, int size) {
  const uint8_t* v = ctx->version;
  std::snprintf(out, static_cast<size_t>(size), "Skytraq Ker. %d.%d.%d Ver. %d.%d.%d Rev. %d-%02d-%d",
                v[1], v[2], v[3], v[5], v[6], v[7], 2000 + v[9], v[10], v[11]);
}

namespace {

// Opens the device and identifies the receiver: the context, or null (device closed).
skytraq_ctx* open_and_query(const char* path, com_device** dev, bool* unopenable) {
  return serial_open_and_query(path, kSkytraqSpeed, skytraq_ctx_create, skytraq_query, skytraq_free,
                               dev, unopenable);
}

}  // namespace

int32_t skytraq_probe(const char* device_name, gpsport_t* port) {
  if (!device_name || !port) return GPS_IDENTIFY_NONE;
  com_device* dev = nullptr;
  bool unopenable = false;
  skytraq_ctx* ctx = open_and_query(device_name, &dev, &unopenable);
  if (unopenable) return GPS_IDENTIFY_UNOPENABLE;
  if (!ctx) {
    set_gblerr(0);
    return GPS_IDENTIFY_NONE;
  }
  char name[96];
  skytraq_display_name(ctx, name, sizeof name);
  serial_port_identified(port, GPS_SKYTRAQ, kSkytraqSpeed, device_name, name, dev, ctx,
                         kSkytraqCapabilities);
  return 1;
}

int32_t skytraq_open(gpsport_t* port) {
  if (!port) return 0;
  // A port still open from its identification is opened afresh.
  serial_port_release(port, skytraq_free);
  com_device* dev = nullptr;
  bool unopenable = false;
  skytraq_ctx* ctx = open_and_query(port->device_path, &dev, &unopenable);
  if (unopenable) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  if (ctx) {
    // The receiver identified must be the one the port describes.
    char name[96];
    skytraq_display_name(ctx, name, sizeof name);
    if (!port->display_name || std::strcmp(name, port->display_name) == 0) {
      port->connection = dev;
      port->driver = ctx;
      return 1;
    }
    void* d = ctx;
    skytraq_free(&d);
    com_close(&dev);
  }
  set_gblerr(ERR_PROTOCOL);
  return 0;
}

// ---- Download -----------------------------------------------------------------------------

namespace {

void send_message_type(skytraq_ctx* ctx, uint8_t type) {
  ctx->expected = kCmdMessageType;
  const uint8_t cmd[] = {kCmdMessageType, type, 0x00};
  skytraq_send_wait(ctx, cmd, sizeof cmd);
}

void progress_sector(int i, int count, uint32_t points) {
  char text[160];
  std::snprintf(text, sizeof text, "%s%d / %d (Total %u points)",
                is_french() ? "Datalog : secteur " : "Datalog : sector ", i, count, points);
  progress_step(text, count > 0 ? static_cast<double>(i) / count : 0.0);
}

// Asks sector i until it came whole (a few tries): true when it did.
bool read_sector(skytraq_ctx* ctx, int i) {
  for (int attempt = 0; attempt < kSkytraqSectorTries; ++attempt) {
    ctx->expected = kCmdSector;
    ctx->sector_state = SKYTRAQ_SECTOR_IDLE;
    const uint8_t cmd[] = {kCmdSector, static_cast<uint8_t>(i)};
    skytraq_send_wait(ctx, cmd, sizeof cmd);
    if (get_gblerr() != 0) return false;
    if (ctx->sector_state == SKYTRAQ_SECTOR_DONE) return true;
  }
  return false;
}

// Reads the sectors into the open file; false when one never came whole.
bool read_sectors(skytraq_ctx* ctx) {
  int count = static_cast<int>(ctx->total_sectors - ctx->sectors_left) + 1;
  if (count > kSkytraqSectorLimit) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "SkyTraq datalog: %d sectors, only the first %d can be asked; the rest is not read",
                  count, kSkytraqSectorLimit);
    log_line(line);
    count = kSkytraqSectorLimit;
  }
  set_time_outs(ctx->wait, kSectorTimeOuts);
  ctx->have_fix = 0;
  for (int i = 0; i < count; ++i) {
    progress_sector(i, count, ctx->points);
    if (!read_sector(ctx, i)) return false;
  }
  return true;
}

bool open_output(skytraq_ctx* ctx, const char* base_name, const char* extension) {
  ctx->out = gps_item_file_open(base_name, extension);
  if (!ctx->out) return false;
  const uint8_t* v = ctx->version;
  std::fputs(kTmnHeader, ctx->out);
  std::fprintf(ctx->out, "#SkyTraq Kernel %d.%d.%d Version %d.%d.%d Revision %d-%02d-%d\n", v[1],
               v[2], v[3], v[5], v[6], v[7], 2000 + v[9], v[10], v[11]);
  std::fputs(kTmnColumns, ctx->out);
  return true;
}

}  // namespace

void skytraq_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                          const char* extension) {
  if (count) *count = 0;
  auto* ctx = static_cast<skytraq_ctx*>(driver);
  if (!ctx || !connection || !base_name) return;
  progress_set_text("SkyTraq - Datalog", 0);
  set_time_outs(ctx->wait, kQueryTimeOuts);
  ctx->points = 0;
  ctx->status_seen = 0;
  ctx->total_sectors = ctx->sectors_left = 0;
  send_message_type(ctx, 0x00);
  const uint8_t status[] = {kCmdLogStatus};
  for (int attempt = 0; attempt < kSkytraqSectorTries && !ctx->status_seen; ++attempt) {
    ctx->expected = kCmdLogStatus;
    skytraq_send_wait(ctx, status, sizeof status);
    if (get_gblerr() != 0) break;
  }
  int error = get_gblerr();
  if (error == 0 && (!ctx->status_seen || ctx->sectors_left > ctx->total_sectors)) {
    error = ERR_PROTOCOL;
  } else if (error == 0 && ctx->total_sectors != 0) {
    ctx->datum = geo_get_ref_datum(nullptr);
    if (!open_output(ctx, base_name, extension)) {
      error = ERR_FILE_ACCESS;
    } else {
      if (!read_sectors(ctx) && get_gblerr() == 0) error = ERR_PROTOCOL;
      if (get_gblerr() != 0) error = get_gblerr();
      const bool failed = std::ferror(ctx->out) != 0;
      if (std::fclose(ctx->out) != 0 || failed) error = error ? error : ERR_FILE_ACCESS;
      ctx->out = nullptr;
    }
  }
  if (count) *count = static_cast<int32_t>(ctx->points);
  // NMEA output back on, whatever happened to the log.
  set_gblerr(0);
  set_time_outs(ctx->wait, kQueryTimeOuts);
  send_message_type(ctx, 0x01);
  set_gblerr(error);
}

void skytraq_erase_log(void* connection, void* driver, int32_t* count) {
  if (count) *count = 0;
  auto* ctx = static_cast<skytraq_ctx*>(driver);
  if (!ctx || !connection) return;
  ctx->acknowledged = 0;
  set_time_outs(ctx->wait, kEraseTimeOuts);
  ctx->expected = kCmdClear;
  const uint8_t cmd[] = {kCmdClear};
  skytraq_send_wait(ctx, cmd, sizeof cmd);
  if (count) *count = static_cast<int32_t>(ctx->acknowledged);
}

void skytraq_install() {
  gps_device_column& c = gps_device_table[GPS_SKYTRAQ];
  c.identify = skytraq_probe;
  c.connect = skytraq_open;
  c.download[0] = c.download[1] = c.download[2] = nullptr;
  c.download[3] = skytraq_download_log;
  c.erase[0] = nullptr;
  c.erase[1] = skytraq_erase_log;
  c.switch_off = nullptr;
  c.close = skytraq_free;
}
