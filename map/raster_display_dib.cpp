// The display buffer: one DIB per rectangle of the image layer, prepared at the size of
// the current pane's current rectangle, filled with the window's background, and copied
// to the device in one call once every image of the rectangle is in it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/view_records.h"

namespace {

// Kept between begin and end: the pane whose rectangle is composed and that rectangle.
struct display_pass {
  pane_t* pane = nullptr;
  extent_t rect{};
  size_t capacity = 0;
};

display_pass& pass() {
  static display_pass p;
  return p;
}

// Extents in packed records are copied byte-wise.
extent_t load_rect(const extent_t* p) {
  extent_t e;
  std::memcpy(&e, p, sizeof e);
  return e;
}
void store_rect(extent_t* p, extent_t e) { std::memcpy(p, &e, sizeof e); }

pane_t* current_pane() {
  const visible_hooks& h = visible_get_hooks();
  obj_t* p = h.current_pane ? h.current_pane() : nullptr;
  return p && p->cls == CLS_PANE ? static_cast<pane_t*>(p) : nullptr;
}

extent_t* pane_rect(pane_t* pane) {
  const visible_hooks& h = visible_get_hooks();
  return h.pane_rect ? h.pane_rect(pane) : nullptr;
}

// A rectangle's whole pixels, refused when not finite or too large for a DIB side.
bool pixel_bounds(extent_t r, int* x, int* y, int* w, int* h) {
  const double x0 = std::floor(r.xmin), y0 = std::floor(r.ymin);
  const double x1 = std::ceil(r.xmax), y1 = std::ceil(r.ymax);
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
    return false;
  if (!(x1 - x0 >= 1) || !(y1 - y0 >= 1) || x1 - x0 > kDibMaxSide || y1 - y0 > kDibMaxSide)
    return false;
  if (std::fabs(x0) > 1e9 || std::fabs(y0) > 1e9) return false;
  *x = int(x0);
  *y = int(y0);
  *w = int(x1 - x0);
  *h = int(y1 - y0);
  return true;
}

int header_resolution(const pane_t* pane) {
  if (pane && pane->resolution >= 1) return pane->resolution;
  return pane && pane->printing ? 600 : 96;
}

void grey_ramp(plat::BitmapInfo* info) {
  for (int i = 0; i < 256; ++i) info->colors[i] = plat::RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  info->colors_used = 256;
}

}  // namespace

pane_t* raster_display_pane() { return pass().pane; }

raster_dib& raster_display_buffer() {
  static raster_dib d;
  return d;
}

int dib_prepare(int x, int y, int w, int h, int bpp, int* row_bytes, uint8_t** buffer,
                int shifts[4]) {
  raster_dib& d = raster_display_buffer();
  if (w < 1 || h < 1 || w > kDibMaxSide || h > kDibMaxSide || (bpp != 8 && bpp != 32)) return 1;
  const int row_pixels = (w + 3) & ~3;
  const int bytes = bpp / 8 * row_pixels;
  const size_t needed = size_t(bytes) * size_t(h);
  display_pass& p = pass();
  if (needed > p.capacity) {
    alloc_mem(&d.pixels, needed + 10);
    p.capacity = needed;
  }
  d.x = x;
  d.y = y;
  d.width = w;
  d.height = h;
  d.row_pixels = row_pixels;
  d.row_bytes = bytes;
  d.bits_per_pixel = bpp;
  d.palette_mode = bpp <= 8;
  d.header = plat::BitmapInfo{};
  d.header.width = row_pixels;
  d.header.height = -h;  // rows top-down
  d.header.bit_count = uint16_t(bpp);
  if (d.palette_mode) grey_ramp(&d.header);
  if (row_bytes) *row_bytes = bytes;
  if (buffer) *buffer = d.pixels;
  if (shifts) get_colour_shifts(&shifts[0], &shifts[1], &shifts[2], &shifts[3]);
  return 0;
}

void dib_fill_background() {
  raster_dib& d = raster_display_buffer();
  const pane_t* pane = pass().pane;
  if (!d.pixels || !pane || !pane->mapwin) return;
  const uint32_t c = pane->mapwin->background;
  const int r = int(c & 255), g = int(c >> 8 & 255), b = int(c >> 16 & 255);
  const size_t total = size_t(d.row_bytes) * size_t(d.height);
  if (d.palette_mode) {
    std::memset(d.pixels, g, total);
    return;
  }
  const uint32_t word = uint32_t(r) << rshift | uint32_t(g) << vshift | uint32_t(b) << bshift;
  for (size_t i = 0; i < total; i += 4) std::memcpy(d.pixels + i, &word, 4);
}

void raster_display_begin() {
  raster_dib& d = raster_display_buffer();
  display_pass& p = pass();
  d.active = false;
  p.pane = current_pane();
  if (!p.pane || !p.pane->mapwin) return;
  extent_t* r = pane_rect(p.pane);
  if (!r) return;
  p.rect = load_rect(r);
  int x = 0, y = 0, w = 0, h = 0;
  if (!pixel_bounds(p.rect, &x, &y, &w, &h)) return;
  const int bpp = p.pane->mapwin->depth <= 8 ? 8 : 32;
  if (dib_prepare(x, y, w, h, bpp, nullptr, nullptr, nullptr) != 0) return;
  d.resolution = header_resolution(p.pane);
  dib_fill_background();
  d.active = true;
}

void raster_display_end() {
  raster_dib& d = raster_display_buffer();
  display_pass& p = pass();
  if (!d.active || !p.pane) return;
  d.active = false;
  dib_apply_colour_rules(p.pane->mapwin);
  extent_t* r = pane_rect(p.pane);
  if (r) store_rect(r, p.rect);
  // Clipped to the page: only that part of the DIB goes to the device.
  extent_t clip{double(d.x), double(d.x + d.width), double(d.y), double(d.y + d.height), 0};
  const visible_hooks& h = visible_get_hooks();
  extent_t page{};
  if (h.pane_page && h.pane_page(p.pane, &page) && !extent_intersect(&clip, page)) return;
  if (!(clip.xmax > clip.xmin) || !(clip.ymax > clip.ymin)) return;
  dib_flush(clip);
}

int dib_flush(extent_t clip) {
  raster_dib& d = raster_display_buffer();
  pane_t* pane = pass().pane;
  mapwin_t* win = pane ? pane->mapwin : nullptr;
  if (!win || !win->dc || !d.pixels) return 1;
  if (win->palette) {
    plat::select_palette(win->dc, win->palette, false);
    plat::realize_palette(win->dc);
    if (win->back_dc && win->back_dc != win->dc) {
      plat::select_palette(win->back_dc, win->palette, false);
      plat::realize_palette(win->back_dc);
    }
  }
  int dx = 0, dy = 0;
  const raster_display_hooks& hooks = get_raster_display_hooks();
  if (hooks.page_offsets) hooks.page_offsets(&dx, &dy);
  const int x0 = std::max(d.x, int(std::floor(clip.xmin)));
  const int y0 = std::max(d.y, int(std::floor(clip.ymin)));
  const int x1 = std::min(d.x + d.width, int(std::ceil(clip.xmax)));
  const int y1 = std::min(d.y + d.height, int(std::ceil(clip.ymax)));
  if (x1 <= x0 || y1 <= y0) return 0;
  const int rows = plat::set_dibits_to_device(win->dc, x0 + dx, y0 + dy, x1 - x0, y1 - y0,
                                              x0 - d.x, y0 - d.y, 0, d.height, d.pixels,
                                              &d.header);
  if (rows <= 0) {
    win->print_error = 1;
    return 1;
  }
  return 0;
}
