// Rectangles, ellipses and arcs, dots, image symbols, and the thin wrappers of the
// drawing layer's calls on the target's context.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/memory.h"
#include "map/draw_gdi_internal.h"
#include "map/raster_display.h"

namespace {

// Some devices hold coordinates in 16 bits: shapes reaching that range are left out.
bool fits_device(double v) { return std::fabs(v) < kGdiCoordLimit - draw_st().width; }

plat::Color symbol_pixel(const bitmap_t* b, const uint8_t* const planes[3], int x) {
  if (b->planes >= 3)
    return plat::rgb(b->lut_r[planes[0][x]], b->lut_g[planes[1][x]], b->lut_b[planes[2][x]]);
  const uint8_t v = planes[0][x];
  return plat::rgb(b->lut_r[v], b->lut_g[v], b->lut_b[v]);
}

bool symbol_transparent(const bitmap_t* b, const uint8_t* const planes[3], int x) {
  if (!b->has_transparent) return false;
  if (b->planes >= 3)
    return planes[0][x] == b->transparent[0] && planes[1][x] == b->transparent[1] &&
           planes[2][x] == b->transparent[2];
  return planes[0][x] == b->transparent[0];
}

}  // namespace


void draw_screen_rect(int motif, int width, uint32_t colour, int fill, screen_pt a, screen_pt b) {
  draw_state& s = draw_st();
  if (!s.dc) return;
  const int x1 = device_coord(std::min(a.x, b.x), s.page_x);
  const int x2 = device_coord(std::max(a.x, b.x), s.page_x);
  const int y1 = device_coord(std::min(a.y, b.y), s.page_y);
  const int y2 = device_coord(std::max(a.y, b.y), s.page_y);
  select_pen_brush(motif, width, colour, fill);
  gdi_rectangle(x1, y1, x2, y2);
}

void draw_screen_ellipse(extent_t box, int motif, int width, uint32_t colour, int fill,
                         const screen_pt* start, const screen_pt* end) {
  draw_state& s = draw_st();
  if (!s.dc) return;
  for (double v : {box.xmin, box.xmax, box.ymin, box.ymax})
    if (!fits_device(v)) return;
  if (start && end)
    for (double v : {start->x, start->y, end->x, end->y})
      if (!fits_device(v)) return;
  select_pen_brush(motif, width, colour, fill);
  const int l = device_coord(box.xmin, s.page_x), r = device_coord(box.xmax, s.page_x);
  const int t = device_coord(box.ymin, s.page_y), b = device_coord(box.ymax, s.page_y);
  if (!start || !end) {
    gdi_ellipse(l, t, r, b);
    return;
  }
  plat::set_arc_direction(s.dc, plat::AD_COUNTERCLOCKWISE);
  gdi_arc(l, t, r, b, device_coord(start->x, s.page_x), device_coord(start->y, s.page_y),
          device_coord(end->x, s.page_x), device_coord(end->y, s.page_y));
}

void draw_screen_dot(int motif, uint32_t colour, int fill, screen_pt p) {
  draw_state& s = draw_st();
  if (!s.dc) return;
  clip_window_set(s.width);
  if (clip_outcode(p)) return;
  select_pen_brush(motif, int(s.width), colour, fill);
  gdi_dot(device_coord(p.x, s.page_x), device_coord(p.y, s.page_y));
}

namespace {

// An image library's symbol (ECW, MrSID) at the display size `scale` gives it: at its
// own size from the display copy made once and kept in the image, at another size (a
// printer page) from a copy made for this drawing.
void draw_library_symbol(bitmap_t* b, double x, double y, double scale) {
  draw_state& s = draw_st();
  uint32_t* made = nullptr;
  const uint32_t* pixels = nullptr;
  int size[2] = {};
  if (scale == 1.0) {
    if (symbol_bitmap_prepare(b, 0, 0, 0, 1.0, nullptr, nullptr) != 0) return;
    pixels = symbol_bitmap_pixels(b, &size[0], &size[1]);
  } else {
    if (symbol_bitmap_prepare(b, 0, 0, 0, scale, &made, size) != 0) return;
    pixels = made;
  }
  if (pixels) {
    const double left = std::floor(x - size[0] / 2.0 + 0.5), top = std::floor(y - size[1] / 2.0 + 0.5);
    dib_put_bitmap(s.dc, pixels, device_coord(left, s.page_x), device_coord(top, s.page_y), size[0],
                   size[1], 1);
  }
  free_mem(&made);
}

}  // namespace

// Pixels outside the clipping window are not visited: a large image used as a symbol
// costs only what shows of it. Scaled, each drawn pixel shows the bitmap pixel under its
// centre, so that at scale 1 every bitmap pixel is one drawn pixel. An image without line
// store whose decoding library draws it (ECW, MrSID) goes through its display copy.
void draw_bitmap_symbol(const bitmap_t* bitmap, double x, double y) {
  draw_state& s = draw_st();
  if (!s.dc || !bitmap || bitmap->cls != CLS_BITMAP) return;
  const int w = bitmap->width, h = bitmap->height;
  if (w <= 0 || h <= 0) return;
  const double scale = draw_symbol_scale();
  if (!bitmap->lines) {
    if (bitmap->format == kFormatEcw || bitmap->format == kFormatMrSid)
      draw_library_symbol(const_cast<bitmap_t*>(bitmap), x, y, scale);  // only its display copy is made
    return;
  }
  // The drawn size, bounded by what any device could show.
  const double dw_real = std::min(w * scale, double(kGdiCoordLimit));
  const double dh_real = std::min(h * scale, double(kGdiCoordLimit));
  const int64_t dw = std::max<int64_t>(1, std::llround(dw_real));
  const int64_t dh = std::max<int64_t>(1, std::llround(dh_real));
  clip_window_set(0.0);
  const extent_t c = s.clip;
  const double left = std::floor(x - dw / 2.0 + 0.5), top = std::floor(y - dh / 2.0 + 0.5);
  const int64_t row0 = int64_t(std::clamp(c.ymin - top, 0.0, double(dh)));
  const int64_t row1 = int64_t(std::clamp(c.ymax - top + 1, 0.0, double(dh)));
  const int64_t col0 = int64_t(std::clamp(c.xmin - left, 0.0, double(dw)));
  const int64_t col1 = int64_t(std::clamp(c.xmax - left + 1, 0.0, double(dw)));
  bitmap_t* b = const_cast<bitmap_t*>(bitmap);  // lines are brought in, not changed
  const int depth = bitmap->planes;  // a copy: the record is packed
  for (int64_t row = row0; row < row1; ++row) {
    const int sy = int((2 * row + 1) * h / (2 * dh));
    const uint8_t* planes[3] = {};
    for (int p = 0; p < std::min(depth, 3); ++p) planes[p] = get_img_line_adr(b, sy, p);
    if (!planes[0] || (depth >= 3 && (!planes[1] || !planes[2]))) continue;
    for (int64_t col = col0; col < col1; ++col) {
      const int sx = int((2 * col + 1) * w / (2 * dw));
      if (symbol_transparent(b, planes, sx)) continue;
      plat::set_pixel(s.dc, device_coord(left + double(col), s.page_x),
                      device_coord(top + double(row), s.page_y), symbol_pixel(b, planes, sx));
    }
  }
}

// ---- Thin wrappers ------------------------------------------------------------------------
void gdi_polyline2(int x1, int y1, int x2, int y2) {
  const plat::Point pts[2] = {{x1, y1}, {x2, y2}};
  if (draw_st().dc) plat::polyline(draw_st().dc, pts, 2);
}
void gdi_polyline(const plat::Point* pts, int count) {
  if (draw_st().dc) plat::polyline(draw_st().dc, pts, count);
}
void gdi_rectangle(int left, int top, int right, int bottom) {
  if (draw_st().dc) plat::rectangle(draw_st().dc, left, top, right, bottom);
}
void gdi_ellipse(int left, int top, int right, int bottom) {
  if (draw_st().dc) plat::ellipse(draw_st().dc, left, top, right, bottom);
}
void gdi_arc(int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
  if (draw_st().dc) plat::arc(draw_st().dc, left, top, right, bottom, x1, y1, x2, y2);
}
void gdi_dot(int x, int y) {
  const plat::Point p{x, y};
  if (draw_st().dc) plat::polyline(draw_st().dc, &p, 1);
}
void gdi_drawtext(const char16_t* text, int count, int x, int y) {
  plat::Rect r{x, y, x, y};
  if (draw_st().dc) plat::draw_text(draw_st().dc, text, count, &r, plat::DT_NOCLIP);
}
