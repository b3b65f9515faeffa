// Systems made on demand: UTM zones, the plate carree of geographic views, the datums of
// GPS TrackMaker files, and the projection an ECW file names.
//
// Each first looks for an equal object already in the tables, so that asking twice (or
// reading the same file twice) gives the same object, and creates one only when none is
// there; what it creates joins the tables for good.
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

constexpr double kDegree = kProjPi / 180.0;
constexpr int kUtmZones = 60;
constexpr double kPlateCarreeReach = 0.02;  // radians
constexpr int kGreenwichCode = 1;
constexpr int kCustomWeight = 60;

// A name made of the datum's name and a suffix, into an owned string.
void name_after_datum(const geodatum_t* datum, const char* suffix, char** owner) {
  str_set(datum->name ? datum->name : "", owner);
  str_cat(suffix, owner);
}

}  // namespace

cartproj_t* crs_name_utm(geodatum_t* datum, int zone, int south, cartproj_t** out) {
  if (out) *out = nullptr;
  if (!datum || zone < 1 || zone > kUtmZones) {
    set_gblerr(ERR_VALUE);
    return nullptr;
  }
  obj_t* obj = geo_new_object(CLS_CARTPROJ);
  if (!obj) return nullptr;
  cartproj_t* p = static_cast<cartproj_t*>(obj);
  p->projtype = PK_TM;
  p->trsftype = TRSF_PROJ_TM;
  p->unit = LEN_METRE;
  p->datum = datum;
  p->x0 = 500000.0;
  p->k0 = 0.9996;
  p->phio0 = 0.0;
  p->y0 = south ? 10000000.0 : 0.0;
  p->lambda0 = (6.0 * zone - 183.0) * kDegree;
  cartproj_t* existing = nullptr;
  if (proj_find_equal(p, &existing)) {
    proj_discard(p);
    if (out) *out = existing;
    return existing;
  }
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " / UTM zone %02d%c", zone, south ? 'S' : 'N');
  name_after_datum(datum, suffix, &p->name);
  const int pending = get_gblerr();
  set_gblerr(0);
  proj_reinit(p, ANG_RADIAN);
  if (get_gblerr() != 0) {  // an ellipsoid the formulas cannot take: no zone
    proj_discard(p);
    return nullptr;
  }
  set_gblerr(pending);
  if (out) *out = p;
  return p;
}

cartproj_t* crs_utm_from_lonlat(geodatum_t* datum, const double point[2], cartproj_t** out) {
  if (out) *out = nullptr;
  if (!point || !std::isfinite(point[0]) || !std::isfinite(point[1])) {
    set_gblerr(ERR_VALUE);
    return nullptr;
  }
  // Longitudes beyond the half turn are brought back into it; the closing meridian 180
  // belongs to the last zone.
  double lon = point[0];
  if (lon < -180.0 || lon > 180.0) lon = std::remainder(lon, 360.0);
  int zone = 1 + static_cast<int>((lon + 180.0) / 6.0);
  if (zone > kUtmZones) zone = kUtmZones;
  if (zone < 1) zone = 1;
  return crs_name_utm(datum, zone, point[1] < 0 ? 1 : 0, out);
}

cartproj_t* crs_name_plate_carree(geodatum_t* datum, double latitude, cartproj_t** out) {
  if (out) *out = nullptr;
  if (!datum) return nullptr;
  double phi = latitude, scratch = 0.0;
  angle_unit_scale(datum->unit, 0, &phi, &scratch);
  cartproj_t* cursor = nullptr;
  while (proj_next_of_datum(datum, &cursor) && cursor) {
    if (cursor->projtype == PK_EQUIRECT && std::fabs(cursor->phio0 - phi) <= kPlateCarreeReach) {
      if (out) *out = cursor;
      return cursor;
    }
  }
  char* name = nullptr;
  name_after_datum(datum, " / Plate carree", &name);
  const double params[8] = {0.0, latitude, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  int code = 0;
  geo_next_code(CLS_CARTPROJ, &code);
  cartproj_t* p = proj_create(name, PK_EQUIRECT, params, LEN_METRE, datum->unit, datum, code,
                              out);
  free_mem(&name);
  return p;
}

geodatum_t* crs_gtm_custom(const double ellipsoid_params[2], const double shift[10],
                           geodatum_t** out) {
  if (out) *out = nullptr;
  if (!ellipsoid_params || !shift) return nullptr;
  const double a = ellipsoid_params[0];
  const double invf = ellipsoid_params[1];
  ellipsoid_t* ell = nullptr;
  if (!ellipsoid_find_by_params(a, invf, &ell)) {
    int code = 0;
    geo_next_code(CLS_ELLIPSOID, &code);
    ellipsoid_create("GTM custom ellipsoid", a, invf, 0.0, LEN_METRE, code, &ell);
  }
  pmeridian_t* greenwich = nullptr;
  geo_find_by_code(CLS_PMERIDIAN, kGreenwichCode, &greenwich);
  if (!ell || !greenwich) return nullptr;
  geodatum_t* datum = nullptr;
  if (datum_find_by_shift(ell, greenwich, DT_FILE_THREE, shift, &datum)) {
    if (out) *out = datum;
    return datum;
  }
  geodatum_t* ref = nullptr;
  geo_find_by_code(CLS_GEODATUM, kRefDatumCode, &ref);
  int code = 0;
  geo_next_code(CLS_GEODATUM, &code);
  geodatum_create("GTM custom datum", ell, ANG_DEGREE, greenwich, nullptr, code, &datum);
  if (datum && ref) {
    int trans_code = 0;
    geo_next_code(CLS_GEOCENTRIC, &trans_code);
    geocentric_t* t = nullptr;
    datumtrans_create(datum, ref, DT_FILE_THREE, shift, LEN_METRE, ANG_SECOND, 0,
                      kCustomWeight, trans_code, &t);
  }
  if (out) *out = datum;
  return datum;
}

cartproj_t* proj_find_ecw(const char* name, const geodatum_t* datum, cartproj_t** out) {
  cartproj_t* found = nullptr;
  if (name && datum) {
    cartproj_t* cursor = nullptr;
    while (geo_find_by_alias_best(CLS_CARTPROJ, GEO_SCHEME_ECW, name, &cursor)) {
      if (cursor->datum == datum) {
        found = cursor;
        break;
      }
    }
  }
  if (out) *out = found;
  return found;
}
