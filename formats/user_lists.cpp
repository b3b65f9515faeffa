// The user's lists and list helpers of the feature-table modules (user_lists.h).
#include "formats/user_lists.h"

#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/paths.h"
#include "core/tracelog.h"
#include "map/repr.h"
#include "map/repr_lists.h"
#include "map/saved_tables.h"

namespace user_lists {

void user_list_open(user_list* u, const char* name, const char* folder) {
  if (!u->table) return;
  str_set(name, &u->table->name);
  if (!folder) return;
  const std::string path = std::string(folder) + name + ".sot";
  savfile_read(path.c_str(), u->table, &u->file);
  set_gblerr(0);
}

void user_list_free(user_list* u) {
  free_with_elements(&u->table);
  if (u->file && !u->file->in_table) free_obj(&u->file);
  u->file = nullptr;
}

void user_list_queue(const user_list* u, bool save) {
  if (save && u->table && u->file) savfile_queue(u->table, u->file);
}

void free_with_elements(container_t** list) { repr_free_list_deep(list); }

void free_index(container_t** list) {
  if (*list) free_obj(list);
}

bool load_named_list(const char* folder, const char* file, const char* list_name,
                     container_t** out, const char* fr, const char* en) {
  const std::string path = std::string(folder ? folder : "") + file;
  if (repr_load_named_list(path.c_str(), list_name, out) == 0) return true;
  log_write_separator();
  log_line(is_french() ? fr : en);
  return false;
}

std::string data_folder_of(const char* file) {
  char* path = nullptr;
  repr_data_path(file, &path);
  char* folder = nullptr;
  path_folder(path ? path : "", &folder);
  std::string out = folder ? folder : get_system_dir();
  free_mem(&folder);
  free_mem(&path);
  return out;
}

}  // namespace user_lists
