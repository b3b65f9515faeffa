// The map windows wired to the framework: the map model cannot call the window
// utilities and the dispatcher above it, so the frame hands it their routines, and
// hands the dispatcher the map windows' routines for commands 5 and 6 and the status
// text it clears at every command.
#include "map/mapwin.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"

namespace {

void status_text(const char* text) { main_set_status_text(nullptr, text, 0); }

void framework_scroll_pos(mapwin_t* win, int axis, double position, double page) {
  set_scroll_pos(win, axis, position, page);
}

int framework_get_scroll_pos(mapwin_t* win, int axis, double* position, double* page, double* track) {
  return get_scroll_pos(win, axis, position, page, track);
}

}  // namespace

void install_map_window_routines() {
  mapwin_ui_hooks ui;
  ui.set_scroll_pos = framework_scroll_pos;
  ui.get_scroll_pos = framework_get_scroll_pos;
  ui.scroll_window_region = scroll_window_region;
  ui.command_target = get_command_target;
  mapwin_set_ui_hooks(&ui);
  mapwin_install_view_hooks();
  dispatcher_hooks& h = get_dispatcher_hooks();
  h.mapwin_apply_scroll = mapwin_apply_scroll_all;
  h.redraw_dirty_mapwins = redraw_dirty_mapwins;
  h.main_set_status_text = status_text;
  install_redraw_routines();
}
