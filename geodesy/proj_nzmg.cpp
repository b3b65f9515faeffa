// New Zealand map grid (kind 26): a conformal sixth-order complex polynomial of the
// Mercator, fitted to New Zealand (EPSG method 9811).
//
// The set-up is the Transverse Mercator's (proj_tm.cpp), of which only c = a is read
// here, with lambda0, phio0, x0 and y0. Forward: the latitude difference, counted in
// units of 1e5 seconds of arc, gives the isometric latitude difference by a real series;
// zeta = dpsi + i dlambda then gives z = sum B_k zeta^k and N + i E = (y0 + i x0) + a z.
// Inverse: a first zeta from the inverse series sum C_k z^k, Newton steps on the
// polynomial until they settle, then the latitude difference from the isometric one by
// a real series. Inside New Zealand two steps settle it; far outside the steps need not
// settle at all, and a point whose steps do not settle, whose latitude falls beyond a
// pole, or that the forward formulas do not take back to the grid point, is out of the
// domain (NaN), as is a latitude beyond a pole given forward.
#include <cmath>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

struct cplx {
  double re, im;
};
cplx operator+(cplx a, cplx b) { return {a.re + b.re, a.im + b.im}; }
cplx operator*(cplx a, cplx b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
cplx operator/(cplx a, cplx b) {
  const double d = b.re * b.re + b.im * b.im;
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}

// Latitude difference (1e5 arc-seconds) -> isometric latitude difference.
constexpr double kA[10] = {0.6399175073, -0.1358797613, 0.063294409, -0.02526853, 0.0117879,
                           -0.0055161,   0.0026906,     -0.001333,   0.00067,     -0.00034};
// zeta -> z.
constexpr cplx kB[6] = {{0.7557853228, 0.0},          {0.249204646, 0.003371507},
                        {-0.001541739, 0.041058560},  {-0.10162907, 0.01727609},
                        {-0.26623489, -0.36249218},   {-0.6870983, -1.1651967}};
// z -> zeta, first approximation.
constexpr cplx kC[6] = {{1.3231270439, 0.0},         {-0.577245789, -0.007809598},
                        {0.508307513, -0.112208952}, {-0.15094762, 0.18200602},
                        {1.01418179, 1.64497696},    {1.9660549, 2.5127645}};
// Isometric latitude difference -> latitude difference.
constexpr double kD[9] = {1.5627014243, 0.5185406398, -0.03333098, -0.1052906, -0.0368594,
                          0.007317,     0.01220,      0.00394,     -0.0013};

constexpr double kArcUnit = 1e5 / 3600.0 * kProjPi / 180.0;  // 1e5 seconds of arc, radians
// Newton steps: at least two (the method's own count), then on until a step moves zeta
// by at most this (|d re| + |d im|, in radians of isometric latitude and longitude:
// under a millimetre; PROJ's test), at most kNewtonMax in all.
constexpr int kNewtonSteps = 2;
constexpr int kNewtonMax = 20;
constexpr double kNewtonSettled = 1e-10;
// How far (metres on the grid) the forward formulas may take an inverse's answer from the
// grid point it came from: inside New Zealand they come back within a tenth of a
// millimetre, a thousand kilometres out within centimetres; thousands of kilometres out
// the series part and the answer would be a point elsewhere.
constexpr double kComesBack = 1.0;

// sum_{k=1..n} coef[k-1] v^k (Horner).
double real_series(const double* coef, int n, double v) {
  double r = 0.0;
  for (int k = n - 1; k >= 0; --k) r = (r + coef[k]) * v;
  return r;
}
cplx complex_series(const cplx* coef, int n, cplx v) {
  cplx r{0.0, 0.0};
  for (int k = n - 1; k >= 0; --k) r = (r + coef[k]) * v;
  return r;
}

// One Newton step on sum B_k zeta^k = z.
cplx newton_step(cplx zeta, cplx z) {
  cplx num = z;
  cplx den{0.0, 0.0};
  cplx power{1.0, 0.0};  // zeta^(k-1)
  for (int k = 1; k <= 6; ++k) {
    den = den + cplx{double(k), 0.0} * kB[k - 1] * power;
    power = power * zeta;  // zeta^k
    if (k >= 2) num = num + cplx{double(k - 1), 0.0} * kB[k - 1] * power;
  }
  return num / den;
}

}  // namespace

void proj_nzmg_forward(const cartproj_t* p, double* x, double* y) {
  proj_geo_in(p, x, y);
  if (proj_beyond_domain(*y)) {
    proj_out_of_domain(x, y);
    return;
  }
  const double dphi = (*y - p->phio0) / kArcUnit;
  const cplx zeta{real_series(kA, 10, dphi), proj_wrap_longitude(*x - p->lambda0)};
  const cplx z = complex_series(kB, 6, zeta);
  const double a = p->c;
  *x = p->x0 + a * z.im;
  *y = p->y0 + a * z.re;
  proj_grid_out(p, x, y);
}

void proj_nzmg_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const double a = p->c;
  const cplx z{(*y - p->y0) / a, (*x - p->x0) / a};
  cplx zeta = complex_series(kC, 6, z);
  bool settled = false;
  for (int i = 0; i < kNewtonMax && !settled; ++i) {
    const cplx next = newton_step(zeta, z);
    settled = i + 1 >= kNewtonSteps &&
              std::fabs(next.re - zeta.re) + std::fabs(next.im - zeta.im) <= kNewtonSettled;
    zeta = next;
  }
  const double phi = p->phio0 + real_series(kD, 9, zeta.re) * kArcUnit;
  if (!settled || proj_beyond_domain(phi) || !std::isfinite(zeta.im)) {
    proj_out_of_domain(x, y);
    return;
  }
  const double lam = proj_wrap_longitude(p->lambda0 + zeta.im);
  // The two real series are each other's inverse only near New Zealand: a point that the
  // forward formulas do not take back to the grid point is not the method's answer.
  const cplx again = complex_series(
      kB, 6, cplx{real_series(kA, 10, (phi - p->phio0) / kArcUnit),
                  proj_wrap_longitude(lam - p->lambda0)});
  if (!(a * std::hypot(again.re - z.re, again.im - z.im) <= kComesBack)) {
    proj_out_of_domain(x, y);
    return;
  }
  *x = lam;
  *y = phi;
  proj_geo_out(p, x, y);
}
