// The GPX reader on the fixtures of scripts/fixtures/make_gpx_fixtures.py (GPX 1.0, GPX 1.1
// with both extensions, and the same data written by gpsbabel): its objects equal what
// ogrinfo and gpsbabel read in them. What the writer writes is read again by gpsbabel
// (when it is installed) and by our reader. Every truncation of a fixture loads or fails
// with the bad-data code, never worse.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "tests/formats/gpx_fixture.h"

namespace {

using tm_test::slurp_file;

using tm_test::GpxFixture;
using tm_test::wide;

const std::string kDir = TM_FIXTURE_DIR "/gpx/";

// One CSV line: fields separated by commas, a field in double quotes may hold commas and
// doubled quotes.
std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      out.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

// Rows of a CSV block as maps from the header's names.
using csv_row = std::map<std::string, std::string>;
std::vector<csv_row> csv_rows(const std::vector<std::string>& lines) {
  std::vector<csv_row> rows;
  if (lines.empty()) return rows;
  const auto header = csv_fields(lines[0]);
  for (size_t i = 1; i < lines.size(); ++i) {
    const auto f = csv_fields(lines[i]);
    csv_row r;
    for (size_t k = 0; k < header.size() && k < f.size(); ++k) r[header[k]] = f[k];
    rows.push_back(r);
  }
  return rows;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // gpsbabel ends lines CR LF
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

// gpsbabel's unicsv answer: blocks that each start with a header line beginning "No,".
std::vector<std::vector<csv_row>> unicsv_blocks(const std::string& text) {
  std::vector<std::vector<std::string>> blocks;
  for (const std::string& line : lines_of(text)) {
    if (line.rfind("No,", 0) == 0) blocks.emplace_back();
    if (!blocks.empty()) blocks.back().push_back(line);
  }
  std::vector<std::vector<csv_row>> out;
  for (const auto& b : blocks) out.push_back(csv_rows(b));
  return out;
}

std::u16string utf16(const std::string& s) {
  char16_t* w = nullptr;
  utf8_to_wcs(s.c_str(), &w);
  std::u16string out = w ? w : u"";
  free_mem(&w);
  return out;
}

double num(const std::string& s) { return s.empty() ? 0.0 : std::strtod(s.c_str(), nullptr); }

class GpxFixtures : public GpxFixture {
 protected:
  // The file's points in the order of the answers: waypoints that are no route point,
  // the routes' points, the track points.
  struct points {
    std::vector<const waypoint_t*> wpt, rtept;
    std::vector<const gpspos_t*> trkpt;
  };
  static points points_of(const fileatt_t* f) {
    points p;
    for (const route_t* r : routes(f))
      for (int i = 0; i < obj_list_count(r->sons); ++i)
        p.rtept.push_back(static_cast<const waypoint_t*>(r->sons->elems[i]));
    for (const waypoint_t* w : waypoints(f)) {
      bool in_route = false;
      for (const waypoint_t* r : p.rtept) in_route = in_route || r == w;
      if (!in_route) p.wpt.push_back(w);
    }
    for (const gpspos_t* t : trackpoints(f)) p.trkpt.push_back(t);
    return p;
  }

  // The reader's objects against ogrinfo's rows: positions to 1e-9 degree, heights (less
  // the Garmin depth), track point times to the millisecond, names.
  static void expect_ogr_answers(const fileatt_t* f, const std::string& csv_path) {
    const auto rows = csv_rows(lines_of(slurp_file(csv_path)));
    ASSERT_FALSE(rows.empty()) << csv_path;
    const points p = points_of(f);
    size_t w = 0, r = 0, t = 0;
    for (const csv_row& row : rows) {
      const std::string& kind = row.at("kind");
      const double lat = num(row.at("lat")), lon = num(row.at("lon"));
      const double height = num(row.at("ele")) - num(row.at("depth"));
      SCOPED_TRACE(csv_path + ": " + kind + " " + row.at("lat") + " " + row.at("name"));
      if (kind == "wpt" || kind == "rtept") {
        auto& list = kind == "wpt" ? p.wpt : p.rtept;
        size_t& i = kind == "wpt" ? w : r;
        ASSERT_LT(i, list.size());
        const waypoint_t* o = list[i++];
        EXPECT_NEAR(val(o->coords.y), lat, 1e-9);
        EXPECT_NEAR(val(o->coords.x), lon, 1e-9);
        EXPECT_NEAR(val(o->altitude), height, 1e-3);
        EXPECT_EQ(wide(o->name), utf16(row.at("name")));
      } else {
        ASSERT_LT(t, p.trkpt.size());
        const gpspos_t* o = p.trkpt[t++];
        EXPECT_NEAR(val(o->coords.y), lat, 1e-9);
        EXPECT_NEAR(val(o->coords.x), lon, 1e-9);
        EXPECT_NEAR(val(o->altitude), height, 1e-3);
        date_rec want;
        parse_date_iso_rec(&want, row.at("time").c_str());
        const date_rec got = val(o->time);
        EXPECT_EQ(std::floor(got.date), std::floor(want.date));
        EXPECT_NEAR(got.day, want.day, 1e-8);
      }
    }
    EXPECT_EQ(w, p.wpt.size());
    EXPECT_EQ(r, p.rtept.size());
    EXPECT_EQ(t, p.trkpt.size());
  }

  // The waypoints against gpsbabel's unicsv block: names, symbols, and the Garmin
  // proximity and temperature where the answer has them.
  static void expect_unicsv_waypoints(const fileatt_t* f, const std::string& path) {
    const auto blocks = unicsv_blocks(slurp_file(path));
    ASSERT_FALSE(blocks.empty()) << path;
    const auto& rows = blocks[0];
    const points p = points_of(f);
    ASSERT_EQ(rows.size(), p.wpt.size()) << path;
    for (size_t i = 0; i < rows.size(); ++i) {
      const csv_row& row = rows[i];
      const waypoint_t* w = p.wpt[i];
      SCOPED_TRACE(path + ": " + row.at("Name"));
      EXPECT_EQ(wide(w->name), utf16(row.at("Name")));
      EXPECT_NEAR(val(w->coords.y), num(row.at("Latitude")), 1e-6);
      EXPECT_EQ(val(w->symbol), gpx_symbol_number(row.at("Symbol").c_str()));
      if (row.count("Proximity")) {
        EXPECT_NEAR(val(w->proxim), num(row.at("Proximity")), 1e-9);
      }
      if (row.count("Temperature")) {
        EXPECT_NEAR(val(w->tpre), num(row.at("Temperature")), 1e-9);
      }
    }
  }
};

TEST_F(GpxFixtures, ReaderAgreesWithOgrinfoAndGpsbabel) {
  for (const char* name : {"gpx10", "gpx11_ext", "babel10", "babel11"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(kDir + name + ".gpx", &f), 0);
    expect_ogr_answers(f, kDir + name + ".ogr.csv");
    expect_unicsv_waypoints(f, kDir + name + ".unicsv");
  }
}

// The extension values of the GPX 1.1 fixture that neither outside tool reports in full:
// display modes, colours by gpx_style and by display-colour name, track point temperatures.
TEST_F(GpxFixtures, ExtensionValuesOfTheGpx11Fixture) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "gpx11_ext.gpx", &f), 0);
  const points p = points_of(f);
  ASSERT_EQ(p.wpt.size(), 4u);
  const int modes[] = {1, 0, 2, 1};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(val(p.wpt[i]->display), modes[i]) << i;
  const auto t = tracklogs(f);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(val(t[0]->colour), gps_rgb(255, 128, 0));
  EXPECT_EQ(val(t[1]->colour), default_colour_word(13));
  ASSERT_EQ(routes(f).size(), 1u);
  EXPECT_EQ(val(routes(f)[0]->colour), gps_rgb(0, 128, 0));  // RouteExtension colour ignored
  EXPECT_DOUBLE_EQ(val(p.trkpt[2]->tpre), 17.0);
}

// Every truncation of the fixtures: a clean load of what came before the cut (result 0),
// or the bad-data code; never more objects than the whole file gives.
TEST_F(GpxFixtures, EveryTruncationLoadsCleanly) {
  for (const char* name : {"gpx10", "gpx11_ext"}) {
    const std::string whole = slurp_file(kDir + name + ".gpx");
    fileatt_t* full = nullptr;
    ASSERT_EQ(load(whole, &full), 0);
    const size_t all = trackpoints(full).size() + waypoints(full).size();
    for (size_t n = 0; n < whole.size(); ++n) {
      fileatt_t* f = nullptr;
      const int result = load(whole.substr(0, n), &f);
      // An empty file is read past its end at once.
      const int expected_failure = n == 0 ? 2 : kGpxBadData;
      ASSERT_TRUE(result == 0 || result == expected_failure) << name << " cut at " << n;
      if (result == 0) {
        ASSERT_LE(trackpoints(f).size() + waypoints(f).size(), all);
      }
      free_loaded(f);
    }
  }
}

// ---- Written files read again -------------------------------------------------------------

bool have_gpsbabel() { return std::system("gpsbabel -V > /dev/null 2>&1") == 0; }

TEST_F(GpxFixtures, WrittenFileReadByGpsbabelAndByUs) {
  fileatt_t* src = nullptr;
  ASSERT_EQ(load_path(kDir + "gpx11_ext.gpx", &src), 0);
  container_t* roots = nullptr;
  obj_list_new(&roots);
  obj_list_append(roots, first_folder(src));
  const std::string ours = dir_ + "/ours.gpx";
  write_gpx(ours.c_str(), roots);
  free_obj(&roots);
  ASSERT_EQ(get_gblerr(), 0);

  // Our reader: every value the writer carries.
  fileatt_t* back = nullptr;
  ASSERT_EQ(load_path(ours, &back), 0);
  expect_ogr_answers(back, kDir + "gpx11_ext.ogr.csv");
  const points a = points_of(src), b = points_of(back);
  ASSERT_EQ(a.wpt.size(), b.wpt.size());
  for (size_t i = 0; i < a.wpt.size(); ++i) {
    EXPECT_EQ(val(b.wpt[i]->display), val(a.wpt[i]->display)) << i;
    EXPECT_EQ(val(b.wpt[i]->colour), val(a.wpt[i]->colour)) << i;
    EXPECT_EQ(val(b.wpt[i]->symbol), val(a.wpt[i]->symbol)) << i;
  }
  for (size_t i = 0; i < tracklogs(src).size(); ++i)
    EXPECT_EQ(val(tracklogs(back)[i]->colour), val(tracklogs(src)[i]->colour)) << i;

  if (!have_gpsbabel()) GTEST_SKIP() << "gpsbabel is not installed";
  // gpsbabel reads our file and writes it again as GPX (nine decimals); our reader finds
  // the same points in that, and gpsbabel's own text answer has the same names and times.
  const std::string theirs = dir_ + "/theirs.gpx";
  ASSERT_EQ(std::system(("gpsbabel -i gpx -f '" + ours + "' -o gpx -F '" + theirs + "'").c_str()), 0);
  fileatt_t* again = nullptr;
  ASSERT_EQ(load_path(theirs, &again), 0);
  expect_ogr_answers(again, kDir + "gpx11_ext.ogr.csv");
  const std::string csv = dir_ + "/theirs.csv";
  ASSERT_EQ(std::system(("gpsbabel -t -i gpx -f '" + ours + "' -o unicsv,utc=0 -F '" + csv + "'").c_str()), 0);
  const auto blocks = unicsv_blocks(slurp_file(csv));
  ASSERT_EQ(blocks.size(), 1u) << slurp_file(csv);
  ASSERT_EQ(blocks[0].size(), a.trkpt.size());
  for (size_t i = 0; i < a.trkpt.size(); ++i) {
    date_rec want;
    std::string when = blocks[0][i].at("Date") + "T" + blocks[0][i].at("Time");
    for (char& c : when)
      if (c == '/') c = '-';
    parse_date_iso_rec(&want, when.c_str());
    EXPECT_NEAR(val(a.trkpt[i]->time).day, want.day, 1e-8) << i;
    EXPECT_NEAR(val(a.trkpt[i]->coords.y), num(blocks[0][i].at("Latitude")), 1e-6) << i;
    EXPECT_NEAR(val(a.trkpt[i]->altitude), num(blocks[0][i].at("Altitude")), 0.05) << i;
  }
}

}  // namespace
