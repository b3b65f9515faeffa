// The cursor system of a pane: the copy a pane without system takes, the chain from
// the display system with the display's unit step first and the cursor unit step last,
// the refusals (gblerr 13); and the compatibility answers of a system with a graph
// space (0, 1, -1) on spaces built here.
#include <gtest/gtest.h>

#include <cmath>

#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/cursor_system.h"
#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::v;

constexpr int kWgs84 = 214;
constexpr int kLambert93 = 2154;

class CursorSystem : public mapwin_test::MapWinFixture {
 protected:
  void TearDown() override {
    for (georef_t* g : georefs_) {
      obj_t* o = g;
      free_obj(&o);
    }
    MapWinFixture::TearDown();
  }
  georef_t* keep(georef_t* g) {
    georefs_.push_back(g);
    return g;
  }
  georef_t* geographic(int unit) {
    georef_t* g = keep(tm_test::make_georef(kWgs84, 0));
    g->unit = unit;
    return g;
  }
  georef_t* lambert93(int unit) {
    cartproj_t* p = nullptr;
    geo_find_by_code(CLS_CARTPROJ, kLambert93, &p);
    EXPECT_NE(p, nullptr);
    georef_t* g = nullptr;
    georef_create(nullptr, &g);
    keep(g);
    g->refertype = GEOREF_PROJECTED;
    g->projection = p;
    g->datum = p ? p->datum : nullptr;
    g->unit = unit;
    return g;
  }
  static xform_chain_t* chain_of(const pane_t* pane) {
    const georef_t* g = pane->georef;
    return g->transfo && g->transfo->cls == CLS_XFORM_CHAIN ? static_cast<xform_chain_t*>(g->transfo)
                                                             : nullptr;
  }
  // A point carried through the pane's chain.
  static void carry(const pane_t* pane, double* x, double* y) {
    double z = 0.0;
    xform_chain_forward(chain_of(pane), x, y, &z);
  }
  // Sets the pane's cursor system (by copy) as the system dialog would.
  static void choose(pane_t* pane, const georef_t* system) {
    georef_t* c = pane->georef;
    c->refertype = system->refertype;
    c->datum = system->datum;
    c->projection = system->projection;
    c->unit = system->unit;
  }

  std::vector<georef_t*> georefs_;
};

TEST_F(CursorSystem, APaneWithoutSystemTakesACopyOfTheDisplaySystem) {
  mapwin_t* win = window(200, 100);
  georef_t* display = geographic(ANG_DEGREE);
  ASSERT_EQ(v(win->pane->georef->refertype), GEOREF_NONE);
  cursor_set_transform(win, display);
  const georef_t* c = win->pane->georef;
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(v(c->refertype), GEOREF_GEOGRAPHIC);
  EXPECT_EQ(v(c->datum), v(display->datum));
  EXPECT_EQ(v(c->unit), ANG_DEGREE);
  EXPECT_EQ(v(c->transfotype), 6);
  ASSERT_NE(chain_of(win->pane), nullptr);
  EXPECT_EQ(xform_step_count(chain_of(win->pane)), 0);
  // Made again, the old chain goes (the leak checker watches) and the new one holds
  // the same.
  cursor_set_transform(win, display);
  EXPECT_EQ(xform_step_count(chain_of(win->pane)), 0);
}

TEST_F(CursorSystem, NothingWithoutPaneDisplayOrDisplaySystem) {
  mapwin_t* win = window(200, 100);
  georef_t* none = keep(tm_test::make_georef(kWgs84, 0));
  none->refertype = GEOREF_NONE;
  cursor_set_transform(win, none);
  cursor_set_transform(win, nullptr);
  cursor_set_transform(nullptr, geographic(ANG_DEGREE));
  cursor_set_transform(bare_window(), geographic(ANG_DEGREE));
  EXPECT_EQ(v(win->pane->georef->refertype), GEOREF_NONE);
  EXPECT_EQ(v(win->pane->georef->transfo), nullptr);
  EXPECT_EQ(get_gblerr(), 0);
}

// The chain's steps and where it carries a point, from a display in WGS 84 degrees.
TEST_F(CursorSystem, ChainFromTheDisplaySystemEndsWithTheUnitStep) {
  struct expected {
    const char* name;
    bool projected;
    int unit;
    int steps;      // conversion steps and unit step
    int last_kind;  // kind of the last step
  };
  const expected cases[] = {
      {"degrees", false, ANG_DEGREE, 0, 0},
      {"DMS", false, ANG_DMS, 1, 2},
      {"DM", false, ANG_DM, 1, 2},
      {"radians", false, ANG_RADIAN, 1, 2},
      {"Lambert-93 metres", true, LEN_METRE, -1, 0},
      {"Lambert-93 kilometres", true, LEN_KILOMETRE, -1, 2},
  };
  mapwin_t* win = window(200, 100);
  georef_t* display = geographic(ANG_DEGREE);
  double metres_x = 0, metres_y = 0;
  for (const expected& e : cases) {
    SCOPED_TRACE(e.name);
    choose(win->pane, e.projected ? lambert93(e.unit) : geographic(e.unit));
    cursor_set_transform(win, display);
    ASSERT_EQ(get_gblerr(), 0);
    xform_chain_t* chain = chain_of(win->pane);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(v(win->pane->georef->transfotype), 6);
    if (e.steps >= 0) {
      EXPECT_EQ(xform_step_count(chain), e.steps);
    }
    if (e.last_kind) {
      EXPECT_EQ(xform_chain_kind_at(chain, xform_step_count(chain) - 1), e.last_kind);
    }
    double x = 2.5, y = 48.25;
    carry(win->pane, &x, &y);
    if (!e.projected) {
      const double per_degree = angle_unit_factor(e.unit) / angle_unit_factor(ANG_DEGREE);
      EXPECT_NEAR(x, 2.5 * per_degree, 1e-9 * per_degree);
      EXPECT_NEAR(y, 48.25 * per_degree, 1e-9 * per_degree);
    } else if (e.unit == LEN_METRE) {
      metres_x = x;
      metres_y = y;
      // Lambert-93 of (2.5 E, 48.25 N): about 650 km east, 6.8 Mm north.
      EXPECT_NEAR(x, 650000, 15000);
      EXPECT_NEAR(y, 6796000, 15000);
    } else {
      EXPECT_NEAR(x, metres_x / 1000, 1e-9);
      EXPECT_NEAR(y, metres_y / 1000, 1e-9);
    }
  }
}

// A display whose coordinates are in another unit than its datum's: its unit step is
// the chain's first step.
TEST_F(CursorSystem, TheDisplaysOwnUnitStepComesFirst) {
  mapwin_t* win = window(200, 100);
  georef_t* display = geographic(ANG_DMS);
  ASSERT_EQ(georef_unit_step(display), 0);
  ASSERT_NE(v(display->transfo), nullptr);
  choose(win->pane, geographic(ANG_DM));
  cursor_set_transform(win, display);
  ASSERT_EQ(get_gblerr(), 0);
  xform_chain_t* chain = chain_of(win->pane);
  ASSERT_NE(chain, nullptr);
  ASSERT_EQ(xform_step_count(chain), 2);
  EXPECT_EQ(xform_chain_step_at(chain, 0), v(display->transfo));
  double x = 9000, y = 173700;  // seconds
  carry(win->pane, &x, &y);
  EXPECT_NEAR(x, 150, 1e-9);  // minutes
  EXPECT_NEAR(y, 2895, 1e-9);
}

TEST_F(CursorSystem, SystemsThatCannotMeetSetErrorThirteen) {
  mapwin_t* win = window(200, 100);
  georef_t* display = geographic(ANG_DEGREE);
  geodatum_t* lone = nullptr;
  geodatum_create("Lone datum", nullptr, ANG_DEGREE, nullptr, nullptr, 0, &lone);
  ASSERT_NE(lone, nullptr);
  struct refusal {
    const char* name;
    int refertype;
    geodatum_t* datum;
  };
  const refusal cases[] = {{"datum without path", GEOREF_GEOGRAPHIC, lone},
                           {"geographic without datum", GEOREF_GEOGRAPHIC, nullptr},
                           {"projected without projection", GEOREF_PROJECTED, display->datum}};
  for (const refusal& r : cases) {
    SCOPED_TRACE(r.name);
    georef_t* c = win->pane->georef;
    c->refertype = r.refertype;
    c->datum = r.datum;
    c->projection = nullptr;
    c->unit = ANG_DEGREE;
    cursor_set_transform(win, display);
    EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
    set_gblerr(0);
  }
  obj_t* o = lone;
  free_obj(&o);
}

// The three answers: 0 no system, 1 usable, -1 only with a change of display system.
TEST_F(CursorSystem, CompatibilityOfASystemWithAGraphSpace) {
  georef_t* same = geographic(ANG_DEGREE);
  georef_t* same_in_dms = geographic(ANG_DMS);
  georef_t* projected = lambert93(LEN_METRE);
  georef_t* none = keep(tm_test::make_georef(kWgs84, 0));
  none->refertype = GEOREF_NONE;
  geodatum_t* lone = nullptr;
  geodatum_create("Lone datum", nullptr, ANG_DEGREE, nullptr, nullptr, 0, &lone);
  georef_t* unreachable = geographic(ANG_DEGREE);
  unreachable->datum = lone;
  georef_t* empty_system = keep(tm_test::make_georef(kWgs84, 0));
  graphspace_t* without_system = nullptr;
  graphspace_new(empty_system, &without_system);
  empty_system->refertype = GEOREF_NONE;

  struct check {
    const char* name;
    graphspace_t* gs;
    const georef_t* georef;
    int check_layers;
    bool with_layers;
    int result;
  };
  const check cases[] = {
      {"no georef", gs_, nullptr, 1, false, 0},
      {"georef without system", gs_, none, 1, false, 0},
      {"space without system", without_system, projected, 1, false, 1},
      {"same system", gs_, same, 1, false, 1},
      {"other system, no layers", gs_, projected, 1, false, 1},
      {"other system, layers not checked", gs_, projected, 0, true, 1},
      {"other system, layers", gs_, projected, 1, true, -1},
      {"same system in another unit, layers", gs_, same_in_dms, 1, true, 1},
      {"no datum path", gs_, unreachable, 1, true, 0},
      {"current space (null)", nullptr, projected, 1, true, -1},
  };
  bool layers_added = false;
  for (const check& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.with_layers && !layers_added) {
      layer_of({{2.0, 48.0}, {3.0, 49.0}});
      layers_added = true;
    }
    int result = 42;
    EXPECT_EQ(system_compat_check(c.gs, c.georef, c.check_layers, &result), c.result);
    EXPECT_EQ(result, c.result);
  }
  graphspace_free(&without_system);
  obj_t* o = lone;
  free_obj(&o);
}

}  // namespace
