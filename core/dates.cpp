// The calendar: normalisation of (year, month, days) into packed dates, the conversions
// from the time stamps of receivers, file formats and the operating system, and date
// arithmetic.
//
// Every conversion ends in date_normalize, which walks whole years and then months
// with the Gregorian rules. Large offsets first jump whole 400-year cycles (146097
// days, the same from any starting month), so that a hostile day count costs a few
// hundred steps at most; results for ordinary offsets are those of the plain walk.
// UTC calendar fields of a time_t are computed here too, so the conversion is
// thread-safe and independent of the C library's calendar.
#include "core/dates.h"

#include <cmath>
#include <iterator>

#include "platform/sys/clock.h"

namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr double kCycleDays = 146097.0;  // days in 400 Gregorian years
constexpr int64_t kCycleYears = 400;
// Beyond this many days no int starting year can land within kMaxDateYear, and the
// cycle arithmetic below would no longer be exact.
constexpr double kMaxDays = 4503599627370496.0;  // 2^52

constexpr bool is_leap(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

constexpr int month_length(int64_t y, int m) {
  return (m == 2 && is_leap(y)) ? 29 : kMonthDays[m - 1];
}

constexpr int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days from 1 January of year 0 to 1 January of year y (proleptic Gregorian).
constexpr int64_t days_before_year(int64_t y) {
  return 365 * y + floor_div(y + 3, 4) - floor_div(y + 99, 100) + floor_div(y + 399, 400);
}

// Days from 1 January of year 0 to the given day.
constexpr int64_t day_number(int64_t y, int m, int d) {
  int64_t n = days_before_year(y);
  for (int i = 1; i < m; ++i) n += month_length(y, i);
  return n + d - 1;
}

// Length of the 12 months that end just before (y, m), and of the 12 that start at it.
int64_t year_before(int64_t y, int m) { return is_leap(m <= 2 ? y - 1 : y) ? 366 : 365; }
int64_t year_from(int64_t y, int m) { return is_leap(m <= 2 ? y : y + 1) ? 366 : 365; }

// Brings |days| within one 400-year cycle by whole cycles; the date it names is kept.
void jump_cycles(int64_t* year, double* days) {
  if (*days > kCycleDays) {
    double k = std::floor(*days / kCycleDays);
    *days -= k * kCycleDays;
    *year += static_cast<int64_t>(k) * kCycleYears;
  } else if (*days < -kCycleDays) {
    double k = std::floor(-*days / kCycleDays);
    *days += k * kCycleDays;
    *year -= static_cast<int64_t>(k) * kCycleYears;
  }
}

// A time of day in fields; the fields come from the caller's decoded integers.
double fields_fraction(int64_t h, int64_t m, double s) {
  return hms_to_day_fraction(0.0, static_cast<double>(h), static_cast<double>(m), s);
}

// Whole days and the fraction of the last one: exact for any count of seconds (the
// seconds of the day are split off first, so nothing overflows).
double seconds_as_days(int64_t seconds) {
  int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  return static_cast<double>(days) + static_cast<double>(rest) / 86400.0;
}

}  // namespace

// ---- Calendar -----------------------------------------------------------------------

int days_in_year(int year) { return is_leap(year) ? 366 : 365; }

int days_in_month(int year, int month) {
  return (month < 1 || month > 12) ? 0 : month_length(year, month);
}

date_rec* date_normalize(date_rec* out, int year_in, int month_in, double days) {
  *out = kNoDate;
  if (!std::isfinite(days) || std::fabs(days) > kMaxDays) return out;
  int64_t year = year_in;
  int64_t m0 = static_cast<int64_t>(month_in) - 1;  // months outside 1..12 fold in
  year += floor_div(m0, 12);
  int month = static_cast<int>(m0 - floor_div(m0, 12) * 12) + 1;

  jump_cycles(&year, &days);
  while (days < 0) {
    days += static_cast<double>(year_before(year, month));
    --year;
  }
  while (std::trunc(days) > 370) {
    days -= static_cast<double>(year_from(year, month));
    ++year;
  }
  while (std::floor(days) >= month_length(year, month)) {
    days -= month_length(year, month);
    if (++month > 12) month = 1, ++year;
  }
  while (days < 0) {
    if (--month < 1) month = 12, --year;
    days += month_length(year, month);
  }
  if (year > kMaxDateYear || year < -kMaxDateYear) return out;
  out->date = static_cast<double>(year * 10000 + month * 100 + 1) + days;
  out->day = days + 1;
  return out;
}

int year_from_two_digits(int yy) { return yy < 70 ? 2000 + yy : 1900 + yy; }

date_rec* date_from_fields(date_rec* out, int year, int month, double day0) {
  if (month < 1 || month > 12) {
    *out = kNoDate;
    return out;
  }
  return date_normalize(out, year, month, day0);
}

double date_from_ymd(int year, int month, double days) {
  date_rec r;
  return date_normalize(&r, year, month, days)->date;
}

// ---- Time of day --------------------------------------------------------------------

double hms_to_day_fraction(double days, double hours, double minutes, double seconds) {
  return days + hours / 24.0 + minutes / 1440.0 + seconds / 86400.0;
}

double hhmmss_to_day_fraction(double hhmmss, double* out) {
  double f = 0.0;
  if (std::isfinite(hhmmss)) {
    double h = std::trunc(hhmmss / 10000.0);
    double m = std::fmod(std::trunc(hhmmss / 100.0), 100.0);
    double s = std::fmod(hhmmss, 100.0);
    f = hms_to_day_fraction(0.0, h, m, s);
  }
  if (out) *out = f;
  return f;
}

void seconds_to_hms(double seconds, int* hours, int* minutes, double* secs) {
  // Beyond the int range of hours the split means nothing; it gives zeros.
  bool ok = std::fabs(seconds) < 7.0e12;
  if (hours) *hours = ok ? static_cast<int>(seconds / 3600.0) : 0;
  if (minutes) *minutes = ok ? static_cast<int>(std::fmod(seconds, 3600.0) / 60.0) : 0;
  if (secs) *secs = ok ? std::fmod(seconds, 60.0) : 0.0;
}

void day_fraction_to_hms(double day, int* days, int* hours, int* minutes, double* seconds) {
  bool ok = std::fabs(day) < 2.0e9;
  double whole = ok ? std::trunc(day) : 0.0;
  if (days) *days = static_cast<int>(whole);
  seconds_to_hms(ok ? (day - whole) * 86400.0 : 0.0, hours, minutes, seconds);
}

double seconds_to_days(double seconds) { return seconds / 86400.0; }

// ---- Conversions ----------------------------------------------------------------------

date_rec* date_from_seconds_1989(date_rec* out, uint32_t seconds) {
  if (seconds == 0) {
    *out = kNoDate;
    return out;
  }
  return date_normalize(out, 1990, 1, seconds / 86400.0 - 1.0);
}

double date_value_from_seconds_1989(uint32_t seconds) {
  date_rec r;
  return date_from_seconds_1989(&r, seconds)->date;
}

double date_from_days_seconds_1990(int32_t day, double seconds) {
  return date_from_ymd(1990, 1, static_cast<double>(day) - 1.0 + seconds / 86400.0);
}

date_rec* date_from_days_1900(date_rec* out, double days) {
  return date_normalize(out, 1900, 1, days);
}

date_rec* date_from_seconds_2000(int64_t seconds, date_rec* out) {
  return date_normalize(out, 2000, 1, seconds_as_days(seconds));
}

namespace {

// GPS time runs without leap seconds; UTC has had one inserted at the end of the day
// before each of these dates, so GPS - UTC is `offset` seconds from that date on.
struct leap_step {
  int year, month, day, offset;
};
constexpr leap_step kLeapSteps[] = {
    {1981, 7, 1, 1},  {1982, 7, 1, 2},  {1983, 7, 1, 3},  {1985, 7, 1, 4},
    {1988, 1, 1, 5},  {1990, 1, 1, 6},  {1991, 1, 1, 7},  {1992, 7, 1, 8},
    {1993, 7, 1, 9},  {1994, 7, 1, 10}, {1996, 1, 1, 11}, {1997, 7, 1, 12},
    {1999, 1, 1, 13}, {2006, 1, 1, 14}, {2009, 1, 1, 15}, {2012, 7, 1, 16},
    {2015, 7, 1, 17}, {2017, 1, 1, 18},
};
constexpr int64_t kGpsEpochDay = day_number(1980, 1, 6);

// GPS time (seconds since the GPS epoch) at which a step takes effect: its UTC
// midnight plus the new offset.
constexpr double step_gps_seconds(const leap_step& s) {
  return static_cast<double>((day_number(s.year, s.month, s.day) - kGpsEpochDay) * 86400 +
                             s.offset);
}

}  // namespace

int gps_utc_offset(double gps_seconds) {
  for (int i = static_cast<int>(std::size(kLeapSteps)) - 1; i >= 0; --i)
    if (gps_seconds >= step_gps_seconds(kLeapSteps[i])) return kLeapSteps[i].offset;
  return 0;
}

double date_from_gps_week(int32_t week, double seconds) {
  if (!std::isfinite(seconds)) return 0.0;
  double gps = static_cast<double>(week) * 604800.0 + seconds;
  double utc = gps - gps_utc_offset(gps);
  double days = std::floor(utc / 86400.0);
  double rest = utc - days * 86400.0;
  return date_from_ymd(1980, 1, 5.0 + days + rest / 86400.0);
}

double date_from_hhmmss_ddmmyy(int32_t hhmmss, int32_t ddmmyy) {
  int dd = ddmmyy / 10000, mm = ddmmyy / 100 % 100, yy = ddmmyy % 100;
  if (yy < 0) return 0.0;
  double frac = fields_fraction(hhmmss / 10000, hhmmss / 100 % 100, hhmmss % 100);
  date_rec r;
  return date_from_fields(&r, year_from_two_digits(yy), mm, dd - 1 + frac)->date;
}

date_rec* date_from_bits_year2000(uint32_t w, date_rec* out) {
  int year = 2000 + static_cast<int>(w >> 26 & 63);
  int month = static_cast<int>(w >> 22 & 15);
  int day = static_cast<int>(w >> 17 & 31);
  double frac = fields_fraction(w >> 12 & 31, w >> 6 & 63, w & 63);
  return date_from_fields(out, year, month, day - 1 + frac);
}

date_rec* date_from_bits_month2000(uint32_t w, uint16_t ms, date_rec* out) {
  // Months counted from January 2000: month number bits + 1, carried into the years.
  int month = static_cast<int>(w >> 22) + 1;
  int day = static_cast<int>(w >> 17 & 31);
  double frac = fields_fraction(w >> 12 & 31, w >> 6 & 63, 0.0);
  date_normalize(out, 2000, month, day - 1 + frac);
  return date_add_ms(ms, out);
}

date_rec* time_from_bits_hms(uint32_t w, date_rec* out) {
  double frac = fields_fraction(w >> 8 & 255, w >> 16 & 255, w >> 24 & 255);
  return date_normalize(out, 0, 1, frac);
}

date_rec* date_rec_from_time_t(date_rec* out, std::time_t t) {
  date_normalize(out, 1970, 1, seconds_as_days(static_cast<int64_t>(t)));
  if (out->date == 0.0)  // beyond the calendar: the fixed stand-in moment
    date_normalize(out, 2000, 1, hms_to_day_fraction(1.0, 1.0, 1.0, 1.0));
  return out;
}

double date_from_time_t(std::time_t t) {
  date_rec r;
  return date_rec_from_time_t(&r, t)->date;
}

double date_now() { return date_from_time_t(plat::wall_time()); }

date_rec* date_rec_now(date_rec* out) { return date_rec_from_time_t(out, plat::wall_time()); }

// ---- Splitting and arithmetic ---------------------------------------------------------

namespace {

// Splits a packed date; false (and zeros) for a value that is no packed date.
bool split_packed(double packed, int64_t* year, int* month, double* day) {
  *year = 0, *month = 0, *day = 0.0;
  if (!std::isfinite(packed) || std::fabs(packed) >= (kMaxDateYear + 1.0) * 10000.0)
    return false;
  double ym = std::floor(packed / 100.0);
  double y = std::floor(ym / 100.0);
  *year = static_cast<int64_t>(y);
  *month = static_cast<int>(ym - y * 100.0);
  *day = packed - ym * 100.0;
  return true;
}

double day_of_year(int64_t year, int month, double day) {
  double n = day - 1.0;
  for (int m = 1; m < month && m <= 12; ++m) n += month_length(year, m);
  return n;
}

}  // namespace

date_rec* date_rec_from_packed(date_rec* out, double packed) {
  int64_t y;
  int m;
  double d;
  if (!split_packed(packed, &y, &m, &d)) {
    *out = kNoDate;
    return out;
  }
  out->date = packed;
  out->day = d;
  return out;
}

void date_split(double packed, int* year, int* month, double* day) {
  int64_t y;
  int m;
  double d;
  split_packed(packed, &y, &m, &d);
  if (year) *year = static_cast<int>(y);
  if (month) *month = m;
  if (day) *day = d;
}

void date_rec_split(const date_rec* rec, int* year, int* month, double* day) {
  date_split(rec->date, year, month, nullptr);
  if (day) *day = rec->day;
}

double date_day_of_year(double packed) {
  int64_t y;
  int m;
  double d;
  if (!split_packed(packed, &y, &m, &d)) return 0.0;
  return day_of_year(y, m, d);
}

date_rec* date_add_days(date_rec* rec, double days) {
  int64_t y;
  int m;
  double d;
  if (rec->date == 0.0 || !split_packed(rec->date, &y, &m, &d)) return rec;
  return date_normalize(rec, static_cast<int>(y), m, rec->day - 1.0 + days);
}

date_rec* date_add_ms(double ms, date_rec* rec) { return date_add_days(rec, ms / 86400000.0); }

double date_diff(double a, double b) {
  int64_t ya, yb;
  int ma, mb;
  double da, db;
  if (!split_packed(a, &ya, &ma, &da) || !split_packed(b, &yb, &mb, &db)) return 0.0;
  if (a == b) return 0.0;
  if (b < a) return -date_diff(b, a);
  // Days within the two years, plus the whole years from a's up to the one before b's
  // (summed by the closed form).
  return day_of_year(yb, mb, db) - day_of_year(ya, ma, da) +
         static_cast<double>(days_before_year(yb) - days_before_year(ya));
}

double date_time_diff(double date_a, double time_a, double date_b, double time_b) {
  if (std::floor(date_a) == std::floor(date_b)) return time_b - time_a;
  return date_diff(date_a, date_b);
}
