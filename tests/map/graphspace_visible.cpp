// The area the current map window shows of a graph space, asked in the coordinates of
// another georef: the window's client area through its mapping, cut to the bounds, and
// carried across units, datums and projections; every case where nothing can be said
// answers flag 0 with the null extent and leaves the error code alone.
#include <gtest/gtest.h>

#include <numbers>

#include "geodesy/domain.h"
#include "geodesy/units.h"
#include "tests/map/map_model_fixture.h"

namespace {

using tm_test::make_georef;

constexpr double kDeg = 180.0 / std::numbers::pi;
constexpr extent_t kNoBounds{-1e9, 1e9, -1e9, 1e9, 0.0};

// A 200 x 100 window. In degrees it shows x 0..20, y 40..50 (y up); in radians
// x 0..0.2, y 0.7..0.8.
constexpr screen_mapping kDegreeWindow{0.0, -50.0, 10.0, -10.0};
constexpr screen_mapping kRadianWindow{0.0, -0.8, 1000.0, -1000.0};

georef_t* radian_georef() {
  georef_t* g = make_georef(214, 0);
  georef_set_unit(g, ANG_RADIAN);
  EXPECT_EQ(georef_unit_step(g), 0);
  return g;
}

struct visible_case {
  const char* name;
  georef_t* space;         // the graph space's georef
  georef_t* other;         // the system asked for
  screen_mapping window;
  extent_t bounds;
  bool window_current;     // a current map window exists
  bool window_elsewhere;   // it shows another graph space
  int flag;
  extent_t expected;       // when flag is 1
};

TEST(GraphspaceVisible, WindowAreaInAnotherSystem) {
  tm_test::map_model_env();
  georef_t* wgs = make_georef(214, 0);
  georef_t* wgs2 = make_georef(214, 0);
  georef_t* utm = make_georef(214, 31);
  georef_t* none = nullptr;
  georef_create(nullptr, &none);
  none->refertype = GEOREF_NONE;
  geodatum_t* lonely = nullptr;
  obj_new(0, CLS_GEODATUM, reinterpret_cast<obj_t**>(&lonely));
  georef_t* unjoined = make_georef(214, 0);
  unjoined->datum = lonely;
  georef_t* rad_space = radian_georef();
  georef_t* rad_other = radian_georef();

  // What the same rectangle gives in UTM 31N, carried straight.
  extent_t in_utm{0, 20, 40, 50, 0};
  ASSERT_EQ(crs_transform_extent(wgs->datum, utm->datum, nullptr, utm->projection, &in_utm), 0);
  ASSERT_LT(in_utm.xmin, 500000.0);  // the zone's central meridian (3 E) is inside
  ASSERT_GT(in_utm.xmax, 500000.0);

  const visible_case cases[] = {
      {"same system", wgs, wgs2, kDegreeWindow, kNoBounds, true, false, 1, {0, 20, 40, 50, 0}},
      {"cut to the bounds", wgs, wgs2, kDegreeWindow, {5, 30, 45, 60, 0}, true, false, 1,
       {5, 20, 45, 50, 0}},
      {"bounds missed", wgs, wgs2, kDegreeWindow, {30, 40, 0, 10, 0}, true, false, 0, {}},
      {"projected target", wgs, utm, kDegreeWindow, kNoBounds, true, false, 1, in_utm},
      {"space in radians", rad_space, wgs2, kRadianWindow, kNoBounds, true, false, 1,
       {0, 0.2 * kDeg, 0.7 * kDeg, 0.8 * kDeg, 0}},
      {"target in radians", wgs, rad_other, kDegreeWindow, kNoBounds, true, false, 1,
       {0, 20 / kDeg, 40 / kDeg, 50 / kDeg, 0}},
      {"space without system", none, wgs2, kDegreeWindow, kNoBounds, true, false, 0, {}},
      {"target without system", wgs, none, kDegreeWindow, kNoBounds, true, false, 0, {}},
      {"datums not joined", wgs, unjoined, kDegreeWindow, kNoBounds, true, false, 0, {}},
      {"no map window", wgs, wgs2, kDegreeWindow, kNoBounds, false, false, 0, {}},
      {"window shows another space", wgs, wgs2, kDegreeWindow, kNoBounds, true, true, 0, {}},
  };
  for (const visible_case& c : cases) {
    SCOPED_TRACE(c.name);
    graphspace_t* gs = nullptr;
    graphspace_new(c.space, &gs);
    graphspace_t* elsewhere = nullptr;
    graphspace_new(nullptr, &elsewhere);
    mapwin_t* win = nullptr;
    mapwin_new(&win, 0, 0, 200, 100, 0, 32, 0);
    ASSERT_NE(win, nullptr);
    win->map = c.window;
    win->graphspace = c.window_elsewhere ? elsewhere : nullptr;
    set_current_mapwin(c.window_current ? win : nullptr);
    set_gblerr(0);

    extent_t out{1, 2, 3, 4, 5};
    int flag = -1;
    EXPECT_EQ(graphspace_visible_extent(gs, c.other, c.bounds, &out, &flag), c.flag);
    EXPECT_EQ(flag, c.flag);
    EXPECT_EQ(get_gblerr(), 0);
    const extent_t want = c.flag ? c.expected : extent_t{};
    const double tol = 1e-9 * (1.0 + extent_max_side(want));
    EXPECT_NEAR(out.xmin, want.xmin, tol);
    EXPECT_NEAR(out.xmax, want.xmax, tol);
    EXPECT_NEAR(out.ymin, want.ymin, tol);
    EXPECT_NEAR(out.ymax, want.ymax, tol);
    EXPECT_EQ(out.step, 0.0);

    set_current_mapwin(nullptr);
    obj_t* wo = win;
    free_obj(&wo);
    graphspace_free(&elsewhere);
    graphspace_free(&gs);
  }
  for (georef_t* g : {wgs, wgs2, utm, none, unjoined, rad_space, rad_other}) {
    obj_t* o = g;
    free_obj(&o);
  }
  obj_t* lo = lonely;
  free_obj(&lo);
}

// A null graph space means the current one.
TEST(GraphspaceVisible, NullSpaceIsTheCurrentOne) {
  tm_test::map_model_env();
  georef_t* wgs = make_georef(214, 0);
  graphspace_t* gs = nullptr;
  graphspace_new(wgs, &gs);
  graphspace_set_current(gs);
  mapwin_t* win = nullptr;
  mapwin_new(&win, 0, 0, 200, 100, 0, 32, 0);
  win->map = kDegreeWindow;
  set_current_mapwin(win);
  extent_t out{};
  int flag = 0;
  EXPECT_EQ(graphspace_visible_extent(nullptr, wgs, kNoBounds, &out, &flag), 1);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(out.xmax, 20.0);
  EXPECT_EQ(out.ymin, 40.0);
  set_current_mapwin(nullptr);
  obj_t* wo = win;
  free_obj(&wo);
  graphspace_free(&gs);
  obj_t* go = wgs;
  free_obj(&go);
}

}  // namespace
