// Filled figures: rectangles with every pen and brush combination, ellipses (symmetry,
// closed outline, brush inside), arcs in both directions, pies and chords, polygons by
// both fill rules with holes, and the rectangle fills that take their own brush.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <queue>
#include <thread>
#include <vector>

#include "tests/platform/gdi_fixture.h"

namespace {

using namespace gdi_test;
using plat::Point;
using plat::Rect;

PixelSet rect_pixels(int l, int t, int r, int b) {
  PixelSet s;
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x) s.insert({x, y});
  return s;
}

PixelSet minus(PixelSet a, const PixelSet& b) {
  for (auto p : b) a.erase(p);
  return a;
}

TEST(GdiShapes, RectanglesWithPensAndBrushes) {
  struct Case {
    const char* name;
    std::function<void(Canvas&)> setup;
    PixelSet pen, brush;  // black and red pixels expected
  };
  const Rect r{10, 10, 30, 25};
  const PixelSet outline = minus(rect_pixels(10, 10, 30, 25), rect_pixels(11, 11, 29, 24));
  const Case cases[] = {
      {"thin pen, brush", [](Canvas& c) { c.brush(kRed); }, outline, rect_pixels(11, 11, 29, 24)},
      {"null pen, brush", [](Canvas& c) { c.brush(kRed); c.stock(plat::NULL_PEN); }, {}, rect_pixels(10, 10, 30, 25)},
      {"thin pen, null brush", [](Canvas& c) { c.stock(plat::NULL_BRUSH); }, outline, {}},
      {"null pen, null brush", [](Canvas& c) { c.stock(plat::NULL_BRUSH); c.stock(plat::NULL_PEN); }, {}, {}},
      {"wide pen on the edge", [](Canvas& c) { c.brush(kRed); c.pen(plat::PS_SOLID, 3, kBlack); },
       minus(rect_pixels(9, 9, 31, 26), rect_pixels(12, 12, 28, 23)), rect_pixels(12, 12, 28, 23)},
      {"wide pen inside the frame", [](Canvas& c) { c.brush(kRed); c.pen(plat::PS_INSIDEFRAME, 3, kBlack); },
       minus(rect_pixels(10, 10, 30, 25), rect_pixels(13, 13, 27, 22)), rect_pixels(13, 13, 27, 22)},
      {"even wide pen", [](Canvas& c) { c.stock(plat::NULL_BRUSH); c.pen(plat::PS_SOLID, 2, kBlack); },
       minus(rect_pixels(9, 9, 30, 25), rect_pixels(11, 11, 28, 23)), {}},
  };
  for (const Case& c : cases) {
    Canvas cv(40, 35);
    c.setup(cv);
    EXPECT_TRUE(plat::rectangle(cv.dc, r.left, r.top, r.right, r.bottom));
    EXPECT_EQ(cv.pixels(kBlack), c.pen) << c.name << "\n" << cv.picture();
    EXPECT_EQ(cv.pixels(kRed), c.brush) << c.name;
    EXPECT_EQ(cv.not_white().size(), c.pen.size() + c.brush.size()) << c.name;
  }
  // Corners given the other way round draw the same rectangle.
  Canvas a(40, 35), b(40, 35);
  plat::rectangle(a.dc, 10, 10, 30, 25);
  plat::rectangle(b.dc, 30, 25, 10, 10);
  EXPECT_EQ(a.pixels(kBlack), b.pixels(kBlack));
}

// Pixels reachable from the canvas corner through white pixels.
PixelSet outside(const Canvas& cv) {
  PixelSet seen;
  std::queue<std::pair<int, int>> q;
  q.push({0, 0});
  seen.insert({0, 0});
  while (!q.empty()) {
    auto [x, y] = q.front();
    q.pop();
    const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (auto& s : d) {
      int nx = x + s[0], ny = y + s[1];
      if (nx < 0 || ny < 0 || nx >= cv.surface.width || ny >= cv.surface.height) continue;
      if (cv.at(nx, ny) != kWhite || seen.count({nx, ny})) continue;
      seen.insert({nx, ny});
      q.push({nx, ny});
    }
  }
  return seen;
}

TEST(GdiShapes, EllipsesAreSymmetricClosedAndFillTheirBox) {
  const Rect boxes[] = {{2, 2, 23, 17}, {2, 2, 22, 16}, {3, 4, 34, 35}, {5, 5, 6, 20}, {1, 8, 38, 11}, {4, 4, 8, 8}};
  const int widths[] = {1, 3, 4};
  for (const Rect& b : boxes) {
    for (int w : widths) {
      SCOPED_TRACE(::testing::Message() << b.left << "," << b.top << "," << b.right << "," << b.bottom << " pen " << w);
      Canvas cv(40, 40);
      cv.brush(kRed);
      cv.pen(plat::PS_INSIDEFRAME, w, kBlack);
      plat::ellipse(cv.dc, b.left, b.top, b.right, b.bottom);
      PixelSet pen = cv.pixels(kBlack), brush = cv.pixels(kRed);
      // Mirror symmetric about both axes of the box; the inside-frame pen keeps it in.
      for (auto [x, y] : pen) {
        EXPECT_EQ(cv.at(b.left + b.right - 1 - x, y), kBlack) << x << "," << y;
        EXPECT_EQ(cv.at(x, b.top + b.bottom - 1 - y), kBlack) << x << "," << y;
      }
      EXPECT_EQ(cv.ink_box(), b) << cv.picture();
      // The outline is closed: no brush pixel is reachable from outside, and every brush
      // pixel lies inside the box.
      PixelSet out = outside(cv);
      for (auto p : brush) {
        EXPECT_FALSE(out.count(p));
        EXPECT_TRUE(b.contains(Point{p.first, p.second}));
      }
      // Along the middle row the pen is as thick as its width (when there is room).
      if (b.width() > 2 * w + 2 && b.height() > 2 * w + 2) {
        int y = b.top + b.height() / 2, run = 0;
        while (cv.at(b.left + run, y) == kBlack) ++run;
        EXPECT_EQ(run, w);
        EXPECT_FALSE(brush.empty());
      }
    }
  }
  // A pen centred on the edge grows the figure by half its width each side.
  Canvas cv(40, 40);
  cv.pen(plat::PS_SOLID, 5, kBlack);
  plat::ellipse(cv.dc, 10, 10, 31, 25);
  EXPECT_EQ(cv.ink_box(), (Rect{8, 8, 33, 27}));
}

// Which quadrants of a circle (centre 20,20) an arc from east to north draws, counter-
// clockwise as seen on the surface or clockwise.
TEST(GdiShapes, ArcsGoTheChosenWay) {
  struct Case {
    int direction;
    Point start, end;
    bool quadrant[4];  // top-right, top-left, bottom-left, bottom-right
  };
  const Case cases[] = {
      {plat::AD_COUNTERCLOCKWISE, {40, 20}, {20, 0}, {true, false, false, false}},
      {plat::AD_CLOCKWISE, {40, 20}, {20, 0}, {false, true, true, true}},
      {plat::AD_COUNTERCLOCKWISE, {20, 0}, {40, 20}, {false, true, true, true}},
      {plat::AD_COUNTERCLOCKWISE, {0, 20}, {40, 20}, {false, false, true, true}},
      {plat::AD_CLOCKWISE, {0, 20}, {40, 20}, {true, true, false, false}},
      {plat::AD_CLOCKWISE, {35, 35}, {5, 35}, {false, false, true, true}},
      {plat::AD_COUNTERCLOCKWISE, {5, 35}, {35, 35}, {false, false, true, true}},
  };
  for (const Case& c : cases) {
    Canvas cv(41, 41);
    plat::set_arc_direction(cv.dc, c.direction);
    EXPECT_EQ(plat::get_arc_direction(cv.dc), c.direction);
    plat::arc(cv.dc, 0, 0, 41, 41, c.start.x, c.start.y, c.end.x, c.end.y);
    int count[4] = {0, 0, 0, 0};
    for (auto [x, y] : cv.pixels(kBlack)) {
      // Pixels clear of the axes belong to one quadrant.
      if (std::abs(x - 20) < 3 || std::abs(y - 20) < 3) continue;
      int q = y < 20 ? (x > 20 ? 0 : 1) : (x < 20 ? 2 : 3);
      ++count[q];
    }
    for (int q = 0; q < 4; ++q)
      EXPECT_EQ(count[q] > 0, c.quadrant[q]) << "case " << (&c - cases) << " quadrant " << q << "\n" << cv.picture();
  }
  // Equal rays: the whole outline, as an ellipse with a null brush draws it.
  Canvas full(41, 41), ell(41, 41);
  plat::arc(full.dc, 0, 0, 41, 41, 40, 20, 40, 20);
  ell.stock(plat::NULL_BRUSH);
  plat::ellipse(ell.dc, 0, 0, 41, 41);
  EXPECT_EQ(full.pixels(kBlack), ell.pixels(kBlack));
}

// A styled pen lays its pattern along the outline: the dashes and the gaps together are
// the solid outline, and the gaps take the background colour in the opaque mode only.
TEST(GdiShapes, StyledOutlinesFollowThePattern) {
  for (int width : {1, 3}) {
    for (int style : {plat::PS_DOT, plat::PS_DASH}) {
      Canvas solid(60, 50), clear(60, 50), opaque(60, 50);
      solid.pen(plat::PS_SOLID, width, kBlack);
      for (Canvas* c : {&clear, &opaque}) {
        c->pen(style, width, kBlack);
        plat::set_bk_color(c->dc, kBlue);
      }
      plat::set_bk_mode(clear.dc, plat::TRANSPARENT);
      for (Canvas* c : {&solid, &clear, &opaque}) {
        c->stock(plat::NULL_BRUSH);
        plat::ellipse(c->dc, 5, 5, 55, 45);
      }
      PixelSet ring = solid.pixels(kBlack), on = clear.pixels(kBlack);
      EXPECT_FALSE(on.empty());
      EXPECT_LT(on.size(), ring.size() * 9 / 10) << "style " << style << "\n" << clear.picture();
      for (auto p : on) EXPECT_TRUE(ring.count(p));
      PixelSet both = opaque.pixels(kBlack);
      EXPECT_EQ(both, on);
      for (auto p : opaque.pixels(kBlue)) both.insert(p);
      EXPECT_EQ(both, ring);
      EXPECT_TRUE(clear.pixels(kBlue).empty());
    }
  }
}

TEST(GdiShapes, PiesAndChordsFillTheirPart) {
  Canvas pie(41, 41);
  pie.brush(kRed);
  plat::pie(pie.dc, 0, 0, 41, 41, 40, 20, 20, 0);  // the top-right quarter
  PixelSet red = pie.pixels(kRed);
  EXPECT_GT(red.size(), 150u);
  for (auto [x, y] : red) {
    EXPECT_GE(x, 20);
    EXPECT_LE(y, 20);
  }
  EXPECT_EQ(pie.at(30, 10), kRed);
  EXPECT_EQ(pie.at(10, 10), kWhite);
  Canvas chord(41, 41);
  chord.brush(kRed);
  plat::chord(chord.dc, 0, 0, 41, 41, 40, 20, 0, 20);  // the top half
  for (auto [x, y] : chord.pixels(kRed)) EXPECT_LE(y, 20);
  EXPECT_EQ(chord.at(20, 10), kRed);
  EXPECT_EQ(chord.at(20, 30), kWhite);
}

TEST(GdiShapes, PolygonsFillByRuleWithHoles) {
  // An outer square and an inner one; both go clockwise, or the inner one goes back.
  const Point same[] = {{0, 0}, {30, 0}, {30, 30}, {0, 30}, {10, 10}, {20, 10}, {20, 20}, {10, 20}};
  const Point reversed[] = {{0, 0}, {30, 0}, {30, 30}, {0, 30}, {10, 10}, {10, 20}, {20, 20}, {20, 10}};
  const int counts[] = {4, 4};
  struct Case {
    const Point* pts;
    int mode;
    bool hole;
  };
  const Case cases[] = {{same, plat::ALTERNATE, true},
                        {same, plat::WINDING, false},
                        {reversed, plat::ALTERNATE, true},
                        {reversed, plat::WINDING, true}};
  for (const Case& c : cases) {
    Canvas cv(40, 40);
    cv.brush(kRed);
    cv.stock(plat::NULL_PEN);
    EXPECT_EQ(plat::set_poly_fill_mode(cv.dc, c.mode), plat::ALTERNATE);
    plat::poly_polygon(cv.dc, c.pts, counts, 2);
    PixelSet want = rect_pixels(0, 0, 30, 30);
    if (c.hole) want = minus(want, rect_pixels(10, 10, 20, 20));
    EXPECT_EQ(cv.pixels(kRed), want) << "mode " << c.mode << " hole " << c.hole;
    EXPECT_EQ(cv.not_white().size(), want.size());
  }
  // A five-pointed star drawn in one stroke: the centre is a hole by the even-odd rule.
  const Point star[] = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  for (int mode : {plat::ALTERNATE, plat::WINDING}) {
    Canvas cv(40, 40);
    cv.brush(kRed);
    plat::set_poly_fill_mode(cv.dc, mode);
    plat::polygon(cv.dc, star, 5);
    EXPECT_EQ(cv.at(20, 20) == kRed, mode == plat::WINDING);
    EXPECT_EQ(cv.at(20, 8), kRed);
    // The outline is drawn over the fill, closed back to the first point.
    EXPECT_EQ(cv.at(20, 2), kBlack);
    EXPECT_EQ(cv.at(9, 36), kBlack);
  }
}

TEST(GdiShapes, RectangleFillsUseTheirOwnBrush) {
  Canvas cv(20, 20);
  plat::Brush red = plat::create_solid_brush(kRed);
  cv.pen(plat::PS_SOLID, 5, kBlue);  // no effect on these calls
  plat::set_rop2(cv.dc, plat::R2_XORPEN);  // nor this
  EXPECT_EQ(plat::fill_rect(cv.dc, Rect{2, 3, 6, 5}, red), 1);
  EXPECT_EQ(cv.pixels(kRed), rect_pixels(2, 3, 6, 5));
  EXPECT_EQ(plat::frame_rect(cv.dc, Rect{10, 10, 15, 14}, red), 1);
  EXPECT_EQ(cv.pixels(kRed).size(), 8u + 14u);
  EXPECT_EQ(cv.at(12, 12), kWhite);
  EXPECT_EQ(plat::invert_rect(cv.dc, Rect{0, 0, 4, 4}), 1);
  EXPECT_EQ(cv.at(0, 0), kBlack);
  EXPECT_EQ(cv.at(2, 3), plat::rgb(0, 255, 255));
  plat::invert_rect(cv.dc, Rect{0, 0, 4, 4});
  EXPECT_EQ(cv.at(0, 0), kWhite);
  // The focus rectangle inverts and comes off again.
  Canvas focus(20, 20);
  plat::draw_focus_rect(focus.dc, Rect{2, 2, 15, 12});
  EXPECT_FALSE(focus.not_white().empty());
  EXPECT_EQ(focus.at(8, 7), kWhite);
  plat::draw_focus_rect(focus.dc, Rect{2, 2, 15, 12});
  EXPECT_TRUE(focus.not_white().empty());
  // A region filled with a brush.
  Canvas reg(20, 20);
  plat::Rgn rgn = plat::create_rect_rgn(0, 0, 5, 5);
  plat::Rgn other = plat::create_rect_rgn(10, 10, 12, 20);
  plat::combine_rgn(rgn, rgn, other, plat::RGN_OR);
  EXPECT_TRUE(plat::fill_rgn(reg.dc, rgn, red));
  PixelSet want = rect_pixels(0, 0, 5, 5);
  for (auto p : rect_pixels(10, 10, 12, 20)) want.insert(p);
  EXPECT_EQ(reg.pixels(kRed), want);
  // A stale brush is refused.
  plat::delete_object(red);
  EXPECT_EQ(plat::fill_rect(cv.dc, Rect{0, 0, 20, 20}, red), 0);
  plat::delete_object(rgn);
  plat::delete_object(other);
}

// A region filled on one thread while another changes it: each fill paints the region as
// it was at some moment, never rectangles that are being replaced.
TEST(GdiShapes, RegionsFilledWhileAnotherThreadChangesThem) {
  plat::Rgn rgn = plat::create_rect_rgn(0, 0, 0, 0);
  plat::Rgn squares = plat::create_rect_rgn(0, 0, 0, 0);
  for (int i = 0; i < 12; ++i)
    for (int j = 0; j < 12; ++j) {
      plat::Rgn sq = plat::create_rect_rgn(i * 3, j * 3, i * 3 + 2, j * 3 + 2);
      plat::combine_rgn(squares, squares, sq, plat::RGN_OR);
      plat::delete_object(sq);
    }
  plat::Rgn bar = plat::create_rect_rgn(40, 0, 45, 36);
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int k = 0; k < 3000; ++k) plat::combine_rgn(rgn, k % 2 ? squares : bar, nullptr, plat::RGN_COPY);
    done = true;
  });
  Canvas cv(50, 40);
  plat::Brush red = plat::create_solid_brush(kRed);
  while (!done) EXPECT_TRUE(plat::fill_rgn(cv.dc, rgn, red));
  changer.join();
  for (auto [x, y] : cv.pixels(kRed)) {
    bool in_squares = x < 36 && y < 36 && x % 3 < 2 && y % 3 < 2, in_bar = x >= 40 && x < 45 && y < 36;
    EXPECT_TRUE(in_squares || in_bar) << x << "," << y;
  }
  EXPECT_EQ(cv.not_white().size(), cv.pixels(kRed).size());
  for (plat::GdiObj o : {rgn, squares, bar, red}) plat::delete_object(o);
}

TEST(GdiShapes, PixelsSetAndReadThroughTheClip) {
  Canvas cv(10, 10);
  plat::intersect_clip_rect(cv.dc, 0, 0, 5, 10);
  EXPECT_EQ(plat::set_pixel(cv.dc, 2, 3, kGreen), kGreen);
  EXPECT_EQ(plat::get_pixel(cv.dc, 2, 3), kGreen);
  EXPECT_EQ(plat::get_pixel(cv.dc, 3, 3), kWhite);
  EXPECT_EQ(plat::set_pixel(cv.dc, 7, 3, kGreen), plat::CLR_INVALID);
  EXPECT_EQ(plat::get_pixel(cv.dc, 7, 3), plat::CLR_INVALID);
  EXPECT_EQ(plat::get_pixel(cv.dc, -1, 3), plat::CLR_INVALID);
  EXPECT_EQ(plat::set_pixel(cv.dc, 2000000000, 2000000000, kGreen), plat::CLR_INVALID);
  EXPECT_EQ(cv.at(7, 3), kWhite);
}

}  // namespace
