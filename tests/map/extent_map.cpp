// Extent mapping between screen, world and image coordinates: round trips over a table
// of mappings (axis directions, scales, origins), georeferenced images (scaled, offset,
// rotated), layer links, clipping to the page, the pixel-exact image windows, and the
// answers for a zero scale and for huge extents.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/error.h"
#include "geodesy/xform.h"
#include "map/extent_map.h"
#include "tests/support/object_env.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

void expect_extent(const extent_t& got, double xmin, double xmax, double ymin, double ymax,
                   double tol = 1e-9) {
  EXPECT_NEAR(got.xmin, xmin, tol);
  EXPECT_NEAR(got.xmax, xmax, tol);
  EXPECT_NEAR(got.ymin, ymin, tol);
  EXPECT_NEAR(got.ymax, ymax, tol);
}

class ExtentMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    xform_register_classes();
    bitmap_module_init();
    view_types_register();
  }
  void TearDown() override {
    set_gblerr(0);
    for (bitmap_t*& b : bitmaps_) free_obj(&b);
    for (pane_t*& p : panes_) free_obj(&p);
    for (obj_t*& s : steps_) free_obj(&s);
  }
  bitmap_t* bitmap(int width, int height) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    b->width = width;
    b->height = height;
    bitmaps_.push_back(b);
    return b;
  }
  // Gives the bitmap a georef whose step maps image to world (a georef owns only a
  // scale step; the test frees any other).
  void georeference(bitmap_t* b, obj_t* step, int kind) {
    if (step->cls != CLS_XFORM_SCALE) steps_.push_back(step);
    georef_t* g = nullptr;
    obj_new_registered(CLS_GEOREF, &g);
    g->transfo = step;
    g->transfotype = kind;
    b->georef = g;
  }
  pane_t* pane(screen_mapping m, double width, double height) {
    pane_t* p = nullptr;
    obj_new_registered(CLS_PANE, &p);
    p->map = m;
    p->page_width = width;
    p->page_height = height;
    p->page = extent_t{0, width, 0, height, 0};
    panes_.push_back(p);
    return p;
  }
  std::vector<bitmap_t*> bitmaps_;
  std::vector<pane_t*> panes_;
  std::vector<obj_t*> steps_;
};

// World -> screen -> world gives the rectangle back, and every output is sorted with
// step 0, whatever the axis directions, scales and origins.
TEST_F(ExtentMapTest, ScreenWorldRoundTrips) {
  const screen_mapping maps[] = {
      {0, 0, 1, 1},       {0, 0, 1, -1},        {-100, 50, 2.5, -2.5},
      {3.25, -7.5, -4, 4}, {1e6, -2e6, 1e-3, -1e-3}, {0.5, 0.5, 96, 96},
  };
  const extent_t worlds[] = {{0, 10, 0, 20, 3}, {-5.5, 7.25, -1, 1, 0}, {100, 100.5, -3, -2, 0}};
  for (const screen_mapping& m : maps) {
    for (const extent_t& w : worlds) {
      extent_t s{}, back{};
      world_to_screen_extent(m, w, &s);
      EXPECT_LE(s.xmin, s.xmax);
      EXPECT_LE(s.ymin, s.ymax);
      EXPECT_EQ(s.step, 0.0);
      screen_to_world_extent(m, s, &back);
      EXPECT_EQ(back.step, 0.0);
      const double tol = 1e-9 * (1 + std::fabs(m.origin_x) + std::fabs(m.origin_y));
      expect_extent(back, w.xmin, w.xmax, w.ymin, w.ymax, tol);
    }
  }
  // The formula itself: screen = (world + origin) * scale; flipped y keeps ymin < ymax.
  extent_t s{};
  world_to_screen_extent({10, 20, 2, -3}, {0, 5, 0, 4, 0}, &s);
  expect_extent(s, 20, 30, -72, -60);
}

// A zero (or NaN) scale has no inverse: the world rectangle is the empty extent, never
// infinities or NaN.
TEST_F(ExtentMapTest, ZeroScaleGivesTheEmptyWorldExtent) {
  const screen_mapping maps[] = {{0, 0, 0, 1}, {5, 5, 1, 0}, {0, 0, 0, 0}, {0, 0, NAN, 1}};
  for (const screen_mapping& m : maps) {
    extent_t w{1, 2, 3, 4, 5};
    screen_to_world_extent(m, {0, 100, 0, 100, 0}, &w);
    EXPECT_TRUE(extent_is_null(w));
    extent_t i{};
    screen_to_image_extent(m, bitmap(10, 10), {0, 100, 0, 100, 0}, &i);
    EXPECT_TRUE(extent_is_null(i));
  }
}

TEST_F(ExtentMapTest, ClippedToThePage) {
  pane_t* p = pane({0, 0, 1, -1}, 640, 480);
  struct Case {
    extent_t world;
    int result;
    extent_t out;
  };
  const Case cases[] = {
      // Inside, negative y scale: rounded, sorted.
      {{10.2, 20.7, -30.4, -10.6, 0}, 1, {10, 21, 11, 30, 0}},
      // Partly outside: clipped to the page.
      {{-50, 100, -600, -400, 0}, 1, {0, 100, 400, 480, 0}},
      // Wholly outside: 0 and all zero.
      {{700, 800, -10, -5, 0}, 0, {0, 0, 0, 0, 0}},
      // A point (empty extent): 1, unrounded and unclipped.
      {{1000.3, 1000.3, -2.2, -2.2, 0}, 1, {1000.3, 1000.3, 2.2, 2.2, 0}},
  };
  for (const Case& c : cases) {
    extent_t out{9, 9, 9, 9, 9};
    EXPECT_EQ(world_to_screen_clipped(p, c.world, &out), c.result);
    expect_extent(out, c.out.xmin, c.out.xmax, c.out.ymin, c.out.ymax);
  }
  EXPECT_EQ(world_rect_visible(p, {10, 20, -30, -10, 0}), 1);
  EXPECT_EQ(world_rect_visible(p, {700, 800, -10, -5, 0}), 0);
  EXPECT_EQ(world_rect_visible(p, {5, 5, -5, -5, 0}), 0);  // a point draws nothing
  extent_t out{};
  EXPECT_EQ(world_to_screen_clipped(nullptr, {0, 1, 0, 1, 0}, &out), 0);
}

// Extents far beyond the page (infinite in pixels) are clipped like any other, with no
// integer conversion on the way.
TEST_F(ExtentMapTest, HugeExtentsClipWithoutOverflow) {
  pane_t* p = pane({0, 0, 1e10, -1e10}, 800, 600);
  extent_t out{};
  EXPECT_EQ(world_to_screen_clipped(p, {-1e300, 1e300, -1e300, 1e300, 0}, &out), 1);
  expect_extent(out, 0, 800, 0, 600);
  pane_t* wide = pane({0, 0, 1, 1}, 800, 600);
  EXPECT_EQ(world_to_screen_clipped(wide, {1e300, 1.5e300, 0, 1, 0}, &out), 0);
  EXPECT_EQ(world_to_screen_clipped(wide, {-3e9, 5e9, -3e9, 5e9, 0}, &out), 1);
  expect_extent(out, 0, 800, 0, 600);

  bitmap_t* b = bitmap(100, 100);
  extent_t s{-1e300, 1e300, -1e300, 1e300, 0}, i{};
  double rx = 0, ry = 0;
  screen_to_image_window({0, 0, 1, 1}, b, &s, &i, &rx, &ry);  // must simply not fail
  extent_t infinite{-kInf, kInf, -kInf, kInf, 0};
  EXPECT_EQ(screen_to_image_window({0, 0, 1, 1}, b, &infinite, &i, &rx, &ry), 1);
}

// Image <-> world through the georef's step, for scaled, offset and rotated images; a
// bitmap without georef has image = world.
TEST_F(ExtentMapTest, ImageWorldRoundTrips) {
  bitmap_t* plain = bitmap(100, 50);
  bitmap_t* scaled = bitmap(100, 50);
  xform_scale_t* scale = nullptr;
  xform_make_scale(2.0, -0.5, 1.0, &scale);
  georeference(scaled, scale, XK_SCALE);
  bitmap_t* rotated = bitmap(100, 50);
  xform_linear2d_t* rotation = nullptr;
  xform_make_rotation(0.3, &rotation);
  georeference(rotated, rotation, XK_LINEAR2D);

  const extent_t images[] = {{0, 100, 0, 50, 0}, {10, 20, 5, 45, 0}, {-5, 3, 7, 8, 0}};
  for (bitmap_t* b : {plain, scaled, rotated}) {
    for (const extent_t& i : images) {
      extent_t w{}, back{};
      georef_image_to_world(b, i, &w);
      EXPECT_LE(w.xmin, w.xmax);
      EXPECT_LE(w.ymin, w.ymax);
      if (b == rotated) continue;  // the box of two corners does not invert a rotation
      georef_world_to_image(b, w, &back);
      expect_extent(back, i.xmin, i.xmax, i.ymin, i.ymax);
    }
  }
  extent_t w{};
  georef_image_to_world(scaled, {10, 20, 4, 8, 0}, &w);
  expect_extent(w, 20, 40, -4, -2);
  // Only the two corners go through a rotation by 90 degrees: (0, 0) and (10, 20)
  // become (0, 0) and (20, -10); the result is their box.
  bitmap_t* quarter = bitmap(10, 20);
  xform_linear2d_t* q = nullptr;
  xform_make_rotation(M_PI / 2, &q);
  georeference(quarter, q, XK_LINEAR2D);
  georef_image_to_world(quarter, {0, 10, 0, 20, 0}, &w);
  expect_extent(w, 0, 20, -10, 0);
  // No georef: a copy, step included.
  georef_world_to_image(plain, {1, 2, 3, 4, 5}, &w);
  expect_extent(w, 1, 2, 3, 4);
  EXPECT_EQ(w.step, 5);
}

TEST_F(ExtentMapTest, WorldToImageClamped) {
  bitmap_t* b = bitmap(100, 50);
  struct Case {
    extent_t world;
    extent_t image;
  };
  const Case cases[] = {{{-10, 500, -1, 60, 0}, {0, 100, 0, 50, 0}},
                        {{10, 20, 5, 6, 0}, {10, 20, 5, 6, 0}},
                        {{-30, -20, 55, 70, 0}, {0, 0, 50, 50, 0}}};
  for (const Case& c : cases) {
    extent_t i{};
    world_to_image_clamped(b, c.world, &i);
    expect_extent(i, c.image.xmin, c.image.xmax, c.image.ymin, c.image.ymax);
  }
  // Screen -> image with a flipped y axis and an offset: the rectangle lands in the
  // image, clamped.
  extent_t i{};
  screen_to_image_extent({0, -100, 1, -1}, b, {0, 200, 0, 80, 0}, &i);
  expect_extent(i, 0, 100, 20, 50);
}

TEST_F(ExtentMapTest, ImageToScreenClip) {
  bitmap_t* b = bitmap(100, 100);
  xform_scale_t* scale = nullptr;
  xform_make_scale(10, 10, 1, &scale);
  georeference(b, scale, XK_SCALE);
  pane_t* p = pane({0, 0, 0.1, 0.1}, 50, 50);
  extent_t s{};
  EXPECT_EQ(image_to_screen_clip(p, b, {0, 100, 0, 30, 0}, &s), 1);
  expect_extent(s, 0, 50, 0, 30);
  EXPECT_EQ(image_to_screen_clip(p, b, {60, 100, 0, 30, 0}, &s), 0);
}

// A layer's link chain carries points forward and extents inversely; a null link
// leaves coordinates as they are.
TEST_F(ExtentMapTest, LayerLinks) {
  xform_chain_t* chain = nullptr;
  xform_chain_create(0, &chain);
  xform_scale_t* scale = nullptr;
  xform_make_scale(3.0, -2.0, 1.0, &scale);
  xform_chain_append(chain, scale, XK_SCALE);
  double x = 2, y = 5;
  layer_point_to_graph(chain, &x, &y);
  EXPECT_DOUBLE_EQ(x, 6);
  EXPECT_DOUBLE_EQ(y, -10);
  extent_t e{};
  layer_extent_from_graph(chain, {6, 12, -10, 4, 7}, &e);
  expect_extent(e, 2, 4, -2, 5);
  EXPECT_EQ(e.step, 0);
  x = 1.5, y = -2.5;
  layer_point_to_graph(nullptr, &x, &y);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(y, -2.5);
  layer_extent_from_graph(nullptr, {4, 1, 3, 2, 9}, &e);
  expect_extent(e, 1, 4, 2, 3);
  layer_point_to_graph(chain, nullptr, &y);  // no crash on a missing address
  obj_t* step = scale;
  free_obj(&step);
  free_obj(&chain);
}

// The pixel-exact window: at 1:1 the screen rectangle shrinks to the image's pixels,
// wherever the image lies; nothing is drawn for an image left of the screen.
TEST_F(ExtentMapTest, ScreenToImageWindowAtOneToOne) {
  bitmap_t* b = bitmap(100, 50);
  struct Case {
    screen_mapping m;
    extent_t screen;
    int result;
    extent_t s, i;
  };
  const Case cases[] = {
      {{0, 0, 1, 1}, {0, 200, 0, 100, 0}, 0, {0, 100, 0, 50, 0}, {0, 100, 0, 50, 0}},
      {{20, 10, 1, 1}, {0, 200, 0, 100, 0}, 0, {20, 120, 10, 60, 0}, {0, 100, 0, 50, 0}},
      {{0, 0, 1, 1}, {30, 60, 10, 20, 0}, 0, {30, 60, 10, 20, 0}, {30, 60, 10, 20, 0}},
      {{500, 0, 1, 1}, {0, 200, 0, 100, 0}, 1, {0, 200, 0, 100, 0}, {}},  // image far right
      {{-300, 0, 1, 1}, {0, 200, 0, 100, 0}, 1, {0, 200, 0, 100, 0}, {}},  // image left
  };
  for (const Case& c : cases) {
    extent_t s = c.screen, i{};
    double rx = 0, ry = 0;
    ASSERT_EQ(screen_to_image_window(c.m, b, &s, &i, &rx, &ry), c.result);
    if (c.result) {
      expect_extent(s, c.s.xmin, c.s.xmax, c.s.ymin, c.s.ymax);  // S left alone
      continue;
    }
    EXPECT_EQ(rx, 1);
    EXPECT_EQ(ry, 1);
    expect_extent(s, c.s.xmin, c.s.xmax, c.s.ymin, c.s.ymax);
    expect_extent(i, c.i.xmin, c.i.xmax, c.i.ymin, c.i.ymax);
  }
}

// Flipped and scaled screens: whatever is drawn lies inside both the bitmap and the
// screen rectangle, and the two windows keep the ratio.
TEST_F(ExtentMapTest, ScreenToImageWindowStaysInsideTheImage) {
  bitmap_t* b = bitmap(100, 50);
  const screen_mapping maps[] = {{0, -100, 1, -1}, {10, 10, 2, 2}, {-20, -60, 0.5, -0.5},
                                 {-100, 0, -1, 1}};
  for (const screen_mapping& m : maps) {
    extent_t s{0, 300, 0, 200, 0}, i{};
    double rx = 0, ry = 0;
    ASSERT_EQ(screen_to_image_window(m, b, &s, &i, &rx, &ry), 0);
    EXPECT_GE(i.xmin, 0);
    EXPECT_LE(i.xmax, 100);
    EXPECT_GE(i.ymin, 0);
    EXPECT_LE(i.ymax, 50);
    EXPECT_GE(s.xmin, 0);
    EXPECT_LE(s.xmax, 300);
    EXPECT_GE(s.ymin, 0);
    EXPECT_LE(s.ymax, 200);
    EXPECT_NEAR((i.xmax - i.xmin) / (s.xmax - s.xmin), rx, 1e-9);
    EXPECT_NEAR((i.ymax - i.ymin) / (s.ymax - s.ymin), ry, 1e-9);
  }
}

// Nothing to divide by: a screen rectangle without area, a zero scale, a null bitmap.
TEST_F(ExtentMapTest, ScreenToImageWindowWithoutArea) {
  bitmap_t* b = bitmap(100, 50);
  double rx = -1, ry = -1;
  extent_t i{};
  extent_t flat{10, 10, 0, 40, 0};
  EXPECT_EQ(screen_to_image_window({0, 0, 1, 1}, b, &flat, &i, &rx, &ry), 1);
  extent_t s{0, 100, 0, 100, 0};
  EXPECT_EQ(screen_to_image_window({0, 0, 0, 1}, b, &s, &i, &rx, &ry), 1);
  EXPECT_EQ(screen_to_image_window({0, 0, 1, 1}, nullptr, &s, &i, &rx, &ry), 1);
  EXPECT_EQ(rx, -1);
  EXPECT_EQ(screen_to_image_reduced({0, 0, 0, 0}, b, &s, &i, &rx, &ry), 1);
  EXPECT_EQ(screen_to_world_window(nullptr, b, &s, &i, &rx, &ry), 1);
}

// The reduction factor for a 4000 x 3000 image: divisor 400 for a smaller screen side
// of 480, 50 for 70, and no reduction when the screen is as large as the image.
TEST_F(ExtentMapTest, ScreenToImageReducedFactor) {
  bitmap_t* b = bitmap(4000, 3000);
  xform_scale_t* centre = nullptr;
  xform_make_scale(2000, 1500, 0, &centre);  // its first two doubles: the world centre
  b->georef2 = centre;
  // At f = 1 the whole image, centred at (2000, 1500) world, lies right of the screen
  // rectangle: nothing to draw there, but the factor is given all the same.
  struct Case {
    double scale;
    double factor;
    int result;
  };
  const Case cases[] = {{0.16, 10, 0}, {70.0 / 3000, 80, 0}, {4000.0 / 3000, 1, 1}, {2, 1, 1}};
  for (const Case& c : cases) {
    extent_t s{0, 640, 0, 480, 0}, i{};
    double f = 0, f2 = 0;
    const int r = screen_to_image_reduced({0, 0, c.scale, c.scale}, b, &s, &i, &f, &f2);
    EXPECT_EQ(r, c.result) << c.scale;
    EXPECT_DOUBLE_EQ(f, c.factor) << c.scale;
    EXPECT_EQ(f2, f);
  }
  // At f = 10 the 400 x 300 reduced image is centred on (320, 240): wholly on screen.
  extent_t s{0, 640, 0, 480, 0}, i{};
  double f = 0, f2 = 0;
  ASSERT_EQ(screen_to_image_reduced({0, 0, 0.16, 0.16}, b, &s, &i, &f, &f2), 0);
  expect_extent(s, 120, 520, 90, 390);
  expect_extent(i, 0, 4000, 0, 3000);
  // Cut by a smaller screen rectangle: the image window starts inside the image.
  s = {200, 640, 0, 480, 0};
  ASSERT_EQ(screen_to_image_reduced({0, 0, 0.16, 0.16}, b, &s, &i, &f, &f2), 0);
  expect_extent(s, 200, 520, 90, 390);
  expect_extent(i, 800, 4000, 0, 3000);
  // No display placement: nothing to centre on.
  b->georef2 = nullptr;
  s = {0, 640, 0, 480, 0};
  EXPECT_EQ(screen_to_image_reduced({0, 0, 0.16, 0.16}, b, &s, &i, &f, &f2), 1);
  obj_t* step = centre;
  free_obj(&step);
}

TEST_F(ExtentMapTest, ScreenToWorldWindow) {
  bitmap_t* b = bitmap(10, 10);
  b->extent = extent_t{100, 200, 100, 200, 0};
  pane_t* p = pane({0, 0, 2, 2}, 1000, 1000);
  extent_t s{0, 1000, 0, 1000, 0}, w{};
  double rx = 0, ry = 0;
  ASSERT_EQ(screen_to_world_window(p, b, &s, &w, &rx, &ry), 0);
  expect_extent(w, 100, 200, 100, 200);
  expect_extent(s, 200, 400, 200, 400);
  EXPECT_DOUBLE_EQ(rx, 0.5);
  EXPECT_DOUBLE_EQ(ry, 0.5);
  s = {0, 100, 0, 100, 0};  // world 0..50: misses the image
  EXPECT_EQ(screen_to_world_window(p, b, &s, &w, &rx, &ry), 1);
}

}  // namespace
