// The GPS TrackMaker readers on the fixtures of scripts/fixtures/make_gtm_fixtures.py: a
// binary file gpsbabel wrote, read as gpsbabel reads it back; binary and text files built
// by the script on other datums, grids and UTM zones, checked against the WGS 84
// positions pyproj computed; the coordinate notations of the text files; and bad files
// (cut at every byte, hostile counts and sizes, long lines), which end with their error
// code, keep what was read before and never crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "formats/gtm.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::slurp_file;

const std::string kDir = TM_FIXTURE_DIR "/gtm/";

std::string utf8(const char16_t* w) {
  char* s = nullptr;
  wstr_to_utf8(w, &s);
  std::string out = s ? s : "";
  free_mem(&s);
  return out;
}

std::vector<std::vector<std::string>> read_rows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(slurp_file(path));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) rows.push_back(tm_test::split_fields(line, ';'));
  return rows;
}

// A stored point carried to WGS 84 degrees through the georeference's chain.
void to_wgs84_degrees(const georef_t* g, double* x, double* y) {
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(g, &chain);
  double z = 0;
  if (chain) {
    xform_chain_forward(chain, x, y, &z);
    obj_t* c = chain;
    free_obj(&c);
  } else {
    angle_unit_convert(g->unit, 1, x, y);
  }
}

// `packed`: a date record in a packed object (copied out before use).
void expect_time(const void* packed, const std::vector<std::string>& r, size_t at) {
  date_rec t{};
  std::memcpy(&t, packed, sizeof t);
  int year = 0, month = 0;
  double day = 0;
  date_rec_split(&t, &year, &month, &day);
  EXPECT_EQ(year, std::stoi(r[at]));
  EXPECT_EQ(month, std::stoi(r[at + 1]));
  const double want = std::stoi(r[at + 2]) +
                      (std::stoi(r[at + 3]) * 3600.0 + std::stoi(r[at + 4]) * 60.0 + std::stoi(r[at + 5])) / 86400.0;
  EXPECT_NEAR(day, want, 1e-8);
}

class GtmRead : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    month_names_init();
    gtmtxt_register_keywords();
    ASSERT_EQ(get_gblerr(), 0);
  }

  // Reads a disk file with the binary (text false) or text reader; the list is kept
  // whatever the result.
  int load_path(const std::string& path, bool text, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = text ? gtmtxt_read(f, f->sot) : gtm_read(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load_bytes(const std::string& bytes, bool text, fileatt_t** out = nullptr) {
    return load_path(tm_test::write_file(dir_ + (text ? "/t.txt" : "/t.gtm"), bytes), text, out);
  }

  void free_loaded() { loaded_.free_all(); }

  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return tm_test::objects_of<T>(f->sot, cls);
  }
  static georef_t* georef_of(const fileatt_t* f) {
    auto g = all_of<georef_t>(f, CLS_GEOREF);
    return g.empty() ? nullptr : g.front();
  }

  // Compares a file's objects with its answer table (see the fixture script).
  static void expect_answers(const fileatt_t* f, const std::string& answers, double tolerance) {
    const georef_t* g = georef_of(f);
    ASSERT_NE(g, nullptr);
    const auto waypoints = all_of<waypoint_t>(f, CLS_WAYPOINT);
    const auto points = all_of<gpspos_t>(f, CLS_GPSPOS);
    const auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
    const auto routes = all_of<route_t>(f, CLS_ROUTE);
    size_t point = 0;
    std::vector<std::string> route_points;
    std::vector<std::string> want_route_points;
    for (const auto& r : read_rows(answers)) {
      SCOPED_TRACE(r[0] + ";" + r[1]);
      if (r[0] == "W") {
        const waypoint_t* w = nullptr;
        for (const waypoint_t* c : waypoints)
          if (utf8(c->name) == r[1]) w = c;
        ASSERT_NE(w, nullptr);
        double x = w->coords.x, y = w->coords.y;
        to_wgs84_degrees(g, &x, &y);
        EXPECT_NEAR(x, std::stod(r[2]), tolerance);
        EXPECT_NEAR(y, std::stod(r[3]), tolerance);
        EXPECT_NEAR(w->altitude, std::stod(r[4]), 1e-3);
        expect_time(&w->time, r, 5);
        if (r[11] != "-1") {
          EXPECT_EQ(w->symbol, std::stoi(r[11]));
        }
      } else if (r[0] == "T") {
        ASSERT_LT(point, points.size());
        const gpspos_t* p = points[point];
        const bool starts = point == 0 || points[point - 1]->father != p->father;
        EXPECT_EQ(starts, r[1] == "1") << point;
        ++point;
        double x = p->coords.x, y = p->coords.y;
        to_wgs84_degrees(g, &x, &y);
        EXPECT_NEAR(x, std::stod(r[2]), tolerance);
        EXPECT_NEAR(y, std::stod(r[3]), tolerance);
        EXPECT_NEAR(p->altitude, std::stod(r[4]), 1e-3);
        expect_time(&p->time, r, 5);
      } else if (r[0] == "N") {
        const size_t i = size_t(std::stoi(r[1]));
        ASSERT_LT(i, logs.size());
        EXPECT_EQ(utf8(logs[i]->name), r[2]);
      } else if (r[0] == "R") {
        want_route_points.push_back(r[1] + "/" + r[2]);
      }
    }
    EXPECT_EQ(point, points.size());
    for (const route_t* rt : routes)
      for (int i = 0; i < obj_list_count(rt->sons); ++i)
        route_points.push_back(utf8(rt->name) + "/" +
                               utf8(static_cast<waypoint_t*>(rt->sons->elems[i])->name));
    EXPECT_EQ(route_points, want_route_points);
  }
};

TEST_F(GtmRead, FilesLoadAsTheirAnswerTablesSay) {
  struct fixture {
    const char* file;
    bool text;
    double tolerance;  // degrees
  };
  for (const fixture& x : {fixture{"babel.gtm", false, 1e-7}, fixture{"custom.gtm", false, 1e-7},
                           fixture{"points.txt", true, 1e-7}, fixture{"zones.txt", true, 1e-7},
                           fixture{"custom_grid.txt", true, 1e-7}}) {
    SCOPED_TRACE(x.file);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + x.file, x.text, &f), 0);
    const std::string base = std::string(x.file).substr(0, std::string(x.file).find('.'));
    expect_answers(f, kDir + base + ".csv", x.tolerance);
  }
}

TEST_F(GtmRead, RoutePointsReuseTheWaypointsOfTheirNamePositionAndSymbol) {
  for (const char* name : {"custom.gtm", "points.txt"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + name, std::strstr(name, ".txt") != nullptr, &f), 0);
    const auto routes = all_of<route_t>(f, CLS_ROUTE);
    ASSERT_EQ(routes.size(), 1u);
    const container_t* pts = routes[0]->sons;
    ASSERT_EQ(obj_list_count(pts), 3);
    // The first and last points are the file's waypoint; the middle one joined the list.
    EXPECT_EQ(pts->elems[0], pts->elems[2]);
    bool in_list = false;
    for (const waypoint_t* w : all_of<waypoint_t>(f, CLS_WAYPOINT)) in_list |= w == pts->elems[1];
    EXPECT_TRUE(in_list);
    EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), name[0] == 'c' ? 4 : 5);
  }
}

TEST_F(GtmRead, TrackRecordsNameTheTracklogsInTheOrderTheyWereMade) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "custom.gtm", false, &f), 0);
  const auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[0]->thickness, 2);  // type 3
  EXPECT_EQ(logs[0]->colour, 0x0000FFu);
  EXPECT_EQ(logs[1]->thickness, 1);
  EXPECT_EQ(logs[1]->colour, 0x00FF00u);
  for (const waypoint_t* w : all_of<waypoint_t>(f, CLS_WAYPOINT)) EXPECT_EQ(w->colour, 0x123456u);
}

TEST_F(GtmRead, IconNumbersMapThroughTheTable) {
  struct row {
    int icon, symbol;
  };
  for (const row& r : {row{0, 0}, row{1, 20}, row{13, 54}, row{84, 57}, row{199, 14},
                       row{232, 59}, row{262, 27}, row{265, 0}, row{266, 0}, row{300, 0},
                       row{-1, 0}})
    EXPECT_EQ(gtm_icon_symbol(r.icon), r.symbol) << r.icon;
}

TEST_F(GtmRead, BadBinaryFilesGiveTheirCodeAndKeepWhatWasRead) {
  struct row {
    const char* file;
    int code;
    int waypoints;
  };
  for (const row& r : {row{"v210.gtm", 3, 0}, row{"zero_ellipsoid.gtm", 13, 0},
                       row{"hostile_count.gtm", 14, 2}, row{"image_oversize.gtm", 14, 1},
                       row{"image_partly_oversize.gtm", 14, 1}}) {
    SCOPED_TRACE(r.file);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load_path(kDir + r.file, false, &f), r.code);
    EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), r.waypoints);
  }
  EXPECT_EQ(load_bytes(std::string("\xd3\x00TrackMaker", 12), false), 14);
  EXPECT_EQ(load_path(dir_ + "/missing.gtm", false), 2);
}

TEST_F(GtmRead, AGridFlagWithoutImageReadsGeographicCoordinates) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "grid_no_image.gtm", false, &f), 0);
  const georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->refertype, GEOREF_GEOGRAPHIC);
  const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u);
  double x = w[0]->coords.x, y = w[0]->coords.y;
  to_wgs84_degrees(g, &x, &y);
  EXPECT_NEAR(x, -46.5, 1e-9);
  EXPECT_NEAR(y, -23.5, 1e-9);
}

// Grid kinds 2 and above name a projection by its GPS TrackMaker code: its datum is the
// file's.
TEST_F(GtmRead, AProjectionCodeGivesTheDatum) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "projection_code.gtm", false, &f), 0);
  cartproj_t* p = nullptr;
  geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_GTM, "8", &p);
  ASSERT_NE(p, nullptr);
  const georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  const geodatum_t* datum = g->datum;
  const geodatum_t* want = p->datum;
  EXPECT_EQ(datum, want);
  geodatum_t* wgs84 = nullptr;
  geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_GTM, "217", &wgs84);
  EXPECT_NE(datum, wgs84);
}

// Every prefix of a good file: an error code (or a whole read), what was read kept.
TEST_F(GtmRead, FilesCutAtEveryByteEndCleanly) {
  for (const char* name : {"babel.gtm", "custom.gtm", "user_grid.gtm"}) {
    const std::string bytes = slurp_file(kDir + name);
    ASSERT_FALSE(bytes.empty());
    for (size_t n = 0; n < bytes.size(); ++n) {
      const int rc = load_bytes(bytes.substr(0, n), false);
      EXPECT_TRUE(rc == 14 || rc == 3) << name << " cut at " << n << ": " << rc;
      free_loaded();
    }
  }
  for (const char* name : {"points.txt", "zones.txt", "custom_grid.txt"}) {
    const std::string bytes = slurp_file(kDir + name);
    for (size_t n = 0; n < bytes.size(); ++n) {
      const int rc = load_bytes(bytes.substr(0, n), true);
      EXPECT_TRUE(rc == 0 || rc == 13 || rc == 14) << name << " cut at " << n << ": " << rc;
      free_loaded();
    }
  }
}

TEST_F(GtmRead, DegreesAndMinutesTakeTheSignOfTheirText) {
  const std::string head = "Version,212\nWGS 1984 (GPS),217,6378137,298.257223563,0,0,0\n";
  struct row {
    const char* notation;
    const char* lat;
    double want;  // degrees
  };
  for (const row& r : {row{"dm", "-45 30.5", -(45 * 60 + 30.5) / 60}, row{"dm", "-0 30.5", -30.5 / 60},
                       row{"dm", "0 30.5", 30.5 / 60},
                       row{"dms", "45 30 15.5", 163815.5 / 3600}, row{"dms", "-0 0 30", -30.0 / 3600},
                       row{"dms", "-0 30 0", -0.5}, row{"d", "-0.25", -0.25}}) {
    SCOPED_TRACE(std::string(r.notation) + " " + r.lat);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_bytes(head + "w," + r.notation + ",A," + r.lat + ",0 0 0,,01/01/2020,00:00:00,0,1,0\n",
                         true, &f),
              0);
    const auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
    ASSERT_EQ(w.size(), 1u);
    double x = w[0]->coords.x, y = w[0]->coords.y;
    to_wgs84_degrees(georef_of(f), &x, &y);
    EXPECT_NEAR(y, r.want, 1e-12);
    free_loaded();
  }
}

TEST_F(GtmRead, TextLinesOfEveryKindAndBadTextFiles) {
  const std::string head = "Version,212\nWGS 1984 (GPS),217,6378137,298.257223563,0,0,0\n";
  // Line 3 that is no user grid is read as a record; a long line is cut, not overrun.
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_bytes(head + "w,d,A,1,2,,01/01/2020,00:00:00,0,1,0\n" + "w,d,B,3,4," +
                           std::string(10000, 'x') + "\n" + "n,NOTRACK,1,1\n" +
                           "r,d,LONE,5,6,,1,x,0\n",
                       true, &f),
            0);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 3);
  // The route point before any route line starts a route of its own.
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_ROUTE), 1);
  free_loaded();
  // A datum the tables lack and no usable custom values: 13, nothing read.
  EXPECT_EQ(load_bytes("Version,212\nNowhere,9999,0,0,0,0,0\nw,d,A,1,2\n", true, &f), 13);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 0);
  free_loaded();
  // A NUL byte: 14, the line before kept.
  EXPECT_EQ(load_bytes(head + "w,d,A,1,2,,01/01/2020,00:00:00,0,1,0\nw,d,B" + std::string(1, '\0') +
                           ",3,4\n",
                       true, &f),
            14);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 1);
  free_loaded();
  // A number no coordinate can be: 14.
  EXPECT_EQ(load_bytes(head + "w,d,A,1e300,2\n", true, &f), 14);
  EXPECT_EQ(load_path(dir_ + "/missing.txt", true), 2);
}

TEST_F(GtmRead, WindowsNamesAreReadInTheirCodePage) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "custom.gtm", false, &f), 0);
  bool found = false;
  for (const waypoint_t* w : all_of<waypoint_t>(f, CLS_WAYPOINT)) found |= utf8(w->name) == "Caf\xc3\xa9      ";
  EXPECT_TRUE(found);
}

}  // namespace
