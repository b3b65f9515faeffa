// A folder named by a file list brings the file objects of every file below it (not the
// folders themselves, which load nothing). The walk never follows symbolic links, so a
// link back up the tree cannot make it run without end.
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/folder_walk.h"
#include "core/obj_list.h"
#include "formats/file_list.h"
#include "map/file_object.h"

namespace {

// The list the walk fills (walks are process-wide and never nest).
container_t* g_target = nullptr;

// Slot 1: lists the folder named by the path; one that cannot be listed ends the walk.
void walk_folder() {
  dirscan_first();
  if (get_gblerr() != 0) {
    set_gblerr(0);
    dirscan_abort();
  }
}

// Slot 3: a file was found; its file object joins the list.
void walk_file() {
  fileatt_t* file = nullptr;
  file_open(nullptr, nullptr, dirscan_entry_name(), &file);
  if (file && g_target) obj_add_to_id_list(g_target, file);
  dirscan_set_event(DIRSCAN_NO_MORE);
}

const dirscan_fn kWalk[kDirscanSlots] = {
    dirscan_abort, walk_folder, dirscan_entry_path, walk_file, dirscan_reset_state, dirscan_next,
    dirscan_up,
};

}  // namespace

namespace file_list_detail {

void add_folder_files(const char* folder, container_t* list) {
  std::string path = folder;
  if (path.empty()) return;
  if (path.back() != '/' && path.back() != '\\') path.push_back('/');
  const int before = get_gblerr();
  g_target = list;
  dirscan_walk(path.c_str(), kWalk);
  g_target = nullptr;
  // A folder that cannot be walked brings nothing and leaves no error behind.
  set_gblerr(before);
}

}  // namespace file_list_detail
