// Block transfers and bitmaps: raster operations against their truth tables, overlapping
// moves, memory contexts with their bitmaps, stretching and mirroring, DIB sources of
// every depth in both row orders, DIB sections, and the object rules (stock objects,
// deletion while selected, one context per bitmap).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "tests/platform/gdi_fixture.h"

namespace {

using namespace gdi_test;
using plat::Point;
using plat::Rect;

constexpr plat::Color kGrey = plat::rgb(0x33, 0x99, 0xCC);
constexpr plat::Color kMix = plat::rgb(0xF0, 0x0F, 0x5A);

TEST(GdiBlit, RasterOperationsFollowTheirTruthTables) {
  struct Case {
    uint32_t rop;
    uint32_t (*want)(uint32_t p, uint32_t s, uint32_t d);
  };
  const Case cases[] = {
      {plat::SRCCOPY, [](uint32_t, uint32_t s, uint32_t) { return s; }},
      {plat::SRCAND, [](uint32_t, uint32_t s, uint32_t d) { return s & d; }},
      {plat::SRCPAINT, [](uint32_t, uint32_t s, uint32_t d) { return s | d; }},
      {plat::SRCINVERT, [](uint32_t, uint32_t s, uint32_t d) { return s ^ d; }},
      {plat::SRCERASE, [](uint32_t, uint32_t s, uint32_t d) { return s & ~d; }},
      {plat::NOTSRCCOPY, [](uint32_t, uint32_t s, uint32_t) { return ~s; }},
      {plat::MERGECOPY, [](uint32_t p, uint32_t s, uint32_t) { return p & s; }},
      {plat::PATCOPY, [](uint32_t p, uint32_t, uint32_t) { return p; }},
      {plat::PATINVERT, [](uint32_t p, uint32_t, uint32_t d) { return p ^ d; }},
      {plat::DSTINVERT, [](uint32_t, uint32_t, uint32_t d) { return ~d; }},
      {plat::BLACKNESS, [](uint32_t, uint32_t, uint32_t) { return 0u; }},
      {plat::WHITENESS, [](uint32_t, uint32_t, uint32_t) { return 0xFFFFFFu; }},
  };
  for (const Case& c : cases) {
    Canvas src(4, 4), dst(8, 8);
    src.brush(kGrey);
    plat::fill_rect(src.dc, Rect{0, 0, 4, 4}, plat::get_current_object(src.dc, plat::OBJ_BRUSH));
    dst.brush(kMix);
    plat::fill_rect(dst.dc, Rect{0, 0, 8, 8}, plat::get_current_object(dst.dc, plat::OBJ_BRUSH));
    dst.brush(kRed);  // the pattern
    EXPECT_TRUE(plat::bit_blt(dst.dc, 2, 2, 4, 4, src.dc, 0, 0, c.rop));
    uint32_t want = c.want(kRed, kGrey, kMix) & 0xFFFFFFu;
    EXPECT_EQ(dst.at(3, 3), want) << std::hex << c.rop;
    EXPECT_EQ(dst.at(1, 1), kMix) << std::hex << c.rop;
    EXPECT_EQ(dst.at(6, 6), kMix) << std::hex << c.rop;
  }
  // Operations reading a source fail without one.
  Canvas dst(4, 4);
  EXPECT_FALSE(plat::bit_blt(dst.dc, 0, 0, 4, 4, nullptr, 0, 0, plat::SRCCOPY));
  EXPECT_TRUE(plat::pat_blt(dst.dc, 0, 0, 2, 2, plat::BLACKNESS));
  EXPECT_EQ(dst.pixels(kBlack).size(), 4u);
}

TEST(GdiBlit, OverlappingMovesWithinOneSurface) {
  // Rows numbered by colour, moved down by 3 and then up by 2 and sideways.
  struct Case {
    int dx, dy;
  };
  for (Case c : {Case{0, 3}, Case{0, -2}, Case{2, 1}, Case{-3, -1}}) {
    Canvas cv(10, 10);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) plat::set_pixel(cv.dc, x, y, plat::rgb(x * 20, y * 20, 7));
    plat::Surface before = cv.surface;
    plat::bit_blt(cv.dc, c.dx, c.dy, 10, 10, cv.dc, 0, 0, plat::SRCCOPY);
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) {
        int sx = x - c.dx, sy = y - c.dy;
        uint32_t want = (sx >= 0 && sx < 10 && sy >= 0 && sy < 10) ? before.at(sx, sy) : before.at(x, y);
        ASSERT_EQ(cv.surface.at(x, y), want) << x << "," << y << " move " << c.dx << "," << c.dy;
      }
    }
  }
}

TEST(GdiBlit, MemoryContextsDrawIntoTheirBitmap) {
  Canvas win(20, 20);
  plat::Dc mem = plat::create_compatible_dc(win.dc);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(plat::get_device_caps(mem, plat::HORZRES), 1);
  plat::Bitmap bmp = plat::create_compatible_bitmap(win.dc, 10, 8);
  EXPECT_EQ(plat::get_bitmap_size(bmp), (plat::Size{10, 8}));
  plat::Bitmap first = plat::select_object(mem, bmp);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(plat::get_device_caps(mem, plat::HORZRES), 10);
  EXPECT_EQ(plat::get_device_caps(mem, plat::BITSPIXEL), 32);
  // A new bitmap is black; draw on it and copy it to the window.
  EXPECT_EQ(plat::get_pixel(mem, 0, 0), kBlack);
  plat::fill_rect(mem, Rect{0, 0, 10, 8}, plat::get_stock_object(plat::WHITE_BRUSH));
  plat::set_pixel(mem, 3, 4, kRed);
  EXPECT_EQ(plat::get_pixel(mem, 12, 4), plat::CLR_INVALID);
  plat::bit_blt(win.dc, 5, 5, 10, 8, mem, 0, 0, plat::SRCCOPY);
  EXPECT_EQ(win.pixels(kRed), (PixelSet{{8, 9}}));
  // A bitmap belongs to one context at a time.
  plat::Dc other = plat::create_compatible_dc(nullptr);
  EXPECT_EQ(plat::select_object(other, bmp), nullptr);
  // Deleting it while selected only marks it; it goes when it is let go.
  EXPECT_EQ(plat::delete_object(bmp), 1);
  plat::set_pixel(mem, 0, 0, kBlue);  // still drawable
  EXPECT_EQ(plat::get_pixel(mem, 0, 0), kBlue);
  EXPECT_EQ(plat::select_object(mem, first), bmp);
  EXPECT_EQ(plat::get_object_kind(bmp), 0);
  EXPECT_EQ(plat::delete_dc(mem), 1);
  EXPECT_EQ(plat::delete_dc(mem), 0);
  EXPECT_EQ(plat::delete_dc(other), 1);
}

TEST(GdiBlit, StretchingSamplesAndMirrors) {
  Canvas src(2, 2);
  plat::set_pixel(src.dc, 0, 0, kRed);
  plat::set_pixel(src.dc, 1, 0, kGreen);
  plat::set_pixel(src.dc, 0, 1, kBlue);
  plat::set_pixel(src.dc, 1, 1, kBlack);
  struct Case {
    int w, h;
    plat::Color tl, tr, bl, br;  // colours at the corners of the result
  };
  const Case cases[] = {{4, 4, kRed, kGreen, kBlue, kBlack},
                        {-4, 4, kGreen, kRed, kBlack, kBlue},
                        {4, -4, kBlue, kBlack, kRed, kGreen},
                        {6, 2, kRed, kGreen, kBlue, kBlack}};
  for (const Case& c : cases) {
    Canvas dst(10, 10);
    int x = c.w < 0 ? 1 - c.w : 1, y = c.h < 0 ? 1 - c.h : 1;
    EXPECT_TRUE(plat::stretch_blt(dst.dc, x, y, c.w, c.h, src.dc, 0, 0, 2, 2, plat::SRCCOPY));
    int w = std::abs(c.w), h = std::abs(c.h);
    EXPECT_EQ(dst.at(1, 1), c.tl);
    EXPECT_EQ(dst.at(w, 1), c.tr);
    EXPECT_EQ(dst.at(1, h), c.bl);
    EXPECT_EQ(dst.at(w, h), c.br);
    EXPECT_EQ(dst.not_white().size(), size_t(w * h));
    EXPECT_EQ(dst.ink_box(), (Rect{1, 1, 1 + w, 1 + h}));
  }
  // Shrinking by two keeps one pixel of each 2x2 block.
  Canvas big(4, 4), small(2, 2);
  plat::fill_rect(big.dc, Rect{0, 0, 2, 2}, plat::get_stock_object(plat::BLACK_BRUSH));
  plat::stretch_blt(small.dc, 0, 0, 2, 2, big.dc, 0, 0, 4, 4, plat::SRCCOPY);
  EXPECT_EQ(small.pixels(kBlack), (PixelSet{{0, 0}}));
}

// A 3x2 picture: top row red, green, blue; bottom row black, white, a grey.
const plat::Color kPicture[2][3] = {{kRed, kGreen, kBlue}, {kBlack, kWhite, plat::rgb(9, 99, 199)}};

// The picture encoded at a depth, rows top-down or bottom-up.
std::vector<uint8_t> encode(int bits, bool top_down, plat::BitmapInfo& info) {
  info = plat::BitmapInfo{};
  info.width = 3;
  info.height = top_down ? -2 : 2;
  info.bit_count = uint16_t(bits);
  int stride = plat::dib_row_bytes(3, bits);
  std::vector<uint8_t> data(size_t(stride) * 2, 0);
  int entries = 0;
  auto index_of = [&](plat::Color c) {
    for (int i = 0; i < entries; ++i)
      if (info.colors[i].red == plat::red_of(c) && info.colors[i].green == plat::green_of(c) &&
          info.colors[i].blue == plat::blue_of(c))
        return i;
    info.colors[entries] = plat::RgbQuad{uint8_t(plat::blue_of(c)), uint8_t(plat::green_of(c)), uint8_t(plat::red_of(c)), 0};
    return entries++;
  };
  for (int y = 0; y < 2; ++y) {
    uint8_t* row = data.data() + size_t(stride) * size_t(top_down ? y : 1 - y);
    for (int x = 0; x < 3; ++x) {
      plat::Color c = kPicture[y][x];
      if (bits == 1) c = (c == kBlack || c == kBlue || c == kRed) ? kBlack : kWhite;
      switch (bits) {
        case 32: row[x * 4] = uint8_t(plat::blue_of(c)); row[x * 4 + 1] = uint8_t(plat::green_of(c)); row[x * 4 + 2] = uint8_t(plat::red_of(c)); break;
        case 24: row[x * 3] = uint8_t(plat::blue_of(c)); row[x * 3 + 1] = uint8_t(plat::green_of(c)); row[x * 3 + 2] = uint8_t(plat::red_of(c)); break;
        case 8: row[x] = uint8_t(index_of(c)); break;
        case 4: row[x / 2] |= uint8_t(index_of(c) << (x % 2 ? 0 : 4)); break;
        case 1: row[0] |= uint8_t(index_of(c) << (7 - x)); break;
      }
    }
  }
  info.colors_used = uint32_t(entries);
  return data;
}

TEST(GdiBlit, DibSourcesOfEveryDepthAndRowOrder) {
  for (int bits : {32, 24, 8, 4, 1}) {
    for (bool top_down : {false, true}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, " << (top_down ? "top-down" : "bottom-up"));
      plat::BitmapInfo info;
      std::vector<uint8_t> data = encode(bits, top_down, info);
      Canvas cv(8, 6);
      cv.brush(kGreen);
      plat::fill_rect(cv.dc, Rect{0, 0, 8, 6}, plat::get_current_object(cv.dc, plat::OBJ_BRUSH));
      EXPECT_EQ(plat::set_dibits_to_device(cv.dc, 2, 1, 3, 2, 0, 0, 0, 2, data.data(), &info), 2);
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
          plat::Color c = kPicture[y][x];
          if (bits == 1) c = (c == kBlack || c == kBlue || c == kRed) ? kBlack : kWhite;
          EXPECT_EQ(cv.at(2 + x, 1 + y), c) << x << "," << y;
        }
      }
      EXPECT_EQ(cv.at(1, 1), kGreen);
      EXPECT_EQ(cv.at(5, 2), kGreen);
      // A block of the picture (its right column's lower pixel), counted from the origin
      // corner: the lower-left one of a bottom-up picture, the upper-left one otherwise.
      Canvas part(4, 4);
      EXPECT_EQ(plat::set_dibits_to_device(part.dc, 0, 0, 1, 1, 2, top_down ? 1 : 0, 0, 2, data.data(), &info), 1);
      plat::Color want = bits == 1 ? kWhite : kPicture[1][2];
      EXPECT_EQ(part.at(0, 0), want);
      EXPECT_EQ(part.not_white().size(), want == kWhite ? 0u : 1u);
      // Stretched twice as large.
      Canvas big(8, 6);
      EXPECT_EQ(plat::stretch_dibits(big.dc, 1, 1, 6, 4, 0, 0, 3, 2, data.data(), &info, plat::SRCCOPY), 2);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
          plat::Color c = kPicture[y / 2][x / 2];
          if (bits == 1) c = (c == kBlack || c == kBlue || c == kRed) ? kBlack : kWhite;
          EXPECT_EQ(big.at(1 + x, 1 + y), c);
        }
    }
  }
}

TEST(GdiBlit, BadDibHeadersDrawNothing) {
  plat::BitmapInfo info;
  std::vector<uint8_t> data = encode(8, true, info);
  struct Case {
    const char* name;
    void (*spoil)(plat::BitmapInfo&);
  };
  const Case cases[] = {{"16 bits", [](plat::BitmapInfo& i) { i.bit_count = 16; }},
                        {"no width", [](plat::BitmapInfo& i) { i.width = 0; }},
                        {"no height", [](plat::BitmapInfo& i) { i.height = 0; }},
                        {"negative width", [](plat::BitmapInfo& i) { i.width = -3; }},
                        {"lowest height", [](plat::BitmapInfo& i) { i.height = INT32_MIN; }},
                        {"rows beyond 2 GiB, bottom-up", [](plat::BitmapInfo& i) { i.height = INT32_MAX; }},
                        {"rows beyond 2 GiB, wide", [](plat::BitmapInfo& i) { i.width = 40000; i.height = -20000; i.bit_count = 32; }}};
  for (const Case& c : cases) {
    plat::BitmapInfo bad = info;
    c.spoil(bad);
    Canvas cv(6, 6);
    EXPECT_EQ(plat::set_dibits_to_device(cv.dc, 0, 0, 3, 2, 0, 0, 0, 2, data.data(), &bad), 0) << c.name;
    EXPECT_EQ(plat::stretch_dibits(cv.dc, 0, 0, 6, 4, 0, 0, 3, 2, data.data(), &bad, plat::SRCCOPY), 0) << c.name;
    EXPECT_TRUE(cv.not_white().empty()) << c.name;
  }
  // An index beyond the colour table reads as black.
  plat::BitmapInfo shorter = info;
  shorter.colors_used = 1;  // only red is left
  Canvas cv(6, 6);
  plat::set_dibits_to_device(cv.dc, 0, 0, 3, 2, 0, 0, 0, 2, data.data(), &shorter);
  EXPECT_EQ(cv.at(0, 0), kRed);
  EXPECT_EQ(cv.at(1, 0), kBlack);
  Canvas none(6, 6);
  EXPECT_EQ(plat::set_dibits_to_device(none.dc, 0, 0, 3, 2, 5, 5, 0, 2, data.data(), &info), 0);
}

// A 2 x 4 picture whose rows (from the top) are red, green, blue and black, as a 32-bit
// DIB in either row order.
const plat::Color kRows[4] = {kRed, kGreen, kBlue, kBlack};

std::vector<uint32_t> rows_picture(bool top_down, plat::BitmapInfo& info) {
  info = plat::BitmapInfo{};
  info.width = 2;
  info.height = top_down ? -4 : 4;
  std::vector<uint32_t> words(8);
  for (int t = 0; t < 4; ++t) {
    int at = top_down ? t : 3 - t;  // memory row of picture row t
    uint32_t w = uint32_t(plat::red_of(kRows[t])) << 16 | uint32_t(plat::green_of(kRows[t])) << 8 |
                 uint32_t(plat::blue_of(kRows[t]));
    words[size_t(at) * 2] = words[size_t(at) * 2 + 1] = w;
  }
  return words;
}

// Rows of a canvas column as picture rows: the index into kRows, -1 for white.
std::vector<int> shown_rows(const Canvas& cv, int x) {
  std::vector<int> out;
  for (int y = 0; y < cv.surface.height; ++y) {
    int k = -1;
    for (int i = 0; i < 4; ++i)
      if (cv.at(x, y) == kRows[i]) k = i;
    out.push_back(k);
  }
  return out;
}

// Source positions and scan lines count from the picture's origin corner: the lower-left
// corner of a bottom-up picture, the upper-left corner of a top-down one.
TEST(GdiBlit, DibSourceRowsCountFromTheOriginCorner) {
  struct Case {
    const char* name;
    bool top_down;
    int src_y, h, start_scan, lines;  // lines of the picture the bits hold, from start_scan
    int copied;
    std::vector<int> want;  // picture rows shown on canvas rows 0..4
  };
  const Case cases[] = {
      {"bottom-up, whole", false, 0, 4, 0, 4, 4, {0, 1, 2, 3, -1}},
      {"top-down, whole", true, 0, 4, 0, 4, 4, {0, 1, 2, 3, -1}},
      {"bottom-up, lowest row", false, 0, 1, 0, 4, 1, {3, -1, -1, -1, -1}},
      {"top-down, highest row", true, 0, 1, 0, 4, 1, {0, -1, -1, -1, -1}},
      {"bottom-up, two rows up from the second", false, 1, 2, 0, 4, 2, {1, 2, -1, -1, -1}},
      {"top-down, two rows down from the second", true, 1, 2, 0, 4, 2, {1, 2, -1, -1, -1}},
      {"bottom-up, upper band", false, 0, 4, 2, 2, 2, {0, 1, -1, -1, -1}},
      {"bottom-up, lower band", false, 0, 4, 0, 2, 2, {-1, -1, 2, 3, -1}},
      {"top-down, lower band", true, 0, 4, 2, 2, 2, {-1, -1, 2, 3, -1}},
      {"top-down, upper band", true, 0, 4, 0, 2, 2, {0, 1, -1, -1, -1}},
      {"band beyond the block", false, 0, 2, 2, 2, 0, {-1, -1, -1, -1, -1}},
      {"band beyond the picture", true, 0, 4, 4, 2, 0, {-1, -1, -1, -1, -1}},
      {"band reaching past the picture", true, 0, 4, 3, 5, 1, {-1, -1, -1, 3, -1}},
      {"negative start", true, 0, 4, -1, 4, 0, {-1, -1, -1, -1, -1}},
      {"no lines", true, 0, 4, 0, 0, 0, {-1, -1, -1, -1, -1}},
  };
  for (const Case& c : cases) {
    plat::BitmapInfo info;
    std::vector<uint32_t> words = rows_picture(c.top_down, info);
    // The bits hold the band's scan lines only, the first one first.
    int first = std::clamp(c.start_scan, 0, 4);
    std::vector<uint32_t> band(words.begin() + first * 2, words.end());
    band.resize(16, 0xDEAD);  // rows past the band are never read as picture rows
    Canvas cv(2, 5);
    EXPECT_EQ(plat::set_dibits_to_device(cv.dc, 0, 0, 2, c.h, 0, c.src_y, c.start_scan, c.lines, band.data(), &info),
              c.copied)
        << c.name;
    EXPECT_EQ(shown_rows(cv, 0), c.want) << c.name;
    EXPECT_EQ(shown_rows(cv, 1), c.want) << c.name;
  }
  // Stretching counts the same way, and a negative source height turns the block over.
  struct Stretch {
    const char* name;
    bool top_down;
    int src_y, src_h;
    std::vector<int> want;
  };
  const Stretch stretches[] = {
      {"bottom-up, lowest row", false, 0, 1, {3, 3, 3, 3, -1}},
      {"top-down, highest row", true, 0, 1, {0, 0, 0, 0, -1}},
      {"bottom-up, lower half", false, 0, 2, {2, 2, 3, 3, -1}},
      {"top-down, lower half", true, 2, 2, {2, 2, 3, 3, -1}},
      {"bottom-up, lower half turned over", false, 2, -2, {3, 3, 2, 2, -1}},
      {"top-down, upper half turned over", true, 2, -2, {1, 1, 0, 0, -1}},
  };
  for (const Stretch& c : stretches) {
    plat::BitmapInfo info;
    std::vector<uint32_t> words = rows_picture(c.top_down, info);
    Canvas cv(2, 5);
    EXPECT_EQ(plat::stretch_dibits(cv.dc, 0, 0, 2, 4, 0, c.src_y, 2, c.src_h, words.data(), &info, plat::SRCCOPY),
              std::abs(c.src_h))
        << c.name;
    EXPECT_EQ(shown_rows(cv, 0), c.want) << c.name;
  }
}

// Sizes and positions from the far ends of the int range draw what falls on the surface
// (or nothing) and never overflow; blocks that cannot be real are refused.
TEST(GdiBlit, HostileSizesAreClippedOrRefused) {
  Canvas src(4, 4);
  plat::fill_rect(src.dc, Rect{0, 0, 4, 4}, plat::get_stock_object(plat::BLACK_BRUSH));
  struct Case {
    const char* name;
    std::function<bool(plat::Dc dst, plat::Dc src)> call;
    bool result;
    size_t black;  // pixels of the 6 x 6 canvas drawn black
  };
  const int kMin = INT32_MIN, kMax = INT32_MAX;
  const Case cases[] = {
      {"pat_blt from the far corner", [=](plat::Dc d, plat::Dc) { return plat::pat_blt(d, kMax, kMax, kMin, kMin, plat::BLACKNESS); },
       true, 36},
      {"pat_blt past the end", [=](plat::Dc d, plat::Dc) { return plat::pat_blt(d, kMax, 0, kMax, 6, plat::BLACKNESS); }, true, 0},
      {"bit_blt of the whole range", [=](plat::Dc d, plat::Dc s) { return plat::bit_blt(d, kMin, kMin, kMax, kMax, s, 0, 0, plat::SRCCOPY); },
       true, 0},
      {"bit_blt from far away", [=](plat::Dc d, plat::Dc s) { return plat::bit_blt(d, 0, 0, 6, 6, s, kMin, kMax, plat::SRCCOPY); }, true, 0},
      {"bit_blt with a negative size", [=](plat::Dc d, plat::Dc s) { return plat::bit_blt(d, 0, 0, -4, 4, s, 0, 0, plat::SRCCOPY); },
       false, 0},
      {"stretch_blt mirrored over the whole range",
       [=](plat::Dc d, plat::Dc s) { return plat::stretch_blt(d, kMax, kMax, kMin, kMin, s, 0, 0, 4, 4, plat::SRCCOPY); }, true, 36},
      {"stretch_blt from the far end",
       [=](plat::Dc d, plat::Dc s) {
         return plat::stretch_blt(d, kMin + 10, kMin + 10, kMax, kMax, s, kMin + 11, kMin + 11, kMax - 1, kMax - 1, plat::SRCCOPY);
       },
       true, 16},
      {"stretch_blt of a huge source", [=](plat::Dc d, plat::Dc s) { return plat::stretch_blt(d, 0, 0, 6, 6, s, kMin, kMin, kMax, kMax, plat::SRCCOPY); },
       true, 0},
  };
  for (const Case& c : cases) {
    Canvas dst(6, 6);
    EXPECT_EQ(c.call(dst.dc, src.dc), c.result) << c.name;
    EXPECT_EQ(dst.pixels(kBlack).size(), c.black) << c.name << "\n" << dst.picture();
    EXPECT_EQ(dst.not_white().size(), c.black) << c.name;
  }
  // A DIB block placed far away or reaching far: only what lands on the surface.
  plat::BitmapInfo info;
  std::vector<uint32_t> words = rows_picture(true, info);
  Canvas far(6, 6);
  EXPECT_EQ(plat::set_dibits_to_device(far.dc, kMax, kMax, kMax, kMax, 0, 0, 0, 4, words.data(), &info), 4);
  EXPECT_EQ(plat::set_dibits_to_device(far.dc, 0, 0, 6, 6, kMin, kMin, 0, kMax, words.data(), &info), 0);
  EXPECT_EQ(plat::stretch_dibits(far.dc, kMin, kMin, kMax, kMax, 0, 0, 2, 4, words.data(), &info, plat::SRCCOPY), 4);
  EXPECT_TRUE(far.not_white().empty()) << far.picture();
  EXPECT_EQ(plat::stretch_dibits(far.dc, 0, 0, 6, 6, 0, 0, kMax, kMax, words.data(), &info, plat::SRCCOPY), 4);
  EXPECT_EQ(plat::stretch_dibits(far.dc, 0, 0, 6, 6, 0, 0, 2, kMin, words.data(), &info, plat::SRCCOPY), 0);
  EXPECT_TRUE(far.not_white().empty()) << "the cells of a huge block fall outside the picture";
}

// A stretch of a large picture reads the pixels it shows: nearest pixels of a 1-bit
// picture of alternating columns keep their colours at every reduction.
TEST(GdiBlit, StretchedDibsSampleLargePictures) {
  const int n = 4096;
  plat::BitmapInfo info;
  info.width = n;
  info.height = n;
  info.bit_count = 1;
  info.colors[0] = plat::RgbQuad{0, 0, 0, 0};
  info.colors[1] = plat::RgbQuad{255, 255, 255, 0};
  int stride = plat::dib_row_bytes(n, 1);
  std::vector<uint8_t> bits(size_t(stride) * n, 0xAA);  // columns: white, black, white, ...
  for (int w : {8, 13, 64}) {
    Canvas cv(64, 4);
    EXPECT_EQ(plat::stretch_dibits(cv.dc, 0, 0, w, 4, 0, 0, n, n, bits.data(), &info, plat::SRCCOPY), n);
    for (int x = 0; x < w; ++x) {
      int64_t col = (2 * int64_t(x) + 1) * n / (2 * int64_t(w));
      EXPECT_EQ(cv.at(x, 2), col % 2 ? kBlack : kWhite) << "width " << w << " column " << x;
    }
  }
}

TEST(GdiBlit, DibSectionsAreWrittenDirectly) {
  plat::BitmapInfo info;
  info.width = 4;
  info.height = -3;
  info.bit_count = 32;
  void* bits = nullptr;
  plat::Bitmap bmp = plat::create_dib_section(nullptr, &info, &bits);
  ASSERT_NE(bmp, nullptr);
  ASSERT_NE(bits, nullptr);
  auto* px = static_cast<uint32_t*>(bits);
  for (int i = 0; i < 12; ++i) px[i] = 0x00FFFFFF;
  px[4 * 2 + 3] = 0x00FF0000;  // red, bottom right
  plat::Dc mem = plat::create_compatible_dc(nullptr);
  plat::Bitmap old = plat::select_object(mem, bmp);
  Canvas cv(6, 6);
  plat::bit_blt(cv.dc, 1, 1, 4, 3, mem, 0, 0, plat::SRCCOPY);
  EXPECT_EQ(cv.pixels(kRed), (PixelSet{{4, 3}}));
  plat::select_object(mem, old);
  plat::delete_dc(mem);
  EXPECT_EQ(plat::delete_object(bmp), 1);
  info.bit_count = 8;
  EXPECT_EQ(plat::create_dib_section(nullptr, &info, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
}

TEST(GdiBlit, StockObjectsAndPalettes) {
  struct Case {
    int index, kind;
  };
  const Case cases[] = {{plat::WHITE_BRUSH, plat::OBJ_BRUSH}, {plat::LTGRAY_BRUSH, plat::OBJ_BRUSH},
                        {plat::GRAY_BRUSH, plat::OBJ_BRUSH},  {plat::DKGRAY_BRUSH, plat::OBJ_BRUSH},
                        {plat::BLACK_BRUSH, plat::OBJ_BRUSH}, {plat::NULL_BRUSH, plat::OBJ_BRUSH},
                        {plat::WHITE_PEN, plat::OBJ_PEN},     {plat::BLACK_PEN, plat::OBJ_PEN},
                        {plat::NULL_PEN, plat::OBJ_PEN},      {plat::SYSTEM_FONT, plat::OBJ_FONT},
                        {plat::DEFAULT_GUI_FONT, plat::OBJ_FONT}, {plat::DEFAULT_PALETTE, plat::OBJ_PAL},
                        {9, 0}, {99, 0}, {-1, 0}};
  for (const Case& c : cases) {
    plat::GdiObj o = plat::get_stock_object(c.index);
    EXPECT_EQ(plat::get_object_kind(o), c.kind) << c.index;
    if (o) {
      EXPECT_EQ(plat::delete_object(o), 1);  // never really deleted
      EXPECT_EQ(plat::get_object_kind(o), c.kind);
    }
  }
  Canvas cv(4, 4);
  EXPECT_EQ(plat::get_current_object(cv.dc, plat::OBJ_PEN), plat::get_stock_object(plat::BLACK_PEN));
  EXPECT_EQ(plat::get_current_object(cv.dc, plat::OBJ_BRUSH), plat::get_stock_object(plat::WHITE_BRUSH));
  EXPECT_EQ(plat::get_current_object(cv.dc, plat::OBJ_FONT), plat::get_stock_object(plat::SYSTEM_FONT));
  // Grey brushes hold their greys.
  plat::fill_rect(cv.dc, Rect{0, 0, 1, 1}, plat::get_stock_object(plat::LTGRAY_BRUSH));
  EXPECT_EQ(cv.at(0, 0), plat::rgb(192, 192, 192));
  // Palettes are accepted and change nothing.
  plat::PaletteEntry entries[2] = {{255, 0, 0, 0}, {0, 0, 255, 0}};
  plat::Palette pal = plat::create_palette(entries, 2);
  ASSERT_NE(pal, nullptr);
  plat::Palette old = plat::select_palette(cv.dc, pal, false);
  EXPECT_EQ(old, plat::get_stock_object(plat::DEFAULT_PALETTE));
  EXPECT_EQ(plat::realize_palette(cv.dc), 0);
  plat::set_pixel(cv.dc, 1, 1, plat::rgb(1, 2, 3));
  EXPECT_EQ(cv.at(1, 1), plat::rgb(1, 2, 3));
  plat::select_palette(cv.dc, old, false);
  EXPECT_EQ(plat::delete_object(pal), 1);
  EXPECT_EQ(plat::create_palette(entries, 300), nullptr);
  // A pen deleted while selected keeps drawing until it is replaced.
  plat::Pen red = plat::create_pen(plat::PS_SOLID, 1, kRed);
  plat::select_object(cv.dc, red);
  EXPECT_EQ(plat::delete_object(red), 1);
  EXPECT_EQ(plat::delete_object(red), 0);
  plat::move_to(cv.dc, 0, 3);
  plat::line_to(cv.dc, 4, 3);
  EXPECT_EQ(cv.at(2, 3), kRed);
  EXPECT_EQ(plat::select_object(cv.dc, red), nullptr);  // no longer selectable
  plat::select_object(cv.dc, plat::get_stock_object(plat::BLACK_PEN));
  EXPECT_EQ(plat::get_object_kind(red), 0);
  // A deleted region is refused like any stale handle, never read.
  plat::Rgn gone = plat::create_rect_rgn(0, 0, 2, 2);
  EXPECT_EQ(plat::delete_object(gone), 1);
  EXPECT_EQ(plat::select_object(cv.dc, gone), nullptr);
  EXPECT_EQ(plat::fill_rgn(cv.dc, gone, plat::get_stock_object(plat::BLACK_BRUSH)), false);
}

// Every context draws through the same code, so every one answers the same abilities:
// the bitmap copies, the lines and the characters a printer must offer to be used.
TEST(GdiBlit, DeviceCapsAnswerWhatContextsCanDo) {
  Canvas win(30, 20);
  plat::Dc mem = plat::create_compatible_dc(win.dc);
  struct Case {
    int index, bits;
  };
  const Case cases[] = {{plat::RASTERCAPS, plat::RC_BITBLT | plat::RC_DIBTODEV | plat::RC_STRETCHBLT | plat::RC_STRETCHDIB},
                        {plat::LINECAPS, plat::LC_POLYLINE | plat::LC_WIDE | plat::LC_STYLED},
                        {plat::TEXTCAPS, plat::TC_OP_CHARACTER}};
  for (plat::Dc dc : {win.dc, mem})
    for (const Case& c : cases) EXPECT_EQ(plat::get_device_caps(dc, c.index) & c.bits, c.bits) << c.index;
  EXPECT_EQ(plat::get_device_caps(win.dc, plat::HORZRES), 30);
  EXPECT_EQ(plat::get_device_caps(win.dc, plat::VERTRES), 20);
  EXPECT_EQ(plat::get_device_caps(win.dc, plat::BITSPIXEL) * plat::get_device_caps(win.dc, plat::PLANES), 32);
  plat::dc_set_resolution(win.dc, 300, 300);
  EXPECT_EQ(plat::get_device_caps(win.dc, plat::LOGPIXELSY), 300);
  plat::delete_dc(mem);
}

}  // namespace
