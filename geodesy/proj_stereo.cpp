// Oblique stereographic on the conformal sphere (kinds 16 and 45): the double
// stereographic of the Dutch and Romanian grids (EPSG method 9809).
//
// The point goes to the conformal sphere about lambda0 (projection_sphere.cpp) and is
// drawn with the stereographic of radius r0 centred on the sphere's origin chi0 = coeff0.
// The origin's antipode has no image. The inverse takes the latitude and the longitude
// with atan2 from the point's three coordinates on the sphere, which agrees with the
// textbook arcsines over the hemisphere of the origin, stays defined on the far one and
// keeps its digits at the poles (an arcsine of a value next to 1 loses half of them, and
// rounding past 1 would give no latitude at all).
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_sphere_stereo_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  double lam = *x;
  double chi = *y;
  to_conformal_sphere(p, &lam, &chi, p->lambda0);
  const double chi0 = p->coeff0;
  const double sc = std::sin(chi), cc = std::cos(chi);
  const double s0 = std::sin(chi0), c0 = std::cos(chi0);
  const double sl = std::sin(lam), cl = std::cos(lam);
  if (std::fabs(chi + chi0) <= kProjEps && std::fabs(std::fabs(lam) - kProjPi) <= kProjEps) {
    *x = lam > 0 ? HUGE_VAL : -HUGE_VAL;
    *y = p->y0;
  } else {
    const double k = 1.0 + sc * s0 + cc * c0 * cl;
    const double f = 2.0 * p->r0 / k;
    *x = p->x0 + f * cc * sl;
    *y = p->y0 + f * (c0 * sc - s0 * cc * cl);
  }
  proj_grid_out(p, x, y);
}

void proj_sphere_stereo_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double dx = *x - p->x0;
  const double dy = *y - p->y0;
  const double rho = std::sqrt(dx * dx + dy * dy);
  const double chi0 = p->coeff0;
  double lam = 0.0;
  double chi = chi0;
  if (!(rho <= kProjEps)) {  // a NaN goes through the formulas
    const double c = 2.0 * std::atan2(rho, 2.0 * p->r0);
    const double sc = std::sin(c), cc = std::cos(c);
    const double s0 = std::sin(chi0), c0 = std::cos(chi0);
    // The point on the sphere: sin chi, and cos chi times cos and sin of its longitude.
    const double sin_chi = cc * s0 + c0 * sc * dy / rho;
    const double along = c0 * cc - s0 * sc * dy / rho;
    const double across = sc * dx / rho;
    chi = std::atan2(sin_chi, std::sqrt(along * along + across * across));
    lam = std::atan2(across, along);
  }
  from_conformal_sphere(p, &lam, &chi, p->lambda0);
  *x = lam;
  *y = chi;
  proj_geo_out(p, x, y);
}
