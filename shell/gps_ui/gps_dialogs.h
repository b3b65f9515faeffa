// The two GPS windows of the window programs: "Download data from GPS" (find a receiver
// on a serial port or on Garmin USB, choose the items and the file, start the transfer)
// and "Real time navigation" (choose the source of live navigation and start it).
//
// Both are modeless "ClasseDialogue" windows laid out in pixels, owned by the program's
// main window (the dialog owner), which stays disabled while one is open. One window of
// each kind at a time: opening it again brings the open one forward.
//
// The download window only collects choices: the receiver search is command 18 and the
// transfer command 13, both run on the dispatcher's worker (gps/gpsport.h). The found
// receivers are port objects (class 111) whose ids are the data words of the found list;
// the window owns them until it empties the list, which releases them, except for the
// port handed to a posted download, which the download task frees.
//
// The navigation window searches Garmin USB receivers itself (on the user-interface
// thread) and hands the chosen or a new port to live navigation, which owns it from then
// on; the rest of its receiver list is released when the window closes.
//
// The windows belong to no program: what they reach of the program that opens them (the
// check mark of its navigation menu item, the start of live navigation) goes through
// the table gps_dialog_hooks, which the program fills at start-up; an empty slot does
// nothing. Everything here runs on the user-interface thread.
//
// Files: gps_dialogs_download.cpp (the download window), gps_dialogs_navig.cpp (the
// navigation window), gps_dialogs_common.cpp (what both use), gps_dialogs_hooks.cpp
// (the program's table).
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

struct container_t;
struct gpsport_t;

// ---- What the windows reach of the program ------------------------------------------------
struct gps_dialog_hooks {
  // Checks (1) or unchecks (0) the program's navigation menu item (40036) and whatever
  // mirrors it (a toolbar button). The navigation window unchecks it when it closes
  // without starting.
  void (*navigation_check)(int checked) = nullptr;
  // Starts live navigation on `port` with the navigation logging switch `log`. Returns 1
  // when live navigation took the port (it frees it from then on), 0 when nobody took
  // it (the window keeps it and releases it).
  int (*navig_start)(gpsport_t* port, int log) = nullptr;
};
// The table in force (filled at start-up on the user-interface thread, or by tests).
gps_dialog_hooks& get_gps_dialog_hooks();
// Every slot empty again.
void gps_dialog_hooks_reset();

// ---- Download window ----------------------------------------------------------------------
enum gpsdlg_id : int {
  IDC_GPSDLG_DOWNLOAD = 1000,
  IDC_GPSDLG_CANCEL = 1001,
  IDC_GPSDLG_SERIAL = 1002,
  IDC_GPSDLG_USB = 1003,
  IDC_GPSDLG_WAYPOINTS = 1004,
  IDC_GPSDLG_TRACKS = 1005,
  IDC_GPSDLG_ROUTES = 1006,
  IDC_GPSDLG_PROBE = 1007,
  IDC_GPSDLG_COM = 1008,
  IDC_GPSDLG_FOUND = 1009,
  IDC_GPSDLG_BROWSE = 1010,
  IDC_GPSDLG_FILE = 1011,
  IDC_GPSDLG_DATALOG = 1017,
  IDC_GPSDLG_FAMILY = 1018,
  // Items the window reaches without a command of their own.
  IDC_GPSDLG_DELETE = 1019,
  IDC_GPSDLG_SWITCH_OFF = 1020,
  IDC_GPSDLG_FILE_LABEL = 1021,
};

// Characters of the COM edit a probe reads.
constexpr int kGpsdlgComChars = 8;

// Opens the download window over the frame (menu command 40034) and installs
// gpsdlg_on_result as the receiver search's result routine.
void gpsdlg_open();
// The result of the receiver search (command 18), on the user-interface thread; takes
// the list (null: nothing found). Without an open window the found ports are released.
void gpsdlg_on_result(container_t* list);
// The open download window, null when none.
plat::Wnd gpsdlg_window();

// ---- Navigation window --------------------------------------------------------------------
enum navdlg_id : int {
  IDC_NAVDLG_NAVIGATE = 1000,
  IDC_NAVDLG_CANCEL = 1001,
  IDC_NAVDLG_SERIAL = 1002,
  IDC_NAVDLG_USB = 1003,
  IDC_NAVDLG_COM = 1008,
  IDC_NAVDLG_RECEIVERS = 1009,
  IDC_NAVDLG_UDP = 1012,
  IDC_NAVDLG_UDP_NUMBER = 1014,
  IDC_NAVDLG_UDP_7551 = 1015,
  IDC_NAVDLG_UDP_7552 = 1016,
  // Items the window reaches without a command of their own.
  IDC_NAVDLG_SPEED = 1019,
  IDC_NAVDLG_PROTOCOL = 1020,
  IDC_NAVDLG_LOG = 1021,
};

// The UDP ports of the diffusion program the window offers as they are.
constexpr int kNavdlgPresetUdp[2] = {7551, 7552};
// The serial speeds offered.
constexpr int kNavdlgSpeeds[6] = {4800, 9600, 19200, 38400, 57600, 115200};

// Opens the navigation window over the frame (menu command 40036 when navigation is
// switched on). Navigate hands the port to the table's navig_start; Cancel and closing
// the window uncheck the navigation item through the table's navigation_check.
void navdlg_open();
// The open navigation window, null when none.
plat::Wnd navdlg_window();
