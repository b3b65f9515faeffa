// The projection formulas where they used to break: systems whose area crosses the
// antimeridian, a datum shift that carries a point across it, Transverse Mercator points
// up to 15 degrees from the central meridian, the inverses at a pole, the Lambert conics
// with a polar origin at their apex's northing, the oblique Mercators 1 km from a pole,
// and points outside a projection's domain (no number where PROJ gives none); against PROJ
// (tests/fixtures/geodesy/proj_edge_cases.csv, written by
// scripts/geodesy/make_proj_edge_cases.py) and, kind by kind, against the formulas
// themselves a turn away.
//
// Tolerances: 1 mm on the grid (in metres, whatever the system's unit) and 1e-9 degrees on
// longitudes and latitudes (about 0.1 mm), the longitude compared as it comes back:
// inverse results lie in [-180, 180].
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/projection_math.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGridTolerance = 0.001;  // metres
constexpr double kAngleTolerance = 1e-9;  // degrees

struct edge_row {
  std::string what;  // proj, inv, chain, chain_inv, out or out_inv
  int code = 0;
  double lon = 0, lat = 0, e = 0, n = 0;
};

std::vector<edge_row> read_rows() {
  std::vector<edge_row> rows;
  for (const std::vector<std::string>& f :
       tm_test::read_csv_fields(TM_FIXTURE_DIR "/geodesy/proj_edge_cases.csv", 6, "what,")) {
    edge_row r;
    r.what = f[0];
    r.code = std::atoi(f[1].c_str());
    // Fields through strtod, which also reads PROJ's "inf".
    double* values[] = {&r.lon, &r.lat, &r.e, &r.n};
    for (int i = 0; i < 4; ++i) *values[i] = std::strtod(f[size_t(i) + 2].c_str(), nullptr);
    rows.push_back(r);
  }
  return rows;
}

cartproj_t* system_of(int code) { return tm_test::epsg_projection(code); }

// Runs the conversion steps from one datum (and projection) to another.
void convert(geodatum_t* ds, geodatum_t* dt, cartproj_t* ps, cartproj_t* pt, double* x,
             double* y) {
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int n = 0;
  ASSERT_EQ(georef_chain_build(ds, dt, ps, pt, kinds, steps, &n), 0);
  double z = 0.0;
  for (int i = 0; i < n; ++i) xform_forward(steps[i], kinds[i], x, y, &z);
}

void forward(const edge_row& r, cartproj_t* proj, double* x, double* y) {
  *x = r.lon;
  *y = r.lat;
  if (r.what == "chain")
    convert(geo_get_ref_datum(nullptr), proj->datum, nullptr, proj, x, y);
  else
    proj_forward(proj, x, y);
}

void inverse(const edge_row& r, cartproj_t* proj, double* lon, double* lat) {
  *lon = r.e;
  *lat = r.n;
  if (r.what == "chain_inv")
    convert(proj->datum, geo_get_ref_datum(nullptr), proj, nullptr, lon, lat);
  else
    proj_inverse(proj, lon, lat);
}

// Distance on the grid in metres between two points in the system's linear unit.
double grid_metres(const cartproj_t* proj, double x1, double y1, double x2, double y2) {
  double dx = x1 - x2, dy = y1 - y2;
  length_unit_scale(proj->unit, 0, &dx, &dy);
  return std::hypot(dx, dy);
}

class ProjEdgeCases : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }
};

TEST_F(ProjEdgeCases, AgreeWithProjBothWays) {
  const std::vector<edge_row> rows = read_rows();
  ASSERT_GT(rows.size(), 500u);
  double worst_grid = 0, worst_angle = 0;
  for (const edge_row& r : rows) {
    SCOPED_TRACE(r.what + " EPSG " + std::to_string(r.code) + " at (" + std::to_string(r.lon) +
                 ", " + std::to_string(r.lat) + ")");
    cartproj_t* proj = system_of(r.code);
    ASSERT_TRUE(proj);
    if (r.what == "out" || r.what == "out_inv") continue;  // AreNoNumberWherePROJGivesNone
    if (r.what == "proj" || r.what == "chain") {
      double x = 0, y = 0;
      forward(r, proj, &x, &y);
      const double d = grid_metres(proj, x, y, r.e, r.n);
      EXPECT_LE(d, kGridTolerance)
          << "forward gives (" << x << ", " << y << ") for (" << r.e << ", " << r.n << ")";
      worst_grid = std::max(worst_grid, d);
    }
    if (r.what == "chain") continue;
    double lon = 0, lat = 0;
    inverse(r, proj, &lon, &lat);
    EXPECT_NEAR(lat, r.lat, kAngleTolerance);
    worst_angle = std::max(worst_angle, std::fabs(lat - r.lat));
    if (std::fabs(std::fabs(r.lat) - 90.0) > 1e-9) {  // a pole has no longitude
      EXPECT_NEAR(lon, r.lon, kAngleTolerance);
      worst_angle = std::max(worst_angle, std::fabs(lon - r.lon));
    }
  }
  std::printf("%zu points: forward within %.3g m, inverse within %.3g degrees\n", rows.size(),
              worst_grid, worst_angle);
}

// Outside a projection's domain PROJ gives no number (Transverse Mercator near the
// equator a quarter turn from its meridian, latitudes beyond the poles, the New Zealand
// map grid far outside): the formulas give NaN, never a finite point.
TEST_F(ProjEdgeCases, AreNoNumberWhereProjGivesNone) {
  int outside = 0;
  for (const edge_row& r : read_rows()) {
    if (r.what != "out" && r.what != "out_inv") continue;
    SCOPED_TRACE(r.what + " EPSG " + std::to_string(r.code) + " at (" + std::to_string(r.lon) +
                 ", " + std::to_string(r.lat) + ", " + std::to_string(r.e) + ", " +
                 std::to_string(r.n) + ")");
    cartproj_t* proj = system_of(r.code);
    ASSERT_TRUE(proj);
    double x = r.what == "out" ? r.lon : r.e, y = r.what == "out" ? r.lat : r.n;
    if (r.what == "out") {
      ASSERT_FALSE(std::isfinite(r.e) && std::isfinite(r.n));
      proj_forward(proj, &x, &y);
    } else {
      ASSERT_FALSE(std::isfinite(r.lon) && std::isfinite(r.lat));
      proj_inverse(proj, &x, &y);
    }
    EXPECT_TRUE(std::isnan(x) && std::isnan(y)) << "gives (" << x << ", " << y << ")";
    EXPECT_EQ(get_gblerr(), 0);
    ++outside;
  }
  EXPECT_GE(outside, 15);
}

// A Lambert conic's inverse at its apex's northing: only the apex itself (the radius
// zero) is the pole; points east and west of it come back on their parallel (EPSG 3852,
// a polar origin: PROJ gives (-110.9977, -81.2195) for (1500000, 0)). A NaN easting gives
// NaN, not the pole. (Every polar-origin conic of the tables is inverted at its apex's
// northing against PROJ in AgreeWithProjBothWays.)
TEST_F(ProjEdgeCases, LambertInverseAtTheApexNorthing) {
  cartproj_t* dglc = system_of(3852);
  ASSERT_TRUE(dglc);
  double x = 1500000.0, y = 0.0;
  proj_inverse(dglc, &x, &y);
  EXPECT_NEAR(x, -110.9977, 1e-4);
  EXPECT_NEAR(y, -81.2195, 1e-4);
  x = 500000.0;  // the apex: (x0, r0)
  y = 0.0;
  proj_inverse(dglc, &x, &y);
  EXPECT_DOUBLE_EQ(y, -90.0);
  x = std::numeric_limits<double>::quiet_NaN();
  y = 0.0;
  proj_inverse(dglc, &x, &y);
  EXPECT_TRUE(std::isnan(x));
  EXPECT_TRUE(std::isnan(y));
}

// Longitude 180 stays in zone 60 and comes back as 180, not -180.
TEST_F(ProjEdgeCases, TheClosingMeridianOfUtmZone60) {
  cartproj_t* zone60 = system_of(32660);
  ASSERT_TRUE(zone60);
  double x = 180.0, y = 10.0;
  proj_forward(zone60, &x, &y);
  EXPECT_GT(x, 500000.0 + 300000.0);
  proj_inverse(zone60, &x, &y);
  EXPECT_NEAR(x, 180.0, kAngleTolerance);
  EXPECT_NEAR(y, 10.0, kAngleTolerance);
}

TEST(ProjLongitudeWrap, IntoOneTurnAboutZero) {
  const struct {
    double in, out;
  } cases[] = {
      {0.0, 0.0},
      {1.0, 1.0},
      {kPi, kPi},                        // 180 stays 180
      {-kPi, -kPi},                      // -180 stays -180
      {kPi + 1e-13, kPi + 1e-13},        // rounding of a sum keeps its side
      {-kPi - 1e-13, -kPi - 1e-13},
      {1.5 * kPi, -0.5 * kPi},
      {-1.5 * kPi, 0.5 * kPi},
      {2.0 * kPi + 0.25, 0.25},
      {-6.5 * kPi, -0.5 * kPi},
      {kPi + 1e-9, -kPi + 1e-9},
  };
  for (const auto& c : cases) EXPECT_NEAR(proj_wrap_longitude(c.in), c.out, 1e-14) << c.in;
  EXPECT_TRUE(std::isnan(proj_wrap_longitude(std::numeric_limits<double>::quiet_NaN())));
}

TEST(ProjLongitudeWrap, ClampedArcsine) {
  EXPECT_EQ(proj_asin(1.0 + 1e-15), kPi / 2);
  EXPECT_EQ(proj_asin(-1.0 - 1e-15), -kPi / 2);
  EXPECT_EQ(proj_asin(0.5), std::asin(0.5));
  EXPECT_TRUE(std::isnan(proj_asin(std::numeric_limits<double>::quiet_NaN())));
}

// Every kind that forms a longitude difference, with its origin 2 degrees west of the
// antimeridian: a point 4 degrees east of the origin, given west of 180 or a turn away,
// has one image, and comes back as the longitude west of 180.
class ProjAcross180 : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::fresh_geodesy_store();
    pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
    ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, LEN_METRE, 34, &ell);
    geodatum_create("WGS 84", ell, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &wgs84);
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override { set_gblerr(0); }

  pmeridian_t* greenwich = nullptr;
  ellipsoid_t* ell = nullptr;
  geodatum_t* wgs84 = nullptr;
};

TEST_F(ProjAcross180, EveryKindTakesTheShortWayRound) {
  struct kind_case {
    int kind;
    double p[8];
    double lat;  // of the test point
  };
  const kind_case cases[] = {
      {PK_TM, {178, 0, 0.9996, 500000, 10000000, 0, 0, 0}, -17},
      {PK_MERCATOR, {178, 0, 1, 0, 0, 0, 0, 0}, 10},
      {PK_MERCATOR_TS, {178, -41, 1, 0, 0, 0, 0, 0}, -44},
      {PK_LCC2, {178, -41, 1, 3000000, 7000000, -37.5, -44.5, 0}, -44},
      {PK_LCC1, {178, 51, 0.9999, 1000000, 0, 0, 0, 0}, 52},
      {PK_LCC_BELGIAN, {178, 90, 1, 150000, 5400088, 49.83, 51.17, 0}, 51},
      {PK_POLAR, {178, 90, 0.994, 2000000, 2000000, 0, 0, 0}, 75},
      {PK_POLAR_TS, {178, -90, 1, 0, 0, -71, 0, 0}, -75},
      {PK_EQUIRECT, {178, 30, 1, 0, 0, 0, 0, 0}, 20},
      {PK_PLATE_CARREE, {178, 0, 1, 0, 0, 0, 0, 0}, 20},
      {PK_OBLIQUE_STEREO, {178, -40, 0.9999, 400000, 800000, 0, 0, 0}, -42},
      {PK_SPHERE_STEREO, {178, -40, 0.9999, 400000, 800000, 0, 0, 0}, -42},
      {PK_ROSENMUND, {178, -40, 1, 600000, 200000, 0, 0, 0}, -42},
      {PK_SPHERE_TM, {178, -40, 1, 160000, 50000, 0, 0, 0}, -42},
      {PK_LABORDE, {178, -40, 0.9995, 400000, 800000, 18.9, 0, 0}, -42},
      {PK_HOTINE, {178, -40, 0.9996, 0, 0, 60, 0, 0}, -42},
      {PK_HOTINE_GRID, {178, -40, 0.9996, 0, 0, 60, 58, 0}, -42},
      {PK_OBLIQUE_CONIC, {178, 49.5, 0.9999, 0, 0, 30.29, 78.5, 0}, 50},
      {PK_NZMG, {178, -41, 1, 2510000, 6023150, 0, 0, 0}, -42},
  };
  int code = 1000;
  for (const kind_case& c : cases) {
    SCOPED_TRACE(c.kind);
    cartproj_t* p = nullptr;
    proj_create("across 180", c.kind, c.p, LEN_METRE, ANG_DEGREE, wgs84, ++code, &p);
    ASSERT_TRUE(p) << "gblerr " << get_gblerr();
    const double west = c.p[0] + 4.0 - 360.0;  // -178
    double x1 = west, y1 = c.lat, x2 = west + 360.0, y2 = c.lat;
    proj_forward(p, &x1, &y1);
    proj_forward(p, &x2, &y2);
    ASSERT_TRUE(std::isfinite(x1) && std::isfinite(y1));
    EXPECT_NEAR(x1, x2, 1e-6);
    EXPECT_NEAR(y1, y2, 1e-6);
    // Nearer the origin than the far side of the earth.
    double ox = c.p[0], oy = c.lat;
    proj_forward(p, &ox, &oy);
    EXPECT_LT(std::hypot(x1 - ox, y1 - oy), 2e6);
    proj_inverse(p, &x1, &y1);
    EXPECT_NEAR(x1, west, 1e-8);
    EXPECT_NEAR(y1, c.lat, 1e-8);
  }
}

// The inverse of the kinds on the conformal sphere at the image of a pole gives the pole,
// never a NaN from an arcsine of a value rounded past 1.
TEST_F(ProjAcross180, PolesComeBackFromTheSphereKinds) {
  struct kind_case {
    int kind;
    double p[8];
  };
  const kind_case cases[] = {
      {PK_OBLIQUE_STEREO, {-63, 47.25, 0.999912, 400000, 800000, 0, 0, 0}},
      {PK_SPHERE_STEREO, {25, 46, 0.99975, 500000, 500000, 0, 0, 0}},
      {PK_ROSENMUND, {7.44, 46.95, 1, 2600000, 1200000, 0, 0, 0}},
      {PK_OBLIQUE_CONIC, {24.83, 49.5, 0.9999, 0, 0, 30.29, 78.5, 0}},
      {PK_HOTINE, {-86, 45.3, 0.9996, 2546731, -4354009, 337.25, 0, 0}},
      {PK_TM, {3, 0, 0.9996, 500000, 0, 0, 0, 0}},
  };
  int code = 2000;
  for (const kind_case& c : cases) {
    SCOPED_TRACE(c.kind);
    cartproj_t* p = nullptr;
    proj_create("pole", c.kind, c.p, LEN_METRE, ANG_DEGREE, wgs84, ++code, &p);
    ASSERT_TRUE(p);
    double x = c.p[0], y = 90.0;
    proj_forward(p, &x, &y);
    ASSERT_TRUE(std::isfinite(x) && std::isfinite(y));
    proj_inverse(p, &x, &y);
    EXPECT_NEAR(y, 90.0, 1e-8);
    EXPECT_TRUE(std::isfinite(x));
  }
}

// The Transverse Mercator's own edges: the pole lies on the central meridian, the equator
// a quarter turn away has no image (NaN in both coordinates, as beyond the series' bound),
// and the far side of the sphere maps back finite.
TEST_F(ProjAcross180, TransverseMercatorEdges) {
  const double utm[8] = {3, 0, 0.9996, 500000, 0, 0, 0, 0};
  cartproj_t* p = nullptr;
  proj_create("utm", PK_TM, utm, LEN_METRE, ANG_DEGREE, wgs84, 3001, &p);
  ASSERT_TRUE(p);
  const double kNone = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double lon, lat;
    double x, y;  // NaN: no image, NaN expected in both
  } cases[] = {
      {3, 90, 500000, 0.9996 * 10001965.729},          // the pole: quarter meridian
      {40, 90, 500000, 0.9996 * 10001965.729},         // whatever its longitude
      {93, 0, kNone, kNone},
      {-87, 0, kNone, kNone},
      {93, 1e-9, kNone, kNone},
  };
  for (const auto& c : cases) {
    double x = c.lon, y = c.lat;
    proj_forward(p, &x, &y);
    if (std::isnan(c.x)) {
      EXPECT_TRUE(std::isnan(x) && std::isnan(y)) << c.lon << ": (" << x << ", " << y << ")";
      continue;
    }
    EXPECT_NEAR(x, c.x, 1e-6) << c.lon;
    EXPECT_NEAR(y, c.y, 0.001) << c.lon;
  }
  // 120 degrees from the central meridian: the formulas stay finite and invertible.
  double x = 123.0, y = 30.0;
  proj_forward(p, &x, &y);
  ASSERT_TRUE(std::isfinite(x) && std::isfinite(y));
  proj_inverse(p, &x, &y);
  EXPECT_NEAR(x, 123.0, 1e-8);
  EXPECT_NEAR(y, 30.0, 1e-8);
}

}  // namespace
