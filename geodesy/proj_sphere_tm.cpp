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

}  // namespace

void proj_sphere_tm_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  double lam = *x;
  double chi = *y;
  to_conformal_sphere(p, &lam, &chi, p->lambda0);
  const double R = p->r0;
  if (std::fabs(lam) >= kProjBelowPole) {
    *x = lam > 0 ? HUGE_VAL : -HUGE_VAL;
    *y = p->y0;
  } else {
    const double b = std::cos(chi) * std::sin(lam);
    double east = std::atanh(b);
    double north = std::atan2(std::tan(chi), std::cos(lam)) - p->coeff0;
    if (has_cubic(p)) laborde_cubic_forward(p, &north, &east);
    *x = p->x0 + R * east;
    *y = p->y0 + R * north;
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
  *x = lam;
  *y = chi;
  proj_geo_out(p, x, y);
}
