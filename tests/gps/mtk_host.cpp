// The simulated MediaTek logger read by an outside host (gpsbabel's mtk reader) in real
// time: the track it reports is the truth the simulator's memory was built from
// (1e-7 degree, 1 s).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/dates.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

TEST(MtkHost, GpsbabelReadsTheTruthFromTheSimulator) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  gps_sim::mtk_sim sim(pty);
  std::vector<gps_sim::mtk_point> truth(3);
  for (size_t i = 0; i < truth.size(); ++i) {
    truth[i].utc = 1262304000 + uint32_t(i) * 61;
    truth[i].lat = 45.1234567 + double(i) * 0.0011111;
    truth[i].lon = -73.7654321 - double(i) * 0.0022222;
    truth[i].height = 12.5f + float(i);
    truth[i].speed = 3.5f;
  }
  sim.format = 0x3F;
  sim.record_count = uint32_t(truth.size());
  sim.image = gps_sim::mtk_build_image(sim.format, truth);
  sim.start();
  const std::string dir = tm_test::fresh_dir("mtkhost");
  std::string out;
  // The host keeps a copy of the memory in its working folder.
  const int rc = tm_test::run_tool({"sh", "-c",
                                    "cd '" + dir + "' && exec gpsbabel -t -i mtk -f '" + pty.path() +
                                        "' -o gpx -F -"},
                                   &out, 20000);
  sim.stop();
  if (rc == 127 || out.find("not found") != std::string::npos) GTEST_SKIP() << "gpsbabel is not installed";
  std::string asked;
  for (const std::string& r : sim.requests()) asked += r + "\n";
  ASSERT_EQ(rc, 0) << out << asked;
  const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">[\\s\\S]*?<time>([^<]*)</time>");
  std::vector<std::smatch> found;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), point); it != std::sregex_iterator(); ++it)
    found.push_back(*it);
  ASSERT_EQ(found.size(), truth.size()) << out;
  for (size_t i = 0; i < truth.size(); ++i) {
    EXPECT_NEAR(std::stod(found[i][1]), truth[i].lat, 1e-7);
    EXPECT_NEAR(std::stod(found[i][2]), truth[i].lon, 1e-7);
    char when[40];
    format_date_iso(date_from_time_t(std::time_t(truth[i].utc)), 1, 1, when, sizeof when);
    EXPECT_EQ(found[i][3].str().substr(0, 19), std::string(when).substr(0, 19));
  }
}

}  // namespace
