// Mercator on the ellipsoid (kinds 7 and 42).
//
// Set-up fields: n = the radius of the parallel of true scale times k0, c = the isometric
// latitude of the northing origin. Kind 7 takes its scale factor k0 and puts the northing
// origin on phi0 (the tables always give phi0 = 0). Kind 42 is the Mercator given by its
// latitude of true scale, held in phi0: the scale factor at the equator is
// k0 = cos phi0 / sqrt(1 - e2 sin^2 phi0), the radius of that parallel is a k0, and the
// northing origin stays on the equator (EPSG method 9805).
#include <cmath>

#include "core/error.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_setup_mercator(cartproj_t* proj, int kind, int, int) {
  const double phi0 = proj->phio0;
  if (proj_is_pole(phi0)) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double parallel = proj_normal_radius(ell.a, phi0, ell.e2) * std::cos(phi0);
  if (kind == PK_MERCATOR_TS) {
    const double s = std::sin(phi0);
    proj->k0 = std::cos(phi0) / std::sqrt(1.0 - ell.e2 * s * s);
    proj->n = parallel;
    proj->c = 0.0;
  } else {
    proj->n = parallel * proj->k0;
    proj->c = iso_latitude(phi0, ell.e);
  }
}

void proj_mercator_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  const double phi = *y;
  if (proj_beyond_domain(phi)) {
    // Beyond a pole (or NaN): no point, not the easting of a point with no northing.
    proj_out_of_domain(x, y);
    return;
  }
  if (proj_is_pole(phi)) {
    *x = p->x0;
    *y = phi > 0 ? HUGE_VAL : -HUGE_VAL;
  } else {
    const double n = p->n;
    *x = p->x0 + n * proj_wrap_longitude(*x - p->lambda0);
    *y = p->y0 + n * (iso_latitude(phi, p->e) - p->c);
  }
  proj_grid_out(p, x, y);
}

void proj_mercator_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double n = p->n;
  const double lam = proj_wrap_longitude((*x - p->x0) / n + p->lambda0);
  double phi = 0.0;
  iso_latitude_inverse((*y - p->y0) / n + p->c, p->e, &phi);
  *x = lam;
  *y = phi;
  proj_geo_out(p, x, y);
}
