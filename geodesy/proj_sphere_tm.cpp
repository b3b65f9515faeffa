// Transverse Mercator on the conformal sphere (kind 43, the Gauss-Schreiber form), which
// also carries Laborde's oblique Mercator (kind 4, proj_laborde.cpp).
//
// The point goes to the conformal sphere about lambda0 (projection_sphere.cpp) and is
// drawn with the spherical Transverse Mercator of radius r0, the northing counted from
// the sphere's origin latitude chi0 = coeff0 so that the origin falls on (x0, y0). When
// the projection carries a cubic G = coeff2 + i coeff3 (Laborde), the grid offsets from
// the origin, as N + iE in units of r0, are then bent by N + iE + G (N + iE)^3.
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_setup_sphere_tm(cartproj_t* proj, int kind, int linear_unit, int angular_unit) {
  proj_setup_conformal_sphere(proj, kind, linear_unit, angular_unit);
  proj->coeff1 = proj->y0 - proj->r0 * proj->coeff0;
  proj->coeff2 = 0.0;  // no cubic
  proj->coeff3 = 0.0;
}

namespace {

bool has_cubic(const cartproj_t* p) { return p->coeff2 != 0.0 || p->coeff3 != 0.0; }

// How far (metres on the grid) the forward formulas may take an inverse's answer of
// Laborde from the grid point it came from. The cubic takes far grid points from several
// places; a root of it that the forward formulas do not give back is not the method's
// answer. Inside the domain they come back within nanometres.
constexpr double kComesBack = 1.0;

// The forward formulas from radians to metres; false when the point has no image.
bool sphere_tm_point(const cartproj_t* p, double lam, double chi, double* x, double* y) {
  to_conformal_sphere(p, &lam, &chi, p->lambda0);
  const double R = p->r0;
  const double b = std::cos(chi) * std::sin(lam);
  double east = std::atanh(b);
  double north = std::atan2(std::tan(chi), std::cos(lam)) - p->coeff0;
  if (std::fabs(lam) >= kProjBelowPole) {
    // The far half of the sphere. Its points have images as the near ones do (the pole
    // is one point, whatever the longitude); the two points a quarter turn from the
    // central meridian on the equator have none, nor have the longitudes that the
    // sphere's exponent carries beyond the antimeridian, where the sphere is covered
    // twice (a thin lune, half a degree wide for Laborde). The northing is counted the
    // short way round from the origin, as the oblique Mercator of the method counts it.
    const bool covered_twice = std::fabs(lam) > kProjPi && !proj_is_pole(chi);
    if (covered_twice || !(std::isfinite(east) && std::isfinite(north))) return false;
    if (north > kProjPi) north -= 2.0 * kProjPi;
    if (north <= -kProjPi) north += 2.0 * kProjPi;
  }
  if (has_cubic(p)) laborde_cubic_forward(p, &north, &east);
  *x = p->x0 + R * east;
  *y = p->y0 + R * north;
  return true;
}

}  // namespace

void proj_sphere_tm_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  if (!sphere_tm_point(p, *x, *y, x, y)) {
    proj_out_of_domain(x, y);
    return;
  }
  proj_grid_out(p, x, y);
}

void proj_sphere_tm_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double R = p->r0;
  double east = (*x - p->x0) / R;
  double north = (*y - p->y0) / R;
  if (has_cubic(p)) laborde_cubic_inverse(p, &north, &east);
  const double d = 2.0 * std::atan(std::exp(east)) - kProjHalfPi;
  const double Y = north + p->coeff0;
  double lam = std::atan2(std::tan(d), std::cos(Y));
  double chi = std::atan(std::cos(lam) * std::tan(Y));
  from_conformal_sphere(p, &lam, &chi, p->lambda0);
  if (has_cubic(p)) {
    double gx = 0.0, gy = 0.0;
    if (!sphere_tm_point(p, lam, chi, &gx, &gy) ||
        !(std::hypot(gx - *x, gy - *y) <= kComesBack)) {
      proj_out_of_domain(x, y);
      return;
    }
  }
  *x = lam;
  *y = chi;
  proj_geo_out(p, x, y);
}
