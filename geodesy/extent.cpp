// Extent arithmetic and the snapping of rectangles to the grid of a graph space.
//
// Everything works on five doubles by value, so nothing here allocates except
// extent_new. The grid source is set once by the map model and read by any thread,
// hence the atomic pointer.
#include "geodesy/extent.h"

#include <atomic>
#include <cmath>
#include <utility>

#include "core/memory.h"

extent_t* extent_new(extent_t** owner) {
  if (!owner) return nullptr;
  return alloc_mem_zero(owner, sizeof(extent_t));
}

int extent_clear(extent_t* e) {
  if (e) *e = extent_t{};
  return 0;
}

void extent_normalize(extent_t* e) {
  if (!e) return;
  if (e->xmin > e->xmax) std::swap(e->xmin, e->xmax);
  if (e->ymin > e->ymax) std::swap(e->ymin, e->ymax);
}

int extent_is_empty(extent_t e) {
  // `step == 0` is false for NaN, so a NaN margin keeps the rectangle.
  return (e.xmax <= e.xmin || e.ymax <= e.ymin) && e.step == 0.0 ? 1 : 0;
}

int extent_is_null(extent_t e) {
  return e.xmin == 0.0 && e.xmax == 0.0 && e.ymin == 0.0 && e.ymax == 0.0 && e.step == 0.0
             ? 1
             : 0;
}

int extent_disjoint(extent_t a, extent_t b) {
  return a.xmin >= b.xmax || a.xmax <= b.xmin || a.ymin >= b.ymax || a.ymax <= b.ymin ? 1 : 0;
}

int extent_intersect(extent_t* a, extent_t b) {
  if (!a) return 0;
  const double step = std::fmin(a->step, b.step);
  if (!extent_intersect4(a, b.xmin, b.xmax, b.ymin, b.ymax)) return 0;
  a->step = step;
  return 1;
}

int extent_intersect4(extent_t* a, double xmin, double xmax, double ymin, double ymax) {
  if (!a) return 0;
  if (extent_disjoint(*a, extent_t{xmin, xmax, ymin, ymax, 0.0})) return 0;
  a->xmin = std::fmax(a->xmin, xmin);
  a->xmax = std::fmin(a->xmax, xmax);
  a->ymin = std::fmax(a->ymin, ymin);
  a->ymax = std::fmin(a->ymax, ymax);
  return 1;
}

void extent_union(extent_t* a, extent_t b) {
  if (!a || extent_is_null(b)) return;
  if (extent_is_null(*a)) {
    *a = b;
    return;
  }
  a->xmin = std::fmin(a->xmin, b.xmin);
  a->xmax = std::fmax(a->xmax, b.xmax);
  a->ymin = std::fmin(a->ymin, b.ymin);
  a->ymax = std::fmax(a->ymax, b.ymax);
  a->step = std::fmax(a->step, b.step);
}

double extent_width(extent_t e) { return e.xmax - e.xmin; }
double extent_height(extent_t e) { return e.ymax - e.ymin; }
double extent_center_x(extent_t e) { return (e.xmin + e.xmax) / 2.0; }
double extent_center_y(extent_t e) { return (e.ymin + e.ymax) / 2.0; }

double extent_max_side(extent_t e) {
  const double w = extent_width(e);
  const double h = extent_height(e);
  return w > h ? w : h;
}

void extent_inflate(extent_t* e, double d) {
  if (!e) return;
  e->xmin -= d;
  e->xmax += d;
  e->ymin -= d;
  e->ymax += d;
}

void extent_center_form(int direction, extent_t* e, double form[4]) {
  if (!e || !form) return;
  if (direction == 2) {
    form[0] = extent_center_x(*e);
    form[1] = extent_width(*e);
    form[2] = extent_center_y(*e);
    form[3] = extent_height(*e);
    return;
  }
  e->xmin = form[0] - form[1] / 2.0;
  e->xmax = form[0] + form[1] / 2.0;
  e->ymin = form[2] - form[3] / 2.0;
  e->ymax = form[2] + form[3] / 2.0;
}

// ---- Grid ------------------------------------------------------------------------------

namespace {

std::atomic<graphspace_extent_fn> g_extent_source{nullptr};

// The grid spacing of a graph space; 0 when nothing is to be snapped (no graph space,
// no data extent, or a spacing that is not a positive finite number).
double grid_spacing(const obj_t* graph_space) {
  const double g = 1e-8 * graphspace_max_side(graph_space);
  return std::isfinite(g) && g > 0.0 ? g : 0.0;
}

// The grid line at or below v.
void snap_down(double* v, double g) {
  const double snapped = std::floor(*v / g) * g;
  if (snapped != *v) *v = snapped;
}

// The grid line at or above v: a value already on the grid stays.
void snap_up(double* v, double g) {
  const double inv = 1.0 / g;
  if (std::floor(*v * inv) * g != *v) *v = std::floor((*v + g) * inv) * g;
}

}  // namespace

void graphspace_set_extent_source(graphspace_extent_fn fn) {
  g_extent_source.store(fn, std::memory_order_release);
}

double graphspace_max_side(const obj_t* graph_space) {
  const graphspace_extent_fn source = g_extent_source.load(std::memory_order_acquire);
  extent_t data{};
  if (!graph_space || !source || !source(graph_space, &data)) return 0.0;
  return extent_max_side(data);
}

void extent_snap_grid(const obj_t* graph_space, extent_t* e) {
  if (!e) return;
  const double g = grid_spacing(graph_space);
  if (g == 0.0) return;
  snap_down(&e->xmin, g);
  snap_down(&e->ymin, g);
  snap_up(&e->xmax, g);
  snap_up(&e->ymax, g);
}
