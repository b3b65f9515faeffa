// The georeference of an OziExplorer calibration (see ozi_map.h): the datum and the
// projection named by the file, found in the OziExplorer names of the geodesy tables or
// made (UTM zones, custom projections), the calibration points carried into the
// georeference's coordinates, and the affine step fitted to them.
#include <cmath>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/strutil.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "raster/ozi_map.h"

namespace {

constexpr int kOziNames = 6;  // naming scheme of the geodesy tables

struct projection_name {
  const char* name;
  int kind;
};

// The names OziExplorer writes on the "Map Projection" line.
constexpr projection_name kProjections[] = {
    {"Latitude/Longitude", -1},
    {"(UTM) Universal Transverse Mercator", 1},
    {"Transverse Mercator", 1},
    {"Lambert Conformal Conic", 8},
    {"Mercator", 7},
    {"(A)Lambert Azimuthual Equal Area", 10},
    {"Polyconic", 22},
    {"Polyconic (American)", 22},
    {"Sinusoidal", 24},
    {"Albers Equal Area", 11},
    {"(EQC) Equidistant Conic", 13},
    {"Van Der Grinten", 25},
    {"Vertical Near-Sided Perspective", -1},
    {"(WIV) Wagner IV", -1},
    {"Bonne", -1},
};

// The work of one calibration; frees what it made unless it is handed over.
struct calibration_work {
  geodatum_t* datum = nullptr;       // the map's datum
  cartproj_t* projection = nullptr;  // found or made
  int kind = -1;
  georef_t* georef = nullptr;
  container_t* pairs = nullptr;      // class-41 control pairs
  ~calibration_work() {
    if (pairs) obj_list_free_elements(pairs);
    free_obj(&pairs);
    free_obj(&georef);
  }
};

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The mean position of the points, in degrees (longitude, latitude).
void mean_degrees(const ozi_map_text& t, double mean[2]) {
  std::vector<double> xy;
  for (const ozi_point& p : t.points) {
    xy.push_back(p.lon / 60.0);
    xy.push_back(p.lat / 60.0);
  }
  crs_points_centroid(int(t.points.size()), xy.data(), mean);
}

// The UTM zone that the points state (their mean zone), or the zone of their mean
// position when they state none.
cartproj_t* utm_of_points(const ozi_map_text& t, geodatum_t* datum) {
  if (t.points.empty()) return nullptr;
  int sum = 0;
  bool south = false;
  for (const ozi_point& p : t.points) {
    if (p.zone > 0 && p.zone <= 60) sum += p.zone;
    south = south || p.south;
  }
  const int zone = sum / int(t.points.size());
  if (zone == 0) {
    double mean[2];
    mean_degrees(t, mean);
    return crs_utm_from_lonlat(datum, mean, nullptr);
  }
  return crs_name_utm(datum, zone, south ? 1 : 0, nullptr);
}

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

// A projection of the tables with the parameters of a custom one: v holds origin
// latitude and longitude, scale factor, false easting and northing, and the standard
// parallels (degrees and metres).
bool same_parameters(const cartproj_t* p, int kind, const double v[7]) {
  constexpr double kRad = 3.14159265358979323846 / 180.0;
  if (p->projtype != kind || p->unit != LEN_METRE) return false;
  if (!near(proj_given_lambda0(p), v[1] * kRad, 1e-9) || !near(p->phio0, v[0] * kRad, 1e-9))
    return false;
  if (!near(p->x0, v[3], 0.01) || !near(p->y0, v[4], 0.01)) return false;
  if (kind == PK_LCC2) return near(p->coeff1, v[5] * kRad, 1e-9) && near(p->coeff2, v[6] * kRad, 1e-9);
  return near(p->k0, v[2], 1e-9);
}

// A custom projection from the "Projection Setup" fields: an equal one of the tables
// when there is one, else a new one. 0, or 14 when the setup is missing or unusable for
// the kind.
int custom_projection(const ozi_map_text& t, calibration_work& w) {
  if (!t.has_setup) return 14;
  if (t.setup[0].empty()) return w.kind == 1 ? 0 : 14;
  double v[7];
  for (int i = 0; i < 7; ++i) {
    v[i] = str_to_double(t.setup[i].c_str());
    if (!std::isfinite(v[i])) return 14;
  }
  if (t.setup[2].empty()) v[2] = 1.0;  // no scale factor written: true scale
  cartproj_t* cursor = nullptr;
  while (proj_next_of_datum(w.datum, &cursor) && cursor) {
    if (same_parameters(cursor, w.kind, v)) {
      w.projection = cursor;
      return 0;
    }
  }
  const double params[8] = {v[1], v[0], v[2], v[3], v[4], v[5], v[6], 0.0};
  std::string name = w.datum->name ? w.datum->name : "";
  name += " / OziExplorer custom projection";
  int code = 0;
  geo_next_code(CLS_CARTPROJ, &code);
  const int pending = get_gblerr();
  proj_create(name.c_str(), w.kind, params, LEN_METRE, ANG_DEGREE, w.datum, code, &w.projection);
  set_gblerr(pending);
  return 0;
}

// Datum, projection and georeference. 0, 13 or 14.
int make_georef(const ozi_map_text& t, calibration_work& w) {
  geo_find_by_alias(CLS_GEODATUM, kOziNames, t.datum_name.c_str(), &w.datum);
  if (!w.datum) return 13;
  geo_find_by_alias(CLS_CARTPROJ, kOziNames, t.projection_name.c_str(), &w.projection);
  w.kind = w.projection ? w.projection->projtype : ozi_projection_kind(t.projection_name.c_str());
  if (w.kind >= 0 && !w.projection) {
    if (starts_with(t.projection_name, "(UTM)")) w.projection = utm_of_points(t, w.datum);
    if (!w.projection) {
      const int rc = custom_projection(t, w);
      if (rc != 0) return rc;
    }
    if (!w.projection) return 13;
  }
  georef_create(nullptr, &w.georef);
  if (!w.georef) return 1;
  w.georef->refertype = w.kind < 0 ? GEOREF_GEOGRAPHIC : GEOREF_PROJECTED;
  w.georef->datum = w.kind < 0 ? w.datum : w.projection->datum;
  w.georef->projection = w.kind < 0 ? nullptr : w.projection;
  georef_reset_unit(w.georef);
  return w.georef->datum ? 0 : 13;
}

// One point in the georeference's coordinates.
bool world_of(const ozi_point& p, const calibration_work& w, double* x, double* y) {
  if (w.kind >= 0 && p.grid) {
    *x = p.easting;
    *y = p.northing;
    return std::isfinite(*x) && std::isfinite(*y);
  }
  *x = p.lon;
  *y = p.lat;
  angle_unit_convert(ANG_MINUTE, angle_unit_or_degree(w.datum->unit), x, y);
  if (w.kind >= 0) proj_forward(w.projection, x, y);
  return std::isfinite(*x) && std::isfinite(*y);
}

// The control pairs: image points measured upwards from the bottom row, as the fit
// takes them. 0 or 14.
int make_pairs(const ozi_map_text& t, calibration_work& w, double bottom) {
  obj_list_new(&w.pairs);
  if (!w.pairs) return 1;
  for (const ozi_point& p : t.points) {
    double x = 0, y = 0;
    if (!world_of(p, w, &x, &y)) return 14;
    xform_control_point_t* c = nullptr;
    obj_new_registered(CLS_XFORM_CONTROL_POINT, &c);
    if (!c) return 1;
    c->sx = p.px;
    c->sy = bottom - p.py;
    c->tx = x;
    c->ty = y;
    obj_list_append(w.pairs, c);
  }
  return 0;
}

// The image height of the "IWH" line, checked. The fit counts rows from `bottom` =
// height - 1 and turns them back, so that a pixel row of the file is a row of the image.
bool usable_height(const ozi_map_text& t) {
  return t.has_height && t.height >= 1.0 && t.height <= double(1 << 30);
}

}  // namespace

int ozi_projection_kind(const char* name) {
  if (!name) return -1;
  for (const projection_name& p : kProjections)
    if (std::strcmp(p.name, name) == 0) return p.kind;
  return -1;
}

int ozi_map_calibrate(const ozi_map_text& t, ozi_calibration* out) {
  if (!out) return 14;
  *out = ozi_calibration{};
  calibration_work w;
  int rc = make_georef(t, w);
  if (rc != 0) return rc;
  if (!usable_height(t)) return 14;
  const double bottom = std::floor(t.height) - 1.0;
  rc = make_pairs(t, w, bottom);
  if (rc != 0) return rc;
  xform_affine3d_t* step = nullptr;
  xform_linear2d_t* linear = nullptr;
  if (georef_fit_affine(w.pairs, int(bottom), &step, &linear) != 0) {
    set_gblerr(0);
    return 14;
  }
  free_obj(&linear);
  out->georef = w.georef;
  out->step = step;
  w.georef = nullptr;
  return 0;
}
