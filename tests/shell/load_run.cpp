// Files loaded into the map through the load command, the way a user loads them: by a
// drop, the command line or the open dialog; several at once; a ZIP archive; a plain
// picture; a map file without coordinate system; a GeoNames answer fetched from a web
// address. Each is recognised and read by the real load dispatch.
#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/checksum.h"
#include "map/bitmap_record.h"
#include "map/mapwin.h"
#include "platform/gdi/surface.h"
#include "platform/sys/utf.h"
#include "platform/ui/ctl_combo.h"
#include "shell/menu.h"
#include "shell/startup.h"
#include "tests/map/map_model_fixture.h"
#include "tests/shell/load_fixture.h"
#include "tests/support/http_server.h"

namespace frame_test {
namespace {

constexpr int kFormatShapefile = 26;

// ---- Small files made here ------------------------------------------------------------------

void put16(std::string* s, unsigned v) {
  s->push_back(char(v & 255));
  s->push_back(char(v >> 8 & 255));
}
void put32(std::string* s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// A ZIP archive of stored members.
std::string zip_of(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string out, central;
  for (const auto& [name, data] : members) {
    const uint32_t crc = plat::crc32_update(0, data.data(), data.size());
    const uint32_t at = uint32_t(out.size());
    auto header = [&](std::string* s, bool in_central) {
      put32(s, in_central ? 0x02014b50 : 0x04034b50);
      if (in_central) put16(s, 20);
      put16(s, 20);
      put16(s, 0);
      put16(s, 0);  // stored
      put16(s, 0);
      put16(s, 0);
      put32(s, crc);
      put32(s, uint32_t(data.size()));
      put32(s, uint32_t(data.size()));
      put16(s, unsigned(name.size()));
      put16(s, 0);
      if (in_central) {
        put16(s, 0);
        put16(s, 0);
        put16(s, 0);
        put32(s, 0);
        put32(s, at);
      }
      *s += name;
    };
    header(&out, false);
    out += data;
    header(&central, true);
  }
  const uint32_t central_at = uint32_t(out.size());
  out += central;
  put32(&out, 0x06054b50);
  put16(&out, 0);
  put16(&out, 0);
  put16(&out, unsigned(members.size()));
  put16(&out, unsigned(members.size()));
  put32(&out, uint32_t(central.size()));
  put32(&out, central_at);
  put16(&out, 0);
  return out;
}

// A GPX file of two waypoints: (lon, lat) and one degree north-east of it.
std::string gpx_text(double lon, double lat) {
  auto wpt = [](double x, double y) {
    return "<wpt lat=\"" + std::to_string(y) + "\" lon=\"" + std::to_string(x) + "\"><name>w</name></wpt>";
  };
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\" "
         "xmlns=\"http://www.topografix.com/GPX/1/1\">" +
         wpt(lon, lat) + wpt(lon + 1, lat + 1) + "</gpx>\n";
}

// The head of a shapefile: enough for recognition, read by the test reader below.
std::string shapefile_head() {
  std::string s(120, '\0');
  s[2] = 0x27;
  s[3] = 0x0A;
  return s;
}

// The test reader of format 26: points in coordinates without any system.
int read_points_without_system(obj_t* file, container_t* list) {
  waypoint_t* w = nullptr;
  waypoint_create(500000.0, 5300000.0, u"a", nullptr, 1, 0, 0, 0.0, list, &w);
  waypoint_create(510000.0, 5310000.0, u"b", nullptr, 1, 0, 0, 0.0, list, &w);
  tm_test::make_point_style(list);
  folder_t* folder = nullptr;
  folder_get_or_create(file, list, 0, &folder);
  return 0;
}

// Chooses a system by name without the combo's list opening: a dialog shown for a
// waiting worker task must not run the harness's loop, which would wait for that task.
void choose_system_quietly(plat::Wnd dlg, int id, const char* name) {
  plat::Wnd combo = plat::get_dlg_item(dlg, id);
  const std::u16string wide = plat::utf8_to_utf16(name);
  EXPECT_GE(plat::send_message(combo, plat::CB_SELECTSTRING, plat::WParam(-1), plat::LParam(wide.c_str())), 0)
      << name;
  plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(unsigned(id) | unsigned(plat::CBN_SELCHANGE) << 16),
                     plat::LParam(combo));
  tm_test::click_control(dlg, IDC_SYS_OK);
}

fileatt_t* known_file(const std::string& path) {
  fileatt_t* f = nullptr;
  file_find_by_name(path.c_str(), &f);
  return f;
}

class LoadRun : public LoadFixture {
 protected:
  std::string dir(const char* name) { return tm_test::fresh_dir(name); }
  // The view is centred on (x, y), to a tenth of its size: the extent of
  // points drawn with their symbols and labels is a little wider than the points.
  static void expect_centred_on(double x, double y) {
    const auto centre = view_centre();
    mapwin_t* win = get_current_mapwin();
    const screen_mapping m = mapwin_mapping(win);
    const double width = win->width, height = win->height;
    EXPECT_NEAR(centre.first, x, 0.1 * width / std::fabs(m.scale_x));
    EXPECT_NEAR(centre.second, y, 0.1 * height / std::fabs(m.scale_y));
  }
  // How many layers (or image links) show folders of the file.
  static long layers_of(const std::string& path) {
    const std::vector<std::string> names = layer_files();
    return std::count(names.begin(), names.end(), path);
  }
  static bool shown(const std::string& path) {
    for (const std::string& name : layer_files())
      if (name == path) return true;
    return false;
  }
};

// A GPX file reaches the map by each entry: it becomes a layer, the display system is
// settled (its menu item greyed) and the view is on its data.
TEST_F(LoadRun, EveryEntryLoadsTheFileIntoTheMap) {
  struct EntryCase {
    const char* entry;
    double lon, lat;
  };
  const EntryCase cases[] = {{"drop", 2.25, 48.75}, {"command line", 5.5, 45.5}, {"open dialog", -1.5, 47.25}};
  const std::string d = dir("load_entries");
  for (const EntryCase& c : cases) {
    SCOPED_TRACE(c.entry);
    const std::string path = tm_test::write_file(d + c.entry + ".gpx", gpx_text(c.lon, c.lat));
    if (std::strcmp(c.entry, "drop") == 0) {
      ASSERT_TRUE(tm_test::drop_files(main_map_window(), 20, 20, {path}));
    } else if (std::strcmp(c.entry, "command line") == 0) {
      parse_command_line(("\"" + path + "\"").c_str());
    } else {
      tm_test::answer_next_open_dialog({path});
      cmd_open_files(2);
    }
    settle();
    EXPECT_TRUE(shown(path)) << ::testing::PrintToString(layer_files());
    EXPECT_EQ(loaded_names(), std::vector<std::string>{path});
    EXPECT_TRUE(menu_is_greyed(40012));
    expect_centred_on(c.lon + 0.5, c.lat + 0.5);
    EXPECT_EQ(get_gblerr(), 0);
  }
  graphspace_t* gs = get_current_graphspace();
  ASSERT_NE(gs->georef, nullptr);
  EXPECT_EQ(int(gs->georef->refertype), GEOREF_GEOGRAPHIC);
}

// The same path loaded twice is read once: its content stays, one layer shows it.
TEST_F(LoadRun, SamePathIsReadOnce) {
  const std::string path = tm_test::write_file(dir("load_twice") + "t.gpx", gpx_text(3.0, 44.0));
  open_file(path.c_str());
  settle();
  fileatt_t* f = known_file(path);
  ASSERT_NE(f, nullptr);
  container_t* content = f->sot;
  ASSERT_NE(content, nullptr);
  open_file(path.c_str());
  settle();
  EXPECT_EQ(f->sot, content);
  const long layers = layers_of(path);
  EXPECT_GE(layers, 1);
  open_file(path.c_str());
  settle();
  EXPECT_EQ(layers_of(path), layers);
}

// Three files opened at once: three loads, and the view is fitted once the last has run,
// on what that last run loaded.
TEST_F(LoadRun, ThreeFilesAtOnceFitTheLastRun) {
  const std::string d = dir("load_three");
  const std::string a = tm_test::write_file(d + "a.gpx", gpx_text(1.0, 43.0)),
                    b = tm_test::write_file(d + "b.gpx", gpx_text(6.0, 49.0)),
                    c = tm_test::write_file(d + "c.gpx", gpx_text(-3.0, 48.0));
  tm_test::answer_next_open_dialog({a, b, c});
  cmd_open_files(2);
  settle();
  const std::vector<int> seen = slots();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 14), 3);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 19);
  for (const std::string& p : {a, b, c}) EXPECT_TRUE(shown(p)) << p;
  EXPECT_EQ(loaded_names(), std::vector<std::string>{a});  // posted last-first
  expect_centred_on(1.5, 43.5);
}

// A file that is no data the program knows is named in the status text; what was
// loaded before stays shown.
TEST_F(LoadRun, UnknownBytesAreNamedAndLoseNothing) {
  const std::string d = dir("load_unknown");
  const std::string good = tm_test::write_file(d + "good.gpx", gpx_text(4.0, 44.0));
  const std::string bad = tm_test::write_file(d + "noise.bin", std::string("\x01\x02\x03 not a map \xff", 16));
  open_file(good.c_str());
  settle();
  ASSERT_TRUE(shown(good));
  open_file(bad.c_str());
  settle();
  EXPECT_TRUE(shown(good));
  EXPECT_FALSE(shown(bad));
  char* status = nullptr;
  main_get_title_text(nullptr, &status);
  EXPECT_THAT(std::string(status ? status : ""), ::testing::HasSubstr("Cannot display file in graph space: " + bad));
  free_mem(&status);
  EXPECT_EQ(get_gblerr(), 0);
}

// A folder named like a file, empty or holding only empty folders, is said to be a folder
// holding nothing to load; what was loaded before stays shown. (One case a test: a timed
// status text stays until it times out.)
class LoadRunEmptyFolder : public LoadRun, public ::testing::WithParamInterface<bool> {};

TEST_P(LoadRunEmptyFolder, AFolderNamedLikeAFileWithNothingToLoadIsSaidToBeAFolder) {
  const std::string d = dir("load_empty_folder");
  const std::string good = tm_test::write_file(d + "good.gpx", gpx_text(4.0, 44.0));
  open_file(good.c_str());
  settle();
  ASSERT_TRUE(shown(good));
  const std::string folder = d + "tracks.gpx";
  std::filesystem::create_directories(folder);
  if (GetParam()) std::filesystem::create_directories(folder + "/inner");
  open_file(folder.c_str());
  settle();
  EXPECT_TRUE(shown(good));
  char* status = nullptr;
  main_get_title_text(nullptr, &status);
  EXPECT_THAT(std::string(status ? status : ""),
              ::testing::HasSubstr("Folder without any file to load: " + folder));
  free_mem(&status);
  EXPECT_EQ(get_gblerr(), 0);
}

INSTANTIATE_TEST_SUITE_P(EmptyOrOnlyFolders, LoadRunEmptyFolder, ::testing::Bool());

// A dropped folder loads every file below it, in its subfolders too.
TEST_F(LoadRun, DroppedFolderLoadsEveryFileBelowIt) {
  const std::string d = dir("load_folder");
  std::filesystem::create_directories(d + "deeper");
  const std::string a = tm_test::write_file(d + "a.gpx", gpx_text(1.0, 45.0));
  const std::string b = tm_test::write_file(d + "deeper/b.gpx", gpx_text(2.0, 46.0));
  ASSERT_TRUE(tm_test::drop_files(main_map_window(), 20, 20, {d}));
  settle();
  EXPECT_TRUE(shown(a));
  EXPECT_TRUE(shown(b));
  std::vector<std::string> loaded = loaded_names();
  std::sort(loaded.begin(), loaded.end());
  EXPECT_EQ(loaded, (std::vector<std::string>{a, b}));
}

// A ZIP archive is a container: each member is read and shown, the archive itself is not
// kept among the loaded files.
TEST_F(LoadRun, ZipMembersAreReadOneByOne) {
  const std::string path = tm_test::write_file(
      dir("load_zip") + "pack.zip", zip_of({{"one.gpx", gpx_text(2.0, 46.0)}, {"two.gpx", gpx_text(2.5, 46.5)}}));
  open_file(path.c_str());
  settle();
  const std::vector<std::string> loaded = loaded_names();
  EXPECT_EQ(loaded.size(), 2u) << ::testing::PrintToString(loaded);
  EXPECT_THAT(loaded, ::testing::Not(::testing::Contains(path)));
  for (const std::string& member : loaded) EXPECT_TRUE(shown(member)) << member;
  EXPECT_EQ(get_gblerr(), 0);
}

// A plain picture is shown in its pixels: nobody is asked for a system and the graph
// space stays without one.
TEST_F(LoadRun, PlainPictureIsShownInPixelsUnasked) {
  const std::string path = dir("load_png") + "plain.png";
  ASSERT_EQ(plat::write_png(plat::Surface(40, 30, 0xFF3366CCu), path.c_str()), 0);
  bool asked = false;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    asked = true;
    tm_test::click_control(dlg, IDC_SYS_CANCEL);
  });
  open_file(path.c_str());
  settle();
  EXPECT_FALSE(asked);
  EXPECT_TRUE(shown(path)) << ::testing::PrintToString(layer_files());
  fileatt_t* f = known_file(path);
  ASSERT_NE(f, nullptr);
  obj_t* image = nullptr;
  obj_list_first_of_class(f->sot, CLS_BITMAP, &image);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(int(static_cast<bitmap_t*>(image)->width), 40);
  graphspace_t* gs = get_current_graphspace();
  EXPECT_TRUE(!gs->georef || gs->georef->refertype == GEOREF_NONE);
  EXPECT_EQ(load_first_image_pending(), 0);  // the first image got its global view
}

// After the first image, which always gets a global view, an image is fitted with the
// global-view option, re-centred at the present scale with only the centring option,
// and left where the view is with neither.
TEST_F(LoadRun, LaterImagesFollowTheDisplayOptions) {
  struct ImageCase {
    int global, centre;
    bool rescales, moves;
  };
  const ImageCase cases[] = {{1, 1, true, true}, {0, 1, false, true}, {0, 0, false, false}};
  const std::string d = dir("load_images");
  const std::string first = d + "first.png";
  ASSERT_EQ(plat::write_png(plat::Surface(40, 30, 0xFF102030u), first.c_str()), 0);
  open_file(first.c_str());
  settle();
  ASSERT_EQ(load_first_image_pending(), 0);
  int n = 0;
  for (const ImageCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "global " << c.global << " centre " << c.centre);
    const std::string path = d + "later" + std::to_string(n++) + ".png";
    ASSERT_EQ(plat::write_png(plat::Surface(400 + 200 * n, 300, 0xFF405060u), path.c_str()), 0);
    opt_global_view_last = c.global;
    opt_center_last_loaded = c.centre;
    const double scale_before = mapwin_mapping(get_current_mapwin()).scale_x;
    const auto centre_before = view_centre();
    open_file(path.c_str());
    settle();
    EXPECT_TRUE(shown(path));
    const double scale_after = mapwin_mapping(get_current_mapwin()).scale_x;
    EXPECT_EQ(std::fabs(scale_after - scale_before) > 1e-9 * std::fabs(scale_before), c.rescales);
    const auto centre_after = view_centre();
    EXPECT_EQ(std::fabs(centre_after.first - centre_before.first) > 1.0, c.moves);
  }
}

// A map file without coordinate system asks for one, titled with its name: Cancel
// releases the file and shows nothing; a chosen system places it and becomes the
// display system.
TEST_F(LoadRun, MapWithoutSystemAsksAndCancelReleasesIt) {
  register_format_reader(kFormatShapefile, read_points_without_system);
  const std::string d = dir("load_nosys");
  const std::string dropped = tm_test::write_file(d + "first.shp", shapefile_head());
  const std::string kept = tm_test::write_file(d + "second.shp", shapefile_head());
  std::string title;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    tm_test::click_control(dlg, IDC_SYS_CANCEL);
  });
  open_file(dropped.c_str());
  settle();
  EXPECT_EQ(title, "Choose geodetic system - first.shp");
  EXPECT_FALSE(shown(dropped));
  fileatt_t* f = known_file(dropped);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(file_has_objects(f));
  char* status = nullptr;
  main_get_title_text(nullptr, &status);
  EXPECT_THAT(std::string(status ? status : ""),
              ::testing::HasSubstr("Cannot display file in graph space: " + dropped));
  free_mem(&status);

  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    choose_system_quietly(dlg, IDC_SYS_PROJ, "WGS 84 / UTM zone 31N");
  });
  open_file(kept.c_str());
  settle();
  EXPECT_EQ(title, "Choose geodetic system - second.shp");
  EXPECT_TRUE(shown(kept));
  graphspace_t* gs = get_current_graphspace();
  ASSERT_NE(gs->georef, nullptr);
  EXPECT_EQ(int(gs->georef->refertype), GEOREF_PROJECTED);
  expect_centred_on(505000.0, 5305000.0);
}

// A GeoNames answer served at a web address is loaded as points of interest.
TEST_F(LoadRun, GeoNamesAddressLoadsAsPoints) {
  tm_test::http_server server;
  server.queue(tm_test::http_server::reply(
      "200 OK", "Content-Type: text/xml\r\n",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<geonames><totalResultsCount>2</totalResultsCount>"
      "<geoname><name>Paris</name><lat>48.85341</lat><lng>2.3488</lng></geoname>"
      "<geoname><name>Lyon</name><lat>45.74846</lat><lng>4.84671</lng></geoname></geonames>\n"));
  const std::string url = "http://" + server.authority() + "/search?q=fr";
  open_file(url.c_str());
  settle();
  server.stop();
  fileatt_t* f = known_file(url);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(obj_list_count_of_class(f->sot, 106), 2);
  EXPECT_TRUE(shown(file_get_name(f))) << ::testing::PrintToString(layer_files());
  EXPECT_EQ(get_gblerr(), 0);
}

}  // namespace
}  // namespace frame_test
