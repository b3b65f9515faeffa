// The entry of the map program: program folder, global initialisation, the frame window
// with everything in it, the command-line loads, then the run.
//
// On a display (the X11 presenter started) the program runs its message loop until the
// frame is closed, which leads to the exit routine. Without a display it runs headless:
// it handles messages until the posted commands are done, writes the picture of the
// frame window to the file that $TARMELO_PICTURE names, and exits.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/memory.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "platform/gdi/surface.h"
#include "platform/sys/sysinfo.h"
#include "platform/sys/thread.h"
#include "platform/ui/controls.h"
#include "platform/ui/ui.h"
#include "raster/ecw.h"
#include "raster/image_load.h"
#include "shell/framework/program_loop.h"
#include "shell/command_table.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/pick_list.h"
#include "shell/framework/progress.h"
#include "shell/framework/table_window.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"
#include "shell/preference_dialogs.h"
#include "shell/framework/print_dialog.h"
#include "shell/startup.h"
#include "shell/zoom_dialogs.h"

namespace {

constexpr int kLoadSlot = 14;

// The core's message boxes belong to the frame window.
void core_box(const char* text, const char* caption) {
  plat::message_box(command_target_window(), text, caption, plat::MB_OK);
}

void fail_unless_clear() {
  if (get_gblerr() != 0) init_error_exit();
}

void create_frame_and_map_window() {
  mapwin_t* frame = nullptr;
  if (!create_main_window(&frame)) init_error_exit();
  load_main_accelerators();  // a missing table only disables accelerator translation
  create_main_toolbar();
  mapwin_t* map = nullptr;
  if (!create_map_child_window(&map)) init_error_exit();
  fail_unless_clear();
  attach_map_pane();
}

void register_window_classes() {
  create_ui_font();
  register_table_class();
  register_pick_list_class();
  register_dialog_class();
  init_common_controls();
}

void start_configured_navigation() {
  const char* port = config_get("NAVIGPORT");
  if (!port || !*port) return;
  const startup_table& t = get_startup_table();
  if (t.navig_start) t.navig_start(nullptr, port, config_get("NAVIGPORTSPEED"), navig_log_get());
}

// One message as the loops handle it: accelerators first.
void handle(const plat::Msg& msg) {
  if (translate_main_accelerator(&msg)) return;
  plat::translate_message(&msg);
  plat::dispatch_message(&msg);
}


}  // namespace

void init_common_controls() { plat::register_controls(); }

namespace {

// What live navigation reaches of the frame: check marks with their toolbar buttons,
// greyed items, boxes, the cursor and the track option.
void install_navigation_routines() {
  navig_ui_hooks& h = get_navig_ui_hooks();
  h.menu_check = [](unsigned item, int checked) {
    menu_set_check(item, checked != 0);
    frame_toolbar_check(item, checked != 0);
  };
  h.menu_enable = [](unsigned item, int enabled) { menu_grey(item, enabled == 0); };
  h.message_box = [](const char* text, const char* caption) { msg_box(text, caption); };
  h.cursor_reset = [] { set_busy_cursor(0); };
  h.track_option = [] { return opt_navig_track.load(); };
}

}  // namespace

void install_program_routines() {
  set_run_command(run_command);
  get_dispatcher_hooks().update_main_title = update_main_title;
  get_dispatcher_hooks().redraw_run = redraw_run;
  get_dispatcher_hooks().overviews_build = overview_build_queued;
  get_dispatcher_hooks().ecw_idle_views = ecw_idle_views;
  install_print_routines();
  register_dialog_template("CHXIMPR", &print_dialog_template());
  register_preference_dialogs();
  register_zoom_dialogs();
  set_frame_exit_routine(app_exit);
  set_frame_init_error_routine(init_error_exit);
  get_core_hooks().message_box = core_box;
  install_exit_routine();
  install_navigation_routines();
}

int app_create_windows() {
  display_options_init();
  create_frame_and_map_window();
  register_window_classes();
  build_menu_bar(main_menu_table);
  menu_set_initial_states();
  const startup_table& t = get_startup_table();
  if (t.register_cursor_class) t.register_cursor_class();
  fail_unless_clear();
  start_configured_navigation();
  return 1;
}

void post_command_line_loads() {
  // Taking the oldest text re-posts the slot when more remain; that message arrives
  // first, so the later files are loaded in their order and the first one last.
  char* text = task_queue_take(kLoadSlot);
  if (!text) return;
  post_command(kLoadSlot, 0, text);
  free_mem(&text);
}

int run_headless(const char* picture_path) {
  return program_run_headless(handle, main_frame_window, picture_path, app_name);
}

bool tarmelo_start(int argc, char** argv) {
  plat::set_ui_thread();
  // Started first, so that even an initialisation failure shows its box on the screen.
  const startup_table& t = get_startup_table();
  const bool display = t.start_display && t.start_display();
  const std::string folder = plat::program_dir();
  const std::string command_line = program_command_line(argc, argv);
  app_init(folder.c_str(), command_line.c_str());
  fail_unless_clear();
  install_program_routines();
  app_create_windows();
  post_command_line_loads();
  return display;
}

int tarmelo_main(int argc, char** argv) {
  const bool display = tarmelo_start(argc, argv);
  int code = display ? program_run_message_loop(handle) : run_headless(std::getenv("TARMELO_PICTURE"));
  app_exit_code(code);
}
