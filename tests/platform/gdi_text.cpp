// Text: placement and measures that hold for any version of the font files (ink inside
// the extent, alignment to the reference point, sizes that grow with the height,
// underline below the baseline, background box), draw_text's formats, turned text,
// and a missing font folder.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/platform/gdi_fixture.h"

namespace {

using namespace gdi_test;
using plat::Point;
using plat::Rect;
using plat::Size;

plat::Font font(int height, const char* face = "MS Sans Serif", int weight = plat::FW_NORMAL, int italic = 0,
                int underline = 0, int escapement = 0, int width = 0) {
  return plat::create_font(height, width, escapement, 0, weight, italic, underline, 0, 0, 0, 0, 2, 0, face);
}

void use_font(Canvas& cv, plat::Font f) { plat::delete_object(plat::select_object(cv.dc, f)); }

Size extent(plat::Dc dc, const std::u16string& s) {
  Size sz;
  EXPECT_TRUE(plat::get_text_extent_point(dc, s.c_str(), int(s.size()), &sz));
  return sz;
}

bool inside(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

TEST(GdiText, ExtentFollowsTheHeight) {
  const std::u16string text = u"Mapping 123";
  int last_cx = 0, last_cy = 0;
  // Character heights growing, then cell heights growing.
  for (int h : {-8, -12, -20, -40}) {
    Canvas cv(10, 10);
    use_font(cv, font(h));
    Size s = extent(cv.dc, text);
    plat::TextMetrics tm;
    ASSERT_TRUE(plat::get_text_metrics(cv.dc, &tm));
    EXPECT_EQ(s.cy, tm.height);
    EXPECT_EQ(tm.ascent + tm.descent, tm.height);
    EXPECT_GE(tm.height, -h);  // the cell holds the character height
    EXPECT_GT(tm.ave_char_width, 0);
    EXPECT_GE(tm.max_char_width, tm.ave_char_width);
    EXPECT_GT(s.cx, last_cx);
    EXPECT_GT(s.cy, last_cy);
    last_cx = s.cx;
    last_cy = s.cy;
  }
  for (int h : {10, 16, 31}) {
    Canvas cv(10, 10);
    use_font(cv, font(h));
    EXPECT_EQ(extent(cv.dc, text).cy, h) << "a positive height is the cell height";
  }
  // Longer text is wider; the empty text has no width.
  Canvas cv(10, 10);
  use_font(cv, font(-12));
  EXPECT_GT(extent(cv.dc, u"abcdef").cx, extent(cv.dc, u"abc").cx);
  EXPECT_EQ(extent(cv.dc, u"").cx, 0);
  // A wider font is wider, a mono face gives every letter the same width.
  Canvas wide(10, 10), mono(10, 10), sans(10, 10);
  use_font(wide, font(-12, "Arial", 400, 0, 0, 0, 20));
  EXPECT_GT(extent(wide.dc, u"abc").cx, extent(cv.dc, u"abc").cx);
  use_font(mono, font(-14, "Courier New"));
  EXPECT_EQ(extent(mono.dc, u"iiii").cx, extent(mono.dc, u"WWWW").cx);
  use_font(sans, font(-14, "Arial"));
  EXPECT_LT(extent(sans.dc, u"iiii").cx, extent(sans.dc, u"WWWW").cx);
}

// The glyphs' ink stays inside the extent placed by the alignment, whatever the font
// version: left/top at the point, right-aligned ending at it, centred around it, and
// baseline or bottom alignment above the point.
TEST(GdiText, AlignmentPlacesTheExtent) {
  const std::u16string text = u"Hxgj Ok";
  for (int align : {plat::TA_LEFT | plat::TA_TOP, plat::TA_RIGHT | plat::TA_TOP, plat::TA_CENTER | plat::TA_TOP,
                    plat::TA_LEFT | plat::TA_BASELINE, plat::TA_RIGHT | plat::TA_BOTTOM,
                    plat::TA_CENTER | plat::TA_BASELINE}) {
    Canvas cv(200, 100);
    use_font(cv, font(-20));
    plat::set_bk_mode(cv.dc, plat::TRANSPARENT);
    plat::set_text_align(cv.dc, align);
    Size s = extent(cv.dc, text);
    plat::TextMetrics tm;
    plat::get_text_metrics(cv.dc, &tm);
    const int x = 100, y = 50;
    ASSERT_TRUE(plat::text_out(cv.dc, x, y, text.c_str(), int(text.size())));
    int left = (align & plat::TA_CENTER) == plat::TA_CENTER ? x - s.cx / 2
               : (align & plat::TA_CENTER) == plat::TA_RIGHT ? x - s.cx : x;
    int top = (align & plat::TA_BASELINE) == plat::TA_BASELINE ? y - tm.ascent
              : (align & plat::TA_BASELINE) == plat::TA_BOTTOM ? y - tm.height : y;
    Rect ink = cv.ink_box();
    EXPECT_FALSE(ink.empty());
    EXPECT_TRUE(inside(ink, Rect{left, top, left + s.cx, top + s.cy}))
        << "align " << align << ": ink " << ink.left << "," << ink.top << "," << ink.right << "," << ink.bottom
        << " extent " << left << "," << top << "," << left + s.cx << "," << top + s.cy;
    // The ink fills most of the extent's width: the text really starts and ends there.
    EXPECT_GE(ink.width(), s.cx - 4 * tm.ave_char_width / 3);
  }
}

TEST(GdiText, ColourBackgroundAndUnderline) {
  const std::u16string text = u"HHHH";
  // Transparent: only the text colour's shades; opaque: the whole extent box is painted.
  Canvas clear(100, 40), opaque(100, 40);
  for (Canvas* cv : {&clear, &opaque}) {
    use_font(*cv, font(-24));
    plat::set_text_color(cv->dc, kBlue);
    plat::set_bk_color(cv->dc, kRed);
  }
  plat::set_bk_mode(clear.dc, plat::TRANSPARENT);
  EXPECT_EQ(plat::get_bk_mode(opaque.dc), plat::OPAQUE);
  plat::text_out(clear.dc, 5, 5, text.c_str(), 4);
  plat::text_out(opaque.dc, 5, 5, text.c_str(), 4);
  Size s = extent(clear.dc, text);
  EXPECT_FALSE(clear.pixels(kBlue).empty()) << "full-coverage pixels take the text colour";
  EXPECT_TRUE(clear.pixels(kRed).empty());
  EXPECT_EQ(opaque.ink_box(), (Rect{5, 5, 5 + s.cx, 5 + s.cy}));
  for (int y = 5; y < 5 + s.cy; ++y)
    for (int x = 5; x < 5 + s.cx; ++x) ASSERT_NE(opaque.at(x, y), kWhite) << x << "," << y;
  // Underline: a row below the baseline, inside the cell, inked across the text.
  Canvas plain(100, 40), under(100, 40);
  use_font(plain, font(-24));
  use_font(under, font(-24, "Arial", 400, 0, 1));
  plat::TextMetrics tm;
  plat::get_text_metrics(under.dc, &tm);
  EXPECT_EQ(tm.underlined, 1);
  for (Canvas* cv : {&plain, &under}) {
    plat::set_bk_mode(cv->dc, plat::TRANSPARENT);
    plat::set_text_align(cv->dc, plat::TA_BASELINE);
    plat::text_out(cv->dc, 5, 25, text.c_str(), 4);
  }
  int lines = 0;
  for (int y = 26; y < 25 + tm.descent; ++y) {
    int inked = 0;
    for (int x = 5; x < 5 + s.cx; ++x) inked += under.at(x, y) != kWhite;
    int before = 0;
    for (int x = 0; x < 100; ++x) before += plain.at(x, y) != kWhite;
    if (inked == s.cx && before == 0) ++lines;
  }
  EXPECT_GE(lines, 1) << under.picture();
  // Nothing of it above the baseline that the plain text did not draw.
  for (int y = 0; y <= 25; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(under.at(x, y) == kWhite, plain.at(x, y) == kWhite) << x << "," << y;
}

// Antialiased glyphs mix the text colour into what is there by their coverage, rounded to
// the nearest value; pixels without coverage keep their word, top byte included. The
// coverage is read back from the same text drawn black on white (255 - red there).
TEST(GdiText, GlyphsBlendExactlyOverAnyBackground) {
  struct Case {
    std::u16string text;
    int height;
    Point at;
    bool clipped;  // a clip with holes at odd columns
  };
  const Case cases[] = {{u"Blend", -13, {3, 2}, false},
                        {u"iIl1!", -9, {0, 0}, false},
                        {u"Wg\u00e9 @%", -22, {5, 7}, false},
                        {u"Mixed text", -17, {2, 4}, true}};
  const plat::Color ink = plat::rgb(200, 30, 121);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    Canvas cover(120, 40), cv(120, 40);
    for (Canvas* k : {&cover, &cv}) {
      use_font(*k, font(c.height, "Arial"));
      plat::set_bk_mode(k->dc, plat::TRANSPARENT);
    }
    // A background of every shade, with top bytes as a DIB section's words may have.
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 120; ++x)
        cv.surface.row(y)[x] = (uint32_t((x * 7 + y) % 3) * 0x7F000000u) | uint32_t(x * 2) << 16 |
                               uint32_t(255 - y * 6) << 8 | uint32_t((x * y) & 255);
    if (c.clipped) {
      plat::exclude_clip_rect(cv.dc, 7, 0, 10, 40);
      plat::exclude_clip_rect(cv.dc, 31, 5, 36, 12);
    }
    const plat::Surface before = cv.surface;
    plat::set_text_color(cv.dc, ink);
    plat::text_out(cover.dc, c.at.x, c.at.y, c.text.c_str(), int(c.text.size()));
    plat::text_out(cv.dc, c.at.x, c.at.y, c.text.c_str(), int(c.text.size()));
    uint32_t s = plat::pixel_of(ink);
    int covered = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 120; ++x) {
        uint32_t d = before.at(x, y), got = cv.surface.at(x, y);
        uint32_t a = 255 - (cover.surface.at(x, y) >> 16 & 255);
        bool in_clip = !c.clipped || !((x >= 7 && x < 10) || (x >= 31 && x < 36 && y >= 5 && y < 12));
        if (a == 0 || !in_clip) {
          ASSERT_EQ(got, d) << x << "," << y;
          continue;
        }
        ++covered;
        uint32_t want = 0xFF000000u;
        for (int shift : {0, 8, 16}) {
          uint32_t mix = (s >> shift & 255) * a + (d >> shift & 255) * (255 - a);
          want |= (2 * mix + 255) / 510 << shift;  // mix / 255, rounded
        }
        ASSERT_EQ(got, want) << x << "," << y << " coverage " << a;
      }
    }
    EXPECT_GT(covered, 20);
  }
}

TEST(GdiText, WeightAndItalicPickOtherFaces) {
  auto ink_count = [](plat::Font f) {
    Canvas cv(200, 50);
    use_font(cv, f);
    plat::text_out(cv.dc, 2, 2, u"Bold or not", 11);
    return cv.not_white().size();
  };
  EXPECT_GT(ink_count(font(-20, "Arial", plat::FW_BOLD)), ink_count(font(-20, "Arial", plat::FW_NORMAL)));
  Canvas a(200, 50), b(200, 50);
  use_font(a, font(-20, "Times New Roman"));
  use_font(b, font(-20, "Times New Roman", 400, 1));
  plat::text_out(a.dc, 2, 2, u"Slanted", 7);
  plat::text_out(b.dc, 2, 2, u"Slanted", 7);
  EXPECT_NE(a.pixels(kBlack), b.pixels(kBlack));
  // Fonts beyond any sensible size are refused, down to the lowest int.
  EXPECT_EQ(font(-100000), nullptr);
  EXPECT_EQ(font(INT32_MIN), nullptr);
  EXPECT_EQ(font(-12, "Arial", plat::FW_NORMAL, 0, 0, 0, INT32_MIN), nullptr);
}

TEST(GdiText, TurnedTextRunsUp) {
  Canvas cv(100, 200);
  use_font(cv, font(-16, "Arial", 400, 0, 0, 900));
  plat::set_bk_mode(cv.dc, plat::TRANSPARENT);
  plat::set_text_align(cv.dc, plat::TA_BASELINE);
  plat::text_out(cv.dc, 50, 150, u"HHHHHHHH", 8);
  Rect ink = cv.ink_box();
  Size s = extent(cv.dc, u"HHHHHHHH");
  ASSERT_FALSE(ink.empty());
  EXPECT_GT(ink.height(), 2 * ink.width()) << cv.picture();
  EXPECT_LE(ink.bottom, 151);
  EXPECT_GE(ink.top, 150 - s.cx - 2);
  EXPECT_LE(ink.right, 51);  // the glyphs stand left of the upward baseline
}

TEST(GdiText, DrawTextFormats) {
  Canvas cv(300, 200);
  use_font(cv, font(-14));
  plat::TextMetrics tm;
  plat::get_text_metrics(cv.dc, &tm);
  // Measuring: lines at line breaks, one line with DT_SINGLELINE.
  struct Calc {
    std::u16string text;
    unsigned fmt;
    int lines;
  };
  const Calc calcs[] = {{u"one", 0, 1},
                        {u"one\ntwo", 0, 2},
                        {u"one\r\ntwo\nthree", 0, 3},
                        {u"one\ntwo", plat::DT_SINGLELINE, 1},
                        {u"alpha beta gamma delta", plat::DT_WORDBREAK, 4}};
  for (const Calc& c : calcs) {
    Rect r{10, 10, 10 + extent(cv.dc, u"gamma ").cx + 2, 100};
    int h = plat::draw_text(cv.dc, c.text.c_str(), int(c.text.size()), &r, c.fmt | plat::DT_CALCRECT);
    EXPECT_EQ(h, c.lines * tm.height) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(r.height(), h);
    EXPECT_EQ(r.top, 10);
  }
  EXPECT_TRUE(cv.not_white().empty()) << "DT_CALCRECT draws nothing";
  // Horizontal and vertical placement in a rectangle.
  const Rect box{50, 40, 250, 120};
  Size s = extent(cv.dc, u"Placed");
  for (unsigned fmt : {0u, unsigned(plat::DT_CENTER), unsigned(plat::DT_RIGHT),
                       unsigned(plat::DT_SINGLELINE | plat::DT_VCENTER | plat::DT_CENTER),
                       unsigned(plat::DT_SINGLELINE | plat::DT_BOTTOM | plat::DT_RIGHT)}) {
    Canvas c(300, 200);
    use_font(c, font(-14));
    Rect r = box;
    plat::draw_text(c.dc, u"Placed", 6, &r, fmt);
    int left = (fmt & plat::DT_RIGHT) ? box.right - s.cx : (fmt & plat::DT_CENTER) ? box.left + (box.width() - s.cx) / 2 : box.left;
    int top = !(fmt & plat::DT_SINGLELINE) ? box.top
              : (fmt & plat::DT_BOTTOM) ? box.bottom - s.cy
              : (fmt & plat::DT_VCENTER) ? box.top + (box.height() - s.cy) / 2 : box.top;
    Rect ink = c.ink_box();
    EXPECT_TRUE(inside(ink, Rect{left, top, left + s.cx, top + s.cy})) << "format " << fmt;
    EXPECT_FALSE(ink.empty());
  }
  // The rectangle clips unless DT_NOCLIP; an ellipsis keeps a long line inside it.
  const std::u16string longer = u"A rather long line of text";
  Rect narrow{20, 20, 80, 60};
  for (unsigned fmt : {0u, unsigned(plat::DT_NOCLIP), unsigned(plat::DT_NOCLIP | plat::DT_END_ELLIPSIS)}) {
    Canvas c(300, 100);
    use_font(c, font(-14));
    Rect r = narrow;
    plat::draw_text(c.dc, longer.c_str(), int(longer.size()), &r, fmt);
    Rect ink = c.ink_box();
    bool spills = ink.right > narrow.right;
    EXPECT_EQ(spills, fmt == plat::DT_NOCLIP) << "format " << fmt << " ink right " << ink.right << "\n" << c.picture();
    EXPECT_GT(ink.width(), narrow.width() / 2);
  }
  // Tabs expand to eight average widths.
  Rect tr{0, 0, 300, 50};
  plat::draw_text(cv.dc, u"a\tb", 3, &tr, plat::DT_EXPANDTABS | plat::DT_CALCRECT);
  EXPECT_GE(tr.width(), 8 * tm.ave_char_width);
}

// Rectangles spanning the whole int range: measures stop at its end, and text centred
// in such a rectangle sits around its middle (device 0, 0).
TEST(GdiText, DrawTextInRectanglesSpanningTheRange) {
  Canvas cv(100, 60);
  use_font(cv, font(-16));
  Size s = extent(cv.dc, u"Middle");
  Rect calc{INT32_MAX - 5, INT32_MAX - 3, INT32_MAX, INT32_MAX};
  EXPECT_EQ(plat::draw_text(cv.dc, u"Middle", 6, &calc, plat::DT_CALCRECT), s.cy);
  EXPECT_EQ(calc, (Rect{INT32_MAX - 5, INT32_MAX - 3, INT32_MAX, INT32_MAX}));
  Rect all{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  plat::set_bk_mode(cv.dc, plat::TRANSPARENT);
  EXPECT_EQ(plat::draw_text(cv.dc, u"Middle", 6, &all, plat::DT_CENTER | plat::DT_VCENTER | plat::DT_SINGLELINE), s.cy);
  Rect ink = cv.ink_box();
  EXPECT_FALSE(ink.empty());
  EXPECT_LE(ink.left, 2);  // a gap between letters may fall on the middle
  EXPECT_LE(ink.top, 2);
  EXPECT_LE(ink.right, s.cx / 2 + 1) << cv.picture();
  EXPECT_LE(ink.bottom, s.cy / 2 + 1) << cv.picture();
}

TEST(GdiText, PrefixUnderlinesOneCharacter) {
  Canvas with(200, 50), without(200, 50), literal(200, 50);
  for (Canvas* c : {&with, &without, &literal}) use_font(*c, font(-20));
  Rect r{10, 10, 190, 45};
  Rect r2 = r, r3 = r;
  plat::draw_text(with.dc, u"&File", 5, &r, 0);
  plat::draw_text(without.dc, u"File", 4, &r2, 0);
  plat::draw_text(literal.dc, u"&File", 5, &r3, plat::DT_NOPREFIX);
  Size f = extent(with.dc, u"F");
  // The only difference is a line under the first letter, below its baseline.
  PixelSet extra;
  for (auto p : with.not_white())
    if (!without.not_white().count(p)) extra.insert(p);
  ASSERT_FALSE(extra.empty());
  plat::TextMetrics tm;
  plat::get_text_metrics(with.dc, &tm);
  for (auto [x, y] : extra) {
    EXPECT_GE(x, 10);
    EXPECT_LT(x, 10 + f.cx);
    EXPECT_GE(y, 10 + tm.ascent);
    EXPECT_LT(y, 10 + tm.height);
  }
  for (auto p : without.not_white()) EXPECT_TRUE(with.not_white().count(p));
  // "&&" is one ampersand; DT_NOPREFIX draws the '&' itself.
  Rect m{0, 0, 200, 50}, m2 = m;
  plat::draw_text(with.dc, u"a&&b", 4, &m, plat::DT_CALCRECT);
  plat::draw_text(with.dc, u"a&b", 3, &m2, plat::DT_CALCRECT | plat::DT_NOPREFIX);
  EXPECT_EQ(m.width(), m2.width());
  EXPECT_GT(literal.ink_box().right, without.ink_box().right);
}

TEST(GdiText, MissingFontFilesMeasureButDrawNothing) {
  plat::set_font_dir("/nonexistent/fonts");
  {
    Canvas cv(100, 40);
    plat::Font f = font(-16, "Arial");
    ASSERT_NE(f, nullptr);
    use_font(cv, f);
    Size s = extent(cv.dc, u"Hello");
    EXPECT_GT(s.cx, 0);
    EXPECT_GT(s.cy, 0);
    EXPECT_TRUE(plat::text_out(cv.dc, 5, 5, u"Hello", 5));
    Rect r{0, 0, 100, 40};
    EXPECT_GT(plat::draw_text(cv.dc, u"Hello", 5, &r, plat::DT_SINGLELINE), 0);
    plat::set_bk_mode(cv.dc, plat::TRANSPARENT);
    Canvas clean(100, 40);
    use_font(clean, font(-16, "Arial"));
    plat::set_bk_mode(clean.dc, plat::TRANSPARENT);
    plat::text_out(clean.dc, 5, 5, u"Hello", 5);
    EXPECT_TRUE(clean.not_white().empty());
  }
  plat::set_font_dir(nullptr);
  Canvas cv(100, 40);
  use_font(cv, font(-16, "Arial"));
  plat::text_out(cv.dc, 5, 5, u"Hello", 5);
  EXPECT_FALSE(cv.not_white().empty());
}

TEST(GdiText, ThreadsShareTheGlyphCache) {
  // Two threads draw with their own fonts of the same face and size; each picture is the
  // one a single thread draws.
  auto draw = [](plat::Surface& s) {
    plat::Dc dc = plat::create_surface_dc(&s, Point{}, nullptr);
    plat::Font f = font(-13, "Arial");
    plat::GdiObj old = plat::select_object(dc, f);
    for (int i = 0; i < 50; ++i) {
      std::u16string t = u"Line " + std::u16string(1, char16_t(u'A' + i % 26)) + u" \u00e9\u00e8";
      plat::text_out(dc, 2, 2 + (i % 10) * 15, t.c_str(), int(t.size()));
    }
    plat::select_object(dc, old);
    plat::delete_object(f);
    plat::delete_dc(dc);
  };
  plat::Surface want(120, 160), a(120, 160), b(120, 160);
  draw(want);
  std::thread ta([&] { draw(a); });
  std::thread tb([&] { draw(b); });
  ta.join();
  tb.join();
  EXPECT_EQ(a.pixels, want.pixels);
  EXPECT_EQ(b.pixels, want.pixels);
}

}  // namespace
