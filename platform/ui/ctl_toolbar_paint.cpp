// Painting of the toolbar, into a back buffer copied to the window at the end: the face,
// each shown button (raised unless TBSTYLE_FLAT, sunken while pressed or checked, a
// checked one on a lighter face) with its image centred and greyed when the button or
// the toolbar is disabled, and separators as etched lines on a flat toolbar.
#include "platform/ui/ctl_toolbar_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

void draw_separator(Dc dc, const Rect& r, bool down) {
  const Color shadow = get_sys_color(COLOR_BTNSHADOW), light = get_sys_color(COLOR_BTNHIGHLIGHT);
  if (down) {
    const int y = (r.top + r.bottom) / 2 - 1;
    fill_solid(dc, Rect{r.left + 1, y, r.right - 1, y + 1}, shadow);
    fill_solid(dc, Rect{r.left + 1, y + 1, r.right - 1, y + 2}, light);
  } else {
    const int x = (r.left + r.right) / 2 - 1;
    fill_solid(dc, Rect{x, r.top + 1, x + 1, r.bottom - 1}, shadow);
    fill_solid(dc, Rect{x + 1, r.top + 1, x + 2, r.bottom - 1}, light);
  }
}

void draw_button(Dc dc, const ToolbarData& d, const TbButtonData& b, const Rect& r, bool flat, bool enabled) {
  const bool sunk = b.state & (TBSTATE_PRESSED | TBSTATE_CHECKED);
  if (sunk) {
    draw_bevel(dc, r, false);
    if (b.state & TBSTATE_CHECKED && !(b.state & TBSTATE_PRESSED))
      fill_solid(dc, Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, get_sys_color(COLOR_3DLIGHT));
  } else if (!flat) {
    draw_bevel(dc, r, true);
  }
  const Size s = image_list_image_size(d.images);
  const int shift = sunk ? 1 : 0;
  const int x = r.left + (r.width() - s.cx) / 2 + shift, y = r.top + (r.height() - s.cy) / 2 + shift;
  const bool grey = !enabled || !(b.state & TBSTATE_ENABLED) || (b.state & TBSTATE_INDETERMINATE);
  image_list_draw(d.images, b.image, dc, x, y, grey);
}

}  // namespace

void toolbar_paint(Wnd wnd, ToolbarData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  if (!rc.empty()) {
    Dc mem = create_compatible_dc(dc);
    Bitmap back = create_bitmap(rc.width(), rc.height(), nullptr);
    GdiObj old = select_object(mem, back);
    fill_solid(mem, rc, get_sys_color(COLOR_BTNFACE));
    const uint32_t style = toolbar_style(wnd);
    const bool enabled = is_window_enabled(wnd), flat = style & TBSTYLE_FLAT;
    const std::vector<Rect> rects = toolbar_layout(wnd, d);
    for (size_t i = 0; i < d.buttons.size(); ++i) {
      if (rects[i].empty()) continue;
      if (is_separator(d.buttons[i])) {
        if (flat) draw_separator(mem, rects[i], style & CCS_VERT);
      } else {
        draw_button(mem, d, d.buttons[i], rects[i], flat, enabled);
      }
    }
    bit_blt(dc, 0, 0, rc.width(), rc.height(), mem, 0, 0, SRCCOPY);
    select_object(mem, old);
    delete_object(back);
    delete_dc(mem);
  }
  end_paint(wnd, &ps);
}

}  // namespace plat::ui_detail
