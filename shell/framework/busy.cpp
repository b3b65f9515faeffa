// The busy cursor and the activity indicator. The cursor rule keeps a "current" cursor
// (the wait cursor while a task runs, else the arrow) and shows it unless another shape
// (a sizing arrow) is up. The indicator rewrites the frame's status text at most once a
// second while web, disk or ZIP reading goes on, lower-casing one letter in turn so the
// user sees that something moves.
//
// Both run on worker threads as well as on the user-interface thread: the shared words
// are atomics and the times are monotonic clock readings.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/object.h"
#include "map/view_records.h"
#include "core/tracelog.h"
#include "platform/sys/clock.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/progress_state.h"
#include "shell/framework/winutil.h"

namespace {

constexpr int64_t kTickGapMs = 1000;    // a step needs 1 s past the allowed time
constexpr int64_t kResetDelayMs = 2000;  // a reset allows the next step 2 s later
constexpr int64_t kNever = std::numeric_limits<int64_t>::min() / 2;

std::atomic<plat::Cursor> g_current{nullptr};  // null: the arrow, not loaded yet
std::atomic<int64_t> g_next_tick{kNever};
std::atomic<int> g_counter{1};
// The error value a worker already reported, so that it is logged once.
std::atomic<int> g_worker_reported{0};

// One indicator text per kind: its letters, and the positions lowered by counter 1..n.
struct indicator_kind {
  char letter;
  const char* text;
  int count;
  int positions[8];
};
constexpr indicator_kind kKinds[] = {
    {'W', "WEB SURF ", 7, {0, 1, 2, 4, 5, 6, 7}},
    {'D', "DISK SURF", 8, {0, 1, 2, 3, 5, 6, 7, 8}},
    {'Z', "ZIP SURF", 7, {0, 1, 2, 4, 5, 6, 7}},
};

const indicator_kind* kind_of(const char* kind) {
  if (!kind) return nullptr;
  for (const indicator_kind& k : kKinds)
    if (k.letter == kind[0]) return &k;
  return nullptr;
}

plat::Cursor arrow() { return plat::load_cursor(plat::IDC_ARROW); }
plat::Cursor wait_cursor() { return plat::load_cursor(plat::IDC_WAIT); }

// A set gblerr while the activity indicator ticks is an internal error. On the user-
// interface thread the program ends through its exit routine (the core's exit hook),
// with a code that says it failed; a worker only logs it (once per value): ending the
// process from under the user-interface thread would lose its state, and the task's own
// error path reports the code.
void report_internal_error(int err) {
  const char* text = is_french() ? "Erreur interne." : "Internal Error.";
  if (!plat::on_ui_thread()) {
    if (g_worker_reported.exchange(err) == err) return;
    log_write_separator();
    log_line(text);
    return;
  }
  log_write_separator();
  log_line(text);
  core_exit(EXIT_FAILURE);
}

}  // namespace

void set_busy_cursor(int mode) {
  if (!get_command_target()) return;
  if (mode >= 1) {
    g_current = std::abs(mode) == 2 ? wait_cursor() : arrow();
    post_command_simple(0);
  }
  plat::Cursor current = g_current.load();
  if (!current) current = arrow();
  plat::Cursor shown = plat::get_cursor();
  if (shown == current) return;
  if (mode == -1 || shown == nullptr || shown == arrow() || shown == wait_cursor())
    plat::set_cursor(current);
}

const char* busy_indicator_text(const char* kind, int counter, char* buf, int size) {
  if (!buf || size <= 0) return buf;
  buf[0] = 0;
  const indicator_kind* k = kind_of(kind);
  if (!k) return buf;
  std::snprintf(buf, size_t(size), "%s", k->text);
  if (counter >= 1 && counter <= k->count) {
    int pos = k->positions[counter - 1];
    if (pos < size - 1 && buf[pos] >= 'A' && buf[pos] <= 'Z') buf[pos] = char(buf[pos] - 'A' + 'a');
  }
  return buf;
}

void busy_tick(int quiet, const char* kind, const char* extra) {
  if (quiet != 0) return;
  // The step is claimed by moving the allowed time on, so that of several workers
  // ticking at once only one steps.
  int64_t next = g_next_tick.load();
  const int64_t now = plat::now_ms();
  if (now - next < kTickGapMs) return;
  if (!g_next_tick.compare_exchange_strong(next, now + kResetDelayMs)) return;
  set_busy_cursor(2);
  if (const indicator_kind* k = kind_of(kind)) {
    int counter = g_counter.load();
    char buf[32];
    busy_indicator_text(kind, counter, buf, sizeof buf);
    g_counter = (counter >= 1 && counter < k->count) ? counter + 1 : 1;
    std::string text = std::string(buf) + (extra ? extra : "");
    if (auto fn = get_dispatcher_hooks().main_set_status_text) fn(text.c_str());
  }
  if (int err = get_gblerr()) report_internal_error(err);
  busy_reset();
}

// The changed titles of the map windows become their window texts. Only the user-
// interface thread writes those texts, so a worker leaves them to the next reset there
// (the dispatcher resets at the end of every task).
void show_changed_titles() {
  if (!plat::on_ui_thread()) return;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) {
    auto* win = reinterpret_cast<mapwin_t*>(cursor);
    if (!win->texts_changed) continue;
    win->texts_changed = 0;
    std::string text = win->title ? win->title : "";
    text += "   ";
    text += win->status_part ? win->status_part : "";
    text += "   ";
    text += win->status_text ? win->status_text : "";
    set_window_object_text(win, text.c_str());
  }
}

void busy_reset() {
  g_next_tick = plat::now_ms() + kResetDelayMs;
  show_changed_titles();
}

void busy_state_reset() {
  g_current = nullptr;
  g_next_tick = kNever;
  g_counter = 1;
  g_worker_reported = 0;
}
