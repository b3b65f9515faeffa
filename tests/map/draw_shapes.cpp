// The drawing of shapes: the five point shapes, rectangles with edge and fill, full
// ellipses and counter-clockwise arcs, image symbols (transparency, too small to show),
// the pixel offset of a style, and shapes reaching the 16-bit range of some devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "geodesy/georef.h"
#include "tests/map/draw_fixture.h"

namespace {

using tm_test::draw_canvas;
using tm_test::kRedWord;

constexpr plat::Color kRed = plat::rgb(255, 0, 0);
constexpr plat::Color kWhite = tm_test::kWhiteColour;

void draw_point(double x, double y, int thickness, int shape, int motif, pixel_offset_t offset = {}) {
  waypoint_t* w = tm_test::new_point(x, y);
  auto* s = tm_test::new_draw_style<dpoint_t>(CLS_DPOINT);
  s->typesrc = CLS_WAYPOINT;
  s->pptcoord = kPointCoordsOffset;
  s->vcolour = kRedWord;
  s->vthickness = thickness;
  s->vshape = shape;
  s->vmotif = motif;
  s->vpixy = offset;
  drawobj_draw_routine(CLS_DPOINT)(s, w, nullptr);
  tm_test::free_one(s);
  tm_test::free_one(w);
}

// World (50, 50) is pixel (100, 100); thickness 3 gives h = 3.
TEST(DrawShapes, PointShapes) {
  struct Case {
    const char* name;
    int thickness, shape, motif;
    std::vector<std::pair<int, int>> red, white;
  };
  const Case cases[] = {
      {"dot only (thickness 0)", 0, 1, 1, {{100, 100}}, {{103, 100}, {101, 100}}},
      {"circle", 3, 1, 0, {{100, 97}, {97, 100}}, {{100, 100}, {99, 99}, {105, 100}}},
      {"filled circle", 3, 1, 1, {{100, 97}, {99, 99}, {100, 100}}, {{105, 100}}},
      {"square", 3, 2, 0, {{97, 97}, {102, 97}, {97, 102}}, {{99, 99}, {104, 100}}},
      {"filled square", 3, 2, 1, {{97, 97}, {99, 99}, {101, 101}}, {{104, 100}}},
      {"plus", 3, 3, 1, {{100, 97}, {100, 102}, {97, 100}, {102, 100}}, {{98, 98}, {102, 102}}},
      {"cross", 3, 4, 1, {{97, 97}, {102, 102}, {97, 103}, {101, 99}}, {{100, 97}, {97, 100}}},
      {"triangle", 3, 5, 1, {{100, 97}, {97, 103}, {102, 103}, {102, 101}}, {{100, 102}, {95, 103}}},
      {"no shape", 3, 0, 1, {{100, 100}}, {{97, 97}, {100, 97}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    draw_point(50, 50, k.thickness, k.shape, k.motif);
    for (auto [x, y] : k.red) EXPECT_EQ(c.at(x, y), kRed) << x << "," << y;
    for (auto [x, y] : k.white) EXPECT_EQ(c.at(x, y), kWhite) << x << "," << y;
  }
}

// On a printer page the shape's outline takes the symbol scale factor as its pen width,
// as its size takes it (thickness 2 at factor 3: a square of half-side 6).
TEST(DrawShapes, PointOutlineTakesTheSymbolScale) {
  struct Case {
    const char* name;
    double symbol_scale;
    int half, pen;
  };
  const Case cases[] = {{"screen", 1.0, 2, 1}, {"printed at 300 dpi", 3.0, 6, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    c.pane->symbol_scale = k.symbol_scale;
    draw_point(50, 50, 2, 2, 0);
    // The red run across the square's left side on the row of the point.
    int run = 0;
    for (int x = 100 - k.half - 3; x <= 100; ++x) run += c.at(x, 100) == kRed;
    EXPECT_EQ(run, k.pen);
    EXPECT_EQ(c.at(100 - k.half + k.pen / 2, 100 - k.half + k.pen / 2), kRed);
    EXPECT_EQ(c.at(100 + k.half + k.pen / 2 + 1, 100), kWhite);
  }
}

TEST(DrawShapes, PixelAndPageOffsetsMoveThePoint) {
  draw_canvas c;
  draw_point(50, 50, 0, 0, 1, pixel_offset_t{5, -7});
  EXPECT_EQ(c.ink(), (tm_test::pixel_set{{105, 93}}));
  // The page offsets (a printer page's margins) move everything drawn.
  draw_canvas page;
  dc_begin(page.pane, page.dc, 20, 30);
  draw_point(50, 50, 0, 0, 1, pixel_offset_t{5, -7});
  EXPECT_EQ(page.ink(), (tm_test::pixel_set{{125, 123}}));
}

// A point of a layer in UTM 31N on a view in degrees lands on its longitude and latitude.
TEST(DrawShapes, PointsThroughTheLayerLink) {
  // 1,000 pixels a degree; (2.3522, 48.8566) on pixel (100, 100).
  draw_canvas c(200, 200, screen_mapping{-2.2522, -48.9566, 1000, -1000});
  georef_t* view = tm_test::make_georef(214, 0);
  georef_t* utm = tm_test::make_georef(214, 31);
  xform_chain_t* chain = nullptr;
  georef_link_chain(view, utm, &chain);
  ASSERT_NE(chain, nullptr);
  c.layer->cs_link = chain;  // the layer owns it
  waypoint_t* w = tm_test::new_point(452482.5327026278, 5411717.1768689);
  auto* s = tm_test::new_draw_style<dpoint_t>(CLS_DPOINT);
  s->pptcoord = kPointCoordsOffset;
  s->vcolour = kRedWord;
  s->vmotif = 1;
  drawobj_draw_routine(CLS_DPOINT)(s, w, nullptr);
  const tm_test::pixel_set ink = c.ink();
  ASSERT_EQ(ink.size(), 1u);
  EXPECT_NEAR(ink.begin()->first, 100, 1);
  EXPECT_NEAR(ink.begin()->second, 100, 1);
  tm_test::free_one(s);
  tm_test::free_one(w);
  tm_test::free_one(view);
  tm_test::free_one(utm);
}

TEST(DrawShapes, RectangleEdgeAndFill) {
  for (int fill : {0, 1}) {
    draw_canvas c;
    georectangle_t* r = nullptr;
    obj_new(0, CLS_GEORECTANGLE, reinterpret_cast<obj_t**>(&r));
    r->coords = gps_twopoints_t{10, 80, 40, 60, 0};  // pixels 20..80 by 40..80
    auto* s = tm_test::new_draw_style<drectangle_t>(CLS_DRECTANGLE);
    s->prcoord = offsetof(georectangle_t, coords);
    s->vcolour = kRedWord;
    s->vedgemotif = 1;
    s->vfillmotif = fill;
    drawobj_draw_routine(CLS_DRECTANGLE)(s, r, nullptr);
    EXPECT_EQ(c.at(20, 40), kRed);
    EXPECT_EQ(c.at(79, 79), kRed);
    EXPECT_EQ(c.at(50, 60), fill ? kRed : kWhite);
    EXPECT_EQ(c.at(81, 60), kWhite);
    tm_test::free_one(s);
    tm_test::free_one(r);
  }
}

// An ellipse of axes 40 by 20 units (80 by 40 pixels) at world (50, 50): a sweep that is
// a multiple of 360 degrees draws it whole, any other an arc counter-clockwise from
// the start angle to the end angle; an orientation in (pi/4, 5 pi/4] swaps the axes.
TEST(DrawShapes, EllipsesAndArcs) {
  struct Case {
    const char* name;
    double start, end, orient;
    bool right, top, left, bottom;  // which of the four extreme points are drawn
  };
  const Case cases[] = {
      {"0 to 360", 0, 360, 0, true, true, true, true},
      {"0 to 0", 0, 0, 0, true, true, true, true},
      {"-90 to 270", -90, 270, 0, true, true, true, true},
      {"upper half", 0, 180, 0, true, true, true, false},
      {"quarter from the top", 90, 180, 0, false, true, true, false},
      {"lower half", 180, 360.4, 0, true, false, true, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    geoarcellip_t* e = nullptr;
    obj_new(0, CLS_GEOARCELLIP, reinterpret_cast<obj_t**>(&e));
    e->center = gps_point_t{50, 50, 0};
    auto* s = tm_test::new_draw_style<darcellip_t>(CLS_DARCELLIP);
    s->pcenter = offsetof(geoarcellip_t, center);
    s->vgraxis = 40;
    s->vsmaxis = 20;
    s->vorient = k.orient;
    s->vangle[0] = k.start;
    s->vangle[1] = k.end;
    s->vcolour = kRedWord;
    s->vedgemotif = 1;
    drawobj_draw_routine(CLS_DARCELLIP)(s, e, nullptr);
    // Box 60..140 by 80..120: the extreme points one pixel inside it.
    auto drawn_near = [&](int x, int y) {
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
          if (c.at(x + dx, y + dy) == kRed) return true;
      return false;
    };
    EXPECT_EQ(drawn_near(139, 100), k.right);
    EXPECT_EQ(drawn_near(100, 80), k.top);
    EXPECT_EQ(drawn_near(60, 100), k.left);
    EXPECT_EQ(drawn_near(100, 119), k.bottom);
    EXPECT_EQ(c.at(100, 100), kWhite);
    tm_test::free_one(s);
    tm_test::free_one(e);
  }
  // Swapped axes: 40 pixels across and 80 high.
  draw_canvas c;
  geoarcellip_t* e = nullptr;
  obj_new(0, CLS_GEOARCELLIP, reinterpret_cast<obj_t**>(&e));
  e->center = gps_point_t{50, 50, 0};
  auto* s = tm_test::new_draw_style<darcellip_t>(CLS_DARCELLIP);
  s->pcenter = offsetof(geoarcellip_t, center);
  s->vgraxis = 40;
  s->vsmaxis = 20;
  s->vorient = std::numbers::pi / 2;
  s->vcolour = kRedWord;
  s->vedgemotif = 1;
  drawobj_draw_routine(CLS_DARCELLIP)(s, e, nullptr);
  const plat::Rect box = [&] {
    plat::Rect b{1000, 1000, -1, -1};
    for (auto [x, y] : c.ink()) b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1), std::max(b.bottom, y + 1)};
    return b;
  }();
  EXPECT_EQ(box.right - box.left, 40);
  EXPECT_EQ(box.bottom - box.top, 80);
  tm_test::free_one(s);
  tm_test::free_one(e);
}

// Ellipses and texts whose coordinates reach ±(30000 - width) are not drawn; lines and
// rectangles far away are clipped or cut by the device, never wrapped.
TEST(DrawShapes, FarCoordinatesDrawNothingWrong) {
  draw_canvas c;
  draw_screen_ellipse(extent_t{29990, 30010, 10, 20, 0}, 1, 1, kRedWord, 1, nullptr, nullptr);
  draw_screen_ellipse(extent_t{-20, 20, 10, 20, 0}, 1, 1, kRedWord, 1, nullptr, nullptr);
  EXPECT_FALSE(c.ink().empty());  // the second one, within range
  draw_canvas d;
  draw_screen_ellipse(extent_t{-29999, 100, 10, 20, 0}, 1, 1, kRedWord, 1, nullptr, nullptr);
  const screen_pt far{40000, 50};
  draw_screen_ellipse(extent_t{10, 100, 10, 20, 0}, 1, 1, kRedWord, 0, &far, &far);
  draw_screen_text(0, 12, 1, 0, kRedWord, u"far", screen_pt{-30000, 50});
  draw_screen_text(0, 12, 1, 0, kRedWord, u"far", screen_pt{50, 29999.5});
  EXPECT_TRUE(d.ink().empty());
  // 2^40 pixels away on both sides: the rectangle covers the window.
  draw_screen_rect(1, 1, kRedWord, 1, screen_pt{-1e12, -1e12}, screen_pt{1e12, 1e12});
  EXPECT_EQ(d.pixels(kRed).size(), 200u * 200u);
}

// An image symbol at its own size times the pane's symbol scale factor (a printer page's),
// centred on its point, its transparent colour left out; one that would show below a
// tenth of its design size is not drawn.
TEST(DrawShapes, IconSymbol) {
  struct Case {
    const char* name;
    double geopixsize, symbol_scale;
    bool drawn;
    int scale;  // of the drawn symbol
  };
  const Case cases[] = {{"design size unknown", 0.0, 1.0, true, 1},
                        {"shown at its size", 0.5, 1.0, true, 1},
                        {"a tenth of it", 0.05, 1.0, true, 1},
                        {"too small", 0.04, 1.0, false, 1},
                        {"printed at 200 dpi", 0.5, 2.0, true, 2},
                        {"printed at 300 dpi", 0.0, 3.0, true, 3},
                        {"scale unset", 0.5, 0.0, true, 1}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    c.pane->symbol_scale = k.symbol_scale;
    bitmap_t* icon = nullptr;
    obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&icon));
    ASSERT_EQ(alloc_bitmap(icon, 5, 3, 3, 0), 0);
    set_graylevel_lut(icon);
    for (int row = 0; row < 3; ++row) {
      uint8_t* r = get_img_line_adr(icon, row, 0);
      uint8_t* g = get_img_line_adr(icon, row, 1);
      uint8_t* b = get_img_line_adr(icon, row, 2);
      for (int x = 0; x < 5; ++x) {
        const bool hole = row == 1 && x == 2;  // the centre: transparent (green)
        r[x] = hole ? 0 : 255;
        g[x] = hole ? 255 : 0;
        b[x] = 0;
      }
    }
    icon->has_transparent = 1;
    icon->transparent[0] = 0;
    icon->transparent[1] = 255;
    icon->transparent[2] = 0;
    waypoint_t* w = tm_test::new_point(50, 50);
    auto* s = tm_test::new_draw_style<dimage_t>(CLS_DIMAGE);
    s->pptcoord = kPointCoordsOffset;
    s->vimg = icon;
    s->geopixsize = k.geopixsize;
    drawobj_draw_routine(CLS_DIMAGE)(s, w, nullptr);
    if (k.drawn) {
      // 5 by 3 pixels, each drawn k.scale by k.scale, centred on (100, 100): at scale 1
      // columns 98..102 and rows 99..101.
      const int n = k.scale, w = 5 * n, h = 3 * n;
      const int left = int(std::floor(100 - w / 2.0 + 0.5)), top = int(std::floor(100 - h / 2.0 + 0.5));
      EXPECT_EQ(c.pixels(kRed).size(), size_t(w * h - n * n));
      EXPECT_EQ(c.at(left, top), kRed);
      EXPECT_EQ(c.at(left + w - 1, top + h - 1), kRed);
      EXPECT_EQ(c.at(left - 1, top), kWhite);
      EXPECT_EQ(c.at(left + w, top + h - 1), kWhite);
      EXPECT_EQ(c.at(left + 2 * n, top + n), kWhite);  // the transparent centre
      EXPECT_EQ(c.at(left + 3 * n - 1, top + 2 * n - 1), kWhite);
      EXPECT_EQ(c.at(left + 3 * n, top + n), kRed);
    } else {
      EXPECT_TRUE(c.ink().empty());
    }
    s->vimg = nullptr;
    tm_test::free_one(s);
    tm_test::free_one(w);
    tm_test::free_one(icon);
  }
}

}  // namespace
