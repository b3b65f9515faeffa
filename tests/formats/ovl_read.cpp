// The Geogrid overlay reader: the overlays gpsbabel wrote (scripts/fixtures/
// make_ovl_fixtures.py) hold the points and lines gpsbabel reads back from them; every
// key, value table and symbol type on small overlays; and bad input (other sections,
// unknown keys, long lines, counts far above the lines there, files cut anywhere)
// skipped line by line, never a crash, a hang or an allocation beyond the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "formats/ovl.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "tests/formats/mapsend_fixture.h"

namespace {

using tm_test::slurp_file;

const std::string kDir = TM_FIXTURE_DIR "/ovl/";

class OvlRead : public tm_test::MapsendFixture {
 protected:
  void SetUp() override {
    MapsendFixture::SetUp();
    ovl_init();
  }
  int load_text(const std::string& text, fileatt_t** out = nullptr) {
    return load(ovl_read, text, out, "t.ovl");
  }
  // The single object of a class the overlay made.
  template <class T> T* only(const fileatt_t* f, int cls) {
    auto v = all_of<T>(f, cls);
    EXPECT_EQ(v.size(), 1u);
    return v.empty() ? nullptr : v.front();
  }
  std::vector<double> loil_points(const fileatt_t* f, const loil_t* l) {
    coord_list cl;
    std::memcpy(&cl, &l->loicoord, sizeof cl);
    std::vector<double> out;
    for (int i = 0; i < cl.count; ++i) {
      double x = 0, y = 0;
      degrees(f, gps_point_t{cl.pts[2 * i], cl.pts[2 * i + 1], 0.0f}, &x, &y);
      out.push_back(x);
      out.push_back(y);
    }
    return out;
  }
};

std::string symbol(int n, const std::string& body) {
  return "[Symbol " + std::to_string(n) + "]\r\n" + body;
}

// Points and lines as gpsbabel reads them: the same sets of positions to 1e-7 degree.
TEST_F(OvlRead, GpsbabelOverlaysHoldWhatGpsbabelReadsBack) {
  for (const char* name : {"babel.ovl", "long.ovl"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_path(ovl_read, kDir + name, &f), 0);
    std::vector<std::vector<double>> want_points, want_lines, got_points, got_lines;
    for (const auto& row : tm_test::table_rows(kDir + name + ".csv")) {
      if (row[0] == "P") {
        want_points.push_back({std::stod(row[1]), std::stod(row[2])});
        continue;
      }
      std::vector<double> line;
      for (const std::string& p : tm_test::split_fields(row[1], '|')) {
        const auto xy = tm_test::split_fields(p, ' ');
        line.push_back(std::stod(xy[0]));
        line.push_back(std::stod(xy[1]));
      }
      want_lines.push_back(line);
    }
    for (geopoint_t* p : all_of<geopoint_t>(f, CLS_GEOPOINT)) {
      double x = 0, y = 0;
      degrees(f, p->coords, &x, &y);
      got_points.push_back({x, y});
    }
    for (loil_t* l : all_of<loil_t>(f, CLS_LOIL)) got_lines.push_back(loil_points(f, l));
    auto near_sets = [](std::vector<std::vector<double>> a, std::vector<std::vector<double>> b) {
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      ASSERT_EQ(a.size(), b.size());
      for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].size(), b[i].size()) << i;
        for (size_t k = 0; k < a[i].size(); ++k) EXPECT_NEAR(a[i][k], b[i][k], 1e-7) << i << " " << k;
      }
    };
    near_sets(got_points, want_points);
    near_sets(got_lines, want_lines);
    EXPECT_EQ(all_of<georef_t>(f, CLS_GEOREF).size(), 1u);
    EXPECT_NE(static_cast<const obj_t*>(f->folder), nullptr);
  }
}

TEST_F(OvlRead, TypesMakeTheirObjects) {
  struct typ_case {
    int typ, cls, shape, edge;
  };
  const typ_case cases[] = {{1, 0, 0, 0},           {2, CLS_GEOTEXT, 0, 0}, {3, CLS_LOIL, 0, 1},
                            {4, CLS_LOIL, 0, 1},    {5, CLS_GEOPOINT, 2, 0}, {6, CLS_GEOPOINT, 1, 0},
                            {7, CLS_GEOPOINT, 5, 0}, {8, 0, 0, 0},          {0, 0, 0, 0}};
  for (const typ_case& tc : cases) {
    SCOPED_TRACE(tc.typ);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_text(symbol(1, "Typ=" + std::to_string(tc.typ) + "\r\n"), &f), 0);
    const size_t made = all_of<obj_t>(f, CLS_GEOTEXT).size() + all_of<obj_t>(f, CLS_LOIL).size() +
                        all_of<obj_t>(f, CLS_GEOPOINT).size();
    EXPECT_EQ(made, tc.cls ? 1u : 0u);
    if (tc.cls == CLS_GEOPOINT) {
      EXPECT_EQ(int(only<geopoint_t>(f, CLS_GEOPOINT)->shape), tc.shape);
    }
    if (tc.cls == CLS_LOIL) {
      EXPECT_EQ(int(only<loil_t>(f, CLS_LOIL)->edgemotif), tc.edge);
    }
    free_loaded();
  }
}

TEST_F(OvlRead, TextKeysGoThroughTheirTables) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_text("[Overlay]\r\nSymbols=1\r\nTyp=4\r\n" +
                          symbol(1, "Typ=2\r\nCol=3\r\nSize=112\r\nFont=3\r\nDir=150\r\nXKoord=6.5\r\n"
                                    "YKoord=45.25\r\nText=Caf\xE9 au lait\r\nWidth=50\r\n"),
                      &f),
            0);
  // The "[Overlay]" section before the symbol was skipped whole: no polygon.
  EXPECT_TRUE(all_of<loil_t>(f, CLS_LOIL).empty());
  geotext_t* t = only<geotext_t>(f, CLS_GEOTEXT);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(uint32_t(t->colour), gps_rgb(0, 0, 255));
  EXPECT_EQ(int(t->size), 9);  // 12 x 0.7501875468867217, truncated
  EXPECT_EQ(int(t->font), 3);
  EXPECT_NEAR(double(t->orient), 50.0 * M_PI / 200.0, 1e-12);
  EXPECT_EQ(int(t->thickness), 0);  // Width is for point symbols only
  EXPECT_EQ(tm_test::utf8(t->text), "Caf\xC3\xA9 au lait");
  double x = 0, y = 0;
  degrees(f, t->coords, &x, &y);
  EXPECT_NEAR(x, 6.5, 1e-12);
  EXPECT_NEAR(y, 45.25, 1e-12);
}

TEST_F(OvlRead, LineAndPolygonKeys) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_text(symbol(1, "Typ=4\r\nCol=9\r\nArea=3\r\nArt=2\r\nSize=104\r\nPunkte=2\r\n"
                                "XKoord0=6\r\nYKoord0=45\r\nXKoord1=7\r\nYKoord1=46\r\n") +
                          symbol(2, "Typ=3\r\nArt=2\r\nArea=3\r\nSize=7\r\nPunkte=1\r\nXKoord0=1\r\n"
                                    "YKoord0=2\r\n"),
                      &f),
            0);
  auto l = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(uint32_t(l[0]->colour), gps_rgb(0, 255, 255));
  EXPECT_EQ(int(l[0]->fillmotif), 5);
  EXPECT_EQ(int(l[0]->edgemotif), 1);  // Art is for lines only
  EXPECT_EQ(int(l[0]->thickness), 4);
  EXPECT_EQ(loil_points(f, l[0]), (std::vector<double>{6, 45, 7, 46}));
  EXPECT_EQ(int(l[1]->edgemotif), 9);
  EXPECT_EQ(int(l[1]->fillmotif), 0);  // Area is for polygons only
  EXPECT_EQ(int(l[1]->thickness), 7);
  EXPECT_EQ(loil_points(f, l[1]), (std::vector<double>{1, 2}));
}

TEST_F(OvlRead, PointSymbolKeys) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_text(symbol(1, "Typ=6\r\nWidth=10\r\nHeight=31\r\nCol=2\r\nDir=100\r\nXKoord=-7.5\r\n"
                                "YKoord=-46.125\r\nCol=10\r\nArea=1\r\n"),
                      &f),
            0);
  geopoint_t* p = only<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(int(p->thickness), 15);
  EXPECT_EQ(uint32_t(p->colour), gps_rgb(0, 200, 0));  // Col 10 is outside the table
  EXPECT_EQ(double(p->orient), 0.0);
  double x = 0, y = 0;
  degrees(f, p->coords, &x, &y);
  EXPECT_EQ(x, -7.5);
  EXPECT_EQ(y, -46.125);
}

// Values outside a table leave the attribute as it was; values that are no number are
// skipped.
TEST_F(OvlRead, ValuesOutsideTheTablesChangeNothing) {
  for (const char* line : {"Col=0", "Col=10", "Font=47", "Font=0", "Area=9", "Art=5", "Col=x",
                           "Size=", "Dir=abc", "XKoord=--1"}) {
    SCOPED_TRACE(line);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_text(symbol(1, "Typ=2\r\nCol=5\r\nFont=1\r\nSize=110\r\nXKoord=1\r\n" +
                                      std::string(line) + "\r\n"),
                        &f),
              0);
    geotext_t* t = only<geotext_t>(f, CLS_GEOTEXT);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(uint32_t(t->colour), gps_rgb(0, 0, 0));
    EXPECT_EQ(int(t->font), 1);
    EXPECT_EQ(int(t->size), 7);
    EXPECT_EQ(double(t->orient), 0.0);
    free_loaded();
  }
}

// A count above the coordinate lines stops at the first other key, which is still read;
// the points read are kept, a half point dropped.
TEST_F(OvlRead, CoordinateListsEndAtTheLinesThere) {
  struct list_case {
    const char* what;
    std::string body;
    std::vector<double> points;
    uint32_t colour;
    size_t lines;
  };
  const list_case cases[] = {
      {"count above the lines", "Punkte=5\r\nXKoord0=1\r\nYKoord0=2\r\nXKoord1=3\r\nCol=1\r\n",
       {1, 2}, gps_rgb(255, 0, 0), 1},
      {"next section ends the list",
       "Punkte=5\r\nXKoord0=1\r\nYKoord0=2\r\n[Symbol 2]\r\nTyp=3\r\nCol=3\r\n", {1, 2}, 0, 2},
      {"no count stores no point", "XKoord0=1\r\nYKoord0=2\r\n", {}, 0, 1},
      {"negative count", "Punkte=-4\r\nXKoord0=1\r\nYKoord0=2\r\n", {}, 0, 1},
      {"huge count", "Punkte=2147483647\r\nXKoord0=1\r\nYKoord0=2\r\nXKoord1=3\r\nYKoord1=4\r\n",
       {1, 2, 3, 4}, 0, 1},
      {"other key form", "Punkte=2\r\nXKoord0=1\r\nYKoord0=2\r\nXKoor1=3\r\nYKoord1=4\r\n",
       {1, 2}, 0, 1},
  };
  for (const list_case& lc : cases) {
    SCOPED_TRACE(lc.what);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load_text(symbol(1, "Typ=3\r\n" + lc.body), &f), 0);
    auto l = all_of<loil_t>(f, CLS_LOIL);
    ASSERT_EQ(l.size(), lc.lines);
    EXPECT_EQ(loil_points(f, l[0]), lc.points);
    if (lc.colour) {
      EXPECT_EQ(uint32_t(l[0]->colour), lc.colour);
    }
    if (lc.lines == 2) {
      EXPECT_EQ(uint32_t(l[1]->colour), gps_rgb(0, 0, 255));
    }
    free_loaded();
  }
}

// Typ 1 reads its list and drops it; a point symbol reads only its first value.
TEST_F(OvlRead, ListsOfOtherTypesAreReadAndDropped) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_text(symbol(1, "Typ=1\r\nPunkte=2\r\nXKoord0=1\r\nYKoord0=2\r\nXKoord1=3\r\nYKoord1=4\r\n") +
                          symbol(2, "Typ=5\r\nPunkte=2\r\nXKoord0=1\r\nYKoord0=2\r\nCol=4\r\n"),
                      &f),
            0);
  EXPECT_TRUE(all_of<loil_t>(f, CLS_LOIL).empty());
  geopoint_t* p = only<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(uint32_t(p->colour), gps_rgb(255, 255, 0));
}

TEST_F(OvlRead, BadInputIsSkippedLineByLine) {
  const std::string long_line(10000, 'A');
  const std::string text = "garbage\r\n" + long_line + "\r\n" + long_line + "=" + long_line + "\r\n" +
                           symbol(1, "Typ=5\r\nUnknown=1\r\n=5\r\nCol=" + long_line + "\r\nXKoord=" +
                                         long_line + "\r\nText=" + long_line + "\r\nCol=2\r\n");
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_text(text, &f), 0);
  geopoint_t* p = only<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(uint32_t(p->colour), gps_rgb(0, 200, 0));
  // No symbol section at all: only skipped sections.
  fileatt_t* g = nullptr;
  ASSERT_EQ(load_text("[Overlay]\nTyp=2\n[MapLage]\nTyp=2\n", &g), 0);
  EXPECT_TRUE(all_of<geotext_t>(g, CLS_GEOTEXT).empty());
  EXPECT_EQ(load_path(ovl_read, dir_ + "/missing.ovl"), ERR_FILE_ACCESS);
}

TEST_F(OvlRead, FilesCutAnywhereLoad) {
  const std::string full = slurp_file(kDir + "babel.ovl");
  for (size_t n = 0; n < full.size(); ++n) {
    ASSERT_EQ(load_text(full.substr(0, n)), 0) << n;
    free_loaded();
  }
}

TEST_F(OvlRead, InitRegistersTheReaderAndTheKeys) {
  format_readers_clear();
  ovl_init();
  EXPECT_EQ(format_reader_of(kOvlFormat), &ovl_read);
  ASSERT_NE(ovl_keys, nullptr);
  int rows = 0;
  while (ovl_keys[rows].name[0]) ++rows;
  EXPECT_EQ(rows + 1, 21);
  EXPECT_EQ(ovl_find_key("Nope"), &ovl_keys[rows]);
  EXPECT_STREQ(ovl_find_key("XKoord0")->name, "XKoord0");
  format_readers_clear();
}

}  // namespace
