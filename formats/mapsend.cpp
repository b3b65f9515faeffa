// MapSend files (format 32): an 18-byte head naming the version and the file type, then
// either waypoints followed by routes, or one track. Strings are a length byte and that
// many bytes; numbers are little-endian; every record first checks that its bytes are
// there, so a file cut anywhere ends with error 14 and keeps what was read before.
#include "formats/mapsend.h"

#include <cstring>
#include <string>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/index.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 1048576;
constexpr int64_t kHeadSize = 18;
constexpr int kWaypointFileType = 1;
constexpr int kTrackFileType = 2;

// Smallest records: a waypoint (two empty strings and its 30 bytes of fields), its
// fields after the strings, a route head (empty name, number, count), a route point
// (empty name, 4 skipped, two doubles, symbol), a track head (empty name, count) and a
// track point (two doubles, altitude, time, 4 skipped; one more byte from version 3).
constexpr int64_t kWaypointMin = 32;
constexpr int64_t kWaypointFields = 30;
constexpr int64_t kRouteMin = 9;
constexpr int64_t kRoutePointMin = 22;
constexpr int64_t kTrackMin = 5;
constexpr int64_t kTrackPointMin = 28;

constexpr int kSymbols[] = {12, 32, 1,  20, 20, 0, 24, 3,  5, 11, 8, 14, 0, 10,
                            2,  17, 10, 46, 13, 19, 21, 19, 5, 19, 0, 0, 17, 0,
                            26, 27, 0,  0,  0,  0,  19, 0, 0, 22, 0, 0, 7,  13};

struct mapsend_context {
  container_t* list = nullptr;
  int version = 0;  // 2, 3 or 4
  int unit = ANG_DEGREE;
  container_t* index = nullptr;
};

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// True when n more bytes are in the file; else error 14.
bool need(int64_t n) {
  if (rd_bytes_left() >= n) return true;
  fail(ERR_BAD_FILE);
  return false;
}

// A length byte and that many bytes.
bool read_string(std::string* out) {
  out->clear();
  if (!need(1)) return false;
  const int n = rd_read_byte();
  if (!need(n)) return false;
  out->resize(size_t(n));
  if (n > 0) rd_read_bytes(out->data(), n);
  return get_gblerr() == 0;
}

void skip(int64_t n) { rd_seek(n, 1); }

int32_t read_i32() { return int32_t(rd_read_u32()); }

// A stored longitude and latitude (negated in the file) in the georeference's unit.
void position(mapsend_context* c, double lon, double stored_lat, double* x, double* y) {
  *x = lon;
  *y = -stored_lat;
  angle_unit_convert(ANG_DEGREE, c->unit, x, y);
}

// The head: 0 when it is a MapSend head; its version and file type.
int read_head(int* version, int* type) {
  if (rd_size() < kHeadSize) return ERR_BAD_FILE;
  unsigned char h[kHeadSize];
  if (rd_read_bytes(h, kHeadSize) != kHeadSize) return ERR_BAD_FILE;
  if (h[0] != 13 || std::memcmp(h + 1, "4D53", 4) != 0 || h[7] != '3') return ERR_UNKNOWN_FORMAT;
  if (std::memcmp(h + 9, " MS3", 4) != 0 || h[13] != h[8]) return ERR_UNKNOWN_FORMAT;
  switch (h[8]) {
    case '0': *version = 2; break;
    case '4': *version = 3; break;
    case '6': *version = 4; break;
    default: return ERR_UNKNOWN_FORMAT;
  }
  *type = int(uint32_t(h[14]) | uint32_t(h[15]) << 8 | uint32_t(h[16]) << 16 | uint32_t(h[17]) << 24);
  if (*type != kWaypointFileType && *type != kTrackFileType) return ERR_UNKNOWN_FORMAT;
  return 0;
}

void read_waypoints(mapsend_context* c) {
  if (!need(4)) return;
  const uint32_t count = rd_read_u32();
  std::string name, comment;
  for (uint32_t i = 0; i < count && get_gblerr() == 0; ++i) {
    core_progress_file_position("MapSend");
    if (!need(kWaypointMin) || !read_string(&name) || !read_string(&comment)) return;
    if (!need(kWaypointFields)) return;
    skip(4);
    const int symbol = mapsend_symbol(rd_read_byte());
    skip(1);
    const double altitude = rd_read_double();
    const double lon = rd_read_double();
    const double lat = rd_read_double();
    if (get_gblerr() != 0) return;
    double x = 0, y = 0;
    position(c, lon, lat, &x, &y);
    waypoint_t* w = nullptr;
    waypoint_create(x, y, name.c_str(), comment.c_str(), 0, symbol, 0, altitude, nullptr, &w);
    if (!w || get_gblerr() != 0) return;
    index_insert(c->index, w);
    gpsobj_add_unique(nullptr, w, c->list, nullptr);
  }
}

void read_routes(mapsend_context* c) {
  if (!need(4)) return;
  const uint32_t count = rd_read_u32();
  index_rebuild(c->index);
  std::string name;
  for (uint32_t r = 0; r < count && get_gblerr() == 0; ++r) {
    core_progress_file_position("MapSend");
    if (!need(kRouteMin) || !read_string(&name) || !need(8)) return;
    route_t* route = nullptr;
    route_create(c->list, &route);
    if (!route || get_gblerr() != 0) return;
    mbs_to_wcs(name.c_str(), &route->name);
    route->number = read_i32();
    const uint32_t points = rd_read_u32();
    for (uint32_t i = 0; i < points && get_gblerr() == 0; ++i) {
      if (!need(kRoutePointMin) || !read_string(&name) || !need(21)) return;
      skip(4);
      const double lon = rd_read_double();
      const double lat = rd_read_double();
      const int symbol = mapsend_symbol(rd_read_byte());
      if (get_gblerr() != 0) return;
      double x = 0, y = 0;
      position(c, lon, lat, &x, &y);
      waypoint_t* w = nullptr;
      waypoint_create(x, y, name.c_str(), nullptr, 0, symbol, 0, 0.0, nullptr, &w);
      if (!w || get_gblerr() != 0) return;
      obj_t* kept = nullptr;
      gpsobj_add_unique(c->index, w, c->list, &kept);
      if (kept) obj_list_append(route->sons, kept);
    }
  }
}

void read_track(mapsend_context* c) {
  if (!need(kTrackMin)) return;
  std::string name;
  if (!read_string(&name) || !need(4)) return;
  tracklog_t* log = nullptr;
  tracklog_create(c->list, &log);
  if (!log || get_gblerr() != 0) return;
  mbs_to_wcs(name.c_str(), &log->name);
  trackseg_t* segment = nullptr;
  trackseg_create(log, c->list, &segment);
  if (!segment || get_gblerr() != 0) return;
  const uint32_t count = rd_read_u32();
  const int64_t point_size = kTrackPointMin + (c->version >= 3 ? 1 : 0);
  for (uint32_t i = 0; i < count && get_gblerr() == 0; ++i) {
    if ((i & 1023) == 0) core_progress_file_position("MapSend");
    if (!need(kTrackPointMin) || !need(point_size)) return;
    const double lon = rd_read_double();
    const double lat = rd_read_double();
    const double altitude = c->version >= 4 ? double(rd_read_float()) : double(read_i32());
    const uint32_t seconds = rd_read_u32();
    skip(4);
    const int hundredths = c->version >= 3 ? rd_read_byte() : 0;
    if (get_gblerr() != 0) return;
    double x = 0, y = 0;
    position(c, lon, lat, &x, &y);
    date_rec time{};
    date_normalize(&time, 1970, 1, (double(seconds) + hundredths / 100.0) / 86400.0);
    gpspos_create(x, y, &time, altitude, segment, c->list, nullptr);
  }
}

// The index goes with the read; objects are freed only while no error is pending.
void release(mapsend_context* c) {
  const int err = get_gblerr();
  set_gblerr(0);
  obj_t* index = c->index;
  if (index) free_obj(&index);
  set_gblerr(err);
}

void place_objects(obj_t* file, container_t* list) {
  if (!file_of(file)) return;
  folder_get_or_create(file, list, 0, nullptr);
  gpsobj_attach_icons(list, CLS_WAYPOINT);
  file_default_label_styles(file, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0);
  file_default_track_styles(file, 1, 1000.0);
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}

}  // namespace

int mapsend_symbol(int code) {
  constexpr int n = int(sizeof kSymbols / sizeof kSymbols[0]);
  return code >= 0 && code < n ? kSymbols[code] : 0;
}

void mapsend_init() {
  register_format_reader(kMapsendFormat, mapsend_read);
  register_format_reader(kMapshowTrlFormat, mapshow_read_trl);
  register_format_reader(kMapshowWprFormat, mapshow_read_wpr);
  register_format_reader(kMapshowWpoFormat, mapshow_read_wpo);
  register_format_reader(kMapshowTrkFormat, mapshow_read_trk);
}

int mapsend_read(obj_t* file, container_t* list) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  mapsend_context c;
  c.list = list;
  int type = 0;
  const int head = read_head(&c.version, &type);
  if (head != 0) {
    set_gblerr(0);
    return head;
  }
  georef_t* g = nullptr;
  georef_create(list, &g);
  if (g) c.unit = g->unit;
  if (type == kWaypointFileType) {
    index_create_over(list, CLS_WAYPOINT, AT_WSTRING, int(offsetof(waypoint_t, name)), &c.index);
    read_waypoints(&c);
    if (get_gblerr() == 0) read_routes(&c);
  } else {
    read_track(&c);
  }
  release(&c);
  int err = get_gblerr();
  if (err == 0) {
    place_objects(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}
