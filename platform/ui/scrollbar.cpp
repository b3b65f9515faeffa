// Scroll bars: the state of a window's two bars (and of scroll-bar controls), their
// drawing in the non-client area, and what a click or a thumb drag on them sends.
#include "platform/ui/scrollbar.h"

#include <algorithm>

#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kMinThumb = 8;

void clamp_bar(BarState& b) {
  const int64_t range = int64_t(b.max) - int64_t(b.min) + 1;
  if (range > 0 && int64_t(b.page) > range) b.page = unsigned(range);
  int64_t top = int64_t(b.max) - std::max<int64_t>(int64_t(b.page) - 1, 0);
  if (top < b.min) top = b.min;
  b.pos = int(std::clamp<int64_t>(b.pos, b.min, top));
}

bool valid_bar(int bar) { return bar == SB_HORZ || bar == SB_VERT || bar == SB_CTL; }

// Redraws what shows a bar: the frame for a window's bar, the control itself for SB_CTL.
void show_bar_change(Wnd wnd, int bar) {
  if (bar == SB_CTL) {
    invalidate_rect(wnd, nullptr, true);
  } else {
    redraw_nonclient(wnd);
  }
}

struct BarGeometry {
  Rect r;
  bool vertical = true;
  int along = 0, arrow = 0, track = 0;
};

BarGeometry geometry(const Rect& r, bool vertical) {
  BarGeometry g;
  g.r = r;
  g.vertical = vertical;
  g.along = vertical ? r.height() : r.width();
  int thick = vertical ? r.width() : r.height();
  g.arrow = std::min(thick, g.along / 2);
  g.track = std::max(0, g.along - 2 * g.arrow);
  return g;
}

int along_of(const BarGeometry& g, Point p) { return g.vertical ? p.y - g.r.top : p.x - g.r.left; }

}  // namespace

namespace ui_detail {

bool bar_thumb(const BarState& s, int len, int* offset, int* size) {
  const int64_t range = int64_t(s.max) - int64_t(s.min) + 1;
  if (s.disabled || range <= 0 || (s.page && int64_t(s.page) >= range) || len <= 0) return false;
  int thumb = s.page ? int(std::max<int64_t>(kMinThumb, int64_t(len) * s.page / range)) : std::min(len, kScrollSize);
  if (thumb > len) return false;
  const int64_t span = int64_t(s.max) - std::max<int64_t>(int64_t(s.page) - 1, 0) - s.min;
  int off = span > 0 ? int((int64_t(s.pos) - s.min) * (len - thumb) / span) : 0;
  *offset = std::clamp(off, 0, len - thumb);
  *size = thumb;
  return true;
}

void draw_scroll_bar_into(Dc dc, const BarState& s, const Rect& r, bool vertical) {
  BarGeometry g = geometry(r, vertical);
  fill_solid(dc, r, get_sys_color(COLOR_SCROLLBAR));
  Rect a1 = vertical ? Rect{r.left, r.top, r.right, r.top + g.arrow} : Rect{r.left, r.top, r.left + g.arrow, r.bottom};
  Rect a2 = vertical ? Rect{r.left, r.bottom - g.arrow, r.right, r.bottom}
                     : Rect{r.right - g.arrow, r.top, r.right, r.bottom};
  Color glyph = get_sys_color(s.disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
  draw_bevel(dc, a1, true);
  draw_arrow(dc, a1, vertical ? 0 : 2, glyph);
  draw_bevel(dc, a2, true);
  draw_arrow(dc, a2, vertical ? 1 : 3, glyph);
  int off, size;
  if (bar_thumb(s, g.track, &off, &size)) {
    Rect t = vertical ? Rect{r.left, r.top + g.arrow + off, r.right, r.top + g.arrow + off + size}
                      : Rect{r.left + g.arrow + off, r.top, r.left + g.arrow + off + size, r.bottom};
    draw_bevel(dc, t, true);
  }
}

bool bar_click(Wnd wnd, int hit, Point window_pt) {
  const int bar = hit == HTVSCROLL ? SB_VERT : SB_HORZ;
  const uint32_t msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  unsigned code;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    NcLayout l = nc_layout(*w);
    BarState& s = w->bars[bar];
    if (s.disabled) return false;
    BarGeometry geo = geometry(bar == SB_VERT ? l.vbar : l.hbar, bar == SB_VERT);
    const int a = along_of(geo, window_pt);
    int off = 0, size = 0;
    const bool thumb = bar_thumb(s, geo.track, &off, &size);
    if (a < geo.arrow) {
      code = SB_LINEUP;
    } else if (a >= geo.along - geo.arrow) {
      code = SB_LINEDOWN;
    } else if (!thumb) {
      return false;
    } else if (a - geo.arrow < off) {
      code = SB_PAGEUP;
    } else if (a - geo.arrow >= off + size) {
      code = SB_PAGEDOWN;
    } else {
      // The thumb is grabbed: moves drag it until the button is released.
      S().drag = BarDrag{wnd, bar, a - geo.arrow - off};
      s.track = s.pos;
      return true;
    }
  }
  send_message(wnd, msg, code, 0);
  send_message(wnd, msg, SB_ENDSCROLL, 0);
  return true;
}

void bar_drag_move(Point top_pt) {
  Wnd wnd;
  int bar, pos;
  {
    Guard g;
    BarDrag d = S().drag;
    WndRec* w = find(d.wnd);
    if (!w) return;
    Point o = window_origin_in_top(*w);
    Point p{top_pt.x - o.x, top_pt.y - o.y};
    NcLayout l = nc_layout(*w);
    BarState& s = w->bars[d.bar];
    BarGeometry geo = geometry(d.bar == SB_VERT ? l.vbar : l.hbar, d.bar == SB_VERT);
    int off, size;
    if (!bar_thumb(s, geo.track, &off, &size) || geo.track <= size) return;
    int at = std::clamp(along_of(geo, p) - geo.arrow - d.grab, 0, geo.track - size);
    const int64_t span = int64_t(s.max) - std::max<int64_t>(int64_t(s.page) - 1, 0) - s.min;
    pos = int(s.min + (int64_t(at) * span + (geo.track - size) / 2) / (geo.track - size));
    if (pos == s.track) return;
    s.track = pos;
    wnd = d.wnd;
    bar = d.bar;
  }
  send_message(wnd, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, make_wparam(SB_THUMBTRACK, pos), 0);
}

void bar_drag_end() {
  BarDrag d;
  int pos = 0;
  {
    Guard g;
    d = S().drag;
    S().drag = BarDrag{};
    WndRec* w = find(d.wnd);
    if (!w) return;
    pos = w->bars[d.bar].track;
  }
  const uint32_t msg = d.bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
  send_message(d.wnd, msg, make_wparam(SB_THUMBPOSITION, pos), 0);
  send_message(d.wnd, msg, SB_ENDSCROLL, 0);
}

}  // namespace ui_detail

int set_scroll_info(Wnd wnd, int bar, const ScrollInfo* info, bool redraw) {
  if (!info || !valid_bar(bar)) return 0;
  int pos;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return 0;
    BarState& b = w->bars[bar];
    if (info->mask & SIF_RANGE) {
      b.min = info->min;
      b.max = std::max(info->min, info->max);
    }
    if (info->mask & SIF_PAGE) b.page = info->page;
    if (info->mask & SIF_POS) b.pos = info->pos;
    clamp_bar(b);
    pos = b.pos;
  }
  if (redraw) show_bar_change(wnd, bar);
  return pos;
}

bool get_scroll_info(Wnd wnd, int bar, ScrollInfo* info) {
  if (!info || !valid_bar(bar)) return false;
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return false;
  const BarState& b = w->bars[bar];
  if (info->mask & SIF_RANGE) {
    info->min = b.min;
    info->max = b.max;
  }
  if (info->mask & SIF_PAGE) info->page = b.page;
  if (info->mask & SIF_POS) info->pos = b.pos;
  if (info->mask & SIF_TRACKPOS) info->track_pos = S().drag.wnd == wnd && S().drag.bar == bar ? b.track : b.pos;
  return true;
}

int set_scroll_pos(Wnd wnd, int bar, int pos, bool redraw) {
  int old;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w || !valid_bar(bar)) return 0;
    old = w->bars[bar].pos;
  }
  ScrollInfo si;
  si.mask = SIF_POS;
  si.pos = pos;
  set_scroll_info(wnd, bar, &si, redraw);
  return old;
}

int get_scroll_pos(Wnd wnd, int bar) {
  ScrollInfo si;
  si.mask = SIF_POS;
  return get_scroll_info(wnd, bar, &si) ? si.pos : 0;
}

bool set_scroll_range(Wnd wnd, int bar, int min, int max, bool redraw) {
  if (!is_window(wnd) || !valid_bar(bar)) return false;
  ScrollInfo si;
  si.mask = SIF_RANGE;
  si.min = min;
  si.max = max;
  set_scroll_info(wnd, bar, &si, redraw);
  return true;
}

bool get_scroll_range(Wnd wnd, int bar, int* min, int* max) {
  ScrollInfo si;
  si.mask = SIF_RANGE;
  if (!get_scroll_info(wnd, bar, &si)) return false;
  if (min) *min = si.min;
  if (max) *max = si.max;
  return true;
}

bool enable_scroll_bar(Wnd wnd, int bar, unsigned arrows) {
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return false;
    const bool disable = arrows == ESB_DISABLE_BOTH;
    if (bar == SB_BOTH) {
      w->bars[SB_HORZ].disabled = w->bars[SB_VERT].disabled = disable;
    } else if (valid_bar(bar)) {
      w->bars[bar].disabled = disable;
    } else {
      return false;
    }
  }
  show_bar_change(wnd, bar == SB_CTL ? SB_CTL : SB_VERT);
  return true;
}

bool show_scroll_bar(Wnd wnd, int bar, bool show) {
  if (bar == SB_CTL) {
    show_window(wnd, show ? SW_SHOW : SW_HIDE);
    return is_window(wnd);
  }
  uint32_t bits = bar == SB_HORZ ? WS_HSCROLL : bar == SB_VERT ? WS_VSCROLL : bar == SB_BOTH ? (WS_HSCROLL | WS_VSCROLL) : 0;
  if (!bits) return false;
  return run_on_ui([&]() -> LResult {
           {
             Guard g;
             WndRec* w = find(wnd);
             if (!w) return 0;
             uint32_t style = show ? (w->style | bits) : (w->style & ~bits);
             if (style == w->style) return 1;
             w->style = style;
             NcLayout l = nc_layout(*w);
             invalidate_locked(w, Region(Rect{0, 0, l.client.width(), l.client.height()}), true);
           }
           redraw_nonclient(wnd);
           sync_geometry_messages(wnd, SIZE_RESTORED, false);
           return 1;
         }) != 0;
}

}  // namespace plat
