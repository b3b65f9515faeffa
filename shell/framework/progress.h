// How long tasks show that they are working: the small progress window (a text and a
// bar, shown only once a task has lasted 1.5 s), the busy cursor, and the activity
// indicator that rewrites the frame's status text while web, disk or ZIP reading goes
// on. progress.cpp holds the window, progress_text.cpp the formatted displays built on
// progress_step, busy.cpp the cursor and the activity indicator.
//
// Worker tasks call the progress and activity routines from their own thread; the
// routines touch the window only through window calls (which the window system hands
// to the user-interface thread) and keep their shared state in atomics. Every wait and
// throttle reads the platform's monotonic clock, never the wall clock.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

struct obj_t;

// ---- Progress window ---------------------------------------------------------------------
// Control ids of the window's text and bar, and the bar's range.
constexpr int kProgressTextId = 1004;
constexpr int kProgressBarId = 1003;
constexpr int kProgressBarRange = 500;

// Creates the progress window (hidden) when none exists and a command target exists.
void progress_window_create();
// Re-enables the owner of the window, closes it and forgets it (end of a task).
void progress_close();
// The window's procedure: WM_CLOSE re-enables the owner and destroys the window.
plat::LResult progress_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Shows (activated, focused) / hides the window, only when it is not so already.
void progress_show();
void progress_hide();
// Updates are shown only while the window is enabled.
void progress_enable();
void progress_disable();
// When the window exists and is enabled: the clocks restart, the caption becomes
// `caption`; with show_now the window is shown at once.
void progress_set_text(const char* caption, int show_now);
// Restarts the clock of progress_elapsed.
void progress_reset_clock();
// The throttled update: at most every 0.1 s; the window shows itself 1.5 s after its
// text was set; the text (empty for null) and, for a fraction of 0 or more, the bar.
void progress_step(const char* text, double fraction);
// Text only: the bar stays where it is.
void progress_pulse(const char* text);
// "<text> NN%" for done of total (a total of 0 or less counts as no progress).
void progress_image(const char* text, int64_t done, int64_t total);
// "<text> NN%" for the read position of the current reader file.
void progress_file_position(const char* text);
// "<text>  Ns" for the seconds since progress_reset_clock; the bar runs over 30 s.
void progress_elapsed(const char* text);
// "Chargement <base name>" / "Loading <base name>" for a file object.
void progress_loading(const obj_t* file);
// The name progress_loading shows for a file object; the map model installs its own
// (the file's path). The default reads the object's name.
using progress_file_name_fn = const char* (*)(const obj_t* file);
void set_progress_file_name_routine(progress_file_name_fn fn);

// What the window is now, for the shell and for tests.
plat::Wnd progress_window();
bool progress_enabled();
bool progress_shown();

// ---- Busy cursor and activity indicator -----------------------------------------------------
// The cursor rule: mode 1 or more sets the current cursor (the wait cursor for mode 2,
// else the arrow) and posts the wake-up command 0; the shown cursor then follows the
// current one (mode -1 always, other modes only over the arrow or the wait cursor).
// Nothing without a command target.
void set_busy_cursor(int mode);
// One step of the activity indicator: kind 'W' (web), 'D' (disk) or 'Z' (ZIP) picks the
// text, one letter of which is lower-cased in turn, `extra` is appended, and the result
// becomes the frame's status text. At most one step per second, 3 s after a reset.
void busy_tick(int quiet, const char* kind, const char* extra);
// The next step is allowed 2 s from now; on the user-interface thread the map windows
// whose texts changed show their title, status part and status text.
void busy_reset();
// The indicator text a step would show now (the letter counter unchanged), for tests.
const char* busy_indicator_text(const char* kind, int counter, char* buf, int size);
// Restores the start state of the progress window and activity indicator (tests).
void progress_state_reset();
