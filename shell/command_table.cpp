// The map program's per-slot action table and run_command, the routine through which the
// dispatcher reaches it. Each slot is one row: where its routine runs and what it is
// called. A slot the map program has no command for runs nothing (the dispatcher ends
// it at once), and a worker without a routine of its own ends its task at once, so the
// dispatcher never stays busy.
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "shell/command_table.h"

#include <array>

#include "map/graphspace.h"
#include "map/mapwin.h"
#include "shell/framework/progress.h"
#include "shell/load_commands.h"

namespace {

// Command 20: the periodic reload of a file; the map model's routine reads the task text
// and ends the task itself.
void reload_files_worker(void*) { graphspace_reload_files(); }

constexpr command_entry kFramework{CMD_FRAMEWORK, false, "", nullptr, nullptr};
constexpr command_entry kNothing{CMD_NOTHING, false, "", nullptr, nullptr};

constexpr command_entry worker(const char* name, bool progress,
                               worker_routine routine = worker_end_only) {
  return {CMD_WORKER, progress, name, nullptr, routine};
}

// The program's own table, by slot.
constexpr command_entry kDefaultTable[kCommandSlots] = {
    kFramework,                                        // 0 wake-up
    kFramework,                                        // 1 end of task
    kFramework,                                        // 2 background overviews
    kNothing,                                          // 3
    kFramework,                                        // 4 redraw
    kFramework,                                        // 5 scroll, then redraw
    kFramework,                                        // 6 dirty map windows, then redraw
    kFramework,                                        // 7 delayed end
    kFramework,                                        // 8 print
    kNothing,                                          // 9 end of an interrupted redraw
    {CMD_UI, false, "navig_display_step", navig_display_task, nullptr},  // 10 live navigation display step
    kNothing,                                          // 11
    worker("task_set_display_system", true, task_set_display_system),  // 12 change of display system
    worker("task_gps_download", true, task_gps_download),  // 13 GPS download
    worker("cmd_load", true, cmd_load),                // 14 load files
    {CMD_UI, true, "run_export_command", run_export_command, nullptr},  // 15 export
    kNothing,                                          // 16
    kNothing,                                          // 17
    worker("task_gps_probe", true, task_gps_probe),    // 18 GPS receiver search
    {CMD_UI, false, "cmd_zoom_to_loaded", cmd_zoom_to_loaded, nullptr},  // 19 view fitted to loaded data
    worker("graphspace_reload_files", false, reload_files_worker),  // 20 reload
    {CMD_UI, false, "mapwin_toggle_layer_text", mapwin_toggle_layer_command, nullptr},  // 21 a layer on or off
    kNothing,                                          // 22
};

// The table in force: the program's own, filled before any code runs.
std::array<command_entry, kCommandSlots> g_table = std::to_array(kDefaultTable);

}  // namespace

void worker_end_only(void*) { task_end(); }

command_entry* main_command_table() { return g_table.data(); }

void main_command_table_reset() { g_table = std::to_array(kDefaultTable); }

void run_command(int slot) {
  if (slot < 0 || slot >= kCommandSlots) return;
  const command_entry entry = g_table[size_t(slot)];
  if (entry.progress) progress_window_create();
  switch (entry.where) {
    case CMD_UI:
      if (entry.ui) entry.ui();
      return;
    case CMD_WORKER:
      task_start(slot, entry.worker ? entry.worker : worker_end_only);
      return;
    case CMD_FRAMEWORK:
    case CMD_NOTHING:
      return;
  }
}
