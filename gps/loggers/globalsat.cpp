// The Globalsat data-logger driver: greeting and identifier, the paged track-file list,
// the two-packet track files decoded by their record formats into a TMN-V3 navigation
// log, and the erase.
#include "gps/loggers/globalsat.h"

#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "core/tracelog.h"
#include "gps/gpsport.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/item_file.h"
#include "gps/loggers/serial_identify.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "shell/framework/progress.h"

namespace {

constexpr uint8_t kIdTrackFile = 0xB5;
constexpr uint8_t kIdErase = 0xBA;
constexpr uint8_t kIdList = 0xBB;
constexpr uint8_t kIdGreeting = 0xBC;
constexpr uint8_t kIdIdentifier = 0xBF;
constexpr int kIdentifierSize = 13;               // id, 8 identifier bytes, 4 more
constexpr int kListHeadSize = 5;                  // id, count, next index
constexpr int kPacketSize = 1 + kGlobalsatPacketBytes;
constexpr int kTrackPauseMs = 30;
constexpr const char* kNamePrefix = "GlobalSat DataLogger ID ";

const char* const kTmnHeader = "TMN-V3_Tarmelo_Navigation_logfile\n";
const char* const kTmnColumns =
    "#longitude;latitude;time;starttrack;altitude;height;depth;temperature;speed;direction;"
    "nbsatsinvue;nbsatsused;dgps;fix;hdop;pdop;\n";

struct time_outs {
  double no_data, no_progress, overall;
};
constexpr time_outs kGreetingTimeOuts = {10, 10, 100};
constexpr double kIdentifierOverallS = 20;
constexpr time_outs kDownloadTimeOuts = {10, 50, 200};
constexpr time_outs kEraseTimeOuts = {10, 10, 200};

void set_time_outs(port_read_ctx* w, const time_outs& t) {
  w->no_data_timeout_s = t.no_data;
  w->no_progress_timeout_s = t.no_progress;
  w->overall_timeout_s = t.overall;
}

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
int32_t be32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                              static_cast<uint32_t>(p[2]) << 8 | p[3]);
}

globalsat_ctx* ctx_of(bframe* f) { return static_cast<globalsat_ctx*>(f->driver); }

void on_identifier(globalsat_ctx* ctx, const uint8_t* p, int n) {
  if (n < kIdentifierSize) return;
  for (int i = 0; i < 8; ++i) std::snprintf(ctx->id + 2 * i, 3, "%02X", p[1 + i]);
  ctx->recognised = p[11] == 13 && p[12] == 0 ? 1 : 0;
}

// A list page: the count, the next page's index, then the entries. Only the entries the
// frame really holds are counted; a page cut short is the last one.
bool on_list(globalsat_ctx* ctx, const uint8_t* p, int n) {
  if (n < kListHeadSize) return false;
  const int count = be16(p + 1);
  const int held = (n - kListHeadSize) / kGlobalsatListEntrySize;
  ctx->next_index = be16(p + 3);
  if (held < count) ctx->next_index = 0;
  ctx->track_files += count < held ? count : held;
  ctx->list_answered = 1;
  return true;
}

// A track-file packet: the first only notes it came, the second ends the wait; a third
// is not this file's.
bool on_track_packet(globalsat_ctx* ctx, const uint8_t* p, int n) {
  if (ctx->command != kIdTrackFile || n < kPacketSize || ctx->packets >= 2) return false;
  ++ctx->packets;
  const bool last = ctx->first_packet_seen != 0;
  ctx->first_packet_seen = 1;
  globalsat_decode_packet(ctx, p + 1, kGlobalsatPacketBytes);
  return last;
}

}  // namespace

double globalsat_degrees(int32_t v) { return (v % 1000000) * 1.6666666666666667e-6 + v / 1000000; }

void globalsat_decode_packet(globalsat_ctx* ctx, const uint8_t* data, int n) {
  if (!ctx || !data) return;
  int at = 0;
  for (int r = 0; r < kGlobalsatRecordsPerPacket; ++r) {
    const uint32_t format = ctx->record_format;
    if (format > 2) return;  // a format no logger writes: the rest cannot be read
    const int size = kGlobalsatRecordSize[format];
    if (n - at < size) return;
    const uint8_t* rec = data + at;
    at += size;
    globalsat_point pt{};
    pt.latitude = be32(rec);
    pt.longitude = be32(rec + 4);
    // Empty slots: -1, -1 in every format (the logger's erased flash); 255, 255 too
    // in formats 0 and 1.
    const bool erased = pt.latitude == -1 && pt.longitude == -1;
    const bool empty = format != 2 && pt.latitude == 255 && pt.longitude == 255;
    if (erased || empty) continue;
    pt.format = static_cast<int32_t>(format);
    if (format >= 1) {
      pt.time = be32(rec + 8);
      pt.date = be32(rec + 12);
      pt.speed = be32(rec + 16);
    }
    if (format == 2) {
      pt.altitude = be32(rec + 20);
      ctx->record_format = static_cast<uint32_t>(be32(rec + 28));
    }
    if (ctx->points_in_answer < kGlobalsatMaxPoints) ctx->points[ctx->points_in_answer++] = pt;
  }
}

void globalsat_on_frame(bframe* f) {
  globalsat_ctx* ctx = ctx_of(f);
  if (!ctx) return;
  port_read_ctx* w = ctx->wait;
  if (w) w->progress = 1;
  const uint8_t* p = f->cursor;
  const int n = f->expected;
  bool done = false;
  switch (f->message_id) {
    case kIdIdentifier:
      on_identifier(ctx, p, n);
      done = true;
      break;
    case kIdGreeting:
      done = true;
      break;
    case kIdErase:
      if (n >= 5 && be32(p + 1) == 1) ctx->points_in_answer = 1;
      ctx->erase_answered = 1;
      done = true;
      break;
    case kIdList:
      done = ctx->command == kIdList && on_list(ctx, p, n);
      break;
    case kIdTrackFile:
      done = on_track_packet(ctx, p, n);
      break;
    default:
      break;
  }
  if (done && w) w->done = 1;
}

void globalsat_write_point(std::FILE* out, const globalsat_point& p) {
  if (!out) return;
  const double lon = globalsat_degrees(p.longitude), lat = globalsat_degrees(p.latitude);
  if (p.format == 0) {
    std::fprintf(out, "%.15lf;%.15lf;;;;;;;;;;;;;;;\n", lon, lat);
    return;
  }
  char when[64];
  format_date_iso(date_from_hhmmss_ddmmyy(p.time, p.date), 1, 0, when, sizeof when);
  const char q = pick_quote_char(when, nullptr);
  if (p.format == 1) {
    std::fprintf(out, "%.15lf;%.15lf;%c%s%c;;;;;;%.5lf;;;;;;;;\n", lon, lat, q, when, q,
                 p.speed * 0.01);
  } else {
    std::fprintf(out, "%.15lf;%.15lf;%c%s%c;;%.12le;;;;%.5lf;;;;;;;;\n", lon, lat, q, when, q,
                 p.altitude * 0.0001, p.speed * 0.01);
  }
}

// ---- Context ------------------------------------------------------------------------------

globalsat_ctx* globalsat_ctx_create(void* device) {
  globalsat_ctx* ctx = nullptr;
  alloc_mem_zero(&ctx, sizeof(globalsat_ctx));
  if (!ctx) return nullptr;
  if (bframe_create_config(&kBframeGlobalsat, globalsat_on_frame, device, com_read_routine,
                           &ctx->frame) != 0) {
    free_mem(&ctx);
    return nullptr;
  }
  ctx->frame->driver = ctx;
  port_reader_create(bframe_feed_chunk, reinterpret_cast<port_reader*>(ctx->frame), &ctx->wait);
  ctx->frame->wait = ctx->wait;
  return ctx;
}

void globalsat_close(void** driver) {
  if (!driver || !*driver) return;
  auto* ctx = static_cast<globalsat_ctx*>(*driver);
  if (ctx->out) std::fclose(ctx->out);
  bframe_free(&ctx->frame);
  port_reader_free(&ctx->wait);
  free_mem(&ctx);
  *driver = nullptr;
}

namespace {

// A frame left half-received by an earlier answer would swallow the new one: the
// automaton starts afresh before each command.
int send_wait(globalsat_ctx* ctx, const uint8_t* payload, int length) {
  bframe_reset(0, ctx->frame);
  ctx->frame->state = 0;
  return bframe_send_wait(ctx->frame->port, payload, length, ctx->frame);
}

}  // namespace

int globalsat_query(globalsat_ctx* ctx) {
  if (!ctx) return 0;
  set_time_outs(ctx->wait, kGreetingTimeOuts);
  const uint8_t greeting[] = {kIdGreeting, 0x00};
  send_wait(ctx, greeting, sizeof greeting);
  ctx->wait->overall_timeout_s = kIdentifierOverallS;
  const uint8_t ask[] = {kIdIdentifier, 0x00};
  for (int attempt = 0; attempt < kGlobalsatTries - 1 && !ctx->recognised; ++attempt) {
    // An identifier of another product is an answer: no point asking again.
    if (send_wait(ctx, ask, sizeof ask) == PORT_DONE || get_gblerr() != 0) break;
  }
  return ctx->recognised ? 1 : 0;
}

namespace {

globalsat_ctx* open_and_query(const char* path, com_device** dev, bool* unopenable) {
  return serial_open_and_query(path, kGlobalsatSpeed, globalsat_ctx_create, globalsat_query,
                               globalsat_close, dev, unopenable);
}

}  // namespace

int32_t globalsat_probe(const char* device_name, gpsport_t* port) {
  if (!device_name || !port) return GPS_IDENTIFY_NONE;
  com_device* dev = nullptr;
  bool unopenable = false;
  globalsat_ctx* ctx = open_and_query(device_name, &dev, &unopenable);
  if (unopenable) return GPS_IDENTIFY_UNOPENABLE;
  if (!ctx) {
    set_gblerr(0);
    return GPS_IDENTIFY_NONE;
  }
  char name[64];
  std::snprintf(name, sizeof name, "%s%s", kNamePrefix, ctx->id);
  serial_port_identified(port, GPS_GLOBALSAT, kGlobalsatSpeed, device_name, name, dev, ctx,
                         kGlobalsatCapabilities);
  return 1;
}

int32_t globalsat_connect(gpsport_t* port) {
  if (!port) return 0;
  // A port still open from its identification is opened afresh.
  serial_port_release(port, globalsat_close);
  com_device* dev = nullptr;
  bool unopenable = false;
  globalsat_ctx* ctx = open_and_query(port->device_path, &dev, &unopenable);
  if (unopenable) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  if (ctx) {
    // The logger must be the one identified: its ID follows the prefix of the name.
    const size_t prefix = std::strlen(kNamePrefix);
    const char* name = port->display_name;
    if (name && std::strncmp(name, kNamePrefix, prefix) == 0 &&
        std::strncmp(name + prefix, ctx->id, 16) == 0 && std::strlen(ctx->id) == 16) {
      port->connection = dev;
      port->driver = ctx;
      return 1;
    }
    void* d = ctx;
    globalsat_close(&d);
    com_close(&dev);
  }
  set_gblerr(ERR_PROTOCOL);
  return 0;
}

// ---- Download -----------------------------------------------------------------------------

namespace {

// The whole list, page by page: false when a page never came or the pages do not move on.
bool read_list(globalsat_ctx* ctx) {
  ctx->command = kIdList;
  uint16_t index = 0;
  do {
    ctx->list_answered = 0;
    for (int attempt = 0; attempt < kGlobalsatTries && !ctx->list_answered; ++attempt) {
      const uint8_t ask[] = {kIdList, static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index & 0xFF)};
      send_wait(ctx, ask, sizeof ask);
      if (get_gblerr() != 0) return false;
    }
    if (!ctx->list_answered) return false;
    if (ctx->next_index != 0 && ctx->next_index <= index) return false;
    index = ctx->next_index;
  } while (index != 0);
  return true;
}

bool open_output(globalsat_ctx* ctx, const char* base_name, const char* extension) {
  ctx->out = gps_item_file_open(base_name, extension);
  if (!ctx->out) return false;
  std::fputs(kTmnHeader, ctx->out);
  std::fprintf(ctx->out, "#Globalsat Data Logger ID %s\n", ctx->id);
  std::fputs(kTmnColumns, ctx->out);
  return true;
}

// Track file i until it came whole (a few tries): true when it did.
bool read_track_file(globalsat_ctx* ctx, int i) {
  for (int attempt = 0; attempt < kGlobalsatTries; ++attempt) {
    ctx->points_in_answer = 0;
    ctx->record_format = 2;
    ctx->first_packet_seen = 0;
    ctx->packets = 0;
    plat::sleep_ms(kTrackPauseMs);
    const uint8_t ask[] = {kIdTrackFile, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i & 0xFF)};
    const int result = send_wait(ctx, ask, sizeof ask);
    if (get_gblerr() != 0) return false;
    if (result == PORT_DONE) return true;
  }
  return false;
}

bool read_track_files(globalsat_ctx* ctx, int32_t* count) {
  ctx->command = kIdTrackFile;
  int files = ctx->track_files;
  if (files > 0x10000) {
    log_line("Globalsat datalog: more track files than a request can name; the rest is not read");
    files = 0x10000;
  }
  for (int i = 0; i < files; ++i) {
    if (!read_track_file(ctx, i)) return false;
    *count += ctx->points_in_answer;
    for (int k = 0; k < ctx->points_in_answer; ++k) globalsat_write_point(ctx->out, ctx->points[k]);
    char text[160];
    std::snprintf(text, sizeof text, "Track subfile : %d / %d (Total %d points)", i, files, *count);
    progress_step(text, static_cast<double>(i) / files);
  }
  return true;
}

}  // namespace

void globalsat_write_tmn(void* connection, void* driver, int32_t* count, const char* base_name,
                         const char* extension) {
  int32_t written = 0;
  if (count) *count = 0;
  auto* ctx = static_cast<globalsat_ctx*>(driver);
  if (!ctx || !connection || !base_name) return;
  progress_set_text("Globalsat - Datalog", 0);
  ctx->points_in_answer = 0;
  ctx->track_files = 0;
  ctx->next_index = 0;
  set_time_outs(ctx->wait, kDownloadTimeOuts);
  if (!read_list(ctx)) {
    if (get_gblerr() == 0) set_gblerr(ERR_PROTOCOL);
    return;
  }
  if (ctx->track_files < 1) return;
  if (!open_output(ctx, base_name, extension)) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  int error = 0;
  if (!read_track_files(ctx, &written)) error = get_gblerr() ? get_gblerr() : ERR_PROTOCOL;
  const bool failed = std::ferror(ctx->out) != 0;
  if ((std::fclose(ctx->out) != 0 || failed) && error == 0) error = ERR_FILE_ACCESS;
  ctx->out = nullptr;
  if (count) *count = written;
  if (error) set_gblerr(error);
}

void globalsat_erase_log(void* connection, void* driver, int32_t* count) {
  if (count) *count = 0;
  auto* ctx = static_cast<globalsat_ctx*>(driver);
  if (!ctx || !connection) return;
  ctx->points_in_answer = 0;
  ctx->erase_answered = 0;
  set_time_outs(ctx->wait, kEraseTimeOuts);
  const uint8_t cmd[] = {kIdErase, 0xFF, 0xFF};
  send_wait(ctx, cmd, sizeof cmd);
  if (count) *count = ctx->erase_answered ? 1 : 0;
}

void globalsat_install() {
  gps_device_column& c = gps_device_table[GPS_GLOBALSAT];
  c.identify = globalsat_probe;
  c.connect = globalsat_connect;
  c.download[0] = c.download[1] = c.download[2] = nullptr;
  c.download[3] = globalsat_write_tmn;
  c.erase[0] = nullptr;
  c.erase[1] = globalsat_erase_log;
  c.switch_off = nullptr;
  c.close = globalsat_close;
}
