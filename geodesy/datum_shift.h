// Datum shifts and geocentric maths: the step routines of transform kinds 7 to 12.
//
// A change of datum is built as geodetic to geocentric on the source datum (kind 11),
// the shift (kind 8, 9 or 10), geocentric to geodetic on the target datum (kind 12); two
// datums that differ only by their prime meridian are joined by one meridian shift
// (kind 7). Geocentric coordinates are metres with the X axis on the Greenwich meridian
// whatever the datum's prime meridian: the datum's `origlon` is added on the way in and
// taken off on the way out. Geographic coordinates are in the datum's angular unit,
// heights in metres in z.
#pragma once
#include "core/object.h"
#include "geodesy/geodesy_records.h"

// Kind 7 (step: a geocentric_t): the longitude moves by `tx` radians between the
// departure angular unit `unit` and the arrival unit `unit2`; z is not touched.
void meridian_shift_fwd(obj_t* step, double* x, double* y, double* z);
void meridian_shift_inv(obj_t* step, double* x, double* y, double* z);
// Kind 8: three translations of geocentric metres.
void datum_shift3_fwd(obj_t* step, double* x, double* y, double* z);
void datum_shift3_inv(obj_t* step, double* x, double* y, double* z);
// Kinds 9 and 10: the small-angle similarity in the position-vector convention,
// X' = T + (1 + s)(I + W) X; the inverse is X = (I - W)(X' - T) / (1 + s). The rotation
// centre of a ten-parameter transformation takes no part.
void datum_shift7_fwd(obj_t* step, double* x, double* y, double* z);
void datum_shift7_inv(obj_t* step, double* x, double* y, double* z);
// Fills the rotations, scale and translations of inv so that its forward shift is the
// inverse routine of t (for kinds 9 and 10): -W, 1/(1 + s) - 1 and -(I - W) T / (1 + s).
// For a record being made (the inverse record of a transformation): a record in use by
// a chain is never rewritten.
void datum_shift7_invert_params(const geocentric_t* t, geocentric_t* inv);
// Kind 11 forward (step: a geodatum_t): longitude, latitude, height to X, Y, Z.
void geodetic_to_geocentric(obj_t* step, double* x, double* y, double* z);
// Kind 11 inverse: X, Y, Z to longitude, latitude, height. On the polar axis
// (X = Y = 0) the longitude is 0 and the latitude the pole on Z's side (north for Z =
// 0).
void geocentric_to_geodetic(obj_t* step, double* x, double* y, double* z);

// The prime-vertical radius of curvature N = a / sqrt(1 - e2 sin^2 phi).
double radius_curvature(double a, double phi, double e2);
