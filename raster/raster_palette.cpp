// Palette routines of the readers, and the default colour table of the map model.
#include <cstdint>

#include "map/bitmap_record.h"
#include "raster/raster_ops.h"

namespace {

// Red in bits 0-7, green 8-15, blue 16-23, the fourth byte in 24-31.
constexpr uint32_t word(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return r | g << 8 | b << 16 | a << 24;
}

constexpr uint32_t kDefaultColours[] = {
    word(0, 0, 0, 255),       word(255, 255, 255, 0), word(0, 0, 0, 255),
    word(0, 255, 0, 255),     word(0, 255, 255, 192), word(255, 255, 128, 0),
    word(128, 64, 0, 128),    word(128, 128, 128, 0), word(128, 0, 128, 0),
    word(0, 0, 128, 128),     word(0, 48, 255, 255),  word(0, 0, 255, 255),
    word(0, 192, 192, 192),   word(192, 192, 0, 0)};
constexpr int kDefaultColourCount = int(sizeof kDefaultColours / sizeof kDefaultColours[0]);

// Squared distance to white: larger than any real one to start the search.
constexpr int kFarFromWhite = 524288;
constexpr int kPaletteEntries = 256;

}  // namespace

int palette_find_exact(const bitmap_t* image, uint32_t colour, uint8_t* index) {
  if (!image) return 0;
  const uint8_t r = colour & 0xff, g = (colour >> 8) & 0xff, b = (colour >> 16) & 0xff;
  for (int i = 0; i < kPaletteEntries; ++i) {
    if (image->lut_r[i] == r && image->lut_g[i] == g && image->lut_b[i] == b) {
      if (index) *index = uint8_t(i);
      return 1;
    }
  }
  return 0;
}

int palette_find_or_add_white(uint8_t* palette, int* count, uint8_t* index) {
  if (!palette || !count) return 0;
  int n = *count < 0 ? 0 : (*count > kPaletteEntries ? kPaletteEntries : *count);
  int best = kFarFromWhite, nearest = 0;
  for (int i = 0; i < n; ++i) {
    const int dr = 255 - palette[i], dg = 255 - palette[256 + i], db = 255 - palette[512 + i];
    const int d = dr * dr + dg * dg + db * db;
    if (d == 0) {
      if (index) *index = uint8_t(i);
      return i;
    }
    if (d < best) {
      best = d;
      nearest = i;
    }
  }
  if (n == kPaletteEntries) {
    if (index) *index = uint8_t(nearest);
    return nearest;
  }
  palette[n] = palette[256 + n] = palette[512 + n] = 255;
  *count = n + 1;
  if (index) *index = uint8_t(n);
  return n;
}

int rgba_equal(uint32_t a, uint32_t b) { return a == b ? 1 : 0; }

uint32_t default_color(int index) {
  return index >= 0 && index < kDefaultColourCount ? kDefaultColours[index] : kDefaultColours[0];
}
