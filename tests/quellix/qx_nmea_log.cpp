// The NMEA log into replay points: grouping by fix time, the time rules (0.1 s,
// midnight, dates), jumps, held markers, the text cap, no-time mode and the pre-scan.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/config_state.h"
#include "core/dates.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"
#include "tests/quellix/qx_builders_test_support.h"

namespace {

using tm_test::days;
using tm_test::gga;
using tm_test::gll;
using tm_test::lat_field;
using tm_test::rmc;
using tm_test::sentence;

constexpr const char* kLon = "00600.0000";

class QxNmeaLog : public tm_test::QxBuildersFixture {};

TEST_F(QxNmeaLog, LinesOfOneFixTimeMakeOnePoint) {
  const std::string first = rmc("100000", lat_field(0), kLon, "10.0", "100324");
  const std::string second = gga("100000", lat_field(0), kLon, "300.0", "47.0");
  const std::string text = first + second + rmc("100001", lat_field(0.01), kLon, "10.0", "100324") +
                           gga("100001", lat_field(0.01), kLon, "301.0", "47.0") +
                           rmc("100002", lat_field(0.02), kLon, "10.0", "100324");
  fileatt_t* f = nmea_file(text);
  EXPECT_EQ(qx_read_nmea_log(f), 0);
  const auto p = points_of(f);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(text_of(p[0]), first + second);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(p[i]->time, days(i), 1e-9) << i;
    EXPECT_NEAR(p[i]->speed, 18.52, 1e-6) << i;
    EXPECT_NEAR(p[i]->latitude, 45.0 + 0.01 * i / 60.0, 1e-7) << i;
    EXPECT_NEAR(p[i]->longitude, 6.0, 1e-7) << i;
  }
  EXPECT_NEAR(p[0]->altitude, 300.0, 1e-9);
  EXPECT_FLOAT_EQ(float(p[0]->separation), 47.0f);
  EXPECT_NEAR(p[0]->height, 253.0, 1e-6);
  // Distances along the track: 0.01 minute of latitude is about 18.5 m.
  EXPECT_EQ(double(p[0]->distance), 0.0);
  EXPECT_NEAR(p[1]->distance, 18.5, 0.3);
  EXPECT_NEAR(p[2]->distance, 2 * p[1]->distance, 1e-3);
  // Date and time: the log's start date plus the point's time.
  date_rec d;
  std::memcpy(&d, &p[2]->date_time, sizeof d);
  int year = 0, month = 0;
  double day = 0;
  date_rec_split(&d, &year, &month, &day);
  EXPECT_EQ(year, 2024);
  EXPECT_EQ(month, 3);
  EXPECT_NEAR(day, 10.0 + days(10 * 3600 + 2), 1e-8);
  // Every point is a son of the one track segment of the list.
  const auto segments = tm_test::objects_of<trackseg_t>(f->sot, CLS_TRACKSEG);
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(obj_list_count(segments[0]->sons), 3);
}

struct time_case {
  const char* name;
  std::string text;
  std::vector<double> seconds;  // times of the kept points
};

std::vector<time_case> time_cases() {
  const std::string a = lat_field(0), b = lat_field(0.001), c = lat_field(0.002);
  return {
      {"midnight_without_dates", rmc("235959", a, kLon, "1.0") + rmc("000001", b, kLon, "1.0"),
       {0, 2}},
      {"date_change", rmc("235959", a, kLon, "1.0", "100324") + rmc("000001", b, kLon, "1.0", "110324"),
       {0, 2}},
      {"month_change", rmc("235959", a, kLon, "1.0", "310324") + rmc("000001", b, kLon, "1.0", "010424"),
       {0, 2}},
      {"within_a_tenth", rmc("100000.00", a, kLon, "1.0") + rmc("100000.05", b, kLon, "1.0") +
                             rmc("100001.00", c, kLon, "1.0"),
       {0, 1}},
      {"beyond_a_tenth", rmc("100000.00", a, kLon, "1.0") + rmc("100000.20", b, kLon, "1.0"),
       {0, 0.2}},
      // GGA carries no speed: the first point stands still (speed 0) and is kept; the third
      // is a jump of about 6700 km/h and is dropped; the fourth is measured from the second.
      {"jump", gga("100000", a, kLon) + gga("100001", b, kLon) + gga("100002", lat_field(1.0), kLon) +
                   gga("100003", c, kLon),
       {0, 1, 3}},
      // Times before the first date, across midnight: the date counts from the day the
      // first fix was on.
      {"undated_before_midnight", gga("235958", a, kLon) + gga("235959", b, kLon) +
                                      rmc("000005", c, kLon, "1.0", "110324"),
       {0, 1, 7}},
      // Sentences without a position open no point that is kept; the track's time starts at
      // its first kept point.
      {"time_without_position", sentence("$GPZDA,095959.00,10,03,2024,,") + rmc("100000", a, kLon, "1.0") +
                                    rmc("100002", b, kLon, "1.0"),
       {0, 2}},
  };
}

TEST_F(QxNmeaLog, TimesOfATableOfLogs) {
  for (const time_case& c : time_cases()) {
    SCOPED_TRACE(c.name);
    const auto p = read_log(c.text);
    ASSERT_EQ(p.size(), c.seconds.size());
    for (size_t i = 0; i < p.size(); ++i) EXPECT_NEAR(p[i]->time * 86400.0, c.seconds[i], 1e-4) << i;
  }
}

TEST_F(QxNmeaLog, JumpDistanceIsLeftOut) {
  const auto p = read_log(gga("100000", lat_field(0), kLon) + gga("100001", lat_field(0.001), kLon) +
                          gga("100002", lat_field(1.0), kLon) + gga("100003", lat_field(0.002), kLon));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0]->distance, 0.0);
  EXPECT_EQ(p[0]->speed, 0.0);
  EXPECT_NEAR(p[2]->distance, 2 * p[1]->distance, 1e-6);
  EXPECT_NEAR(p[1]->speed, p[1]->distance * 3.6, 1e-6);
}

TEST_F(QxNmeaLog, UndatedFixesTakeTheDayOfTheFirstDate) {
  const auto p = read_log(gga("235958", lat_field(0), kLon) + gga("235959", lat_field(0.001), kLon) +
                          rmc("000005", lat_field(0.002), kLon, "1.0", "110324"));
  ASSERT_EQ(p.size(), 3u);
  date_rec d;
  std::memcpy(&d, &p[0]->date_time, sizeof d);
  EXPECT_NEAR(d.date, 20240310.0 + days(86398), 1e-7);
  std::memcpy(&d, &p[1]->date_time, sizeof d);
  EXPECT_NEAR(d.date, 20240310.0 + days(86399), 1e-7);
  std::memcpy(&d, &p[2]->date_time, sizeof d);
  EXPECT_NEAR(d.date, 20240311.0 + days(5), 1e-7);
}

TEST_F(QxNmeaLog, MarkerBeforeTheFirstPointIsHeldForIt) {
  const std::string start = sentence("$PTMQT,START");
  ASSERT_EQ(start, "$PTMQT,START*20\r\n");
  const std::string first = rmc("100000", lat_field(0), kLon, "1.0");
  const auto p = read_log(sentence("$PTMQH,NMEA File Header") + start + first +
                          rmc("100001", lat_field(0.001), kLon, "1.0") + sentence("$PTMQT,STOP"));
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(text_of(p[0]), start + first);
  EXPECT_EQ(int(p[0]->marker), QX_MARKER_START);
  EXPECT_EQ(int(p[1]->marker), QX_MARKER_NONE);
  // A marker met while a point is open is one of its lines.
  EXPECT_NE(text_of(p[1]).find("$PTMQT,STOP*78\r\n"), std::string::npos);
}

TEST_F(QxNmeaLog, TextOfAGroupStopsGrowingPast2000Bytes) {
  std::string group = rmc("100000", lat_field(0), kLon, "1.0");
  const std::string gsv = sentence("$GPGSV,3,1,12,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
  for (int i = 0; i < 60; ++i) group += gsv;
  const auto p = read_log(group + rmc("100001", lat_field(0.001), kLon, "1.0"));
  ASSERT_EQ(p.size(), 2u);
  const std::string t = text_of(p[0]);
  EXPECT_GE(t.size(), size_t(kQxTextCap));
  EXPECT_LT(t.size(), size_t(kQxTextCap) + gsv.size());
  EXPECT_EQ(t, group.substr(0, t.size()));
  EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
}

TEST_F(QxNmeaLog, LogWithoutTimesIsTimedByDistance) {
  // 0.054 minute of latitude is about 100 m.
  const auto p = read_log(gll(lat_field(0), kLon) + gll(lat_field(0.054), kLon) + sentence("$PTMQT,STOP") +
                          sentence("$PTMQT,START") + gll(lat_field(0.108), kLon));
  // The first position starts the track, standing still.
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0]->time, 0.0);
  EXPECT_EQ(p[0]->distance, 0.0);
  EXPECT_EQ(p[0]->speed, 0.0);
  EXPECT_NEAR(p[1]->distance, 100.0, 1.0);
  EXPECT_NEAR(p[1]->time, p[1]->distance * kQxNoTimeStep, 1e-12);
  EXPECT_NEAR(p[1]->speed, 50.0, 0.01);
  // After a START marker the step is twenty times shorter.
  EXPECT_NEAR(p[2]->time - p[1]->time, (p[2]->distance - p[1]->distance) * kQxNoTimeStep / 20, 1e-12);
  EXPECT_NEAR(p[2]->speed, 1000.0, 0.2);
  date_rec d;
  std::memcpy(&d, &p[0]->date_time, sizeof d);
  EXPECT_NEAR(d.date, 20000101.5, 1e-8);
  std::memcpy(&d, &p[1]->date_time, sizeof d);
  EXPECT_NEAR(d.date, 20000101.5 + p[1]->time, 1e-8);
}

TEST_F(QxNmeaLog, PrescanTellsWhetherTimesAdvance) {
  struct prescan_case {
    const char* name;
    std::string text;
    int advances;
    double start;
  } cases[] = {
      {"advancing", rmc("120000", lat_field(0), kLon, "", "100324") + rmc("120001", lat_field(0), kLon), 1,
       20240310.5},
      {"same_time", rmc("120000", lat_field(0), kLon, "", "100324") + gga("120000.05", lat_field(0), kLon), 0,
       20240310.5},
      {"no_time", gll(lat_field(0), kLon) + gll(lat_field(0.1), kLon), 0, 0},
      {"across_midnight", gga("235959", lat_field(0), kLon) + gga("000001", lat_field(0), kLon), 1,
       days(86399)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fileatt_t* f = nmea_file(c.text);
    double start = -1;
    EXPECT_EQ(qx_prescan_nmea_log(f, &start), c.advances);
    EXPECT_NEAR(start, c.start, 1e-8);
  }
}

// Points that would leave less than the reader's margin of the memory budget stop the
// read with "not enough memory"; the points closed before stay (the budget here: a
// ceiling of 100 MB, below what the process already holds).
TEST_F(QxNmeaLog, PointsBeyondTheMemoryBudgetStopTheRead) {
  std::string text;
  for (int i = 0; i < 5000; ++i) {
    char t[16];
    std::snprintf(t, sizeof t, "%02d%02d%02d", i / 3600, i / 60 % 60, i % 60);
    text += rmc(t, lat_field(0.001 * i), kLon, "1.0");
  }
  constexpr size_t kHeld = size_t(160) << 20;
  auto held = std::make_unique<char[]>(kHeld);
  std::memset(held.get(), 1, kHeld);  // resident, so counted as committed
  config_set("MAXMEM", "100");
  config_detail::forget_maxmem();
  fileatt_t* f = nmea_file(text);
  const int result = qx_read_nmea_log(f);
  config_set("MAXMEM", "1500");  // the default ceiling
  config_detail::forget_maxmem();
  EXPECT_EQ(result, ERR_MEMORY);
  EXPECT_EQ(get_gblerr(), 0);
  const size_t kept = points_of(f).size();
  EXPECT_GT(kept, 1000u);
  EXPECT_LT(kept, 5000u);
  fileatt_t* g = nmea_file(text);
  EXPECT_EQ(qx_read_nmea_log(g), 0);
  EXPECT_EQ(points_of(g).size(), 5000u);
}

TEST_F(QxNmeaLog, MissingFileIsError2) {
  fileatt_t* f = open(dir_ + "/missing.nmea");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(qx_read_nmea_log(f), 2);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_TRUE(points_of(f).empty());
}

}  // namespace
