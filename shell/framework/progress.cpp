// The progress window: a small modeless popup with a text and a bar, created hidden by
// the commands that run long tasks and shown only once the task has lasted 1.5 s, so
// that short tasks never flash a window. Worker tasks update it through progress_step
// from their own thread; every field they share with the user-interface thread is an
// atomic, and every time is read from the platform's monotonic clock.
#include "shell/framework/progress.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "platform/sys/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_progress.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"
#include "shell/framework/progress_state.h"
#include "shell/framework/winutil.h"

namespace {

constexpr int64_t kStepIntervalMs = 100;   // at most one update per 0.1 s
constexpr int64_t kShowDelayMs = 1500;     // shown once a task lasted 1.5 s

// The window's client rectangle on the screen, and its two children.
constexpr plat::Rect kClientRect{200, 200, 720, 276};
constexpr uint32_t kStyle = plat::WS_POPUP | plat::WS_CAPTION;
constexpr uint32_t kExStyle = plat::WS_EX_DLGMODALFRAME;

void create_children(plat::Wnd wnd) {
  plat::Wnd text = plat::create_window(0, plat::kStaticClass, "",
                                       plat::WS_CHILD | plat::WS_VISIBLE | plat::SS_CENTERIMAGE,
                                       10, 10, 500, 24, wnd, kProgressTextId);
  if (text && ui_font()) plat::send_message(text, plat::WM_SETFONT, plat::WParam(ui_font()), 1);
  plat::Wnd bar = plat::create_window(0, plat::kProgressClass, "",
                                      plat::WS_CHILD | plat::WS_VISIBLE | plat::PBS_SMOOTH, 10, 42,
                                      500, 24, wnd, kProgressBarId);
  if (!bar) return;
  plat::send_message(bar, plat::PBM_SETRANGE, 0, plat::make_lparam(0, kProgressBarRange));
  plat::send_message(bar, plat::PBM_SETPOS, 1, 0);
  plat::send_message(bar, plat::PBM_SETPOS, 0, 0);
}

}  // namespace

progress_state& progress_globals() {
  static progress_state state;
  return state;
}

void progress_window_create() {
  progress_state& st = progress_globals();
  plat::Wnd owner = command_target_window();
  if (st.wnd.load() || !owner) return;
  st.enabled = 1;
  st.shown = 0;
  plat::register_controls();
  register_dialog_class();
  plat::Rect r = kClientRect;
  plat::adjust_window_rect(&r, kStyle, false, kExStyle);
  plat::Wnd wnd = plat::create_window(kExStyle, "ClasseDialogue", "", kStyle, r.left, r.top,
                                      r.width(), r.height(), owner, 0);
  if (!wnd) return;
  plat::set_window_proc(wnd, progress_wndproc);
  create_children(wnd);
  plat::enable_window(wnd, true);
  st.created_ms = plat::now_ms();
  st.wnd = wnd;
}

plat::LResult progress_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  if (msg == plat::WM_CLOSE) {
    if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
    plat::destroy_window(wnd);
    return 0;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

void progress_close() {
  progress_state& st = progress_globals();
  plat::Wnd wnd = st.wnd.exchange(nullptr);
  st.shown = 0;
  if (!wnd || !plat::is_window(wnd)) return;
  if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
  plat::send_message(wnd, plat::WM_CLOSE, 0, 0);
}

void progress_show() {
  progress_state& st = progress_globals();
  plat::Wnd wnd = st.wnd.load();
  if (!wnd || st.shown.exchange(1) == 1) return;
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_active_window(wnd);
  plat::set_focus(wnd);
}

void progress_hide() {
  progress_state& st = progress_globals();
  plat::Wnd wnd = st.wnd.load();
  if (!wnd || st.shown.exchange(0) == 0) return;
  plat::show_window(wnd, plat::SW_HIDE);
}

void progress_enable() { progress_globals().enabled = 1; }
void progress_disable() { progress_globals().enabled = 0; }

plat::Wnd progress_window() { return progress_globals().wnd.load(); }
bool progress_enabled() { return progress_globals().enabled.load() != 0; }
bool progress_shown() { return progress_globals().shown.load() != 0; }

void progress_set_text(const char* caption, int show_now) {
  progress_state& st = progress_globals();
  plat::Wnd wnd = st.wnd.load();
  if (!wnd || !st.enabled.load()) return;
  int64_t now = plat::now_ms();
  st.last_update_ms = now;
  st.clock_ms = now;
  st.created_ms = now;
  plat::set_window_text(wnd, caption ? caption : "");
  if (show_now) progress_show();
}

void progress_reset_clock() { progress_globals().clock_ms = plat::now_ms(); }

bool progress_step_due(int64_t now) {
  progress_state& st = progress_globals();
  if (!st.wnd.load() || !st.enabled.load()) return false;
  return now - st.last_update_ms.load() >= kStepIntervalMs;
}

void progress_step(const char* text, double fraction) {
  progress_state& st = progress_globals();
  int64_t now = plat::now_ms();
  if (!progress_step_due(now)) return;
  if (!st.shown.load()) {
    if (now - st.created_ms.load() < kShowDelayMs) return;
    progress_show();
  }
  st.last_update_ms = now;
  plat::Wnd wnd = st.wnd.load();
  if (!wnd) return;
  plat::set_dlg_item_text(wnd, kProgressTextId, text ? text : "");
  if (!(fraction >= 0.0)) return;  // negative or not a number: text only
  if (fraction > 1.0) fraction = 1.0;
  int pos = int(std::trunc(fraction * kProgressBarRange));
  plat::send_dlg_item_message(wnd, kProgressBarId, plat::PBM_SETPOS, plat::WParam(pos), 0);
}

void progress_pulse(const char* text) { progress_step(text, -1.0); }

void progress_state_reset() {
  progress_state& st = progress_globals();
  st.wnd = nullptr;
  st.enabled = 0;
  st.shown = 0;
  st.created_ms = 0;
  st.last_update_ms = std::numeric_limits<int64_t>::min() / 2;
  st.clock_ms = 0;
  busy_state_reset();
}
