// Dates written as text: the compact log form, ISO 8601 in three precisions, and the
// local time stamp used in file names.
//
// A packed date holds the time of day as the fraction of a number near 2e7, so a
// whole second often comes back a fraction of a millisecond short (12:35:00 reads
// 12:34:59.99997). Before the time is split into fields, a value that lies within the
// precision of the number it came from below a whole second is taken as that second,
// carried into the next minute, hour or day; the date is then re-normalised, so the
// text never shows second 60, hour 24 or day 32. Every routine writes within the
// caller's buffer size.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/dates.h"
#include "core/memory.h"
#include "platform/sys/clock.h"

namespace {

// Calendar fields of a date and its time of day.
struct date_fields {
  int year = 0, month = 0, day = 0;
  int hours = 0, minutes = 0;
  double seconds = 0.0;
};

// Seconds within which a reading below a whole second is that second: two units in the
// last place of the number the fraction came from, and never less than a microsecond.
double snap_slack(double source) {
  double a = std::fabs(source);
  double ulp = std::nextafter(a, INFINITY) - a;
  double slack = 2.0 * ulp * 86400.0;
  return slack > 1e-6 ? slack : 1e-6;
}

// Fields of (year, month, day with fraction); `slack` as above.
date_fields split_fields(int year, int month, double day, double slack) {
  date_fields f;
  f.year = year, f.month = month;
  if (!std::isfinite(day) || std::fabs(day) > 1e9) return f;
  double whole = std::floor(day);
  double sod = (day - whole) * 86400.0;
  if (std::ceil(sod) - sod < slack) sod = std::ceil(sod);
  if (sod >= 86400.0) sod -= 86400.0, whole += 1.0;
  f.day = static_cast<int>(whole);
  seconds_to_hms(sod, &f.hours, &f.minutes, &f.seconds);
  if (month >= 1 && month <= 12) {  // a carried day may start the next month or year
    date_rec r;
    date_normalize(&r, year, month, whole - 1.0);
    double d;
    date_split(r.date, &f.year, &f.month, &d);
    f.day = static_cast<int>(d);
  }
  return f;
}

date_fields packed_fields(double packed) {
  int y, m;
  double d;
  date_split(packed, &y, &m, &d);
  return split_fields(y, m, d, snap_slack(packed));
}

char* copy_out(char* out, size_t size, const char* text) {
  if (out && size > 0) std::snprintf(out, size, "%s", text);
  return out;
}

// The ISO 8601 text of the fields into buf.
void iso_text(const date_fields& f, int mode, int zone, char* buf, size_t size) {
  buf[0] = '\0';
  int n = 0;
  if (mode == 0) {
    n = std::snprintf(buf, size, "%04d-%02d-%02d", f.year, f.month, f.day);
  } else if (mode == 1) {
    n = f.year < 1 ? std::snprintf(buf, size, "%02d:%02d:%02d", f.hours, f.minutes,
                                   static_cast<int>(f.seconds))
                   : std::snprintf(buf, size, "%04d-%02d-%02dT%02d:%02d:%02d", f.year,
                                   f.month, f.day, f.hours, f.minutes,
                                   static_cast<int>(f.seconds));
  } else if (mode == 2) {
    // Printing rounds to the millisecond; a reading just short of the next minute
    // stays at 59.999 so that it never shows 60.000.
    double s = f.seconds >= 59.9991 ? 59.999 : f.seconds;
    n = f.year < 1 ? std::snprintf(buf, size, "%02d:%02d:%06.3f", f.hours, f.minutes, s)
                   : std::snprintf(buf, size, "%04d-%02d-%02dT%02d:%02d:%06.3f", f.year,
                                   f.month, f.day, f.hours, f.minutes, s);
  } else {
    return;
  }
  if (zone && mode != 0 && n >= 0 && static_cast<size_t>(n) + 1 < size) {
    buf[n] = 'Z';
    buf[n + 1] = '\0';
  }
}

}  // namespace

char* format_date_compact(double packed, char* out, size_t size) {
  date_fields f = packed_fields(packed);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d/%02d/%02d:%02d:%02d:%02d", f.year, f.month, f.day,
                f.hours, f.minutes, static_cast<int>(f.seconds));
  return copy_out(out, size, buf);
}

char* format_date_iso(double packed, int mode, int zone, char* out, size_t size) {
  char buf[96];
  iso_text(packed_fields(packed), mode, zone, buf, sizeof buf);
  return copy_out(out, size, buf);
}

char* format_date_iso_span(const date_rec* rec, int mode, int zone, char** owner) {
  constexpr size_t kSpanBytes = 50;
  char* span = alloc_mem(owner, kSpanBytes);
  int y, m;
  date_split(rec ? rec->date : 0.0, &y, &m, nullptr);
  const double d = rec ? rec->day : 0.0;
  char buf[96];
  iso_text(split_fields(y, m, d, snap_slack(d)), mode, zone, buf, sizeof buf);
  return copy_out(span, kSpanBytes, buf);
}

char* timestamp_for_filename(char** owner) {
  // The local time zone comes from the platform layer.
  std::time_t now = plat::wall_time();
  std::tm tm{};
  char buf[64];
  if (plat::local_time(now, &tm)) {
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d_%02dh%02dm%02ds", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  } else {
    date_fields f = packed_fields(date_from_time_t(now));
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d_%02dh%02dm%02ds", f.year, f.month, f.day,
                  f.hours, f.minutes, static_cast<int>(f.seconds));
  }
  str_cat(buf, owner);
  return owner_get(owner);
}
