// The step routines of transform kinds 7 to 12: prime-meridian shifts, datum shifts on
// geocentric coordinates, and the conversions between geodetic and geocentric
// coordinates.
//
// Geocentric coordinates are always metres: the translations of a transformation are
// stored in metres whatever unit its table line used, so the shifts apply them as they
// are (rescaling the coordinates by the line's unit would move every point by a factor).
//
// The seven-parameter shift is the small-angle similarity of the position-vector
// convention, X' = T + (1 + s)(I + W) X with W the skew matrix of the rotations; its
// inverse is X = (I - W)(X' - T) / (1 + s), the transpose of the small-angle matrix, as
// the common geodetic libraries apply it. The inverse record of a transformation gets
// the parameters of that inverse once, when it is made (datum_shift7_invert_params), so
// that a shift taken backwards through a datum path gives the same point as the inverse
// routine.
//
// Geocentric to geodetic iterates on the tangent of the latitude written as a ratio, so
// that no pass needs a trigonometric call and the poles need no special case but the
// axis itself (X = Y = 0, where the longitude is undefined).
//
// A point with no number stays a point with no number: a latitude beyond a pole is no
// point of the ellipsoid (its cosine would fold it onto the other side of the axis, a
// valid point), so geodetic to geocentric gives NaN in X, Y and Z; and a NaN (or
// infinite) geocentric coordinate gives NaN in longitude, latitude and height, never the
// longitude that a comparison with NaN would pick. A chain that carries a point outside
// a projection's domain through a datum shift thus gives no number at its end.
#include "geodesy/datum_shift.h"

#include <cmath>

#include "core/error.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/units.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfPi = kPi / 2.0;
// How far beyond a pole a latitude (radians) may lie and still be the pole: the rounding
// of a unit conversion, as the projections allow it.
constexpr double kPoleSlack = 2e-14;
constexpr int kMaxLatitudePasses = 11;
// Stop when the latitude moved by at most this (radians) in one pass; the error left
// is then about e2 times smaller.
constexpr double kLatitudeTolerance = 1e-12;

geocentric_t* as_trans(obj_t* step) { return static_cast<geocentric_t*>(step); }

struct helmert {
  double tx, ty, tz, rx, ry, rz, s;
};

helmert helmert_of(const geocentric_t* t) {
  return {t->tx, t->ty, t->tz, t->epsilonx, t->epsilony, t->epsilonz, t->de};
}

// The ellipsoid a datum's geodetic routines read; null (and gblerr 13) when it has none.
const ellipsoid_t* ellipsoid_of(const geodatum_t* d) {
  const ellipsoid_t* e = d ? d->ell : nullptr;
  if (!e) set_gblerr(ERR_GEOGRAPHIC);
  return e;
}

// The longitude from the arctangent of Y/X, +pi on the negative X axis (Y = -0 too).
double longitude_of(double X, double Y) {
  if (X > 0.0) return std::atan(Y / X);
  if (X < 0.0) return std::atan(Y / X) + (Y >= 0.0 ? kPi : -kPi);
  return Y > 0.0 ? kHalfPi : -kHalfPi;  // X = 0, Y != 0
}

// sin and cos of atan(t), without a trigonometric call and valid for any t.
void sin_cos_of_tangent(double t, double* s, double* c) {
  *c = 1.0 / std::sqrt(1.0 + t * t);  // 0 for an infinite tangent
  *s = std::fabs(t) <= 1.0 ? t * *c : std::copysign(1.0 / std::sqrt(1.0 + 1.0 / (t * t)), t);
}

// The tangent of the geodetic latitude of a point at distance p > 0 from the axis and
// height Z above the equatorial plane. Each pass is the classic fixed point
// t = Z / (p - e2 N cos phi), with N cos phi = a / sqrt(1 + (1 - e2) t^2).
double latitude_tangent(double p, double Z, double a, double e2) {
  const double one_minus_e2 = 1.0 - e2;
  double t = Z / (p * one_minus_e2);
  for (int pass = 0; pass < kMaxLatitudePasses; ++pass) {
    const double n_cos = a / std::sqrt(1.0 + one_minus_e2 * t * t);
    const double next = Z / (p - e2 * n_cos);
    // A change of tangent dt moves the latitude by dt / (1 + t^2); near the poles the
    // tangent is large and its rounding alone exceeds any fixed bound on dt.
    const bool done = std::fabs(next - t) <= kLatitudeTolerance * (1.0 + next * next);
    t = next;
    if (done) break;
  }
  return t;
}

}  // namespace

double radius_curvature(double a, double phi, double e2) {
  const double s = std::sin(phi);
  return a / std::sqrt(1.0 - e2 * s * s);
}

// ---- Kind 7 ------------------------------------------------------------------------------

void meridian_shift_fwd(obj_t* step, double* x, double* y, double* z) {
  const geocentric_t* t = as_trans(step);
  angle_unit_scale(t->unit, 0, x, y);
  *x += t->tx;
  angle_unit_scale(t->unit2, 1, x, y);
}

void meridian_shift_inv(obj_t* step, double* x, double* y, double* z) {
  const geocentric_t* t = as_trans(step);
  angle_unit_scale(t->unit2, 0, x, y);
  *x -= t->tx;
  angle_unit_scale(t->unit, 1, x, y);
}

// ---- Kinds 8 to 10 -------------------------------------------------------------------------

void datum_shift3_fwd(obj_t* step, double* x, double* y, double* z) {
  const geocentric_t* t = as_trans(step);
  *x += t->tx;
  *y += t->ty;
  *z += t->tz;
}

void datum_shift3_inv(obj_t* step, double* x, double* y, double* z) {
  const geocentric_t* t = as_trans(step);
  *x -= t->tx;
  *y -= t->ty;
  *z -= t->tz;
}

void datum_shift7_fwd(obj_t* step, double* x, double* y, double* z) {
  const helmert h = helmert_of(as_trans(step));
  const double X = *x, Y = *y, Z = *z;
  const double k = 1.0 + h.s;
  *x = h.tx + k * (X - h.rz * Y + h.ry * Z);
  *y = h.ty + k * (h.rz * X + Y - h.rx * Z);
  *z = h.tz + k * (-h.ry * X + h.rx * Y + Z);
}

void datum_shift7_inv(obj_t* step, double* x, double* y, double* z) {
  const helmert h = helmert_of(as_trans(step));
  const double X = *x - h.tx, Y = *y - h.ty, Z = *z - h.tz;
  const double k = 1.0 / (1.0 + h.s);
  *x = k * (X + h.rz * Y - h.ry * Z);
  *y = k * (-h.rz * X + Y + h.rx * Z);
  *z = k * (h.ry * X - h.rx * Y + Z);
}

void datum_shift7_invert_params(const geocentric_t* t, geocentric_t* inv) {
  if (!t || !inv) return;
  const helmert h = helmert_of(t);
  const double k = 1.0 / (1.0 + h.s);
  // T' = -(I - W) T / (1 + s); (1 + s') = 1 / (1 + s); W' = -W.
  const double tx = -k * (h.tx + h.rz * h.ty - h.ry * h.tz);
  const double ty = -k * (-h.rz * h.tx + h.ty + h.rx * h.tz);
  const double tz = -k * (h.ry * h.tx - h.rx * h.ty + h.tz);
  inv->tx = tx;
  inv->ty = ty;
  inv->tz = tz;
  inv->epsilonx = -h.rx;
  inv->epsilony = -h.ry;
  inv->epsilonz = -h.rz;
  inv->de = k - 1.0;
}

// ---- Kinds 11 and 12 ----------------------------------------------------------------------

void geodetic_to_geocentric(obj_t* step, double* x, double* y, double* z) {
  const geodatum_t* d = static_cast<geodatum_t*>(step);
  const ellipsoid_t* ell = ellipsoid_of(d);
  if (!ell) return;
  const double a = ell->a, e2 = ell->e2;
  double lam = *x, phi = *y;
  angle_unit_scale(d->unit, 0, &lam, &phi);
  if (!(std::fabs(phi) <= kHalfPi + kPoleSlack)) {
    *x = *y = *z = std::nan("");
    return;
  }
  lam += d->origlon;
  const double h = *z;
  const double sin_phi = std::sin(phi), cos_phi = std::cos(phi);
  const double n = a / std::sqrt(1.0 - e2 * sin_phi * sin_phi);
  *x = (n + h) * cos_phi * std::cos(lam);
  *y = (n + h) * cos_phi * std::sin(lam);
  *z = (n * (1.0 - e2) + h) * sin_phi;
}

void geocentric_to_geodetic(obj_t* step, double* x, double* y, double* z) {
  const geodatum_t* d = static_cast<geodatum_t*>(step);
  const ellipsoid_t* ell = ellipsoid_of(d);
  if (!ell) return;
  const double a = ell->a, e2 = ell->e2;
  const double X = *x, Y = *y, Z = *z;
  if (!(std::isfinite(X) && std::isfinite(Y) && std::isfinite(Z))) {
    *x = *y = *z = std::nan("");
    return;
  }
  const double p = std::sqrt(X * X + Y * Y);
  double lam, phi, h;
  if (p == 0.0) {
    // On the polar axis: the pole on Z's side, at the height above it.
    lam = 0.0;
    phi = Z >= 0.0 ? kHalfPi : -kHalfPi;
    h = std::fabs(Z) - a * std::sqrt(1.0 - e2);
  } else {
    lam = longitude_of(X, Y);
    const double t = latitude_tangent(p, Z, a, e2);
    double s, c;
    sin_cos_of_tangent(t, &s, &c);
    phi = std::atan(t);
    // Exact at every latitude, where p / cos(phi) - N loses all precision at the poles.
    h = p * c + Z * s - a * std::sqrt(1.0 - e2 * s * s);
  }
  lam -= d->origlon;
  angle_unit_scale(d->unit, 1, &lam, &phi);
  *x = lam;
  *y = phi;
  *z = h;
}
