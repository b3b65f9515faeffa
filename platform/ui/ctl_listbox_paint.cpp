// Painting of the list box: the parent's background (WM_CTLCOLORLISTBOX), the rows in
// view with the selected ones highlighted, and the focus rectangle on the focus item.
#include "platform/ui/ctl_paint.h"
#include "platform/ui/ctl_listbox_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

Brush ask_parent(Wnd wnd, Dc dc) {
  set_text_color(dc, get_sys_color(is_window_enabled(wnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  set_bk_color(dc, get_sys_color(COLOR_WINDOW));
  return ctl_color_brush(wnd, dc, WM_CTLCOLORLISTBOX);
}

}  // namespace

void listbox_paint(Wnd wnd, ListBoxData& d) {
  RowsPaint p;
  if (!rows_paint_open(wnd, p)) return;
  Brush brush = ask_parent(wnd, p.dc);
  const Color text = get_text_color(p.dc);
  if (brush) {
    fill_rect(p.dc, p.rc, brush);
  } else {
    fill_solid(p.dc, p.rc, get_bk_color(p.dc));
  }
  rows_paint_font(p, d.font);
  const bool multi = is_multi(wnd);
  // A list box marks its selection in the highlight colour with or without the focus.
  rows_paint_each(p, listbox_layout(d), int(d.items.size()), p.rc.right, [&](int i, const Rect& r) {
    const RowMark mark = listbox_is_selected(d, multi, i) ? RowMark::lit : RowMark::none;
    rows_fill_mark(p.dc, r, mark);
    set_text_color(p.dc, rows_text_on(mark, text));
    Rect tr{r.left + 2, r.top, r.right - 2, r.bottom};
    const std::u16string& s = d.items[size_t(i)].text;
    draw_text(p.dc, s.c_str(), int(s.size()), &tr, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (d.focused && i == d.caret) draw_focus_rect(p.dc, r);
  });
  rows_paint_end(wnd, p);
}

}  // namespace plat::ui_detail
