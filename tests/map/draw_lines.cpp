// The drawing of lines: a track polyline at the screen positions of its points, a long
// polyline sent in chunks giving the pixels of one call, clipping of segments and lines
// running far outside the window, filled outlines (also with an invisible edge and far
// larger than the window), the outcodes, and the pen cache.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/map/draw_fixture.h"

namespace {

using tm_test::draw_canvas;
using tm_test::kRedWord;
using tm_test::pixel_set;

constexpr plat::Color kRed = plat::rgb(255, 0, 0);
constexpr plat::Color kBlue = plat::rgb(0, 0, 255);

void draw_line(std::vector<double> xy, uint32_t colour, int thickness, int edge, int fill) {
  loil_t* l = tm_test::new_line(xy);
  dpolycurve_t* s = tm_test::line_style(colour, thickness, edge, fill);
  drawobj_draw_routine(CLS_DPOLYCURVE)(s, l, nullptr);
  tm_test::release_line(l);
  tm_test::free_one(s);
}

TEST(DrawLines, TrackPolylineCoversItsPoints) {
  draw_canvas c;
  const std::vector<double> track = {10, 10, 40, 10, 40, 60, 80, 90, 95, 20};
  draw_line(track, kRedWord, 1, 1, 0);
  // Every point but the last (a polyline stops before its last point) lies on the line.
  for (size_t i = 0; i + 2 < track.size(); i += 2)
    EXPECT_EQ(c.at_world(track[i], track[i + 1]), kRed) << track[i] << "," << track[i + 1];
  EXPECT_EQ(c.at_world(25, 10), kRed);   // between the first two points
  EXPECT_EQ(c.at_world(40, 35), kRed);
  EXPECT_EQ(c.at_world(60, 40), tm_test::kWhiteColour);
  EXPECT_EQ(c.ink(), c.pixels(kRed));
}

TEST(DrawLines, NothingWithoutTargetOrPoints) {
  draw_canvas c;
  draw_line({}, kRedWord, 1, 1, 0);
  dc_end();
  draw_line({10, 10, 90, 90}, kRedWord, 1, 1, 0);
  EXPECT_TRUE(c.ink().empty());
}

// A track drawn as a whole through its segment-point style: one segment from each
// position to the next, with the link motif and thickness.
TEST(DrawLines, TrackOfPositionsDrawsItsSegments) {
  draw_canvas c;
  container_t* list = tm_test::empty_list();
  tracklog_t* t = nullptr;
  obj_new(0, CLS_TRACKLOG, reinterpret_cast<obj_t**>(&t));
  obj_list_append(list, t);
  container_t* pts = tm_test::empty_list();
  const double xy[][2] = {{10, 10}, {50, 10}, {50, 90}, {90, 50}};
  for (const auto& p : xy) {
    gpspos_t* g = nullptr;
    gpspos_create(p[0], p[1], nullptr, 0.0, nullptr, list, &g);
    obj_set_father_link(g, t);
    obj_list_append(pts, g);
  }
  auto* track = tm_test::new_draw_style<dsegpoint_t>(CLS_DSEGPOINT);
  track->typesrc = CLS_GPSPOS;
  track->pptcoord = kPointCoordsOffset;
  track->contsrc = pts;
  track->vcolour = kRedWord;
  track->vlinkmotif = 1;
  track->vlinkthick = 1;
  drawobj_draw(track);
  // Each segment stops before its end: the last position itself is not drawn.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c.at_world(xy[i][0], xy[i][1]), kRed) << i;
  EXPECT_EQ(c.at_world(89, 51), kRed);
  EXPECT_EQ(c.at_world(30, 10), kRed);
  EXPECT_EQ(c.at_world(50, 50), kRed);
  EXPECT_EQ(c.at_world(70, 70), kRed);
  EXPECT_EQ(c.at_world(30, 50), tm_test::kWhiteColour);
  // The link motif 0 draws nothing.
  draw_canvas none;
  track->vlinkmotif = 0;
  drawobj_draw(track);
  EXPECT_TRUE(none.ink().empty());
  track->contsrc = nullptr;
  tm_test::free_one(track);
  obj_list_set_count(pts, 0);
  free_obj(&pts);
  tm_test::free_list(list);
}

// 1,200 points (three chunks of at most 500 sharing their end points) give exactly the
// pixels of one polyline call over the same points.
TEST(DrawLines, ChunkedPolylineMatchesOneCall) {
  std::vector<double> xy;
  std::vector<plat::Point> device;
  for (int i = 0; i < 1200; ++i) {
    const double x = 5 + 0.075 * i;                       // 2 × 0.075 = 0.15 pixel a step...
    const double y = 50 + 40 * std::sin(i * 0.05);        // ...but y moves more
    xy.push_back(x);
    xy.push_back(y);
  }
  draw_canvas c;
  draw_line(xy, kRedWord, 1, 1, 0);
  // The reference: every point on its pixel, one call, the same pen.
  draw_canvas ref;
  for (size_t i = 0; i < xy.size(); i += 2)
    device.push_back({int(std::floor(xy[i] * 2 + 0.5)), int(std::floor((xy[i + 1] - 100) * -2 + 0.5))});
  plat::Pen pen = plat::create_pen(plat::PS_SOLID, 1, kRed);
  plat::GdiObj old = plat::select_object(ref.dc, pen);
  plat::polyline(ref.dc, device.data(), int(device.size()));
  plat::select_object(ref.dc, old);
  plat::delete_object(pen);
  EXPECT_FALSE(c.ink().empty());
  EXPECT_EQ(c.pixels(kRed), ref.pixels(kRed));
  // No gap at the chunk joins (points 499 and 998).
  for (int i : {498, 499, 500, 997, 998, 999})
    EXPECT_EQ(c.at(device[i].x, device[i].y), kRed) << i;
}

// A track far outside on both sides draws only its part across the window, up to the
// window's edge, and never reaches the device with its far coordinates.
TEST(DrawLines, SegmentsAndLinesClippedToTheWindow) {
  struct Case {
    const char* name;
    std::vector<double> xy;
    std::vector<std::pair<double, double>> on;  // world points that must be drawn
    bool nothing;
  };
  const Case cases[] = {
      {"both ends left", {-500, 10, -20, 90}, {}, true},
      {"both ends above", {10, 1e9, 90, 200}, {}, true},
      {"one end inside", {50, 50, 1e7, 50}, {{50, 50}, {99, 50}}, false},
      {"across from far away", {-3e4, 30, 3e4, 30}, {{0, 30}, {50, 30}, {99, 30}}, false},
      {"across, huge", {-1e15, 70, 1e15, 70}, {{1, 70}, {98, 70}}, false},
      {"in, out and back", {10, 20, 50, 1e8, 90, 20}, {{10, 20}, {90, 21}}, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    draw_line(k.xy, kRedWord, 1, 1, 0);
    if (k.nothing) {
      EXPECT_TRUE(c.ink().empty());
    }
    for (auto [x, y] : k.on) EXPECT_EQ(c.at_world(x, y), kRed) << x << "," << y;
    // A segment through the pipeline alone: the same rule.
    draw_canvas d;
    geosegment_t* seg = nullptr;
    obj_new(0, CLS_GEOSEGMENT, reinterpret_cast<obj_t**>(&seg));
    seg->coords = gps_twopoints_t{k.xy[0], k.xy[1], k.xy[2], k.xy[3], 0};
    auto* s = tm_test::new_draw_style<dsegment_t>(CLS_DSEGMENT);
    s->prcoord = offsetof(geosegment_t, coords);
    s->vcolour = kRedWord;
    s->vmotif = 1;
    drawobj_draw_routine(CLS_DSEGMENT)(s, seg, nullptr);
    if (k.nothing) {
      EXPECT_TRUE(d.ink().empty());
    }
    if (k.xy.size() == 4) {
      for (auto [x, y] : k.on) EXPECT_EQ(d.at_world(x, y), kRed) << "segment " << x << "," << y;
    }
    tm_test::free_one(s);
    tm_test::free_one(seg);
  }
}

TEST(DrawLines, OutcodesAndEdgePoints) {
  draw_canvas c;
  clip_window_set(0.0);  // the 200 × 200 rectangle widened by 10 pixels
  const extent_t w = clip_window();
  EXPECT_EQ(w.xmin, -10);
  EXPECT_EQ(w.ymax, 210);
  const struct {
    screen_pt p;
    int code;
  } codes[] = {{{0, 0}, 0},     {{-11, 5}, 1},    {{211, 5}, 2},     {{5, -11}, 4},
               {{5, 211}, 8},   {{-11, -11}, 5},  {{211, 211}, 10},  {{NAN, 5}, 15}};
  for (const auto& k : codes) EXPECT_EQ(clip_outcode(k.p), k.code) << k.p.x << "," << k.p.y;
  screen_pt p{-110, 100};
  ASSERT_EQ(clip_point_to_window(&p, {90, 100}, 1), 1);
  EXPECT_EQ(p.x, -10);
  EXPECT_EQ(p.y, 100);
  // A corner segment that misses the window cannot be moved onto it.
  screen_pt q{-100, 50};
  EXPECT_EQ(clip_point_to_window(&q, {50, -100}, 1), 0);
}

// The outline is filled, clipped as a polygon; motif 0 on the edge leaves only the fill.
TEST(DrawLines, FilledOutlines) {
  struct Case {
    const char* name;
    std::vector<double> xy;
    int edge, fill;
    bool filled;
  };
  const Case cases[] = {
      {"edge and fill", {20, 20, 80, 20, 80, 80, 20, 80}, 1, 1, true},
      {"fill only (motif 0)", {20, 20, 80, 20, 80, 80, 20, 80}, 0, 1, true},
      {"edge only", {20, 20, 80, 20, 80, 80, 20, 80}, 1, 0, false},
      {"far larger than the window", {-1e6, -1e6, 1e6, -1e6, 1e6, 1e6, -1e6, 1e6}, 1, 1, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    draw_canvas c;
    draw_line(k.xy, tm_test::kBlueWord, 1, k.edge, k.fill);
    EXPECT_EQ(c.at_world(50, 50) == kBlue, k.filled);
    EXPECT_EQ(c.at_world(21, 60) == kBlue, k.filled);
    if (k.xy[0] > 0) {
      EXPECT_EQ(c.at_world(10, 50), tm_test::kWhiteColour);
      // Only a filled outline is closed (its first point appended again): without fill
      // the side back to the first point is not drawn.
      EXPECT_EQ(c.at_world(20, 50) == kBlue, k.fill != 0);
      EXPECT_EQ(c.at_world(80, 50) == kBlue, k.edge != 0);  // a fill leaves out its right edge
      EXPECT_EQ(c.at_world(79, 50) == kBlue, k.fill != 0);
    } else {
      EXPECT_EQ(c.pixels(kBlue).size(), 200u * 200u);
    }
  }
}

TEST(DrawLines, SameLookCreatesOnePen) {
  draw_canvas c;
  select_pen_brush(1, 2, kRedWord, 0);
  plat::GdiObj pen = plat::get_current_object(c.dc, plat::OBJ_PEN);
  select_pen_brush(1, 2, kRedWord | 0xFF000000u, 0);  // the fourth byte is not the colour
  EXPECT_EQ(plat::get_current_object(c.dc, plat::OBJ_PEN), pen);
  select_pen_brush(1, 2, tm_test::kBlueWord, 0);
  EXPECT_NE(plat::get_current_object(c.dc, plat::OBJ_PEN), pen);
  EXPECT_EQ(plat::get_current_object(c.dc, plat::OBJ_BRUSH), plat::get_stock_object(plat::NULL_BRUSH));
  select_pen_brush(1, 2, tm_test::kBlueWord, 1);
  EXPECT_NE(plat::get_current_object(c.dc, plat::OBJ_BRUSH), plat::get_stock_object(plat::NULL_BRUSH));
  // A new drawing of a pane selects again.
  plat::GdiObj blue = plat::get_current_object(c.dc, plat::OBJ_PEN);
  dc_begin(c.pane, c.dc, 0, 0);
  select_pen_brush(1, 2, tm_test::kBlueWord, 1);
  EXPECT_NE(plat::get_current_object(c.dc, plat::OBJ_PEN), blue);
}

TEST(DrawLines, PenStylesAndWidths) {
  const int styles[] = {plat::PS_NULL, plat::PS_SOLID, plat::PS_SOLID, plat::PS_SOLID, plat::PS_SOLID,
                        plat::PS_SOLID, plat::PS_SOLID, plat::PS_SOLID, plat::PS_DOT, plat::PS_DASH};
  for (int m = 0; m < 10; ++m) EXPECT_EQ(motif_pen_style(m), styles[m]) << m;
  EXPECT_EQ(motif_pen_style(10), plat::PS_SOLID);
  EXPECT_EQ(motif_pen_style(-1), plat::PS_SOLID);

  // width := max(thickness × symbol scale × min(g × scale x, 1), 1) + 0.1
  struct Case {
    double thickness, symbol_scale, g, scale_x, want;
  };
  const Case cases[] = {
      {3, 1, 0, 2, 3.1},     {3, 2, 0, 2, 6.1},   {4, 1, 0.25, 2, 2.1}, {4, 1, 1, 2, 4.1},
      {0, 1, 0, 2, 1.1},     {0.5, 1, 0, 2, 1.1}, {4, 1, 0.1, 2, 1.1},  {4, 1, 0.25, -2, 2.1},
  };
  for (const Case& k : cases) {
    draw_canvas c(10, 10, screen_mapping{0, 0, k.scale_x, -2});
    c.pane->symbol_scale = k.symbol_scale;
    drawobj_scale_width(k.thickness, k.g);
    EXPECT_NEAR(draw_current_width(), k.want, 1e-12) << k.thickness << " " << k.g;
  }
}

}  // namespace
