// The projection formulas against PROJ: every projection kind, on a grid of points inside
// its system's area, forward and inverse, against the points PROJ computed for the same
// system (tests/fixtures/geodesy/projection_cases.txt, written by make_projection_cases.py
// beside it).
//
// Systems named by an EPSG code are taken from the system's own tables (data/), so the
// tables' parameters are checked with the formulas; the others are built from the
// parameters of a table line on an ellipsoid of their own.
//
// Tolerances, on the ground, for forward (easting and northing) and inverse (the point
// PROJ projected, brought back, compared with the original in metres along the meridian
// and the parallel):
//   mm     1 mm: the closed-form projections (conics, stereographics, Mercators,
//          oblique Mercators, Krovak, the map grid polynomial, the equirectangular on a
//          sphere).
//   tm     1 mm as well: the Transverse Mercator by Krueger's series in n, which holds
//          to nanometres across every zone (tests/geodesy/projection_edge_cases.cpp
//          takes it to 15 degrees from the central meridian).
//   labrd  Laborde: 1 mm + 3 cm x (dlon / 4.5 deg)^6. The system uses the closed form of
//          the method; PROJ sums its transverse Mercator as a series in dlon up to the
//          fifth power, which parts from the closed form with the sixth power of dlon.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct proj_point {
  double lon, lat, e, n;
};

struct proj_case {
  std::string name;
  std::string rule;
  int epsg = 0;
  // params cases
  int kind = 0;
  double a = 0, invf = 0;
  int unit = 1;
  double p[8] = {};
  std::vector<proj_point> points;
};

std::vector<proj_case> read_cases() {
  std::vector<proj_case> cases;
  std::ifstream in(TM_FIXTURE_DIR "/geodesy/projection_cases.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string tag;
    s >> tag;
    if (tag == "case") {
      proj_case c;
      std::string source;
      s >> c.name >> c.rule >> source;
      if (source == "epsg") {
        s >> c.epsg;
      } else {
        s >> c.kind >> c.a >> c.invf >> c.unit;
        for (double& v : c.p) s >> v;
      }
      cases.push_back(c);
    } else if (tag == "pt" && !cases.empty()) {
      proj_point q;
      s >> q.lon >> q.lat >> q.e >> q.n;
      cases.back().points.push_back(q);
    }
  }
  return cases;
}

// A projection of the case: from the tables, or built on an ellipsoid and datum of its
// own (Greenwich meridian, the case's angular unit; 1/f = 0 is a sphere of radius a).
cartproj_t* projection_of(const proj_case& c) {
  cartproj_t* proj = nullptr;
  if (c.epsg) {
    geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_EPSG, std::to_string(c.epsg).c_str(), &proj);
    return proj;
  }
  pmeridian_t* greenwich = nullptr;
  geo_find_by_code(CLS_PMERIDIAN, 1, &greenwich);
  ellipsoid_t* ell = nullptr;
  int code = 0;
  const double b = c.invf == 0.0 ? c.a : 0.0;
  ellipsoid_create(("ellipsoid of " + c.name).c_str(), c.a, c.invf, b, LEN_METRE,
                   geo_next_code(CLS_ELLIPSOID, &code), &ell);
  geodatum_t* datum = nullptr;
  geodatum_create(("datum of " + c.name).c_str(), ell, c.unit, greenwich, nullptr,
                  geo_next_code(CLS_GEODATUM, &code), &datum);
  proj_create(c.name.c_str(), c.kind, c.p, LEN_METRE, c.unit, datum,
              geo_next_code(CLS_CARTPROJ, &code), &proj);
  return proj;
}

// The longitude difference from the central meridian, degrees.
double degrees_from_meridian(const cartproj_t* proj, double lon) {
  double lam = lon, scratch = 0;
  angle_unit_scale(proj->geodatum->unit, 0, &lam, &scratch);
  return std::fabs(lam - proj->lambda0) * 180.0 / kPi;
}

double tolerance(const std::string& rule, const cartproj_t* proj, double lon) {
  const double dlon = degrees_from_meridian(proj, lon);
  if (rule == "labrd") return 0.001 + 0.03 * std::pow(dlon / 4.5, 6);
  return 0.001;
}

// Ground distance (metres) between two geographic points in the datum's unit: the
// differences along the meridian and along the parallel on a sphere of the datum's a.
double ground_distance(const cartproj_t* proj, double lon1, double lat1, double lon2,
                       double lat2) {
  const int unit = proj->geodatum->unit;
  angle_unit_scale(unit, 0, &lon1, &lat1);
  angle_unit_scale(unit, 0, &lon2, &lat2);
  const double a = proj->geodatum->ellip->a;
  double dlon = std::remainder(lon1 - lon2, 2 * kPi);
  // Longitude means nothing at a pole.
  if (std::fabs(std::fabs(lat2) - kPi / 2) < 1e-12) dlon = 0;
  return a * std::hypot(lat1 - lat2, dlon * std::cos(lat2));
}

class ProjCases : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  // The cases add ellipsoids, datums and projections of their own to the tables, which
  // the next test must not find: the tables are loaded afresh after each test.
  void TearDown() override { tm_test::fresh_geodesy_store(); }
};

TEST_F(ProjCases, EveryKindAgreesWithProjForwardAndInverse) {
  const std::vector<proj_case> cases = read_cases();
  ASSERT_FALSE(cases.empty());
  for (const proj_case& c : cases) {
    SCOPED_TRACE(c.name);
    cartproj_t* proj = projection_of(c);
    ASSERT_TRUE(proj) << "gblerr " << get_gblerr();
    ASSERT_FALSE(c.points.empty());
    double worst_fwd = 0, worst_inv = 0;
    for (const proj_point& q : c.points) {
      const double tol = tolerance(c.rule, proj, q.lon);
      double x = q.lon, y = q.lat;
      proj_forward(proj, &x, &y);
      const double fwd = std::hypot(x - q.e, y - q.n);
      EXPECT_LE(fwd, tol) << "forward (" << q.lon << ", " << q.lat << ") gives (" << x << ", "
                          << y << ") for (" << q.e << ", " << q.n << ")";
      double lon = q.e, lat = q.n;
      proj_inverse(proj, &lon, &lat);
      const double inv = ground_distance(proj, lon, lat, q.lon, q.lat);
      EXPECT_LE(inv, tol) << "inverse (" << q.e << ", " << q.n << ") gives (" << lon << ", "
                          << lat << ") for (" << q.lon << ", " << q.lat << ")";
      worst_fwd = std::max(worst_fwd, fwd);
      worst_inv = std::max(worst_inv, inv);
    }
    std::printf("%-18s %-5s forward %.3g m  inverse %.3g m\n", c.name.c_str(), c.rule.c_str(),
                worst_fwd, worst_inv);
  }
}

// Forward then inverse gives the point back to 1e-9 rad (about 6 mm) on both sides of the
// central meridian, for northern and southern cones and both polar cases.
TEST_F(ProjCases, ForwardThenInverseReturnsThePoint) {
  for (const proj_case& c : read_cases()) {
    SCOPED_TRACE(c.name);
    cartproj_t* proj = projection_of(c);
    ASSERT_TRUE(proj);
    for (const proj_point& q : c.points) {
      double x = q.lon, y = q.lat;
      proj_forward(proj, &x, &y);
      proj_inverse(proj, &x, &y);
      double dx = x - q.lon, dy = y - q.lat;
      angle_unit_scale(proj->geodatum->unit, 0, &dx, &dy);
      // Longitudes may come back a turn away (lambda0 + an angle of -pi..pi).
      if (std::fabs(std::fabs(q.lat) - 90.0) > 1e-9) {
        EXPECT_LE(std::fabs(std::remainder(dx, 2 * kPi)), 1e-9) << q.lon;
      }
      EXPECT_LE(std::fabs(dy), 1e-9) << q.lat;
    }
  }
}

}  // namespace
