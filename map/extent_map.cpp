// The plain extent mappings: screen <-> world through a screen mapping, world <-> image
// through a bitmap's georeference, and layer coordinates <-> graph units through a
// layer's link chain. Each carries two corners and sorts the results (step 0).
#include <cmath>
#include <cstring>

#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/extent_map.h"
#include "map/extent_map_detail.h"

namespace extent_map_detail {

extent_t sorted(double x0, double x1, double y0, double y1) {
  extent_t e{};
  e.xmin = x0 < x1 ? x0 : x1;
  e.xmax = x0 < x1 ? x1 : x0;
  e.ymin = y0 < y1 ? y0 : y1;
  e.ymax = y0 < y1 ? y1 : y0;
  e.step = 0.0;
  return e;
}

extent_t load(const extent_t* p) {
  extent_t e{};
  if (p) std::memcpy(&e, p, sizeof e);
  return e;
}

void store(extent_t* p, const extent_t& e) {
  if (p) std::memcpy(p, &e, sizeof e);
}

bool usable_scale(double s) { return s != 0.0 && !std::isnan(s); }

}  // namespace extent_map_detail

using namespace extent_map_detail;

namespace {

// Both corners through one step of a georeference (forward or inverse).
extent_t corners_through(obj_t* step, int kind, bool inverse, extent_t e) {
  double x0 = e.xmin, y0 = e.ymin, z0 = 0.0;
  double x1 = e.xmax, y1 = e.ymax, z1 = 0.0;
  if (inverse) {
    xform_inverse_checked(step, kind, &x0, &y0, &z0);
    xform_inverse_checked(step, kind, &x1, &y1, &z1);
  } else {
    xform_forward_checked(step, kind, &x0, &y0, &z0);
    xform_forward_checked(step, kind, &x1, &y1, &z1);
  }
  return sorted(x0, x1, y0, y1);
}

// World <-> image of a bitmap: a copy without georeference.
extent_t through_georef(const bitmap_t* b, extent_t e, bool inverse) {
  const georef_t* g = b ? b->georef : nullptr;
  if (!g) return e;
  return corners_through(g->transfo, g->transfotype, inverse, e);
}

double clamp_to(double v, double size) { return v <= 0.0 ? 0.0 : (v >= size ? size : v); }

}  // namespace

// A zero scale has no inverse: no world rectangle answers it (the empty extent).
void screen_to_world_extent(screen_mapping m, extent_t s, extent_t* out) {
  if (!usable_scale(m.scale_x) || !usable_scale(m.scale_y)) {
    store(out, extent_t{});
    return;
  }
  store(out, sorted(s.xmin / m.scale_x - m.origin_x, s.xmax / m.scale_x - m.origin_x,
                    s.ymin / m.scale_y - m.origin_y, s.ymax / m.scale_y - m.origin_y));
}

void world_to_screen_extent(screen_mapping m, extent_t w, extent_t* out) {
  store(out, sorted((w.xmin + m.origin_x) * m.scale_x, (w.xmax + m.origin_x) * m.scale_x,
                    (w.ymin + m.origin_y) * m.scale_y, (w.ymax + m.origin_y) * m.scale_y));
}

// Rounding stays in doubles (std::trunc): a huge extent never meets an integer
// conversion that could overflow.
int world_to_screen_clipped(const pane_t* pane, extent_t w, extent_t* out) {
  if (!pane) {
    store(out, extent_t{});
    return 0;
  }
  extent_t s{};
  world_to_screen_extent(pane->map, w, &s);
  if (extent_is_empty(s)) {
    store(out, s);
    return 1;
  }
  s.xmin = std::trunc(s.xmin + 0.5);
  s.xmax = std::trunc(s.xmax + 0.5);
  s.ymin = std::trunc(s.ymin + 0.5);
  s.ymax = std::trunc(s.ymax + 0.5);
  if (extent_intersect(&s, pane_page(pane))) {
    store(out, s);
    return 1;
  }
  store(out, extent_t{});
  return 0;
}

int world_rect_visible(const pane_t* pane, extent_t w) {
  extent_t s{};
  return world_to_screen_clipped(pane, w, &s) && !extent_is_empty(s) ? 1 : 0;
}

void georef_world_to_image(const bitmap_t* b, extent_t w, extent_t* out) {
  store(out, through_georef(b, w, true));
}

void georef_image_to_world(const bitmap_t* b, extent_t i, extent_t* out) {
  store(out, through_georef(b, i, false));
}

void world_to_image_clamped(const bitmap_t* b, extent_t w, extent_t* out) {
  extent_t i = through_georef(b, w, true);
  const double width = b ? b->width : 0;
  const double height = b ? b->height : 0;
  i.xmin = clamp_to(i.xmin, width);
  i.xmax = clamp_to(i.xmax, width);
  i.ymin = clamp_to(i.ymin, height);
  i.ymax = clamp_to(i.ymax, height);
  store(out, i);
}

void screen_to_image_extent(screen_mapping m, const bitmap_t* b, extent_t s, extent_t* out) {
  extent_t w{};
  screen_to_world_extent(m, s, &w);
  world_to_image_clamped(b, w, out);
}

int image_to_screen_clip(const pane_t* pane, const bitmap_t* b, extent_t i, extent_t* out) {
  extent_t w{};
  georef_image_to_world(b, i, &w);
  return world_to_screen_clipped(pane, w, out);
}

void layer_point_to_graph(obj_t* link, double* x, double* y) {
  if (!x || !y) return;
  double z = 0.0;
  xform_forward(link, XK_CHAIN, x, y, &z);
}

void layer_extent_from_graph(obj_t* link, extent_t e, extent_t* out) {
  double x0 = e.xmin, y0 = e.ymin, z0 = 0.0;
  double x1 = e.xmax, y1 = e.ymax, z1 = 0.0;
  xform_inverse(link, XK_CHAIN, &x0, &y0, &z0);
  xform_inverse(link, XK_CHAIN, &x1, &y1, &z1);
  store(out, sorted(x0, x1, y0, y1));
}
