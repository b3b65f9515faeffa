// Opening files: the one entry every way of loading ends in (open_file), the file
// object of a path (open_object_file, with the walk that turns a folder into a list of
// file objects) and the multiple-selection open dialog.
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/file_info.h"
#include "core/folder_walk.h"
#include "core/memory.h"
#include "map/file_object.h"
#include "shell/framework/choosers.h"
#include "shell/framework/dispatcher.h"
#include "shell/load_commands.h"

namespace {

// The list the folder walk fills (the walk is process-wide and never nests).
container_t* g_walk_target = nullptr;

// Opens the file object of a path and adds it to the walk's list, id-ordered.
void add_walk_file(const char* path) {
  fileatt_t* file = nullptr;
  file_open(nullptr, nullptr, path, &file);
  if (file && g_walk_target) obj_add_to_id_list(g_walk_target, file);
}

// Slot 1 of the walk: lists the folder now named by the path, and adds the folder's own
// file object. A folder that cannot be listed ends the walk quietly.
void file_open_dirscan_current() {
  dirscan_first();
  if (get_gblerr() != 0) {
    set_gblerr(0);
    dirscan_abort();  // finishes the walk; its error is cleared by the caller
    return;
  }
  add_walk_file(dirscan_path());
}

// Slot 3 of the walk: a file was found; its file object joins the list, then the walk
// goes on with the next entry.
void file_open_dirscan_name() {
  add_walk_file(dirscan_entry_name());
  dirscan_set_event(DIRSCAN_NO_MORE);
}

const dirscan_fn kOpenWalk[kDirscanSlots] = {
    dirscan_abort,       file_open_dirscan_current, dirscan_entry_path, file_open_dirscan_name,
    dirscan_reset_state, dirscan_next,              dirscan_up,
};

// A folder: its file object holds the file objects of everything below it.
fileatt_t* open_folder_object(char** path, fileatt_t** out) {
  if (!*path || (*path)[0] == 0) return nullptr;
  const char last = (*path)[std::char_traits<char>::length(*path) - 1];
  if (last != '/' && last != '\\') str_cat_char('/', path);
  file_open(nullptr, nullptr, *path, out);
  fileatt_t* folder = *out;
  if (!folder) return nullptr;
  container_t* list = nullptr;
  obj_list_new(&list);
  if (folder->sot) free_obj(&folder->sot);
  folder->sot = list;
  g_walk_target = list;
  dirscan_walk(*path, kOpenWalk);
  g_walk_target = nullptr;
  obj_list_remove_id(list, folder->id);
  return folder;
}

}  // namespace

fileatt_t* open_object_file(const char* path, fileatt_t** out) {
  fileatt_t* local = nullptr;
  fileatt_t** result = out ? out : &local;
  *result = nullptr;
  if (!path || !*path) return nullptr;
  char* work = nullptr;
  str_set(path ? path : "", &work);
  url_normalize(&work);
  int type = 0;
  int64_t size = 0;
  if (work && *work) file_info(work, &type, &size, nullptr);
  if (type == FILE_TYPE_FOLDER)
    open_folder_object(&work, result);
  else if (work && *work)
    file_open(nullptr, nullptr, work, result);
  set_gblerr(0);  // a path that cannot be opened gives no file object and no error
  free_mem(&work);
  return *result;
}

void open_file(const char* path) {
  if (!path || !*path) return;
  // A private copy: normalising works in place and may grow the text.
  char* text = nullptr;
  str_set(path, &text);
  url_normalize(&text);
  if (text && *text) post_load_command(text, 1);
  free_mem(&text);
}

namespace {

// Label and patterns of each filter, in the order the dialog offers them.
constexpr char kOpenFilters[] =
    "All files\0*.*\0"
    "Image files\0*.tiff;*.tif;*.ecw;*.sid;*.jpg;*.jpeg\0"
    "Graphic files\0*.shp;*.mif;*.map;*.osm;*mp\0"
    "GPS data files\0*.tmw;*.tmt;*.tmr;*.gpx;*.wpt;*.trk;*.rte;*.plt;*.pnt;*.evt;*.mglt;*.mglw;"
    "*.gtm;*.txt;*.nmea;*.trl;*.wpr;*.wpo;*.usr;*.tmn;*.emt;*.log;*.upt;*.tk1;*.tk2;*.tk3;"
    "*.rtkt;*.mtkt\0"
    "Compressed files\0*.gz;*.zip\0";

}  // namespace

void cmd_open_files(int) {
  std::vector<std::string> paths;
  const char* title = is_french() ? "Chargement de fichier(s)" : "Loading file(s)";
  // The literal's own final NUL closes the list with an empty label.
  if (!file_dialog_multi(nullptr, &paths, title, kOpenFilters)) return;
  // From the last to the first, as the dialog's own order was given back.
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) open_file(it->c_str());
}
