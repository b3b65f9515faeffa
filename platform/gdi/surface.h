// Surfaces: 32-bit pixel buffers that device contexts draw into. A pixel is a 32-bit
// word 0xAARRGGBB (bytes B, G, R, A in memory); the alpha byte is 0xFF for drawn pixels.
// Colours in the system's own numbers are 0x00BBGGRR words (the red byte lowest).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/geometry.h"

namespace plat {

using Color = uint32_t;  // 0x00BBGGRR
constexpr Color rgb(int r, int g, int b) {
  return Color(r & 255) | (Color(g & 255) << 8) | (Color(b & 255) << 16);
}
constexpr int red_of(Color c) { return int(c & 255); }
constexpr int green_of(Color c) { return int((c >> 8) & 255); }
constexpr int blue_of(Color c) { return int((c >> 16) & 255); }
// Pixel word of a colour, and back.
constexpr uint32_t pixel_of(Color c) {
  return 0xFF000000u | (uint32_t(red_of(c)) << 16) | (uint32_t(green_of(c)) << 8) | uint32_t(blue_of(c));
}
constexpr Color color_of_pixel(uint32_t p) { return rgb((p >> 16) & 255, (p >> 8) & 255, p & 255); }

struct Surface {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows top to bottom

  Surface() = default;
  Surface(int w, int h, uint32_t fill = 0xFFFFFFFFu) { resize(w, h, fill); }
  // Resizes, keeping the pixels that still fit; new pixels get `fill`.
  void resize(int w, int h, uint32_t fill = 0xFFFFFFFFu);
  uint32_t* row(int y) { return pixels.data() + size_t(y) * size_t(width); }
  const uint32_t* row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
  uint32_t at(int x, int y) const { return row(y)[x]; }
  Rect rect() const { return Rect{0, 0, width, height}; }
};

// Writes the surface (or a rectangle of it) as a PNG file; 0 on success.
int write_png(const Surface& s, const char* path);
int write_png_rect(const Surface& s, const Rect& r, const char* path);

}  // namespace plat
