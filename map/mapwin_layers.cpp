// The layers a pane shows: its sorted layer index (by priority) with one rectangle list
// per layer at the same position, a plain list of the same layers, their invalidation,
// and command 21, which switches a layer on or off from a command text.
#include <cstdio>

#include "core/command_hooks.h"
#include "core/index.h"
#include "core/obj_list.h"
#include "core/tracelog.h"
#include "map/mapwin.h"

namespace {

pane_t* pane_of(mapwin_t* win) {
  win = win ? win : get_current_mapwin();
  return win ? win->pane : nullptr;
}

void remove_from_pane(pane_t* pane, layer_t* layer) {
  const int pos = pane_layer_position(pane, layer);
  if (pos < 0) return;
  obj_list_remove_at(pane->layer_index, pos);
  extent_list_t* rects = nullptr;
  obj_list_get(pane->layer_rects, pos, &rects);
  obj_list_remove_at(pane->layer_rects, pos);
  extent_list_delete(&rects);
  container_t* list = pane->layers;
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (o == layer) obj_list_remove_at(list, i);
  }
}

// The layer of an id in the graph space's layers; null when none has it.
layer_t* layer_by_id(graphspace_t* gs, int id) {
  if (!gs) return nullptr;
  graphspace_lock lock(graphspace_mutex());
  for (int i = 0, n = obj_list_count(gs->layers); i < n; ++i) {
    layer_t* layer = nullptr;
    obj_list_get(gs->layers, i, &layer);
    if (layer && layer->id == id) return layer;
  }
  return nullptr;
}

}  // namespace

int pane_layer_position(const pane_t* pane, const layer_t* layer) {
  if (!pane || !layer) return -1;
  return index_position_of(pane->layer_index, layer);
}

// The pane's lists change under the graph space's lock: a load task drops a layer
// from every pane while the user-interface thread switches layers on and off.
void mapwin_add_layer(mapwin_t* win, layer_t* layer) {
  graphspace_lock lock(graphspace_mutex());
  pane_t* pane = pane_of(win);
  if (!pane || !layer || pane_layer_position(pane, layer) >= 0) return;
  index_insert(pane->layer_index, layer);
  const int pos = pane_layer_position(pane, layer);
  if (pos < 0) return;
  extent_list_t* rects = nullptr;
  extent_list_create(pane, &rects);
  obj_list_insert(pane->layer_rects, pos, rects);
  obj_list_append(pane->layers, layer);
}

void mapwin_remove_layer(mapwin_t* win, layer_t* layer) {
  graphspace_lock lock(graphspace_mutex());
  if (pane_t* pane = pane_of(win)) remove_from_pane(pane, layer);
}

void mapwin_drop_layer_everywhere(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_PANE, &cursor)) remove_from_pane(static_cast<pane_t*>(cursor), layer);
}

void mapwin_invalidate_layer(mapwin_t* win, layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  graphspace_t* gs = layer->graphspace;
  if (!gs) gs = mapwin_get_graphspace(win, nullptr);
  if (!gs) return;
  // Moving objects (live position, track) spread over the map: only their own
  // rectangles are redrawn, not the box around all of them.
  if (layer->movobj)
    layer_redraw_all(layer);
  else
    view_redraw_rect(gs, layer->extent);
}

void mapwin_toggle_layer(mapwin_t* win, layer_t* layer, int add) {
  if (!layer) return;
  if (add)
    mapwin_add_layer(win, layer);
  else
    mapwin_remove_layer(win, layer);
  mapwin_invalidate_layer(win, layer);
}

int mapwin_toggle_layer_text(const char* text) {
  long win_id = 0;
  int layer_id = 0, add = 0;
  if (!text || std::sscanf(text, "%ld %d %d", &win_id, &layer_id, &add) != 3) {
    char line[160];
    std::snprintf(line, sizeof line, "mapwin_toggle_layer_text: bad command text \"%.100s\"",
                  text ? text : "");
    log_error_line(line);
    return 0;
  }
  obj_t* found = nullptr;
  if (win_id > 0 && win_id <= 0x7fffffffL) obj_find_in_class(CLS_MAPWIN, int(win_id), &found);
  mapwin_t* win = static_cast<mapwin_t*>(found);
  graphspace_t* gs = graphspace_current();
  if (layer_id == 0) {
    // The image layer is always shown: it is only drawn again.
    mapwin_invalidate_layer(win, graphspace_layer_of_priority(gs, kImageLayerPriority, nullptr));
    return 1;
  }
  layer_t* layer = layer_by_id(gs, layer_id);
  if (win && layer) mapwin_toggle_layer(win, layer, add);
  return 1;
}

void mapwin_toggle_layer_command() { mapwin_toggle_layer_text(core_current_task_text()); }
