// Graph spaces built from folders of GPS objects in several coordinate systems (the
// system's own geodesy tables): layer order by priority, extents in the view's system,
// the empty space, the layer iterator, the image layer's links, the reload command and
// the lock held while layers change.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shell/framework/dispatcher.h"
#include "tests/map/map_model_fixture.h"

namespace {

using tm_test::make_georef;
using tm_test::make_point_folder;

std::vector<int> priorities(const graphspace_t* gs) {
  std::vector<int> out;
  for (int i = 0; i < obj_list_count(gs->layers); ++i) {
    layer_t* l = nullptr;
    obj_list_get(gs->layers, i, &l);
    out.push_back(l->priority);
  }
  return out;
}

// Frees a space, the folders shown in it and the georef of its view.
void free_space(graphspace_t* gs, const std::vector<folder_t*>& folders, georef_t* view) {
  graphspace_free(&gs);
  for (folder_t* f : folders) tm_test::free_point_folder(f);
  obj_t* vo = view;
  free_obj(&vo);
}

// Paris and London, each in its own system, shown in a geographic WGS 84 view and in a
// UTM 31N view: every layer's extent lands on the same places in the view's system.
TEST(GraphspaceLayers, FoldersInSeveralSystemsMeetInTheViewSystem) {
  tm_test::map_model_env();
  struct folder_case {
    int datum, zone;
    double x, y;
  };
  const folder_case folders[] = {
      {214, 0, 2.3522, 48.8566},                          // WGS 84 degrees
      {214, 31, 452482.5327026278, 5411717.1768689},      // WGS 84 / UTM 31N
      {6230, 31, 452575.4546481066, 5411925.166033149},   // ED50 / UTM 31N
      {6277, 0, -0.12599350955622868, 51.506689564153675},  // OSGB36 degrees (London)
  };
  struct view_case {
    int zone;
    double paris_x, paris_y, london_x, london_y, tol;
  } views[] = {
      {0, 2.3522, 48.8566, -0.1276, 51.5072, 2e-7},
      {31, 452482.5327026278, 5411717.1768689, 0, 0, 2e-2},
  };
  for (const view_case& v : views) {
    SCOPED_TRACE(v.zone);
    georef_t* vg = make_georef(214, v.zone);
    graphspace_t* gs = nullptr;
    graphspace_new(vg, &gs);
    ASSERT_NE(gs, nullptr);
    int counter = 0;
    std::vector<folder_t*> made;
    for (const folder_case& f : folders) {
      folder_t* folder = make_point_folder(nullptr, make_georef(f.datum, f.zone), {{f.x, f.y}});
      EXPECT_EQ(graphspace_add_file(gs, folder, &counter), 1);
      made.push_back(folder);
    }
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(counter, 4);
    EXPECT_EQ(priorities(gs), (std::vector<int>{0, 20000, 20001, 20002, 20003}));
    for (int i = 0; i < 3; ++i) {
      layer_t* l = nullptr;
      mapwin_find_layer(gs, made[i], &l);
      ASSERT_NE(l, nullptr);
      const extent_t e = l->extent;
      EXPECT_NEAR(e.xmin, v.paris_x, v.tol) << i;
      EXPECT_NEAR(e.ymin, v.paris_y, v.tol) << i;
      EXPECT_EQ(l->priority, 20000 + i);
    }
    const extent_t all = gs->extent;
    if (v.zone == 0) {
      EXPECT_NEAR(all.xmin, v.london_x, 1e-5);
      EXPECT_NEAR(all.ymax, v.london_y, 1e-5);
      EXPECT_NEAR(all.xmax, v.paris_x, v.tol);
      EXPECT_NEAR(all.ymin, v.paris_y, v.tol);
    }
    EXPECT_DOUBLE_EQ(val(gs->max_side), extent_max_side(all));
    EXPECT_GT(val(gs->unit_scale), 0.0);
    free_space(gs, made, vg);
  }
}

// Priorities continue past those already present; a folder with its own keeps it; an
// empty folder is skipped.
TEST(GraphspaceLayers, FilePrioritiesContinuePastThoseTaken) {
  tm_test::map_model_env();
  georef_t* vg = make_georef(214, 0);
  graphspace_t* gs = nullptr;
  graphspace_new(vg, &gs);
  std::vector<folder_t*> made;
  auto add = [&](int layer, int* counter, bool empty = false) {
    folder_t* f = empty ? nullptr : make_point_folder(nullptr, nullptr, {{1, 2}});
    if (empty) {
      container_t* l = nullptr;
      obj_list_new(&l);
      folder_get_or_create(nullptr, l, 0, &f);
    }
    f->layer = layer;
    made.push_back(f);
    return graphspace_add_file(gs, f, counter);
  };
  int c1 = 0;
  EXPECT_EQ(add(20001, &c1), 1);  // its own priority
  EXPECT_EQ(c1, 1);
  int c2 = 0;
  EXPECT_EQ(add(0, &c2), 1);  // 20000
  EXPECT_EQ(add(0, &c2), 1);  // 20001 taken: 20002
  EXPECT_EQ(add(0, &c2, true), 0);  // empty: skipped, counter unchanged
  EXPECT_EQ(add(0, &c2), 1);
  EXPECT_EQ(priorities(gs), (std::vector<int>{0, 20000, 20001, 20002, 20003}));
  EXPECT_EQ(made[2]->layer, 20002);
  EXPECT_EQ(made[3]->layer, 0);
  EXPECT_EQ(c2, 4);

  // The iterator skips the image layer (priority 0) and empty lists.
  int pos = 0, seen = 0;
  container_t* objs = nullptr;
  while (graphspace_next_layer(gs, &pos, &objs)) ++seen;
  EXPECT_EQ(seen, 4);
  free_space(gs, made, vg);
}

// An empty space has a 2 x 2 extent around the origin; once data were shown and left,
// it keeps its previous extent.
TEST(GraphspaceLayers, EmptySpaceExtent) {
  tm_test::map_model_env();
  graphspace_t* gs = nullptr;
  graphspace_new(nullptr, &gs);
  extent_t e = gs->extent;
  EXPECT_EQ(e.xmin, -1.0);
  EXPECT_EQ(e.xmax, 1.0);
  EXPECT_EQ(e.ymin, -1.0);
  EXPECT_EQ(e.ymax, 1.0);
  EXPECT_EQ(val(gs->unit_scale), 1.0);
  graphspace_set_extent(gs, extent_t{10, 20, 30, 50, 0});
  extent_t out{};
  graphspace_compute_extent(gs, &out);
  EXPECT_EQ(out.xmin, 10.0);
  EXPECT_EQ(out.ymax, 50.0);
  graphspace_free(&gs);
}

// The union of the extents of the space's layers, walked here.
extent_t union_of_layers(graphspace_t* gs) {
  extent_t u{};
  for (int i = 0; i < obj_list_count(gs->layers); ++i) {
    layer_t* l = nullptr;
    obj_list_get(gs->layers, i, &l);
    extent_union(&u, l->extent);
  }
  return u;
}

void expect_extent(const extent_t& got, const extent_t& want) {
  EXPECT_EQ(got.xmin, want.xmin);
  EXPECT_EQ(got.xmax, want.xmax);
  EXPECT_EQ(got.ymin, want.ymin);
  EXPECT_EQ(got.ymax, want.ymax);
  EXPECT_EQ(got.step, want.step);
}

// The space's extent, grown layer by layer as files are added, stays the union of its
// layers when layers go, shrink, or change outside an update.
TEST(GraphspaceLayers, ExtentFollowsLayersAddedChangedAndRemoved) {
  tm_test::map_model_env();
  georef_t* vg = make_georef(214, 0);
  graphspace_t* gs = nullptr;
  graphspace_new(vg, &gs);
  std::vector<folder_t*> made;
  int counter = 0;
  auto add = [&](std::initializer_list<tm_test::point_xy> points) {
    folder_t* f = make_point_folder(nullptr, make_georef(214, 0), points);
    made.push_back(f);
    EXPECT_EQ(graphspace_add_file(gs, f, &counter), 1);
    return f;
  };
  auto layer_of = [&](folder_t* f) {
    layer_t* l = nullptr;
    mapwin_find_layer(gs, f, &l);
    return l;
  };
  add({{1, 2}, {1.5, 2.5}});
  expect_extent(gs->extent, union_of_layers(gs));
  add({{5, 7}, {6, 8}});
  folder_t* far = add({{-30, -20}});
  expect_extent(gs->extent, union_of_layers(gs));
  EXPECT_LT(val(gs->extent.xmin), -29.0);

  // The far layer goes: the next update leaves it out.
  layer_t* gone = layer_of(far);
  ASSERT_NE(gone, nullptr);
  free_obj(&gone);
  folder_t* near = add({{2, 3}});
  expect_extent(gs->extent, union_of_layers(gs));
  EXPECT_GT(val(gs->extent.xmin), 0.0);

  // A layer that shrinks: its folder loses a point and the layer is updated.
  folder_t* pair = made[1];
  obj_t* last = nullptr;
  for (int i = obj_list_count(pair->sot) - 1; i >= 0 && !last; --i)
    if (pair->sot->elems[i]->cls == CLS_WAYPOINT) {
      last = pair->sot->elems[i];
      obj_list_remove_at(pair->sot, i);
    }
  ASSERT_NE(last, nullptr);
  free_obj(&last);
  graphspace_update_layer(gs, layer_of(pair), 0);
  expect_extent(gs->extent, union_of_layers(gs));
  EXPECT_LT(val(gs->extent.xmax), 5.5);

  // A layer grown outside an update (a live position added to its index) counts at the
  // next update of another layer.
  layer_extend_extent(layer_of(near), extent_t{2, 40, 3, 45, 0});
  graphspace_update_layer(gs, layer_of(made[0]), 0);
  expect_extent(gs->extent, union_of_layers(gs));
  EXPECT_EQ(val(gs->extent.xmax), 40.0);
  free_space(gs, made, vg);
}

// A folder whose system cannot be joined to the view's fails without leaving its layer.
TEST(GraphspaceLayers, FailedLayerLeavesNothingBehind) {
  tm_test::map_model_env();
  georef_t* vg = make_georef(214, 0);
  graphspace_t* gs = nullptr;
  graphspace_new(vg, &gs);
  geodatum_t* lonely = nullptr;
  obj_new(0, CLS_GEODATUM, reinterpret_cast<obj_t**>(&lonely));
  georef_t* g = make_georef(214, 0);
  g->datum = lonely;
  folder_t* f = make_point_folder(nullptr, g, {{1, 2}});
  int counter = 0;
  EXPECT_EQ(graphspace_add_file(gs, f, &counter), 0);
  EXPECT_NE(get_gblerr(), 0);
  set_gblerr(0);
  EXPECT_EQ(counter, 0);
  EXPECT_EQ(priorities(gs), (std::vector<int>{0}));
  EXPECT_EQ(mapwin_find_layer(gs, f, nullptr), nullptr);
  free_space(gs, {f}, vg);
  obj_t* lo = lonely;
  free_obj(&lo);
}

// The map windows' hooks are called with the lock held: no other thread changes the
// layers meanwhile. Redraw requests reach every pane of the space.
std::atomic<int> g_other_thread_locked{-1};
void probe_lock(mapwin_t*, layer_t*, obj_t*) {
  std::thread t([] {
    const bool got = graphspace_mutex().try_lock();
    if (got) graphspace_mutex().unlock();
    g_other_thread_locked = got ? 1 : 0;
  });
  t.join();
}
std::vector<extent_t> g_redraws;
void record_redraw(pane_t*, extent_t e) { g_redraws.push_back(e); }

TEST(GraphspaceLayers, HooksRunUnderTheLockAndRedrawsReachPanes) {
  tm_test::map_model_env();
  graphspace_view_hooks hooks{};
  hooks.mapwin_add_layer = probe_lock;
  hooks.pane_redraw = record_redraw;
  graphspace_set_view_hooks(&hooks);
  graphspace_t* gs = nullptr;
  graphspace_new(make_georef(214, 0), &gs);
  pane_t* pane = nullptr;
  obj_new_registered(CLS_PANE, reinterpret_cast<obj_t**>(&pane));
  pane->graphspace = gs;
  folder_t* f = make_point_folder(nullptr, nullptr, {{3, 4}});
  int counter = 0;
  g_redraws.clear();
  EXPECT_EQ(graphspace_add_file(gs, f, &counter), 1);
  EXPECT_EQ(g_other_thread_locked.load(), 0);
  ASSERT_FALSE(g_redraws.empty());
  EXPECT_EQ(g_redraws.back().xmin, 3.0);
  graphspace_set_view_hooks(nullptr);
  obj_t* po = pane;
  free_obj(&po);
  georef_t* vg = gs->georef;
  free_space(gs, {f}, vg);
}

}  // namespace
