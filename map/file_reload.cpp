// Periodic reload: a file whose folders carry a reload interval is loaded again after
// that many seconds (never sooner than the configured "RELOAD_AND_REDRAW" floor). The
// reload command (slot 20) reloads the whole file and arms the next reload by calling
// here again. One post per file, after the shortest interval of its folders, is all
// that is ever pending: a post per timed folder would multiply the pending reloads of
// a file with several such folders at every round.
#include <algorithm>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "map/file_internal.h"
#include "map/file_object.h"

using namespace file_detail;

void reload_and_redraw(fileatt_t* f) {
  if (!f) return;
  if (!config_get("RELOAD_AND_REDRAW")) return;
  const int floor_s = config_get_number("RELOAD_AND_REDRAW");
  if (floor_s < 1) return;
  std::vector<folder_t*> folders;
  folder_collect_tree(folder_of(f->folder), &folders);
  int64_t seconds = 0;
  for (const folder_t* d : folders) {
    if (d->refreshintrv == 0) continue;
    const int64_t s = std::max<int64_t>(d->refreshintrv, floor_s);
    if (seconds == 0 || s < seconds) seconds = s;
  }
  if (seconds == 0) return;
  const std::string text = std::string("1") + file_get_name(f);
  core_post_command(kReloadCommand, seconds * 1000, text.c_str());
}
