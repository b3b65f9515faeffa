// The files the Navilink driver downloads from the simulated receiver load back through
// the readers of the system's own GPS text files into the truth the receiver held:
// waypoints (names, positions, altitudes, symbols), routes (their points in order),
// tracklog and datalog (positions, times, segments from the start-of-track flag).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "gps/gpsport.h"
#include "gps/loggers/navilink.h"
#include "gps/port_io.h"
#include "map/gps_classes.h"
#include "tests/formats/gpstext_fixture.h"
#include "tests/gps/navilink_fixture.h"

namespace {

using gps_sim::navilink_sim;

class NavilinkFiles : public tm_test::GpsTextFixture {
 protected:
  void SetUp() override {
    GpsTextFixture::SetUp();
    ASSERT_TRUE(pty_.ok());
    lnav_test::navilink_truth(sim_);
    sim_.log_read_offset = 0x1000 - 64;  // the datalog wraps round its area
    sim_.start();
    ASSERT_NE(com_open(pty_.path().c_str(), 115200, &dev_), nullptr);
    ASSERT_EQ(navilink_ctx_new(dev_, &ctx_), 0);
    base_ = dir_ + "/dl";
  }
  void TearDown() override {
    navilink_ctx_free(&ctx_);
    com_close(&dev_);
    sim_.stop();
    GpsTextFixture::TearDown();
  }
  fileatt_t* download(gps_download_item_fn fn, const char* ext) {
    int32_t count = 0;
    EXPECT_GE(lnav_test::run_with(sim_, [&] { fn(dev_, ctx_, &count, base_.c_str(), ext); }), 0);
    EXPECT_EQ(get_gblerr(), 0);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load_path(base_ + "." + ext, &f), 0);
    return f;
  }

  tm_test::pty_pair pty_;
  navilink_sim sim_{pty_};
  com_device* dev_ = nullptr;
  navilink_ctx* ctx_ = nullptr;
  std::string base_;
};

std::string narrow(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) out += char(*w);
  return out;
}

TEST_F(NavilinkFiles, WaypointsAndRoutesLoadBack) {
  fileatt_t* f = download(navilink_download_waypoints, "tmw");
  ASSERT_NE(f, nullptr);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), sim_.waypoints.size());
  for (size_t i = 0; i < w.size(); ++i) {
    const auto& t = sim_.waypoints[i];
    EXPECT_EQ(narrow(w[i]->name), std::to_string(t.number));
    EXPECT_EQ(narrow(w[i]->comment), t.name);
    EXPECT_NEAR(tm_test::packed(w[i]->coords.y), t.lat_e7 * 1e-7, 1e-9);
    EXPECT_NEAR(tm_test::packed(w[i]->coords.x), t.lon_e7 * 1e-7, 1e-9);
    EXPECT_NEAR(tm_test::packed(w[i]->altitude), t.alt_ft * 0.3048, 1e-3);  // a float
    EXPECT_EQ(tm_test::packed(w[i]->symbol), navilink_icon_symbol(t.icon));
  }

  f = download(navilink_download_routes, "tmr");
  ASSERT_NE(f, nullptr);
  const auto r = routes(f);
  ASSERT_EQ(r.size(), sim_.routes.size());
  for (size_t i = 0; i < r.size(); ++i) {
    EXPECT_EQ(narrow(r[i]->name), sim_.routes[i].name);
    const container_t* points = r[i]->sons;
    ASSERT_EQ(obj_list_count(points), int(sim_.routes[i].points.size()));
    for (int k = 0; k < obj_list_count(points); ++k) {
      const auto* p = static_cast<const waypoint_t*>(points->elems[k]);
      EXPECT_EQ(narrow(p->name), std::to_string(sim_.routes[i].points[size_t(k)]));
    }
  }
}

TEST_F(NavilinkFiles, TracklogAndDatalogLoadBack) {
  fileatt_t* f = download(navilink_download_tracklog, "track.tmn");
  ASSERT_NE(f, nullptr);
  auto p = points(f);
  ASSERT_EQ(p.size(), sim_.track.size());
  for (size_t i = 0; i < p.size(); ++i) {
    const auto& t = sim_.track[i];
    EXPECT_NEAR(tm_test::packed(p[i]->coords.y), t.lat_e7 * 1e-7, 1e-9);
    EXPECT_NEAR(tm_test::packed(p[i]->coords.x), t.lon_e7 * 1e-7, 1e-9);
    const double want = date_from_ymd(t.date.year, t.date.month,
                                      hms_to_day_fraction(t.date.day - 1, t.date.hour,
                                                          t.date.minute, t.date.second));
    EXPECT_NEAR(date_diff(want, tm_test::packed(p[i]->time.date)) * 86400.0, 0.0, 1.0);
  }

  f = download(navilink_download_datalog, "datalog.tmn");
  ASSERT_NE(f, nullptr);
  p = points(f);
  ASSERT_EQ(p.size(), sim_.datalog.size());
  for (size_t i = 0; i < p.size(); ++i) {
    const auto& t = sim_.datalog[i];
    EXPECT_NEAR(tm_test::packed(p[i]->coords.y), t.lat_e7 * 1e-7, 1e-9);
    EXPECT_NEAR(tm_test::packed(p[i]->coords.x), t.lon_e7 * 1e-7, 1e-9);
    EXPECT_NEAR(tm_test::packed(p[i]->altitude), t.alt_cm / 100.0, 1e-3);  // a float
  }
  // Records 0 and 2 start a track: two segments.
  EXPECT_EQ(segments(f).size(), 2u);
}

}  // namespace
