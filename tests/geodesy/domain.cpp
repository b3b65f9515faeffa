// Domains of coordinate systems, validity boxes of projections, and extents carried
// from one system to another.
#include <gtest/gtest.h>

#include <cmath>

#include "geodesy/domain.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

struct world {
  ellipsoid_t* ell = nullptr;
  pmeridian_t* greenwich = nullptr;
  geodatum_t* ref = nullptr;
  geodatum_t* other = nullptr;   // a three-translation shift from ref
  geodatum_t* island = nullptr;  // joined to nothing
};

world make_world() {
  tm_test::fresh_geodesy_store();
  world w;
  ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, 0, 34, &w.ell);
  pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &w.greenwich);
  geodatum_create("R", w.ell, ANG_DEGREE, w.greenwich, nullptr, kRefDatumCode, &w.ref);
  geodatum_create("Other", w.ell, ANG_DEGREE, w.greenwich, nullptr, 1001, &w.other);
  geodatum_create("Island", w.ell, ANG_DEGREE, w.greenwich, nullptr, 1002, &w.island);
  const double p[10] = {100.0, -50.0, 20.0};
  geocentric_t* t = nullptr;
  datumtrans_create(w.other, w.ref, DT_FILE_THREE, p, 0, 0, 0, 3, 5001, &t);
  geo_init_ref_datum();
  return w;
}

cartproj_t* projection(geodatum_t* d, int kind, std::initializer_list<double> params,
                       int code) {
  double p[8] = {};
  int i = 0;
  for (double v : params) p[i++] = v;
  cartproj_t* out = nullptr;
  proj_create("test", kind, p, LEN_METRE, ANG_DEGREE, d, code, &out);
  EXPECT_NE(out, nullptr) << "kind " << kind;
  return out;
}

struct xy {
  double x, y;
};

xy fwd(cartproj_t* p, double lon, double lat) {
  double x = lon, y = lat;
  xform_forward_2d(p, val(p->trsftype), &x, &y);
  return {x, y};
}

void expect_extent(const extent_t& e, double xmin, double xmax, double ymin, double ymax,
                   double tol, const char* what) {
  EXPECT_NEAR(e.xmin, xmin, tol) << what;
  EXPECT_NEAR(e.xmax, xmax, tol) << what;
  EXPECT_NEAR(e.ymin, ymin, tol) << what;
  EXPECT_NEAR(e.ymax, ymax, tol) << what;
}

TEST(Domain, GeographicGeorefs) {
  make_world();
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  extent_t e{};
  ASSERT_EQ(crs_domain_extent(g, &e), 0);
  expect_extent(e, -180, 180, -90, 90, 1e-12, "degrees");
  // A georef in grads on a datum in degrees: the domain in its own units.
  g->unit = ANG_GRAD;
  ASSERT_EQ(georef_unit_step(g), 0);
  ASSERT_EQ(georef_domain_extent(g, &e), 0);
  expect_extent(e, -200, 200, -100, 100, 1e-9, "grads");
  g->refertype = GEOREF_NONE;
  e = {1, 2, 3, 4, 5};
  EXPECT_EQ(crs_domain_extent(g, &e), 0);
  EXPECT_TRUE(extent_is_null(e));
  free_obj(&g);
}

TEST(Domain, ProjectionsByKind) {
  world w = make_world();
  cartproj_t* utm = nullptr;
  crs_name_utm(w.ref, 31, 0, &utm);
  ASSERT_NE(utm, nullptr);
  cartproj_t* lcc = projection(w.ref, 8, {3, 46.5, 1, 700000, 6600000, 49, 44}, 9001);
  cartproj_t* polar = projection(w.ref, 15, {0, 90, 0.994, 2000000, 2000000}, 9002);
  cartproj_t* mercator = projection(w.ref, 7, {10, 0, 1, 0, 0}, 9003);
  cartproj_t* plate = projection(w.ref, 17, {0, 0, 1, 0, 0}, 9004);
  extent_t e{};
  // UTM: the band's edges on the central meridian give the height, the equator 45
  // degrees either side the width (the far side of the central meridian would give none).
  ASSERT_EQ(proj_domain_extent(utm, &e), 0);
  const xy top = fwd(utm, 3.0, 80.0), bottom = fwd(utm, 3.0, -80.0);
  const xy left = fwd(utm, 3.0 - 45.0, 0.0), right = fwd(utm, 3.0 + 45.0, 0.0);
  expect_extent(e, left.x, right.x, bottom.y, top.y, 1e-6, "utm");
  EXPECT_NEAR(right.x - 500000.0, 500000.0 - left.x, 1e-6);
  EXPECT_GT(right.x - left.x, 10e6);
  // Mercator: the same band, with its own formula.
  ASSERT_EQ(proj_domain_extent(mercator, &e), 0);
  const xy m1 = fwd(mercator, 10.0 - 180.0, 80.0), m2 = fwd(mercator, 10.0 + 180.0, -80.0);
  expect_extent(e, m1.x, m2.x, m2.y, m1.y, 1e-6, "mercator");
  EXPECT_NEAR(e.ymax, -e.ymin, 1e-6);
  // Lambert: the apex and the origin meridian on the equator give the height, the
  // equator a quarter turn either side the width.
  ASSERT_EQ(proj_domain_extent(lcc, &e), 0);
  const xy apex = fwd(lcc, 0.0, 90.0), foot = fwd(lcc, 3.0, 0.0);
  const xy west = fwd(lcc, 3.0 - 90.0, 0.0), east = fwd(lcc, 3.0 + 90.0, 0.0);
  expect_extent(e, west.x, east.x, foot.y, apex.y, 1e-6, "lcc");
  EXPECT_NEAR(apex.x, 700000.0, 1e-6);
  // Polar: the equator at four longitudes.
  ASSERT_EQ(proj_domain_extent(polar, &e), 0);
  const xy q0 = fwd(polar, 0, 0), q1 = fwd(polar, 180, 0), q2 = fwd(polar, 90, 0),
           q3 = fwd(polar, -90, 0);
  expect_extent(e, std::fmin(std::fmin(q0.x, q1.x), std::fmin(q2.x, q3.x)),
                std::fmax(std::fmax(q0.x, q1.x), std::fmax(q2.x, q3.x)),
                std::fmin(std::fmin(q0.y, q1.y), std::fmin(q2.y, q3.y)),
                std::fmax(std::fmax(q0.y, q1.y), std::fmax(q2.y, q3.y)), 1e-6, "polar");
  // Plate carree: no routine runs, no error.
  e = {1, 2, 3, 4, 5};
  ASSERT_EQ(proj_domain_extent(plate, &e), 0);
  EXPECT_TRUE(extent_is_null(e));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST(Domain, KindsWithoutDomainOrBox) {
  world w = make_world();
  // Both oblique Mercators have transform kind 22.
  cartproj_t* hotine = projection(w.ref, 3, {7.44, 46.95, 1, 600000, 200000, 80, 80}, 9005);
  cartproj_t* grid = projection(w.ref, 30, {7.44, 46.95, 1, 600000, 200000, 80, 80}, 9006);
  for (cartproj_t* p : {hotine, grid}) {
    ASSERT_NE(p, nullptr);
    extent_t e{1, 2, 3, 4, 5};
    set_gblerr(0);
    EXPECT_EQ(proj_domain_extent(p, &e), ERR_VALUE);
    EXPECT_TRUE(extent_is_null(e));
    e = {1, 2, 3, 4, 5};
    set_gblerr(0);
    EXPECT_EQ(proj_validity_box(p, ANG_DEGREE, &e), ERR_VALUE);
    EXPECT_TRUE(extent_is_null(e));
  }
  set_gblerr(0);
  extent_t e{};
  EXPECT_EQ(proj_domain_extent(nullptr, &e), ERR_VALUE);
  set_gblerr(0);
}

TEST(ValidityBox, ByKindInTheDatumUnit) {
  world w = make_world();
  cartproj_t* south_lcc = projection(w.ref, 9, {20, -30, 1, 0, 0}, 9011);
  cartproj_t* north_lcc = projection(w.ref, 9, {20, 30, 1, 0, 0}, 9012);
  cartproj_t* polar = projection(w.ref, 15, {0, -90, 0.994, 0, 0}, 9013);
  cartproj_t* mercator = projection(w.ref, 7, {10, 0, 1, 0, 0}, 9014);
  cartproj_t* tm = projection(w.ref, 1, {-3, 85, 1, 0, 0}, 9015);
  cartproj_t* plate = projection(w.ref, 17, {0, 0, 1, 0, 0}, 9016);
  const struct {
    cartproj_t* p;
    int unit;
    extent_t want;
  } cases[] = {
      {north_lcc, ANG_DEGREE, {-70, 110, 0, 90, 0}},
      {south_lcc, ANG_DEGREE, {-70, 110, -90, 0, 0}},
      {north_lcc, ANG_GRAD, {-70 / 0.9, 110 / 0.9, 0, 100, 0}},
      {polar, ANG_DEGREE, {-180, 180, -90, 0, 0}},
      {mercator, ANG_DEGREE, {-170, 190, -80, 80, 0}},
      {tm, ANG_DEGREE, {-183, 177, 5, 90, 0}},
      {plate, ANG_DEGREE, {-180, 180, -90, 90, 0}},
  };
  for (const auto& c : cases) {
    extent_t e{};
    ASSERT_EQ(proj_validity_box(c.p, c.unit, &e), 0);
    expect_extent(e, c.want.xmin, c.want.xmax, c.want.ymin, c.want.ymax, 1e-9, "box");
  }
}

// The conic's validity box cuts an extent that overlaps it, and leaves one entirely
// outside it as it is.
TEST(TransformExtent, ClippedToTheValidityBox) {
  world w = make_world();
  cartproj_t* lcc = projection(w.ref, 8, {3, 46.5, 1, 700000, 6600000, 49, 44}, 9021);
  const struct {
    extent_t in;
    extent_t carried;  // what is carried through the projection
  } cases[] = {
      {{0, 10, -10, 50, 0}, {0, 10, 0, 50, 0}},
      {{-10, 10, -60, -30, 0}, {-10, 10, -60, -30, 0}},
      {{-100, 10, 40, 50, 0}, {-87, 10, 40, 50, 0}},
  };
  for (const auto& c : cases) {
    extent_t e = c.in;
    ASSERT_EQ(crs_transform_extent(w.ref, w.ref, nullptr, lcc, &e), 0);
    extent_t want = c.carried;
    xform_extent(lcc, 13, 1, &want);
    expect_extent(e, want.xmin, want.xmax, want.ymin, want.ymax, 1e-6, "clipped");
  }
  // A flat extent becomes the cleared extent.
  extent_t flat{3, 3, 45, 45, 0};
  ASSERT_EQ(crs_transform_extent(w.ref, w.ref, nullptr, lcc, &flat), 0);
  EXPECT_TRUE(extent_is_null(flat));
}

TEST(TransformExtent, ThroughADatumChange) {
  world w = make_world();
  cartproj_t* utm = nullptr;
  crs_name_utm(w.other, 31, 0, &utm);
  ASSERT_NE(utm, nullptr);
  // From projected coordinates on one datum to geographic ones on another: inverse
  // projection (mid-points of the sides), then the datum change.
  extent_t e{400000, 600000, 5000000, 5200000, 0};
  ASSERT_EQ(crs_transform_extent(w.other, w.ref, utm, nullptr, &e), 0);
  EXPECT_GT(e.xmin, 1.6);
  EXPECT_LT(e.xmax, 4.4);
  EXPECT_GT(e.ymin, 45.0);
  EXPECT_LT(e.ymax, 47.0);
  // Longitudes straddling 0 go in two pieces, west and east of the meridian, each
  // with the whole latitude range: the result stays where the extent was (the shift
  // moves it by about a thousandth of a degree), never stretched to the equator.
  const extent_t geographic[] = {
      {-2, 3, 44, 49, 0},     // straddling, north
      {-5, 5, -30, -20, 0},   // straddling, south
      {1, 3, 44, 49, 0},      // one side
      {-170, 10, -5, 5, 0},   // straddling, across the equator
  };
  for (const extent_t& in : geographic) {
    extent_t e = in;
    ASSERT_EQ(crs_transform_extent(w.other, w.ref, nullptr, nullptr, &e), 0);
    expect_extent(e, in.xmin, in.xmax, in.ymin, in.ymax, 0.01, "geographic");
  }
  // No path: the error stays and the extent is left on the source datum.
  extent_t lost{400000, 600000, 5000000, 5200000, 0};
  EXPECT_EQ(crs_transform_extent(w.other, w.island, utm, nullptr, &lost), ERR_GEOGRAPHIC);
  EXPECT_GT(lost.xmin, 1.6);
  EXPECT_LT(lost.xmax, 4.4);
  set_gblerr(0);
}

}  // namespace

// A Mercator given by its latitude of true scale has its band centred on the equator,
// not on that latitude (which would reach a pole and make the extent infinite).
TEST(Domain, MercatorByTrueScaleLatitudeIsCentredOnTheEquator) {
  tm_test::fresh_geodesy_store();
  ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
  for (int code : {3994, 3388}) {
    cartproj_t* p = nullptr;
    geo_find_by_code(CLS_CARTPROJ, code, &p);
    ASSERT_NE(p, nullptr) << code;
    extent_t e{};
    ASSERT_EQ(proj_domain_extent(p, &e), 0) << code;
    EXPECT_TRUE(std::isfinite(e.ymin) && std::isfinite(e.ymax)) << code;
    const double false_northing = fwd(p, val(p->lambda0), 0.0).y;
    EXPECT_NEAR(e.ymax - false_northing, false_northing - e.ymin, 1.0) << code;
  }
}
