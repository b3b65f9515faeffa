// The three load steps of a recognised file (images, maps, GPS data) and the dispatch
// between them. Each step reads the file, settles the system of every folder, checks
// the file's system against the current graph space and then attaches its folders as
// layers. A file none of whose data can be shown is released and named in the status
// text.
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/paths.h"
#include "core/tracelog.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "map/bitmap_record.h"
#include "map/cursor_system.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"
#include "shell/system_dialogs.h"

namespace {

constexpr int kFormatShapefile = 26;
constexpr int kFormatWinAprsMap = 42;
constexpr int kWinAprsUnit = 4;

// file_load, with every kind of failure (a result, an error, nothing read) as false.
bool read_file(fileatt_t* file) {
  int georef_request = 0;
  load_take_failure();
  const int result = file_load(file, &georef_request, 0);
  const bool ok = result == 0 && get_gblerr() == 0 && file_has_objects(file);
  // The reason: the reader's error, else its result, else a file that held nothing.
  if (!ok) load_note_failure(get_gblerr() ? get_gblerr() : result > 0 ? result : ERR_BAD_FILE);
  set_gblerr(0);
  return ok;
}

// load_choose_system over every folder of the file; false at the first that fails.
bool settle_folders(fileatt_t* file) {
  folder_t* it = nullptr;
  while (file_next_folder(file, &it)) {
    int ok = 1;
    load_choose_system(file, it, &ok);
    if (!ok) return false;
  }
  return true;
}

// The system check of the whole file, then its layers.
bool attach_when_compatible(fileatt_t* file) {
  if (!georef_fits_graph(file_georef(file))) {
    load_note_failure(ERR_GEOGRAPHIC);
    return false;
  }
  attach_file_to_graphspace(file);
  return true;
}

// The system the user gives a map file that has none: the mode by its format; a format
// that has no question answers null, as does Cancel.
georef_t* ask_map_system(fileatt_t* file) {
  const int format = int(file->fileformat);
  const int mode = format == kFormatShapefile    ? kSystemModeAll
                   : format == kFormatWinAprsMap ? kSystemModeGeographic
                                                 : 0;
  if (mode == 0) return nullptr;
  georef_t* chosen = nullptr;
  if (ask_system_on_ui(path_basename(file_get_name(file)), mode, &chosen) != 1) {
    free_obj(&chosen);
    return nullptr;
  }
  if (format == kFormatWinAprsMap) {
    georef_set_unit(chosen, kWinAprsUnit);
    georef_unit_step(chosen);
  }
  return chosen;
}

// The chosen system goes into the file's list (the first folder's) and, as a copy, into
// the list of every other folder.
void give_system_to_folders(fileatt_t* file, georef_t* chosen) {
  obj_list_append(file->sot, chosen);
  folder_t* it = nullptr;
  while (file_next_folder(file, &it)) {
    if (!it->sot || it->sot == file->sot) continue;
    georef_t* copy = nullptr;
    obj_new_registered(CLS_GEOREF, &copy);
    if (!copy) continue;
    obj_copy(chosen, copy);
    obj_list_append(it->sot, copy);
  }
}

bool file_has_drawing(const fileatt_t* file) {
  const int n = obj_list_count(file->sot);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(file->sot, i, &o);
    if (o && o->cls != CLS_GEOREF) return true;
  }
  return false;
}

}  // namespace

namespace {

// Why the file being loaded could not be shown (an error code, 0 while none is known),
// and the status text of the last failure, which a later successful load clears.
int g_failure_reason = 0;
std::string g_failure_text;

// The error's own text on one line ("Value internal error\n." has a line break).
std::string reason_text(int code) {
  std::string text = code ? get_error_text(code) : "";
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  return text;
}

}  // namespace

void load_note_failure(int code) {
  if (g_failure_reason == 0 && code != 0) g_failure_reason = code;
}

int load_take_failure() {
  const int code = g_failure_reason;
  g_failure_reason = 0;
  return code;
}

void load_say_failure(const char* lead, const char* name, int reason) {
  std::string text = lead;
  text += name ? name : "";
  const std::string why = reason_text(reason);
  if (!why.empty()) text += " (" + why + ")";
  const std::string previous = g_failure_text;
  g_failure_text = text;
  // Timed: the next command clears only untimed texts, and the user must see this one;
  // it replaces the text of an earlier failure at once. The frame's texts change on the
  // user-interface thread.
  run_on_ui_thread([&]() -> intptr_t {
    main_clear_status_text_if(nullptr, previous.c_str());
    main_set_status_text(nullptr, text.c_str(), 1);
    busy_reset();
    return 0;
  });
}

void load_clear_failure_text() {
  if (g_failure_text.empty()) return;
  const std::string previous = g_failure_text;
  g_failure_text.clear();
  run_on_ui_thread([&]() -> intptr_t {
    main_clear_status_text_if(nullptr, previous.c_str());
    busy_reset();
    return 0;
  });
}

void say_empty_folder(const fileatt_t* folder) {
  std::string text = is_french() ? "Dossier sans fichier a charger : "
                                 : "Folder without any file to load: ";
  text += file_get_name(folder);
  run_on_ui_thread([&]() -> intptr_t {
    main_set_status_text(nullptr, text.c_str(), 1);
    busy_reset();
    return 0;
  });
}

void say_cannot_display_name(const char* name, int reason) {
  load_say_failure(is_french() ? "Affichage impossible dans l'espace graphique : "
                               : "Cannot display file in graph space: ",
                   name, reason);
}

void say_cannot_display(const fileatt_t* file, int reason) {
  say_cannot_display_name(file ? file_get_name(file) : "", reason);
}

void say_nested_too_deep(const fileatt_t* file) {
  std::string text = get_error_text(ERR_BAD_FILE);
  text += is_french() ? " (archives imbriquees trop profondement) : "
                      : " (archives nested too deep): ";
  text += file_get_name(file);
  log_line(text.c_str());
  run_on_ui_thread([&]() -> intptr_t {
    main_set_status_text(nullptr, text.c_str(), 1);
    busy_reset();
    return 0;
  });
}

int load_into_graph(container_t*, fileatt_t* file) {
  if (!file) return 0;
  int shown = 0;
  switch (file->filetype) {
    case kFileKindRaster:
    case kFileKindEcwp:
      shown = load_raster_into_graph(file);
      break;
    case kFileKindMap:
      shown = load_map_into_graph(file);
      break;
    case kFileKindGps:
      shown = load_gps_into_graph(file);
      break;
    default:
      break;
  }
  const int reason = load_take_failure();
  if (shown) return 1;
  file_unload(file, 1);
  file_detach_content(file);
  // A reason given already (a refused system was named in its own status text) is not
  // repeated over it.
  if (reason != kReasonShown) say_cannot_display(file, reason ? reason : ERR_LOADING);
  set_gblerr(0);
  return 0;
}

int load_raster_into_graph(fileatt_t* file) {
  if (!read_file(file)) return 0;
  if (obj_list_count_of_class(file->sot, CLS_BITMAP) != 1) {
    load_note_failure(ERR_BAD_FILE);
    return 0;
  }
  if (!settle_folders(file)) return 0;
  return attach_when_compatible(file) ? 1 : 0;
}

int load_map_into_graph(fileatt_t* file) {
  if (!read_file(file)) return 0;
  if (!file_has_drawing(file) && !file->folder) {
    load_note_failure(ERR_BAD_FILE);
    return 0;
  }
  if (!obj_list_has_class(file->sot, CLS_GEOREF)) {
    georef_t* chosen = ask_map_system(file);
    if (!chosen) {
      load_note_failure(ERR_GEOGRAPHIC);
      file_unload(file, 1);
      return 0;
    }
    give_system_to_folders(file, chosen);
  }
  if (!settle_folders(file)) return 0;
  return attach_when_compatible(file) ? 1 : 0;
}

int load_gps_into_graph(fileatt_t* file) {
  if (!read_file(file)) return 0;
  if (!settle_folders(file)) return 0;
  return attach_when_compatible(file) ? 1 : 0;
}
