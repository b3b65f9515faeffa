// The NMEA text of a Garmin real-time position record ($GPGGA, $PGRME, $PGRMV, $PGRMF,
// each with its check suffix and CR LF) and the live position the navigation display
// reads. See pvt.h.
//
// Times: wn_days counts days from 1989-12-31 (day 1 is 1990-01-01) to the start of the
// GPS week; UTC is tow - leap_scnds seconds later. The time of day is taken from those
// seconds directly (not from a packed date, whose fraction holds less than a
// millisecond), the calendar date from the whole days. The GPS week of $PGRMF counts from
// 1980-01-06, 3647 days before 1989-12-31. Positions are split into degrees and minutes;
// minutes that would be written 60.0000 carry into the degrees.
// Every value from the receiver goes through a bounded conversion, so NaN or huge
// numbers give odd text, never undefined behaviour.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/dates.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "geodesy/units.h"
#include "gps/garmin/pvt.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"

namespace {

constexpr int kGpsEpochToWeekBase = 3647;  // days from 1980-01-06 to 1989-12-31
constexpr double kKmhPerMs = 3.6;
constexpr double kKmPerNm = 1.852;
constexpr double kSecondsPerDay = 86400.0;

// A double to int, truncated toward zero, clamped; NaN gives 0.
int to_int(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

void append(std::string& s, const char* format, ...) {
  char buf[128];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n > 0) s.append(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

// A double with a caller's format and '.' as the decimal point.
void append_dot(std::string& s, const char* format, double v) {
  char buf[400];
  format_double_dot(v, format, buf, sizeof buf);
  s += buf;
}

// Closes a sentence with its check suffix and CR LF.
void close_sentence(std::string& text, std::string& sentence) {
  char tail[kNmeaTailSize];
  nmea_checksum_suffix(sentence.c_str(), tail);
  text += sentence;
  text += tail;
  sentence.clear();
}

// UTC of a record: calendar date and time of day.
struct utc_time {
  int year = 0, month = 0, day = 0;
  int hours = 0, minutes = 0;
  double seconds = 0.0;  // with fraction
  double day_seconds = 0.0;
  double packed = 0.0;   // packed date of the day (no time)
};

utc_time record_utc(const pvt_d800* r) {
  utc_time t;
  double seconds = r->tow - double(r->leap_scnds);
  if (!std::isfinite(seconds)) seconds = 0.0;
  double whole_days = std::floor(seconds / kSecondsPerDay);
  double day = double(r->wn_days) + whole_days;
  // A day beyond any calendar gives the empty date below.
  if (day > 2e9) day = 2e9;
  if (day < -2e9) day = -2e9;
  t.day_seconds = seconds - whole_days * kSecondsPerDay;
  if (!(t.day_seconds >= 0.0 && t.day_seconds < kSecondsPerDay)) t.day_seconds = 0.0;
  t.packed = date_from_days_seconds_1990(static_cast<int32_t>(day), 0.0);
  double d = 0.0;
  date_split(t.packed, &t.year, &t.month, &d);
  t.day = to_int(d);
  const int whole = to_int(t.day_seconds);
  t.hours = whole / 3600;
  t.minutes = (whole % 3600) / 60;
  t.seconds = t.day_seconds - double(t.hours * 3600 + t.minutes * 60);
  return t;
}

// Whole degrees and minutes of |angle| (radians); the minutes as written ("%07.4lf"),
// where minutes that would read 60.0000 carry into the degrees.
struct deg_min {
  int degrees;
  char minutes[400];
};
void format_minutes(double minutes, char* out, size_t size) {
  format_double_dot(minutes, "%07.4lf", out, size);
}
void split_one(int degrees, double minutes, deg_min* out) {
  if (minutes < 0.0) minutes = 0.0;  // a rounding step below a whole degree
  format_minutes(minutes, out->minutes, sizeof out->minutes);
  if (std::strncmp(out->minutes, "60.", 3) == 0 && degrees < 2147483647) {
    degrees += 1;
    minutes -= 60.0;
    format_minutes(minutes > 0.0 ? minutes : 0.0, out->minutes, sizeof out->minutes);
  }
  out->degrees = degrees;
}
void split_position(double lat, double lon, deg_min* la, deg_min* lo) {
  int dlat = 0, dlon = 0;
  double mlat = 0.0, mlon = 0.0;
  angle_split_deg_min(lat, lon, ANG_RADIAN, &dlat, &dlon, &mlat, &mlon);
  split_one(dlat, mlat, la);
  split_one(dlon, mlon, lo);
}

// Seconds cut to whole milliseconds. A time of week such as 345678.789 is held a hair
// below its decimal value: a millionth of a millisecond counts as a whole one, and the
// result stays below 60 so the text never reads 60.000.
double whole_milliseconds(double seconds) {
  double ms = std::floor(seconds * 1000.0 + 1e-6);
  if (ms > 59999.0) ms = 59999.0;
  if (!(ms >= 0.0)) ms = 0.0;
  return ms / 1000.0;
}

char hemisphere(double v, char positive, char negative) { return v < 0 ? negative : positive; }

// Bearing of the horizontal velocity in degrees true, 0 to below 360.
double bearing_deg(double east, double north) {
  double b = std::atan2(east, north) * 180.0 / M_PI;
  if (b < 0.0) b += 360.0;
  if (b >= 360.0) b -= 360.0;
  return b;
}

}  // namespace

void pvt_d800_to_nmea(const pvt_d800* r, char** out) {
  if (!r || !out) return;
  const utc_time t = record_utc(r);
  deg_min la{}, lo{};
  split_position(r->lat, r->lon, &la, &lo);
  const char ns = hemisphere(r->lat, 'N', 'S');
  const char ew = hemisphere(r->lon, 'E', 'W');
  const int quality = int(r->fix) / 2;
  const double east = r->east, north = r->north;

  std::string text, s;
  // $GPGGA
  append(s, "$GPGGA,%02d%02d", t.hours, t.minutes);
  append_dot(s, "%06.3lf", whole_milliseconds(t.seconds));
  append(s, ",%02d", la.degrees);
  s += la.minutes;
  append(s, ",%c,%03d", ns, lo.degrees);
  s += lo.minutes;
  append(s, ",%c,%d,,,", ew, quality);
  append_dot(s, "%lf", double(r->alt) + double(r->msl_hght));
  s += ",M,";
  append_dot(s, "%lf", 0.0 - double(r->msl_hght));  // +0 when the heights agree
  s += ",M,,";
  close_sentence(text, s);
  // $PGRME
  s = "$PGRME,";
  append_dot(s, "%lf", r->eph);
  s += ",M,";
  append_dot(s, "%lf", r->epv);
  s += ",M,";
  append_dot(s, "%lf", r->epe);
  s += ",M";
  close_sentence(text, s);
  // $PGRMV
  s = "$PGRMV,";
  append_dot(s, "%lf", east);
  s += ",";
  append_dot(s, "%lf", north);
  s += ",";
  append_dot(s, "%lf", r->up);
  close_sentence(text, s);
  // $PGRMF
  const int week = to_int((double(r->wn_days) + kGpsEpochToWeekBase) / 7.0);
  append(s, "$PGRMF,%d,%d,%02d%02d%02d,%02d%02d%02d,%d,%02d", week, to_int(r->tow), t.day,
         t.month, t.year % 100, t.hours, t.minutes, to_int(t.seconds), int(r->leap_scnds),
         la.degrees);
  s += la.minutes;
  append(s, ",%c,%03d", ns, lo.degrees);
  s += lo.minutes;
  append(s, ",%c,,%d,%d,%d,,", ew, quality,
         to_int(std::sqrt(east * east + north * north) * kKmhPerMs),
         to_int(bearing_deg(east, north)));
  close_sentence(text, s);
  str_set(text.c_str(), out);
}

void pvt_to_nmea(pvt_state* state) {
  if (!state) return;
  pvt_d800_to_nmea(&state->pvt, &state->nmea_text);
}

void pvt_d800_to_position(const pvt_d800* r, nmea_fix* fix) {
  if (!r || !fix) return;
  constexpr double kSecondsOfArc = 180.0 / M_PI * 3600.0;
  const bool in_range = std::isfinite(r->lat) && std::isfinite(r->lon) &&
                        std::fabs(r->lat) <= M_PI / 2 && std::fabs(r->lon) <= 2 * M_PI;
  const int kind = r->fix;
  const bool two_d = kind == 2 || kind == 4;
  const bool three_d = kind == 3 || kind == 5;
  fix->latitude = r->lat * kSecondsOfArc;
  fix->longitude = r->lon * kSecondsOfArc;
  fix->ell_height = r->alt;
  fix->altitude = double(r->alt) + double(r->msl_hght);
  const double e = kKmhPerMs * r->east, n = kKmhPerMs * r->north, u = kKmhPerMs * r->up;
  fix->speed = std::sqrt(e * e + n * n + u * u);
  fix->speed_knots = fix->speed / kKmPerNm;
  fix->course = bearing_deg(r->east, r->north);
  fix->h_error = r->eph;
  fix->v_error = r->epv;
  fix->fix = three_d ? 3 : two_d ? 2 : 0;
  fix->differential = kind >= 4 && kind <= 5 ? 1 : 0;
  const utc_time t = record_utc(r);
  fix->time = t.day_seconds / kSecondsPerDay;
  fix->date = t.packed;
  date_from_fields(&fix->fix_date, t.year, t.month, double(t.day) - 1.0 + fix->time);
  const bool located = in_range && (two_d || three_d);
  fix->valid.position = located ? 1 : 0;
  fix->valid.altitude = located && three_d ? 1 : 0;
  fix->valid.speed = located ? 1 : 0;
  fix->valid.course = located ? 1 : 0;
  fix->valid.quality = 1;
  fix->valid.time = t.packed != 0.0 ? 1 : 0;
  fix->valid.date = t.packed != 0.0 ? 1 : 0;
}

void pvt_to_position(const pvt_state* state, nmea_fix* fix) {
  if (!state) return;
  pvt_d800_to_position(&state->pvt, fix);
}
