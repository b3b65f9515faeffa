// Hotine oblique Mercator, rectified skew form (kinds 3 and 30), EPSG methods 9812 and
// 9815.
//
// The ellipsoid is carried conformally to Hotine's aposphere (exponent B = n, constant
// c = ln F - B psi(phi0) with F = D + sign(phi0) sqrt(D^2 - 1)) about the longitude
// coeff0 where the central line crosses the aposphere's equator. There the central line
// has the azimuth gamma0 = asin(sin alpha_c / D) (coeff1), alpha_c being its azimuth at
// the centre on the ellipsoid. The point is turned so that the central line becomes an
// equator and drawn with the spherical Mercator of radius r0 = k0 A: u along the central
// line (counted from the centre, u0 = coeff3, for kind 3; from the natural origin for
// kind 30), v across it. The grid is (u, v) turned by the rectified grid angle
// gamma_c (coeff2): kind 3 takes it equal to the azimuth, kind 30 gives it apart (p6).
//
// D below 1 (a centre on the equator, by rounding) is taken as 1, and the arcsines of the
// set-up are clamped to their domain, so that every zone gets finite constants.
#include <algorithm>
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

// The two points a quarter turn from the central line on the aposphere have no image:
// within this of them (on the sine of the distance across the line, about 90 m on the
// ground) the projection gives no number, as the common geodetic libraries do.
constexpr double kSingular = 1e-10;

// D = B A / (N(phi0) cos phi0) of the centre latitude.
double hotine_d(const proj_ellipsoid& ell, double B, double phi0) {
  const double s = std::sin(phi0);
  const double A = ell.a * std::sqrt(1.0 - ell.e2) / (1.0 - ell.e2 * s * s);
  return B * A / (proj_normal_radius(ell.a, phi0, ell.e2) * std::cos(phi0));
}

// v times a factor that may be 0 while v is infinite (a pole of the turned sphere).
double times(double v, double factor) { return factor == 0.0 ? 0.0 : v * factor; }

}  // namespace

void proj_setup_oblique_mercator(cartproj_t* proj, int kind, int, int angular_unit) {
  if (kind == PK_HOTINE) proj->coeff2 = proj->coeff1;
  const double alpha_c = proj_param_radians(proj->coeff1, angular_unit);
  const double gamma_c = proj_param_radians(proj->coeff2, angular_unit);
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double phi0 = proj->phio0;
  const double s = std::sin(phi0);
  const double c = std::cos(phi0);
  const double B = std::sqrt(1.0 + ell.e2 * c * c * c * c / (1.0 - ell.e2));
  const double A = ell.a * std::sqrt(1.0 - ell.e2) / (1.0 - ell.e2 * s * s);
  const double R = A * proj->k0;
  const double D = hotine_d(ell, B, phi0);
  const double G = std::sqrt(std::max(D * D, 1.0) - 1.0);
  const double sign = phi0 < 0 ? -1.0 : 1.0;
  const double F = D + sign * G;
  const double gamma0 = proj_asin(std::sin(alpha_c) / D);
  const double signed_g = (F - 1.0 / F) / 2.0;
  proj->n = B;
  proj->r0 = R;
  proj->c = std::log(F) - B * iso_latitude(phi0, ell.e);
  proj->coeff0 = proj->lambda0 - proj_asin(signed_g * std::tan(gamma0)) / B;
  proj->coeff1 = gamma0;
  proj->coeff2 = gamma_c;
  proj->coeff3 = kind == PK_HOTINE ? sign * std::fabs(R * std::atan(G / std::cos(alpha_c))) : 0.0;
}

double proj_central_line_azimuth(const cartproj_t* proj) {
  if (!proj) return 0.0;
  switch (proj->projtype) {
    case PK_HOTINE: return proj->coeff2;  // the grid angle is the azimuth
    case PK_LABORDE: return proj->coeff1;
    case PK_HOTINE_GRID: {
      if (!proj->geodatum || !proj->geodatum->ellip) return 0.0;
      const proj_ellipsoid ell = proj_ellipsoid_of(proj);
      const double D = hotine_d(ell, proj->n, proj->phio0);
      return proj_asin(D * std::sin(proj->coeff1));
    }
    default: return 0.0;
  }
}

namespace {

// How far (metres on the grid) the forward formulas may take an inverse's answer from
// the grid point it came from. Far out across the central line (and for grid points no
// finite arithmetic resolves) the inverse lands on some point of the sphere whose image
// is elsewhere or none: that is not the method's answer. Whole turns of the sphere along
// the central line are the same point and count as coming back. Inside the domain the
// forward formulas come back within nanometres.
constexpr double kComesBack = 1.0;

// The forward formulas from radians: u along the central line (from where it crosses the
// aposphere's equator, before the offset u0) and v across it, in metres on the grid;
// false a quarter turn from the central line, where the point has no image.
bool skew_mercator_uv(const cartproj_t* p, double lam, double chi, double* u, double* v) {
  to_conformal_sphere(p, &lam, &chi, p->coeff0);
  const double sa = std::sin(p->coeff1), ca = std::cos(p->coeff1);
  const double sc = std::sin(chi), cc = std::cos(chi);
  const double sl = std::sin(lam), cl = std::cos(lam);
  const double sin_v = sc * sa - sl * cc * ca;
  if (std::fabs(std::fabs(sin_v) - 1.0) < kSingular) return false;
  *v = proj_asin(sin_v);
  *u = std::atan2(sc * ca + sl * cc * sa, cl * cc);
  sphere_mercator_forward(p, u, v);
  return true;
}

}  // namespace

void proj_sphere_skew_mercator_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  double u = 0.0, v = 0.0;
  if (!skew_mercator_uv(p, *x, *y, &u, &v)) {
    // A quarter turn from the central line: no image (not an infinite one).
    proj_out_of_domain(x, y);
    return;
  }
  u -= p->coeff3;
  const double sg = std::sin(p->coeff2), cg = std::cos(p->coeff2);
  *x = p->x0 + times(u, sg) - times(v, cg);
  *y = p->y0 + times(u, cg) + times(v, sg);
  proj_grid_out(p, x, y);
}

void proj_sphere_skew_mercator_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double R = p->r0;
  const double dx = *x - p->x0;
  const double dy = *y - p->y0;
  const double sg = std::sin(p->coeff2), cg = std::cos(p->coeff2);
  const double u_grid = dx * sg + dy * cg + p->coeff3;
  const double v_grid = dy * sg - dx * cg;
  const double lam_t = u_grid / R;
  const double phi_t = 2.0 * std::atan(std::exp(v_grid / R)) - kProjHalfPi;
  const double sa = std::sin(p->coeff1), ca = std::cos(p->coeff1);
  const double sl = std::sin(lam_t), cl = std::cos(lam_t);
  const double sp = std::sin(phi_t), cp = std::cos(phi_t);
  // The point on the sphere rotated back about the central line's axis: (X, Y, Z) is a
  // unit vector, so the latitude is atan2(Z, hypot(X, Y)), which keeps its digits near a
  // pole where asin(Z) loses half of them (Z close to 1).
  const double X = cl * cp, Y = sl * cp * sa - sp * ca, Z = sl * cp * ca + sp * sa;
  double chi = std::atan2(Z, std::hypot(X, Y));
  double lam = std::atan2(Y, X);
  from_conformal_sphere(p, &lam, &chi, p->coeff0);
  double u = 0.0, v = 0.0;
  if (!skew_mercator_uv(p, lam, chi, &u, &v) ||
      !(std::hypot(std::remainder(u - u_grid, 2.0 * kProjPi * R), v - v_grid) <= kComesBack)) {
    proj_out_of_domain(x, y);
    return;
  }
  *x = lam;
  *y = chi;
  proj_geo_out(p, x, y);
}
