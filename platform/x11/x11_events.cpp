// The X11 presenter's events: each X event on one of its windows becomes a call of the
// window system's input entry points (or, for an exposure, a fresh copy of the surface).
//
// Keys: the virtual key comes from the key's unshifted keysym (the keypad's from the
// keysym with Num Lock applied), and the character it types from the keysym with all
// modifiers applied. When the window system's own translation of the virtual key gives
// that character, the key alone is delivered; when it would give another one (a layout
// other than the one it derives characters from), or the key has no virtual key, the
// character is delivered as a plain character instead. The virtual key sent for a press
// is remembered per key code, so its release names the same key whatever the modifiers
// did in between. When the keyboard comes back to the presenter's windows, keys let go
// meanwhile out of its sight (a window manager's binding such as Alt+F4 keeps the release
// of Alt) are let go as the keyboard then stands.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/ui/input.h"
#include "platform/ui/messages.h"
#include "platform/ui/window.h"
#include "platform/x11/x11_internal.h"
#include "platform/x11/x11_keys.h"

namespace plat::x11_detail {

namespace {

// Two presses of one button this close in time and place make a double click.
constexpr uint32_t kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 4;

void deliver_char(char32_t ch) {
  if (ch > 0xFFFF) {
    ch -= 0x10000;
    input_char(char16_t(0xD800 + (ch >> 10)));
    input_char(char16_t(0xDC00 + (ch & 0x3FF)));
  } else {
    input_char(char16_t(ch));
  }
}

bool mouse_button_of(unsigned x_button, MouseButton* out) {
  switch (x_button) {
    case Button1: *out = MouseButton::left; return true;
    case Button2: *out = MouseButton::middle; return true;
    case Button3: *out = MouseButton::right; return true;
    default: return false;
  }
}

// A point of an X window in its window's coordinates (inside the manager's frame).
Point window_point(const TopWindow& t, int x, int y) { return Point{x + t.frame.left, y + t.frame.top}; }

Rect rect_union(const Rect& a, const Rect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return union_rect(a, b);
}

}  // namespace

// Handles the events queued now; those that arrive meanwhile wait for the next call,
// so a flood of motion cannot hold the loop here.
void X11Presenter::drain_events() {
  for (int budget = XPending(dpy_); budget > 0 && XEventsQueued(dpy_, QueuedAlready) > 0; --budget) {
    XEvent ev;
    XNextEvent(dpy_, &ev);
    handle_event(ev);
  }
  show_exposed();
  release_keys_if_focus_left();
}

void X11Presenter::handle_event(XEvent& ev) {
  switch (ev.type) {
    case KeyPress: on_key(ev.xkey, true); break;
    case KeyRelease: on_key(ev.xkey, false); break;
    case ButtonPress: on_button(ev.xbutton, true); break;
    case ButtonRelease: on_button(ev.xbutton, false); break;
    case MotionNotify: on_motion(ev.xmotion); break;
    case ConfigureNotify: on_configure(ev.xconfigure); break;
    case Expose: on_expose(ev.xexpose); break;
    case MapNotify: on_map(ev.xmap.window, true); break;
    case UnmapNotify: on_map(ev.xunmap.window, false); break;
    case DestroyNotify: on_destroyed(ev.xdestroywindow.window); break;
    case FocusIn: on_focus(ev.xfocus, true); break;
    case FocusOut: on_focus(ev.xfocus, false); break;
    case ClientMessage: on_client_message(ev.xclient); break;
    case PropertyNotify: on_property(ev.xproperty); break;
    case MappingNotify: XRefreshKeyboardMapping(&ev.xmapping); break;  // a new keyboard layout
    default: break;
  }
}

void X11Presenter::on_key(XKeyEvent& ev, bool down) {
  if (!wnd_of(ev.window)) return;
  if (!down) {
    auto it = key_vk_.find(ev.keycode);
    if (it == key_vk_.end()) return;
    const int vk = it->second;
    key_vk_.erase(it);
    input_key(vk, false);
    return;
  }
  KeySym typed = NoSymbol;
  char text[16];
  XLookupString(&ev, text, sizeof text, &typed, nullptr);
  const KeySym base = XLookupKeysym(&ev, 0);
  int vk = vk_of_keysym(is_keypad_keysym(base) ? typed : base);
  // With Ctrl or Alt held a key gives a command, not text; the window system decides.
  const bool command = ev.state & (ControlMask | Mod1Mask);
  const char32_t ch = command ? 0 : char_of_keysym(typed);
  if (vk && ch && !vk_types_char(vk, ch, ev.state & ShiftMask)) vk = 0;
  if (vk) {
    key_vk_[ev.keycode] = vk;
    input_key(vk, true);
  } else if (ch) {
    deliver_char(ch);
  }
}

void X11Presenter::on_button(const XButtonEvent& ev, bool down) {
  Wnd top = wnd_of(ev.window);
  TopWindow* t = top_of(top);
  if (!t) return;
  const Point pt = window_point(*t, ev.x, ev.y);
  if (ev.button == Button4 || ev.button == Button5) {
    if (down) input_mouse_wheel(top, pt, ev.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA);
    return;
  }
  MouseButton b;
  if (!mouse_button_of(ev.button, &b)) return;
  if (!down) {
    input_mouse_button(top, pt, b, false);
    return;
  }
  const LastPress& last = last_press_;
  const bool double_click = last.valid && last.button == ev.button && last.xid == ev.window &&
                            uint32_t(ev.time - last.time) <= kDoubleClickMs &&
                            std::abs(ev.x_root - last.x) <= kDoubleClickSlop &&
                            std::abs(ev.y_root - last.y) <= kDoubleClickSlop;
  if (double_click) {
    last_press_.valid = false;  // a third press starts afresh
    input_mouse_double_click(top, pt, b);
  } else {
    last_press_ = LastPress{true, ev.button, ev.window, ev.time, ev.x_root, ev.y_root};
    input_mouse_button(top, pt, b, true);
  }
}

// Only the latest of a run of queued moves matters.
void X11Presenter::on_motion(const XMotionEvent& first) {
  XMotionEvent ev = first;
  XEvent next;
  while (XEventsQueued(dpy_, QueuedAlready) > 0) {
    XPeekEvent(dpy_, &next);
    if (next.type != MotionNotify || next.xmotion.window != ev.window) break;
    XNextEvent(dpy_, &next);
    ev = next.xmotion;
  }
  Wnd top = wnd_of(ev.window);
  if (TopWindow* t = top_of(top)) input_mouse_move(top, window_point(*t, ev.x, ev.y));
}

// The window manager or the user moved or resized the window. The window system takes
// the new rectangle (the X window with the manager's frame around it); what it makes of
// it (it may keep another one) is sent back once both changes are applied, not halfway.
void X11Presenter::on_configure(const XConfigureEvent& ev) {
  Wnd top = wnd_of(ev.window);
  TopWindow* t = top_of(top);
  if (!t) return;
  int x = ev.x, y = ev.y;
  if (!ev.send_event) {  // a real event is relative to the parent, which may be a frame
    ::Window child = 0;
    XTranslateCoordinates(dpy_, ev.window, root_, 0, 0, &x, &y, &child);
  }
  const FrameExtents& f = t->frame;
  const Rect now{x - f.left, y - f.top, x + ev.width + f.right, y + ev.height + f.bottom};
  if (now == t->rect) return;
  const bool moved = now.left != t->rect.left || now.top != t->rect.top;
  const bool resized = now.width() != t->rect.width() || now.height() != t->rect.height();
  t->rect = now;
  applying_ = top;
  if (moved) input_move(top, now.left, now.top);
  if (resized) input_resize(top, now.width(), now.height());
  applying_ = nullptr;
  Rect kept;
  t = top_of(top);  // the window procedures may have destroyed it
  if (t && get_window_rect(top, &kept) && kept != now) window_moved(top, kept, Rect{});
}

void X11Presenter::on_expose(const XExposeEvent& ev) {
  if (TopWindow* t = top_of(wnd_of(ev.window))) {
    const Point at = window_point(*t, ev.x, ev.y);
    t->exposed = rect_union(t->exposed, Rect{at.x, at.y, at.x + ev.width, at.y + ev.height});
  }
}

void X11Presenter::show_exposed() {
  for (auto& [top, t] : tops_) {
    if (t.exposed.empty()) continue;
    put_surface_area(dpy_, t.xid, t.gc, format_, top, t.exposed, shown_part(t));
    t.exposed = Rect{};
  }
}

void X11Presenter::on_map(::Window xid, bool mapped) {
  TopWindow* t = top_of(wnd_of(xid));
  if (!t) return;
  t->mapped = mapped;
  if (t->popup_menu) popup_menu_mapped(xid, mapped);
  if (mapped && t->focus_on_map) take_focus(*t);
}

// An open popup menu holds the pointer, as menus do on every desktop, so that a press
// anywhere (on another program's window too) reaches it and closes it; events over the
// program's own windows still come as they are. The last popup opened holds it; when it
// closes, the one it was opened from takes it back.
void X11Presenter::popup_menu_mapped(::Window xid, bool mapped) {
  grabs_.erase(std::remove(grabs_.begin(), grabs_.end(), xid), grabs_.end());
  if (mapped) grabs_.push_back(xid);
  if (grabs_.empty()) {
    XUngrabPointer(dpy_, CurrentTime);
    return;
  }
  XGrabPointer(dpy_, grabs_.back(), True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
               GrabModeAsync, None, None, CurrentTime);
}

// Another client destroyed the X window (the presenter forgets its own before it
// destroys one): the window is gone from the screen, so the program is asked to close it.
void X11Presenter::on_destroyed(::Window xid) {
  Wnd top = wnd_of(xid);
  auto it = tops_.find(top);
  if (it == tops_.end()) return;
  if (it->second.popup_menu) popup_menu_mapped(xid, false);
  XFreeGC(dpy_, it->second.gc);
  tops_.erase(it);
  by_xid_.erase(xid);
  input_close(top);
}

void X11Presenter::on_focus(const XFocusChangeEvent& ev, bool in) {
  Wnd top = wnd_of(ev.window);
  if (!top) return;
  // The keyboard comes back, after a grab too: keys let go meanwhile were let go elsewhere.
  if (in) release_keys_not_held();
  // Focus passing through during a grab, or to the pointer's window, is not the user's choice.
  if (ev.mode == NotifyGrab || ev.mode == NotifyUngrab || ev.detail == NotifyPointer) return;
  focus_left_ = !in;
  if (in) input_activate(top);
}

// Keys whose release went to another window than the presenter's (one that closed
// under it, or the window manager's while it held the keyboard for a binding such as
// Alt+F4) are let go here as the keyboard now stands, or the window system would go on
// seeing them held down: Alt would turn every later key into a system key. Keys still
// held keep waiting for their release.
void X11Presenter::release_keys_not_held() {
  if (key_vk_.empty()) return;
  char held[32] = {};
  XQueryKeymap(dpy_, held);
  for (auto it = key_vk_.begin(); it != key_vk_.end();) {
    const unsigned code = it->first;
    if (code < 256 && (held[code / 8] & (1 << (code % 8)))) {
      ++it;
      continue;
    }
    const int vk = it->second;
    it = key_vk_.erase(it);
    input_key_released_unseen(vk);
  }
}

// Keys held when the focus leaves for another program are released there, out of sight:
// let them go here, or the window system would see them held down for good. Focus
// moving between the presenter's own windows (out of one and into the other in the same
// batch of events) keeps them, since their release then comes to the other window.
void X11Presenter::release_keys_if_focus_left() {
  if (!focus_left_) return;
  focus_left_ = false;
  while (!key_vk_.empty()) {
    const int vk = key_vk_.begin()->second;
    key_vk_.erase(key_vk_.begin());
    input_key(vk, false);
  }
}

void X11Presenter::on_client_message(const XClientMessageEvent& ev) {
  if (ev.message_type != wm_protocols_ || ev.format != 32) return;
  if (Atom(ev.data.l[0]) != wm_delete_window_) return;
  if (Wnd top = wnd_of(ev.window)) input_close(top);
}

}  // namespace plat::x11_detail
