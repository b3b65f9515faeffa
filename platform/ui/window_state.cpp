// Show, enable, focus and activation.
//
// One window is active (a top-level window) and one has the keyboard focus (the
// active window or one of its descendants). Activating sends WM_ACTIVATE to the window
// losing and to the window gaining the activation; the default processing of the
// latter gives it the focus. Focus changes send WM_KILLFOCUS and then WM_SETFOCUS. A
// disabled or hidden window loses the focus and the capture.
#include "platform/ui/input.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

bool holds(Wnd ancestor, Wnd wnd) { return wnd && (wnd == ancestor || is_child(ancestor, wnd)); }

void became_visible(Wnd wnd) {
  bool top = false;
  Rect window, client;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return;
    w->style |= WS_VISIBLE;
    w->nc_dirty = true;
    NcLayout l = nc_layout(*w);
    invalidate_locked(w, Region(Rect{0, 0, l.client.width(), l.client.height()}), true);
    top = is_top(*w);
    window = w->rect;
    client = l.client;
  }
  redraw_nonclient(wnd);
  if (top)
    if (Presenter* p = S().presenter.load()) p->window_shown(wnd, window, client);
}

void became_hidden(Wnd wnd) {
  bool top = false, lost_focus = false, lost_capture = false;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return;
    w->style &= ~WS_VISIBLE;
    top = is_top(*w);
    if (!top)
      if (WndRec* parent = find(w->parent)) invalidate_locked(parent, Region(w->rect), true);
    lost_focus = holds(wnd, S().focus);
    lost_capture = holds(wnd, S().capture);
  }
  if (lost_capture) release_capture();
  if (top) {
    if (Presenter* p = S().presenter.load()) p->window_hidden(wnd);
    Wnd owner = get_owner(wnd);
    if (get_active_window() == wnd) {
      set_active_window(is_window_visible(owner) && is_window_enabled(owner) ? owner : nullptr);
    }
  } else if (lost_focus) {
    set_focus(nullptr);
  }
}

// Minimise, maximise and restore change the rectangle of a top-level window.
void change_placement(Wnd wnd, int cmd) {
  Rect target;
  unsigned kind = SIZE_RESTORED;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return;
    const bool min = cmd == SW_SHOWMINIMIZED || cmd == SW_MINIMIZE || cmd == SW_SHOWMINNOACTIVE;
    const bool max = cmd == SW_SHOWMAXIMIZED;
    const bool restore = cmd == SW_RESTORE || cmd == SW_SHOWNORMAL || cmd == SW_SHOWDEFAULT;
    if (min && !w->minimized) {
      if (!w->maximized) w->normal_rect = w->rect;
      w->minimized = true;
      w->style |= WS_MINIMIZE;
      kind = SIZE_MINIMIZED;
      target = w->rect;
    } else if (max && !w->maximized && is_top(*w)) {
      if (!w->minimized) w->normal_rect = w->rect;
      w->maximized = true;
      w->minimized = false;
      w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
      kind = SIZE_MAXIMIZED;
      target = S().work;
    } else if (restore && (w->minimized || w->maximized)) {
      w->minimized = w->maximized = false;
      w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
      target = w->normal_rect;
    } else {
      return;
    }
  }
  apply_window_rect(wnd, target, kind);
}

bool show_on_ui(Wnd wnd, int cmd) {
  bool was_visible;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    was_visible = w->style & WS_VISIBLE;
  }
  if (cmd == SW_HIDE) {
    if (!was_visible) return false;
    call_proc(wnd, WM_SHOWWINDOW, 0, 0);
    became_hidden(wnd);
    return true;
  }
  if (!was_visible) {
    call_proc(wnd, WM_SHOWWINDOW, 1, 0);
    became_visible(wnd);
  }
  change_placement(wnd, cmd);
  bool top;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return was_visible;
    top = is_top(*w);
  }
  const bool no_activate = cmd == SW_SHOWNOACTIVATE || cmd == SW_SHOWNA || cmd == SW_SHOWMINNOACTIVE ||
                           cmd == SW_MINIMIZE;
  if (top && !no_activate && is_window_enabled(wnd)) set_active_window(wnd);
  return was_visible;
}

bool enable_on_ui(Wnd wnd, bool enable) {
  bool was_disabled, lost_focus, lost_capture;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    was_disabled = w->style & WS_DISABLED;
    if (was_disabled == !enable) return was_disabled;
    if (enable) {
      w->style &= ~WS_DISABLED;
    } else {
      w->style |= WS_DISABLED;
    }
    lost_focus = !enable && holds(wnd, S().focus);
    lost_capture = !enable && holds(wnd, S().capture);
  }
  if (lost_focus) set_focus(nullptr);
  if (lost_capture) release_capture();
  call_proc(wnd, WM_ENABLE, enable ? 1 : 0, 0);
  return was_disabled;
}

Wnd activate_on_ui(Wnd wnd) {
  Wnd old;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (wnd && !w) return nullptr;
    if (w) wnd = top_of(w)->handle;
    old = S().active;
    if (old == wnd) return old;
    S().active = wnd;
    // Alt pressed in one window and released in another is no way into a menu bar.
    S().alt_alone = false;
  }
  bool minimized = false;
  if (is_window(old)) {
    call_proc(old, WM_ACTIVATE, make_wparam(WA_INACTIVE, 0), LParam(key_of(wnd)));
    redraw_nonclient(old);
  }
  if (wnd && get_active_window() == wnd) {
    {
      Guard g;
      WndRec* w = find(wnd);
      minimized = w && w->minimized;
    }
    call_proc(wnd, WM_ACTIVATE, make_wparam(WA_ACTIVE, minimized), LParam(key_of(old)));
    redraw_nonclient(wnd);
    if (Presenter* p = S().presenter.load()) p->window_activated(wnd);
  } else if (!wnd) {
    Wnd f = get_focus();
    if (f && old && holds(old, f)) set_focus(nullptr);
  }
  return old;
}

Wnd focus_on_ui(Wnd wnd) {
  if (wnd && !is_window(wnd)) return nullptr;
  if (wnd) {
    Wnd top = get_ancestor(wnd, GA_ROOT);
    if (get_active_window() != top) set_active_window(top);
    if (!is_window(wnd)) return nullptr;
  }
  Wnd old = get_focus();
  if (old == wnd) return old;
  if (is_window(old)) call_proc(old, WM_KILLFOCUS, WParam(key_of(wnd)), 0);
  {
    Guard g;
    S().focus = find(wnd) ? wnd : nullptr;
  }
  if (is_window(wnd)) call_proc(wnd, WM_SETFOCUS, WParam(key_of(old)), 0);
  return old;
}

}  // namespace

bool show_window(Wnd wnd, int cmd) {
  return run_on_ui([&]() -> LResult { return show_on_ui(wnd, cmd); }) != 0;
}

bool is_window_visible(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && visible_chain(*w);
}

bool is_iconic(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && w->minimized;
}

bool is_zoomed(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && w->maximized;
}

bool enable_window(Wnd wnd, bool enable) {
  return run_on_ui([&]() -> LResult { return enable_on_ui(wnd, enable); }) != 0;
}

bool is_window_enabled(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && !(w->style & WS_DISABLED);
}

Wnd set_focus(Wnd wnd) {
  return handle_of<Wnd>(uintptr_t(run_on_ui([&]() -> LResult { return LResult(key_of(focus_on_ui(wnd))); })));
}

Wnd get_focus() {
  Guard g;
  return find(S().focus) ? S().focus : nullptr;
}

Wnd set_active_window(Wnd wnd) {
  return handle_of<Wnd>(uintptr_t(run_on_ui([&]() -> LResult { return LResult(key_of(activate_on_ui(wnd))); })));
}

Wnd get_active_window() {
  Guard g;
  return find(S().active) ? S().active : nullptr;
}

bool set_foreground_window(Wnd wnd) {
  if (!is_window(wnd)) return false;
  set_active_window(wnd);
  return true;
}

Wnd get_foreground_window() { return get_active_window(); }

}  // namespace plat
