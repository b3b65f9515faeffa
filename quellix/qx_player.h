// The replay engine of the diffusion program: players that turn a loaded track of replay
// points into NMEA sentence groups sent in real time through qx_diffuse, by track time
// scaled by a factor or by distance at a chosen speed, forwards or backwards, once or in
// a loop, with seeking; and the live player that relays the fixes of a live receiver.
//
// Wire framing: every run starts with the START marker and ends (pause, stop, end of the
// track, change of the selected file) with the STOP marker; a loop pass ends with STOP,
// START, then the first point again. Markers are forced sends (no rate limit); points
// and relayed fixes are unforced.
//
// Timing: the replay clock is the platform's monotonic clock (plat::now_ms, virtual in
// tests). A running player is ticked by command slot 16 (qx_player_on_timer), reposted
// every 400 ms; a point is sent when the replay clock has reached it (never before its
// time), never twice in a row; the track's own fixes passed between two ticks go out
// before it (points the resampler inserted are skipped), the first tick of a run starts
// with the point at the run's start, however late it comes, and the tick that finds the
// run past its end first sends what it had not yet sent up to the end. Each run posts its ticks with
// its own run number as the command text; a tick of an earlier run (left pending by a
// pause or a stop) finds another number and does nothing: this is how a pause cancels
// the pending tick.
//
// Threads. The buttons, the ticks and the load task call in from the window thread (the
// load task from its worker); the live hooks qx_nav_* are called by the live reader
// thread. Every player routine holds the engine's lock (one recursive mutex) while it
// reads or changes the players; sends go through qx_diffuse, which holds the destination
// lists' lock. The live hooks never touch the window: they record what to show and post
// command 10, whose task (qx_nav_display_step, window thread) shows it and gives the
// reader's fix back. Window routines are reached through quellix/qx_ui_hooks.h only.
#pragma once
#include <cstdint>

struct container_t;
struct gpsport_t;
struct nmea_fix;
struct obj_t;
struct replay_point;

// ---- Constants ------------------------------------------------------------------------------
constexpr int kQxLiveCommand = 10;    // the live session's display step
constexpr int kQxLoadCommand = 14;    // the load task (qx_load_track_data)
constexpr int kQxTimerCommand = 16;   // the replay tick (qx_player_on_timer)
constexpr int kQxTickMs = 400;        // delay between two ticks
constexpr int kQxNoTrackError = 10;   // a track without replay points

// Marker sentences, each with its CR LF (no terminator is sent).
extern const char qx_start_marker_sentence[];  // "$PTMQT,START*20" CR LF
extern const char qx_stop_marker_sentence[];   // "$PTMQT,STOP*78" CR LF
int qx_start_marker_length();
int qx_stop_marker_length();

enum qx_player_mode : int32_t { QX_MODE_TIME = 0, QX_MODE_SPEED = 1, QX_MODE_LIVE = 2 };

// One player per loaded track, plus the live player (no track, mode 2). Owned by the
// player list; read it only on the window thread, or under qx_player_lock().
struct qx_player {
  obj_t* document = nullptr;          // file object of the track (not owned)
  container_t* track = nullptr;       // list holding the replay points (not owned)
  container_t* time_index = nullptr;  // owned: the points by time
  container_t* distance_index = nullptr;  // owned: the points by cumulative distance
  int64_t reference_ms = 0;           // replay clock when the current run started
  int32_t running = 0;                // 1 while a run is on (the reference is set)
  double start_time = 0.0;            // track time (days) at the reference
  double start_distance = 0.0;        // cumulative distance (m) at the reference
  int32_t mode = QX_MODE_TIME;
  double speed = 50.0;                // km/h
  double time_factor = 1.0;
  double requested_direction = 1.0;   // +1 or -1
  double running_direction = 0.0;     // 0 when not running, else +1 or -1
  double total_distance = 0.0;        // cumulative distance of the last point, m
  int32_t loop = 0;
  replay_point* current_point = nullptr;  // last point shown
  char* name = nullptr;               // owned: file name or the live port's name
  int64_t run_number = 0;             // the run whose ticks are pending
};

// ---- Players ------------------------------------------------------------------------------
// Creates a player over the class-140 points of `track` (null: a player without track).
// Indexes the points by time and by distance; a track without points gives error 10 (also
// set as gblerr) and no player. Appends the player, makes it current, sends STOP.
// Returns 0, or the error; *out_index the new index (-1 on error).
int qx_player_create(obj_t* document, container_t* track, int* out_index, const char* name);
// Negative: no current player. Else that player becomes current and its name is released;
// refreshes the display, sends STOP.
void qx_player_select(int index);
void qx_player_rename(int index, const char* name);
qx_player* qx_current_player();
int qx_current_player_index();        // -1 when none
qx_player* qx_player_at(int index);   // null outside the list
int qx_player_count();
void qx_player_set_mode(int mode);          // only 0, 1 and 2 are taken
void qx_player_set_direction(double d);     // only +1 and -1 are taken
void qx_player_set_loop(int flag);
// While running: pause, change, play again. Factor selects mode 0, speed mode 1.
void qx_player_set_time_factor(double f);
void qx_player_set_speed(double v);
// Forward and backward buttons: starts a run in the requested direction (pausing a run
// in the other direction first); START, refresh, tick at once. Nothing when already
// running that way.
void qx_player_play();
// Pause: cancels the pending tick, STOP, keeps the position of now, STOP again when
// diffusion is on.
void qx_player_reset();
// Stop button: cancels the pending tick, STOP, back to the start, refresh, STOP again.
void qx_player_stop();
// Position trackbar (fraction 0..1 of the total distance), only while not running: one
// datagram STOP + the point's sentences, shows the point, the run restarts from it.
void qx_player_seek(double fraction);
// Sends a point (text/length: null/0 for the point's own sentences; unforced) when
// diffusion is on, and shows it.
void qx_player_emit(replay_point* point, const char* text, int length);
// The point for the replay clock's now (none past the end without loop).
replay_point* qx_player_position_now();
// Command 16. The run number is read from the command text (core_current_task_text).
void qx_player_on_timer();
// The same with the run number given (null text: the current run).
void qx_player_on_timer_text(const char* text);
// The player list, every player and the live state freed (program end, tests).
void qx_players_reset();

// ---- Markers and the diffusion switch -----------------------------------------------------
void qx_send_start_marker();
void qx_send_stop_marker();
// STOP, then 50 ms for it to leave (program exit).
void qx_send_final_stop();
// Menu 40209: with a current player, START (on) or STOP (off) even while the flag is off;
// then the flag.
void qx_set_diffusion(int on);
void qx_set_diffusion_flag(int on);   // the flag alone (start-up)
int qx_diffusion_on();

// ---- Load task ------------------------------------------------------------------------------
// The worker routine of command 14: takes the command text ("1" or "0" + path), loads the
// track, creates its player and adds it to the file box; "1" also loops and plays.
void qx_load_track_data(void* unused);
// The same work for a file object already loaded by qx_load_track_file (tests, drops):
// returns the new player's index or -1 (message box shown).
int qx_load_track_object(obj_t* file, const char* path, int play);

// ---- Live session hooks (live reader thread) -----------------------------------------------
// Unselects the loopback destinations of a UDP input port; selects the live player (made,
// mode 2, the first time); with a port, the player takes the port's name.
void qx_nav_prepare_player(gpsport_t* port);
void qx_nav_begin(gpsport_t* port);
// 1: START, navigating; 2: STOP, not navigating.
void qx_nav_event(int event);
// Relays the fix's sentence text as received (unforced) and records its position.
void qx_nav_fix(const nmea_fix* fix);
void qx_nav_sentence(const char* text);
void qx_nav_update(const char* status);
// Command 10 (window thread): gives the reader's handed fix back and shows what the live
// hooks recorded (point, sentence, status).
void qx_nav_display_step();
// The live player's index (-1 before the first live session).
int qx_live_player_index();

// The engine's lock (recursive), for a caller that reads a player from another thread.
void qx_player_lock();
void qx_player_unlock();
