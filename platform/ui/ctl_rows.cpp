// The geometry, scrolling and paint steps the row views share (see ctl_rows.h).
#include "platform/ui/ctl_rows.h"

#include <algorithm>

#include "platform/ui/keys.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

// ---- Geometry --------------------------------------------------------------------------------
int rows_shown(Wnd wnd, const RowsLayout& l) {
  Rect rc;
  get_client_rect(wnd, &rc);
  return std::max(1, (rc.height() - l.header) / std::max(1, l.height));
}

Rect rows_rect(const RowsLayout& l, int row, int right) {
  const int y = l.header + (row - l.top) * l.height;
  return Rect{0, y, right, y + l.height};
}

int rows_at(const RowsLayout& l, int y) {
  return y < l.header ? -1 : l.top + (y - l.header) / std::max(1, l.height);
}

// ---- Scrolling ------------------------------------------------------------------------------
int rows_clamp_top(int top, int rows, int shown) { return std::clamp(top, 0, std::max(0, rows - shown)); }

bool rows_move_top(Wnd wnd, int& top, int want, int rows, int shown) {
  want = rows_clamp_top(want, rows, shown);
  if (want == top) return false;
  top = want;
  invalidate_rect(wnd, nullptr, true);
  return true;
}

int rows_top_showing(int top, int shown, int row) {
  if (row < top) return row;
  if (row >= top + shown) return row - shown + 1;
  return top;
}

int rows_wheel_target(int top, WParam wp) { return top - 3 * int(int16_t(hiword(wp))) / WHEEL_DELTA; }

int rows_key_target(int vk, int from, int rows, int shown) {
  if (rows <= 0) return -1;
  const int page = std::max(1, shown - 1);
  int to;
  switch (vk) {
    case VK_UP: to = from - 1; break;
    case VK_DOWN: to = from + 1; break;
    case VK_PRIOR: to = from - page; break;
    case VK_NEXT: to = from + page; break;
    case VK_HOME: to = 0; break;
    case VK_END: to = rows - 1; break;
    default: return -1;
  }
  if (from < 0) to = vk == VK_END ? rows - 1 : 0;
  return std::clamp(to, 0, rows - 1);
}

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

bool rows_scroll_target(Wnd wnd, uint32_t msg, WParam wp, int top, int shown, int bottom, int* target) {
  if (msg == WM_MOUSEWHEEL) {
    *target = rows_wheel_target(top, wp);
    return true;
  }
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

// ---- Painting -------------------------------------------------------------------------------
bool rows_paint_open(Wnd wnd, RowsPaint& p) {
  p.dc = begin_paint(wnd, &p.ps);
  if (!p.dc) return false;
  get_client_rect(wnd, &p.rc);
  return true;
}

void rows_paint_font(RowsPaint& p, Font font) {
  p.old_font = select_object(p.dc, font ? font : ui_font());
  set_bk_mode(p.dc, TRANSPARENT);
}

bool rows_paint_begin(Wnd wnd, RowsBar& bar, Font font, RowsPaint& p) {
  if (bar.stale) {
    bar.stale = false;
    set_scroll_info(wnd, SB_VERT, &bar.info, true);
  }
  if (!rows_paint_open(wnd, p)) return false;
  fill_solid(p.dc, p.rc, get_sys_color(COLOR_WINDOW));
  rows_paint_font(p, font);
  return true;
}

void rows_paint_end(Wnd wnd, RowsPaint& p) {
  select_object(p.dc, p.old_font);
  end_paint(wnd, &p.ps);
}

RowMark rows_mark(bool selected, bool focused, bool show_always) {
  if (!selected) return RowMark::none;
  if (focused) return RowMark::lit;
  return show_always ? RowMark::grey : RowMark::none;
}

void rows_fill_mark(Dc dc, const Rect& r, RowMark mark) {
  if (mark != RowMark::none) fill_solid(dc, r, get_sys_color(mark == RowMark::lit ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
}

Color rows_text_on(RowMark mark, Color normal) {
  return mark == RowMark::lit ? get_sys_color(COLOR_HIGHLIGHTTEXT) : normal;
}

}  // namespace plat::ui_detail
