// The pixel-exact windows of a bitmap for a screen rectangle, used by the raster display:
// which image pixels to draw into which screen pixels, at full resolution, at a reduced
// whole-image size, or for an image known by its world extent.
//
// Each routine returns 0 when there is something to draw and 1 when not. Pixel bounds
// are truncated towards zero in doubles (std::trunc), never converted to int, so a huge
// extent cannot overflow; a rectangle without width or height, a zero scale or an image
// window of no size answers 1 instead of dividing by zero.
#include <cmath>

#include "core/obj_layout.h"
#include "map/extent_map.h"
#include "map/extent_map_detail.h"

using namespace extent_map_detail;

namespace {

double trunc_d(double v) { return std::trunc(v); }

// Image extent of a screen rectangle, not clamped.
extent_t image_of(screen_mapping m, const bitmap_t* b, extent_t s) {
  extent_t w{}, i{};
  screen_to_world_extent(m, s, &w);
  georef_world_to_image(b, w, &i);
  return i;
}

// The image window lies wholly outside the bitmap.
bool outside(const bitmap_t* b, extent_t i) {
  return i.xmax <= 0 || i.ymax <= 0 || b->width <= i.xmin || b->height <= i.ymin;
}

bool has_area(extent_t e) { return e.xmax > e.xmin && e.ymax > e.ymin; }

// One axis of the pull-in: moves the screen bounds so that the image window starts and
// ends inside the bitmap. `dir` is +1 when the image axis runs with the screen's.
void pull_in(double* smin, double* smax, double imin, double imax, double size, double ratio,
             int dir) {
  if (imin < 0) {
    double t = imin / ratio;
    if (t == trunc_d(t)) t += 0.1;
    if (dir == 1)
      *smin = trunc_d(*smin + 1.1 - trunc_d(t));
    else
      *smax = trunc_d(*smax - 0.1 + trunc_d(t));
  }
  if (imax > size) {
    const double t = (imax - size) / ratio;
    if (dir == 1)
      *smax = trunc_d(*smax - 0.1 - trunc_d(t));
    else
      *smin = trunc_d(trunc_d(t) + *smin + 1.1);
  }
}

// Whole screen pixels to give up for an image window that goes `excess` image pixels
// past the bitmap (rounding slack below 1e-9 pixel ignored).
double pixels_for(double excess, double ratio) {
  return excess > 1e-9 ? std::ceil(excess / ratio - 1e-9) : 0.0;
}

// When the image axis runs against the screen's, the pull-in above can leave the image
// window one pixel past the bitmap (step 5 shortens the screen rectangle at the end that
// maps to the image's low side). The screen bound that maps to each overshooting image
// bound is moved in by the whole pixels of the overshoot, so that no row or column
// outside the bitmap is ever asked for.
void trim_to_bitmap(double* smin, double* smax, double imin, double imax, double size,
                    double ratio, int dir) {
  const double low = pixels_for(-imin, ratio);
  const double high = pixels_for(imax - size, ratio);
  if (dir == 1) {
    *smin += low;
    *smax -= high;
  } else {
    *smax -= low;
    *smin += high;
  }
}

}  // namespace

int screen_to_image_window(screen_mapping m, const bitmap_t* b, extent_t* screen,
                           extent_t* image, double* ratio_x, double* ratio_y) {
  extent_t s = load(screen);
  if (!b || !has_area(s)) return 1;
  extent_t i = image_of(m, b, s);
  if (outside(b, i)) return 1;
  const double rx = (i.xmax - i.xmin) / (s.xmax - s.xmin);
  const double ry = (i.ymax - i.ymin) / (s.ymax - s.ymin);
  if (!(rx > 0) || !(ry > 0) || !std::isfinite(rx) || !std::isfinite(ry)) return 1;
  if (ratio_x) *ratio_x = rx;
  if (ratio_y) *ratio_y = ry;

  // Axis directions: widen the screen rectangle by one pixel at its low ends and see
  // whether the image window's low ends move.
  extent_t widened = s;
  widened.xmin -= 1;
  widened.ymin -= 1;
  const extent_t iw = image_of(m, b, widened);
  const int dx = iw.xmin == i.xmin ? -1 : 1;
  const int dy = iw.ymin == i.ymin ? -1 : 1;

  s.xmax = trunc_d(s.xmax) - 1;
  s.ymax = trunc_d(s.ymax) - 1;
  i = image_of(m, b, s);
  pull_in(&s.xmin, &s.xmax, i.xmin, i.xmax, b->width, rx, dx);
  pull_in(&s.ymin, &s.ymax, i.ymin, i.ymax, b->height, ry, dy);
  s.xmax = trunc_d(s.xmax) + 1;
  s.ymax = trunc_d(s.ymax) + 1;
  i = image_of(m, b, s);
  if (i.xmin < 0 || i.ymin < 0 || i.xmax > b->width || i.ymax > b->height) {
    trim_to_bitmap(&s.xmin, &s.xmax, i.xmin, i.xmax, b->width, rx, dx);
    trim_to_bitmap(&s.ymin, &s.ymax, i.ymin, i.ymax, b->height, ry, dy);
    i = image_of(m, b, s);
  }
  store(screen, s);
  store(image, i);
  return extent_is_empty(i) || extent_is_empty(s) ? 1 : 0;
}

namespace {

// 4.: the divisor of the larger image side b for a smaller screen side a.
double reduction_divisor(double a, double b) {
  if (a >= b) return b;
  if (a >= 100) return a - std::fmod(a, 100.0);
  if (a >= 50) return 50;
  return a;
}

// int(v) made even by dropping its lowest bit, towards zero.
double even_towards_zero(double v) {
  const double n = trunc_d(v);
  return n - std::fmod(n, 2.0);
}

}  // namespace

int screen_to_image_reduced(screen_mapping m, const bitmap_t* b, extent_t* screen,
                            extent_t* image, double* factor, double* factor2) {
  extent_t s = load(screen);
  if (!b) return 1;
  extent_t i = image_of(m, b, s);
  if (outside(b, i)) return 1;
  // The centre of the reduced image: the first two doubles of the display step.
  const obj_t* placement = b->georef2;
  if (!placement) return 1;
  const double centre_x = field_load<double>(placement, 8);
  const double centre_y = field_load<double>(placement, 16);

  bitmap_extent(b, &i);
  extent_t world{}, s2{};
  georef_image_to_world(b, i, &world);
  world_to_screen_extent(m, world, &s2);
  const double s2w = s2.xmax - s2.xmin, s2h = s2.ymax - s2.ymin;
  if (!(s2w > 2) || !(s2h > 2)) return 1;
  const double a = trunc_d((s2w < s2h ? s2w : s2h) + 0.0001);
  const double iw = i.xmax - i.xmin, ih = i.ymax - i.ymin;
  const double bside = trunc_d((iw > ih ? iw : ih) + 0.0001);
  const double f = bside / reduction_divisor(a, bside);
  if (!(f > 0) || !std::isfinite(f)) return 1;
  if (factor) *factor = f;
  if (factor2) *factor2 = f;

  const double nx = even_towards_zero(b->width / f);
  const double ny = even_towards_zero(b->height / f);
  const double x0 = trunc_d((centre_x + m.origin_x) * m.scale_x) - trunc_d(nx / 2);
  const double y0 = trunc_d((centre_y + m.origin_y) * m.scale_y) - trunc_d(ny / 2);
  if (x0 < s.xmin) i.xmin = trunc_d((s.xmin - x0) * f + 0.0001); else s.xmin = x0;
  if (y0 < s.ymin) i.ymin = trunc_d((s.ymin - y0) * f + 0.0001); else s.ymin = y0;
  if (x0 + nx > s.xmax) i.xmax = trunc_d((s.xmax - x0) * f + 0.0001); else s.xmax = x0 + nx;
  if (y0 + ny > s.ymax) i.ymax = trunc_d((s.ymax - y0) * f + 0.0001); else s.ymax = y0 + ny;
  store(screen, s);
  store(image, i);
  return extent_is_empty(s) || extent_is_empty(i) ? 1 : 0;
}

int screen_to_world_window(const pane_t* pane, const bitmap_t* b, extent_t* screen,
                           extent_t* world, double* ratio_x, double* ratio_y) {
  if (!pane || !b) return 1;
  extent_t w{};
  screen_to_world_extent(pane->map, load(screen), &w);
  if (!extent_intersect(&w, b->extent)) return 1;
  extent_t s{};
  if (!world_to_screen_clipped(pane, w, &s) || !has_area(s)) return 1;
  store(world, w);
  store(screen, s);
  if (ratio_x) *ratio_x = (w.xmax - w.xmin) / (s.xmax - s.xmin);
  if (ratio_y) *ratio_y = (w.ymax - w.ymin) / (s.ymax - s.ymin);
  return 0;
}
