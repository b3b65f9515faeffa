// Scrolling map windows: the scroll-bar codes with their limits, the brush origin, the
// pending scroll and its application by command 5, and drag panning held within the
// data widened by one window size.
#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::MapWinFixture;
using mapwin_test::record;
using mapwin_test::v;

class MapWinScroll : public MapWinFixture {
 protected:
  // A 200 x 100 window over data 0..1000 x 0..800 with screen = world + origin
  // (scale 1, y downwards), so the data's screen extent is the data moved by the origin.
  mapwin_t* view(double origin_x, double origin_y) {
    set_data(0, 1000, 0, 800);
    mapwin_t* win = window(200, 100);
    mapwin_set_orientation(win, 1);
    win->map = screen_mapping{origin_x, origin_y, 1.0, 1.0};
    record().posted.clear();
    return win;
  }
};

TEST_F(MapWinScroll, CodesAndLimitsTable) {
  struct Case {
    const char* what;
    double origin_x, origin_y;
    int bar, code;
    int dx, dy;          // pending scroll afterwards
    int brush_x, brush_y;
  } cases[] = {
      {"line left", 0, 0, 2, 3, -5, 0, 5, 0},
      {"line right", 0, 0, 2, 4, 5, 0, 3, 0},
      {"page left", 0, 0, 2, 7, -200, 0, 0, 0},
      {"page right", 0, 0, 2, 8, 200, 0, 0, 0},
      {"line up", 0, 0, 1, 1, 0, -5, 0, 5},
      {"line down", 0, 0, 1, 2, 0, 5, 0, 3},
      {"page up", 0, 0, 1, 5, 0, -100, 0, 4},
      {"page down", 0, 0, 1, 6, 0, 100, 0, 4},
      {"top", -300, -400, 1, 9, 0, -400, 0, 0},
      {"bottom", -300, -400, 1, 10, 0, 300, 0, 4},
      {"top when there already", 0, 0, 1, 9, 0, 0, 0, 0},
      // Limits: going on stops at the data's far edge ...
      {"page right at the right edge", -900, 0, 2, 8, 100, 0, 4, 0},
      {"line right past the data", -1000, 0, 2, 4, 0, 0, 0, 0},
      {"line down with the data above the window", 0, -900, 1, 2, 0, 0, 0, 0},
      // ... and going back stops one window size before the near edge.
      {"page left, data starting 50 px on", 50, 0, 2, 7, -150, 0, 6, 0},
      {"page left, data a window away", 200, 0, 2, 7, 0, 0, 0, 0},
      {"page up, data starting 30 px down", 0, 30, 1, 5, 0, -70, 0, 6},
      // Codes of the other bar and unknown codes do nothing.
      {"vertical code on the horizontal bar", 0, 0, 2, 1, 0, 0, 0, 0},
      {"horizontal code on the vertical bar", 0, 0, 1, 4, 0, 0, 0, 0},
      {"code 12", 0, 0, 1, 12, 0, 0, 0, 0},
      {"bar 3", 0, 0, 3, 2, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mapwin_t* win = view(c.origin_x, c.origin_y);
    mapwin_scroll_cmd(win, c.bar, c.code);
    EXPECT_EQ(v(win->scroll_dx), c.dx);
    EXPECT_EQ(v(win->scroll_dy), c.dy);
    EXPECT_EQ(v(win->brush_org_x), c.brush_x);
    EXPECT_EQ(v(win->brush_org_y), c.brush_y);
    const bool moved = c.dx != 0 || c.dy != 0;
    EXPECT_EQ(posted_slots(), moved ? std::vector<int>{5} : std::vector<int>{});
  }
}

TEST_F(MapWinScroll, ThumbMovesByTheTrackedFractionOfTheData) {
  struct Case {
    int bar;
    double position, track;
    int dx, dy;
  } cases[] = {
      {2, 0.25, 0.5, 250, 0},    // a quarter of 1000 pixels of data
      {2, 0.5, 0.25, -250, 0},
      {1, 0.0, 0.5, 0, 400},     // half of 800
      {1, -2.0, 0.125, 0, 100},  // positions outside 0..1 are taken at the edge
      {2, 0.3, 0.3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bar << " " << c.position << " " << c.track);
    mapwin_t* win = view(-300, -300);
    record().bars.clear();
    record().bar_position = c.position;
    record().bar_track = c.track;
    record().bar_page = 0.2;
    mapwin_scroll_cmd(win, c.bar, 11);
    EXPECT_EQ(v(win->scroll_dx), c.dx);
    EXPECT_EQ(v(win->scroll_dy), c.dy);
    // The bar is put at the tracked position.
    ASSERT_EQ(record().bars.size(), 1u);
    EXPECT_EQ(record().bars[0].axis, c.bar);
    EXPECT_DOUBLE_EQ(record().bars[0].position, c.track);
  }
}

TEST_F(MapWinScroll, NothingWithoutGraphSpaceOrWindow) {
  mapwin_t* bare = bare_window();
  mapwin_scroll_cmd(bare, 2, 4);
  mapwin_scroll_cmd(nullptr, 2, 4);  // no current window
  mapwin_scroll_to(nullptr, 5, 5, 1);
  mapwin_apply_scroll(nullptr);
  EXPECT_EQ(v(bare->scroll_dx), 0);
  EXPECT_TRUE(record().posted.empty());
}

TEST_F(MapWinScroll, PendingScrollAccumulatesAndIsAppliedOnce) {
  set_data(0, 1000, 0, 800);
  mapwin_t* win = window(200, 100);
  win->map = screen_mapping{10.0, 20.0, 2.0, -4.0};
  mapwin_scroll_by(win, 6, 4);
  mapwin_scroll_by(win, 4, 4);
  EXPECT_EQ(v(win->scroll_dx), 10);
  EXPECT_EQ(v(win->scroll_dy), 8);
  EXPECT_EQ(posted_slots(), (std::vector<int>{5, 5}));
  mapwin_apply_scroll_all();  // command 5
  EXPECT_EQ(v(win->scroll_dx), 0);
  EXPECT_EQ(v(win->scroll_dy), 0);
  EXPECT_DOUBLE_EQ(v(win->map.origin_x), 10.0 - 10 / 2.0);
  EXPECT_DOUBLE_EQ(v(win->map.origin_y), 20.0 - 8 / -4.0);
  EXPECT_DOUBLE_EQ(v(win->pane->map.origin_x), v(win->map.origin_x));
  EXPECT_DOUBLE_EQ(v(win->pane->map.origin_y), v(win->map.origin_y));
  // A world point now shows 10 pixels further left and 8 further up: so do the pixels.
  ASSERT_EQ(record().scrolls.size(), 1u);
  EXPECT_EQ(record().scrolls[0], std::make_pair(-10, -8));
  mapwin_apply_scroll(win);  // nothing pending: nothing moves
  EXPECT_EQ(record().scrolls.size(), 1u);
}

TEST_F(MapWinScroll, DragStartsWithoutTrackingThenMovesByTheDifference) {
  mapwin_t* win = view(-400, -300);
  mapwin_scroll_to(win, 50, 50, 0);
  EXPECT_EQ(v(win->scroll_dx), 0);
  EXPECT_TRUE(record().posted.empty());
  mapwin_scroll_to(win, 40, 45, 1);
  EXPECT_EQ(v(win->scroll_dx), 10);
  EXPECT_EQ(v(win->scroll_dy), 5);
  EXPECT_EQ(posted_slots(), (std::vector<int>{5}));
  EXPECT_EQ(v(win->brush_org_x), 0);  // a drag leaves the brush origin
}

TEST_F(MapWinScroll, DragLimitsTable) {
  // Window 200 x 100; the data's screen extent widened by one window size on each side
  // is -200 .. 1200 by -100 .. 900 at origin 0.
  struct Case {
    const char* what;
    double origin_x, origin_y;
    int from_x, from_y, to_x, to_y;
    int dx, dy;
  } cases[] = {
      {"free within the widened data", -400, -300, 300, 300, 100, 200, 200, 100},
      {"shortened at the left", 0, -300, 0, 50, 500, 50, -200, 0},
      {"shortened at the right", -950, -300, 500, 50, 0, 50, 50, 0},
      {"at the right edge already", -1000, -300, 500, 50, 0, 50, 0, 0},
      {"shortened at the top", -400, 0, 50, 0, 50, 300, 0, -100},
      {"shortened at the bottom", -400, -750, 50, 300, 50, 0, 0, 50},
      {"at the bottom edge already", -400, -800, 50, 300, 50, 0, 0, 0},
      {"widened data right of the window", 1300, -300, 0, 50, 30, 50, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mapwin_t* win = view(c.origin_x, c.origin_y);
    mapwin_scroll_to(win, c.from_x, c.from_y, 0);
    mapwin_scroll_to(win, c.to_x, c.to_y, 1);
    EXPECT_EQ(v(win->scroll_dx), c.dx);
    EXPECT_EQ(v(win->scroll_dy), c.dy);
    const bool moved = c.dx != 0 || c.dy != 0;
    // No scroll, no redraw: nothing is posted when the view is held at an edge.
    EXPECT_EQ(posted_slots(), moved ? std::vector<int>{5} : std::vector<int>{});
  }
}

TEST_F(MapWinScroll, DragWithoutDataMovesNothing) {
  mapwin_t* win = window(200, 100);
  set_data(0, 0, 0, 0);  // nothing shown
  mapwin_scroll_to(win, 0, 0, 0);
  mapwin_scroll_to(win, 50, 50, 1);
  EXPECT_EQ(v(win->scroll_dx), 0);
  EXPECT_EQ(v(win->scroll_dy), 0);
}

// The bars show the page as fractions of the data: horizontal position x0 and page
// x1 - x0, vertical position 1 - y1 (world y upwards) and page y1 - y0.
TEST_F(MapWinScroll, ScrollBarsShowThePageAsFractionsOfTheData) {
  set_data(0, 1000, 0, 800);
  mapwin_t* win = window(200, 100);
  win->map = screen_mapping{-100.0, -800.0, 1.0, -1.0};  // world y 700..800 shown
  mapwin_sync_scrollbars(win);
  ASSERT_EQ(record().bars.size(), 2u);
  EXPECT_EQ(record().bars[0].axis, 2);
  EXPECT_DOUBLE_EQ(record().bars[0].position, 0.1);
  EXPECT_DOUBLE_EQ(record().bars[0].page, 0.2);
  EXPECT_EQ(record().bars[1].axis, 1);
  EXPECT_NEAR(record().bars[1].position, 1.0 - 1.0, 1e-12);  // the top of the data
  EXPECT_NEAR(record().bars[1].page, 0.125, 1e-12);
  // A view beyond the data is cut at its edges.
  record().bars.clear();
  win->map = screen_mapping{100.0, -800.0, 1.0, -1.0};  // world x -100..100
  mapwin_sync_scrollbars(win);
  ASSERT_EQ(record().bars.size(), 2u);
  EXPECT_DOUBLE_EQ(record().bars[0].position, 0.0);
  EXPECT_DOUBLE_EQ(record().bars[0].page, 0.1);
}

TEST_F(MapWinScroll, NoBarsWithoutScrollBarsOrWithFlatData) {
  set_data(0, 1000, 0, 800);
  mapwin_t* win = window(200, 100);
  win->scrollbars = 0;
  mapwin_sync_scrollbars(win);
  mapwin_set_scrollbars(win, 0, 1, 0, 1);
  EXPECT_TRUE(record().bars.empty());
  win->scrollbars = 1;
  set_data(0, 1000, 5, 5);  // no height
  mapwin_sync_scrollbars(win);
  EXPECT_TRUE(record().bars.empty());
}

}  // namespace
