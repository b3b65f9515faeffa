// Angular and linear units: factor and name tables, and the conversions of value pairs.
//
// The tables are indexed by the unit numbers stored in files, so every entry point
// checks the index before it reads a table: a bad index changes nothing and leaves
// gblerr 12 behind instead of reading past the end.
#include "geodesy/units.h"

#include <cmath>

#include "core/error.h"

namespace {

struct unit_entry {
  double factor;
  const char* french;
  const char* english;
};

// Units per radian.
constexpr unit_entry kAngleUnits[kAngleUnitCount] = {
    {1.0, "Radian", "Radian"},
    {57.29577951308232, "Degré", "Degree"},
    {206264.80624709636, "Degré Minute Seconde", "Degree Minute Second"},
    {63.66197723675813, "Grade (ou Gon)", "Grad (or Gon)"},
    {206264.80624709636, "Seconde", "Second"},
    {3437.7467707849396, "Minute", "Minute"},
    {1000000.0, "Micro-radian", "Micro-radian"},
    {3437.7467707849396, "Degré Minute", "Degree Minute"},
    {6366.197723675814, "Minute centésimale", "Centesimal minute"},
    {636619.7723675814, "Seconde centésimale", "Centesimal second"},
    {1018.5916357881301, "Mil6400", "Mil6400"},
    {206264.80624709636, nullptr, nullptr},
};

// Metres per unit.
constexpr unit_entry kLengthUnits[kLengthUnitCount] = {
    {1.0, "Mètre", "Meter"},
    {0.3048, "Foot", "Foot"},
    {1852.0, "Mile Nautique international", "International Nautical Mile"},
    {1000.0, "Kilomètre", "Kilometer"},
    {1.8288, "Fathom", "Fathom"},
    {0.9143984146160287, "Yard Sears", "Sears Yard"},
    {0.30480060960121924, "Foot US Survey", "US Survey Foot"},
    {0.304812252984506, "Foot modifié americain", "Modified american Foot"},
    {0.3047972651150996, "Foot Clarke", "Clarke Foot"},
    {0.3047995179900423, "Foot indien", "Indian Foot"},
    {0.20116619497596572, "Link", "Link"},
    {0.2011678249437587, "British link (Benoit 1895 B)", "British link (Benoit 1895 B)"},
    {0.2011676512155263, "British link (Sears 1922)", "British link (Sears 1922)"},
    {20.116782494375872, "British chain (Benoit 1895 B)", "British chain (Benoit 1895 B)"},
    {20.116765121552632, "British chain (Sears 1922)", "British chain (Sears 1922)"},
    {0.9143985539701268, "Yard indien", "Indian Yard"},
    {1.0000135965, "German Legal Meter", "German Legal Meter"},
    {20.11684023368047, "Chain US Survey", "US Survey Chain"},
    {0.2011684023368047, "Link US Survey", "US Survey Link"},
    {1609.3472186944375, "Mile US Survey", "US Survey Mile"},
    {0.9143917953452987, "Yard Clarke", "Clarke Yard"},
    {20.11661949759657, "Chain Clarke", "Clarke Chain"},
    {0.20116619497596572, "Link Clarke", "Clarke Link"},
    {0.9143984146160287, nullptr, nullptr},
    {0.3047994715386762, nullptr, nullptr},
    {20.116765121552632, nullptr, nullptr},
    {0.2011676512155263, nullptr, nullptr},
    {0.9143992, nullptr, nullptr},
    {0.3047997333333333, nullptr, nullptr},
    {20.1167824, nullptr, nullptr},
    {0.201167824, nullptr, nullptr},
    {0.9143992042898124, nullptr, nullptr},
    {0.30479973476327077, nullptr, nullptr},
    {20.116782494375872, nullptr, nullptr},
    {0.2011678249437587, nullptr, nullptr},
    {0.30480083333333335, nullptr, nullptr},
    {0.30479951024814694, nullptr, nullptr},
    {0.30479841, nullptr, nullptr},
    {0.3047996, nullptr, nullptr},
    {0.3047995, nullptr, nullptr},
    {0.9143985307444408, nullptr, nullptr},
    {0.91439523, nullptr, nullptr},
    {0.9143988, nullptr, nullptr},
    {0.9143985, nullptr, nullptr},
    {1609.344, nullptr, nullptr},
    {0.3047997101815088, nullptr, nullptr},
    {0.3048007491, nullptr, nullptr},
};

// Both indexes valid, else gblerr 12 and false.
bool check_angle_units(int a, int b) {
  if (angle_unit_valid(a) && angle_unit_valid(b)) return true;
  set_gblerr(ERR_VALUE);
  return false;
}
bool check_length_units(int a, int b) {
  if (length_unit_valid(a) && length_unit_valid(b)) return true;
  set_gblerr(ERR_VALUE);
  return false;
}

void multiply_pair(double r, double* x, double* y) {
  if (x) *x *= r;
  if (y) *y *= r;
}
void divide_pair(double r, double* x, double* y) {
  if (x) *x /= r;
  if (y) *y /= r;
}

}  // namespace

double angle_unit_factor(int unit) {
  return angle_unit_valid(unit) ? kAngleUnits[unit].factor : 0.0;
}
double length_unit_factor(int unit) {
  return length_unit_valid(unit) ? kLengthUnits[unit].factor : 0.0;
}

const char* angle_unit_name(int unit, bool french) {
  if (!angle_unit_valid(unit)) return nullptr;
  return french ? kAngleUnits[unit].french : kAngleUnits[unit].english;
}
const char* length_unit_name(int unit, bool french) {
  if (!length_unit_valid(unit)) return nullptr;
  return french ? kLengthUnits[unit].french : kLengthUnits[unit].english;
}

void angle_unit_scale(int unit, int direction, double* x, double* y) {
  if (unit == ANG_RADIAN || !check_angle_units(unit, unit)) return;
  if (direction == 0)
    divide_pair(kAngleUnits[unit].factor, x, y);
  else
    multiply_pair(kAngleUnits[unit].factor, x, y);
}

void length_unit_scale(int unit, int direction, double* x, double* y) {
  if (unit == LEN_METRE || !check_length_units(unit, unit)) return;
  if (direction == 0)
    multiply_pair(kLengthUnits[unit].factor, x, y);
  else
    divide_pair(kLengthUnits[unit].factor, x, y);
}

void angle_unit_convert(int from, int to, double* x, double* y) {
  if (from == to || !check_angle_units(from, to)) return;
  multiply_pair(kAngleUnits[to].factor / kAngleUnits[from].factor, x, y);
}

void length_unit_convert(int from, int to, double* x, double* y) {
  if (from == to || !check_length_units(from, to)) return;
  multiply_pair(kLengthUnits[from].factor / kLengthUnits[to].factor, x, y);
}

double angle_unit_ratio(int from, int to, double* r) {
  double v = 1.0;
  if (from != to && check_angle_units(from, to))
    v = kAngleUnits[to].factor / kAngleUnits[from].factor;
  if (r) *r = v;
  return v;
}

double length_unit_ratio(int from, int to, double* r) {
  double v = 1.0;
  if (from != to && check_length_units(from, to))
    v = kLengthUnits[from].factor / kLengthUnits[to].factor;
  if (r) *r = v;
  return v;
}

void angle_split_deg_min(double a, double b, int unit, int* degrees_a, int* degrees_b,
                         double* minutes_a, double* minutes_b) {
  double ma = std::fabs(a);
  double mb = std::fabs(b);
  if (unit != ANG_MINUTE) angle_unit_convert(unit, ANG_MINUTE, &ma, &mb);
  // Whole degrees by truncation; a value too large for an int is clamped so that the
  // conversion stays defined.
  auto whole = [](double minutes) {
    const double d = std::trunc(minutes / 60.0);
    if (!(d < 2147483647.0)) return 2147483647;
    return static_cast<int>(d);
  };
  const int da = whole(ma);
  const int db = whole(mb);
  if (degrees_a) *degrees_a = da;
  if (degrees_b) *degrees_b = db;
  if (minutes_a) *minutes_a = ma - 60.0 * da;
  if (minutes_b) *minutes_b = mb - 60.0 * db;
}
