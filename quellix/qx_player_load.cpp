// The load task of command 14: a track file opened, turned into replay points by the
// builders, given a player and added to the file box; with the leading "1" the replay
// starts at once, in a loop. Contract in qx_player.h.
#include <string>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/obj_list.h"
#include "gps/nmea_files.h"
#include "map/file_object.h"
#include "quellix/qx_builders.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player_internal.h"
#include "quellix/qx_ui_hooks.h"
#include "shell/framework/progress.h"

namespace {
// The longest a track played at once waits for the destination opener (its name look-ups).
constexpr int64_t kQxOpenerWaitMs = 10000;
}  // namespace

int qx_load_track_object(obj_t* file, const char* path, int play) {
  fileatt_t* f = file_of(file);
  const std::string where = path ? path : file_get_name(f);
  int index = -1;
  if (f && file_get_format(f) == uint32_t(kNmeaFileFormat) &&
      obj_list_has_class(f->sot, CLS_REPLAY_POINT)) {
    // A track played at once (the command line's file) starts its run once the
    // destinations are open, so that its START and first fix reach them.
    if (play) qx_wait_destinations_open(kQxOpenerWaitMs);
    if (qx_player_create(file, f->sot, &index, where.c_str()) == 0 && get_gblerr() == 0) {
      if (auto fn = qx_get_ui_hooks().add_loaded_file) fn(where.c_str(), index);
    }
  } else {
    const bool french = is_french() != 0;
    const std::string text = where + (french ? "\nPas de données de trajet GPS" : "\nNo track GPS data");
    core_message_box(text.c_str(),
                     french ? "Erreur en cours de chargement" : "Loading error");
  }
  if (auto fn = qx_get_ui_hooks().show_replay_state) fn();
  if (play && index >= 0) {
    qx_player_set_loop(1);
    qx_player_play();
  }
  return index;
}

void qx_load_track_data(void*) {
  const char* task_text = core_current_task_text();
  const std::string text = task_text ? task_text : "";
  if (text.size() > 1) {
    const int play = text[0] == '1';
    const std::string path = text.substr(1);
    const std::string caption = (is_french() ? "Chargement " : "Loading ") + path;
    progress_set_text(caption.c_str(), 0);
    fileatt_t* f = nullptr;
    file_open(nullptr, nullptr, path.c_str(), &f);
    if (f) qx_load_track_file(f);
    qx_load_track_object(f, path.c_str(), play);
  }
  core_task_end();
}
