// The Globalsat driver against the simulated logger on a pseudo-terminal, on the virtual
// clock: the probe (and that neither family's identification claims the other's
// logger), the connect, the download of every track file in every record format into a
// navigation log that loads back, the paged list, the erase, and the fault switches.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/loggers/globalsat.h"
#include "gps/loggers/skytraq.h"
#include "tests/gps/globalsat_fixture.h"
#include "tests/support/gps_sim/skytraq_sim.h"

namespace {

using globalsat_test::GlobalsatFixture;
using globalsat_test::kStepMs;

class GlobalsatDriver : public GlobalsatFixture {};

TEST_F(GlobalsatDriver, ProbeFindsTheLoggerWithItsId) {
  gpsport_t* port = probe(0);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->family, GPS_GLOBALSAT);
  EXPECT_EQ(port->kind, GPSPORT_SERIAL);
  EXPECT_EQ(port->capabilities, 0x30u);
  EXPECT_STREQ(port->display_name, "GlobalSat DataLogger ID 00123456789ABCDE");
  EXPECT_STREQ(port->device_path, pty.path().c_str());
  const auto cmds = sim.commands();
  ASSERT_GE(cmds.size(), 2u);
  EXPECT_EQ(cmds[0], std::string("\xBC\x00", 2));
  EXPECT_EQ(cmds[1], std::string("\xBF\x00", 2));
}

TEST_F(GlobalsatDriver, ProbeRefusals) {
  struct Case {
    const char* name;
    bool other_product;
    int silent;
  };
  const Case cases[] = {{"another product", true, 0}, {"silent", false, 1000}};
  for (const Case& c : cases) {
    sim.faults.other_product = c.other_product;
    sim.faults.silent = c.silent;
    EXPECT_EQ(probe(GPS_GLOBALSAT), nullptr) << c.name;
    EXPECT_EQ(get_gblerr(), 0) << c.name;
    sim.faults.silent = 0;
  }
  EXPECT_EQ(probe(0, "/nonexistent/tty"), nullptr);
}

// Both families installed, and a SkyTraq logger on a second line.
class GlobalsatBesideSkytraq : public GlobalsatFixture {
 protected:
  void SetUp() override {
    GlobalsatFixture::SetUp();
    skytraq_install();
    ASSERT_TRUE(other.ok());
    sky.set_sectors(gps_sim::skytraq_pack({{2200, 1000, 4201000, 168000, 4780000, 5, false}}));
    sky.start();
  }
  void TearDown() override {
    sky.stop();
    GlobalsatFixture::TearDown();
  }
  tm_test::pty_pair other;
  gps_sim::skytraq_sim sky{other.master(), other.slave()};
};

TEST_F(GlobalsatBesideSkytraq, ProbeOfEveryFamilyFindsEachLoggerByItsOwn) {
  gpsport_t* g = probe(0);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->family, GPS_GLOBALSAT);
  gpsport_t* s = probe(0, other.path());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->family, GPS_SKYTRAQ);
}

TEST_F(GlobalsatBesideSkytraq, NeitherIdentificationClaimsTheOthersLogger) {
  gpsport_t* port = nullptr;
  gpsport_create(0, 0, 0, 0, nullptr, &port);
  ASSERT_NE(port, nullptr);
  ports_.push_back(port);
  int32_t sky_on_globalsat = -2, globalsat_on_sky = -2;
  tm_test::virtual_worker w([&] {
    sky_on_globalsat = skytraq_probe(pty.path().c_str(), port);
    globalsat_on_sky = globalsat_probe(other.path().c_str(), port);
  });
  ASSERT_GE(w.run(kStepMs), 0);
  EXPECT_EQ(sky_on_globalsat, 0);
  EXPECT_EQ(globalsat_on_sky, 0);
  EXPECT_EQ(port->driver, nullptr);
  EXPECT_EQ(port->connection, nullptr);
}

TEST_F(GlobalsatDriver, ConnectToAnotherLoggerGives17) {
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  const uint8_t other_id[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  sim.set_identifier(other_id);
  int32_t count = -1;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), ERR_PROTOCOL);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(port->connection, nullptr);
  sim.stop();
  EXPECT_EQ(download(port, GPS_DATALOG, &count), ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
}

TEST_F(GlobalsatDriver, DownloadWritesEveryTrackFileAndLoadsBack) {
  const auto tracks = globalsat_test::truth_tracks();
  sim.set_tracks(tracks);
  sim.set_page_size(3);  // two list pages
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), 0);
  EXPECT_EQ(count, 4 * 30);
  EXPECT_EQ(tm_test::slurp_file(file()).rfind("TMN-V3_Tarmelo_Navigation_logfile\n"
                                              "#Globalsat Data Logger ID 00123456789ABCDE\n"
                                              "#longitude;latitude;time;",
                                              0),
            0u);
  expect_truth(records(file()), tracks);
  // The list asked page by page, then each file once.
  std::vector<std::string> asked;
  for (const auto& c : sim.commands())
    if (uint8_t(c[0]) == 0xBB || uint8_t(c[0]) == 0xB5) asked.push_back(c);
  const std::vector<std::string> expected = {
      std::string("\xBB\x00\x00", 3), std::string("\xBB\x00\x03", 3), std::string("\xB5\x00\x00", 3),
      std::string("\xB5\x00\x01", 3), std::string("\xB5\x00\x02", 3), std::string("\xB5\x00\x03", 3)};
  EXPECT_EQ(asked, expected);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(file(), &f), 0);
  const auto pts = points(f);
  ASSERT_EQ(pts.size(), 120u);
  EXPECT_NEAR(tm_test::packed(pts[95]->coords.x), globalsat_test::degrees(tracks[3].points[5].longitude), 1e-9);
  EXPECT_NEAR(tm_test::packed(pts[95]->coords.y), globalsat_test::degrees(tracks[3].points[5].latitude), 1e-9);
}

TEST_F(GlobalsatDriver, FullTrackFilesInEachFormat) {
  // As many points as two packets hold: 250 in format 0, 101 in format 1, 64 in format 2.
  std::vector<gps_sim::globalsat_track> tracks;
  for (int format : {0, 1, 2}) {
    auto t = globalsat_test::truth_tracks(int(gps_sim::globalsat_track_capacity(format)))[0];
    t.format = format;
    tracks.push_back(t);
  }
  EXPECT_EQ(tracks[0].points.size(), 250u);
  EXPECT_EQ(tracks[1].points.size(), 101u);
  EXPECT_EQ(tracks[2].points.size(), 64u);
  sim.set_tracks(tracks);
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), 0);
  EXPECT_EQ(count, 250 + 101 + 64);
  expect_truth(records(file()), tracks);
}

TEST_F(GlobalsatDriver, EmptyLogWritesNoFile) {
  sim.set_tracks({});
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(std::ifstream(file()).good());
}

TEST_F(GlobalsatDriver, UnopenableOutputGivesError2) {
  sim.set_tracks(globalsat_test::truth_tracks(3));
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  EXPECT_EQ(download(port, GPS_DATALOG, &count, "no/such/folder/log"), ERR_FILE_ACCESS);
  EXPECT_EQ(count, 0);
  for (const auto& c : sim.commands()) EXPECT_NE(uint8_t(c[0]), 0xB5);
}

TEST_F(GlobalsatDriver, EraseClearsTheLog) {
  sim.set_tracks(globalsat_test::truth_tracks(3));
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  tm_test::virtual_worker w([&] {
    ASSERT_EQ(globalsat_connect(port), 1);
    globalsat_erase_log(port->connection, port->driver, &count);
  });
  ASSERT_GE(w.run(kStepMs), 0);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(sim.erased());
  EXPECT_EQ(sim.commands().back(), std::string("\xBA\xFF\xFF", 3));
  // No answer is no erase.
  sim.faults.silent = 1000;
  tm_test::virtual_worker w2([&] { globalsat_erase_log(port->connection, port->driver, &count); });
  ASSERT_GE(w2.run(), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(GlobalsatDriver, InstallFillsOnlyTheRoutineSlots) {
  const gps_device_column& c = gps_device_table[GPS_GLOBALSAT];
  EXPECT_EQ(c.identify, globalsat_probe);
  EXPECT_EQ(c.connect, globalsat_connect);
  EXPECT_EQ(c.download[3], globalsat_write_tmn);
  EXPECT_EQ(c.download[1], nullptr);
  EXPECT_EQ(c.erase[1], globalsat_erase_log);
  EXPECT_EQ(c.erase[0], nullptr);
  EXPECT_EQ(c.switch_off, nullptr);
  EXPECT_EQ(c.close, globalsat_close);
  EXPECT_STREQ(c.extensions[3], "tmn");
}

// Each fault a few times during a download: asked again, the log comes whole; kept on:
// error 17 and what came before stays written.
struct FaultCase {
  const char* name;  // also the test's name
  std::atomic<int> gps_sim::globalsat_faults::*fault;
  int times;
  int error;
  int points;
};

class GlobalsatFaults : public GlobalsatDriver, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(GlobalsatFaults, EndInARetryOrAClearError) {
  const FaultCase c = GetParam();
  const auto tracks = globalsat_test::truth_tracks();
  sim.set_tracks(tracks);
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  int error = -1;
  tm_test::virtual_worker w([&] {
    if (globalsat_connect(port) != 1) return;
    sim.faults.*(c.fault) = c.times;
    globalsat_write_tmn(port->connection, port->driver, &count, (dir_ + "/log").c_str(), "tmn");
    error = get_gblerr();
    set_gblerr(0);
    sim.faults.*(c.fault) = 0;
    gpsport_close(port);
  });
  ASSERT_GE(w.run(kStepMs), 0);
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(count, c.points);
  if (c.error == 0) expect_truth(records(file()), tracks);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, GlobalsatFaults,
    ::testing::Values(
        FaultCase{"BadChecksum", &gps_sim::globalsat_faults::bad_checksum, 2, 0, 120},
        FaultCase{"Silence", &gps_sim::globalsat_faults::silent, 2, 0, 120},
        FaultCase{"Garbage", &gps_sim::globalsat_faults::garbage, 2, 0, 120},
        FaultCase{"CutAnswer", &gps_sim::globalsat_faults::cut_answer, 2, 0, 120},
        FaultCase{"LostPacket", &gps_sim::globalsat_faults::lost_packet, 2, 0, 120},
        FaultCase{"ShortPackets", &gps_sim::globalsat_faults::short_packet, 2, 0, 120},
        FaultCase{"ListNeverAnswered", &gps_sim::globalsat_faults::silent, 1000, ERR_PROTOCOL, 0},
        FaultCase{"PacketsAlwaysLost", &gps_sim::globalsat_faults::lost_packet, 1000, ERR_PROTOCOL, 0}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(GlobalsatDriver, ExtraPacketsAndAStuckListEndCleanly) {
  const auto tracks = globalsat_test::truth_tracks();
  sim.set_tracks(tracks);
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  // Two packets more after the first file: never more than its points, never another's.
  sim.faults.extra_packets = 1;
  int32_t count = 0;
  download(port, GPS_DATALOG, &count);
  const auto rows = records(file());
  ASSERT_GE(rows.size(), 30u);
  expect_truth(std::vector<std::vector<std::string>>(rows.begin(), rows.begin() + 30), {tracks[0]});
  // A list whose next page is itself: error 17, no endless asking.
  sim.faults.stuck_list = true;
  sim.set_page_size(1);
  EXPECT_EQ(download(port, GPS_DATALOG, &count), ERR_PROTOCOL);
  EXPECT_EQ(count, 0);
}

}  // namespace
