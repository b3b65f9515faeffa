// Angular and linear units: the two factor tables, their bilingual names, and the
// conversions between a unit and radians or metres.
//
// Coordinates and parameters carry a unit index instead of being converted at once; the
// numbering is stored in the tables and the system's own files, so it never changes.
// Angular factors are units per radian (index 0 is the radian), linear factors metres
// per unit (index 0 is the metre). Angular unit 2 holds seconds of arc shown as degrees,
// minutes and seconds; unit 7 holds minutes of arc shown as degrees and minutes.
//
// Conversions work on a pair of values changed in place (a caller with one value passes
// a scratch second). A unit index outside its table changes nothing and sets gblerr 12,
// so that a bad index read from a file can never reach past the tables.
#pragma once

constexpr int kAngleUnitCount = 12;   // indexes 0 to 11
constexpr int kLengthUnitCount = 47;  // indexes 0 to 46

enum angle_unit : int {
  ANG_RADIAN = 0,
  ANG_DEGREE = 1,
  ANG_DMS = 2,            // held in seconds of arc
  ANG_GRAD = 3,
  ANG_SECOND = 4,
  ANG_MINUTE = 5,
  ANG_MICRORADIAN = 6,
  ANG_DM = 7,             // held in minutes of arc
  ANG_CENTESIMAL_MINUTE = 8,
  ANG_CENTESIMAL_SECOND = 9,
  ANG_MIL6400 = 10,
};
enum length_unit : int {
  LEN_METRE = 0,
  LEN_FOOT = 1,
  LEN_NAUTICAL_MILE = 2,
  LEN_KILOMETRE = 3,
  LEN_US_SURVEY_FOOT = 6,
};

inline bool angle_unit_valid(int unit) { return unit >= 0 && unit < kAngleUnitCount; }
inline bool length_unit_valid(int unit) { return unit >= 0 && unit < kLengthUnitCount; }
// The unit creators use: a valid index, else degree (angular) or metre (linear).
inline int angle_unit_or_degree(int unit) { return angle_unit_valid(unit) ? unit : ANG_DEGREE; }
inline int length_unit_or_metre(int unit) { return length_unit_valid(unit) ? unit : LEN_METRE; }

// Units per radian / metres per unit; 0.0 for an index outside the table.
double angle_unit_factor(int unit);
double length_unit_factor(int unit);

// The unit's name in French or English; null when the unit has none (or is invalid).
const char* angle_unit_name(int unit, bool french);
const char* length_unit_name(int unit, bool french);

// direction 0: from the unit to radians (divide by the factor); otherwise from radians
// to the unit (multiply). Unit 0 changes nothing.
void angle_unit_scale(int unit, int direction, double* x, double* y);
// direction 0: from the unit to metres (multiply by the factor); otherwise from metres
// to the unit (divide). Unit 0 changes nothing.
void length_unit_scale(int unit, int direction, double* x, double* y);

// Multiply by factor[to]/factor[from] (angles), factor[from]/factor[to] (lengths);
// nothing when from == to, so the values stay bit for bit the same.
void angle_unit_convert(int from, int to, double* x, double* y);
void length_unit_convert(int from, int to, double* x, double* y);

// The scale of a unit step: the factor the conversions above apply (1.0 when from == to,
// and 1.0 with gblerr 12 for an invalid index).
double angle_unit_ratio(int from, int to, double* r);
double length_unit_ratio(int from, int to, double* r);

// For display: |a| and |b| in minutes (converted from the unit unless it is 5), split
// into whole degrees (truncated) and the remaining minutes. Signs are the caller's.
void angle_split_deg_min(double a, double b, int unit, int* degrees_a, int* degrees_b,
                         double* minutes_a, double* minutes_b);
