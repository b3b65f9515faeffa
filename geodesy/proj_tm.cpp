// Transverse Mercator by Krueger's series in the third flattening n = (a - b)/(a + b),
// carried to n^6 (kind 1; kind 26, the New Zealand map grid, uses the set-up only).
//
// The point goes to its conformal latitude chi, is drawn with the spherical transverse
// Mercator zeta' = xi' + i eta' (xi' = atan2(tan chi, cos L), eta' = atanh(cos chi sin L)),
// and the rectifying series zeta = zeta' + sum alpha_j sin(2j zeta') turns the sphere's
// meridian arc into the ellipsoid's: x + i y = k0 A (eta + i xi), A the rectifying radius.
// The inverse takes zeta' = zeta - sum beta_j sin(2j zeta) and the latitude from the
// conformal one by its series in n. The coefficients are polynomials in n (exact
// fractions, derived by scripts/geodesy/derive_tm_series.py); the terms left out are of
// order n^7, about 4e-20: the formulas hold to well under a millimetre up to 40 degrees
// and more from the central meridian, where a power series in the longitude difference
// already errs by metres at 10 degrees.
//
// Set-up fields (unchanged in meaning): e = second eccentricity squared e'2, c = a,
// coeff0..coeff3 = A0, A2, A4, A6 of the meridian arc series (projection_math.h, kept
// for the record's readers), n = k0 M(phi0), here the meridian arc of Krueger's series.
// The formulas derive n and the coefficients from e'2 on each call: a few dozen
// multiplications, cheaper than the trigonometric calls around them.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "geodesy/projection_kinds.h"
#include "geodesy/projection_math.h"

namespace {

// The largest |eta| (the easting over k0 A, after the series) of the domain, forward and
// inverse, PROJ's bound: about 81 degrees from the central meridian on the equator, where
// the series no longer converges. The forward tests the sum of its series (so that near
// the equator a quarter turn away, where the sum swings, a point has a number exactly
// where PROJ gives one); the inverse tests the easting it is given.
constexpr double kTmMaxEta = 2.623395162778;

constexpr int kOrder = 6;

// Row j holds the polynomial of the coefficient of sin(2(j+1) .), from its lowest power
// n^(j+1) up to n^6.
using series_table = double[kOrder][kOrder];

// Rectifying latitude from the conformal one (Krueger's alpha).
constexpr series_table kAlpha = {
    {1.0 / 2, -2.0 / 3, 5.0 / 16, 41.0 / 180, -127.0 / 288, 7891.0 / 37800},
    {13.0 / 48, -3.0 / 5, 557.0 / 1440, 281.0 / 630, -1983433.0 / 1935360},
    {61.0 / 240, -103.0 / 140, 15061.0 / 26880, 167603.0 / 181440},
    {49561.0 / 161280, -179.0 / 168, 6601661.0 / 7257600},
    {34729.0 / 80640, -3418889.0 / 1995840},
    {212378941.0 / 319334400},
};

// Conformal latitude from the rectifying one (Krueger's beta, subtracted).
constexpr series_table kBeta = {
    {1.0 / 2, -2.0 / 3, 37.0 / 96, -1.0 / 360, -81.0 / 512, 96199.0 / 604800},
    {1.0 / 48, 1.0 / 15, -437.0 / 1440, 46.0 / 105, -1118711.0 / 3870720},
    {17.0 / 480, -37.0 / 840, -209.0 / 4480, 5569.0 / 90720},
    {4397.0 / 161280, -11.0 / 504, -830251.0 / 7257600},
    {4583.0 / 161280, -108847.0 / 3991680},
    {20648693.0 / 638668800},
};

// Conformal latitude from the geodetic one: chi = phi + sum c_j sin(2j phi).
constexpr series_table kToConformal = {
    {-2.0, 2.0 / 3, 4.0 / 3, -82.0 / 45, 32.0 / 45, 4642.0 / 4725},
    {5.0 / 3, -16.0 / 15, -13.0 / 9, 904.0 / 315, -1522.0 / 945},
    {-26.0 / 15, 34.0 / 21, 8.0 / 5, -12686.0 / 2835},
    {1237.0 / 630, -12.0 / 5, -24832.0 / 14175},
    {-734.0 / 315, 109598.0 / 31185},
    {444337.0 / 155925},
};

// Geodetic latitude from the conformal one: phi = chi + sum d_j sin(2j chi).
constexpr series_table kFromConformal = {
    {2.0, -2.0 / 3, -2.0, 116.0 / 45, 26.0 / 45, -2854.0 / 675},
    {7.0 / 3, -8.0 / 5, -227.0 / 45, 2704.0 / 315, 2323.0 / 945},
    {56.0 / 15, -136.0 / 35, -1262.0 / 105, 73814.0 / 2835},
    {4279.0 / 630, -332.0 / 35, -399572.0 / 14175},
    {4174.0 / 315, -144838.0 / 6237},
    {601676.0 / 22275},
};

// The coefficients of one table for the third flattening n.
struct coefficients {
  double v[kOrder];
};

coefficients evaluate(const series_table& t, double n) {
  coefficients c;
  double power = n;
  for (int j = 0; j < kOrder; ++j) {
    double sum = 0.0;
    for (int i = kOrder - 1 - j; i >= 0; --i) sum = sum * n + t[j][i];
    c.v[j] = power * sum;
    power *= n;
  }
  return c;
}

// ---- Elementary functions for the forward formulas -------------------------------------
// sin and cos, atan2 and log as straight-line arithmetic (polynomials after an argument
// reduction, selections in place of branches), so that a block of points goes through
// them as loops the compiler carries out on several points at once, and one point by
// itself gets the very same operations. Each is good to about an ulp over the arguments
// the formulas give it (angles of at most a few turns, positive normal numbers for the
// logarithm), a few 1e-16 in the angles: nanometres on the ground.

// x rounded to the nearest integer (|x| < 2^51), without a call: adding and taking away
// 1.5 * 2^52 leaves no fraction bits. A NaN stays a NaN.
[[gnu::always_inline]] inline double round_to_integer(double x) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  return (x + kShift) - kShift;
}

// sin and cos of x together: x = k pi/2 + r with |r| <= pi/4 (pi/2 in two parts, the
// first with trailing zero bits so that k times it is exact), the Taylor polynomials of
// sin r (to r^17) and cos r (to r^16), and the quadrant from k = 2j + o, o in {-1, 0, 1}:
// sin x = (-1)^j (o = 0 ? sin r : o cos r), cos x = (-1)^j (o = 0 ? cos r : -o sin r).
// (A zero comes out as +0 whatever the sign of x.)
[[gnu::always_inline]] inline void sin_cos(double x, double* sin_x, double* cos_x) {
  constexpr double kTwoOverPi = 0.63661977236758134308;
  constexpr double kHalfPi1 = 1.57079632673412561417e+00;  // first 33 bits of pi/2
  constexpr double kHalfPi2 = 6.07710050650619224932e-11;  // pi/2 - kHalfPi1
  const double k = round_to_integer(x * kTwoOverPi);
  const double r = (x - k * kHalfPi1) - k * kHalfPi2;
  const double z = r * r;
  const double sr =
      r + r * z *
              (-1.0 / 6 +
               z * (1.0 / 120 +
                    z * (-1.0 / 5040 +
                         z * (1.0 / 362880 +
                              z * (-1.0 / 39916800 +
                                   z * (1.0 / 6227020800.0 +
                                        z * (-1.0 / 1307674368000.0 +
                                             z * (1.0 / 355687428096000.0))))))));
  const double cr =
      1.0 + z * (-1.0 / 2 +
                 z * (1.0 / 24 +
                      z * (-1.0 / 720 +
                           z * (1.0 / 40320 +
                                z * (-1.0 / 3628800 +
                                     z * (1.0 / 479001600.0 +
                                          z * (-1.0 / 87178291200.0 +
                                               z * (1.0 / 20922789888000.0))))))));
  const double j = round_to_integer(0.5 * k);
  const double o = k - 2.0 * j;
  const double odd_j = j - 2.0 * round_to_integer(0.5 * j);
  // The quadrant by arithmetic in place of choices (products with 0 and +-1 are exact):
  // even = 1 where o = 0, else 0; sign = (-1)^j.
  const double even = 1.0 - o * o;
  const double sign = 1.0 - 2.0 * (odd_j * odd_j);
  *sin_x = sign * (even * sr + o * cr);
  *cos_x = sign * (even * cr - o * sr);
}

// atan2(y, x): the ratio t of the smaller to the larger magnitude (in [0, 1]), atan t as
// atan c + atan((t - c) / (1 + t c)) with c = tan(k pi/8), k = 0, 1 or 2 the nearest, so
// that the Taylor polynomial (to t^23) takes at most tan(pi/16); then the octant.
// A zero counts as positive whatever its sign: (0, 0) gives 0. A NaN gives a NaN.
[[gnu::always_inline]] inline double arc_tangent2(double y, double x) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kTanPi16 = 0.19891236737965800691;
  constexpr double kTan3Pi16 = 0.66817863791929891999;
  constexpr double kTanPi8 = 0.41421356237309504880;
  const double ax = std::fabs(x), ay = std::fabs(y);
  const bool steep = ay > ax;
  const double big = steep ? ay : ax;
  const double small = steep ? ax : ay;
  const double ratio = small / big;
  const double t = big == 0.0 ? 0.0 : ratio;
  const double c = t > kTan3Pi16 ? 1.0 : (t > kTanPi16 ? kTanPi8 : 0.0);
  const double base = t > kTan3Pi16 ? kPi / 4 : (t > kTanPi16 ? kPi / 8 : 0.0);
  const double v = (t - c) / (1.0 + t * c);
  const double z = v * v;
  const double p =
      -1.0 / 3 +
      z * (1.0 / 5 +
           z * (-1.0 / 7 +
                z * (1.0 / 9 +
                     z * (-1.0 / 11 +
                          z * (1.0 / 13 +
                               z * (-1.0 / 15 +
                                    z * (1.0 / 17 +
                                         z * (-1.0 / 19 + z * (1.0 / 21 + z * (-1.0 / 23))))))))));
  const double a = base + (v + v * z * p);
  const double from_y_axis = kPi / 2 - a;
  const double a1 = steep ? from_y_axis : a;
  const double from_left = kPi - a1;
  const double a2 = x < 0.0 ? from_left : a1;
  const double minus_a2 = -a2;
  return y < 0.0 ? minus_a2 : a2;
}

// ln v for a positive normal v (or a NaN, given back): v = 2^e m with m in
// [sqrt 1/2, sqrt 2) from the bits, ln m = 2 atanh s with s = (m - 1)/(m + 1), |s| < 0.172,
// by its series to s^21, and e ln 2 with ln 2 in two parts (the first exact times e).
[[gnu::always_inline]] inline double logarithm(double v) {
  constexpr double kLn2Hi = 6.93147180369123816490e-01;
  constexpr double kLn2Lo = 1.90821492927058770002e-10;
  constexpr double kSqrt2 = 1.41421356237309504880;
  constexpr uint64_t kFraction = (uint64_t(1) << 52) - 1;
  const uint64_t bits = std::bit_cast<uint64_t>(v);
  const double m0 = std::bit_cast<double>((bits & kFraction) | std::bit_cast<uint64_t>(1.0));
  // The biased exponent as a double: its bits under the exponent of 2^52.
  const double e0 =
      std::bit_cast<double>((bits >> 52) | std::bit_cast<uint64_t>(4503599627370496.0)) -
      (4503599627370496.0 + 1023.0);
  const bool high = m0 >= kSqrt2;
  const double half_m0 = 0.5 * m0, e0_plus_1 = e0 + 1.0;
  const double m = high ? half_m0 : m0;
  const double e = high ? e0_plus_1 : e0;
  const double f = m - 1.0;
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double p =
      1.0 / 3 +
      z * (1.0 / 5 +
           z * (1.0 / 7 +
                z * (1.0 / 9 +
                     z * (1.0 / 11 +
                          z * (1.0 / 13 +
                               z * (1.0 / 15 +
                                    z * (1.0 / 17 + z * (1.0 / 19 + z * (1.0 / 21)))))))));
  const double ln_m = 2.0 * s + 2.0 * s * z * p;
  const double ln = e * kLn2Hi + (ln_m + e * kLn2Lo);
  return v == v ? ln : v;
}

// The ellipsoid as the series see it.
struct tm_ellipsoid {
  double n;  // third flattening
  double A;  // rectifying radius: the meridian arc is A times the rectifying latitude
};

// From a and e'2 (the set-up fields c and e): e2 = e'2 / (1 + e'2) and
// n = (1 - sqrt(1 - e2)) / (1 + sqrt(1 - e2)).
tm_ellipsoid ellipsoid_of(double a, double ep2) {
  const double b_over_a = std::sqrt(1.0 - ep2 / (1.0 + ep2));
  tm_ellipsoid k;
  k.n = (1.0 - b_over_a) / (1.0 + b_over_a);
  const double n2 = k.n * k.n;
  k.A = a / (1.0 + k.n) * (1.0 + n2 * (1.0 / 4 + n2 * (1.0 / 64 + n2 / 256)));
  return k;
}

// sum c_j sin(2j theta) by Clenshaw's recurrence, from sin 2theta and cos 2theta.
[[gnu::always_inline]] inline double sine_sum(const coefficients& c, double s2, double c2) {
  const double w = 2.0 * c2;
  double b1 = 0.0, b2 = 0.0;
#pragma GCC unroll 6
  for (int j = kOrder - 1; j >= 0; --j) {
    const double b0 = c.v[j] + w * b1 - b2;
    b2 = b1;
    b1 = b0;
  }
  return b1 * s2;
}

// sum c_j sin(2j zeta) for zeta = xi + i eta, from sin 2xi, cos 2xi, sinh 2eta and
// cosh 2eta (Clenshaw's recurrence in complex numbers): the real part to *re, the
// imaginary part to *im.
[[gnu::always_inline]] inline void complex_sine_sum(const coefficients& c, double s2,
                                                    double c2, double sh2, double ch2,
                                                    double* re, double* im) {
  // w = 2 cos(2 zeta), and sin(2 zeta) at the end.
  const double wr = 2.0 * c2 * ch2;
  const double wi = -2.0 * s2 * sh2;
  double b1r = 0.0, b1i = 0.0, b2r = 0.0, b2i = 0.0;
#pragma GCC unroll 6
  for (int j = kOrder - 1; j >= 0; --j) {
    const double b0r = c.v[j] + wr * b1r - wi * b1i - b2r;
    const double b0i = wr * b1i + wi * b1r - b2i;
    b2r = b1r;
    b2i = b1i;
    b1r = b0r;
    b1i = b0i;
  }
  const double sr = s2 * ch2;
  const double si = c2 * sh2;
  *re = b1r * sr - b1i * si;
  *im = b1r * si + b1i * sr;
}

// sin chi and cos chi of the conformal latitude chi = phi + d from those of phi: d stays
// below 0.2 degrees (|d| < 2n), so that the short series of sin d and cos d are exact to
// the last bit and no trigonometric call is needed.
[[gnu::always_inline]] inline void to_conformal(double s, double c, double d, double* sx,
                                                double* cx) {
  const double d2 = d * d;
  const double sin_d = d * (1.0 - d2 / 6.0 * (1.0 - d2 / 20.0));
  const double cos_d = 1.0 - d2 / 2.0 * (1.0 - d2 / 12.0 * (1.0 - d2 / 30.0));
  *sx = s * cos_d + c * sin_d;
  *cx = c * cos_d - s * sin_d;
}

// The rectifying latitude of a geodetic latitude: the meridian arc over A.
double rectifying_latitude(double phi, double n) {
  const double s = std::sin(phi), c = std::cos(phi);
  const double chi = phi + sine_sum(evaluate(kToConformal, n), 2.0 * s * c, c * c - s * s);
  const double sx = std::sin(chi), cx = std::cos(chi);
  return chi + sine_sum(evaluate(kAlpha, n), 2.0 * sx * cx, cx * cx - sx * sx);
}

}  // namespace

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
  proj->coeff0 = 1.0 - e2 / 4.0 - 3.0 * e4 / 64.0 - 5.0 * e6 / 256.0;
  proj->coeff1 = 3.0 * e2 / 8.0 + 3.0 * e4 / 32.0 + 45.0 * e6 / 1024.0;
  proj->coeff2 = 15.0 * e4 / 256.0 + 45.0 * e6 / 1024.0;
  proj->coeff3 = 35.0 * e6 / 3072.0;
  const double phi0 = proj->phio0;
  const tm_ellipsoid k = ellipsoid_of(proj->c, proj->e);
  proj->n = std::fabs(phi0) <= kProjEps ? 0.0
                                        : proj->k0 * k.A * rectifying_latitude(phi0, k.n);
}

namespace {

// What the forward formulas derive from the set-up fields, once for a run of points.
struct tm_forward_constants {
  double kA;                   // k0 times the rectifying radius
  coefficients to_conformal;   // geodetic -> conformal latitude
  coefficients alpha;          // Krueger's alpha
};

tm_forward_constants forward_constants(const cartproj_t* p) {
  const tm_ellipsoid k = ellipsoid_of(p->c, p->e);
  return tm_forward_constants{p->k0 * k.A, evaluate(kToConformal, k.n), evaluate(kAlpha, k.n)};
}

// One point from its latitude and longitude difference in radians (a latitude inside
// the poles, a wrapped longitude): geodetic latitude -> conformal latitude chi (its series
// summed by Clenshaw's recurrence from sin 2phi, cos 2phi, then sin chi and cos chi without
// a trigonometric call), the spherical transverse Mercator on the conformal sphere
// (eta' = atanh(cos chi sin L) as half the logarithm of a ratio, xi' by atan2), and the
// alpha series by Clenshaw's recurrence in complex numbers, whose sin 2zeta' and
// cos 2zeta' come from the values at hand. Straight-line code: no call, no branch, so
// that a block of points runs through it as one loop on several points at once.
struct tm_forward_result {
  double east, north;  // before the unit of the grid
  double u;            // tanh eta' = cos chi sin L
  double eta;          // eta' + the series' share: the easting over k0 A (eta' = 0 where |u| >= 1)
};

[[gnu::always_inline]] inline tm_forward_result tm_forward_core(
    const tm_forward_constants& t, double x0, double y_origin, double phi, double L) {
  const double kA = t.kA;
  double s = 0.0, c = 0.0, sl = 0.0, cl = 0.0;
  sin_cos(phi, &s, &c);
  sin_cos(L, &sl, &cl);
  double sx = 0.0, cx = 0.0;
  to_conformal(s, c, sine_sum(t.to_conformal, 2.0 * s * c, c * c - s * s), &sx, &cx);
  // tanh eta' = u = cos chi sin L; u = +-1 on the equator a quarter turn from the central
  // meridian, which has no image (the caller takes it apart; here it counts as 0).
  // cosh eta' = 1 / r, sinh eta' = u / r, r^2 = 1 - u^2.
  const double u_in = cx * sl;
  const double u = std::fabs(u_in) >= 1.0 ? 0.0 : u_in;
  // atanh u = ln((1 + u) / (1 - u)) / 2: the logarithm alone, to 1e-16 in eta' (a few
  // nanometres on the ground).
  const double eta = 0.5 * logarithm((1.0 + u) / (1.0 - u));
  const double ccl = cx * cl;
  const double r2 = sx * sx + ccl * ccl;
  const double xi = arc_tangent2(sx, ccl);
  const double inv = 1.0 / r2;
  const double s2 = 2.0 * sx * ccl * inv;
  const double c2 = (ccl * ccl - sx * sx) * inv;
  const double sh2 = 2.0 * u * inv;
  const double ch2 = (1.0 + u * u) * inv;
  double dxi = 0.0, deta = 0.0;
  complex_sine_sum(t.alpha, s2, c2, sh2, ch2, &dxi, &deta);
  const double eta_sum = eta + deta;
  return tm_forward_result{x0 + kA * eta_sum, y_origin + kA * (xi + dxi), u_in, eta_sum};
}

// Whether the core's point has no image (|u| >= 1) or lies beyond the series' reach: near
// the equator a quarter turn from the central meridian the series no longer converges
// (it gives any number, 1e38 m at 93 degrees, 3 km off at 81.7): where the sum passes
// the bound the point is out of the domain, as in PROJ, which tests the same sum.
inline bool tm_forward_apart(const tm_forward_result& r) {
  return (std::fabs(r.u) >= 1.0) | (std::fabs(r.eta) > kTmMaxEta);
}

// One point, in place, with the cases the core leaves to its caller: beyond a pole, at a
// pole, out of the domain (without image, |u| >= 1 on the equator a quarter turn away,
// or beyond the series' bound): NaN in both coordinates.
inline void tm_forward_point(const cartproj_t* p, const tm_forward_constants& t, double* x,
                             double* y) {
  proj_geo_in(p, x, y);
  const double kA = t.kA;
  const double phi = *y;
  if (proj_beyond_domain(phi)) {
    proj_out_of_domain(x, y);
    return;
  }
  if (proj_is_pole(phi)) {
    // The pole lies on every meridian: its rectifying latitude is the pole's.
    *x = p->x0;
    *y = p->y0 - p->n + kA * (phi > 0 ? kProjHalfPi : -kProjHalfPi);
    proj_grid_out(p, x, y);
    return;
  }
  const double L = proj_wrap_longitude(*x - p->lambda0);
  const tm_forward_result r = tm_forward_core(t, p->x0, p->y0 - p->n, phi, L);
  if (tm_forward_apart(r)) {
    proj_out_of_domain(x, y);
    return;
  }
  *x = r.east;
  *y = r.north;
  proj_grid_out(p, x, y);
}

}  // namespace

void proj_tm_forward(const cartproj_t* p, double* x, double* y) {
  tm_forward_point(p, forward_constants(p), x, y);
}

namespace {

// The core over a block of points (m of them): one loop, carried out on as many points at
// once as the instructions allow.
[[gnu::always_inline]] inline void block_core_body(
    const tm_forward_constants& t, double x0, double y_origin, int m,
    const double* __restrict phis, const double* __restrict lams, double* __restrict east,
    double* __restrict north, double* __restrict beyond) {
  const tm_forward_constants c = t;  // a copy of its own: no store of the loop reaches it
  for (int k = 0; k < m; ++k) {
    const tm_forward_result r = tm_forward_core(c, x0, y_origin, phis[k], lams[k]);
    east[k] = r.east;
    north[k] = r.north;
    beyond[k] = tm_forward_apart(r) ? 1.0 : 0.0;
  }
}

using block_core_fn = void (*)(const tm_forward_constants&, double, double, int, const double*,
                               const double*, double*, double*, double*);

void block_core_plain(const tm_forward_constants& t, double x0, double y_origin, int m,
                      const double* __restrict phis, const double* __restrict lams,
                      double* __restrict east, double* __restrict north,
                      double* __restrict beyond) {
  block_core_body(t, x0, y_origin, m, phis, lams, east, north, beyond);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same loop with the wider vectors of AVX2 (four points at once in place of two) and of
// AVX-512 (eight), on processors that have them. No product and sum are fused (AVX2 is
// chosen without FMA, and the file is compiled with -ffp-contract=off): each operation
// rounds as the plain loop's and as the point-by-point routine's do, and the results stay
// the same to the bit.
[[gnu::target("avx2")]] void block_core_avx2(
    const tm_forward_constants& t, double x0, double y_origin, int m,
    const double* __restrict phis, const double* __restrict lams, double* __restrict east,
    double* __restrict north, double* __restrict beyond) {
  block_core_body(t, x0, y_origin, m, phis, lams, east, north, beyond);
}

// (GCC is told to use the full width; clang takes it from min_vector_width.)
#if defined(__clang__)
#define TM_TARGET_AVX512 gnu::target("avx512f,avx512dq"), clang::min_vector_width(512)
#else
#define TM_TARGET_AVX512 gnu::target("avx512f,avx512dq,prefer-vector-width=512")
#endif
[[TM_TARGET_AVX512]] void block_core_avx512(
    const tm_forward_constants& t, double x0, double y_origin, int m,
    const double* __restrict phis, const double* __restrict lams, double* __restrict east,
    double* __restrict north, double* __restrict beyond) {
  block_core_body(t, x0, y_origin, m, phis, lams, east, north, beyond);
}
#endif

// The build of the block loop for PROJ_TM_BUILD_*; null when the processor lacks it.
block_core_fn block_core_of(int build) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  switch (build) {
    case PROJ_TM_BUILD_PLAIN:
      return block_core_plain;
    case PROJ_TM_BUILD_AVX2:
      return __builtin_cpu_supports("avx2") ? block_core_avx2 : nullptr;
    case PROJ_TM_BUILD_AVX512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
                 ? block_core_avx512
                 : nullptr;
    default:
      return nullptr;
  }
#else
  return build == PROJ_TM_BUILD_PLAIN ? block_core_plain : nullptr;
#endif
}

// The widest build the processor runs, chosen once.
block_core_fn block_core() {
  static const block_core_fn fn = [] {
    for (int build : {PROJ_TM_BUILD_AVX512, PROJ_TM_BUILD_AVX2})
      if (const block_core_fn f = block_core_of(build)) return f;
    return block_core_of(PROJ_TM_BUILD_PLAIN);
  }();
  return fn;
}

// A run goes in blocks: the unit passage and the checks point after point, then the core
// over the whole block as one loop without calls or branches, which the compiler carries
// out on several points at once. Each point gets the very operations tm_forward_point
// applies, so the results are the same to the bit; the points that routine treats apart
// (beyond a pole, at a pole, out of the domain) are taken through it, and a point with an
// infinite or NaN coordinate gets NaN in both, as proj_forward gives it.
void forward_points_with(block_core_fn core, const cartproj_t* p, double* x, double* y, int n,
                         int stride) {
  const tm_forward_constants t = forward_constants(p);
  constexpr int kBlock = 64;
  const double x0 = p->x0;
  const double y_origin = p->y0 - p->n;
  for (int first = 0; first < n; first += kBlock) {
    const int m = std::min(kBlock, n - first);
    double* xs[kBlock];
    double* ys[kBlock];
    bool apart[kBlock];
    double phis[kBlock], lams[kBlock];
    for (int k = 0; k < m; ++k) {
      xs[k] = x + size_t(first + k) * stride;
      ys[k] = y + size_t(first + k) * stride;
      double lon = *xs[k], phi = *ys[k];
      proj_geo_in(p, &lon, &phi);
      // (A NaN or infinite latitude is beyond the domain; the longitude is tested here.)
      apart[k] = proj_beyond_domain(phi) || proj_is_pole(phi) || !std::isfinite(lon);
      double L = proj_wrap_longitude(lon - p->lambda0);
      if (apart[k]) phi = L = 0.0;
      phis[k] = phi;
      lams[k] = L;
    }
    double east[kBlock], north[kBlock], beyond[kBlock];
    core(t, x0, y_origin, m, phis, lams, east, north, beyond);
    for (int k = 0; k < m; ++k) {
      if (apart[k] || beyond[k] != 0.0) {
        if (proj_point_finite(*xs[k], *ys[k]))
          tm_forward_point(p, t, xs[k], ys[k]);
        else
          proj_out_of_domain(xs[k], ys[k]);  // as proj_forward has it
        continue;
      }
      double e = east[k], no = north[k];
      proj_grid_out(p, &e, &no);
      *xs[k] = e;
      *ys[k] = no;
    }
  }
}

}  // namespace

void proj_tm_forward_points(const cartproj_t* p, double* x, double* y, int n, int stride) {
  forward_points_with(block_core(), p, x, y, n, stride);
}

int proj_tm_forward_points_build(int build, const cartproj_t* p, double* x, double* y, int n,
                                 int stride) {
  const block_core_fn core = block_core_of(build);
  if (!core) return 0;
  forward_points_with(core, p, x, y, n, stride);
  return 1;
}

void proj_tm_inverse(const cartproj_t* p, double* x, double* y) {
  proj_grid_in(p, x, y);
  const tm_ellipsoid k = ellipsoid_of(p->c, p->e);
  const double kA = p->k0 * k.A;
  const double xi = (*y - p->y0 + p->n) / kA;
  const double eta = (*x - p->x0) / kA;
  if (std::fabs(eta) > kTmMaxEta) {  // out of the domain, as PROJ's inverse has it
    proj_out_of_domain(x, y);
    return;
  }
  const double ex = std::exp(2.0 * eta);
  const double sh2 = (ex - 1.0 / ex) / 2.0;
  const double ch2 = (ex + 1.0 / ex) / 2.0;
  const double s2 = std::sin(2.0 * xi), c2 = std::cos(2.0 * xi);
  double dxi = 0.0, deta = 0.0;
  complex_sine_sum(evaluate(kBeta, k.n), s2, c2, sh2, ch2, &dxi, &deta);
  const double xi1 = xi - dxi;
  const double eta1 = eta - deta;
  const double sxi = std::sin(xi1), cxi = std::cos(xi1);
  const double sh = std::sinh(eta1);
  // sin chi = sin xi' / cosh eta', cos chi = sqrt(sinh^2 eta' + cos^2 xi') / cosh eta'.
  const double q = std::sqrt(sh * sh + cxi * cxi);
  const double chi = std::atan2(sxi, q);
  const double lam = std::atan2(sh, cxi);  // (0, 0) at a pole: the central meridian
  const double h2 = sxi * sxi + q * q;      // cosh^2 eta'
  const double phi = chi + sine_sum(evaluate(kFromConformal, k.n), 2.0 * sxi * q / h2,
                                    (q * q - sxi * sxi) / h2);
  *x = proj_wrap_longitude(p->lambda0 + lam);
  *y = phi;
  proj_geo_out(p, x, y);
}
