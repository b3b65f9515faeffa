// The row arithmetic the list box, list view, tree view and combo box list share: where
// the navigation keys move the focus, the first row that brings a row into view, the
// first row kept inside the rows, and the rows under a header.
#include <gtest/gtest.h>

#include "platform/ui/ctl_rows.h"
#include "platform/ui/keys.h"

using namespace plat;
using namespace plat::ui_detail;

namespace {

struct KeyCase {
  const char* what;
  int vk, from, rows, shown, expected;
};

TEST(CtlRows, NavigationKeysMoveWithinTheRows) {
  const KeyCase cases[] = {
      {"down steps one", VK_DOWN, 3, 10, 4, 4},
      {"up steps one", VK_UP, 3, 10, 4, 2},
      {"up stops at the first", VK_UP, 0, 10, 4, 0},
      {"down stops at the last", VK_DOWN, 9, 10, 4, 9},
      {"page down keeps one row of the page", VK_NEXT, 2, 20, 5, 6},
      {"page up keeps one row of the page", VK_PRIOR, 6, 20, 5, 2},
      {"page down stops at the last", VK_NEXT, 18, 20, 5, 19},
      {"a page of one row still moves", VK_NEXT, 2, 20, 1, 3},
      {"home", VK_HOME, 7, 10, 4, 0},
      {"end", VK_END, 2, 10, 4, 9},
      {"from none, down takes the first", VK_DOWN, -1, 10, 4, 0},
      {"from none, page down takes the first", VK_NEXT, -1, 10, 4, 0},
      {"from none, end takes the last", VK_END, -1, 10, 4, 9},
      {"another key moves nothing", VK_LEFT, 3, 10, 4, -1},
      {"no rows: nothing to move to", VK_DOWN, -1, 0, 4, -1},
  };
  for (const KeyCase& c : cases) EXPECT_EQ(rows_key_target(c.vk, c.from, c.rows, c.shown), c.expected) << c.what;
}

TEST(CtlRows, TheFirstRowShowingARowScrollsLeast) {
  // Rows 10 to 14 in view.
  EXPECT_EQ(rows_top_showing(10, 5, 12), 10) << "in view: no scrolling";
  EXPECT_EQ(rows_top_showing(10, 5, 10), 10);
  EXPECT_EQ(rows_top_showing(10, 5, 14), 10);
  EXPECT_EQ(rows_top_showing(10, 5, 9), 9) << "above: it becomes the first";
  EXPECT_EQ(rows_top_showing(10, 5, 15), 11) << "below: it becomes the last";
  EXPECT_EQ(rows_top_showing(10, 5, 30), 26);
}

TEST(CtlRows, TheFirstRowKeepsTheLastPageFull) {
  EXPECT_EQ(rows_clamp_top(-3, 20, 5), 0);
  EXPECT_EQ(rows_clamp_top(7, 20, 5), 7);
  EXPECT_EQ(rows_clamp_top(16, 20, 5), 15);
  EXPECT_EQ(rows_clamp_top(4, 3, 5), 0) << "fewer rows than a page never scroll";
}

TEST(CtlRows, RowsStandBelowTheHeader) {
  const RowsLayout l{20, 17, 4};  // a 20-pixel header, rows of 17, row 4 first
  EXPECT_EQ(rows_rect(l, 4, 300), (Rect{0, 20, 300, 37}));
  EXPECT_EQ(rows_rect(l, 6, 300), (Rect{0, 54, 300, 71}));
  EXPECT_EQ(rows_at(l, 19), -1) << "on the header";
  EXPECT_EQ(rows_at(l, 20), 4);
  EXPECT_EQ(rows_at(l, 36), 4);
  EXPECT_EQ(rows_at(l, 37), 5);
  const RowsLayout flat{0, 0, 2};  // a zero height counts as one pixel, never a division by 0
  EXPECT_EQ(rows_at(flat, 5), 7);
}

TEST(CtlRows, ASelectedRowIsMarkedByTheFocus) {
  EXPECT_EQ(rows_mark(true, true, false), RowMark::lit);
  EXPECT_EQ(rows_mark(true, false, true), RowMark::grey);
  EXPECT_EQ(rows_mark(true, false, false), RowMark::none);
  EXPECT_EQ(rows_mark(false, true, true), RowMark::none);
}

}  // namespace
