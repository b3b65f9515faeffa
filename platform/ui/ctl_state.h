// Internal to the controls: how a control keeps its state record in the window's first
// per-window value. The record is made at WM_NCCREATE, read for every later message and
// deleted at WM_NCDESTROY (a record that holds drawing objects frees them in its
// destructor). Every control's window procedure is a control_proc, which does that round
// and hands each message in between to the control with its record, and every control
// class is registered with room for the record by register_control_class.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/ui/cursor.h"
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

// The window procedure of a control whose state record is a T. At WM_NCCREATE a record of
// T's defaults is attached and, when SetUp is given, handed to `SetUp(wnd, record,
// create_struct)` (attached first, so that what SetUp sets off, such as a change of style,
// already finds it); at WM_NCDESTROY the record is deleted; every other message goes to
// `Handle(wnd, record, msg, wp, lp)`. Messages before the record exists or after it is
// gone get the default procedure.
template <class T, auto Handle, auto SetUp = nullptr>
LResult control_proc(Wnd wnd, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_NCCREATE) {
    T* d = control_state_attach(wnd, new T);
    if constexpr (!std::is_null_pointer_v<decltype(SetUp)>) SetUp(wnd, *d, reinterpret_cast<const CreateStruct*>(lp));
    return def_window_proc(wnd, msg, wp, lp);
  }
  T* d = control_state_of<T>(wnd);
  if (!d) return def_window_proc(wnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    control_state_free(wnd, d);
    return def_window_proc(wnd, msg, wp, lp);
  }
  return Handle(wnd, *d, msg, wp, lp);
}

// Registers a control's window class unless it is registered already: its procedure (a
// control_proc), room for the record, the class `style` (CS_*) and the cursor (IDC_*).
inline void register_control_class(const char* name, WndProc proc, uint32_t style, int cursor) {
  if (get_class_info(name, nullptr)) return;
  WndClass c;
  c.name = name;
  c.proc = proc;
  c.style = style;
  c.wnd_extra = int(sizeof(intptr_t));
  c.cursor = load_cursor(cursor);
  register_class(c);
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
