// Lines with the pen: exact pixels of thin lines, exact clipping (at the surface edge,
// far away, to regions), styled patterns, wide pens (width, symmetry, no gaps, each
// pixel painted once), mix modes and the viewport origin.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/platform/gdi_fixture.h"

namespace {

using namespace gdi_test;
using plat::Point;
using plat::Rect;

TEST(GdiLines, ThinLinesHaveExactPixels) {
  struct Case {
    Point a, b;
    PixelSet want;
  };
  const Case cases[] = {
      {{1, 1}, {5, 1}, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
      {{2, 0}, {2, 3}, {{2, 0}, {2, 1}, {2, 2}}},
      {{0, 0}, {3, 3}, {{0, 0}, {1, 1}, {2, 2}}},
      {{0, 0}, {4, 2}, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
      {{5, 5}, {1, 5}, {{5, 5}, {4, 5}, {3, 5}, {2, 5}}},
      {{3, 6}, {3, 3}, {{3, 6}, {3, 5}, {3, 4}}},
      {{6, 0}, {0, 6}, {{6, 0}, {5, 1}, {4, 2}, {3, 3}, {2, 4}, {1, 5}}},
  };
  for (const Case& c : cases) {
    Canvas cv(10, 10);
    plat::move_to(cv.dc, c.a.x, c.a.y);
    plat::line_to(cv.dc, c.b.x, c.b.y);
    EXPECT_EQ(cv.pixels(kBlack), c.want) << c.a.x << "," << c.a.y << " -> " << c.b.x << "," << c.b.y << "\n"
                                         << cv.picture();
    EXPECT_EQ(plat::get_current_position(cv.dc), c.b);
  }
}

TEST(GdiLines, PolylinesJoinWithoutRepeatsAndDots) {
  Canvas cv(8, 8);
  const Point pts[] = {{0, 0}, {3, 0}, {3, 3}, {1, 3}};
  plat::polyline(cv.dc, pts, 4);
  EXPECT_EQ(cv.pixels(kBlack), pixels_from_art({"####", "...#", "...#", "..##"})) << cv.picture();
  // One point: a dot. A zero-length thin line: nothing.
  Canvas dot(5, 5);
  const Point one[] = {{2, 2}};
  plat::polyline(dot.dc, one, 1);
  EXPECT_EQ(dot.pixels(kBlack), (PixelSet{{2, 2}}));
  Canvas none(5, 5);
  plat::move_to(none.dc, 2, 2);
  plat::line_to(none.dc, 2, 2);
  EXPECT_TRUE(none.not_white().empty());
  EXPECT_FALSE(plat::polyline(none.dc, one, 0));
}

// Clipping changes nothing but which pixels are kept: every line drawn on a small
// canvas gives the pixels of the same line on a large canvas, inside the small one.
TEST(GdiLines, ClippingAtTheEdgeIsExact) {
  const Point lines[][2] = {{{-5, -5}, {25, 15}},  {{-30, 4}, {50, 6}},  {{7, -40}, {9, 60}},
                            {{25, -3}, {-6, 12}},  {{19, 9}, {-19, -9}}, {{-100, 1}, {2, 100}},
                            {{3, -7}, {3, 20}},    {{-8, 9}, {40, 9}},   {{0, 0}, {19, 9}}};
  for (const auto& l : lines) {
    Canvas small(20, 10);
    Canvas big(200, 200);
    plat::set_viewport_org(big.dc, 100, 100);
    for (Canvas* cv : {&small, &big}) {
      plat::move_to(cv->dc, l[0].x, l[0].y);
      plat::line_to(cv->dc, l[1].x, l[1].y);
    }
    PixelSet want;
    for (auto [x, y] : big.pixels(kBlack))
      if (x >= 100 && x < 120 && y >= 100 && y < 110) want.insert({x - 100, y - 100});
    EXPECT_EQ(small.pixels(kBlack), want) << l[0].x << "," << l[0].y << " -> " << l[1].x << "," << l[1].y;
  }
}

TEST(GdiLines, FarAwayLinesCostOnlyTheirVisiblePart) {
  struct Case {
    Point a, b;
    int row;  // the row that must be fully drawn, -1 for none
  };
  const Case cases[] = {{{-2000000000, 3}, {2000000000, 3}, 3},
                        {{2147483000, 5}, {-2147483000, 5}, 5},
                        {{-2000000000, -2000000000}, {-1999999000, 2000000000}, -1},
                        {{-5, 100}, {30, 100}, -1}};
  for (const Case& c : cases) {
    Canvas cv(20, 10);
    plat::move_to(cv.dc, c.a.x, c.a.y);
    plat::line_to(cv.dc, c.b.x, c.b.y);
    PixelSet want;
    if (c.row >= 0)
      for (int x = 0; x < 20; ++x) want.insert({x, c.row});
    EXPECT_EQ(cv.pixels(kBlack), want) << c.a.x << "," << c.a.y;
  }
}

TEST(GdiLines, ClipRegionsKeepOnlyTheirPixels) {
  // Each clip is set on a fresh 30x20 canvas, then the same wide fan of lines is drawn;
  // what shows must be the unclipped drawing inside the clip.
  auto draw = [](Canvas& cv) {
    cv.pen(plat::PS_SOLID, 3, kBlack);
    for (int i = 0; i < 8; ++i) {
      plat::move_to(cv.dc, 15, 10);
      plat::line_to(cv.dc, 15 + int(20 * std::cos(i * 0.8)), 10 + int(20 * std::sin(i * 0.8)));
    }
  };
  Canvas full(30, 20);
  draw(full);
  PixelSet all = full.pixels(kBlack);
  struct Case {
    const char* name;
    std::function<void(plat::Dc)> set_clip;
    std::function<bool(int, int)> inside;
  };
  const Case cases[] = {
      {"select_clip_rgn",
       [](plat::Dc dc) {
         plat::Rgn a = plat::create_rect_rgn(0, 0, 10, 10);
         plat::Rgn b = plat::create_rect_rgn(20, 5, 30, 20);
         plat::combine_rgn(a, a, b, plat::RGN_OR);
         EXPECT_EQ(plat::select_clip_rgn(dc, a), plat::COMPLEXREGION);
         plat::delete_object(a);  // the context keeps its own copy
         plat::delete_object(b);
       },
       [](int x, int y) { return (x < 10 && y < 10) || (x >= 20 && y >= 5); }},
      {"intersect_clip_rect", [](plat::Dc dc) { plat::intersect_clip_rect(dc, 5, 3, 17, 12); },
       [](int x, int y) { return x >= 5 && x < 17 && y >= 3 && y < 12; }},
      {"exclude_clip_rect", [](plat::Dc dc) { plat::exclude_clip_rect(dc, 10, 0, 20, 20); },
       [](int x, int) { return x < 10 || x >= 20; }},
      {"intersect then exclude",
       [](plat::Dc dc) {
         plat::intersect_clip_rect(dc, 0, 0, 15, 20);
         plat::exclude_clip_rect(dc, 5, 5, 10, 10);
       },
       [](int x, int y) { return x < 15 && !(x >= 5 && x < 10 && y >= 5 && y < 10); }},
      {"clip rect in logical units",
       [](plat::Dc dc) {
         plat::set_viewport_org(dc, 4, 0);
         plat::intersect_clip_rect(dc, 0, 0, 6, 20);  // device x 4..10
         plat::set_viewport_org(dc, 0, 0);
       },
       [](int x, int) { return x >= 4 && x < 10; }},
  };
  for (const Case& c : cases) {
    Canvas cv(30, 20);
    c.set_clip(cv.dc);
    draw(cv);
    PixelSet want;
    for (auto [x, y] : all)
      if (c.inside(x, y)) want.insert({x, y});
    EXPECT_EQ(cv.pixels(kBlack), want) << c.name << "\n" << cv.picture();
  }
  // Removing the clip region restores the whole surface.
  Canvas cv(30, 20);
  plat::intersect_clip_rect(cv.dc, 0, 0, 2, 2);
  EXPECT_EQ(plat::select_clip_rgn(cv.dc, nullptr), plat::SIMPLEREGION);
  draw(cv);
  EXPECT_EQ(cv.pixels(kBlack), all);
}

TEST(GdiLines, WindowContextsDrawAtTheirOriginInsideTheirClip) {
  // A context on a surface at origin (10, 5), limited to a region given at creation:
  // device (0,0) is surface (10,5) and nothing leaves the region.
  plat::Region clip(Rect{10, 5, 30, 15});
  clip.subtract(plat::Region(Rect{20, 5, 25, 10}));
  Canvas cv(40, 30, &clip);
  plat::dc_set_surface_clip(cv.dc, Point{10, 5}, &clip);
  EXPECT_EQ(plat::dc_origin(cv.dc), (Point{10, 5}));
  plat::fill_rect(cv.dc, Rect{-100, -100, 100, 100}, plat::get_stock_object(plat::BLACK_BRUSH));
  PixelSet want;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (clip.contains(Point{x, y})) want.insert({x, y});
  EXPECT_EQ(cv.pixels(kBlack), want);
  Rect box;
  EXPECT_EQ(plat::get_clip_box(cv.dc, &box), plat::COMPLEXREGION);
  EXPECT_EQ(box, (Rect{0, 0, 20, 10}));
  EXPECT_EQ(plat::set_pixel(cv.dc, 0, 0, kRed), kRed);
  EXPECT_EQ(cv.at(10, 5), kRed);
  EXPECT_EQ(plat::get_pixel(cv.dc, 12, 2), plat::CLR_INVALID);  // excluded part
  EXPECT_EQ(plat::set_pixel(cv.dc, 12, 2, kRed), plat::CLR_INVALID);
}

// The pattern of a styled pen repeats along the line, carries on across the corners of
// a polyline, and its gaps take the background colour in the opaque mode only.
TEST(GdiLines, StyledPensRepeatTheirPattern) {
  struct Case {
    int style;
    int min_on_run;  // dashes have longer runs than dots
  };
  const Case cases[] = {{plat::PS_DASH, 6}, {plat::PS_DOT, 1}, {plat::PS_DASHDOT, 1}, {plat::PS_DASHDOTDOT, 1}};
  int dash_longest = 0, dot_longest = 0;
  for (const Case& c : cases) {
    Canvas cv(200, 3);
    cv.pen(c.style, 1, kBlack);
    plat::set_bk_mode(cv.dc, plat::TRANSPARENT);
    plat::move_to(cv.dc, 0, 1);
    plat::line_to(cv.dc, 200, 1);
    std::vector<bool> on(200);
    for (int x = 0; x < 200; ++x) on[size_t(x)] = cv.at(x, 1) == kBlack;
    EXPECT_TRUE(on[0]) << "a pattern starts with a dash";
    int period = 0;
    for (int p = 2; p < 100 && !period; ++p) {
      bool same = true;
      for (int x = 0; x + p < 200 && same; ++x) same = on[size_t(x)] == on[size_t(x + p)];
      if (same) period = p;
    }
    EXPECT_GT(period, 0) << c.style;
    int offs = 0, longest = 0, run = 0;
    for (int x = 0; x < 200; ++x) {
      offs += !on[size_t(x)];
      run = on[size_t(x)] ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    EXPECT_GT(offs, 0);
    EXPECT_GE(longest, c.min_on_run);
    if (c.style == plat::PS_DASH) dash_longest = longest;
    if (c.style == plat::PS_DOT) dot_longest = longest;
    // The same line as a polyline with corners on the row gives the same pixels.
    Canvas poly(200, 3);
    poly.pen(c.style, 1, kBlack);
    plat::set_bk_mode(poly.dc, plat::TRANSPARENT);
    const Point pts[] = {{0, 1}, {7, 1}, {50, 1}, {51, 1}, {200, 1}};
    plat::polyline(poly.dc, pts, 5);
    EXPECT_EQ(poly.pixels(kBlack), cv.pixels(kBlack)) << c.style;
    // Opaque mode: the gaps are painted in the background colour.
    Canvas opaque(200, 3);
    opaque.pen(c.style, 1, kBlack);
    plat::set_bk_color(opaque.dc, kBlue);
    plat::move_to(opaque.dc, 0, 1);
    plat::line_to(opaque.dc, 200, 1);
    EXPECT_EQ(opaque.pixels(kBlack), cv.pixels(kBlack));
    EXPECT_EQ(opaque.pixels(kBlue).size(), size_t(offs));
  }
  EXPECT_GT(dash_longest, dot_longest);
}

double dist_to_segment(double px, double py, Point a, Point b) {
  double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? std::clamp(((px - a.x) * dx + (py - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
}

// A wide pen covers the pixels near the path and none far from it: no gaps at joins
// however sharp, round ends, and nothing spilled.
TEST(GdiLines, WidePensCoverTheirWidthWithoutGaps) {
  struct Case {
    int width;
    std::vector<Point> pts;
  };
  const Case cases[] = {
      {3, {{10, 10}, {50, 10}}},
      {5, {{10, 40}, {30, 5}, {50, 40}}},
      {6, {{8, 8}, {52, 20}, {8, 32}, {52, 44}}},
      {9, {{15, 15}, {45, 15}, {45, 45}, {15, 45}, {15, 16}}},
      {4, {{30, 30}, {31, 30}, {30, 31}}},
      {7, {{30, 30}}},
  };
  for (const Case& c : cases) {
    Canvas cv(60, 60);
    cv.pen(plat::PS_SOLID, c.width, kBlack);
    plat::polyline(cv.dc, c.pts.data(), int(c.pts.size()));
    double r = c.width / 2.0;
    for (int y = 0; y < 60; ++y) {
      for (int x = 0; x < 60; ++x) {
        // Even widths sit half a pixel up and left of the path.
        double px = x + (c.width % 2 == 0 ? 0.5 : 0.0), py = y + (c.width % 2 == 0 ? 0.5 : 0.0);
        double d = 1e9;
        for (size_t i = 0; i < c.pts.size(); ++i)
          d = std::min(d, dist_to_segment(px, py, c.pts[i], c.pts[i + 1 < c.pts.size() ? i + 1 : i]));
        bool drawn = cv.at(x, y) == kBlack;
        if (d <= r - 0.75) {
          ASSERT_TRUE(drawn) << "gap at " << x << "," << y << " width " << c.width << "\n" << cv.picture();
        }
        if (d >= r + 0.75) {
          ASSERT_FALSE(drawn) << "spill at " << x << "," << y << " width " << c.width;
        }
      }
    }
  }
}

TEST(GdiLines, WidePensAreAsThickAsTheirWidthAndSymmetric) {
  for (int w = 2; w <= 8; ++w) {
    Canvas cv(60, 60);
    cv.pen(plat::PS_SOLID, w, kBlack);
    plat::move_to(cv.dc, 10, 20);
    plat::line_to(cv.dc, 50, 20);
    int rows = 0;
    for (int y = 0; y < 60; ++y) rows += cv.at(30, y) == kBlack;
    EXPECT_EQ(rows, w) << "horizontal, width " << w;
    plat::move_to(cv.dc, 20, 30);
    plat::line_to(cv.dc, 20, 58);
    int cols = 0;
    for (int x = 0; x < 60; ++x) cols += cv.at(x, 45) == kBlack;
    EXPECT_EQ(cols, w) << "vertical, width " << w;
  }
  // An odd-width V is its own mirror image.
  Canvas v(41, 40);
  v.pen(plat::PS_SOLID, 5, kBlack);
  const Point pts[] = {{5, 5}, {20, 33}, {35, 5}};
  plat::polyline(v.dc, pts, 3);
  for (auto [x, y] : v.pixels(kBlack)) EXPECT_EQ(v.at(40 - x, y), kBlack) << x << "," << y;
}

// Each pixel of a figure is mixed once: an exclusive-or pen shows exactly the figure a
// copy pen draws (no holes where pieces overlap) and a second pass removes it.
TEST(GdiLines, MixModesTouchEachPixelOnce) {
  // A path that crosses itself (wide pens paint the union of their pieces), and one that
  // does not turn sharply (thin lines: a pixel where two segments meet at an acute angle
  // or cross belongs to both).
  const Point crossing[] = {{5, 5}, {40, 30}, {10, 35}, {38, 6}, {20, 20}};
  const Point zigzag[] = {{5, 5}, {40, 5}, {45, 30}, {20, 40}, {5, 25}};
  struct Case {
    int width;
    int style;
    const Point* pts;
  };
  const Case cases[] = {{1, plat::PS_SOLID, zigzag}, {1, plat::PS_DOT, zigzag}, {4, plat::PS_SOLID, crossing},
                        {7, plat::PS_SOLID, crossing}, {5, plat::PS_DASH, crossing}};
  for (const Case& c : cases) {
    const Point* pts = c.pts;
    Canvas copy(50, 45), xr(50, 45);
    copy.pen(c.style, c.width, kBlack);
    plat::set_bk_mode(copy.dc, plat::TRANSPARENT);
    plat::polyline(copy.dc, pts, 5);
    xr.pen(c.style, c.width, kWhite);
    plat::set_bk_mode(xr.dc, plat::TRANSPARENT);
    EXPECT_EQ(plat::set_rop2(xr.dc, plat::R2_XORPEN), plat::R2_COPYPEN);
    plat::polyline(xr.dc, pts, 5);
    EXPECT_EQ(xr.pixels(kBlack), copy.pixels(kBlack)) << "width " << c.width;
    plat::polyline(xr.dc, pts, 5);
    EXPECT_TRUE(xr.not_white().empty()) << "width " << c.width;
  }
  struct Mix {
    int mode;
    plat::Color pen, dst, want;
  };
  const Mix mixes[] = {
      {plat::R2_COPYPEN, kRed, kBlue, kRed},
      {plat::R2_NOT, kRed, plat::rgb(0, 255, 15), plat::rgb(255, 0, 240)},
      {plat::R2_XORPEN, plat::rgb(255, 15, 0), plat::rgb(15, 15, 15), plat::rgb(240, 0, 15)},
      {plat::R2_NOP, kRed, kBlue, kBlue},
      {plat::R2_BLACK, kRed, kBlue, kBlack},
      {plat::R2_WHITE, kRed, kBlue, kWhite},
      {plat::R2_MASKPEN, plat::rgb(255, 255, 0), plat::rgb(0, 255, 255), plat::rgb(0, 255, 0)},
      {plat::R2_MERGEPEN, kRed, kBlue, plat::rgb(255, 0, 255)},
      {plat::R2_NOTCOPYPEN, kRed, kBlue, plat::rgb(0, 255, 255)},
  };
  for (const Mix& m : mixes) {
    Canvas cv(6, 3);
    cv.brush(m.dst);
    plat::fill_rect(cv.dc, Rect{0, 0, 6, 3}, plat::get_current_object(cv.dc, plat::OBJ_BRUSH));
    cv.pen(plat::PS_SOLID, 1, m.pen);
    plat::set_rop2(cv.dc, m.mode);
    plat::move_to(cv.dc, 0, 1);
    plat::line_to(cv.dc, 6, 1);
    EXPECT_EQ(cv.at(3, 1), m.want) << "mode " << m.mode;
    EXPECT_EQ(cv.at(3, 0), m.dst);
  }
}

TEST(GdiLines, RepeatedPointsOfWidePensChangeNoPixel) {
  // A track seen from afar repeats its device points: a wide path with its points repeated
  // paints what the path without the repeats paints, with plain stores and with exclusive
  // or (where a pixel painted twice would show), even and odd widths, solid and dashed.
  const Point plain[] = {{6, 6}, {30, 9}, {12, 33}, {40, 28}, {8, 20}};
  std::vector<Point> repeated;
  for (int i = 0; i < 5; ++i)
    for (int k = 0; k <= i % 3; ++k) repeated.push_back(plain[i]);
  struct Case {
    int width, style, rop;
  };
  const Case cases[] = {{2, plat::PS_SOLID, plat::R2_COPYPEN}, {3, plat::PS_SOLID, plat::R2_COPYPEN},
                        {2, plat::PS_SOLID, plat::R2_XORPEN}, {5, plat::PS_SOLID, plat::R2_XORPEN},
                        {4, plat::PS_DASH, plat::R2_XORPEN}, {6, plat::PS_DOT, plat::R2_COPYPEN}};
  for (const Case& c : cases) {
    Canvas once(48, 42), again(48, 42);
    for (Canvas* cv : {&once, &again}) {
      // On white, a black copy and a white exclusive or both leave black.
      cv->pen(c.style, c.width, c.rop == plat::R2_XORPEN ? kWhite : kBlack);
      plat::set_rop2(cv->dc, c.rop);
    }
    plat::polyline(once.dc, plain, 5);
    plat::polyline(again.dc, repeated.data(), int(repeated.size()));
    EXPECT_FALSE(once.pixels(kBlack).empty()) << "width " << c.width << " rop " << c.rop;
    EXPECT_EQ(again.not_white(), once.not_white()) << "width " << c.width << " rop " << c.rop;
  }
}

TEST(GdiLines, WidePenDiscsFollowTheirCircleExactly) {
  // The disc a wide pen leaves at a lone point: the pixel centres (x, y) with
  // (y - cy)^2 < r^2 and -h <= x - cx < h, h = sqrt(r^2 - (y - cy)^2), the centre half a
  // pixel up and left for even widths. Worked in whole numbers (twice the offsets): the
  // left and top edges in, the right and bottom out.
  for (int width : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 25, 31, 40, 64, 65}) {
    const int size = 80, at = 40;
    Canvas cv(size, size);
    cv.pen(plat::PS_SOLID, width, kBlack);
    const Point one{at, at};
    plat::polyline(cv.dc, &one, 1);
    PixelSet want;
    const int64_t w2 = int64_t(width) * width;
    const int64_t shift2 = width % 2 == 0 ? -1 : 0;  // twice the centre's shift
    for (int y = 0; y < size; ++y) {
      const int64_t dy2 = 2 * int64_t(y - at) - shift2;
      if (dy2 * dy2 >= w2 || dy2 < -width || dy2 >= width) continue;
      for (int x = 0; x < size; ++x) {
        const int64_t dx2 = 2 * int64_t(x - at) - shift2, room = w2 - dy2 * dy2;
        if (dx2 >= 0 ? dx2 * dx2 < room : dx2 * dx2 <= room) want.insert({x, y});
      }
    }
    EXPECT_EQ(cv.pixels(kBlack), want) << "width " << width << "\n" << cv.picture();
  }
}

TEST(GdiLines, NullPensAndViewportOrigin) {
  Canvas cv(20, 20);
  cv.stock(plat::NULL_PEN);
  const Point pts[] = {{0, 0}, {19, 19}, {0, 19}};
  plat::polyline(cv.dc, pts, 3);
  EXPECT_TRUE(cv.not_white().empty());
  cv.stock(plat::BLACK_PEN);
  EXPECT_EQ(plat::set_viewport_org(cv.dc, 10, 5), (Point{0, 0}));
  plat::move_to(cv.dc, 0, 0);
  plat::line_to(cv.dc, 3, 0);
  EXPECT_EQ(cv.pixels(kBlack), (PixelSet{{10, 5}, {11, 5}, {12, 5}}));
  EXPECT_EQ(plat::offset_viewport_org(cv.dc, -10, -5), (Point{10, 5}));
  EXPECT_EQ(plat::get_viewport_org(cv.dc), (Point{0, 0}));
  plat::set_window_org(cv.dc, -2, -2);  // logical (-2,-2) is device (0,0)
  plat::set_pixel(cv.dc, -2, -2, kRed);
  EXPECT_EQ(cv.at(0, 0), kRed);
}

}  // namespace

namespace {

// Coordinates, origins, clip rectangles and pen widths from the far ends of the int range
// keep what lands on the surface and never overflow; a wide dashed line from far away
// costs only its visible part.
TEST(GdiLines, FarCoordinatesOriginsAndWidthsStayExact) {
  const int kMin = INT32_MIN, kMax = INT32_MAX;
  struct Case {
    const char* name;
    std::function<void(gdi_test::Canvas&)> draw;
    size_t black;  // pixels of the 20 x 10 canvas drawn black
  };
  const Case cases[] = {
      {"whole-range clip rectangle under a window origin",
       [=](gdi_test::Canvas& c) {
         plat::set_window_org(c.dc, kMin, kMin);
         plat::intersect_clip_rect(c.dc, kMax - 5, kMax - 5, kMax, kMax);
         plat::set_window_org(c.dc, 0, 0);
         plat::fill_rect(c.dc, Rect{0, 0, 20, 10}, plat::get_stock_object(plat::BLACK_BRUSH));
       },
       0},
      {"whole-range region selected at an origin",
       [=](gdi_test::Canvas& c) {
         plat::Region area(Rect{3, 2, 20, 10});
         plat::dc_set_surface_clip(c.dc, Point{3, 2}, &area);
         plat::Rgn all = plat::create_rect_rgn(kMin, kMin, kMax, kMax);
         EXPECT_EQ(plat::select_clip_rgn(c.dc, all), plat::SIMPLEREGION);
         plat::delete_object(all);
         plat::fill_rect(c.dc, Rect{kMin, kMin, kMax, kMax}, plat::get_stock_object(plat::BLACK_BRUSH));
       },
       17 * 8},
      {"viewport origin at the far end",
       [=](gdi_test::Canvas& c) {
         plat::set_viewport_org(c.dc, kMax, kMax);
         plat::offset_viewport_org(c.dc, kMax, kMax);
         EXPECT_FALSE(plat::pt_visible(c.dc, kMax, kMax));
         plat::set_window_org(c.dc, kMax, kMax);  // logical (kMax, kMax) is device (kMax, kMax)
         EXPECT_FALSE(plat::pt_visible(c.dc, kMax, 0));
         plat::set_window_org(c.dc, kMax, kMax - 5);
         plat::set_viewport_org(c.dc, 0, 0);
         EXPECT_TRUE(plat::pt_visible(c.dc, kMax, kMax));
         plat::set_pixel(c.dc, kMax, kMax, kBlack);  // device (0, 5)
       },
       1},
      {"a pen as wide as the range",
       [=](gdi_test::Canvas& c) {
         c.pen(plat::PS_SOLID, kMax, kBlack);
         plat::rectangle(c.dc, 2, 2, 5, 5);
       },
       200},
  };
  for (const Case& c : cases) {
    gdi_test::Canvas cv(20, 10);
    c.draw(cv);
    EXPECT_EQ(cv.pixels(kBlack).size(), c.black) << c.name << "\n" << cv.picture();
  }
  // A wide dashed line across the whole range: its dashes (a gap is shorter than the
  // canvas) 3 pixels thick around its row.
  gdi_test::Canvas across(20, 10);
  across.pen(plat::PS_DASH, 3, kBlack);
  plat::set_bk_mode(across.dc, plat::TRANSPARENT);
  plat::move_to(across.dc, kMin, 5);
  plat::line_to(across.dc, kMax, 5);
  EXPECT_FALSE(across.pixels(kBlack).empty()) << across.picture();
  for (auto [x, y] : across.not_white()) EXPECT_TRUE(y >= 4 && y <= 6) << x << "," << y;
  // The dashes of a line that starts far away follow the same pattern as one that starts
  // near, the far start being a whole number of periods (dash 18 and gap 6, times the
  // width) away.
  const int start = -3 * (18 + 6) * 1000000;
  gdi_test::Canvas far(40, 10), near(40, 10);
  for (gdi_test::Canvas* c : {&far, &near}) {
    c->pen(plat::PS_DASH, 3, kBlack);
    plat::set_bk_mode(c->dc, plat::TRANSPARENT);
  }
  plat::move_to(far.dc, start, 5);
  plat::line_to(far.dc, 40, 5);
  plat::move_to(near.dc, 0, 5);
  plat::line_to(near.dc, 40, 5);
  EXPECT_EQ(far.pixels(kBlack), near.pixels(kBlack)) << far.picture() << "\n" << near.picture();
}

// A solid pen storing plainly into a rectangular clip draws its lines straight into the
// surface; every other pen steps them pixel by pixel with a test per pixel. Both must
// give the same pixels: each path is drawn with the copy pen and again with the mask pen
// (on white, mask paints what copy paints, and painting a pixel twice changes nothing),
// which takes the pixel-by-pixel path, and thin paths are checked against the stepping
// rule itself: step t of a segment from a, major length M and minor length m, is at a
// plus t along the major axis and floor((2 m t + M) / (2 M)) along the minor one, for t
// in [0, M); the end of a segment is the start of the next.
TEST(GdiLines, SolidPathsMatchThePixelByPixelPath) {
  const Rect box{6, 5, 34, 25};  // the clip, inside a 40 x 30 canvas
  using Path = std::vector<Point>;
  struct Case {
    const char* name;
    Path pts;
    bool closed = false;  // drawn as a polygon outline (no brush)
  };
  std::vector<Case> cases = {
      {"octants from the centre",
       {{20, 15}, {30, 18}, {20, 15}, {30, 12}, {20, 15}, {10, 18}, {20, 15}, {10, 12}, {20, 15}, {23, 24},
        {20, 15}, {17, 24}, {20, 15}, {23, 6}, {20, 15}, {17, 6}}},
      {"diagonals, level and upright", {{8, 6}, {27, 25}, {27, 6}, {8, 25}, {8, 7}, {33, 7}, {33, 24}}},
      {"ends on the box's edges", {{6, 5}, {33, 24}, {33, 5}, {6, 24}, {6, 5}}},
      {"end just past the right and bottom edges", {{20, 15}, {34, 20}, {20, 15}, {25, 25}, {20, 15}, {34, 25}}},
      {"crossing the left edge both ways", {{1, 10}, {15, 14}, {2, 20}, {12, 3}}},
      {"crossing the right edge both ways", {{39, 10}, {25, 14}, {38, 21}, {28, 2}}},
      {"crossing the top edge both ways", {{12, 0}, {16, 12}, {25, 1}, {31, 2}, {30, 20}}},
      {"crossing the bottom edge both ways", {{12, 29}, {16, 18}, {25, 28}, {27, 10}, {29, 29}}},
      {"through two edges and a corner", {{0, 0}, {39, 29}, {0, 29}, {39, 0}, {2, 12}, {38, 17}}},
      {"entirely outside", {{0, 0}, {5, 29}, {39, 29}, {39, 0}, {0, 2}, {39, 4}}},
      {"zero-length links", {{20, 15}, {20, 15}, {25, 17}, {25, 17}, {25, 17}, {11, 9}, {11, 9}}},
      {"far away, crossing", {{-100000, 15}, {100000, 16}, {20, -70000}, {21, 90000}}},
      {"a closed outline over an edge", {{3, 8}, {25, 10}, {30, 27}, {12, 20}}, true},
      {"a closed outline inside", {{10, 8}, {25, 10}, {30, 22}, {12, 20}}, true},
  };
  // Random tracks over and around the box, with short and long links.
  uint32_t seed = 12345;
  auto next = [&seed](int lo, int hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + int((seed >> 8) % uint32_t(hi - lo + 1));
  };
  std::vector<std::string> names;
  for (int k = 0; k < 60; ++k) names.push_back("random track " + std::to_string(k));
  for (int k = 0; k < 60; ++k) {
    Path pts;
    const int n = next(2, 14), reach = k % 3 == 0 ? 4 : 40;
    Point at{next(-8, 47), next(-8, 37)};
    for (int i = 0; i < n; ++i) {
      pts.push_back(at);
      at = Point{at.x + next(-reach, reach), at.y + next(-reach, reach)};
    }
    cases.push_back(Case{names[size_t(k)].c_str(), pts, k % 10 == 9});
  }

  auto draw = [&box](const Case& c, int width, int rop2) {
    plat::Region clip(box);
    auto cv = std::make_unique<Canvas>(40, 30, &clip);
    cv->pen(plat::PS_SOLID, width, kBlack);
    cv->stock(plat::NULL_BRUSH);
    plat::set_rop2(cv->dc, rop2);
    if (c.closed) plat::polygon(cv->dc, c.pts.data(), int(c.pts.size()));
    else plat::polyline(cv->dc, c.pts.data(), int(c.pts.size()));
    return cv;
  };
  auto stepped = [&box](const Case& c) {
    PixelSet want;
    const size_t n = c.pts.size(), segs = c.closed ? n : n - 1;
    for (size_t i = 0; i < segs; ++i) {
      const Point a = c.pts[i], b = c.pts[(i + 1) % n];
      const int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
      const bool xmaj = std::llabs(dx) >= std::llabs(dy);
      const int64_t M = xmaj ? std::llabs(dx) : std::llabs(dy), m = xmaj ? std::llabs(dy) : std::llabs(dx);
      const int64_t smaj = (xmaj ? dx : dy) < 0 ? -1 : 1, smin = (xmaj ? dy : dx) < 0 ? -1 : 1;
      for (int64_t t = 0; t < M; ++t) {
        const int64_t along = smaj * t, across = smin * ((2 * m * t + M) / (2 * M));
        const int64_t x = a.x + (xmaj ? along : across), y = a.y + (xmaj ? across : along);
        if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) want.insert({int(x), int(y)});
      }
    }
    return want;
  };
  for (const Case& c : cases) {
    for (int width : {0, 1, 2, 3}) {
      auto copy = draw(c, width, plat::R2_COPYPEN);
      auto mask = draw(c, width, plat::R2_MASKPEN);
      const PixelSet drawn = copy->not_white();
      EXPECT_EQ(drawn, mask->not_white()) << c.name << ", width " << width << "\n"
                                          << copy->picture() << "\n" << mask->picture();
      if (width <= 1) {
        EXPECT_EQ(drawn, stepped(c)) << c.name << ", width " << width << "\n" << copy->picture();
      }
      if (std::string(c.name) == "octants from the centre") {
        EXPECT_FALSE(drawn.empty());
      }
    }
  }
}

// A window's surface may change size while a context on it is out: drawing then keeps
// to the new pixels.
TEST(GdiLines, SurfacesResizedUnderAContextStayInBounds) {
  gdi_test::Canvas cv(50, 40);
  cv.surface.resize(20, 10);
  plat::fill_rect(cv.dc, plat::Rect{0, 0, 100, 100}, plat::get_stock_object(plat::BLACK_BRUSH));
  EXPECT_EQ(cv.pixels(gdi_test::kBlack).size(), 200u);
  cv.pen(plat::PS_SOLID, 5, gdi_test::kRed);
  plat::move_to(cv.dc, 0, 5);
  plat::line_to(cv.dc, 100, 5);
  plat::ellipse(cv.dc, -10, -10, 60, 60);
  plat::text_out(cv.dc, 0, 0, u"Wide text", 9);
  cv.surface.resize(60, 50);
  plat::Rect box;
  plat::get_clip_box(cv.dc, &box);
  EXPECT_EQ(box, (plat::Rect{0, 0, 60, 50}));
}

}  // namespace
