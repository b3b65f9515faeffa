// Garmin real-time records against fixtures worked out by
// scripts/fixtures/make_pvt_fixtures.py: D800 position records turned into their four
// NMEA sentences (north- and southbound, east and west, fix 0 to 5, minutes that round
// to 60, times across midnight and the week), receiver measurements and satellite data
// as raw log lines; records shorter than their layout refused; the sentences read back
// through the NMEA parser to the live position; the live position's fix types.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/pvt.h"
#include "gps/nmea_parser.h"
#include "tests/gps/garmin_pvt_fixture.h"
#include "tests/support/object_env.h"

namespace {

using namespace garmin_pvt_test;

template <class F> std::string captured(F&& write) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buf, &size);
  write(f);
  std::fclose(f);
  std::string out(buf, size);
  std::free(buf);
  return out;
}

std::string nmea_of(const pvt_d800& r) {
  char* text = nullptr;
  pvt_d800_to_nmea(&r, &text);
  std::string out = text ? text : "";
  free_mem(&text);
  return out;
}

TEST(GarminPvtRecords, PositionRecordsGiveTheirFourSentences) {
  for (const Block& b : of_kind("case")) {
    SCOPED_TRACE(b.name);
    pvt_d800 r{};
    ASSERT_EQ(garmin_d800_unpack(bytes_of(b.data), b.data.size(), &r), 0);
    EXPECT_EQ(nmea_of(r), b.expected);
    // The same through a state: its NMEA text.
    pvt_state* s = pvt_state_new(nullptr, nullptr);
    ASSERT_NE(s, nullptr);
    s->pvt = r;
    pvt_to_nmea(s);
    ASSERT_NE(s->nmea_text, nullptr);
    EXPECT_EQ(std::string(s->nmea_text), b.expected);
    pvt_state_free(&s);
    EXPECT_EQ(s, nullptr);
  }
}

TEST(GarminPvtRecords, MeasurementsAndSatellitesGiveTheirLogLines) {
  for (const Block& b : of_kind("rcv")) {
    SCOPED_TRACE(b.name);
    pvt_receiver r{};
    ASSERT_EQ(garmin_rcv_unpack(bytes_of(b.data), b.data.size(), &r), 0);
    EXPECT_EQ(captured([&](FILE* f) { garmin_rcv_print(f, &r); }), b.expected);
  }
  for (const Block& b : of_kind("sat")) {
    SCOPED_TRACE(b.name);
    pvt_satellite s[kPvtChannels] = {};
    ASSERT_EQ(garmin_sat_unpack(bytes_of(b.data), b.data.size(), s), 0);
    EXPECT_EQ(captured([&](FILE* f) { garmin_sat_print(f, s); }), b.expected);
  }
}

TEST(GarminPvtRecords, SatellitesAbove32AreWrittenWithTheirPrn) {
  struct { int svid, prn; } cases[] = {{1, 1}, {32, 32}, {33, 120}, {35, 122}, {255, 342}};
  for (const auto& c : cases) EXPECT_EQ(pvt_satellite_prn(c.svid), c.prn) << c.svid;
}

// A record one byte short of its layout is refused and the record keeps its values; the
// whole layout, or more, is taken.
TEST(GarminPvtRecords, RecordsShorterThanTheirLayoutAreRefused) {
  const std::string d800 = of_kind("case").at(0).data;
  const std::string rcv = of_kind("rcv").at(0).data;
  const std::string sat = of_kind("sat").at(0).data;
  ASSERT_EQ(d800.size(), kPvtD800Size);
  ASSERT_EQ(rcv.size(), kPvtReceiverSize);
  ASSERT_EQ(sat.size(), kPvtSatelliteSize);
  for (size_t cut : {size_t(0), size_t(1), size_t(12), size_t(63)}) {
    pvt_d800 r{};
    r.wn_days = 77;
    EXPECT_EQ(garmin_d800_unpack(bytes_of(d800), cut, &r), ERR_BAD_FILE) << cut;
    EXPECT_EQ(r.wn_days, 77);
  }
  for (size_t cut : {size_t(10), size_t(28), size_t(225)}) {
    pvt_receiver r{};
    r.week = 9;
    EXPECT_EQ(garmin_rcv_unpack(bytes_of(rcv), cut, &r), ERR_BAD_FILE) << cut;
    EXPECT_EQ(r.week, 9);
  }
  for (size_t cut : {size_t(7), size_t(83)}) {
    pvt_satellite s[kPvtChannels] = {};
    s[0].svid = 200;
    EXPECT_EQ(garmin_sat_unpack(bytes_of(sat), cut, s), ERR_BAD_FILE) << cut;
    EXPECT_EQ(s[0].svid, 200);
  }
  // Longer data: the record is the first bytes.
  const std::string longer = d800 + std::string(40, '\xff');
  pvt_d800 a{}, b{};
  EXPECT_EQ(garmin_d800_unpack(bytes_of(longer), longer.size(), &a), 0);
  EXPECT_EQ(garmin_d800_unpack(bytes_of(d800), d800.size(), &b), 0);
  EXPECT_EQ(nmea_of(a), nmea_of(b));
}

// The receiver's week counts days from 1989-12-31, the GPS week from 1980-01-06: a week
// start of day 13489 (Sunday 6 December 2026) is GPS week 2448, and the parser's date from
// week and time of week agrees with the calendar date written beside it.
TEST(GarminPvtRecords, TheGpsWeekCountsFrom1980) {
  pvt_d800 r{};
  r.fix = 3;
  r.wn_days = 13489;
  r.tow = 3 * 86400.0 + 43200.0 + 18;
  r.leap_scnds = 18;
  const std::string text = nmea_of(r);
  const size_t at = text.find("$PGRMF,");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(text.substr(at, 30), "$PGRMF,2448,302418,091226,1200");
  EXPECT_DOUBLE_EQ(std::floor(date_from_gps_week(2448, 302418.0)), 20261209.0);
}

// The cases the sentences must get right, each by the text it must hold.
TEST(GarminPvtRecords, SentencesHoldTheirEdgeCases) {
  struct Case {
    const char* name;
    uint16_t fix;
    double lat_deg, lon_deg;
    float east, north;
    const char* text;
  };
  const Case cases[] = {
      {"fix 3 is quality 1", 3, 1, 1, 0, 0, ",E,1,,,"},
      {"fix 3 is PGRMF type 1", 3, 1, 1, 0, 0, ",E,,1,0,0,,*"},
      {"fix 5 is quality 2", 5, 1, 1, 0, 0, ",E,2,,,"},
      {"fix 1 is quality 0", 1, 1, 1, 0, 0, ",E,0,,,"},
      {"-0.5 rad", 3, -0.5 * 180 / M_PI, 1, 0, 0, ",2838.8734,S,"},
      {"minutes rounding to 60 north", 3, 10 + 59.99997 / 60, 1, 0, 0, ",1100.0000,N,"},
      {"minutes rounding to 60 west", 3, 1, -(179 + 59.99999 / 60), 0, 0, ",18000.0000,W,"},
      {"northbound", 3, 1, 1, 0, 5, ",E,,1,18,0,,*"},
      {"eastbound", 3, 1, 1, 5, 0, ",E,,1,18,90,,*"},
      {"southbound", 3, 1, 1, 0, -5, ",E,,1,18,180,,*"},
      {"westbound", 3, 1, 1, -5, 0, ",E,,1,18,270,,*"},
      {"north-westbound", 3, 1, 1, -5, 5, ",E,,1,25,315,,*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pvt_d800 r{};
    r.fix = c.fix;
    r.lat = c.lat_deg * M_PI / 180;
    r.lon = c.lon_deg * M_PI / 180;
    r.east = c.east;
    r.north = c.north;
    r.alt = 300.0f;
    r.msl_hght = -47.3f;
    r.wn_days = 13489;
    r.tow = 1000;
    const std::string text = nmea_of(r);
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    // Altitude above mean sea level and the geoid separation, as 32-bit values give them.
    EXPECT_NE(text.find(",252.700001,M,47.299999,M,,*"), std::string::npos) << text;
  }
}

// The NMEA parser's fix of the four sentences against the live position of the record.
class GarminPvtRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    ASSERT_EQ(nmea_module_init(), 0);
  }
  void TearDown() override {
    nmea_reader_free(&parser_);
    nmea_module_free();
    set_gblerr(0);
  }
  nmea_parser* parser_ = nullptr;
};

TEST_F(GarminPvtRoundTrip, TheSentencesReadBackToTheLivePosition) {
  for (const Block& b : of_kind("case")) {
    SCOPED_TRACE(b.name);
    pvt_d800 r{};
    ASSERT_EQ(garmin_d800_unpack(bytes_of(b.data), b.data.size(), &r), 0);
    nmea_fix* live = nullptr;
    ASSERT_NE(nmea_fix_new(&live), nullptr);
    pvt_d800_to_position(&r, live);
    nmea_reader_free(&parser_);
    ASSERT_EQ(nmea_reader_create(nullptr, nullptr, &parser_), 0);
    const std::string text = nmea_of(r);
    // GGA alone: its time to the millisecond.
    const size_t gga_end = text.find("\r\n") + 2;
    ASSERT_EQ(nmea_feed(bytes_of(text), int(gga_end), parser_), 0);
    const nmea_fix* read = parser_->fix;
    if (live->valid.position) {
      EXPECT_NEAR(read->time, live->time, 0.0011 / 86400.0);
    }
    ASSERT_EQ(nmea_feed(bytes_of(text) + gga_end, int(text.size() - gga_end), parser_), 0);
    // GGA and PGRMF carry a position only with a fix of 2 or more.
    EXPECT_EQ(read->valid.position, live->valid.position);
    if (live->valid.position) {
      // Four decimals of minutes: 0.006 seconds of arc.
      EXPECT_NEAR(read->latitude, live->latitude, 0.0061);
      EXPECT_NEAR(read->longitude, live->longitude, 0.0061);
      // PGRMF last: whole seconds.
      EXPECT_LE(read->time, live->time);
      EXPECT_GT(read->time, live->time - 1.0 / 86400.0);
      EXPECT_EQ(read->differential, live->differential);
      EXPECT_NEAR(read->altitude, live->altitude, 1e-5);
      EXPECT_NEAR(read->course, live->course, 1.0);
      const double up = std::fabs(r.up) * 3.6;
      EXPECT_NEAR(read->speed, live->speed, 1.0 + up);
      EXPECT_NEAR(read->speed_knots * 1.852, read->speed, 1e-9);
    }
    EXPECT_DOUBLE_EQ(std::floor(read->date), std::floor(live->date));
    EXPECT_NEAR(read->h_error, live->h_error, 1e-5);
    EXPECT_NEAR(read->v_error, live->v_error, 1e-5);
    nmea_fix_free(&live);
  }
}

TEST(GarminPvtPosition, LiveFixesCarryUnitsBearingAndFixType) {
  struct Case {
    uint16_t fix;
    float east, north;
    int type, differential, position, altitude;
    double course;
  };
  const Case cases[] = {
      {0, 0, 5, 0, 0, 0, 0, 0.0},      {1, 0, 5, 0, 0, 0, 0, 0.0},
      {2, 5, 0, 2, 0, 1, 0, 90.0},     {3, 0, -5, 3, 0, 1, 1, 180.0},
      {4, -5, 0, 2, 1, 1, 0, 270.0},   {5, -1, -1, 3, 1, 1, 1, 225.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fix);
    pvt_d800 r{};
    r.fix = c.fix;
    r.lat = -0.5;
    r.lon = 0.25;
    r.alt = 300.0f;
    r.msl_hght = -47.3f;
    r.east = c.east;
    r.north = c.north;
    r.up = 2.0f;
    r.wn_days = 13489;
    r.tow = 86400.0 + 3600.0 * 13 + 60 * 14 + 15.5 + 18;
    r.leap_scnds = 18;
    nmea_fix fix{};
    pvt_d800_to_position(&r, &fix);
    EXPECT_EQ(fix.fix, c.type);
    EXPECT_EQ(fix.differential, c.differential);
    EXPECT_EQ(fix.valid.position, c.position);
    EXPECT_EQ(fix.valid.altitude, c.altitude);
    EXPECT_NEAR(fix.latitude, -0.5 * 180 / M_PI * 3600, 1e-6);
    EXPECT_NEAR(fix.longitude, 0.25 * 180 / M_PI * 3600, 1e-6);
    EXPECT_NEAR(fix.altitude, 252.7, 1e-5);
    EXPECT_NEAR(fix.ell_height, 300.0, 1e-9);
    const double h = std::hypot(double(c.east), double(c.north));
    EXPECT_NEAR(fix.speed, std::sqrt(h * h + 4.0) * 3.6, 1e-4);
    EXPECT_NEAR(fix.speed_knots, fix.speed / 1.852, 1e-9);
    EXPECT_NEAR(fix.course, c.course, 1e-9);
    EXPECT_EQ(fix.valid.time, 1);
    EXPECT_EQ(fix.valid.date, 1);
    EXPECT_NEAR(fix.time, (13 * 3600 + 14 * 60 + 15.5) / 86400.0, 1e-12);
    EXPECT_DOUBLE_EQ(fix.date, 20261207.0);
    int y = 0, m = 0;
    double d = 0;
    date_rec_split(&fix.fix_date, &y, &m, &d);
    EXPECT_EQ(y, 2026);
    EXPECT_EQ(m, 12);
    EXPECT_NEAR(d, 7.0 + fix.time, 1e-6);
  }
}

// Values no receiver sends still give a bounded text and no position.
TEST(GarminPvtPosition, NonsenseValuesGiveNoPosition) {
  const double nonsense[] = {NAN, INFINITY, -1e300, 7.0};
  for (double v : nonsense) {
    SCOPED_TRACE(v);
    pvt_d800 r{};
    r.fix = 3;
    r.lat = v;
    r.lon = v;
    r.tow = v;
    r.alt = float(v);
    r.east = float(v);
    r.wn_days = 2147483000;
    nmea_fix fix{};
    pvt_d800_to_position(&r, &fix);
    EXPECT_EQ(fix.valid.position, 0);
    const std::string text = nmea_of(r);
    EXPECT_LT(text.size(), 4000u);
    EXPECT_EQ(text.compare(0, 7, "$GPGGA,"), 0);
  }
}

}  // namespace
