// Shared by text_out and draw_text: decoding UTF-16, measuring a run of code points with
// a font, and drawing it along its baseline (background box, antialiased glyphs blended
// in the text colour, underline and strike-out lines), turned by the font's angle.
#pragma once
#include <memory>
#include <vector>

#include "platform/gdi/font_cache.h"
#include "platform/gdi/gdi_internal.h"

namespace plat {

// The selected font's face (the system font's when the selected one has none).
std::shared_ptr<FontFace> dc_font(const DcRec& dc);

// UTF-16 to code points; count -1 reads to the 0 terminator. Lone surrogates give
// U+FFFD.
void decode_utf16(const char16_t* text, int count, std::vector<char32_t>& out);

using GlyphList = std::vector<std::shared_ptr<const Glyph>>;

// Advance of every code point and the run's width. Control characters (below 32) take
// no room. The glyphs fetched on the way are handed back when asked for.
int measure_run(const FontFace& f, const char32_t* cps, size_t n, std::vector<int>& adv,
                GlyphList* glyphs = nullptr);

// A run laid out along a baseline: code points with their offsets along the baseline
// from its start, the run's width, and its glyphs when already fetched.
struct RunLayout {
  std::vector<char32_t> cps;
  std::vector<int> pos;
  int width = 0;
  GlyphList glyphs;
};

// Draws a run whose baseline starts at surface point `origin`. With `opaque` the cell
// box (ascent above to descent below the baseline, over the run's width) is filled with
// the background colour first.
void draw_run(Dc dc, const FontFace& f, double ox, double oy, const RunLayout& run, bool opaque);
// A line under part [u0, u1) of a baseline that starts at (ox, oy): the font's underline.
void draw_underline(Dc dc, const FontFace& f, double ox, double oy, int u0, int u1);

}  // namespace plat
