// The WinAPRS map reader on the fixture of scripts/fixtures/make_aprs_fixtures.py (lines,
// a filled area, colours from both tables, "$" symbol points and named points) checked
// against the script's table of objects; the tables themselves; counts the file cannot
// hold, continuation records before any line, and every truncation, which end with error
// 14 and no read past the end.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "formats/aprs.h"
#include "formats/file_load.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/formats/single_reader_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::slurp_file;
using tm_test::split_fields;

const std::string kDir = TM_FIXTURE_DIR "/aprs/";

std::string utf8(const char16_t* w) {
  char* s = nullptr;
  wcs_to_mbs(w ? w : u"", &s);
  std::string out = s ? s : "";
  free_mem(&s);
  return out;
}

void put_be32(std::string* s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s->push_back(char(v >> shift & 0xFF));
}

// A header announcing the counts.
std::string aprs_head(uint32_t lines, uint32_t points) {
  std::string out("APRS");
  out.resize(108, '\0');
  put_be32(&out, lines);
  put_be32(&out, points);
  out.resize(256, '\0');
  return out;
}

std::string line_rec(int b, int c, uint32_t x, uint32_t y) {
  std::string out{char(b), char(c)};
  put_be32(&out, x);
  put_be32(&out, y);
  return out;
}

std::string point_rec(int colour, uint32_t x, uint32_t y, const std::string& tail) {
  std::string out{char(colour), '\0'};
  put_be32(&out, x);
  put_be32(&out, y);
  out += std::string(2, '\0') + tail;
  out.resize(44, '\0');
  return out;
}

// The colour word of a table row's red, green, blue and flag fields (from `at`).
uint32_t colour_of(const std::vector<std::string>& r, size_t at) {
  return gps_rgb(std::stoi(r[at]), std::stoi(r[at + 1]), std::stoi(r[at + 2])) |
         uint32_t(std::stoi(r[at + 3])) << 24;
}

class AprsRead : public tm_test::SingleReaderFixture {
 protected:
  AprsRead() : SingleReaderFixture(winaprs_read, "t.map") {}
  void SetUp() override {
    SingleReaderFixture::SetUp();
    aprs_init();
    ASSERT_EQ(get_gblerr(), 0);
  }
};

TEST_F(AprsRead, TheFixtureLoadsToItsTable) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "map.aprs", &f), 0);
  std::istringstream in(slurp_file(kDir + "map.txt"));
  const auto lines = all_of<loil_t>(f, CLS_LOIL);
  const auto points = all_of<poi_t>(f, CLS_POI);
  size_t l_at = 0, o_at = 0, v_at = 0;
  loil_t* line = nullptr;
  for (std::string text; std::getline(in, text);) {
    const auto r = split_fields(text, ';');
    SCOPED_TRACE(text);
    if (r[0] == "L") {
      ASSERT_LT(l_at, lines.size());
      line = lines[l_at++];
      v_at = 0;
      EXPECT_EQ(line->thickness, std::stoi(r[1]));
      EXPECT_EQ(line->fillmotif, std::stoi(r[2]));
      EXPECT_EQ(line->colour, r[3] == "-1" ? gpsobj_default_colour(CLS_LOIL) : colour_of(r, 3));
      EXPECT_EQ(line->fillcolor, r[7] == "-1" ? 0u : colour_of(r, 7));
      EXPECT_EQ(line->loicoord.count, std::stoi(r[11]));
    } else if (r[0] == "V") {
      ASSERT_NE(line, nullptr);
      ASSERT_LT(int(v_at), line->loicoord.count);
      EXPECT_DOUBLE_EQ(line->loicoord.pts[2 * v_at], std::stod(r[1]));
      EXPECT_DOUBLE_EQ(line->loicoord.pts[2 * v_at + 1], std::stod(r[2]));
      ++v_at;
    } else if (r[0] == "O") {
      ASSERT_LT(o_at, points.size());
      const poi_t* p = points[o_at++];
      EXPECT_EQ(utf8(p->name), r[1]);
      EXPECT_DOUBLE_EQ(p->coords.x, std::stod(r[2]));
      EXPECT_DOUBLE_EQ(p->coords.y, std::stod(r[3]));
      EXPECT_EQ(p->symbol, std::stoi(r[4]));
      EXPECT_EQ(p->colour, r[5] == "-1" ? gpsobj_default_colour(CLS_POI) : colour_of(r, 5));
      EXPECT_EQ(p->display, 0);
    }
  }
  EXPECT_EQ(l_at, lines.size());
  EXPECT_EQ(o_at, points.size());
  // No georeference: the load task chooses the system of these files.
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GEOREF), 0);
}

TEST_F(AprsRead, TablesHoldTheirEndRows) {
  EXPECT_EQ(aprs_colours[0], gps_rgb(0, 0, 0) | 1u << 24);
  EXPECT_EQ(aprs_colours[12], gps_rgb(255, 0, 0) | 1u << 24);
  EXPECT_EQ(aprs_colours[32], gps_rgb(255, 255, 255) | 1u << 24);
  EXPECT_EQ(aprs_colours[33], gps_rgb(255, 0, 0) | 255u << 24);
  EXPECT_EQ(aprs_fill_colours[2], gps_rgb(0, 0, 255));
  EXPECT_EQ(aprs_fill_colours[7], gps_rgb(59, 0, 0));
  EXPECT_EQ(aprs_symbols[0], 59);
  EXPECT_EQ(aprs_symbols[94], 38);
}

struct bad_case {
  const char* what;
  std::string bytes;
  int code;
  int lines_kept;
  int points_kept;
};

TEST_F(AprsRead, CountsBeyondTheFileAndStrayRecordsGiveError14) {
  const std::string start = line_rec(255, 1, 6480000, 3240000);
  const std::string more = line_rec(3, 0, 6480010, 3240010);
  const std::string pt = point_rec(1, 6480000, 3240000, "P");
  const bad_case cases[] = {
      {"both counts zero", aprs_head(0, 0) + start, 14, 0, 0},
      {"both counts negative", aprs_head(0x80000000u, 0xFFFFFFFFu) + start, 14, 0, 0},
      {"header cut before the counts", std::string("APRS", 4) + std::string(100, '\0'), 14, 0, 0},
      {"line count 2^31", aprs_head(0x7FFFFFFFu, 0) + start + more, 14, 1, 0},
      {"point count 2^31", aprs_head(1, 0x7FFFFFFFu) + start + pt, 14, 1, 1},
      {"point count beyond a cut record", aprs_head(0, 2) + pt + pt.substr(0, 30), 14, 0, 1},
      {"continuation before any start", aprs_head(3, 0) + more + start + more, 14, 1, 0},
      {"a well-formed file", aprs_head(2, 1) + start + more + pt, 0, 1, 1},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.what);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(c.bytes, &f), c.code);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(int(all_of<loil_t>(f, CLS_LOIL).size()), c.lines_kept);
    EXPECT_EQ(int(all_of<poi_t>(f, CLS_POI).size()), c.points_kept);
    loaded_.free_all();
  }
}

TEST_F(AprsRead, StartAndPointRecordsFollowTheirBytes) {
  // Width byte 0x13: width 4 and a filled area; "!" gives symbol 59; the stored origin
  // gives (0, 0); a 32-byte name of printable bytes has no NUL and is kept whole; a
  // Windows-1252 name reads as its letters.
  const std::string name32(32, 'N');
  const std::string bytes = aprs_head(1, 3) + line_rec(255, 0x13, 6480000, 3240000) +
                            point_rec(0, 6480000, 3240000, "$!/STATION") +
                            point_rec(0xFF, 6480000 + 36000, 3240000 - 36000, name32) +
                            point_rec(1, 6480000, 3240000, "Caf\xE9");
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(bytes, &f), 0);
  auto lines = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->thickness, 4);
  EXPECT_EQ(lines[0]->fillmotif, 1);
  ASSERT_EQ(lines[0]->loicoord.count, 1);
  EXPECT_EQ(lines[0]->loicoord.pts[0], 0.0);
  EXPECT_EQ(lines[0]->loicoord.pts[1], 0.0);
  auto points = all_of<poi_t>(f, CLS_POI);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0]->symbol, 59);
  EXPECT_EQ(utf8(points[0]->name), "STATION");
  EXPECT_EQ(points[0]->coords.x, 0.0);
  EXPECT_EQ(points[0]->coords.y, 0.0);
  EXPECT_EQ(utf8(points[1]->name), name32);
  EXPECT_EQ(points[1]->colour, gpsobj_default_colour(CLS_POI));
  EXPECT_DOUBLE_EQ(points[1]->coords.x, 3600.0);
  EXPECT_DOUBLE_EQ(points[1]->coords.y, 3600.0);
  EXPECT_EQ(utf8(points[2]->name), "Caf\xC3\xA9");
}

TEST_F(AprsRead, EveryTruncationOfTheFixtureEndsCleanly) {
  const std::string whole = slurp_file(kDir + "map.aprs");
  for (size_t n = 0; n < whole.size(); ++n) {
    const int r = load(whole.substr(0, n));
    EXPECT_EQ(r, 14) << n;
    loaded_.free_all();
  }
}

class AprsDispatch : public tm_test::LoadFixture {};

TEST_F(AprsDispatch, TheFixtureIsRecognisedAndLoaded) {
  aprs_init();
  fileatt_t* f = identify("area.map", slurp_file(kDir + "map.aprs"));
  EXPECT_EQ(int(f->fileformat), kWinAprsFormat);
  ASSERT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_LOIL), 4);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_POI), 4);
}

}  // namespace
