// Routing of the frame's menu commands: one table of (command id, routine), looked up
// for every WM_COMMAND. Most routines open a dialog or a window of another part of
// the program, toggle an option with its check mark (and the toolbar's check button),
// or post a command; every command ends with command_end, which posts the redraw.
#include <cstdio>

#include "core/config.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "platform/ui/ui.h"
#include "shell/cursor_window.h"
#include "shell/featdlg.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/layers_window.h"
#include "shell/load_commands.h"
#include "shell/menu.h"
#include "shell/place_window.h"
#include "shell/preference_dialogs.h"
#include "shell/system_dialogs.h"
#include "shell/wms_dialogs.h"
#include "shell/zoom_dialogs.h"

namespace {

mapwin_t* current() { return get_current_mapwin(); }

void cmd_quit() {
  if (plat::Wnd wnd = main_frame_window()) plat::destroy_window(wnd);
}
void cmd_print() { post_print_command(false, true); }
void cmd_cursor_unit() { cursor_unit_command(current()); }
void cmd_cursor_display() { cursor_window_toggle(); }
void cmd_display_system() { cmd_choose_display_system(get_current_graphspace()); }
void cmd_cursor_system() { cursor_system_command(current()); }
void cmd_manual_localisation() { manual_localisation_command(current()); }
void cmd_zoom_level() { run_named_dialog("Nivzoom", nivzoom_dlgproc); }

// The navigation track: its option, the toolbar button, and its layer in the map.
void cmd_navig_track() {
  menu_toggle_option(IDM_NAVIG_TRACK, &opt_navig_track);
  frame_toolbar_check(IDM_NAVIG_TRACK, opt_navig_track != 0);
  obj_t* folder = nullptr;
  navig_track_folder(&folder);
  graphspace_t* gs = get_current_graphspace();
  layer_t* layer = nullptr;
  if (folder && gs) mapwin_find_layer(gs, folder, &layer);
  if (layer) mapwin_toggle_layer(current(), layer, opt_navig_track.load());
}

// Monochrome images: the window's monochrome word changes, its colour stays.
void cmd_monochrome() {
  menu_toggle_option(IDM_MONOCHROME, &opt_monochrome_images);
  frame_toolbar_check(IDM_MONOCHROME, opt_monochrome_images != 0);
  int mono = 0;
  uint32_t colour = 0;
  mapwin_get_colours(current(), &mono, &colour);
  mapwin_set_colours(current(), opt_monochrome_images.load(), colour);
  mapwin_request_redraw(current());
}

void cmd_monochrome_colour() { run_named_dialog("IMGMONO", imgmono_dlgproc); }
void cmd_zoom1_on_image() { menu_toggle_option(IDM_ZOOM1_ON_IMAGE, &opt_zoom1_on_image); }
void cmd_center_last() { menu_toggle_option(IDM_CENTER_LAST, &opt_center_last_loaded); }
void cmd_global_last() { menu_toggle_option(IDM_GLOBAL_LAST, &opt_global_view_last); }

void cmd_negative() {
  menu_toggle_option(IDM_NEGATIVE, &opt_negative_images);
  frame_toolbar_check(IDM_NEGATIVE, opt_negative_images != 0);
  mapwin_set_background_mode(current(), opt_negative_images.load());
  mapwin_request_redraw(current());
}

void cmd_layers() {
  layers_window(is_french() ? "Gestion des couches graphiques" : "Graphic layers management");
}
void cmd_gps_download() { gpsdlg_open(); }

// Navigation: checking the item opens the connection window, unchecking stops it.
void cmd_navigation() {
  menu_toggle_option(IDM_NAVIGATION, nullptr);
  bool on = menu_is_checked(IDM_NAVIGATION);
  frame_toolbar_check(IDM_NAVIGATION, on);
  if (on)
    navdlg_open();
  else
    navig_stop();
}

void cmd_raw_log() {
  int on = menu_is_checked(IDM_RAW_LOG) ? 0 : 1;
  navig_rawlog_set(on);
  menu_sync_rawlog(on);
}

void cmd_colours() { run_named_dialog("COULEUR", color_dlgproc); }
void cmd_find_place() { placedlg_open(); }

// The click that closed the open dialog must not reach the map: every mouse message
// still queued is dropped.
void cmd_open() {
  cmd_open_files(2);
  plat::Msg msg;
  while (plat::peek_message(&msg, nullptr, plat::WM_MOUSEMOVE, plat::WM_MBUTTONDBLCLK,
                            plat::PM_REMOVE)) {
  }
}

void cmd_navig_log() {
  navig_log_set(navig_log_get() ? 0 : 1);
  menu_sync_navlog();
}
void cmd_export_graphics() { save_file(3); }
void cmd_export_gps() { save_file(4); }
void cmd_wms_services() { wms_manage_services(current()); }
void cmd_map_features() { featdlg_open_window(); }
void cmd_about() { about_box(kProgramIcon); }

}  // namespace

const menu_command menu_commands[] = {
    {IDM_QUIT, cmd_quit, "destroy_window"},
    {IDM_PRINT, cmd_print, "slot 8"},
    {IDM_CURSOR_UNIT, cmd_cursor_unit, "cursor_unit_command"},
    {IDM_CURSOR_DISPLAY, cmd_cursor_display, "cursor_window_toggle"},
    {IDM_DISPLAY_SYSTEM, cmd_display_system, "cmd_choose_display_system"},
    {IDM_ADD_GRID, nullptr, "none"},
    {IDM_CURSOR_SYSTEM, cmd_cursor_system, "cursor_system_command"},
    {IDM_MANUAL_LOCALISATION, cmd_manual_localisation, "manual_localisation_command"},
    {IDM_ZOOM_LEVEL, cmd_zoom_level, "Nivzoom"},
    {IDM_NAVIG_TRACK, cmd_navig_track, "navig_track_folder"},
    {IDM_MONOCHROME, cmd_monochrome, "mapwin_set_colours"},
    {IDM_MONOCHROME_COLOUR, cmd_monochrome_colour, "IMGMONO"},
    {IDM_ZOOM1_ON_IMAGE, cmd_zoom1_on_image, "menu_toggle_option"},
    {IDM_CENTER_LAST, cmd_center_last, "menu_toggle_option"},
    {IDM_NEGATIVE, cmd_negative, "mapwin_set_background_mode"},
    {IDM_LAYERS, cmd_layers, "layers_window"},
    {IDM_GPS_DOWNLOAD, cmd_gps_download, "gpsdlg_open"},
    {IDM_NAVIGATION, cmd_navigation, "navdlg_open"},
    {IDM_RAW_LOG, cmd_raw_log, "navig_rawlog_set"},
    {IDM_MERGE_TRACKLOGS, nullptr, "none"},
    {IDM_COLOURS, cmd_colours, "COULEUR"},
    {IDM_ZOOM_IN, zoom_in, "view_set_image_scale"},
    {IDM_ZOOM_OUT, zoom_out, "view_set_image_scale"},
    {IDM_GLOBAL_VIEW, zoom_global, "view_fit_all"},
    {IDM_FIND_PLACE, cmd_find_place, "placedlg_open"},
    {IDM_OPEN, cmd_open, "cmd_open_files"},
    {IDM_GLOBAL_LAST, cmd_global_last, "menu_toggle_option"},
    {IDM_NAVIG_LOG, cmd_navig_log, "navig_log_set"},
    {IDM_EXPORT_GRAPHICS, cmd_export_graphics, "save_file"},
    {IDM_EXPORT_GPS, cmd_export_gps, "save_file"},
    {IDM_WMS_SERVICES, cmd_wms_services, "wms_manage_services"},
    {IDM_MAP_FEATURES, cmd_map_features, "featdlg_open_window"},
    {IDM_ENVIRONMENT, show_environment, "show_environment"},
    {IDM_ABOUT, cmd_about, "about_box"},
};
const int menu_command_count = int(sizeof menu_commands / sizeof menu_commands[0]);

const menu_command* find_menu_command(unsigned id) {
  for (const menu_command& c : menu_commands)
    if (c.id == id) return &c;
  return nullptr;
}

void command_end() { post_redraw(); }

void run_menu_command(unsigned id) {
  const menu_command* c = find_menu_command(id);
  if (c && c->action) c->action();
  command_end();
}
