// The navigation display: the status text, the track points (none for a receiver standing
// still), the seven markers following the position, the option that gates the track's
// redraws, and STOP / START events from a live UDP stream ending a track and beginning
// the next while the earlier one stays.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "core/obj_list.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "platform/net/net.h"
#include "tests/gps/navig_fixture.h"
#include "tests/support/net_loopback.h"

namespace {

using namespace navig_test;

// ---- Status text -------------------------------------------------------------------------------
struct status_case {
  const char* name;
  int speed_flag, altitude_flag, sat_flag;
  double speed, altitude;
  int32_t used, in_view;
  const char* system;
  const char* text;
};
const status_case kStatusCases[] = {
    {"all", 1, 1, 1, 12.5, 123.9, 5, 9, nullptr, "12.50 km/h  alt 123 m  sat 5/9"},
    {"with_system", 1, 1, 1, 12.5, 123.9, 5, 9, "WGS 84", "12.50 km/h  alt 123 m  sat 5/9  WGS 84"},
    {"negative_altitude_truncates_to_zero", 0, 1, 1, 0, -3.7, 4, 7, nullptr, "  alt -3 m  sat 4/7"},
    {"no_speed_no_altitude", 0, 0, 1, 0, 0, 6, 8, nullptr, "6/8"},
    {"satellites_flag_clear", 1, 0, 0, 3.0, 0, 6, 8, nullptr, "3.00 km/h6/0"},
    {"counts_unknown", 1, 1, 1, 1.0, 10.0, NULL_INT, NULL_INT, nullptr, "1.00 km/h  alt 10 m  sat "},
    {"nothing", 0, 0, 0, 0, 0, NULL_INT, NULL_INT, nullptr, ""},
    {"altitude_beyond_integers", 0, 1, 1, 0, HUGE_VAL, 1, 2, nullptr, "  alt 2147483647 m  sat 1/2"},
    {"altitude_below_integers", 0, 1, 1, 0, -1e300, 1, 2, nullptr, "  alt -2147483647 m  sat 1/2"},
    {"altitude_not_a_number", 0, 1, 1, 0, NAN, 1, 2, nullptr, "  alt 0 m  sat 1/2"},
};
class NavigStatus : public ::testing::TestWithParam<status_case> {};
TEST_P(NavigStatus, BuildsTheText) {
  const status_case& c = GetParam();
  nmea_fix fix{};
  fix.valid.speed = c.speed_flag;
  fix.valid.altitude = c.altitude_flag;
  fix.valid.satellites = c.sat_flag;
  char text[200];
  navig_status_text(&fix, c.speed, c.altitude, c.used, c.in_view, c.system, text, int(sizeof text));
  EXPECT_STREQ(text, c.text);
  // A short buffer is never overrun and stays terminated.
  char small[8];
  navig_status_text(&fix, c.speed, c.altitude, c.used, c.in_view, c.system, small, int(sizeof small));
  EXPECT_EQ(std::string(small), std::string(c.text).substr(0, 7));
}
INSTANTIATE_TEST_SUITE_P(Cases, NavigStatus, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Fixes shown directly -------------------------------------------------------------------
class NavigDisplay : public NavigFixture {
 protected:
  void SetUp() override {
    NavigFixture::SetUp();
    gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_MAGELLAN, "", &port_);
    ASSERT_NE(port_, nullptr);
    navig_georef_new(4, &port_->georef);
    ASSERT_NE(port_->georef, nullptr);
    nmea_fix_new(&fix_);
  }
  void TearDown() override {
    nmea_fix_free(&fix_);
    obj_t* o = port_;
    free_obj(&o);
    NavigFixture::TearDown();
  }
  void show(double lon_s, double lat_s) {
    fix_->longitude = lon_s;
    fix_->latitude = lat_s;
    fix_->valid.position = 1;
    navig_show_fix(nullptr, port_, fix_);
  }
  static std::vector<geopoint_t*> markers() {
    std::vector<geopoint_t*> out;
    container_t* list = navig_marker_list();
    for (int i = 0; list && i < obj_list_count(list); ++i)
      if (list->elems[i]->cls == CLS_GEOPOINT) out.push_back(static_cast<geopoint_t*>(list->elems[i]));
    return out;
  }

  gpsport_t* port_ = nullptr;
  nmea_fix* fix_ = nullptr;
};

TEST_F(NavigDisplay, StandingStillAddsNoPointAndAMoveOfEitherCoordinateDoes) {
  ASSERT_EQ(navig_display_start(port_, nullptr), 1);
  EXPECT_EQ(navig_title_active(), 1);
  show(7200, 172800);
  EXPECT_EQ(track_points(), 1);
  show(7200, 172800);
  EXPECT_EQ(track_points(), 1);
  show(7201, 172800);
  EXPECT_EQ(track_points(), 2);
  show(7201, 172801);
  EXPECT_EQ(track_points(), 3);
  const navseg_t* t = tracks().back();
  const gpspos_t* last = static_cast<const gpspos_t*>(t->sons->elems[2]);
  EXPECT_EQ(double(last->coords.x), 7201.0);
  EXPECT_EQ(double(last->coords.y), 172801.0);
  EXPECT_EQ(last->father, static_cast<const obj_t*>(t));
}

// Fixes read from the files of the fixture folder are shown whole (found by the fuzz
// harness: an altitude of seventy digits).
class NavigDisplayFiles : public NavigDisplay, public ::testing::WithParamInterface<const char*> {};
int file_read(void* device, int max, uint8_t* buf) {
  std::istream* in = static_cast<std::istream*>(device);
  in->read(reinterpret_cast<char*>(buf), max);
  return int(in->gcount());
}
TEST_P(NavigDisplayFiles, EveryFixIsShown) {
  std::ifstream in(std::string(TM_FIXTURE_DIR "/navig/") + GetParam(), std::ios::binary);
  ASSERT_TRUE(in.good());
  nmea_parser* reader = nullptr;
  ASSERT_EQ(nmea_reader_create(&in, file_read, &reader), 0);
  ASSERT_EQ(navig_display_start(port_, nullptr), 1);
  int shown = 0;
  for (int i = 0; i < 100 && nmea_live_step(reader, fix_) >= 0 && fix_->raw_length > 0; ++i) {
    if (!fix_->valid.position) continue;
    navig_show_fix(nullptr, port_, fix_);
    ++shown;
  }
  EXPECT_GT(shown, 0);
  EXPECT_GT(track_points(), 0);
  nmea_reader_free(&reader);
}
INSTANTIATE_TEST_SUITE_P(Files, NavigDisplayFiles, ::testing::Values("huge_altitude.nmea"));

// The track layer of the display takes the live port's coordinate system whole: its
// datum (which a receiver may have changed) and its unit.
TEST_F(NavigDisplay, LayersTakeThePortsCoordinateSystem) {
  geodatum_t* other = nullptr;
  for (int code = 1; code < 1000 && !other; ++code) {
    obj_t* d = nullptr;
    geo_find_by_code(CLS_GEODATUM, code, &d);
    if (d && d != port_->georef->datum) other = static_cast<geodatum_t*>(d);
  }
  ASSERT_NE(other, nullptr);
  port_->georef->datum = other;
  ASSERT_EQ(navig_display_start(port_, nullptr), 1);
  {
    container_t* list = navig_list();
    ASSERT_NE(list, nullptr);
    georef_t* g = nullptr;
    for (int i = 0; i < obj_list_count(list) && !g; ++i)
      if (list->elems[i]->cls == CLS_GEOREF) g = static_cast<georef_t*>(list->elems[i]);
    ASSERT_NE(g, nullptr);
    // Packed records: the fields are read by value.
    const geodatum_t* datum = g->datum;
    const int unit = g->unit, port_unit = port_->georef->unit;
    const int kind = g->refertype, port_kind = port_->georef->refertype;
    EXPECT_EQ(datum, other);
    EXPECT_EQ(unit, port_unit);
    EXPECT_EQ(kind, port_kind);
  }
}

TEST_F(NavigDisplay, SevenMarkersFollowThePosition) {
  ASSERT_EQ(navig_display_start(port_, nullptr), 1);
  show(100, 200);
  auto m = markers();
  ASSERT_EQ(m.size(), 7u);
  const uint32_t white = gps_rgb(250, 250, 250), red = gps_rgb(250, 0, 0);
  const uint32_t colours[7] = {white, white, red, red, red, red, red};
  const int32_t thickness[7] = {7, 6, 5, 4, 3, 2, 1};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(uint32_t(m[i]->colour), colours[i]) << i;
    EXPECT_EQ(int32_t(m[i]->thickness), thickness[i]) << i;
  }
  show(150, 260);
  m = markers();
  ASSERT_EQ(m.size(), 7u);  // made once
  for (geopoint_t* p : m) {
    EXPECT_EQ(double(p->coords.x), 150.0);
    EXPECT_EQ(double(p->coords.y), 260.0);
  }
}

TEST_F(NavigDisplay, StopEndsTheTrackAndStartBeginsANewOneTheOldStays) {
  ASSERT_EQ(navig_display_start(port_, nullptr), 1);
  show(1, 1);
  show(2, 2);
  navseg_t* first = static_cast<navseg_t*>(navig_current_track());
  ASSERT_NE(first, nullptr);
  navig_event(nullptr, port_, 2);
  EXPECT_EQ(navig_current_track(), nullptr);
  show(3, 3);  // no track: nothing appended
  EXPECT_EQ(obj_list_count(first->sons), 2);
  navig_event(nullptr, port_, 1);
  show(4, 4);
  EXPECT_NE(navig_current_track(), static_cast<obj_t*>(first));
  EXPECT_EQ(track_points(), 1);
  EXPECT_EQ(tracks().size(), 2u);
  EXPECT_EQ(obj_list_count(first->sons), 2);
}

TEST_F(NavigDisplay, TrackOptionOffStillAddsPoints) {
  get_navig_ui_hooks().track_option = [] { return 0; };
  ASSERT_EQ(navig_display_start(port_, nullptr), 1);
  show(1, 1);
  show(2, 1);
  show(3, 1);
  EXPECT_EQ(track_points(), 3);
}

TEST_F(NavigDisplay, StateOnGreysAndStopEnablesTheGpsItems) {
  navig_state_on();
  EXPECT_EQ(navig_is_running(), 1);
  navig_display_stop();
  EXPECT_EQ(navig_is_running(), 0);
  std::lock_guard<std::mutex> lock(ui().m);
  const std::vector<unsigned> items = {40031, 40032, 40033, 40034, 40015};
  ASSERT_EQ(ui().enables.size(), 2 * items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(ui().enables[i], std::make_pair(items[i], 0));
    EXPECT_EQ(ui().enables[items.size() + i], std::make_pair(items[i], 1));
  }
}

// ---- Events from a live stream ---------------------------------------------------------------
class NavigEvents : public NavigFixture {};

TEST_F(NavigEvents, StopAndStartEventsFromTheReceiverSplitTheTrack) {
  const uint16_t port = tm_test::unused_loopback_port();
  ASSERT_NE(port, 0);
  start_ui();
  const std::string name = "UDP" + std::to_string(port);
  navig_start(nullptr, name.c_str(), nullptr, 0);
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 20000));
  tm_test::loopback_socket peer(false);
  int second = 0;
  auto send = [&](const std::string& d) {
    plat::net_sendto(peer.fd, d.data(), d.size(), {tm_test::loopback_addr(), port});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  ASSERT_TRUE(tm_test::wait_for([&] { send(receiver_second(second++)); return track_points() >= 3; }, 30000));
  navseg_t* first = static_cast<navseg_t*>(navig_current_track());
  const int before = navig_track_count();
  ASSERT_TRUE(tm_test::wait_for([&] { send(sentence("$PTMQT,STOP")); return navig_current_track() == nullptr; }, 30000));
  const int kept = obj_list_count(first->sons);
  // The next fix with a position restarts the display: a new track.
  ASSERT_TRUE(tm_test::wait_for([&] { send(receiver_second(second++)); return track_points() >= 2; }, 30000));
  navig_stop();
  EXPECT_GT(navig_track_count(), before);
  EXPECT_NE(static_cast<obj_t*>(first), navig_current_track());
  EXPECT_EQ(obj_list_count(first->sons), kept);
  EXPECT_GE(kept, 3);
}

}  // namespace
