// The datum path search, the composition of transformations along a path, and the
// conversion steps built from them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small world: the reference datum R (214) and datums on one ellipsoid, joined as each
// test needs.
struct world {
  ellipsoid_t* ell = nullptr;
  pmeridian_t* greenwich = nullptr;
  geodatum_t* ref = nullptr;
};

world make_world() {
  tm_test::fresh_geodesy_store();
  world w;
  ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, 0, 34, &w.ell);
  pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &w.greenwich);
  geodatum_create("R", w.ell, ANG_DEGREE, w.greenwich, nullptr, kRefDatumCode, &w.ref);
  geo_init_ref_datum();
  return w;
}

geodatum_t* datum(const world& w, const char* name, int code, pmeridian_t* m = nullptr,
                  int unit = ANG_DEGREE) {
  geodatum_t* d = nullptr;
  geodatum_create(name, w.ell, unit, m ? m : w.greenwich, nullptr, code, &d);
  return d;
}

geocentric_t* shift(geodatum_t* from, geodatum_t* to, int file_type, std::initializer_list<double> p,
                    int weight, int code) {
  double params[10] = {};
  int i = 0;
  for (double v : p) params[i++] = v;
  geocentric_t* t = nullptr;
  datumtrans_create(from, to, file_type, params, LEN_METRE, ANG_RADIAN, 0, weight, code, &t);
  return t;
}

TEST(DatumPath, ThroughAThirdDatumComposesAndCaches) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* b = datum(w, "B", 1002);
  shift(a, w.ref, DT_FILE_THREE, {1, 2, 3}, 10, 5001);
  shift(w.ref, b, DT_FILE_SEVEN, {10, 20, 30, 1e-6, 2e-6, 3e-6, 4e-6}, 20, 5002);
  geocentric_t* t = nullptr;
  int cost = 0;
  ASSERT_EQ(geo_datum_path(a, b, &t, &cost), 1);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(val(t->datumd), a);
  EXPECT_EQ(val(t->datuma), b);
  EXPECT_EQ(val(t->trsftype), TRSF_SHIFT7);  // the larger kind
  EXPECT_EQ(val(t->weight), 29);
  EXPECT_EQ(cost, 29);
  EXPECT_DOUBLE_EQ(val(t->tx), 11.0);
  EXPECT_DOUBLE_EQ(val(t->ty), 22.0);
  EXPECT_DOUBLE_EQ(val(t->tz), 33.0);
  EXPECT_DOUBLE_EQ(val(t->epsilonx), 1e-6);
  EXPECT_DOUBLE_EQ(val(t->de), 4e-6);
  // Asked again: the new transformation is a direct edge, one cheaper than the path.
  geocentric_t* again = nullptr;
  int cost2 = 0;
  ASSERT_EQ(geo_datum_path(a, b, &again, &cost2), 1);
  EXPECT_EQ(again, t);
  EXPECT_EQ(cost2, 29);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST(DatumPath, ArrivingTransformationIsTakenBackwards) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* b = datum(w, "B", 1002);
  geocentric_t* ar = shift(a, w.ref, DT_FILE_THREE, {100, 0, -50}, 5, 5001);
  geocentric_t* br = shift(b, w.ref, DT_FILE_THREE, {30, 20, 10}, 5, 5002);
  geocentric_t* t = nullptr;
  ASSERT_EQ(geo_datum_path(a, b, &t, nullptr), 1);
  // A -> R, then the inverse of B -> R.
  EXPECT_DOUBLE_EQ(val(t->tx), 70.0);
  EXPECT_DOUBLE_EQ(val(t->ty), -20.0);
  EXPECT_DOUBLE_EQ(val(t->tz), -60.0);
  EXPECT_NE(val(br->inverse), nullptr);
  // One edge: the answer is the transformation itself, or its inverse.
  geocentric_t* direct = nullptr;
  int cost = 0;
  ASSERT_EQ(geo_datum_path(a, w.ref, &direct, &cost), 1);
  EXPECT_EQ(direct, ar);
  EXPECT_EQ(cost, 5);
  ASSERT_EQ(geo_datum_path(w.ref, a, &direct, &cost), 1);
  EXPECT_EQ(direct, val(ar->inverse));
  EXPECT_EQ(geo_datum_path(a, b, nullptr, nullptr), 1);
}

// The answer for two datums depends on the transformations of the tables only, never
// on the searches made before: a transformation composed for an earlier answer is not
// an edge one cheaper than its path (two of them would beat this cheaper path).
TEST(DatumPath, AnswerDoesNotDependOnEarlierSearches) {
  struct datums {
    geodatum_t *a, *b, *c, *s, *y;
  };
  using query = std::pair<int, int>;  // indexes into {a, b, c}
  const std::vector<query> earlier[] = {
      {}, {{0, 1}}, {{0, 1}, {1, 2}}, {{1, 2}, {0, 1}, {2, 0}}, {{2, 0}, {0, 2}}};
  for (const auto& queries : earlier) {
    world w = make_world();
    datums d{datum(w, "A", 1001), datum(w, "B", 1002), datum(w, "C", 1003),
             datum(w, "S", 1004), datum(w, "Y", 1005)};
    shift(d.a, w.ref, DT_FILE_THREE, {1, 0, 0}, 10, 5001);    // A - R - B: 30
    shift(w.ref, d.b, DT_FILE_THREE, {0, 1, 0}, 20, 5002);
    shift(d.b, d.s, DT_FILE_THREE, {0, 0, 1}, 10, 5003);      // B - S - C: 30
    shift(d.s, d.c, DT_FILE_THREE, {10, 0, 0}, 20, 5004);
    shift(d.a, d.y, DT_FILE_THREE, {100, 0, 0}, 30, 5005);    // A - Y - C: 59
    shift(d.y, d.c, DT_FILE_THREE, {0, 100, 0}, 29, 5006);
    geodatum_t* by_index[] = {d.a, d.b, d.c};
    for (const query& q : queries) {
      geocentric_t* t = nullptr;
      ASSERT_EQ(geo_datum_path(by_index[q.first], by_index[q.second], &t, nullptr), 1);
    }
    geocentric_t* t = nullptr;
    int cost = 0;
    ASSERT_EQ(geo_datum_path(d.a, d.c, &t, &cost), 1) << queries.size() << " searches before";
    EXPECT_EQ(cost, 58) << queries.size() << " searches before";
    EXPECT_DOUBLE_EQ(val(t->tx), 100.0) << queries.size() << " searches before";
    EXPECT_DOUBLE_EQ(val(t->ty), 100.0);
    EXPECT_DOUBLE_EQ(val(t->tz), 0.0);
  }
}

// Two transformations of equal weight join the same datums: the choice between them
// stays the same whichever inverses other lookups made in between.
TEST(DatumPath, InversesMadeElsewhereDoNotChangeTheChoice) {
  for (int made = 0; made < 4; ++made) {
    world w = make_world();
    geodatum_t* a = datum(w, "A", 1001);
    geocentric_t* first = shift(a, w.ref, DT_FILE_THREE, {1, 0, 0}, 5, 5001);
    geocentric_t* second = shift(a, w.ref, DT_FILE_THREE, {2, 0, 0}, 5, 5002);
    geocentric_t* inv = nullptr;
    if (made & 1) datumtrans_inverse(second, &inv);
    if (made & 2) datumtrans_inverse(first, &inv);
    geocentric_t* t = nullptr;
    ASSERT_EQ(geo_datum_path(a, w.ref, &t, nullptr), 1);
    EXPECT_EQ(t, first) << "inverses made: " << made;
    ASSERT_EQ(geo_datum_path(w.ref, a, &t, nullptr), 1);
    EXPECT_EQ(t, val(first->inverse)) << "inverses made: " << made;
  }
}

// The searches read the transformations of the tables and never write them: a record
// a drawing thread may be applying keeps its parameters bit for bit, its inverse too.
TEST(DatumPath, SearchesNeverRewriteTheTables) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* b = datum(w, "B", 1002);
  geocentric_t* ar = shift(a, w.ref, DT_FILE_SEVEN,
                           {446.448, -125.157, 542.06, 7.3e-7, 1.2e-6, 4.1e-6, -20.489e-6},
                           2, 5001);
  shift(b, w.ref, DT_FILE_SEVEN, {-87, -98, -121, 5.8e-6, -1.2e-5, 1.5e-5, 8.5e-6}, 2, 5002);
  geocentric_t* inv = nullptr;
  ASSERT_NE(datumtrans_inverse(ar, &inv), nullptr);
  auto params = [](const geocentric_t* t) {
    return std::vector<double>{t->tx,       t->ty,       t->tz, t->epsilonx,
                               t->epsilony, t->epsilonz, t->de};
  };
  const std::vector<double> before = params(ar), inverse_before = params(inv);
  const std::pair<geodatum_t*, geodatum_t*> queries[] = {
      {w.ref, a}, {a, w.ref}, {a, b}, {b, a}, {w.ref, a}, {a, w.ref}};
  for (const auto& q : queries) {
    geocentric_t* t = nullptr;
    ASSERT_EQ(geo_datum_path(q.first, q.second, &t, nullptr), 1);
  }
  const std::vector<double> after = params(ar), inverse_after = params(inv);
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(std::memcmp(&after[i], &before[i], sizeof(double)), 0) << "field " << i;
    EXPECT_EQ(std::memcmp(&inverse_after[i], &inverse_before[i], sizeof(double)), 0)
        << "inverse field " << i;
  }
}

// A transformation composed for a path is given back while that path is the best; a
// cheaper path made later gives its own composition.
TEST(DatumPath, ComposedAnswerFollowsTheTables) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* b = datum(w, "B", 1002);
  geodatum_t* x = datum(w, "X", 1003);
  shift(a, w.ref, DT_FILE_THREE, {1, 0, 0}, 10, 5001);
  shift(w.ref, b, DT_FILE_THREE, {0, 1, 0}, 20, 5002);
  geocentric_t* through_ref = nullptr;
  ASSERT_EQ(geo_datum_path(a, b, &through_ref, nullptr), 1);
  shift(a, x, DT_FILE_THREE, {0, 0, 5}, 1, 5003);
  shift(x, b, DT_FILE_THREE, {0, 0, 6}, 1, 5004);
  geocentric_t* t = nullptr;
  int cost = 0;
  ASSERT_EQ(geo_datum_path(a, b, &t, &cost), 1);
  EXPECT_NE(t, through_ref);
  EXPECT_EQ(cost, 1);
  EXPECT_DOUBLE_EQ(val(t->tx), 0.0);
  EXPECT_DOUBLE_EQ(val(t->tz), 11.0);
  geocentric_t* again = nullptr;
  ASSERT_EQ(geo_datum_path(a, b, &again, nullptr), 1);
  EXPECT_EQ(again, t);
}

TEST(DatumPath, CheapestPathWins) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* b = datum(w, "B", 1002);
  shift(a, b, DT_FILE_THREE, {1, 1, 1}, 50, 5001);      // direct but dear
  shift(a, w.ref, DT_FILE_THREE, {2, 0, 0}, 10, 5002);  // round about, cheaper
  shift(w.ref, b, DT_FILE_THREE, {0, 3, 0}, 10, 5003);
  geocentric_t* t = nullptr;
  int cost = 0;
  ASSERT_EQ(geo_datum_path(a, b, &t, &cost), 1);
  EXPECT_EQ(cost, 19);
  EXPECT_DOUBLE_EQ(val(t->tx), 2.0);
  EXPECT_DOUBLE_EQ(val(t->ty), 3.0);
}

// A prime-meridian shift composed with geocentric shifts adds no radians to metres:
// the geocentric steps already see both datums from Greenwich.
TEST(DatumPath, MeridianShiftInAGeocentricPathAddsNoRadians) {
  world w = make_world();
  pmeridian_t* paris = nullptr;
  pmeridian_create("Paris", 2.5969213, ANG_GRAD, 8903, &paris);
  geodatum_t* ntf_paris = datum(w, "NTF (Paris)", 6807, paris, ANG_GRAD);
  geodatum_t* ntf = datum(w, "NTF", 6275);
  geocentric_t* m = nullptr;
  datumtrans_create(ntf_paris, ntf, DT_FILE_MERIDIAN, nullptr, 0, 0, 0, 1, 1763, &m);
  shift(ntf, w.ref, DT_FILE_THREE, {-168, -60, 320}, 2, 1193);
  const struct {
    geodatum_t* from;
    geodatum_t* to;
    double tx;
  } cases[] = {{ntf_paris, w.ref, -168.0}, {w.ref, ntf_paris, 168.0}};
  for (const auto& c : cases) {
    geocentric_t* t = nullptr;
    ASSERT_EQ(geo_datum_path(c.from, c.to, &t, nullptr), 1);
    EXPECT_EQ(val(t->trsftype), TRSF_SHIFT3);
    EXPECT_DOUBLE_EQ(val(t->tx), c.tx);
  }
  // The conversion of a point: grads from Paris to degrees from Greenwich.
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int n = 0;
  ASSERT_EQ(georef_chain_build(ntf_paris, w.ref, nullptr, nullptr, kinds, steps, &n), 0);
  ASSERT_EQ(n, 3);
  double x = 0.0, y = 50.0, z = 0.0;
  for (int i = 0; i < n; ++i) xform_forward(steps[i], kinds[i], &x, &y, &z);
  // The same place given in degrees from Greenwich on NTF.
  double ex = 2.5969213 * 0.9, ey = 45.0, ez = 0.0;
  ASSERT_EQ(georef_chain_build(ntf, w.ref, nullptr, nullptr, kinds, steps, &n), 0);
  for (int i = 0; i < n; ++i) xform_forward(steps[i], kinds[i], &ex, &ey, &ez);
  EXPECT_NEAR(x, ex, 1e-12);
  EXPECT_NEAR(y, ey, 1e-12);
  EXPECT_NEAR(z, ez, 1e-6);
}

// A path of meridian shifts alone stays a meridian shift, in radians between the units
// of its two end datums.
TEST(DatumPath, MeridianShiftsComposeIntoOne) {
  world w = make_world();
  pmeridian_t *paris = nullptr, *rome = nullptr;
  pmeridian_create("Paris", 2.5969213, ANG_GRAD, 8903, &paris);
  pmeridian_create("Rome", 12.452333333333334, ANG_DEGREE, 8906, &rome);
  geodatum_t* p = datum(w, "P", 2001, paris, ANG_GRAD);
  geodatum_t* g = datum(w, "G", 2002);
  geodatum_t* r = datum(w, "Ro", 2003, rome, ANG_DEGREE);
  geocentric_t* t = nullptr;
  datumtrans_create(p, g, DT_FILE_MERIDIAN, nullptr, 0, 0, 0, 1, 3001, &t);
  datumtrans_create(r, g, DT_FILE_MERIDIAN, nullptr, 0, 0, 0, 1, 3002, &t);
  ASSERT_EQ(geo_datum_path(p, r, &t, nullptr), 1);
  EXPECT_EQ(val(t->trsftype), TRSF_MERIDIAN_SHIFT);
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int n = 0;
  ASSERT_EQ(georef_chain_build(p, r, nullptr, nullptr, kinds, steps, &n), 0);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(kinds[0], XK_MERIDIAN_SHIFT);
  double x = 10.0, y = 50.0, z = 0.0;  // grads east of Paris
  xform_forward(steps[0], kinds[0], &x, &y, &z);
  EXPECT_NEAR(x, 9.0 + 2.5969213 * 0.9 - 12.452333333333334, 1e-9);  // degrees east of Rome
  EXPECT_NEAR(y, 45.0, 1e-9);
}

TEST(DatumPath, ComposeNeedsMeetingTransformations) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* b = datum(w, "B", 1002);
  geocentric_t* ab = shift(a, b, DT_FILE_THREE, {1, 2, 3}, 1, 5001);
  geocentric_t acc{};
  acc.datumd = w.ref;
  acc.datuma = w.ref;
  EXPECT_EQ(datumtrans_compose(&acc, ab), ERR_GEOGRAPHIC);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  EXPECT_EQ(val(acc.datuma), w.ref);
  set_gblerr(0);
}

// Datum codes index nothing: a negative or huge code neither reaches outside the
// search's arrays nor sizes them.
TEST(DatumPath, NegativeAndHugeCodes) {
  world w = make_world();
  const int codes[][2] = {{-7, 1001}, {INT_MAX - 1, -3}, {INT_MAX, 1001}, {-2000000000, INT_MAX - 5}};
  int next = 7000;
  for (const auto& c : codes) {
    geodatum_t* a = datum(w, "A", c[0]);
    geodatum_t* b = datum(w, "B", c[1]);
    shift(a, w.ref, DT_FILE_THREE, {1, 0, 0}, 3, next++);
    shift(b, w.ref, DT_FILE_THREE, {0, 1, 0}, 4, next++);
    geocentric_t* t = nullptr;
    int cost = 0;
    ASSERT_EQ(geo_datum_path(a, b, &t, &cost), 1) << c[0] << " to " << c[1];
    EXPECT_DOUBLE_EQ(val(t->tx), 1.0);
    EXPECT_DOUBLE_EQ(val(t->ty), -1.0);
    EXPECT_EQ(cost, 6);
  }
}

// Weights read from a file may be as large as an int holds: a path's cost and the
// weight of its composition stay within an int.
TEST(DatumPath, WeightsNearTheLimitsOfAnInt) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", INT_MAX);  // a huge code makes room for huge costs
  geodatum_t* b = datum(w, "B", 1002);
  shift(a, w.ref, DT_FILE_THREE, {1, 0, 0}, INT_MAX - 5, 5001);
  shift(w.ref, b, DT_FILE_THREE, {0, 1, 0}, INT_MAX - 7, 5002);
  geocentric_t* t = nullptr;
  int cost = 0;
  ASSERT_EQ(geo_datum_path(a, b, &t, &cost), 1);
  EXPECT_EQ(cost, INT_MAX - 1);
  EXPECT_DOUBLE_EQ(val(t->tx), 1.0);
  EXPECT_DOUBLE_EQ(val(t->ty), 1.0);
  geocentric_t acc{};
  acc.datumd = a;
  acc.datuma = a;
  acc.weight = INT_MIN + 3;
  geocentric_t* negative = shift(a, b, DT_FILE_THREE, {0, 0, 0}, -100, 5003);
  ASSERT_EQ(datumtrans_compose(&acc, negative), 0);
  EXPECT_EQ(val(acc.weight), INT_MIN + 1);
}

TEST(DatumPath, NoPath) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* island = datum(w, "Island", 1002);
  shift(a, w.ref, DT_FILE_THREE, {1, 0, 0}, 3, 5001);
  geocentric_t* t = reinterpret_cast<geocentric_t*>(&w);
  EXPECT_EQ(geo_datum_path(a, island, &t, nullptr), 0);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(geo_datum_path(nullptr, a, &t, nullptr), 0);
  EXPECT_EQ(get_gblerr(), 0);  // the search itself sets no error
  int kinds[kMaxConversionSteps];
  obj_t* steps[kMaxConversionSteps];
  int n = 99;
  EXPECT_EQ(georef_chain_build(a, island, nullptr, nullptr, kinds, steps, &n), ERR_GEOGRAPHIC);
  EXPECT_EQ(n, 0);
  set_gblerr(0);
  // A transformation that lost its other datum ends the search.
  geocentric_t* broken = shift(a, nullptr, DT_FILE_THREE, {1, 0, 0}, 1, 5002);
  ASSERT_NE(broken, nullptr);
  EXPECT_EQ(geo_datum_path(w.ref, a, &t, nullptr), 0);
}

// ---- Conversion steps -------------------------------------------------------------------

cartproj_t* utm31(geodatum_t* d, int code) {
  const double p[8] = {3.0, 0.0, 0.9996, 500000.0, 0.0};
  cartproj_t* proj = nullptr;
  proj_create("UTM 31N", 1, p, LEN_METRE, ANG_DEGREE, d, code, &proj);
  return proj;
}

TEST(ConversionSteps, KindsOfEachShape) {
  world w = make_world();
  geodatum_t* other = datum(w, "Other", 1001);
  shift(other, w.ref, DT_FILE_THREE, {1, 2, 3}, 3, 5001);
  pmeridian_t* paris = nullptr;
  pmeridian_create("Paris", 2.5969213, ANG_GRAD, 8903, &paris);
  geodatum_t* meridian_only = datum(w, "Paris datum", 1002, paris, ANG_GRAD);
  geocentric_t* m = nullptr;
  datumtrans_create(meridian_only, w.ref, DT_FILE_MERIDIAN, nullptr, 0, 0, 0, 1, 5002, &m);
  geodatum_t* same_as_ref = datum(w, "Alias of R", 1003);
  shift(same_as_ref, w.ref, DT_FILE_IDENTITY, {}, 1, 5003);
  cartproj_t* utm = utm31(w.ref, 32631);
  ASSERT_NE(utm, nullptr);
  const double none[8] = {};
  cartproj_t* passthrough = nullptr;  // kind 0: coordinates pass unchanged
  proj_create("None", 0, none, LEN_METRE, ANG_DEGREE, w.ref, 9999, &passthrough);
  ASSERT_NE(passthrough, nullptr);
  const struct {
    geodatum_t* ds;
    geodatum_t* dt;
    cartproj_t* ps;
    cartproj_t* pt;
    std::vector<int> kinds;
  } cases[] = {
      {w.ref, w.ref, utm, nullptr, {26}},
      {w.ref, other, utm, nullptr, {26, 11, 8, 12}},
      {other, w.ref, nullptr, utm, {11, 8, 12, 16}},
      {w.ref, w.ref, nullptr, nullptr, {}},
      {meridian_only, w.ref, nullptr, nullptr, {7}},
      {same_as_ref, w.ref, nullptr, utm, {16}},
      {other, other, utm, utm, {26, 16}},
      // A projection without formula contributes the identity, never another family's
      // kind (its transform kind 0 plus 10 would be a ten-parameter shift).
      {w.ref, w.ref, passthrough, utm, {0, 16}},
  };
  for (const auto& c : cases) {
    int kinds[kMaxConversionSteps];
    obj_t* steps[kMaxConversionSteps];
    int n = -1;
    EXPECT_EQ(georef_chain_build(c.ds, c.dt, c.ps, c.pt, kinds, steps, &n), 0);
    EXPECT_EQ(std::vector<int>(kinds, kinds + n), c.kinds);
    int cls = 0;
    georef_chain_class(c.ds, c.dt, c.ps, c.pt, &cls);
    EXPECT_GE(cls, n);
  }
}

// A shift whose parameters are all zero moves no point when the two datums share their
// ellipsoid (to 1 mm: GRS 80 beside WGS 84), prime meridian and angular unit: the chain
// then goes without the geocentric steps. Any difference keeps them.
TEST(ConversionSteps, ZeroShiftOnTheSameEllipsoidNeedsNoSteps) {
  world w = make_world();
  ellipsoid_t *grs80 = nullptr, *clarke = nullptr;
  ellipsoid_create("GRS 1980", 6378137.0, 298.257222101, 0.0, 0, 7019, &grs80);
  ellipsoid_create("Clarke 1880", 6378249.145, 293.465, 0.0, 0, 7012, &clarke);
  pmeridian_t* paris = nullptr;
  pmeridian_create("Paris", 2.5969213, ANG_GRAD, 8903, &paris);
  geodatum_t *same = nullptr, *grs = nullptr, *other_ellipsoid = nullptr, *other_meridian = nullptr,
             *other_unit = nullptr, *shifted = nullptr;
  geodatum_create("Same", w.ell, ANG_DEGREE, w.greenwich, nullptr, 1001, &same);
  geodatum_create("GRS", grs80, ANG_DEGREE, w.greenwich, nullptr, 1002, &grs);
  geodatum_create("Clarke", clarke, ANG_DEGREE, w.greenwich, nullptr, 1003, &other_ellipsoid);
  geodatum_create("Paris", w.ell, ANG_DEGREE, paris, nullptr, 1004, &other_meridian);
  geodatum_create("Grads", w.ell, ANG_GRAD, w.greenwich, nullptr, 1005, &other_unit);
  geodatum_create("Shifted", grs80, ANG_DEGREE, w.greenwich, nullptr, 1006, &shifted);
  shift(same, w.ref, DT_FILE_THREE, {0, 0, 0}, 1, 5001);
  shift(grs, w.ref, DT_FILE_SEVEN, {0, 0, 0, 0, 0, 0, 0}, 1, 5002);
  shift(other_ellipsoid, w.ref, DT_FILE_THREE, {0, 0, 0}, 1, 5003);
  shift(other_meridian, w.ref, DT_FILE_THREE, {0, 0, 0}, 1, 5004);
  shift(other_unit, w.ref, DT_FILE_THREE, {0, 0, 0}, 1, 5005);
  shift(shifted, w.ref, DT_FILE_THREE, {0, 0, 0.001}, 1, 5006);
  const struct {
    geodatum_t* from;
    geodatum_t* to;
    size_t steps;
  } cases[] = {
      {same, w.ref, 0},           {w.ref, same, 0},
      {grs, w.ref, 0},            {w.ref, grs, 0},
      {grs, same, 0},             // composed through the reference: still zero
      {other_ellipsoid, w.ref, 3}, {other_meridian, w.ref, 3},
      {other_unit, w.ref, 3},     {shifted, w.ref, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from->name) + " to " + c.to->name);
    int kinds[kMaxConversionSteps];
    obj_t* steps[kMaxConversionSteps];
    int n = -1;
    ASSERT_EQ(georef_chain_build(c.from, c.to, nullptr, nullptr, kinds, steps, &n), 0);
    EXPECT_EQ(size_t(n), c.steps);
    double x = 2.5, y = 48.5, z = 100.0;
    for (int i = 0; i < n; ++i) xform_forward(steps[i], kinds[i], &x, &y, &z);
    if (c.steps) {
      EXPECT_TRUE(x != 2.5 || y != 48.5 || std::fabs(z - 100.0) > 1e-4);
      continue;
    }
    EXPECT_EQ(x, 2.5);
    EXPECT_EQ(y, 48.5);
    EXPECT_EQ(z, 100.0);
    // Through geocentric coordinates the point would have stayed within 1 mm.
    double gx = 2.5, gy = 48.5, gz = 100.0;
    xform_forward(c.from, XK_TO_GEOCENTRIC, &gx, &gy, &gz);
    xform_forward(c.to, XK_TO_GEODETIC, &gx, &gy, &gz);
    EXPECT_LT(std::fabs(gx - 2.5) * kPi / 180 * 6.4e6, 0.001);
    EXPECT_LT(std::fabs(gy - 48.5) * kPi / 180 * 6.4e6, 0.001);
    EXPECT_LT(std::fabs(gz - 100.0), 0.001);
  }
}

TEST(ConversionSteps, ChainToReference) {
  world w = make_world();
  geodatum_t* other = datum(w, "Other", 1001);
  shift(other, w.ref, DT_FILE_THREE, {0, 100, 0}, 3, 5001);
  cartproj_t* utm = utm31(other, 32631);
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC);
  EXPECT_EQ(val(g->datum), w.ref);
  xform_chain_t* chain = reinterpret_cast<xform_chain_t*>(&w);
  EXPECT_EQ(georef_chain_to_ref(g, &chain), nullptr);  // nothing to do
  EXPECT_EQ(chain, nullptr);
  // Projected on another datum, in kilometres: unit step, then five steps at most.
  g->refertype = GEOREF_PROJECTED;
  g->datum = other;
  g->projection = utm;
  g->unit = LEN_KILOMETRE;
  ASSERT_EQ(georef_unit_step(g), 0);
  ASSERT_EQ(georef_chain_to_ref(g, &chain), chain);
  ASSERT_NE(chain, nullptr);
  ASSERT_EQ(xform_step_count(chain), 5);
  const int want[] = {XK_SCALE, 26, 11, 8, 12};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(xform_chain_kind_at(chain, i), want[i]);
  double x = 500.0, y = 0.0, z = 0.0;  // km: the origin of the zone
  xform_chain_forward(chain, &x, &y, &z);
  EXPECT_NEAR(y, 0.0, 1e-6);
  EXPECT_GT(x, 3.0);  // moved east by the 100 m of the shift along Y
  EXPECT_LT(x, 3.01);
  free_obj(&chain);
  // Projected without projection.
  g->projection = nullptr;
  EXPECT_EQ(georef_chain_to_ref(g, &chain), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  set_gblerr(0);
  free_obj(&g);
}

TEST(ConversionSteps, Convertible) {
  world w = make_world();
  geodatum_t* a = datum(w, "A", 1001);
  geodatum_t* island = datum(w, "Island", 1002);
  shift(a, w.ref, DT_FILE_THREE, {1, 0, 0}, 3, 5001);
  georef_t *ga = nullptr, *gb = nullptr;
  georef_create(nullptr, &ga);
  georef_create(nullptr, &gb);
  EXPECT_EQ(georef_convertible(ga, gb), 1);
  ga->datum = a;
  EXPECT_EQ(georef_convertible(ga, gb), 1);
  gb->datum = island;
  EXPECT_EQ(georef_convertible(ga, gb), 0);
  EXPECT_EQ(georef_convertible(ga, nullptr), 0);
  EXPECT_EQ(get_gblerr(), 0);
  free_obj(&ga);
  free_obj(&gb);
}

}  // namespace
