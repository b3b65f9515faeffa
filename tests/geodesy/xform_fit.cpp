// Affine steps fitted to control points, centroids, and the inversion of a matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/obj_list.h"
#include "geodesy/xform.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

struct pair_def {
  double sx, sy, tx, ty;
};

class FitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::fresh_geodesy_store();
    obj_list_new(&list_);
  }
  void TearDown() override {
    obj_list_free_elements(list_);
    free_obj(&list_);
    free_obj(&affine_);
    free_obj(&linear_);
  }
  void add(const pair_def& p) {
    xform_control_point_t* cp = nullptr;
    obj_new_registered(CLS_XFORM_CONTROL_POINT, &cp);
    cp->sx = p.sx;
    cp->sy = p.sy;
    cp->tx = p.tx;
    cp->ty = p.ty;
    obj_list_append(list_, cp);
  }
  // The fitted step applied to the pixel (column, row) of a source point.
  void expect_maps(const pair_def& p, int height, double tol) {
    double x = p.sx, y = height - p.sy, z = 0.0;
    xform_forward(affine_, XK_AFFINE3D, &x, &y, &z);
    EXPECT_NEAR(x, p.tx, tol);
    EXPECT_NEAR(y, p.ty, tol);
    xform_inverse(affine_, XK_AFFINE3D, &x, &y, &z);
    EXPECT_NEAR(x, p.sx, tol);
    EXPECT_NEAR(y, height - p.sy, tol);
  }

  container_t* list_ = nullptr;
  xform_affine3d_t* affine_ = nullptr;
  xform_linear2d_t* linear_ = nullptr;
};

// Target differences that are the source differences rotated by 90 degrees and doubled:
// a = 0, b = 2.
TEST_F(FitTest, SimilarityOfTwoPoints) {
  const pair_def pairs[] = {{10.0, 20.0, 100.0, 200.0}, {13.0, 24.0, 92.0, 206.0}};
  for (const auto& p : pairs) add(p);
  ASSERT_EQ(georef_fit_affine(list_, 50, &affine_, &linear_), 0);
  ASSERT_NE(affine_, nullptr);
  ASSERT_NE(linear_, nullptr);
  EXPECT_NEAR(val(linear_->a1), 0.0, 1e-12);  // a
  EXPECT_NEAR(val(linear_->a3), 2.0, 1e-12);  // b
  for (const auto& p : pairs) expect_maps(p, 50, 1e-9);
  // The linear part turns directions: forward then inverse returns.
  double x = 1.0, y = 0.0, z = 0.0;
  xform_forward(linear_, XK_LINEAR2D, &x, &y, &z);
  EXPECT_NEAR(x, 0.0, 1e-12);
  EXPECT_NEAR(y, 2.0, 1e-12);
  xform_inverse(linear_, XK_LINEAR2D, &x, &y, &z);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(y, 0.0, 1e-12);
}

TEST_F(FitTest, AffineOfThreeOrMorePoints) {
  // X = 3x - 2y + 50, Y = 0.5x + 4y - 10: an exact affine map, recovered exactly.
  auto map = [](double x, double y) {
    return pair_def{x, y, 3 * x - 2 * y + 50, 0.5 * x + 4 * y - 10};
  };
  const pair_def pairs[] = {map(0, 0), map(100, 0), map(0, 80), map(37, 61)};
  for (const auto& p : pairs) add(p);
  ASSERT_EQ(georef_fit_affine(list_, 480, &affine_, &linear_), 0);
  for (const auto& p : pairs) expect_maps(p, 480, 1e-8);
  expect_maps(map(-250.5, 999.0), 480, 1e-8);
}

TEST_F(FitTest, TooFewOrDegeneratePoints) {
  const struct {
    std::vector<pair_def> pairs;
    int error;
  } cases[] = {
      {{}, ERR_PARAMETERS},
      {{{1, 1, 5, 5}}, ERR_PARAMETERS},
      {{{1, 1, 5, 5}, {1, 1, 6, 6}}, ERR_VALUE},                 // coincident sources
      {{{0, 0, 0, 0}, {1, 1, 2, 2}, {2, 2, 4, 5}}, ERR_VALUE},   // collinear sources
  };
  for (const auto& c : cases) {
    set_gblerr(0);  // objects are never freed while an error is pending
    obj_list_free_elements(list_);
    obj_list_clear(list_);
    for (const auto& p : c.pairs) add(p);
    EXPECT_EQ(georef_fit_affine(list_, 10, &affine_, &linear_), c.error);
    EXPECT_EQ(get_gblerr(), c.error);
    EXPECT_EQ(affine_, nullptr);
    EXPECT_EQ(linear_, nullptr);
  }
  set_gblerr(0);
}

TEST_F(FitTest, Centroids) {
  const pair_def pairs[] = {{0, 0, 10, 20}, {2, 4, 30, 40}, {4, 8, 50, 60}};
  for (const auto& p : pairs) add(p);
  xform_control_point_t c{};
  georef_centroid(&c, 3, list_);
  EXPECT_DOUBLE_EQ(c.sx, 2.0);
  EXPECT_DOUBLE_EQ(c.sy, 4.0);
  EXPECT_DOUBLE_EQ(c.tx, 30.0);
  EXPECT_DOUBLE_EQ(c.ty, 40.0);
  georef_centroid(&c, 2, list_);
  EXPECT_DOUBLE_EQ(c.sx, 1.0);
  const double pts[] = {1, 2, 3, 4, 5, 12};
  double mean[2];
  crs_points_centroid(3, pts, mean);
  EXPECT_DOUBLE_EQ(mean[0], 3.0);
  EXPECT_DOUBLE_EQ(mean[1], 6.0);
  crs_points_centroid(0, pts, mean);
  EXPECT_EQ(mean[0], 0.0);
}

TEST(MatrixInvert, InverseAndSingularity) {
  double a[16] = {2, 0, 0, 1, 0, 3, 0, 2, 1, 0, 4, 0, 0, 0, 0, 1};
  const double copy[16] = {2, 0, 0, 1, 0, 3, 0, 2, 1, 0, 4, 0, 0, 0, 0, 1};
  double r[16];
  set_gblerr(0);
  ASSERT_EQ(matrix_invert(a, 4, r), 0);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += copy[i * 4 + k] * r[k * 4 + j];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
    }
  }
  // A pivot of 0 after swapping is found (rows swap in both matrices).
  double swap_needed[4] = {0, 1, 1, 0};
  double rs[4];
  ASSERT_EQ(matrix_invert(swap_needed, 2, rs), 0);
  EXPECT_EQ(rs[1], 1.0);
  EXPECT_EQ(rs[2], 1.0);
  // Leading pivots whose product is 1e-15: reported singular although invertible.
  const struct {
    double m[4];
  } singular[] = {{{1e-15, 0, 0, 1}}, {{1, 2, 2, 4}}, {{0, 0, 0, 0}}};
  for (const auto& s : singular) {
    double m[4] = {s.m[0], s.m[1], s.m[2], s.m[3]};
    double out[4];
    set_gblerr(0);
    EXPECT_EQ(matrix_invert(m, 2, out), ERR_VALUE);
    EXPECT_EQ(get_gblerr(), ERR_VALUE);
  }
  set_gblerr(0);
}

}  // namespace
