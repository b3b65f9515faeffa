// Lambert conformal conic (kinds 8 and 28 with two standard parallels, kind 9 with one),
// and the conic helpers the coordinate-system readers and writers use.
//
// Set-up fields: n = the cone constant, c = the scale of the cone's radius
// rho = c exp(-n psi(phi)), r0 = y0 + rho0, the northing of the cone's apex. The two-
// parallel kinds store their parallels (radians) in coeff1 and coeff2 and set k0 to 0.
// The Belgian kind turns the cone by 29.2985 seconds of arc, the angle of the Belgian
// Lambert 1972 grid (EPSG method 9803): E = x0 + rho sin(theta - a), which is the origin
// longitude moved east by a / n. Its third parameter (p7) is not read and is kept as 0, so
// that it cannot make two equal Belgian cones differ. The other two-parallel kind moves
// its origin longitude by p7 times n when p7 is given.
#include <cmath>

#include "core/error.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

constexpr double kBelgianAngle = 29.2985 / 3600.0 * kProjPi / 180.0;
constexpr int kBisectionPasses = 200;

// rho / c = E(phi)^-n, from the isometric latitude.
double cone_factor(double phi, double n, double e) { return std::exp(-n * iso_latitude(phi, e)); }

bool usable(double v) { return std::isfinite(v) && std::fabs(v) > kProjEps; }

// How far east the set-up of a two-parallel kind moves the origin longitude: the Belgian
// turn over the cone constant, or the longitude correction p7 (radians) times it.
double origin_move(int kind, double n, double turn) {
  return kind == PK_LCC_BELGIAN ? kBelgianAngle / n : turn * n;
}

}  // namespace

double lcc_cone_constant(double phi1, double phi2, double a, double e, double e2, double* m1) {
  const double m_1 = proj_normal_radius(a, phi1, e2) * std::cos(phi1);
  const double m_2 = proj_normal_radius(a, phi2, e2) * std::cos(phi2);
  if (m1) *m1 = m_1;
  if (std::fabs(phi1 - phi2) <= 1e-12) return std::sin(phi1);
  return (std::log(m_2) - std::log(m_1)) / (iso_latitude(phi1, e) - iso_latitude(phi2, e));
}

double lcc_scale_at(double phi, double c, double n, double a, double e2) {
  const double e = std::sqrt(e2);
  const double rho = proj_is_pole(phi) ? 0.0 : c * cone_factor(phi, n, e);
  return n * rho / (proj_normal_radius(a, phi, e2) * std::cos(phi));
}

double lcc_k0_from_parallels(double phi0, double phi1, double phi2, const ellipsoid_t* ell,
                             double* k0) {
  double result = 0.0;
  if (ell) {
    const double a = ell->a;
    const double e2 = ell->e2;
    const double e = std::sqrt(e2);
    double m1 = 0.0;
    const double n = lcc_cone_constant(phi1, phi2, a, e, e2, &m1);
    const double c = m1 / (n * cone_factor(phi1, n, e));
    result = lcc_scale_at(phi0, c, n, a, e2);
  }
  if (k0) *k0 = result;
  return result;
}

void lcc_parallels_from_scale(const cartproj_t* proj, double* phi1, double* phi2) {
  double south = 0.0;
  double north = 0.0;
  if (proj && proj->trsftype == TRSF_PROJ_LCC && proj->geodatum && proj->geodatum->ellip) {
    const double a = proj->geodatum->ellip->a;
    const double e2 = proj->geodatum->ellip->e2;
    const double c = proj->c;
    const double n = proj->n;
    const double phi0 = proj->phio0;
    auto scale = [&](double phi) { return lcc_scale_at(phi, c, n, a, e2); };
    // Toward the pole: the scale grows from phi0 to infinity.
    double lo = phi0, hi = kProjHalfPi, mid = phi0;
    bool found = false;
    for (int pass = 0; pass < kBisectionPasses && !found; ++pass) {
      mid = (lo + hi) / 2.0;
      const double k = scale(mid);
      found = std::fabs(k - 1.0) <= 1e-10;
      (k <= 1.0 ? lo : hi) = mid;
    }
    north = found ? mid : phi0;
    // Toward the other pole.
    lo = -kProjHalfPi, hi = phi0, mid = phi0;
    found = false;
    for (int pass = 0; pass < kBisectionPasses && !found; ++pass) {
      mid = (lo + hi) / 2.0;
      const double k = scale(mid);
      found = std::fabs(k - 1.0) <= 1e-10;
      (k < 1.0 ? hi : lo) = mid;
    }
    south = found ? mid : phi0;
  }
  if (phi1) *phi1 = south;
  if (phi2) *phi2 = north;
}

void proj_setup_lcc1(cartproj_t* proj, int, int, int) {
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double phi0 = proj->phio0;
  const double n = std::sin(phi0);
  const double rho0 = proj_normal_radius(ell.a, phi0, ell.e2) * proj->k0 / std::tan(phi0);
  const double c = rho0 / cone_factor(phi0, n, ell.e);
  if (!usable(n) || !usable(c) || !std::isfinite(rho0) || proj_is_pole(phi0)) {
    set_gblerr(ERR_GEOGRAPHIC);  // the origin on the equator or a pole: no cone
    return;
  }
  proj->n = n;
  proj->r0 = rho0 + proj->y0;
  proj->c = c;
}

void proj_setup_lcc2(cartproj_t* proj, int kind, int, int angular_unit) {
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double phi1 = proj_param_radians(proj->coeff1, angular_unit);
  const double phi2 = proj_param_radians(proj->coeff2, angular_unit);
  const double turn = proj_param_radians(proj->coeff3, angular_unit);
  proj->coeff1 = phi1;
  proj->coeff2 = phi2;
  proj->coeff3 = kind == PK_LCC_BELGIAN ? 0.0 : turn;
  proj->k0 = 0.0;
  double m1 = 0.0;
  const double n = lcc_cone_constant(phi1, phi2, ell.a, ell.e, ell.e2, &m1);
  const double c = m1 / (n * cone_factor(phi1, n, ell.e));
  if (!usable(n) || !usable(c)) {
    set_gblerr(ERR_GEOGRAPHIC);  // parallels symmetric about the equator, or a pole
    return;
  }
  proj->n = n;
  proj->c = c;
  const double phi0 = proj->phio0;
  proj->r0 = proj->y0 + (proj_is_pole(phi0) ? 0.0 : c * cone_factor(phi0, n, ell.e));
  proj->lambda0 = proj->lambda0 + origin_move(kind, n, turn);
}

double proj_given_lambda0(const cartproj_t* proj) {
  if (!proj) return 0.0;
  const bool set_up = proj->geodatum && proj->trsftype == TRSF_PROJ_LCC && proj->n != 0.0;
  if (!set_up || (proj->projtype != PK_LCC2 && proj->projtype != PK_LCC_BELGIAN))
    return proj->lambda0;
  return proj->lambda0 - origin_move(proj->projtype, proj->n, proj->coeff3);
}

void proj_lcc_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  const double n = p->n;
  const double phi = *y;
  const double theta = n * proj_wrap_longitude(*x - p->lambda0);
  if (proj_is_pole(phi)) {
    *x = p->x0;
    *y = phi * n >= 0 ? p->r0 : (phi > 0 ? HUGE_VAL : -HUGE_VAL);
  } else {
    const double rho = p->c * cone_factor(phi, n, p->e);
    *x = p->x0 + rho * std::sin(theta);
    *y = p->r0 - rho * std::cos(theta);
  }
  proj_grid_out(p, x, y);
}

void proj_lcc_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double n = p->n;
  const double dx = *x - p->x0;
  const double dy = p->r0 - *y;
  if (std::fabs(dy) <= kProjEps && std::fabs(dx) <= kProjEps) {
    // The apex, where the radius is zero (not every point of its northing: those lie
    // on the cone's parallels, east and west of it). A NaN easting is no apex.
    *x = 0.0;
    *y = (n >= 0 || std::fabs(n) <= kProjEps) ? kProjHalfPi : -kProjHalfPi;
  } else {
    const double s = n > 0 ? 1.0 : -1.0;
    const double theta = std::atan2(s * dx, s * dy);
    const double rho = std::sqrt(dx * dx + dy * dy);
    double phi = 0.0;
    iso_latitude_inverse(-std::log(std::fabs(rho / p->c)) / n, p->e, &phi);
    *x = proj_wrap_longitude(p->lambda0 + theta / n);
    *y = phi;
  }
  proj_geo_out(p, x, y);
}
