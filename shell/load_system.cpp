// Settling the coordinate system of a loaded folder and making the folders of a file
// layers of the current graph space, with the periodic reload that "reload" folders
// ask for.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "map/bitmap_record.h"
#include "map/cursor_system.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "platform/sys/utf.h"
#include "raster/image_load.h"
#include "raster/raster_ops.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"
#include "shell/system_dialogs.h"

namespace {

constexpr int kImageLayerTop = 10000000;

bitmap_t* folder_image(const folder_t* folder) {
  obj_t* link = folder_get_link(folder);
  return link && link->cls == CLS_BITMAP ? static_cast<bitmap_t*>(link) : nullptr;
}

georef_t* first_georef(const container_t* list) {
  obj_t* g = nullptr;
  obj_list_first_of_class(list, CLS_GEOREF, &g);
  return static_cast<georef_t*>(g);
}

bool has_system(const georef_t* g) { return g && g->refertype != GEOREF_NONE; }

bool graph_has_system() {
  graphspace_t* gs = graphspace_current();
  if (!gs) return false;
  graphspace_lock lock(graphspace_mutex());
  return has_system(gs->georef);
}

// The loader value after the image's resolutions (8 bytes, read as a double).
double image_loader_value(const bitmap_t* image) {
  double value = 0;
  std::memcpy(&value, image->loader_words2, sizeof value);
  return value;
}

// An image whose georeference lacks its datum or projection: the user chooses one.
bool complete_image_system(fileatt_t* file, bitmap_t* image) {
  if (!image->file || !has_system(image->georef) || georef_is_complete(image->georef)) return true;
  georef_t* chosen = nullptr;
  const bool ok =
      ask_system_on_ui(path_basename(file_get_name(file_of(image->file))), kSystemModeAll, &chosen) == 1;
  if (ok) obj_copy(chosen, image->georef);
  free_obj(&chosen);
  if (!ok) file_unload(file, 1);
  return ok;
}

// Sets the axis direction of the current graph space's windows, on the user-interface
// thread (the windows' mappings are read there).
void set_graph_orientation(int flag) {
  graphspace_t* gs = graphspace_current();
  if (!gs) return;
  {
    graphspace_lock lock(graphspace_mutex());
    if (gs->orientation == flag) return;
  }
  run_on_ui_thread([&]() -> intptr_t {
    graphspace_set_orientation(gs, flag);
    return 0;
  });
}

// A picture without georeference is shown in its own pixels (image = world), whose rows
// go down: the space's y axis is turned downwards so that its top row is on top, as the
// image viewer shows it.
void show_rows_downwards() {
  if (!graph_has_system()) set_graph_orientation(1);
}

// The current graph space takes the folder's system while it has none; world y then
// goes up (north up) again.
void adopt_system(const georef_t* georef) {
  graphspace_t* gs = graphspace_current();
  if (!gs || !has_system(georef)) return;
  {
    graphspace_lock lock(graphspace_mutex());
    if (has_system(gs->georef)) return;
    graphspace_take_system(gs, georef);
  }
  set_graph_orientation(0);
  cursor_chains_follow(gs);
}

// An image folder refers to its image and holds no list, while a layer shows a list:
// the file's first folder shares the file's list (which holds the image), any other
// gets a list of its own with its image (a folder frees such a list, not its objects).
void give_image_a_list(folder_t* folder, bitmap_t* image) {
  if (folder->sot) return;
  fileatt_t* owner = file_of(folder->file);
  if (owner && folder_of(owner->folder) == folder && owner->sot &&
      obj_list_count_of_class(owner->sot, CLS_BITMAP) > 0) {
    folder->sot = owner->sot;
    return;
  }
  container_t* list = nullptr;
  obj_list_new(&list);
  if (!list) return;
  obj_list_append(list, image);
  folder->sot = list;
}

// What a settled image folder gets: overview building, its drawing order and the list
// its layer shows.
void prepare_image(folder_t* folder, bitmap_t* image) {
  give_image_a_list(folder, image);
  overview_queue_image(image);
  const double value = image_loader_value(image);
  if (value == 0) image_place_in_georef(image);
  if (folder->layer == 0 && value != 0)
    folder->layer = kImageLayerTop - int(std::trunc(value * 100));
}

// system_compat_check of a folder's georef against the current graph space; data without
// system (pixels) fit only a space without system either.
int folder_system_check(const georef_t* georef) {
  if (!has_system(georef)) return graph_has_system() ? 0 : 1;
  int check = 0;
  system_compat_check(nullptr, georef, 1, &check);
  return check;
}

// An image is resampled into the graph space's system when the two differ (nothing
// happens when they agree or while the space has none). 0, or the error code.
int reproject_image(bitmap_t* image) {
  graphspace_t* gs = graphspace_current();
  if (!gs) return 0;
  georef_t* graph = nullptr;
  {
    graphspace_lock lock(graphspace_mutex());
    if (!has_system(gs->georef) || !has_system(image->georef)) return 0;
    graph = gs->georef;
  }
  return image_reproject_into_graph(image, graph);
}

void say_cannot_show(const fileatt_t* file, int reason) {
  load_say_failure(is_french() ? "Impossible d'afficher  " : "Can't display  ", file_get_name(file),
                   reason);
  load_note_failure(kReasonShown);
}

// A folder of the file named "reload" that shows another file, or null.
folder_t* reload_folder_of(const fileatt_t* file) {
  folder_t* it = nullptr;
  while (file_next_folder(file, &it)) {
    if (it == file->folder || !it->name) continue;
    if (wstr_compare_ci_then_cs(it->name, u"reload") != 0) continue;
    fileatt_t* other = file_of(it->file);
    if (other && other != file) return it;
  }
  return nullptr;
}

}  // namespace

georef_t* folder_georef(const folder_t* folder) {
  if (!folder) return nullptr;
  if (georef_t* g = first_georef(folder->sot)) return g;
  if (bitmap_t* image = folder_image(folder)) return image->georef;
  // A folder that holds only sub-folders (the readers group objects by kind or key this
  // way) or whose list carries no georef is in its file's system.
  return file_georef(file_of(folder->file));
}

georef_t* file_georef(const fileatt_t* file) {
  if (!file) return nullptr;
  if (georef_t* g = first_georef(file->sot)) return g;
  obj_t* first = nullptr;
  obj_list_first_of_class(file->sot, CLS_BITMAP, &first);
  return first ? static_cast<bitmap_t*>(first)->georef : nullptr;
}

bool georef_fits_graph(const georef_t* georef) { return folder_system_check(georef) != 0; }

int ask_system_on_ui(const char* name, int mode, georef_t** out) {
  std::string title = is_french() ? "Choix du système géodésique - " : "Choose geodetic system - ";
  title += name ? name : "";
  const std::u16string wide = plat::utf8_to_utf16(title);
  return int(run_on_ui_thread([&]() -> intptr_t { return choose_system_dialog(wide.c_str(), mode, out); }));
}

void message_on_ui(const char* text, const char* caption) {
  run_on_ui_thread([&]() -> intptr_t { return msg_box(text, caption); });
}

void show_error_on_ui() {
  const int code = get_gblerr();
  if (code == 0) return;
  const std::string text = get_error_text(code), caption = get_error_title(code);
  set_gblerr(0);
  message_on_ui(text.c_str(), caption.c_str());
}

void load_choose_system(fileatt_t* file, folder_t* folder, int* ok) {
  int local = 1;
  int& result = ok ? *ok : local;
  result = 1;
  if (!folder) return;
  bitmap_t* image = folder_image(folder);
  if (image && !complete_image_system(file, image)) {
    result = 0;
    return;
  }
  // (An image's georef is replaced when the image is resampled below: read it again.)
  const georef_t* georef = image ? image->georef : folder_georef(folder);
  const int check = folder_system_check(georef);
  if (check == 0) {
    say_cannot_show(file, get_gblerr() ? get_gblerr() : ERR_GEOGRAPHIC);
    result = 0;
    set_gblerr(0);
    return;
  }
  // An image's pixels cannot follow a layer's link into the graph space's system the
  // way vector data does: an image in another system is resampled into it (nothing
  // happens while the space has no system yet or when both systems are the same).
  const bool may_resample = image && has_system(image->georef) && graph_has_system();
  if (may_resample && reproject_image(image) != 0) {
    say_cannot_show(file, get_gblerr() ? get_gblerr() : ERR_GEOGRAPHIC);
    result = 0;
    set_gblerr(0);
    return;
  }
  if (may_resample) georef = image->georef;
  if (check == 1) graph_reproject_if_needed();
  if (image) prepare_image(folder, image);
  // The decoder libraries' images (ECW, MrSID) are drawn through their own display
  // slots, which place the first row on top in a space whose y goes up already.
  if (image && !has_system(image->georef) && image->format != kDecoderEcw &&
      image->format != kDecoderSid)
    show_rows_downwards();
  adopt_system(georef);
  if (has_system(georef)) load_system_settled();
}

void attach_file_to_graphspace(fileatt_t* file) {
  if (!file) return;
  progress_reset_clock();
  graphspace_t* gs = graphspace_current();
  folder_t* it = nullptr;
  while (file_next_folder(file, &it)) graphspace_add_file(gs, it, load_folder_counter());
  layer_size_by_file(gs, file);
  // Files named by "reload" folders, followed through the files they lead to.
  std::vector<fileatt_t*> reload_set{file}, stack{file};
  load_add_loaded(file);
  while (!stack.empty()) {
    fileatt_t* f = stack.back();
    stack.pop_back();
    folder_t* reload = reload_folder_of(f);
    if (!reload) continue;
    fileatt_t* other = file_of(reload->file);
    bool known = false;
    for (fileatt_t* r : reload_set) known = known || r == other;
    if (!known) reload_set.push_back(other);
    obj_add_to_id_list(get_file_list(), other);
    stack.push_back(f);
    stack.push_back(other);
    load_add_loaded(f);
    load_add_loaded(other);
    obj_detach(reload);
  }
  for (fileatt_t* f : reload_set) reload_and_redraw(f);
}

void graph_reproject_if_needed() {
  graphspace_t* gs = graphspace_current();
  if (!gs) return;
  bool changed = false;
  {
    graphspace_lock lock(graphspace_mutex());
    changed = gs->georef_changed != 0 && has_system(gs->georef);
  }
  if (!changed) return;
  graphspace_rebuild(gs);
  cursor_chains_follow(gs);
}
