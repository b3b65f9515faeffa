// The calendar: normalisation (hand-picked cases, agreement with the plain year and
// month walk, hostile inputs), the conversions against the reference table that
// tests/fixtures/dates/make_conversions.py computes with Python's calendar, GPS weeks
// across leap seconds, bit-packed stamps, time_t, the clock, and date arithmetic.
#include "core/dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sys/clock.h"

namespace {

// Packed dates near 2e7 keep about 4e-9 of a day; one second is 1.16e-5.
constexpr double kPackedTol = 1.5e-8;

// ---- Normalisation ------------------------------------------------------------------

// The plain walk: whole years back or forward, then month by month.
date_rec walk_normalize(int year, int month, double days) {
  static const int len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  auto leap = [](int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); };
  auto mlen = [&](int y, int m) { return m == 2 && leap(y) ? 29 : len[m - 1]; };
  while (days < 0) {
    days += leap(month <= 2 ? year - 1 : year) ? 366 : 365;
    --year;
  }
  while (std::trunc(days) > 370) {
    days -= leap(month <= 2 ? year : year + 1) ? 366 : 365;
    ++year;
  }
  while (std::floor(days) >= mlen(year, month)) {
    days -= mlen(year, month);
    if (++month > 12) month = 1, ++year;
  }
  return {year * 10000.0 + month * 100.0 + days + 1, days + 1};
}

TEST(DateNormalize, CarriesDaysAcrossMonthsAndYears) {
  struct Case {
    int year, month;
    double days, packed, day;
  } cases[] = {
      {2008, 2, 29.25, 20080301.25, 1.25},  // 2008 is leap: 29 February is counted
      {2100, 2, 28, 21000301, 1},           // 2100 is not
      {2000, 2, 28, 20000229, 29},          // 2000 is
      {2008, 1, -1, 20071231, 31},
      {2008, 3, -1, 20080229, 29},
      {2008, 1, 0, 20080101, 1},
      {2008, 12, 31, 20090101, 1},
      {2008, 1, 365, 20081231, 31},
      {2008, 1, 366, 20090101, 1},
      {2008, 1, 371, 20090106, 6},
      {2008, 6, -0.25, 20080531.75, 31.75},
      {0, 1, 0.5, 101.5, 1.5},  // a time of day without a date
  };
  for (const Case& c : cases) {
    date_rec r;
    date_normalize(&r, c.year, c.month, c.days);
    EXPECT_NEAR(r.date, c.packed, kPackedTol) << c.year << "-" << c.month << " + " << c.days;
    EXPECT_NEAR(r.day, c.day, 1e-12) << c.year << "-" << c.month << " + " << c.days;
    EXPECT_NEAR(date_from_ymd(c.year, c.month, c.days), c.packed, kPackedTol);
  }
}

TEST(DateNormalize, EqualsThePlainWalkForOrdinaryOffsets) {
  // Several hundred years either way from every month of a leap and a common year,
  // with fractions: the cycle arithmetic must give the very same doubles.
  for (int year : {1999, 2000, 2008, 2100}) {
    for (int month = 1; month <= 12; ++month) {
      for (double days = -150000.3; days < 150000; days += 997.37) {
        date_rec fast;
        date_normalize(&fast, year, month, days);
        date_rec walk = walk_normalize(year, month, days);
        ASSERT_EQ(fast.date, walk.date) << year << "-" << month << " + " << days;
        ASSERT_EQ(fast.day, walk.day) << year << "-" << month << " + " << days;
      }
    }
  }
}

TEST(DateNormalize, CycleJumpsEqualThePlainWalk) {
  // Offsets of many 400-year cycles, and those a hair either side of a whole number of
  // cycles, where the jump and the walk stop at different points of the same date.
  constexpr double kCycle = 146097.0;
  const double offsets[] = {
      kCycle,          kCycle + 0.5,        -kCycle,          -kCycle - 0.25,
      3 * kCycle - 1,  3 * kCycle + 2.75,   -7 * kCycle + 1,  -7 * kCycle - 3.5,
      25 * kCycle + 365.9, -25 * kCycle - 366.1, 12345678.125, -12345678.875,
  };
  for (int year : {1600, 1999, 2000, 2100}) {
    for (int month : {1, 2, 3, 12}) {
      for (double days : offsets) {
        date_rec fast;
        date_normalize(&fast, year, month, days);
        date_rec walk = walk_normalize(year, month, days);
        EXPECT_EQ(fast.date, walk.date) << year << "-" << month << " + " << days;
        EXPECT_EQ(fast.day, walk.day) << year << "-" << month << " + " << days;
      }
    }
  }
}

TEST(DateNormalize, HostileInputGivesEmptyRecordOrFarDate) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int year, month;
    double days;
  } empty[] = {
      {2008, 1, nan},   {2008, 1, inf},     {2008, 1, -inf},
      {2008, 1, 1e15},  {2008, 1, -1e15},   {2008, 1, 1e300},
      {2147483647, 1, 0}, {-2147483647 - 1, 1, 0}, {2008, 1, 4e8},
  };
  for (const Case& c : empty) {
    date_rec r{1.0, 1.0};
    date_normalize(&r, c.year, c.month, c.days);
    EXPECT_EQ(r.date, 0.0) << c.year << " " << c.days;
    EXPECT_EQ(r.day, 0.0) << c.year << " " << c.days;
  }
  // Far but within the calendar: 400-year cycles are jumped, not walked.
  date_rec r;
  date_normalize(&r, 2000, 1, 146097.0 * 2000 + 31);  // 800000 years on, 1 February
  EXPECT_NEAR(r.date, 8020000201.0, 1e-3);
  date_normalize(&r, 2000, 3, -146097.0 * 2000 - 1);
  EXPECT_NEAR(r.date, -7979999771.0, 1e-3);  // 29 February of year -798000
}

TEST(DateNormalize, MonthOutsideTheYearIsFoldedIn) {
  struct Case {
    int month;
    double packed;
  } cases[] = {{13, 20090101}, {0, 20071201}, {-11, 20070101}, {25, 20100101}};
  for (const Case& c : cases)
    EXPECT_NEAR(date_from_ymd(2008, c.month, 0), c.packed, kPackedTol) << c.month;
}

// ---- Reference table ------------------------------------------------------------------

struct TableRow {
  std::string kind;
  std::vector<std::string> fields;  // inputs then the expected value
  int line;
};

std::vector<TableRow> read_table() {
  std::ifstream in(TM_FIXTURE_DIR "/dates/conversions.txt");
  std::vector<TableRow> rows;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream words(text);
    TableRow row{"", {}, line};
    words >> row.kind;
    for (std::string w; words >> w;) row.fields.push_back(w);
    rows.push_back(row);
  }
  return rows;
}

double num(const std::string& s) { return std::strtod(s.c_str(), nullptr); }
long long integer(const std::string& s) { return std::strtoll(s.c_str(), nullptr, 10); }

// Each kind of row: the routine under test applied to the row's inputs.
double run_row(const TableRow& r) {
  const auto& f = r.fields;
  date_rec rec;
  if (r.kind == "norm")
    return date_normalize(&rec, int(integer(f[0])), int(integer(f[1])), num(f[2]))->date;
  if (r.kind == "s1989") return date_from_seconds_1989(&rec, uint32_t(integer(f[0])))->date;
  if (r.kind == "s2000") return date_from_seconds_2000(integer(f[0]), &rec)->date;
  if (r.kind == "unix") return date_from_time_t(std::time_t(integer(f[0])));
  if (r.kind == "d1900") return date_from_days_1900(&rec, num(f[0]))->date;
  if (r.kind == "d1990") return date_from_days_seconds_1990(int32_t(integer(f[0])), num(f[1]));
  if (r.kind == "gps") return date_from_gps_week(int32_t(integer(f[0])), num(f[1]));
  if (r.kind == "diff") return date_diff(num(f[0]), num(f[1]));
  if (r.kind == "doy") return date_day_of_year(num(f[0]));
  ADD_FAILURE() << "unknown kind " << r.kind << " at line " << r.line;
  return 0;
}

TEST(DateConversions, MatchTheReferenceTable) {
  std::vector<TableRow> rows = read_table();
  ASSERT_FALSE(rows.empty()) << "tests/fixtures/dates/conversions.txt not read";
  for (const TableRow& r : rows) {
    double expected = num(r.fields.back());
    // Far dates (up to year 9999) keep fewer digits of the day's fraction.
    double tol = std::fabs(expected) > 5e7 ? 3e-8 : kPackedTol;
    EXPECT_NEAR(run_row(r), expected, tol) << "line " << r.line << ": " << r.kind;
  }
}

// ---- GPS ---------------------------------------------------------------------------------

TEST(DateGps, WeekAndSecondsToUtcWithTheLeapSecondsOfTheDay) {
  struct Case {
    int week;
    double seconds, packed;
    const char* why;
  } cases[] = {
      // Week 1500 began on Sunday 2008-10-05; GPS was then 14 s ahead of UTC.
      {1500, 14, 20081005.0, "week 1500, 14 s: UTC midnight"},
      {1500, 0, 20081004.0 + 86386.0 / 86400, "seconds 0 fall back into the week before"},
      {0, 0, 19800106.0, "the GPS epoch: no leap second yet"},
      // 2017 onwards: 18 s.
      {1930, 18, 20170101.0, "first week of 2017"},
      {2000, 18, 20180506.0, ""},
      // 1990: 6 s.
      {522, 6, 19900107.0, ""},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(date_from_gps_week(c.week, c.seconds), c.packed, kPackedTol) << c.why;
}

TEST(DateGps, OffsetFollowsTheLeapSecondTable) {
  // GPS seconds from the epoch at which an offset is in force.
  auto gps_at = [](int days_from_epoch, int offset) {
    return days_from_epoch * 86400.0 + offset;
  };
  struct Case {
    double gps;
    int offset;
  } cases[] = {
      {0, 0},
      {gps_at(542, 1) - 1, 0},  // 1981-07-01 is day 542 of the GPS count
      {gps_at(542, 1), 1},
      {gps_at(9857, 14), 14},   // 2007-01-01
      {1500 * 604800.0 + 14, 14},
      {gps_at(13510, 18) - 1, 17},  // 2017-01-01
      {gps_at(13510, 18), 18},
      {1e10, 18},
  };
  for (const Case& c : cases) EXPECT_EQ(gps_utc_offset(c.gps), c.offset) << c.gps;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(date_from_gps_week(1500, nan), 0.0);
}

// ---- Stamps of receivers and files ------------------------------------------------------

TEST(DateConversions, SecondsAndDayCounts) {
  date_rec r{5, 5};
  EXPECT_EQ(date_from_seconds_1989(&r, 0)->date, 0.0);
  EXPECT_EQ(r.day, 0.0);
  EXPECT_NEAR(date_from_seconds_1989(&r, 86400)->date, 19900101.0, kPackedTol);
  EXPECT_NEAR(date_value_from_seconds_1989(86400 + 43200), 19900101.5, kPackedTol);
  EXPECT_NEAR(date_from_days_seconds_1990(1, 0), 19900101.0, kPackedTol);
  EXPECT_NEAR(date_from_days_1900(&r, 0)->date, 19000101.0, kPackedTol);
  EXPECT_NEAR(date_from_seconds_2000(-1, &r)->date, 19991231.0 + 86399.0 / 86400, kPackedTol);
}

TEST(DateConversions, PackedIntegerAndBitStamps) {
  auto y2000 = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
    return y << 26 | mo << 22 | d << 17 | h << 12 | mi << 6 | s;
  };
  date_rec r;
  struct Case {
    double got, want;
    const char* what;
  } cases[] = {
      {date_from_hhmmss_ddmmyy(123456, 60508), 20080506 + 45296.0 / 86400, "ddmmyy 2008"},
      {date_from_hhmmss_ddmmyy(0, 311299), 19991231, "ddmmyy 1999"},
      {date_from_hhmmss_ddmmyy(0, 1300), 0, "month 13: no date"},
      {date_from_bits_year2000(y2000(8, 5, 6, 12, 34, 56), &r)->date,
       20080506 + 45296.0 / 86400, "year 2000 bits"},
      {date_from_bits_year2000(y2000(8, 0, 6, 0, 0, 0), &r)->date, 0, "month 0: no date"},
      // 100 months after January 2000 is May 2008.
      {date_from_bits_month2000(100u << 22 | 6u << 17 | 12u << 12 | 34u << 6 | 63u, 500,
                                &r)->date,
       20080506 + (45240.0 + 0.5) / 86400, "month 2000 bits + 500 ms, seconds unread"},
      {date_from_bits_month2000(1u << 17, 0, &r)->date, 20000101, "month 0 is January 2000"},
      {time_from_bits_hms(56u << 24 | 34u << 16 | 12u << 8, &r)->date,
       101 + 45296.0 / 86400, "time of day, year 0"},
  };
  for (const Case& c : cases) EXPECT_NEAR(c.got, c.want, kPackedTol) << c.what;
}

TEST(DateConversions, TimeTInUtcWithFallback) {
  EXPECT_NEAR(date_from_time_t(1210077296), 20080506 + 45296.0 / 86400, kPackedTol);
  // A moment beyond every calendar gives the fixed stand-in 2000-01-02 01:01:01.
  const double stand_in = 20000102 + 3661.0 / 86400;
  EXPECT_NEAR(date_from_time_t(std::numeric_limits<std::time_t>::max()), stand_in,
              kPackedTol);
  EXPECT_NEAR(date_from_time_t(std::numeric_limits<std::time_t>::min()), stand_in,
              kPackedTol);
  date_rec r;
  EXPECT_NEAR(date_rec_from_time_t(&r, 0)->day, 1.0, 1e-12);
}

TEST(DateConversions, NowFollowsThePlatformClock) {
  plat::use_virtual_clock(true);
  const double before = date_now();
  EXPECT_NEAR(before, date_from_time_t(plat::wall_time()), 1e-12);
  const double second_of_day = (before - std::floor(before)) * 86400;  // whole seconds
  EXPECT_NEAR(second_of_day, std::round(second_of_day), 1e-3);
  plat::advance_virtual_ms(90000000);  // one day, one hour
  date_rec now;
  date_rec_now(&now);
  plat::use_virtual_clock(false);
  EXPECT_NEAR(date_diff(before, now.date), 1.0 + 1.0 / 24, 1e-6);
}

// ---- Arithmetic -------------------------------------------------------------------------

TEST(DateArithmetic, AddDaysAndMilliseconds) {
  struct Case {
    double start, days, want;
  } cases[] = {
      {20081215, 100, 20090325},      // 15 December 2008 + 100 days
      {20080301, -1, 20080229},
      {20081231.75, 0.5, 20090101.25},
      {20080506.5, -366.5, 20070506},  // the year back holds 29 February
  };
  for (const Case& c : cases) {
    date_rec r;
    date_rec_from_packed(&r, c.start);
    EXPECT_NEAR(date_add_days(&r, c.days)->date, c.want, kPackedTol) << c.start;
  }
  date_rec r;
  date_rec_from_packed(&r, 20080506.5);
  EXPECT_NEAR(date_add_ms(43200000.0, &r)->date, 20080507.0, kPackedTol);
  date_rec none = kNoDate;
  EXPECT_EQ(date_add_days(&none, 3)->date, 0.0);  // no date stays no date
}

TEST(DateArithmetic, DiffDayOfYearAndSplit) {
  struct Case {
    double a, b, diff;
  } cases[] = {
      {20080506.5, 20080506.5, 0},   {20080101, 20090101, 366},
      {20090101, 20080101, -366},    {20071231.75, 20080101.25, 0.5},
      {19000101, 20000101, 36524},   {20080506.25, 20080507, 0.75},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(date_diff(c.a, c.b), c.diff, kPackedTol) << c.a << " " << c.b;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(date_diff(nan, 20080101), 0.0);
  EXPECT_EQ(date_diff(20080101, -1e300), 0.0);

  EXPECT_NEAR(date_day_of_year(20081231.5), 365.5, kPackedTol);
  EXPECT_NEAR(date_day_of_year(20080301), 60, kPackedTol);
  EXPECT_EQ(days_in_year(2008), 366);
  EXPECT_EQ(days_in_year(1900), 365);
  EXPECT_EQ(days_in_year(2000), 366);

  int y = -1, m = -1;
  double d = -1;
  date_split(20080506.5, &y, &m, &d);
  EXPECT_EQ(y, 2008);
  EXPECT_EQ(m, 5);
  EXPECT_NEAR(d, 6.5, 1e-8);
  date_split(nan, &y, &m, &d);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(d, 0.0);
  date_split(20080506.5, nullptr, nullptr, nullptr);  // every output optional
  date_rec r{20080506.5, 6.5};
  date_rec_split(&r, &y, &m, &d);
  EXPECT_EQ(d, 6.5);
}

TEST(DateArithmetic, DateTimeDiffUsesTimesWithinOneDay) {
  // Same day: the precise times; different days: the packed dates.
  EXPECT_DOUBLE_EQ(date_time_diff(20080506.25, 6.25, 20080506.75, 6.75), 0.5);
  EXPECT_NEAR(date_time_diff(20080506.75, 6.75, 20080507.25, 7.25), 0.5, kPackedTol);
  EXPECT_DOUBLE_EQ(date_time_diff(20080506.75, 6.75, 20080506.25, 6.25), -0.5);
}

TEST(DateTimeOfDay, FractionsAndSplits) {
  EXPECT_DOUBLE_EQ(hms_to_day_fraction(1, 12, 30, 0), 1.5 + 30.0 / 1440);
  EXPECT_NEAR(hhmmss_to_day_fraction(123456.5, nullptr), (45296.5) / 86400, 1e-15);
  double out = -1;
  hhmmss_to_day_fraction(std::numeric_limits<double>::infinity(), &out);
  EXPECT_EQ(out, 0.0);
  int h, m, days;
  double s;
  seconds_to_hms(45296.25, &h, &m, &s);
  EXPECT_EQ(h, 12);
  EXPECT_EQ(m, 34);
  EXPECT_DOUBLE_EQ(s, 56.25);
  day_fraction_to_hms(2.5, &days, &h, &m, &s);
  EXPECT_EQ(days, 2);
  EXPECT_EQ(h, 12);
  EXPECT_EQ(m, 0);
  seconds_to_hms(std::numeric_limits<double>::quiet_NaN(), &h, &m, &s);
  EXPECT_EQ(h, 0);
  EXPECT_DOUBLE_EQ(seconds_to_days(43200), 0.5);
}

}  // namespace
