// The list view's geometry (header, rows, cells, the check box), its vertical
// scrolling, hit testing, and what the user's mouse and keys do. Every notification
// the list view raises for the user's actions is sent from here. A press selects at
// once and then tells the parent (NM_CLICK after the LVN_ITEMCHANGED notices), so that
// a parent reading the selection in NM_CLICK finds the new one.
#include <algorithm>

#include "platform/ui/ctl_listview_state.h"
#include "platform/ui/ctl_paint.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

int count(const ListViewData& d) { return int(d.rows.size()); }

Rect client(Wnd wnd) {
  Rect rc;
  get_client_rect(wnd, &rc);
  return rc;
}

unsigned key_flags() {
  return (get_key_state(VK_MENU) < 0 ? LVKF_ALT : 0) | (get_key_state(VK_CONTROL) < 0 ? LVKF_CONTROL : 0) |
         (get_key_state(VK_SHIFT) < 0 ? LVKF_SHIFT : 0);
}

// ---- Notices -------------------------------------------------------------------------------------
struct Change {
  int item;
  unsigned old_state, new_state;
  LParam data;
};

// Tells the parent of each item whose user-visible state moved since `before`: first
// the items that only lost something (the old selection), then the others.
void tell_changes(Wnd wnd, const std::vector<unsigned>& before) {
  ListViewData* d = listview_data(wnd);
  std::vector<Change> lost, gained;
  for (int i = 0; i < count(*d) && size_t(i) < before.size(); ++i) {
    const unsigned now = d->rows[size_t(i)].state & kLvUserStates, was = before[size_t(i)] & kLvUserStates;
    if (now == was) continue;
    Change c{i, was, now, d->rows[size_t(i)].data};
    ((now & ~was) ? gained : lost).push_back(c);
  }
  invalidate_rect(wnd, nullptr, true);
  lost.insert(lost.end(), gained.begin(), gained.end());
  for (const Change& c : lost) {
    if (!is_window(wnd)) return;
    NmListView nm;
    nm.item = c.item;
    nm.new_state = c.new_state;
    nm.old_state = c.old_state;
    nm.changed = LVIF_STATE;
    nm.param = c.data;
    notify_parent(wnd, &nm.hdr, LVN_ITEMCHANGED);
  }
}

std::vector<unsigned> states(const ListViewData& d) {
  std::vector<unsigned> out;
  for (const LvRow& r : d.rows) out.push_back(r.state);
  return out;
}

void set_bit(LvRow& row, unsigned bit, bool on) { row.state = on ? (row.state | bit) : (row.state & ~bit); }

// The selection a press on `item` (or off the items: -1) makes, by the keys held.
void select_by_user(Wnd wnd, ListViewData& d, int item, bool shift, bool ctrl) {
  const bool single = listview_style(wnd) & LVS_SINGLESEL;
  if (item < 0) {
    if (single || !(shift || ctrl))
      for (LvRow& r : d.rows) set_bit(r, LVIS_SELECTED, false);
    return;
  }
  if (!single && ctrl && !shift) {
    set_bit(d.rows[size_t(item)], LVIS_SELECTED, !(d.rows[size_t(item)].state & LVIS_SELECTED));
    d.anchor = item;
  } else if (!single && shift) {
    const int anchor = d.anchor >= 0 ? d.anchor : item;
    const int from = std::min(anchor, item), to = std::max(anchor, item);
    for (int i = 0; i < count(d); ++i) set_bit(d.rows[size_t(i)], LVIS_SELECTED, i >= from && i <= to);
  } else {
    for (int i = 0; i < count(d); ++i) set_bit(d.rows[size_t(i)], LVIS_SELECTED, i == item);
    d.anchor = item;
  }
  for (int i = 0; i < count(d); ++i) set_bit(d.rows[size_t(i)], LVIS_FOCUSED, i == item);
  listview_show_item(wnd, d, item);
}

void user_select(Wnd wnd, int item, bool shift, bool ctrl) {
  ListViewData* d = listview_data(wnd);
  const std::vector<unsigned> before = states(*d);
  select_by_user(wnd, *d, item, shift, ctrl);
  tell_changes(wnd, before);
}

// The check box of an item flips between unchecked (1) and checked (2).
void user_toggle_check(Wnd wnd, int item) {
  ListViewData* d = listview_data(wnd);
  LvRow& row = d->rows[size_t(item)];
  const unsigned image = state_image_of(row.state);
  if (image == 0) return;
  const std::vector<unsigned> before = states(*d);
  row.state = (row.state & ~LVIS_STATEIMAGEMASK) | index_to_state_image(image == 2 ? 1 : 2);
  tell_changes(wnd, before);
}

void tell_click(Wnd wnd, int32_t code, int item, int sub_item, Point p) {
  if (!is_window(wnd)) return;
  ListViewData* d = listview_data(wnd);
  NmItemActivate nm;
  nm.item = listview_valid(*d, item) ? item : -1;
  nm.sub_item = nm.item >= 0 ? sub_item : 0;
  if (nm.item >= 0) {
    nm.new_state = d->rows[size_t(item)].state;
    nm.param = d->rows[size_t(item)].data;
  }
  nm.action = p;
  nm.key_flags = key_flags();
  notify_parent(wnd, &nm.hdr, code);
}

void click_header(Wnd wnd, const ListViewData& d, Point p) {
  const int col = listview_column_at(d, p.x);
  if (col < 0 || (listview_style(wnd) & LVS_NOSORTHEADER)) return;
  NmListView nm;
  nm.item = -1;
  nm.sub_item = col;
  nm.action = p;
  notify_parent(wnd, &nm.hdr, LVN_COLUMNCLICK);
}

int focused_item(const ListViewData& d) {
  for (int i = 0; i < count(d); ++i)
    if (d.rows[size_t(i)].state & LVIS_FOCUSED) return i;
  return -1;
}

int key_target(Wnd wnd, const ListViewData& d, int vk) {
  return rows_key_target(vk, focused_item(d), count(d), listview_rows_shown(wnd, d));
}

void activate_selection(Wnd wnd) {
  NmHdr ret;
  notify_parent(wnd, &ret, NM_RETURN);
  if (!is_window(wnd)) return;
  ListViewData* d = listview_data(wnd);
  int item = focused_item(*d);
  if (item < 0 || !(d->rows[size_t(item)].state & LVIS_SELECTED)) {
    item = -1;
    for (int i = 0; i < count(*d) && item < 0; ++i)
      if (d->rows[size_t(i)].state & LVIS_SELECTED) item = i;
  }
  if (item >= 0) tell_click(wnd, LVN_ITEMACTIVATE, item, 0, Point{});
}

}  // namespace

// ---- Geometry ----------------------------------------------------------------------------------
void listview_set_font(ListViewData& d, Font font) {
  d.font = font;
  d.text_height = font_text_height(font);
  d.row_height = std::max(d.text_height + 4, (d.ex_style & LVS_EX_CHECKBOXES) ? kLvBox + 4 : 0);
}

int listview_text_width(const ListViewData& d, const std::u16string& s) {
  return text_width_in(d.font, s);
}

int listview_header_height(Wnd wnd, const ListViewData& d) {
  return (listview_style(wnd) & LVS_NOCOLUMNHEADER) ? 0 : d.text_height + 8;
}

RowsLayout listview_layout(Wnd wnd, const ListViewData& d) {
  return RowsLayout{listview_header_height(wnd, d), d.row_height, d.top};
}

int listview_rows_shown(Wnd wnd, const ListViewData& d) { return rows_shown(wnd, listview_layout(wnd, d)); }

int listview_columns_width(const ListViewData& d) {
  int w = 0;
  for (const LvColumnData& c : d.columns) w += c.width;
  return w;
}

int listview_column_left(const ListViewData& d, int column) {
  int x = 0;
  for (int i = 0; i < column && size_t(i) < d.columns.size(); ++i) x += d.columns[size_t(i)].width;
  return x;
}

int listview_column_at(const ListViewData& d, int x) {
  int left = 0;
  for (size_t i = 0; i < d.columns.size(); ++i) {
    if (x >= left && x < left + d.columns[i].width) return int(i);
    left += d.columns[i].width;
  }
  return -1;
}

Rect listview_row_rect(Wnd wnd, const ListViewData& d, int item) {
  return rows_rect(listview_layout(wnd, d), item, listview_columns_width(d));
}

Rect listview_cell_rect(Wnd wnd, const ListViewData& d, int item, int column) {
  const Rect row = listview_row_rect(wnd, d, item);
  const int left = listview_column_left(d, column);
  const int width = size_t(column) < d.columns.size() ? d.columns[size_t(column)].width : 0;
  return Rect{left, row.top, left + width, row.bottom};
}

Rect listview_box_rect(Wnd wnd, const ListViewData& d, int item) {
  const Rect cell = listview_cell_rect(wnd, d, item, 0);
  const int top = cell.top + (cell.height() - kLvBox) / 2;
  return Rect{cell.left + 4, top, cell.left + 4 + kLvBox, top + kLvBox};
}

Rect listview_label_rect(Wnd wnd, const ListViewData& d, int item) {
  Rect cell = listview_cell_rect(wnd, d, item, 0);
  if (d.ex_style & LVS_EX_CHECKBOXES) cell.left = std::min(cell.right, cell.left + 4 + kLvBox + 2);
  return cell;
}

// ---- Scrolling ---------------------------------------------------------------------------------
void listview_set_top(Wnd wnd, ListViewData& d, int top) {
  rows_move_top(wnd, d.top, top, count(d), listview_rows_shown(wnd, d));
  listview_update_bar(wnd, d);
}

void listview_show_item(Wnd wnd, ListViewData& d, int item) {
  if (!listview_valid(d, item)) return;
  const int top = rows_top_showing(d.top, listview_rows_shown(wnd, d), item);
  if (top != d.top) listview_set_top(wnd, d, top);
}

void listview_update_bar(Wnd wnd, ListViewData& d) {
  if (listview_style(wnd) & LVS_NOSCROLL) return;
  rows_update_bar(wnd, d.bar, count(d), listview_rows_shown(wnd, d), d.top);
}

void listview_on_scroll(Wnd wnd, ListViewData& d, uint32_t msg, WParam wp) {
  int top = 0;
  const int shown = listview_rows_shown(wnd, d);
  if (rows_scroll_target(wnd, msg, wp, d.top, shown, count(d), &top)) listview_set_top(wnd, d, top);
}

// ---- Hit testing -------------------------------------------------------------------------------
// Without LVS_EX_FULLROWSELECT only the first column belongs to the item (a plain hit
// test); the sub-item test names the item and column under any point of the row.
int listview_hit_test(Wnd wnd, const ListViewData& d, LvHitTestInfo* info, bool sub_items) {
  const Rect rc = client(wnd);
  const Point p = info->pt;
  info->item = -1;
  info->sub_item = 0;
  info->flags = 0;
  if (p.x < 0) info->flags |= LVHT_TOLEFT;
  if (p.x >= rc.right) info->flags |= LVHT_TORIGHT;
  if (p.y < 0) info->flags |= LVHT_ABOVE;
  if (p.y >= rc.bottom) info->flags |= LVHT_BELOW;
  if (info->flags) return -1;
  const int row = rows_at(listview_layout(wnd, d), p.y);
  const int col = listview_column_at(d, p.x);
  if (row < 0 || row >= count(d) || col < 0 || (col > 0 && !sub_items && !(d.ex_style & LVS_EX_FULLROWSELECT))) {
    info->flags = LVHT_NOWHERE;
    return -1;
  }
  info->item = row;
  info->sub_item = sub_items ? col : 0;
  const bool on_box = col == 0 && (d.ex_style & LVS_EX_CHECKBOXES) && state_image_of(d.rows[size_t(row)].state) &&
                      listview_box_rect(wnd, d, row).contains(p);
  info->flags = on_box ? LVHT_ONITEMSTATEICON : LVHT_ONITEMLABEL;
  return row;
}

// ---- The user's input --------------------------------------------------------------------------
LResult listview_on_button(Wnd wnd, uint32_t msg, WParam wp, LParam lp) {
  if (get_focus() != wnd) set_focus(wnd);
  if (!is_window(wnd)) return 0;
  ListViewData* d = listview_data(wnd);
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  if (p.y < listview_header_height(wnd, *d)) {
    if (msg == WM_LBUTTONDOWN) click_header(wnd, *d, p);  // the second press of a double click is no new click
    return 0;
  }
  LvHitTestInfo ht, sub;
  ht.pt = sub.pt = p;
  const int item = listview_hit_test(wnd, *d, &ht, false);
  listview_hit_test(wnd, *d, &sub, true);
  const bool on_box = item >= 0 && (ht.flags & LVHT_ONITEMSTATEICON);
  if (msg == WM_RBUTTONDOWN) {
    if (item >= 0 && !(d->rows[size_t(item)].state & LVIS_SELECTED)) user_select(wnd, item, false, false);
    tell_click(wnd, NM_RCLICK, item, sub.sub_item, p);
    return 0;
  }
  if (on_box) {
    user_toggle_check(wnd, item);
  } else {
    user_select(wnd, item, (wp & MK_SHIFT) != 0, (wp & MK_CONTROL) != 0);
  }
  if (msg == WM_LBUTTONDOWN) {
    tell_click(wnd, NM_CLICK, item, sub.sub_item, p);
    return 0;
  }
  tell_click(wnd, NM_DBLCLK, item, sub.sub_item, p);
  if (item >= 0 && !on_box) tell_click(wnd, LVN_ITEMACTIVATE, item, sub.sub_item, p);
  return 0;
}

LResult listview_on_key(Wnd wnd, int vk) {
  if (!rows_tell_key<NmLvKeyDown>(wnd, vk, LVN_KEYDOWN)) return 0;
  ListViewData* d = listview_data(wnd);
  if (count(*d) == 0) return 0;
  if (vk == VK_RETURN) {
    activate_selection(wnd);
  } else if (vk == VK_SPACE) {
    const int item = focused_item(*d);
    if (item >= 0 && (d->ex_style & LVS_EX_CHECKBOXES)) user_toggle_check(wnd, item);
  } else {
    const int to = key_target(wnd, *d, vk);
    if (to >= 0) user_select(wnd, to, get_key_state(VK_SHIFT) < 0, false);
  }
  return 0;
}

}  // namespace plat::ui_detail
