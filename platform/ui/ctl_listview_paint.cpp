// Painting of the list view: the header row of raised column buttons, the rows in view
// with their selection (the whole row with LVS_EX_FULLROWSELECT, else the first
// column's label; grey while the control has no focus and LVS_SHOWSELALWAYS is set,
// hidden otherwise), the check boxes, and the grid lines between rows and columns.
#include <algorithm>

#include "platform/ui/ctl_listview_state.h"
#include "platform/ui/image_list.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

constexpr Color kGridColor = rgb(208, 208, 208);
constexpr unsigned kCellText = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;

void draw_header(Wnd wnd, Dc dc, const ListViewData& d, const Rect& rc) {
  const int h = listview_header_height(wnd, d);
  if (h <= 0) return;
  int x = 0;
  set_text_color(dc, get_sys_color(COLOR_BTNTEXT));
  for (const LvColumnData& c : d.columns) {
    const Rect r{x, 0, x + c.width, h};
    draw_bevel(dc, r, true);
    Rect tr{r.left + kLvPad, r.top, r.right - kLvPad, r.bottom};
    const unsigned align = c.fmt == LVCFMT_RIGHT ? DT_RIGHT : c.fmt == LVCFMT_CENTER ? DT_CENTER : DT_LEFT;
    if (!tr.empty()) draw_text(dc, c.text.c_str(), int(c.text.size()), &tr, kCellText | align);
    x += c.width;
  }
  if (x < rc.right) draw_bevel(dc, Rect{x, 0, rc.right, h}, true);
}

// Where the selection shows on a row.
Rect selection_rect(Wnd wnd, const ListViewData& d, int item) {
  if (d.ex_style & LVS_EX_FULLROWSELECT) return listview_row_rect(wnd, d, item);
  Rect r = listview_label_rect(wnd, d, item);
  const int text = listview_text_width(d, listview_text(d.rows[size_t(item)], 0));
  r.right = std::min(r.right, r.left + text + 2 * kLvPad);
  return r;
}

void draw_row(Wnd wnd, Dc dc, const ListViewData& d, int item, Color text) {
  const LvRow& row = d.rows[size_t(item)];
  const bool full = d.ex_style & LVS_EX_FULLROWSELECT;
  const RowMark mark = rows_mark(row.state & LVIS_SELECTED, d.focused, listview_style(wnd) & LVS_SHOWSELALWAYS);
  const Rect sel = selection_rect(wnd, d, item);
  rows_fill_mark(dc, sel, mark);
  for (size_t c = 0; c < d.columns.size(); ++c) {
    const std::u16string& s = listview_text(row, int(c));
    Rect tr = c == 0 ? listview_label_rect(wnd, d, item) : listview_cell_rect(wnd, d, item, int(c));
    tr.left += c == 0 && (d.ex_style & LVS_EX_CHECKBOXES) ? 2 : kLvPad;
    tr.right -= kLvPad;
    if (tr.empty() || s.empty()) continue;
    set_text_color(dc, full || c == 0 ? rows_text_on(mark, text) : text);
    const int fmt = c == 0 ? LVCFMT_LEFT : d.columns[c].fmt;
    const unsigned align = fmt == LVCFMT_RIGHT ? DT_RIGHT : fmt == LVCFMT_CENTER ? DT_CENTER : DT_LEFT;
    draw_text(dc, s.c_str(), int(s.size()), &tr, kCellText | align);
  }
  if ((d.ex_style & LVS_EX_CHECKBOXES) && !d.columns.empty())
    draw_state_box(dc, listview_box_rect(wnd, d, item), state_image_of(row.state));
  if (d.focused && (row.state & LVIS_FOCUSED)) draw_focus_rect(dc, sel);
}

void draw_grid(Wnd wnd, Dc dc, const ListViewData& d, const Rect& rc) {
  const int top = listview_header_height(wnd, d), right = std::min(rc.right, listview_columns_width(d));
  int x = 0;
  for (const LvColumnData& c : d.columns) {
    x += c.width;
    if (c.width > 0) fill_solid(dc, Rect{x - 1, top, x, rc.bottom}, kGridColor);
  }
  for (int y = top + d.row_height - 1; y < rc.bottom; y += d.row_height)
    fill_solid(dc, Rect{0, y, right, y + 1}, kGridColor);
}

}  // namespace

void listview_paint(Wnd wnd, ListViewData& d) {
  RowsPaint p;
  if (!rows_paint_begin(wnd, d.bar, d.font, p)) return;
  const Dc dc = p.dc;
  const Rect& rc = p.rc;
  draw_header(wnd, dc, d, rc);
  const int top = listview_header_height(wnd, d);
  intersect_clip_rect(dc, 0, top, rc.right, rc.bottom);
  if (d.ex_style & LVS_EX_GRIDLINES) draw_grid(wnd, dc, d, rc);
  const Color text = get_sys_color(is_window_enabled(wnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
  rows_paint_each(p, listview_layout(wnd, d), int(d.rows.size()), listview_columns_width(d),
                  [&](int i, const Rect&) { draw_row(wnd, dc, d, i, text); });
  rows_paint_end(wnd, p);
}

}  // namespace plat::ui_detail
