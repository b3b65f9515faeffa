// Raster display of a large image fitted to a screen.
//
// Figure guarded (Release, one core):
//   RasterFitDraw/10000 - milliseconds per draw of a 10000 x 10000 RGB image fitted
//                         into a 1920 x 1080 window (1080 x 1080 screen pixels, about
//                         9.3 source pixels per screen pixel, so every screen pixel is
//                         a block mean of 5 columns and the default 3 rows): one DIB
//                         prepared, filled, resampled and copied to the window.
//
// The image lives in a line store held in memory (all rows loaded before timing), so
// the figure is the display's own cost, not the decoder's or the disk's.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/core_classes.h"
#include "core/line_store.h"
#include "core/object.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr int kScreenW = 1920, kScreenH = 1080;

obj_t* g_pane = nullptr;
obj_t* current_pane() { return g_pane; }

struct scene {
  plat::Surface surface{kScreenW, kScreenH};
  plat::Dc dc = nullptr;
  bitmap_t* image = nullptr;
  pane_t* pane = nullptr;
  std::string dir = "/tmp/tm_raster_bench_" + std::to_string(getpid());

  // The swap folder goes with the program (the image never needs it: it fits in memory).
  ~scene() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  explicit scene(int side) {
    obj_store_init();
    obj_register_core_classes();
    line_store_register();
    xform_register_classes();
    config_temp_dir_set(dir.c_str(), "s_");
    bitmap_module_init();
    view_types_register();
    obj_new_registered(CLS_BITMAP, &image);
    alloc_bitmap(image, side, side, 3, 0);
    set_graylevel_lut(image);
    image->byte20 = 4;
    for (int y = 0; y < side; ++y)
      for (int p = 0; p < 3; ++p) {
        uint8_t* line = get_img_line_adr(image, y, p);
        for (int x = 0; x < side; ++x) line[x] = uint8_t(x * (p + 1) + y);
      }
    dc = plat::create_surface_dc(&surface, plat::Point{0, 0}, nullptr);
    mapwin_t* win = nullptr;
    mapwin_new(&win, 0, 0, kScreenW, kScreenH, colour_word(200, 200, 200), 32, 0);
    win->dc = dc;
    obj_new_registered(CLS_PANE, &pane);
    pane->mapwin = win;
    const double scale = double(kScreenH) / side;  // fit: the smaller ratio
    const screen_mapping m{0, 0, scale, scale};
    std::memcpy(reinterpret_cast<char*>(pane) + offsetof(pane_t, map), &m, sizeof m);
    const extent_t whole{0, double(kScreenW), 0, double(kScreenH), 0};
    std::memcpy(reinterpret_cast<char*>(pane) + offsetof(pane_t, current), &whole, sizeof whole);
    std::memcpy(reinterpret_cast<char*>(pane) + offsetof(pane_t, page), &whole, sizeof whole);
    g_pane = pane;
    visible_hooks h = visible_get_hooks();
    h.current_pane = current_pane;
    visible_set_hooks(&h);
  }
};

void RasterFitDraw(benchmark::State& state) {
  static scene s(int(state.range(0)));
  for (auto _ : state) {
    raster_display_begin();
    benchmark::DoNotOptimize(raster_display_draw(s.image));
    raster_display_end();
  }
  benchmark::DoNotOptimize(s.surface.row(kScreenH / 2)[kScreenW / 4]);
}
BENCHMARK(RasterFitDraw)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
