// The numbers behind the zoom level dialog: the exponent of a unit, the value format and
// the graduations it gives, the slider positions of a value, and the conversion of the
// shown values between units.
#include <algorithm>
#include <cmath>

#include "core/strutil.h"
#include "geodesy/units.h"
#include "shell/zoom_dialogs.h"

namespace {

constexpr int kGeographic = 1;
constexpr int kProjected = 2;

bool among(int unit, std::initializer_list<int> units) {
  return std::find(units.begin(), units.end(), unit) != units.end();
}

// The largest value shown, 10^-e, suits the unit's size: a pixel is rarely more than a
// degree, or more than a thousand kilometres.
int exponent_of(int refertype, int unit) {
  if (refertype == kGeographic) {
    if (unit == ANG_RADIAN) return 2;
    if (among(unit, {ANG_DEGREE, ANG_DMS, ANG_GRAD, ANG_DM})) return 0;
    if (among(unit, {ANG_SECOND, ANG_MICRORADIAN, ANG_CENTESIMAL_SECOND})) return -4;
    if (among(unit, {ANG_MINUTE, ANG_CENTESIMAL_MINUTE, ANG_MIL6400})) return -2;
  } else if (refertype == kProjected) {
    if (among(unit, {0, 4, 5, 10, 16})) return -6;  // metre, fathom, yard, link, German metre
    if (among(unit, {1, 6, 7, 8, 9})) return -7;    // the feet
    if (unit == 13) return -5;                      // British chain (Benoit)
  }
  return -3;
}

}  // namespace

zoom_scale zoom_scale_of(int refertype, int unit) {
  zoom_scale s;
  s.e = exponent_of(refertype, unit);
  const bool georeferenced = refertype == kGeographic || refertype == kProjected;
  s.decades = georeferenced ? 8 : 4;
  s.ticks = georeferenced ? 10 : 20;
  return s;
}

std::string zoom_value_format(const zoom_scale& s) {
  return "%9." + std::to_string(std::max(0, s.e + 8)) + "lf";
}

std::string zoom_graduation(const zoom_scale& s, int index) {
  // Five graduations at the quarters of the slider.
  const int power = -s.e - index * s.decades / 4;
  char text[40];
  format_double_sig(std::pow(10.0, power), text, sizeof text);
  return text;
}

double zoom_clamp(const zoom_scale& s, double value) {
  const double lo = std::pow(10.0, -(s.e + s.decades)), hi = std::pow(10.0, -s.e);
  if (std::isnan(value)) return hi;
  return std::clamp(value, lo, hi);
}

int zoom_slider_position(const zoom_scale& s, double value) {
  const double v = zoom_clamp(s, value);
  // std::round takes halves away from zero.
  const double p = -std::round((std::log10(v) + s.e) * s.ticks);
  return std::clamp(int(p), 0, s.decades * s.ticks);
}

double zoom_slider_value(const zoom_scale& s, int position) {
  return std::pow(10.0, -(double(position) / s.ticks + s.e));
}

double zoom_display_factor(int refertype, int unit) {
  if (refertype != kGeographic) return 1.0;
  if (unit == ANG_DMS) return 1.0 / 3600.0;  // seconds shown as degrees
  if (unit == ANG_DM) return 1.0 / 60.0;     // minutes shown as degrees
  return 1.0;
}

void zoom_convert_values(int refertype, int from, int to, double* x, double* y) {
  if (from == to) return;
  const double undo = zoom_display_factor(refertype, from);
  *x /= undo;
  *y /= undo;
  if (refertype == kGeographic)
    angle_unit_convert(from, to, x, y);
  else if (refertype == kProjected)
    length_unit_convert(from, to, x, y);
  const double apply = zoom_display_factor(refertype, to);
  *x *= apply;
  *y *= apply;
}
