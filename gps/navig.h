// Live navigation: the reader thread that connects the current navigation port and reads
// it, and the navigation display that shows its fixes on the map (user-interface thread).
//
// One port at a time is current. navig_start makes a port current and starts the reader
// thread; the reader connects it by kind (serial NMEA or raw with protocol detection,
// Garmin USB through the USB hooks of gps/gpsport.h, UDP), reads it, fills one of its two
// fix records and hands it over to the display by posting command 10, whose task is
// navig_display_step. navig_stop requests the stop and waits until the reader has freed
// the port.
//
// Threads. The reader thread, the user-interface thread and a stopping thread share:
// the current port, the handed-over fix and the pending event (atomics), and the display
// lock (a mutex held by the display step while it uses the fix and the port, and by the
// reader while it clears the current port). So:
// - the reader writes only the fix record the display does not hold and hands a fix over
//   only when the previous one was taken (fixes are dropped, never queued or reordered);
// - the port and the fix records are freed only once the display holds neither;
// - a stopper that runs on the user-interface thread takes the pending fix back itself,
//   since the display step it would wait for cannot run while it waits;
// - a second start while a reader runs stops the first reader before the new one starts;
// - the reader always has a thread of its own (also when the configuration asks for one
//   thread: its loop only ends on a stop).
#pragma once
#include <cstdint>

#include "gps/gpsport.h"
#include "gps/nmea_parser.h"

struct container_t;
struct extent_t;
struct georef_t;
struct graphspace_t;
struct layer_t;
struct mapwin_t;
struct obj_t;

// ---- Constants ----------------------------------------------------------------------------
constexpr int kNavigDisplayCommand = 10;        // command slot of navig_display_step
constexpr int kNavigReadSize = 2000;            // bytes of one live read
constexpr double kNavigNextDayLimit = 0.8;      // a time this much earlier is the next day
constexpr unsigned kNavigMenuItem = 40036;      // "navigation" check mark and toolbar button
constexpr unsigned kNavigTrackMenuItem = 40018; // "Display navigation track"
constexpr unsigned kNavigLocaliseMenuItem = 40015;
constexpr unsigned kNavigGpsMenuFirst = 40031;  // GPS commands 40031..40034
constexpr unsigned kNavigGpsMenuLast = 40034;
constexpr int kNavigTrackPriority = 40000;
constexpr int kNavigMarkerPriorityLow = 1;
constexpr int kNavigMarkerPriorityHigh = 40100;
constexpr int kNavigMarkerCount = 7;

// ---- The window side, filled by the program --------------------------------------------
// Null slots do nothing.
struct navig_ui_hooks {
  // Check mark of a menu item and the state of its toolbar button.
  void (*menu_check)(unsigned item, int checked) = nullptr;
  // Enables (1) or greys (0) a menu item.
  void (*menu_enable)(unsigned item, int enabled) = nullptr;
  // A modal message box with a caption (already in the user's language).
  void (*message_box)(const char* text, const char* caption) = nullptr;
  // Resets the busy cursor.
  void (*cursor_reset)() = nullptr;
  // Whether "Display navigation track" (40018) is on; null: on.
  int (*track_option)() = nullptr;
};
navig_ui_hooks& get_navig_ui_hooks();

// ---- Session hooks (a program that relays the live data) ---------------------------------
// Called on the reader thread; null slots do nothing. begin: once the port is connected,
// before its first read; event: each START (1) or STOP (2) read; fix: every read that
// produced bytes (the raw bytes in the fix), also when the display has not yet taken the
// previous fix, so a relay misses no read.
struct navig_session_hooks {
  void (*begin)(gpsport_t* port) = nullptr;
  void (*event)(int event) = nullptr;
  void (*fix)(const nmea_fix* fix) = nullptr;
};
navig_session_hooks& get_navig_session_hooks();

// ---- Reader (navig_reader.cpp) -----------------------------------------------------------
// Starts live navigation on `port`, or on the port that gpsport_parse_name makes of
// `name` and `speed` (nothing when both are missing or the name is no port name). A
// reader already running is stopped first. `log`: the navigation logging switch.
void navig_start(gpsport_t* port, const char* name, const char* speed, int log);
// navig_start in the shell's start-up seam shape.
void navig_start_obj(obj_t* port, const char* name, const char* speed, int log);
// Requests the stop and waits (polling) until the reader has freed the port; unless the
// program is closing, ends the display's navigation state. Safe on any thread.
void navig_stop();
// The menu command.
void navig_stop_cmd();
// Reader side: when a stop was requested, waits until the display gave the fix back,
// closes the log, clears the current port and frees it.
void navig_release();
// The current navigation port (null: navigation off). Only for reading its state.
gpsport_t* navig_current_port();
// 1 while a reader thread lives.
int navig_reader_alive();
// 1 while the reader is connected and reading.
int navig_connected();

// Opens a serial port's device and its reader (family 2: NMEA with the switch-on
// bytes; else a raw reader). 0 when the device cannot be opened.
int gpsport_open(gpsport_t* port);
// The UDP port: socket on the port number of the device path and an NMEA reader.
int navig_udp_open(gpsport_t* port);
// One read into `fix`: -1 read error, 1 position or event, 0 otherwise.
int nmea_live_step(nmea_parser* reader, nmea_fix* fix);
// One read through a raw reader; NMEA text switches the family to 2 and the reader to
// an NMEA parser on the same device and read routine.
void nmea_detect(void** reader, int32_t* family);
// A geographic georeference on the reference datum, with its unit step.
void navig_georef_new(int naming, georef_t** out);
// Applies the fix's datum name to the port's georeference (not for Garmin USB).
void navig_datum_update(gpsport_t* port, const nmea_fix* fix);
// The 0.8-day rule: 1 when a fix at `time` (fraction of a day) after one at `kept`
// keeps its time flag.
int navig_time_keeps(double time, double kept);

// ---- Display (navig_display.cpp) ---------------------------------------------------------
void navig_title(const char* text);
// 1 when the port's coordinate system can be shown (and a new track began), else 0.
int navig_display_start(gpsport_t* port, mapwin_t* win);
void navig_event(mapwin_t* win, gpsport_t* port, int event);
// The task of command 10 (navig_display_task: the same in the command table's shape of
// a user-interface routine).
void navig_display_step(void* unused = nullptr);
void navig_display_task();
void navig_show_fix(mapwin_t* win, gpsport_t* port, const nmea_fix* fix);
void navig_state_on();
void navig_display_stop();
int navig_is_running();
void navig_layer_get(layer_t** out);
// The folder of the track layer (null before the first display start).
void navig_track_folder(obj_t** out);
// 1 while navigation shows its own title ("Navigation").
int navig_title_active();
// The status text of a fix (speed, altitude, satellites; the system name when given).
void navig_status_text(const nmea_fix* fix, double speed, double altitude, int32_t used,
                       int32_t in_view, const char* system, char* out, int size);
// The navigation list (tracks, styles, the port's georeference) and the marker list.
container_t* navig_list();
container_t* navig_marker_list();
// The current navigation track (null after a STOP).
obj_t* navig_current_track();
// Points of the current navigation track (0 when none), and the tracks made so far.
int navig_track_points();
int navig_track_count();
// Frees the display's objects and forgets its layers (a program that drops its graph
// spaces and object store, and the tests, which make fresh ones).
void navig_display_reset();

// ---- Garmin USB real-time position data -----------------------------------------------
// Filled by the Garmin real-time module; while either slot is empty, a Garmin USB port
// cannot start navigation (the reader says so and stops).
struct navig_pvt_hooks {
  // Starts real-time position data on the device path into *state: 1 started, 0 try
  // again, -1 give up.
  int (*start)(const char* device_path, void** state) = nullptr;
  // One real-time position into the fix: -1 read error, 1 position or event, 0 nothing.
  int (*read)(void* state, nmea_fix* fix) = nullptr;
};
navig_pvt_hooks& get_navig_pvt_hooks();
