// Points with an infinite or NaN coordinate: no number in either coordinate, in every
// projection of the tables and every kind outside them, forward and inverse, point by point,
// as a run and as a step of a chain; the one exception is the point at infinity the forward
// gives a pole of the earth (the Mercator's poles, the far pole of a cone or of a polar
// stereographic), which the inverse takes back to its pole. And the oblique Mercator's
// inverse, which now checks its answer by going forward, still takes a grid point whole
// turns along the central line to the same place.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

struct point {
  double x, y;
};

// Points with an infinite or NaN coordinate around a point (x, y) of the system.
std::vector<point> not_finite_around(double x, double y) {
  return {{kInf, y}, {-kInf, y}, {x, kInf}, {x, -kInf}, {kNaN, y}, {x, kNaN}, {kInf, -kInf},
          {-kInf, kNaN}};
}

bool no_number(double x, double y) { return std::isnan(x) && std::isnan(y); }

// Every way a point goes through the projection: forward and inverse alone, as a run of
// (x, y) pairs, and as a step of a chain (kinds 13 to 22 forward, 23 to 32 backwards).
void expect_no_number(const cartproj_t* p) {
  double lon = p->lambda0 + 0.01, lat = p->phio0 * 0.5;
  angle_unit_scale(p->geodatum->unit, 1, &lon, &lat);
  double e = p->x0 + 1234.5, n = p->y0 + 678.25;  // off the false origin: no pole's image
  length_unit_scale(p->unit, 1, &e, &n);
  obj_t* step = const_cast<cartproj_t*>(p);
  const int kind = p->trsftype;
  for (bool fwd : {true, false}) {
    const std::vector<point> points = fwd ? not_finite_around(lon, lat) : not_finite_around(e, n);
    std::vector<double> run;
    for (const point& q : points) {
      SCOPED_TRACE(std::string(fwd ? "forward (" : "inverse (") + std::to_string(q.x) + ", " +
                   std::to_string(q.y) + ")");
      double x = q.x, y = q.y;
      (fwd ? proj_forward : proj_inverse)(p, &x, &y);
      EXPECT_TRUE(no_number(x, y)) << "gives (" << x << ", " << y << ")";
      double cx = q.x, cy = q.y, cz = 0.0;
      xform_forward(step, fwd ? kind : kind + XK_INVERSE_OFFSET, &cx, &cy, &cz);
      EXPECT_TRUE(no_number(cx, cy)) << "as a step: (" << cx << ", " << cy << ")";
      cx = q.x, cy = q.y;
      xform_inverse(step, fwd ? kind + XK_INVERSE_OFFSET : kind, &cx, &cy, &cz);
      EXPECT_TRUE(no_number(cx, cy)) << "as a step backwards: (" << cx << ", " << cy << ")";
      run.insert(run.end(), {q.x, q.y});
    }
    if (!fwd) continue;
    proj_forward_points(p, &run[0], &run[1], int(points.size()), 2);
    for (size_t i = 0; i < points.size(); ++i)
      EXPECT_TRUE(no_number(run[2 * i], run[2 * i + 1]))
          << "run point " << i << ": (" << run[2 * i] << ", " << run[2 * i + 1] << ")";
  }
}

class NotFinitePoints : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }
};

TEST_F(NotFinitePoints, NoNumberInAnySystemOfTheTables) {
  std::ifstream in(TM_SOURCE_DIR "/data/cartproj.txt");
  int systems = 0;
  for (std::string line; std::getline(in, line);) {
    obj_t* o = nullptr;
    geo_find_by_code(CLS_CARTPROJ, std::atoi(line.c_str()), &o);
    const cartproj_t* p = static_cast<const cartproj_t*>(o);
    if (!p || !p->geodatum) continue;
    SCOPED_TRACE("EPSG " + std::to_string(val(p->code)) + " kind " +
                 std::to_string(val(p->projtype)));
    expect_no_number(p);
    ++systems;
    if (HasFailure()) break;  // one system's report is enough
  }
  EXPECT_GT(systems, 4000);
}

// The kinds no system of the tables has, on WGS 84 in degrees (a store of their own).
TEST_F(NotFinitePoints, NoNumberInTheKindsOutsideTheTables) {
  tm_test::fresh_geodesy_store();
  pmeridian_t* greenwich = nullptr;
  pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
  ellipsoid_t* ell = nullptr;
  ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, LEN_METRE, 34, &ell);
  geodatum_t* wgs84 = nullptr;
  geodatum_create("WGS 84", ell, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &wgs84);
  struct kind_case {
    int kind;
    double p[8];
  };
  const kind_case cases[] = {
      {PK_EQUIRECT, {0, 30, 1, 0, 0, 0, 0, 0}},
      {PK_PLATE_CARREE, {10, 0, 1, 0, 0, 0, 0, 0}},
      {PK_SPHERE_TM, {55.53, -21.12, 1, 160000, 50000, 0, 0, 0}},
      {PK_OBLIQUE_CONIC, {24.83, 49.5, 0.9999, 0, 0, 30.29, 78.5, 0}},
      {PK_SPHERE_STEREO, {25, 46, 0.99975, 500000, 500000, 0, 0, 0}},
  };
  ASSERT_TRUE(wgs84);
  int code = 1000;
  for (const kind_case& c : cases) {
    SCOPED_TRACE("kind " + std::to_string(c.kind));
    cartproj_t* p = nullptr;
    proj_create("not finite test", c.kind, c.p, LEN_METRE, ANG_DEGREE, wgs84, ++code, &p);
    ASSERT_TRUE(p);
    expect_no_number(p);
  }
}

// The forward gives a pole of the earth an infinite coordinate where the pole lies at
// infinity; that very point goes back to the pole, any other infinite one has no number.
TEST_F(NotFinitePoints, PolesAtInfinityGoBackToTheirPole) {
  struct pole_case {
    int code;
    double lat;         // the pole at infinity, degrees
    bool other_finite;  // the other pole has a finite image (not the Mercator's)
  };
  const pole_case cases[] = {
      {3395, 90, false}, {3395, -90, false}, {2154, -90, true},
      {3031, 90, true},  {5041, -90, true},
  };
  for (const pole_case& c : cases) {
    SCOPED_TRACE("EPSG " + std::to_string(c.code) + " pole " + std::to_string(c.lat));
    const cartproj_t* p = tm_test::epsg_projection(c.code);
    ASSERT_TRUE(p);
    double x = 10.0, y = c.lat;
    proj_forward(p, &x, &y);
    ASSERT_TRUE(std::isfinite(x) && std::isinf(y)) << x << " " << y;
    const double ex = x, ey = y;
    proj_inverse(p, &x, &y);
    EXPECT_EQ(y, c.lat);
    EXPECT_TRUE(std::isfinite(x));
    for (const point& q : {point{ex + 1.0, ey}, point{ex, -ey}, point{kInf, ey}}) {
      if (q.y != ey && !c.other_finite) continue;
      x = q.x;
      y = q.y;
      proj_inverse(p, &x, &y);
      EXPECT_TRUE(no_number(x, y)) << "(" << q.x << ", " << q.y << ") gives (" << x << ", " << y
                                   << ")";
    }
  }
}

// Hotine: the sphere is the same after a whole turn along the central line, so a grid point
// moved by its circumference along the line comes to the same place (PROJ does the same);
// across the line, a grid point no arithmetic resolves has no number.
TEST_F(NotFinitePoints, ObliqueMercatorInverseGoesRoundTheCentralLine) {
  for (int code : {3078, 2057, 29873}) {
    SCOPED_TRACE("EPSG " + std::to_string(code));
    const cartproj_t* p = tm_test::epsg_projection(code);
    ASSERT_TRUE(p);
    ASSERT_EQ(val(p->unit), LEN_METRE);
    double lon = p->lambda0 + 0.02, lat = p->phio0 + 0.01;
    angle_unit_scale(p->geodatum->unit, 1, &lon, &lat);
    double e = lon, n = lat;
    proj_forward(p, &e, &n);
    ASSERT_TRUE(std::isfinite(e) && std::isfinite(n));
    const double turn = 2.0 * kPi * p->r0;
    for (int turns : {1, -1, 2}) {
      double x = e + turns * turn * std::sin(p->coeff2), y = n + turns * turn * std::cos(p->coeff2);
      proj_inverse(p, &x, &y);
      EXPECT_NEAR(x, lon, 1e-7) << turns;
      EXPECT_NEAR(y, lat, 1e-7) << turns;
    }
    for (const point& q : {point{1e300, 1e300}, point{-1e300, 1e300}, point{1e300, 0.0}}) {
      double x = q.x, y = q.y;
      proj_inverse(p, &x, &y);
      EXPECT_TRUE(no_number(x, y)) << "(" << q.x << ", " << q.y << ") gives (" << x << ", " << y
                                   << ")";
    }
  }
}

}  // namespace
