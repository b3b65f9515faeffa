// Scroll bars of window objects as fractions, the scroll of a map window's contents with
// the rectangles it uncovers, regions turned into rectangles to redraw, and the fills and
// clipping of map windows drawn into a surface.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "tests/framework/winutil_fixture.h"

namespace {

using winutil_test::ToolkitTest;

struct RecordedRect {
  mapwin_t* win;
  plat::Rect r;
};
std::vector<RecordedRect>& recorded() {
  static std::vector<RecordedRect> v;
  return v;
}
void record_rect(mapwin_t* win, const plat::Rect& r) { recorded().push_back({win, r}); }

bool same(const plat::Rect& a, const plat::Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class ScrollTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    recorded().clear();
    set_invalid_rect_routine(record_rect);
  }
  // A child window of the frame (client area w x h) with its window object.
  mapwin_t* map_window(int w, int h, uint32_t style = 0) {
    plat::Wnd wnd = child(10, 10, w, h, style);
    plat::Rect c;
    plat::get_client_rect(wnd, &c);
    return keep(attach_window_object(nullptr, wnd, 10, 10, c.width(), c.height(), colour_word(10, 20, 30), 32,
                                     style ? 1 : 0));
  }
};

TEST_F(ScrollTest, ScrollBarsAsFractions) {
  mapwin_t* win = map_window(300, 200, plat::WS_HSCROLL | plat::WS_VSCROLL);
  ASSERT_NE(win, nullptr);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int axis;
    double position, page;
    int want_pos;  // in units of the 0..10000 range
    unsigned want_page;
  } cases[] = {
      {1, 0.25, 0.5, 2500, 5000},
      {0, 0.33339, 0.1, 3333, 1000},  // both truncated
      {2, 0.0, 1.0, 0, 10000},        // any axis but 1 is the horizontal bar
      {1, 0.99999, 0.0, 9999, 0},
      {0, 0.9, 0.5, 5001, 5000},      // the bar keeps its thumb inside the range
      {1, -3.0, 0.2, 0, 2000},
      {0, 1e300, 0.2, 8001, 2000},    // far outside: kept within the bar
      {1, nan, nan, 0, 0},
      {0, 0.5, 7.0, 1, 10000},        // a page beyond the range is all of it
  };
  for (const Case& c : cases) {
    set_scroll_pos(win, c.axis, c.position, c.page);
    int bar = c.axis == 1 ? plat::SB_VERT : plat::SB_HORZ;
    plat::ScrollInfo si;
    si.mask = plat::SIF_ALL;
    ASSERT_TRUE(plat::get_scroll_info(win->wnd, bar, &si));
    EXPECT_EQ(si.min, 0) << c.position;
    EXPECT_EQ(si.max, 10000) << c.position;
    EXPECT_EQ(si.pos, c.want_pos) << c.axis << " " << c.position << " " << c.page;
    EXPECT_EQ(si.page, c.want_page) << c.axis << " " << c.position << " " << c.page;
    double pos = -1, page = -1;
    EXPECT_EQ(get_scroll_pos(win, c.axis, &pos, &page), 1);
    EXPECT_DOUBLE_EQ(pos, c.want_pos / 10000.0);
    EXPECT_DOUBLE_EQ(page, c.want_page / 10000.0);
  }
}

TEST_F(ScrollTest, EachAxisKeepsItsOwnBar) {
  mapwin_t* win = map_window(300, 200, plat::WS_HSCROLL | plat::WS_VSCROLL);
  set_scroll_pos(win, 1, 0.125, 0.25);
  set_scroll_pos(win, 0, 0.5, 0.125);
  double pos = 0, page = 0;
  get_scroll_pos(win, 1, &pos, &page);
  EXPECT_DOUBLE_EQ(pos, 0.125);
  EXPECT_DOUBLE_EQ(page, 0.25);
  get_scroll_pos(win, 0, &pos, &page);
  EXPECT_DOUBLE_EQ(pos, 0.5);
  EXPECT_DOUBLE_EQ(page, 0.125);
  get_scroll_pos(win, 1, nullptr, nullptr);  // outputs may be left out
}

TEST_F(ScrollTest, ObjectsWithoutWindowHaveNoBars) {
  mapwin_t* bare = nullptr;
  mapwin_new(&bare, 0, 0, 10, 10, 0, 32, 1);
  ASSERT_NE(bare, nullptr);
  for (mapwin_t* w : {static_cast<mapwin_t*>(nullptr), bare}) {
    set_scroll_pos(w, 1, 0.5, 0.5);
    double pos = 7, page = 7;
    EXPECT_EQ(get_scroll_pos(w, 1, &pos, &page), 0);
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(page, 7);
    scroll_window_region(w, 5, 5);
  }
  free_obj(&bare);
  EXPECT_TRUE(recorded().empty());
}

TEST_F(ScrollTest, ScrollInvalidatesWhatItUncovers) {
  mapwin_t* win = map_window(200, 100);
  ASSERT_NE(win, nullptr);
  struct Case {
    int dx, dy;
    std::vector<plat::Rect> want;  // right and bottom one past the uncovered area
  } cases[] = {
      {10, 0, {{0, 0, 11, 101}}},
      {-20, 0, {{180, 0, 201, 101}}},
      {0, 30, {{0, 0, 201, 31}}},
      {0, -5, {{0, 95, 201, 101}}},
      {10, 30, {{0, 0, 201, 31}, {0, 30, 11, 101}}},
      {500, 0, {{0, 0, 201, 101}}},  // further than the window: all of it
  };
  for (const Case& c : cases) {
    recorded().clear();
    winutil_test::posted().clear();
    scroll_window_region(win, c.dx, c.dy);
    ASSERT_EQ(recorded().size(), c.want.size()) << c.dx << "," << c.dy;
    for (size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_EQ(recorded()[i].win, win);
      const plat::Rect& r = recorded()[i].r;
      EXPECT_TRUE(same(r, c.want[i])) << c.dx << "," << c.dy << ": " << r.left << " " << r.top << " " << r.right
                                      << " " << r.bottom;
    }
    std::vector<int> slots = posted_slots();
    EXPECT_EQ(slots, std::vector<int>{4}) << c.dx << "," << c.dy;  // the redraw command
  }
}

TEST_F(ScrollTest, RegionRectsUnlessAnErrorIsSet) {
  mapwin_t* win = map_window(200, 100);
  plat::Region region(plat::Rect{0, 0, 50, 10});
  region.unite(plat::Region(plat::Rect{100, 20, 120, 40}));
  EXPECT_EQ(region_rects(win, region), 2);
  ASSERT_EQ(recorded().size(), 2u);
  EXPECT_TRUE(same(recorded()[0].r, plat::Rect{0, 0, 51, 11}));
  EXPECT_TRUE(same(recorded()[1].r, plat::Rect{100, 20, 121, 41}));

  recorded().clear();
  set_gblerr(5);
  region_rects(win, region);
  EXPECT_TRUE(recorded().empty());
  EXPECT_EQ(get_gblerr(), 5);
  set_gblerr(0);

  // An empty region records nothing; no recording routine: nothing either.
  region_rects(win, plat::Region());
  set_invalid_rect_routine(nullptr);
  region_rects(win, region);
  EXPECT_TRUE(recorded().empty());
}

class FillTest : public ScrollTest {
 protected:
  void SetUp() override {
    ScrollTest::SetUp();
    win = map_window(40, 40);
    ASSERT_NE(win, nullptr);
    win->dc = plat::create_surface_dc(&surface, plat::Point{0, 0}, nullptr);
    win->pane = &pane;
  }
  void TearDown() override {
    plat::delete_dc(win->dc);
    win->dc = nullptr;
    win->pane = nullptr;
    ScrollTest::TearDown();
  }
  uint32_t at(int x, int y) { return surface.at(x, y); }
  plat::Surface surface{40, 40, 0xFF000000u};
  pane_t pane{};
  mapwin_t* win = nullptr;
  const uint32_t black = 0xFF000000u;
  const uint32_t back = plat::pixel_of(plat::rgb(10, 20, 30));
  const uint32_t inverse = plat::pixel_of(plat::rgb(245, 235, 225));
};

TEST_F(FillTest, RectanglesTakeTheBackgroundOrItsInverse) {
  struct Case {
    int inverse;
    plat::Rect r;
    uint32_t want;
  } cases[] = {
      {0, {2, 3, 12, 8}, back},
      {1, {2, 3, 12, 8}, inverse},
  };
  for (const Case& c : cases) {
    surface = plat::Surface(40, 40, black);
    win->inverse = c.inverse;
    mapwin_fill_rect(win, c.r);
    EXPECT_EQ(at(2, 3), c.want);
    EXPECT_EQ(at(11, 7), c.want);
    EXPECT_EQ(at(12, 7), black);
    EXPECT_EQ(at(11, 8), black);
    EXPECT_EQ(at(1, 3), black);
  }
}

TEST_F(FillTest, BackgroundFillsThePanesCurrentRectangle) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    extent_t current;
    plat::Point in, out;  // a filled and an untouched pixel (out -1: none)
  } cases[] = {
      {{2.5, 10.2, 3.0, 8.0, 0}, {2, 3}, {11, 3}},      // widened to whole pixels
      {{0, 40, 0, 40, 0}, {39, 39}, {-1, -1}},
      {{-1e12, 1e12, -1e15, 1e15, 0}, {20, 20}, {-1, -1}},  // far beyond the window
      {{-inf, inf, 0, 5, 0}, {30, 4}, {30, 5}},
  };
  for (const Case& c : cases) {
    surface = plat::Surface(40, 40, black);
    pane.current = c.current;
    mapwin_fill_background(win);
    EXPECT_EQ(at(c.in.x, c.in.y), back) << c.current.xmin;
    if (c.out.x >= 0) {
      EXPECT_EQ(at(c.out.x, c.out.y), black) << c.current.xmin;
    }
  }
}

TEST_F(FillTest, NullMeansTheCurrentMapWindow) {
  pane.current = {0, 4, 0, 4, 0};
  set_current_mapwin(win);
  mapwin_fill_background(nullptr);
  EXPECT_EQ(at(3, 3), back);
  mapwin_fill_rect(nullptr, plat::Rect{10, 10, 12, 12});
  EXPECT_EQ(at(11, 11), back);
  set_current_mapwin(nullptr);
  // Nothing to draw into: nothing happens.
  mapwin_fill_background(nullptr);
  mapwin_fill_rect(nullptr, plat::Rect{0, 0, 1, 1});
  mapwin_set_clip(nullptr, plat::Rect{0, 0, 1, 1});
  mapwin_t* bare = nullptr;
  mapwin_new(&bare, 0, 0, 10, 10, 0, 32, 0);
  mapwin_fill_background(bare);
  mapwin_fill_rect(bare, plat::Rect{0, 0, 1, 1});
  mapwin_set_clip(bare, plat::Rect{0, 0, 1, 1});
  free_obj(&bare);
}

TEST_F(FillTest, ClipOnScreenButNotWhilePrinting) {
  for (int printing : {0, 1}) {
    surface = plat::Surface(40, 40, black);
    plat::select_clip_rgn(win->dc, nullptr);
    pane.printing = printing;
    mapwin_set_clip(win, plat::Rect{5, 5, 10, 10});
    mapwin_fill_rect(win, plat::Rect{0, 0, 40, 40});
    EXPECT_EQ(at(5, 5), back);
    EXPECT_EQ(at(9, 9), back);
    EXPECT_EQ(at(20, 20), printing ? back : black) << printing;
  }
}

}  // namespace
