// Oblique conformal conic on the conformal sphere (kind 44): the Krovak projection of the
// Czech and Slovak grids (EPSG method 1041, axes east and north).
//
// The point goes to the conformal sphere about lambda0 (projection_sphere.cpp); the
// sphere is turned by beta = coeff1 (the co-latitude of the cone's axis) so that the
// cone's axis becomes its pole, and the turned point is drawn on a conformal conic of
// constant m = sin(phi_p) = coeff0 (phi_p = coeff2, the pseudo standard parallel) whose
// radius is rho = R0 / tan(pi/4 + chi'/2)^m (R0 = r0). The cone's natural axes point
// south (rho cos theta) and west (rho sin theta); the grid is their negation, east and
// north, counted from (x0, y0).
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_setup_oblique_conic(cartproj_t* proj, int kind, int linear_unit, int angular_unit) {
  proj_setup_conformal_sphere(proj, kind, linear_unit, angular_unit);
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double beta = proj_param_radians(proj->coeff1, angular_unit);
  const double phip = proj_param_radians(proj->coeff2, angular_unit);
  proj->coeff1 = beta;
  proj->coeff2 = phip;
  const double m = std::sin(phip);
  proj->coeff0 = m;
  const double s = std::sin(proj->phio0);
  const double radius = std::sqrt(1.0 - ell.e2) * proj->k0 * ell.a / (1.0 - ell.e2 * s * s);
  proj->r0 = std::pow(std::tan(kProjQuarterPi + phip / 2.0), m) * radius / std::tan(phip);
}

void proj_sphere_conic_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  double lam = *x;
  double chi = *y;
  to_conformal_sphere(p, &lam, &chi, p->lambda0);
  const double beta = p->coeff1;
  const double m = p->coeff0;
  const double sb = std::sin(beta), cb = std::cos(beta);
  const double sc = std::sin(chi), cc = std::cos(chi);
  const double sl = std::sin(lam), cl = std::cos(lam);
  const double chi_t = proj_asin(sb * cl * cc + cb * sc);
  if (proj_is_pole(chi_t)) {
    *x = p->x0;
    *y = m * chi_t >= 0 ? p->y0 : (chi_t > 0 ? HUGE_VAL : -HUGE_VAL);
  } else {
    const double lam_t = std::atan2(-sl * cc, cb * cl * cc - sb * sc);
    const double theta = m * lam_t;
    const double rho = p->r0 / std::pow(std::tan(kProjQuarterPi + chi_t / 2.0), m);
    *x = p->x0 - rho * std::sin(theta);
    *y = p->y0 - rho * std::cos(theta);
  }
  proj_grid_out(p, x, y);
}

void proj_sphere_conic_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double south = p->y0 - *y;
  const double west = p->x0 - *x;
  const double rho = std::sqrt(south * south + west * west);
  const double beta = p->coeff1;
  const double m = p->coeff0;
  double lam_t = 0.0;
  double chi_t = kProjHalfPi - beta >= 0 ? kProjHalfPi : -kProjHalfPi;
  if (!(rho <= kProjEps)) {  // a NaN goes through the formulas
    lam_t = std::atan2(west, south) / m;
    chi_t = 2.0 * std::atan(std::exp(-std::log(std::fabs(rho / p->r0)) / m)) - kProjHalfPi;
  }
  const double sb = std::sin(beta), cb = std::cos(beta);
  const double st = std::sin(chi_t), ct = std::cos(chi_t);
  const double slt = std::sin(lam_t), clt = std::cos(lam_t);
  double chi = proj_asin(cb * st - sb * clt * ct);
  double lam = -std::atan2(slt * ct, cb * ct * clt + sb * st);
  from_conformal_sphere(p, &lam, &chi, p->lambda0);
  *x = lam;
  *y = chi;
  proj_geo_out(p, x, y);
}
