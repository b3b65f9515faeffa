// The font cache: FreeType faces for the DejaVu files, and rendered glyphs kept per
// face, size and angle. Shared by every thread, so everything here runs under one lock;
// glyphs are handed out as shared pointers so that a text being drawn keeps its glyphs
// while another thread trims the cache.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/gdi.h"

namespace plat {

// One rendered glyph: 8-bit coverage, placed at (pen x + left, pen y - top) where the pen
// is on the baseline; the advance is along the baseline, in whole pixels.
struct Glyph {
  int left = 0, top = 0, width = 0, height = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;  // width * height, rows top to bottom
};

struct GlyphSet;  // the cached glyphs of one face at one size and angle

// Pixel metrics of a resolved font.
struct FontMetricsPx {
  int height = 0, ascent = 0, descent = 0, internal_leading = 0;
  int ave_width = 0, max_width = 0;
  int underline_offset = 1, underline_thickness = 1;  // below the baseline
  int strike_offset = 0;                              // above the baseline
};

// A font as created: its parameters, the face file chosen, the size in pixels, and its
// glyph set. A font whose file could not be loaded has no set: it measures with made-up
// metrics and draws nothing.
struct FontFace {
  LogFont lf;
  int file = -1;
  double em_x = 0, em_y = 0;
  double angle = 0;  // radians, counter-clockwise
  FontMetricsPx m;
  std::shared_ptr<GlyphSet> set;
};

std::shared_ptr<FontFace> resolve_font(const LogFont& lf);

// The glyphs of a run of code points, rendered where missing. Null entries for a font
// without a face.
void get_glyphs(const FontFace& font, const char32_t* cps, size_t n,
                std::vector<std::shared_ptr<const Glyph>>& out);

// The advance of each code point (a font without a face advances by its average width).
void get_advances(const FontFace& font, const char32_t* cps, size_t n, std::vector<int>& out);

}  // namespace plat
