// The user's keys and mouse on a combo box. Keys reach the combo box itself (a drop-down
// list) or its edit field, whose procedure is subclassed so that the arrows, F4,
// Alt+Down, and Enter and Escape while the list is open work the combo box, and so
// that the focus coming into and leaving the pair is seen once.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_combo_state.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/queue.h"

namespace plat::ui_detail {

namespace {

WndProc g_edit_base = nullptr;  // the edit class's procedure, which the subclass calls on

bool inside(Wnd combo, Wnd w) { return w && (w == combo || is_child(combo, w)); }

void toggle(Wnd wnd, ComboData& d) {
  if (combo_type(wnd) == CBS_SIMPLE) return;
  if (d.dropped) {
    combo_close(wnd, d, CloseHow::chosen);
  } else {
    combo_open(wnd, d, true);
  }
}

// The item a key moves the selection to; -1 when it moves nothing. Left and right step
// as up and down do.
int key_target(Wnd wnd, const ComboData& d, int vk) {
  if (vk == VK_LEFT) vk = VK_UP;
  if (vk == VK_RIGHT) vk = VK_DOWN;
  return rows_key_target(vk, d.sel, int(d.items.size()), combo_visible_rows(wnd, d));
}

bool moves_selection(Wnd wnd, int vk) {
  if (vk == VK_UP || vk == VK_DOWN || vk == VK_PRIOR || vk == VK_NEXT) return true;
  // Home, End, Left and Right move the caret of an edit field.
  return !has_edit(wnd) && (vk == VK_HOME || vk == VK_END || vk == VK_LEFT || vk == VK_RIGHT);
}

// The list's rectangle holding a point of the combo box's client area, and the point
// in the list's coordinates; empty when no list shows.
Rect list_inner(Wnd wnd, const ComboData& d, Point p, Point* in) {
  *in = p;
  Rect rc;
  if (d.popup) {
    client_to_screen(wnd, in);
    screen_to_client(d.popup, in);
    get_client_rect(d.popup, &rc);
    return rc;
  }
  return combo_type(wnd) == CBS_SIMPLE ? combo_simple_list_rect(wnd, d) : rc;
}

LResult dropped_mouse(Wnd wnd, ComboData& d, uint32_t msg, WParam wp, LParam lp) {
  Point in;
  const Rect inner = list_inner(wnd, d, Point{x_of_lparam(lp), y_of_lparam(lp)}, &in);
  switch (msg) {
    case WM_MOUSEMOVE: {
      if (d.thumb_grab >= 0) {
        combo_list_bar_drag(wnd, d, inner, in);
        return 0;
      }
      const int row = combo_list_row_at(d, inner, in);
      if (row >= 0 && row != d.hot) {
        d.hot = row;
        combo_refresh_list(wnd, d);
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      d.opening_press = false;
      if (inner.contains(in)) {
        d.bar_press = combo_list_bar_press(wnd, d, inner, in);
        return 0;
      }
      combo_close(wnd, d, CloseHow::cancelled);  // a press anywhere else
      return 0;
    case WM_LBUTTONUP: {
      const bool on_bar = d.bar_press || d.thumb_grab >= 0;
      d.bar_press = false;
      d.thumb_grab = -1;
      const int row = on_bar ? -1 : combo_list_row_at(d, inner, in);
      if (row >= 0) {
        combo_choose(wnd, d, row, true);
      } else {
        d.opening_press = false;  // the release of the press that opened it: it stays open
      }
      return 0;
    }
    case WM_MOUSEWHEEL: combo_set_top(wnd, d, rows_wheel_target(d.top, wp)); return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<Wnd>(lp) != wnd) combo_close(wnd, d, CloseHow::cancelled);
      return 0;
    default: return 0;
  }
}

LResult simple_mouse(Wnd wnd, ComboData& d, uint32_t msg, WParam wp, LParam lp) {
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  const Rect inner = combo_simple_list_rect(wnd, d);
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!d.focused) set_focus(wnd);
      if (!is_window(wnd)) return 0;
      if (combo_list_bar_press(wnd, d, inner, p)) {
        if (d.thumb_grab >= 0) set_capture(wnd);
        return 0;
      }
      const int row = combo_list_row_at(d, inner, p);
      if (row < 0) return 0;
      combo_choose(wnd, d, row, false);
      if (msg == WM_LBUTTONDBLCLK && is_window(wnd)) notify_command(wnd, CBN_DBLCLK);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (d.thumb_grab >= 0) combo_list_bar_drag(wnd, d, inner, p);
      return 0;
    case WM_LBUTTONUP:
      d.thumb_grab = -1;
      if (get_capture() == wnd) release_capture();
      return 0;
    case WM_MOUSEWHEEL: combo_set_top(wnd, d, rows_wheel_target(d.top, wp)); return 0;
    case WM_CAPTURECHANGED: d.thumb_grab = -1; return 0;
    default: return 0;
  }
}

LResult edit_base(Wnd w, uint32_t msg, WParam wp, LParam lp) {
  return g_edit_base ? call_window_proc(g_edit_base, w, msg, wp, lp) : def_window_proc(w, msg, wp, lp);
}

bool wants_key_while_open(const ComboData& d, LParam msg) {
  const auto* m = reinterpret_cast<const Msg*>(msg);
  return d.dropped && m && m->message == WM_KEYDOWN && (int(m->wparam) == VK_RETURN || int(m->wparam) == VK_ESCAPE);
}

ComboData* owner_combo(Wnd edit, Wnd* combo) {
  *combo = get_parent(edit);
  if (!*combo || get_class_name(*combo) != kComboBoxClass) return nullptr;
  ComboData* d = combo_data(*combo);
  return d && d->edit == edit ? d : nullptr;
}

LResult combo_edit_proc(Wnd edit, uint32_t msg, WParam wp, LParam lp) {
  Wnd combo = nullptr;
  ComboData* d = owner_combo(edit, &combo);
  if (!d) return edit_base(edit, msg, wp, lp);
  switch (msg) {
    case WM_KEYDOWN:
      if (combo_on_key(combo, *d, int(wp), false)) return 0;
      break;
    case WM_SYSKEYDOWN:
      if (combo_on_key(combo, *d, int(wp), true)) return 0;
      break;
    case WM_GETDLGCODE:
      return edit_base(edit, msg, wp, lp) | DLGC_WANTARROWS | (wants_key_while_open(*d, lp) ? DLGC_WANTALLKEYS : 0);
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      const LResult r = edit_base(edit, msg, wp, lp);
      Wnd other = reinterpret_cast<Wnd>(wp);
      if (!is_window(combo) || inside(combo, other) || !(d = combo_data(combo))) return r;
      if (msg == WM_SETFOCUS) {
        combo_focus_in(combo, *d, other);
      } else {
        combo_focus_out(combo, *d, other);
      }
      return r;
    }
    default: break;
  }
  return edit_base(edit, msg, wp, lp);
}

}  // namespace

bool combo_on_key(Wnd wnd, ComboData& d, int vk, bool alt) {
  if (alt) {
    if (vk != VK_DOWN && vk != VK_UP) return false;
    toggle(wnd, d);
    return true;
  }
  switch (vk) {
    case VK_F4: toggle(wnd, d); return true;
    case VK_RETURN:
      if (!d.dropped) return false;
      combo_close(wnd, d, CloseHow::chosen);
      return true;
    case VK_ESCAPE:
      if (!d.dropped) return false;
      combo_close(wnd, d, CloseHow::cancelled);
      return true;
    default: break;
  }
  if (!moves_selection(wnd, vk)) return false;
  const int to = key_target(wnd, d, vk);
  if (to >= 0 && to != d.sel) combo_choose(wnd, d, to, false);
  return true;
}

bool combo_on_char(Wnd wnd, ComboData& d, char16_t ch) {
  if (has_edit(wnd) || ch <= 0x20 || ch == 0x7F || d.items.empty()) return false;
  const int to = find_item(d.items, d.sel, std::u16string(1, ch), false);
  if (to >= 0 && to != d.sel) combo_choose(wnd, d, to, false);
  return true;
}

LResult combo_on_mouse(Wnd wnd, ComboData& d, uint32_t msg, WParam wp, LParam lp) {
  if (d.dropped) return dropped_mouse(wnd, d, msg, wp, lp);
  if (combo_type(wnd) == CBS_SIMPLE) return simple_mouse(wnd, d, msg, wp, lp);
  if (msg == WM_MOUSEWHEEL) return def_window_proc(wnd, msg, wp, lp);
  if (msg != WM_LBUTTONDOWN && msg != WM_LBUTTONDBLCLK) return 0;
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  if (!d.focused) set_focus(wnd);
  if (!is_window(wnd)) return 0;
  // An editable field opens its list from the button only.
  if (has_edit(wnd) && !combo_button_rect(wnd, d).contains(p)) return 0;
  combo_open(wnd, d, true);
  if (is_window(wnd) && d.dropped) d.opening_press = true;
  return 0;
}

LResult combo_dialog_code(Wnd wnd, const ComboData& d, LParam msg) {
  LResult code = DLGC_WANTARROWS | (has_edit(wnd) ? DLGC_HASSETSEL : DLGC_WANTCHARS);
  if (wants_key_while_open(d, msg)) code |= DLGC_WANTALLKEYS;
  return code;
}

void combo_subclass_edit(Wnd edit) {
  WndProc old = set_window_proc(edit, combo_edit_proc);
  if (!g_edit_base && old != combo_edit_proc) g_edit_base = old;
}

}  // namespace plat::ui_detail
