// Projection objects: creation and set-up through the kind table, refusals, comparison
// by parameters, the systems made on demand (UTM zones, plate carree, GPS TrackMaker
// datums, ECW names) and the Lambert conic helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "core/obj_layout.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// A fresh store with Greenwich (code 1), the WGS 84 ellipsoid and datum (214), an
// International 1924 datum (230) in grads and a datum without ellipsoid.
class ProjObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::fresh_geodesy_store();
    pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
    ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, LEN_METRE, 34, &wgs84_ell);
    ellipsoid_create("International 1924", 6378388.0, 297.0, 0.0, LEN_METRE, 14, &intl);
    geodatum_create("WGS 84", wgs84_ell, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &wgs84);
    geodatum_create("ED50 grads", intl, ANG_GRAD, greenwich, nullptr, 230, &ed50);
    geodatum_create("Bare", nullptr, ANG_DEGREE, greenwich, nullptr, 231, &bare);
    geo_init_ref_datum();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override { set_gblerr(0); }

  cartproj_t* make(int kind, const double (&p)[8], geodatum_t* datum, int code,
                   int angular = ANG_DEGREE, int linear = LEN_METRE) {
    cartproj_t* out = nullptr;
    proj_create("test projection", kind, p, linear, angular, datum, code, &out);
    return out;
  }

  pmeridian_t* greenwich = nullptr;
  ellipsoid_t* wgs84_ell = nullptr;
  ellipsoid_t* intl = nullptr;
  geodatum_t* wgs84 = nullptr;
  geodatum_t* ed50 = nullptr;
  geodatum_t* bare = nullptr;
};

TEST_F(ProjObjects, CreationConvertsUnitsAndIndexes) {
  // A Transverse Mercator given in grads and US survey feet.
  const double p[8] = {10.0, 50.0, 0.9996, 1000.0, 2000.0, 0, 0, 0};
  cartproj_t* tm = make(PK_TM, p, ed50, 700, ANG_GRAD, LEN_US_SURVEY_FOOT);
  ASSERT_TRUE(tm);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_STREQ(tm->name, "test projection");
  EXPECT_EQ(val(tm->unit), LEN_US_SURVEY_FOOT);
  EXPECT_EQ(val(tm->trsftype), TRSF_PROJ_TM);
  EXPECT_EQ(val(tm->geodatum), ed50);
  EXPECT_NEAR(val(tm->lambda0), 9.0 * kDeg, 1e-15);
  EXPECT_NEAR(val(tm->phio0), 45.0 * kDeg, 1e-15);
  EXPECT_NEAR(val(tm->x0), 1000.0 * 1200.0 / 3937.0, 1e-9);
  EXPECT_NEAR(val(tm->y0), 2000.0 * 1200.0 / 3937.0, 1e-9);
  // Transverse Mercator fields: e'2, a, the arc series, k0 M(phi0).
  const double e2 = intl->e2;
  EXPECT_NEAR(val(tm->e), e2 / (1 - e2), 1e-15);
  EXPECT_EQ(val(tm->c), 6378388.0);
  EXPECT_NEAR(val(tm->coeff0), 1 - e2 / 4 - 3 * e2 * e2 / 64 - 5 * e2 * e2 * e2 / 256, 1e-15);
  // k0 times the meridian arc of International 1924 at 45 degrees (integrated apart).
  EXPECT_NEAR(val(tm->n), 0.9996 * 4985037.137082, 0.001);
  cartproj_t* by_code = nullptr;
  EXPECT_EQ(geo_find_by_code(CLS_CARTPROJ, 700, &by_code), tm);
  cartproj_t* cursor = nullptr;
  EXPECT_EQ(proj_next_of_datum(ed50, &cursor), tm);
}

TEST_F(ProjObjects, KindsWithoutFormulasAreRefusedSilently) {
  const double p[8] = {0, 0, 1, 0, 0, 0, 0, 0};
  for (int kind : {2, 6, 10, 14, 18, 25, 27, 29, 31, 35, 37, 41, 47, -1, 48, 1000}) {
    EXPECT_EQ(make(kind, p, wgs84, 800), nullptr) << kind;
    EXPECT_EQ(get_gblerr(), 0) << kind;
    EXPECT_EQ(proj_kind_has_setup(kind), 0) << kind;
    EXPECT_EQ(proj_kind_trsftype(kind), -1) << kind;
  }
  cartproj_t* none = nullptr;
  EXPECT_EQ(geo_find_by_code(CLS_CARTPROJ, 800, &none), nullptr);
}

struct refusal_case {
  const char* what;
  int kind;
  double p[8];
  int err;
};

TEST_F(ProjObjects, SetUpsThatCannotWorkAreRefusedWithTheirCode) {
  const refusal_case cases[] = {
      {"Mercator with its origin at a pole", PK_MERCATOR, {0, 90, 1, 0, 0, 0, 0, 0}, 13},
      {"Mercator of true scale at a pole", PK_MERCATOR_TS, {0, -90, 1, 0, 0, 0, 0, 0}, 13},
      {"one-parallel cone on the equator", PK_LCC1, {0, 0, 1, 0, 0, 0, 0, 0}, 13},
      {"one-parallel cone at a pole", PK_LCC1, {0, 90, 1, 0, 0, 0, 0, 0}, 13},
      {"parallels symmetric about the equator", PK_LCC2, {0, 0, 1, 0, 0, 30, -30, 0}, 13},
  };
  for (const refusal_case& c : cases) {
    set_gblerr(0);
    EXPECT_EQ(make(c.kind, c.p, wgs84, 810), nullptr) << c.what;
    EXPECT_EQ(get_gblerr(), c.err) << c.what;
  }
  set_gblerr(0);
  cartproj_t* none = nullptr;
  EXPECT_EQ(geo_find_by_code(CLS_CARTPROJ, 810, &none), nullptr);

  // An ellipsoid whose b exceeds a has a negative e2.
  ellipsoid_t* odd = nullptr;
  ellipsoid_create("Prolate", 6000000.0, 0.0, 6100000.0, LEN_METRE, 90, &odd);
  geodatum_t* odd_datum = nullptr;
  geodatum_create("Prolate datum", odd, ANG_DEGREE, greenwich, nullptr, 232, &odd_datum);
  const double p[8] = {0, 0, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(make(PK_TM, p, odd_datum, 811), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_VALUE);
}

TEST_F(ProjObjects, DatumWithoutEllipsoidLeavesTheProjectionUnindexed) {
  const double p[8] = {3, 0, 0.9996, 500000, 0, 0, 0, 0};
  cartproj_t* tm = make(PK_TM, p, bare, 820);
  ASSERT_TRUE(tm);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(val(tm->geodatum), nullptr);
  cartproj_t* found = nullptr;
  EXPECT_EQ(geo_find_by_code(CLS_CARTPROJ, 820, &found), nullptr);
  // Its formulas leave points alone rather than read a missing ellipsoid.
  double x = 3.5, y = 45.0;
  proj_forward(tm, &x, &y);
  EXPECT_EQ(x, 3.5);
  EXPECT_EQ(y, 45.0);
}

TEST_F(ProjObjects, SetUpFillsTheFieldsEachKindReads) {
  // Lambert-93: parallels to radians, k0 stored as 0, the apex northing.
  const double l93[8] = {3, 46.5, 1, 700000, 6600000, 49, 44, 0};
  cartproj_t* lcc = make(PK_LCC2, l93, wgs84, 830);
  ASSERT_TRUE(lcc);
  EXPECT_EQ(val(lcc->k0), 0.0);
  EXPECT_NEAR(val(lcc->coeff1), 49 * kDeg, 1e-15);
  EXPECT_NEAR(val(lcc->coeff2), 44 * kDeg, 1e-15);
  EXPECT_NEAR(val(lcc->n), 0.7256077650, 1e-9);
  EXPECT_NEAR(val(lcc->lambda0), 3 * kDeg, 1e-16);

  // The Belgian cone is turned by 29.2985": its origin moves east by that over n.
  const double belge[8] = {4.356939722222222, 90, 1, 150000.01256, 5400088.4378,
                           49.833333333333336, 51.166666666666664, 0.0136681885};
  cartproj_t* bel = make(PK_LCC_BELGIAN, belge, wgs84, 831);
  ASSERT_TRUE(bel);
  EXPECT_NEAR(val(bel->lambda0), 4.356939722222222 * kDeg + 29.2985 / 3600 * kDeg / val(bel->n),
              1e-15);
  EXPECT_EQ(val(bel->r0), 5400088.4378);  // origin at the apex pole
  // Its p7 is not read: it is kept as 0, and the origin as given comes back.
  EXPECT_EQ(val(bel->coeff3), 0.0);
  EXPECT_NEAR(proj_given_lambda0(bel), 4.356939722222222 * kDeg, 1e-15);

  // Plate carree: phi0 is ignored. Mercator of true scale: k0 from the latitude, origin
  // on the equator.
  const double pc[8] = {0, 45, 7, 100, 100, 0, 0, 0};
  cartproj_t* plate = make(PK_PLATE_CARREE, pc, wgs84, 832);
  ASSERT_TRUE(plate);
  EXPECT_EQ(val(plate->phio0), 0.0);
  EXPECT_EQ(val(plate->n), 6378137.0);
  const double mts[8] = {0, 60, 5, 0, 0, 0, 0, 0};
  cartproj_t* merc = make(PK_MERCATOR_TS, mts, wgs84, 833);
  ASSERT_TRUE(merc);
  const double s = std::sin(60 * kDeg);
  const double k0 = std::cos(60 * kDeg) / std::sqrt(1 - wgs84_ell->e2 * s * s);
  EXPECT_NEAR(val(merc->k0), k0, 1e-15);
  EXPECT_NEAR(val(merc->n), 6378137.0 * k0, 1e-6);
  EXPECT_EQ(val(merc->c), 0.0);

  // Polar stereographic from a southern latitude of true scale.
  const double pts[8] = {0, -90, 1, 0, 0, -71, 0, 0};
  cartproj_t* polar = make(PK_POLAR_TS, pts, wgs84, 834);
  ASSERT_TRUE(polar);
  EXPECT_EQ(val(polar->n), -1.0);
  EXPECT_NEAR(val(polar->coeff1), -71 * kDeg, 1e-15);

  // Hotine: kind 3 takes the azimuth as grid angle, kind 30 keeps its own; the sphere
  // azimuth asin(sin alpha / D) goes to coeff1.
  const double hot[8] = {-86, 45.30916666666667, 0.9996, 0, 0, 337.25556, 10.0, 0};
  cartproj_t* h3 = make(PK_HOTINE, hot, wgs84, 835);
  cartproj_t* h30 = make(PK_HOTINE_GRID, hot, wgs84, 836);
  ASSERT_TRUE(h3 && h30);
  EXPECT_NEAR(val(h3->coeff2), 337.25556 * kDeg, 1e-15);
  EXPECT_NEAR(val(h30->coeff2), 10.0 * kDeg, 1e-15);
  EXPECT_NE(val(h3->coeff1), val(h3->coeff2));
  EXPECT_NEAR(std::remainder(proj_central_line_azimuth(h3) - 337.25556 * kDeg, 2 * 3.141592653589793), 0.0,
              1e-15);
  EXPECT_NEAR(std::remainder(proj_central_line_azimuth(h30) - 337.25556 * kDeg, 2 * 3.141592653589793), 0.0,
              1e-12);
  EXPECT_NE(val(h3->coeff3), 0.0);
  EXPECT_EQ(val(h30->coeff3), 0.0);

  // Laborde keeps its scale factor (the method has one) and its azimuth.
  const double lab[8] = {49, -21, 0.9995, 400000, 800000, 21, 0, 0};
  cartproj_t* laborde = make(PK_LABORDE, lab, ed50, 837, ANG_GRAD);
  ASSERT_TRUE(laborde);
  EXPECT_EQ(val(laborde->k0), 0.9995);
  EXPECT_EQ(val(laborde->trsftype), TRSF_PROJ_SPHERE_TM);
  EXPECT_NEAR(proj_central_line_azimuth(laborde), 21 * 3.141592653589793 / 200, 1e-15);

  // The map grid keeps the Transverse Mercator's set-up and transform kind.
  const double nz[8] = {173, -41, 1, 2510000, 6023150, 0, 0, 0};
  cartproj_t* nzmg = make(PK_NZMG, nz, wgs84, 838);
  ASSERT_TRUE(nzmg);
  EXPECT_EQ(val(nzmg->trsftype), TRSF_PROJ_TM);
  EXPECT_EQ(val(nzmg->c), 6378137.0);
}

// The origin longitude as the parameters gave it, whatever the set-up moved: the Belgian
// cone's fixed turn, the longitude correction p7 of the other two-parallel cone.
TEST_F(ProjObjects, GivenOriginLongitudeUndoesTheSetUpMove) {
  const double belge[8] = {4.356939722222222, 90, 1, 150000.01256, 5400088.4378,
                           49.833333333333336, 51.166666666666664, 0.0};
  const double belge_p7[8] = {4.356939722222222, 90, 1, 150000.01256, 5400088.4378,
                              49.833333333333336, 51.166666666666664, 0.0136681885};
  const double corrected[8] = {3, 46.5, 1, 700000, 6600000, 49, 44, 0.5};
  const double tm[8] = {3, 0, 0.9996, 500000, 0, 0, 0, 0};
  cartproj_t* b1 = make(PK_LCC_BELGIAN, belge, wgs84, 860);
  cartproj_t* b2 = make(PK_LCC_BELGIAN, belge_p7, wgs84, 861);
  cartproj_t* l8 = make(PK_LCC2, corrected, wgs84, 862);
  cartproj_t* t = make(PK_TM, tm, wgs84, 863);
  cartproj_t* unset = make(PK_LCC_BELGIAN, belge, bare, 864);  // never set up
  ASSERT_TRUE(b1 && b2 && l8 && t && unset);
  // An unread p7 does not make two Belgian cones differ.
  EXPECT_EQ(proj_equal(b1, b2), 1);
  EXPECT_EQ(val(b1->lambda0), val(b2->lambda0));
  EXPECT_NEAR(val(l8->lambda0), 3 * kDeg + 0.5 * kDeg * val(l8->n), 1e-15);
  const struct {
    const cartproj_t* p;
    double lambda0_deg;
  } expected[] = {{b1, 4.356939722222222}, {b2, 4.356939722222222}, {l8, 3.0}, {t, 3.0},
                  {unset, 4.356939722222222}};
  for (const auto& e : expected)
    EXPECT_NEAR(proj_given_lambda0(e.p), e.lambda0_deg * kDeg, 1e-15);
  EXPECT_EQ(proj_given_lambda0(nullptr), 0.0);
}

// The parallel of the false origin: not phio0 for the kinds given by a latitude of true
// scale, which they keep in phio0 (Mercator) or p5 (polar stereographic).
TEST_F(ProjObjects, OriginLatitudeOfTheKindsOfTrueScale) {
  struct origin_case {
    const char* what;
    int kind;
    double p[8];
    double origin_deg;
  };
  const origin_case cases[] = {
      {"Mercator of true scale at 60", PK_MERCATOR_TS, {0, 60, 1, 0, 0, 0, 0, 0}, 0},
      {"Mercator of true scale at -41", PK_MERCATOR_TS, {100, -41, 1, 0, 0, 0, 0, 0}, 0},
      {"south polar, true scale at -71", PK_POLAR_TS, {0, -90, 1, 0, 0, -71, 0, 0}, -90},
      {"north polar, phi0 left at 0", PK_POLAR_TS, {-45, 0, 1, 0, 0, 70, 0, 0}, 90},
      {"Mercator with its origin", PK_MERCATOR, {0, 10, 1, 0, 0, 0, 0, 0}, 10},
      {"Transverse Mercator", PK_TM, {3, 49, 0.9996, 0, 0, 0, 0, 0}, 49},
  };
  int code = 870;
  for (const origin_case& c : cases) {
    cartproj_t* p = make(c.kind, c.p, wgs84, code++);
    ASSERT_TRUE(p) << c.what;
    EXPECT_NEAR(proj_origin_latitude(p), c.origin_deg * kDeg, 1e-15) << c.what;
  }
  EXPECT_EQ(proj_origin_latitude(nullptr), 0.0);
}

TEST_F(ProjObjects, TransformKindsOfTheKindTable) {
  const int expected[][2] = {{0, 0},   {1, 16},  {3, 22},  {4, 19},  {5, 18},  {7, 15},
                             {8, 13},  {9, 13},  {15, 14}, {16, 20}, {17, 17}, {26, 16},
                             {28, 13}, {30, 22}, {36, 17}, {42, 15}, {43, 19}, {44, 21},
                             {45, 20}, {46, 14}};
  for (const auto& k : expected) {
    EXPECT_EQ(proj_kind_has_setup(k[0]), 1) << k[0];
    EXPECT_EQ(proj_kind_trsftype(k[0]), k[1]) << k[0];
  }
}

TEST_F(ProjObjects, EqualityComparesParametersWithinTheirTolerances) {
  const double base[8] = {3, 46.5, 1, 700000, 6600000, 49, 44, 0};
  cartproj_t* a = make(PK_LCC2, base, wgs84, 840);
  cartproj_t* b = make(PK_LCC2, base, wgs84, 841);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(proj_equal(a, b), 1);
  EXPECT_EQ(proj_equal(a, nullptr), 0);
  EXPECT_EQ(proj_equal(nullptr, b), 0);

  // Fields are reached at their offsets: the record is packed.
  struct change {
    const char* what;
    size_t offset;
    double delta;
    int equal;
  };
  const change changes[] = {
      {"lambda0 within 1e-6", offsetof(cartproj_t, lambda0), 0.9e-6, 1},
      {"lambda0 beyond 1e-6", offsetof(cartproj_t, lambda0), 1.1e-6, 0},
      {"phio0 beyond 1e-6", offsetof(cartproj_t, phio0), 1.1e-6, 0},
      {"k0 within 1e-5", offsetof(cartproj_t, k0), 0.9e-5, 1},
      {"k0 beyond 1e-5", offsetof(cartproj_t, k0), 1.1e-5, 0},
      {"x0 within 0.01", offsetof(cartproj_t, x0), 0.009, 1},
      {"y0 beyond 0.01", offsetof(cartproj_t, y0), 0.011, 0},
      {"parallel beyond 1e-6", offsetof(cartproj_t, coeff1), 1.1e-6, 0},
      {"third parameter within 1e-5", offsetof(cartproj_t, coeff3), 0.9e-5, 1},
      {"third parameter beyond 1e-5", offsetof(cartproj_t, coeff3), 1.1e-5, 0},
  };
  for (const change& c : changes) {
    const double kept = field_load<double>(b, int(c.offset));
    field_store<double>(b, int(c.offset), kept + c.delta);
    EXPECT_EQ(proj_equal(a, b), c.equal) << c.what;
    field_store<double>(b, int(c.offset), kept);
  }
  // The parallels count only for Lambert conics.
  const double tm[8] = {3, 0, 0.9996, 500000, 0, 0, 0, 0};
  cartproj_t* t1 = make(PK_TM, tm, wgs84, 842);
  cartproj_t* t2 = make(PK_TM, tm, wgs84, 843);
  ASSERT_TRUE(t1 && t2);
  t2->coeff1 = t2->coeff1 + 1.0;
  EXPECT_EQ(proj_equal(t1, t2), 1);
  // Another kind with the same numbers is another projection.
  cartproj_t* lcc1 = make(PK_LCC1, base, wgs84, 844);
  ASSERT_TRUE(lcc1);
  EXPECT_EQ(proj_equal(a, lcc1), 0);
  cartproj_t* found = nullptr;
  EXPECT_EQ(proj_find_equal(b, &found), a);
}

TEST_F(ProjObjects, ReinitGivesTheNextCodeAndSetsUp) {
  const double p[8] = {3, 0, 0.9996, 500000, 0, 0, 0, 0};
  ASSERT_TRUE(make(PK_TM, p, wgs84, 900));
  obj_t* o = nullptr;
  obj_new_registered(CLS_CARTPROJ, &o);
  cartproj_t* built = static_cast<cartproj_t*>(o);
  built->projtype = PK_MERCATOR;
  built->datum = wgs84;
  built->k0 = 1.0;
  proj_reinit(built, ANG_DEGREE);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(val(built->code), 901);
  EXPECT_EQ(val(built->trsftype), TRSF_PROJ_MERCATOR);
  EXPECT_EQ(val(built->n), 6378137.0);

  built->projtype = 48;
  proj_reinit(built, ANG_DEGREE);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  set_gblerr(0);
  built->projtype = PK_MERCATOR;
  built->datum = nullptr;
  proj_reinit(built, ANG_DEGREE);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
}

struct utm_case {
  double lon, lat;
  int zone;
  bool south;
  const char* name;
};

TEST_F(ProjObjects, UtmZoneOfAPoint) {
  const utm_case cases[] = {
      {2.35, 48.85, 31, false, "WGS 84 / UTM zone 31N"},
      {18.4, -33.9, 34, true, "WGS 84 / UTM zone 34S"},
      {-180.0, 10.0, 1, false, "WGS 84 / UTM zone 01N"},
      {180.0, 10.0, 60, false, "WGS 84 / UTM zone 60N"},  // the closing meridian
      {179.999, -1.0, 60, true, "WGS 84 / UTM zone 60S"},
      {540.0 - 0.5, 10.0, 60, false, "WGS 84 / UTM zone 60N"},  // 179.5 once wrapped
      {-183.0, 10.0, 60, false, "WGS 84 / UTM zone 60N"},
      {0.0, 0.0, 31, false, "WGS 84 / UTM zone 31N"},  // the equator is north
  };
  for (const utm_case& c : cases) {
    const double point[2] = {c.lon, c.lat};
    cartproj_t* utm = nullptr;
    ASSERT_TRUE(crs_utm_from_lonlat(wgs84, point, &utm)) << c.lon;
    EXPECT_STREQ(utm->name, c.name);
    EXPECT_EQ(val(utm->projtype), PK_TM);
    EXPECT_EQ(val(utm->trsftype), TRSF_PROJ_TM);
    EXPECT_NEAR(val(utm->lambda0), (6.0 * c.zone - 183.0) * kDeg, 1e-15);
    EXPECT_EQ(val(utm->y0), c.south ? 10000000.0 : 0.0);
    EXPECT_EQ(val(utm->x0), 500000.0);
    EXPECT_EQ(val(utm->k0), 0.9996);
    // Asking again gives the same object.
    cartproj_t* again = nullptr;
    crs_utm_from_lonlat(wgs84, point, &again);
    EXPECT_EQ(again, utm);
  }
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ProjObjects, UtmRefusesWhatHasNoZone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double points[][2] = {{nan, 10.0}, {10.0, nan}, {HUGE_VAL, 0.0}};
  for (const auto& p : points) {
    set_gblerr(0);
    cartproj_t* utm = reinterpret_cast<cartproj_t*>(1);
    EXPECT_EQ(crs_utm_from_lonlat(wgs84, p, &utm), nullptr);
    EXPECT_EQ(utm, nullptr);
    EXPECT_EQ(get_gblerr(), ERR_VALUE);
  }
  for (int zone : {0, 61, -5}) {
    set_gblerr(0);
    cartproj_t* utm = nullptr;
    EXPECT_EQ(crs_name_utm(wgs84, zone, 0, &utm), nullptr) << zone;
    EXPECT_EQ(get_gblerr(), ERR_VALUE);
  }
  // A datum whose ellipsoid the formulas cannot take (b above a: negative e2) has no
  // zone: no half-made projection is handed out or indexed.
  set_gblerr(0);
  ellipsoid_t* prolate = nullptr;
  ellipsoid_create("Prolate", 6000000.0, 0.0, 6100000.0, LEN_METRE, 91, &prolate);
  geodatum_t* odd = nullptr;
  geodatum_create("Prolate datum", prolate, ANG_DEGREE, greenwich, nullptr, 233, &odd);
  ASSERT_TRUE(odd);
  cartproj_t* utm = reinterpret_cast<cartproj_t*>(1);
  EXPECT_EQ(crs_name_utm(odd, 31, 0, &utm), nullptr);
  EXPECT_EQ(utm, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_VALUE);
  cartproj_t* cursor = nullptr;
  EXPECT_EQ(proj_next_of_datum(odd, &cursor), nullptr);
}

TEST_F(ProjObjects, UtmFindsAnEqualProjectionOfTheTables) {
  const double p[8] = {3, 0, 0.9996, 500000, 0, 0, 0, 0};
  cartproj_t* table = nullptr;
  proj_create("From the tables", PK_TM, p, LEN_METRE, ANG_DEGREE, wgs84, 32631, &table);
  ASSERT_TRUE(table);
  cartproj_t* utm = nullptr;
  EXPECT_EQ(crs_name_utm(wgs84, 31, 0, &utm), table);
  // Another datum has its own zone.
  EXPECT_NE(crs_name_utm(ed50, 31, 0, &utm), table);
}

TEST_F(ProjObjects, PlateCarreeIsReusedWithinTwoHundredthsOfARadian) {
  cartproj_t* first = nullptr;
  ASSERT_TRUE(crs_name_plate_carree(wgs84, 45.0, &first));
  EXPECT_STREQ(first->name, "WGS 84 / Plate carree");
  EXPECT_EQ(val(first->projtype), PK_EQUIRECT);
  EXPECT_NEAR(val(first->phio0), 45 * kDeg, 1e-15);
  cartproj_t* near_one = nullptr;
  EXPECT_EQ(crs_name_plate_carree(wgs84, 45.01, &near_one), first);
  cartproj_t* far_one = nullptr;
  ASSERT_TRUE(crs_name_plate_carree(wgs84, 47.0, &far_one));
  EXPECT_NE(far_one, first);
  // The latitude is in the datum's unit: 50 grads is 45 degrees.
  cartproj_t* grads = nullptr;
  ASSERT_TRUE(crs_name_plate_carree(ed50, 50.0, &grads));
  EXPECT_NEAR(val(grads->phio0), 45 * kDeg, 1e-15);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ProjObjects, GpsTrackMakerDatumIsFoundOrCreated) {
  const double clarke[2] = {6378249.145, 293.465};
  double shift[10] = {-166.0, -15.0, 204.0, 0, 0, 0, 0, 0, 0, 0};
  geodatum_t* d = nullptr;
  ASSERT_TRUE(crs_gtm_custom(clarke, shift, &d));
  EXPECT_STREQ(d->name, "GTM custom datum");
  ASSERT_TRUE(val(d->ellip));
  EXPECT_STREQ(d->ellip->name, "GTM custom ellipsoid");
  EXPECT_EQ(val(d->meridian0), greenwich);
  EXPECT_EQ(val(d->unit), ANG_DEGREE);
  geocentric_t* t = nullptr;
  int direction = 0;
  ASSERT_TRUE(datumtrans_next_between(d, wgs84, &t, &direction));
  EXPECT_EQ(val(t->trsftype), 8);
  EXPECT_EQ(val(t->weight), 60);
  EXPECT_EQ(val(t->tx), -166.0);
  // The same file read again finds the same datum; a known ellipsoid is reused.
  geodatum_t* again = nullptr;
  EXPECT_EQ(crs_gtm_custom(clarke, shift, &again), d);
  const double wgs[2] = {6378137.0, 298.257223563};
  geodatum_t* on_wgs = nullptr;
  ASSERT_TRUE(crs_gtm_custom(wgs, shift, &on_wgs));
  EXPECT_NE(on_wgs, d);
  EXPECT_EQ(val(on_wgs->ellip), wgs84_ell);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ProjObjects, OneParallelConeHasAParallelOfScaleOneOnEachSide) {
  // NTF Lambert zone II: origin 52 grads, k0 0.99987742.
  const double p[8] = {0, 52, 0.99987742, 600000, 2200000, 0, 0, 0};
  cartproj_t* lcc = make(PK_LCC1, p, ed50, 850, ANG_GRAD);
  ASSERT_TRUE(lcc);
  double phi1 = 0, phi2 = 0;
  lcc_parallels_from_scale(lcc, &phi1, &phi2);
  const double phi0 = lcc->phio0;
  EXPECT_LT(phi1, phi0);
  EXPECT_GT(phi2, phi0);
  for (double phi : {phi1, phi2})
    EXPECT_NEAR(lcc_scale_at(phi, lcc->c, lcc->n, intl->a, intl->e2), 1.0, 1e-10);
  // The two parallels give back the cone's scale at the origin.
  double k0 = 0;
  lcc_k0_from_parallels(phi0, phi1, phi2, intl, &k0);
  EXPECT_NEAR(k0, 0.99987742, 1e-9);

  // A scale above 1 everywhere has no such parallel: the answer is the origin (and the
  // search ends).
  const double big[8] = {0, 52, 1.001, 600000, 2200000, 0, 0, 0};
  cartproj_t* wide = make(PK_LCC1, big, ed50, 851, ANG_GRAD);
  ASSERT_TRUE(wide);
  lcc_parallels_from_scale(wide, &phi1, &phi2);
  EXPECT_EQ(phi1, val(wide->phio0));
  EXPECT_EQ(phi2, val(wide->phio0));
  // Not a conic: both 0.
  const double tm[8] = {3, 10, 0.9996, 500000, 0, 0, 0, 0};
  cartproj_t* t = make(PK_TM, tm, wgs84, 852);
  phi1 = phi2 = 7;
  lcc_parallels_from_scale(t, &phi1, &phi2);
  EXPECT_EQ(phi1, 0.0);
  EXPECT_EQ(phi2, 0.0);
}

TEST_F(ProjObjects, ScaleOfATwoParallelConeAtItsOrigin) {
  // Lambert-93: the scale at 46.5 degrees of the cone through 44 and 49 (PROJ's figure).
  double k0 = 0;
  lcc_k0_from_parallels(46.5 * kDeg, 44 * kDeg, 49 * kDeg, wgs84_ell, &k0);
  EXPECT_NEAR(k0, 0.99905108588, 1e-10);
  double m1 = 0;
  EXPECT_NEAR(lcc_cone_constant(44 * kDeg, 49 * kDeg, wgs84_ell->a, std::sqrt(wgs84_ell->e2),
                                wgs84_ell->e2, &m1),
              0.72560776505, 1e-10);
  EXPECT_NEAR(m1, 6378137.0 * std::cos(44 * kDeg) /
                      std::sqrt(1 - wgs84_ell->e2 * std::pow(std::sin(44 * kDeg), 2)),
              1e-6);
  // Equal parallels: the one-parallel cone.
  EXPECT_NEAR(lcc_cone_constant(45 * kDeg, 45 * kDeg, wgs84_ell->a, std::sqrt(wgs84_ell->e2),
                                wgs84_ell->e2, &m1),
              std::sin(45 * kDeg), 1e-15);
}

class ProjObjectsReal : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0); }
  void TearDown() override { set_gblerr(0); }
};

TEST_F(ProjObjectsReal, EcwNameLeadsToTheProjectionOfTheDatum) {
  geodatum_t* wgs84 = nullptr;
  geo_get_ref_datum(&wgs84);
  cartproj_t* utm31 = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, 32631, &utm31));
  cartproj_t* found = nullptr;
  EXPECT_EQ(proj_find_ecw("NUTM31", wgs84, &found), utm31);
  geodatum_t* other = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_GEODATUM, 6807, &other));
  EXPECT_EQ(proj_find_ecw("NUTM31", other, &found), nullptr);
  EXPECT_EQ(proj_find_ecw("NO SUCH NAME", wgs84, &found), nullptr);
}

TEST_F(ProjObjectsReal, UtmOfTheReferenceDatumIsTheTablesOne) {
  geodatum_t* wgs84 = nullptr;
  geo_get_ref_datum(&wgs84);
  const double paris[2] = {2.35, 48.85};
  cartproj_t* utm = nullptr;
  cartproj_t* table = nullptr;
  ASSERT_TRUE(geo_find_by_code(CLS_CARTPROJ, 32631, &table));
  EXPECT_EQ(crs_utm_from_lonlat(wgs84, paris, &utm), table);
}

}  // namespace
