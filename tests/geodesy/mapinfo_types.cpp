// MapInfo projection types and the system's kinds: the reading table, the writing table,
// the values a projection is built from and written with (angles in degrees, false
// origins in the clause's unit), and the MapInfo numbers of the drawing styles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "geodesy/mapinfo.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(MapinfoTypes, ReadingTable) {
  const struct {
    int type, count, kind;
  } cases[] = {
      {0, -1, -1},  {1, 0, -1},   {2, 2, 38},   {3, 6, 8},     {7, 6, 30},
      {8, 5, 1},    {10, 1, 7},   {17, 1, 41},  {18, 4, 26},   {19, 6, 28},
      {20, 5, 14},  {25, 4, 5},   {26, 2, 42},  {29, 3, 10},   {31, 5, 16},
      {32, -1, -1}, {-1, -1, -1}, {1000, -1, -1}, {-2147483647 - 1, -1, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mif_proj_param_count(c.type), c.count) << c.type;
    EXPECT_EQ(mif_kind_of_type(c.type), c.kind) << c.type;
  }
  EXPECT_EQ(mif_kind_is_geographic(1), 1);
  EXPECT_EQ(mif_kind_is_geographic(8), 0);
  EXPECT_EQ(mif_kind_is_geographic(1001), 0);
}

TEST(MapinfoTypes, StyleNumbers) {
  const struct {
    int (*fn)(int);
    int index, number;
  } cases[] = {
      {mif_symbol_shape, 0, 31}, {mif_symbol_shape, 5, 36},  {mif_symbol_shape, 6, -1},
      {mif_symbol_shape, -1, -1}, {mif_pen_pattern, 0, 1},   {mif_pen_pattern, 8, 11},
      {mif_pen_pattern, 9, 7},   {mif_pen_pattern, 15, 2},   {mif_pen_pattern, 16, -1},
      {mif_brush_pattern, 4, 19}, {mif_brush_pattern, 7, 45}, {mif_brush_pattern, 15, 1},
      {mif_brush_pattern, 16, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fn(c.index), c.number) << c.index;
}

// The type each kind is written as, on records that are not set up.
TEST(MapinfoTypes, WritingTable) {
  const struct {
    int kind;
    double k0, x0, phio0;
    int type;
    const char* why;
  } cases[] = {
      {1, 0.9996, 500000, 0, 8, "Transverse Mercator"},
      {43, 0.9996, 500000, 0, 8, "Transverse Mercator on the conformal sphere"},
      {5, 1.0, 600000, 0.8, 25, "Swiss oblique Mercator"},
      {5, 0.99993, 650000, 0.8, -1, "a Rosenmund with a scale factor: type 25 has none"},
      {16, 0.9999, 155000, 0.9, 31, "double stereographic"},
      {45, 0.9999, 155000, 0.9, 31, "double stereographic on the conformal sphere"},
      {15, 0.97, 0, -kPi / 2, 20, "polar stereographic: stereographic at the pole"},
      {30, 0.9996, 0, 0.8, 7, "Hotine with its natural origin"},
      {3, 0.9996, 0, 0.8, -1, "Hotine with its origin at the centre of the central line"},
      {4, 1.0, 0, -0.3, -1, "Laborde: no MapInfo type"},
      {44, 0.9999, 0, 0.86, -1, "Krovak: beyond the types read here"},
      {28, 0.0, 150000, kPi / 2, 19, "Belgian Lambert conic"},
      {8, 0.0, 700000, 0.8, 3, "two-parallel Lambert conic"},
      {7, 1.0, 0, 0, 10, "Mercator"},
      {7, 0.9, 0, 0, 26, "Mercator with a scale: the regional Mercator"},
      {7, 0.997, 3900000, 0, -1, "Mercator with a false origin"},
      {7, 1.0, 0, 0.3, -1, "Mercator with its northing origin off the equator"},
      {7, 1.2, 0, 0, -1, "Mercator with a scale above 1: no parallel of true scale"},
      {42, 1.0, 0, 0, 10, "Mercator from the equator"},
      {42, 1.0, 0, 0.5, 26, "Mercator from a latitude of true scale"},
      {17, 1.0, 0, 0, -1, "equirectangular"},
      {36, 1.0, 0, 0, -1, "plate carree"},
      {46, 1.0, 0, 0, -1, "polar stereographic from a latitude of true scale"},
      {47, 1.0, 0, 0, -1, "kind 47"},
  };
  for (const auto& c : cases) {
    cartproj_t rec{};
    rec.projtype = c.kind;
    rec.k0 = c.k0;
    rec.x0 = c.x0;
    rec.phio0 = c.phio0;
    EXPECT_EQ(mif_type_of_proj(&rec), c.type) << c.kind << ": " << c.why;
    char text[kMifParamTextSize] = "x";
    mif_format_params(&rec, text, sizeof text);
    EXPECT_EQ(text[0] == '\0', c.type < 0) << c.kind << ": " << text;
  }
  EXPECT_EQ(mif_type_of_proj(nullptr), 1);
}

class MapinfoValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
    geo_get_ref_datum(&wgs84_);
    ASSERT_NE(wgs84_, nullptr);
  }
  void TearDown() override { set_gblerr(0); }
  geodatum_t* wgs84_ = nullptr;
};

// A projection built from a clause holds radians and metres; its parameter text gives
// the clause's values back, the false origin in the clause's unit.
TEST_F(MapinfoValues, SettersAndFormattersKeepTheClauseUnits) {
  const double us_foot = 0.30480060960121924;
  const struct {
    int type;
    int unit;
    double p[6];
    int kind;
    double lambda0_deg, phio0_deg, k0, x0_m, y0_m;
    const char* text;
  } cases[] = {
      {8, LEN_US_SURVEY_FOOT, {-120.5, 36.5, 0.9999, 6561666.667, 1640416.667}, 1,
       -120.5, 36.5, 0.9999, 6561666.667 * us_foot, 1640416.667 * us_foot,
       "-120.500000000 36.500000000 0.999900000 6561666.6670 1640416.6670"},
      {8, LEN_KILOMETRE, {3, 0, 0.9996, 500, 0}, 1, 3, 0, 0.9996, 500000, 0,
       "3.000000000 0.000000000 0.999600000 500.0000   0.0000"},
      {8, LEN_FOOT, {-110.166666666667, 31, 0.9999, 700000, 0}, 1, -110.166666666667, 31,
       0.9999, 213360, 0, "-110.166666667 31.000000000 0.999900000 700000.0000   0.0000"},
      {31, LEN_METRE, {5.38763888888889, 52.1561605555556, 0.9999079, 155000, 463000}, 16,
       5.38763888888889, 52.1561605555556, 0.9999079, 155000, 463000,
       "5.387638889 52.156160556 0.999907900 155000.0000 463000.0000"},
      {25, LEN_METRE, {7.43958333333333, 46.9524055555556, 600000, 200000}, 5,
       7.43958333333333, 46.9524055555556, 1.0, 600000, 200000,
       "7.439583333 46.952405556 600000.0000 200000.0000"},
      {10, LEN_METRE, {110}, 7, 110, 0, 1.0, 0, 0, "110.000000000"},
      {26, LEN_METRE, {100, -41}, 42, 100, -41, 0.7557992272019596, 0, 0,
       "100.000000000 -41.000000000"},
      {7, LEN_METRE, {-86, 45.3091666666667, 337.25556, 0.9996, 2546731.496, -4354009.816},
       30, -86, 45.3091666666667, 0.9996, 2546731.496, -4354009.816,
       "-86.000000000 45.309166667 337.255560000 0.999600000 2546731.4960 -4354009.8160"},
      {3, LEN_METRE, {3, 46.5, 44, 49, 700000, 6600000}, 8, 3, 46.5, -1, 700000, 6600000,
       "3.000000000 46.500000000 44.000000000 49.000000000 700000.0000 6600000.0000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    cartproj_t* p = nullptr;
    ASSERT_NE(mif_proj_new(c.type, nullptr, wgs84_, c.p, c.unit, &p), nullptr);
    EXPECT_EQ(val(p->projtype), c.kind);
    EXPECT_EQ(val(p->unit), c.unit);
    EXPECT_NEAR(val(p->lambda0), c.lambda0_deg * kPi / 180, 1e-15);
    EXPECT_NEAR(val(p->phio0), c.phio0_deg * kPi / 180, 1e-15);
    if (c.k0 >= 0) {
      EXPECT_NEAR(val(p->k0), c.k0, 1e-15);
    }
    EXPECT_NEAR(val(p->x0), c.x0_m, 1e-6);
    EXPECT_NEAR(val(p->y0), c.y0_m, 1e-6);
    char text[kMifParamTextSize];
    EXPECT_STREQ(mif_format_params(p, text, sizeof text), c.text);
    free_obj(&p);
  }
}

// A two-parallel clause gives the cone's scale at its origin latitude, which is what a
// one-parallel cone of the tables holds.
TEST_F(MapinfoValues, TwoParallelClauseComputesTheOriginScale) {
  const double p[6] = {0, 46.8, 45.8989189643427, 47.6960145021065, 600000, 2200000};
  geodatum_t* ntf = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_GEODATUM, 6807, &ntf));
  cartproj_t* cone = nullptr;
  ASSERT_TRUE(mif_proj_new(3, nullptr, ntf, p, LEN_METRE, &cone));
  EXPECT_NEAR(val(cone->k0), 0.99987742, 1e-8);
  free_obj(&cone);
}

// Writing converts on a copy: the projection written keeps its fields bit for bit.
TEST_F(MapinfoValues, WritingLeavesTheProjectionAlone) {
  for (int code : {3078, 27572, 31300, 2227, 3994}) {
    cartproj_t* p = nullptr;
    ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, code, &p)) << code;
    cartproj_t before;
    std::memcpy(&before, p, sizeof before);
    char text[kMifParamTextSize];
    mif_format_params_in(p, LEN_FOOT, text, sizeof text);
    EXPECT_NE(text[0], '\0') << code;
    EXPECT_EQ(std::memcmp(&before, p, sizeof before), 0) << code;
  }
}

// MapInfo's stereographic at a pole takes the scale factor at the pole: a polar
// stereographic from a latitude of true scale is written with the scale that latitude
// gives (Snyder's k0 = mc sqrt((1 + e)^(1 + e) (1 - e)^(1 - e)) / (2 tc)).
TEST_F(MapinfoValues, PolarStereographicIsWrittenWithItsScaleAtThePole) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {3031, "0.000000000 -90.000000000 0.972769013   0.0000   0.0000"},
      {3413, "-45.000000000 90.000000000 0.969858190   0.0000   0.0000"},
      {5041, "0.000000000 90.000000000 0.994000000 2000000.0000 2000000.0000"},
  };
  for (const auto& c : cases) {
    cartproj_t* p = nullptr;
    ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, c.code, &p)) << c.code;
    EXPECT_EQ(mif_type_of_proj(p), 20) << c.code;
    char text[kMifParamTextSize];
    EXPECT_STREQ(mif_format_params(p, text, sizeof text), c.text) << c.code;
  }
}

// A buffer too small for the text gets an empty text, never a cut parameter list.
TEST_F(MapinfoValues, SmallBufferGetsNoCutText) {
  cartproj_t* p = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, 32631, &p));
  char text[20];
  EXPECT_STREQ(mif_format_params(p, text, sizeof text), "");
  char full[kMifParamTextSize];
  EXPECT_STREQ(mif_format_params(p, full, sizeof full),
               "3.000000000 0.000000000 0.999600000 500000.0000   0.0000");
}

}  // namespace
