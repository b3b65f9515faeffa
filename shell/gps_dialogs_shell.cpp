// The map program's routines in the GPS windows' table.
#include "shell/gps_dialogs_shell.h"

#include "core/object.h"
#include "gps/gpsport.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/menu.h"
#include "shell/startup.h"

namespace {

// Live navigation takes the port when the start-up table has a start routine.
int start_navigation(gpsport_t* port, int log) {
  const auto start = get_startup_table().navig_start;
  if (!start) return 0;
  start(port, "", nullptr, log);
  return 1;
}

}  // namespace

void install_gps_window_routines() {
  gps_dialog_hooks& h = get_gps_dialog_hooks();
  h.navigation_check = menu_check_navigation;
  h.navig_start = start_navigation;
}
