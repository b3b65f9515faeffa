// The Shapefile reader on the files ogr2ogr wrote (scripts/fixtures/make_shp_fixtures.py:
// every shape type, with Z and M, null shapes, in geographic, projected, feet and
// unreferenced systems), checked against the geometry the GDAL driver reads from them;
// the objects, styles and folder a read gives; and hostile files built here byte by
// byte, which end with their error code, keep the shapes read before, and never read
// outside their records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "formats/shapefile.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/formats/single_reader_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace {

const std::string kDir = TM_FIXTURE_DIR "/shp/";

class ShpRead : public tm_test::SingleReaderFixture {
 protected:
  ShpRead() : SingleReaderFixture(shp_read, "t.shp", -100) {}
  void SetUp() override {
    SingleReaderFixture::SetUp();
    ASSERT_EQ(get_gblerr(), 0);
  }

  // The shapes in the order they were made: points and lines.
  static std::vector<obj_t*> shapes_of(const fileatt_t* f) {
    std::vector<obj_t*> out;
    for (int i = 0; i < obj_list_count(f->sot); ++i) {
      obj_t* o = f->sot->elems[i];
      if (o && (o->cls == CLS_GEOPOINT || o->cls == CLS_LOIL)) out.push_back(o);
    }
    return out;
  }

};

coord_list coords_of(const loil_t* l) {
  coord_list c;
  std::memcpy(&c, &l->loicoord, sizeof c);
  return c;
}

// ---- Fixtures written by ogr2ogr -----------------------------------------------------------

struct expected_part {
  char kind = 'P';  // 'P' point, 'L' line
  int fill = 0;
  bool has_z = false;
  std::vector<double> xyz;  // x, y, z per point (z 0 without z values)
};
using expected_feature = std::vector<expected_part>;

std::vector<expected_feature> read_answers(const std::string& path) {
  std::ifstream in(path);
  std::vector<expected_feature> out;
  std::string tag;
  while (in >> tag) {
    EXPECT_EQ(tag, "F");
    int n = 0;
    in >> n;
    expected_feature f;
    for (int i = 0; i < n; ++i) {
      expected_part p;
      in >> tag;
      p.kind = tag[0];
      if (p.kind == 'P') {
        double x, y, z;
        in >> x >> y >> z;
        p.xyz = {x, y, z};
      } else {
        int count = 0, z = 0;
        in >> count >> p.fill >> z;
        p.has_z = z != 0;
        for (int k = 0; k < count; ++k) {
          double x = 0, y = 0, zz = 0;
          in >> x >> y;
          if (p.has_z) in >> zz;
          p.xyz.insert(p.xyz.end(), {x, y, zz});
        }
      }
      f.push_back(p);
    }
    out.push_back(f);
  }
  return out;
}

bool line_matches(const loil_t* l, const expected_part& e) {
  const coord_list c = coords_of(l);
  if (size_t(c.count) * 3 != e.xyz.size() || l->fillmotif != e.fill) return false;
  if (e.has_z != (c.extra != nullptr)) return false;
  const auto* z = static_cast<const double*>(c.extra);
  for (int k = 0; k < c.count; ++k) {
    if (c.pts[2 * k] != e.xyz[3 * k] || c.pts[2 * k + 1] != e.xyz[3 * k + 1]) return false;
    if (z && z[k] != e.xyz[3 * k + 2]) return false;
  }
  return true;
}

struct fixture_case {
  const char* system;
  const char* shape;
};

std::vector<fixture_case> all_fixtures() {
  std::vector<fixture_case> out;
  for (const char* s : {"wgs84", "l93", "utm31", "ft2227", "noprj"})
    for (const char* t : {"point", "multipoint", "line", "polygon", "pointz", "multipointz",
                          "linez", "polygonz", "pointm", "multipointm", "linem", "polygonm"})
      out.push_back({s, t});
  return out;
}

class ShpFixtures : public ShpRead, public ::testing::WithParamInterface<fixture_case> {};

// Points compare exactly in x and y and as the float the record keeps in z; the parts of
// one feature compare as a set (the driver may group a multipolygon's rings in another
// order than the file's parts).
TEST_P(ShpFixtures, ShapesMatchWhatTheGdalDriverReads) {
  const std::string base = kDir + GetParam().system + "/" + GetParam().shape;
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(base + ".shp", &f), 0);
  const std::vector<expected_feature> features = read_answers(base + ".txt");
  ASSERT_FALSE(features.empty());
  EXPECT_TRUE(features.back().empty()) << "the null shape of every fixture makes nothing";
  const std::vector<obj_t*> shapes = shapes_of(f);
  size_t at = 0;
  for (size_t i = 0; i < features.size(); ++i) {
    SCOPED_TRACE("feature " + std::to_string(i));
    const expected_feature& e = features[i];
    ASSERT_LE(at + e.size(), shapes.size());
    std::vector<bool> used(e.size(), false);
    for (size_t k = 0; k < e.size(); ++k) {
      obj_t* o = shapes[at + k];
      if (e[k].kind == 'P') {
        ASSERT_EQ(o->cls, CLS_GEOPOINT);
        const auto* p = static_cast<geopoint_t*>(o);
        EXPECT_EQ(p->coords.x, e[k].xyz[0]);
        EXPECT_EQ(p->coords.y, e[k].xyz[1]);
        EXPECT_EQ(p->coords.z, float(e[k].xyz[2]));
        EXPECT_EQ(p->shape, 3);
        EXPECT_EQ(p->thickness, 3);
        EXPECT_EQ(p->colour, gpsobj_default_colour(CLS_GEOPOINT));
        continue;
      }
      ASSERT_EQ(o->cls, CLS_LOIL);
      const auto* l = static_cast<loil_t*>(o);
      EXPECT_EQ(l->colour, gpsobj_default_colour(CLS_LOIL));
      bool found = false;
      for (size_t m = 0; m < e.size() && !found; ++m)
        if (!used[m] && line_matches(l, e[m])) used[m] = found = true;
      EXPECT_TRUE(found) << "part " << k << " of " << int(coords_of(l).count) << " points";
    }
    at += e.size();
  }
  EXPECT_EQ(at, shapes.size());
}

INSTANTIATE_TEST_SUITE_P(Ogr2ogr, ShpFixtures, ::testing::ValuesIn(all_fixtures()),
                         [](const ::testing::TestParamInfo<fixture_case>& info) {
                           return std::string(info.param.system) + "_" + info.param.shape;
                         });

// Header lengths short of the last record's end (the length word rewritten in ogr2ogr
// output, as some writers leave it): the records are read up to the file's real end, as
// the GDAL driver reads them; a record cut short by the end of the file is still refused.
TEST_F(ShpRead, AHeaderLengthShortOfTheLastRecordReadsEveryRecord) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "short_header/line.shp", &f), 0);
  const std::vector<expected_feature> features = read_answers(kDir + "short_header/line.txt");
  ASSERT_EQ(features.size(), 2u);
  const std::vector<obj_t*> shapes = shapes_of(f);
  ASSERT_EQ(shapes.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(shapes[i]->cls, CLS_LOIL);
    ASSERT_EQ(features[i].size(), 1u);
    EXPECT_TRUE(line_matches(static_cast<loil_t*>(shapes[i]), features[i][0])) << i;
  }
}

TEST_F(ShpRead, ARecordCutByTheFileEndIsRefusedAfterTheFirst) {
  fileatt_t* f = nullptr;
  EXPECT_EQ(load_path(kDir + "short_header/cut.shp", &f), ERR_BAD_FILE);
  ASSERT_NE(f, nullptr);
  const std::vector<expected_feature> whole = read_answers(kDir + "short_header/line.txt");
  const std::vector<obj_t*> shapes = shapes_of(f);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_TRUE(line_matches(static_cast<loil_t*>(shapes[0]), whole[0][0]));
}

TEST_F(ShpRead, AReadFileGetsItsFolderAPointStyleAndALineStyle) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "wgs84/polygon.shp", &f), 0);
  ASSERT_NE(first_folder(f), nullptr);
  EXPECT_EQ(first_folder(f)->sot, f->sot);
  const auto points = styles_in(f->sot, CLS_DPOINT);
  ASSERT_EQ(points.size(), 1u);
  const auto* p = static_cast<dpoint_t*>(points[0]);
  EXPECT_EQ(p->typesrc, CLS_GEOPOINT);
  EXPECT_EQ(p->contsrc, f->sot);
  EXPECT_EQ(p->meterpixsize, 1.0);
  EXPECT_EQ(p->pcolour, int(offsetof(geopoint_t, colour)));
  EXPECT_EQ(p->pshape, int(offsetof(geopoint_t, shape)));
  const auto lines = styles_in(f->sot, CLS_DPOLYCURVE);
  ASSERT_EQ(lines.size(), 1u);
  const auto* s = static_cast<dpolycurve_t*>(lines[0]);
  EXPECT_EQ(s->typesrc, CLS_LOIL);
  EXPECT_EQ(s->contsrc, f->sot);
  EXPECT_EQ(s->plcoord, int(offsetof(loil_t, loicoord)));
  EXPECT_EQ(s->pcolour, int(offsetof(loil_t, colour)));
  EXPECT_EQ(s->pfillmotif, int(offsetof(loil_t, fillmotif)));
  EXPECT_EQ(s->pthickness, 0);
  EXPECT_EQ(s->vthickness, 1);
  EXPECT_EQ(s->vedgemotif, 1);
  EXPECT_EQ(s->vmode, 1);
}

// ---- Files built here ----------------------------------------------------------------

void put_be32(std::string* s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s->push_back(char(v >> (8 * i) & 0xFF));
}
void put_le32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(char(v >> (8 * i) & 0xFF));
}
void put_double(std::string* s, double v) {
  char b[8];
  std::memcpy(b, &v, 8);
  s->append(b, 8);
}
void put_doubles(std::string* s, std::initializer_list<double> v) {
  for (double d : v) put_double(s, d);
}

// A record: number, the content length in words (given, or that of the content), the
// content.
std::string record(const std::string& content, int64_t words = -1) {
  std::string r;
  put_be32(&r, 1);
  put_be32(&r, uint32_t(words >= 0 ? words : int64_t(content.size() / 2)));
  return r + content;
}
std::string point(double x, double y, int type = SHP_POINT, const std::vector<double>& more = {}) {
  std::string c;
  put_le32(&c, uint32_t(type));
  put_doubles(&c, {x, y});
  for (double v : more) put_double(&c, v);
  return c;
}
// A polyline-like content: box, part count, point count, the starts, the points, then
// `tail` (a z range and z values, say).
std::string poly(int type, std::vector<int32_t> starts, std::vector<double> xy,
                 const std::string& tail = "", int64_t points = -1) {
  std::string c;
  put_le32(&c, uint32_t(type));
  put_doubles(&c, {0, 0, 0, 0});
  put_le32(&c, uint32_t(starts.size()));
  put_le32(&c, uint32_t(points >= 0 ? points : int64_t(xy.size() / 2)));
  for (int32_t s : starts) put_le32(&c, uint32_t(s));
  for (double v : xy) put_double(&c, v);
  return c + tail;
}
std::string multipoint(int type, std::vector<double> xy, const std::string& tail = "",
                       int64_t points = -1) {
  std::string c;
  put_le32(&c, uint32_t(type));
  put_doubles(&c, {0, 0, 0, 0});
  put_le32(&c, uint32_t(points >= 0 ? points : int64_t(xy.size() / 2)));
  for (double v : xy) put_double(&c, v);
  return c + tail;
}
// The 100-byte header before `records`; its length is that of the whole, unless given
// (in bytes).
std::string shp_file(const std::string& records, int64_t length = -1) {
  std::string h;
  put_be32(&h, 9994);
  h.append(20, '\0');
  put_be32(&h, uint32_t((length >= 0 ? length : int64_t(100 + records.size())) / 2));
  put_le32(&h, 1000);
  put_le32(&h, 1);
  h.append(64, '\0');
  return h + records;
}
std::string doubles(std::initializer_list<double> v) {
  std::string s;
  put_doubles(&s, v);
  return s;
}

TEST_F(ShpRead, APolygonOfThreePartsGivesThreeFilledLines) {
  fileatt_t* f = nullptr;
  const std::string c = poly(SHP_POLYGON, {0, 4, 8},
                             {0, 0, 0, 1, 1, 1, 0, 0, 5, 5, 5, 6, 6, 6, 5, 5, 9, 9, 9, 8, 8, 8, 9, 9});
  ASSERT_EQ(load(shp_file(record(c)), &f), 0);
  const auto lines = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(lines.size(), 3u);
  for (const loil_t* l : lines) {
    EXPECT_EQ(l->fillmotif, 7);
    const coord_list c = coords_of(l);
    const int count = c.count;
    EXPECT_EQ(count, 4);
    EXPECT_TRUE(c.extra == nullptr);
  }
  EXPECT_EQ(coords_of(lines[1]).pts[0], 5.0);
  EXPECT_EQ(coords_of(lines[2]).pts[7], 9.0);
}

TEST_F(ShpRead, APolylineZTakesTheZArrayAfterItsRange) {
  fileatt_t* f = nullptr;
  const std::string c = poly(SHP_POLYLINE_Z, {0, 2}, {0, 0, 1, 1, 2, 2, 3, 3, 4, 4},
                             doubles({-100, 100, 10, 11, 12, 13, 14}));
  ASSERT_EQ(load(shp_file(record(c)), &f), 0);
  const auto lines = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(lines.size(), 2u);
  const coord_list a = coords_of(lines[0]), b = coords_of(lines[1]);
  ASSERT_EQ(int(a.count), 2);
  ASSERT_EQ(int(b.count), 3);
  const auto* za = static_cast<const double*>(a.extra);
  const auto* zb = static_cast<const double*>(b.extra);
  ASSERT_TRUE(za && zb);
  EXPECT_EQ(za[0], 10.0);
  EXPECT_EQ(za[1], 11.0);
  EXPECT_EQ(zb[0], 12.0);
  EXPECT_EQ(zb[2], 14.0);
  EXPECT_EQ(lines[0]->fillmotif, 0);
}

TEST_F(ShpRead, AMultipointZGivesEachPointItsZ) {
  fileatt_t* f = nullptr;
  const std::string c = multipoint(SHP_MULTIPOINT_Z, {1, 2, 3, 4}, doubles({0, 9, 7.5, -3}));
  ASSERT_EQ(load(shp_file(record(c)), &f), 0);
  const auto points = all_of<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0]->coords.x, 1.0);
  EXPECT_EQ(points[0]->coords.z, 7.5f);
  EXPECT_EQ(points[1]->coords.y, 4.0);
  EXPECT_EQ(points[1]->coords.z, -3.0f);
}

// A z beyond the range of the float a point keeps becomes an infinity of its sign.
TEST_F(ShpRead, AHugeZBecomesAnInfinity) {
  fileatt_t* f = nullptr;
  const std::string body = record(point(1, 2, SHP_POINT_Z, {1e300})) +
                           record(point(3, 4, SHP_POINT_Z, {-1e39})) +
                           record(point(5, 6, SHP_POINT_Z, {123.5}));
  ASSERT_EQ(load(shp_file(body), &f), 0);
  const auto points = all_of<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(float(points[0]->coords.z), HUGE_VALF);
  EXPECT_EQ(float(points[1]->coords.z), -HUGE_VALF);
  EXPECT_EQ(float(points[2]->coords.z), 123.5f);
}

TEST_F(ShpRead, NullShapesAndUnreadTypesAreSkippedByTheirLength) {
  fileatt_t* f = nullptr;
  std::string null_content;
  put_le32(&null_content, 0);
  std::string other;  // type 2 is no shape the reader makes: passed over, 12 bytes
  put_le32(&other, 2);
  other += doubles({1});
  const std::string body = record(null_content) + record(other) + record(point(1, 2)) +
                           record(null_content);
  ASSERT_EQ(load(shp_file(body), &f), 0);
  const auto points = all_of<geopoint_t>(f, CLS_GEOPOINT);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0]->coords.y, 2.0);
}

TEST_F(ShpRead, OnlyTheLengthTheHeaderGivesIsRead) {
  fileatt_t* f = nullptr;
  const std::string first = record(point(1, 1));
  ASSERT_EQ(load(shp_file(first + record(point(2, 2)), 100 + int64_t(first.size())), &f), 0);
  EXPECT_EQ(all_of<geopoint_t>(f, CLS_GEOPOINT).size(), 1u);
}

TEST_F(ShpRead, WithoutAListOrAFileTheReaderAnswersAtOnce) {
  EXPECT_EQ(shp_read(nullptr, nullptr), -1);
  EXPECT_EQ(load_path(dir_ + "/missing.shp"), ERR_FILE_ACCESS);
}

// ---- Bad files ---------------------------------------------------------------------------

struct bad_case {
  const char* name;
  std::string bytes;
  int code;
  size_t points_kept;  // geopoints left in the list
  size_t lines_kept;
};

std::vector<bad_case> bad_cases() {
  const std::string good = record(point(1, 1));
  const std::string line = record(poly(SHP_POLYLINE, {0}, {0, 0, 1, 1}));
  std::string type_only;
  put_le32(&type_only, 1);
  std::vector<bad_case> v;
  v.push_back({"HeaderLongerThanFile", shp_file(good, 100 + int64_t(good.size()) + 2), 14, 0, 0});
  v.push_back({"ShorterThanAHeader", shp_file("").substr(0, 60), 14, 0, 0});
  v.push_back({"RecordHeaderCut", shp_file(good + std::string("\0\0\0\1\0\0", 6)), 14, 1, 0});
  v.push_back({"NegativeContentLength", shp_file(good + record(point(2, 2), 0x80000000u)), 14, 1, 0});
  v.push_back({"ContentLengthZero", shp_file(good + record(point(2, 2), 0) + good), 14, 1, 0});
  v.push_back({"ContentLengthOneWord", shp_file(good + record(point(2, 2), 1) + good), 14, 1, 0});
  v.push_back({"ContentPastTheEnd", shp_file(good + record(point(2, 2), 20)), 14, 1, 0});
  v.push_back({"ShapeTypeAbove31", shp_file(good + record(point(2, 2, 32)) + good), 3, 1, 0});
  v.push_back({"ShapeTypeNegative", shp_file(good + record(point(2, 2, -1)) + good), 3, 1, 0});
  v.push_back({"PointTooShort", shp_file(good + record(point(2, 2).substr(0, 16))), 14, 1, 0});
  v.push_back({"PointZWithoutZ", shp_file(good + record(point(2, 2, SHP_POINT_Z))), 14, 1, 0});
  v.push_back({"MultipointCountOverflows",
               shp_file(good + record(multipoint(SHP_MULTIPOINT, {1, 2}, "", 0x10000000))), 14, 1, 0});
  v.push_back({"MultipointCountNegative",
               shp_file(good + record(multipoint(SHP_MULTIPOINT, {1, 2}, "", 0xFFFFFFFFu))), 14, 1, 0});
  v.push_back({"MultipointOneShort",
               shp_file(good + record(multipoint(SHP_MULTIPOINT, {1, 2, 3, 4}, "", 3))), 14, 1, 0});
  v.push_back({"MultipointZArrayMissing",
               shp_file(good + record(multipoint(SHP_MULTIPOINT_Z, {1, 2}, doubles({0, 1})))), 14, 1, 0});
  v.push_back({"PolylineCountsOverflow",
               shp_file(line + record(poly(SHP_POLYLINE, {0}, {0, 0}, "", 0x10000000))), 14, 0, 1});
  v.push_back({"PolylinePartsOverflow",
               shp_file(line + record(poly(SHP_POLYLINE, std::vector<int32_t>(3, 0), {0, 0}, "",
                                           0x3FFFFFFF))), 14, 0, 1});
  v.push_back({"PolylineNegativeCount",
               shp_file(line + record(poly(SHP_POLYLINE, {0}, {0, 0}, "", 0xFFFFFFF0u))), 14, 0, 1});
  v.push_back({"PartStartNotZero",
               shp_file(line + record(poly(SHP_POLYLINE, {1}, {0, 0, 1, 1}))), 14, 0, 1});
  v.push_back({"PartStartsFalling",
               shp_file(line + record(poly(SHP_POLYLINE, {0, 2, 1}, {0, 0, 1, 1, 2, 2}))), 14, 0, 1});
  v.push_back({"PartStartPastCount",
               shp_file(line + record(poly(SHP_POLYLINE, {0, 5}, {0, 0, 1, 1}))), 14, 0, 1});
  v.push_back({"PartStartNegative",
               shp_file(line + record(poly(SHP_POLYLINE, {0, -4}, {0, 0, 1, 1}))), 14, 0, 1});
  v.push_back({"PolylineZArrayCut",
               shp_file(line + record(poly(SHP_POLYLINE_Z, {0}, {0, 0, 1, 1}, doubles({0, 1, 5})))),
               14, 0, 1});
  v.push_back({"PolygonZRangeOnly",
               shp_file(line + record(poly(SHP_POLYGON_Z, {0}, {0, 0, 1, 1}, doubles({0, 1})))),
               14, 0, 1});
  v.push_back({"PolylineHeaderCut", shp_file(line + record(poly(SHP_POLYLINE, {}, {}).substr(0, 40))),
               14, 0, 1});
  v.push_back({"MultipatchShort",
               shp_file(good + record(poly(SHP_MULTIPATCH, {0}, {0, 0, 1, 1}))), 14, 1, 0});
  return v;
}

class ShpBadFiles : public ShpRead, public ::testing::WithParamInterface<bad_case> {};

TEST_P(ShpBadFiles, EndWithTheirCodeAndKeepWhatWasRead) {
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(GetParam().bytes, &f), GetParam().code);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(all_of<geopoint_t>(f, CLS_GEOPOINT).size(), GetParam().points_kept);
  EXPECT_EQ(all_of<loil_t>(f, CLS_LOIL).size(), GetParam().lines_kept);
}

INSTANTIATE_TEST_SUITE_P(Hostile, ShpBadFiles, ::testing::ValuesIn(bad_cases()),
                         [](const ::testing::TestParamInfo<bad_case>& info) {
                           return std::string(info.param.name);
                         });

// A multipatch whose sizes hold is passed over; the shapes after it are read.
TEST_F(ShpRead, AMultipatchIsCheckedAndMakesNothing) {
  fileatt_t* f = nullptr;
  const std::string patch = poly(SHP_MULTIPATCH, {0}, {0, 0, 1, 1}, std::string(8 + 64 + 16, '\0'));
  ASSERT_EQ(load(shp_file(record(patch) + record(point(3, 4))), &f), 0);
  EXPECT_EQ(all_of<loil_t>(f, CLS_LOIL).size(), 0u);
  EXPECT_EQ(all_of<geopoint_t>(f, CLS_GEOPOINT).size(), 1u);
}

}  // namespace
