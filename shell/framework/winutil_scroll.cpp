// Scroll bars of window objects as fractions, the scroll of a map window's contents with
// the invalidation of what it uncovers, regions turned into rectangles to redraw, the
// background fills and clipping of map windows, and image objects drawn into bitmaps.
#include <atomic>
#include <cmath>

#include "core/error.h"
#include "map/view_records.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"

namespace {

constexpr int kScrollRange = 10000;

std::atomic<invalid_rect_fn> g_invalid_rect{nullptr};
std::atomic<image_render_fn> g_image_render{nullptr};

int bar_of(int axis) { return axis == 1 ? plat::SB_VERT : plat::SB_HORZ; }

mapwin_t* or_current(mapwin_t* w) { return w ? w : get_current_mapwin(); }

// A fraction of the bar's range in whole units. Views far outside the data give
// fractions beyond 0..1 (and a broken mapping NaN); converting those to int is
// undefined, and the bar would keep its thumb inside the range anyway.
int bar_units(double fraction) {
  if (!(fraction > 0.0)) return 0;
  if (fraction >= 1.0) return kScrollRange;
  return int(std::trunc(fraction * kScrollRange));
}

// A pixel coordinate of a pane rectangle; zoomed far in, screen coordinates run far
// beyond what an int holds, so they are bounded first (NaN counts as 0).
int pixel_coord(double v) {
  constexpr double kLimit = 1e9;
  if (!(v == v)) return 0;
  if (v < -kLimit) v = -kLimit;
  if (v > kLimit) v = kLimit;
  return int(v);
}

}  // namespace

void set_scroll_pos(mapwin_t* winobj, int axis, double position, double page) {
  plat::Wnd wnd = window_object_wnd(winobj);
  if (!wnd) return;
  plat::ScrollInfo si;
  si.mask = plat::SIF_RANGE | plat::SIF_PAGE | plat::SIF_POS;
  si.min = 0;
  si.max = kScrollRange;
  si.page = unsigned(bar_units(page));
  si.pos = bar_units(position);
  plat::set_scroll_info(wnd, bar_of(axis), &si, true);
}

int get_scroll_pos(mapwin_t* winobj, int axis, double* position, double* page, double* track) {
  plat::Wnd wnd = window_object_wnd(winobj);
  if (!wnd) return 0;
  plat::ScrollInfo si;
  si.mask = plat::SIF_ALL;
  if (!plat::get_scroll_info(wnd, bar_of(axis), &si)) return 0;
  if (position) *position = double(si.pos) / kScrollRange;
  if (page) *page = double(si.page) / kScrollRange;
  if (track) *track = double(si.track_pos) / kScrollRange;
  return 1;
}

void set_invalid_rect_routine(invalid_rect_fn fn) { g_invalid_rect.store(fn); }

int region_rects(mapwin_t* mapwin, const plat::Region& region) {
  if (get_gblerr() == 0) {
    if (invalid_rect_fn fn = g_invalid_rect.load())
      for (plat::Rect r : region.rects()) {
        r.right += 1;
        r.bottom += 1;
        fn(mapwin, r);
      }
  }
  post_redraw();
  return int(region.rects().size());
}

void scroll_window_region(mapwin_t* mapwin, int dx, int dy) {
  plat::Wnd wnd = window_object_wnd(mapwin);
  if (!wnd) return;
  plat::Region uncovered;
  plat::scroll_window_ex(wnd, dx, dy, nullptr, nullptr, &uncovered, nullptr, 0);
  region_rects(mapwin, uncovered);
}

void mapwin_fill_rect(mapwin_t* mapwin, const plat::Rect& r) {
  mapwin_t* w = or_current(mapwin);
  if (!w || !w->dc) return;
  plat::Brush b = w->inverse ? w->inverse_brush : w->brush;
  if (b) plat::fill_rect(w->dc, r, b);
}

void mapwin_fill_background(mapwin_t* mapwin) {
  mapwin_t* w = or_current(mapwin);
  if (!w || !w->pane) return;
  const extent_t& e = w->pane->current;
  plat::Rect r{pixel_coord(std::floor(e.xmin)), pixel_coord(std::floor(e.ymin)), pixel_coord(std::ceil(e.xmax)),
               pixel_coord(std::ceil(e.ymax))};
  mapwin_fill_rect(w, r);
}

void mapwin_set_clip(mapwin_t* mapwin, const plat::Rect& r) {
  mapwin_t* w = or_current(mapwin);
  if (!w || !w->dc || (w->pane && w->pane->printing)) return;
  plat::Rgn rgn = plat::create_rect_rgn_indirect(r);
  plat::select_clip_rgn(w->dc, rgn);
  plat::delete_object(rgn);
}

void set_image_render_routine(image_render_fn fn) { g_image_render.store(fn); }

plat::Bitmap render_to_bitmap(obj_t* image, int width, int height) {
  if (image_render_fn fn = g_image_render.load()) return fn(image, width, height);
  int w = width > 0 ? width : 32, h = height > 0 ? height : 32;
  plat::Bitmap bmp = plat::create_bitmap(w, h, nullptr);
  if (plat::Surface* s = plat::bitmap_surface(bmp)) {
    uint32_t face = plat::pixel_of(plat::get_sys_color(plat::COLOR_BTNFACE));
    for (uint32_t& p : s->pixels) p = face;
  }
  return bmp;
}
