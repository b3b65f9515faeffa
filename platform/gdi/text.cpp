// Font objects and single-line text: create_font, metrics, extents, text_out, and the
// run drawing both text_out and draw_text rely on.
//
// Positions along a baseline are whole pixels (sums of rounded advances), so a text's
// extent is exactly the room its glyphs take and right-aligned text ends where asked.
// A turned font (escapement) lays the run out the same way along its turned baseline.
//
// Glyphs are blended into the surface two pixels at a time where the processor has SSE2:
// text on a map is many small labels, and per-pixel branches on the coverage cost more
// than the arithmetic. Both paths give the same words.
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/gdi/polygon_scan.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/text_run.h"
#include "platform/sys/utf.h"

namespace plat {

namespace {

constexpr int kMaxFontPixels = 4096;

// Glyph coverage a (0..255) of colour s over d, both 0x..RRGGBB, red and blue together.
// x / 255 rounded is (x + 128 + ((x + 128) >> 8)) >> 8, exact for every x that occurs
// (at most 255 * 255), so a = 0 gives d and a = 255 gives s.
inline uint32_t blend_rgb(uint32_t d, uint32_t s, uint32_t a) {
  uint32_t ia = 255 - a;
  uint32_t rb = (s & 0xFF00FFu) * a + (d & 0xFF00FFu) * ia + 0x800080u;
  rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
  uint32_t g = (s & 0x00FF00u) * a + (d & 0x00FF00u) * ia + 0x008000u;
  g = ((g + ((g >> 8) & 0x00FF00u)) >> 8) & 0x00FF00u;
  return rb | g;
}

inline void blend_pixel(uint32_t* p, uint32_t s, uint32_t a) {
  if (a != 0) *p = a == 255 ? s : 0xFF000000u | blend_rgb(*p, s, a);
}

#ifdef __SSE2__
// Two pixels at once, with the same arithmetic on 16-bit lanes (every intermediate value
// fits in 16 bits) and the top byte set where there is coverage: the same words as
// blend_pixel, without its unpredictable branches, which cost more than the arithmetic.
inline void blend_pair(uint32_t* p, uint32_t a0, uint32_t a1, __m128i src) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(a0 | (a1 << 8))), zero);  // a0 a1 as 16-bit lanes
  a = _mm_shufflelo_epi16(a, 0x50);                                               // a0 a0 a1 a1
  a = _mm_unpacklo_epi16(a, a);                                                   // a0 four times, a1 four times
  __m128i d = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  __m128i x = _mm_add_epi16(_mm_mullo_epi16(src, a), _mm_mullo_epi16(d, _mm_sub_epi16(_mm_set1_epi16(255), a)));
  x = _mm_add_epi16(x, _mm_set1_epi16(128));
  x = _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
  __m128i covered = _mm_andnot_si128(_mm_cmpeq_epi32(_mm_packus_epi16(a, zero), zero), _mm_set1_epi32(int(0xFF000000u)));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_or_si128(_mm_packus_epi16(x, zero), covered));
}
#endif

// One glyph row of coverage over n pixels in colour s (a pixel word).
void blend_span(uint32_t* dst, const uint8_t* cov, int n, uint32_t s) {
  int i = 0;
#ifdef __SSE2__
  const __m128i src = _mm_unpacklo_epi8(_mm_set1_epi32(int(s)), _mm_setzero_si128());
  for (; i + 2 <= n; i += 2)
    if (cov[i] | cov[i + 1]) blend_pair(dst + i, cov[i], cov[i + 1], src);
#endif
  for (; i < n; ++i) blend_pixel(dst + i, s, cov[i]);
}

void blend_glyph(Dc dc, const Glyph& g, int64_t gx, int64_t gy, uint32_t px) {
  if (g.width == 0 || gx > INT32_MAX / 2 || gx < INT32_MIN / 2 || gy > INT32_MAX / 2 || gy < INT32_MIN / 2) return;
  Rect area{int(gx), int(gy), int(gx) + g.width, int(gy) + g.height};
  Surface* s = dc->surface;
  for_each_clip_rect(*dc, area, [&](const Rect& r) {
    for (int y = r.top; y < r.bottom; ++y) {
      const uint8_t* cov = g.coverage.data() + size_t(y - area.top) * size_t(g.width) + size_t(r.left - area.left);
      blend_span(s->row(y) + r.left, cov, r.width(), px);
    }
  });
}

// Fills the box [u0, u1) x [v0, v1) of baseline coordinates (u along the baseline, v
// down from it) with a colour.
void fill_run_box(Dc dc, double ox, double oy, double co, double si, int u0, int u1, int v0, int v1, Color c) {
  if (u1 <= u0 || v1 <= v0) return;
  Painter p(dc, c, R2_COPYPEN);
  if (si == 0 && co == 1) {
    int64_t x0 = std::llround(ox) + u0, x1 = std::llround(ox) + u1;
    int64_t y0 = std::llround(oy) + v0, y1 = std::llround(oy) + v1;
    for (int64_t y = std::max<int64_t>(y0, p.box.top); y < std::min<int64_t>(y1, p.box.bottom); ++y)
      p.span(int(y), clamp_int(x0), clamp_int(x1));
    return;
  }
  // Turned: the box as a polygon (along = (cos, -sin), down = (sin, cos)).
  auto at = [&](int u, int v) {
    return PointL{std::llround(ox + u * co + v * si), std::llround(oy - u * si + v * co)};
  };
  PointL q[4] = {at(u0, v0), at(u1, v0), at(u1, v1), at(u0, v1)};
  int four = 4;
  scan_polygons(q, &four, 1, ALTERNATE, p.box.top, p.box.bottom, [&](int64_t y, const std::vector<SpanL>& spans) {
    for (const SpanL& s : spans)
      p.span(int(y), clamp_int(s.first), clamp_int(s.second));
  });
}

Font make_font(const LogFont& lf) {
  auto too_big = [](int v) { return v > kMaxFontPixels || v < -kMaxFontPixels; };  // abs(INT_MIN) would overflow
  if (too_big(lf.height) || too_big(lf.width)) return nullptr;
  auto f = std::make_unique<GdiObjRec>();
  f->kind = OBJ_FONT;
  f->logfont = lf;
  f->logfont.face_name[sizeof lf.face_name - 1] = 0;
  f->face = resolve_font(f->logfont);
  return gdi_register(std::move(f));
}

}  // namespace

// ---- Fonts ------------------------------------------------------------------------------

Font create_font_indirect(const LogFont& lf) { return make_font(lf); }

Font create_font(int height, int width, int escapement, int orientation, int weight, int italic,
                 int underline, int strike_out, int char_set, int out_precision, int clip_precision,
                 int quality, int pitch_and_family, const char* face) {
  LogFont lf;
  lf.height = height;
  lf.width = width;
  lf.escapement = escapement;
  lf.orientation = orientation;
  lf.weight = weight;
  lf.italic = uint8_t(italic != 0);
  lf.underline = uint8_t(underline != 0);
  lf.strike_out = uint8_t(strike_out != 0);
  lf.char_set = uint8_t(char_set);
  lf.out_precision = uint8_t(out_precision);
  lf.clip_precision = uint8_t(clip_precision);
  lf.quality = uint8_t(quality);
  lf.pitch_and_family = uint8_t(pitch_and_family);
  if (face) snprintf(lf.face_name, sizeof lf.face_name, "%s", face);
  return make_font(lf);
}

bool get_font_info(Font font, LogFont* out) {
  std::lock_guard<std::mutex> lock(gdi_object_lock());
  if (!gdi_is_live(font) || font->kind != OBJ_FONT || font->delete_pending) return false;
  if (out) *out = font->logfont;
  return true;
}

std::shared_ptr<FontFace> dc_font(const DcRec& dc) {
  if (dc.font && dc.font->face) return dc.font->face;
  return stock_object(SYSTEM_FONT)->face;
}

bool get_text_metrics(Dc dc, TextMetrics* out) {
  if (!dc || !out) return false;
  auto f = dc_font(*dc);
  const FontMetricsPx& m = f->m;
  *out = TextMetrics{};
  out->height = m.height;
  out->ascent = m.ascent;
  out->descent = m.descent;
  out->internal_leading = m.internal_leading;
  out->ave_char_width = m.ave_width;
  out->max_char_width = m.max_width;
  out->weight = f->lf.weight ? f->lf.weight : FW_NORMAL;
  out->italic = f->lf.italic;
  out->underlined = f->lf.underline;
  out->struck_out = f->lf.strike_out;
  out->pitch_and_family = f->lf.pitch_and_family;
  return true;
}

// ---- Runs -------------------------------------------------------------------------------

void decode_utf16(const char16_t* text, int count, std::vector<char32_t>& out) {
  out.clear();
  if (!text) return;
  size_t n = 0;
  if (count < 0) while (text[n]) ++n;
  else n = size_t(count);
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    char32_t c = 0;
    i += plat::utf16_decode(text + i, n - i, &c);
    out.push_back(c);
  }
}

int measure_run(const FontFace& f, const char32_t* cps, size_t n, std::vector<int>& adv, GlyphList* glyphs) {
  if (glyphs && f.set) {
    get_glyphs(f, cps, n, *glyphs);
    adv.assign(n, 0);
    for (size_t i = 0; i < n; ++i) adv[i] = (*glyphs)[i] ? (*glyphs)[i]->advance : 0;
  } else {
    get_advances(f, cps, n, adv);
  }
  int64_t w = 0;  // a long enough text at the largest size would pass the int range
  for (size_t i = 0; i < n; ++i) {
    if (cps[i] < 32) adv[i] = 0;
    w += adv[i];
  }
  return clamp_int(w);
}

void draw_run(Dc dc, const FontFace& f, double ox, double oy, const RunLayout& run, bool opaque) {
  if (!dc->surface || dc->clip_box.empty()) return;
  double co = std::cos(f.angle), si = std::sin(f.angle);
  if (f.lf.escapement == 0) { co = 1; si = 0; }
  if (opaque) fill_run_box(dc, ox, oy, co, si, 0, run.width, -f.m.ascent, f.m.descent, dc->bk_color);
  GlyphList fetched;
  const GlyphList* gl = &run.glyphs;
  if (run.glyphs.size() != run.cps.size()) {
    get_glyphs(f, run.cps.data(), run.cps.size(), fetched);
    gl = &fetched;
  }
  const GlyphList& glyphs = *gl;
  uint32_t solid = pixel_of(dc->text_color);
  for (size_t i = 0; i < run.cps.size(); ++i) {
    if (!glyphs[i] || run.cps[i] < 32) continue;
    int64_t penx = std::llround(ox + run.pos[i] * co), peny = std::llround(oy - run.pos[i] * si);
    const Glyph& g = *glyphs[i];
    blend_glyph(dc, g, penx + g.left, peny - g.top, solid);
  }
  if (f.lf.underline) draw_underline(dc, f, ox, oy, 0, run.width);
  if (f.lf.strike_out) {
    int t = f.m.underline_thickness;
    fill_run_box(dc, ox, oy, co, si, 0, run.width, -f.m.strike_offset, -f.m.strike_offset + t, dc->text_color);
  }
}

void draw_underline(Dc dc, const FontFace& f, double ox, double oy, int u0, int u1) {
  double co = std::cos(f.angle), si = std::sin(f.angle);
  if (f.lf.escapement == 0) { co = 1; si = 0; }
  int v0 = std::min(f.m.underline_offset, std::max(f.m.descent - f.m.underline_thickness, 0));
  fill_run_box(dc, ox, oy, co, si, u0, u1, v0, v0 + f.m.underline_thickness, dc->text_color);
}

// ---- Single lines -----------------------------------------------------------------------

bool get_text_extent_point(Dc dc, const char16_t* text, int count, Size* out) {
  if (!dc || !out || (!text && count != 0)) return false;
  auto f = dc_font(*dc);
  std::vector<char32_t> cps;
  decode_utf16(text, count, cps);
  std::vector<int> adv;
  *out = Size{measure_run(*f, cps.data(), cps.size(), adv), f->m.height};
  return true;
}

bool text_out(Dc dc, int x, int y, const char16_t* text, int count) {
  if (!dc || (!text && count != 0)) return false;
  refresh_clip(dc);
  auto f = dc_font(*dc);
  RunLayout run;
  decode_utf16(text, count, run.cps);
  std::vector<int> adv;
  run.width = measure_run(*f, run.cps.data(), run.cps.size(), adv, &run.glyphs);
  run.pos.resize(adv.size());
  for (size_t i = 0, u = 0; i < adv.size(); u += size_t(adv[i]), ++i) run.pos[i] = clamp_int(int64_t(u));
  int align = dc->text_align;
  Point ref = (align & TA_UPDATECP) ? dc->current : Point{x, y};
  // Start of the baseline relative to the reference point, in baseline coordinates.
  int u = (align & TA_CENTER) == TA_CENTER ? -run.width / 2 : (align & TA_CENTER) == TA_RIGHT ? -run.width : 0;
  int v = (align & TA_BASELINE) == TA_BASELINE ? 0 : (align & TA_BASELINE) == TA_BOTTOM ? -f->m.descent : f->m.ascent;
  double co = f->lf.escapement ? std::cos(f->angle) : 1, si = f->lf.escapement ? std::sin(f->angle) : 0;
  PointL r = to_surface(*dc, ref);
  double ox = double(r.x) + u * co + v * si, oy = double(r.y) - u * si + v * co;
  draw_run(dc, *f, ox, oy, run, dc->bk_mode == OPAQUE);
  if (align & TA_UPDATECP) {
    int du = (align & TA_CENTER) == TA_RIGHT ? -run.width : (align & TA_CENTER) == TA_CENTER ? 0 : run.width;
    dc->current.x = clamp_int(dc->current.x + std::llround(du * co));
    dc->current.y = clamp_int(dc->current.y - std::llround(du * si));
  }
  return true;
}

}  // namespace plat
