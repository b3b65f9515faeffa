// The list view's window procedure, its columns and its extended styles. The item
// messages are answered in ctl_listview_items.cpp, the user's input and the geometry
// in ctl_listview_view.cpp, the painting in ctl_listview_paint.cpp.
#include <algorithm>

#include "platform/ui/ctl_listview_state.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/paint.h"
#include "platform/ui/scrollbar.h"

namespace plat {

using namespace ui_detail;

namespace {

void redraw(Wnd wnd) { invalidate_rect(wnd, nullptr, true); }

bool valid_column(const ListViewData& d, WParam col) {
  return intptr_t(col) >= 0 && intptr_t(col) < intptr_t(d.columns.size());
}

// A column's width when none is given: its header text with the padding.
int default_width(const ListViewData& d, const std::u16string& text) {
  return listview_text_width(d, text) + 2 * kLvPad;
}

LResult insert_column(Wnd wnd, ListViewData& d, WParam pos, LParam lp) {
  const auto* col = reinterpret_cast<const LvColumn*>(lp);
  if (!col || intptr_t(pos) < 0) return -1;
  const int at = int(std::min<intptr_t>(intptr_t(pos), intptr_t(d.columns.size())));
  LvColumnData c;
  if ((col->mask & LVCF_TEXT) && col->text) c.text = col->text;
  if (col->mask & LVCF_FMT) c.fmt = col->fmt & 3;
  c.width = (col->mask & LVCF_WIDTH) ? std::max(0, col->cx) : default_width(d, c.text);
  d.columns.insert(d.columns.begin() + at, c);
  for (LvRow& r : d.rows)
    if (size_t(at) < r.texts.size()) r.texts.insert(r.texts.begin() + at, std::u16string());
  redraw(wnd);
  return at;
}

LResult delete_column(Wnd wnd, ListViewData& d, WParam col) {
  if (!valid_column(d, col)) return 0;
  d.columns.erase(d.columns.begin() + intptr_t(col));
  for (LvRow& r : d.rows)
    if (col < r.texts.size()) r.texts.erase(r.texts.begin() + intptr_t(col));
  redraw(wnd);
  return 1;
}

LResult set_column(Wnd wnd, ListViewData& d, WParam col, LParam lp) {
  const auto* c = reinterpret_cast<const LvColumn*>(lp);
  if (!c || !valid_column(d, col)) return 0;
  LvColumnData& cd = d.columns[col];
  if (c->mask & LVCF_TEXT) cd.text = c->text ? c->text : u"";
  if (c->mask & LVCF_FMT) cd.fmt = c->fmt & 3;
  if (c->mask & LVCF_WIDTH) cd.width = std::max(0, c->cx);
  redraw(wnd);
  return 1;
}

LResult get_column(const ListViewData& d, WParam col, LParam lp) {
  auto* c = reinterpret_cast<LvColumn*>(lp);
  if (!c || !valid_column(d, col)) return 0;
  const LvColumnData& cd = d.columns[col];
  if (c->mask & LVCF_TEXT) copy_text_out(cd.text, c->text, c->text_max);
  if (c->mask & LVCF_FMT) c->fmt = cd.fmt;
  if (c->mask & LVCF_WIDTH) c->cx = cd.width;
  if (c->mask & LVCF_SUBITEM) c->sub_item = int(col);
  return 1;
}

// The width that shows every text of the column (and its header with USEHEADER).
int fitted_width(Wnd wnd, const ListViewData& d, int col, bool use_header) {
  const int left_pad = col == 0 && (d.ex_style & LVS_EX_CHECKBOXES) ? 4 + kLvBox + 4 : kLvPad;
  int w = 0;
  for (const LvRow& r : d.rows) w = std::max(w, listview_text_width(d, listview_text(r, col)));
  w += left_pad + kLvPad;
  if (!use_header) return w;
  w = std::max(w, default_width(d, d.columns[size_t(col)].text));
  if (size_t(col) + 1 == d.columns.size()) {
    Rect rc;
    get_client_rect(wnd, &rc);
    w = std::max(w, rc.width() - listview_column_left(d, col));
  }
  return w;
}

LResult set_column_width(Wnd wnd, ListViewData& d, WParam col, LParam width) {
  if (!valid_column(d, col)) return 0;
  const int w = int(width);
  if (w == LVSCW_AUTOSIZE || w == LVSCW_AUTOSIZE_USEHEADER) {
    d.columns[col].width = fitted_width(wnd, d, int(col), w == LVSCW_AUTOSIZE_USEHEADER);
  } else if (w >= 0) {
    d.columns[col].width = w;
  } else {
    return 0;
  }
  redraw(wnd);
  return 1;
}

LResult set_extended_style(Wnd wnd, ListViewData& d, WParam mask, LParam styles) {
  const uint32_t old = d.ex_style;
  const uint32_t m = mask ? uint32_t(mask) : 0xFFFFFFFFu;
  d.ex_style = (old & ~m) | (uint32_t(styles) & m);
  if ((d.ex_style & ~old) & LVS_EX_CHECKBOXES) {
    // Items that had no check box get an unchecked one.
    for (LvRow& r : d.rows)
      if (state_image_of(r.state) == 0) r.state |= index_to_state_image(1);
  }
  listview_set_font(d, d.font);
  listview_set_top(wnd, d, d.top);
  redraw(wnd);
  return LResult(old);
}

LResult column_message(Wnd wnd, ListViewData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case LVM_INSERTCOLUMN: return insert_column(wnd, d, wp, lp);
    case LVM_DELETECOLUMN: return delete_column(wnd, d, wp);
    case LVM_SETCOLUMN: return set_column(wnd, d, wp, lp);
    case LVM_GETCOLUMN: return get_column(d, wp, lp);
    case LVM_SETCOLUMNWIDTH: return set_column_width(wnd, d, wp, lp);
    case LVM_GETCOLUMNWIDTH: return valid_column(d, wp) ? d.columns[wp].width : 0;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: return set_extended_style(wnd, d, wp, lp);
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return LResult(d.ex_style);
    case LVM_GETTOPINDEX: return d.top;
    case LVM_GETCOUNTPERPAGE: return listview_rows_shown(wnd, d);
    case LVM_ENSUREVISIBLE:
      if (!listview_valid(d, intptr_t(wp))) return 0;
      listview_show_item(wnd, d, int(wp));
      return 1;
    default: return listview_item_message(wnd, d, msg, wp, lp);
  }
}

LResult on_focus(Wnd wnd, ListViewData& d, bool gained) {
  d.focused = gained;
  redraw(wnd);
  return 0;
}

LResult window_message(Wnd wnd, ListViewData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_CREATE: listview_update_bar(wnd, d); return 0;
    case WM_PAINT: listview_paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the client area
    case WM_SIZE: listview_set_top(wnd, d, d.top); return 0;
    case WM_SETFONT:
      listview_set_font(d, reinterpret_cast<Font>(wp));
      listview_set_top(wnd, d, d.top);
      if (lp) redraw(wnd);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_ENABLE: redraw(wnd); return 0;
    case WM_SETFOCUS: return on_focus(wnd, d, true);
    case WM_KILLFOCUS: return on_focus(wnd, d, false);
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: return listview_on_key(wnd, int(wp));
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: return listview_on_button(wnd, msg, wp, lp);
    case WM_VSCROLL:
    case WM_MOUSEWHEEL: listview_on_scroll(wnd, d, msg, wp); return 0;
    default: return column_message(wnd, d, msg, wp, lp);
  }
}

void set_up(Wnd, ListViewData& d, const CreateStruct*) { listview_set_font(d, nullptr); }

}  // namespace

void register_listview_control() {
  register_control_class(kListViewClass, control_proc<ListViewData, window_message, set_up>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
