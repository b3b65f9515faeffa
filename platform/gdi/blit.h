// Raster operations of the blits and the stretching they share: the context-to-context
// copies (blit.cpp) and the copies from device-independent bitmaps (dib.cpp).
#pragma once
#include <cstdint>

#include "platform/gdi/raster.h"
#include "platform/gdi/stroke.h"

namespace plat {

// Result of a three-operand raster operation on 0x..RRGGBB words.
using Rop3Fn = uint32_t (*)(uint8_t code, uint32_t pattern, uint32_t src, uint32_t dst);
Rop3Fn rop3_routine(uint8_t code);
bool rop3_uses_source(uint8_t code);
bool rop3_uses_pattern(uint8_t code);

// The pixels a stretch reads: a width x height block and a routine that gives the pixel
// words at columns xs[0..n) of row y (all inside the block). A stretch asks only for the
// pixels it shows, so a huge source costs no more than the destination it covers.
class StretchSource {
 public:
  StretchSource(int64_t w, int64_t h) : width(w), height(h) {}
  virtual ~StretchSource() = default;
  virtual void sample(int64_t y, const int64_t* xs, size_t n, uint32_t* out) const = 0;
  const int64_t width, height;
};

// Stretches block (sx, sy, sw, sh) of a source (negative sizes mirror) onto the logical
// block (x, y, w, h) of a context; source pixels outside the source are left out.
bool stretch_block(Dc dst, int64_t x, int64_t y, int64_t w, int64_t h, const StretchSource& src, int64_t sx,
                   int64_t sy, int64_t sw, int64_t sh, uint32_t rop);

}  // namespace plat
