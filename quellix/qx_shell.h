// The shell of the diffusion program: start-up, the main window with its child controls
// and menu, the command line, the configuration keys it writes, the deferred commands
// (slots 10, 14, 16, 17), dropped files, the two-copies rule, the initialisation failure
// and the exit (which always sends a last STOP marker).
//
// The replay engine (qx_player.h), the destinations (qx_destinations.h), the address
// window (qx_addresses.h) and the builders (qx_builders.h) sit below the window; the
// window routines they call are installed into qx_ui_hooks.h by qx_install_ui_hooks.
//
// Files: qx_shell_window.cpp (main window, controls, window procedure, commands),
// qx_shell_display.cpp (what the controls show: replay state, position, title, control
// states), qx_shell_start.cpp (command line, start-up, slots, exit, loops).
//
// Everything here runs on the user-interface thread, except qx_parse_command_line,
// qx_load_file and qx_play_file, which only write configuration keys and post commands.
#pragma once
#include <cstdint>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

// ---- Program identity --------------------------------------------------------------------------
inline constexpr const char* kQxAppName = "Quellix";        // also the class and the title
inline constexpr const char* kQxAppVersion = "v5.0.0";
inline constexpr const char* kQxExeName = "quellix.exe";    // the name the program gives itself
inline constexpr const char* kQxProcessName = "quellix";    // the executable counted for copies
inline constexpr const char* kQxDateEn = "01-APR-2009";
inline constexpr const char* kQxDateFr = "1 avril 2009";
inline constexpr const char* kQxLogTag = "QXDF";

// ---- Geometry ------------------------------------------------------------------------------------
constexpr int kQxClientWidth = 536;
constexpr int kQxClientHeight = 472;
constexpr int kQxWindowX = 40;
constexpr int kQxWindowY = 20;

// ---- Command ids -----------------------------------------------------------------------------------
enum qx_command_id : unsigned {
  QX_IDM_QUIT = 40002,
  QX_IDM_NAVIGATION = 40036,
  QX_IDM_RAW_LOG = 40038,
  QX_IDM_OPEN = 40058,
  QX_IDM_NAVIG_LOG = 40063,
  QX_IDM_ADDRESSES = 40201,
  QX_ID_BACKWARD = 40202,
  QX_ID_FORWARD = 40203,
  QX_ID_PAUSE = 40204,
  QX_ID_STOP = 40205,
  QX_ID_APPLY_FACTOR = 40206,
  QX_ID_APPLY_SPEED = 40207,
  QX_ID_LOOP = 40208,
  QX_IDM_DIFFUSION = 40209,
  QX_IDM_ABOUT = 65535,
  QX_ID_FILE_COMBO = 2003,
  QX_ID_SPEED_EDIT = 2001,
  QX_ID_FACTOR_EDIT = 2002,
  // Controls the window reaches by id only (no command of their own).
  QX_ID_FACTOR_TRACK = 2010,
  QX_ID_SPEED_TRACK = 2011,
  QX_ID_POSITION_TRACK = 2012,
  QX_ID_FACTOR_VALUE = 2013,
  QX_ID_SPEED_VALUE = 2014,
  QX_ID_NMEA_BOX = 2015,
  QX_ID_MODE_VALUE = 2020,
  QX_ID_DISTANCE_VALUE = 2021,
  QX_ID_FACTOR_SHOWN = 2022,
  QX_ID_DURATION_VALUE = 2023,
  QX_ID_LONGITUDE_VALUE = 2024,
  QX_ID_GROUND_SPEED_VALUE = 2025,
  QX_ID_LATITUDE_VALUE = 2026,
  QX_ID_DIRECTION_VALUE = 2027,
  QX_ID_ALTITUDE_VALUE = 2028,
  QX_ID_SATELLITES_VALUE = 2029,
};

// Slots of the deferred commands this program acts on.
constexpr int kQxSlotLive = 10;
constexpr int kQxSlotLoad = 14;
constexpr int kQxSlotTimer = 16;
constexpr int kQxSlotDestinations = 17;

// Value fields: the largest value taken.
constexpr double kQxValueMax = 9999.0;

// ---- Program-wide state ------------------------------------------------------------------------
struct qx_shell_state {
  plat::Wnd main = nullptr;
  plat::Menu menu = nullptr;
  plat::Accel accel = nullptr;  // "TOUCHFONC": the keys the menu names (owned)
  plat::Wnd file_combo = nullptr;
  plat::Wnd factor_edit = nullptr, factor_track = nullptr, factor_apply = nullptr, factor_value = nullptr;
  plat::Wnd speed_edit = nullptr, speed_track = nullptr, speed_apply = nullptr, speed_value = nullptr;
  plat::Wnd position_track = nullptr;
  plat::Wnd loop = nullptr, backward = nullptr, pause = nullptr, forward = nullptr, stop = nullptr;
  plat::Wnd mode = nullptr, distance = nullptr, factor_shown = nullptr, duration = nullptr;
  plat::Wnd longitude = nullptr, ground_speed = nullptr, latitude = nullptr, direction = nullptr;
  plat::Wnd altitude = nullptr, satellites = nullptr;
  plat::Wnd nmea_box = nullptr;
  plat::WndProc factor_edit_proc = nullptr, speed_edit_proc = nullptr;
  plat::Brush face_brush = nullptr;
  plat::Bitmap icons[6] = {};  // valid, boucle, rev, pause, start, stop
  int navigating = 0;
  double last_fix_time = -1e9;
  int files_enabled = 1;  // file controls and dropping
  std::string status;     // status part of the title
};
qx_shell_state& qx_shell();

// ---- Hooks of the application (texts built once) -----------------------------------------------
const char* qx_title_text();   // "Quellix  v5.0.0"
const char* qx_about_text();   // name, version, date, web address
const char* qx_about_title();

// Routines of the program that tests replace: the GPS connection dialog that starts
// live navigation (menu 40036), live navigation start and stop, and the counter of
// running copies. A null slot takes the program's own routine.
struct qx_shell_hooks {
  void (*navigation_dialog)() = nullptr;
  void (*navig_start)(const char* port, const char* speed, int log) = nullptr;
  void (*navig_stop)() = nullptr;
  int (*count_copies)() = nullptr;
};
qx_shell_hooks& qx_get_shell_hooks();

// ---- Command line and files ------------------------------------------------------------------------
// The options of this program after the common ones (see qx_shell_start.cpp): DIFFUSE
// is reset to "", "-embedded" applied, then -navig, -naviglog, -navigportspeed,
// -diffuseoff*, -diffuse_<host:port>, -load, -play and a lone first file; IPADR is
// written at the end.
void qx_parse_command_line(const char* command_line);
// Post command 14 with "0" (load) or "1" (load and play) + the normalised path, when
// the file exists; a path relative to the current folder is made absolute first. Play
// also sets DIFFUSE to "ON". 1 when posted.
int qx_load_file(const char* path);
int qx_play_file(const char* path);

// Menu Open: the open dialog (several files), each chosen file loaded (not played).
void qx_load_gps_files();

// Diffusion at start: one copy: on unless DIFFUSE is "OFF"; two or more: on only when
// DIFFUSE is "ON".
int qx_diffusion_at_start(int copies, const char* diffuse);
// The same for this run: the running copies of "quellix" counted, DIFFUSE read; the
// check mark of 40209 and the diffusion flag set (no marker sent).
void qx_apply_diffusion_at_start();

// ---- Value fields ------------------------------------------------------------------------------------
// The value of a typed text: absolute value, at most 9999; a pending value is cut to
// 0.01 (x 100, to integer, x 0.01).
double qx_field_value(const char* text, int pending);
// Applies the time factor (speed 0) or the speed (1) typed in its field.
void qx_apply_value(int speed);

// ---- Window ------------------------------------------------------------------------------------------
int qx_register_main_class();
// The main window (client area 536 x 472, accepts files), its menu and every child
// control; null with gblerr 11 when it cannot be made.
plat::Wnd qx_create_main_window();
plat::Menu qx_build_menu(plat::Wnd wnd);
void qx_create_controls(plat::Wnd wnd);
plat::LResult qx_main_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// A command of the main window (menus, buttons, the combo box and the edit fields).
void qx_on_command(unsigned id, unsigned code);
// Check mark of a menu item.
void qx_menu_check(unsigned id, int checked);
int qx_menu_checked(unsigned id);
void qx_menu_enable(unsigned id, int enabled);
int qx_menu_enabled(unsigned id);

// ---- What the window shows (the routines of qx_ui_hooks.h) ------------------------------------------
void qx_show_replay_state();
void qx_show_position(const struct replay_point* point, double total_distance);
void qx_lock_file_controls(int locked);
void qx_set_replay_controls(int on);
void qx_release_play_buttons();
void qx_add_loaded_file(const char* name, int player_index);
void qx_show_sentence(const char* text);
void qx_show_status(const char* text);
// The title: the program name and version, then " - " and the status when there is one.
void qx_show_title(int with_status);
// The navigation side of the window: file controls off while live navigation runs.
void qx_nav_window_start();
void qx_nav_window_stop();
// The live session's mark of an item (40036 also starts or ends the navigation side of
// the window). On the window thread it is applied at once; from another thread (the live
// reader) it is posted to the main window as kQxNavMarkMessage, so that the reader never
// waits for a window thread that waits for the reader (navig_stop).
constexpr uint32_t kQxNavMarkMessage = 0x8000 + 36;  // WM_APP + 36: wParam item, lParam mark
void qx_nav_mark(unsigned item, int checked);
void qx_install_ui_hooks();

// ---- Start-up, commands, exit --------------------------------------------------------------------------
// Program folder, clear error, then every module initialiser in its order (the command
// line among them); an error of the folder step ends the process with -1.
void qx_startup(const char* program_dir, const char* command_line);
// The main window with its menu (initial marks: 40038 grey, 40036, 40063, 40038
// unchecked), every child control and the title; an error shows the init error box.
void qx_create_windows();
// The program routines, the windows, queued load, diffusion at start, navigation log mark, the
// destination opener, live navigation. Returns 1, or 0 after the init error box when
// an error is set (the box's exit then ends the process).
int qx_init_app();
// The deferred commands of the dispatcher.
void qx_run_command(int slot);
// Installs the dispatcher's action, the core's message box and exit routine.
void qx_install_program_routines();
// Init failure: box, trace line "Erreur d'init : %d", exit.
[[noreturn]] void qx_init_error_exit();
// Exit: closing flag, final STOP, live navigation stopped, saved tables, swap files.
[[noreturn]] void qx_app_exit(int code = 0);
// Forgets that an exit ran (tests that intercept the end of the process).
void qx_exit_reset();
// The headless run: messages until the posted commands are done, then the window's
// picture into `picture_path` when given. Returns 0, or 1 when it could not be written.
int qx_run_headless(const char* picture_path);
int qx_run_message_loop();
// The whole program.
int qx_main(int argc, char** argv);
// Frees the shell's window state (tests).
void qx_shell_reset();
