// The conformal (Gaussian) sphere of a projection, shared by the oblique and transverse
// projections that work on a sphere (kinds 4, 5, 16, 43, 44, 45).
//
// The sphere touches the ellipsoid along the origin latitude phi0 with the same scale:
// its exponent B = sqrt(1 + e2 cos^4 phi0 / (1 - e2)) carries longitudes, its conformal
// latitude chi = 2 atan(exp(B psi(phi) + c)) - pi/2 is chi0 = asin(sin phi0 / B) at phi0,
// and its radius is the geometric mean of the ellipsoid's radii at phi0, times k0.
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_setup_conformal_sphere(cartproj_t* proj, int, int, int) {
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double phi0 = proj->phio0;
  const double s = std::sin(phi0);
  const double c = std::cos(phi0);
  const double B = std::sqrt(1.0 + ell.e2 * c * c * c * c / (1.0 - ell.e2));
  const double chi0 = std::asin(s / B);
  proj->n = B;
  proj->coeff0 = chi0;
  proj->c = sphere_iso_latitude(chi0) - B * iso_latitude(phi0, ell.e);
  proj->r0 = std::sqrt(1.0 - ell.e2) * proj->k0 * ell.a / (1.0 - ell.e2 * s * s);
}
