// The iterations and the conformal-sphere passages shared by the projection formulas
// (projection_math.h).
#include "geodesy/projection_math.h"

namespace {

// Inside the domain both iterations converge by a factor of about e^2 (or 2 A2 / A0,
// about 0.005) per pass and meet their tolerance within a handful of passes; the limit
// only ends the loop for values beyond the domain.
constexpr int kMaxPasses = 40;

}  // namespace

void iso_latitude_inverse(double psi, double e, double* phi) {
  double t = std::exp(psi);
  double f = 2.0 * std::atan(t) - kProjHalfPi;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    const double previous = t;
    // T = ((1 + e sin phi)/(1 - e sin phi))^(e/2) exp(psi), in one exponential.
    t = std::exp(psi + e * proj_atanh_small(e * std::sin(f)));
    f = 2.0 * std::atan(t) - kProjHalfPi;
    // Written so that a NaN ends the loop: the comparison with NaN is false.
    if (!(std::fabs(t - previous) > 1e-9)) break;
  }
  *phi = f;
}

void footpoint_latitude(double M, double a, double A0, double A2, double A4, double A6,
                        double* phi) {
  const double m = M / a;
  double f = 0.0;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    const double next =
        (m + A2 * std::sin(2.0 * f) - A4 * std::sin(4.0 * f) + A6 * std::sin(6.0 * f)) / A0;
    const double step = next - f;
    f = next;
    if (!(std::fabs(step) > 1e-10)) break;
  }
  *phi = f;
}

// At a pole the latitude is already the conformal one (and its isometric latitude is
// infinite): only the longitude is carried, so that the formulas see the meridian the
// point came on. The longitude difference is taken the short way round before it is
// scaled: n differs from 1, so a turn more or less would move the point.
void to_conformal_sphere(const cartproj_t* proj, double* lam, double* phi, double lam_ref) {
  const double f = *phi;
  const double n = proj->n;
  *lam = n * proj_wrap_longitude(*lam - lam_ref);
  if (proj_is_pole(f)) return;
  *phi = 2.0 * std::atan(std::exp(n * iso_latitude(f, proj->e) + proj->c)) - kProjHalfPi;
}

void from_conformal_sphere(const cartproj_t* proj, double* lam, double* chi, double lam_ref) {
  const double x = *chi;
  const double n = proj->n;
  *lam = proj_wrap_longitude(*lam / n + lam_ref);
  if (proj_is_pole(x)) return;
  iso_latitude_inverse((sphere_iso_latitude(x) - proj->c) / n, proj->e, chi);
}

void sphere_mercator_forward(const cartproj_t* proj, double* lam, double* phi) {
  const double R = proj->r0;
  const double f = *phi;
  if (!(std::fabs(f) >= kProjBelowPole)) {  // a NaN goes through as it is
    *lam = R * *lam;
    *phi = R * sphere_iso_latitude(f);
  } else {
    *lam = 0.0;
    *phi = f > 0 ? HUGE_VAL : -HUGE_VAL;
  }
}

void sphere_mercator_inverse(const cartproj_t* proj, double* x, double* y) {
  const double R = proj->r0;
  *x = *x / R;
  *y = 2.0 * std::atan(std::exp(*y / R)) - kProjHalfPi;
}
