// The simulated SkyTraq logger proven against an outside host in real time: gpsbabel's
// SkyTraq download reads the log image the simulator serves and must give the known
// points (1e-7 degree, 1 s); its SkyTraq binary file reader decodes the image file our
// driver's download is compared with.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/gps/skytraq_fixture.h"
#include "tests/support/run_tool.h"

namespace {

using gps_sim::skytraq_point;

const std::string kFixtures = TM_FIXTURE_DIR "/skytraq/";

// The track points of a GPX text: latitude, longitude, time.
struct gpx_point {
  double lat, lon;
  std::string time;
};
std::vector<gpx_point> gpx_points(const std::string& text) {
  std::vector<gpx_point> out;
  static const std::regex pt(
      "<(trkpt|wpt) lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">[\\s\\S]*?<time>([^<]+)</time>");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pt); it != std::sregex_iterator(); ++it) {
    if ((*it)[1] != "trkpt") continue;
    out.push_back({std::stod((*it)[2]), std::stod((*it)[3]), (*it)[4]});
  }
  return out;
}

void expect_gpx_truth(const std::vector<gpx_point>& got, const std::vector<skytraq_point>& truth) {
  ASSERT_EQ(got.size(), truth.size());
  for (size_t i = 0; i < truth.size(); ++i) {
    const auto g = skytraq_test::ecef_to_geodetic(truth[i].x, truth[i].y, truth[i].z);
    EXPECT_NEAR(got[i].lat, g.lat, 1e-7) << i;
    EXPECT_NEAR(got[i].lon, g.lon, 1e-7) << i;
    EXPECT_EQ(got[i].time, skytraq_test::utc_text(truth[i].week, truth[i].seconds) + "Z") << i;
  }
}

class SkytraqHost : public skytraq_test::SkytraqFixture {
 protected:
  void SetUp() override {
    SkytraqFixture::SetUp();
    if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "gpsbabel not installed";
  }

  // gpsbabel downloads the simulated log into a GPX file named `name`; its points.
  std::vector<gpx_point> host_download(const std::string& name) {
    const std::string out = dir_ + "/" + name;
    std::string log;
    const int status = tm_test::run_tool({"gpsbabel", "-t", "-i", "skytraq,baud=0,read-at-once=0", "-f",
                                          pty.path(), "-o", "gpx", "-F", out},
                                         &log, 120000);
    EXPECT_EQ(status, 0) << log;
    return gpx_points(tm_test::slurp_file(out));
  }
};

TEST_F(SkytraqHost, GpsbabelDownloadsTheSimulatedLog) {
  const auto truth = skytraq_test::truth_points(700);
  const auto sectors = gps_sim::skytraq_pack(truth, 4096);
  ASSERT_GE(sectors.size(), 2u);
  sim.set_sectors(sectors);
  expect_gpx_truth(host_download("host.gpx"), truth);
}

// The checksum byte after a sector's tag is the XOR of the sector's bytes: the outside
// host takes the simulator's sectors, and asks again for one whose byte does not match,
// as our driver does.
TEST_F(SkytraqHost, GpsbabelChecksTheSectorChecksum) {
  const auto truth = skytraq_test::truth_points(30);
  const auto sectors = gps_sim::skytraq_pack(truth, 4096);
  sim.set_sectors(sectors);
  sim.faults.bad_sector_checksum = 1;
  expect_gpx_truth(host_download("checked.gpx"), truth);
  const std::vector<int> asked = sim.sector_requests();
  ASSERT_GE(asked.size(), 2u);
  EXPECT_EQ(asked[0], 0);
  EXPECT_EQ(asked[1], 0) << "the sector with the wrong checksum was not asked again";
  EXPECT_EQ(sim.faults.bad_sector_checksum.load(), 0);
}

TEST_F(SkytraqHost, GpsbabelErasesTheSimulatedLog) {
  sim.set_sectors(gps_sim::skytraq_pack(skytraq_test::truth_points(20)));
  std::string log;
  const int status = tm_test::run_tool({"gpsbabel", "-i", "skytraq,baud=0,erase=1,no-output=1", "-f",
                                        pty.path(), "-o", "gpx", "-F", dir_ + "/erase.gpx"},
                                       &log, 120000);
  ASSERT_EQ(status, 0) << log;
  EXPECT_TRUE(sim.erased());
}

// The oracle of the fixture image: gpsbabel's binary file reader gives the known points.
TEST_F(SkytraqHost, GpsbabelDecodesTheFixtureImage) {
  const std::string out = dir_ + "/image.gpx";
  std::string log;
  ASSERT_EQ(tm_test::run_tool({"gpsbabel", "-t", "-i", "skytraq-bin", "-f",
                               skytraq_test::kFixtureDir + "log.bin", "-o", "gpx", "-F", out},
                              &log, 60000),
            0)
      << log;
  expect_gpx_truth(gpx_points(tm_test::slurp_file(out)), skytraq_test::fixture_truth());
}

}  // namespace
