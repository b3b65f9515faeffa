// Raster operations of the blits, shared by the context-to-context copies (blit.cpp) and
// the copies from device-independent bitmaps (dib.cpp).
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

// Stretches block (sx, sy, sw, sh) of a surface (surface coordinates, negative sizes
// mirror) onto the logical block (x, y, w, h) of a context.
bool stretch_surface(Dc dst, int x, int y, int w, int h, const Surface& src, int64_t sx, int64_t sy,
                     int sw, int sh, uint32_t rop);

}  // namespace plat
