// The colour rules of a composed DIB: images in shades of the window's monochrome-image
// colour (a ramp from black, or towards black with inverse display), or inverse display
// alone (each channel 255 minus it). A grey page (palette mode) keeps its bytes and
// changes its colour table instead, which gives the same picture.
#include <cstring>

#include "map/raster_display.h"
#include "map/view_records.h"

namespace {

uint32_t pack(int r, int g, int b) {
  return uint32_t(r) << rshift | uint32_t(g) << vshift | uint32_t(b) << bshift;
}

int channel(uint32_t pixel, int shift) { return int(pixel >> shift & 255); }

void mono_truecolour(raster_dib& d, uint32_t colour, int inverse) {
  uint32_t ramp[256];
  for (int i = 0; i < 256; ++i) ramp[i] = mono_ramp_entry(colour, inverse, i);
  for (int y = 0; y < d.height; ++y) {
    uint8_t* row = d.pixels + size_t(y) * size_t(d.row_bytes);
    for (int x = 0; x < d.width; ++x) {
      uint32_t p;
      std::memcpy(&p, row + 4 * x, 4);
      std::memcpy(row + 4 * x, &ramp[channel(p, vshift)], 4);
    }
  }
}

void inverse_truecolour(raster_dib& d) {
  const uint32_t mask = 255u << rshift | 255u << vshift | 255u << bshift;
  for (int y = 0; y < d.height; ++y) {
    uint8_t* row = d.pixels + size_t(y) * size_t(d.row_bytes);
    for (int x = 0; x < d.width; ++x) {
      uint32_t p;
      std::memcpy(&p, row + 4 * x, 4);
      p ^= mask;
      std::memcpy(row + 4 * x, &p, 4);
    }
  }
}

// Palette mode: the byte of a pixel is its grey level, so the rules go into the table.
void rules_in_table(raster_dib& d, const mapwin_t* win) {
  for (int i = 0; i < 256; ++i) {
    uint32_t p = 0;
    if (win->monochrome)
      p = mono_ramp_entry(win->mono_colour, win->inverse, i);
    else
      p = win->inverse ? pack(255 - i, 255 - i, 255 - i) : pack(i, i, i);
    d.header.colors[i] = plat::RgbQuad{uint8_t(channel(p, bshift)), uint8_t(channel(p, vshift)),
                                       uint8_t(channel(p, rshift)), 0};
  }
}

}  // namespace

uint32_t mono_ramp_entry(uint32_t colour, int inverse, int i) {
  const int level = inverse ? 255 - i : i;
  const int r = level * int(colour & 255) / 256;
  const int g = level * int(colour >> 8 & 255) / 256;
  const int b = level * int(colour >> 16 & 255) / 256;
  return pack(r, g, b);
}

void dib_apply_colour_rules(const mapwin_t* win) {
  raster_dib& d = raster_display_buffer();
  if (!win || !d.pixels) return;
  if (d.palette_mode) {
    rules_in_table(d, win);
    return;
  }
  if (win->monochrome)
    mono_truecolour(d, win->mono_colour, win->inverse);
  else if (win->inverse)
    inverse_truecolour(d);
}
