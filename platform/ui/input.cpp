// The input entry points: what a user's mouse, keyboard and window actions become.
//
// Mouse events find their window by hit testing, asking the windows under the point
// with WM_NCHITTEST (or go to the capture window); the window hears WM_SETCURSOR at
// once and gets the mouse message queued, client messages for its client area and
// non-client ones (with the hit-test code it answered) elsewhere. A press
// on a scroll bar is worked at once, like the tracking a scroll bar does: the thumb
// then follows the moves until the button is released. Keys are queued to the focus
// window.
#include <algorithm>

#include "platform/ui/dropfiles.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

struct MouseTarget {
  Wnd wnd = nullptr;
  int hit = HTNOWHERE;
  Point client;  // in the target's client coordinates
  Point screen;
  Point window;  // in the target's window coordinates
  bool dblclks = false;
};

// Where a mouse event at a point of a top-level window goes; false when nowhere
// (outside, a disabled window, or windows that all let the point through).
bool mouse_target(Wnd top, Point wpt, MouseTarget* out) {
  Wnd capture;
  {
    Guard g;
    WndRec* t = find(top);
    if (!t || !is_top(*t)) return false;
    out->screen = Point{t->rect.left + wpt.x, t->rect.top + wpt.y};
    S().cursor_pos = out->screen;
    capture = find(S().capture) ? S().capture : nullptr;
    if (!capture && (wpt.x < 0 || wpt.y < 0 || wpt.x >= t->rect.width() || wpt.y >= t->rect.height() ||
                     !enabled_chain(*t)))
      return false;
  }
  Wnd found = capture;
  out->hit = HTCLIENT;
  if (!found) found = window_at(top, out->screen, &out->hit);  // the windows are asked: no lock
  Guard g;
  WndRec* target = find(found);
  if (!target || (!capture && !enabled_chain(*target))) return false;
  Point co = client_origin_on_screen(*target);
  Rect wr = window_rect_on_screen(*target);
  out->wnd = target->handle;
  out->client = Point{out->screen.x - co.x, out->screen.y - co.y};
  out->window = Point{out->screen.x - wr.left, out->screen.y - wr.top};
  out->dblclks = target->cls->cls.style & CS_DBLCLKS;
  return true;
}

unsigned mouse_keys() {
  Guard g;
  unsigned mk = 0;
  auto down = [](int vk) { return (S().key_async[size_t(vk)] & 0x80) != 0; };
  if (down(VK_LBUTTON)) mk |= MK_LBUTTON;
  if (down(VK_RBUTTON)) mk |= MK_RBUTTON;
  if (down(VK_MBUTTON)) mk |= MK_MBUTTON;
  if (down(VK_SHIFT)) mk |= MK_SHIFT;
  if (down(VK_CONTROL)) mk |= MK_CONTROL;
  return mk;
}

bool dragging() {
  Guard g;
  return S().drag.wnd != nullptr;
}

int button_vk(MouseButton b) {
  return b == MouseButton::left ? VK_LBUTTON : b == MouseButton::right ? VK_RBUTTON : VK_MBUTTON;
}

// Message numbers of a button: down, up, double click (client; the non-client ones
// are these minus WM_LBUTTONDOWN - WM_NCLBUTTONDOWN).
uint32_t button_message(MouseButton b, int kind) {
  uint32_t base = b == MouseButton::left ? WM_LBUTTONDOWN : b == MouseButton::right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
  return base + uint32_t(kind);
}
constexpr uint32_t kClientToNc = WM_LBUTTONDOWN - WM_NCLBUTTONDOWN;

void set_cursor_for(const MouseTarget& t, uint32_t msg) {
  send_message(t.wnd, WM_SETCURSOR, WParam(key_of(t.wnd)), make_lparam(t.hit, int(msg)));
}

void post_mouse(const MouseTarget& t, uint32_t client_msg, WParam wp_client) {
  if (t.hit == HTCLIENT) {
    post_message(t.wnd, client_msg, wp_client, make_lparam(t.client.x, t.client.y));
  } else {
    uint32_t nc = client_msg == WM_MOUSEMOVE ? WM_NCMOUSEMOVE : client_msg - kClientToNc;
    post_message(t.wnd, nc, WParam(intptr_t(t.hit)), make_lparam(t.screen.x, t.screen.y));
  }
}

// A press on an inactive top-level window brings it forward; one on a window disabled
// by a modal window brings that modal window forward instead.
void activate_for_click(Wnd top) {
  if (get_active_window() == top) return;
  if (is_window_enabled(top)) {
    set_active_window(top);
    return;
  }
  for (Wnd t : top_level_windows())
    if (get_owner(t) == top && is_window_visible(t) && is_window_enabled(t)) {
      set_active_window(t);
      return;
    }
}

void press(Wnd top, Point wpt, MouseButton b, int kind) {
  {
    Guard g;
    update_async_key(button_vk(b), true);
  }
  activate_for_click(top);
  MouseTarget t;
  if (!mouse_target(top, wpt, &t)) return;
  const uint32_t down = button_message(b, 0);
  set_cursor_for(t, down);
  if (b == MouseButton::left && (t.hit == HTVSCROLL || t.hit == HTHSCROLL)) {
    bar_click(t.wnd, t.hit, t.window);
    return;
  }
  const bool dbl = kind == 2 && (t.dblclks || t.hit != HTCLIENT);
  post_mouse(t, dbl ? button_message(b, 2) : down, mouse_keys());
}

}  // namespace

Wnd ui_detail::keyboard_target() {
  Guard g;
  Wnd w = find(S().focus) ? S().focus : find(S().active) ? S().active : nullptr;
  WndRec* r = find(w);
  return r && enabled_chain(*r) ? w : nullptr;
}

void input_mouse_move(Wnd top, Point wpt) {
  if (dragging()) {
    bar_drag_move(wpt);
    return;
  }
  MouseTarget t;
  if (!mouse_target(top, wpt, &t)) return;
  set_cursor_for(t, WM_MOUSEMOVE);
  post_mouse(t, WM_MOUSEMOVE, mouse_keys());
}

void input_mouse_button(Wnd top, Point wpt, MouseButton button, bool down) {
  if (down) {
    press(top, wpt, button, 0);
    return;
  }
  {
    Guard g;
    update_async_key(button_vk(button), false);
  }
  if (button == MouseButton::left && dragging()) {
    bar_drag_end();
    return;
  }
  MouseTarget t;
  if (!mouse_target(top, wpt, &t)) return;
  post_mouse(t, button_message(button, 1), mouse_keys());
}

void input_mouse_double_click(Wnd top, Point wpt, MouseButton button) { press(top, wpt, button, 2); }

void input_mouse_wheel(Wnd top, Point wpt, int delta) {
  MouseTarget t;
  if (!mouse_target(top, wpt, &t)) return;
  post_message(t.wnd, WM_MOUSEWHEEL, make_wparam(int(mouse_keys()), delta), make_lparam(t.screen.x, t.screen.y));
}

void input_key(int vk, bool down) {
  bool was_down, alt, ctrl;
  {
    Guard g;
    was_down = S().key_async[size_t(vk & 255)] & 0x80;
    update_async_key(vk, down);
    alt = S().key_async[VK_MENU] & 0x80;
    ctrl = S().key_async[VK_CONTROL] & 0x80;
  }
  Wnd target = keyboard_target();
  if (!target) return;
  // Alt combinations (but not AltGr-like Ctrl+Alt) and F10 are system keys.
  const bool sys = (alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl);
  uint32_t msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  LParam lp = 1;
  if (alt) lp |= LParam(1) << 29;
  if (was_down) lp |= LParam(1) << 30;
  if (!down) lp |= LParam(1) << 31;
  post_message(target, msg, WParam(vk & 255), lp);
}

void input_key_released_unseen(int vk) {
  {
    Guard g;
    S().alt_alone = false;
  }
  input_key(vk, false);
}

void input_char(char16_t ch) {
  if (Wnd target = keyboard_target()) post_message(target, WM_CHAR, ch, 1);
}

void input_activate(Wnd top) {
  if (is_window(top)) activate_for_click(get_ancestor(top, GA_ROOT));
}

void input_close(Wnd top) {
  if (is_window(top) && is_window_enabled(top)) post_message(top, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void input_resize(Wnd top, int width, int height) {
  set_window_pos(top, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void input_move(Wnd top, int x, int y) {
  set_window_pos(top, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool input_drop_files(Wnd top, Point wpt, const std::vector<std::string>& paths) {
  MouseTarget t;
  if (!mouse_target(top, wpt, &t)) return false;
  uintptr_t h = new_serial();
  Wnd receiver;
  {
    Guard g;
    WndRec* w = find(t.wnd);
    while (w && !(w->ex_style & WS_EX_ACCEPTFILES)) w = is_top(*w) ? nullptr : find(w->parent);
    if (!w) return false;
    receiver = w->handle;
    Point co = client_origin_on_screen(*w);
    S().drops[h] = DropRec{paths, Point{t.screen.x - co.x, t.screen.y - co.y}};
  }
  return post_message(receiver, WM_DROPFILES, WParam(h), 0);
}

}  // namespace plat
