// Lowrance USR files: header, waypoints, routes, event marks and trails, read in that
// order. Every count and length comes from the file, so each item first checks that the
// bytes it needs at the least are there (error 14 otherwise), and a string's length is
// checked against what is left before anything is allocated for it.
#include "formats/usr.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
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

constexpr int64_t kBufferSize = 131072;
constexpr double kSphereRadius = 6356752.3142;
constexpr double kPi = 3.14159265358979323846;
constexpr double kFoot = 0.3048;
// Stored altitudes at or below this many feet (-10000 m) mean "no altitude".
constexpr int32_t kNoAltitudeFeet = -32808;
constexpr int kDegreeUnit = 1;

// Least bytes each item takes, checked before it is read.
constexpr int64_t kWaypointBytes = 32;
constexpr int64_t kRouteBytes = 9;
constexpr int64_t kRoutePointBytes = 30;
constexpr int64_t kEventMarkBytes = 12;
constexpr int64_t kTrailBytes = 7;
constexpr int64_t kTrailPointBytes = 9;

struct usr_point {
  double x = 0, y = 0, altitude = 0;
  std::string name, comment;
  date_rec time = kNoDate;
};

struct usr_context {
  container_t* list = nullptr;
  container_t* index = nullptr;
  int unit = kDegreeUnit;
};

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// True when at least n bytes are left; else error 14.
bool need(int64_t n) {
  if (get_gblerr() != 0) return false;
  if (rd_bytes_left() >= n) return true;
  fail(ERR_BAD_FILE);
  return false;
}

int32_t read_i32() { return int32_t(rd_read_u32()); }

// A 32-bit length and that many bytes; a length beyond the bytes left is error 14.
bool read_string(std::string* out) {
  if (!need(4)) return false;
  const uint32_t n = rd_read_u32();
  if (!need(int64_t(n))) return false;
  out->assign(size_t(n), '\0');
  if (n) rd_read_bytes(out->data(), int64_t(n));
  const size_t nul = out->find('\0');
  if (nul != std::string::npos) out->resize(nul);
  return get_gblerr() == 0;
}

// The spherical inverse Mercator, in the georeference's angular unit.
void unproject(const usr_context* c, int32_t northing, int32_t easting, double* x, double* y) {
  *y = (2.0 * std::atan(std::exp(double(northing) / kSphereRadius)) - kPi / 2) * 180.0 / kPi;
  *x = double(easting) / kSphereRadius * 180.0 / kPi;
  angle_unit_convert(kDegreeUnit, c->unit, x, y);
}

bool read_position(const usr_context* c, double* x, double* y) {
  const int32_t northing = read_i32();
  const int32_t easting = read_i32();
  unproject(c, northing, easting, x, y);
  return get_gblerr() == 0;
}

bool read_waypoint_record(const usr_context* c, usr_point* p) {
  if (!read_position(c, &p->x, &p->y)) return false;
  const int32_t feet = read_i32();
  p->altitude = feet <= kNoAltitudeFeet ? 0.0 : feet * kFoot;
  if (!read_string(&p->name) || !read_string(&p->comment)) return false;
  const uint32_t seconds = rd_read_u32();
  p->time = kNoDate;
  if (seconds != 0) date_from_seconds_2000(int64_t(seconds), &p->time);
  rd_read_u32();  // symbol of the device, not kept
  rd_seek(2, 1);
  return get_gblerr() == 0;
}

waypoint_t* make_waypoint(const usr_point& p) {
  waypoint_t* w = nullptr;
  waypoint_create(p.x, p.y, p.name.c_str(), p.comment.c_str(), 0, 0, 0, p.altitude, nullptr, &w);
  if (!w || get_gblerr() != 0) return nullptr;
  w->time = p.time;
  return w;
}

void read_waypoints(usr_context* c) {
  const int count = rd_read_u16();
  for (int i = 0; i < count && need(kWaypointBytes); ++i) {
    core_progress_file_position("USR");
    rd_seek(2, 1);
    usr_point p;
    if (!read_waypoint_record(c, &p)) return;
    waypoint_t* w = make_waypoint(p);
    if (!w) return;
    gpsobj_add_unique(nullptr, w, c->list, nullptr);
  }
}

void read_routes(usr_context* c) {
  if (!need(2)) return;
  const int count = rd_read_u16();
  for (int i = 0; i < count && need(kRouteBytes); ++i) {
    std::string name;
    if (!read_string(&name) || !need(3)) return;
    const int points = rd_read_u16();
    rd_read_byte();
    route_t* route = nullptr;
    route_create(c->list, &route);
    if (!route || get_gblerr() != 0) return;
    mbs_to_wcs(name.c_str(), &route->name);
    for (int k = 0; k < points && need(kRoutePointBytes); ++k) {
      usr_point p;
      if (!read_waypoint_record(c, &p)) return;
      waypoint_t* w = make_waypoint(p);
      if (!w) return;
      obj_t* kept = nullptr;
      gpsobj_add_unique(c->index, w, c->list, &kept);
      if (kept) obj_list_append(route->sons, kept);
    }
  }
}

void read_event_marks(usr_context* c) {
  if (!need(2)) return;
  const int count = rd_read_u16();
  for (int i = 0; i < count && need(kEventMarkBytes); ++i) {
    double x = 0, y = 0;
    if (!read_position(c, &x, &y)) return;
    rd_read_u32();  // symbol of the device, not kept
    obj_t* o = nullptr;
    gpsobj_new_point(CLS_POI, c->list, &o);
    if (!o || get_gblerr() != 0) return;
    auto* poi = static_cast<poi_t*>(o);
    poi->coords.x = x;
    poi->coords.y = y;
    poi->display = 1;
  }
}

// One trail: its points come in blocks until the total is reached. A point whose
// continuation byte is 0 starts a new segment (unless the current one is still empty, or
// it is the trail's last point). A block of no points, or one longer than the bytes
// left, is error 14: the total could never be reached.
bool read_trail(usr_context* c) {
  std::string name;
  if (!read_string(&name) || !need(5)) return false;
  rd_read_byte();
  const int total = rd_read_u16();
  rd_seek(2, 1);
  tracklog_t* log = nullptr;
  tracklog_create(c->list, &log);
  if (!log || get_gblerr() != 0) return false;
  mbs_to_wcs(name.c_str(), &log->name);
  trackseg_t* segment = nullptr;
  trackseg_create(log, c->list, &segment);
  if (!segment || get_gblerr() != 0) return false;
  int done = 0;
  while (done < total) {
    if (!need(2)) return false;
    const int64_t block = rd_read_u16();
    if (block == 0 || block * kTrailPointBytes > rd_bytes_left()) {
      fail(ERR_BAD_FILE);
      return false;
    }
    for (int64_t k = 0; k < block; ++k, ++done) {
      double x = 0, y = 0;
      if (!read_position(c, &x, &y)) return false;
      const int more = rd_read_byte();
      const bool last = done + 1 == total;
      if (more == 0 && !last && obj_list_count(segment->sons) > 0) {
        trackseg_create(log, c->list, &segment);
        if (!segment || get_gblerr() != 0) return false;
      }
      gpspos_create(x, y, &kNoDate, 0.0, segment, c->list, nullptr);
      if (get_gblerr() != 0) return false;
    }
  }
  return true;
}

void read_trails(usr_context* c) {
  if (!need(2)) return;
  const int count = rd_read_u16();
  for (int i = 0; i < count && need(kTrailBytes); ++i)
    if (!read_trail(c)) return;
}

// The index goes with the read. Objects are only freed while no error is pending, so
// the read's error waits aside meanwhile.
void release(usr_context* c) {
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
  file_default_label_styles(file, CLS_POI, 0, 30000, 2000.0, 400.0, 0);
  file_default_track_styles(file, 1, 1000.0);
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}

}  // namespace

void usr_init() { register_format_reader(kUsrFormat, lowrance_read); }

int lowrance_read(obj_t* file, container_t* list) {
  if (!list || rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  if (rd_size() < 12) {
    set_gblerr(0);
    return ERR_BAD_FILE;
  }
  usr_context c;
  c.list = list;
  georef_t* g = nullptr;
  georef_create(list, &g);
  if (g) c.unit = g->unit;
  rd_seek(4, 0);
  if (get_gblerr() == 0) read_waypoints(&c);
  if (get_gblerr() == 0) {
    index_create_over(list, CLS_WAYPOINT, AT_WSTRING, int(offsetof(waypoint_t, name)), &c.index);
    read_routes(&c);
  }
  if (get_gblerr() == 0) read_event_marks(&c);
  if (get_gblerr() == 0) read_trails(&c);
  release(&c);
  int err = get_gblerr();
  // Data that ends inside a record is a file cut short.
  if (err == ERR_FILE_ACCESS) err = ERR_BAD_FILE;
  set_gblerr(err);
  if (err == 0) {
    place_objects(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}
