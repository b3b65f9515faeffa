// The list box's rows and scrolling, its selection, and what the user's mouse and keys
// do to them. A press selects at once and raises LBN_SELCHANGE when the button is
// released, so that a click (or a drag over several items) tells the parent once.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_listbox_state.h"
#include "platform/ui/ctl_paint.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/scrollbar.h"

namespace plat::ui_detail {

namespace {

int count(const ListBoxData& d) { return int(d.items.size()); }

void redraw(Wnd wnd) { invalidate_rect(wnd, nullptr, true); }

bool notifies(Wnd wnd) { return listbox_style(wnd) & LBS_NOTIFY; }

int index_at(Wnd wnd, const ListBoxData& d, Point p) {
  Rect rc;
  get_client_rect(wnd, &rc);
  if (!rc.contains(p) || d.item_height <= 0) return -1;
  const int i = rows_at(listbox_layout(d), p.y);
  return i < count(d) ? i : -1;
}

// The item under a point while the button is held: the nearest one when outside.
int index_near(Wnd wnd, const ListBoxData& d, Point p) {
  if (count(d) == 0 || d.item_height <= 0) return -1;
  const int i = p.y < 0 ? d.top - 1 : rows_at(listbox_layout(d), p.y);
  return std::clamp(i, 0, count(d) - 1);
}

// A press of the left button on item i, as the selection style says.
void press_item(Wnd wnd, ListBoxData& d, int i, WParam keys) {
  const uint32_t style = listbox_style(wnd);
  bool changed = false;
  if (style & LBS_EXTENDEDSEL) {
    if (keys & MK_SHIFT) {
      changed = listbox_select_range(d, d.anchor >= 0 ? d.anchor : i, i);
    } else if (keys & MK_CONTROL) {
      changed = listbox_set_item(d, i, !d.items[size_t(i)].selected);
      d.anchor = i;
    } else {
      changed = listbox_select_only(d, true, i);
      d.anchor = i;
    }
  } else if (style & LBS_MULTIPLESEL) {
    changed = listbox_set_item(d, i, !d.items[size_t(i)].selected);
  } else {
    changed = listbox_select_only(d, false, i);
  }
  d.caret = i;
  d.changed_by_user = d.changed_by_user || changed;
  listbox_show_item(wnd, d, i);
  redraw(wnd);
}

// The button held and moved: single and extended selections follow the mouse.
void drag_to(Wnd wnd, ListBoxData& d, Point p, WParam keys) {
  const uint32_t style = listbox_style(wnd);
  if ((style & LBS_MULTIPLESEL) || (keys & MK_CONTROL)) return;
  const int i = index_near(wnd, d, p);
  if (i < 0 || i == d.caret) return;
  const bool changed = (style & LBS_EXTENDEDSEL) ? listbox_select_range(d, d.anchor >= 0 ? d.anchor : i, i)
                                                  : listbox_select_only(d, false, i);
  d.caret = i;
  d.changed_by_user = d.changed_by_user || changed;
  listbox_show_item(wnd, d, i);
  redraw(wnd);
}

void end_press(Wnd wnd, ListBoxData& d) {
  d.tracking = false;
  const bool changed = d.changed_by_user;
  d.changed_by_user = false;
  if (changed && notifies(wnd)) notify_command(wnd, LBN_SELCHANGE);
}

LResult on_button_down(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp, LParam lp) {
  if (get_focus() != wnd) set_focus(wnd);
  if (!is_window(wnd)) return 0;
  const int i = index_at(wnd, d, Point{x_of_lparam(lp), y_of_lparam(lp)});
  d.tracking = true;
  d.changed_by_user = false;
  set_capture(wnd);
  if (i >= 0) press_item(wnd, d, i, wp);
  if (msg == WM_LBUTTONDBLCLK && i >= 0 && notifies(wnd)) notify_command(wnd, LBN_DBLCLK);
  return 0;
}

// The item a key moves the focus to; -1 for a key that does not move it. Left and right
// step as up and down do.
int key_target(Wnd wnd, const ListBoxData& d, int vk) {
  if (vk == VK_LEFT) vk = VK_UP;
  if (vk == VK_RIGHT) vk = VK_DOWN;
  // A single selection moves from the selected item (none: the first key takes the first).
  const int from = is_multi(wnd) ? d.caret : d.sel;
  return rows_key_target(vk, from, count(d), listbox_rows(wnd, d));
}

bool move_by_key(Wnd wnd, ListBoxData& d, int to) {
  const uint32_t style = listbox_style(wnd);
  bool changed = false;
  if (style & LBS_EXTENDEDSEL) {
    if (get_key_state(VK_SHIFT) < 0) {
      changed = listbox_select_range(d, d.anchor >= 0 ? d.anchor : to, to);
    } else if (get_key_state(VK_CONTROL) >= 0) {
      changed = listbox_select_only(d, true, to);
      d.anchor = to;
    }
  } else if (!(style & LBS_MULTIPLESEL)) {
    changed = listbox_select_only(d, false, to);
  }
  d.caret = to;
  return changed;
}

}  // namespace

void listbox_set_font(ListBoxData& d, Font font) {
  d.font = font;
  d.item_height = font_text_height(font) + 2;
}

int listbox_rows(Wnd wnd, const ListBoxData& d) { return rows_shown(wnd, listbox_layout(d)); }

void listbox_set_top(Wnd wnd, ListBoxData& d, int top) {
  rows_move_top(wnd, d.top, top, count(d), listbox_rows(wnd, d));
  listbox_update_bar(wnd, d);
}

void listbox_show_item(Wnd wnd, ListBoxData& d, int index) {
  if (index < 0 || index >= count(d)) return;
  const int top = rows_top_showing(d.top, listbox_rows(wnd, d), index);
  if (top != d.top) listbox_set_top(wnd, d, top);
}

void listbox_update_bar(Wnd wnd, ListBoxData& d) {
  if (!d.own_bar) return;
  const bool needed = count(d) > listbox_rows(wnd, d);
  const bool keep = listbox_style(wnd) & LBS_DISABLENOSCROLL;
  show_scroll_bar(wnd, SB_VERT, needed || keep);
  if (keep) enable_scroll_bar(wnd, SB_VERT, needed ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH);
  ScrollInfo si;
  si.mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.min = 0;
  si.max = std::max(0, count(d) - 1);
  si.page = unsigned(listbox_rows(wnd, d));
  si.pos = d.top;
  set_scroll_info(wnd, SB_VERT, &si, true);
}

void listbox_on_scroll(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp) {
  int top = 0;
  if (rows_scroll_target(wnd, msg, wp, d.top, listbox_rows(wnd, d), count(d), &top)) listbox_set_top(wnd, d, top);
}

Rect listbox_item_rect(Wnd wnd, const ListBoxData& d, int index) {
  Rect rc;
  get_client_rect(wnd, &rc);
  return rows_rect(listbox_layout(d), index, rc.right);
}

bool listbox_select_only(ListBoxData& d, bool multi, int index) {
  if (!multi) {
    const bool changed = d.sel != index;
    d.sel = index;
    return changed;
  }
  bool changed = false;
  for (int i = 0; i < count(d); ++i) {
    const bool on = i == index;
    changed = changed || d.items[size_t(i)].selected != on;
    d.items[size_t(i)].selected = on;
  }
  return changed;
}

bool listbox_set_item(ListBoxData& d, int index, bool selected) {
  if (index < 0 || index >= count(d) || d.items[size_t(index)].selected == selected) return false;
  d.items[size_t(index)].selected = selected;
  return true;
}

bool listbox_select_range(ListBoxData& d, int from, int to) {
  if (from > to) std::swap(from, to);
  bool changed = false;
  for (int i = 0; i < count(d); ++i) {
    const bool on = i >= from && i <= to;
    changed = changed || d.items[size_t(i)].selected != on;
    d.items[size_t(i)].selected = on;
  }
  return changed;
}

bool listbox_is_selected(const ListBoxData& d, bool multi, int index) {
  if (index < 0 || index >= count(d)) return false;
  return multi ? d.items[size_t(index)].selected : d.sel == index;
}

LResult listbox_on_mouse(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp, LParam lp) {
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return on_button_down(wnd, d, msg, wp, lp);
    case WM_MOUSEMOVE:
      if (d.tracking) drag_to(wnd, d, p, wp);
      return 0;
    case WM_LBUTTONUP:
      if (!d.tracking) return 0;
      d.tracking = false;  // before the release, whose WM_CAPTURECHANGED must not end it twice
      release_capture();
      end_press(wnd, d);
      return 0;
    case WM_CAPTURECHANGED:
      if (d.tracking) end_press(wnd, d);
      return 0;
    default: return 0;
  }
}

LResult listbox_on_key(Wnd wnd, ListBoxData& d, int vk) {
  if (count(d) == 0) return 0;
  bool changed = false;
  if (vk == VK_SPACE) {
    const uint32_t style = listbox_style(wnd);
    const bool toggles = (style & LBS_MULTIPLESEL) || ((style & LBS_EXTENDEDSEL) && get_key_state(VK_CONTROL) < 0);
    if (!toggles || d.caret < 0) return 0;
    changed = listbox_set_item(d, d.caret, !d.items[size_t(d.caret)].selected);
    d.anchor = d.caret;
  } else {
    const int to = key_target(wnd, d, vk);
    if (to < 0) return 0;
    changed = move_by_key(wnd, d, to);
    listbox_show_item(wnd, d, to);
  }
  redraw(wnd);
  if (changed && notifies(wnd)) notify_command(wnd, LBN_SELCHANGE);
  return 0;
}

LResult listbox_on_char(Wnd wnd, ListBoxData& d, char16_t ch) {
  // Space toggles the selection (WM_KEYDOWN); control characters type nothing.
  if (count(d) == 0 || ch <= 0x20 || ch == 0x7F) return 0;
  const int from = is_multi(wnd) ? d.caret : d.sel;
  const int to = find_item(d.items, from, std::u16string(1, ch), false);
  if (to < 0) return 0;
  const bool changed = move_by_key(wnd, d, to);
  listbox_show_item(wnd, d, to);
  redraw(wnd);
  if (changed && notifies(wnd)) notify_command(wnd, LBN_SELCHANGE);
  return 0;
}

}  // namespace plat::ui_detail
