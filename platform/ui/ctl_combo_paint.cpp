// Painting and layout of the combo box: a sunken field, the button with its arrow, the
// selected string of a drop-down list (highlighted while it has the focus), and the
// list's rows and scroll bar, drawn alike in the dropped list and in a simple combo box.
#include <algorithm>

#include "platform/ui/ctl_combo_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat::ui_detail {

namespace {

Rect shrink(const Rect& r, int n) { return Rect{r.left + n, r.top + n, r.right - n, r.bottom - n}; }

Rect field_box(Wnd wnd, const ComboData& d) {
  Rect rc;
  get_client_rect(wnd, &rc);
  if (combo_type(wnd) == CBS_SIMPLE) rc.bottom = std::min(rc.bottom, d.field_height);
  return rc;
}

void edge(Dc dc, const Rect& r, Color top_left, Color bottom_right) {
  fill_solid(dc, Rect{r.left, r.top, r.right, r.top + 1}, top_left);
  fill_solid(dc, Rect{r.left, r.top, r.left + 1, r.bottom}, top_left);
  fill_solid(dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, bottom_right);
  fill_solid(dc, Rect{r.right - 1, r.top, r.right, r.bottom}, bottom_right);
}

void sunken(Dc dc, const Rect& r) {
  edge(dc, r, get_sys_color(COLOR_3DSHADOW), get_sys_color(COLOR_3DHILIGHT));
  edge(dc, shrink(r, 1), get_sys_color(COLOR_3DDKSHADOW), get_sys_color(COLOR_3DLIGHT));
}

void draw_row_text(Dc dc, const std::u16string& s, Rect r) {
  r.left += 3;
  r.right -= 2;
  draw_text(dc, s.c_str(), int(s.size()), &r, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

void paint_selected_text(Wnd wnd, Dc dc, const ComboData& d, const Rect& field, bool enabled) {
  const bool lit = d.focused && !d.dropped && enabled;
  if (lit) fill_solid(dc, shrink(field, 1), get_sys_color(COLOR_HIGHLIGHT));
  if (d.sel >= 0) {
    set_text_color(dc, get_sys_color(lit ? COLOR_HIGHLIGHTTEXT : enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    draw_row_text(dc, d.items[size_t(d.sel)].text, field);
  }
  if (lit) draw_focus_rect(dc, shrink(field, 1));
}

}  // namespace

Rect combo_button_rect(Wnd wnd, const ComboData& d) {
  if (combo_type(wnd) == CBS_SIMPLE) return Rect{};
  const Rect inner = shrink(field_box(wnd, d), 2);
  return Rect{std::max(inner.left, inner.right - kScrollSize), inner.top, inner.right, inner.bottom};
}

Rect combo_field_rect(Wnd wnd, const ComboData& d) {
  Rect f = shrink(field_box(wnd, d), 2);
  if (combo_type(wnd) != CBS_SIMPLE) f.right = combo_button_rect(wnd, d).left;
  return f;
}

Rect combo_simple_list_rect(Wnd wnd, const ComboData& d) {
  Rect rc;
  get_client_rect(wnd, &rc);
  rc.top = std::min(rc.bottom, d.field_height);
  return shrink(rc, 2);
}

void combo_paint_list(Dc dc, const ComboData& d, const Rect& inner, int mark, bool enabled) {
  fill_solid(dc, inner, get_sys_color(COLOR_WINDOW));
  const ListLayout l = combo_list_layout(d, inner);
  GdiObj old_font = select_object(dc, d.font ? d.font : ui_font());
  set_bk_mode(dc, TRANSPARENT);
  for (int i = d.top; i < int(d.items.size()); ++i) {
    const int y = l.rows.top + (i - d.top) * d.item_height;
    if (y >= l.rows.bottom) break;
    const Rect r{l.rows.left, y, l.rows.right, std::min(y + d.item_height, l.rows.bottom)};
    const bool lit = i == mark;
    if (lit) fill_solid(dc, r, get_sys_color(COLOR_HIGHLIGHT));
    set_text_color(dc, get_sys_color(lit ? COLOR_HIGHLIGHTTEXT : enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    draw_row_text(dc, d.items[size_t(i)].text, r);
  }
  select_object(dc, old_font);
  if (l.bar.empty()) return;
  BarState s;
  s.min = 0;
  s.max = std::max(0, int(d.items.size()) - 1);
  s.page = unsigned(l.visible);
  s.pos = d.top;
  s.disabled = !enabled;
  draw_scroll_bar_into(dc, s, l.bar, true);
}

void combo_paint(Wnd wnd, ComboData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  const bool enabled = is_window_enabled(wnd);
  const Rect box = field_box(wnd, d);
  const Rect field = combo_field_rect(wnd, d);
  sunken(dc, box);
  fill_solid(dc, shrink(box, 2), get_sys_color(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
  if (combo_type(wnd) == CBS_DROPDOWNLIST) {
    GdiObj old_font = select_object(dc, d.font ? d.font : ui_font());
    set_bk_mode(dc, TRANSPARENT);
    paint_selected_text(wnd, dc, d, field, enabled);
    select_object(dc, old_font);
  }
  if (combo_type(wnd) == CBS_SIMPLE) {
    Rect rc;
    get_client_rect(wnd, &rc);
    const Rect list_box{rc.left, box.bottom, rc.right, rc.bottom};
    if (!list_box.empty()) {
      sunken(dc, list_box);
      combo_paint_list(dc, d, combo_simple_list_rect(wnd, d), d.sel, enabled);
    }
  } else {
    const Rect b = combo_button_rect(wnd, d);
    draw_bevel(dc, b, !d.dropped);
    draw_arrow(dc, d.dropped ? offset_rect(b, 1, 1) : b, 1, get_sys_color(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  }
  end_paint(wnd, &ps);
}

}  // namespace plat::ui_detail
