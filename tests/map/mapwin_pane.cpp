// Map windows and their panes: creation with the image layer, size and page, the axis
// direction, layers added, removed and switched through command 21's text, the
// invalidation of moving-object layers entry by entry, redraw requests and dirty
// windows, and colours.
#include <cstdio>
#include <thread>

#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::MapWinFixture;
using mapwin_test::record;
using mapwin_test::v;

class MapWinPane : public MapWinFixture {};
class MapWinLayers : public MapWinFixture {
 protected:
  std::vector<int> pane_priorities(const pane_t* pane) {
    std::vector<int> out;
    for (int i = 0; i < obj_list_count(pane->layer_index); ++i) {
      layer_t* l = nullptr;
      obj_list_get(pane->layer_index, i, &l);
      out.push_back(l->priority);
    }
    return out;
  }
  // Invariant: one rectangle list per layer, and the plain list holds the same layers.
  void expect_parallel(const pane_t* pane) {
    EXPECT_EQ(obj_list_count(v(pane->layer_rects)), obj_list_count(v(pane->layer_index)));
    EXPECT_EQ(obj_list_count(v(pane->layers)), obj_list_count(v(pane->layer_index)));
  }
  int invalid_count(const mapwin_t* win) { return extent_list_count(win->invalid); }
  void clear_invalid(mapwin_t* win) { extent_list_free(win->invalid); }
};
class MapWinRedraw : public MapWinFixture {};

TEST_F(MapWinPane, AttachMakesThePaneWithTheImageLayer) {
  gs_->orientation = 1;
  mapwin_t* win = window(300, 200);
  pane_t* pane = nullptr;
  EXPECT_EQ(mapwin_get_pane(win, &pane), v(win->pane));
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(v(pane->mapwin), win);
  EXPECT_EQ(v(pane->graphspace), gs_);
  EXPECT_EQ(mapwin_get_graphspace(win, nullptr), gs_);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 1.0);
  EXPECT_DOUBLE_EQ(v(win->map.scale_y), 1.0);
  EXPECT_EQ(mapwin_get_orientation(win), 1);
  EXPECT_DOUBLE_EQ(v(pane->text_scale), 1.0);
  EXPECT_DOUBLE_EQ(v(pane->symbol_scale), 1.0);
  EXPECT_DOUBLE_EQ(v(pane->page_width), 300.0);
  EXPECT_DOUBLE_EQ(v(pane->page.xmax), 300.0);
  EXPECT_DOUBLE_EQ(v(pane->page.ymax), 200.0);
  ASSERT_NE(v(pane->georef), nullptr);
  EXPECT_NE(v(win->invalid), nullptr);
  EXPECT_NE(v(pane->background_rects), nullptr);
  EXPECT_NE(v(pane->raster_rects), nullptr);
  // The image layer (priority 0) is shown from the start.
  ASSERT_EQ(obj_list_count(v(pane->layer_index)), 1);
  layer_t* image = nullptr;
  obj_list_get(pane->layer_index, 0, &image);
  EXPECT_EQ(v(image->priority), 0);
  EXPECT_EQ(obj_list_count(v(pane->layer_rects)), 1);
  // A second attach keeps the pane.
  EXPECT_EQ(mapwin_attach_graphspace(win, gs_), 0);
  EXPECT_EQ(v(win->pane), pane);
}

TEST_F(MapWinPane, AxisUpwardsGivesANegativeScaleY) {
  gs_->orientation = 0;
  mapwin_t* win = window(300, 200);
  EXPECT_DOUBLE_EQ(v(win->map.scale_y), -1.0);
  EXPECT_DOUBLE_EQ(v(win->pane->map.scale_y), -1.0);
}

TEST_F(MapWinPane, SetSizeKeepsTheOriginAndResizesThePage) {
  mapwin_t* win = window(300, 200);
  win->map = screen_mapping{-12.5, 40.0, 3.0, -3.0};
  mapwin_set_size(win, 640, 480);
  EXPECT_EQ(v(win->width), 640);
  EXPECT_EQ(v(win->height), 480);
  EXPECT_DOUBLE_EQ(v(win->pane->page_width), 640.0);
  EXPECT_DOUBLE_EQ(v(win->pane->page_height), 480.0);
  const extent_t p = win->pane->page;
  EXPECT_DOUBLE_EQ(p.xmin, 0.0);
  EXPECT_DOUBLE_EQ(p.xmax, 640.0);
  EXPECT_DOUBLE_EQ(p.ymin, 0.0);
  EXPECT_DOUBLE_EQ(p.ymax, 480.0);
  // The upper-left corner stays on the same world point.
  EXPECT_DOUBLE_EQ(v(win->map.origin_x), -12.5);
  EXPECT_DOUBLE_EQ(v(win->map.origin_y), 40.0);
  mapwin_t* bare = bare_window();
  mapwin_set_size(bare, 10, 20);  // no pane: the size only
  EXPECT_EQ(v(bare->width), 10);
}

TEST_F(MapWinPane, OrientationChangesTheSignNeverTheMagnitude) {
  mapwin_t* win = window(100, 100);
  struct Case {
    double scale_y;
    int flag;
    double want;
  } cases[] = {{-2.0, 1, 2.0}, {-2.0, 0, -2.0}, {2.0, 0, -2.0}, {2.0, 1, 2.0}, {0.5, 7, -0.5}};
  for (const Case& c : cases) {
    win->map.scale_y = c.scale_y;
    mapwin_set_orientation(win, c.flag);
    EXPECT_DOUBLE_EQ(v(win->map.scale_y), c.want) << c.scale_y << " " << c.flag;
    EXPECT_EQ(mapwin_get_orientation(win), c.flag);
  }
}

TEST_F(MapWinPane, GraphSpaceOrientationReachesItsWindowsOnly) {
  mapwin_t* shown = window(100, 100);
  georef_t* other_georef = tm_test::make_georef(214, 0);
  graphspace_t* other = nullptr;
  graphspace_new(other_georef, &other);
  mapwin_t* elsewhere = bare_window();
  ASSERT_EQ(mapwin_attach_graphspace(elsewhere, other), 1);
  shown->map.scale_y = -3.0;
  elsewhere->map.scale_y = -3.0;
  graphspace_set_orientation(gs_, 1);
  EXPECT_EQ(v(gs_->orientation), 1);
  EXPECT_EQ(mapwin_get_graphspace_orientation(shown), 1);
  EXPECT_DOUBLE_EQ(v(shown->map.scale_y), 3.0);
  EXPECT_DOUBLE_EQ(v(elsewhere->map.scale_y), -3.0);
  graphspace_set_orientation(nullptr, 1);  // nothing
  mapwin_free_pane(elsewhere);
  graphspace_free(&other);
  obj_t* g = other_georef;
  free_obj(&g);
}

TEST_F(MapWinPane, ColoursAndBackgroundMode) {
  mapwin_t* win = bare_window();
  int mono = -1;
  uint32_t colour = 0;
  mapwin_get_colours(win, &mono, &colour);
  EXPECT_EQ(mono, 0);
  EXPECT_EQ(colour, colour_word(255, 255, 255));  // white at creation
  uint32_t word = 0;
  EXPECT_EQ(make_rgb(10, 20, 30, &word), &word);
  EXPECT_EQ(word, 10u | 20u << 8 | 30u << 16 | 1u << 24);
  mapwin_set_colours(win, 1, word);
  mapwin_get_colours(win, &mono, &colour);
  EXPECT_EQ(mono, 1);
  EXPECT_EQ(colour, word);
  mapwin_set_background_mode(win, 1);
  EXPECT_EQ(mapwin_get_background_mode(win), 1);
  EXPECT_EQ(mapwin_get_background_mode(nullptr), 0);  // no current window
  set_current_mapwin(win);
  EXPECT_EQ(mapwin_get_background_mode(nullptr), 1);
}

TEST_F(MapWinLayers, AddKeepsPriorityOrderAndOneEntryPerLayer) {
  mapwin_t* win = window(100, 100);
  layer_t* b = layer_of({{1, 1}});
  layer_t* a = layer_of({{2, 2}});
  mapwin_add_layer(win, a);
  mapwin_add_layer(win, b);
  mapwin_add_layer(win, a);  // twice: one entry, one list
  EXPECT_EQ(pane_priorities(v(win->pane)), (std::vector<int>{0, 20000, 20001}));
  expect_parallel(win->pane);
  // Each list stays with its layer: the list of b is found at b's position.
  extent_list_t* list_b = nullptr;
  obj_list_get(win->pane->layer_rects, pane_layer_position(win->pane, b), &list_b);
  mapwin_remove_layer(win, a);
  EXPECT_EQ(pane_priorities(v(win->pane)), (std::vector<int>{0, 20000}));
  expect_parallel(win->pane);
  extent_list_t* now_b = nullptr;
  obj_list_get(win->pane->layer_rects, pane_layer_position(win->pane, b), &now_b);
  EXPECT_EQ(now_b, list_b);
  mapwin_remove_layer(win, a);  // absent: nothing
  expect_parallel(win->pane);
}

TEST_F(MapWinLayers, CommandTextSwitchesLayersOnAndOff) {
  mapwin_t* win = window(100, 100);
  layer_t* layer = layer_of({{3, 4}, {5, 6}});
  ASSERT_NE(layer, nullptr);
  clear_invalid(win);
  char text[64];
  std::snprintf(text, sizeof text, "%d %d 1", win->id, layer->id);
  EXPECT_EQ(mapwin_toggle_layer_text(text), 1);
  EXPECT_GE(pane_layer_position(v(win->pane), layer), 0);
  expect_parallel(win->pane);
  EXPECT_GT(invalid_count(win), 0);  // it is drawn
  clear_invalid(win);
  std::snprintf(text, sizeof text, "%d %d 0", win->id, layer->id);
  EXPECT_EQ(mapwin_toggle_layer_text(text), 1);
  EXPECT_EQ(pane_layer_position(v(win->pane), layer), -1);
  expect_parallel(win->pane);
  EXPECT_GT(invalid_count(win), 0);  // and its place drawn again without it
}

TEST_F(MapWinLayers, CommandTextOfTheImageLayerOnlyInvalidates) {
  mapwin_t* win = window(100, 100);
  char text[64];
  std::snprintf(text, sizeof text, "%d 0 0", win->id);
  EXPECT_EQ(mapwin_toggle_layer_text(text), 1);
  EXPECT_EQ(pane_priorities(v(win->pane)), (std::vector<int>{0}));  // never removed
}

TEST_F(MapWinLayers, BadOrUnknownCommandTextsChangeNothing) {
  mapwin_t* win = window(100, 100);
  layer_t* layer = layer_of({{3, 4}});
  char unknown_window[64], unknown_layer[64];
  std::snprintf(unknown_window, sizeof unknown_window, "999999 %d 1", layer->id);
  std::snprintf(unknown_layer, sizeof unknown_layer, "%d 999999 1", win->id);
  const char* bad[] = {"", "1 2", "x y z", "1 2 x"};
  for (const char* text : bad) EXPECT_EQ(mapwin_toggle_layer_text(text), 0) << text;
  EXPECT_EQ(mapwin_toggle_layer_text(nullptr), 0);
  EXPECT_EQ(mapwin_toggle_layer_text(unknown_window), 1);
  EXPECT_EQ(mapwin_toggle_layer_text(unknown_layer), 1);
  EXPECT_EQ(mapwin_toggle_layer_text("-5 1 1"), 1);
  EXPECT_EQ(pane_priorities(v(win->pane)), (std::vector<int>{0}));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(MapWinLayers, MovingObjectsAreInvalidatedEntryByEntry) {
  mapwin_t* win = window(100, 100);
  // Two points far apart: their own rectangles stay apart, the layer's extent would not.
  layer_t* layer = layer_of({{-50, -40}, {60, 70}});
  ASSERT_NE(layer, nullptr);
  for (int movobj : {0, 1}) {
    SCOPED_TRACE(movobj);
    layer->movobj = movobj;
    clear_invalid(win);
    mapwin_invalidate_layer(win, layer);
    ASSERT_EQ(invalid_count(win), movobj ? 2 : 1);
    const extent_t first = extent_list_at(win->invalid, 0);
    if (movobj)
      EXPECT_LT(first.xmax - first.xmin, 50.0);
    else
      EXPECT_GE(first.xmax - first.xmin, 110.0);
  }
}

TEST_F(MapWinLayers, AFreedLayerLeavesEveryPane) {
  mapwin_t* one = window(100, 100);
  mapwin_t* two = window(100, 100);
  layer_t* layer = layer_of({{3, 4}});
  mapwin_add_layer(one, layer);
  mapwin_add_layer(two, layer);
  mapwin_drop_layer_everywhere(layer);
  EXPECT_EQ(pane_layer_position(v(one->pane), layer), -1);
  EXPECT_EQ(pane_layer_position(v(two->pane), layer), -1);
  expect_parallel(one->pane);
  expect_parallel(two->pane);
}

TEST_F(MapWinRedraw, RequestsPostCommandSix) {
  mapwin_t* win = window(100, 100);
  set_current_mapwin(win);
  mapwin_request_redraw(nullptr);
  EXPECT_EQ(v(win->redraw_needed), 1);
  mapwin_request_redraw_now(win);
  ASSERT_EQ(record().posted.size(), 2u);
  EXPECT_EQ(record().posted[0], std::make_pair(6, std::string()));
  EXPECT_EQ(record().posted[1], std::make_pair(6, std::string("1")));
  set_current_mapwin(nullptr);
  mapwin_request_redraw(nullptr);  // no window: nothing
  EXPECT_EQ(record().posted.size(), 2u);
}

TEST_F(MapWinRedraw, DirtyWindowsAreInvalidatedWhole) {
  mapwin_t* dirty = window(200, 100);
  mapwin_t* clean = window(200, 100);
  dirty->map = screen_mapping{-10.0, 0.0, 2.0, 2.0};
  extent_list_free(dirty->invalid);
  extent_list_free(clean->invalid);
  mapwin_invalidate_world_rect(dirty, extent_t{1, 2, 1, 2, 0});
  dirty->scroll_dx = 7;
  mapwin_request_redraw(dirty);
  redraw_dirty_mapwins();
  EXPECT_EQ(v(dirty->redraw_needed), 0);
  EXPECT_EQ(v(dirty->scroll_dx), 0);
  ASSERT_EQ(extent_list_count(v(dirty->invalid)), 1);
  const extent_t e = extent_list_at(dirty->invalid, 0);
  // The page 0..200 x 0..100 in world coordinates: world = screen / scale - origin.
  EXPECT_NEAR(e.xmin, 10.0, 1e-6);
  EXPECT_NEAR(e.xmax, 110.0, 1e-6);
  EXPECT_NEAR(e.ymin, 0.0, 1e-6);
  EXPECT_NEAR(e.ymax, 50.0, 1e-6);
  EXPECT_EQ(extent_list_count(v(clean->invalid)), 0);
}

TEST_F(MapWinRedraw, WorldRectangleWidenedByItsStepInPixels) {
  mapwin_t* win = window(200, 100);
  win->map = screen_mapping{0.0, 0.0, 4.0, 4.0};
  extent_list_free(win->invalid);
  mapwin_invalidate_world_rect(win, extent_t{10, 20, 10, 20, 8});
  ASSERT_EQ(extent_list_count(v(win->invalid)), 1);
  const extent_t e = extent_list_at(win->invalid, 0);
  EXPECT_NEAR(e.xmin, 8.0, 1e-6);  // 8 pixels at 4 pixels per unit
  EXPECT_NEAR(e.xmax, 22.0, 1e-6);
}

TEST_F(MapWinRedraw, RectanglesFromAnotherThreadAreKept) {
  mapwin_t* win = window(200, 100);
  extent_list_free(win->invalid);
  std::thread loader([&] {
    for (int i = 0; i < 200; ++i)
      view_redraw_rect(gs_, extent_t{double(i) * 10, double(i) * 10 + 1, 0, 1, 0});
  });
  for (int i = 0; i < 200; ++i) mapwin_invalidate_screen_rect(win, extent_t{0, 1, 0, 1, 0});
  loader.join();
  EXPECT_GT(extent_list_count(v(win->invalid)), 0);
}

}  // namespace
