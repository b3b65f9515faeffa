// Laborde's oblique Mercator (kind 4), the grid of Madagascar (EPSG method 9813).
//
// The conformal sphere of the centre (projection_sphere.cpp, radius r0 = k0 times the
// geometric mean radius) is drawn with the Transverse Mercator of its central meridian
// (proj_sphere_tm.cpp); the azimuth alpha of the central line then enters through the
// complex cubic H + G H^3 with G = (1 - cos 2 alpha + i sin 2 alpha) / 12, H being the grid
// offset from the centre as N + iE in units of r0. The set-up keeps the azimuth (radians)
// in coeff1 and puts G in coeff2 (real part) and coeff3 (imaginary part).
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

constexpr int kNewtonPasses = 20;

}  // namespace

void proj_setup_laborde(cartproj_t* proj, int kind, int linear_unit, int angular_unit) {
  proj_setup_conformal_sphere(proj, kind, linear_unit, angular_unit);
  const double alpha = proj_param_radians(proj->coeff1, angular_unit);
  proj->coeff1 = alpha;
  proj->coeff2 = (1.0 - std::cos(2.0 * alpha)) / 12.0;
  proj->coeff3 = std::sin(2.0 * alpha) / 12.0;
}

// H <- H + G H^3.
void laborde_cubic_forward(const cartproj_t* p, double* re, double* im) {
  const double hr = *re, hi = *im;
  const double h2r = hr * hr - hi * hi, h2i = 2.0 * hr * hi;
  const double h3r = h2r * hr - h2i * hi, h3i = h2r * hi + h2i * hr;
  const double gr = p->coeff2, gi = p->coeff3;
  *re = hr + gr * h3r - gi * h3i;
  *im = hi + gr * h3i + gi * h3r;
}

// Solves H + G H^3 = H0 by Newton's method from H = H0:
// H <- (H0 + 2 G H^3) / (1 + 3 G H^2).
void laborde_cubic_inverse(const cartproj_t* p, double* re, double* im) {
  const double h0r = *re, h0i = *im;
  const double gr = p->coeff2, gi = p->coeff3;
  double hr = h0r, hi = h0i;
  for (int pass = 0; pass < kNewtonPasses; ++pass) {
    const double h2r = hr * hr - hi * hi, h2i = 2.0 * hr * hi;
    const double h3r = h2r * hr - h2i * hi, h3i = h2r * hi + h2i * hr;
    const double nr = h0r + 2.0 * (gr * h3r - gi * h3i);
    const double ni = h0i + 2.0 * (gr * h3i + gi * h3r);
    const double dr = 1.0 + 3.0 * (gr * h2r - gi * h2i);
    const double di = 3.0 * (gr * h2i + gi * h2r);
    const double dd = dr * dr + di * di;
    const double next_r = (nr * dr + ni * di) / dd;
    const double next_i = (ni * dr - nr * di) / dd;
    const double step = std::fabs(next_r - hr) + std::fabs(next_i - hi);
    hr = next_r;
    hi = next_i;
    if (!(step > 1e-15)) break;
  }
  *re = hr;
  *im = hi;
}
