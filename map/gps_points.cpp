// Services on points and point lists: labels, rings, centroids, timing tests, speeds
// between track points, projection of a point, and the presence of GPS points.
//
// Every point class keeps its coordinates at the same place (kPointCoordsOffset); the
// classes with an elevation keep `altitude` and `geoidh` right after them, and the
// timed ones their date-time at a place the table below gives.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/draw_gdi.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

struct time_place {
  int cls;
  size_t offset;
};
const time_place kTimePlaces[] = {
    {CLS_WAYPOINT, offsetof(waypoint_t, time)},       {CLS_POI, offsetof(poi_t, time)},
    {CLS_COURSEPOINT, offsetof(coursepoint_t, time)}, {CLS_GPSPOS, offsetof(gpspos_t, time)},
    {CLS_POSITION, offsetof(position_t, time)}};

bool has_coords(int cls) {
  switch (cls) {
    case CLS_WAYPOINT: case CLS_POI: case CLS_GPSPOS: case CLS_GEOTEXT: case CLS_LOIPOINT:
    case CLS_COURSEPOINT: case CLS_LAP_BEGIN: case CLS_LAP_END: case CLS_GEOPOINT:
    case CLS_POSITION:
      return true;
    default:
      return false;
  }
}
bool has_elevation(int cls) {
  return has_coords(cls) && cls != CLS_GEOTEXT && cls != CLS_GEOPOINT && cls != CLS_POSITION;
}
static_assert(offsetof(waypoint_t, altitude) == 36 && offsetof(gpspos_t, altitude) == 36 &&
              offsetof(poi_t, altitude) == 36 && offsetof(coursepoint_t, altitude) == 36 &&
              offsetof(loipoint_t, altitude) == 36 && offsetof(lap_t, altitude) == 36);
constexpr int kAltitudeOffset = 36;
constexpr int kGeoidOffset = 40;

gps_point_t coords_of(const obj_t* o) {
  return field_load<gps_point_t>(o, kPointCoordsOffset);
}

bool is_point_with_symbol(int cls) {
  return cls == CLS_WAYPOINT || cls == CLS_POI || cls == CLS_COURSEPOINT;
}

// The mean of points' coordinates. Geographic longitudes are averaged the short way
// round: when the points leave their widest gap between two of them rather than across
// the 180th meridian (a track from +179.99 to -179.99), they are cut at that gap, the
// ones west of it carried one turn east, and the mean brought back into -180..180. The
// test needs every point within -180..180 and -90..90; projected coordinates of a GPS
// object's data (metres, feet) all but never fit it, and when they do the widest gap is
// the outer one, so their mean stays the plain one.
//
// The longitudes are summed as they come, with their least and greatest. While those lie
// less than 180 degrees apart, no gap between two points can be wider than the one
// across the 180th meridian, so there is no cut and the plain sum stands: the points are
// then neither kept nor sorted. Otherwise the lists are walked again for the cut.
struct point_mean {
  std::vector<const container_t*> lists;
  size_t n = 0;
  double sx = 0, sy = 0;
  double low = 0, high = 0;
  bool geographic = true;

  void add(double x, double y) {
    if (n == 0) low = high = x;
    low = x < low ? x : low;
    high = x > high ? x : high;
    ++n;
    sx += x;
    sy += y;
    if (!(x >= -180.0 && x <= 180.0 && y >= -90.0 && y <= 90.0)) geographic = false;
  }
  // The longitudes of the points, in the order they were added.
  std::vector<double> longitudes() const;
  // The longitude where the points are cut, or NaN when the plain mean holds.
  double cut() const {
    if (!geographic || n < 2 || high - low < 180.0) return std::nan("");
    std::vector<double> s = longitudes();
    std::sort(s.begin(), s.end());
    double widest = s.front() + 360.0 - s.back();  // the gap across the 180th meridian
    double at = std::nan("");
    for (size_t i = 0; i + 1 < s.size(); ++i)
      if (s[i + 1] - s[i] > widest) {
        widest = s[i + 1] - s[i];
        at = s[i + 1];
      }
    return at;
  }
  void result(double out[2]) const {
    if (n == 0) {
      out[0] = out[1] = 0.0;
      return;
    }
    const double at = cut();
    double x = sx;
    if (!std::isnan(at)) {
      x = 0;
      for (double v : longitudes()) x += v >= at ? v : v + 360.0;
    }
    x /= double(n);
    if (!std::isnan(at) && x > 180.0) x -= 360.0;
    out[0] = x;
    out[1] = sy / double(n);
  }
};

// The points of a list that count in a mean.
template <class F> void each_point(const container_t* points, F f) {
  const int count = obj_list_count(points);
  for (int i = 0; i < count; ++i) {
    const obj_t* p = points->elems[i];
    if (!p || !has_coords(p->cls)) continue;
    f(coords_of(p));
  }
}

std::vector<double> point_mean::longitudes() const {
  std::vector<double> xs;
  xs.reserve(n);
  for (const container_t* l : lists) each_point(l, [&](const gps_point_t& c) { xs.push_back(c.x); });
  return xs;
}

// Adds the coordinates of a list's points to a mean.
void add_points(const container_t* points, point_mean* mean) {
  mean->lists.push_back(points);
  each_point(points, [&](const gps_point_t& c) { mean->add(c.x, c.y); });
}

}  // namespace

const date_rec* gpsobj_point_time(const obj_t* point, date_rec* out) {
  if (!point) return nullptr;
  for (const time_place& t : kTimePlaces) {
    if (t.cls != point->cls) continue;
    *out = field_load<date_rec>(point, int(t.offset));
    return out;
  }
  return nullptr;
}

void gpsobj_set_label(obj_t* obj) {
  if (!obj || !is_point_with_symbol(obj->cls)) return;
  // The three point classes share the head of the record up to `label`.
  auto* w = static_cast<waypoint_t*>(obj);
  const char16_t* text = nullptr;
  if (w->display == 0)
    text = w->name;
  else if (w->display == 2)
    text = w->comment;
  else
    return;
  if (!text) {
    free_mem(&w->label);
    return;
  }
  // The label holds what is drawn of the text, its first label_units units: a huge
  // name is kept whole in the name, not a second time in the label.
  const size_t n = size_t(label_units(text));
  char16_t* fresh = nullptr;
  alloc_mem(&fresh, (n + 1) * sizeof(char16_t));
  std::memcpy(fresh, text, n * sizeof(char16_t));
  fresh[n] = 0;
  free_mem(&w->label);
  w->label = fresh;
}

void file_set_point_labels(obj_t* file, int cls) {
  fileatt_t* f = file_of(file);
  if (!f) return;
  folder_t* it = nullptr;
  for (folder_t* folder = file_next_folder(f, &it); folder; folder = file_next_folder(f, &it)) {
    container_t* objects = folder_get_objects(folder, nullptr);
    const int n = obj_list_count(objects);
    for (int i = 0; i < n; ++i)
      if (objects->elems[i] && objects->elems[i]->cls == cls) gpsobj_set_label(objects->elems[i]);
  }
}

void gpsobj_close_ring(obj_t* obj) {
  if (!obj || obj_class_tree_links(obj->cls) != TREE_FATHER_AND_SONS) return;
  container_t* points = static_cast<tree_obj_t*>(obj)->sons;
  const int n = obj_list_count(points);
  if (n == 0) return;
  obj_t* first = points->elems[0];
  obj_t* last = points->elems[n - 1];
  if (!has_coords(first->cls) || !has_coords(last->cls)) return;
  const gps_point_t a = coords_of(first), b = coords_of(last);
  if (a.x != b.x || a.y != b.y || a.z != b.z) obj_list_append(points, first);
}

int gpsobj_track_extent(const obj_t* line, gps_track_extent* out) {
  *out = gps_track_extent{};
  if (!line || obj_class_tree_links(line->cls) != TREE_FATHER_AND_SONS) return 0;
  const container_t* sons = static_cast<const tree_obj_t*>(line)->sons;
  const auto take = [out](const obj_t* p) {
    if (!p || !has_coords(p->cls)) return;
    const gps_point_t c = coords_of(p);
    if (out->points == 0) {
      out->first = c;
      out->box = extent_t{c.x, c.x, c.y, c.y, 0.0};
    }
    out->last = c;
    out->box.xmin = std::min(out->box.xmin, c.x);
    out->box.xmax = std::max(out->box.xmax, c.x);
    out->box.ymin = std::min(out->box.ymin, c.y);
    out->box.ymax = std::max(out->box.ymax, c.y);
    ++out->points;
  };
  for (int i = 0; i < obj_list_count(sons); ++i) {
    const obj_t* o = sons->elems[i];
    if (o && o->cls == CLS_TRACKSEG) {
      const container_t* points = static_cast<const trackseg_t*>(o)->sons;
      for (int k = 0; k < obj_list_count(points); ++k) take(points->elems[k]);
    } else {
      take(o);
    }
  }
  return out->points;
}

void gpsobj_centroid(const container_t* points, double out[2]) {
  point_mean mean;
  add_points(points, &mean);
  mean.result(out);
}

int track_has_times(const container_t* points) {
  const int n = obj_list_count(points);
  if (n < 10) return 0;
  int timed = 0;
  for (int i = 0; i < n; ++i) {
    date_rec t;
    if (gpsobj_point_time(points->elems[i], &t) && t.date > 19000101.0) ++timed;
  }
  return 2 * timed > n ? 1 : 0;
}

void gpsobj_remove_empty_routes(container_t* list) {
  for (int i = obj_list_count(list) - 1; i >= 0 && !get_gblerr(); --i) {
    obj_t* o = list->elems[i];
    if (!o || o->cls != CLS_ROUTE || obj_list_count(static_cast<route_t*>(o)->sons) > 0) continue;
    obj_list_remove_at(list, i);
    free_obj(&o);
  }
}

void gpsobj_track_label_positions(container_t* list) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* o = list->elems[i];
    if (!o || o->cls != CLS_TRACKLOG) continue;
    auto* t = static_cast<tracklog_t*>(o);
    point_mean mean;
    const int segs = obj_list_count(t->sons);
    for (int s = 0; s < segs; ++s) {
      obj_t* seg = t->sons->elems[s];
      if (seg && seg->cls == CLS_TRACKSEG) add_points(static_cast<trackseg_t*>(seg)->sons, &mean);
    }
    double c[2];
    mean.result(c);
    t->txtcoord.x = c[0];
    t->txtcoord.y = c[1];
  }
}

// ---- Speeds -----------------------------------------------------------------------------

gps_speed_frame::gps_speed_frame(const georef_t* georef) {
  if (georef) {
    xform_chain_t* c = nullptr;
    georef_chain_to_ref(georef, &c);
    chain = c;
    datum = c ? geo_get_ref_datum(nullptr) : georef->datum;
  } else {
    datum = geo_get_ref_datum(nullptr);
  }
}

gps_speed_frame::~gps_speed_frame() {
  if (!chain) return;
  const int pending = get_gblerr();
  set_gblerr(0);
  obj_t* c = chain;
  free_obj(&c);
  set_gblerr(pending);
}

int gps_speed_frame::speed(const obj_t* p1, const obj_t* p2, double* out) const {
  *out = 0.0;
  date_rec t1, t2;
  if (!p1 || !p2 || !gpsobj_point_time(p1, &t1) || !gpsobj_point_time(p2, &t2)) return -1;
  if (t1.date == 0.0 || t2.date == 0.0) return -1;
  const double seconds = date_time_diff(t1.date, t1.day, t2.date, t2.day) * 86400.0;
  if (!(seconds > 0.0)) return -1;
  gps_point_t a = coords_of(p1), b = coords_of(p2);
  double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
  if (chain) {
    xform_chain_forward(chain, &ax, &ay, &az);
    xform_chain_forward(chain, &bx, &by, &bz);
  }
  double distance = 0.0;
  georef_distance(datum, ax, ay, bx, by, &distance);
  if (get_gblerr()) return -1;
  *out = std::fabs(distance / seconds);
  return 0;
}

int gpspos_speed(const georef_t* georef, const obj_t* p1, const obj_t* p2, double* out) {
  const gps_speed_frame frame(georef);
  double v = 0.0;
  const int rc = frame.speed(p1, p2, &v);
  if (out) *out = v;
  return rc;
}

// ---- Projection and presence ------------------------------------------------------------

void gpsobj_project_point(xform_chain_t* chain, obj_t* point) {
  if (!chain || !point || !has_coords(point->cls)) return;
  gps_point_t c = coords_of(point);
  double x = c.x, y = c.y, z = c.z;
  xform_chain_forward(chain, &x, &y, &z);
  c = gps_point_t{x, y, float(z)};
  field_store(point, kPointCoordsOffset, c);
  if (!has_elevation(point->cls)) return;
  const float altitude = field_load<float>(point, kAltitudeOffset);
  const float geoidh = field_load<float>(point, kGeoidOffset);
  if (geoidh != 0.0f && altitude != 0.0f) field_store(point, kGeoidOffset, float(altitude - z));
}

int list_has_gps_points(const container_t* list) {
  return obj_list_has_class(list, CLS_WAYPOINT) || obj_list_has_class(list, CLS_GPSPOS) ? 1 : 0;
}

int file_has_gps_points(obj_t* file) {
  fileatt_t* f = file_of(file);
  if (!f) return 0;
  if (list_has_gps_points(file_get_objects(f, nullptr))) return 1;
  folder_t* it = nullptr;
  for (folder_t* folder = file_next_folder(f, &it); folder; folder = file_next_folder(f, &it))
    if (list_has_gps_points(folder_get_objects(folder, nullptr))) return 1;
  return 0;
}
