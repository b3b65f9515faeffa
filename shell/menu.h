// The menu bar of the map program and the routing of its commands.
//
// The bar is built at run time from a table of six-word records (menu_table.cpp), in
// the user's language. Menu commands arrive at the frame window procedure as
// WM_COMMAND (from the bar, the toolbar or an accelerator) and are routed through one
// table of (command id, routine) rows (menu_commands.cpp); every command, also one
// with an unknown id, ends with command_end, which posts the redraw command. The menu
// state helpers (check marks, grey items) live in menu_states.cpp.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/ui/types.h"

// ---- Menu table --------------------------------------------------------------------
enum menu_kind : int32_t {
  MENU_END = 0,
  MENU_POPUP = 1,
  MENU_ITEM = 2,
  MENU_SEPARATOR = 3,
};

// One record of a menu table: a first word 0, the kind, the command id, the level (0:
// a popup of the menu bar, 1: an entry of the current popup), the French and English
// texts ('\t' separates the shortcut shown).
struct menu_item {
  int32_t zero;
  int32_t kind;
  int32_t id;
  int32_t level;
  const char* text_fr;
  const char* text_en;
};

// The main program's menu, closed by a record of kind MENU_END.
extern const menu_item main_menu_table[];

// Builds the menu bar from a table (records up to the one followed by a kind-0
// record), in the user's language, attaches it to the command target's window and
// draws it. Returns the bar (null when the target has no window: nothing attached).
plat::Menu build_menu_bar(const menu_item* table);
// The same into a given window, for callers that hold the window themselves.
plat::Menu build_menu_bar_for(plat::Wnd wnd, const menu_item* table, bool french);

// ---- Command ids ---------------------------------------------------------------------
enum menu_command_id : unsigned {
  IDM_QUIT = 40002,
  IDM_PRINT = 40006,
  IDM_CURSOR_UNIT = 40007,
  IDM_CURSOR_DISPLAY = 40011,
  IDM_DISPLAY_SYSTEM = 40012,
  IDM_ADD_GRID = 40013,
  IDM_CURSOR_SYSTEM = 40014,
  IDM_MANUAL_LOCALISATION = 40015,
  IDM_ZOOM_LEVEL = 40016,
  IDM_NAVIG_TRACK = 40018,
  IDM_MONOCHROME = 40019,
  IDM_MONOCHROME_COLOUR = 40020,
  IDM_ZOOM1_ON_IMAGE = 40025,
  IDM_CENTER_LAST = 40026,
  IDM_NEGATIVE = 40027,
  IDM_LAYERS = 40029,
  IDM_GPS_ITEM_1 = 40031,
  IDM_GPS_ITEM_2 = 40032,
  IDM_GPS_ITEM_3 = 40033,
  IDM_GPS_DOWNLOAD = 40034,
  IDM_NAVIGATION = 40036,
  IDM_RAW_LOG = 40038,
  IDM_MERGE_TRACKLOGS = 40040,
  IDM_COLOURS = 40050,
  IDM_ZOOM_IN = 40052,
  IDM_ZOOM_OUT = 40053,
  IDM_GLOBAL_VIEW = 40054,
  IDM_FIND_PLACE = 40055,
  IDM_OPEN = 40058,
  IDM_GLOBAL_LAST = 40061,
  IDM_NAVIG_LOG = 40063,
  IDM_EXPORT_GRAPHICS = 40064,
  IDM_EXPORT_GPS = 40065,
  IDM_MAP_FEATURES = 40080,
  IDM_ENVIRONMENT = 40090,
  IDM_ABOUT = 65535,
};

// ---- Command routing -------------------------------------------------------------------
using menu_action = void (*)();

// One row of the command table: the id, its routine, and the name of what it reaches
// (a routine of another part of the program, or the posted slot), for the trace log
// and for tests.
struct menu_command {
  unsigned id;
  menu_action action;
  const char* reaches;
};

// The command table and its length.
extern const menu_command menu_commands[];
extern const int menu_command_count;
// The row of an id, or null when the id has no action.
const menu_command* find_menu_command(unsigned id);

// Handles one WM_COMMAND: the action of the id (none for an unknown id), then
// command_end, which posts the redraw command (slot 4).
void run_menu_command(unsigned id);
void command_end();

// ---- Option words ------------------------------------------------------------------------
// Display options set at start-up, toggled by their menu items and read by the load
// steps (a worker thread), hence atomic.
extern std::atomic<int> opt_center_last_loaded;   // 40026, starts at 1
extern std::atomic<int> opt_global_view_last;     // 40061, starts at 1
extern std::atomic<int> opt_zoom1_on_image;       // 40025, starts at 0 like its check mark
extern std::atomic<int> opt_cursor_display;       // 40011, starts at 0
extern std::atomic<int> opt_navig_track;          // 40018, starts at 1
extern std::atomic<int> opt_negative_images;      // 40027, starts at 0
extern std::atomic<int> opt_monochrome_images;    // 40019, starts at 0
// Puts every option word back to its start value (start-up and tests).
void display_options_init();

// ---- Menu states ---------------------------------------------------------------------------
// The frame's menu bar (null before it is built).
plat::Menu main_menu();
// Check mark / grey state of an item of the frame's menu (by command id).
bool menu_is_checked(unsigned id);
bool menu_is_greyed(unsigned id);
void menu_set_check(unsigned id, bool checked);

// The start-up states: 40013, 40040 and 40038 greyed; 40026, 40061 and 40018 checked
// (and toolbar button 40018 pressed); 40025, 40036, 40038, 40019 and 40027 unchecked;
// 40063 checked exactly when navigation logging is on.
void menu_set_initial_states();
// Unchecks a checked item and stores 0 in the word, else checks it and stores 1.
void menu_toggle_option(unsigned id, std::atomic<int>* word);
// Enables (not 0) or greys 40031, 40032, 40033 and 40034 together.
void menu_enable_gps_items(int enable);
// Greys 40012 ("Display system ...") for good.
// Greys (true) or enables an item of the menu bar.
void menu_grey(unsigned id, bool grey);
void menu_grey_display_system();
// Checks or unchecks 40036 and sets its toolbar button to match.
void menu_check_navigation(int checked);
// Enables or greys 40015 ("Manual localization ...").
void menu_enable_zoomal(int enable);
// Check mark of 40063 from the navigation-logging flag (navig_log_get); of 40038 from
// the raw-log flag given (the GPS side keeps that flag and passes it).
void menu_sync_navlog();
void menu_sync_rawlog(int on);
// 1: the toolbar disabled and every entry of the menu bar greyed (by position);
// 0: all enabled again.
void menu_disable_all(int disable);
