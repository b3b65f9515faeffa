// Redraw of a long track at fit scale.
//
// Figure guarded (Release, one core):
//   RedrawTrack/1000000 - milliseconds per redraw of a graph space whose one tracklog
//                         holds 1,000,000 track points, fitted into a 1920 x 1080 map
//                         window: the whole window invalidated, scheduled and drawn by
//                         one complete redraw pass (background cleared, the layer's
//                         visible list from its quadtree, every point and link drawn by
//                         the track style through the drawing routines into the back
//                         buffer). Target: within 2x of an outside line drawer given the
//                         same screen points (the redraw_track row of `make bench`).
//
// The screen points follow a closed-form path both sides compute identically:
//   x_i = 960 + 940 sin(0.0137 i),  y_i = 540 + 530 sin(0.0219 i + 0.5),  i = 0..n-1
// (a Lissajous figure crossing the window many times, steps of a few pixels, as a
// recorded track at fit scale). World coordinates are degrees x / 100 east and
// (1080 - y) / 100 north, so the window's mapping (100 pixels a degree, y upwards, the
// window's top at 10.8 degrees) puts every point back on its screen position; the data
// spans 19.18 x 10.81 degrees, so that mapping is the fit scale. The track's style is
// the one of a live track segment, designed for 1 metre a pixel: at this scale its links
// are drawn 1 pixel wide, as the outside drawer draws them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <mutex>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/core_classes.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/quadtree.h"
#include "map/redraw.h"
#include "map/view_records.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr int kScreenW = 1920, kScreenH = 1080;
constexpr double kPixelsPerDegree = 100.0;

// Screen position of point i of the path (see the header comment).
double path_x(int i) { return 960.0 + 940.0 * std::sin(0.0137 * i); }
double path_y(int i) { return 540.0 + 530.0 * std::sin(0.0219 * i + 0.5); }

// The bench runs no dispatcher: no command ever waits and posted commands go nowhere.
int nothing_pending() { return 0; }
int drop_post(int, int64_t, const char*) { return 1; }

void register_model() {
  obj_store_init();
  obj_register_core_classes();
  set_program_dir(TM_SOURCE_DIR "/data/");
  geo_load_tables();
  geo_init_ref_datum();
  view_types_register();
  bitmap_module_init();
  qtree_init();
  drawobj_types_register();
  fileobj_types_register();
  drawobj_init_table();
  gindex_init();
  gpsobj_types_register();
  font_table_init();
}

struct track_scene {
  plat::Surface surface{kScreenW, kScreenH};
  plat::Dc dc = nullptr;
  graphspace_t* gs = nullptr;
  mapwin_t* win = nullptr;

  explicit track_scene(int n) {
    register_model();
    get_command_hooks().post_command = drop_post;
    geodatum_t* wgs84 = nullptr;
    geo_find_by_code(CLS_GEODATUM, 214, &wgs84);
    georef_t* georef = nullptr;
    georef_create(nullptr, &georef);
    georef->datum = wgs84;
    graphspace_new(georef, &gs);
    graphspace_set_current(gs);
    open_window();  // first: a pane learns of the layers that join its space afterwards
    add_track(n);
  }

  // One tracklog, one segment of n points, its track style, as one folder of the space.
  void add_track(int n) {
    container_t* list = nullptr;
    obj_list_new(&list);
    georef_t* georef = nullptr;
    georef_create(nullptr, &georef);
    georef->datum = gs->georef->datum;
    obj_list_append(list, georef);
    tracklog_t* log = nullptr;
    tracklog_create(list, &log);
    trackseg_t* segment = nullptr;
    trackseg_create(log, list, &segment);
    for (int i = 0; i < n; ++i) {
      gpspos_t* p = nullptr;
      gpspos_create(path_x(i) / kPixelsPerDegree, (kScreenH - path_y(i)) / kPixelsPerDegree,
                    nullptr, 0.0, segment, nullptr, &p);
    }
    obj_t* style = nullptr;
    gpspos_style_create(list, segment, &style, 1.0);
    folder_t* folder = nullptr;
    folder_get_or_create(nullptr, list, 0, &folder);
    int counter = 0;
    graphspace_add_file(gs, folder, &counter);
  }

  // A 1920 x 1080 window drawing into a surface, at the path's fit mapping.
  void open_window() {
    mapwin_install_view_hooks();
    redraw_install_hooks(nothing_pending);
    dc = plat::create_surface_dc(&surface, plat::Point{}, nullptr);
    mapwin_new(&win, 0, 0, kScreenW, kScreenH, colour_word(255, 255, 255), 32, 0);
    mapwin_attach_graphspace(win, gs);
    set_current_mapwin(win);
    win->back_dc = dc;
    win->brush = plat::create_solid_brush(plat::rgb(255, 255, 255));
    win->inverse_brush = plat::create_solid_brush(plat::rgb(0, 0, 0));
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win->map = screen_mapping{0, -kScreenH / kPixelsPerDegree, kPixelsPerDegree, -kPixelsPerDegree};
  }

  // The whole window invalidated and scheduled, then one pass; 1 when it completed.
  int redraw() {
    mapwin_request_redraw(win);
    redraw_dirty_mapwins();
    redraw_schedule();
    return redraw_pass();
  }

  // Track pixels on the surface (not the white background).
  int inked() const {
    int n = 0;
    for (uint32_t p : surface.pixels) n += plat::color_of_pixel(p) != plat::rgb(255, 255, 255);
    return n;
  }
};

void RedrawTrack(benchmark::State& state) {
  static track_scene s(int(state.range(0)));
  if (s.redraw() != 1 || s.inked() == 0) {
    state.SkipWithError("the redraw pass did not draw the track");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(s.redraw());
  state.counters["inked_pixels"] = s.inked();
}
BENCHMARK(RedrawTrack)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
