// Scrolling a map window: the pending scroll that command 5 applies, the scroll-bar
// actions (codes 1 to 11) held within the data, and drag panning held within the data
// widened by one window size on every side.
//
// A scroll of (dx, dy) pixels moves the view by that much: the origin becomes
// origin - d / scale, so every world point is shown d pixels further up and left.
#include <algorithm>
#include <cmath>

#include "core/command_hooks.h"
#include "map/extent_map.h"
#include "map/mapwin.h"

namespace {

constexpr int kScrollSlot = 5;
constexpr int kLineStep = 5;  // pixels of a line step
constexpr int kBarVertical = 1;
constexpr int kBarHorizontal = 2;

mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }

// Pixels as an int: zoomed far in, screen coordinates run far beyond an int (NaN is 0).
int to_pixels(double v) {
  constexpr double kLimit = 1e9;
  if (!(v == v)) return 0;
  return int(std::lround(std::clamp(v, -kLimit, kLimit)));
}

double clamp01(double v) { return v == v ? std::clamp(v, 0.0, 1.0) : 0.0; }

// The graph space's data extent in the window's pixels; false without a graph space.
bool data_on_screen(mapwin_t* win, extent_t* out) {
  graphspace_t* gs = static_cast<graphspace_t*>(win->graphspace);
  if (!gs || !win->pane) return false;
  extent_t data{};
  {
    graphspace_lock lock(graphspace_mutex());
    data = gs->extent;
  }
  world_to_screen_extent(win->map, data, out);
  return true;
}

// A scroll-bar step held within the data: going back (negative) only while the data's
// near edge lies less than one window size ahead, at most to there; going on only while
// the far edge is still ahead, at most to it.
int limit_step(int d, double lo, double hi, int size) {
  if (d < 0) return lo - size < 0 ? std::max(d, to_pixels(lo - size)) : 0;
  if (d > 0) return hi > 0 ? std::min(d, to_pixels(hi)) : 0;
  return 0;
}

// A drag step held within the widened data [lo, hi]: nothing beyond its edges.
int limit_drag(int d, double lo, double hi, int size) {
  if (lo >= 0 && hi <= size) return d;  // the widened data fits: no limit
  if (d < 0) return lo > 0 ? 0 : std::max(d, to_pixels(lo));
  if (d > 0) return hi - size < 0 ? 0 : std::min(d, to_pixels(hi - size));
  return 0;
}

int shift_brush(int origin, int d) { return ((origin - d) % 8 + 8) % 8; }

// The thumb step of a bar: its tracked position against its position, over the data.
int thumb_step(mapwin_t* win, int bar, double lo, double hi) {
  const mapwin_ui_hooks& ui = mapwin_get_ui_hooks();
  double pos = 0.0, page = 0.0, track = 0.0;
  if (!ui.get_scroll_pos || !ui.get_scroll_pos(win, bar, &pos, &page, &track)) return 0;
  pos = clamp01(pos);
  track = clamp01(track);
  if (ui.set_scroll_pos) ui.set_scroll_pos(win, bar, track, page);
  return to_pixels((hi - lo) * (track - pos));
}

// The step of a code on the horizontal bar, before the limits.
int horizontal_step(mapwin_t* win, int code, const extent_t& s) {
  switch (code) {
    case 3: return -kLineStep;
    case 4: return kLineStep;
    case 7: return -win->width;
    case 8: return win->width;
    case 11: return thumb_step(win, kBarHorizontal, s.xmin, s.xmax);
    default: return 0;
  }
}

int vertical_step(mapwin_t* win, int code, const extent_t& s) {
  switch (code) {
    case 1: return -kLineStep;
    case 2: return kLineStep;
    case 5: return -win->height;
    case 6: return win->height;
    case 9: return to_pixels(s.ymin);
    case 10: return to_pixels(s.ymax - win->height);
    case 11: return thumb_step(win, kBarVertical, s.ymin, s.ymax);
    default: return 0;
  }
}

// The last pointer position of a drag (one for the process: one pointer).
int g_last_x = 0, g_last_y = 0;

}  // namespace

void mapwin_scroll_by(mapwin_t* win, int dx, int dy) {
  win = or_current(win);
  if (!win) return;
  win->scroll_dx += dx;
  win->scroll_dy += dy;
  core_post_command(kScrollSlot, 0, nullptr);
}

void mapwin_apply_scroll(mapwin_t* win) {
  win = or_current(win);
  if (!win || !win->pane || (win->scroll_dx == 0 && win->scroll_dy == 0)) return;
  const int dx = win->scroll_dx, dy = win->scroll_dy;
  win->scroll_dx = 0;
  win->scroll_dy = 0;
  screen_mapping m = win->map;
  if (m.scale_x != 0.0) m.origin_x -= dx / m.scale_x;
  if (m.scale_y != 0.0) m.origin_y -= dy / m.scale_y;
  pane_t* pane = win->pane;
  {
    // A load task reads the mapping when it adds a rectangle to redraw.
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win->map = m;
    screen_mapping pm = pane->map;
    pm.origin_x = m.origin_x;
    pm.origin_y = m.origin_y;
    pane->map = pm;
  }
  // The picture moves against the view: a view scrolled right shows its pixels further left.
  if (auto fn = mapwin_get_ui_hooks().scroll_window_region) fn(win, -dx, -dy);
}

void mapwin_apply_scroll_all() {
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) mapwin_apply_scroll(static_cast<mapwin_t*>(cursor));
}

void mapwin_scroll_cmd(mapwin_t* win, int bar, int code) {
  win = or_current(win);
  extent_t s{};
  if (!win || !data_on_screen(win, &s)) return;
  int dx = 0, dy = 0;
  if (bar == kBarHorizontal)
    dx = limit_step(horizontal_step(win, code, s), s.xmin, s.xmax, win->width);
  else if (bar == kBarVertical)
    dy = limit_step(vertical_step(win, code, s), s.ymin, s.ymax, win->height);
  if (dx == 0 && dy == 0) return;
  win->brush_org_x = shift_brush(win->brush_org_x, dx);
  win->brush_org_y = shift_brush(win->brush_org_y, dy);
  mapwin_scroll_by(win, dx, dy);
}

void mapwin_scroll_to(mapwin_t* win, int x, int y, int tracking) {
  win = or_current(win);
  const int last_x = g_last_x, last_y = g_last_y;
  g_last_x = x;
  g_last_y = y;
  extent_t s{};
  if (!win || !tracking || !graphspace_has_data(static_cast<graphspace_t*>(win->graphspace)) ||
      !data_on_screen(win, &s))
    return;
  s.xmin -= win->width;
  s.xmax += win->width;
  s.ymin -= win->height;
  s.ymax += win->height;
  const int dx = limit_drag(last_x - x, s.xmin, s.xmax, win->width);
  const int dy = limit_drag(last_y - y, s.ymin, s.ymax, win->height);
  if (dx != 0 || dy != 0) mapwin_scroll_by(win, dx, dy);
}
