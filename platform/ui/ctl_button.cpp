// The button control's behaviour: mouse and keyboard clicks, check states and radio
// groups, the button messages and notifications. Painting is in ctl_button_paint.cpp.
//
// A click is worked in one place (click): the automatic types change their check state
// first, then BN_CLICKED goes to the parent, which may destroy the button; nothing of
// the button is touched after it.
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_button_state.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/cursor.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"

namespace plat {

using namespace ui_detail;

namespace {

uint32_t style_of(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }

void redraw(Wnd wnd) { invalidate_rect(wnd, nullptr, true); }

void set_check(Wnd wnd, ButtonData& d, unsigned check) {
  const uint32_t t = button_type(style_of(wnd));
  if (!is_check_type(t) && !is_radio_type(t)) return;
  if (check == BST_INDETERMINATE && t != BS_3STATE && t != BS_AUTO3STATE) check = BST_CHECKED;
  if (check > BST_INDETERMINATE) check = BST_CHECKED;
  if (d.check == check) return;
  d.check = check;
  redraw(wnd);
}

// The siblings of the button's group: from the nearest one with WS_GROUP (itself
// included, the first sibling at the latest) up to the next one with WS_GROUP.
std::vector<Wnd> group_of(Wnd wnd) {
  std::vector<Wnd> sibs = child_windows(get_parent(wnd));
  size_t i = 0;
  while (i < sibs.size() && sibs[i] != wnd) ++i;
  if (i == sibs.size()) return {wnd};
  size_t start = i;
  while (start > 0 && !(style_of(sibs[start]) & WS_GROUP)) --start;
  size_t end = i + 1;
  while (end < sibs.size() && !(style_of(sibs[end]) & WS_GROUP)) ++end;
  return std::vector<Wnd>(sibs.begin() + long(start), sibs.begin() + long(end));
}

void check_radio_in_group(Wnd wnd, ButtonData& d) {
  set_check(wnd, d, BST_CHECKED);
  for (Wnd other : group_of(wnd)) {
    if (other == wnd) continue;
    if (send_message(other, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) send_message(other, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

void click(Wnd wnd, ButtonData& d) {
  switch (button_type(style_of(wnd))) {
    case BS_AUTOCHECKBOX: set_check(wnd, d, d.check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED); break;
    case BS_AUTO3STATE: set_check(wnd, d, (d.check + 1) % 3); break;
    case BS_AUTORADIOBUTTON: check_radio_in_group(wnd, d); break;
    default: break;
  }
  notify_command(wnd, BN_CLICKED);
}

void set_pushed(Wnd wnd, ButtonData& d, bool pushed) {
  if (d.pushed == pushed) return;
  d.pushed = pushed;
  redraw(wnd);
}

bool inside(Wnd wnd, LParam lp) {
  Rect rc;
  get_client_rect(wnd, &rc);
  return rc.contains(Point{x_of_lparam(lp), y_of_lparam(lp)});
}

// A group box lets the mouse through to the controls drawn inside it (its siblings
// further down the stacking order): the window system passes it over.
LResult hit_test_answer(Wnd wnd, WParam wp, LParam lp) {
  if (button_type(style_of(wnd)) == BS_GROUPBOX) return HTTRANSPARENT;
  return def_window_proc(wnd, WM_NCHITTEST, wp, lp);
}

bool double_click_notifies(uint32_t style) {
  const uint32_t t = button_type(style);
  return is_radio_type(t) || t == BS_OWNERDRAW || (style & BS_NOTIFY);
}

LResult on_button_down(Wnd wnd, ButtonData& d, uint32_t msg) {
  const uint32_t style = style_of(wnd);
  if (button_type(style) == BS_GROUPBOX) return 0;
  if (msg == WM_LBUTTONDBLCLK && double_click_notifies(style)) {
    notify_command(wnd, BN_DOUBLECLICKED);
    return 0;
  }
  if (get_focus() != wnd) set_focus(wnd);
  if (!is_window(wnd)) return 0;
  set_capture(wnd);
  d.tracking = true;
  set_pushed(wnd, d, true);
  return 0;
}

LResult on_mouse_move(Wnd wnd, ButtonData& d, LParam lp) {
  if (d.tracking) set_pushed(wnd, d, inside(wnd, lp));
  return 0;
}

LResult on_button_up(Wnd wnd, ButtonData& d, LParam lp) {
  if (!d.tracking) return 0;
  d.tracking = false;
  release_capture();
  set_pushed(wnd, d, false);
  if (inside(wnd, lp)) click(wnd, d);
  return 0;
}

LResult on_capture_changed(Wnd wnd, ButtonData& d) {
  if (d.tracking) {
    d.tracking = false;
    set_pushed(wnd, d, false);
  }
  return 0;
}

LResult dialog_code(Wnd wnd) {
  const uint32_t t = button_type(style_of(wnd));
  switch (t) {
    case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
    case BS_PUSHBUTTON:
    case BS_USERBUTTON:
    case BS_OWNERDRAW: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case BS_GROUPBOX: return DLGC_STATIC;
    default: return is_radio_type(t) ? (DLGC_BUTTON | DLGC_RADIOBUTTON) : DLGC_BUTTON;
  }
}

LResult on_key_down(Wnd wnd, ButtonData& d, WParam vk) {
  const uint32_t style = style_of(wnd);
  if (button_type(style) == BS_GROUPBOX) return 0;
  if (int(vk) == VK_SPACE && !d.space_down) {
    d.space_down = true;
    set_pushed(wnd, d, true);
  } else if (int(vk) == VK_RETURN && (dialog_code(wnd) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
    click(wnd, d);  // a push button outside a dialog (a dialog takes Enter for itself)
  }
  return 0;
}

LResult on_key_up(Wnd wnd, ButtonData& d, WParam vk) {
  if (int(vk) != VK_SPACE || !d.space_down) return 0;
  d.space_down = false;
  set_pushed(wnd, d, false);
  click(wnd, d);
  return 0;
}

LResult on_focus(Wnd wnd, ButtonData& d, bool gained) {
  d.focused = gained;
  if (!gained && d.space_down) {
    d.space_down = false;
    d.pushed = false;
  }
  redraw(wnd);
  if (style_of(wnd) & BS_NOTIFY) notify_command(wnd, gained ? BN_SETFOCUS : BN_KILLFOCUS);
  return 0;
}

LResult get_state(const ButtonData& d) {
  return LResult(d.check | (d.pushed ? BST_PUSHED : 0u) | (d.focused ? BST_FOCUS : 0u));
}

LResult set_style(Wnd wnd, WParam wp, LParam lp) {
  const uint32_t old = style_of(wnd);
  set_window_long(wnd, GWL_STYLE, intptr_t((old & 0xFFFF0000u) | (uint32_t(wp) & 0xFFFFu)));
  if (lp) redraw(wnd);
  return 0;
}

LResult set_image(Wnd wnd, ButtonData& d, WParam kind, LParam image) {
  if (kind != IMAGE_BITMAP) return 0;
  Bitmap old = d.image;
  d.image = reinterpret_cast<Bitmap>(image);
  redraw(wnd);
  return LResult(reinterpret_cast<intptr_t>(old));
}

LResult button_message(Wnd wnd, ButtonData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case BM_GETCHECK: return LResult(d.check);
    case BM_SETCHECK: set_check(wnd, d, unsigned(wp)); return 0;
    case BM_GETSTATE: return get_state(d);
    case BM_SETSTATE: set_pushed(wnd, d, wp != 0); return 0;
    case BM_SETSTYLE: return set_style(wnd, wp, lp);
    case BM_CLICK:
      if (is_window_enabled(wnd) && button_type(style_of(wnd)) != BS_GROUPBOX) click(wnd, d);
      return 0;
    case BM_GETIMAGE: return wp == IMAGE_BITMAP ? LResult(reinterpret_cast<intptr_t>(d.image)) : 0;
    case BM_SETIMAGE: return set_image(wnd, d, wp, lp);
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, ButtonData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: paint_button(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills what the button covers
    case WM_SETTEXT: {
      LResult r = def_window_proc(wnd, msg, wp, lp);
      redraw(wnd);
      return r;
    }
    case WM_SETFONT:
      d.font = reinterpret_cast<Font>(wp);
      if (lp) redraw(wnd);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_ENABLE: redraw(wnd); return 0;
    case WM_GETDLGCODE: return dialog_code(wnd);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return on_button_down(wnd, d, msg);
    case WM_NCHITTEST: return hit_test_answer(wnd, wp, lp);
    case WM_MOUSEMOVE: return on_mouse_move(wnd, d, lp);
    case WM_LBUTTONUP: return on_button_up(wnd, d, lp);
    case WM_CAPTURECHANGED: return on_capture_changed(wnd, d);
    case WM_KEYDOWN: return on_key_down(wnd, d, wp);
    case WM_KEYUP: return on_key_up(wnd, d, wp);
    case WM_SETFOCUS: return on_focus(wnd, d, true);
    case WM_KILLFOCUS: return on_focus(wnd, d, false);
    default: return button_message(wnd, d, msg, wp, lp);
  }
}

}  // namespace

void register_button_control() {
  register_control_class(kButtonClass, control_proc<ButtonData, window_message>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
