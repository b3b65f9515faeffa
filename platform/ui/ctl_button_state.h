// Internal to the button control: the state a button keeps (reached through its first
// per-window value) and the painting routine that ctl_button_paint.cpp provides to the
// message handling of ctl_button.cpp.
#pragma once
#include <cstdint>

#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

struct ButtonData {
  Font font = nullptr;     // WM_SETFONT's font; null: the interface font
  Bitmap image = nullptr;  // BM_SETIMAGE's picture (not owned)
  unsigned check = BST_UNCHECKED;
  bool pushed = false;      // drawn pushed in (mouse held inside, Space held, BM_SETSTATE)
  bool focused = false;
  bool tracking = false;    // the left button went down on it and the mouse is captured
  bool space_down = false;  // Space went down while it had the focus
};

inline ButtonData* button_data(Wnd wnd) { return control_state_of<ButtonData>(wnd); }
inline uint32_t button_type(uint32_t style) { return style & BS_TYPEMASK; }
inline bool is_check_type(uint32_t t) {
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE;
}
inline bool is_radio_type(uint32_t t) { return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON; }
// Drawn as a push button: push buttons, user buttons, and push-like boxes.
inline bool looks_pushed_type(uint32_t style) {
  const uint32_t t = button_type(style);
  if (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_USERBUTTON) return true;
  return (style & BS_PUSHLIKE) && (is_check_type(t) || is_radio_type(t));
}

void paint_button(Wnd wnd, ButtonData& d);

}  // namespace plat::ui_detail
