// The scheduling step: the pending invalid rectangles of every map window are handed
// to its pane, as background to clear and as work for each layer they meet; and the
// layer queries of a graph space the pass and the printing need.
//
// It runs on the user-interface thread before any command starts, while no task runs;
// the load task and the live GPS reader may add invalid rectangles at the same time, so
// the lists are changed under graphspace_mutex() and then mapwin_invalid_mutex(), the
// order every other user of both takes.
#include "core/core_classes.h"
#include "core/obj_list.h"
#include "map/quadtree_internal.h"
#include "map/redraw.h"

namespace {

using invalid_lock = std::lock_guard<std::mutex>;

// A world rectangle to the layers of the pane whose extent it meets; the first layer's
// rectangles also go to the raster list. Layer extents are kept in graph units (the
// extent routines carry objects through the layer's link), so the world rectangle is
// compared with them as it stands.
void distribute(pane_t* pane, const obj_t* grid, extent_t r) {
  for (int i = 0, n = obj_list_count(pane->layer_index); i < n; ++i) {
    layer_t* layer = nullptr;
    extent_list_t* rects = nullptr;
    obj_list_get(pane->layer_index, i, &layer);
    obj_list_get(pane->layer_rects, i, &rects);
    if (!layer || !rects) continue;
    extent_t meet = r;
    if (!extent_intersect(&meet, layer->extent)) continue;
    extent_list_add_merged(grid, rects, r);
    if (i == 0 && pane->raster_rects) extent_list_add_merged(grid, pane->raster_rects, r);
  }
}

void schedule_window(mapwin_t* win, graphspace_t* gs) {
  pane_t* pane = win->pane;
  graphspace_lock space_lock(graphspace_mutex());
  invalid_lock lock(mapwin_invalid_mutex());
  pane->map = win->map;
  if (!win->invalid) return;
  if (extent_is_empty(gs->extent)) {
    extent_list_free(win->invalid);
    return;
  }
  extent_t* first = nullptr;
  while (extent_list_next(gs, win->invalid, &first)) {
    const extent_t r = extent_load(first);
    extent_list_subtract(gs, win->invalid, r);
    if (pane->background_rects) extent_list_add_merged(gs, pane->background_rects, r);
    extent_t meet = r;
    if (extent_intersect(&meet, gs->extent)) distribute(pane, gs, r);
  }
  // The background is cleared only where no image will be drawn over it.
  layer_t* images = nullptr;
  graphspace_layer_of_priority(gs, 0, &images);
  if (images && !extent_is_empty(images->extent) && pane->background_rects)
    extent_list_subtract(gs, pane->background_rects, images->extent);
}

}  // namespace

void redraw_schedule() {
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) {
    mapwin_t* win = static_cast<mapwin_t*>(cursor);
    graphspace_t* gs = static_cast<graphspace_t*>(win->graphspace);
    if (win->pane && gs) schedule_window(win, gs);
  }
}

layer_t* graphspace_find_layer(graphspace_t* gs, int priority, layer_t** out) {
  layer_t* layer = nullptr;
  if (!gs) gs = graphspace_current();
  if (gs) graphspace_layer_of_priority(gs, priority, &layer);
  if (out) *out = layer;
  return layer;
}

layer_t* graphspace_find_layer_entry(graphspace_t* gs, layer_t** out) {
  return graphspace_find_layer(gs, 0, out);
}

layer_t* graphspace_find_layer_by_id(graphspace_t* gs, int id, layer_t** out) {
  layer_t* found = nullptr;
  if (!gs) gs = graphspace_current();
  if (gs) {
    graphspace_lock lock(graphspace_mutex());
    for (int i = 0, n = obj_list_count(gs->layers); i < n && !found; ++i) {
      layer_t* layer = nullptr;
      obj_list_get(gs->layers, i, &layer);
      if (layer && layer->id == id) found = layer;
    }
  }
  if (out) *out = found;
  return found;
}

void graphspace_count_layers(graphspace_t* gs, int* has_images, int* has_data) {
  int images = 0, data = 0;
  if (gs) {
    graphspace_lock lock(graphspace_mutex());
    for (int i = 0, n = obj_list_count(gs->layers); i < n; ++i) {
      layer_t* layer = nullptr;
      obj_list_get(gs->layers, i, &layer);
      if (!layer || obj_list_count(layer->objects) == 0) continue;
      (layer->priority == 0 ? images : data) = 1;
    }
  }
  if (has_images) *has_images = images;
  if (has_data) *has_data = data;
}
