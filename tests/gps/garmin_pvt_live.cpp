// Garmin real-time position data from a simulated USB receiver on the virtual clock:
// the start (session, identification, start commands, measurements only with the raw
// log), the positions read until the stop (stop commands, device closed), a receiver
// without A800 (-1, device closed), a device that does not open or whose session does
// not start (0, try again), and the hooks the install routine fills.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/product.h"
#include "gps/garmin/pvt.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/garmin_sim.h"
#include "tests/support/wait.h"

namespace {

using tm_test::garmin_model;
using tm_test::garmin_sim_usb;
using tm_test::virtual_worker;

garmin_model receiver(bool offers_pvt) {
  garmin_model m;
  m.product_id = 564;
  m.version = 330;
  m.description = "Simulated receiver Software Version 3.30";
  m.offers_pvt = offers_pvt;
  tm_test::garmin_sim_pvt p;
  p.fix = 3;
  p.alt = 300.0f;
  p.msl_hght = -47.3f;
  p.lat = -0.5;
  p.lon = 0.1;
  p.east = -3.0f;
  p.north = -4.0f;
  p.wn_days = 13489;
  p.leap_scnds = 18;
  p.tow = 345600.0 + 18;
  for (int i = 0; i < 3; ++i) {
    m.pvt.push_back(p);
    p.tow += 1.0;
  }
  tm_test::garmin_sim_sat s;
  s.sv[0].svid = 35;
  s.sv[0].snr = 4100;
  m.sat.push_back(s);
  tm_test::garmin_sim_rcv r;
  r.week = 2448;
  r.tow = 345600.0;
  m.rcv.push_back(r);
  m.pvt_interval_ms = 1000;
  return m;
}

class GarminPvtLive : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    saved_usb_ = get_gps_usb_hooks();
    saved_live_ = get_navig_pvt_hooks();
    garmin_init();
    garmin_pvt_install();
    plat::usb_sim_enable(true);
    navig_rawlog_set(0);
  }
  void TearDown() override {
    pvt_stop(&state_);
    navig_rawlog_set(0);
    plat::usb_sim_enable(false);
    plat::use_virtual_clock(false);
    get_gps_usb_hooks() = saved_usb_;
    get_navig_pvt_hooks() = saved_live_;
    garmin_set_realtime_routine(nullptr);
    GpsPortFixture::TearDown();
  }

  // The device path of receiver `index`, as the receiver search gives it.
  std::string path_of(int index) {
    char* path = nullptr;
    com_device* dev = nullptr;
    usb_find_device(index, &path, &dev);
    com_close(&dev);
    std::string out = path ? path : "";
    free_mem(&path);
    return out;
  }
  // 1 when the device can be opened again (the start closed it).
  bool openable(const std::string& path) {
    com_device* dev = nullptr;
    usb_open(path.c_str(), 0, &dev);
    const bool ok = dev != nullptr;
    com_close(&dev);
    return ok;
  }

  void* state_ = nullptr;
  gps_usb_hooks saved_usb_;
  navig_pvt_hooks saved_live_;
};

// Start, the positions of a few seconds of the stream, stop. The measurements are asked
// for only while the raw log is on; the stop ends both streams.
TEST_F(GarminPvtLive, AStartedReceiverStreamsPositionsUntilStopped) {
  for (int raw : {0, 1}) {
    SCOPED_TRACE(raw);
    navig_rawlog_set(raw);
    garmin_sim_usb sim(receiver(true));
    const int index = sim.add();
    const std::string path = path_of(index);
    ASSERT_FALSE(path.empty());
    int started = -5;
    std::vector<int> reads, polls;
    nmea_fix* fix = nullptr;
    ASSERT_NE(nmea_fix_new(&fix), nullptr);
    nmea_fix seen{};
    std::string raw_text;
    virtual_worker w([&] {
      started = get_navig_pvt_hooks().start(path.c_str(), &state_);
      if (started != 1) return;
      for (int i = 0; i < 300 && reads.size() < 3; ++i) {
        const int r = get_navig_pvt_hooks().read(state_, fix);
        if (r != 0) reads.push_back(r);
        if (r == 1) {
          seen = *fix;
          raw_text.assign(reinterpret_cast<char*>(fix->raw), size_t(fix->raw_length));
        }
        if (r < 0) break;
        plat::sleep_ms(10);
      }
    });
    EXPECT_GE(w.run(), 0);
    ASSERT_EQ(started, 1);
    ASSERT_NE(state_, nullptr);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(reads, std::vector<int>({1, 1, 1}));
    EXPECT_EQ(seen.valid.position, 1);
    EXPECT_NEAR(seen.latitude, -0.5 * 180 / M_PI * 3600, 1e-6);
    EXPECT_NEAR(seen.course, 180.0 + std::atan2(3.0, 4.0) * 180 / M_PI, 1e-4);
    EXPECT_NEAR(seen.speed, 18.0, 1e-4);
    EXPECT_NEAR(seen.time, 2.0 / 86400.0, 1e-9);  // the third record: 00:00:02
    EXPECT_DOUBLE_EQ(seen.date, 20261210.0);
    EXPECT_EQ(raw_text.compare(0, 17, "$GPGGA,000002.000"), 0) << raw_text;
    EXPECT_NE(raw_text.find("$PGRMF,2448,345620,101226,000002,18,28"), std::string::npos)
        << raw_text;
    const pvt_state* s = static_cast<const pvt_state*>(state_);
    EXPECT_EQ(s->satellites[0].svid, 35);
    EXPECT_EQ(s->receiver.week, raw ? 2448 : 0);
    tm_test::garmin_sim_trace t = sim.trace();
    EXPECT_TRUE(t.session_started);
    EXPECT_TRUE(t.pvt_on);
    EXPECT_EQ(t.rcv_on, raw == 1);
    EXPECT_EQ(t.commands, raw ? std::vector<int>({49, 110}) : std::vector<int>({49}));

    virtual_worker stop([&] { get_gps_usb_hooks().pvt_stop(&state_); });
    EXPECT_GE(stop.run(), 0);
    EXPECT_EQ(state_, nullptr);
    ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
    t = sim.trace();
    EXPECT_FALSE(t.pvt_on);
    EXPECT_FALSE(t.rcv_on);
    EXPECT_EQ(t.commands, raw ? std::vector<int>({49, 110, 50, 111})
                              : std::vector<int>({49, 50, 111}));
    EXPECT_TRUE(openable(path));
    nmea_fix_free(&fix);
    plat::usb_sim_enable(true);
  }
}

// A receiver without A800, and one that falls silent after its session started: the
// start gives up (-1) and closes the device.
TEST_F(GarminPvtLive, AReceiverWithoutRealTimeDataIsGivenUpAndClosed) {
  tm_test::garmin_sim_faults silent;
  silent.silence.at = 0;
  struct Case {
    const char* name;
    bool offers_pvt;
    tm_test::garmin_sim_faults faults;
  } cases[] = {{"no A800", false, {}}, {"silent after the session", true, silent}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plat::usb_sim_enable(true);
    garmin_sim_usb sim(receiver(c.offers_pvt), c.faults);
    const std::string path = path_of(sim.add());
    int started = -5;
    virtual_worker w([&] { started = pvt_start(path.c_str(), &state_); });
    EXPECT_GE(w.run(), 0);
    EXPECT_EQ(started, -1);
    EXPECT_EQ(state_, nullptr);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_TRUE(sim.trace().session_started);
    EXPECT_TRUE(sim.trace().commands.empty());
    EXPECT_TRUE(openable(path));
  }
}

// A device that cannot be opened, and one whose session never starts: try again later.
TEST_F(GarminPvtLive, ADeviceThatDoesNotOpenOrStartIsTriedAgain) {
  // A receiver that takes every transfer and never answers.
  plat::usb_sim_add(64, [](plat::usb_sim_link& link) {
    char buf[64];
    while (link.receive(buf, sizeof buf) >= 0) {
    }
  });
  const std::string mute = path_of(0);
  for (const std::string& path : {std::string("sim:9"), std::string("usb:nonsense"), mute}) {
    SCOPED_TRACE(path);
    int started = -5;
    state_ = reinterpret_cast<void*>(8);
    virtual_worker w([&] { started = pvt_start(path.c_str(), &state_); });
    EXPECT_GE(w.run(), 0);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(state_, nullptr);
    EXPECT_EQ(get_gblerr(), 0);
  }
  EXPECT_TRUE(openable(mute));
}

TEST_F(GarminPvtLive, TheInstallFillsThePortAndLiveReaderHooks) {
  const gps_usb_hooks& usb = get_gps_usb_hooks();
  EXPECT_EQ(usb.pvt_stop, &pvt_stop);
  EXPECT_EQ(usb.pvt_nmea_log_open, &pvt_nmea_log_open);
  EXPECT_EQ(usb.pvt_raw_log_open, &pvt_raw_log_open);
  EXPECT_EQ(usb.pvt_raw_log_close, &pvt_raw_log_close);
  const navig_pvt_hooks& live = get_navig_pvt_hooks();
  EXPECT_EQ(live.start, &pvt_start);
  EXPECT_EQ(live.read, &pvt_read);
  // An A800 triple over USB gives the entry the real-time routine, and the capability.
  garmin_product entry{};
  garmin_apply_protocol('A', 800, &entry, 0);
  EXPECT_EQ(entry.realtime, nullptr);
  garmin_apply_protocol('A', 800, &entry, 1);
  EXPECT_NE(entry.realtime, nullptr);
  EXPECT_NE(garmin_set_capabilities(&entry) & GPS_REALTIME, 0u);
  // The routine polls the state of its device; a device without state is a read error.
  EXPECT_EQ(entry.realtime(nullptr, &entry), -1);
}

}  // namespace
