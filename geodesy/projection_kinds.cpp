// The table of projection kinds: for each kind 0 to 47, its transform kind, its set-up
// routine and its forward and inverse formulas. Kinds without a set-up routine cannot be
// created; their slots hold the routine that does nothing.
//
// Several kinds share a transform kind and its formulas and differ only by their set-up
// (the three Lambert conics, the two polar stereographics, ...). The New Zealand map grid
// shares the Transverse Mercator's transform kind and set-up but has its own formulas, so
// the step routines always look the formulas up here, by the projection's kind.
#include "geodesy/projection_kinds.h"

#include <cmath>

#include "geodesy/projection_math.h"

namespace {

void proj_setup_none(cartproj_t* proj, int, int, int) { proj->c = proj->coeff1; }
void proj_point_none(const cartproj_t*, double*, double*) {}

constexpr proj_kind_entry kNoKind = {-1, nullptr, proj_point_none, proj_point_none};

constexpr proj_kind_entry entry(int trsf, proj_setup_fn setup, proj_point_fn fwd,
                                proj_point_fn inv) {
  return {trsf, setup, fwd, inv};
}

struct kind_table {
  proj_kind_entry e[kProjKindCount];
  constexpr kind_table() : e{} {
    for (auto& slot : e) slot = kNoKind;
    e[PK_NONE] = entry(0, proj_setup_none, proj_point_none, proj_point_none);
    e[PK_TM] = entry(TRSF_PROJ_TM, proj_setup_tm, proj_tm_forward, proj_tm_inverse);
    e[PK_HOTINE] = entry(TRSF_PROJ_SKEW_MERCATOR, proj_setup_oblique_mercator,
                         proj_sphere_skew_mercator_forward, proj_sphere_skew_mercator_inverse);
    e[PK_LABORDE] = entry(TRSF_PROJ_SPHERE_TM, proj_setup_laborde, proj_sphere_tm_forward,
                          proj_sphere_tm_inverse);
    e[PK_ROSENMUND] = entry(TRSF_PROJ_SPHERE_OMERC, proj_setup_conformal_sphere,
                            proj_sphere_oblique_mercator_forward,
                            proj_sphere_oblique_mercator_inverse);
    e[PK_MERCATOR] = entry(TRSF_PROJ_MERCATOR, proj_setup_mercator, proj_mercator_forward,
                           proj_mercator_inverse);
    e[PK_LCC2] = entry(TRSF_PROJ_LCC, proj_setup_lcc2, proj_lcc_forward, proj_lcc_inverse);
    e[PK_LCC1] = entry(TRSF_PROJ_LCC, proj_setup_lcc1, proj_lcc_forward, proj_lcc_inverse);
    e[PK_POLAR] = entry(TRSF_PROJ_POLAR, proj_setup_polar, proj_polar_stereo_forward,
                        proj_polar_stereo_inverse);
    e[PK_OBLIQUE_STEREO] = entry(TRSF_PROJ_SPHERE_STEREO, proj_setup_conformal_sphere,
                                 proj_sphere_stereo_forward, proj_sphere_stereo_inverse);
    e[PK_EQUIRECT] = entry(TRSF_PROJ_EQUIRECT, proj_setup_equirect, proj_equirect_forward,
                           proj_equirect_inverse);
    e[PK_NZMG] = entry(TRSF_PROJ_TM, proj_setup_tm, proj_nzmg_forward, proj_nzmg_inverse);
    e[PK_LCC_BELGIAN] = entry(TRSF_PROJ_LCC, proj_setup_lcc2, proj_lcc_forward,
                              proj_lcc_inverse);
    e[PK_HOTINE_GRID] = entry(TRSF_PROJ_SKEW_MERCATOR, proj_setup_oblique_mercator,
                              proj_sphere_skew_mercator_forward,
                              proj_sphere_skew_mercator_inverse);
    e[PK_PLATE_CARREE] = entry(TRSF_PROJ_EQUIRECT, proj_setup_equirect,
                               proj_equirect_forward, proj_equirect_inverse);
    e[PK_MERCATOR_TS] = entry(TRSF_PROJ_MERCATOR, proj_setup_mercator,
                              proj_mercator_forward, proj_mercator_inverse);
    e[PK_SPHERE_TM] = entry(TRSF_PROJ_SPHERE_TM, proj_setup_sphere_tm,
                            proj_sphere_tm_forward, proj_sphere_tm_inverse);
    e[PK_OBLIQUE_CONIC] = entry(TRSF_PROJ_SPHERE_CONIC, proj_setup_oblique_conic,
                                proj_sphere_conic_forward, proj_sphere_conic_inverse);
    e[PK_SPHERE_STEREO] = entry(TRSF_PROJ_SPHERE_STEREO, proj_setup_conformal_sphere,
                                proj_sphere_stereo_forward, proj_sphere_stereo_inverse);
    e[PK_POLAR_TS] = entry(TRSF_PROJ_POLAR, proj_setup_polar_ts, proj_polar_stereo_forward,
                           proj_polar_stereo_inverse);
  }
};

constexpr kind_table kKinds;

}  // namespace

const proj_kind_entry* proj_kind_of(int kind) {
  if (kind < 0 || kind >= kProjKindCount) return nullptr;
  return &kKinds.e[kind];
}

int proj_kind_has_setup(int kind) {
  const proj_kind_entry* k = proj_kind_of(kind);
  return k && k->setup ? 1 : 0;
}

int proj_kind_trsftype(int kind) {
  const proj_kind_entry* k = proj_kind_of(kind);
  return k && k->setup ? k->trsftype : -1;
}

namespace {

// One point through the forward formula: a point with an infinite or NaN coordinate gets
// NaN in both, whatever the kind, before the formula sees it.
inline void apply_forward(const proj_kind_entry* k, const cartproj_t* proj, double* x,
                          double* y) {
  if (!proj_point_finite(*x, *y)) {
    proj_out_of_domain(x, y);
    return;
  }
  k->forward(proj, x, y);
}

// A geographic point (in the datum's angular unit) at either pole.
bool at_a_pole(const cartproj_t* proj, double lon, double lat) {
  if (!proj_point_finite(lon, lat)) return false;
  proj_geo_in(proj, &lon, &lat);
  return proj_is_pole(lat);
}

// The inverse of a grid point with an infinite or NaN coordinate. The formulas would fold
// an infinity into some point of the sphere, so it gets NaN in both, except the very
// point the forward formula gives a pole of the earth that lies at infinity (the
// Mercator's poles, the far pole of a Lambert cone or of a polar stereographic): that
// goes back to its pole. Off the hot path: finite points never come here.
void inverse_not_finite(const proj_kind_entry* k, const cartproj_t* proj, double* x,
                        double* y) {
  const double gx = *x, gy = *y;
  if (!(std::isnan(gx) || std::isnan(gy))) {
    double lon = gx, lat = gy;
    k->inverse(proj, &lon, &lat);
    double fx = lon, fy = lat;
    if (at_a_pole(proj, lon, lat)) {
      k->forward(proj, &fx, &fy);
      if (fx == gx && fy == gy) {
        *x = lon;
        *y = lat;
        return;
      }
    }
  }
  proj_out_of_domain(x, y);
}

}  // namespace

void proj_forward(const cartproj_t* proj, double* x, double* y) {
  if (!proj || !proj->geodatum) return;
  const proj_kind_entry* k = proj_kind_of(proj->projtype);
  if (k) apply_forward(k, proj, x, y);
}

void proj_forward_points(const cartproj_t* proj, double* x, double* y, int n, int stride) {
  if (!proj || !proj->geodatum || n <= 0) return;
  const proj_kind_entry* k = proj_kind_of(proj->projtype);
  if (!k) return;
  if (k->forward == proj_tm_forward) {  // takes non-finite points apart itself
    proj_tm_forward_points(proj, x, y, n, stride);
    return;
  }
  for (int i = 0; i < n; ++i)
    apply_forward(k, proj, x + size_t(i) * stride, y + size_t(i) * stride);
}

void proj_inverse(const cartproj_t* proj, double* x, double* y) {
  if (!proj || !proj->geodatum) return;
  const proj_kind_entry* k = proj_kind_of(proj->projtype);
  if (!k) return;
  if (proj_point_finite(*x, *y))
    k->inverse(proj, x, y);
  else
    inverse_not_finite(k, proj, x, y);
}

proj_ellipsoid proj_ellipsoid_of(const cartproj_t* proj) {
  const ellipsoid_t* ell = proj->geodatum->ellip;
  proj_ellipsoid r;
  r.a = ell->a;
  r.e2 = ell->e2;
  r.e = std::sqrt(r.e2);
  return r;
}

double proj_param_radians(double value, int angular_unit) {
  double scratch = 0.0;
  angle_unit_scale(angle_unit_or_degree(angular_unit), 0, &value, &scratch);
  return value;
}
