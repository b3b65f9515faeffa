// Georefs: naming, units and unit steps, comparisons, the link chain from a layer to a
// view (with the view's unit step inverted), the choice of the closest georef, ground
// distances and the plate carree of geographic views.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/obj_list.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct world {
  ellipsoid_t* ell = nullptr;
  geodatum_t* ref = nullptr;
  geodatum_t* other = nullptr;  // three translations from ref, weight 5
  geodatum_t* far = nullptr;    // through other, weight 5 more
  geodatum_t* sphere = nullptr;
  cartproj_t* utm = nullptr;    // on ref, kind 1
  cartproj_t* lcc = nullptr;    // on ref, kind 8
};

world make_world() {
  tm_test::fresh_geodesy_store();
  world w;
  ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, 0, 34, &w.ell);
  ellipsoid_t* ball = nullptr;
  ellipsoid_create("Sphere", 6371000.0, 0.0, 6371000.0, 0, 7035, &ball);
  pmeridian_t* greenwich = nullptr;
  pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
  geodatum_create("WGS 84", w.ell, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &w.ref);
  geodatum_create("Other", w.ell, ANG_DEGREE, greenwich, nullptr, 1001, &w.other);
  geodatum_create("Far", w.ell, ANG_DEGREE, greenwich, nullptr, 1002, &w.far);
  geodatum_create("Ball", ball, ANG_DEGREE, greenwich, nullptr, 1003, &w.sphere);
  const double p1[10] = {100.0, 0.0, 0.0}, p2[10] = {0.0, 50.0, 0.0};
  geocentric_t* t = nullptr;
  datumtrans_create(w.other, w.ref, DT_FILE_THREE, p1, 0, 0, 0, 5, 5001, &t);
  datumtrans_create(w.far, w.other, DT_FILE_THREE, p2, 0, 0, 0, 5, 5002, &t);
  geo_init_ref_datum();
  crs_name_utm(w.ref, 31, 0, &w.utm);
  const double l[8] = {3.0, 46.5, 1.0, 700000.0, 6600000.0, 49.0, 44.0};
  proj_create("WGS 84 / Lambert", 8, l, LEN_METRE, ANG_DEGREE, w.ref, 9001, &w.lcc);
  EXPECT_NE(w.utm, nullptr);
  EXPECT_NE(w.lcc, nullptr);
  return w;
}

georef_t* geographic(geodatum_t* d, int unit) {
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  g->datum = d;
  g->unit = unit;
  return g;
}

georef_t* projected(cartproj_t* p, int unit) {
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  g->refertype = GEOREF_PROJECTED;
  g->projection = p;
  g->datum = val(p->datum);
  g->unit = unit;
  return g;
}

TEST(Georef, NamesUnitsAndComparisons) {
  world w = make_world();
  container_t* list = nullptr;
  obj_list_new(&list);
  georef_t* g = nullptr;
  georef_create(list, &g);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(obj_list_count(list), 1);
  geodatum_t* d = nullptr;
  cartproj_t* p = nullptr;
  EXPECT_EQ(georef_set_by_name(g, "Other", &d, &p), 1);
  EXPECT_EQ(d, w.other);
  EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC);
  EXPECT_EQ(georef_set_by_name(g, "WGS 84 / Lambert", &d, &p), 1);
  EXPECT_EQ(p, w.lcc);
  EXPECT_EQ(val(g->refertype), GEOREF_PROJECTED);
  EXPECT_EQ(val(g->datum), w.ref);
  EXPECT_EQ(georef_set_by_name(g, "Nowhere", &d, &p), 0);
  EXPECT_EQ(get_gblerr(), ERR_VALUE);
  set_gblerr(0);
  EXPECT_EQ(val(g->projection), w.lcc);  // unchanged by a failed name
  // Completeness and comparisons.
  georef_t* h = projected(w.lcc, LEN_METRE);
  EXPECT_EQ(georef_is_complete(g), 1);
  EXPECT_EQ(georef_same_system(g, h), 0);
  EXPECT_EQ(georef_differs(g, h), 0);
  h->unit = LEN_KILOMETRE;
  EXPECT_EQ(georef_same_system(g, h), 0);
  EXPECT_EQ(georef_differs(g, h), 1);
  EXPECT_EQ(georef_differs(g, g), 0);
  EXPECT_EQ(georef_differs(g, nullptr), 1);
  EXPECT_EQ(georef_same_system(nullptr, g), 1);
  h->projection = nullptr;
  EXPECT_EQ(georef_is_complete(h), 0);
  EXPECT_EQ(georef_same_system(g, h), 1);
  // Units: a unit step from kilometres to the projection's metres.
  h->projection = w.lcc;
  ASSERT_EQ(georef_unit_step(h), 0);
  ASSERT_NE(val(h->transfo), nullptr);
  EXPECT_EQ(val(h->transfotype), XK_SCALE);
  EXPECT_EQ(val(h->unit), LEN_METRE);
  double x = 2.0, y = 3.0, z = 0.0;
  xform_forward(val(h->transfo), XK_SCALE, &x, &y, &z);
  EXPECT_DOUBLE_EQ(x, 2000.0);
  georef_set_unit(h, LEN_FOOT);
  georef_reset_unit(h);
  EXPECT_EQ(val(h->unit), LEN_METRE);
  h->projection = nullptr;
  h->unit = LEN_FOOT;
  EXPECT_EQ(georef_unit_step(h), ERR_GEOGRAPHIC);
  set_gblerr(0);
  // A copy owns a copy of the unit step.
  h->projection = w.lcc;
  georef_t* copy = nullptr;
  obj_new_registered(CLS_GEOREF, &copy);
  obj_copy(h, copy);
  EXPECT_NE(val(copy->transfo), val(h->transfo));
  free_obj(&copy);
  free_obj(&h);
  obj_list_free_elements(list);
  free_obj(&list);
}

// A unit index that is not in its table (read from a file) makes no unit step: the
// error is reported and the georef keeps what it had.
TEST(Georef, UnitStepFromAnUnknownUnit) {
  world w = make_world();
  const struct {
    bool projected;
    int unit;
  } cases[] = {{false, 12}, {false, -1}, {true, 47}, {true, -3}};
  for (const auto& c : cases) {
    georef_t* g = c.projected ? projected(w.lcc, c.unit) : geographic(w.ref, c.unit);
    set_gblerr(0);
    EXPECT_EQ(georef_unit_step(g), ERR_VALUE) << c.unit;
    EXPECT_EQ(get_gblerr(), ERR_VALUE);
    EXPECT_EQ(val(g->transfo), nullptr) << c.unit;
    EXPECT_EQ(val(g->unit), c.unit);
    set_gblerr(0);
    free_obj(&g);
  }
}

// The view in grads on a datum in degrees: its unit step (a scale) is inverted at the
// end of the link, so the layer's points arrive in grads.
TEST(LinkChain, EndsInTheViewsUnit) {
  world w = make_world();
  georef_t* view = geographic(w.ref, ANG_GRAD);
  ASSERT_EQ(georef_unit_step(view), 0);
  const struct {
    georef_t* obj;
    std::vector<int> kinds;
  } cases[] = {
      // Same system: the two unit steps only.
      {geographic(w.ref, ANG_DEGREE), {XK_SCALE}},
      // A UTM layer in kilometres: its unit step, the inverse projection, the view's.
      {projected(w.utm, LEN_KILOMETRE), {XK_SCALE, 26, XK_SCALE}},
      // A layer on another datum.
      {geographic(w.other, ANG_DEGREE), {XK_IDENTITY, 11, 8, 12, XK_SCALE}},
  };
  for (const auto& c : cases) {
    georef_unit_step(c.obj);
    xform_chain_t* chain = nullptr;
    ASSERT_NE(georef_link_chain(view, c.obj, &chain), nullptr);
    std::vector<int> kinds;
    for (int i = 0; i < xform_step_count(chain); ++i) kinds.push_back(xform_chain_kind_at(chain, i));
    EXPECT_EQ(kinds, c.kinds);
    free_obj(&chain);
  }
  // The UTM origin of zone 31 (500 km, 0) lands at 3 degrees = 3.333... grads.
  xform_chain_t* chain = nullptr;
  georef_link_chain(view, cases[1].obj, &chain);
  double x = 500.0, y = 0.0, z = NULL_DOUBLE;
  xform_chain_forward(chain, &x, &y, &z);
  EXPECT_NEAR(x, 3.0 / 0.9, 1e-9);
  EXPECT_NEAR(y, 0.0, 1e-9);
  xform_chain_inverse(chain, &x, &y, &z);
  EXPECT_NEAR(x, 500.0, 1e-9);
  free_obj(&chain);
  // Nothing to link: a missing georef, or a projected layer without projection.
  EXPECT_EQ(georef_link_chain(nullptr, view, &chain), nullptr);
  georef_t* broken = projected(w.utm, LEN_METRE);
  broken->projection = nullptr;
  EXPECT_EQ(georef_link_chain(view, broken, &chain), nullptr);
  // No datum path: the error is set and the view's step is left off.
  georef_t* lonely = geographic(w.sphere, ANG_DEGREE);
  ASSERT_NE(georef_link_chain(view, lonely, &chain), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  EXPECT_EQ(xform_step_count(chain), 1);
  set_gblerr(0);
  free_obj(&chain);
  for (georef_t* g : {view, cases[0].obj, cases[1].obj, cases[2].obj, broken, lonely})
    free_obj(&g);
}

TEST(PickClosest, ClassThenCostThenProjection) {
  world w = make_world();
  container_t* list = nullptr;
  obj_list_new(&list);
  georef_t* target = projected(w.lcc, LEN_METRE);
  georef_t* on_far = geographic(w.far, ANG_DEGREE);        // class 4, cost 9
  georef_t* on_other = geographic(w.other, ANG_DEGREE);    // class 4, cost 5
  georef_t* same_datum = projected(w.utm, LEN_METRE);      // class 2
  georef_t* geographic_ref = geographic(w.ref, ANG_DEGREE);  // class 1
  const struct {
    std::vector<georef_t*> list;
    georef_t* want;
  } cases[] = {
      {{on_far, on_other}, on_other},
      {{on_other, on_far}, on_other},
      // The same datum but a projection ranked after the target's: not taken, and its
      // class shuts out the dearer ones.
      {{same_datum, on_other}, nullptr},
      // Once a lower class is met, a higher one is never taken.
      {{geographic_ref, on_other, same_datum}, geographic_ref},
      {{nullptr, on_far}, on_far},
  };
  for (const auto& c : cases) {
    obj_list_clear(list);
    for (georef_t* g : c.list) obj_list_append(list, g);
    georef_t* best = nullptr;
    EXPECT_EQ(georef_pick_closest(list, target, &best), c.want);
  }
  // Without a target, the first georef.
  obj_list_clear(list);
  obj_list_append(list, on_far);
  obj_list_append(list, on_other);
  georef_t* best = nullptr;
  EXPECT_EQ(georef_pick_closest(list, nullptr, &best), on_far);
  // Projection ranks: a conic before a Transverse Mercator; null first.
  EXPECT_EQ(proj_precedes(w.lcc, w.utm), 1);
  EXPECT_EQ(proj_precedes(w.utm, w.lcc), 0);
  EXPECT_EQ(proj_precedes(nullptr, w.utm), 1);
  EXPECT_EQ(proj_precedes(w.utm, nullptr), 0);
  obj_list_clear(list);
  free_obj(&list);
  for (georef_t* g : {target, on_far, on_other, same_datum, geographic_ref}) free_obj(&g);
}

TEST(Georef, DistanceAndPlateCarree) {
  world w = make_world();
  double d = 0.0;
  EXPECT_NEAR(georef_distance(w.sphere, 0.0, 0.0, 0.0, 1.0, &d), 6371000.0 * kPi / 180.0, 1e-6);
  EXPECT_NEAR(d, 6371000.0 * kPi / 180.0, 1e-6);
  EXPECT_NEAR(georef_distance(w.sphere, 10.0, 0.0, 11.0, 0.0, nullptr), 6371000.0 * kPi / 180.0,
              1e-6);
  EXPECT_NEAR(georef_distance(w.sphere, 0.0, 90.0, 180.0, 90.0, nullptr), 0.0, 1e-6);
  geodatum_t* bare = nullptr;
  geodatum_create("No ellipsoid", nullptr, ANG_DEGREE, nullptr, nullptr, 0, &bare);
  EXPECT_EQ(georef_distance(bare, 0, 0, 1, 1, &d), 0.0);
  EXPECT_EQ(get_gblerr(), ERR_OBJECT);
  set_gblerr(0);
  // A plate carree asked at 85 degrees is made at 1.4 rad.
  cartproj_t* pc = nullptr;
  ASSERT_NE(crs_plate_carree_clamped(w.ref, ANG_DEGREE, 85.0, &pc), nullptr);
  EXPECT_NEAR(val(pc->phio0), 1.4, 1e-9);
  ASSERT_NE(crs_plate_carree_clamped(w.ref, ANG_DEGREE, -85.0, &pc), nullptr);
  EXPECT_NEAR(val(pc->phio0), -1.4, 1e-9);
  // A geographic extent to the plate carree of its centre latitude and back.
  georef_t* g = geographic(w.ref, ANG_DEGREE);
  extent_t e{-10, 10, 40, 50, 0};
  graph_project_extent(g, &e, &pc);
  ASSERT_NE(pc, nullptr);
  EXPECT_NEAR(val(pc->phio0), 45.0 * kPi / 180.0, 0.02);
  EXPECT_GT(e.xmax, 1e5);
  graph_extent_to_system(pc, &e);
  EXPECT_NEAR(e.xmin, -10.0, 1e-9);
  EXPECT_NEAR(e.ymax, 50.0, 1e-9);
  free_obj(&g);
  free_obj(&bare);
}

}  // namespace
