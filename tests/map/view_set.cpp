// View positioning: the zoom-in clamp and the zoom-out refusal, pure re-centres by
// whole pixels, the axis direction, the zoom operations' scales and centres, and the
// targets without width or height, which keep the scale and re-centre.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/object.h"
#include "map/graphic_index.h"
#include "map/view_set.h"
#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::MapWinFixture;
using mapwin_test::record;
using mapwin_test::v;

// The world point at the window's centre.
struct centre {
  double x, y;
};
centre centre_of(const mapwin_t* win) {
  const screen_mapping m = win->map;
  return {win->width * 0.5 / m.scale_x - m.origin_x, win->height * 0.5 / m.scale_y - m.origin_y};
}

class ViewSetFixture : public MapWinFixture {
 protected:
  void TearDown() override {
    for (bitmap_t* b : bitmaps_) free_obj(&b);
    MapWinFixture::TearDown();
  }
  // A 200 x 100 window, y upwards, over data 0..1000 x 0..500 (fit scale 0.2), showing
  // the world point (500, 250) at the scale s.
  mapwin_t* view(double s) {
    set_data(0, 1000, 0, 500);
    mapwin_t* win = window(200, 100);
    mapwin_set_orientation(win, 0);
    EXPECT_EQ(view_set(win, 500, 250, s, s, 0), 1);
    record().posted.clear();
    return win;
  }
  // An image record of w x h pixels without georeference (its world rectangle is its
  // pixel rectangle); no lines are allocated, the routines here read only the size.
  const bitmap_t* image(int w, int h) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    b->width = w;
    b->height = h;
    bitmaps_.push_back(b);
    return b;
  }
  static void expect_centre(const mapwin_t* win, double x, double y) {
    const centre c = centre_of(win);
    EXPECT_NEAR(c.x, x, 1e-6);
    EXPECT_NEAR(c.y, y, 1e-6);
  }
  static void expect_finite(const mapwin_t* win) {
    const screen_mapping m = win->map;
    EXPECT_TRUE(std::isfinite(m.origin_x) && std::isfinite(m.origin_y));
    EXPECT_TRUE(std::isfinite(m.scale_x) && std::isfinite(m.scale_y));
  }

  std::vector<bitmap_t*> bitmaps_;
};

using ViewSetLimits = ViewSetFixture;
using ViewSetZoom = ViewSetFixture;
using ViewSetDegenerate = ViewSetFixture;

TEST_F(ViewSetLimits, ZoomInStopsAt600000TimesTheFitScaleWithTheCentreFixed) {
  mapwin_t* win = view(0.2);
  for (int i = 0; i < 25; ++i) view_set_image_scale(win, 2.0, 2.0, 1);  // 2^25 > 600000
  EXPECT_NEAR(v(win->map.scale_x), 0.2 * kViewMaxZoom, 1e-6);
  EXPECT_NEAR(v(win->map.scale_y), -0.2 * kViewMaxZoom, 1e-6);
  expect_centre(win, 500, 250);
  // The limit also holds at a point: the world point under the pixel stays there.
  const double wx = 30 / v(win->map.scale_x) - v(win->map.origin_x);
  view_zoom_at(win, 30, 40, 8.0);
  EXPECT_NEAR(v(win->map.scale_x), 0.2 * kViewMaxZoom, 1e-6);
  EXPECT_NEAR(30 / v(win->map.scale_x) - v(win->map.origin_x), wx, 1e-9);
  EXPECT_DOUBLE_EQ(view_scale_limit(win, 0.2 * kViewMaxZoom * 3, 0.0), 3.0);
  EXPECT_DOUBLE_EQ(view_scale_limit(win, 0.2 * kViewMaxZoom, 0.0), 0.0);
}

TEST_F(ViewSetLimits, ZoomOutRefusedAtTwiceTheDataLargerSide) {
  // At 0.05 the window's smaller side is 100 / 0.05 = 2000 = 2 x 1000.
  mapwin_t* win = view(0.05);
  const screen_mapping before = win->map;
  EXPECT_EQ(view_can_zoom_out(win), 0);
  EXPECT_EQ(view_set(win, 500, 250, 0.5, 0.5, 1), 0);
  EXPECT_EQ(view_zoom_at(win, 10, 10, 0.5), 0);
  EXPECT_EQ(v(win->map.scale_x), before.scale_x);
  EXPECT_EQ(v(win->map.origin_x), before.origin_x);
  // Zooming in is still allowed, and just inside the limit zooming out is too.
  EXPECT_EQ(view_set(win, 500, 250, 2.0, 2.0, 1), 1);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 0.1);
  EXPECT_EQ(view_can_zoom_out(win), 1);
  EXPECT_EQ(view_set(win, 500, 250, 0.5, 0.5, 1), 1);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 0.05);
  // An absolute scale is not a zoom-out: it is never refused.
  EXPECT_EQ(view_set(win, 500, 250, 0.01, 0.01, 0), 1);
}

TEST_F(ViewSetLimits, NoDataNoWindowNoLimitAndNoZoomOut) {
  mapwin_t* win = window(200, 100);
  set_data(0, 0, 0, 0);  // no extent at all
  EXPECT_EQ(view_can_zoom_out(win), 0);
  EXPECT_EQ(view_scale_limit(win, 1e12, 1e12), 0.0);
  EXPECT_EQ(view_set(nullptr, 0, 0, 1, 1, 0), 0);  // no current window
  EXPECT_EQ(view_can_zoom_out(nullptr), 0);
  EXPECT_EQ(view_zoom_at(nullptr, 0, 0, 2), 0);
  EXPECT_EQ(view_fit_all(win, 0.0), 0);  // nothing to fit
  EXPECT_EQ(view_zoom_to(win, nullptr, nullptr, 1, 1), 0);
  set_current_mapwin(win);
  EXPECT_EQ(view_set(nullptr, 5, 6, 2, 2, 0), 1);  // the current window
  expect_centre(win, 5, 6);
}

TEST_F(ViewSetLimits, PureRecentreScrollsWholePixelsAndReturnsZeroWhenCentred) {
  mapwin_t* win = view(2.0);
  EXPECT_EQ(view_set(win, 500, 250, 1, 1, 1), 0);
  EXPECT_EQ(view_set(win, 500.4, 249.6, 1, 1, 1), 0);  // 0.8 pixel: truncated to 0
  EXPECT_EQ(v(win->scroll_dx), 0);
  EXPECT_EQ(v(win->scroll_dy), 0);
  EXPECT_TRUE(record().posted.empty());
  // 10.7 world units right, 3.2 up: 21.4 and -6.4 pixels, truncated towards zero.
  EXPECT_EQ(view_set(win, 510.7, 253.2, 1, 1, 1), 1);
  EXPECT_EQ(v(win->scroll_dx), 21);
  EXPECT_EQ(v(win->scroll_dy), -6);
  EXPECT_EQ(posted_slots(), std::vector<int>{5});
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 2.0);  // the mapping moves when the scroll applies
  mapwin_apply_scroll(win);
  expect_centre(win, 510.5, 253.0);
}

TEST_F(ViewSetLimits, AxisDirectionGivesTheSignOfScaleY) {
  for (int down : {1, 0}) {
    SCOPED_TRACE(down);
    set_data(0, 1000, 0, 500);
    mapwin_t* win = window(200, 100);
    mapwin_set_orientation(win, down);
    EXPECT_EQ(view_set(win, 40, 60, 3.0, 3.0, 0), 1);
    EXPECT_DOUBLE_EQ(v(win->map.scale_y), down ? 3.0 : -3.0);
    expect_centre(win, 40, 60);
    EXPECT_EQ(view_set(win, 40, 60, 2.0, 2.0, 1), 1);  // relative: the magnitude scales
    EXPECT_DOUBLE_EQ(v(win->map.scale_y), down ? 6.0 : -6.0);
    // The pane draws with the same mapping.
    EXPECT_DOUBLE_EQ(v(win->pane->map.origin_x), v(win->map.origin_x));
    EXPECT_DOUBLE_EQ(v(win->pane->map.scale_y), v(win->map.scale_y));
  }
}

TEST_F(ViewSetZoom, OperationsTable) {
  struct Case {
    const char* what;
    int (*run)(mapwin_t* win, const bitmap_t* image);  // the image is 400 x 100
    int result;
    double scale, cx, cy;  // afterwards; the view starts at scale 1 on (500, 250)
  } cases[] = {
      {"relative set, centre kept", [](mapwin_t* w, const bitmap_t*) { return view_set(w, 500, 250, 4, 4, 1); }, 1,
       4.0, 500, 250},
      {"image scale, relative", [](mapwin_t* w, const bitmap_t*) { return view_set_image_scale(w, 0.5, 0.5, 1); },
       1, 0.5, 500, 250},
      {"zoom extent, wide", [](mapwin_t* w, const bitmap_t*) {
         return view_zoom_extent(w, extent_t{100, 300, 0, 50, 0});
       }, 1, 1.0, 200, 25},
      {"zoom extent, tall", [](mapwin_t* w, const bitmap_t*) {
         return view_zoom_extent(w, extent_t{0, 10, 0, 25, 0});
       }, 1, 4.0, 5, 12.5},
      {"zoom extent, reversed bounds", [](mapwin_t* w, const bitmap_t*) {
         return view_zoom_extent(w, extent_t{300, 100, 50, 0, 0});
       }, 1, 1.0, 200, 25},
      {"fit all", [](mapwin_t* w, const bitmap_t*) { return view_fit_all(w, 0.0); }, 1, 0.2, 500, 250},
      {"fit all below its maximum", [](mapwin_t* w, const bitmap_t*) { return view_fit_all(w, 0.5); }, 1, 0.2,
       500, 250},
      {"fit all capped", [](mapwin_t* w, const bitmap_t*) { return view_fit_all(w, 0.1); }, 1, 0.1, 500, 250},
      // At pixel (0, 0) of a y-up view at scale 1 lies the world point (400, 300).
      {"zoom at the corner", [](mapwin_t* w, const bitmap_t*) { return view_zoom_at(w, 0, 0, 2.0); }, 1, 2.0,
       450, 275},
      {"zoom at the centre", [](mapwin_t* w, const bitmap_t*) { return view_zoom_at(w, 100, 50, 0.5); }, 1, 0.5,
       500, 250},
      {"zoom at, factor 0", [](mapwin_t* w, const bitmap_t*) { return view_zoom_at(w, 0, 0, 0.0); }, 0, 1.0, 500,
       250},
      {"fit image", [](mapwin_t* w, const bitmap_t* b) { return view_fit_image(w, b); }, 1, 0.5,
       200, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mapwin_t* win = view(1.0);
    EXPECT_EQ(c.run(win, image(400, 100)), c.result);
    EXPECT_DOUBLE_EQ(v(win->map.scale_x), c.scale);
    EXPECT_DOUBLE_EQ(v(win->map.scale_y), -c.scale);
    expect_centre(win, c.cx, c.cy);
  }
}

TEST_F(ViewSetZoom, ImagesOneToOneCentreAndHere) {
  mapwin_t* win = view(1.0);
  const bitmap_t* img = image(800, 400);  // world 0..800 x 0..400 without georeference
  EXPECT_EQ(view_image_one_to_one(img, win), 1);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 1.0);
  expect_centre(win, 400, 200);
  EXPECT_EQ(view_set(win, 100, 100, 3, 3, 0), 1);
  EXPECT_EQ(view_image_one_to_one_here(win, img), 1);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 1.0);
  mapwin_apply_scroll(win);
  expect_centre(win, 100, 100);
  EXPECT_EQ(view_center_image(win, img), 1);  // a pure re-centre: a pending scroll
  EXPECT_EQ(v(win->scroll_dx), 300);
  EXPECT_EQ(v(win->scroll_dy), -100);
  // An image wholly outside the data is refused.
  set_data(5000, 6000, 5000, 6000);
  EXPECT_EQ(view_image_one_to_one(image(10, 10), win), 0);
  // The dispatch: a bitmap one to one, fitted or re-centred.
  set_data(0, 1000, 0, 500);
  EXPECT_EQ(view_zoom_to(win, nullptr, img, 0, 1), 1);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 0.25);
}

TEST_F(ViewSetZoom, ImageScaleAbsoluteOnlyForASingleLayer) {
  mapwin_t* win = view(1.0);
  ASSERT_EQ(view_single_layer(win), 1);  // the image layer alone
  // With a georeference the scales count screen pixels per image pixel of the first
  // layer's image: this graph space is georeferenced and shows no image, so no scale.
  EXPECT_EQ(view_set_image_scale(win, 2, 2, 0), 0);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 1.0);
  layer_of({{10, 20}});
  EXPECT_EQ(view_single_layer(win), 0);
  EXPECT_EQ(view_set_image_scale(win, 2, 2, 0), 0);
  EXPECT_EQ(view_set_image_scale(win, 2, 2, 1), 1);  // relative is always allowed
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 2.0);
}

TEST_F(ViewSetZoom, ObjectsAndLayers) {
  mapwin_t* win = view(1.0);
  set_current_mapwin(win);
  layer_t* layer = layer_of({{-50, -40}, {60, 70}});
  ASSERT_NE(layer, nullptr);
  mapwin_add_layer(win, layer);
  obj_t* point = nullptr;
  obj_list_first_of_class(layer->objects, CLS_WAYPOINT, &point);
  ASSERT_NE(point, nullptr);
  gindex_entry_t* entry = gindex_find(layer, point, nullptr);
  ASSERT_NE(entry, nullptr);
  extent_t drawn{}, whole{};
  extent_of_entry(entry, &drawn);  // the waypoint with its symbol's margin
  std::memcpy(&whole, &layer->extent, sizeof whole);
  auto fill = [win](extent_t e) {
    return std::min(win->width / extent_width(e), win->height / extent_height(e));
  };
  // The layer as a whole (no object): its extent, around both waypoints.
  EXPECT_EQ(view_zoom_object(win, layer->priority, nullptr, 0), 1);
  EXPECT_NEAR(v(win->map.scale_x), fill(whole), 1e-9);
  expect_centre(win, extent_center_x(whole), extent_center_y(whole));
  // One object, centre only (the dispatch without fit): the scale stays.
  const double scale = v(win->map.scale_x);
  EXPECT_EQ(view_zoom_to(win, point, nullptr, 0, 0), 1);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), scale);
  mapwin_apply_scroll(win);
  const centre c = centre_of(win);
  EXPECT_NEAR(c.x, extent_center_x(drawn), 1.0 / scale);  // whole pixels
  EXPECT_NEAR(c.y, extent_center_y(drawn), 1.0 / scale);
  // Fitted: the drawn extent fills the window (up to the zoom-in limit).
  EXPECT_EQ(view_zoom_to(win, point, nullptr, 0, 1), 1);
  const double expected = std::min(fill(drawn), 600000.0 * fill(whole));
  EXPECT_NEAR(v(win->map.scale_x) / expected, 1.0, 1e-9);
  expect_centre(win, extent_center_x(drawn), extent_center_y(drawn));
  // An object no layer of the pane shows, or a priority without layer: nothing.
  EXPECT_EQ(view_zoom_object(win, 0, win, 0), 0);
  EXPECT_EQ(view_zoom_object(win, 12345, nullptr, 0), 0);
}

TEST_F(ViewSetDegenerate, PointTargetsKeepTheScaleAndRecentre) {
  struct Case {
    const char* what;
    int width, height;  // of the image (without georeference: its world rectangle)
    int (*run)(mapwin_t* win, const bitmap_t* image);
    double cx, cy;      // the target's centre
  } cases[] = {
      {"zoom extent on a point", 1, 1,
       [](mapwin_t* w, const bitmap_t*) { return view_zoom_extent(w, extent_t{700, 700, 100, 100, 0}); },
       700, 100},
      {"fit an image without pixels", 0, 0,
       [](mapwin_t* w, const bitmap_t* b) { return view_fit_image(w, b); }, 0, 0},
      {"one to one without rows", 400, 0,
       [](mapwin_t* w, const bitmap_t* b) { return view_image_one_to_one(b, w); }, 200, 0},
      {"one to one without columns", 0, 300,
       [](mapwin_t* w, const bitmap_t* b) { return view_image_one_to_one(b, w); }, 0, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mapwin_t* win = view(2.0);
    set_data(-100, 1000, -100, 500);  // the images' lines lie inside the data
    EXPECT_EQ(c.run(win, image(c.width, c.height)), 1);
    expect_finite(win);
    EXPECT_DOUBLE_EQ(v(win->map.scale_x), 2.0);
    EXPECT_DOUBLE_EQ(v(win->map.scale_y), -2.0);
    EXPECT_EQ(posted_slots(), std::vector<int>{5});
    mapwin_apply_scroll(win);
    const centre ctr = centre_of(win);
    EXPECT_NEAR(ctr.x, c.cx, 0.5);  // whole pixels of half a world unit
    EXPECT_NEAR(ctr.y, c.cy, 0.5);
  }
}

TEST_F(ViewSetDegenerate, FitAllOnOneWaypointKeepsTheScaleAndRecentres) {
  set_data(300, 300, 80, 80);  // one point: no width, no height
  mapwin_t* win = window(200, 100);
  mapwin_set_orientation(win, 1);
  EXPECT_EQ(view_set(win, 0, 0, 1.5, 1.5, 0), 1);  // no fit scale: no limit either
  record().posted.clear();
  EXPECT_EQ(view_fit_all(win, 0.0), 1);
  expect_finite(win);
  EXPECT_DOUBLE_EQ(v(win->map.scale_x), 1.5);
  EXPECT_DOUBLE_EQ(v(win->map.scale_y), 1.5);
  EXPECT_EQ(posted_slots(), std::vector<int>{5});
  mapwin_apply_scroll(win);
  expect_centre(win, 300, 80);
  // Zoomed in far over a single point, nothing divides by its zero size.
  EXPECT_EQ(view_zoom_at(win, 5, 5, 1e6), 1);
  expect_finite(win);
  // Nor over a window without pixels.
  win->width = 0;
  view_fit_all(win, 0.0);
  expect_finite(win);
}

}  // namespace
