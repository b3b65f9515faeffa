// Datum shifts and geocentric maths: the step routines of kinds 7 to 12 against PROJ's
// results for the same parameters (tests/fixtures/geodesy/shift_cases.inc), the polar
// axis and the poles, the units of the parameters, and the meridian shift.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "geodesy/datum_shift.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kWgsA = 6378137.0;
constexpr double kWgsB = 6356752.314245179;

struct shift_case {
  const char* name;
  int direction;  // 0: from the named datum to WGS 84; 1: back
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

// The datums of the fixture: WGS 84 (the reference) and one source datum per shift,
// with its transformation to WGS 84 as the tables would hold it.
struct shift_datums {
  geodatum_t* wgs = nullptr;
  geodatum_t* osgb = nullptr;
  geodatum_t* ntf = nullptr;
  geodatum_t* intl = nullptr;
  geocentric_t* osgb_to_wgs = nullptr;
  geocentric_t* ntf_to_wgs = nullptr;
  geocentric_t* intl_to_wgs = nullptr;

  geodatum_t* source(const std::string& name) const {
    if (name == "osgb36_wgs84") return osgb;
    if (name == "ntf_wgs84") return ntf;
    return intl;
  }
};

shift_datums make_shift_datums() {
  tm_test::fresh_geodesy_store();
  shift_datums w;
  ellipsoid_t *wgs = nullptr, *airy = nullptr, *clarke = nullptr, *intl = nullptr;
  ellipsoid_create("WGS 84", kWgsA, 298.257223563, 0.0, 0, 34, &wgs);
  ellipsoid_create("Airy 1830", 6377563.396, 299.3249646, 0.0, 0, 7001, &airy);
  ellipsoid_create("Clarke 1880 (IGN)", 6378249.2, 0.0, 6356515.0, 0, 7011, &clarke);
  ellipsoid_create("International 1924", 6378388.0, 297.0, 0.0, 0, 7022, &intl);
  pmeridian_t* greenwich = nullptr;
  pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
  geodatum_create("WGS 84", wgs, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &w.wgs);
  geodatum_create("OSGB36", airy, ANG_DEGREE, greenwich, nullptr, 6277, &w.osgb);
  geodatum_create("NTF", clarke, ANG_DEGREE, greenwich, nullptr, 6275, &w.ntf);
  geodatum_create("Intl seven", intl, ANG_DEGREE, greenwich, nullptr, 6230, &w.intl);
  // Rotations in seconds of arc (unit 4); the scale as a plain fraction.
  const double osgb[10] = {446.448, -125.157, 542.06, 0.15, 0.247, 0.842, -20.489e-6};
  const double ntf[10] = {-168.0, -60.0, 320.0};
  const double seven[10] = {-87.0, -98.0, -121.0, 1.2, -2.4, 3.1, 8.5e-6};
  datumtrans_create(w.osgb, w.wgs, DT_FILE_SEVEN, osgb, LEN_METRE, ANG_SECOND, 0, 2, 1314,
                    &w.osgb_to_wgs);
  datumtrans_create(w.ntf, w.wgs, DT_FILE_THREE, ntf, LEN_METRE, ANG_SECOND, 0, 2, 1193,
                    &w.ntf_to_wgs);
  datumtrans_create(w.intl, w.wgs, DT_FILE_SEVEN, seven, LEN_METRE, ANG_SECOND, 0, 5, 1133,
                    &w.intl_to_wgs);
  geo_init_ref_datum();
  EXPECT_EQ(get_gblerr(), 0);
  return w;
}

struct point3 {
  double x, y, z;
};

point3 run_steps(const int* kinds, obj_t* const* steps, int n, point3 p) {
  for (int i = 0; i < n; ++i) xform_forward(steps[i], kinds[i], &p.x, &p.y, &p.z);
  return p;
}

// The conversion between two datums as the chains build it (geodetic to geocentric,
// shift, geocentric to geodetic).
point3 convert(geodatum_t* from, geodatum_t* to, point3 p) {
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int n = 0;
  EXPECT_EQ(georef_chain_build(from, to, nullptr, nullptr, kinds, steps, &n), 0);
  return run_steps(kinds, steps, n, p);
}

double wrap_degrees(double d) {
  d = std::fmod(d, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

// Agreement in degrees of arc on the ground: a longitude difference counts by the
// cosine of the latitude (near a pole the longitude itself is meaningless).
void expect_same_place(const point3& got, const double want[3], double tol_deg, double tol_h,
                       const std::string& what) {
  const double dlon = wrap_degrees(got.x - want[0]) * std::cos(want[1] * kPi / 180.0);
  EXPECT_LE(std::fabs(dlon), tol_deg) << what << " longitude " << got.x << " vs " << want[0];
  EXPECT_NEAR(got.y, want[1], tol_deg) << what << " latitude";
  EXPECT_NEAR(got.z, want[2], tol_h) << what << " height";
}

TEST(DatumShift, AgreesWithProjBothWays) {
  const shift_datums w = make_shift_datums();
  for (const shift_case& c : kShiftCases) {
    const std::string what = std::string(c.name) + (c.direction ? " back" : " forward") +
                             " at " + std::to_string(c.in[0]) + "," + std::to_string(c.in[1]);
    geodatum_t* src = w.source(c.name);
    const point3 in{c.in[0], c.in[1], c.in[2]};
    const point3 got = c.direction == 0 ? convert(src, w.wgs, in) : convert(w.wgs, src, in);
    expect_same_place(got, c.out, 1e-9, 1e-5, what);
    EXPECT_EQ(get_gblerr(), 0) << what;
  }
}

// The inverse routine of a shift chain gives what the backward path gives.
TEST(DatumShift, ChainInverseAgreesWithProj) {
  const shift_datums w = make_shift_datums();
  for (const shift_case& c : kShiftCases) {
    if (c.direction != 1) continue;
    xform_chain_t* chain = nullptr;
    xform_chain_create(kMaxConversionSteps, &chain);
    int n = 0;
    georef_chain_build(w.source(c.name), w.wgs, nullptr, nullptr, chain->kinds, chain->steps,
                       &n);
    chain->count = n;
    point3 p{c.in[0], c.in[1], c.in[2]};
    xform_chain_inverse(chain, &p.x, &p.y, &p.z);
    expect_same_place(p, c.out, 1e-9, 1e-5, std::string(c.name) + " inverse routine");
    free_obj(&chain);
  }
}

// Translations given in feet are stored in metres: the shift moves geocentric metres
// by them as they are, never rescaling the coordinates by the line's unit.
TEST(DatumShift, ParametersInAnotherUnitShiftMetres) {
  shift_datums w = make_shift_datums();
  const double ft = 0.3048;
  const struct {
    int file_type;
    double params[10];
  } cases[] = {
      {DT_FILE_THREE, {-168.0 / ft, -60.0 / ft, 320.0 / ft}},
      {DT_FILE_SEVEN, {-87.0 / ft, -98.0 / ft, -121.0 / ft, 1.2, -2.4, 3.1, 8.5e-6}},
      {DT_FILE_TEN, {-87.0 / ft, -98.0 / ft, -121.0 / ft, 1.2, -2.4, 3.1, 8.5e-6, 10, 20, 30}},
  };
  for (const auto& c : cases) {
    geocentric_t* in_feet = nullptr;
    datumtrans_create(w.intl, w.wgs, c.file_type, c.params, LEN_FOOT, ANG_SECOND, 0, 5, 9000,
                      &in_feet);
    ASSERT_NE(in_feet, nullptr);
    const geocentric_t* in_metres = c.file_type == DT_FILE_THREE ? w.ntf_to_wgs : w.intl_to_wgs;
    for (int dir = 0; dir < 2; ++dir) {
      point3 a{3980000.0, -100000.0, 4970000.0}, b = a;
      const int kind = val(in_feet->trsftype);
      if (dir == 0) {
        xform_forward(in_feet, kind, &a.x, &a.y, &a.z);
        xform_forward(const_cast<geocentric_t*>(in_metres), kind == 8 ? 8 : 9, &b.x, &b.y, &b.z);
      } else {
        xform_inverse(in_feet, kind, &a.x, &a.y, &a.z);
        xform_inverse(const_cast<geocentric_t*>(in_metres), kind == 8 ? 8 : 9, &b.x, &b.y, &b.z);
      }
      EXPECT_NEAR(a.x, b.x, 1e-6) << "file type " << c.file_type << " direction " << dir;
      EXPECT_NEAR(a.y, b.y, 1e-6);
      EXPECT_NEAR(a.z, b.z, 1e-6);
    }
  }
}

TEST(DatumShift, SevenParametersForwardThenInverseReturns) {
  const shift_datums w = make_shift_datums();
  for (geocentric_t* t : {w.osgb_to_wgs, w.intl_to_wgs}) {
    const point3 start{3980000.0, -100000.0, 4970000.0};
    point3 p = start;
    datum_shift7_fwd(t, &p.x, &p.y, &p.z);
    EXPECT_GT(std::fabs(p.x - start.x), 50.0);
    datum_shift7_inv(t, &p.x, &p.y, &p.z);
    // Within the square of the rotations times the distance from the centre (a few
    // millimetres): the scale is undone exactly.
    const double r2 = val(t->epsilonx) * val(t->epsilonx) + val(t->epsilony) * val(t->epsilony) +
                      val(t->epsilonz) * val(t->epsilonz);
    const double tol = r2 * std::sqrt(start.x * start.x + start.y * start.y +
                                            start.z * start.z);
    EXPECT_LT(tol, 1e-2);
    EXPECT_NEAR(p.x, start.x, tol);
    EXPECT_NEAR(p.y, start.y, tol);
    EXPECT_NEAR(p.z, start.z, tol);
  }
}

// ---- Geodetic and geocentric ------------------------------------------------------------

TEST(Geocentric, EquatorAndAxes) {
  const shift_datums w = make_shift_datums();
  const struct {
    point3 geocentric;
    point3 geodetic;  // degrees, metres
  } cases[] = {
      {{kWgsA, 0.0, 0.0}, {0.0, 0.0, 0.0}},
      {{-kWgsA, 0.0, 0.0}, {180.0, 0.0, 0.0}},    // the negative X axis: +180
      {{-kWgsA, -0.0, 0.0}, {180.0, 0.0, 0.0}},
      {{0.0, kWgsA, 0.0}, {90.0, 0.0, 0.0}},
      {{0.0, -kWgsA, 0.0}, {-90.0, 0.0, 0.0}},
      // On the polar axis the longitude is 0 and the height is measured from the pole
      // on Z's side; the centre of the earth counts as north (as PROJ has it).
      {{0.0, 0.0, kWgsB + 350.0}, {0.0, 90.0, 350.0}},
      {{0.0, 0.0, -kWgsB - 99.0}, {0.0, -90.0, 99.0}},
      {{0.0, 0.0, 0.0}, {0.0, 90.0, -kWgsB}},
      {{0.0, 0.0, 100.0}, {0.0, 90.0, 100.0 - kWgsB}},
  };
  for (const auto& c : cases) {
    point3 p = c.geocentric;
    geocentric_to_geodetic(w.wgs, &p.x, &p.y, &p.z);
    EXPECT_FALSE(std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z));
    EXPECT_NEAR(p.x, c.geodetic.x, 1e-12) << c.geocentric.x << "," << c.geocentric.y << ","
                                          << c.geocentric.z;
    EXPECT_NEAR(p.y, c.geodetic.y, 1e-12);
    EXPECT_NEAR(p.z, c.geodetic.z, 1e-6);
  }
  // X < 0, Y < 0: between -180 and -90.
  point3 p{-1e6, -1e5, 0.0};
  geocentric_to_geodetic(w.wgs, &p.x, &p.y, &p.z);
  EXPECT_GT(p.x, -180.0);
  EXPECT_LT(p.x, -90.0);
  // (0, 0, 0) on a Greenwich datum is (a, 0, 0).
  point3 q{0.0, 0.0, 0.0};
  geodetic_to_geocentric(w.wgs, &q.x, &q.y, &q.z);
  EXPECT_NEAR(q.x, kWgsA, 1e-9);
  EXPECT_NEAR(q.y, 0.0, 1e-9);
  EXPECT_NEAR(q.z, 0.0, 1e-9);
}

// Near the poles the latitude still converges (its tangent is huge there, so a bound
// on the tangent's change alone is never met), and the height keeps its precision.
TEST(Geocentric, RoundTripUpToThePoles) {
  const shift_datums w = make_shift_datums();
  const double lats[] = {0.0, 45.0, 80.0, 89.9, 89.9999, 89.9999999, 89.99999999999, 90.0,
                         -89.9999999, -90.0};
  const double heights[] = {0.0, 1234.5, -420.0, 35786000.0};
  for (double lat : lats) {
    for (double h : heights) {
      point3 p{12.0, lat, h};
      geodetic_to_geocentric(w.wgs, &p.x, &p.y, &p.z);
      geocentric_to_geodetic(w.wgs, &p.x, &p.y, &p.z);
      EXPECT_NEAR(p.y, lat, 1e-12) << lat << " at " << h;
      EXPECT_NEAR(p.z, h, 1e-6) << lat << " at " << h;
      if (std::fabs(lat) < 89.99) {
        EXPECT_NEAR(p.x, 12.0, 1e-12);
      }
    }
  }
}

// A point with no number stays one: NaN (or infinite) geocentric coordinates give NaN in
// longitude, latitude and height (never the longitude -90 that a comparison with NaN
// picks), and a latitude beyond a pole is no point of the ellipsoid, where its cosine
// would fold it onto the other side of the axis. Also through a whole datum conversion
// (geodetic, geocentric, shift, geodetic) both ways.
TEST(Geocentric, NoNumberInGivesNoNumberOut) {
  const shift_datums w = make_shift_datums();
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  const point3 geocentric[] = {
      {nan, 1e6, 0.0}, {nan, nan, 0.0}, {1e6, nan, 0.0}, {0.0, nan, 0.0},
      {0.0, 0.0, nan}, {nan, 0.0, 5e6}, {1e6, 2e6, nan}, {inf, 0.0, 0.0},
      {-inf, 1e6, 1e6}, {0.0, 0.0, inf},
  };
  for (const point3& c : geocentric) {
    point3 p = c;
    geocentric_to_geodetic(w.wgs, &p.x, &p.y, &p.z);
    EXPECT_TRUE(std::isnan(p.x) && std::isnan(p.y) && std::isnan(p.z))
        << c.x << "," << c.y << "," << c.z << " gives " << p.x << "," << p.y << "," << p.z;
  }
  const point3 geodetic[] = {
      {-62.0, 100.0, 0.0}, {3.0, -90.5, 0.0}, {120.0, 180.0, 10.0}, {0.0, 90.000001, 0.0},
      {nan, 45.0, 0.0},    {10.0, nan, 0.0},  {10.0, 45.0, nan},
  };
  for (const point3& c : geodetic) {
    point3 p = c;
    geodetic_to_geocentric(w.wgs, &p.x, &p.y, &p.z);
    EXPECT_TRUE(std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) << c.x << "," << c.y;
    if (std::fabs(c.y) > 90.0) {
      EXPECT_TRUE(std::isnan(p.x) && std::isnan(p.y) && std::isnan(p.z)) << c.y;
    }
    for (geodatum_t* to : {w.osgb, w.ntf}) {
      const point3 there = convert(w.wgs, to, c);
      EXPECT_TRUE(std::isnan(there.x) && std::isnan(there.y)) << c.x << "," << c.y << " gives "
                                                             << there.x << "," << there.y;
      const point3 back = convert(to, w.wgs, c);
      EXPECT_TRUE(std::isnan(back.x) && std::isnan(back.y)) << c.x << "," << c.y << " gives "
                                                            << back.x << "," << back.y;
    }
  }
  // The poles themselves (and a latitude within the rounding of a unit conversion) are
  // still points.
  for (double lat : {90.0, -90.0}) {
    point3 p{33.0, lat, 0.0};
    geodetic_to_geocentric(w.wgs, &p.x, &p.y, &p.z);
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << lat;
  }
}

TEST(Geocentric, PrimeMeridianAndUnit) {
  shift_datums w = make_shift_datums();
  ellipsoid_t* ell = nullptr;
  ellipsoid_create("Clarke 1880 (IGN) b", 6378249.2, 0.0, 6356515.0, 0, 7012, &ell);
  pmeridian_t* paris = nullptr;
  pmeridian_create("Paris", 2.5969213, ANG_GRAD, 8903, &paris);
  geodatum_t* ntf_paris = nullptr;
  geodatum_create("NTF (Paris)", ell, ANG_GRAD, paris, nullptr, 6807, &ntf_paris);
  // A point given in grads from Paris is the same place as in degrees from Greenwich.
  point3 a{0.0, 50.0, 10.0};
  geodetic_to_geocentric(ntf_paris, &a.x, &a.y, &a.z);
  point3 b{2.5969213 * 0.9, 45.0, 10.0};
  geodetic_to_geocentric(w.ntf, &b.x, &b.y, &b.z);
  EXPECT_NEAR(a.x, b.x, 1e-6);
  EXPECT_NEAR(a.y, b.y, 1e-6);
  EXPECT_NEAR(a.z, b.z, 1e-6);
  geocentric_to_geodetic(ntf_paris, &a.x, &a.y, &a.z);
  EXPECT_NEAR(a.x, 0.0, 1e-10);
  EXPECT_NEAR(a.y, 50.0, 1e-10);
  EXPECT_NEAR(a.z, 10.0, 1e-6);
}

// The meridian shift between a datum in grads (Paris) and one in degrees (Greenwich):
// the difference is held in radians and the units convert on either side.
TEST(MeridianShift, BetweenGradsAndDegrees) {
  shift_datums w = make_shift_datums();
  pmeridian_t* paris = nullptr;
  pmeridian_create("Paris", 2.5969213, ANG_GRAD, 8903, &paris);
  ellipsoid_t* ell = nullptr;
  geo_find_by_code(CLS_ELLIPSOID, 7011, &ell);
  geodatum_t* ntf_paris = nullptr;
  geodatum_create("NTF (Paris)", ell, ANG_GRAD, paris, nullptr, 6807, &ntf_paris);
  geocentric_t* t = nullptr;
  datumtrans_create(ntf_paris, w.ntf, DT_FILE_MERIDIAN, nullptr, 0, 0, 0, 1, 1763, &t);
  ASSERT_NE(t, nullptr);
  EXPECT_NEAR(val(t->tx), 2.5969213 * kPi / 200.0, 1e-15);
  const struct {
    double grads[2];
    double degrees[2];
  } cases[] = {
      {{0.0, 50.0}, {2.33722917, 45.0}},
      {{-10.0, 0.0}, {2.33722917 - 9.0, 0.0}},
      {{100.0, -100.0}, {92.33722917, -90.0}},
  };
  for (const auto& c : cases) {
    double x = c.grads[0], y = c.grads[1], z = NULL_DOUBLE;
    xform_forward(t, XK_MERIDIAN_SHIFT, &x, &y, &z);
    EXPECT_NEAR(x, c.degrees[0], 1e-9);
    EXPECT_NEAR(y, c.degrees[1], 1e-9);
    EXPECT_EQ(z, 0.0);  // "no height" became 0 and the shift left it
    xform_inverse(t, XK_MERIDIAN_SHIFT, &x, &y, &z);
    EXPECT_NEAR(x, c.grads[0], 1e-9);
    EXPECT_NEAR(y, c.grads[1], 1e-9);
  }
}

TEST(Geocentric, RadiusOfCurvature) {
  const double e2 = 0.00669437999014;
  EXPECT_DOUBLE_EQ(radius_curvature(kWgsA, 0.0, e2), kWgsA);
  EXPECT_NEAR(radius_curvature(kWgsA, kPi / 2.0, e2), kWgsA / std::sqrt(1.0 - e2), 1e-6);
  EXPECT_DOUBLE_EQ(radius_curvature(6371000.0, 0.7, 0.0), 6371000.0);
}

}  // namespace
