// MapInfo projection types and the system's projection kinds, in both directions.
//
// Reading: one table indexed by type gives the kind a clause of that type becomes, its
// parameter count and the setter that fills a projection record from the values in
// clause order (degrees, and lengths in the clause's unit). Writing: one table indexed
// by kind gives the routine that picks the type and the values a projection is written
// with, or says it has no MapInfo form; the values are then printed with the formats of
// the type's group. A value read by a setter and written back by its writer is the same
// number: angles go degrees -> radians -> degrees, false origins clause unit -> metres ->
// clause unit.
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/mapinfo.h"
#include "geodesy/mapinfo_internal.h"
#include "geodesy/projection.h"

using namespace mif_detail;

namespace {

// ---- Reading ------------------------------------------------------------------------------
struct setter_ctx {
  int linear_unit;
  const ellipsoid_t* ellipsoid;
};
using mif_setter = void (*)(cartproj_t* p, const double* v, const setter_ctx& ctx);

// The groups of types that share the order of their values and the formats they are
// written with.
enum mif_group : int {
  G_NONE,
  G_LON,           // origin longitude
  G_LON_LAT,       // origin longitude, origin latitude
  G_LON_LAT_C3,    // ... and a third angle
  G_LON_LAT_FO,    // ... false easting, false northing
  G_LON_LAT_K_FO,  // ... scale factor, false easting, false northing
  G_CONIC,         // ... two standard parallels, false easting, false northing
  G_HOTINE,        // ... azimuth, scale factor, false easting, false northing
};

void set_origin(cartproj_t* p, const double* v, bool with_latitude) {
  p->lambda0 = rad_of_deg(v[0]);
  if (with_latitude) p->phio0 = rad_of_deg(v[1]);
}

void set_false_origin(cartproj_t* p, double x0, double y0, const setter_ctx& ctx) {
  length_unit_scale(ctx.linear_unit, 0, &x0, &y0);
  p->x0 = x0;
  p->y0 = y0;
}

void set_lon(cartproj_t* p, const double* v, const setter_ctx&) { set_origin(p, v, false); }

void set_lon_lat(cartproj_t* p, const double* v, const setter_ctx&) { set_origin(p, v, true); }

void set_lon_lat_c3(cartproj_t* p, const double* v, const setter_ctx&) {
  set_origin(p, v, true);
  p->coeff3 = v[2];
}

void set_lon_lat_fo(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_origin(p, v, true);
  set_false_origin(p, v[2], v[3], ctx);
}

void set_lon_lat_k_fo(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_origin(p, v, true);
  p->k0 = v[2];
  set_false_origin(p, v[3], v[4], ctx);
}

// Cones: the scale factor is no parameter of theirs.
void set_conic(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_origin(p, v, true);
  p->coeff1 = v[2];
  p->coeff2 = v[3];
  p->k0 = 0.0;
  set_false_origin(p, v[4], v[5], ctx);
}

// Type 3: the scale at the origin latitude follows from the parallels, so that the cone
// can be compared with one-parallel cones.
void set_lcc(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_conic(p, v, ctx);
  const ellipsoid_t* ell = ctx.ellipsoid;
  if (!ell && p->datum) ell = p->datum->ellip;
  double k0 = 0.0;  // a local: the record is packed
  if (ell) lcc_k0_from_parallels(p->phio0, rad_of_deg(p->coeff1), rad_of_deg(p->coeff2), ell,
                                 &k0);
  p->k0 = k0;
}

// Type 19: the Belgian cone's longitude correction, in degrees.
void set_belgian(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_conic(p, v, ctx);
  p->coeff3 = 0.008213888888888889;
}

// Type 7: MapInfo's Hotine oblique Mercator has no grid angle of its own: the grid is
// rectified by the azimuth of the central line.
void set_hotine(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_origin(p, v, true);
  p->coeff1 = v[2];
  p->coeff2 = v[2];
  p->k0 = v[3];
  set_false_origin(p, v[4], v[5], ctx);
}

// Type 26, the regional Mercator: the second value is the latitude of true scale, which
// is what kind 42 holds in phio0 (the northing origin stays on the equator). Its scale
// on the equator is computed here as the set-up does, so that the candidate compares
// with the projections already set up.
void set_regional_mercator(cartproj_t* p, const double* v, const setter_ctx& ctx) {
  set_origin(p, v, true);
  const ellipsoid_t* ell = ctx.ellipsoid;
  if (!ell && p->datum) ell = p->datum->ellip;
  const double e2 = ell ? ell->e2 : 0.0;
  const double s = std::sin(p->phio0);
  p->k0 = std::cos(p->phio0) / std::sqrt(1.0 - e2 * s * s);
}

struct type_entry {
  int kind;
  int count;
  mif_group group;
  mif_setter set;
};

constexpr type_entry kNoType = {-1, -1, G_NONE, nullptr};

// Types 0 to 31.
constexpr type_entry kTypes[kMifTypeCount] = {
    kNoType,                                        // 0
    {-1, 0, G_NONE, nullptr},                       // 1 longitude / latitude
    {38, 2, G_LON_LAT, set_lon_lat},                // 2 cylindrical equal area
    {8, 6, G_CONIC, set_lcc},                       // 3 Lambert conformal conic
    {10, 3, G_LON_LAT_C3, set_lon_lat_c3},          // 4 Lambert azimuthal equal area
    {12, 3, G_LON_LAT_C3, set_lon_lat_c3},          // 5 azimuthal equidistant
    {13, 6, G_CONIC, set_conic},                    // 6 equidistant conic
    {30, 6, G_HOTINE, set_hotine},                  // 7 Hotine oblique Mercator
    {1, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},       // 8 Transverse Mercator
    {11, 6, G_CONIC, set_conic},                    // 9 Albers equal area conic
    {7, 1, G_LON, set_lon},                         // 10 Mercator
    {20, 1, G_LON, set_lon},                        // 11 Miller
    {23, 1, G_LON, set_lon},                        // 12 Robinson
    {35, 1, G_LON, set_lon},                        // 13 Mollweide
    {39, 1, G_LON, set_lon},                        // 14 Eckert IV
    {40, 1, G_LON, set_lon},                        // 15 Eckert VI
    {24, 1, G_LON, set_lon},                        // 16 sinusoidal
    {41, 1, G_LON, set_lon},                        // 17 Gall
    {26, 4, G_LON_LAT_FO, set_lon_lat_fo},          // 18 New Zealand map grid
    {28, 6, G_CONIC, set_belgian},                  // 19 Belgian Lambert conic
    {14, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},      // 20 stereographic
    {31, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},      // 21 Transverse Mercator, Danish
    {1, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},       // 22 Transverse Mercator, Sjaelland
    {31, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},      // 23 Transverse Mercator, Bornholm
    {1, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},       // 24 Transverse Mercator, Finnish
    {5, 4, G_LON_LAT_FO, set_lon_lat_fo},           // 25 Swiss oblique Mercator
    {42, 2, G_LON_LAT, set_regional_mercator},      // 26 regional Mercator
    {22, 4, G_LON_LAT_FO, set_lon_lat_fo},          // 27 polyconic
    {12, 3, G_LON_LAT_C3, set_lon_lat_c3},          // 28 azimuthal equidistant, any origin
    {10, 3, G_LON_LAT_C3, set_lon_lat_c3},          // 29 Lambert azimuthal, any origin
    {18, 4, G_LON_LAT_FO, set_lon_lat_fo},          // 30 Cassini-Soldner
    {16, 5, G_LON_LAT_K_FO, set_lon_lat_k_fo},      // 31 double stereographic
};

const type_entry& type_of(int type) {
  return type >= 0 && type < kMifTypeCount ? kTypes[type] : kNoType;
}

// ---- Writing ------------------------------------------------------------------------------
// A writer fills the values of the projection in clause order (degrees, lengths in the
// clause's unit) and returns the type, or -1 when the projection has no MapInfo form.
using mif_writer = int (*)(const cartproj_t* p, int unit, double* v);

struct false_origin {
  double x, y;
};
false_origin false_origin_in(const cartproj_t* p, int unit) {
  false_origin f = {p->x0, p->y0};
  length_unit_scale(unit, 1, &f.x, &f.y);
  return f;
}

// The values of a type's group, read back from the fields its setter fills.
int write_group(const cartproj_t* p, int unit, int type, double* v) {
  const false_origin f = false_origin_in(p, unit);
  v[0] = deg_of_rad(p->lambda0);
  v[1] = deg_of_rad(p->phio0);
  switch (type_of(type).group) {
    case G_LON:
    case G_LON_LAT:
      break;
    case G_LON_LAT_C3:
      v[2] = deg_of_rad(extra_angle_rad(p, p->coeff3));
      break;
    case G_LON_LAT_FO:
      v[2] = f.x, v[3] = f.y;
      break;
    case G_LON_LAT_K_FO:
      v[2] = p->k0, v[3] = f.x, v[4] = f.y;
      break;
    case G_CONIC:
      v[2] = deg_of_rad(extra_angle_rad(p, p->coeff1));
      v[3] = deg_of_rad(extra_angle_rad(p, p->coeff2));
      v[4] = f.x, v[5] = f.y;
      break;
    case G_HOTINE:
      v[2] = deg_of_rad(extra_angle_rad(p, p->coeff1));
      v[3] = p->k0, v[4] = f.x, v[5] = f.y;
      break;
    case G_NONE:
      return -1;
  }
  return type;
}

template <int Type> int write_as(const cartproj_t* p, int unit, double* v) {
  return write_group(p, unit, Type, v);
}

int write_none(const cartproj_t*, int, double*) { return -1; }

bool near_zero(double v) { return std::fabs(v) <= 1e-9; }

// Kind 5 -> type 25: the Swiss oblique Mercator of MapInfo has no scale factor.
int write_rosenmund(const cartproj_t* p, int unit, double* v) {
  if (std::fabs(p->k0 - 1.0) > 1e-12) return -1;
  return write_group(p, unit, 25, v);
}

// Kinds 7 and 42: MapInfo's Mercators have neither false origin nor a northing origin
// off the equator. Scale 1 on the equator is type 10; a smaller scale is the regional
// Mercator (type 26) with the parallel of scale 1.
int write_mercator(const cartproj_t* p, int unit, double* v) {
  if (!near_zero(p->x0) || !near_zero(p->y0)) return -1;
  v[0] = deg_of_rad(p->lambda0);
  if (p->projtype == PK_MERCATOR_TS) {
    if (near_zero(p->phio0)) return 10;
    v[1] = deg_of_rad(p->phio0);
    return 26;
  }
  if (!near_zero(p->phio0) || !(p->k0 > 0.0) || p->k0 > 1.0 + 1e-12) return -1;
  if (p->k0 >= 1.0 - 1e-12) return 10;
  // cos^2 phi / (1 - e2 sin^2 phi) = k0^2, solved for sin^2 phi.
  const double e2 = p->geodatum && p->geodatum->ellip ? p->geodatum->ellip->e2 : 0.0;
  const double k2 = p->k0 * p->k0;
  const double s2 = (1.0 - k2) / (1.0 - k2 * e2);
  v[1] = deg_of_rad(std::asin(std::sqrt(s2)));
  return 26;
}

// Kinds 15 and 46 -> type 20, MapInfo's stereographic with its origin at a pole and the
// scale factor there. A projection from a latitude of true scale (46) gives that scale
// through its radius constant c = 2 a k0 ((1 - e)/(1 + e))^(e/2) / sqrt(1 - e2).
int write_polar(const cartproj_t* p, int unit, double* v) {
  double k0 = p->k0;
  double pole = p->phio0 < 0 ? -90.0 : 90.0;
  if (p->projtype == PK_POLAR_TS) {
    if (!is_set_up(p) || !p->geodatum->ellip) return -1;
    const double a = p->geodatum->ellip->a;
    const double e = p->e;
    k0 = p->c * std::sqrt(1.0 - e * e) / (2.0 * a * std::pow((1.0 - e) / (1.0 + e), e / 2.0));
    pole = p->n < 0 ? -90.0 : 90.0;
  }
  write_group(p, unit, 20, v);
  v[1] = pole;
  v[2] = k0;
  return 20;
}

// Kind 9 -> type 3: the two parallels of scale 1 of the one-parallel cone.
int write_lcc1(const cartproj_t* p, int unit, double* v) {
  if (!is_set_up(p) || p->trsftype != TRSF_PROJ_LCC) return -1;
  double phi1 = 0.0, phi2 = 0.0;
  lcc_parallels_from_scale(p, &phi1, &phi2);
  if (phi1 == phi2) return -1;  // a cone whose scale is nowhere 1 has no two-parallel form
  const false_origin f = false_origin_in(p, unit);
  v[0] = deg_of_rad(p->lambda0);
  v[1] = deg_of_rad(p->phio0);
  v[2] = deg_of_rad(phi1);
  v[3] = deg_of_rad(phi2);
  v[4] = f.x, v[5] = f.y;
  return 3;
}

// Kind 28 -> type 19 with the origin longitude before the Belgian turn.
int write_belgian(const cartproj_t* p, int unit, double* v) {
  write_group(p, unit, 19, v);
  v[0] = deg_of_rad(clause_lambda0(p));
  return 19;
}

// Kind 30 -> type 7, whose grid is rectified by the azimuth itself.
int write_hotine(const cartproj_t* p, int unit, double* v) {
  bool ok = false;
  const double azimuth = clause_hotine_azimuth(p, &ok);
  if (!ok) return -1;
  write_group(p, unit, 7, v);
  v[2] = deg_of_rad(azimuth);
  return 7;
}

// Kinds 0 to 47. Kinds 3 and 4 (oblique Mercators with their origin at the centre of the
// central line, and Laborde's) and 44 (Krovak, type 32 of newer MapInfo versions, beyond
// the types read here) have no MapInfo form; the polar stereographic from a latitude of
// true scale (46) is written as the one from its scale at the pole (15).
constexpr mif_writer kWriters[kProjKindCount] = {
    write_none,      write_as<8>,     write_as<8>,     write_none,       // 0-3
    write_none,      write_rosenmund, write_none,      write_mercator,   // 4-7
    write_as<3>,     write_lcc1,      write_as<29>,    write_as<9>,      // 8-11
    write_as<28>,    write_as<6>,     write_as<20>,    write_polar,      // 12-15
    write_as<31>,    write_none,      write_as<30>,    write_none,       // 16-19
    write_as<11>,    write_none,      write_as<27>,    write_as<12>,     // 20-23
    write_as<16>,    write_none,      write_as<18>,    write_as<8>,      // 24-27
    write_belgian,   write_none,      write_hotine,    write_as<23>,     // 28-31
    write_none,      write_as<27>,    write_none,      write_as<13>,     // 32-35
    write_none,      write_none,      write_as<2>,     write_as<14>,     // 36-39
    write_as<15>,    write_as<17>,    write_mercator,  write_as<8>,      // 40-43
    write_none,      write_as<31>,    write_polar,     write_none,       // 44-47
};

// The type and values of a projection (type -1 when none).
int write_values(const cartproj_t* p, int unit, double* v) {
  if (!p || p->projtype < 0 || p->projtype >= kProjKindCount) return -1;
  for (int i = 0; i < kMifMaxParams; ++i) v[i] = 0.0;
  const int type = kWriters[p->projtype](p, unit, v);
  if (type < 0) return -1;
  for (int i = 0; i < mif_proj_param_count(type); ++i)
    if (!std::isfinite(v[i])) return -1;
  return type;
}

// The printf format of each value of a group.
const char* const* formats_of(int type) {
  static const char* const lon[] = {"%3.9lf"};
  static const char* const lon_lat[] = {"%3.9lf", "%2.9lf"};
  static const char* const lon_lat_c3[] = {"%3.9lf", "%2.9lf", "%3.9lf"};
  static const char* const lon_lat_fo[] = {"%3.9lf", "%2.9lf", "%8.4lf", "%8.4lf"};
  static const char* const k_fo[] = {"%3.9lf", "%2.9lf", "%2.9lf", "%8.4lf", "%8.4lf"};
  static const char* const conic[] = {"%3.9lf", "%2.9lf", "%2.9lf",
                                      "%2.9lf", "%8.4lf", "%8.4lf"};
  static const char* const hotine[] = {"%3.9lf", "%2.9lf", "%3.9lf",
                                       "%2.9lf", "%8.4lf", "%8.4lf"};
  switch (type_of(type).group) {
    case G_LON: return lon;
    case G_LON_LAT: return lon_lat;
    case G_LON_LAT_C3: return lon_lat_c3;
    case G_LON_LAT_FO: return lon_lat_fo;
    case G_LON_LAT_K_FO: return k_fo;
    case G_CONIC: return conic;
    case G_HOTINE: return hotine;
    case G_NONE: break;
  }
  return nullptr;
}

}  // namespace

double mif_detail::clause_lambda0(const cartproj_t* p) {
  if (p->projtype != PK_LCC_BELGIAN || !is_set_up(p) || p->n == 0.0) return p->lambda0;
  return p->lambda0 - rad_of_deg(kBelgianTurnSeconds / 3600.0) / p->n;
}

double mif_detail::clause_hotine_azimuth(const cartproj_t* p, bool* ok) {
  *ok = true;
  if (!is_set_up(p)) return extra_angle_rad(p, p->coeff1);
  // The set-up keeps the azimuth only through its sine (the azimuth on the aposphere);
  // the grid angle keeps the quadrant. They must be the same line.
  const double azimuth = proj_central_line_azimuth(p);
  *ok = std::fabs(std::sin(p->coeff2) - std::sin(azimuth)) <= 1e-12;
  return p->coeff2;
}

int mif_kind_is_geographic(int type) { return type == kMifGeographic ? 1 : 0; }

int mif_proj_param_count(int type) { return type_of(type).count; }

int mif_kind_of_type(int type) { return type_of(type).kind; }

int mif_type_of_proj(const cartproj_t* proj) {
  if (!proj) return kMifGeographic;
  double v[kMifMaxParams];
  return write_values(proj, proj->unit, v);
}

cartproj_t* mif_proj_new(int type, const ellipsoid_t* ellipsoid, geodatum_t* datum,
                         const double* params, int linear_unit, cartproj_t** out) {
  if (out) *out = nullptr;
  const type_entry& t = type_of(type);
  if (t.kind < 0 || !t.set || (t.count > 0 && !params)) {
    set_gblerr(ERR_GEOGRAPHIC);
    return nullptr;
  }
  obj_t* obj = geo_new_object(CLS_CARTPROJ);
  if (!obj) return nullptr;
  cartproj_t* p = static_cast<cartproj_t*>(obj);
  p->datum = datum;
  p->projtype = t.kind;
  p->unit = length_unit_or_metre(linear_unit);
  p->k0 = 1.0;  // the scale of every type that gives none
  const setter_ctx ctx = {p->unit, ellipsoid};
  t.set(p, params, ctx);
  if (out) *out = p;
  return p;
}

char* mif_format_params_in(const cartproj_t* proj, int linear_unit, char* text, size_t size) {
  if (!text || size == 0) return text;
  text[0] = '\0';
  double v[kMifMaxParams];
  const int type = length_unit_valid(linear_unit) ? write_values(proj, linear_unit, v) : -1;
  const char* const* formats = type > 0 ? formats_of(type) : nullptr;
  if (!formats) return text;
  size_t used = 0;
  for (int i = 0; i < mif_proj_param_count(type); ++i) {
    if (i > 0 && used + 1 < size) text[used++] = ' ', text[used] = '\0';
    const int n = std::snprintf(text + used, size - used, formats[i], v[i]);
    if (n < 0 || static_cast<size_t>(n) >= size - used) {
      text[0] = '\0';  // never a cut parameter list
      return text;
    }
    used += static_cast<size_t>(n);
  }
  return text;
}

char* mif_format_params(const cartproj_t* proj, char* text, size_t size) {
  return mif_format_params_in(proj, proj ? proj->unit : LEN_METRE, text, size);
}
