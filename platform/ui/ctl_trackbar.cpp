// The trackbar control: range, position, line and page sizes, ticks; the geometry of
// channel and thumb (worked out along the bar and across it, so that one routine serves
// both orientations); the user's keys, clicks and drags; plain painting.
#include <algorithm>

#include "platform/ui/ctl_paint.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/timer.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kThumbAlong = 11, kMaxThumbAcross = 20, kEdge = 4;
constexpr uintptr_t kPageTimer = 1;
constexpr uint32_t kFirstRepeatMs = 400, kRepeatMs = 100;

struct TrackbarData {
  int min = 0, max = 100, pos = 0;
  int line = 1;
  int page = -1;  // -1: a fifth of the range
  int tic_freq = 1;
  bool focused = false;
  bool dragging = false;
  int grab = 0;    // where the thumb was taken, from its centre
  int paging = 0;  // a press in the channel pages: -1 towards the minimum, +1 the maximum
  int page_target = 0;
};

uint32_t style_of(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }
bool vertical(Wnd wnd) { return style_of(wnd) & TBS_VERT; }

int page_of(const TrackbarData& d) { return d.page >= 0 ? d.page : std::max(1, (d.max - d.min) / 5); }
int clamp_pos(const TrackbarData& d, int v) { return std::clamp(v, d.min, std::max(d.min, d.max)); }

// The bar measured along its length and across it.
struct Geometry {
  bool vert = false;
  int along = 0, across = 0;  // client size
  int margin = 0, span = 0;   // first thumb centre, and the distance to the last
  int band0 = 0, band1 = 0;   // the thumb's extent across
  Rect make(int a0, int a1, int c0, int c1) const { return vert ? Rect{c0, a0, c1, a1} : Rect{a0, c0, a1, c1}; }
  int along_of(Point p) const { return vert ? p.y : p.x; }
};

Geometry geometry(Wnd wnd) {
  Geometry g;
  Rect rc;
  get_client_rect(wnd, &rc);
  g.vert = vertical(wnd);
  g.along = g.vert ? rc.height() : rc.width();
  g.across = g.vert ? rc.width() : rc.height();
  g.margin = kThumbAlong / 2 + kEdge;
  g.span = std::max(0, g.along - 2 * g.margin);
  const int thick = std::clamp(g.across - 2 * kEdge - 6, 6, kMaxThumbAcross);
  const uint32_t style = style_of(wnd);
  if (style & TBS_BOTH) {
    g.band0 = (g.across - thick) / 2;
  } else if (style & TBS_TOP) {
    g.band0 = g.across - kEdge - thick;
  } else {
    g.band0 = kEdge;
  }
  g.band1 = g.band0 + thick;
  return g;
}

int centre_of(const Geometry& g, const TrackbarData& d, int pos) {
  const int64_t range = int64_t(d.max) - d.min;
  if (range <= 0) return g.margin;
  return g.margin + int((int64_t(pos) - d.min) * g.span / range);
}

int pos_at(const Geometry& g, const TrackbarData& d, int along) {
  const int64_t range = int64_t(d.max) - d.min;
  if (range <= 0 || g.span <= 0) return d.min;
  const int64_t off = std::clamp<int64_t>(along - g.margin, 0, g.span);
  return clamp_pos(d, int(d.min + (off * range + g.span / 2) / g.span));
}

Rect thumb_rect(const Geometry& g, const TrackbarData& d) {
  const int c = centre_of(g, d, d.pos);
  return g.make(c - kThumbAlong / 2, c + kThumbAlong / 2 + 1, g.band0, g.band1);
}

Rect channel_rect(const Geometry& g) {
  const int mid = (g.band0 + g.band1) / 2;
  return g.make(g.margin - 2, g.margin + g.span + 2, mid - 2, mid + 2);
}

void tell(Wnd wnd, unsigned code, int pos) {
  const bool with_pos = code == TB_THUMBTRACK || code == TB_THUMBPOSITION;
  send_message(get_parent(wnd), vertical(wnd) ? WM_VSCROLL : WM_HSCROLL, make_wparam(int(code), with_pos ? pos : 0),
               LParam(reinterpret_cast<intptr_t>(wnd)));
}

// Moves to a position the user chose; tells the parent when it moved.
void user_move(Wnd wnd, TrackbarData& d, int pos, unsigned code) {
  pos = clamp_pos(d, pos);
  if (pos == d.pos) return;
  d.pos = pos;
  invalidate_rect(wnd, nullptr, true);
  tell(wnd, code, pos);
}

void page_step(Wnd wnd, TrackbarData& d) {
  if (!d.paging) return;
  const int next = d.paging < 0 ? std::max(d.pos - page_of(d), d.page_target) : std::min(d.pos + page_of(d), d.page_target);
  user_move(wnd, d, next, d.paging < 0 ? TB_PAGEUP : TB_PAGEDOWN);
}

LResult on_button_down(Wnd wnd, TrackbarData& d, LParam lp) {
  if (!d.focused) set_focus(wnd);
  if (!is_window(wnd) || d.dragging || d.paging) return 0;
  const Geometry g = geometry(wnd);
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  set_capture(wnd);
  const int c = centre_of(g, d, d.pos);
  if (thumb_rect(g, d).contains(p)) {
    d.dragging = true;
    d.grab = g.along_of(p) - c;
    return 0;
  }
  d.page_target = pos_at(g, d, g.along_of(p));
  d.paging = g.along_of(p) < c ? -1 : 1;
  set_timer(wnd, kPageTimer, kFirstRepeatMs, nullptr);
  page_step(wnd, d);
  return 0;
}

LResult on_mouse_move(Wnd wnd, TrackbarData& d, LParam lp) {
  if (!d.dragging) return 0;
  const Geometry g = geometry(wnd);
  user_move(wnd, d, pos_at(g, d, g.along_of(Point{x_of_lparam(lp), y_of_lparam(lp)}) - d.grab), TB_THUMBTRACK);
  return 0;
}

// The end of a drag or of paging: on release, or when the capture was taken away.
LResult end_action(Wnd wnd, TrackbarData& d, bool release) {
  const bool dragged = d.dragging, paged = d.paging != 0;
  if (!dragged && !paged) return 0;
  d.dragging = false;
  d.paging = 0;
  kill_timer(wnd, kPageTimer);
  if (release) release_capture();
  if (dragged) tell(wnd, TB_THUMBPOSITION, d.pos);
  if (is_window(wnd)) tell(wnd, TB_ENDTRACK, 0);
  return 0;
}

struct KeyStep {
  int vk;
  unsigned code;
};
constexpr KeyStep kKeys[] = {{VK_LEFT, TB_LINEUP},   {VK_UP, TB_LINEUP},     {VK_RIGHT, TB_LINEDOWN},
                             {VK_DOWN, TB_LINEDOWN}, {VK_PRIOR, TB_PAGEUP},  {VK_NEXT, TB_PAGEDOWN},
                             {VK_HOME, TB_TOP},      {VK_END, TB_BOTTOM}};

const KeyStep* key_step(int vk) {
  for (const KeyStep& k : kKeys)
    if (k.vk == vk) return &k;
  return nullptr;
}

LResult on_key_down(Wnd wnd, TrackbarData& d, int vk) {
  const KeyStep* k = key_step(vk);
  if (!k) return 0;
  int next = d.pos;
  switch (k->code) {
    case TB_LINEUP: next = d.pos - d.line; break;
    case TB_LINEDOWN: next = d.pos + d.line; break;
    case TB_PAGEUP: next = d.pos - page_of(d); break;
    case TB_PAGEDOWN: next = d.pos + page_of(d); break;
    case TB_TOP: next = d.min; break;
    default: next = d.max; break;
  }
  user_move(wnd, d, next, k->code);
  return 0;
}

void draw_ticks(Dc dc, const Geometry& g, const TrackbarData& d, uint32_t style) {
  if (style & TBS_NOTICKS) return;
  const Color c = get_sys_color(COLOR_BTNTEXT);
  auto tick = [&](int pos) {
    const int a = centre_of(g, d, pos);
    if (style & (TBS_TOP | TBS_BOTH)) fill_solid(dc, g.make(a, a + 1, g.band0 - 4, g.band0 - 1), c);
    if (!(style & TBS_TOP) || (style & TBS_BOTH)) fill_solid(dc, g.make(a, a + 1, g.band1 + 1, g.band1 + 4), c);
  };
  tick(d.min);
  tick(d.max);
  if (!(style & TBS_AUTOTICKS) || d.tic_freq <= 0) return;
  for (int64_t p = int64_t(d.min) + d.tic_freq; p < d.max; p += d.tic_freq) tick(int(p));
}

void paint(Wnd wnd, const TrackbarData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  // The parent's background, as for a static control.
  if (Brush brush = ctl_color_brush(wnd, dc, WM_CTLCOLORSTATIC)) {
    fill_rect(dc, rc, brush);
  } else {
    fill_solid(dc, rc, get_sys_color(COLOR_BTNFACE));
  }
  const Geometry g = geometry(wnd);
  draw_bevel(dc, channel_rect(g), false);
  draw_ticks(dc, g, d, style_of(wnd));
  draw_bevel(dc, thumb_rect(g, d), true);
  if (d.focused) draw_focus_rect(dc, Rect{rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1});
  end_paint(wnd, &ps);
}

void set_range(Wnd wnd, TrackbarData& d, int min, int max) {
  d.min = min;
  d.max = max;
  d.pos = clamp_pos(d, d.pos);
  invalidate_rect(wnd, nullptr, true);
}

LResult rect_answer(LParam lp, const Rect& r) {
  if (auto* out = reinterpret_cast<Rect*>(lp)) *out = r;
  return 0;
}

LResult trackbar_message(Wnd wnd, TrackbarData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case TBM_GETPOS: return d.pos;
    case TBM_GETRANGEMIN: return d.min;
    case TBM_GETRANGEMAX: return d.max;
    case TBM_SETPOS:
      d.pos = clamp_pos(d, int(lp));
      invalidate_rect(wnd, nullptr, true);
      return 0;
    case TBM_SETRANGE: set_range(wnd, d, int(loword(uintptr_t(lp))), int(hiword(uintptr_t(lp)))); return 0;
    case TBM_SETRANGEMIN: set_range(wnd, d, int(lp), d.max); return 0;
    case TBM_SETRANGEMAX: set_range(wnd, d, d.min, int(lp)); return 0;
    case TBM_SETTICFREQ:
      d.tic_freq = int(intptr_t(wp));
      invalidate_rect(wnd, nullptr, true);
      return 0;
    case TBM_SETPAGESIZE: {
      const int old = page_of(d);
      d.page = std::max(0, int(lp));
      return old;
    }
    case TBM_GETPAGESIZE: return page_of(d);
    case TBM_SETLINESIZE: {
      const int old = d.line;
      d.line = std::max(0, int(lp));
      return old;
    }
    case TBM_GETLINESIZE: return d.line;
    case TBM_GETTHUMBRECT: return rect_answer(lp, thumb_rect(geometry(wnd), d));
    case TBM_GETCHANNELRECT: return rect_answer(lp, channel_rect(geometry(wnd)));
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, TrackbarData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_DESTROY: kill_timer(wnd, kPageTimer); return 0;
    case WM_PAINT: paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZE:
    case WM_ENABLE: invalidate_rect(wnd, nullptr, true); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      d.focused = msg == WM_SETFOCUS;
      invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_KEYDOWN: return on_key_down(wnd, d, int(wp));
    case WM_KEYUP:
      if (key_step(int(wp))) tell(wnd, TB_ENDTRACK, 0);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return on_button_down(wnd, d, lp);
    case WM_MOUSEMOVE: return on_mouse_move(wnd, d, lp);
    case WM_LBUTTONUP: return end_action(wnd, d, true);
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<Wnd>(lp) != wnd) end_action(wnd, d, false);
      return 0;
    case WM_TIMER:
      if (wp == kPageTimer && d.paging) {
        set_timer(wnd, kPageTimer, kRepeatMs, nullptr);
        page_step(wnd, d);
      }
      return 0;
    default: return trackbar_message(wnd, d, msg, wp, lp);
  }
}

}  // namespace

void register_trackbar_control() {
  register_control_class(kTrackbarClass, control_proc<TrackbarData, window_message>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
