// The simulated Globalsat logger proven against an outside host in real time: gpsbabel's
// download of this logger family (the variant at 115200 baud) reads the track files the
// simulator serves and must give the known points to the second; positions agree to
// 2e-6 degree, the precision of the single-precision numbers that host computes with.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/gps/globalsat_fixture.h"
#include "tests/support/run_tool.h"

namespace {

struct gpx_point {
  double lat, lon;
  std::string time;  // "" when the point has none
};

std::vector<gpx_point> gpx_track_points(const std::string& text) {
  std::vector<gpx_point> out;
  static const std::regex pt(
      "<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\"(/>|>([\\s\\S]*?)</trkpt>)");
  static const std::regex tm("<time>([^<]+)</time>");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pt); it != std::sregex_iterator(); ++it) {
    const std::string body = (*it)[4];
    std::smatch t;
    out.push_back({std::stod((*it)[1]), std::stod((*it)[2]),
                   std::regex_search(body, t, tm) ? t[1].str() : std::string()});
  }
  return out;
}

class GlobalsatHost : public globalsat_test::GlobalsatFixture {
 protected:
  void SetUp() override {
    GlobalsatFixture::SetUp();
    if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel not installed";
  }
};

TEST_F(GlobalsatHost, GpsbabelDownloadsTheSimulatedLog) {
  const auto tracks = globalsat_test::truth_tracks(12);
  sim.set_tracks(tracks);
  const std::string out = dir_ + "/host.gpx";
  std::string log;
  const int status = tm_test::run_tool(
      {"gpsbabel", "-t", "-i", "dg-100", "-f", pty.path(), "-o", "gpx", "-F", out}, &log, 120000);
  ASSERT_EQ(status, 0) << log;
  const auto got = gpx_track_points(tm_test::slurp_file(out));
  std::vector<gpx_point> want;
  for (const auto& t : tracks)
    for (size_t i = 0; i < t.points.size(); ++i) {
      const auto& p = t.points[i];
      // That host gives no time to any point of a file in format 0, its first included.
      const bool timed = t.format != 0;
      want.push_back({globalsat_test::degrees(p.latitude), globalsat_test::degrees(p.longitude),
                      timed ? globalsat_test::time_text(p.time, p.date) + "Z" : ""});
    }
  std::string asked;
  for (const std::string& c : sim.commands()) {
    for (unsigned char ch : c) asked += "0123456789ABCDEF"[ch >> 4], asked += "0123456789ABCDEF"[ch & 15];
    asked += ' ';
  }
  ASSERT_EQ(got.size(), want.size()) << log << asked;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i].lat, want[i].lat, 2e-6) << i;
    EXPECT_NEAR(got[i].lon, want[i].lon, 2e-6) << i;
    EXPECT_EQ(got[i].time, want[i].time) << i;
  }
}

TEST_F(GlobalsatHost, GpsbabelErasesTheSimulatedLog) {
  sim.set_tracks(globalsat_test::truth_tracks(3));
  std::string log;
  const int status = tm_test::run_tool({"gpsbabel", "-i", "dg-100,erase_only", "-f", pty.path(),
                                        "-o", "gpx", "-F", dir_ + "/erase.gpx"},
                                       &log, 60000);
  ASSERT_EQ(status, 0) << log;
  EXPECT_TRUE(sim.erased());
  ASSERT_FALSE(sim.commands().empty());
  EXPECT_EQ(sim.commands().back(), std::string("\xBA\xFF\xFF", 3));
}

}  // namespace
