// The live position of real-time records against an outside host: gpsbabel follows the
// simulated receiver's real-time stream over a pseudo-terminal (real time) and writes
// NMEA; each of its RMC sentences, read through our NMEA parser, must give the date,
// time, position, speed and course that our live position gives for the same record:
// records north- and southbound, east- and westbound, before and after the leap seconds
// take the time back over midnight and across the week.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/garmin/pvt.h"
#include "gps/nmea_parser.h"
#include "tests/gps/garmin_sim_models.h"
#include "tests/support/object_env.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::garmin_sim_pvt;

garmin_sim_pvt record(double lat_deg, double lon_deg, double tow, float east, float north,
                      int32_t wn_days) {
  garmin_sim_pvt p;
  p.fix = 3;
  p.alt = 250.0f;
  p.msl_hght = -47.3f;
  p.leap_scnds = 18;
  p.tow = tow;
  p.wn_days = wn_days;
  p.lat = lat_deg * M_PI / 180.0;
  p.lon = lon_deg * M_PI / 180.0;
  p.east = east;
  p.north = north;
  return p;
}

pvt_d800 d800_of(const garmin_sim_pvt& p) {
  pvt_d800 r{};
  r.alt = p.alt;
  r.epe = p.epe;
  r.eph = p.eph;
  r.epv = p.epv;
  r.fix = p.fix;
  r.tow = p.tow;
  r.lat = p.lat;
  r.lon = p.lon;
  r.east = p.east;
  r.north = p.north;
  r.up = p.up;
  r.msl_hght = p.msl_hght;
  r.leap_scnds = p.leap_scnds;
  r.wn_days = p.wn_days;
  return r;
}

class GarminPvtGpsbabel : public ::testing::Test {
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

TEST_F(GarminPvtGpsbabel, TheLivePositionAgreesWithTheOutsideHost) {
  if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  tm_test::garmin_model m = tm_test::sample_model(110, 202, 210, 304, 312);
  m.offers_pvt = true;
  m.pvt = {
      record(45.836617, 6.302533, 345618, 3.0f, 4.0f, 13489),       // north-east
      record(-22.951916, -43.210487, 7, -2.0f, -6.0f, 13489),       // south-west, the week before
      record(-33.8584, 151.2150, 86417, 0.0f, -10.0f, 13496),       // south, before midnight
      record(51.4779, -0.0015, 604799, -12.5f, 0.0f, 6321),         // west, end of a week in 2007
  };
  m.pvt_interval_ms = 150;
  m.pvt_repeat = true;
  tm_test::garmin_sim_pty sim(m);
  ASSERT_TRUE(sim.start_realtime());
  const std::string out = tm_test::fresh_dir("gpvt_babel") + "out.nmea";
  std::string log;
  tm_test::run_tool({"gpsbabel", "-T", "-i", "garmin", "-f", sim.path(), "-o", "nmea", "-F", out},
                    &log, 4000);
  sim.stop();
  std::ifstream in(out, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  text.erase(text.rfind('\n') + 1);  // a line cut by the kill

  ASSERT_EQ(nmea_reader_create(nullptr, nullptr, &parser_), 0);
  std::istringstream lines(text);
  std::string line;
  size_t rmc = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("$GPRMC,", 0) != 0) continue;
    SCOPED_TRACE(line);
    nmea_fix_clear(parser_->fix);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line += "\r\n";
    ASSERT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(line.data()), int(line.size()), parser_), 0);
    const nmea_fix* host = parser_->fix;
    ASSERT_EQ(host->valid.position, 1);
    const pvt_d800 r = d800_of(m.pvt[rmc % m.pvt.size()]);
    nmea_fix ours{};
    pvt_d800_to_position(&r, &ours);
    // The host writes whole seconds and three decimals of minutes.
    EXPECT_NEAR(host->time * 86400.0, ours.time * 86400.0, 0.5);
    EXPECT_DOUBLE_EQ(std::floor(host->date), std::floor(ours.date));
    EXPECT_NEAR(host->latitude, ours.latitude, 0.07);
    EXPECT_NEAR(host->longitude, ours.longitude, 0.07);
    EXPECT_NEAR(host->speed_knots, ours.speed_knots, 0.006);
    EXPECT_NEAR(host->course, ours.course, 0.006);
    ++rmc;
  }
  EXPECT_GE(rmc, m.pvt.size()) << log.substr(0, 2000) << text;
}

}  // namespace
