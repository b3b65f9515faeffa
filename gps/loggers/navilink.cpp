// Navilink receivers: the dialogue (synchronise, name, information, memory, waypoint and
// route requests), the frame handler that decodes the answers into the item files, and
// the routine slots of family 5.
#include "gps/loggers/navilink.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "gps/gpsport.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/item_file.h"
#include "gps/port_io.h"
#include "shell/framework/progress.h"

namespace {

constexpr int kSpeed = 115200;
constexpr int kRecordSize = 32;
constexpr uint32_t kRecordsPerRequest = 128;   // 4096 bytes of memory records
constexpr uint32_t kWaypointsPerRequest = 32;
constexpr int kRequestTries = 3;               // a request answered by no record
constexpr uint16_t kEmpty = 0xFFFF;

// Message ids.
constexpr uint8_t kNak = 0x00, kAck = 0x0C, kCmdOk = 0xF3, kCmdFail = 0xF4, kData = 0x03;
constexpr uint8_t kSync = 0xD6, kAskName = 0xFE, kAskInfo = 0x20, kAskLogArea = 0x1C;
constexpr uint8_t kReadMemory = 0x14, kReadWaypoints = 0x28, kReadRoute = 0x24;
constexpr uint8_t kClearTrack = 0x11, kClearLog = 0x1B, kQuit = 0xF2;

// Route record as the receivers send it: a 32-byte head (number at 2, name of 14
// characters at 4) and up to nine 32-byte sub-routes, each a u16 type then 14 waypoint
// numbers.
constexpr int kRouteHead = 32;
constexpr int kRouteMin = 18;
constexpr int kRouteNameSize = 14;
constexpr int kSubRoutes = 9;
constexpr int kSubRouteSize = 32;
constexpr int kSubRoutePoints = 14;

constexpr uint8_t kIconSymbols[45] = {0,  10, 1,  8,  44, 23, 2,  34, 0,  27, 18, 17, 40, 29, 37,
                                      37, 0,  13, 1,  30, 44, 0,  28, 0,  23, 6,  4,  4,  0,  23,
                                      44, 5,  5,  0,  0,  24, 53, 38, 2,  31, 0,  20, 14, 1,  41};

constexpr const char* kColumnLine =
    "#longitude;latitude;time;starttrack;altitude;height;depth;temperature;speed;direction;"
    "nbsatsinvue;nbsatsused;dgps;fix;hdop;pdop;\n";
constexpr const char* kWaypointPresence = "1;1;1;1;1;4;1;0;0;0;1;0;0;1;0;0;0;0;0;0;\n";

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void put_u16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
  put_u16(p, v);
  put_u16(p + 2, v >> 16);
}

void progress(const char* text) {
  if (auto fn = get_line_store_hooks().progress_text) fn(text);
}

// A signed fixed-point value with `digits` decimals ("%d.%07d" with the sign kept for
// values between -1 and 0).
void fixed(char* out, size_t size, int64_t value, int digits) {
  int64_t scale = 1;
  for (int i = 0; i < digits; ++i) scale *= 10;
  const bool negative = value < 0;
  const uint64_t a = negative ? uint64_t(-value) : uint64_t(value);
  std::snprintf(out, size, "%s%" PRIu64 ".%0*" PRIu64, negative ? "-" : "", a / uint64_t(scale),
                digits, a % uint64_t(scale));
}

// The six date bytes (two-digit year, month, day, hour, minute, second) as an ISO text;
// "" when they hold no date.
void date_text(const uint8_t* d, char* out, size_t size) {
  date_rec rec = kNoDate;
  if (d[1] >= 1 && d[1] <= 12 && d[2] >= 1 && d[2] <= 31 && d[3] < 24 && d[4] < 60 && d[5] < 60)
    date_from_fields(&rec, year_from_two_digits(d[0]), d[1],
                     hms_to_day_fraction(d[2] - 1, d[3], d[4], d[5]));
  out[0] = 0;
  if (rec.date != 0.0) format_date_iso(rec.date, 1, 1, out, size);
}

char quote_for(const char* text) {
  const char q = pick_quote_char(text, nullptr);
  return q ? q : '"';
}

void write_waypoint_line(std::FILE* out, const navilink_waypoint& w) {
  char lon[32], lat[32], when[64];
  fixed(lon, sizeof lon, w.longitude, 7);
  fixed(lat, sizeof lat, w.latitude, 7);
  date_text(w.date, when, sizeof when);
  const char nq = quote_for(w.name), tq = quote_for(when);
  std::fprintf(out, "%c%d%c;%s;%s;", '"', w.number, '"', lon, lat);
  std::fprintf(out, "%c%s%c;%d;%d;2;", nq, w.name, nq, navilink_icon_symbol(w.icon), w.icon);
  std::fprintf(out, "%.12le;%c%s%c;\n", w.altitude * 0.3048, tq, when, tq);
}

navilink_waypoint decode_waypoint(const uint8_t* r) {
  navilink_waypoint w{};
  w.number = u16(r + 2);
  std::memcpy(w.name, r + 4, 7);
  w.name[7] = 0;
  w.latitude = int32_t(u32(r + 12));
  w.longitude = int32_t(u32(r + 16));
  w.altitude = u16(r + 20);
  std::memcpy(w.date, r + 22, 6);
  w.icon = r[28];
  return w;
}

// Track point: 0 u16 (0xFFFF empty), 2 heading, 12 latitude, 16 longitude, 20 altitude
// (feet), 22 date, 29 speed (units of 2 km/h).
void write_track_record(std::FILE* out, const uint8_t* r) {
  if (u16(r) == kEmpty) return;
  char lon[32], lat[32], when[64];
  fixed(lon, sizeof lon, int32_t(u32(r + 16)), 7);
  fixed(lat, sizeof lat, int32_t(u32(r + 12)), 7);
  date_text(r + 22, when, sizeof when);
  const char q = quote_for(when);
  std::fprintf(out, "%s;%s;%c%s%c;;%.12le;;;;%u;%u;;;;;;;\n", lon, lat, q, when, q,
               u16(r + 20) * 0.3048, unsigned(r[29]) * 2u, unsigned(u16(r + 2)));
}

// Datalog record: 0 PDOP (0.2), 1 satellites used, 2 milliseconds, 4 packed time,
// 12 latitude, 16 longitude, 20 altitude (cm), 24 speed, 26 heading (0.01), 30 flag.
void write_datalog_record(std::FILE* out, const uint8_t* r) {
  date_rec rec = kNoDate;
  date_from_bits_month2000(u32(r + 4), u16(r + 2), &rec);
  char* when = nullptr;
  if (rec.date != 0.0) format_date_iso_span(&rec, 1, 1, &when);
  const char* text = when ? when : "";
  char lon[32], lat[32], alt[32], speed[32], heading[32];
  fixed(lon, sizeof lon, int32_t(u32(r + 16)), 7);
  fixed(lat, sizeof lat, int32_t(u32(r + 12)), 7);
  fixed(alt, sizeof alt, int32_t(u32(r + 20)), 2);
  fixed(speed, sizeof speed, u16(r + 24), 2);
  fixed(heading, sizeof heading, u16(r + 26), 2);
  const char q = quote_for(text);
  std::fprintf(out, "%s;%s;%c%s%c;%d;%s;;;;%s;%s;;%d;;;;%.2lf;\n", lon, lat, q, text, q,
               r[30] ? 1 : 0, alt, speed, heading, r[1], r[0] * 0.2);
  free_mem(&when);
}

void on_info(navilink_ctx* c, const uint8_t* p, int n) {
  if (n != 33) return;
  c->wait->done = 1;
  c->answered = 1;
  c->waypoints = u16(p + 1);
  c->routes = p[3];
  c->track_start = u32(p + 5);
  c->serial = u32(p + 9);
  c->track_points = u16(p + 13);
}

void on_log_area(navilink_ctx* c, const uint8_t* p, int n) {
  if (n != 17) return;
  c->wait->done = 1;
  c->answered = 1;
  const uint32_t start = u32(p + 1), size = u32(p + 5);
  c->log_start = start;
  c->log_end = start + size;
  c->log_read = u32(p + 9);
  c->log_write = u32(p + 13);
  c->datalog_count = 0;
  // An area that wraps round the address space or whose pointers lie outside it holds
  // nothing that can be read.
  const bool sound = c->log_end >= start && c->log_read >= start && c->log_read <= c->log_end &&
                     c->log_write >= start && c->log_write <= c->log_end;
  if (!sound) return;
  if (c->log_write > c->log_read)
    c->datalog_count = (c->log_write - c->log_read) / kRecordSize;
  else if (c->log_write < c->log_read)
    c->datalog_count = (c->log_end - c->log_read + c->log_write - start) / kRecordSize;
}

// Records of the answer, never more than the request still waits for.
uint32_t records_in(const navilink_ctx* c, int n) {
  const uint32_t have = uint32_t(n - 1) / kRecordSize;
  const uint32_t want = c->expected > c->received ? c->expected - c->received : 0;
  return have < want ? have : want;
}

void on_memory(navilink_ctx* c, const uint8_t* p, int n) {
  const uint32_t records = records_in(c, n);
  for (uint32_t i = 0; i < records; ++i) {
    const uint8_t* r = p + 1 + i * kRecordSize;
    if (c->out && c->track_points != 0)
      write_track_record(c->out, r);
    else if (c->out && c->datalog_count >= 1)
      write_datalog_record(c->out, r);
    ++c->received;
    ++c->answered;
  }
  if (c->received >= c->expected) c->wait->done = 1;
}

void on_waypoints(navilink_ctx* c, const uint8_t* p, int n) {
  c->wait->done = 1;
  const uint32_t records = records_in(c, n);
  for (uint32_t i = 0; i < records; ++i) {
    const uint8_t* r = p + 1 + i * kRecordSize;
    ++c->received;
    ++c->answered;
    if (u16(r + 2) == kEmpty) continue;
    const navilink_waypoint w = decode_waypoint(r);
    if (c->into_list) {
      if (c->list_count < c->list_capacity) c->list[c->list_count++] = w;
    } else if (c->out) {
      write_waypoint_line(c->out, w);
    }
  }
}

const navilink_waypoint* find_waypoint(const navilink_ctx* c, uint16_t number) {
  for (uint32_t i = 0; i < c->list_count; ++i)
    if (c->list[i].number == number) return &c->list[i];
  return nullptr;
}

void on_route(navilink_ctx* c, const uint8_t* p, int n) {
  c->wait->done = 1;
  const uint8_t* r = p + 1;
  const int size = n - 1;
  if (size < kRouteMin || !c->out) return;
  ++c->answered;
  char name[kRouteNameSize + 1];
  std::memcpy(name, r + 4, kRouteNameSize);
  name[kRouteNameSize] = 0;
  // The waypoint numbers that the payload really holds, up to the first empty one.
  uint16_t numbers[kSubRoutes * kSubRoutePoints];
  int count = 0;
  bool ended = false;
  for (int s = 0; s < kSubRoutes && !ended; ++s) {
    for (int k = 0; k < kSubRoutePoints; ++k) {
      const int at = kRouteHead + s * kSubRouteSize + 2 + 2 * k;
      if (at + 2 > size) {
        ended = true;
        break;
      }
      const uint16_t number = u16(r + at);
      if (number == kEmpty) {
        ended = true;
        break;
      }
      numbers[count++] = number;
    }
  }
  // Only the points found among the waypoints are written, and counted in the head.
  int found = 0;
  for (int i = 0; i < count; ++i) found += find_waypoint(c, numbers[i]) != nullptr;
  const char q = quote_for(name);
  std::fprintf(c->out, "%d;%c%s%c;%d;\n", r[2], q, name, q, found);
  for (int i = 0; i < count; ++i)
    if (const navilink_waypoint* w = find_waypoint(c, numbers[i])) write_waypoint_line(c->out, *w);
}

void on_data(navilink_ctx* c, const uint8_t* p, int n) {
  switch (c->command) {
    case kAskName:
      if (n > 2) {
        const int len = int(strnlen(reinterpret_cast<const char*>(p + 1), size_t(n - 1)));
        char* name = nullptr;
        alloc_mem(&name, size_t(len) + 1);
        if (!name) return;
        std::memcpy(name, p + 1, size_t(len));
        name[len] = 0;
        free_mem(&c->device_name);
        c->device_name = name;
        c->wait->done = 1;
      }
      break;
    case kAskInfo: on_info(c, p, n); break;
    case kAskLogArea: on_log_area(c, p, n); break;
    case kReadMemory: on_memory(c, p, n); break;
    case kReadWaypoints: on_waypoints(c, p, n); break;
    case kReadRoute: on_route(c, p, n); break;
    default: break;
  }
}

void on_frame(bframe* f) {
  auto* c = static_cast<navilink_ctx*>(f->driver);
  if (!c || !c->wait) return;
  c->acknowledged = 0;
  c->wait->progress = 1;
  const uint8_t* p = f->cursor;
  const int n = f->expected;
  if (n < 1) return;
  switch (p[0]) {
    case kNak:
    case kCmdFail: c->wait->done = 1; break;
    case kAck:
    case kCmdOk:
      if (n == 1) {
        c->acknowledged = 1;
        if (c->command == kClearTrack || c->command == kSync) c->wait->done = 1;
      }
      break;
    case kData: on_data(c, p, n); break;
    default: break;
  }
}

void set_timeouts(navilink_ctx* c, double silence, double no_frame, double total) {
  c->wait->no_data_timeout_s = silence;
  c->wait->no_progress_timeout_s = no_frame;
  c->wait->overall_timeout_s = total;
}

int ask(navilink_ctx* c, const uint8_t* payload, int length) {
  c->command = payload[0];
  return bframe_send_wait(c->frame->port, payload, length, c->frame);
}
int ask1(navilink_ctx* c, uint8_t command) { return ask(c, &command, 1); }

void tell(navilink_ctx* c, uint8_t command) {
  send_framed_message(c->frame->port, &command, 1, 0, kBframeDefaultMarkers);
}

// Asks for the information (or the datalog area): false, with error 17, when no answer
// of the right size came.
bool ask_table(navilink_ctx* c, uint8_t command) {
  c->answered = 0;
  ask1(c, command);
  if (get_gblerr()) return false;
  if (c->answered) return true;
  set_gblerr(ERR_PROTOCOL);
  return false;
}

bool query(navilink_ctx* c) {
  set_timeouts(c, 10, 10, 60);
  ask1(c, kSync);
  if (c->acknowledged && !get_gblerr()) ask1(c, kAskName);
  return c->device_name != nullptr && !get_gblerr();
}

bool open_file(navilink_ctx* c, const char* base_name, const char* extension) {
  c->out = gps_item_file_open(base_name, extension);
  if (!c->out) set_gblerr(ERR_FILE_ACCESS);
  return c->out != nullptr;
}

void close_file(navilink_ctx* c) {
  if (c->out) std::fclose(c->out);
  c->out = nullptr;
}

const char* name_of(const navilink_ctx* c) { return c->device_name ? c->device_name : ""; }

void write_log_header(navilink_ctx* c) {
  std::fprintf(c->out, "TMN-V3_Tarmelo_Navigation_logfile\n#Navilink %s - S.N. %d\n%s", name_of(c),
               int32_t(c->serial), kColumnLine);
}

// One memory request: 14, address, size, flag. Returns the records it got, or -1 when
// the item must end (an error, or too many requests answered by no record).
int read_memory(navilink_ctx* c, uint32_t address, uint32_t size, uint8_t flag, int* tries) {
  uint8_t m[8] = {kReadMemory};
  put_u32(m + 1, address);
  put_u16(m + 5, size);
  m[7] = flag;
  c->answered = 0;
  ask(c, m, 8);
  if (get_gblerr()) return -1;
  if (c->answered == 0) {
    if (++*tries >= kRequestTries) {
      set_gblerr(ERR_PROTOCOL);
      return -1;
    }
    return 0;
  }
  *tries = 0;
  tell(c, kAck);
  return int(c->answered);
}

// Reads the waypoints into the file or, with the into-list flag, into the list.
void read_waypoints(navilink_ctx* c) {
  set_timeouts(c, 10, 10, 200);
  c->received = 0;
  int tries = 0;
  char text[64];
  while (c->received < c->waypoints && !get_gblerr()) {
    const uint32_t n = std::min(c->waypoints - c->received, kWaypointsPerRequest);
    uint8_t m[8] = {kReadWaypoints};
    put_u32(m + 1, c->received);
    put_u16(m + 5, n);
    m[7] = 1;
    c->expected = c->received + n;
    c->answered = 0;
    ask(c, m, 8);
    if (get_gblerr()) break;
    std::snprintf(text, sizeof text, "Waypoint %u / %u", c->received, c->waypoints);
    progress(text);
    if (c->answered == 0) {
      if (++tries >= kRequestTries) set_gblerr(ERR_PROTOCOL);
      continue;
    }
    tries = 0;
    tell(c, kAck);
  }
}

navilink_ctx* ctx_of(void* driver) { return static_cast<navilink_ctx*>(driver); }

}  // namespace

int navilink_icon_symbol(int icon) {
  if (icon < 0) icon = 0;
  if (icon > 44) icon = 44;
  return kIconSymbols[icon];
}

int navilink_ctx_new(void* device, navilink_ctx** out) {
  *out = nullptr;
  navilink_ctx* c = nullptr;
  if (!alloc_mem_zero(&c, sizeof *c)) return set_gblerr(ERR_MEMORY);
  if (int e = bframe_create_config(&kBframeNavilink, on_frame, device, com_read_routine, &c->frame)) {
    free_mem(&c);
    return e;
  }
  c->frame->driver = c;
  if (!port_reader_create(bframe_feed_chunk, reinterpret_cast<port_reader*>(c->frame), &c->wait)) {
    bframe_free(&c->frame);
    free_mem(&c);
    return set_gblerr(ERR_MEMORY);
  }
  c->frame->wait = c->wait;
  *out = c;
  return 0;
}

void navilink_ctx_free(navilink_ctx** ctx) {
  if (!ctx || !*ctx) return;
  navilink_ctx* c = *ctx;
  close_file(c);
  port_reader_free(&c->wait);
  bframe_free(&c->frame);
  free_mem(&c->device_name);
  free_mem(&c->list);
  free_mem(ctx);
}

int32_t navilink_identify(const char* device_name, gpsport_t* port) {
  com_device* dev = nullptr;
  if (!com_open(device_name, kSpeed, &dev)) return GPS_IDENTIFY_UNOPENABLE;
  navilink_ctx* c = nullptr;
  if (navilink_ctx_new(dev, &c) != 0 || !query(c)) {
    navilink_ctx_free(&c);
    com_close(&dev);
    return GPS_IDENTIFY_NONE;
  }
  port->family = GPS_NAVILINK;
  port->kind = GPSPORT_SERIAL;
  port->speed = kSpeed;
  port->connection = dev;
  port->driver = c;
  char* name = nullptr;
  str_set("Navilink ", &name);
  str_cat(c->device_name, &name);
  free_mem(&port->display_name);
  port->display_name = name;
  port->capabilities = 0x3F;
  return 1;
}

int32_t navilink_connect(gpsport_t* port) {
  com_device* dev = nullptr;
  if (!com_open(port->device_path, kSpeed, &dev)) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  navilink_ctx* c = nullptr;
  const char* shown = port->display_name ? port->display_name : "";
  const size_t prefix = std::strlen("Navilink ");
  const bool named = std::strncmp(shown, "Navilink ", prefix) == 0;
  if (navilink_ctx_new(dev, &c) != 0 || !query(c) || !named ||
      std::strcmp(c->device_name, shown + prefix) != 0) {
    navilink_ctx_free(&c);
    com_close(&dev);
    set_gblerr(ERR_PROTOCOL);
    return 0;
  }
  navilink_ctx* old = ctx_of(port->driver);
  navilink_ctx_free(&old);
  port->connection = dev;
  port->driver = c;
  return 1;
}

void navilink_download_tracklog(void* connection, void* driver, int32_t* count,
                                const char* base_name, const char* extension) {
  (void)connection;
  navilink_ctx* c = ctx_of(driver);
  *count = 0;
  if (!c) return;
  progress("Navilink - Tracklog");
  set_timeouts(c, 10, 10, 60);
  c->datalog_count = 0;
  c->track_points = 0;
  if (!ask_table(c, kAskInfo) || c->track_points == 0) return;
  if (!open_file(c, base_name, extension)) return;
  write_log_header(c);
  set_timeouts(c, 10, 10, 300);
  uint32_t address = c->track_start;
  c->received = 0;
  int tries = 0;
  char text[64];
  while (c->received < c->track_points) {
    c->expected = std::min(c->received + kRecordsPerRequest, c->track_points);
    const uint32_t size = std::min((c->track_points - c->received) * kRecordSize, 4096u);
    const int got = read_memory(c, address, size, 0, &tries);
    if (got < 0) break;
    std::snprintf(text, sizeof text, "Tracklog : point %u / %u", c->received, c->track_points);
    progress(text);
    address += uint32_t(got) * kRecordSize;
  }
  close_file(c);
  *count = int32_t(c->received);
}

void navilink_download_datalog(void* connection, void* driver, int32_t* count,
                               const char* base_name, const char* extension) {
  (void)connection;
  navilink_ctx* c = ctx_of(driver);
  *count = 0;
  if (!c) return;
  progress("Navilink - Datalog");
  set_timeouts(c, 10, 10, 60);
  if (!ask_table(c, kAskInfo)) return;
  c->datalog_count = 0;
  c->track_points = 0;
  if (!ask_table(c, kAskLogArea) || c->datalog_count == 0) return;
  if (!open_file(c, base_name, extension)) return;
  write_log_header(c);
  set_timeouts(c, 10, 10, 1500);
  c->received = 0;
  // The area is a ring: from the read address to the write address, or, once it has
  // wrapped, to its end and then from its start.
  struct part {
    uint32_t from, to;
  } parts[2] = {{c->log_read, c->log_write}, {0, 0}};
  int part_count = 1;
  if (c->log_write <= c->log_read) {
    parts[0] = {c->log_read, c->log_end};
    parts[1] = {c->log_start, c->log_write};
    part_count = 2;
  }
  int tries = 0;
  char text[80];
  bool stop = false;
  for (int i = 0; i < part_count && !stop; ++i) {
    uint32_t address = parts[i].from;
    while (address < parts[i].to && c->received < c->datalog_count) {
      c->expected = std::min(c->received + kRecordsPerRequest, c->datalog_count);
      const uint32_t size = std::min(parts[i].to - address, 4096u);
      const int got = read_memory(c, address, size, 1, &tries);
      if (got < 0) {
        stop = true;
        break;
      }
      std::snprintf(text, sizeof text, "Datalog : point %u / %u", c->received, c->datalog_count);
      progress_step(text, double(c->received) / c->datalog_count);
      address += uint32_t(got) * kRecordSize;
    }
  }
  close_file(c);
  *count = int32_t(c->received);
}

void navilink_download_waypoints(void* connection, void* driver, int32_t* count,
                                 const char* base_name, const char* extension) {
  (void)connection;
  navilink_ctx* c = ctx_of(driver);
  *count = 0;
  if (!c) return;
  progress("Navilink - Waypoints");
  set_timeouts(c, 10, 10, 60);
  if (!ask_table(c, kAskInfo) || c->waypoints == 0) return;
  if (!open_file(c, base_name, extension)) return;
  std::fprintf(c->out, "TMW-V2_Tarmelo_Waypoint\nNavilink %s - S.N. %d\n%s", name_of(c),
               int32_t(c->serial), kWaypointPresence);
  c->into_list = 0;
  read_waypoints(c);
  close_file(c);
  *count = int32_t(c->received);
}

void navilink_download_routes(void* connection, void* driver, int32_t* count,
                              const char* base_name, const char* extension) {
  (void)connection;
  navilink_ctx* c = ctx_of(driver);
  *count = 0;
  if (!c) return;
  progress("Navilink - Routes");
  set_timeouts(c, 10, 10, 60);
  if (!ask_table(c, kAskInfo) || c->routes == 0) return;
  set_timeouts(c, 10, 10, 200);
  c->list_count = 0;
  c->list_capacity = c->waypoints + 2;
  if (!alloc_mem_zero(&c->list, size_t(c->list_capacity) * sizeof *c->list)) {
    set_gblerr(ERR_MEMORY);
    return;
  }
  c->into_list = 1;
  read_waypoints(c);
  c->into_list = 0;
  if (!get_gblerr() && open_file(c, base_name, extension)) {
    std::fprintf(c->out, "TMR-V2_Tarmelo_Route\nNavilink %s - S.N. %d %s\n1;1;0;0;0;0;1;\n%s",
                 name_of(c), int32_t(c->serial), "", kWaypointPresence);
    char text[64];
    uint32_t written = 0;
    for (uint32_t i = 0; i < c->routes && !get_gblerr(); ++i) {
      std::snprintf(text, sizeof text, "Route %u / %u", i, c->routes);
      progress(text);
      uint8_t m[8] = {kReadRoute};
      put_u32(m + 1, i);
      m[7] = 1;
      c->answered = 0;
      ask(c, m, 8);
      written += c->answered;
      tell(c, kAck);
    }
    close_file(c);
    *count = int32_t(written);
  }
  free_mem(&c->list);
  c->list_count = c->list_capacity = 0;
}

void navilink_delete_tracklog(void* connection, void* driver, int32_t* count) {
  (void)connection;
  navilink_ctx* c = ctx_of(driver);
  *count = 0;
  if (!c) return;
  c->acknowledged = 0;
  // The clear request names the track area: it comes with the information.
  if (c->track_start == 0) {
    set_timeouts(c, 10, 10, 60);
    if (!ask_table(c, kAskInfo)) return;
  }
  set_timeouts(c, 10, 10, 300);
  uint8_t m[8] = {kClearTrack};
  put_u32(m + 1, c->track_start);
  c->acknowledged = 0;
  ask(c, m, 8);
  *count = c->acknowledged;
}

void navilink_delete_datalog(void* connection, void* driver, int32_t* count) {
  (void)connection;
  navilink_ctx* c = ctx_of(driver);
  *count = 0;
  if (!c) return;
  c->acknowledged = 0;
  set_timeouts(c, 10, 10, 300);
  ask1(c, kClearLog);
  *count = c->acknowledged;
}

void navilink_power_off(void* connection, void* driver, int32_t kind) {
  (void)driver;
  (void)kind;
  const uint8_t quit = kQuit;
  send_framed_message(connection, &quit, 1, 0, kBframeDefaultMarkers);
}

void navilink_close(void** driver) {
  if (!driver) return;
  navilink_ctx* c = static_cast<navilink_ctx*>(*driver);
  navilink_ctx_free(&c);
  *driver = nullptr;
}

void navilink_install() {
  gps_device_column& col = gps_device_table[GPS_NAVILINK];
  col.identify = navilink_identify;
  col.connect = navilink_connect;
  col.download[0] = navilink_download_waypoints;
  col.download[1] = navilink_download_tracklog;
  col.download[2] = navilink_download_routes;
  col.download[3] = navilink_download_datalog;
  col.erase[0] = navilink_delete_tracklog;
  col.erase[1] = navilink_delete_datalog;
  col.switch_off = navilink_power_off;
  col.close = navilink_close;
}
