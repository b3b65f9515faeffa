// The MediaTek driver against the simulated logger on a pseudo-terminal, on the virtual
// clock: the probe (and no claim on a Navilink receiver, nor Navilink's on it), a connect
// that meets another logger, the download of the memory in blocks of at most 2048 bytes
// with the NMEA output switched off and restored, the erase, and every fault of the line
// ending in a retry or error 17, never a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/gpsport.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/navilink.h"
#include "gps/port_io.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/navilink_fixture.h"
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/test_env.h"

namespace {

using gps_sim::mtk_fault;
using gps_sim::mtk_sim;
using lnav_test::lines_of;
using lnav_test::run_with;
using lnav_test::slurp;

const char* kName = "MediaTek SIMFW_1.0,0001,,,AXN_SIM,0002,SIM200,1.0";

class MtkDriver : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty_.ok());
    mtk_module_init();
    mtk_install();
    navilink_install();
    sim_.format = 0x3F;
    sim_.image = std::string(5000, '\x5A');
    dir_ = tm_test::fresh_dir("mtk");
    base_ = dir_ + "/dl";
  }
  void TearDown() override {
    sim_.stop();
    mtk_module_free();
    GpsPortFixture::TearDown();
  }

  struct link {
    com_device* dev = nullptr;
    mtk_ctx* ctx = nullptr;
    ~link() {
      mtk_ctx_free(&ctx);
      com_close(&dev);
    }
  };
  void open_link(link& l) {
    ASSERT_NE(com_open(pty_.path().c_str(), 115200, &l.dev), nullptr);
    ASSERT_EQ(mtk_ctx_new(l.dev, &l.ctx), 0);
  }
  // The download on the virtual clock, moved step_ms at a time while both sides wait
  // (the driver's waits are seconds long: larger steps only wait its time-outs out sooner).
  int32_t download(int64_t* took = nullptr, int64_t step_ms = 10) {
    link l;
    open_link(l);
    int32_t count = -1;
    const int64_t t = run_with(sim_, [&] {
      mtk_download_datalog(l.dev, l.ctx, &count, base_.c_str(), "mtkt");
    }, step_ms);
    EXPECT_GE(t, 0) << "the download hung";
    if (took) *took = t;
    return count;
  }
  std::vector<std::string> log_requests() const {
    std::vector<std::string> out;
    for (const std::string& r : sim_.requests())
      if (r.rfind("$PMTK182", 0) == 0 || r.rfind("$PMTK314", 0) == 0) out.push_back(r);
    return out;
  }

  tm_test::pty_pair pty_;
  mtk_sim sim_{pty_};
  std::string dir_, base_;
};

TEST_F(MtkDriver, ProbeFindsTheLoggerAndAnotherOneIsRefused) {
  sim_.start();
  gpsport_t* port = nullptr;
  ASSERT_GE(run_with(sim_, [&] { gps_probe(pty_.path().c_str(), 0, &port); }), 0);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->family, GPS_MEDIATEK);
  EXPECT_STREQ(port->display_name, kName);
  EXPECT_EQ(port->capabilities, 0x30u);
  EXPECT_EQ(port->speed, 115200);
  // Identify leaves nothing open: connect opens the port again.
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);

  int32_t ok = -1;
  ASSERT_GE(run_with(sim_, [&] { ok = mtk_connect(port); }), 0);
  EXPECT_EQ(ok, 1);
  EXPECT_NE(port->driver, nullptr);
  gpsport_close(port);

  sim_.stop();
  sim_.firmware = "OTHER_2.0,0001,,,";
  sim_.start();
  ASSERT_GE(run_with(sim_, [&] { ok = mtk_connect(port); }), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
  set_gblerr(0);
  free_obj(&port);
}

// The name is built from the firmware and release answers, whatever they hold.
TEST_F(MtkDriver, NameFromShortOrMissingAnswers) {
  const struct {
    const char* what;
    std::string firmware, release;
    bool firmware_answered, release_answered;
    int32_t found;
    const char* name;
  } cases[] = {
      {"no release", "FW,1", "", true, false, 1, "MediaTek FW,1"},
      {"empty firmware fields", "", "R", true, true, 1, "MediaTek R"},
      {"empty release fields", "FW", "", true, true, 1, "MediaTek FW"},
      {"no firmware", "", "", false, true, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.stop();
    sim_.firmware = c.firmware;
    sim_.release = c.release;
    sim_.answer_firmware = c.firmware_answered;
    sim_.answer_release = c.release_answered;
    sim_.start();
    gpsport_t* port = nullptr;
    gpsport_create(1, GPSPORT_SERIAL, 115200, 0, "", &port);
    int32_t found = -9;
    ASSERT_GE(run_with(sim_, [&] { found = mtk_identify(pty_.path().c_str(), port); }), 0);
    EXPECT_EQ(found, c.found);
    if (found == 1) {
      EXPECT_STREQ(port->display_name, c.name);
    }
    EXPECT_EQ(get_gblerr(), 0);
    free_obj(&port);
  }
}

TEST_F(MtkDriver, NeitherFamilyClaimsTheOthersDevice) {
  // The Navilink identify meets the MediaTek logger.
  sim_.start();
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 115200, 0, "", &port);
  str_set(pty_.path().c_str(), &port->device_path);
  int32_t found = -9;
  ASSERT_GE(run_with(sim_, [&] { found = navilink_identify(pty_.path().c_str(), port); }), 0);
  EXPECT_EQ(found, 0);
  sim_.stop();
  // The MediaTek identify meets the Navilink receiver.
  gps_sim::navilink_sim nl(pty_);
  lnav_test::navilink_truth(nl);
  nl.start();
  pty_.drain();
  ASSERT_GE(run_with(nl, [&] { found = mtk_identify(pty_.path().c_str(), port); }), 0);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(get_gblerr(), 0);
  nl.stop();
  free_obj(&port);
}

TEST_F(MtkDriver, MemoryIsReadInBlocksAndTheOutputRestored) {
  sim_.start();
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 115200, GPS_MEDIATEK, "", &port);
  str_set(pty_.path().c_str(), &port->device_path);
  str_set(kName, &port->display_name);
  int32_t ok = 0, count = -1;
  ASSERT_GE(run_with(sim_, [&] { ok = mtk_connect(port); }), 0);
  ASSERT_EQ(ok, 1);
  ASSERT_GE(run_with(sim_, [&] {
              mtk_download_datalog(port->connection, port->driver, &count, base_.c_str(), "mtkt");
            }),
            0);
  gpsport_close(port);
  free_obj(&port);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(log_requests(),
            (std::vector<std::string>{
                "$PMTK314,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "$PMTK182,2,7", "$PMTK182,5",
                "$PMTK182,2,10", "$PMTK182,2,2", "$PMTK182,2,8", "$PMTK182,7,00000000,00000800",
                "$PMTK182,7,00000800,00000800", "$PMTK182,7,00001000,00000388", "$PMTK182,4",
                "$PMTK314,0,1,0,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0"}));
  const auto lines = lines_of(slurp(base_ + ".mtkt"));
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0].substr(0, 27), "$PMTK704,SIMFW_1.0,0001,,,*");
  EXPECT_EQ(lines[1].substr(0, 33), "$PMTK705,AXN_SIM,0002,SIM200,1.0*");
  EXPECT_EQ(lines[2].substr(0, 11), "$PMTK530,0*");
  EXPECT_EQ(lines[3].substr(0, 24), "$PMTK182,3,10,00000000*2");
  EXPECT_EQ(lines[4].substr(0, 24), "$PMTK182,3,2,0000003F*61");
  EXPECT_EQ(lines[5].substr(0, 24), "$PMTK182,3,8,00001388*1C");
  EXPECT_EQ(lines[6].substr(0, 21), "$PMTK182,8,00000000,5");
  EXPECT_EQ(lines[8].substr(0, 20), "$PMTK182,8,00001000,");
  EXPECT_EQ(lines[8].size(), 20 + 904 * 2 + 4u);  // data, "*XX", CR
}

TEST_F(MtkDriver, EraseReportsTheAcknowledgement) {
  sim_.start();
  link l;
  open_link(l);
  int32_t count = -1;
  ASSERT_GE(run_with(sim_, [&] { mtk_erase_log(l.dev, l.ctx, &count); }), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(sim_.erased(), 1);
}

TEST_F(MtkDriver, LineFaultsEndInARetryOrError17) {
  struct Case {
    const char* what;
    mtk_fault fault;
    int after;  // requests answered well first
    int32_t blocks;
    int error;
  };
  const Case cases[] = {
      {"a failed status once is asked again", mtk_fault::status2_once, 5, 3, 0},
      {"garbage before every answer", mtk_fault::garbage, 0, 3, 0},
      {"always failing", mtk_fault::status2_always, 5, 0, ERR_PROTOCOL},
      {"no acknowledgement at all", mtk_fault::lost_ack, 5, 0, ERR_PROTOCOL},
      {"silent logger", mtk_fault::silence, 0, 0, ERR_PROTOCOL},
      {"bad checksums", mtk_fault::bad_checksum, 0, 0, ERR_PROTOCOL},
      {"memory lines of another address", mtk_fault::other_address, 5, 0, ERR_PROTOCOL},
      {"memory lines cut short", mtk_fault::short_line, 5, 0, ERR_PROTOCOL},
      {"second block of another address", mtk_fault::other_address, 9, 1, ERR_PROTOCOL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.stop();
    sim_.fault = c.fault;
    sim_.fault_after = c.after;
    sim_.start();
    const size_t before = sim_.requests().size();
    int64_t took = 0;
    EXPECT_EQ(download(&took, 500), c.blocks);
    EXPECT_EQ(get_gblerr(), c.error);
    EXPECT_LE(took, 3600000);
    const auto all = sim_.requests();
    const std::string restore = "$PMTK314,0,1,0,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0";
    const bool restored = std::find(all.begin() + long(before), all.end(), restore) != all.end();
    // An error ends the download at once: the NMEA output stays off.
    if (c.error) {
      EXPECT_FALSE(restored);
    }
    set_gblerr(0);
  }
}

}  // namespace
