// Internal to the controls: how a control keeps its state record in the window's first
// per-window value. The record is made at WM_NCCREATE, read for every later message and
// freed at WM_NCDESTROY; each control's procedure uses these three steps, or hands the
// whole round to control_state_proc when nothing else happens at those two messages.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/ui/messages.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

// The control's record, or null before WM_NCCREATE stored one and after WM_NCDESTROY.
template <class T>
T* control_state_of(Wnd wnd) {
  return reinterpret_cast<T*>(get_window_long(wnd, 0));
}

// Stores a freshly made record; the window owns it from here on.
template <class T>
T* control_state_attach(Wnd wnd, T* d) {
  set_window_long(wnd, 0, reinterpret_cast<intptr_t>(d));
  return d;
}

// Empties the slot before deleting, so nothing reached afterwards reads a freed record.
template <class T>
void control_state_free(Wnd wnd, T* d) {
  set_window_long(wnd, 0, 0);
  delete d;
}

// The whole procedure of a control that makes its record with `make` at WM_NCCREATE,
// frees it at WM_NCDESTROY and hands every other message to `handle(wnd, *record, ...)`.
template <class T, class Make, class Handle>
LResult control_state_proc(Wnd wnd, uint32_t msg, WParam wp, LParam lp, Make make, Handle handle) {
  if (msg == WM_NCCREATE) {
    control_state_attach<T>(wnd, make());
    return def_window_proc(wnd, msg, wp, lp);
  }
  T* d = control_state_of<T>(wnd);
  if (!d) return def_window_proc(wnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    control_state_free(wnd, d);
    return def_window_proc(wnd, msg, wp, lp);
  }
  return handle(wnd, *d, msg, wp, lp);
}

// Copies a text into a caller's buffer of `room` characters, cut to fit with its NUL;
// returns the characters copied (0 without a buffer). Every text a control hands out
// goes this way.
inline int copy_text_out(const std::u16string& s, char16_t* buf, int room) {
  if (!buf || room <= 0) return 0;
  const int n = std::min(int(s.size()), room - 1);
  std::copy(s.begin(), s.begin() + n, buf);
  buf[n] = 0;
  return n;
}

}  // namespace plat::ui_detail
