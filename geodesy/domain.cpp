// Domains of projections, validity boxes, and the carrying of a whole extent between
// two coordinate systems.
//
// A domain routine projects a few geographic points chosen for the kind (the pole and
// the equator for a conic, the equator for a polar projection, the two far corners of
// the band 80 degrees either side of the origin for the cylindrical ones, the band's
// edges on the central meridian and the equator 45 degrees either side of it for the
// Transverse Mercator) and takes their bounding values. A validity box is the geographic box of the kind. Both tables
// are indexed by transform kind; empty slots report gblerr 12.
#include "geodesy/domain.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfPi = kPi / 2.0;
constexpr double kBandHalfWidth = 80.0 * kPi / 180.0;

struct geo_point {
  double lon, lat;  // radians
};

int datum_unit_of(const cartproj_t* p) {
  const geodatum_t* d = p->geodatum ? p->geodatum : p->datum;
  return d ? angle_unit_or_degree(d->unit) : ANG_DEGREE;
}

// A point in radians projected with the forward routine of a kind on the projection.
geo_point project(const cartproj_t* p, int kind, geo_point g) {
  double x = g.lon, y = g.lat;
  angle_unit_scale(datum_unit_of(p), 1, &x, &y);
  xform_forward_2d(const_cast<cartproj_t*>(p), kind, &x, &y);
  return {x, y};
}

// The box of a radian box converted to a unit, each pair ordered.
extent_t box_in_unit(double lon1, double lon2, double lat1, double lat2, int unit) {
  angle_unit_scale(unit, 1, &lon1, &lat1);
  angle_unit_scale(unit, 1, &lon2, &lat2);
  return {std::fmin(lon1, lon2), std::fmax(lon1, lon2), std::fmin(lat1, lat2),
          std::fmax(lat1, lat2), 0.0};
}

double pole_on_side(double phi0) { return phi0 < 0.0 ? -kHalfPi : kHalfPi; }
double band_top(double phi0) { return std::fmin(kHalfPi, phi0 + kBandHalfWidth); }
double band_bottom(double phi0) { return std::fmax(-kHalfPi, phi0 - kBandHalfWidth); }

void bound_x(extent_t* e, geo_point a, geo_point b) {
  e->xmin = std::fmin(a.lon, b.lon);
  e->xmax = std::fmax(a.lon, b.lon);
}
void bound_y(extent_t* e, geo_point a, geo_point b) {
  e->ymin = std::fmin(a.lat, b.lat);
  e->ymax = std::fmax(a.lat, b.lat);
}

// ---- Domains ------------------------------------------------------------------------------

using domain_fn = void (*)(const cartproj_t* p, extent_t* e);

void domain_extent_lcc(const cartproj_t* p, extent_t* e) {
  const int k = p->trsftype;
  bound_y(e, project(p, k, {0.0, pole_on_side(proj_origin_latitude(p))}), project(p, k, {p->lambda0, 0.0}));
  bound_x(e, project(p, k, {p->lambda0 - kHalfPi, 0.0}), project(p, k, {p->lambda0 + kHalfPi, 0.0}));
}

void domain_extent_polar(const cartproj_t* p, extent_t* e) {
  const int k = p->trsftype;
  const geo_point q[4] = {project(p, k, {0.0, 0.0}), project(p, k, {kPi, 0.0}),
                          project(p, k, {kHalfPi, 0.0}), project(p, k, {-kHalfPi, 0.0})};
  bound_x(e, q[0], q[1]);
  bound_y(e, q[0], q[1]);
  for (const geo_point& g : {q[2], q[3]}) {
    e->xmin = std::fmin(e->xmin, g.lon);
    e->xmax = std::fmax(e->xmax, g.lon);
    e->ymin = std::fmin(e->ymin, g.lat);
    e->ymax = std::fmax(e->ymax, g.lat);
  }
}

// The far corners of the band, with the kind's own formula: Mercator uses its own, and
// so do the conformal-sphere kinds, whose records hold constants that another kind's
// formula would misread.
void domain_extent_cylindrical(const cartproj_t* p, extent_t* e) {
  const int k = p->trsftype;
  const geo_point a = project(p, k, {p->lambda0 - kPi, band_top(proj_origin_latitude(p))});
  const geo_point b = project(p, k, {p->lambda0 + kPi, band_bottom(proj_origin_latitude(p))});
  bound_x(e, a, b);
  bound_y(e, a, b);
}

// The Transverse Mercator maps the whole sphere, the far side of the central meridian
// (lambda0 +- 180 degrees) onto the meridian itself, so the band's far corners would give
// a domain without width. Its domain reaches north and south to the band's edges on the
// central meridian and east and west to the equator 45 degrees from it (where the scale
// reaches sqrt 2, seven or eight zones of six degrees either side).
constexpr double kTmHalfWidth = 45.0 * kPi / 180.0;

void domain_extent_tm(const cartproj_t* p, extent_t* e) {
  const int k = p->trsftype;
  const double phi0 = proj_origin_latitude(p);
  bound_y(e, project(p, k, {p->lambda0, band_top(phi0)}),
          project(p, k, {p->lambda0, band_bottom(phi0)}));
  bound_x(e, project(p, k, {p->lambda0 - kTmHalfWidth, 0.0}),
          project(p, k, {p->lambda0 + kTmHalfWidth, 0.0}));
}

void domain_none(const cartproj_t*, extent_t*) {}

// Indexed by transform kind 0 to 22; null: no domain (gblerr 12).
constexpr domain_fn kDomainByKind[] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // 0..7
    nullptr, nullptr, nullptr, nullptr, nullptr,                             // 8..12
    domain_extent_lcc,                                                       // 13
    domain_extent_polar,                                                     // 14
    domain_extent_cylindrical,                                               // 15
    domain_extent_tm,                                                        // 16
    domain_none,                                                             // 17
    domain_extent_cylindrical,                                               // 18
    domain_extent_cylindrical,                                               // 19
    domain_extent_cylindrical,                                               // 20
    nullptr, nullptr,                                                        // 21, 22
};
constexpr int kDomainKinds = sizeof kDomainByKind / sizeof kDomainByKind[0];

// ---- Validity boxes -------------------------------------------------------------------------

using box_fn = int (*)(const cartproj_t* p, int unit, extent_t* e);

constexpr box_fn kBoxByKind[] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // 0..7
    nullptr, nullptr, nullptr, nullptr, nullptr,                             // 8..12
    validity_box_hemisphere,                                                 // 13
    validity_box_polar,                                                      // 14
    validity_box_band,                                                       // 15
    validity_box_band,                                                       // 16
    validity_box_world,                                                      // 17
    validity_box_world,                                                      // 18
};
constexpr int kBoxKinds = sizeof kBoxByKind / sizeof kBoxByKind[0];

// Carries an extent through a chain of conversion steps as one piece (mode 0).
void carry_through(xform_chain_t* chain, extent_t* e) { xform_extent(chain, XK_CHAIN, 0, e); }

// A geographic extent whose longitudes straddle 0 is carried in two pieces, west and
// east of the meridian, each with the whole latitude range, and the result is the box
// around both. (Cutting the latitudes at 0 as well would stretch every result to the
// equator.)
void carry_datum_change(xform_chain_t* chain, extent_t* e) {
  if (!(e->xmin * e->xmax < 0.0)) {
    carry_through(chain, e);
    return;
  }
  extent_t west = *e, east = *e;
  west.xmax = 0.0;
  east.xmin = 0.0;
  carry_through(chain, &west);
  carry_through(chain, &east);
  e->xmin = std::fmin(west.xmin, east.xmin);
  e->xmax = std::fmax(west.xmax, east.xmax);
  e->ymin = std::fmin(west.ymin, east.ymin);
  e->ymax = std::fmax(west.ymax, east.ymax);
}

int change_datum(geodatum_t* ds, geodatum_t* dt, extent_t* e) {
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int n = 0;
  if (const int err = georef_chain_build(ds, dt, nullptr, nullptr, kinds, steps, &n)) return err;
  xform_chain_t* chain = nullptr;
  if (!xform_chain_create(n, &chain)) return get_gblerr();
  for (int i = 0; i < n; ++i) {
    chain->kinds[i] = kinds[i];
    chain->steps[i] = steps[i];
  }
  carry_datum_change(chain, e);
  free_obj(&chain);
  return 0;
}

}  // namespace

int proj_domain_extent(const cartproj_t* projection, extent_t* extent) {
  if (!extent) return set_gblerr(ERR_VALUE);
  extent_clear(extent);
  const int k = projection ? projection->trsftype : -1;
  const domain_fn fn = k >= 0 && k < kDomainKinds ? kDomainByKind[k] : nullptr;
  if (!fn) return set_gblerr(ERR_VALUE);
  fn(projection, extent);
  return 0;
}

int crs_domain_extent(const georef_t* g, extent_t* extent) {
  if (!extent) return set_gblerr(ERR_VALUE);
  extent_clear(extent);
  if (!g) return 0;
  if (g->refertype == GEOREF_GEOGRAPHIC) {
    *extent = box_in_unit(-kPi, kPi, -kHalfPi, kHalfPi, angle_unit_or_degree(g->unit));
    return 0;
  }
  if (g->refertype == GEOREF_PROJECTED) return proj_domain_extent(g->projection, extent);
  return 0;
}

int georef_domain_extent(const georef_t* g, extent_t* extent) {
  if (!g || !extent) return 0;
  if (g->refertype != GEOREF_GEOGRAPHIC && g->refertype != GEOREF_PROJECTED) return 0;
  if (const int err = crs_domain_extent(g, extent)) return err;
  if (g->transfo) {
    xform_inverse_2d(g->transfo, g->transfotype, &extent->xmin, &extent->ymin);
    xform_inverse_2d(g->transfo, g->transfotype, &extent->xmax, &extent->ymax);
  }
  return 0;
}

int validity_box_hemisphere(const cartproj_t* p, int unit, extent_t* e) {
  if (!p || !e) return set_gblerr(ERR_VALUE);
  *e = box_in_unit(p->lambda0 - kHalfPi, p->lambda0 + kHalfPi, 0.0, pole_on_side(proj_origin_latitude(p)), unit);
  return 0;
}

int validity_box_polar(const cartproj_t* p, int unit, extent_t* e) {
  if (!p || !e) return set_gblerr(ERR_VALUE);
  *e = box_in_unit(-kPi, kPi, proj_origin_latitude(p), 0.0, unit);
  return 0;
}

int validity_box_band(const cartproj_t* p, int unit, extent_t* e) {
  if (!p || !e) return set_gblerr(ERR_VALUE);
  *e = box_in_unit(p->lambda0 - kPi, p->lambda0 + kPi, band_bottom(proj_origin_latitude(p)),
                   band_top(proj_origin_latitude(p)), unit);
  return 0;
}

int validity_box_world(const cartproj_t* p, int unit, extent_t* e) {
  if (!e) return set_gblerr(ERR_VALUE);
  *e = box_in_unit(-kPi, kPi, -kHalfPi, kHalfPi, unit);
  return 0;
}

int proj_validity_box(const cartproj_t* projection, int unit, extent_t* extent) {
  if (!extent) return set_gblerr(ERR_VALUE);
  extent_clear(extent);
  const int k = projection ? projection->trsftype : -1;
  const box_fn fn = k >= 0 && k < kBoxKinds ? kBoxByKind[k] : nullptr;
  if (!fn) return set_gblerr(ERR_VALUE);
  return fn(projection, unit, extent);
}

int crs_transform_extent(geodatum_t* ds, geodatum_t* dt, cartproj_t* ps, cartproj_t* pt,
                         extent_t* extent) {
  if (!extent) return set_gblerr(ERR_VALUE);
  if (ps && ps->trsftype >= XK_FIRST_PROJECTION && ps->trsftype <= XK_LAST_PROJECTION)
    xform_extent(ps, ps->trsftype + XK_INVERSE_OFFSET, 1, extent);
  if (ds != dt) {
    if (const int err = change_datum(ds, dt, extent)) return err;
  }
  if (!pt) return 0;
  extent_t box{};
  if (const int err = proj_validity_box(pt, datum_unit_of(pt), &box)) return err;
  if (extent_max_side(*extent) == 0.0) {
    extent_clear(extent);
    return 0;
  }
  if (!extent_disjoint(*extent, box)) extent_intersect(extent, box);
  xform_extent(pt, pt->trsftype, 1, extent);
  return 0;
}
