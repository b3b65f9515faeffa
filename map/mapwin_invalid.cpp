// Invalid rectangles of map windows and redraw requests: what a change of the map
// records for the redraw pass. Rectangles arrive from the user-interface thread, the
// load task and the live GPS reader, so each window's invalid list and its
// redraw-needed flag are kept under one leaf mutex. The routines the graph spaces reach
// the windows through (view hooks) are filled here.
#include "core/command_hooks.h"
#include "core/obj_list.h"
#include "map/extent_map.h"
#include "map/file_object.h"
#include "map/mapwin.h"
#include "map/quadtree.h"

namespace {

constexpr int kDirtySlot = 6;

mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }

// Adds a world rectangle to the window's list, the mapping read under the same lock
// (the user-interface thread moves it while a load task adds rectangles). Snapping the
// rectangle to the grid reads the graph space's extent under graphspace_mutex(): that
// lock is taken first, as everywhere. `to_world` turns the rectangle into world
// coordinates with the window's mapping.
template <class F> void add_rect(mapwin_t* win, extent_t e, F to_world) {
  graphspace_lock space_lock(graphspace_mutex());
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
  if (!win->invalid) return;
  const extent_t world = to_world(screen_mapping(win->map), e);
  extent_list_add_merged(win->graphspace, win->invalid, world);
}

void empty_list(extent_list_t* list) {
  if (list) extent_list_free(list);
}

void mark_and_post(mapwin_t* win, const char* text) {
  win = or_current(win);
  if (!win) return;
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win->redraw_needed = 1;
  }
  core_post_command(kDirtySlot, 0, text);
}

// View hooks: a pane's rectangle goes to its window; a new layer to the window named.
void pane_redraw_hook(pane_t* pane, extent_t e) {
  if (pane) mapwin_invalidate_world_rect(pane->mapwin, e);
}

// A folder that is not displayed (a KML folder whose visibility is 0, one the user hid)
// has its layer made but not shown, as the layers window shows its box unchecked; its
// switch adds the layer when the user checks it.
void add_layer_hook(mapwin_t* win, layer_t* layer, obj_t* folder) {
  if (folder && folder->cls == kFolderClass && !static_cast<folder_t*>(folder)->displayed) return;
  mapwin_add_layer(win, layer);
}

}  // namespace

std::mutex& mapwin_invalid_mutex() {
  static std::mutex m;
  return m;
}

void mapwin_invalidate_screen_rect(mapwin_t* win, extent_t screen) {
  win = or_current(win);
  if (!win || !win->pane) return;
  add_rect(win, screen, [](screen_mapping m, extent_t e) {
    extent_t world{};
    screen_to_world_extent(m, e, &world);
    return world;
  });
}

void mapwin_invalidate_world_rect(mapwin_t* win, extent_t world) {
  win = or_current(win);
  if (!win || !win->pane) return;
  add_rect(win, world, [](screen_mapping m, extent_t e) {
    // The step is a margin in pixels (a symbol or a line width around the shape).
    if (e.step == e.step && e.step != 0.0) {
      extent_t screen{};
      world_to_screen_extent(m, e, &screen);
      extent_inflate(&screen, e.step);
      screen_to_world_extent(m, screen, &e);
    }
    return e;
  });
}

void mapwin_clear_invalid(mapwin_t* win) {
  win = or_current(win);
  if (!win) return;
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    empty_list(win->invalid);
  }
  if (pane_t* pane = win->pane) {
    empty_list(pane->background_rects);
    empty_list(pane->raster_rects);
    for (int i = 0, n = obj_list_count(pane->layer_rects); i < n; ++i) {
      extent_list_t* list = nullptr;
      obj_list_get(pane->layer_rects, i, &list);
      empty_list(list);
    }
  }
  visible_list_reset();
}

void mapwin_request_redraw(mapwin_t* win) { mark_and_post(win, nullptr); }

void mapwin_request_redraw_now(mapwin_t* win) { mark_and_post(win, "1"); }

void redraw_dirty_mapwins() {
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) {
    mapwin_t* win = static_cast<mapwin_t*>(cursor);
    if (!win->pane) continue;
    {
      std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
      if (!win->redraw_needed) continue;
      win->redraw_needed = 0;
    }
    win->scroll_dx = 0;
    win->scroll_dy = 0;
    mapwin_clear_invalid(win);
    mapwin_invalidate_screen_rect(win, win->pane->page);
  }
}

int graphspace_has_data(const graphspace_t* gs) {
  if (!gs) return 0;
  graphspace_lock lock(graphspace_mutex());
  return extent_is_empty(gs->extent) ? 0 : 1;
}

void mapwin_install_view_hooks() {
  graphspace_view_hooks hooks{};
  hooks.pane_redraw = pane_redraw_hook;
  hooks.mapwin_add_layer = add_layer_hook;
  hooks.drop_layer_everywhere = mapwin_drop_layer_everywhere;
  hooks.mapwin_sync_scrollbars = mapwin_sync_scrollbars;
  graphspace_set_view_hooks(&hooks);
}
