// Reading and writing CoordSys clauses: bad clauses are refused with 13 and nothing past
// the text is read; good ones in their usual spellings are read; a system read twice is
// one object; datums are written as MapInfo numbers or as custom datums that read back
// into the same datum.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "geodesy/georef.h"
#include "geodesy/mapinfo.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

class MapinfoClauses : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }

  // Reads the text from a buffer of exactly its length, without NUL: a reader that
  // looked past the end would be caught by the address checker.
  static int read_exact(const std::string& text, mif_coordsys* out) {
    std::unique_ptr<char[]> buffer(new char[text.empty() ? 1 : text.size()]);
    std::memcpy(buffer.get(), text.data(), text.size());
    set_gblerr(0);
    return mif_coordsys_read(buffer.get(), text.size(), out);
  }

  static mif_coordsys read_ok(const std::string& text) {
    mif_coordsys cs;
    EXPECT_EQ(read_exact(text, &cs), 0) << text;
    return cs;
  }

  template <class T> static T* by_code(int cls, int code) {
    T* obj = nullptr;
    geo_find_by_code(cls, code, &obj);
    return obj;
  }
};

TEST_F(MapinfoClauses, BadClausesAreRefusedWithinTheirText) {
  const std::string utm = "Earth Projection 8, 104, \"m\", 3, 0, 0.9996, 500000, 0";
  const std::string cases[] = {
      "",
      "   ,, ",
      "Earth",
      "Earth Projection",
      "Earth Projection 8",
      "Earth Projection 8, 104",
      "Earth Projection 8, 104, \"m\"",
      "Earth Projection 8, 104, \"m\", 3, 0, 0.9996, 500000",
      utm + ", 7",
      "Earth Projection 8, 104, \"furlong\", 3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, m, 3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m, 3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"" + std::string(40, 'm') + "\", 3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m\", 3, 0, 0.9996, " + std::string(1000, '5') + ", 0",
      "Earth Projection x, 104",
      "Earth Projection 8.5, 104, \"m\", 3, 0, 0.9996, 500000, 0",
      "Earth Projection -8, 104, \"m\", 3, 0, 0.9996, 500000, 0",
      "Earth Projection 0, 104",
      "Earth Projection 32, 104, \"m\", 24.8, 49.5, 78.5, 30.28, 0, 0",
      "Earth Projection 11, 104, \"m\", 0",
      "Earth Projection 20, 104, \"m\", 0, -90, 0.97, 0, 0",
      "Earth Projection 8, 123456, \"m\", 3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, -104, \"m\", 3, 0, 0.9996, 500000, 0",
      "Earth Projection 1, 9999, 9, 446.448, -125.157, 542.06",
      "Earth Projection 1, 999, 4000, 0, 0, 0",
      "Earth Projection 1, 999",
      "Earth Projection 8, 104, \"m\", nan, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m\", inf, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m\", 1e999, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m\", --3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m\", +-3, 0, 0.9996, 500000, 0",
      "Earth Projection 8, 104, \"m\", 3x, 0, 0.9996, 500000, 0",
      "Earth Projection 1, 104 garbage",
      "Earth Projection 1, 104 Bounds (0, 0) (1",
      "Earth Projection 1, 104 Bounds (0, 0) (1, 1) (2, 2)",
      "Earth Projection 1, 104 Bounds 0, 0, 1, 1",
      "Earth Projection 1, 104 \"m\"",
      "Earth Projection 1, 104)",
      "NonEarth",
      "NonEarth Units",
      "NonEarth Units \"parsec\"",
      "Mars Projection 1, 104",
      "CoordSys CoordSys Earth Projection 1, 104",
      std::string("Earth Projection 1, 1\0" "04", 22),
  };
  for (const std::string& text : cases) {
    mif_coordsys cs;
    cs.earth = 7;
    EXPECT_EQ(read_exact(text, &cs), 13) << text;
    EXPECT_EQ(get_gblerr(), 13) << text;
    EXPECT_EQ(cs.earth, 0) << text;
    EXPECT_EQ(cs.datum, nullptr) << text;
    EXPECT_EQ(cs.projection, nullptr) << text;
  }
  // The same clause cut anywhere inside its last value is short of that value.
  mif_coordsys cs;
  EXPECT_EQ(mif_coordsys_read(utm.data(), utm.size() - 1, &cs), 13);
  EXPECT_EQ(mif_coordsys_read(nullptr, 10, &cs), 13);
  EXPECT_EQ(mif_coordsys_read(utm.data(), utm.size(), nullptr), 13);
}

TEST_F(MapinfoClauses, UsualSpellingsAreRead) {
  geodatum_t* wgs84 = by_code<geodatum_t>(CLS_GEODATUM, 214);
  const struct {
    const char* text;
    int earth, type, unit;
    bool projected;
  } cases[] = {
      {"Earth Projection 1, 104", 1, 1, ANG_DEGREE, false},
      {"earth projection 1 104", 1, 1, ANG_DEGREE, false},
      {"CoordSys Earth Projection 1, 104", 1, 1, ANG_DEGREE, false},
      {"COORDSYS EARTH PROJECTION 1001, 104", 1, 1, ANG_DEGREE, false},
      {"Earth 1, 104", 1, 1, ANG_DEGREE, false},
      {"CoordSys Earth Projection 8, 104, \"m\", 3, 0, 0.9996, 500000, 0 Bounds "
       "(-7745844.29605, -9997964.94315) (8745844.29605, 9997964.94315)",
       1, 8, LEN_METRE, true},
      {"Earth Projection 8,104,\"m\",+3,0,9.996e-1,5E5,0", 1, 8, LEN_METRE, true},
      {"Earth\tProjection 8,\r\n 104, \"km\", 3, 0, 0.9996, 500, 0\n", 1, 8, LEN_KILOMETRE,
       true},
      {"NonEarth Units \"m\"", 0, 0, LEN_METRE, false},
      {"CoordSys NonEarth Units \"survey ft\" Bounds (0, 0) (1000, 1000)", 0, 0,
       LEN_US_SURVEY_FOOT, false},
      {"NonEarth \"mi\"", 0, 0, 19, false},
  };
  for (const auto& c : cases) {
    const mif_coordsys cs = read_ok(c.text);
    EXPECT_EQ(cs.earth, c.earth) << c.text;
    EXPECT_EQ(cs.type, c.type) << c.text;
    EXPECT_EQ(cs.unit, c.unit) << c.text;
    EXPECT_EQ(cs.datum, c.earth ? wgs84 : nullptr) << c.text;
    EXPECT_EQ(cs.projection != nullptr, c.projected) << c.text;
    if (c.projected) {
      EXPECT_NEAR(val(cs.projection->x0), 500000.0, 1e-6) << c.text;
    }
  }
}

// A system read twice is one projection object; a clause that matches nothing of the
// tables makes one projection, named after its datum, found again the second time; the
// same values in another unit are another projection.
TEST_F(MapinfoClauses, SameClauseGivesTheSameProjection) {
  const char* custom = "Earth Projection 8, 104, \"m\", 3.25, 0, 0.9996, 500000, 0";
  const char* custom_ft = "Earth Projection 8, 104, \"ft\", 3.25, 0, 0.9996, 1640419.9475, 0";
  const char* utm = "Earth Projection 8, 104, \"m\", 3, 0, 0.9996, 500000, 0";
  for (const char* text : {utm, custom, custom_ft}) {
    const mif_coordsys first = read_ok(text);
    const mif_coordsys second = read_ok(text);
    ASSERT_NE(first.projection, nullptr) << text;
    EXPECT_EQ(first.projection, second.projection) << text;
    EXPECT_EQ(val(first.projection->unit), first.unit) << text;
  }
  const mif_coordsys m = read_ok(custom);
  const mif_coordsys ft = read_ok(custom_ft);
  EXPECT_NE(m.projection, ft.projection);
  EXPECT_NEAR(val(m.projection->x0), val(ft.projection->x0), 0.01);
  EXPECT_STREQ(m.projection->name, "WGS 84 / Mapinfo custom projection");
  const mif_coordsys u = read_ok(utm);
  EXPECT_EQ(val(u.projection->datum), by_code<geodatum_t>(CLS_GEODATUM, 214));
  EXPECT_EQ(val(u.projection->projtype), 1);
}

// A two-parallel clause whose scale at the origin matches a one-parallel cone of the
// tables is that cone; one that matches nothing makes a two-parallel cone.
TEST_F(MapinfoClauses, TwoParallelClauseFindsTheOneParallelCone) {
  const mif_coordsys lambert2 = read_ok(
      "Earth Projection 3, 1002, \"m\", 0, 46.8, 45.8989189643427, 47.6960145021065, 600000, "
      "2200000");
  EXPECT_EQ(lambert2.projection, by_code<cartproj_t>(CLS_CARTPROJ, 27572));
  EXPECT_EQ(val(lambert2.projection->projtype), 9);
  const mif_coordsys other = read_ok(
      "Earth Projection 3, 1002, \"m\", 0, 46.8, 45.5, 47.9, 600000, 2200000");
  ASSERT_NE(other.projection, nullptr);
  EXPECT_NE(other.projection, lambert2.projection);
  EXPECT_EQ(val(other.projection->projtype), 8);
  const std::string name = other.projection->name;
  const std::string tail = " / Mapinfo custom projection";
  ASSERT_GE(name.size(), tail.size());
  EXPECT_EQ(name.substr(name.size() - tail.size()), tail);
  // Parallels listed the other way round are the same cone.
  const mif_coordsys swapped = read_ok(
      "Earth Projection 3, 1002, \"m\", 0, 46.8, 47.9, 45.5, 600000, 2200000");
  EXPECT_EQ(swapped.projection, other.projection);
}

TEST_F(MapinfoClauses, MifLccEqualComparesConesAsRead) {
  cartproj_t* lambert2 = by_code<cartproj_t>(CLS_CARTPROJ, 27572);
  cartproj_t* lambert93 = by_code<cartproj_t>(CLS_CARTPROJ, 2154);
  ASSERT_TRUE(lambert2 && lambert93);
  const struct {
    cartproj_t* existing;
    double p[6];
    int equal;
  } cases[] = {
      {lambert2, {0, 46.8, 45.8989189643427, 47.6960145021065, 600000, 2200000}, 1},
      {lambert2, {0, 46.8, 45.8989189643427, 47.6960145021065, 600000, 2200000.02}, 0},
      {lambert2, {0.001, 46.8, 45.8989189643427, 47.6960145021065, 600000, 2200000}, 0},
      {lambert93, {3, 46.5, 49, 44, 700000, 6600000}, 1},
      {lambert93, {3, 46.5, 44, 49, 700000, 6600000}, 1},
      {lambert93, {3, 46.5, 44, 49.001, 700000, 6600000}, 0},
      {lambert93, {3, 46.5001, 44, 49, 700000, 6600000}, 0},
  };
  for (const auto& c : cases) {
    cartproj_t* candidate = nullptr;
    ASSERT_TRUE(mif_proj_new(3, nullptr, val(c.existing->datum), c.p, LEN_METRE, &candidate));
    EXPECT_EQ(mif_lcc_equal(c.existing, candidate), c.equal) << c.p[0] << " " << c.p[5];
    if (c.equal && val(c.existing->projtype) == 9) {
      EXPECT_EQ(val(candidate->projtype), 9);
    }
    free_obj(&candidate);
  }
}

TEST_F(MapinfoClauses, ProjectionOfBadValuesIsRefused) {
  geodatum_t* wgs84 = by_code<geodatum_t>(CLS_GEODATUM, 214);
  const double good[5] = {3, 0, 0.9996, 500000, 0};
  const double nan_values[5] = {3, 0, std::nan(""), 500000, 0};
  const struct {
    int type;
    geodatum_t* datum;
    int count;
    const double* p;
  } cases[] = {
      {8, wgs84, 4, good},       {8, wgs84, 6, good},   {8, nullptr, 5, good},
      {8, wgs84, 5, nullptr},    {8, wgs84, 5, nan_values}, {1, wgs84, 0, good},
      {32, wgs84, 5, good},      {11, wgs84, 1, good},  {-3, wgs84, 5, good},
  };
  for (const auto& c : cases) {
    set_gblerr(0);
    cartproj_t* out = reinterpret_cast<cartproj_t*>(wgs84);
    EXPECT_EQ(name_mif_custom_projection(c.type, c.datum, LEN_METRE, c.count, c.p, &out),
              nullptr)
        << c.type << " " << c.count;
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(get_gblerr(), 13);
  }
}

// Datum parts: a MapInfo number when the datum has one, else a custom datum with the
// shift of the tables: translations in metres, rotations in seconds of arc, scale in
// parts per million and the prime meridian in degrees. Rotations are written in the
// coordinate-frame sense of MapInfo: OSGB36's shift, +0.15" +0.247" +0.842" in the
// position-vector sense of the tables, is written -0.15 -0.247 -0.842.
TEST_F(MapinfoClauses, DatumTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {214, "104"},
      {307, "33"},
      {6807, "1002"},
      {6150, "999 10 674.374000000 15.056000000 405.346000000"},
      {6277,
       "9999 9 446.448000000 -125.157000000 542.060000000 -0.15000000000 -0.24700000000 "
       "-0.84200000000 -20.489000000000 0.00000000000"},
      {6810,
       "9999 4 -198.383000000 -240.517000000 -107.909000000 0.00000000000 0.00000000000 "
       "0.00000000000 0.000000000000 2.33722917000"},
  };
  for (const auto& c : cases) {
    geodatum_t* d = by_code<geodatum_t>(CLS_GEODATUM, c.code);
    ASSERT_NE(d, nullptr) << c.code;
    char text[kMifDatumTextSize];
    EXPECT_EQ(mif_datum_text(d, text, sizeof text), 1) << c.code;
    EXPECT_STREQ(text, c.text) << c.code;
    // Read back, the datum part gives the datum itself, or the first datum of the tables
    // with the same shift (CH1903+ shares its three translations with a CH1903).
    const mif_coordsys cs = read_ok(std::string("Earth Projection 1, ") + text);
    if (c.code != 6150) {
      EXPECT_EQ(cs.datum, d) << c.code;
    }
    char again[kMifDatumTextSize];
    EXPECT_EQ(mif_datum_text(cs.datum, again, sizeof again), 1);
    EXPECT_STREQ(again, text) << c.code;
  }
}

// A datum on an ellipsoid without MapInfo number cannot be written: the system is then
// written NonEarth in its unit, and a unit without MapInfo name is refused.
TEST_F(MapinfoClauses, SystemsWithoutMapinfoForm) {
  ellipsoid_t* ell = nullptr;
  int code = 0;
  geo_next_code(CLS_ELLIPSOID, &code);
  ASSERT_TRUE(ellipsoid_create("Unnamed ellipsoid", 6378000, 300, 0, 0, code, &ell));
  geodatum_t* d = nullptr;
  geo_next_code(CLS_GEODATUM, &code);
  ASSERT_TRUE(geodatum_create("Unnamed datum", ell, 1,
                              by_code<pmeridian_t>(CLS_PMERIDIAN, 1), nullptr, code, &d));
  char text[kMifClauseTextSize] = "x";
  EXPECT_EQ(mif_datum_text(d, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(mif_datum_text(nullptr, text, sizeof text), 0);

  cartproj_t* utm = by_code<cartproj_t>(CLS_CARTPROJ, 32631);
  geodatum_t* wgs84 = by_code<geodatum_t>(CLS_GEODATUM, 214);
  const struct {
    geodatum_t* datum;
    const cartproj_t* proj;
    int unit;
    int rc;
    const char* text;
  } cases[] = {
      {d, utm, LEN_METRE, 0, "NonEarth Units \"m\""},
      {d, utm, LEN_US_SURVEY_FOOT, 0, "NonEarth Units \"survey ft\""},
      {wgs84, utm, 7, -1, ""},
      {wgs84, utm, LEN_KILOMETRE, 1,
       "Earth Projection 8, 104, \"km\", 3.000000000 0.000000000 0.999600000 500.0000 "
       "  0.0000"},
      {wgs84, nullptr, LEN_METRE, 1, "Earth Projection 1, 104"},
  };
  for (const auto& c : cases) {
    set_gblerr(0);
    EXPECT_EQ(mif_coordsys_write(c.datum, c.proj, c.unit, text, sizeof text), c.rc);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(get_gblerr(), c.rc < 0 ? 13 : 0);
  }
  char small[12];
  EXPECT_EQ(mif_coordsys_write(wgs84, utm, LEN_METRE, small, sizeof small), -1);
  EXPECT_STREQ(small, "");
}

// Custom datums of clauses: found when the tables hold the shift, made once otherwise,
// with a transformation to WGS 84 and, for an unknown prime meridian, a new meridian.
// The clause's rotations (coordinate frame) are held in the position-vector sense.
TEST_F(MapinfoClauses, CustomDatumsAreFoundOrMadeOnce) {
  const std::string three = "Earth Projection 1, 999, 4, 1.5, 2.5, 3.5";
  const std::string seven =
      "Earth Projection 1, 9999, 4, 1.5, 2.5, 3.5, 0.25, -0.5, 0.75, 1.25, 7.125";
  for (const std::string& text : {three, seven}) {
    const mif_coordsys first = read_ok(text);
    const mif_coordsys second = read_ok(text);
    ASSERT_NE(first.datum, nullptr);
    EXPECT_EQ(first.datum, second.datum) << text;
    EXPECT_STREQ(first.datum->name, "Mapinfo custom datum");
    geodatum_t* ref = by_code<geodatum_t>(CLS_GEODATUM, 214);
    geocentric_t* t = nullptr;
    int direction = 0;
    ASSERT_TRUE(datumtrans_next_between(first.datum, ref, &t, &direction)) << text;
    EXPECT_EQ(direction, 0);
    EXPECT_EQ(val(t->weight), 60);
    EXPECT_DOUBLE_EQ(val(t->tx), 1.5);
    const bool is_seven = text == seven;
    EXPECT_EQ(val(t->trsftype), is_seven ? 9 : 8);
    if (is_seven) {
      EXPECT_NEAR(val(t->epsilonx), -0.25 / 206264.80624709636, 1e-18);
      EXPECT_NEAR(val(t->epsilony), 0.5 / 206264.80624709636, 1e-18);
      EXPECT_NEAR(val(t->epsilonz), -0.75 / 206264.80624709636, 1e-18);
      EXPECT_NEAR(val(t->de), 1.25e-6, 1e-20);
      EXPECT_STREQ(first.datum->meridian0->name, "Custom meridian");
      EXPECT_NEAR(val(first.datum->origlon), 7.125 * 3.14159265358979323846 / 180, 1e-15);
      // Written back with the units it was read in.
      char out[kMifDatumTextSize];
      ASSERT_EQ(mif_datum_text(first.datum, out, sizeof out), 1);
      EXPECT_STREQ(out,
                   "9999 4 1.500000000 2.500000000 3.500000000 0.25000000000 "
                   "-0.50000000000 0.75000000000 1.250000000000 7.12500000000");
    }
  }
  geodatum_t* out = reinterpret_cast<geodatum_t*>(1);
  const double params[10] = {};
  set_gblerr(0);
  EXPECT_EQ(mapinfo_custom_datum(nullptr, nullptr, 3, params, &out), nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(get_gblerr(), 13);
}

TEST_F(MapinfoClauses, UnitNames) {
  const struct {
    const char* name;
    int unit;
  } cases[] = {{"m", 0},  {"ft", 1},         {"nmi", 2}, {"km", 3}, {"y", 5},
               {"survey ft", 6}, {"mi", 19}, {"M", 0},   {"yd", -1}, {"", -1},
               {"survey", -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(mif_unit_of_name(c.name, std::strlen(c.name)), c.unit) << c.name;
    if (c.unit >= 0 && c.name[0] != 'M') {
      EXPECT_STREQ(mif_unit_name(c.unit), c.name);
    }
  }
  EXPECT_EQ(mif_unit_name(7), nullptr);
  EXPECT_EQ(mif_unit_of_name(nullptr, 0), -1);
}

}  // namespace
