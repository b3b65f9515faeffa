// The clipping window of the lines and the clipped segment. The window is the rectangle
// being drawn widened by the line width and 10 pixels, so that the ends and joins of a
// wide line just outside it still reach into it, while points far away (a track running
// off the map, coordinates beyond any device) never reach the device.
#include <cstddef>

#include "core/obj_layout.h"
#include "map/draw_gdi_internal.h"

namespace {

constexpr double kClipMargin = 10.0;
enum : int { kLeft = 1, kRight = 2, kAbove = 4, kBelow = 8 };

bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }

}  // namespace

void clip_window_set(double width) {
  draw_state& s = draw_st();
  extent_t r{};
  if (s.pane) r = field_load<extent_t>(s.pane, offsetof(pane_t, current));
  const double m = width + kClipMargin;
  s.clip = extent_t{r.xmin - m, r.xmax + m, r.ymin - m, r.ymax + m, 0.0};
}

extent_t clip_window() { return draw_st().clip; }

int clip_outcode(screen_pt p) {
  const extent_t& w = draw_st().clip;
  int code = 0;
  if (p.x < w.xmin) code |= kLeft;
  if (p.x > w.xmax) code |= kRight;
  if (p.y < w.ymin) code |= kAbove;
  if (p.y > w.ymax) code |= kBelow;
  // A point without coordinates lies nowhere: outside on every side.
  if (!(p.x == p.x) || !(p.y == p.y)) code = kLeft | kRight | kAbove | kBelow;
  return code;
}

int clip_point_to_window(screen_pt* p, screen_pt other, int code) {
  const extent_t& w = draw_st().clip;
  const double dx = other.x - p->x, dy = other.y - p->y;
  if (code & (kLeft | kRight)) {
    const double x = (code & kLeft) ? w.xmin : w.xmax;
    if (dx != 0.0) {
      const double y = p->y + dy * (x - p->x) / dx;
      if (within(y, w.ymin, w.ymax)) {
        *p = screen_pt{x, y};
        return 1;
      }
    }
  }
  if (code & (kAbove | kBelow)) {
    const double y = (code & kAbove) ? w.ymin : w.ymax;
    if (dy != 0.0) {
      const double x = p->x + dx * (y - p->y) / dy;
      if (within(x, w.xmin, w.xmax)) {
        *p = screen_pt{x, y};
        return 1;
      }
    }
  }
  return 0;
}

void draw_clipped_segment(screen_pt a, screen_pt b, int motif, int width, uint32_t colour,
                          int fill) {
  draw_state& s = draw_st();
  if (!s.dc) return;
  clip_window_set(width);
  const int ca = clip_outcode(a), cb = clip_outcode(b);
  if (ca & cb) return;
  const screen_pt a0 = a;
  if (ca && !clip_point_to_window(&a, b, ca)) return;
  if (cb && !clip_point_to_window(&b, a0, cb)) return;
  select_pen_brush(motif, width, colour, fill);
  const int ax = device_coord(a.x, s.page_x), ay = device_coord(a.y, s.page_y);
  const int bx = device_coord(b.x, s.page_x), by = device_coord(b.y, s.page_y);
  // A segment within one pixel (a track seen from far away) is that pixel: a line of no
  // length would draw nothing, and data smaller than a pixel would vanish from the map.
  if (ax == bx && ay == by)
    gdi_dot(ax, ay);
  else
    gdi_polyline2(ax, ay, bx, by);
}
