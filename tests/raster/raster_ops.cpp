// Whole-image operations: copies, the vertical mirror, quarter turns, composition and
// resampling, with their output lines written to swap under a low memory budget and
// read back unchanged; and the palette and default colour routines.
#include <cmath>
#include <cstring>
#include <vector>

#include "geodesy/xform.h"
#include "raster/raster_ops.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::pattern;

class RasterOpsTest : public raster_test::ImageLoadTest {};

double no_budget() { return 0.0; }

uint8_t at(bitmap_t* b, int x, int y, int p) {
  const uint8_t* line = image_line(b, y, p);
  return line ? line[x] : 0;
}

void put(bitmap_t* b, int x, int y, int p, uint8_t v) { get_img_line_adr(b, y, p)[x] = v; }

// The image as rows of plane-0 samples.
std::vector<std::vector<int>> rows(bitmap_t* b) {
  std::vector<std::vector<int>> out;
  for (int y = 0; y < b->height; ++y) {
    out.emplace_back();
    for (int x = 0; x < b->width; ++x) out.back().push_back(at(b, x, y, 0));
  }
  return out;
}

constexpr int P = 1, Q = 2, R = 3, S = 4;

struct turn_case {
  int direction;
  std::vector<std::vector<int>> expected;
};

TEST_F(RasterOpsTest, QuarterTurnsOfATwoByTwoImage) {
  const turn_case cases[] = {{2, {{R, P}, {S, Q}}}, {0, {{R, P}, {S, Q}}}, {1, {{Q, S}, {P, R}}}};
  for (const turn_case& c : cases) {
    SCOPED_TRACE(c.direction);
    bitmap_t* b = new_image(2, 2, 1);
    put(b, 0, 0, 0, P);
    put(b, 1, 0, 0, Q);
    put(b, 0, 1, 0, R);
    put(b, 1, 1, 0, S);
    bitmap_t* turned = own(image_rotate(b, c.direction, nullptr));
    ASSERT_NE(turned, nullptr);
    EXPECT_EQ(rows(turned), c.expected);
  }
}

TEST_F(RasterOpsTest, TurnOfALargerImageMovesEveryPlaneAndSwapsTheSides) {
  for (const int direction : {1, 2}) {
    SCOPED_TRACE(direction);
    bitmap_t* b = new_image(13, 7, 3);
    bitmap_t* t = own(image_rotate(b, direction, nullptr));
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(val(t->width), 7);
    ASSERT_EQ(val(t->height), 13);
    for (int j = 0; j < 13; ++j)
      for (int k = 0; k < 7; ++k)
        for (int p = 0; p < 3; ++p) {
          const int sx = direction == 1 ? 12 - j : j;
          const int sy = direction == 1 ? k : 6 - k;
          ASSERT_EQ(at(t, k, j, p), pattern(sx, sy, p)) << j << " " << k << " " << p;
        }
  }
}

TEST_F(RasterOpsTest, CopyAndMirrorLeaveTheSourceAsItWas) {
  bitmap_t* b = new_image(9, 230, 3);  // more than one batch of mirrored lines
  bitmap_t* copy = own(image_copy(b, nullptr));
  bitmap_t* flip = own(image_flip_vertical(b, nullptr));
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(flip, nullptr);
  // Each mirrored line goes to swap as soon as it is written.
  for (int y = 0; y < 230; ++y) ASSERT_FALSE(bitmap_line_loaded(flip, y)) << y;
  for (int y = 0; y < 230; ++y)
    for (int x = 0; x < 9; ++x)
      for (int p = 0; p < 3; ++p) {
        ASSERT_EQ(at(copy, x, y, p), pattern(x, y, p));
        ASSERT_EQ(at(flip, x, y, p), pattern(x, 229 - y, p));
        ASSERT_EQ(at(b, x, y, p), pattern(x, y, p));
      }
}

TEST_F(RasterOpsTest, CombineTakesTheBaseWhereTheOverlayIsTransparent) {
  bitmap_t* base = new_image(4, 3, 1);
  bitmap_t* overlay = new_image(4, 3, 1);
  bitmap_t* dest = new_image(4, 3, 1);
  overlay->transparent[0] = 9;
  overlay->has_transparent = 1;
  put(overlay, 1, 0, 0, 9);
  put(overlay, 3, 2, 0, 9);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      put(base, x, y, 0, uint8_t(100 + x + 10 * y));
      put(dest, x, y, 0, 7);
    }
  image_combine(base, overlay, dest);
  EXPECT_EQ(rows(dest), (std::vector<std::vector<int>>{{7, 101, 7, 7}, {7, 7, 7, 7}, {7, 7, 7, 123}}));
  // A base smaller than the destination: nothing changes.
  bitmap_t* small = new_image(3, 3, 1);
  image_combine(small, overlay, dest);
  EXPECT_EQ(at(dest, 1, 0, 0), 101);
}

// The source's pattern, with a black strip along its left edge (the picture's own black,
// which a resampled image keeps as a colour), as one value for every plane.
uint8_t striped(int x, int y, int p) { return x < 6 ? 0 : pattern(x, y, p); }

TEST_F(RasterOpsTest, ResampledImageIsLargerAndKeepsTransparentOutside) {
  const struct {
    const char* what;
    bool transparent;  // the source declares transparent values 200, 201, 202
  } cases[] = {{"no transparent value", false}, {"transparent value", true}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    bitmap_t* b = new_image(100, 50, 3);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 6; ++x)
        for (int p = 0; p < 3; ++p) put(b, x, y, p, 0);
    if (k.transparent) {
      b->has_transparent = 1;
      for (int p = 0; p < 3; ++p) b->transparent[p] = uint8_t(200 + p);
    }
    xform_linear2d_t* turn = nullptr;
    xform_make_rotation(0.5, &turn);
    ASSERT_NE(turn, nullptr);
    bitmap_t* out = own(image_transform_to(b, turn, XK_LINEAR2D, nullptr));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(val(out->width), 141);
    EXPECT_EQ(val(out->height), 70);
    EXPECT_EQ(val(out->has_transparent), 1);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(val(out->transparent[p]), k.transparent ? 200 + p : 0);
    extent_t world{0, 100, 0, 50, 0};
    xform_extent(turn, XK_LINEAR2D, 0, &world);
    const double sx = (world.xmax - world.xmin) / 141, sy = (world.ymax - world.ymin) / 70;
    int outside = 0, strip = 0, black = 0;
    for (int r = 0; r < 70; ++r)
      for (int c = 0; c < 141; ++c) {
        double x = world.xmin + c * sx, y = world.ymin + r * sy;
        xform_inverse_2d(turn, XK_LINEAR2D, &x, &y);
        const bool inside = x >= 0 && x < 100 && y >= 0 && y < 50;
        outside += !inside;
        strip += inside && x < 6;
        for (int p = 0; p < 3; ++p) {
          const uint8_t v = inside ? striped(int(x), int(y), p) : 0;
          black += inside && v == 0;
          // Outside: the transparent value. A black sample: 1 where black is the
          // transparent value, else itself.
          const int want = !inside ? val(out->transparent[p]) : v == 0 && !k.transparent ? 1 : v;
          ASSERT_EQ(at(out, c, r, p), want) << c << " " << r << " plane " << p;
        }
      }
    EXPECT_GT(outside, 0);
    EXPECT_GT(strip, 0);
    EXPECT_GT(black, 3 * strip);  // the pattern's own black samples inside too
    free_obj(&turn);
  }
}

TEST_F(RasterOpsTest, ResamplingRefusesABadKindAndMissingArguments) {
  bitmap_t* b = new_image(10, 10, 1);
  xform_scale_t* scale = nullptr;
  xform_make_scale(1, 1, 1, &scale);
  EXPECT_EQ(image_transform_to(b, scale, 33, nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_TRANSFORM);
  set_gblerr(0);
  EXPECT_EQ(image_transform_to(b, nullptr, XK_SCALE, nullptr), nullptr);
  EXPECT_EQ(image_transform_to(nullptr, scale, XK_SCALE, nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  free_obj(&scale);
}

TEST_F(RasterOpsTest, LowBudgetSendsOutputLinesToSwapAndTheyReadBackTheSame) {
  bitmap_t* b = new_image(40, 30, 3);
  raster_ops_set_budget_probe(no_budget);
  bitmap_t* turned = own(image_rotate(b, 2, nullptr));
  xform_scale_t* scale = nullptr;
  xform_make_scale(1, 1, 1, &scale);
  bitmap_t* resampled = own(image_transform_to(b, scale, XK_SCALE, nullptr));
  raster_ops_set_budget_probe(nullptr);
  ASSERT_NE(turned, nullptr);
  ASSERT_NE(resampled, nullptr);
  for (int j = 0; j < 40; ++j) EXPECT_FALSE(bitmap_line_loaded(turned, j)) << j;
  for (int r = 0; r < resampled->height; ++r) EXPECT_FALSE(bitmap_line_loaded(resampled, r)) << r;
  for (int j = 0; j < 40; ++j)
    for (int k = 0; k < 30; ++k)
      for (int p = 0; p < 3; ++p) ASSERT_EQ(at(turned, k, j, p), pattern(j, 29 - k, p));
  const double sx = 40.0 / resampled->width, sy = 30.0 / resampled->height;
  for (int r = 0; r < resampled->height; ++r)
    for (int c = 0; c < resampled->width; ++c) {
      const uint8_t v = pattern(int(c * sx), int(r * sy), 1);
      ASSERT_EQ(at(resampled, c, r, 1), v == 0 ? 1 : v);
    }
  free_obj(&scale);
}

TEST_F(RasterOpsTest, AmpleBudgetKeepsTurnedLinesInMemory) {
  bitmap_t* b = new_image(40, 30, 1);
  raster_ops_set_budget_probe([] { return 1e12; });
  bitmap_t* turned = own(image_rotate(b, 1, nullptr));
  raster_ops_set_budget_probe(nullptr);
  ASSERT_NE(turned, nullptr);
  for (int j = 0; j < 40; ++j) EXPECT_TRUE(bitmap_line_loaded(turned, j)) << j;
}

// ---- Palettes ----------------------------------------------------------------------

uint32_t rgb(int r, int g, int b) { return uint32_t(r | g << 8 | b << 16); }

TEST_F(RasterOpsTest, ExactPaletteEntryIsTheFirstMatch) {
  bitmap_t* b = new_image(1, 1, 1);
  b->lut_r[5] = 10, b->lut_g[5] = 20, b->lut_b[5] = 30;
  b->lut_r[9] = 10, b->lut_g[9] = 20, b->lut_b[9] = 30;
  uint8_t index = 0;
  EXPECT_EQ(palette_find_exact(b, rgb(10, 20, 30) | 0xff000000u, &index), 1);
  EXPECT_EQ(index, 5);
  EXPECT_EQ(palette_find_exact(b, rgb(3, 3, 4), &index), 0);  // grey tables: 3,3,3 only
  EXPECT_EQ(palette_find_exact(b, rgb(3, 3, 3), &index), 1);
  EXPECT_EQ(index, 3);
}

struct white_case {
  std::vector<uint32_t> entries;
  int index;
  int count_after;
};

TEST_F(RasterOpsTest, WhiteIsFoundNearedOrAdded) {
  std::vector<uint32_t> full;
  for (int i = 0; i < 256; ++i) full.push_back(i == 77 ? rgb(250, 251, 240) : rgb(i % 200, 0, 0));
  const white_case cases[] = {
      {{rgb(0, 0, 0), rgb(255, 255, 255), rgb(255, 255, 255)}, 1, 3},
      {{rgb(0, 0, 0), rgb(254, 255, 255)}, 2, 3},
      {{}, 0, 1},
      {full, 77, 256},
  };
  for (const white_case& c : cases) {
    SCOPED_TRACE(c.entries.size());
    uint8_t pal[768] = {};
    for (size_t i = 0; i < c.entries.size(); ++i) {
      pal[i] = c.entries[i] & 0xff;
      pal[256 + i] = (c.entries[i] >> 8) & 0xff;
      pal[512 + i] = (c.entries[i] >> 16) & 0xff;
    }
    int count = int(c.entries.size());
    uint8_t index = 0;
    EXPECT_EQ(palette_find_or_add_white(pal, &count, &index), c.index);
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(count, c.count_after);
    if (c.count_after > int(c.entries.size())) {
      EXPECT_EQ(pal[c.index], 255);
      EXPECT_EQ(pal[256 + c.index], 255);
      EXPECT_EQ(pal[512 + c.index], 255);
    }
  }
}

TEST_F(RasterOpsTest, DefaultColoursAndTheirBounds) {
  EXPECT_EQ(default_color(13), rgb(192, 192, 0));
  EXPECT_EQ(default_color(0), rgb(0, 0, 0) | 0xff000000u);
  EXPECT_EQ(default_color(14), default_color(0));
  EXPECT_EQ(default_color(4), rgb(0, 255, 255) | 0xc0000000u);
  EXPECT_EQ(default_color(10), rgb(0, 48, 255) | 0xff000000u);
  EXPECT_EQ(rgba_equal(rgb(1, 2, 3), rgb(1, 2, 3)), 1);
  EXPECT_EQ(rgba_equal(rgb(1, 2, 3), rgb(1, 2, 3) | 0x01000000u), 0);
}

}  // namespace
