// What the two GPS TrackMaker readers share: the icon table, the embedded file objects
// of the images a binary file holds, the datum of a file (by its GPS TrackMaker code, or
// a custom ellipsoid and shift) and the user grid projection, and the module start-up.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/memory.h"
#include "formats/file_load.h"
#include "formats/gtm.h"
#include "formats/gtm_internal.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/xform_records.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/projection.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"
#include "geodesy/units.h"
#include "map/file_object.h"

namespace {

// GPS TrackMaker icon number -> system waypoint symbol.
constexpr int kIconCount = 266;
constexpr int16_t gtm_icons[kIconCount] = {
    0,  20, 19, 24, 31, 5,  11, 3,  19, 19, 19, 0,  30, 54, 4,  2,  20, 10, 12, 46,  // 0
    13, 22, 10, 5,  56, 14, 0,  17, 41, 17, 0,  1,  26, 23, 39, 0,  20, 7,  35, 0,   // 20
    0,  0,  0,  18, 0,  34, 15, 20, 0,  5,  8,  10, 0,  10, 15, 18, 33, 1,  3,  28,  // 40
    28, 0,  0,  29, 52, 17, 0,  0,  10, 2,  25, 0,  0,  27, 24, 0,  3,  33, 0,  8,   // 60
    0,  8,  0,  0,  57, 39, 13, 39, 19, 51, 48, 16, 0,  0,  0,  9,  35, 14, 52, 10,  // 80
    21, 49, 0,  0,  17, 17, 0,  0,  37, 33, 18, 27, 0,  17, 0,  0,  10, 0,  5,  0,   // 100
    18, 18, 12, 4,  0,  0,  17, 5,  0,  0,  0,  29, 28, 10, 19, 19, 19, 19, 0,  0,   // 120
    0,  44, 0,  32, 32, 36, 53, 0,  0,  0,  0,  0,  32, 20, 3,  5,  8,  10, 10, 17,  // 140
    4,  21, 0,  0,  0,  12, 38, 39, 31, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   // 160
    0,  0,  0,  10, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  14,  // 180
    0,  30, 10, 10, 10, 23, 13, 13, 17, 33, 8,  29, 44, 0,  0,  0,  12, 0,  0,  0,   // 200
    49, 10, 10, 10, 49, 49, 49, 32, 32, 32, 0,  0,  59, 3,  0,  10, 12, 23, 0,  0,   // 220
    0,  0,  13, 13, 13, 23, 23, 23, 23, 0,  0,  23, 23, 0,  0,  23, 18, 12, 12, 0,   // 240
    44, 10, 27, 0,  0,  0};                                                          // 260

// Smallest ellipsoid value a custom datum may give.
constexpr double kMinEllipsoidValue = 2e-14;

}  // namespace

int gtm_icon_symbol(int icon) { return icon >= 0 && icon < kIconCount ? gtm_icons[icon] : 0; }

fileatt_t* embedded_file_create(obj_t* parent) {
  fileatt_t* p = file_of(parent);
  if (!p) return nullptr;
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, file_get_name(p), 0, 0, &f);
  if (!f) return nullptr;
  str_set(p->keyname ? p->keyname : file_get_name(p), &f->keyname);
  f->filetype = kFileKindLocal;
  f->fileformat = kFileKindNone;
  // Reads go to the parent's data: its memory-held store when it has one, else its disk
  // file, from the offset the caller sets.
  get_file_ops().set_container(f, p);
  file_set(f, FF_START, 0);
  file_set(f, FF_SIZE, 0);
  file_add_child(p, f);
  return f;
}

geodatum_t* gtm_datum_by_code(const char* code) {
  geodatum_t* d = nullptr;
  geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_GTM, code, &d);
  return d;
}

geodatum_t* gtm_custom_datum(double a, double second, double dx, double dy, double dz) {
  if (!(a > kMinEllipsoidValue) || !(second > kMinEllipsoidValue) || !std::isfinite(a) ||
      !std::isfinite(second) || !std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dz))
    return nullptr;
  const double ellipsoid[2] = {a, second};
  const double shift[10] = {dx, dy, dz, 0, 0, 0, 0, 0, 0, 0};
  const int pending = get_gblerr();
  geodatum_t* d = nullptr;
  crs_gtm_custom(ellipsoid, shift, &d);
  if (get_gblerr() != pending) {
    set_gblerr(pending);
    return nullptr;
  }
  return d;
}

cartproj_t* gtm_user_grid(geodatum_t* datum, const double grid[4]) {
  if (!datum) return nullptr;
  for (int i = 0; i < 4; ++i)
    if (!std::isfinite(grid[i]) || std::fabs(grid[i]) > 1e12) return nullptr;
  if (!(grid[2] > 0.0) || std::fabs(grid[0]) > 360.0) return nullptr;
  obj_t* obj = geo_new_object(CLS_CARTPROJ);
  if (!obj) return nullptr;
  cartproj_t* p = static_cast<cartproj_t*>(obj);
  p->projtype = PK_TM;
  p->trsftype = TRSF_PROJ_TM;
  p->unit = LEN_METRE;
  p->datum = datum;
  p->lambda0 = grid[0] * kProjPi / 180.0;
  p->phio0 = 0.0;
  p->x0 = grid[1];
  p->k0 = grid[2];
  p->y0 = grid[3];
  cartproj_t* existing = nullptr;
  if (proj_find_equal(p, &existing)) {
    proj_discard(p);
    return existing;
  }
  str_set(datum->name ? datum->name : "", &p->name);
  str_cat(" / GPS TrackMaker User Grid (Transverse Mercator)", &p->name);
  const int pending = get_gblerr();
  set_gblerr(0);
  proj_reinit(p, ANG_RADIAN);
  if (get_gblerr() != 0) {
    set_gblerr(pending);
    proj_discard(p);
    return nullptr;
  }
  set_gblerr(pending);
  return p;
}

void gtm_init() {
  gtmtxt_register_keywords();
  register_format_reader(kGtmFormat, gtm_read);
  register_format_reader(kGtmTextFormat, gtmtxt_read);
}

bool gtm_track_point(gtm_tracks* t, container_t* list, double x, double y, const date_rec* time,
                     double altitude, bool new_track) {
  if (new_track || !t->segment) {
    tracklog_t* log = nullptr;
    tracklog_create(list, &log);
    if (!log || get_gblerr() != 0) return false;
    t->logs.push_back(log);
    trackseg_create(log, list, &t->segment);
    if (!t->segment || get_gblerr() != 0) return false;
  }
  gpspos_create(x, y, time, altitude, t->segment, list, nullptr);
  return get_gblerr() == 0;
}

tracklog_t* gtm_next_track(gtm_tracks* t) {
  return t->named < t->logs.size() ? t->logs[t->named++] : nullptr;
}

waypoint_t* gtm_route_point(container_t* index, container_t* list, route_t* route, waypoint_t* w) {
  obj_t* kept = nullptr;
  gpsobj_add_unique(index, w, list, &kept);
  if (kept && route) obj_list_append(route->sons, kept);
  return static_cast<waypoint_t*>(kept);
}

void gtm_project(const cartproj_t* p, double* x, double* y) {
  if (!p || !p->geodatum) return;
  angle_unit_convert(ANG_RADIAN, p->geodatum->unit, x, y);
  proj_forward(p, x, y);
}

void gtm_unproject(const cartproj_t* p, double* x, double* y) {
  if (!p || !p->geodatum) return;
  proj_inverse(p, x, y);
  angle_unit_convert(p->geodatum->unit, ANG_RADIAN, x, y);
}

georef_t* gtm_georef_like(const georef_t* src) {
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  if (!g) return nullptr;
  g->refertype = src->refertype;
  g->datum = src->datum;
  g->projection = src->projection;
  g->unit = src->unit;
  return g;
}

int gtm_display(int code, const int map[5]) { return code >= 0 && code < 5 ? map[code] : 0; }

void gtm_place_objects(obj_t* file, container_t* list) {
  if (!file_of(file)) return;
  folder_get_or_create(file, list, 0, nullptr);
  gpsobj_remove_empty_routes(list);
  gpsobj_attach_icons(list, CLS_WAYPOINT);
  file_default_label_styles(file, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0);
  file_default_track_styles(file, 1, 1000.0);
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}
