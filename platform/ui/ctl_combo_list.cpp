// The combo box's list: its rows and scroll bar inside a rectangle (the dropped list
// window, or the part of a simple combo box under its field), the top row, and the
// opening and closing of the drop-down.
//
// The dropped list window is disabled on purpose: it takes no input and no activation
// of its own. The combo box holds the mouse capture while the list is open, gets every
// mouse message, and maps the points into the list (ctl_combo_input.cpp).
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_combo_state.h"
#include "platform/ui/input.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_state.h"

namespace plat::ui_detail {

namespace {

constexpr int kRowsWithoutRoom = 8;

int count(const ComboData& d) { return int(d.items.size()); }

// Rows the dropped list shows: the room given, never more than the items, at least one.
int dropped_rows(const ComboData& d) {
  const int room = d.list_room / std::max(1, d.item_height);
  return std::clamp(count(d), 1, room >= 1 ? room : kRowsWithoutRoom);
}

BarState bar_state(const ComboData& d, int visible) {
  BarState s;
  s.min = 0;
  s.max = std::max(0, count(d) - 1);
  s.page = unsigned(visible);
  s.pos = d.top;
  return s;
}

struct BarParts {
  int arrow = 0, track = 0, off = 0, size = 0;
  bool thumb = false;
};

BarParts bar_parts(const ComboData& d, const ListLayout& l) {
  BarParts b;
  b.arrow = std::min(l.bar.width(), l.bar.height() / 2);
  b.track = std::max(0, l.bar.height() - 2 * b.arrow);
  b.thumb = bar_thumb(bar_state(d, l.visible), b.track, &b.off, &b.size);
  return b;
}

LResult list_window_proc(Wnd wnd, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: {
      PaintStruct ps;
      Dc dc = begin_paint(wnd, &ps);
      if (!dc) return 0;
      Wnd combo = reinterpret_cast<Wnd>(get_window_long(wnd, GWLP_USERDATA));
      const ComboData* d = is_window(combo) ? combo_data(combo) : nullptr;
      Rect rc;
      get_client_rect(wnd, &rc);
      if (d) combo_paint_list(dc, *d, rc, d->hot, true);
      end_paint(wnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_ACTIVATE: return 0;  // never takes the focus from the combo box
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

}  // namespace

void combo_register_list_class() {
  if (get_class_info(kComboListClass, nullptr)) return;
  WndClass c;
  c.name = kComboListClass;
  c.proc = list_window_proc;
  c.background_sys_color = COLOR_WINDOW;
  register_class(c);
}

ListLayout combo_list_layout(const ComboData& d, const Rect& inner) {
  ListLayout l;
  l.visible = std::max(1, inner.height() / std::max(1, d.item_height));
  l.rows = inner;
  if (count(d) > l.visible) {
    l.bar = Rect{inner.right - kScrollSize, inner.top, inner.right, inner.bottom};
    l.rows.right = l.bar.left;
  }
  return l;
}

int combo_visible_rows(Wnd wnd, const ComboData& d) {
  if (combo_type(wnd) == CBS_SIMPLE) return combo_list_layout(d, combo_simple_list_rect(wnd, d)).visible;
  if (d.popup) {
    Rect rc;
    get_client_rect(d.popup, &rc);
    return combo_list_layout(d, rc).visible;
  }
  return dropped_rows(d);
}

Rect combo_dropped_rect(Wnd wnd, const ComboData& d) {
  Rect wr;
  get_window_rect(wnd, &wr);
  const int h = dropped_rows(d) * d.item_height + 2;
  const Rect work = get_work_area();
  if (wr.bottom + h > work.bottom && wr.top - h >= work.top) return Rect{wr.left, wr.top - h, wr.right, wr.top};
  return Rect{wr.left, wr.bottom, wr.right, wr.bottom + h};
}

void combo_set_top(Wnd wnd, ComboData& d, int top) {
  top = rows_clamp_top(top, count(d), combo_visible_rows(wnd, d));
  if (top == d.top) return;
  d.top = top;
  combo_refresh_list(wnd, d);
}

void combo_show_item(Wnd wnd, ComboData& d, int index) {
  if (index < 0 || index >= count(d)) return;
  const int top = rows_top_showing(d.top, combo_visible_rows(wnd, d), index);
  if (top != d.top) combo_set_top(wnd, d, top);
}

void combo_refresh_list(Wnd wnd, const ComboData& d) {
  if (d.popup) invalidate_rect(d.popup, nullptr, false);
  if (combo_type(wnd) == CBS_SIMPLE) invalidate_rect(wnd, nullptr, false);
}

void combo_open(Wnd wnd, ComboData& d, bool by_user) {
  if (d.dropped || combo_type(wnd) == CBS_SIMPLE || !is_window_enabled(wnd)) return;
  if (by_user) {
    notify_command(wnd, CBN_DROPDOWN);
    if (!is_window(wnd) || d.dropped) return;
  }
  d.hot = d.sel;
  d.top = 0;
  combo_show_item(wnd, d, d.sel);
  const Rect r = combo_dropped_rect(wnd, d);
  Wnd popup = create_window(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kComboListClass, "", WS_POPUP | WS_BORDER | WS_DISABLED,
                            r.left, r.top, r.width(), r.height(), wnd, 0);
  if (!popup) return;
  set_window_long(popup, GWLP_USERDATA, reinterpret_cast<intptr_t>(wnd));
  d.popup = popup;
  d.dropped = true;
  d.thumb_grab = -1;
  show_window(popup, SW_SHOWNA);
  set_capture(wnd);
  invalidate_rect(wnd, nullptr, true);
}

void combo_close(Wnd wnd, ComboData& d, CloseHow how) {
  if (!d.dropped) return;
  d.dropped = false;
  d.opening_press = false;
  d.thumb_grab = -1;
  d.hot = -1;
  Wnd popup = d.popup;
  d.popup = nullptr;
  if (get_capture() == wnd) release_capture();
  if (popup) destroy_window(popup);
  invalidate_rect(wnd, nullptr, true);
  if (how == CloseHow::quietly) return;
  notify_command(wnd, how == CloseHow::chosen ? CBN_SELENDOK : CBN_SELENDCANCEL);
  if (is_window(wnd)) notify_command(wnd, CBN_CLOSEUP);
}

int combo_list_row_at(const ComboData& d, const Rect& inner, Point p) {
  const ListLayout l = combo_list_layout(d, inner);
  if (!l.rows.contains(p)) return -1;
  const int i = rows_at(RowsLayout{l.rows.top, d.item_height, d.top}, p.y);
  return i < count(d) ? i : -1;
}

bool combo_list_bar_press(Wnd wnd, ComboData& d, const Rect& inner, Point p) {
  const ListLayout l = combo_list_layout(d, inner);
  if (l.bar.empty() || !l.bar.contains(p)) return false;
  const BarParts b = bar_parts(d, l);
  const int a = p.y - l.bar.top;
  if (a < b.arrow) {
    combo_set_top(wnd, d, d.top - 1);
  } else if (a >= l.bar.height() - b.arrow) {
    combo_set_top(wnd, d, d.top + 1);
  } else if (b.thumb && a - b.arrow < b.off) {
    combo_set_top(wnd, d, d.top - l.visible);
  } else if (b.thumb && a - b.arrow >= b.off + b.size) {
    combo_set_top(wnd, d, d.top + l.visible);
  } else if (b.thumb) {
    d.thumb_grab = a - b.arrow - b.off;
  }
  return true;
}

void combo_list_bar_drag(Wnd wnd, ComboData& d, const Rect& inner, Point p) {
  const ListLayout l = combo_list_layout(d, inner);
  if (d.thumb_grab < 0 || l.bar.empty()) return;
  const BarParts b = bar_parts(d, l);
  const int span = b.track - b.size;
  const int off = p.y - l.bar.top - b.arrow - d.thumb_grab;
  const int last = std::max(0, count(d) - l.visible);
  combo_set_top(wnd, d, span > 0 ? int((int64_t(off) * last + span / 2) / span) : 0);
}

}  // namespace plat::ui_detail
