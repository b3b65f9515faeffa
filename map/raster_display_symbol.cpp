// Bitmaps used as point symbols (waypoint icons and the like): a display copy at the
// symbol's size in packed 32-bit pixels, transparent pixels marked by a non-zero top
// byte, and the small blits that put such pixels on a device, opaque in one DIB copy
// or pixel by pixel skipping the marked ones.
//
// The copy kept in a bitmap lives in the bitmap's display words: width, height and the
// address of the pixel block, which the bitmap's destructor frees.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "map/raster_display.h"
#include "map/view_records.h"

namespace {

// A symbol larger than this on a side is refused: no icon comes near it, and a scale
// read from a style must not make an unbounded block.
constexpr double kSymbolMaxSide = 4096;

// Display words: 0 width, 1 height, 2 and 3 the pixel block.
uint32_t* kept_block(const bitmap_t* b) {
  uint32_t* p = nullptr;
  std::memcpy(&p, reinterpret_cast<const char*>(b) + offsetof(bitmap_t, display_words) + 8,
              sizeof p);
  return p;
}
void keep(bitmap_t* b, uint32_t* pixels, int w, int h) {
  char* words = reinterpret_cast<char*>(b) + offsetof(bitmap_t, display_words);
  std::memcpy(words, &w, 4);
  std::memcpy(words + 4, &h, 4);
  std::memcpy(words + 8, &pixels, sizeof pixels);
}
int kept_word(const bitmap_t* b, int i) {
  int v = 0;
  std::memcpy(&v, reinterpret_cast<const char*>(b) + offsetof(bitmap_t, display_words) + 4 * i, 4);
  return v;
}

bool scale_set(double s) { return std::isfinite(s) && s > 0; }

// The display size (see symbol_bitmap_prepare); false when not drawable.
bool display_size(const bitmap_t* b, int keep_aspect, int width, int height, double scale,
                  int* w, int* h) {
  const double f = scale_set(scale) ? scale : 1.0;
  double dw = width > 0 && height > 0 ? width * f : b->width * f;
  double dh = width > 0 && height > 0 ? height * f : b->height * f;
  if (!(dw >= 0.5) || !(dh >= 0.5)) return false;
  if (keep_aspect) {
    const double r = std::max({b->width / dw, b->height / dh, 1.0});
    dw = b->width / r;
    dh = b->height / r;
  }
  if (!(dw <= kSymbolMaxSide) || !(dh <= kSymbolMaxSide)) return false;
  *w = std::max(1, int(std::lround(dw)));
  *h = std::max(1, int(std::lround(dh)));
  return true;
}

uint32_t pack(int r, int g, int b) {
  return uint32_t(r) << rshift | uint32_t(g) << vshift | uint32_t(b) << bshift;
}

// Nearest-pixel copy of the bitmap's rows into w x h packed pixels.
void copy_pixels(bitmap_t* b, uint32_t* out, int w, int h) {
  const uint32_t marked = 255u << tshift;
  const bool skip = b->has_transparent != 0;
  const uint8_t* t = b->transparent;
  for (int y = 0; y < h; ++y) {
    const int sy = std::min(b->height - 1, int((y + 0.5) * b->height / h));
    const uint8_t* line = get_img_line_adr(b, sy, 0);
    for (int x = 0; x < w; ++x) {
      uint32_t& p = out[size_t(y) * size_t(w) + size_t(x)];
      if (!line) {
        p = marked;
        continue;
      }
      const int sx = std::min(b->width - 1, int((x + 0.5) * b->width / w));
      if (b->planes >= 3) {
        const uint8_t r = line[sx], g = line[b->width + sx], bl = line[2 * b->width + sx];
        p = pack(r, g, bl);
        if (skip && r == t[0] && g == t[1] && bl == t[2]) p |= marked;
      } else {
        const uint8_t v = line[sx];
        p = pack(b->lut_r[v], b->lut_g[v], b->lut_b[v]);
        if (skip && v == t[0]) p |= marked;
      }
    }
  }
}

void fill_copy(bitmap_t* b, uint32_t* out, int w, int h) {
  const raster_display_hooks& hooks = get_raster_display_hooks();
  if (b->format == kFormatEcw || b->format == kFormatMrSid) {
    std::memset(out, 0, size_t(w) * size_t(h) * 4);
    auto fn = b->format == kFormatEcw ? hooks.ecw_symbol : hooks.sid_symbol;
    if (fn) fn(b, out, w, h);
    return;
  }
  copy_pixels(b, out, w, h);
}

}  // namespace

int symbol_bitmap_prepare(bitmap_t* b, int keep_aspect, int width, int height, double scale,
                          uint32_t** pixels, int* size) {
  if (!b || b->width < 1 || b->height < 1) return 1;
  int w = 0, h = 0;
  if (!display_size(b, keep_aspect, width, height, scale, &w, &h)) return 1;
  if (!pixels && !size) {
    if (kept_block(b) && kept_word(b, 0) == w && kept_word(b, 1) == h) return 0;
    uint32_t* block = kept_block(b);
    alloc_mem(&block, size_t(w) * size_t(h) * 4);
    keep(b, block, w, h);
    fill_copy(b, block, w, h);
    return 0;
  }
  if (size) {
    size[0] = w;
    size[1] = h;
  }
  if (pixels) {
    uint32_t* block = nullptr;
    alloc_mem(&block, size_t(w) * size_t(h) * 4);
    fill_copy(b, block, w, h);
    *pixels = block;
  }
  return 0;
}

const uint32_t* symbol_bitmap_pixels(const bitmap_t* b, int* width, int* height) {
  const uint32_t* p = b ? kept_block(b) : nullptr;
  if (width) *width = p ? kept_word(b, 0) : 0;
  if (height) *height = p ? kept_word(b, 1) : 0;
  return p;
}

void symbol_bitmap_release(bitmap_t* b) {
  if (!b) return;
  uint32_t* block = kept_block(b);
  free_mem(&block);
  keep(b, nullptr, 0, 0);
}

int dib_put_bitmap(plat::Dc dc, const uint32_t* pixels, int x, int y, int w, int h,
                   int transparent) {
  if (!dc || !pixels || w < 1 || h < 1) return 1;
  if (!transparent) {
    plat::BitmapInfo info;
    info.width = w;
    info.height = -h;
    info.bit_count = 32;
    return plat::set_dibits_to_device(dc, x, y, w, h, 0, 0, 0, h, pixels, &info) > 0 ? 0 : 1;
  }
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const uint32_t p = pixels[size_t(j) * size_t(w) + size_t(i)];
      if ((p >> tshift & 255) != 0) continue;
      plat::set_pixel(dc, x + i, y + j,
                      plat::rgb(int(p >> rshift & 255), int(p >> vshift & 255), int(p >> bshift & 255)));
    }
  return 0;
}

int draw_bitmap_pixels(const uint32_t* pixels, int x, int y, int w, int h, int transparent) {
  mapwin_t* win = get_current_mapwin();
  if (!win || !win->dc) return 1;
  if (!transparent && win->palette) {
    plat::select_palette(win->dc, win->palette, false);
    plat::realize_palette(win->dc);
  }
  return dib_put_bitmap(win->dc, pixels, x, y, w, h, transparent);
}
