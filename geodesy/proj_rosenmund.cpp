// Oblique Mercator on the conformal sphere with its central line at right angles to the
// origin meridian (kind 5): the Rosenmund form used by the Swiss grids (EPSG method 9815
// with azimuth and grid angle 90 degrees).
//
// The point goes to the conformal sphere about lambda0 (projection_sphere.cpp), is turned
// so that the sphere's origin (chi0 = coeff0) lies on the new equator, and is drawn with
// the spherical Mercator of radius r0 from (x0, y0). Longitudes on the turned sphere are
// taken with atan2, which agrees with the arcsine of the textbook form over its half of
// the sphere and does not fold back beyond it.
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_sphere_oblique_mercator_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  double lam = *x;
  double chi = *y;
  to_conformal_sphere(p, &lam, &chi, p->lambda0);
  const double chi0 = p->coeff0;
  const double sc = std::sin(chi), cc = std::cos(chi);
  const double s0 = std::sin(chi0), c0 = std::cos(chi0);
  const double sl = std::sin(lam), cl = std::cos(lam);
  double phi_t = proj_asin(c0 * sc - s0 * cc * cl);
  double lam_t = std::atan2(sl * cc, s0 * sc + c0 * cc * cl);
  sphere_mercator_forward(p, &lam_t, &phi_t);
  *x = p->x0 + lam_t;
  *y = p->y0 + phi_t;
  proj_grid_out(p, x, y);
}

void proj_sphere_oblique_mercator_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  double X = *x - p->x0;
  double phi_t = *y - p->y0;
  sphere_mercator_inverse(p, &X, &phi_t);
  const double chi0 = p->coeff0;
  const double s0 = std::sin(chi0), c0 = std::cos(chi0);
  const double sp = std::sin(phi_t), cp = std::cos(phi_t);
  const double sx = std::sin(X), cx = std::cos(X);
  // (X, Y, Z) is a unit vector: atan2(Z, hypot(X, Y)) keeps the latitude's digits near a
  // pole, where asin(Z) loses half of them.
  const double vx = c0 * cx * cp - s0 * sp, vy = sx * cp, vz = s0 * cx * cp + c0 * sp;
  double chi = std::atan2(vz, std::hypot(vx, vy));
  double lam = std::atan2(vy, vx);
  from_conformal_sphere(p, &lam, &chi, p->lambda0);
  *x = lam;
  *y = chi;
  proj_geo_out(p, x, y);
}
