// States of the frame's menu items: the display option words and their check marks,
// the start-up states, and the helpers other parts call to grey, enable or check
// items (the toolbar's check buttons follow their items).
#include "gps/nmea_log.h"
#include "platform/ui/ui.h"
#include "shell/frame.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"

std::atomic<int> opt_center_last_loaded{1};
std::atomic<int> opt_global_view_last{1};
std::atomic<int> opt_zoom1_on_image{0};
std::atomic<int> opt_cursor_display{0};
std::atomic<int> opt_navig_track{1};
std::atomic<int> opt_negative_images{0};
std::atomic<int> opt_monochrome_images{0};

void display_options_init() {
  opt_center_last_loaded = 1;
  opt_global_view_last = 1;
  // The item starts unchecked, so the option starts off: the check mark always tells
  // the truth about the option.
  opt_zoom1_on_image = 0;
  opt_cursor_display = 0;
  opt_navig_track = 1;
  opt_negative_images = 0;
  opt_monochrome_images = 0;
}

plat::Menu main_menu() {
  plat::Wnd wnd = main_frame_window();
  if (!wnd) wnd = command_target_window();
  return wnd ? plat::get_menu(wnd) : nullptr;
}

bool menu_is_checked(unsigned id) {
  unsigned s = plat::get_menu_state(main_menu(), id, plat::MF_BYCOMMAND);
  return s != plat::MENU_NOT_FOUND && (s & plat::MF_CHECKED);
}

bool menu_is_greyed(unsigned id) {
  unsigned s = plat::get_menu_state(main_menu(), id, plat::MF_BYCOMMAND);
  return s != plat::MENU_NOT_FOUND && (s & (plat::MF_GRAYED | plat::MF_DISABLED));
}

void menu_set_check(unsigned id, bool checked) {
  plat::check_menu_item(main_menu(), id,
                        plat::MF_BYCOMMAND | (checked ? plat::MF_CHECKED : plat::MF_UNCHECKED));
}

void menu_grey(unsigned id, bool grey) {
  plat::enable_menu_item(main_menu(), id,
                         plat::MF_BYCOMMAND | (grey ? plat::MF_GRAYED : plat::MF_ENABLED));
}

void menu_set_initial_states() {
  for (unsigned id : {IDM_ADD_GRID, IDM_MERGE_TRACKLOGS, IDM_RAW_LOG}) menu_grey(id, true);
  for (unsigned id : {IDM_CENTER_LAST, IDM_GLOBAL_LAST, IDM_NAVIG_TRACK}) menu_set_check(id, true);
  frame_toolbar_check(IDM_NAVIG_TRACK, true);
  for (unsigned id : {IDM_ZOOM1_ON_IMAGE, IDM_NAVIGATION, IDM_RAW_LOG, IDM_MONOCHROME, IDM_NEGATIVE})
    menu_set_check(id, false);
  menu_sync_navlog();
}

void menu_toggle_option(unsigned id, std::atomic<int>* word) {
  bool now_checked = !menu_is_checked(id);
  menu_set_check(id, now_checked);
  if (word) word->store(now_checked ? 1 : 0);
}

void menu_enable_gps_items(int enable) {
  for (unsigned id : {IDM_GPS_ITEM_1, IDM_GPS_ITEM_2, IDM_GPS_ITEM_3, IDM_GPS_DOWNLOAD})
    menu_grey(id, enable == 0);
}

void menu_grey_display_system() { menu_grey(IDM_DISPLAY_SYSTEM, true); }

void menu_check_navigation(int checked) {
  menu_set_check(IDM_NAVIGATION, checked != 0);
  frame_toolbar_check(IDM_NAVIGATION, checked != 0);
}

void menu_enable_zoomal(int enable) { menu_grey(IDM_MANUAL_LOCALISATION, enable == 0); }

void menu_sync_navlog() { menu_set_check(IDM_NAVIG_LOG, navig_log_get() != 0); }
void menu_sync_rawlog(int on) { menu_set_check(IDM_RAW_LOG, on != 0); }

void menu_disable_all(int disable) {
  if (plat::Wnd tb = main_toolbar()) plat::enable_window(tb, disable == 0);
  plat::Menu bar = main_menu();
  int n = plat::get_menu_item_count(bar);
  for (int pos = 0; pos < n; ++pos)
    plat::enable_menu_item(bar, unsigned(pos),
                           plat::MF_BYPOSITION | (disable ? plat::MF_GRAYED : plat::MF_ENABLED));
  if (plat::Wnd wnd = main_frame_window()) plat::draw_menu_bar(wnd);
}
