// Equirectangular (kinds 17 and 36): the plate carree of geographic views, a linear
// scaling of longitude and latitude that is true to scale around the latitude phi0.
//
// Set-up fields: n = the radius of the parallel phi0, r0 = the meridian radius at phi0.
// No false origin and no scale factor are applied: the point (lambda0, equator) is the
// origin. Kind 36 is the same on the equator (phi0 forced to 0). This is a display
// scaling, not the equidistant cylindrical of the surveyors, whose northing is the
// meridian arc (it departs from phi r0 by kilometres at mid latitudes).
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_setup_equirect(cartproj_t* proj, int kind, int, int) {
  if (kind == PK_PLATE_CARREE) proj->phio0 = 0.0;
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double phi0 = proj->phio0;
  proj->n = proj_normal_radius(ell.a, phi0, ell.e2) * std::cos(phi0);
  proj->r0 = meridian_radius(ell.a, phi0, ell.e2);
}

void proj_equirect_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  *x = proj_wrap_longitude(*x - p->lambda0) * p->n;
  *y = *y * p->r0;
  proj_grid_out(p, x, y);
}

void proj_equirect_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  *x = proj_wrap_longitude(*x / p->n + p->lambda0);
  *y = *y / p->r0;
  proj_geo_out(p, x, y);
}
