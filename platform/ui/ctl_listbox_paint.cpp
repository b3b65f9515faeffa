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
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  Brush brush = ask_parent(wnd, dc);
  const Color text = get_text_color(dc);
  if (brush) {
    fill_rect(dc, rc, brush);
  } else {
    fill_solid(dc, rc, get_bk_color(dc));
  }
  GdiObj old_font = select_object(dc, d.font ? d.font : ui_font());
  set_bk_mode(dc, TRANSPARENT);
  const bool multi = is_multi(wnd);
  for (int i = d.top; i < int(d.items.size()); ++i) {
    Rect r = listbox_item_rect(wnd, d, i);
    if (r.top >= rc.bottom) break;
    const bool selected = listbox_is_selected(d, multi, i);
    if (selected) fill_solid(dc, r, get_sys_color(COLOR_HIGHLIGHT));
    set_text_color(dc, selected ? get_sys_color(COLOR_HIGHLIGHTTEXT) : text);
    Rect tr{r.left + 2, r.top, r.right - 2, r.bottom};
    const std::u16string& s = d.items[size_t(i)].text;
    draw_text(dc, s.c_str(), int(s.size()), &tr, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (d.focused && i == d.caret) draw_focus_rect(dc, r);
  }
  select_object(dc, old_font);
  end_paint(wnd, &ps);
}

}  // namespace plat::ui_detail
