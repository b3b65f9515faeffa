// The core of view positioning: view_set, which places a world point at the window's
// centre with given scales, the two zoom limits, and zooming about a pixel.
#include "map/view_set.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "map/graphspace.h"
#include "map/mapwin.h"

namespace {

mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }


// The graph space's data extent and larger side; false without graph space or data.
bool data_extent(const mapwin_t* win, extent_t* out, double* max_side) {
  const graphspace_t* gs = static_cast<const graphspace_t*>(win->graphspace);
  if (!gs) return false;
  graphspace_lock lock(graphspace_mutex());
  std::memcpy(out, &gs->extent, sizeof *out);  // a field of a packed record
  *max_side = gs->max_side;
  return !extent_is_empty(*out);
}

// The scale that shows the whole data in the window; 0 when there is none (no data, a
// window without pixels, or data without width and height, which no scale fits).
double fit_scale(const mapwin_t* win) {
  return view_fit_scale_of(win->graphspace, win->width, win->height);
}

// Pixels as an int, saturated: far zoomed in, a screen position runs beyond an int.
int truncate_pixels(double v) {
  constexpr double kLimit = 1e9;
  return int(std::clamp(v, -kLimit, kLimit));  // truncation towards zero
}

// The mapping is read by a load task mapping its rectangles: written under that lock,
// into the window and its pane alike.
void store_mapping(mapwin_t* win, const screen_mapping& m) {
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
  win->map = m;
  if (win->pane) win->pane->map = m;
}

// A pure re-centre: (cx, cy) brought to the centre by a pending scroll of whole pixels.
int recentre(mapwin_t* win, double cx, double cy) {
  const screen_mapping m = win->map;
  const double px = (cx + m.origin_x) * m.scale_x;
  const double py = (cy + m.origin_y) * m.scale_y;
  if (!std::isfinite(px) || !std::isfinite(py)) return 0;
  const int dx = truncate_pixels(px - win->width * 0.5);
  const int dy = truncate_pixels(py - win->height * 0.5);
  if (dx == 0 && dy == 0) return 0;
  mapwin_scroll_by(win, dx, dy);
  return 1;
}

}  // namespace

double view_fit_scale_of(const obj_t* graphspace, double width, double height) {
  const graphspace_t* gs = static_cast<const graphspace_t*>(graphspace);
  if (!gs) return 0.0;
  extent_t data{};
  {
    graphspace_lock lock(graphspace_mutex());
    std::memcpy(&data, &gs->extent, sizeof data);  // a field of a packed record
  }
  if (extent_is_empty(data)) return 0.0;
  const double s = std::min(width / extent_width(data), height / extent_height(data));
  return std::isfinite(s) && s > 0.0 ? s : 0.0;
}

double view_scale_limit(mapwin_t* win, double sx, double sy) {
  win = or_current(win);
  if (!win) return 0.0;
  const double fit = fit_scale(win);
  if (fit == 0.0) return 0.0;
  const double r = std::max(std::fabs(sx), std::fabs(sy)) / fit;
  return r > kViewMaxZoom ? r / kViewMaxZoom : 0.0;
}

int view_can_zoom_out(mapwin_t* win) {
  win = or_current(win);
  if (!win) return 0;
  extent_t data{};
  double max_side = 0.0;
  if (!data_extent(win, &data, &max_side)) return 0;
  const double world_w = win->width / std::fabs(win->map.scale_x);
  const double world_h = win->height / std::fabs(win->map.scale_y);
  // A NaN side (no scale, no pixels) compares false: refused as well.
  return std::min(world_w, world_h) < 2.0 * max_side ? 1 : 0;
}

int view_set(mapwin_t* win, double cx, double cy, double sx, double sy, int relative) {
  win = or_current(win);
  if (!win || !std::isfinite(cx) || !std::isfinite(cy)) return 0;
  if (relative && sx < 1.0 && !view_can_zoom_out(win)) return 0;
  if (relative) {
    if (sx == 1.0 && sy == 1.0) return recentre(win, cx, cy);
    sx *= win->map.scale_x;
    sy *= std::fabs(win->map.scale_y);
  }
  const double r = view_scale_limit(win, sx, sy);
  if (r != 0.0) {
    sx /= r;
    sy /= r;
  }
  if (!std::isfinite(sx) || !std::isfinite(sy) || sx == 0.0 || sy == 0.0) return 0;
  screen_mapping m{};
  m.scale_x = sx;
  m.scale_y = win->axis_down == 1 ? sy : -sy;
  m.origin_x = win->width / (2.0 * m.scale_x) - cx;
  m.origin_y = win->height / (2.0 * m.scale_y) - cy;
  store_mapping(win, m);
  return 1;
}

int view_zoom_at(mapwin_t* win, int x, int y, double factor) {
  win = or_current(win);
  if (!win || !std::isfinite(factor) || factor <= 0.0) return 0;
  if (factor < 1.0 && !view_can_zoom_out(win)) return 0;
  screen_mapping m = win->map;
  if (m.scale_x == 0.0 || m.scale_y == 0.0) return 0;
  double sx = factor * m.scale_x, sy = factor * m.scale_y;
  const double r = view_scale_limit(win, sx, sy);
  if (r != 0.0) {
    sx /= r;
    sy /= r;
  }
  if (!std::isfinite(sx) || !std::isfinite(sy)) return 0;
  // The world point under (x, y), with the old scales, stays under (x, y).
  const double wx = x / m.scale_x - m.origin_x;
  const double wy = y / m.scale_y - m.origin_y;
  m.scale_x = sx;
  m.scale_y = sy;
  m.origin_x = x / sx - wx;
  m.origin_y = y / sy - wy;
  store_mapping(win, m);
  return 1;
}
