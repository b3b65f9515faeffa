// Test support of the ECW images: the real geodesy tables, the bitmap classes, the
// stand-in file objects, the stand-in decoder library with its call log, and image
// records opened on the fixtures of tests/fixtures/ecw/ (scripts/fixtures/
// make_ecw_standin.py). The pixels the stand-in delivers are ecw_standin::sample.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/reader.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/graphspace.h"
#include "map/view_records.h"
#include "platform/ecw/ecw_header.h"
#include "platform/sys/clock.h"
#include "raster/ecw.h"
#include "raster/ecw_internal.h"
#include "raster/ecw_library.h"
#include "raster/image_load.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/support/file_stub.h"
#include "tests/support/georef_steps.h"
#include "tests/support/test_env.h"
#include "tests/support/wait.h"

namespace ecw_test {

inline std::string fixture_source(const std::string& name) {
  return std::string(TM_FIXTURE_DIR) + "/ecw/" + name;
}

// Posts and pane redraws seen by the hooks (any thread).
inline std::atomic<int>& redraw_posts() {
  static std::atomic<int> n{0};
  return n;
}
inline std::atomic<int>& pane_redraws() {
  static std::atomic<int> n{0};
  return n;
}

class EcwTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
    rd_close_all();
    line_store_register();
    config_temp_dir_set(tm_test::fresh_dir("ecwswap").c_str(), "s_");
    get_bitmap_hooks() = bitmap_hooks{};
    ecw_library_reset();
    ecw_init();
    bitmap_module_init();
    tm_test::install_file_stub();
    log_path_ = tm_test::fresh_dir("ecwlog") + "/calls.log";
    setenv("TM_ECW_STANDIN_LOG", log_path_.c_str(), 1);
    redraw_posts() = 0;
    pane_redraws() = 0;
    get_command_hooks().post_command = [](int slot, int64_t, const char*) {
      if (slot == 4) ++redraw_posts();
      return 1;
    };
    static const graphspace_view_hooks view_hooks{
        [](pane_t*, extent_t) { ++pane_redraws(); }, nullptr, nullptr, nullptr};
    graphspace_set_view_hooks(&view_hooks);
    set_gblerr(0);
  }
  void TearDown() override {
    if (plat::virtual_clock_on()) {
      // Lets a worker still sleeping on the virtual clock end.
      for (int i = 0; i < 10000 && ecw_worker_active(); ++i) plat::advance_virtual_ms(1);
    }
    EXPECT_EQ(ecw_worker_join(10000), 1);
    plat::use_virtual_clock(false);
    set_gblerr(0);
    for (bitmap_t*& b : made_) {
      tm_test::free_georef_step(b);
      free_obj(&b);
    }
    rd_close_all();
    tm_test::free_stub_files();
    file_ops_install(nullptr);
    get_command_hooks().post_command = nullptr;
    graphspace_set_view_hooks(nullptr);
    unsetenv("TM_ECW_STANDIN_LOG");
    config_reset();
  }

  // The fixture, copied once per test into a folder of its own. The stand-in counts the
  // opens of each path for the whole process ("fail at the Nth open"): a fresh path
  // starts that count again in every test, however often and in whatever order the
  // tests run.
  std::string fixture(const std::string& name) {
    if (copies_.empty()) copies_ = tm_test::fresh_dir("ecwfix");
    const std::string copy = copies_ + name;
    std::error_code ec;
    if (!std::filesystem::exists(copy) && std::filesystem::exists(fixture_source(name)))
      std::filesystem::copy_file(fixture_source(name), copy, ec);
    return copy;
  }

  // An image record on a fixture, as the dispatcher hands it to decoder row 16.
  bitmap_t* record(const std::string& name) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    made_.push_back(b);
    b->file = tm_test::stub_file(fixture(name).c_str());
    b->format = kDecoderEcw;
    b->gamma = -1.0;
    set_graylevel_lut(b);
    return b;
  }
  // The record, loaded (requested line -1); the load must succeed.
  bitmap_t* loaded(const std::string& name) {
    bitmap_t* b = record(name);
    EXPECT_EQ(ecw_read(b, kImageFirstLoad), 0) << name;
    return b;
  }
  // Marks the image's file as opened by address (kind 12).
  void by_address(bitmap_t* b) { file_set(b->file, FF_TYPE, 12); }

  // The lines of the call log, and those that start with a prefix.
  std::vector<std::string> calls() const {
    std::vector<std::string> out;
    std::ifstream in(log_path_);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  int count_calls(const std::string& prefix) const {
    int n = 0;
    for (const std::string& c : calls()) n += c.rfind(prefix, 0) == 0;
    return n;
  }
  void clear_calls() const { std::ofstream(log_path_, std::ios::trunc); }

  // A pane showing the image at one screen pixel per image pixel, page w x h, for an
  // image whose georeference (or pixel grid) is given by cell size and origin.
  void show_at_full_size(double cell_x, double cell_y, double origin_x, double origin_y,
                         int w, int h) {
    pane_ = pane_t{};
    pane_.map = screen_mapping{-origin_x, -origin_y, 1.0 / cell_x, 1.0 / cell_y};
    pane_.page = extent_t{0, double(w), 0, double(h), 0};
  }
  // Moves the view by dx screen pixels.
  void move_view(double dx) { pane_.map.origin_x += dx / pane_.map.scale_x; }

  // A window of w x h display pixels on the pane showing the image part of extent
  // (extent_x, extent_y) from (origin_x, origin_y).
  ecw_window window(int w, int h, double origin_x, double origin_y, double extent_x,
                    double extent_y) {
    ecw_window win;
    win.width = w;
    win.height = h;
    win.origin_x = origin_x;
    win.origin_y = origin_y;
    win.extent_x = extent_x;
    win.extent_y = extent_y;
    win.pane = &pane_;
    return win;
  }
  // A window of the whole w x h image at full size on the pane.
  ecw_window whole(int w, int h) { return window(w, h, 0, 0, w, h); }

  std::string log_path_;
  std::string copies_;  // this test's copies of the fixtures
  pane_t pane_{};
  std::vector<bitmap_t*> made_;
};

// The packed pixel the stand-in gives for (x, y) of a three-band file at scale 1.
inline uint32_t rgb_at(uint32_t seed, uint32_t x, uint32_t y, uint32_t scale = 1) {
  using ecw_standin::sample;
  return uint32_t(sample(seed, x, y, 0, scale)) << 16 | uint32_t(sample(seed, x, y, 1, scale)) << 8 |
         sample(seed, x, y, 2, scale);
}

}  // namespace ecw_test
