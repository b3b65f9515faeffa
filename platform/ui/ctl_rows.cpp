// The scroll bar and paint steps the row views share (see ctl_rows.h).
#include "platform/ui/ctl_rows.h"

#include <algorithm>

#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

void rows_update_bar(Wnd wnd, RowsBar& bar, int rows, int shown, int top) {
  show_scroll_bar(wnd, SB_VERT, rows > shown);
  ScrollInfo si;
  si.mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.max = std::max(0, rows - 1);
  si.page = unsigned(shown);
  si.pos = top;
  if (si.max == bar.info.max && si.page == bar.info.page && si.pos == bar.info.pos) return;
  bar.info = si;
  set_scroll_info(wnd, SB_VERT, &si, false);
  bar.stale = true;
}

bool rows_scroll_target(Wnd wnd, WParam wp, int top, int shown, int bottom, int* target) {
  switch (loword(wp)) {
    case SB_LINEUP: *target = top - 1; return true;
    case SB_LINEDOWN: *target = top + 1; return true;
    case SB_PAGEUP: *target = top - shown; return true;
    case SB_PAGEDOWN: *target = top + shown; return true;
    case SB_THUMBTRACK: {
      ScrollInfo si;
      si.mask = SIF_TRACKPOS;
      if (!get_scroll_info(wnd, SB_VERT, &si)) return false;
      *target = si.track_pos;
      return true;
    }
    case SB_THUMBPOSITION: *target = int(hiword(wp)); return true;
    case SB_TOP: *target = 0; return true;
    case SB_BOTTOM: *target = bottom; return true;
    default: return false;
  }
}

bool rows_paint_begin(Wnd wnd, RowsBar& bar, Font font, RowsPaint& p) {
  if (bar.stale) {
    bar.stale = false;
    set_scroll_info(wnd, SB_VERT, &bar.info, true);
  }
  p.dc = begin_paint(wnd, &p.ps);
  if (!p.dc) return false;
  get_client_rect(wnd, &p.rc);
  fill_solid(p.dc, p.rc, get_sys_color(COLOR_WINDOW));
  p.old_font = select_object(p.dc, font ? font : ui_font());
  set_bk_mode(p.dc, TRANSPARENT);
  return true;
}

void rows_paint_end(Wnd wnd, RowsPaint& p) {
  select_object(p.dc, p.old_font);
  end_paint(wnd, &p.ps);
}

}  // namespace plat::ui_detail
