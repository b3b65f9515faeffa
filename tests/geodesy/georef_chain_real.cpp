// Conversion chains between the georefs of the system's own tables, against PROJ's
// results for the same parameters (tests/fixtures/geodesy/shift_cases.inc): NTF (Paris)
// / Lambert II etendu, RGF93 / Lambert-93, WGS 84 / UTM 31N and WGS 84 geographic in
// France; OSGB36 / British National Grid and WGS 84 in Britain. Every pair, both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

struct grid_point {
  const char* system;
  int index;
  double x, y;
};

const grid_point kGridPoints[] = {
#define SHIFT_CASE(n, d, a, b, c, e, f, g)
#define GRID_POINT(s, i, x, y) {s, i, x, y},
#define UTM_POINT(p, i, d, z, s, x, y)
#define UTM_PAIR(p, i, j, x, y)
#include "tests/fixtures/geodesy/shift_cases.inc"
#undef SHIFT_CASE
#undef GRID_POINT
#undef UTM_POINT
#undef UTM_PAIR
};

struct shift_case {
  const char* name;
  int direction;
  double in[3];
  double out[3];
};

const shift_case kShiftCases[] = {
#define SHIFT_CASE(n, d, a, b, c, e, f, g) {n, d, {a, b, c}, {e, f, g}},
#define GRID_POINT(s, i, x, y)
#define UTM_POINT(p, i, d, z, s, x, y)
#define UTM_PAIR(p, i, j, x, y)
#include "tests/fixtures/geodesy/shift_cases.inc"
#undef SHIFT_CASE
#undef GRID_POINT
#undef UTM_POINT
#undef UTM_PAIR
};

// A system of a place: a UTM zone on a datum of the tables, or the datum's geographic
// degrees (zone 0).
struct utm_point {
  const char* place;
  int index;
  int datum;
  int zone;
  int south;
  double x, y;
};

const utm_point kUtmPoints[] = {
#define SHIFT_CASE(n, d, a, b, c, e, f, g)
#define GRID_POINT(s, i, x, y)
#define UTM_POINT(p, i, d, z, s, x, y) {p, i, d, z, s, x, y},
#define UTM_PAIR(p, i, j, x, y)
#include "tests/fixtures/geodesy/shift_cases.inc"
#undef SHIFT_CASE
#undef GRID_POINT
#undef UTM_POINT
#undef UTM_PAIR
};

// The point of system `from` of a place (height 0) carried to system `to` by PROJ.
struct utm_pair {
  const char* place;
  int from, to;
  double x, y;
};

const utm_pair kUtmPairs[] = {
#define SHIFT_CASE(n, d, a, b, c, e, f, g)
#define GRID_POINT(s, i, x, y)
#define UTM_POINT(p, i, d, z, s, x, y)
#define UTM_PAIR(p, i, j, x, y) {p, i, j, x, y},
#include "tests/fixtures/geodesy/shift_cases.inc"
#undef SHIFT_CASE
#undef GRID_POINT
#undef UTM_POINT
#undef UTM_PAIR
};

struct system_def {
  const char* name;
  int projection;  // cartproj code; 0 for geographic WGS 84; -1 for UTM 31N made on demand
};

georef_t* make_georef(const system_def& s) {
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  if (s.projection == 0) return g;  // geographic on the reference datum, degrees
  cartproj_t* p = nullptr;
  if (s.projection > 0) {
    geo_find_by_code(CLS_CARTPROJ, s.projection, &p);
  } else {
    crs_name_utm(geo_get_ref_datum(nullptr), 31, 0, &p);
  }
  EXPECT_NE(p, nullptr) << s.name;
  if (!p) return g;
  g->refertype = GEOREF_PROJECTED;
  g->projection = p;
  g->datum = val(p->datum);
  g->unit = val(p->unit);
  return g;
}

// The places of one system, by index.
std::map<int, grid_point> places_of(const std::string& system) {
  std::map<int, grid_point> out;
  for (const grid_point& p : kGridPoints)
    if (system == p.system) out[p.index] = p;
  return out;
}

double tolerance_of(const georef_t* g) {
  // One millimetre on the ground in metres, two in degrees (the series of the
  // Transverse Mercator drifts by about a millimetre three degrees from its meridian).
  return val(g->refertype) == GEOREF_PROJECTED ? 1e-3 : 2e-8;
}

void check_region(const char* region, const std::vector<system_def>& systems) {
  ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
  for (const system_def& from : systems) {
    for (const system_def& to : systems) {
      if (&from == &to) continue;
      const std::string what = std::string(from.name) + " -> " + to.name;
      georef_t* a = make_georef(from);
      georef_t* b = make_georef(to);
      xform_chain_t* chain = nullptr;
      georef_link_chain(b, a, &chain);
      ASSERT_NE(chain, nullptr) << what;
      ASSERT_EQ(get_gblerr(), 0) << what;
      const auto src = places_of(std::string(region) + "_" + from.name);
      const auto dst = places_of(std::string(region) + "_" + to.name);
      ASSERT_FALSE(src.empty());
      ASSERT_EQ(src.size(), dst.size());
      for (const auto& [i, p] : src) {
        const grid_point& q = dst.at(i);
        double x = p.x, y = p.y, z = NULL_DOUBLE;
        xform_chain_forward(chain, &x, &y, &z);
        EXPECT_NEAR(x, q.x, tolerance_of(b)) << what << " place " << i;
        EXPECT_NEAR(y, q.y, tolerance_of(b)) << what << " place " << i;
        // And back through the same chain.
        x = q.x;
        y = q.y;
        z = 0.0;
        xform_chain_inverse(chain, &x, &y, &z);
        EXPECT_NEAR(x, p.x, tolerance_of(a)) << what << " back, place " << i;
        EXPECT_NEAR(y, p.y, tolerance_of(a)) << what << " back, place " << i;
      }
      free_obj(&chain);
      free_obj(&a);
      free_obj(&b);
    }
  }
}

TEST(ChainReal, FranceEveryPairBothWays) {
  check_region("france", {{"wgs84", 0},
                          {"ntf_lambert2e", 27572},
                          {"rgf93_lambert93", 2154},
                          {"wgs84_utm31n", -1}});
}

TEST(ChainReal, BritainEveryPairBothWays) {
  check_region("britain", {{"wgs84", 0}, {"osgb36_bng", 27700}});
}

const utm_point& utm_system(const char* place, int index) {
  for (const utm_point& p : kUtmPoints)
    if (index == p.index && std::string(place) == p.place) return p;
  ADD_FAILURE() << place << " has no system " << index;
  return kUtmPoints[0];
}

// The georef of a system of a place: geographic degrees on its datum, or its UTM zone
// in metres.
georef_t* utm_georef(const utm_point& p) {
  geodatum_t* d = nullptr;
  geo_find_by_code(CLS_GEODATUM, p.datum, &d);
  EXPECT_NE(d, nullptr) << p.datum;
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  g->datum = d;
  if (p.zone == 0) return g;
  cartproj_t* proj = nullptr;
  crs_name_utm(d, p.zone, p.south, &proj);
  EXPECT_NE(proj, nullptr) << p.datum << " zone " << p.zone;
  if (!proj) return g;
  g->refertype = GEOREF_PROJECTED;
  g->projection = proj;
  g->unit = val(proj->unit);
  return g;
}

bool is_seven_parameter_datum(int code) { return code == 6277; }

// Between the systems of each place (WGS 84 degrees, UTM zones north and south at both
// ends of the zone numbers, on WGS 84 and on datums with a three- or seven-parameter
// shift), through the best datum path, from each point at height 0 on its datum.
// To a millimetre or 1e-8 degree; except across two datums of which one has a
// seven-parameter shift: their path is kept as one shift whose parameters are the sums
// of the two (a first-order composition), within the product of one shift's rotations
// and scale by the other's translations, a few millimetres for ED50 and OSGB36.
TEST(ChainReal, UtmZonesEveryPairBothWays) {
  ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
  for (const utm_pair& c : kUtmPairs) {
    const utm_point& a = utm_system(c.place, c.from);
    const utm_point& b = utm_system(c.place, c.to);
    const std::string what = std::string(c.place) + " " + std::to_string(a.datum) + "/" +
                             std::to_string(a.zone) + (a.south ? "S" : "N") + " -> " +
                             std::to_string(b.datum) + "/" + std::to_string(b.zone) +
                             (b.south ? "S" : "N");
    const bool composed = a.datum != b.datum && a.datum != kRefDatumCode &&
                          b.datum != kRefDatumCode;
    const bool seven = is_seven_parameter_datum(a.datum) || is_seven_parameter_datum(b.datum);
    double tol = b.zone ? 1e-3 : 1e-8;
    if (composed && seven) tol *= 10.0;
    georef_t* from = utm_georef(a);
    georef_t* to = utm_georef(b);
    xform_chain_t* chain = nullptr;
    georef_link_chain(to, from, &chain);
    ASSERT_NE(chain, nullptr) << what;
    ASSERT_EQ(get_gblerr(), 0) << what;
    double x = a.x, y = a.y, z = NULL_DOUBLE;
    xform_chain_forward(chain, &x, &y, &z);
    EXPECT_NEAR(x, c.x, tol) << what;
    EXPECT_NEAR(y, c.y, tol) << what;
    free_obj(&chain);
    free_obj(&from);
    free_obj(&to);
  }
}

// The path from NTF (Paris) to RGF93 goes through the meridian shift, NTF and WGS 84, and
// is kept as one three-translation shift that adds no radians to its metres.
TEST(ChainReal, NtfParisToRgf93Path) {
  tm_test::fresh_geodesy_store();  // no transformation composed by an earlier search
  ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
  geodatum_t *ntf_paris = nullptr, *rgf93 = nullptr;
  geo_find_by_code(CLS_GEODATUM, 6807, &ntf_paris);
  geo_find_by_code(CLS_GEODATUM, 6171, &rgf93);
  ASSERT_NE(ntf_paris, nullptr);
  ASSERT_NE(rgf93, nullptr);
  geocentric_t* t = nullptr;
  int cost = 0;
  ASSERT_EQ(geo_datum_path(ntf_paris, rgf93, &t, &cost), 1);
  EXPECT_EQ(val(t->trsftype), TRSF_SHIFT3);
  EXPECT_DOUBLE_EQ(val(t->tx), -168.0);
  EXPECT_DOUBLE_EQ(val(t->ty), -60.0);
  EXPECT_DOUBLE_EQ(val(t->tz), 320.0);
  EXPECT_EQ(cost, 3);
}

// The seven-parameter shift of OSGB36 read from the tables agrees with PROJ to 1e-9
// degree, both ways.
TEST(ChainReal, Osgb36ShiftFromTheTables) {
  ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
  geodatum_t *osgb = nullptr, *wgs = geo_get_ref_datum(nullptr);
  geo_find_by_code(CLS_GEODATUM, 6277, &osgb);
  ASSERT_NE(osgb, nullptr);
  int checked = 0;
  for (const shift_case& c : kShiftCases) {
    if (std::string(c.name) != "osgb36_wgs84" || std::fabs(c.in[1]) > 89.0) continue;
    int kinds[kMaxConversionSteps];
    obj_t* steps[kMaxConversionSteps];
    int n = 0;
    if (c.direction == 0)
      georef_chain_build(osgb, wgs, nullptr, nullptr, kinds, steps, &n);
    else
      georef_chain_build(wgs, osgb, nullptr, nullptr, kinds, steps, &n);
    ASSERT_EQ(n, 3);
    double x = c.in[0], y = c.in[1], z = c.in[2];
    for (int i = 0; i < n; ++i) xform_forward(steps[i], kinds[i], &x, &y, &z);
    EXPECT_NEAR(x, c.out[0], 1e-9);
    EXPECT_NEAR(y, c.out[1], 1e-9);
    EXPECT_NEAR(z, c.out[2], 1e-5);
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
