// The map program as a user meets it, on files made while the test runs by outside tools:
// GeoTIFFs written by gdal_translate and gdalwarp in geographic, projected and US-feet
// systems, JPEG, GIF and PNG pictures written by ImageMagick (one placed by its EXIF
// position, written by exiftool), a MIF file written by ogr2ogr (a Shapefile has no
// system the program reads: it asks for one in a dialog), an OpenStreetMap file as an
// editor saves it, and a GPX file of labelled waypoints written by gpsbabel. Each case
// runs the whole program headless on its files and reads the picture of its frame: the
// data is drawn, fills the map window after the fit, a marked corner lies where the
// outside tool's georeference puts it (in the view the program chose: screen = (world +
// origin) * scale), and a picture's top row is on top.
//
// The pictures carry one asymmetric mark: a blue field with a red block in the top-left
// corner and a yellow band along the bottom. A case whose tool is missing is skipped,
// saying which.
//
// Also here: the cursor coordinate window's text over an image in US survey feet, the
// status text of failed loads (its reason, and its end at the next good load), and an
// unknown command-line option named on standard error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "formats/gpx.h"
#include "formats/osm.h"
#include "formats/polish_map.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/cursor_system.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/repr.h"
#include "map/view_records.h"
#include "map/view_set.h"
#include "raster/image_load_internal.h"
#include "platform/gdi/geometry.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/ui/ui.h"
#include "platform/ui/window.h"
#include "shell/command_table.h"
#include "shell/cursor_window.h"
#include "shell/menu.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/startup.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"
#include "tests/support/program_run.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::picture;
using tm_test::rgb;

// ---- The outside tools ---------------------------------------------------------------------
bool have(const char* tool) {
  std::string out;
  return tm_test::run_tool({"sh", "-c", std::string("command -v ") + tool}, &out) == 0;
}

// Runs a tool; a failure is the test's failure, with what it printed.
bool tool(const std::vector<std::string>& args) {
  std::string out;
  const int code = tm_test::run_tool(args, &out);
  EXPECT_EQ(code, 0) << args[0] << ": " << out;
  return code == 0;
}

// A point carried between two systems by gdaltransform (x y in, x y out, in each
// system's traditional axis order).
bool gdal_point(const std::string& from, const std::string& to, double x, double y, double* ox,
                double* oy) {
  const std::string in = tm_test::fresh_dir("outside-transform") + "point.txt";
  char line[128];
  std::snprintf(line, sizeof line, "%.10f %.10f\n", x, y);
  tm_test::write_file(in, line);
  std::string out;
  const int code = tm_test::run_tool(
      {"sh", "-c", "gdaltransform -output_xy -s_srs " + from + " -t_srs " + to + " < " + in}, &out);
  return code == 0 && std::sscanf(out.c_str(), "%lf %lf", ox, oy) == 2;
}

// The marked picture: 200 x 100, blue, a red block of 40 x 20 at the top left, a yellow
// band of 20 rows at the bottom.
constexpr int kMarkWidth = 200, kMarkHeight = 100;
const rgb kRed{255, 0, 0}, kYellow{255, 255, 0}, kBlue{0, 0, 255};

std::string make_mark(const std::string& dir, const std::string& name, const char* field = "blue") {
  const std::string path = dir + name;
  // Three 8-bit planes (ImageMagick would write a 4-colour palette of 2-bit pixels).
  tool({"convert", "-size", "200x100", std::string("xc:") + field, "-fill", "red", "-draw",
        "rectangle 0,0 39,19", "-fill", "yellow", "-draw", "rectangle 0,80 199,99", "-type",
        "TrueColor", "PNG24:" + path});
  return path;
}

// ---- The view of a run ---------------------------------------------------------------------
struct view {
  screen_mapping map{};
  plat::Point offset;  // the map window's client origin in the picture
  int width = 0, height = 0;
  rgb background;
  double x(double wx) const { return (wx + map.origin_x) * map.scale_x + offset.x; }
  double y(double wy) const { return (wy + map.origin_y) * map.scale_y + offset.y; }
  bool inside(int px, int py) const {
    return px >= offset.x && py >= offset.y && px < offset.x + width && py < offset.y + height;
  }
};

rgb colour_of(uint32_t word) { return {int(word & 255), int(word >> 8 & 255), int(word >> 16 & 255)}; }

// The box of the pixels of the map window that are not its background, and how many.
struct drawn_box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long count = 0;
};
drawn_box drawn(const picture& shot, const view& v) {
  drawn_box b;
  for (int y = v.offset.y; y < v.offset.y + v.height; ++y)
    for (int x = v.offset.x; x < v.offset.x + v.width; ++x) {
      if (!shot.inside(x, y) || shot.at(x, y).distance(v.background) == 0) continue;
      ++b.count;
      b.left = std::min(b.left, x), b.right = std::max(b.right, x);
      b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
    }
  return b;
}

// The mean position of the pixels of one colour (within a small distance) in the window.
struct colour_spot {
  double x = 0, y = 0;
  long count = 0;
};
colour_spot spot(const picture& shot, const view& v, const rgb& colour) {
  colour_spot s;
  for (int y = v.offset.y; y < v.offset.y + v.height; ++y)
    for (int x = v.offset.x; x < v.offset.x + v.width; ++x)
      if (shot.inside(x, y) && shot.at(x, y).distance(colour) <= 60) {
        s.x += x, s.y += y, ++s.count;
      }
  if (s.count) s.x /= double(s.count), s.y /= double(s.count);
  return s;
}

// ---- One case: the files, then what the picture must show ---------------------------------
struct corner_mark {
  std::string system;  // the system the corner is given in ("" none)
  double x = 0, y = 0;  // the red block's outer corner, in that system
};

struct outside_case {
  const char* name;
  std::vector<const char*> tools;
  // Makes the files in the folder, in the order they are to be loaded. Fills in the
  // marked corner when the case has one.
  std::function<std::vector<std::string>(const std::string& dir, corner_mark* corner)> make;
  bool image = false;  // the case shows the mark picture (its top must be on top)
};

void PrintTo(const outside_case& c, std::ostream* os) { *os << c.name; }

std::string gpx_of_labelled_waypoints(const std::string& dir) {
  const std::string csv = tm_test::write_file(
      dir + "points.csv",
      "lat,lon,name\n"
      "45.5010,6.1010,Col du Nord\n"
      "45.5030,6.1090,Refuge des Aiguilles\n"
      "45.4970,6.1130,Lac Blanc superieur\n"
      "45.4950,6.1040,Chalet d'en bas\n");
  const std::string gpx = dir + "points.gpx";
  tool({"gpsbabel", "-i", "unicsv", "-f", csv, "-o", "gpx", "-F", gpx});
  return gpx;
}

// Two lines and a polygon around Lyon, as GeoJSON for ogr2ogr.
std::string geojson(const std::string& dir) {
  return tm_test::write_file(
      dir + "shapes.geojson",
      R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"name":"a"},"geometry":{"type":"LineString","coordinates":[[4.80,45.70],[4.90,45.78],[4.95,45.74]]}},
{"type":"Feature","properties":{"name":"b"},"geometry":{"type":"LineString","coordinates":[[4.82,45.76],[4.88,45.72]]}},
{"type":"Feature","properties":{"name":"c"},"geometry":{"type":"Polygon","coordinates":[[[4.84,45.74],[4.86,45.74],[4.86,45.75],[4.84,45.75],[4.84,45.74]]]}}]})");
}

// A village as an OpenStreetMap editor saves it: named places and shops, a road and a
// stream, each feature kind in a folder of its own key.
constexpr const char* kVillageOsm = R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version="0.6" generator="JOSM">
  <node id="-1" lat="45.9000" lon="6.1200"><tag k="place" v="village"/><tag k="name" v="Saint-Martin"/></node>
  <node id="-2" lat="45.9040" lon="6.1290"><tag k="amenity" v="cafe"/><tag k="name" v="Cafe du Pont"/></node>
  <node id="-3" lat="45.8960" lon="6.1150"><tag k="shop" v="bakery"/><tag k="name" v="Boulangerie"/></node>
  <node id="-4" lat="45.8950" lon="6.1100"/>
  <node id="-5" lat="45.9000" lon="6.1200"/>
  <node id="-6" lat="45.9060" lon="6.1320"/>
  <node id="-7" lat="45.8940" lon="6.1250"/>
  <node id="-8" lat="45.9050" lon="6.1180"/>
  <way id="-10"><nd ref="-4"/><nd ref="-5"/><nd ref="-6"/><tag k="highway" v="secondary"/><tag k="name" v="Route du Col"/></way>
  <way id="-11"><nd ref="-7"/><nd ref="-8"/><tag k="waterway" v="stream"/><tag k="name" v="Nant Blanc"/></way>
</osm>
)";

const std::vector<outside_case>& cases() {
  static const std::vector<outside_case> all = {
      {"OsmFile", {}, [](const std::string& dir, corner_mark*) {
         return std::vector<std::string>{tm_test::write_file(dir + "village.osm", kVillageOsm)};
       }},
      {"GpxOfLabelledWaypoints", {"gpsbabel"}, [](const std::string& dir, corner_mark*) {
         return std::vector<std::string>{gpx_of_labelled_waypoints(dir)};
       }},
      {"MifFromOgr", {"ogr2ogr"}, [](const std::string& dir, corner_mark*) {
         const std::string mif = dir + "shapes.mif";
         tool({"ogr2ogr", "-f", "MapInfo File", "-a_srs", "EPSG:4326", mif, geojson(dir)});
         return std::vector<std::string>{mif};
       }},
      {"PlainJpeg", {"convert"}, [](const std::string& dir, corner_mark*) {
         const std::string png = make_mark(dir, "mark.png"), jpg = dir + "mark.jpg";
         tool({"convert", png, "-quality", "95", jpg});
         return std::vector<std::string>{jpg};
       }, true},
      {"PlainGif", {"convert"}, [](const std::string& dir, corner_mark*) {
         const std::string png = make_mark(dir, "mark.png"), gif = dir + "mark.gif";
         tool({"convert", png, gif});
         return std::vector<std::string>{gif};
       }, true},
      {"PlainPng", {"convert"}, [](const std::string& dir, corner_mark*) {
         return std::vector<std::string>{make_mark(dir, "mark.png")};
       }, true},
      // A photo with its position in EXIF: placed on the map, its top still on top.
      {"PlacedPhoto", {"convert", "exiftool"}, [](const std::string& dir, corner_mark*) {
         const std::string png = make_mark(dir, "mark.png"), jpg = dir + "photo.jpg";
         tool({"convert", png, "-quality", "95", jpg});
         tool({"exiftool", "-q", "-overwrite_original", "-GPSLatitude=45.5", "-GPSLatitudeRef=N",
               "-GPSLongitude=6.1", "-GPSLongitudeRef=E", jpg});
         return std::vector<std::string>{jpg};
       }, true},
      {"GeoTiffInUtm", {"convert", "gdal_translate"}, [](const std::string& dir, corner_mark* c) {
         const std::string tif = dir + "utm.tif";
         tool({"gdal_translate", "-q", "-a_srs", "EPSG:32632", "-a_ullr", "500000", "5400000",
               "520000", "5390000", make_mark(dir, "mark.png"), tif});
         *c = {"EPSG:32632", 500000, 5400000};
         return std::vector<std::string>{tif};
       }, true},
      {"GeoTiffInDegrees", {"convert", "gdal_translate"}, [](const std::string& dir, corner_mark* c) {
         const std::string tif = dir + "geo.tif";
         tool({"gdal_translate", "-q", "-a_srs", "EPSG:4326", "-a_ullr", "9.0", "48.75", "9.2",
               "48.65", make_mark(dir, "mark.png"), tif});
         *c = {"EPSG:4326", 9.0, 48.75};
         return std::vector<std::string>{tif};
       }, true},
      // A raster in degrees over one in UTM 32N: the first sets the display system, the
      // second is resampled into it and its corner lies where its degrees are in UTM.
      {"GeoTiffInDegreesOverUtm", {"convert", "gdal_translate", "gdalwarp", "gdaltransform"},
       [](const std::string& dir, corner_mark* c) {
         const std::string base = dir + "base.tif", warped = dir + "warped.tif";
         const std::string green = make_mark(dir, "green.png", "green");
         tool({"gdal_translate", "-q", "-a_srs", "EPSG:32632", "-a_ullr", "490000", "5410000",
               "530000", "5380000", green, dir + "base0.tif"});
         // Only the field of the base: the mark of the raster on top is the one looked for.
         tool({"gdalwarp", "-q", "-overwrite", "-ts", "200", "150", dir + "base0.tif", base});
         const std::string geo = dir + "geo.tif";
         tool({"gdal_translate", "-q", "-a_srs", "EPSG:4326", "-a_ullr", "9.0", "48.75", "9.2",
               "48.65", make_mark(dir, "mark.png"), geo});
         tool({"gdalwarp", "-q", "-overwrite", "-t_srs", "EPSG:4326", geo, warped});
         *c = {"EPSG:4326", 9.0, 48.75};
         return std::vector<std::string>{base, warped};
       }, true},
  };
  return all;
}

// ---- The run, with the exit intercepted ------------------------------------------------------
struct exit_called {
  int code;
};
void throw_exit(int code) { throw exit_called{code}; }

int run_main(const std::vector<std::string>& words) {
  std::vector<const char*> args{"tarmelo"};
  for (const std::string& w : words) args.push_back(w.c_str());
  try {
    tarmelo_main(int(args.size()), const_cast<char**>(args.data()));
  } catch (const exit_called& e) {
    return e.code;
  }
  return -1000;
}

// The program's arguments that load the files in their order: the program loads the
// files of "-load" in their order first and the first argument last.
std::vector<std::string> arguments(const std::vector<std::string>& files) {
  std::vector<std::string> out;
  if (files.empty()) return out;
  out.push_back(files.back());
  for (size_t i = 0; i + 1 < files.size(); ++i) {
    out.push_back("-load");
    out.push_back(files[i]);
  }
  return out;
}

class RunOutsideFiles : public tm_test::ConfigFixture {
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
    plat::use_virtual_clock(false);
    config_reset();
  }

  void TearDown() override {
    unsetenv("TARMELO_PICTURE");
    set_frame_exit_routine(nullptr);
    set_gblerr(0);
    for (plat::Wnd w : {main_frame_window(), main_toolbar(), main_map_window()})
      if (w && plat::is_window(w)) plat::destroy_window(w);
    session_.reset();
    plat::join_threads(10000);
    frame_reset();
    // The files the redraw decoded a second time (a process-wide list).
    image_reopened_free();
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

  // Runs the program on the files; the picture and the view it ended on.
  bool run(const std::vector<std::string>& files, const std::string& dir) {
    picture_path_ = dir + "frame.png";
    setenv("TARMELO_PICTURE", picture_path_.c_str(), 1);
    const int code = run_main(arguments(files));
    unsetenv("TARMELO_PICTURE");
    EXPECT_EQ(code, 0);
    win_ = get_current_mapwin();
    if (!win_) return false;
    std::memcpy(&view_.map, &win_->map, sizeof view_.map);
    view_.width = win_->width;
    view_.height = win_->height;
    view_.background = colour_of(win_->background);
    plat::Rect frame_rect;
    plat::Point origin;
    if (!plat::get_window_rect(main_frame_window(), &frame_rect) ||
        !plat::client_to_screen(main_map_window(), &origin))
      return false;
    view_.offset = {origin.x - frame_rect.left, origin.y - frame_rect.top};
    shot_ = tm_test::read_picture(picture_path_);
    return shot_.width > 0;
  }

  // The status text the frame shows after the run ("" when none).
  static std::string status_text() {
    mapwin_t* target = get_current_mapwin();
    char* text = nullptr;
    main_get_title_text(nullptr, &text);
    std::string out = text ? text : "";
    free_mem(&text);
    (void)target;
    return out;
  }

  std::unique_ptr<tm_test::UiSession> session_;
  std::string picture_path_;
  mapwin_t* win_ = nullptr;
  view view_;
  picture shot_;
};

// A point of the corner's system in the graph space's world units.
bool corner_in_world(const corner_mark& c, double* wx, double* wy) {
  graphspace_t* gs = graphspace_current();
  if (!gs || !gs->georef) return false;
  const georef_t* g = gs->georef;
  double x = c.x, y = c.y;
  if (g->refertype == GEOREF_PROJECTED) {
    // The display system is UTM 32N here: the outside tool carries the point into it.
    if (c.system != "EPSG:32632" && !gdal_point(c.system, "EPSG:32632", c.x, c.y, &x, &y))
      return false;
  }
  // The graph space's unit step leads from its world units to the system's own.
  if (g->transfo) {
    double z = 0;
    xform_inverse_checked(g->transfo, g->transfotype, &x, &y, &z);
  }
  *wx = x, *wy = y;
  return true;
}

class OutsideFileCase : public RunOutsideFiles, public ::testing::WithParamInterface<outside_case> {};

TEST_P(OutsideFileCase, IsDrawnFillsTheWindowAndKeepsItsPlaceAndTop) {
  const outside_case& c = GetParam();
  for (const char* t : c.tools)
    if (!have(t)) GTEST_SKIP() << t << " is not installed";
  const std::string dir = tm_test::fresh_dir((std::string("outside-") + c.name).c_str());
  corner_mark corner;
  const std::vector<std::string> files = c.make(dir, &corner);
  if (HasFailure()) return;
  ASSERT_TRUE(run(files, dir));
  SCOPED_TRACE("picture " + picture_path_ + ", status \"" + status_text() + "\"");
  EXPECT_EQ(status_text().find("isplay"), std::string::npos);

  // Drawn, and filling the window: the larger share of the drawn box is at least 60 %.
  const drawn_box b = drawn(shot_, view_);
  ASSERT_GT(b.count, 200) << "nothing drawn";
  const double share = std::max(double(b.right - b.left + 1) / view_.width,
                                double(b.bottom - b.top + 1) / view_.height);
  EXPECT_GE(share, 0.6) << "drawn box " << b.left << "," << b.top << " .. " << b.right << ","
                        << b.bottom << " in a window of " << view_.width << " x " << view_.height;

  if (c.image) {
    // The top row on top: the red block above the yellow band, on the left.
    const colour_spot red = spot(shot_, view_, kRed), yellow = spot(shot_, view_, kYellow);
    ASSERT_GT(red.count, 20);
    ASSERT_GT(yellow.count, 20);
    EXPECT_LT(red.y, yellow.y) << "the picture is upside down";
    EXPECT_LT(red.x, yellow.x) << "the picture is mirrored";
  }
  if (!corner.system.empty()) {
    double wx = 0, wy = 0;
    ASSERT_TRUE(corner_in_world(corner, &wx, &wy));
    const double sx = view_.x(wx), sy = view_.y(wy);
    SCOPED_TRACE("marked corner expected at " + std::to_string(sx) + "," + std::to_string(sy));
    // Just inside the corner the red block; just outside it not.
    const int ix = int(std::floor(sx)) + 3, iy = int(std::floor(sy)) + 3;
    ASSERT_TRUE(view_.inside(ix, iy));
    EXPECT_LE(shot_.at(ix, iy).distance(kRed), 60);
    const int ox = int(std::floor(sx)) - 3, oy = int(std::floor(sy)) - 3;
    if (view_.inside(ox, oy)) {
      EXPECT_GT(shot_.at(ox, oy).distance(kRed), 60);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, OutsideFileCase, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<outside_case>& info) {
                           return std::string(info.param.name);
                         });

// ---- Labelled waypoints: the global view and the MIF export's text boxes --------------------
TEST_F(RunOutsideFiles, LabelledWaypointsKeepTheGlobalViewAndTheirTextBoxesSmall) {
  if (!have("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  const std::string dir = tm_test::fresh_dir("outside-labels");
  const std::string gpx = gpx_of_labelled_waypoints(dir);
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(run({gpx}, dir));
  // The waypoints of points.csv: longitudes 6.1010 to 6.1130, latitudes 45.4950 to 45.5030.
  const double west = 6.1010, east = 6.1130, south = 45.4950, north = 45.5030;

  // The global view (F4) shows them large, not as a dot in a sea of label margins.
  ASSERT_EQ(view_fit_all(win_, 0.0), 1);
  const screen_mapping& m = win_->map;
  const double left = (west + m.origin_x) * m.scale_x, right = (east + m.origin_x) * m.scale_x;
  const double top = (north + m.origin_y) * m.scale_y, bottom = (south + m.origin_y) * m.scale_y;
  const double share = std::max(std::fabs(right - left) / win_->width,
                                std::fabs(bottom - top) / win_->height);
  EXPECT_GE(share, 0.5) << "waypoints from " << left << "," << top << " to " << right << ","
                        << bottom << " in " << win_->width << " x " << win_->height;

  // The MIF export: every label's TEXT box within the size of the whole set of points.
  fileatt_t* file = nullptr;
  ASSERT_NE(file_find_by_name(gpx.c_str(), &file), nullptr);
  // What the export command gives the writer: the file's folders, then their georefs.
  container_t* items = nullptr;
  file_list_folder_items(file, &items);
  ASSERT_NE(items, nullptr);
  folder_t* folder = nullptr;
  for (int at = 0; file_next_folder(file, &folder);) obj_list_insert(items, at++, folder);
  const std::string mif = dir + "points_gpx.mif";
  file_export(items, 3, 27, mif.c_str());
  obj_list_clear(items);
  free_obj(&items);
  std::ifstream in(mif);
  std::string line;
  int texts = 0;
  while (std::getline(in, line)) {
    if (line.rfind("TEXT ", 0) != 0) continue;
    std::string box;
    ASSERT_TRUE(std::getline(in, box));
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    ASSERT_EQ(std::sscanf(box.c_str(), " %lf %lf %lf %lf", &x1, &y1, &x2, &y2), 4) << box;
    ++texts;
    EXPECT_LE(std::fabs(x2 - x1), east - west) << line << " " << box;
    EXPECT_LE(std::fabs(y2 - y1), north - south) << line << " " << box;
  }
  std::ifstream again(mif);
  std::stringstream whole;
  whole << again.rdbuf();
  EXPECT_EQ(texts, 4) << mif << ":\n" << whole.str();
}

// ---- A raster resampled into the display system over another ------------------------------
// The files of scripts/fixtures/make_resample_fixtures.py: a green raster in UTM 32N, then
// a red picture written directly in degrees with a black strip along its left edge, far
// west of the zone's central meridian; neither holds a fill, a nodata value or a
// transparency of its own. Loaded over the first, the second is resampled into UTM: its
// footprint there is a turned quadrilateral (its corners, points of the strip and its
// middle given in over_degrees.txt). The corners of the resampled image's box that the
// footprint does not cover show the green raster under them; the picture's own black
// strip stays black; the middle is red.
struct utm_point {
  double x = 0, y = 0;
};

// Which side of the edge a -> b the point p is (positive: left).
double side(const utm_point& a, const utm_point& b, const utm_point& p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

TEST_F(RunOutsideFiles, AResampledRasterLeavesItsCornersToTheLowerOneAndKeepsItsBlackEdge) {
  const std::string fixtures = std::string(TM_FIXTURE_DIR) + "/raster/resample/";
  const std::string dir = tm_test::fresh_dir("outside-resampled");
  std::vector<std::string> files;
  for (const char* name : {"under_utm.tif", "over_degrees.tif"}) {
    std::ifstream in(fixtures + name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    ASSERT_FALSE(bytes.str().empty()) << name;
    files.push_back(tm_test::write_file(dir + name, bytes.str()));
  }
  // The corners run upper left, upper right, lower right, lower left: clockwise.
  std::vector<utm_point> quad, strip, middle;
  {
    std::ifstream in(fixtures + "over_degrees.txt");
    std::string name;
    utm_point p;
    while (in >> name >> p.x >> p.y)
      (name == "corner" ? quad : name == "strip" ? strip : middle).push_back(p);
  }
  ASSERT_EQ(quad.size(), 4u);
  ASSERT_EQ(strip.size(), 5u);
  ASSERT_EQ(middle.size(), 1u);
  ASSERT_TRUE(run(files, dir));
  SCOPED_TRACE("picture " + picture_path_);

  const rgb kGreen{0, 200, 0}, kRed{255, 0, 0}, kBlack{0, 0, 0};
  // The colour of the picture at a UTM point.
  auto colour_at = [&](const utm_point& p, rgb* out) {
    double wx = 0, wy = 0;
    if (!corner_in_world({"EPSG:32632", p.x, p.y}, &wx, &wy)) return false;
    const int sx = int(std::lround(view_.x(wx))), sy = int(std::lround(view_.y(wy)));
    if (!view_.inside(sx, sy)) return false;
    *out = shot_.at(sx, sy);
    return true;
  };
  auto expect_colour = [&](const utm_point& p, const rgb& want, const char* what) {
    rgb seen;
    ASSERT_TRUE(colour_at(p, &seen)) << "not in the window";
    EXPECT_LE(seen.distance(want), 30) << what << " shows " << seen.r << "," << seen.g << ","
                                       << seen.b;
  };

  // The box of the footprint and, at each of its corners, the triangle between that
  // corner and the two vertices of the footprint on the box's sides there.
  double xmin = quad[0].x, xmax = quad[0].x, ymin = quad[0].y, ymax = quad[0].y;
  for (const utm_point& p : quad) {
    xmin = std::min(xmin, p.x), xmax = std::max(xmax, p.x);
    ymin = std::min(ymin, p.y), ymax = std::max(ymax, p.y);
  }
  auto extreme = [&](auto better) {
    utm_point best = quad[0];
    for (const utm_point& p : quad)
      if (better(p, best)) best = p;
    return best;
  };
  const utm_point top = extreme([](auto& a, auto& b) { return a.y > b.y; });
  const utm_point bottom = extreme([](auto& a, auto& b) { return a.y < b.y; });
  const utm_point left = extreme([](auto& a, auto& b) { return a.x < b.x; });
  const utm_point right = extreme([](auto& a, auto& b) { return a.x > b.x; });
  const struct {
    const char* name;
    utm_point corner, a, b;
  } triangles[] = {
      {"upper left", {xmin, ymax}, left, top},
      {"upper right", {xmax, ymax}, top, right},
      {"lower right", {xmax, ymin}, right, bottom},
      {"lower left", {xmin, ymin}, bottom, left},
  };
  for (const auto& t : triangles) {
    SCOPED_TRACE(t.name);
    const utm_point in{(t.corner.x + t.a.x + t.b.x) / 3, (t.corner.y + t.a.y + t.b.y) / 3};
    // Outside the footprint: on the outer side of one of its edges (it runs clockwise).
    bool outside = false;
    for (size_t i = 0; i < 4; ++i)
      outside = outside || side(quad[i], quad[(i + 1) % 4], in) > 0;
    ASSERT_TRUE(outside);
    expect_colour(in, kGreen, "the corner the picture does not cover");
  }
  for (size_t i = 0; i < strip.size(); ++i) {
    SCOPED_TRACE("strip point " + std::to_string(i));
    expect_colour(strip[i], kBlack, "the picture's black strip");
  }
  expect_colour(middle[0], kRed, "the picture's middle");
}

// ---- The cursor coordinate window over an image in US survey feet --------------------------
// Reads " ( x , y )" as two numbers.
bool two_numbers(const char* text, double* x, double* y) {
  return text && std::sscanf(text, " ( %lf , %lf )", x, y) == 2;
}

TEST_F(RunOutsideFiles, CursorOverAnImageInUsFeetShowsDegreesAndFeet) {
  for (const char* t : {"convert", "gdal_translate", "gdaltransform"})
    if (!have(t)) GTEST_SKIP() << t << " is not installed";
  const std::string dir = tm_test::fresh_dir("outside-feet");
  const std::string tif = dir + "feet.tif";
  // NAD27 / Illinois East, in US survey feet: 10 000 x 5 000 ft around Chicago.
  ASSERT_TRUE(tool({"gdal_translate", "-q", "-a_srs", "EPSG:26771", "-a_ullr", "688000",
                    "1900000", "698000", "1895000", make_mark(dir, "mark.png"), tif}));
  ASSERT_TRUE(run({tif}, dir));
  graphspace_t* gs = graphspace_current();
  ASSERT_TRUE(gs && gs->georef);
  pane_t* pane = win_->pane;
  ASSERT_TRUE(pane && pane->georef);

  // A known point: the middle of the image, in feet; its pixel in the map window.
  const double fx = 693000, fy = 1897500;
  corner_mark at{"EPSG:26771", fx, fy};
  double wx = 0, wy = 0;
  {
    double x = fx, y = fy;
    if (gs->georef->transfo) {
      double z = 0;
      xform_inverse_checked(gs->georef->transfo, gs->georef->transfotype, &x, &y, &z);
    }
    wx = x, wy = y;
  }
  const int px = int(std::lround((wx + win_->map.origin_x) * win_->map.scale_x));
  const int py = int(std::lround((wy + win_->map.origin_y) * win_->map.scale_y));
  ASSERT_TRUE(px >= 0 && py >= 0 && px < win_->width && py < win_->height) << px << "," << py;
  std::memcpy(&pane->map, &win_->map, sizeof pane->map);
  // One pixel of the window in feet: the tolerance of a position read at a pixel.
  const double pixel_feet = std::fabs(1.0 / win_->map.scale_x) * 1.5 + 1.0;

  // In the file's own system (the cursor system the program starts with).
  char* position = nullptr;
  char* system = nullptr;
  ASSERT_EQ(format_cursor_position(px, py, pane, &position, &system), 1);
  double x = 0, y = 0;
  EXPECT_TRUE(two_numbers(position, &x, &y)) << (position ? position : "");
  EXPECT_NEAR(x, fx, pixel_feet) << position << " in " << (system ? system : "");
  EXPECT_NEAR(y, fy, pixel_feet) << position << " in " << (system ? system : "");
  free_mem(&position);
  free_mem(&system);

  // In WGS 84 degrees, against gdaltransform.
  double lon = 0, lat = 0;
  ASSERT_TRUE(gdal_point("EPSG:26771", "EPSG:4326", fx, fy, &lon, &lat));
  ASSERT_EQ(georef_set_by_name(pane->georef, "WGS 84", nullptr, nullptr), 1);
  georef_reset_unit(pane->georef);
  cursor_set_transform(win_, gs->georef);
  ASSERT_EQ(get_gblerr(), 0);
  ASSERT_EQ(format_cursor_position(px, py, pane, &position, &system), 1);
  EXPECT_TRUE(two_numbers(position, &x, &y)) << (position ? position : "");
  // A pixel is a few feet; the datum shift of NAD27 is met within a few metres.
  EXPECT_NEAR(x, lon, 2e-4) << position << " in " << (system ? system : "");
  EXPECT_NEAR(y, lat, 2e-4) << position << " in " << (system ? system : "");
  free_mem(&position);
  free_mem(&system);
}

// ---- The cursor coordinate window far outside a UTM zone -------------------------------------
// The dark pixels of the cursor window's client area (its text).
int dark_pixels(plat::Wnd wnd) {
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 380; ++x)
      if ((tm_test::pixel_at(wnd, x, y) & 0xFFFFFF) < 0x404040) ++dark;
  return dark;
}

// A UTM session (a GeoTIFF in UTM zone 31N), the view zoomed out to a hundred kilometres a
// pixel and the cursor system in WGS 84 degrees (and on another datum, through a datum
// shift). Inside the zone the window shows the point's degrees; with the pointer far
// outside the zone, where the zone's projection has no point, it shows nothing: no
// "nan", no longitude of -90 beside it, and not the previous position either.
TEST_F(RunOutsideFiles, CursorFarOutsideAUtmZoneShowsNoCoordinates) {
  for (const char* t : {"convert", "gdal_translate", "gdaltransform"})
    if (!have(t)) GTEST_SKIP() << t << " is not installed";
  const std::string dir = tm_test::fresh_dir("outside-utm-cursor");
  const std::string tif = dir + "utm.tif";
  ASSERT_TRUE(tool({"gdal_translate", "-q", "-a_srs", "EPSG:32631", "-a_ullr", "480000",
                    "4010000", "520000", "3990000", make_mark(dir, "mark.png"), tif}));
  ASSERT_TRUE(run({tif}, dir));
  graphspace_t* gs = graphspace_current();
  ASSERT_TRUE(gs && gs->georef);
  ASSERT_EQ(int(gs->georef->refertype), GEOREF_PROJECTED);
  pane_t* pane = win_->pane;
  ASSERT_TRUE(pane && pane->georef);
  ASSERT_TRUE(tm_test::choose_menu_command(main_frame_window(), IDM_CURSOR_DISPLAY));
  tm_test::run_until_idle();
  plat::Wnd cursor = cursor_window();
  ASSERT_NE(cursor, nullptr);

  // A hundred kilometres a pixel, UTM (500000, 4000000) at pixel (20, 20): pixel 320 of
  // the same row is 30 000 km east of the central meridian.
  ASSERT_GT(win_->width, 330);
  ASSERT_GT(win_->height, 30);
  const double scale = 1e-5;
  double wx = 500000.0, wy = 4000000.0;
  if (gs->georef->transfo) {
    double z = 0;
    xform_inverse_checked(gs->georef->transfo, gs->georef->transfotype, &wx, &wy, &z);
  }
  win_->map = screen_mapping{20.0 / scale - wx, -20.0 / scale - wy, scale, -scale};
  std::memcpy(&pane->map, &win_->map, sizeof pane->map);
  double lon = 0, lat = 0;
  ASSERT_TRUE(gdal_point("EPSG:32631", "EPSG:4326", 500000.0, 4000000.0, &lon, &lat));

  struct cursor_system {
    const char* name;
    double tolerance;  // degrees: a pixel is 100 km; the datum shift adds a little
  };
  for (const cursor_system& c : {cursor_system{"WGS 84", 0.02},
                                 cursor_system{"ED50 (Europe - west central (by country))", 0.05}}) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(georef_set_by_name(pane->georef, c.name, nullptr, nullptr), 1);
    georef_reset_unit(pane->georef);
    cursor_set_transform(win_, gs->georef);
    ASSERT_EQ(get_gblerr(), 0);
    // Inside the zone: the degrees of the point, drawn.
    tm_test::mouse_move(main_map_window(), 20, 20);
    tm_test::run_until_idle();
    EXPECT_EQ(plat::window_text(cursor), std::string(c.name) + " (Degree)");
    EXPECT_GT(dark_pixels(cursor), 50);
    char* position = nullptr;
    char* system = nullptr;
    ASSERT_EQ(format_cursor_position(20, 20, pane, &position, &system), 1);
    double x = 0, y = 0;
    EXPECT_TRUE(two_numbers(position, &x, &y)) << (position ? position : "");
    EXPECT_NEAR(x, lon, c.tolerance) << position;
    EXPECT_NEAR(y, lat, c.tolerance) << position;
    free_mem(&position);
    free_mem(&system);
    // Far outside: nothing, and the window no longer shows the earlier position.
    for (int px : {320, 326}) {
      ASSERT_EQ(format_cursor_position(px, 20, pane, &position, &system), 1);
      EXPECT_STREQ(position, "") << "at pixel " << px;
      free_mem(&position);
      free_mem(&system);
      tm_test::mouse_move(main_map_window(), px, 20);
      tm_test::run_until_idle();
      EXPECT_EQ(dark_pixels(cursor), 0) << "at pixel " << px;
    }
  }
  ASSERT_TRUE(tm_test::choose_menu_command(main_frame_window(), IDM_CURSOR_DISPLAY));
  tm_test::run_until_idle();
  EXPECT_EQ(cursor_window(), nullptr);
}

// ---- Failed loads -----------------------------------------------------------------------------
struct failed_load {
  const char* name;
  const char* file;  // written into the folder (null: not made)
  const char* text;  // its content
  const char* reason;  // the error's text the status names
};

void PrintTo(const failed_load& c, std::ostream* os) { *os << c.name; }

class FailedLoad : public RunOutsideFiles, public ::testing::WithParamInterface<failed_load> {};

TEST_P(FailedLoad, NamesTheFileAndWhyAndEndsAtTheNextGoodLoad) {
  const failed_load& c = GetParam();
  const std::string dir = tm_test::fresh_dir((std::string("failed-") + c.name).c_str());
  const std::string path = dir + c.file;
  if (c.text) tm_test::write_file(path, c.text);
  ASSERT_TRUE(run({path}, dir));
  const std::string status = status_text();
  EXPECT_NE(status.find(path), std::string::npos) << status;
  EXPECT_NE(status.find(c.reason), std::string::npos) << status;

  // The same failure followed by a good load: the failure's text is gone.
  TearDown();
  SetUp();
  const std::string good = TM_SOURCE_DIR "/data/samples/boucle.gpx";
  ASSERT_TRUE(run({path, good}, dir));
  EXPECT_EQ(status_text().find(path), std::string::npos) << status_text();
}

INSTANTIATE_TEST_SUITE_P(
    Loads, FailedLoad,
    ::testing::Values(
        failed_load{"MissingFile", "nowhere.gpx", nullptr, "No access to the file"},
        failed_load{"TextNamedJpeg", "notes.jpg", "These are notes, not a picture.\n",
                    "Unknown format"},
        failed_load{"EmptyGpx", "empty.gpx", "", "Invalid file"},
        failed_load{"MifOfDatumZero", "datum0.mif",
                    "Version 300\nCharset \"WindowsLatin1\"\nDelimiter \",\"\n"
                    "CoordSys Earth Projection 1, 0\nColumns 1\n  name Char(10)\nData\n\n"
                    "Point 4.8 45.7\n",
                    "Geographic error"}),
    [](const ::testing::TestParamInfo<failed_load>& info) { return std::string(info.param.name); });

// ---- The fit after the loads -------------------------------------------------------------------
// Points in geographic degrees and the pixel of the picture the run's view puts them at.
struct named_point {
  const char* name;
  double lon, lat;
};

// Whether something other than the window's background is drawn within `reach` pixels
// of the point's pixel.
bool drawn_near(const picture& shot, const view& v, const named_point& p, int reach) {
  const int px = int(std::floor(v.x(p.lon))), py = int(std::floor(v.y(p.lat)));
  for (int y = py - reach; y <= py + reach; ++y)
    for (int x = px - reach; x <= px + reach; ++x)
      if (v.inside(x, y) && shot.inside(x, y) && shot.at(x, y).distance(v.background) != 0)
        return true;
  return false;
}

// The share of the window (the larger of width and height) that the points' box spans
// in the run's view; 0 when one of them lies outside the window.
double spread(const view& v, const std::vector<named_point>& points) {
  double left = 1e300, right = -1e300, top = 1e300, bottom = -1e300;
  for (const named_point& p : points) {
    const double x = v.x(p.lon), y = v.y(p.lat);
    if (!v.inside(int(std::floor(x)), int(std::floor(y)))) return 0.0;
    left = std::min(left, x), right = std::max(right, x);
    top = std::min(top, y), bottom = std::max(bottom, y);
  }
  return std::max((right - left) / v.width, (bottom - top) / v.height);
}

bool graph_space_in_degrees() {
  graphspace_t* gs = graphspace_current();
  return gs && gs->georef && gs->georef->refertype == GEOREF_GEOGRAPHIC &&
         gs->georef->unit == ANG_DEGREE;
}

const std::vector<named_point> kWaypoints = {
    {"Nord", 6.10, 45.51}, {"Est", 6.14, 45.51}, {"Sud", 6.14, 45.49}, {"Ouest", 6.10, 45.49}};

std::string waypoint_gpx(const std::string& dir) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  char line[160];
  for (const named_point& p : kWaypoints) {
    std::snprintf(line, sizeof line, "<wpt lat=\"%.4f\" lon=\"%.4f\"><name>%s</name></wpt>\n",
                  p.lat, p.lon, p.name);
    text += line;
  }
  return tm_test::write_file(dir + "waypoints.gpx", text + "</gpx>\n");
}

// A file that fails to load, queued last after the waypoints.
struct failing_last {
  const char* name;
  const char* file;
  std::string content;
  const char* reason;  // the error's text the status names
};

void PrintTo(const failing_last& c, std::ostream* os) { *os << c.name; }

class FailingLastLoad : public RunOutsideFiles,
                        public ::testing::WithParamInterface<failing_last> {};

TEST_P(FailingLastLoad, LeavesTheWaypointsDrawnAndFittedAndNamesTheFailure) {
  const failing_last& c = GetParam();
  const std::string dir = tm_test::fresh_dir((std::string("failing-last-") + c.name).c_str());
  const std::string failing = tm_test::write_file(dir + c.file, c.content);
  // The waypoints first, the failing file last.
  ASSERT_TRUE(run({waypoint_gpx(dir), failing}, dir));
  ASSERT_TRUE(graph_space_in_degrees());
  const std::string status = status_text();
  SCOPED_TRACE("picture " + picture_path_ + ", status \"" + status + "\"");
  EXPECT_NE(status.find(failing), std::string::npos);
  EXPECT_NE(status.find(c.reason), std::string::npos);
  // Fitted: the waypoints lie in the window and span most of it; each is drawn.
  EXPECT_GE(spread(view_, kWaypoints), 0.5);
  for (const named_point& p : kWaypoints) EXPECT_TRUE(drawn_near(shot_, view_, p, 8)) << p.name;
}

INSTANTIATE_TEST_SUITE_P(
    Loads, FailingLastLoad,
    ::testing::Values(
        failing_last{"TextNamedJpeg", "notes.jpg", "These are notes, not a picture.\n",
                     "Unknown format"},
        // A picture without georeference cannot join the waypoints' WGS 84 space.
        failing_last{"PlainPicture", "plain.ppm",
                     "P6\n8 8\n255\n" + std::string(8 * 8 * 3, '\x7f'), "Geographic error"}),
    [](const ::testing::TestParamInfo<failing_last>& info) {
      return std::string(info.param.name);
    });

// A KML file of four placemarks 1 degree apart: two in a shown folder, one in a folder
// whose visibility is 0, one outside any folder; and the same four without folders.
const std::vector<named_point> kPlacemarks = {
    {"Alpha", 5.0, 45.0}, {"Bravo", 6.0, 45.0}, {"Charlie", 7.0, 45.0}, {"Delta", 8.0, 45.0}};

std::string placemark(const named_point& p) {
  char text[200];
  std::snprintf(text, sizeof text,
                "<Placemark><name>%s</name><Point><coordinates>%.1f,%.1f</coordinates></Point>"
                "</Placemark>\n",
                p.name, p.lon, p.lat);
  return text;
}

std::string kml_file(const std::string& path, bool folders) {
  const auto& p = kPlacemarks;
  std::string body;
  if (folders)
    body = "<Folder><name>Shown</name>\n" + placemark(p[0]) + placemark(p[1]) + "</Folder>\n" +
           "<Folder><name>Hidden</name><visibility>0</visibility>\n" + placemark(p[2]) +
           "</Folder>\n" + placemark(p[3]);
  else
    for (const named_point& q : p) body += placemark(q);
  return tm_test::write_file(path,
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n" +
                                 body + "</Document></kml>\n");
}

TEST_F(RunOutsideFiles, AHiddenKmlFolderIsNotDrawnAndTheFitSpreadsTheShownPoints) {
  const std::string dir = tm_test::fresh_dir("kml-hidden-folder");
  // Without folders: the four placemarks fill the window.
  ASSERT_TRUE(run({kml_file(dir + "flat.kml", false)}, dir));
  ASSERT_TRUE(graph_space_in_degrees());
  const double flat = spread(view_, kPlacemarks);
  EXPECT_GE(flat, 0.6) << "picture " << picture_path_;
  for (const named_point& p : kPlacemarks) EXPECT_TRUE(drawn_near(shot_, view_, p, 8)) << p.name;

  TearDown();
  SetUp();
  ASSERT_TRUE(run({kml_file(dir + "folders.kml", true)}, dir));
  ASSERT_TRUE(graph_space_in_degrees());
  SCOPED_TRACE("picture " + picture_path_);
  // The shown points are drawn, the hidden one is not (its symbol and its label).
  for (const named_point& p : {kPlacemarks[0], kPlacemarks[1], kPlacemarks[3]})
    EXPECT_TRUE(drawn_near(shot_, view_, p, 8)) << p.name;
  EXPECT_FALSE(drawn_near(shot_, view_, kPlacemarks[2], 20)) << kPlacemarks[2].name;
  // The shown points span Alpha to Delta as the four do without folders: the same fit.
  const double shown = spread(view_, {kPlacemarks[0], kPlacemarks[1], kPlacemarks[3]});
  EXPECT_GE(shown, 0.6);
  EXPECT_NEAR(shown, flat, 0.1 * flat);
}

// A hidden folder far from the shown points, and a lone point outside any folder: that
// point's symbol and label are sized by the spread of the shown points only, so the fit
// is the one of the file without the hidden folder.
TEST_F(RunOutsideFiles, AFarHiddenKmlFolderLeavesTheFitOfTheShownPoints) {
  const std::vector<named_point> shown = {{"P1", 6.10, 45.90}, {"P2", 6.20, 45.95}};
  const named_point lone{"D", 6.15, 45.85}, hidden{"H", 12.50, 41.90};
  const auto placemark = [](const named_point& p) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "<Placemark><name>%s</name><Point><coordinates>%.2f,%.2f</coordinates>"
                  "</Point></Placemark>\n",
                  p.name, p.lon, p.lat);
    return std::string(text);
  };
  const auto kml = [&](const std::string& path, bool with_hidden) {
    std::string body = "<Folder><name>Shown</name>\n";
    for (const named_point& p : shown) body += placemark(p);
    body += "</Folder>\n";
    if (with_hidden)
      body += "<Folder><name>Hidden</name><visibility>0</visibility>\n" + placemark(hidden) +
              "</Folder>\n";
    body += placemark(lone);
    return tm_test::write_file(path,
                               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n" +
                                   body + "</Document></kml>\n");
  };
  const std::vector<named_point> all_shown = {shown[0], shown[1], lone};
  const std::string dir = tm_test::fresh_dir("kml-far-hidden-folder");
  ASSERT_TRUE(run({kml(dir + "without.kml", false)}, dir));
  ASSERT_TRUE(graph_space_in_degrees());
  const double alone = spread(view_, all_shown);
  EXPECT_GE(alone, 0.5) << "picture " << picture_path_;

  TearDown();
  SetUp();
  ASSERT_TRUE(run({kml(dir + "with.kml", true)}, dir));
  ASSERT_TRUE(graph_space_in_degrees());
  SCOPED_TRACE("picture " + picture_path_);
  for (const named_point& p : all_shown) EXPECT_TRUE(drawn_near(shot_, view_, p, 8)) << p.name;
  EXPECT_FALSE(drawn_near(shot_, view_, hidden, 20)) << hidden.name;
  EXPECT_NEAR(spread(view_, all_shown), alone, 0.1 * alone);
}

// ---- Data spread over most of the globe --------------------------------------------------------
// Waypoints from one corner to the other in `n` equal steps, named W0, W1, ...
struct spread_case {
  const char* name;
  double lon0, lat0, lon1, lat1;
  int n;
};

void PrintTo(const spread_case& c, std::ostream* os) { *os << c.name; }

class WideSpread : public RunOutsideFiles, public ::testing::WithParamInterface<spread_case> {};

// The fit holds every waypoint, and every one is drawn, however wide the data: symbols
// too small for the view by their design size are still drawn at the scale that shows
// the whole data.
TEST_P(WideSpread, TheFitHoldsEveryWaypointAndDrawsIt) {
  const spread_case& c = GetParam();
  std::vector<std::string> names;
  std::vector<named_point> points;
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  for (int i = 0; i <= c.n; ++i) names.push_back("W" + std::to_string(i));
  for (int i = 0; i <= c.n; ++i) {
    const double t = double(i) / c.n;
    const named_point p{names[size_t(i)].c_str(), c.lon0 + t * (c.lon1 - c.lon0),
                        c.lat0 + t * (c.lat1 - c.lat0)};
    points.push_back(p);
    char line[160];
    std::snprintf(line, sizeof line, "<wpt lat=\"%.4f\" lon=\"%.4f\"><name>%s</name></wpt>\n",
                  p.lat, p.lon, p.name);
    text += line;
  }
  const std::string dir = tm_test::fresh_dir((std::string("wide-") + c.name).c_str());
  ASSERT_TRUE(run({tm_test::write_file(dir + "spread.gpx", text + "</gpx>\n")}, dir));
  ASSERT_TRUE(graph_space_in_degrees());
  SCOPED_TRACE("picture " + picture_path_);
  int inside = 0;
  for (const named_point& p : points) {
    if (!view_.inside(int(std::floor(view_.x(p.lon))), int(std::floor(view_.y(p.lat))))) continue;
    ++inside;
    EXPECT_TRUE(drawn_near(shot_, view_, p, 8)) << p.name;
  }
  EXPECT_EQ(inside, int(points.size())) << "the fit holds them all";
}

INSTANTIATE_TEST_SUITE_P(
    Gpx, WideSpread,
    ::testing::Values(spread_case{"Lon160", 0.5, 10, 160.5, 20, 16},
                      spread_case{"Lon170", 0.5, 10, 170.5, 20, 17},
                      spread_case{"Lon179", 0.5, 10, 179.5, 20, 18},
                      spread_case{"Lon300", -150, 10, 150, 20, 30},
                      spread_case{"Lat75", 10, -75, 12, 75, 15},
                      spread_case{"Lat85", 10, -85, 12, 85, 17},
                      spread_case{"TwoAcross175", 0.5, 10, 175.5, 20, 1},
                      spread_case{"TwoAt70", 10, -70, 12, 70, 1},
                      spread_case{"TwoAt80", 10, -80, 12, 80, 1}),
    [](const ::testing::TestParamInfo<spread_case>& info) { return std::string(info.param.name); });

// The project's fixtures of data spread over continents: the picture is not empty. Files
// of waypoints show their symbols; a file of short tracks far apart (a few hundred metres
// each, between continents) shows each track as the pixel it shrinks to.
struct wide_fixture {
  const char* path;
  int least_pixels;
};

void PrintTo(const wide_fixture& c, std::ostream* os) { *os << c.path; }

class WideFixture : public RunOutsideFiles, public ::testing::WithParamInterface<wide_fixture> {};

TEST_P(WideFixture, IsDrawn) {
  const std::string dir = tm_test::fresh_dir("wide-fixture");
  ASSERT_TRUE(run({std::string(TM_SOURCE_DIR "/tests/fixtures/") + GetParam().path}, dir));
  EXPECT_GE(drawn(shot_, view_).count, GetParam().least_pixels) << "picture " << picture_path_;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WideFixture,
                         ::testing::Values(wide_fixture{"gpx/gpx10.gpx", 20},
                                           wide_fixture{"gpx/babel10.gpx", 20},
                                           wide_fixture{"gpx/gpx11_ext.gpx", 20},
                                           wide_fixture{"ozi_files/babel.wpt", 20},
                                           wide_fixture{"tcx/course.tcx", 20},
                                           wide_fixture{"tcx/activity.tcx", 2},
                                           wide_fixture{"nmea_files/babel_full.nmea", 1}),
                         [](const ::testing::TestParamInfo<wide_fixture>& info) {
                           std::string name;
                           for (const char* q = info.param.path; *q; ++q)
                             if (std::isalnum(static_cast<unsigned char>(*q))) name += *q;
                           return name;
                         });

// ---- An unknown option --------------------------------------------------------------------------
TEST(RunOutsideOptions, AnUnknownOptionIsNamedOnStandardError) {
  const std::string program = tm_test::program_folder() + "tarmelo";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is built beside the tests";
  const std::string dir = tm_test::fresh_dir("outside-option");
  std::string out;
  const int code = tm_test::run_program_headless(
      {program, "-nosuchoption", TM_SOURCE_DIR "/data/samples/boucle.gpx"}, dir + "frame.png",
      tm_test::fresh_dir("outside-option-home"), &out);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("-nosuchoption"), std::string::npos) << out;
  // The program went on: the picture was written (a PNG file).
  std::ifstream png(dir + "frame.png", std::ios::binary);
  char signature[8] = {};
  png.read(signature, sizeof signature);
  EXPECT_EQ(std::string(signature + 1, 3), "PNG");
}

}  // namespace
