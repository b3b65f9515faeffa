// The SkyTraq driver against the simulated logger on a pseudo-terminal, on the virtual
// clock: the probe and the connect, the download of a log of several sectors into a
// navigation log that holds the known points and loads back, the erase, the log status
// edge cases, the one-byte sector number, and every fault switch of the simulator.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/gpsport_internal.h"
#include "gps/loggers/skytraq.h"
#include "gps/port_io.h"
#include "tests/gps/skytraq_fixture.h"

namespace {

using gps_sim::skytraq_point;
using skytraq_test::SkytraqFixture;
using skytraq_test::kStepMs;
using tm_test::slurp_file;
using tm_test::split_fields;

class SkytraqDriver : public SkytraqFixture {
 protected:
  // Probes the simulator and closes the port, as the receiver search leaves it.
  gpsport_t* found_port() {
    gpsport_t* port = probe();
    if (port) gpsport_close(port);
    return port;
  }
  // The record lines of a written log (header and comments skipped).
  static std::vector<std::vector<std::string>> records(const std::string& path) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(slurp_file(path));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line))
      if (!line.empty() && line[0] != '#') out.push_back(split_fields(line, ';'));
    return out;
  }
  // Every record line against the known points: position to 1e-7 degree, height to a
  // millimetre, time to the second, the start flag and the speed.
  static void expect_truth(const std::vector<std::vector<std::string>>& rows,
                           const std::vector<skytraq_point>& truth) {
    ASSERT_EQ(rows.size(), truth.size());
    for (size_t i = 0; i < truth.size(); ++i) {
      const skytraq_point& p = truth[i];
      const auto g = skytraq_test::ecef_to_geodetic(p.x, p.y, p.z);
      ASSERT_EQ(rows[i].size(), 17u) << i;
      EXPECT_NEAR(std::stod(rows[i][0]), g.lon, 1e-7) << i;
      EXPECT_NEAR(std::stod(rows[i][1]), g.lat, 1e-7) << i;
      EXPECT_EQ(rows[i][2], "\"" + skytraq_test::utc_text(p.week, p.seconds) + "\"") << i;
      EXPECT_NEAR(std::stod(rows[i][5]), g.h, 1e-3) << i;
      EXPECT_DOUBLE_EQ(std::stod(rows[i][8]), p.speed) << i;
      const bool compact = i > 0 && rows[i][3] == "0";
      if (p.poi) {
        EXPECT_EQ(rows[i][3], "2") << i;
      } else if (!compact) {
        EXPECT_EQ(rows[i][3], "1") << i;
      }
    }
  }
  std::vector<std::string> commands_hex() {
    std::vector<std::string> out;
    for (const std::string& c : sim.commands()) {
      std::string h;
      char b[4];
      for (unsigned char ch : c) std::snprintf(b, sizeof b, "%02X", ch), h += b;
      out.push_back(h);
    }
    return out;
  }
};

TEST_F(SkytraqDriver, ProbeFindsTheLoggerWithItsVersion) {
  const uint8_t kernel[3] = {1, 2, 3}, version[3] = {1, 6, 4}, revision[3] = {9, 7, 30};
  sim.set_version(kernel, version, revision);
  gpsport_t* port = probe(0);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->family, GPS_SKYTRAQ);
  EXPECT_EQ(port->kind, GPSPORT_SERIAL);
  EXPECT_EQ(port->capabilities, 0x30u);
  EXPECT_STREQ(port->display_name, "Skytraq Ker. 1.2.3 Ver. 1.6.4 Rev. 2009-07-30");
  EXPECT_STREQ(port->device_path, pty.path().c_str());
  EXPECT_NE(port->connection, nullptr);
  EXPECT_NE(port->driver, nullptr);
  EXPECT_EQ(commands_hex().front(), "0201");
}

TEST_F(SkytraqDriver, ProbeRefusals) {
  struct Case {
    const char* name;
    uint8_t software_type;
    uint8_t kernel_x;
    bool refuse;
    int silent;
  };
  const Case cases[] = {
      {"other software type", 2, 1, false, 0},
      {"kernel zero", 1, 0, false, 0},
      {"refused", 1, 1, true, 0},
      {"silent", 1, 1, false, 100},
  };
  for (const Case& c : cases) {
    const uint8_t kernel[3] = {c.kernel_x, 0, 0}, v[3] = {1, 0, 0}, r[3] = {10, 1, 1};
    sim.set_version(kernel, v, r);
    sim.set_software_type(c.software_type);
    sim.faults.refuse_all = c.refuse;
    sim.faults.silent = c.silent;
    EXPECT_EQ(probe(GPS_SKYTRAQ), nullptr) << c.name;
    EXPECT_EQ(get_gblerr(), 0) << c.name;
  }
}

TEST_F(SkytraqDriver, ProbeOfAnUnopenableDeviceStops) {
  gpsport_t* port = nullptr;
  gpsport_create(0, 0, 0, 0, nullptr, &port);
  ASSERT_NE(port, nullptr);
  ports_.push_back(port);
  EXPECT_EQ(skytraq_probe("/nonexistent/tty", port), GPS_IDENTIFY_UNOPENABLE);
  EXPECT_EQ(probe(0, "/nonexistent/tty"), nullptr);
}

TEST_F(SkytraqDriver, ConnectToAnotherDeviceGives17) {
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  // Another receiver on the line: another version, then none at all.
  const uint8_t kernel[3] = {2, 0, 0}, v[3] = {1, 0, 0}, r[3] = {10, 1, 1};
  sim.set_version(kernel, v, r);
  int32_t count = -1;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
  sim.stop();
  EXPECT_EQ(download(port, GPS_DATALOG, &count), ERR_PROTOCOL);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(port->connection, nullptr);
}

TEST_F(SkytraqDriver, DownloadWritesTheKnownPointsAndLoadsBack) {
  const auto truth = skytraq_test::truth_points(120);
  const auto sectors = gps_sim::skytraq_pack(truth, 300);
  ASSERT_GT(sectors.size(), 3u);
  sim.set_sectors(sectors);
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), 0);
  EXPECT_EQ(count, int32_t(truth.size()));
  const std::string text = slurp_file(file());
  EXPECT_EQ(text.rfind("TMN-V3_Tarmelo_Navigation_logfile\n#SkyTraq Kernel 1.2.3 Version 1.6.4 "
                       "Revision 2022-03-15\n#longitude;latitude;time;starttrack;",
                       0),
            0u);
  expect_truth(records(file()), truth);
  // The conversation: output off, status, every sector once in order, output on.
  const auto cmds = commands_hex();
  ASSERT_GE(cmds.size(), 4u + sectors.size());
  EXPECT_EQ(cmds[cmds.size() - sectors.size() - 3], "090000");
  EXPECT_EQ(cmds[cmds.size() - sectors.size() - 2], "17");
  EXPECT_EQ(cmds.back(), "090100");
  const auto asked = sim.sector_requests();
  ASSERT_EQ(asked.size(), sectors.size());
  for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], int(i));
  // The file loads back as one tracklog of every point.
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(file(), &f), 0);
  const auto pts = points(f);
  ASSERT_EQ(pts.size(), truth.size());
  const auto g = skytraq_test::ecef_to_geodetic(truth[7].x, truth[7].y, truth[7].z);
  EXPECT_NEAR(tm_test::packed(pts[7]->coords.x), g.lon, 1e-7);
  EXPECT_NEAR(tm_test::packed(pts[7]->coords.y), g.lat, 1e-7);
}

// The fixture image: whole 4096-byte sectors whose records end in erased flash.
TEST_F(SkytraqDriver, DownloadOfTheFixtureImage) {
  const auto truth = skytraq_test::fixture_truth();
  const auto sectors = skytraq_test::fixture_sectors();
  ASSERT_FALSE(truth.empty());
  ASSERT_EQ(sectors.size(), 2u);
  sim.set_sectors(sectors);
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), 0);
  EXPECT_EQ(count, int32_t(truth.size()));
  expect_truth(records(file()), truth);
}

TEST_F(SkytraqDriver, LogStatusEdgeCases) {
  struct Case {
    const char* name;
    uint32_t left, total;
    size_t sectors_asked;
    bool file;
    int error;
  };
  const Case cases[] = {
      {"left equal to total reads one sector", 5, 5, 1, true, 0},
      {"empty log writes no file", 0, 0, 0, false, 0},
      {"more left than total", 9, 5, 0, false, ERR_PROTOCOL},
  };
  const auto truth = skytraq_test::truth_points(4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gps_sim::skytraq_sim local(pty.master(), pty.slave());
    sim.stop();
    local.set_sectors(gps_sim::skytraq_pack(truth));
    local.set_status(c.left, c.total);
    local.start();
    gpsport_t* port = found_port();
    ASSERT_NE(port, nullptr);
    std::remove(file().c_str());
    int32_t count = -1;
    EXPECT_EQ(download(port, GPS_DATALOG, &count), c.error);
    EXPECT_EQ(local.sector_requests().size(), c.sectors_asked);
    EXPECT_EQ(std::ifstream(file()).good(), c.file);
    EXPECT_EQ(count, c.file ? int32_t(truth.size()) : 0);
    // NMEA output is switched back on in every case.
    const auto cmds = local.commands();
    ASSERT_FALSE(cmds.empty());
    EXPECT_EQ(cmds.back(), std::string("\x09\x01\x00", 3));
    local.stop();
  }
}

TEST_F(SkytraqDriver, UnopenableOutputGivesError2AndOutputBackOn) {
  sim.set_sectors(gps_sim::skytraq_pack(skytraq_test::truth_points(5)));
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  EXPECT_EQ(download(port, GPS_DATALOG, &count, "no/such/folder/log"), ERR_FILE_ACCESS);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(sim.sector_requests().empty());
  EXPECT_EQ(sim.commands().back(), std::string("\x09\x01\x00", 3));
}

TEST_F(SkytraqDriver, SectorNumbersStopAtTheLastOneByteNumber) {
  // 291 sectors to read; the request holds one byte, so 256 are asked and sector 0 is
  // never asked a second time as if it were sector 256.
  sim.set_sectors(gps_sim::skytraq_pack(skytraq_test::truth_points(3)));
  sim.set_status(10, 300);
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = 0;
  EXPECT_EQ(download(port, GPS_DATALOG, &count), 0);
  // A sector whose answer comes late (a busy machine) is asked again at once: repeats
  // right behind each other are one request.
  std::vector<int> asked;
  for (int sector : sim.sector_requests())
    if (asked.empty() || asked.back() != sector) asked.push_back(sector);
  ASSERT_EQ(asked.size(), 256u);
  for (size_t i = 0; i < asked.size(); ++i) ASSERT_EQ(asked[i], int(i));
  EXPECT_EQ(count, 3);
}

TEST_F(SkytraqDriver, EraseClearsTheLog) {
  sim.set_sectors(gps_sim::skytraq_pack(skytraq_test::truth_points(5)));
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  tm_test::virtual_worker w([&] {
    ASSERT_EQ(skytraq_open(port), 1);
    skytraq_erase_log(port->connection, port->driver, &count);
  });
  ASSERT_GE(w.run(kStepMs), 0);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(sim.erased());
  EXPECT_EQ(sim.commands().back(), std::string("\x19"));
  // A refusal is no erase.
  sim.faults.refuse_all = true;
  tm_test::virtual_worker w2([&] { skytraq_erase_log(port->connection, port->driver, &count); });
  ASSERT_GE(w2.run(), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(SkytraqDriver, InstallFillsOnlyTheRoutineSlots) {
  const gps_device_column& c = gps_device_table[GPS_SKYTRAQ];
  EXPECT_EQ(c.identify, skytraq_probe);
  EXPECT_EQ(c.connect, skytraq_open);
  EXPECT_EQ(c.download[3], skytraq_download_log);
  EXPECT_EQ(c.download[0], nullptr);
  EXPECT_EQ(c.erase[1], skytraq_erase_log);
  EXPECT_EQ(c.erase[0], nullptr);
  EXPECT_EQ(c.switch_off, nullptr);
  EXPECT_EQ(c.close, skytraq_free);
  EXPECT_STREQ(c.extensions[3], "tmn");
}

// A bad first answer to the version question: asked once more, the logger is found.
TEST_F(SkytraqDriver, ProbeAsksTheVersionAgain) {
  struct Case {
    const char* name;
    std::atomic<int> gps_sim::skytraq_faults::*fault;
    int times;
  };
  const Case cases[] = {
      {"bad checksums", &gps_sim::skytraq_faults::bad_checksum, 2},
      {"silence", &gps_sim::skytraq_faults::silent, 1},
      {"garbage", &gps_sim::skytraq_faults::garbage, 2},
      {"cut answers", &gps_sim::skytraq_faults::cut_answer, 2},
  };
  for (const Case& c : cases) {
    sim.faults.*(c.fault) = c.times;
    gpsport_t* port = probe(GPS_SKYTRAQ);
    EXPECT_NE(port, nullptr) << c.name;
    if (port) gpsport_close(port);
    sim.faults.*(c.fault) = 0;
  }
}

// Each fault a few times during a download: the driver asks again and the log comes
// whole; the fault kept on: error 17, keeping what came before, never hanging.
struct FaultCase {
  const char* name;  // also the test's name
  std::atomic<int> gps_sim::skytraq_faults::*fault;
  int times;
  int error;
};

class SkytraqFaults : public SkytraqDriver, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SkytraqFaults, EndInARetryOrAClearError) {
  const FaultCase c = GetParam();
  const auto truth = skytraq_test::truth_points(40);
  sim.set_sectors(gps_sim::skytraq_pack(truth, 200));
  gpsport_t* port = found_port();
  ASSERT_NE(port, nullptr);
  int32_t count = -1;
  int error = -1;
  tm_test::virtual_worker w([&] {
    if (skytraq_open(port) != 1) return;
    sim.faults.*(c.fault) = c.times;
    skytraq_download_log(port->connection, port->driver, &count, (dir_ + "/log").c_str(), "tmn");
    error = get_gblerr();
    set_gblerr(0);
    sim.faults.*(c.fault) = 0;
    gpsport_close(port);
  });
  ASSERT_GE(w.run(kStepMs), 0);
  EXPECT_EQ(error, c.error);
  if (c.error == 0) {
    EXPECT_EQ(count, int32_t(truth.size()));
    expect_truth(records(file()), truth);
  } else {
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(records(file()).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SkytraqFaults,
    ::testing::Values(
        FaultCase{"BadChecksum", &gps_sim::skytraq_faults::bad_checksum, 2, 0},
        FaultCase{"Silence", &gps_sim::skytraq_faults::silent, 2, 0},
        FaultCase{"Garbage", &gps_sim::skytraq_faults::garbage, 3, 0},
        FaultCase{"CutAnswer", &gps_sim::skytraq_faults::cut_answer, 2, 0},
        FaultCase{"LostAcknowledgement", &gps_sim::skytraq_faults::lost_ack, 2, 0},
        FaultCase{"CutSector", &gps_sim::skytraq_faults::cut_sector, 2, 0},
        FaultCase{"SectorInSmallPieces", &gps_sim::skytraq_faults::split_tag, 3, 0},
        FaultCase{"SectorChecksumWrong", &gps_sim::skytraq_faults::bad_sector_checksum, 2, 0},
        FaultCase{"AnswersBeforeTheirAcknowledgement", &gps_sim::skytraq_faults::out_of_order, 1000, 0},
        FaultCase{"StatusNeverAnswered", &gps_sim::skytraq_faults::silent, 1000, ERR_PROTOCOL},
        FaultCase{"AcknowledgementAlwaysLost", &gps_sim::skytraq_faults::lost_ack, 1000, ERR_PROTOCOL},
        FaultCase{"SectorsAlwaysCut", &gps_sim::skytraq_faults::cut_sector, 1000, ERR_PROTOCOL},
        FaultCase{"SectorChecksumAlwaysWrong", &gps_sim::skytraq_faults::bad_sector_checksum, 1000,
                  ERR_PROTOCOL}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
