// The PCX5 reader on the fixtures of scripts/fixtures/make_pcx5_fixtures.py (every
// notation, named and custom datums, a route, a track split by "H" lines, points in other
// UTM zones) checked against the WGS 84 positions pyproj computed; the layout of routes
// and segments; and bad files, which end with their error code and never crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "formats/pcx5.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::slurp_file;

const std::string kDir = TM_FIXTURE_DIR "/pcx5/";

std::string narrow(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) out.push_back(char(*w));
  return out;
}

// One row of a fixture's answer file.
struct expected_point {
  std::string kind, name;
  double lon, lat;
  int year, month, day, hour, minute, second, altitude;
};

std::vector<expected_point> read_answers(const std::string& path) {
  std::vector<expected_point> rows;
  std::istringstream in(slurp_file(path));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> c;
    std::stringstream ls(line);
    for (std::string f; std::getline(ls, f, ';');) c.push_back(f);
    rows.push_back({c[0], c[1], std::stod(c[2]), std::stod(c[3]), std::stoi(c[4]), std::stoi(c[5]),
                    std::stoi(c[6]), std::stoi(c[7]), std::stoi(c[8]), std::stoi(c[9]),
                    std::stoi(c[10])});
  }
  return rows;
}

// A waypoint line: name, position tokens, then a fixed date and time, the altitude, a
// comment padded to its 40-character field, proximity 0 and symbol 0.
std::string wline(const std::string& name, const std::string& position,
                  const std::string& altitude = "0") {
  std::string n = name;
  n.resize(6, ' ');
  return "W  " + n + " " + position + " 01-JAN-00 00:00:00 " + altitude + " " +
         std::string("c") + std::string(39, ' ') + " 0 0\n";
}

class Pcx5Read : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    month_names_init();
    pcx5_init();
    ASSERT_EQ(get_gblerr(), 0);
  }

  // Reads a disk file; the file object (freed at the end) in *out, its list kept
  // whatever the result so that the objects read before an error can be looked at.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = pcx5_read(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) {
    return load_path(tm_test::write_file(dir_ + "/t.pcx", text), out);
  }

  // A failed read leaves its objects in the list with no folder to own them: the
  // dispatcher unloads such a file, as this does.
  void free_loaded() { loaded_.free_all(); }

  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return tm_test::objects_of<T>(f->sot, cls);
  }
  static georef_t* georef_of(const fileatt_t* f) {
    auto g = all_of<georef_t>(f, CLS_GEOREF);
    return g.empty() ? nullptr : g.front();
  }

};

// A stored point carried to WGS 84 degrees through the georeference's chain (which ends
// in the reference datum's unit, degrees).
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

TEST_F(Pcx5Read, FixturesLoadToThePositionsAndTimesComputedOutside) {
  for (const char* name : {"deg", "dm", "dms", "utm"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + name + ".pcx", &f), 0);
    const georef_t* g = georef_of(f);
    ASSERT_NE(g, nullptr);
    const auto rows = read_answers(kDir + name + ".csv");
    size_t at = 0;
    for (int i = 0; i < obj_list_count(f->sot); ++i) {
      obj_t* o = f->sot->elems[i];
      if (o->cls != CLS_WAYPOINT && o->cls != CLS_GPSPOS) continue;
      ASSERT_LT(at, rows.size());
      const expected_point& e = rows[at++];
      double x = 0, y = 0, alt = 0;
      date_rec t{};  // copied out of the packed record
      if (o->cls == CLS_WAYPOINT) {
        auto* w = static_cast<waypoint_t*>(o);
        EXPECT_EQ(e.kind, "W");
        EXPECT_EQ(narrow(w->name), e.name);
        x = w->coords.x, y = w->coords.y, alt = w->altitude;
        std::memcpy(&t, &w->time, sizeof t);
      } else {
        auto* p = static_cast<gpspos_t*>(o);
        EXPECT_EQ(e.kind, "T");
        x = p->coords.x, y = p->coords.y, alt = p->altitude;
        std::memcpy(&t, &p->time, sizeof t);
      }
      to_wgs84_degrees(g, &x, &y);
      EXPECT_NEAR(x, e.lon, 1e-9) << e.name;
      EXPECT_NEAR(y, e.lat, 1e-9) << e.name;
      EXPECT_EQ(alt, e.altitude) << e.name;
      int year = 0, month = 0;
      double day = 0;
      date_rec_split(&t, &year, &month, &day);
      EXPECT_EQ(year, e.year) << e.name;
      EXPECT_EQ(month, e.month) << e.name;
      const double expect_day = e.day + (e.hour * 3600.0 + e.minute * 60.0 + e.second) / 86400.0;
      EXPECT_NEAR(day, expect_day, 1e-8) << e.name;
    }
    EXPECT_EQ(at, rows.size());
  }
}

TEST_F(Pcx5Read, DegreesAndMinutesAreReadAsMinutes) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(std::string("M  G WGS 84               \nU  LAT LON DM\n") + wline("A", "N4512.500 E00530.000") +
                     wline("B", "S4512.500 -00530.000"),
                 &f),
            0);
  const georef_t* g = georef_of(f);
  auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 2u);
  const double sign[2] = {1, -1};
  for (int i = 0; i < 2; ++i) {
    double x = w[i]->coords.x, y = w[i]->coords.y;
    angle_unit_convert(g->unit, 5, &x, &y);
    EXPECT_NEAR(y, sign[i] * 2712.5, 1e-9);
    EXPECT_NEAR(x, sign[i] * 330.0, 1e-9);
  }
}

TEST_F(Pcx5Read, RoutesReuseWaypointsAndHeadersSplitSegments) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "deg.pcx", &f), 0);
  auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0]->symbol, 29);  // Garmin 8247
  EXPECT_EQ(w[1]->symbol, 0);   // Garmin 8237 has none
  EXPECT_EQ(w[2]->symbol, 20);  // Garmin 16388
  EXPECT_EQ(narrow(w[0]->comment), "First point");
  auto routes = all_of<route_t>(f, CLS_ROUTE);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(narrow(routes[0]->name), "0 ROUTE ONE");
  ASSERT_EQ(obj_list_count(routes[0]->sons), 2);
  EXPECT_EQ(routes[0]->sons->elems[0], w[0]);
  EXPECT_EQ(routes[0]->sons->elems[1], w[2]);
  auto logs = all_of<tracklog_t>(f, CLS_TRACKLOG);
  auto segs = all_of<trackseg_t>(f, CLS_TRACKSEG);
  ASSERT_EQ(logs.size(), 1u);
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[0]->father, logs[0]);
  EXPECT_EQ(segs[1]->father, logs[0]);
  EXPECT_EQ(obj_list_count(segs[0]->sons), 2);
  EXPECT_EQ(obj_list_count(segs[1]->sons), 1);
  for (gpspos_t* p : all_of<gpspos_t>(f, CLS_GPSPOS)) EXPECT_EQ(p->father, logs[0]);
}

TEST_F(Pcx5Read, UtmBeforeAnyDatumIsOnWgs84) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("U  UTM UPS\n" + wline("A", "31 T 500000 5000000"), &f), 0);
  const georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->refertype, GEOREF_PROJECTED);
  EXPECT_EQ(g->datum->code, 214);
}

struct bad_case {
  const char* what;
  std::string text;
  int code;
  int waypoints_kept;
};

TEST_F(Pcx5Read, BadFilesStopWithTheirCodeAndKeepWhatWasRead) {
  const std::string ok = wline("A", "N45.0 E6.0");
  const std::string big(95, '9');
  const bad_case cases[] = {
      {"unknown notation", "U  LAT LON GRADS\n", 13, 0},
      {"unknown notation after a point", ok + "U  FOO\n" + ok, 13, 1},
      {"unknown datum without shifts", "M  G NOWHERE DATUM\n", 14, 0},
      {"flattening zero", "M  G NOWHERE DATUM          X +0 0.0033528106647474805 0 0 0\n", 13, 0},
      {"flattening negative", "M  G NOWHERE DATUM          X +0 +0.5 0 0 0\n", 13, 0},
      {"zone 0", "U  UTM UPS\n" + wline("A", "00 T 500000 5000000"), 13, 0},
      {"zone 61", ok + "U  UTM UPS\n" + wline("A", "61 T 500000 5000000"), 13, 1},
      {"line cut in its position", ok + "W  A      N45.0\n", 14, 1},
      {"line cut before its symbol", ok + "W  A      N45.0 E6.0 01-JAN-00 00:00:00 0 c 0\n", 14, 1},
      {"track line cut", "T  N45.0 E6.0 01-JAN-00\n", 14, 0},
      {"long number", wline("A", "N" + big + " E6.0"), 14, 0},
      {"long altitude", wline("A", "N45 E6.0", big), 14, 0},
      {"token too long", wline("A", "N" + std::string(120, '1') + " E6"), 14, 0},
      {"not a number", wline("A", "N45x E6.0"), 14, 0},
      {"NUL byte", ok + std::string("W  B\0", 5) + wline("B", "N45 E6"), 14, 1},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(c.text, &f), c.code);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(int(all_of<waypoint_t>(f, CLS_WAYPOINT).size()), c.waypoints_kept);
  }
}

TEST_F(Pcx5Read, InvalidUtf8NamesAndOddLinesStillRead) {
  fileatt_t* f = nullptr;
  const std::string odd_date = "W  B      N46 E7 99-XYZ-99 99:99:99 1 " + std::string(40, ' ') + " 0 -5\n";
  ASSERT_EQ(load("\n   \nX  anything\n" + wline("\xC3\x28\xFF", "N45 E6", "-9999") + "R\n" + odd_date, &f),
            0);
  auto w = all_of<waypoint_t>(f, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0]->altitude, 0.0f);
  EXPECT_EQ(w[1]->symbol, 0);
}

TEST_F(Pcx5Read, EveryTruncationOfAFixtureEndsCleanly) {
  for (const char* name : {"deg", "utm", "dms"}) {
    const std::string whole = slurp_file(kDir + name + ".pcx");
    for (size_t n = 0; n < whole.size(); ++n) {
      const int r = load(whole.substr(0, n));
      EXPECT_TRUE(r == 0 || r == 13 || r == 14) << name << " " << n << " " << r;
      free_loaded();
    }
  }
}

}  // namespace
