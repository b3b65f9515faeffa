// Transverse Mercator by the classical power series in the longitude difference (the
// US Army / Thomas form, to the sixth power), with Snyder's meridian arc series. Used by
// kind 1 and, for its set-up only, by the New Zealand map grid (kind 26).
//
// Set-up fields: e = second eccentricity squared e'2, c = a, coeff0..coeff3 = A0, A2, A4,
// A6 of the meridian arc, n = k0 M(phi0). The series is exact to the millimetre within a
// few degrees of the central meridian and drifts beyond (its first neglected terms grow
// with the eighth power of the longitude difference), which is what a zone of 6 degrees
// needs.
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

void proj_setup_tm(cartproj_t* proj, int, int, int) {
  const proj_ellipsoid ell = proj_ellipsoid_of(proj);
  const double e2 = ell.e2;
  const ellipsoid_t* rec = proj->geodatum->ellip;
  const double invf = rec->invf;
  if (invf <= kProjEps) {
    const double b = rec->b;
    proj->e = (ell.a * ell.a - b * b) / (b * b);
  } else {
    const double r = invf / (invf - 1.0);
    proj->e = r * r * e2;
  }
  proj->c = ell.a;
  const double e4 = e2 * e2;
  const double e6 = e4 * e2;
  const double A0 = 1.0 - e2 / 4.0 - 3.0 * e4 / 64.0 - 5.0 * e6 / 256.0;
  const double A2 = 3.0 * e2 / 8.0 + 3.0 * e4 / 32.0 + 45.0 * e6 / 1024.0;
  const double A4 = 15.0 * e4 / 256.0 + 45.0 * e6 / 1024.0;
  const double A6 = 35.0 * e6 / 3072.0;
  proj->coeff0 = A0;
  proj->coeff1 = A2;
  proj->coeff2 = A4;
  proj->coeff3 = A6;
  const double phi0 = proj->phio0;
  proj->n = std::fabs(phi0) <= kProjEps ? 0.0
                                        : proj->k0 * meridian_arc(ell.a, A0, A2, A4, A6, phi0);
}

namespace {

struct tm_constants {
  double a, ep2, e2, A0, A2, A4, A6;
};

tm_constants constants_of(const cartproj_t* p) {
  tm_constants k;
  k.a = p->c;
  k.ep2 = p->e;
  k.e2 = k.ep2 / (1.0 + k.ep2);
  k.A0 = p->coeff0;
  k.A2 = p->coeff1;
  k.A4 = p->coeff2;
  k.A6 = p->coeff3;
  return k;
}

// The meridian arc from the sine and cosine of the latitude: the multiple angles by
// their recurrences, so that one sincos serves the whole forward formula.
double arc_from(const tm_constants& k, double phi, double s, double c) {
  const double s2 = 2.0 * s * c;
  const double c2 = c * c - s * s;
  const double s4 = 2.0 * s2 * c2;
  const double c4 = c2 * c2 - s2 * s2;
  const double s6 = s4 * c2 + c4 * s2;
  return k.a * (k.A0 * phi - k.A2 * s2 + k.A4 * s4 - k.A6 * s6);
}

}  // namespace

void proj_tm_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  const tm_constants k = constants_of(p);
  const double phi = *y;
  const double s = std::sin(phi);
  const double w = std::cos(phi);
  const double k0 = p->k0;
  const double M = arc_from(k, phi, s, w);
  if (proj_is_pole(phi)) {
    *x = p->x0;
    *y = p->y0 + k0 * M - p->n;
  } else {
    const double L = *x - p->lambda0;
    const double t = s / w;
    const double t2 = t * t;
    const double eta2 = k.ep2 * w * w;
    const double N = k.a / std::sqrt(1.0 - k.e2 * s * s);
    const double Lw = L * w;
    const double Lw2 = Lw * Lw;
    const double x_series =
        1.0 + Lw2 * ((1.0 - t2 + eta2) / 6.0 +
                     Lw2 * (5.0 - 18.0 * t2 + t2 * t2 + 14.0 * eta2 - 58.0 * t2 * eta2) / 120.0);
    const double y_series =
        0.5 + Lw2 * ((5.0 - t2 + 9.0 * eta2 + 4.0 * eta2 * eta2) / 24.0 +
                     Lw2 * (61.0 - 58.0 * t2 + t2 * t2 + 270.0 * eta2 - 330.0 * t2 * eta2) /
                         720.0);
    *x = p->x0 + k0 * N * Lw * x_series;
    *y = p->y0 - p->n + k0 * (M + N * t * Lw2 * y_series);
  }
  proj_grid_out(p, x, y);
}

void proj_tm_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const tm_constants k = constants_of(p);
  const double k0 = p->k0;
  const double X = (*x - p->x0) / k0;
  const double M = (*y - p->y0 + p->n) / k0;
  double phi1 = 0.0;
  footpoint_latitude(M, k.a, k.A0, k.A2, k.A4, k.A6, &phi1);
  const double s = std::sin(phi1);
  const double w = std::cos(phi1);
  if (std::fabs(w) <= kProjEps) {
    // The footpoint is a pole: every meridian meets there.
    *x = p->lambda0;
    *y = phi1;
  } else {
    const double t = s / w;
    const double t2 = t * t;
    const double eta2 = k.ep2 * w * w;
    const double N = k.a / std::sqrt(1.0 - k.e2 * s * s);
    const double D = X / N;
    const double D2 = D * D;
    const double lam_series =
        1.0 - D2 * ((1.0 + 2.0 * t2 + eta2) / 6.0 -
                    D2 * (5.0 + 28.0 * t2 + 24.0 * t2 * t2 + 6.0 * eta2 + 8.0 * t2 * eta2) / 120.0);
    const double phi_series =
        (1.0 + eta2) / 2.0 -
        D2 * ((5.0 + 3.0 * t2 + 6.0 * eta2 - 6.0 * t2 * eta2 - 3.0 * eta2 * eta2 -
               9.0 * t2 * eta2 * eta2) / 24.0 -
              D2 * (61.0 + 90.0 * t2 + 45.0 * t2 * t2 + 107.0 * eta2 - 162.0 * t2 * eta2 -
                    45.0 * t2 * t2 * eta2) / 720.0);
    *x = p->lambda0 + D * lam_series / w;
    *y = phi1 - t * D2 * phi_series;
  }
  proj_geo_out(p, x, y);
}
