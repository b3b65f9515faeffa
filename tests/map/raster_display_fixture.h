// A map window drawing into a surface, its pane as the current pane of the visible
// list, and bitmaps made with the bitmap record's routines, for the raster display
// tests: each case composes one rectangle and reads the surface's pixels.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace rd_test {

inline obj_t*& pane_slot() {
  static obj_t* pane = nullptr;
  return pane;
}
inline obj_t* current_pane() { return pane_slot(); }

// A map window of kW x kH drawing into a surface, its pane the current pane of the
// visible list. The pane's mapping, rectangle and page are the user's to set.
class SurfaceWindow {
 protected:
  static constexpr int kW = 40, kH = 30;  // the surface

  // Makes the surface, its device context, the window and its pane; false (with a test
  // failure) when the window or the pane could not be made.
  bool open_window() {
    surface_ = plat::Surface(kW, kH, 0xFF123456u);
    dc_ = plat::create_surface_dc(&surface_, plat::Point{0, 0}, nullptr);
    mapwin_new(&win_, 0, 0, kW, kH, colour_word(200, 200, 200), 32, 0);
    EXPECT_NE(win_, nullptr);
    if (!win_) return false;
    win_->dc = dc_;
    obj_new_registered(CLS_PANE, &pane_);
    EXPECT_NE(pane_, nullptr);
    if (!pane_) return false;
    pane_->mapwin = win_;
    win_->pane = pane_;
    pane_slot() = pane_;
    visible_hooks h = visible_get_hooks();
    h.current_pane = current_pane;
    visible_set_hooks(&h);
    return true;
  }
  // Frees what open_window made; the visible list's hooks are the user's to reset.
  void close_window() {
    pane_slot() = nullptr;
    if (win_) win_->pane = nullptr;
    free_obj(&pane_);
    free_obj(&win_);
    plat::delete_dc(dc_);
    dc_ = nullptr;
  }

  void set_mapping(double sx, double sy, double ox, double oy) {
    const screen_mapping m{ox, oy, sx, sy};
    std::memcpy(reinterpret_cast<char*>(pane_) + offsetof(pane_t, map), &m, sizeof m);
  }
  void set_rect(extent_t e) {
    std::memcpy(reinterpret_cast<char*>(pane_) + offsetof(pane_t, current), &e, sizeof e);
  }
  void set_page(extent_t e) {
    std::memcpy(reinterpret_cast<char*>(pane_) + offsetof(pane_t, page), &e, sizeof e);
  }
  // The surface pixel as 0xRRGGBB.
  uint32_t at(int x, int y) const { return surface_.row(y)[x] & 0xFFFFFFu; }

  plat::Surface surface_;
  plat::Dc dc_ = nullptr;
  mapwin_t* win_ = nullptr;
  pane_t* pane_ = nullptr;
};

class RasterFixture : public ::testing::Test, protected SurfaceWindow {
 protected:

  void SetUp() override {
    tm_test::reset_object_store();
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    get_bitmap_hooks() = bitmap_hooks{};
    get_raster_display_hooks() = raster_display_hooks{};
    line_store_register();
    xform_register_classes();
    config_temp_dir_set(tm_test::fresh_dir("rdswap").c_str(), "s_");
    bitmap_module_init();
    view_types_register();
    set_embedded(false);
    reset_display_luts();
    ASSERT_TRUE(open_window());
    set_mapping(1, 1, 0, 0);
    set_rect(extent_t{0, kW, 0, kH, 0});
    set_page(extent_t{0, kW, 0, kH, 0});
  }
  void TearDown() override {
    set_gblerr(0);
    visible_set_hooks(nullptr);
    get_raster_display_hooks() = raster_display_hooks{};
    for (bitmap_t*& b : made_) free_obj(&b);
    close_window();
    line_store_reset();
    config_reset();
    set_embedded(false);
  }

  // A bitmap of w x h pixels and `planes` planes (identity tables), every byte from
  // value(x, y, plane).
  template <class F>
  bitmap_t* make_bitmap(int w, int h, int planes, F value) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    made_.push_back(b);
    EXPECT_EQ(alloc_bitmap(b, w, h, planes, 0), 0);
    set_graylevel_lut(b);
    for (int y = 0; y < h; ++y)
      for (int p = 0; p < planes; ++p) {
        uint8_t* line = get_img_line_adr(b, y, p);
        for (int x = 0; x < w; ++x) line[x] = uint8_t(value(x, y, p));
      }
    return b;
  }
  bitmap_t* uniform(int w, int h, int planes, int v) {
    return make_bitmap(w, h, planes, [v](int, int, int) { return v; });
  }

  // Composes the current rectangle from the images and flushes it; the sum of the draw
  // results.
  int compose(std::initializer_list<bitmap_t*> images) {
    raster_display_begin();
    int r = 0;
    for (bitmap_t* b : images) r += raster_display_draw(b);
    raster_display_end();
    return r;
  }
  static uint32_t rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

  std::vector<bitmap_t*> made_;
};

}  // namespace rd_test
