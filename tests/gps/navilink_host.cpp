// The simulated Navilink receiver read by an outside host (gpsbabel's navilink reader) in
// real time: the waypoints, track points and routes it reports are the truth the
// simulator was built from (1e-7 degree, 1 s).
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "tests/gps/navilink_fixture.h"
#include "tests/support/run_tool.h"

namespace {

struct gpx_point {
  std::string kind;  // wpt, trkpt, rtept
  double lat, lon;
  std::string name, time;
};

std::vector<gpx_point> parse_gpx(const std::string& text) {
  std::vector<gpx_point> out;
  const std::regex point("<(wpt|trkpt|rtept) lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">([\\s\\S]*?)</\\1>");
  const std::regex name("<name>([^<]*)</name>"), time("<time>([^<]*)</time>");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), point); it != std::sregex_iterator(); ++it) {
    gpx_point p{(*it)[1], std::stod((*it)[2]), std::stod((*it)[3]), "", ""};
    const std::string body = (*it)[4];
    std::smatch m;
    if (std::regex_search(body, m, name)) p.name = m[1];
    if (std::regex_search(body, m, time)) p.time = m[1];
    out.push_back(p);
  }
  return out;
}

TEST(NavilinkHost, GpsbabelReadsTheTruthFromTheSimulator) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  gps_sim::navilink_sim sim(pty);
  lnav_test::navilink_truth(sim);
  sim.start();
  std::string out;
  const int rc = tm_test::run_tool(
      {"gpsbabel", "-w", "-t", "-r", "-i", "navilink", "-f", pty.path(), "-o", "gpx", "-F", "-"}, &out,
      60000);
  if (rc == 127) GTEST_SKIP() << "gpsbabel is not installed";
  ASSERT_EQ(rc, 0) << out;
  const auto points = parse_gpx(out);
  std::vector<gpx_point> wpt, trk, rte;
  for (const auto& p : points)
    (p.kind == "wpt" ? wpt : p.kind == "trkpt" ? trk : rte).push_back(p);

  ASSERT_EQ(wpt.size(), sim.waypoints.size()) << out;
  for (size_t i = 0; i < wpt.size(); ++i) {
    const auto& w = sim.waypoints[i];
    EXPECT_EQ(wpt[i].name, w.name);
    EXPECT_NEAR(wpt[i].lat, w.lat_e7 * 1e-7, 1e-7);
    EXPECT_NEAR(wpt[i].lon, w.lon_e7 * 1e-7, 1e-7);
  }
  EXPECT_EQ(wpt[0].time, "2008-07-06T05:04:03Z");

  ASSERT_EQ(trk.size(), sim.track.size()) << out;
  for (size_t i = 0; i < trk.size(); ++i) {
    const auto& t = sim.track[i];
    EXPECT_NEAR(trk[i].lat, t.lat_e7 * 1e-7, 1e-7);
    EXPECT_NEAR(trk[i].lon, t.lon_e7 * 1e-7, 1e-7);
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.date.year, t.date.month,
                  t.date.day, t.date.hour, t.date.minute, t.date.second);
    EXPECT_EQ(trk[i].time, when);
  }

  std::vector<std::string> route_names;
  for (const auto& p : rte) route_names.push_back(p.name);
  EXPECT_EQ(route_names, (std::vector<std::string>{"HOME", "CAMP", "CAMP", "PEAK", "HOME", "PEAK"}));
  sim.stop();
}

}  // namespace
