// The fit command (slot 19, user-interface thread): positions the current map window on
// what the last load run loaded, by the display options, once no load is posted or
// queued any more; and the same positioning for a folder the WMS client adds.
#include <cstring>

#include "core/error.h"
#include "formats/file_load.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"
#include "shell/menu.h"

namespace {

bool is_image_kind(int kind) { return kind == kFileKindRaster || kind == kFileKindEcwp; }

void add_extent(extent_t* all, const extent_t& e) {
  if (extent_is_null(e)) return;
  if (extent_is_null(*all))
    *all = e;
  else
    extent_union(all, e);
}

// The union, in graph-space coordinates, of the layers of the file's displayed folders
// that are not reloaded periodically, and of the images those folders show (an image
// folder of a vector file, such as a KML ground overlay, joins the image layer and has
// no layer of its own).
extent_t file_shown_extent(graphspace_t* gs, const fileatt_t* file) {
  extent_t all{};
  graphspace_lock lock(graphspace_mutex());
  folder_t* it = nullptr;
  while (file_next_folder(file, &it)) {
    if (!it->displayed || it->refreshintrv != 0) continue;
    obj_t* link = folder_get_link(it);
    if (link && link->cls == CLS_BITMAP) {
      extent_t e{};
      std::memcpy(&e, &static_cast<bitmap_t*>(link)->extent, sizeof e);
      add_extent(&all, e);
    }
    layer_t* layer = nullptr;
    mapwin_find_layer(gs, it, &layer);
    if (!layer) continue;
    // Packed records: the extent is copied out byte-wise.
    extent_t e{};
    if (layer->use_fixed_extent)
      std::memcpy(&e, &gs->fixed_extent, sizeof e);
    else
      std::memcpy(&e, &layer->extent, sizeof e);
    add_extent(&all, e);
  }
  return all;
}

// Non-image data: zoomed to, or centred on at the present scale. True when done.
bool position_on_data(mapwin_t* win, graphspace_t* gs, const fileatt_t* file) {
  const extent_t e = file_shown_extent(gs, file);
  if (extent_is_empty(e)) return false;
  if (opt_global_view_last.load())
    view_zoom_extent(win, e);
  else if (opt_center_last_loaded.load())
    view_set(win, extent_center_x(e), extent_center_y(e), 1.0, 1.0, 1);
  return true;
}

bitmap_t* file_image(const fileatt_t* file) {
  obj_t* first = nullptr;
  obj_list_first_of_class(file->sot, CLS_BITMAP, &first);
  return static_cast<bitmap_t*>(first);
}

// An image: positioned by the options, the first image ever with a global view.
void position_on_image(mapwin_t* win, bitmap_t* image) {
  const int first = g_first_image.load();
  if (!image || (!opt_center_last_loaded.load() && !first)) return;
  const int fit = first ? 1 : opt_global_view_last.load();
  view_zoom_to(win, nullptr, image, opt_zoom1_on_image.load(), fit);
  g_first_image = 0;
}

}  // namespace

void cmd_zoom_to_loaded() {
  if (task_slot_state(kLoadCommand) > 0) {
    post_command(kFitCommand, kFitDelayMs, nullptr);
    return;
  }
  update_main_title();
  mapwin_t* win = get_current_mapwin();
  graphspace_t* gs = graphspace_current();
  container_t* loaded = load_loaded_files();
  const int n = obj_list_count(loaded);
  for (int i = 0; i < n && win && gs; ++i) {
    obj_t* o = nullptr;
    obj_list_get(loaded, i, &o);
    fileatt_t* file = file_of(o);
    if (!file) continue;
    if (is_image_kind(file->filetype)) {
      position_on_image(win, file_image(file));
      break;
    }
    if (position_on_data(win, gs, file)) break;
  }
  mapwin_request_redraw(nullptr);
}

void show_loaded_folder(folder_t* folder) {
  if (!folder) return;
  int ok = 1;
  load_choose_system(nullptr, folder, &ok);
  if (!ok) return;
  graphspace_t* gs = graphspace_current();
  layer_t* layer = nullptr;
  mapwin_find_layer(gs, folder, &layer);
  if (layer)
    graphspace_update_layer(gs, layer, 0);
  else
    graphspace_add_file(gs, folder, load_folder_counter());
  obj_t* link = folder_get_link(folder);
  if (link && link->cls == CLS_BITMAP)
    position_on_image(get_current_mapwin(), static_cast<bitmap_t*>(link));
  mapwin_request_redraw(nullptr);
}
