// Panes: the one pane a map window gets when a graph space is attached, its release,
// the size of the window and its page, and the axis direction of windows and graph
// spaces.
#include <cmath>

#include "core/error.h"
#include "core/index.h"
#include "core/obj_list.h"
#include "geodesy/xform_records.h"
#include "map/cursor_system.h"
#include "map/mapwin.h"

namespace {

mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }

extent_list_t* new_extent_list(obj_t* owner) {
  extent_list_t* list = nullptr;
  extent_list_create(owner, &list);
  return list;
}

// Under the lock a pass takes to copy the page (pane_page_copies, redraw.h).
void set_page(pane_t* pane, int width, int height) {
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
  pane->page_width = width;
  pane->page_height = height;
  pane->page = extent_t{0.0, double(width), 0.0, double(height), 0.0};
}

// Step 3 and 4 of the creation: the pane's own fields and lists.
void fill_pane(pane_t* pane, mapwin_t* win, graphspace_t* gs) {
  pane->mapwin = win;
  pane->map = win->map;
  pane->text_scale = 1.0;
  pane->symbol_scale = 1.0;
  pane->graphspace = gs;
  set_page(pane, win->width, win->height);
  pane->background_rects = new_extent_list(pane);
  pane->raster_rects = new_extent_list(pane);
  container_t* list = nullptr;
  obj_list_new(&list);
  pane->layers = list;
  list = nullptr;
  index_create(CLS_LAYER, AT_INT, int(offsetof(layer_t, priority)), &list);
  pane->layer_index = list;
  list = nullptr;
  obj_list_new(&list);
  pane->layer_rects = list;
  georef_t* georef = nullptr;
  obj_new_registered(CLS_GEOREF, &georef);
  pane->georef = georef;
}

template <class T> void free_field(T* value) { free_obj(&value); }

}  // namespace

int mapwin_attach_graphspace(mapwin_t* win, graphspace_t* gs) {
  win = or_current(win);
  if (!win || !gs || win->pane || get_gblerr() != 0) return 0;
  pane_t* pane = nullptr;
  obj_new_registered(CLS_PANE, &pane);
  if (!pane || get_gblerr() != 0) {
    free_obj(&pane);
    return 0;
  }
  {
    graphspace_lock lock(graphspace_mutex());
    win->axis_down = gs->orientation;
  }
  win->map = screen_mapping{0.0, 0.0, 1.0, 1.0};
  // Scale y carries the axis direction from the start: y up makes it -1.0.
  mapwin_set_orientation(win, win->axis_down);
  win->graphspace = gs;
  fill_pane(pane, win, gs);
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win->invalid = new_extent_list(win);
  }
  win->pane = pane;
  if (layer_t* image = graphspace_layer_of_priority(gs, kImageLayerPriority, nullptr)) {
    mapwin_add_layer(win, image);
    mapwin_invalidate_layer(win, image);
  }
  return get_gblerr() == 0 ? 1 : 0;
}

void mapwin_free_pane(mapwin_t* win) {
  if (!win) return;
  // A free routine does nothing while gblerr is set; the pane goes all the same.
  const int saved = get_gblerr();
  set_gblerr(0);
  if (pane_t* pane = win->pane) {
    container_t* rects = pane->layer_rects;
    for (int i = 0, n = obj_list_count(rects); i < n; ++i) {
      extent_list_t* list = nullptr;
      obj_list_get(rects, i, &list);
      extent_list_delete(&list);
    }
    free_field(rects);
    free_field(pane->layer_index);
    free_field(pane->layers);
    extent_list_t* list = pane->background_rects;
    extent_list_delete(&list);
    list = pane->raster_rects;
    extent_list_delete(&list);
    cursor_georef_release_chain(pane->georef);
    free_field(pane->georef);
    win->pane = nullptr;
    free_obj(&pane);
  }
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    extent_list_t* list = win->invalid;
    extent_list_delete(&list);
    win->invalid = nullptr;
  }
  win->graphspace = nullptr;
  set_gblerr(saved);
}

void mapwin_set_size(mapwin_t* win, int width, int height) {
  win = or_current(win);
  if (!win) return;
  win->width = width;
  win->height = height;
  if (pane_t* pane = win->pane) set_page(pane, width, height);
}

pane_t* mapwin_get_pane(mapwin_t* win, pane_t** out) {
  win = or_current(win);
  pane_t* pane = win ? win->pane : nullptr;
  if (out) *out = pane;
  return pane;
}

graphspace_t* mapwin_get_graphspace(mapwin_t* win, graphspace_t** out) {
  win = or_current(win);
  graphspace_t* gs = win ? static_cast<graphspace_t*>(win->graphspace) : nullptr;
  if (out) *out = gs;
  return gs;
}

void mapwin_set_orientation(mapwin_t* win, int flag) {
  win = or_current(win);
  if (!win) return;
  win->axis_down = flag;
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());  // see mapwin_apply_scroll
  const double magnitude = std::fabs(win->map.scale_y);
  win->map.scale_y = flag == 1 ? magnitude : -magnitude;
}

int mapwin_get_orientation(mapwin_t* win) {
  win = or_current(win);
  return win ? win->axis_down : 0;
}

int mapwin_get_graphspace_orientation(mapwin_t* win) {
  graphspace_t* gs = mapwin_get_graphspace(win, nullptr);
  if (!gs) return 0;
  graphspace_lock lock(graphspace_mutex());
  return gs->orientation;
}

void graphspace_set_orientation(graphspace_t* gs, int flag) {
  if (!gs) return;
  {
    graphspace_lock lock(graphspace_mutex());
    gs->orientation = flag;
  }
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) {
    mapwin_t* win = static_cast<mapwin_t*>(cursor);
    if (win->graphspace == gs) mapwin_set_orientation(win, flag);
  }
}
