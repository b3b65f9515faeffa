// Polar stereographic (kind 15 from the scale factor at the pole, kind 46 from a latitude
// of true scale), EPSG methods 9810 and 9829.
//
// Set-up fields: n = +1 when the north pole is at the false origin, -1 for the south
// pole; c = the scale of the radius rho = c / E(n phi) (E = exp(psi)).
// Kind 15: c = 2 a k0 ((1 - e)/(1 + e))^(e/2) / sqrt(1 - e2).
// Kind 46: with mc = cos phic / sqrt(1 - e2 sin^2 phic) the radius of the parallel of true
// scale phic (over a), rho(phic) = a mc, so c = a mc E(n phic). A latitude of true scale at
// the pole itself is kind 15 with k0 = 1.
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

double pole_scale_constant(const proj_ellipsoid& ell, double k0) {
  const double e = ell.e;
  return 2.0 * ell.a * k0 * std::pow((1.0 - e) / (1.0 + e), e / 2.0) / std::sqrt(1.0 - ell.e2);
}

}  // namespace

void proj_setup_polar(cartproj_t* proj, int, int, int) {
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  proj->n = proj->phio0 < 0 ? -1.0 : 1.0;
  proj->c = pole_scale_constant(ell, proj->k0);
}

void proj_setup_polar_ts(cartproj_t* proj, int, int, int angular_unit) {
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double phic = proj_param_radians(proj->coeff1, angular_unit);
  proj->coeff1 = phic;
  const double n = phic < 0 ? -1.0 : 1.0;
  proj->n = n;
  if (proj_is_pole(phic)) {
    proj->c = pole_scale_constant(ell, 1.0);
    return;
  }
  const double s = std::sin(phic);
  const double mc = std::cos(phic) / std::sqrt(1.0 - ell.e2 * s * s);
  proj->c = ell.a * mc * iso_latitude_exp(n * phic, ell.e);
}

void proj_polar_stereo_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  const double n = p->n;
  const double phi = *y;
  const double theta = *x - p->lambda0;
  if (proj_beyond_domain(phi)) {
    proj_out_of_domain(x, y);
    return;
  }
  if (proj_is_pole(phi)) {
    const double sign = phi < 0 ? -1.0 : 1.0;
    *x = p->x0;
    *y = std::fabs(sign - n) <= kProjEps ? p->y0 : -n * HUGE_VAL;
  } else {
    const double rho = p->c / iso_latitude_exp(n * phi, p->e);
    *x = p->x0 + rho * std::sin(theta);
    *y = p->y0 - n * rho * std::cos(theta);
  }
  proj_grid_out(p, x, y);
}

void proj_polar_stereo_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double n = p->n;
  const double dx = *x - p->x0;
  const double dy = *y - p->y0;
  const double rho = std::sqrt(dx * dx + dy * dy);
  if (rho <= kProjEps) {
    *x = 0.0;
    *y = n * kProjHalfPi;
  } else {
    double phi = 0.0;
    iso_latitude_inverse(n * std::log(p->c / rho), p->e, &phi);
    *x = proj_wrap_longitude(p->lambda0 + std::atan2(dx, -n * dy));
    *y = phi;
  }
  proj_geo_out(p, x, y);
}
