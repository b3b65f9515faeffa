// Bitmaps used as point symbols: the display size (requested or own size, scale, one
// reduction factor with the aspect kept), the copy kept in the bitmap or handed to the
// caller, transparent pixels marked in the copy and skipped by the blit.
#include "tests/map/raster_display_fixture.h"

namespace {

using rd_test::RasterFixture;

class RasterDisplaySymbol : public RasterFixture {};

TEST_F(RasterDisplaySymbol, DisplaySize) {
  bitmap_t* b = uniform(20, 10, 1, 0);
  const struct {
    int keep, w, h;
    double scale;
    int out_w, out_h;
  } cases[] = {
      {0, 8, 6, -1e100, 8, 6},  // requested size, scale unset
      {0, 8, 6, 2.0, 16, 12},   // requested size times the scale
      {0, 0, 0, 0.5, 10, 5},    // own size times the scale
      {0, 0, 0, -1e100, 20, 10},
      {1, 10, 10, -1e100, 10, 5},  // one factor (2) on both axes
      {1, 40, 40, -1e100, 20, 10}, // never enlarged
      {1, 0, 0, 3.0, 20, 10},
  };
  for (const auto& c : cases) {
    int size[2] = {0, 0};
    ASSERT_EQ(symbol_bitmap_prepare(b, c.keep, c.w, c.h, c.scale, nullptr, size), 0);
    EXPECT_EQ(size[0], c.out_w) << c.w << "x" << c.h << " scale " << c.scale;
    EXPECT_EQ(size[1], c.out_h) << c.w << "x" << c.h << " scale " << c.scale;
  }
  // Bad sizes and scales are refused instead of allocating without bound.
  int size[2] = {0, 0};
  EXPECT_EQ(symbol_bitmap_prepare(b, 0, 0, 0, 1e9, nullptr, size), 1);
  EXPECT_EQ(symbol_bitmap_prepare(b, 0, 100000, 100000, -1e100, nullptr, size), 1);
  EXPECT_EQ(symbol_bitmap_prepare(nullptr, 0, 4, 4, 1, nullptr, size), 1);
}

// The copy: nearest pixels packed with the shifts, transparent ones marked in the top
// byte; kept in the bitmap when no output is asked and remade only for another size.
TEST_F(RasterDisplaySymbol, CopyKeptAndMarked) {
  bitmap_t* b = make_bitmap(4, 4, 3, [](int x, int y, int p) { return x < 2 && y < 2 ? 9 : 40 * p + x; });
  b->has_transparent = 1;
  b->transparent[0] = b->transparent[1] = b->transparent[2] = 9;
  ASSERT_EQ(symbol_bitmap_prepare(b, 0, 2, 2, -1e100, nullptr, nullptr), 0);
  int w = 0, h = 0;
  const uint32_t* kept = symbol_bitmap_pixels(b, &w, &h);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 2);
  EXPECT_NE(kept[0] >> 24, 0u);             // transparent
  EXPECT_EQ(kept[3], rgb(3, 43, 83));       // source pixel (3, 3)
  EXPECT_EQ(kept[1], rgb(3, 43, 83));
  ASSERT_EQ(symbol_bitmap_prepare(b, 0, 2, 2, -1e100, nullptr, nullptr), 0);
  EXPECT_EQ(symbol_bitmap_pixels(b, nullptr, nullptr), kept);  // already made
  ASSERT_EQ(symbol_bitmap_prepare(b, 0, 4, 4, -1e100, nullptr, nullptr), 0);
  symbol_bitmap_pixels(b, &w, &h);
  EXPECT_EQ(w, 4);
  // A copy for the caller is its own block.
  uint32_t* mine = nullptr;
  int size[2] = {0, 0};
  ASSERT_EQ(symbol_bitmap_prepare(b, 0, 1, 1, -1e100, &mine, size), 0);
  ASSERT_NE(mine, nullptr);
  EXPECT_NE(mine, symbol_bitmap_pixels(b, nullptr, nullptr));
  free_mem(&mine);
  // The bitmap's destructor frees the kept copy (the leak checker would say otherwise).
}

TEST_F(RasterDisplaySymbol, BlitOpaqueAndTransparent) {
  const uint32_t marked = 255u << 24;
  const uint32_t pixels[4] = {rgb(1, 2, 3), rgb(4, 5, 6) | marked, rgb(7, 8, 9), rgb(10, 11, 12)};
  EXPECT_EQ(dib_put_bitmap(dc_, pixels, 3, 4, 2, 2, 1), 0);
  EXPECT_EQ(at(3, 4), rgb(1, 2, 3));
  EXPECT_EQ(at(4, 4), 0x123456u);  // skipped
  EXPECT_EQ(at(4, 5), rgb(10, 11, 12));
  EXPECT_EQ(dib_put_bitmap(dc_, pixels, 3, 4, 2, 2, 0), 0);
  EXPECT_EQ(at(4, 4), rgb(4, 5, 6));
  set_current_mapwin(win_);
  EXPECT_EQ(draw_bitmap_pixels(pixels, 0, 0, 2, 2, 1), 0);
  EXPECT_EQ(at(0, 1), rgb(7, 8, 9));
  EXPECT_EQ(at(1, 0), 0x123456u);
  set_current_mapwin(nullptr);
  EXPECT_EQ(draw_bitmap_pixels(pixels, 0, 0, 2, 2, 1), 1);
  EXPECT_EQ(dib_put_bitmap(nullptr, pixels, 0, 0, 2, 2, 0), 1);
  EXPECT_EQ(dib_put_bitmap(dc_, pixels, 0, 0, 0, 2, 0), 1);
}

}  // namespace
