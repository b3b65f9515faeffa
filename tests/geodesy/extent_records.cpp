// Extent arithmetic: emptiness and the null extent, intersection, union, the centre
// form, and the snapping of bounds to the grid of a graph space.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geodesy/extent.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool same(const extent_t& a, const extent_t& b) {
  return a.xmin == b.xmin && a.xmax == b.xmax && a.ymin == b.ymin && a.ymax == b.ymax &&
         a.step == b.step;
}

TEST(Extent, EmptyAndNull) {
  const struct {
    extent_t e;
    int empty, null;
  } cases[] = {
      {{0, 0, 0, 0, 0}, 1, 1},
      {{2, 2, 3, 3, 0}, 1, 0},      // a point
      {{2, 2, 3, 3, 5}, 0, 0},      // a point with a margin counts
      {{0, 1, 0, 1, 0}, 0, 0},
      {{1, 0, 0, 1, 0}, 1, 0},      // reversed
      {{0, 1, 1, 1, 0}, 1, 0},      // no height
      {{0, 0, 0, 0, kNaN}, 0, 0},   // a NaN margin is not 0
      {{0, 0, 0, 0, -0.0}, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(extent_is_empty(c.e), c.empty) << c.e.xmin << " " << c.e.xmax << " " << c.e.step;
    EXPECT_EQ(extent_is_null(c.e), c.null);
  }
  extent_t e{1, 2, 3, 4, 5};
  EXPECT_EQ(extent_clear(&e), 0);
  EXPECT_TRUE(extent_is_null(e));
  extent_t* owned = nullptr;
  ASSERT_NE(extent_new(&owned), nullptr);
  EXPECT_TRUE(extent_is_null(*owned));
  extent_new(&owned);  // frees the first
  free_mem(&owned);
}

TEST(Extent, IntersectDisjointUnion) {
  const extent_t a{0, 10, 0, 10, 2};
  const struct {
    extent_t b;
    int meets;
    extent_t inter;
  } cases[] = {
      {{5, 15, 5, 15, 1}, 1, {5, 10, 5, 10, 1}},
      {{10, 20, 0, 10, 1}, 0, a},      // touching on a side: disjoint
      {{0, 10, 10, 20, 1}, 0, a},
      {{2, 3, 4, 5, 9}, 1, {2, 3, 4, 5, 2}},
      {{-5, -1, 0, 10, 0}, 0, a},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(extent_disjoint(a, c.b), c.meets ? 0 : 1);
    extent_t x = a;
    EXPECT_EQ(extent_intersect(&x, c.b), c.meets);
    EXPECT_TRUE(same(x, c.inter)) << c.b.xmin;
    extent_t y = a;
    EXPECT_EQ(extent_intersect4(&y, c.b.xmin, c.b.xmax, c.b.ymin, c.b.ymax), c.meets);
    EXPECT_EQ(y.step, a.step);  // keeps its own margin
  }
  // Union: a null side changes nothing or is replaced; an empty one takes part.
  const extent_t null{};
  const struct {
    extent_t a, b, want;
  } unions[] = {
      {null, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
      {{1, 2, 3, 4, 5}, null, {1, 2, 3, 4, 5}},
      {{1, 2, 3, 4, 0}, {7, 7, 9, 9, 0}, {1, 7, 3, 9, 0}},
      {{1, 2, 3, 4, 1}, {-1, 0, -2, 8, 6}, {-1, 2, -2, 8, 6}},
  };
  for (const auto& u : unions) {
    extent_t x = u.a;
    extent_union(&x, u.b);
    EXPECT_TRUE(same(x, u.want)) << x.xmin << " " << x.xmax << " " << x.ymin << " " << x.ymax;
  }
}

TEST(Extent, SizesCentresAndForms) {
  extent_t e{-2, 4, 1, 3, 0};
  EXPECT_EQ(extent_width(e), 6.0);
  EXPECT_EQ(extent_height(e), 2.0);
  EXPECT_EQ(extent_center_x(e), 1.0);
  EXPECT_EQ(extent_center_y(e), 2.0);
  EXPECT_EQ(extent_max_side(e), 6.0);
  EXPECT_EQ(extent_max_side({0, 2, 0, 2, 0}), 2.0);
  extent_inflate(&e, 1.0);
  EXPECT_TRUE(same(e, {-3, 5, 0, 4, 0}));
  extent_inflate(&e, -0.5);
  EXPECT_TRUE(same(e, {-2.5, 4.5, 0.5, 3.5, 0}));
  double form[4];
  extent_center_form(2, &e, form);
  EXPECT_EQ(form[0], 1.0);
  EXPECT_EQ(form[1], 7.0);
  EXPECT_EQ(form[2], 2.0);
  EXPECT_EQ(form[3], 3.0);
  extent_t built{0, 0, 0, 0, 9};
  extent_center_form(0, &built, form);
  EXPECT_TRUE(same(built, {-2.5, 4.5, 0.5, 3.5, 9}));
  extent_t reversed{5, 1, 8, -2, 0};
  extent_normalize(&reversed);
  EXPECT_TRUE(same(reversed, {1, 5, -2, 8, 0}));
}

// A graph space known to the grid by its data extent.
obj_t g_space_1000{1, 0};
obj_t g_space_none{2, 0};
int test_extent_source(const obj_t* gs, extent_t* out) {
  if (gs == &g_space_1000) {
    *out = {0, 1000, 0, 400, 0};
    return 1;
  }
  return 0;
}

TEST(Extent, SnapToTheGrid) {
  graphspace_set_extent_source(test_extent_source);
  EXPECT_EQ(graphspace_max_side(&g_space_1000), 1000.0);
  EXPECT_EQ(graphspace_max_side(&g_space_none), 0.0);
  EXPECT_EQ(graphspace_max_side(nullptr), 0.0);
  // The grid is 1e-5: lower bounds go down to a grid line, upper bounds up.
  extent_t e{0.123456, 0.123451, -0.000014, 0.0, 0};
  extent_snap_grid(&g_space_1000, &e);
  EXPECT_NEAR(e.xmin, 0.12345, 1e-12);
  EXPECT_NEAR(e.xmax, 0.12346, 1e-12);
  EXPECT_NEAR(e.ymin, -0.00002, 1e-12);
  EXPECT_EQ(e.ymax, 0.0);  // on the grid already
  const extent_t before{0.123456, 0.7, 0.1, 0.2, 0};
  for (const obj_t* gs : {static_cast<const obj_t*>(nullptr), static_cast<const obj_t*>(&g_space_none)}) {
    extent_t f = before;
    extent_snap_grid(gs, &f);
    EXPECT_TRUE(same(f, before));
  }
  // A snapped rectangle contains the one it was made from.
  const extent_t r{-123.4567891, 98.7654321, 0.5000001, 0.9999999, 0};
  extent_t s = r;
  extent_snap_grid(&g_space_1000, &s);
  EXPECT_LE(s.xmin, r.xmin);
  EXPECT_GE(s.xmax, r.xmax);
  EXPECT_LE(s.ymin, r.ymin);
  EXPECT_GE(s.ymax, r.ymax);
  graphspace_set_extent_source(nullptr);
}

}  // namespace
