// Fitting the view: to an extent, to the whole data, to an image (fitted, re-centred,
// or at one image pixel per screen pixel), and setting scales about the current centre.
//
// A target without width or height has no fitting scale (the division gives infinity
// or NaN): the view keeps its scale and is re-centred on the target instead.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/obj_list.h"
#include "map/extent_map.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"

namespace {

mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }

bool usable_scale(double s) { return std::isfinite(s) && s > 0.0; }

// The centre of `e` at the scale s (both axes), or re-centred there when s is no scale.
int show_at(mapwin_t* win, extent_t e, double s) {
  const double cx = extent_center_x(e), cy = extent_center_y(e);
  if (!usable_scale(s)) return view_set(win, cx, cy, 1.0, 1.0, 1);
  return view_set(win, cx, cy, s, s, 0);
}

// The scale at which `e` fills the window on its tighter axis.
double fill_scale(const mapwin_t* win, extent_t e) {
  return std::min(win->width / std::fabs(e.xmax - e.xmin), win->height / std::fabs(e.ymax - e.ymin));
}

// The image's world rectangle.
extent_t image_world(const bitmap_t* bitmap) {
  extent_t pixels{}, world{};
  bitmap_extent(bitmap, &pixels);
  georef_image_to_world(bitmap, pixels, &world);
  return world;
}

// The world point at the window's centre.
void window_centre(const mapwin_t* win, double* x, double* y) {
  const screen_mapping m = win->map;
  *x = win->width * 0.5 / m.scale_x - m.origin_x;
  *y = win->height * 0.5 / m.scale_y - m.origin_y;
}

graphspace_t* graphspace_of(const mapwin_t* win) {
  return static_cast<graphspace_t*>(win->graphspace);
}

// The first image shown by the graph space's first layer (through its layer link).
const bitmap_t* first_layer_image(graphspace_t* gs) {
  graphspace_lock lock(graphspace_mutex());
  obj_t* layer = nullptr;
  if (!obj_list_first(gs->layers, &layer) || !layer) return nullptr;
  obj_t* o = nullptr;
  obj_list_first(static_cast<layer_t*>(layer)->objects, &o);
  if (o && o->cls == CLS_LAYER_LINK) o = static_cast<layer_link_t*>(o)->object;
  return o && o->cls == CLS_BITMAP ? static_cast<const bitmap_t*>(o) : nullptr;
}

// Absolute image scales (screen pixels per image pixel) into world scales.
bool image_to_world_scales(graphspace_t* gs, double* sx, double* sy) {
  const bitmap_t* image = first_layer_image(gs);
  if (!image) return false;
  const extent_t w = image_world(image);
  *sx *= image->width / extent_width(w);
  *sy *= image->height / extent_height(w);
  return usable_scale(*sx) && usable_scale(*sy);
}

}  // namespace

int view_zoom_extent(mapwin_t* win, extent_t extent) {
  win = or_current(win);
  if (!win) return 0;
  return show_at(win, extent, fill_scale(win, extent));
}

int view_fit_all(mapwin_t* win, double max_scale) {
  win = or_current(win);
  graphspace_t* gs = win ? graphspace_of(win) : nullptr;
  if (!gs) return 0;
  extent_t data{};
  {
    graphspace_lock lock(graphspace_mutex());
    std::memcpy(&data, &gs->extent, sizeof data);  // a field of a packed record
  }
  // No data is the null extent; a point (one waypoint) is data without area.
  if (extent_is_null(data)) return 0;
  double s = fill_scale(win, data);
  if (max_scale > 0.0 && s > max_scale) s = max_scale;
  return show_at(win, data, s);
}

int view_image_one_to_one(const bitmap_t* bitmap, mapwin_t* win) {
  win = or_current(win);
  graphspace_t* gs = win ? graphspace_of(win) : nullptr;
  if (!gs || !bitmap) return 0;
  const extent_t w = image_world(bitmap);
  const double px = bitmap->width / extent_width(w);
  const double py = bitmap->height / extent_height(w);
  extent_t overlap = w, data{};
  {
    graphspace_lock lock(graphspace_mutex());
    std::memcpy(&data, &gs->extent, sizeof data);
  }
  if (!extent_intersect(&overlap, data)) return 0;
  const double cx = extent_center_x(w), cy = extent_center_y(w);
  if (!usable_scale(px) || !usable_scale(py)) return view_set(win, cx, cy, 1.0, 1.0, 1);
  return view_set(win, cx, cy, px, py, 0);
}

int view_image_one_to_one_here(mapwin_t* win, const bitmap_t* bitmap) {
  win = or_current(win);
  if (!win) return 0;
  double x = 0.0, y = 0.0;
  window_centre(win, &x, &y);
  if (!view_image_one_to_one(bitmap, win)) return 0;
  view_set(win, x, y, 1.0, 1.0, 1);
  return 1;
}

int view_center_image(mapwin_t* win, const bitmap_t* bitmap) {
  win = or_current(win);
  if (!win || !bitmap) return 0;
  const extent_t w = image_world(bitmap);
  return view_set(win, extent_center_x(w), extent_center_y(w), 1.0, 1.0, 1);
}

int view_fit_image(mapwin_t* win, const bitmap_t* bitmap) {
  win = or_current(win);
  if (!win || !bitmap) return 0;
  const extent_t w = image_world(bitmap);
  return show_at(win, w, fill_scale(win, w));
}

int view_single_layer(mapwin_t* win) {
  win = or_current(win);
  graphspace_t* gs = win ? graphspace_of(win) : nullptr;
  if (!gs) return 0;
  graphspace_lock lock(graphspace_mutex());
  int position = 0;
  return obj_list_count(gs->layers) == 1 && !graphspace_next_layer(gs, &position, nullptr) ? 1 : 0;
}

int view_set_image_scale(mapwin_t* win, double sx, double sy, int relative) {
  win = or_current(win);
  if (!win) return 0;
  double x = 0.0, y = 0.0;
  window_centre(win, &x, &y);
  if (!relative) {
    graphspace_t* gs = graphspace_of(win);
    if (!view_single_layer(win)) return 0;
    if (graph_get_georef(gs, nullptr) && !image_to_world_scales(gs, &sx, &sy)) return 0;
  }
  return view_set(win, x, y, sx, sy, relative);
}
