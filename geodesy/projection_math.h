// The small geodetic routines the projection formulas share: isometric latitude and its
// inverse, the meridian arc series and its footpoint latitude, the radii of curvature,
// and the passage to and from the conformal (Gaussian) sphere with the spherical
// Mercator on it.
//
// All values are doubles in radians and metres. The routines keep no state and allocate
// nothing: they run for every vertex of a re-projected layer, so the short ones are
// inline here. The two iterations stop on their tolerance, on a NaN, or after a fixed
// number of passes, so that no input (a latitude beyond the pole, an infinite isometric
// latitude) can keep them turning; inside the domain the tolerance is always met first.
#pragma once
#include <cmath>

#include "geodesy/geodesy_records.h"

// The pole test | |phi| - pi/2 | <= 2e-14; 2e-14 is also the zero of radii and distances.
constexpr double kProjEps = 2e-14;
constexpr double kProjHalfPi = 1.5707963267948966;
constexpr double kProjQuarterPi = 0.7853981633974483;
constexpr double kProjPi = 3.141592653589793;
// The largest |latitude| the spherical Mercator maps to a finite northing.
constexpr double kProjBelowPole = 1.5707963267948766;

inline bool proj_is_pole(double phi) { return std::fabs(std::fabs(phi) - kProjHalfPi) <= kProjEps; }

// A latitude beyond a pole (more than the pole test's 2e-14 past +-pi/2), or a NaN: no
// point of the ellipsoid.
inline bool proj_beyond_domain(double phi) { return !(std::fabs(phi) <= kProjHalfPi + kProjEps); }

// Both coordinates finite: an infinite or NaN coordinate is no point of any projection,
// either way (the formulas would fold an infinity into some finite point of the sphere).
inline bool proj_point_finite(double x, double y) { return std::isfinite(x) && std::isfinite(y); }

// A point outside a projection's domain gives NaN in both coordinates, as a NaN input
// does: never a finite number that a caller could take for a position. (No unit
// conversion follows: NaN stays NaN in any unit.)
inline void proj_out_of_domain(double* x, double* y) {
  *x = std::nan("");
  *y = std::nan("");
}

// How far beyond +-pi a longitude may lie and still count as +-pi: the rounding of a sum
// of two angles in radians stays far below it.
constexpr double kProjWrapSlack = 1e-12;

// A longitude, or a difference of longitudes, brought into [-pi, pi] by whole turns, so
// that a point east of the antimeridian and one west of it are taken the short way
// round from the origin meridian (or come back as ordinary longitudes). Values within
// the slack of +-pi keep their side: -180 degrees stays -180, so that the two edges of a
// band lambda0 - 180 .. lambda0 + 180 stay apart, and 180 degrees stays 180. Beyond, the
// result lies in (-pi, pi]. A NaN stays a NaN.
inline double proj_wrap_longitude(double lam) {
  if (std::fabs(lam) <= kProjPi + kProjWrapSlack) return lam;
  return std::remainder(lam, 2.0 * kProjPi);
}

// asin of a value that rounding may carry just beyond [-1, 1] (a point at a pole or at the
// origin's antipode): the value is held to the interval first. A NaN stays a NaN.
inline double proj_asin(double v) {
  return std::asin(v > 1.0 ? 1.0 : (v < -1.0 ? -1.0 : v));
}

// Prime-vertical radius of curvature N = a / sqrt(1 - e2 sin^2 phi).
inline double proj_normal_radius(double a, double phi, double e2) {
  const double s = std::sin(phi);
  return a / std::sqrt(1.0 - e2 * s * s);
}

// atanh of the small argument e sin(phi) (|z| <= 0.1 for every terrestrial ellipsoid) by
// its odd series, which the formulas call for every point; larger values take atanh.
inline double proj_atanh_small(double z) {
  if (!(std::fabs(z) <= 0.1)) return std::atanh(z);
  const double z2 = z * z;
  // z + z^3/3 + ... + z^17/17: the next term is below 1e-17 of z.
  double sum = 1.0 / 17.0;
  sum = sum * z2 + 1.0 / 15.0;
  sum = sum * z2 + 1.0 / 13.0;
  sum = sum * z2 + 1.0 / 11.0;
  sum = sum * z2 + 1.0 / 9.0;
  sum = sum * z2 + 1.0 / 7.0;
  sum = sum * z2 + 1.0 / 5.0;
  sum = sum * z2 + 1.0 / 3.0;
  return z + z * z2 * sum;
}

// Isometric latitude psi = ln tan(pi/4 + phi/2) - (e/2) ln((1 + e sin phi)/(1 - e sin phi)).
// ln tan(pi/4 + phi/2) = ln((1 + sin phi)/cos phi), taken on the side of the equator where
// 1 + |sin phi| does not cancel, so that it keeps its digits up to the poles.
inline double iso_latitude(double phi, double e) {
  const double s = std::sin(phi);
  const double c = std::cos(phi);
  const double sphere = std::copysign(std::log((1.0 + std::fabs(s)) / c), s);
  return sphere - e * proj_atanh_small(e * s);
}

// exp(psi) computed directly; 0.0 at either pole (callers treat the poles apart).
inline double iso_latitude_exp(double phi, double e) {
  if (proj_is_pole(phi)) return 0.0;
  const double es = e * std::sin(phi);
  return std::tan(kProjQuarterPi + phi / 2.0) * std::pow((1.0 - es) / (1.0 + es), e / 2.0);
}

// ln tan(pi/4 + phi/2): the isometric latitude on a sphere.
inline double sphere_iso_latitude(double phi) {
  return std::log(std::tan(kProjQuarterPi + phi / 2.0));
}

// Meridian radius of curvature a(1 - e2)/(1 - e2 sin^2 phi)^1.5.
inline double meridian_radius(double a, double phi, double e2) {
  const double s = std::sin(phi);
  const double w = 1.0 - e2 * s * s;
  return a * (1.0 - e2) / (w * std::sqrt(w));
}

// Meridian arc from the equator, M = a (A0 phi - A2 sin 2phi + A4 sin 4phi - A6 sin 6phi).
inline double meridian_arc(double a, double A0, double A2, double A4, double A6, double phi) {
  return a * (A0 * phi - A2 * std::sin(2.0 * phi) + A4 * std::sin(4.0 * phi) -
              A6 * std::sin(6.0 * phi));
}

// The latitude of an isometric latitude, by fixed-point iteration on T = exp(psi)-like
// quantity (tolerance 1e-9 on T). Far beyond the domain (T so large that its spacing
// exceeds the tolerance) the pass limit ends the loop; a NaN ends it at once.
void iso_latitude_inverse(double psi, double e, double* phi);

// The latitude whose meridian arc is M (tolerance 1e-10 rad, same safety rules).
void footpoint_latitude(double M, double a, double A0, double A2, double A4, double A6,
                        double* phi);

// ---- The conformal sphere (projection fields: n = exponent, c = constant, r0 = radius) --

// In place: Lambda = n (lambda - lambda_ref), chi = 2 atan(exp(n psi(phi) + c)) - pi/2;
// a pole keeps its latitude.
void to_conformal_sphere(const cartproj_t* proj, double* lam, double* phi, double lam_ref);
// In place, the reverse: lambda = Lambda / n + lambda_ref and the latitude whose
// conformal latitude is chi; a pole keeps its latitude.
void from_conformal_sphere(const cartproj_t* proj, double* lam, double* chi, double lam_ref);
// In place, Mercator on the sphere of radius r0: x = R lambda, y = R ln tan(pi/4 + phi/2);
// beyond |phi| < pi/2 - 2e-14, x = 0 and y = +-infinity.
void sphere_mercator_forward(const cartproj_t* proj, double* lam, double* phi);
// In place: lambda = x / r0, phi = 2 atan(exp(y / r0)) - pi/2.
void sphere_mercator_inverse(const cartproj_t* proj, double* x, double* y);
