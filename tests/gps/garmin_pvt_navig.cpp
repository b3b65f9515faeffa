// Live navigation on a simulated Garmin USB receiver streaming real-time position data:
// the reader thread finds the receiver, starts the stream, puts its positions on the
// navigation track and its sentences in the PVT NMEA log, opens the raw log when raw
// logging is switched on from another thread, and stops the stream when navigation
// stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gps/garmin/link.h"
#include "gps/garmin/product.h"
#include "gps/garmin/pvt.h"
#include "gps/nmea_log.h"
#include "platform/usb/usb.h"
#include "tests/gps/navig_fixture.h"
#include "tests/support/gps_sim/garmin_sim.h"

namespace {

using namespace navig_test;

class GarminPvtNavig : public NavigFixture {
 protected:
  void SetUp() override {
    NavigFixture::SetUp();
    garmin_init();
    garmin_pvt_install();
    // The receiver search and the close of the entry it makes, as the Garmin module's
    // install sets them.
    get_gps_usb_hooks().usb_search = garmin_usb_probe;
    saved_column_ = gps_device_table[GPS_GARMIN];
    gps_device_table[GPS_GARMIN].close = garmin_close;
    navig_rawlog_set(0);
  }
  void TearDown() override {
    NavigFixture::TearDown();
    navig_rawlog_set(0);
    garmin_set_realtime_routine(nullptr);
    plat::usb_sim_enable(false);
    gps_device_table[GPS_GARMIN] = saved_column_;
  }

  std::vector<std::string> logs(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(log_dir_)) {
      const std::string name = e.path().filename().string();
      if (name.rfind(prefix, 0) == 0) out.push_back(e.path().string());
    }
    return out;
  }
  gps_device_column saved_column_{};

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

tm_test::garmin_model streaming_receiver() {
  tm_test::garmin_model m;
  m.product_id = 564;
  m.version = 330;
  m.description = "Simulated receiver Software Version 3.30";
  m.offers_pvt = true;
  tm_test::garmin_sim_pvt p;
  p.fix = 3;
  p.alt = 120.0f;
  p.msl_hght = -47.3f;
  p.lat = 48.1173 * M_PI / 180;
  p.lon = 11.5167 * M_PI / 180;
  p.east = 5.0f;
  p.wn_days = 13489;
  p.leap_scnds = 18;
  p.tow = 345600.0 + 18;
  for (int i = 0; i < 20; ++i) {
    m.pvt.push_back(p);
    p.tow += 1.0;
    p.lon += 5.0 / 6378137.0;  // five metres east a second
  }
  m.sat.push_back(tm_test::garmin_sim_sat{});
  m.rcv.push_back(tm_test::garmin_sim_rcv{});
  m.pvt_interval_ms = 1000;
  return m;
}

TEST_F(GarminPvtNavig, ARealTimeReceiverFillsTheTrackAndTheLogs) {
  plat::usb_sim_enable(true);
  tm_test::garmin_sim_usb sim(streaming_receiver());
  sim.add();
  start_clock();
  start_ui();
  navig_start(nullptr, "USB", nullptr, 1);
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 3; }, 30000));
  // Raw logging switched on from this thread while the reader streams.
  navig_rawlog_set(1);
  ASSERT_TRUE(tm_test::wait_for([] { return track_points() >= 6; }, 30000));
  navig_rawlog_set(0);
  navig_stop();
  EXPECT_EQ(navig_current_port(), nullptr);
  ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }, 10000));
  const tm_test::garmin_sim_trace t = sim.trace();
  EXPECT_FALSE(t.pvt_on);
  ASSERT_GE(t.commands.size(), 3u);
  EXPECT_EQ(t.commands.front(), 49);
  EXPECT_EQ(t.commands[t.commands.size() - 2], 50);
  EXPECT_EQ(t.commands.back(), 111);
  {
    std::lock_guard<std::mutex> lock(ui().m);
    EXPECT_TRUE(ui().messages.empty());
  }

  // The track's points follow the receiver east, one per second.
  const navseg_t* track = tracks().back();
  ASSERT_GE(obj_list_count(track->sons), 6);
  for (int i = 1; i < obj_list_count(track->sons); ++i) {
    const gpspos_t* a = static_cast<const gpspos_t*>(track->sons->elems[i - 1]);
    const gpspos_t* b = static_cast<const gpspos_t*>(track->sons->elems[i]);
    EXPECT_GT(double(b->coords.x), double(a->coords.x));
    EXPECT_GT(double(b->time.day), double(a->time.day));
  }
  // The PVT log: its two header sentences, then four sentences a position.
  const std::vector<std::string> pvt = logs("PVT_");
  ASSERT_EQ(pvt.size(), 1u);
  const std::string text = read_file(pvt[0]);
  EXPECT_EQ(text.rfind("$PTMQH,NMEA File Header*62\r\n$PGRMM,WGS 84*06\r\n$GPGGA,0000", 0), 0u)
      << text.substr(0, 200);
  const auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_GE(count("$GPGGA,"), 6u);
  EXPECT_EQ(count("$GPGGA,"), count("$PGRMF,2448,"));
  EXPECT_EQ(count("$GPGGA,"), count("$PGRME,"));
  EXPECT_EQ(count("$GPGGA,"), count("$PGRMV,5.000000,"));
  // The raw log was opened while streaming and holds satellite lines.
  const std::vector<std::string> raw = logs("RCV_");
  ASSERT_EQ(raw.size(), 1u);
  const std::string raw_text = read_file(raw[0]);
  EXPECT_EQ(raw_text.rfind(std::string(kPvtRawLogHeader) + "\n", 0), 0u);
  EXPECT_NE(raw_text.find("\n0;0;0;0;0;\n"), std::string::npos);
}

}  // namespace
