// Zooming to what a window shows of one object (through the graphic index of each layer
// of its pane) or to a whole layer, and the dispatch that loading and the search
// dialogs use: an object, else an image, else nothing.
#include <cstring>

#include "core/obj_list.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"

namespace {

mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }

// The union of the entries that show the object in the pane's layers; false when no
// layer shows it.
bool object_extent(const pane_t* pane, const obj_t* object, extent_t* out) {
  bool found = false;
  *out = extent_t{};
  graphspace_lock lock(graphspace_mutex());
  const int n = obj_list_count(pane->layer_index);
  for (int i = 0; i < n; ++i) {
    layer_t* layer = nullptr;
    obj_list_get(pane->layer_index, i, &layer);
    gindex_entry_t* entry = layer ? gindex_find(layer, object, nullptr) : nullptr;
    if (!entry) continue;
    extent_t e{};
    extent_of_entry(entry, &e);
    e.step = 0.0;  // a pixel margin, not part of the world rectangle
    if (found)
      extent_union(out, e);
    else
      *out = e;
    found = true;
  }
  return found;
}

// The extent of the current graph space's layer of that priority.
bool layer_extent(int priority, extent_t* out) {
  graphspace_lock lock(graphspace_mutex());
  layer_t* layer = graphspace_layer_of_priority(nullptr, priority, nullptr);
  if (!layer) return false;
  std::memcpy(out, &layer->extent, sizeof *out);  // a field of a packed record
  return true;
}

}  // namespace

int view_zoom_object(mapwin_t* win, int priority, const obj_t* object, int centre_only) {
  win = or_current(win);
  if (!win) return 0;
  extent_t e{};
  if (object ? !win->pane || !object_extent(win->pane, object, &e) : !layer_extent(priority, &e))
    return 0;
  if (centre_only) return view_set(win, extent_center_x(e), extent_center_y(e), 1.0, 1.0, 1);
  return view_zoom_extent(win, e);
}

int view_zoom_to(mapwin_t* win, const obj_t* object, const bitmap_t* bitmap, int one_to_one,
                 int fit) {
  if (object) return view_zoom_object(win, one_to_one, object, fit == 0 ? 1 : 0);
  if (!bitmap) return 0;
  if (one_to_one) return view_image_one_to_one(bitmap, win);
  if (fit) return view_fit_image(win, bitmap);
  return view_center_image(win, bitmap);
}
