// The picture of live navigation: a headless map window on a graph space in WGS 84
// degrees shows the navigation track and the markers that five fixes left; the window is
// drawn by a whole redraw pass into a surface, written as a PNG file and read back with
// the raster library's reader, and the pixels are checked where the window's mapping
// puts the positions: the markers' discs at the last position, the track's links between
// the positions, the background away from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/redraw.h"
#include "platform/gdi/surface.h"
#include "tests/gps/navig_fixture.h"
#include "tests/map/map_model_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/test_env.h"

namespace {

using namespace navig_test;

constexpr int kW = 160, kH = 100;
const plat::Color kBackground = plat::rgb(128, 255, 128);
// 1000 pixels a degree; world (1.98, 48.05) at the upper-left corner, y upwards.
constexpr double kScale = 1000.0, kLeft = 1.98, kTop = 48.05;

int no_work() { return 0; }

// The pixels of a PNG file, row by row, through the raster library's reader.
std::vector<plat::Color> read_png(const std::string& path) {
  std::vector<plat::Color> out;
  for (const tm_test::rgb& p : tm_test::read_picture(path).pixels)
    out.push_back(plat::rgb(uint8_t(p.r), uint8_t(p.g), uint8_t(p.b)));
  return out;
}

class NavigPicture : public NavigFixture {
 protected:
  void SetUp() override {
    NavigFixture::SetUp();
    tm_test::map_model_env();
    // The PNG is read back through a file object.
    file_detail::file_ops_table_install();
    redraw_interrupt(0);
    redraw_install_hooks(no_work);
    mapwin_install_view_hooks();
    georef_ = tm_test::make_georef(214, 0);
    graphspace_new(georef_, &gs_);
    ASSERT_NE(gs_, nullptr);
    graphspace_set_current(gs_);
    surface_ = plat::Surface(kW, kH, 0xFF123456u);
    dc_ = plat::create_surface_dc(&surface_, plat::Point{}, nullptr);
    mapwin_new(&win_, 0, 0, kW, kH, colour_word(128, 255, 128), 32, 0);
    ASSERT_NE(win_, nullptr);
    ASSERT_EQ(mapwin_attach_graphspace(win_, gs_), 1);
    set_current_mapwin(win_);
    win_->back_dc = dc_;
    win_->brush = plat::create_solid_brush(kBackground);
    win_->inverse_brush = plat::create_solid_brush(plat::rgb(0, 0, 0));
    {
      std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
      win_->map = screen_mapping{-kLeft, -kTop, kScale, -kScale};
    }
    gpsport_create(1, GPSPORT_SERIAL, 4800, GPS_MAGELLAN, "", &port_);
    navig_georef_new(4, &port_->georef);
    nmea_fix_new(&fix_);
  }
  void TearDown() override {
    nmea_fix_free(&fix_);
    obj_t* o = port_;
    free_obj(&o);
    set_current_mapwin(nullptr);
    redraw_set_current_pane(nullptr);
    plat::delete_object(win_->brush);
    plat::delete_object(win_->inverse_brush);
    win_->brush = win_->inverse_brush = nullptr;
    plat::delete_dc(dc_);
    mapwin_free_pane(win_);
    for (char* text : {win_->title, win_->status_part, win_->status_text}) free_mem(&text);
    obj_t* w = win_;
    free_obj(&w);
    graphspace_set_current(nullptr);
    graphspace_free(&gs_);
    navig_display_reset();
    obj_t* g = georef_;
    free_obj(&g);
    graphspace_set_view_hooks(nullptr);
    NavigFixture::TearDown();
  }
  // A fix at (lon, lat) degrees.
  void show(double lon, double lat) {
    fix_->longitude = lon * 3600.0;
    fix_->latitude = lat * 3600.0;
    fix_->valid.position = 1;
    navig_show_fix(win_, port_, fix_);
  }
  static int px(double lon) { return int((lon - kLeft) * kScale); }
  static int py(double lat) { return int((lat - kTop) * -kScale); }

  georef_t* georef_ = nullptr;
  graphspace_t* gs_ = nullptr;
  mapwin_t* win_ = nullptr;
  plat::Surface surface_;
  plat::Dc dc_ = nullptr;
  gpsport_t* port_ = nullptr;
  nmea_fix* fix_ = nullptr;
};

TEST_F(NavigPicture, MarkersAndTrackAreDrawnWhereTheMappingPutsThem) {
  ASSERT_EQ(navig_display_start(port_, win_), 1);
  const double lat = 48.0;
  for (int i = 0; i < 5; ++i) show(2.0 + 0.02 * i, lat);
  // The view follows the position through pending scrolls; this picture keeps the
  // mapping the test chose.
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win_->scroll_dx = win_->scroll_dy = 0;
    win_->map = screen_mapping{-kLeft, -kTop, kScale, -kScale};
  }
  mapwin_request_redraw(win_);
  redraw_dirty_mapwins();
  redraw_schedule();
  int passes = 1;
  while (redraw_pass() == 0 && passes < 100) ++passes;

  const std::string png = tm_test::fresh_dir("navpicture") + "/navigation.png";
  ASSERT_EQ(plat::write_png(surface_, png.c_str()), 0);
  const std::vector<plat::Color> pixels = read_png(png);
  ASSERT_EQ(pixels.size(), size_t(kW) * kH);
  auto rgb = [&](int x, int y) { return pixels[size_t(y) * kW + size_t(x)]; };
  const int my = py(lat);
  // The markers at the last position: discs of their colours around it.
  const int mx = px(2.08);
  const plat::Color white = plat::rgb(250, 250, 250), red = plat::rgb(250, 0, 0);
  EXPECT_TRUE(rgb(mx, my) == white || rgb(mx, my) == red) << std::hex << unsigned(rgb(mx, my));
  int marker_ink = 0;
  for (int y = my - 8; y <= my + 8; ++y)
    for (int x = mx - 8; x <= mx + 8; ++x) marker_ink += rgb(x, y) == white || rgb(x, y) == red;
  EXPECT_GT(marker_ink, 20);
  EXPECT_EQ(rgb(mx + 12, my), kBackground);
  // The track between the first points, in the default colour of track points.
  int track_ink = 0;
  for (int x = px(2.0) + 3; x < px(2.04) - 3; ++x)
    for (int y = my - 2; y <= my + 2; ++y) track_ink += rgb(x, y) != kBackground;
  EXPECT_GT(track_ink, 10);
  // Away from the positions: background.
  EXPECT_EQ(rgb(5, 5), kBackground);
  EXPECT_EQ(rgb(kW - 5, kH - 5), kBackground);
}

}  // namespace
