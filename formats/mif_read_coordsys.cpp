// The header clauses of the MIF reader: Columns, CoordSys (Earth or not), its Projection
// and Affine parts, and Transform.
//
// The georeference the reader made in the file's list takes the clause's system: the
// datum by its MapInfo number or as a custom datum (999: three translations, 9999: seven
// parameters and a prime meridian), then the projection of the type with the clause's
// unit and parameters. A system that cannot be resolved removes the georeference (error
// 13), and so does a NonEarth system (no error: the data keeps plain coordinates).
// Without a georeference nothing may reach the record that was removed: the Affine and
// Transform clauses are read and dropped, and a Projection reads nothing (its numbers
// are then skipped as lines that begin with a digit).
//
// The transformation steps the header makes (affine, scale-and-offset, their chain) are
// kept by the module (mif_keep_step) until its tables are freed: a georeference frees
// only a unit step of its own, and its copies (a graph space's system) share the step
// pointer, so no file's list may free a step a georeference still points at.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "formats/mif.h"
#include "formats/mif_read_internal.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/mapinfo.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"

namespace {

// A column line takes at least one byte.
constexpr int64_t kBytesPerLine = 1;

template <class T> T* find_by_number(int cls, int64_t number) {
  char name[24];
  std::snprintf(name, sizeof name, "%lld", static_cast<long long>(number));
  T* found = nullptr;
  geo_find_by_alias(cls, GEO_SCHEME_MAPINFO, name, &found);
  return found;
}

// The prime meridian of a 9999 datum (degrees): an existing one, or a new one coded one
// above the highest of its class.
pmeridian_t* meridian_at(double degrees) {
  pmeridian_t* m = nullptr;
  if (pmeridian_find_by_longitude(degrees, ANG_DEGREE, &m)) return m;
  int code = 0;
  geo_next_code(CLS_PMERIDIAN, &code);
  return pmeridian_create("Custom meridian", degrees, ANG_DEGREE, code, &m);
}

// 999 / 9999: the ellipsoid number, then 3 or 8 values.
geodatum_t* custom_datum(mif_context* c, int64_t number) {
  const int64_t ellipsoid_number = mif_count(c);
  ellipsoid_t* ell = find_by_number<ellipsoid_t>(CLS_ELLIPSOID, ellipsoid_number);
  if (!ell) return nullptr;
  const bool seven = number == kMifDatumSeven;
  double v[8] = {};
  for (int i = 0; i < (seven ? 8 : 3); ++i) v[i] = mif_number(c);
  if (c->ended) return nullptr;
  for (double x : v)
    if (!std::isfinite(x)) return nullptr;
  const double params[10] = {v[0], v[1], v[2], v[3], v[4], v[5], v[6] * 1e-6, 0.0, 0.0, 0.0};
  pmeridian_t* meridian = meridian_at(seven ? v[7] : 0.0);
  if (!meridian) return nullptr;
  geodatum_t* datum = nullptr;
  mapinfo_custom_datum(ell, meridian, seven ? DT_FILE_SEVEN : DT_FILE_THREE, params, &datum);
  return datum;
}

void refuse(mif_context* c) {
  mif_drop_georef(c);
  set_gblerr(kMifBadSystem);
}

// The georeference's transformation step becomes `step` of `kind`; an earlier one is
// chained before it (kind 6). A unit step the georeference owned is then kept with the
// other steps.
void add_transformation(mif_context* c, obj_t* step, int kind) {
  georef_t* g = c->georef;
  obj_t* old = g->transfo;
  if (!old) {
    g->transfo = step;
    g->transfotype = kind;
    return;
  }
  xform_chain_t* chain = nullptr;
  xform_chain_create(0, &chain);
  if (!chain) return;
  mif_keep_step(chain);
  if (old->cls == CLS_XFORM_SCALE) mif_keep_step(old);  // the georeference's own
  xform_chain_append(chain, old, g->transfotype);
  xform_chain_append(chain, step, kind);
  g->transfo = chain;
  g->transfotype = XK_CHAIN;
}

}  // namespace

void mif_drop_georef(mif_context* c) {
  georef_t* g = c->georef;
  c->georef = nullptr;
  if (!g) return;
  obj_list_remove_id(c->list, g->id);
  const int err = get_gblerr();
  set_gblerr(0);
  obj_t* o = g;
  free_obj(&o);
  set_gblerr(err);
}

void mif_on_columns(mif_context* c) {
  const int64_t n = mif_count(c);
  if (c->ended) return;
  if (!mif_count_fits(c, n, kBytesPerLine)) return;
  // The count's line is ended first, unless the count's own line end was consumed with
  // it.
  char last = '\n';
  if (rd_tell() > 0) rd_read_at(rd_tell() - 1, &last, 1);
  mif_sync(c);
  if (last != '\n' && last != '\r') rd_skip_line(&c->remaining);
  rd_skip_lines(n, &c->remaining);
  if (get_gblerr() == ERR_FILE_ACCESS) set_gblerr(0);
  mif_sync(c);
}

void mif_on_coordsys(mif_context* c) {
  mif_next_word(c);
  if (std::strcmp(c->token, "earth") != 0) mif_drop_georef(c);
}

void mif_on_projection(mif_context* c) {
  if (!c->georef) return;
  const int64_t raw_type = mif_count(c);
  const int type = int(raw_type % 1000);
  const int64_t number = mif_count(c);
  geodatum_t* datum = nullptr;
  if (number % 9000 == 999)
    datum = custom_datum(c, number);
  else if (!c->ended)
    datum = find_by_number<geodatum_t>(CLS_GEODATUM, number);
  if (!datum || get_gblerr()) return refuse(c);
  georef_t* g = c->georef;
  if (mif_kind_is_geographic(type)) {  // longitude and latitude
    g->refertype = GEOREF_GEOGRAPHIC;
    g->datum = datum;
    g->projection = nullptr;
    g->unit = ANG_DEGREE;
    return;
  }
  char unit_name[kMifTextSize];
  mif_quoted(c, unit_name, sizeof unit_name);
  const int unit = mif_unit_index(unit_name);
  const int count = mif_proj_param_count(type);
  if (count <= 0 || count > kMifMaxParams || c->ended) return refuse(c);
  double params[kMifMaxParams] = {};
  for (int i = 0; i < count; ++i) params[i] = mif_number(c);
  if (c->ended) return refuse(c);
  cartproj_t* proj = nullptr;
  name_mif_custom_projection(type, datum, unit, count, params, &proj);
  if (!proj || get_gblerr()) return refuse(c);
  g->refertype = GEOREF_PROJECTED;
  g->datum = datum;
  g->projection = proj;
  g->unit = unit;
}

// "AFFINE UNITS "unit", a, b, c, d, e, f": x' = a x + b y + c, y' = d x + e y + f, the
// translations given in the named unit.
void mif_on_affine(mif_context* c) {
  mif_next_word(c);
  int unit = -1;
  if (std::strcmp(c->token, "units") == 0) {
    char name[kMifTextSize];
    mif_quoted(c, name, sizeof name);
    unit = mif_unit_index(name);
  }
  double v[6];
  for (double& x : v) x = mif_number(c);
  if (!c->georef || c->ended) return;
  georef_t* g = c->georef;
  if (g->refertype == GEOREF_PROJECTED && unit >= 0 && unit != g->unit &&
      length_unit_valid(unit) && length_unit_valid(g->unit)) {
    const double r = length_unit_ratio(unit, g->unit, nullptr);
    v[2] *= r;
    v[5] *= r;
  }
  for (double x : v)
    if (!std::isfinite(x)) return refuse(c);
  obj_t* o = nullptr;
  obj_new_registered(CLS_XFORM_AFFINE3D, &o);
  if (!o || get_gblerr()) return;
  mif_keep_step(o);
  auto* a = static_cast<xform_affine3d_t*>(o);
  double f[16] = {v[0], v[1], 0, v[2], v[3], v[4], 0, v[5], 0, 0, 1, 0, 0, 0, 0, 1};
  std::memcpy(a->f, f, sizeof f);
  double work[16];
  std::memcpy(work, f, sizeof f);
  double inverse[16] = {};
  if (matrix_invert(work, 4, inverse) != 0) return refuse(c);
  std::memcpy(a->g, inverse, sizeof inverse);
  add_transformation(c, a, XK_AFFINE3D);
}

// "TRANSFORM sx, sy, dx, dy": x' = x sx + dx, y' = y sy + dy (a zero scale counts as 1).
void mif_on_transform(mif_context* c) {
  double v[4];
  for (double& x : v) x = mif_number(c);
  if (!c->georef || c->ended) return;
  for (double x : v)
    if (!std::isfinite(x)) return;
  obj_t* s = nullptr;
  obj_t* o = nullptr;
  obj_new_registered(CLS_XFORM_OFFSET_SCALE, &s);
  mif_keep_step(s);
  obj_new_registered(CLS_XFORM_CONTROL_POINT, &o);
  mif_keep_step(o);
  if (!s || !o || get_gblerr()) return;
  auto* step = static_cast<xform_offset_scale_t*>(s);
  auto* origins = static_cast<xform_control_point_t*>(o);
  step->sx = v[0] == 0.0 ? 1.0 : v[0];
  step->sy = v[1] == 0.0 ? 1.0 : v[1];
  step->sz = 1.0;
  origins->sx = origins->sy = origins->sz = 0.0;
  origins->tx = v[2];
  origins->ty = v[3];
  origins->tz = 0.0;
  step->origins = origins;
  add_transformation(c, step, XK_OFFSET_SCALE);
}
