// The two texts of the cursor coordinate window: the position in the cursor system
// and unit, and the caption "system (unit)".
//
// Each format ends with blanks: the window draws the text without erasing, so the
// blanks cover the end of a longer text drawn before.
//
// Degrees, minutes and seconds (and degrees and minutes) are split from the value
// rounded to the printed decimals, so that seconds or minutes never read 60 (they carry
// into the next minute or degree), and the sign is written apart from the degrees, so
// that a value between -1 degree and 0 keeps its minus.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/view_records.h"
#include "shell/cursor_window.h"

namespace {

constexpr double kLargestSplit = 1e12;  // beyond it (nonsense anyway) no split is tried

std::string printf_text(const char* format, double x, double y) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, x, y);
  return buf;
}

// "+002°30'00.00000\"" from a value in seconds of arc; degree_digits 3 or 2.
std::string dms_text(double seconds, int degree_digits) {
  constexpr long long kPerSecond = 100000, kPerMinute = 60 * kPerSecond, kPerDegree = 60 * kPerMinute;
  const long long total = std::llround(std::fabs(seconds) * double(kPerSecond));
  const long long rest = total % kPerDegree;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%c%0*lld\xC2\xB0%02lld'%08.5f\"", seconds < 0 ? '-' : '+', degree_digits,
                total / kPerDegree, rest / kPerMinute, double(rest % kPerMinute) / double(kPerSecond));
  return buf;
}

// "+002°30.0000000'" from a value in minutes of arc.
std::string dm_text(double minutes, int degree_digits) {
  constexpr long long kPerMinute = 10000000, kPerDegree = 60 * kPerMinute;
  const long long total = std::llround(std::fabs(minutes) * double(kPerMinute));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%c%0*lld\xC2\xB0%010.7f'", minutes < 0 ? '-' : '+', degree_digits,
                total / kPerDegree, double(total % kPerDegree) / double(kPerMinute));
  return buf;
}

bool splittable(double x, double y) { return std::fabs(x) < kLargestSplit && std::fabs(y) < kLargestSplit; }

std::string angle_position(int unit, double x, double y) {
  switch (unit) {
    case ANG_RADIAN:
      return printf_text(" ( %+013.10lf , %+013.10lf )          ", x, y);
    case ANG_DEGREE:
    case ANG_GRAD:
      return printf_text(" ( %+014.9lf , %+013.9lf )        ", x, y);
    case ANG_DMS:
    case 11:
      if (!splittable(x, y)) return "";
      return " ( " + dms_text(x, 3) + " , " + dms_text(y, 2) + " )   ";
    case ANG_SECOND:
    case ANG_CENTESIMAL_SECOND:
      return printf_text(" ( %+014.5lf , %+013.5lf )           ", x, y);
    case ANG_MINUTE:
    case ANG_CENTESIMAL_MINUTE:
    case ANG_MIL6400:
      return printf_text(" ( %+014.7lf , %+013.7lf )           ", x, y);
    case ANG_MICRORADIAN:
      return printf_text(" ( %+013.4lf , %+013.4lf )           ", x, y);
    case ANG_DM:
      if (!splittable(x, y)) return "";
      return " ( " + dm_text(x, 3) + " , " + dm_text(y, 2) + " )    ";
    default:
      return "";
  }
}

// The number of decimals of each linear unit (0 for a unit without format).
int length_decimals(int unit) {
  switch (unit) {
    case 0: case 4: case 5: case 10: case 11: case 12: case 15: case 16: case 18: case 20: case 22:
      return 5;
    case 1: case 6: case 7: case 8: case 9:
      return 4;
    case 2: case 3: case 19:
      return 8;
    case 13: case 14: case 17: case 21:
      return 6;
    default:
      return 0;
  }
}

std::string length_position(int unit, double x, double y) {
  switch (length_decimals(unit)) {
    case 5: return printf_text(" ( %014.5lf , %014.5lf )           ", x, y);
    case 4: return printf_text(" ( %014.4lf , %014.4lf )           ", x, y);
    case 8: return printf_text(" ( %014.8lf , %014.8lf )           ", x, y);
    case 6: return printf_text(" ( %014.6lf , %014.6lf )           ", x, y);
    default: return "";
  }
}

std::string system_text(const georef_t* g) {
  const bool fr = is_french() != 0;
  const char* name = nullptr;
  const char* unit = nullptr;
  if (g->refertype == GEOREF_GEOGRAPHIC) {
    name = g->datum ? g->datum->name : nullptr;
    unit = angle_unit_name(g->unit, fr);
  } else if (g->refertype == GEOREF_PROJECTED) {
    name = g->projection ? g->projection->name : nullptr;
    unit = length_unit_name(g->unit, fr);
  } else {
    return fr ? "Geocentrique" : "Geocentric";
  }
  return std::string(name ? name : "") + " (" + (unit ? unit : "") + ")";
}

}  // namespace

int format_cursor_position(int px, int py, const pane_t* pane, char** position, char** system) {
  if (!pane || !position || !system) return 0;
  const georef_t* g = pane->georef;
  if (!g || g->refertype == GEOREF_NONE || !g->transfo) return 0;
  const screen_mapping m = pane->map;
  if (m.scale_x == 0.0 || m.scale_y == 0.0) return 0;
  double x = px / m.scale_x - m.origin_x;
  double y = py / m.scale_y - m.origin_y;
  double z = 0.0;
  const std::string caption = system_text(g);
  xform_forward(g->transfo, g->transfotype, &x, &y, &z);
  // A point outside the cursor system's domain comes as NaN (or infinity): no number is
  // shown, only blanks as wide as a position's text, which cover the last one drawn.
  const bool finite = std::isfinite(x) && std::isfinite(y);
  if (!finite) x = y = 0.0;
  std::string text = g->refertype == GEOREF_GEOGRAPHIC ? angle_position(g->unit, x, y)
                                                        : length_position(g->unit, x, y);
  if (!finite) text.assign(text.size(), ' ');
  str_set(text.c_str(), position);
  str_set(caption.c_str(), system);
  return 1;
}
