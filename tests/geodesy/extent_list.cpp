// The extent list: rectangles added with merging, the collapse beyond 100 entries,
// taking the first entry, and subtracting drawn rectangles.
#include <gtest/gtest.h>

#include <vector>

#include "core/error.h"
#include "geodesy/extent.h"
#include "tests/geodesy/geodesy_fixture.h"

namespace {

bool same(const extent_t& a, const extent_t& b) {
  return a.xmin == b.xmin && a.xmax == b.xmax && a.ymin == b.ymin && a.ymax == b.ymax &&
         a.step == b.step;
}

std::vector<extent_t> entries(const extent_list_t* list) {
  std::vector<extent_t> out;
  for (int i = 0; i < extent_list_count(list); ++i) out.push_back(extent_list_at(list, i));
  return out;
}

double covered_area(const std::vector<extent_t>& v) {
  double a = 0.0;
  for (const extent_t& e : v) a += extent_width(e) * extent_height(e);
  return a;
}

class ExtentListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Geodetic objects an earlier test left are freed with the store, not lost.
    tm_test::fresh_geodesy_store();
    ASSERT_NE(extent_list_create(nullptr, &list_), nullptr);
  }
  void TearDown() override {
    extent_list_delete(&list_);
    EXPECT_EQ(list_, nullptr);
  }
  extent_list_t* list_ = nullptr;
};

TEST_F(ExtentListTest, AddingMerges) {
  const struct {
    std::vector<extent_t> added;
    std::vector<extent_t> want;
  } cases[] = {
      // Adjacent unit squares merge (union area 2 < 3 x 2).
      {{{0, 1, 0, 1, 0}, {1, 2, 0, 1, 0}}, {{0, 2, 0, 1, 0}}},
      // Far apart they stay separate.
      {{{0, 1, 0, 1, 0}, {11, 12, 0, 1, 0}}, {{0, 1, 0, 1, 0}, {11, 12, 0, 1, 0}}},
      // Touching at a corner is close enough to be tried, and the union is cheap.
      {{{0, 1, 0, 1, 0}, {1, 2, 1, 2, 0}}, {{0, 2, 0, 2, 0}}},
      // Two thin strips crossing far apart: their box is too dear.
      {{{0, 10, 0, 0.1, 0}, {0, 0.1, 5, 10, 0}}, {{0, 10, 0, 0.1, 0}, {0, 0.1, 5, 10, 0}}},
      // Empty rectangles add nothing; a point with a margin is kept.
      {{{3, 3, 3, 3, 0}, {5, 4, 0, 1, 0}, {3, 3, 3, 3, 2}}, {{3, 3, 3, 3, 2}}},
      // The first entry that accepts takes the new one.
      {{{0, 1, 0, 1, 0}, {5, 6, 0, 1, 0}, {5.5, 6.5, 0, 1, 0}},
       {{0, 1, 0, 1, 0}, {5, 6.5, 0, 1, 0}}},
  };
  for (const auto& c : cases) {
    extent_list_free(list_);
    for (const extent_t& e : c.added) extent_list_add_merged(nullptr, list_, e);
    const std::vector<extent_t> got = entries(list_);
    ASSERT_EQ(got.size(), c.want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(same(got[i], c.want[i])) << i;
  }
  extent_list_add_merged(nullptr, nullptr, {0, 1, 0, 1, 0});  // no list: nothing
}

TEST_F(ExtentListTest, CollapsesBeyondOneHundredEntries) {
  for (int i = 0; i < 100; ++i) extent_list_add_merged(nullptr, list_, {i * 10.0, i * 10.0 + 1, 0, 1, 0});
  ASSERT_EQ(extent_list_count(list_), 100);
  extent_list_add_merged(nullptr, list_, {5000, 5001, 0, 1, 0});  // still grows
  ASSERT_EQ(extent_list_count(list_), 101);
  extent_list_add_merged(nullptr, list_, {-50, -49, 7, 8, 3});
  ASSERT_EQ(extent_list_count(list_), 1);
  EXPECT_TRUE(same(extent_list_at(list_, 0), {-50, 5001, 0, 8, 3}));
}

TEST_F(ExtentListTest, TakingDropsEmptyEntries) {
  extent_t* first = reinterpret_cast<extent_t*>(this);
  EXPECT_EQ(extent_list_next(nullptr, list_, &first), 0);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(extent_list_next(nullptr, nullptr, &first), 0);
  // Entries become empty when a caller narrows them in place.
  extent_list_append(nullptr, list_, {0, 1, 0, 1, 0});
  extent_list_append(nullptr, list_, {2, 3, 2, 3, 0});
  ASSERT_EQ(extent_list_next(nullptr, list_, &first), 1);
  first->xmax = first->xmin;  // now empty
  ASSERT_EQ(extent_list_next(nullptr, list_, &first), 1);
  EXPECT_TRUE(same(*first, {2, 3, 2, 3, 0}));
  EXPECT_EQ(extent_list_count(list_), 1);  // the entry stays until subtracted
  EXPECT_EQ(extent_list_next(nullptr, list_, nullptr), 1);
}

TEST_F(ExtentListTest, SubtractingLeavesTheRest) {
  const struct {
    std::vector<extent_t> entries;
    extent_t drawn;
    size_t pieces;
    double area;
  } cases[] = {
      {{{0, 10, 0, 10, 0}}, {-1, 11, -1, 11, 0}, 0, 0.0},    // covered: removed
      {{{0, 10, 0, 10, 0}}, {4, 6, 4, 6, 0}, 4, 160.0},  // a hole: four pieces
      {{{0, 10, 0, 10, 0}}, {5, 20, -5, 20, 0}, 1, 50.0},      // the right half
      {{{0, 10, 0, 10, 0}}, {20, 30, 0, 10, 0}, 1, 100.0},     // apart: untouched
      {{{0, 10, 0, 10, 0}}, {10, 30, 0, 10, 0}, 1, 100.0},     // touching: untouched
      {{{0, 10, 0, 10, 0}, {20, 30, 0, 10, 0}}, {5, 25, -1, 11, 0}, 2, 100.0},
      {{{0, 10, 0, 10, 0}}, {4, 4, 4, 6, 0}, 1, 100.0},        // empty: nothing
  };
  for (const auto& c : cases) {
    extent_list_free(list_);
    for (const extent_t& e : c.entries) extent_list_append(nullptr, list_, e);
    extent_list_subtract(nullptr, list_, c.drawn);
    const std::vector<extent_t> got = entries(list_);
    EXPECT_EQ(got.size(), c.pieces) << c.drawn.xmin << "," << c.drawn.xmax;
    // The corners of the side strips overlap the lower and upper pieces.
    EXPECT_DOUBLE_EQ(covered_area(got), c.area) << c.drawn.xmin << "," << c.drawn.xmax;
    if (!extent_is_empty(c.drawn)) {
      for (const extent_t& e : got) EXPECT_EQ(extent_disjoint(e, c.drawn), 1);
    }
  }
}

TEST_F(ExtentListTest, SnapsWithAGraphSpace) {
  static obj_t space{9, 0};
  graphspace_set_extent_source([](const obj_t* gs, extent_t* out) {
    *out = {0, 1000, 0, 10, 0};
    return gs == &space ? 1 : 0;
  });
  extent_list_append(&space, list_, {0.123456, 0.123451 + 1, 0, 1, 0});
  const extent_t got = extent_list_at(list_, 0);
  EXPECT_NEAR(got.xmin, 0.12345, 1e-12);
  EXPECT_NEAR(got.xmax, 1.12346, 1e-12);
  graphspace_set_extent_source(nullptr);
}

}  // namespace
