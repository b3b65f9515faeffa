// Points outside a projection's domain, or far outside a system's area, against PROJ
// (tests/fixtures/geodesy/out_of_domain_cases.csv, written by make_out_of_domain_cases.py
// beside it): where PROJ gives no number the formulas and the chains give NaN in both
// coordinates, never a finite point that would be drawn or shown; where PROJ gives one they
// agree to 1 mm. Far outside the areas of Laborde and the Belgian Lambert 72 cone, whose
// EPSG methods PROJ computes by other formulas, the answer is the method's own value
// (checked by going back through the other direction) or no number. A point with an
// infinite or NaN coordinate has no number either way, even where PROJ prints one (its
// check stops +inf alone, and folds -inf into a pole).
//
// Every row also goes as a run of points (proj_forward_points, xform_chain_forward_points;
// for a Transverse Mercator in every build of its block loop) and must give the point
// path's answer to the bit.
//
// The Transverse Mercator rows (the projection alone and through the chain) are a test of
// their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/projection_kinds.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kGrid = 0.001;               // metres
constexpr double kEarthRadius = 6371000.0;    // metres per radian on the ground
constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kBackTolerance = 1e-7;       // degrees: the method's value goes back

struct domain_row {
  std::string what;  // fwd, inv, chain or chain_inv
  std::string rule;  // proj, method or none
  int code = 0;
  double lon = 0, lat = 0, e = 0, n = 0;
};

std::string describe(const domain_row& r) {
  std::ostringstream s;
  s.precision(17);
  s << r.what << " " << r.rule << " EPSG " << r.code << " (" << r.lon << ", " << r.lat << ") ("
    << r.e << ", " << r.n << ")";
  return s.str();
}

std::vector<domain_row> read_rows() {
  std::vector<domain_row> rows;
  for (const std::vector<std::string>& f : tm_test::read_csv_fields(
           TM_FIXTURE_DIR "/geodesy/out_of_domain_cases.csv", 7, "what,")) {
    domain_row r;
    r.what = f[0];
    r.rule = f[1];
    r.code = std::atoi(f[2].c_str());
    double* values[] = {&r.lon, &r.lat, &r.e, &r.n};
    // strtod also reads PROJ's "inf".
    for (int i = 0; i < 4; ++i) *values[i] = std::strtod(f[size_t(i) + 3].c_str(), nullptr);
    rows.push_back(r);
  }
  return rows;
}

cartproj_t* system_of(int code) { return tm_test::epsg_projection(code); }

bool is_forward(const domain_row& r) { return r.what == "fwd" || r.what == "chain"; }
bool is_chain(const domain_row& r) { return r.what == "chain" || r.what == "chain_inv"; }

// The conversion of a chain row as a chain object: WGS 84 to the system, or back.
xform_chain_t* make_chain(const domain_row& r, cartproj_t* proj) {
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int count = 0;
  geodatum_t* wgs84 = geo_get_ref_datum(nullptr);
  const bool fwd = r.what == "chain";
  georef_chain_build(fwd ? wgs84 : proj->datum, fwd ? proj->datum : wgs84,
                     fwd ? nullptr : proj, fwd ? proj : nullptr, kinds, steps, &count);
  xform_chain_t* chain = nullptr;
  xform_chain_create(0, &chain);
  for (int i = 0; i < count; ++i) xform_chain_append(chain, steps[i], kinds[i]);
  return chain;
}

struct answer {
  double x = 0, y = 0;
};

// The row's point through the point path: forward rows from (lon, lat), inverse rows
// from (easting, northing).
answer point_path(const domain_row& r, cartproj_t* proj) {
  answer a;
  a.x = is_forward(r) ? r.lon : r.e;
  a.y = is_forward(r) ? r.lat : r.n;
  if (is_chain(r)) {
    xform_chain_t* chain = make_chain(r, proj);
    double z = NULL_DOUBLE;
    xform_chain_forward(chain, &a.x, &a.y, &z);
    obj_t* o = chain;
    free_obj(&o);
  } else if (r.what == "fwd") {
    proj_forward(proj, &a.x, &a.y);
  } else {
    proj_inverse(proj, &a.x, &a.y);
  }
  return a;
}

bool same_bits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// The grid distance in metres between two points in the system's linear unit.
double grid_metres(const cartproj_t* proj, double x1, double y1, double x2, double y2) {
  double dx = x1 - x2, dy = y1 - y2;
  length_unit_scale(proj->unit, 0, &dx, &dy);
  return std::hypot(dx, dy);
}

// The ground distance in metres (roughly) between two geographic points in degrees, the
// longitude difference taken the short way round.
double ground_metres(double lon1, double lat1, double lon2, double lat2) {
  const double dlon = std::remainder(lon1 - lon2, 360.0);
  return kEarthRadius * kDeg *
         std::hypot(dlon * std::cos(0.5 * (lat1 + lat2) * kDeg), lat1 - lat2);
}

// Degrees of the geographic coordinates of an answer (a system in grads gives grads).
void to_degrees(const cartproj_t* proj, const domain_row& r, double* lon, double* lat) {
  if (is_chain(r)) return;  // WGS 84 degrees
  angle_unit_scale(proj->datum->unit, 0, lon, lat);
  *lon /= kDeg;
  *lat /= kDeg;
}

// Checks one row against its rule; returns 1 when it was a row where PROJ gives no number.
int check_row(const domain_row& r, cartproj_t* proj, const answer& got) {
  const bool fwd = is_forward(r);
  const double want_x = fwd ? r.e : r.lon, want_y = fwd ? r.n : r.lat;
  const bool none = r.rule == "none" || !(std::isfinite(want_x) && std::isfinite(want_y));
  const bool got_none = std::isnan(got.x) && std::isnan(got.y);
  if (r.rule == "method") {
    if (got_none) return 0;
    EXPECT_TRUE(std::isfinite(got.x) && std::isfinite(got.y))
        << "gives (" << got.x << ", " << got.y << ")";
    // The method's own value: the other direction takes it back.
    answer back = got;
    if (fwd) {
      proj_inverse(proj, &back.x, &back.y);
      double lon = back.x, lat = back.y, lon0 = r.lon, lat0 = r.lat;
      to_degrees(proj, r, &lon, &lat);
      to_degrees(proj, r, &lon0, &lat0);
      EXPECT_LE(ground_metres(lon, lat, lon0, lat0), kEarthRadius * kDeg * kBackTolerance)
          << "back to (" << back.x << ", " << back.y << ")";
    } else {
      proj_forward(proj, &back.x, &back.y);
      EXPECT_LE(grid_metres(proj, back.x, back.y, r.e, r.n), kGrid)
          << "back to (" << back.x << ", " << back.y << ")";
    }
    return 0;
  }
  if (none) {
    EXPECT_TRUE(got_none) << "gives (" << got.x << ", " << got.y << ") where PROJ has none";
    return 1;
  }
  if (fwd) {
    EXPECT_LE(grid_metres(proj, got.x, got.y, want_x, want_y), kGrid)
        << "gives (" << got.x << ", " << got.y << ")";
  } else {
    double lon = got.x, lat = got.y, lon0 = want_x, lat0 = want_y;
    to_degrees(proj, r, &lon, &lat);
    to_degrees(proj, r, &lon0, &lat0);
    EXPECT_LE(ground_metres(lon, lat, lon0, lat0), kGrid)
        << "gives (" << got.x << ", " << got.y << ")";
  }
  return 0;
}

bool transverse_mercator(const cartproj_t* proj) { return proj->projtype == PK_TM; }

// A Transverse Mercator's forward rows (the run of triples as given) through every build
// of its block loop the processor runs: each gives the point path's answers to the bit.
void check_tm_builds(const cartproj_t* proj, const std::vector<double>& given,
                     const std::vector<answer>& points) {
  const int n = int(points.size());
  for (int build : {PROJ_TM_BUILD_PLAIN, PROJ_TM_BUILD_AVX2, PROJ_TM_BUILD_AVX512}) {
    SCOPED_TRACE("build " + std::to_string(build));
    std::vector<double> run = given;
    if (!proj_tm_forward_points_build(build, proj, &run[0], &run[1], n, 3)) continue;
    for (int i = 0; i < n; ++i)
      EXPECT_TRUE(same_bits(run[3 * size_t(i)], points[size_t(i)].x) &&
                  same_bits(run[3 * size_t(i) + 1], points[size_t(i)].y))
          << "point " << i << ": run (" << run[3 * size_t(i)] << ", " << run[3 * size_t(i) + 1]
          << ")";
  }
}

// The forward rows of one system and kind (fwd or chain) as one run of (x, y, z) triples,
// which must give the point path's answers to the bit. (Inverse rows have no run path of
// their own but through the chain, which carries the way back as a forward chain.)
void check_runs(const std::vector<domain_row>& rows) {
  std::map<std::pair<std::string, int>, std::vector<const domain_row*>> groups;
  for (const domain_row& r : rows)
    if (r.what != "inv") groups[{r.what, r.code}].push_back(&r);
  for (const auto& [key, members] : groups) {
    SCOPED_TRACE(key.first + " run EPSG " + std::to_string(key.second));
    cartproj_t* proj = system_of(key.second);
    ASSERT_TRUE(proj);
    std::vector<double> run;
    for (const domain_row* r : members) {
      const bool fwd = is_forward(*r);
      run.insert(run.end(), {fwd ? r->lon : r->e, fwd ? r->lat : r->n, NULL_DOUBLE});
    }
    const int n = int(members.size());
    const std::vector<double> given = run;
    if (key.first == "fwd") {
      for (double& z : run)
        if (z == NULL_DOUBLE) z = 0.0;
      proj_forward_points(proj, &run[0], &run[1], n, 3);
    } else {
      xform_chain_t* chain = make_chain(*members[0], proj);
      xform_chain_forward_points(chain, run.data(), n);
      obj_t* o = chain;
      free_obj(&o);
    }
    std::vector<answer> points;
    for (int i = 0; i < n; ++i) {
      const answer one = point_path(*members[size_t(i)], proj);
      points.push_back(one);
      EXPECT_TRUE(same_bits(run[3 * size_t(i)], one.x) && same_bits(run[3 * size_t(i) + 1], one.y))
          << describe(*members[size_t(i)]) << ": run (" << run[3 * size_t(i)] << ", "
          << run[3 * size_t(i) + 1] << "), point (" << one.x << ", " << one.y << ")";
    }
    if (key.first == "fwd" && transverse_mercator(proj)) check_tm_builds(proj, given, points);
  }
}

class OutOfDomain : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }

  // The rows whose system is (or is not) a Transverse Mercator, each checked against its
  // rule, then as runs. Returns the number of rows where PROJ gives no number.
  int check(bool tm) {
    std::vector<domain_row> rows;
    for (const domain_row& r : read_rows()) {
      cartproj_t* proj = system_of(r.code);
      EXPECT_TRUE(proj) << r.code;
      if (proj && transverse_mercator(proj) == tm) rows.push_back(r);
    }
    int none = 0;
    for (const domain_row& r : rows) {
      SCOPED_TRACE(describe(r));
      cartproj_t* proj = system_of(r.code);
      none += check_row(r, proj, point_path(r, proj));
      EXPECT_EQ(get_gblerr(), 0);
    }
    check_runs(rows);
    return none;
  }
};

// Lambert conics, polar stereographics, oblique Mercators (Hotine), the New Zealand map
// grid, Laborde, the Belgian cone, the Mercator and the oblique stereographics, alone and
// through the datum shift of the tables.
TEST_F(OutOfDomain, NoNumberWhereProjGivesNone) { EXPECT_GE(check(false), 60); }

TEST_F(OutOfDomain, TransverseMercatorNoNumberWhereProjGivesNone) {
  EXPECT_GE(check(true), 20);
}

}  // namespace
