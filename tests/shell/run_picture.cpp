// The picture a whole headless run of the map program leaves, checked against the
// bundled samples: the relief image loaded through its calibration file, and the GPX
// track with its waypoints on top of it.
//
// Where things must be is derived from the samples themselves (the calibration file's
// corner points, the GPX file's vertices and waypoints, all in degrees on WGS 84) and
// from the view the program chose: the map window's own mapping (screen = (world +
// origin) * scale) in the graph space's geographic degrees. The view is taken from the
// program rather than recomputed from the fit rules, because which view a load ends on
// depends on the display options and on the order of the loads; what this test checks
// is that, whatever that view is, the image, the track and the waypoints are drawn
// where it puts them. The view is only required to show the whole image.
//
// The picture is read back from its PNG file with the raster library's reader. Like the
// program, the run is on the real clock: the headless loop waits for its loads and its
// delayed fit command; the test itself never sleeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "formats/gpx.h"
#include "formats/osm.h"
#include "formats/polish_map.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/repr.h"
#include "map/gps_classes.h"
#include "map/graphspace.h"
#include "map/view_records.h"
#include "platform/gdi/geometry.h"
#include "platform/gdi/surface.h"
#include "platform/ui/icons.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/ui/ui.h"
#include "platform/ui/window.h"
#include "raster/icon_load.h"
#include "shell/command_table.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/startup.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"
#include "tests/support/program_run.h"
#include "tests/support/test_env.h"

namespace {

// ---- The sample files, read as the test's own reference -----------------------------------
struct geo_point {
  double lon = 0.0, lat = 0.0;
};
struct image_corner {
  double px = 0.0, py = 0.0;  // image pixel corner
  geo_point at;
};
struct waypoint {
  std::string name;
  geo_point at;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The calibration's corner points: "MMPXY,n,x,y" and "MMPLL,n,lon,lat" lines.
std::vector<image_corner> calibration_corners(const std::string& path) {
  std::vector<image_corner> corners;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    int n = 0;
    double a = 0.0, b = 0.0;
    if (std::sscanf(line.c_str(), "MMPXY,%d,%lf,%lf", &n, &a, &b) == 3) {
      if (n > int(corners.size())) corners.resize(size_t(n));
      corners[size_t(n - 1)].px = a;
      corners[size_t(n - 1)].py = b;
    } else if (std::sscanf(line.c_str(), "MMPLL,%d,%lf,%lf", &n, &a, &b) == 3) {
      if (n > int(corners.size())) corners.resize(size_t(n));
      corners[size_t(n - 1)].at = {a, b};
    }
  }
  return corners;
}

// The value of attribute `name` in the tag text starting at `from`.
double attribute(const std::string& text, size_t from, const char* name) {
  const size_t at = text.find(std::string(name) + "=\"", from);
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + std::strlen(name) + 2);
}

std::vector<geo_point> track_vertices(const std::string& gpx) {
  std::vector<geo_point> out;
  for (size_t at = gpx.find("<trkpt "); at != std::string::npos; at = gpx.find("<trkpt ", at + 1))
    out.push_back({attribute(gpx, at, "lon"), attribute(gpx, at, "lat")});
  return out;
}

std::vector<waypoint> waypoints(const std::string& gpx) {
  std::vector<waypoint> out;
  for (size_t at = gpx.find("<wpt "); at != std::string::npos; at = gpx.find("<wpt ", at + 1)) {
    const size_t name = gpx.find("<name>", at) + 6;
    out.push_back({gpx.substr(name, gpx.find("</name>", name) - name),
                   {attribute(gpx, at, "lon"), attribute(gpx, at, "lat")}});
  }
  return out;
}

// ---- PNG pictures, read through the raster library's reader -------------------------------
using tm_test::picture;
using tm_test::rgb;

// ---- The view of the run: geographic degrees to pixels of the picture ----------------------
struct view {
  screen_mapping map{};
  plat::Point offset;  // the map window's client origin in the picture
  int width = 0, height = 0;
  double x(double lon) const { return (lon + map.origin_x) * map.scale_x + offset.x; }
  double y(double lat) const { return (lat + map.origin_y) * map.scale_y + offset.y; }
};

// A colour word: red in the low byte, then green, then blue.
rgb colour_of(uint32_t word) {
  return {int(word & 255), int(word >> 8 & 255), int(word >> 16 & 255)};
}

// A pixel drawn from an image pixel matches it within this sum of channel differences.
constexpr int kSameColour = 3;
// Pixels whose centre lies closer than this to an expected edge are not judged: the
// edge may fall on either side of them.
constexpr double kEdgeMargin = 1.0;

// The image's rectangle in the picture, from two opposite calibration corners.
struct frame_box {
  double left, top, right, bottom;
  bool inside(double x, double y, double margin) const {
    return x > left + margin && x < right - margin && y > top + margin && y < bottom - margin;
  }
};
frame_box image_box(const view& v, const std::vector<image_corner>& corners) {
  return {v.x(corners[0].at.lon), v.y(corners[0].at.lat), v.x(corners[2].at.lon),
          v.y(corners[2].at.lat)};
}

// The image pixel the calibration puts under the picture pixel (x, y): the pixel centre
// carried linearly from the rectangle of the corners to the image's pixel corners.
bool image_pixel_under(const frame_box& box, const std::vector<image_corner>& corners, int x,
                       int y, int* ix, int* iy) {
  const double u = (x + 0.5 - box.left) / (box.right - box.left);
  const double w = (y + 0.5 - box.top) / (box.bottom - box.top);
  *ix = int(std::floor(corners[0].px + u * (corners[2].px - corners[0].px)));
  *iy = int(std::floor(corners[0].py + w * (corners[2].py - corners[0].py)));
  return u >= 0.0 && w >= 0.0 && u < 1.0 && w < 1.0;
}

// The map window's pixels in the picture.
bool in_map_window(const view& v, int x, int y) {
  return x >= v.offset.x && y >= v.offset.y && x < v.offset.x + v.width &&
         y < v.offset.y + v.height;
}

// At each corner, in a square of picture pixels around it: the pixels inside the
// image's rectangle show the image pixel under them, those outside it but in the map
// window show the window's background.
void check_image_corners(const picture& shot, const picture& relief, const view& v,
                         const std::vector<image_corner>& corners, const rgb& background) {
  constexpr int kReach = 12;
  const frame_box box = image_box(v, corners);
  for (const image_corner& c : corners) {
    const int cx = int(std::lround(v.x(c.at.lon))), cy = int(std::lround(v.y(c.at.lat)));
    SCOPED_TRACE("corner " + std::to_string(int(c.px)) + "," + std::to_string(int(c.py)) +
                 " expected at " + std::to_string(cx) + "," + std::to_string(cy));
    int image_seen = 0, wrong = 0;
    for (int y = cy - kReach; y <= cy + kReach; ++y)
      for (int x = cx - kReach; x <= cx + kReach; ++x) {
        if (!shot.inside(x, y) || !in_map_window(v, x, y)) continue;
        int ix = 0, iy = 0;
        if (box.inside(x + 0.5, y + 0.5, kEdgeMargin)) {
          ASSERT_TRUE(image_pixel_under(box, corners, x, y, &ix, &iy));
          ++image_seen;
          if (shot.at(x, y).distance(relief.at(ix, iy)) > kSameColour) ++wrong;
        } else if (!box.inside(x + 0.5, y + 0.5, -kEdgeMargin)) {
          if (shot.at(x, y).distance(background) != 0) ++wrong;
        }
      }
    EXPECT_GT(image_seen, kReach * kReach / 2);
    EXPECT_EQ(wrong, 0);
  }
}

// Over the whole image: nearly every picture pixel shows the image pixel under it; the
// few others are covered by the track, the waypoints and their labels.
void check_image_content(const picture& shot, const picture& relief, const view& v,
                         const std::vector<image_corner>& corners) {
  const frame_box box = image_box(v, corners);
  int judged = 0, same = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      int ix = 0, iy = 0;
      if (!in_map_window(v, x, y) || !box.inside(x + 0.5, y + 0.5, kEdgeMargin)) continue;
      if (!image_pixel_under(box, corners, x, y, &ix, &iy)) continue;
      ++judged;
      if (shot.at(x, y).distance(relief.at(ix, iy)) <= kSameColour) ++same;
    }
  ASSERT_GT(judged, 0);
  EXPECT_GT(double(same) / judged, 0.95) << same << " of " << judged << " pixels";
}

// Whether a pixel of the colour lies within one pixel of (x, y).
bool colour_near(const picture& shot, int x, int y, const rgb& colour) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (shot.inside(x + dx, y + dy) && shot.at(x + dx, y + dy).distance(colour) == 0)
        return true;
  return false;
}

// Where a waypoint's symbol (centred on it) and its label (one line of text written to
// its right, from its height down) are drawn over the track.
constexpr int kSymbolReach = 8;
constexpr int kLabelWidth = 140;
constexpr int kLabelHeight = 24;

struct pixel_point {
  int x, y;
};
pixel_point pixel_of(const view& v, const geo_point& p) {
  return {int(std::floor(v.x(p.lon))), int(std::floor(v.y(p.lat)))};
}

bool under_a_waypoint(const view& v, const std::vector<waypoint>& points, pixel_point at) {
  for (const waypoint& p : points) {
    const pixel_point w = pixel_of(v, p.at);
    if (at.x >= w.x - kSymbolReach - 1 && at.x <= w.x + kLabelWidth &&
        at.y >= w.y - kSymbolReach - 1 && at.y <= w.y + kLabelHeight)
      return true;
  }
  return false;
}

// Every vertex of the track shows the track's colour at its pixel, but where a waypoint's
// symbol or label is drawn over it.
void check_track(const picture& shot, const view& v, const std::vector<geo_point>& vertices,
                 const std::vector<waypoint>& points, const rgb& colour) {
  ASSERT_FALSE(vertices.empty());
  std::string missed;
  size_t judged = 0;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const pixel_point at = pixel_of(v, vertices[i]);
    if (under_a_waypoint(v, points, at)) continue;
    ++judged;
    if (!colour_near(shot, at.x, at.y, colour))
      missed += " " + std::to_string(i) + "@" + std::to_string(at.x) + "," + std::to_string(at.y);
  }
  EXPECT_GT(judged, vertices.size() * 3 / 4);
  EXPECT_EQ(missed, "") << "vertices without the track colour";
}

// At each waypoint a symbol is drawn: pixels near it that are neither the image under
// them nor the track, centred on the waypoint's own pixel.
void check_waypoints(const picture& shot, const picture& relief, const view& v,
                     const std::vector<image_corner>& corners, const std::vector<waypoint>& points,
                     const rgb& track) {
  constexpr int kForeign = 60;
  const frame_box box = image_box(v, corners);
  ASSERT_FALSE(points.empty());
  for (const waypoint& p : points) {
    const pixel_point w = pixel_of(v, p.at);
    const int px = w.x, py = w.y;
    SCOPED_TRACE(p.name + " expected at " + std::to_string(px) + "," + std::to_string(py));
    int symbol = 0, left = px + kSymbolReach, right = px - kSymbolReach;
    int top = py + kSymbolReach, bottom = py - kSymbolReach;
    for (int y = py - kSymbolReach; y <= py + kSymbolReach; ++y)
      for (int x = px - kSymbolReach; x <= px + kSymbolReach; ++x) {
        int ix = 0, iy = 0;
        if (!image_pixel_under(box, corners, x, y, &ix, &iy)) continue;
        const rgb seen = shot.at(x, y);
        if (seen.distance(relief.at(ix, iy)) <= kForeign || seen.distance(track) == 0) continue;
        ++symbol;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    EXPECT_GE(symbol, 12);
    // The symbol is centred on the waypoint's pixel.
    EXPECT_LE(std::abs(left + right - 2 * px), 4) << "columns " << left << ".." << right;
    EXPECT_LE(std::abs(top + bottom - 2 * py), 4) << "rows " << top << ".." << bottom;
  }
}

// ---- The run, with the exit intercepted ------------------------------------------------------
struct exit_called {
  int code;
};
void throw_exit(int code) { throw exit_called{code}; }

int run_main(std::vector<const char*> args) {
  args.insert(args.begin(), "tarmelo");
  try {
    tarmelo_main(int(args.size()), const_cast<char**>(args.data()));
  } catch (const exit_called& e) {
    return e.code;
  }
  return -1000;
}

class RunPicture : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
    startup_table_reset();
    main_command_table_reset();
    get_startup_table().start_display = [] { return false; };
    get_startup_table().program_dir = [](const char*) { set_program_dir(TM_SOURCE_DIR "/data/"); };
    get_core_hooks().exit_program = throw_exit;
    frame_reset();
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    progress_state_reset();
    app_set_closing(0);
  }

  void TearDown() override {
    set_frame_exit_routine(nullptr);
    set_gblerr(0);
    for (plat::Wnd w : {main_frame_window(), main_toolbar(), main_map_window()})
      if (w && plat::is_window(w)) plat::destroy_window(w);
    session_.reset();
    plat::join_threads(10000);
    // The graph space (with the layer links to the loaded images) goes first; then what
    // the run loaded, one file object at a time, since a folder's file object frees the
    // file objects its list still holds.
    frame_reset();
    // The vector tables hold file objects of their own (the saved user lists).
    osm_free();
    mp_free();
    repr_tables_free();
    for (int left = 100000; left > 0; --left) {
      obj_t* first = nullptr;
      if (!obj_class_next(kFileClass, &first)) break;
      free_obj(&first);
    }
    gpx_free_tables();
    fileobj_tables_free();
    gpsobj_free_icons();
    geo_reset_tables();
    month_names_free();
    get_core_hooks() = core_hooks{};
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    startup_table_reset();
    main_command_table_reset();
    set_stop_request(0);
    app_set_closing(0);
    ConfigFixture::TearDown();
  }

  std::unique_ptr<tm_test::UiSession> session_;
};

const std::string kSamples = TM_SOURCE_DIR "/data/samples/";

TEST_F(RunPicture, TheSamplesAreDrawnWhereTheViewPutsThem) {
  // The real initialisers and tables, on the real clock, as the program runs.
  plat::use_virtual_clock(false);
  config_reset();
  const std::string path = tm_test::fresh_dir("run-picture") + "frame.png";
  setenv("TARMELO_PICTURE", path.c_str(), 1);
  const std::string calibration = kSamples + "relief.map";
  const std::string track = kSamples + "boucle.gpx";
  const int code = run_main({calibration.c_str(), "-load", track.c_str()});
  unsetenv("TARMELO_PICTURE");
  ASSERT_EQ(code, 0);

  // The view: the current map window's mapping, its place in the frame's picture.
  mapwin_t* win = get_current_mapwin();
  ASSERT_NE(win, nullptr);
  view v;
  std::memcpy(&v.map, &win->map, sizeof v.map);
  v.width = win->width;
  v.height = win->height;
  plat::Rect frame_rect;
  ASSERT_TRUE(plat::get_window_rect(main_frame_window(), &frame_rect));
  plat::Point origin;
  ASSERT_TRUE(plat::client_to_screen(main_map_window(), &origin));
  v.offset = {origin.x - frame_rect.left, origin.y - frame_rect.top};
  // The graph space is in geographic degrees, so world coordinates are longitude and latitude.
  graphspace_t* gs = graphspace_current();
  ASSERT_TRUE(gs && gs->georef);
  ASSERT_EQ(gs->georef->refertype, GEOREF_GEOGRAPHIC);
  ASSERT_EQ(gs->georef->unit, ANG_DEGREE);

  const picture shot = tm_test::read_picture(path);
  const picture relief = tm_test::read_picture(kSamples + "relief.png");
  ASSERT_GT(shot.width, 0);
  const rgb background = colour_of(win->background);
  const std::string gpx = read_file(track);
  // The calibration's first and third points are the image's top-left and bottom-right
  // pixel corners.
  const std::vector<image_corner> corners = calibration_corners(calibration);
  ASSERT_EQ(corners.size(), 4u);
  ASSERT_EQ(corners[0].px, 0.0);
  ASSERT_EQ(corners[0].py, 0.0);
  ASSERT_EQ(corners[2].px, relief.width);
  ASSERT_EQ(corners[2].py, relief.height);

  SCOPED_TRACE("picture " + path);
  // The view chosen shows the whole image.
  for (const image_corner& c : corners) {
    EXPECT_TRUE(in_map_window(v, int(std::lround(v.x(c.at.lon))) - int(c.px > 0),
                              int(std::lround(v.y(c.at.lat))) - int(c.py > 0)))
        << "corner " << c.px << "," << c.py << " outside the map window";
  }
  check_image_corners(shot, relief, v, corners, background);
  check_image_content(shot, relief, v, corners);
  const rgb track_colour = colour_of(gpsobj_default_colour(CLS_TRACKLOG));
  check_track(shot, v, track_vertices(gpx), waypoints(gpx), track_colour);
  check_waypoints(shot, relief, v, corners, waypoints(gpx), track_colour);

  // The frame carries the program's icon picture, large and 16 x 16; the About box shows
  // the same picture in place of the information icon.
  plat::Surface big, small, icon;
  ASSERT_TRUE(plat::get_window_icon(main_frame_window(), plat::kWindowIconBig, &big));
  ASSERT_TRUE(plat::get_window_icon(main_frame_window(), plat::kWindowIconSmall, &small));
  EXPECT_EQ(big.width, 32);
  EXPECT_EQ(big.height, 32);
  EXPECT_EQ(small.width, 16);
  EXPECT_EQ(small.height, 16);
  ASSERT_TRUE(raster_icon_surface(program_icon_file(kProgramIcon), nullptr, 32, &icon));
  EXPECT_EQ(big.pixels, icon.pixels);
  EXPECT_NE(std::count(big.pixels.begin(), big.pixels.end(), big.pixels[0]), 32 * 32)
      << "the picture, not one flat colour";
  tm_test::clear_message_boxes();
  about_box(kProgramIcon);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].flags & 0xF0u, plat::MB_USERICON);
}

}  // namespace
