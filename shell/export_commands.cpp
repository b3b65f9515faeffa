// Exports: the menu command (save_file) writes, for every loaded file of the kind asked,
// one output file named after it in the folder of the export dialog; each export runs
// as command 15 on the user-interface thread, whose text carries the address of the
// object list to write. That list is recorded when posted and taken out of the record
// by the command that frees it, so a text the command does not know frees nothing, and
// no list is freed twice or left behind.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/replace_file.h"
#include "formats/file_load.h"
#include "formats/gpx.h"
#include "formats/kml.h"
#include "formats/mif.h"
#include "gps/nmea_files.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"
#include "shell/preference_dialogs.h"

namespace {

constexpr int kFormatMif = 27;
constexpr int kFormatGpx = 30;
constexpr int kFormatKml = 38;
constexpr int kFormatNmea = 39;

std::mutex g_lock;
std::set<container_t*> g_posted;  // lists posted, not yet exported
using export_writer = void (*)(const char* name, container_t* list);

void gpx_writer(const char* name, container_t* list) { write_gpx(name, list); }

// The writers by (kind, format).
struct writer_row {
  int kind, format;
  export_writer writer;
};
const writer_row kWriters[] = {
    {kExportKindGps, kFormatGpx, gpx_writer},
    {kExportKindGraphics, kFormatMif, mif_write_file},
    {kExportKindGraphics, kFormatKml, kml_write_file},
    {kExportKindGps, kFormatNmea, nmea_write_file},
};

export_writer writer_of(int kind, int format) {
  for (const writer_row& r : kWriters)
    if (r.kind == kind && r.format == format) return r.writer;
  return nullptr;
}

// Takes a posted list out of the record; false when the address was never posted (or
// was exported already).
bool take_posted(container_t* list) {
  std::lock_guard<std::mutex> g(g_lock);
  return g_posted.erase(list) == 1;
}

// The objects belong to their files: only the list goes. An error being reported must
// not keep the list alive (the store frees nothing while gblerr is set).
void free_list(container_t* list) {
  const int saved = get_gblerr();
  set_gblerr(0);
  obj_list_clear(list);
  free_obj(&list);
  set_gblerr(saved);
}

// The folders of the file and the georefs of its folders: what the writers take.
container_t* export_objects(const fileatt_t* file) {
  container_t* list = nullptr;
  file_list_folder_items(file, &list);
  if (!list) return nullptr;
  folder_t* it = nullptr;
  int at = 0;
  while (file_next_folder(file, &it)) obj_list_insert(list, at++, it);
  return list;
}

// The output name: the folder, then the file's base name with '.' made '_', then the
// chosen extension.
std::string output_name(const char* folder, const fileatt_t* file, const char* extension) {
  std::string base = path_basename(file_get_name(file));
  std::replace(base.begin(), base.end(), '.', '_');
  char* name = nullptr;
  str_set(folder, &name);
  if (!path_ends_with_sep(name)) str_cat("/", &name);
  str_cat(base.c_str(), &name);
  str_cat(".", &name);  // the extension then replaces what follows this '.'
  path_set_extension(&name, extension);
  std::string out = name ? name : "";
  free_mem(&name);
  return out;
}

// An existing file, or a name given to an earlier export of this run, is only
// replaced when the user says so.
bool may_write(const std::string& name) {
  if (!file_exists(name.c_str()) && !export_name_used(name)) return true;
  const bool fr = is_french();
  const std::string text = (fr ? "Le fichier " : "File ") + name +
                           (fr ? " existe deja.\nVoulez-vous le remplacer ?"
                               : " already exists.\nDo you want to replace it?");
  return ask_yes_no(text.c_str(), fr ? "Remplacement de fichier" : "Replace File");
}

bool exports_file(const fileatt_t* file, int kind) {
  if (file->filetype != kFileKindMap && file->filetype != kFileKindGps) return false;
  return kind != kExportKindGps || file_has_gps_points(const_cast<fileatt_t*>(file));
}

// The loaded files, in id order.
std::vector<fileatt_t*> loaded_files_by_id() {
  std::vector<fileatt_t*> files;
  container_t* all = get_file_list();
  for (int i = 0; i < obj_list_count(all); ++i) {
    obj_t* o = nullptr;
    obj_list_get(all, i, &o);
    if (fileatt_t* f = file_of(o)) files.push_back(f);
  }
  std::sort(files.begin(), files.end(), [](fileatt_t* a, fileatt_t* b) { return a->id < b->id; });
  return files;
}

// The message names the file and, on a line of its own, the system's reason when a
// writer met one (no room left, permission denied, ...).
void report_save_error(const char* name) {
  const bool fr = is_french();
  std::string text = std::string(fr ? "Erreur lors de la sauvegarde du fichier "
                                    : "Error while saving file ") + name;
  const char* reason = file_write_reason();
  if (reason && *reason) text += std::string("\n") + reason;
  msg_box(text.c_str(), fr ? "Erreur lors de la sauvegarde" : "Unable to save");
  set_gblerr(0);
}

}  // namespace

void save_file(int kind) {
  int format = 0;
  char* folder = nullptr;
  char* extension = nullptr;
  if (export_dialog(kind, &format, &folder, &extension)) {
    for (fileatt_t* file : loaded_files_by_id()) {
      if (!exports_file(file, kind)) continue;
      const std::string name = output_name(folder, file, extension);
      if (!may_write(name)) continue;
      container_t* list = export_objects(file);
      if (!list) continue;
      export_name_remember(name);
      post_export_command(list, kind, format, name.c_str());
    }
  }
  free_mem(&folder);
  free_mem(&extension);
}

int post_export_command(container_t* list, int kind, int format, const char* name) {
  if (!list) return 0;
  char head[96];
  std::snprintf(head, sizeof head, "%ld %d %d ", long(intptr_t(list)), kind, format);
  const std::string text = std::string(head) + (name ? name : "");
  {
    std::lock_guard<std::mutex> g(g_lock);
    g_posted.insert(list);
  }
  if (post_command(kExportCommand, 0, text.c_str()) != 0) return 1;
  if (take_posted(list)) free_list(list);
  return 0;
}

void run_export_command() {
  const char* text = current_task_text();
  long address = 0;
  int kind = 0, format = 0, used = 0;
  if (!text || std::sscanf(text, "%ld %d %d%n", &address, &kind, &format, &used) != 3) return;
  if (text[used] == 0 || text[used + 1] == 0) return;
  const std::string name = text + used + 1;
  container_t* list = reinterpret_cast<container_t*>(intptr_t(address));
  if (!take_posted(list)) return;  // unknown or already exported: not ours to free
  set_gblerr(0);
  file_write_reason_clear();
  const bool writes = writer_of(kind, format) != nullptr;
  file_export(list, kind, format, name.c_str());
  const bool failed = get_gblerr() != 0 || (writes && !file_exists(name.c_str()));
  free_list(list);
  if (failed) report_save_error(name.c_str());
}

void file_export(container_t* list, int kind, int format, const char* name) {
  export_writer writer = writer_of(kind, format);
  if (!writer || !list || !name) return;
  set_busy_cursor(2);
  writer(name, list);
}
