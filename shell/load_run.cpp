// The load task (command 14, a worker): one run per posted path. The run finds or makes
// the file object, puts it (or the members of a folder) on the work list, and reads the
// work list in id order: each file is recognised, a container's members join the work
// list, anything else is loaded into the current graph space. The run ends by posting
// the fit command (19) when the view is to follow, or by asking a redraw.
//
// Several runs posted together (the command line's files, a choice of several files)
// share one fit, made after the last of them. When that last run loads nothing (its
// file fails), the fit goes to the files of the latest run of the batch that did load,
// rather than to nothing: the data loaded stays in view, the failure in the title.
#include <cstring>
#include <filesystem>
#include <system_error>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/paths.h"
#include "core/file_info.h"
#include "formats/file_load.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"

namespace {

container_t* g_loaded = nullptr;
container_t* g_expansion = nullptr;
container_t* g_work = nullptr;
// The files of the latest run that loaded something while the fit it posted is pending.
container_t* g_earlier = nullptr;

container_t* list_of(container_t** slot) {
  if (!*slot) obj_list_new(slot);
  return *slot;
}

// Moves every file object of `from` to the id-ordered work list; `from` ends empty of them.
void move_files_to_work(container_t* from) {
  container_t* work = load_work_list();
  for (int i = 0; i < obj_list_count(from); ++i) {
    obj_t* o = nullptr;
    obj_list_get(from, i, &o);
    if (file_of(o)) obj_add_to_id_list(work, o);
  }
  obj_list_remove_type(from, kFileClass);
}

// The loaded-files list keeps the order of loading, so it is searched from the start.
void remove_loaded(fileatt_t* file) {
  container_t* loaded = load_loaded_files();
  for (int i = obj_list_count(loaded) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(loaded, i, &o);
    if (o == file) obj_list_remove_at(loaded, i);
  }
}

// The frame's texts change on the user-interface thread.
void show_loading_title(const fileatt_t* file) {
  std::string title = is_french() ? "Chargement - " : "Loading - ";
  title += file_get_name(file);
  run_on_ui_thread([&]() -> intptr_t {
    main_set_doc_text(title.c_str());
    busy_reset();
    return 0;
  });
}

// A local file that does not exist (a web address is never called missing here).
bool missing_file(const fileatt_t* file) {
  const char* name = file_get_name(file);
  if (!name || !*name || std::strstr(name, "://")) return false;
  return !file_exists(name);
}

// A local file of no byte at all: damaged (cut off, or never written), whatever its name.
bool empty_file(const fileatt_t* file) {
  const char* name = file_get_name(file);
  if (!name || !*name || std::strstr(name, "://")) return false;
  std::error_code ec;
  return std::filesystem::file_size(name, ec) == 0 && !ec;
}

// A file of a kind the load steps show (images, maps, GPS data).
bool kind_loads_into_graph(int kind) {
  return kind == kFileKindRaster || kind == kFileKindEcwp || kind == kFileKindMap ||
         kind == kFileKindGps;
}

// Recognises and reads one file of the work list.
void load_one(fileatt_t* file) {
  if (file->filetype == kFileKindFolder) return;  // its files are on the work list
  load_add_loaded(file);
  if (file_has_objects(file)) return;
  show_loading_title(file);
  container_t* expansion = load_expansion_list();
  obj_list_clear(expansion);
  const int refusals = file_identify_depth_refusals();
  file_identify_and_load(file, expansion, 1);
  const bool too_deep = file_identify_depth_refusals() != refusals;
  if (too_deep) say_nested_too_deep(file);
  if (obj_list_count(expansion) > 0) {
    move_files_to_work(expansion);
    remove_loaded(file);
    file_unload(file, 1);
    set_gblerr(0);
    return;
  }
  const int identify_error = get_gblerr();
  set_gblerr(0);
  // An archive inside an archive had its members listed with those of the outer one:
  // they are on the work list already, and the archive itself shows nothing.
  if (file->filetype == kFileKindArchive) {
    remove_loaded(file);
    file_unload(file, 1);
    progress_hide();
    return;
  }
  // A picture without georeference loads too: it is shown in pixels. A file that is not
  // data at all is named in the status text, as one that cannot be shown, with the
  // reason: the recogniser's error, else a format it does not know.
  if (!kind_loads_into_graph(file->filetype)) {
    if (!too_deep)
      say_cannot_display(file, missing_file(file)  ? ERR_FILE_ACCESS
                             : empty_file(file)    ? ERR_BAD_FILE
                             : identify_error != 0 ? identify_error
                                                   : ERR_UNKNOWN_FORMAT);
  } else if (load_into_graph(load_loaded_files(), file)) {
    obj_add_to_id_list(get_file_list(), file);
    load_clear_failure_text();
  }
  if (!file_has_objects(file)) {
    remove_loaded(file);
    file_unload(file, 1);
  }
  set_gblerr(0);
  progress_hide();
}

// Whether a folder's walk found a file (not only folders, whose names end with their
// separator) below it.
bool holds_files(const fileatt_t* folder) {
  for (int i = 0; i < obj_list_count(folder->sot); ++i) {
    const fileatt_t* f = file_of(folder->sot->elems[i]);
    if (!f || f->filetype == kFileKindFolder) continue;
    const std::string name = file_get_name(f) ? file_get_name(f) : "";
    if (name.empty() || name.back() == '/' || name.back() == '\\') continue;
    int type = 0;
    int64_t size = 0;
    file_info(name.c_str(), &type, &size, nullptr);
    if (type != FILE_TYPE_FOLDER) return true;
  }
  return false;
}

// Step 4 of the run: the file itself, or the members of a folder, through the work list.
void read_work_list(fileatt_t* file) {
  container_t* work = load_work_list();
  if (file->filetype == kFileKindFolder && !holds_files(file)) say_empty_folder(file);
  if (file->sot && obj_list_has_class(file->sot, kFileClass))
    move_files_to_work(file->sot);
  else
    obj_add_to_id_list(work, file);
  while (obj_list_count(work) > 0) {
    obj_t* next = nullptr;
    obj_list_get(work, 0, &next);
    obj_list_remove_at(work, 0);
    if (fileatt_t* f = file_of(next)) load_one(f);
  }
  obj_list_clear(work);
}

// At the start of a run: while the fit of an earlier run is still to come, that run's
// files are kept aside (unless it loaded nothing itself, and the files kept before it
// stay); otherwise nothing is kept. The loaded-files list is emptied.
void start_loaded_files() {
  container_t* loaded = load_loaded_files();
  container_t* earlier = list_of(&g_earlier);
  if (task_slot_state(kFitCommand) == 0) {
    obj_list_clear(earlier);
  } else if (obj_list_count(loaded) > 0) {
    obj_list_clear(earlier);
    for (int i = 0; i < obj_list_count(loaded); ++i) obj_list_append(earlier, loaded->elems[i]);
  }
  obj_list_clear(loaded);
}

// A run that loaded nothing leaves the fit to the files kept aside.
void restore_earlier_files() {
  container_t* loaded = load_loaded_files();
  container_t* earlier = list_of(&g_earlier);
  if (obj_list_count(loaded) == 0)
    for (int i = 0; i < obj_list_count(earlier); ++i) obj_list_append(loaded, earlier->elems[i]);
}

// Steps 6 and 7: pending layer changes, then the fit command or a redraw.
void finish_run(bool fit) {
  restore_earlier_files();
  graphspace_t* gs = graphspace_current();
  if (gs && (gs->georef_changed || gs->rebuild_layers)) graphspace_rebuild(gs);
  if (task_slot_state(kFitCommand) == 0) {
    if (fit)
      post_command(kFitCommand, kFitDelayMs, nullptr);
    else
      mapwin_request_redraw(nullptr);
  }
}

}  // namespace

container_t* load_loaded_files() { return list_of(&g_loaded); }
container_t* load_expansion_list() { return list_of(&g_expansion); }
container_t* load_work_list() { return list_of(&g_work); }

void load_add_loaded(fileatt_t* file) { obj_list_append_unique(load_loaded_files(), file); }

void load_lists_free() {
  for (container_t** slot : {&g_loaded, &g_expansion, &g_work, &g_earlier}) {
    if (*slot) obj_list_clear(*slot);
    free_obj(slot);
  }
}

void cmd_load(void*) {
  start_loaded_files();
  const char* text = current_task_text();
  if (!text || !*text) {
    task_end();
    return;
  }
  const bool fit = text[0] == '1';
  const std::string path = text + 1;
  fileatt_t* file = nullptr;
  file_find_by_name(path.c_str(), &file);
  if (file && file_has_objects(file) && !obj_list_has_class(file->sot, kFileClass)) {
    load_add_loaded(file);  // already loaded: only the view follows
  } else {
    if (!file) open_object_file(path.c_str(), &file);
    if (file && file->filetype != kFileKindFolder) load_add_loaded(file);
    if (get_gblerr() != 0 || !file) {
      set_gblerr(0);
      if (!file) say_cannot_display_name(path.c_str(), ERR_FILE_ACCESS);
    } else
      read_work_list(file);
    obj_list_clear(load_work_list());
  }
  finish_run(fit);
  task_end();
}
