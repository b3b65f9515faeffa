// Graphic index and quadtree over 1,000,000 track points.
//
// Figures guarded (Release, one core):
//   GraphicIndexBuild/1000000 - milliseconds to compute the graphic index of a layer
//                          whose point style draws 1,000,000 track points, then build
//                          its quadtree; target under 1 s.
//   QuadtreeQueries/1000   - milliseconds for the visible lists of 1,000 random view
//                          rectangles (sides 0.5 % to 10 % of the data) over that
//                          tree, all together; target under 100 ms.
//
// The points are track positions (class 112) following a random walk, as a recorded
// track does, drawn by a point style of thickness 2 through the styles' own extent
// routine (attribute loading and margin rule included) on a layer of moving objects, so
// each extent carries a pixel margin.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/obj_list.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/view_records.h"

namespace {

struct track_layer {
  layer_t* layer = nullptr;
  container_t* objects = nullptr;
  container_t* points = nullptr;
  extent_t data{};

  explicit track_layer(int n) {
    static bool started = false;
    if (!started) {
      obj_store_init();
      obj_register_core_classes();
      view_types_register();
      drawobj_types_register();
      gpsobj_types_register();
      gindex_init();
      qtree_init();
      started = true;
    }
    layer = new layer_t{};
    layer->cls = CLS_LAYER;
    layer->priority = 20000;
    layer->movobj = 1;
    obj_list_new(&objects);
    obj_list_new(&points);
    layer->objects = objects;
    std::mt19937 rng(42);
    std::normal_distribution<double> step(0.0, 1.0);
    double x = 0, y = 0;
    for (int i = 0; i < n; ++i) {
      x += step(rng);
      y += step(rng);
      gpspos_t* p = nullptr;
      gpspos_create(x, y, nullptr, 0.0, nullptr, points, &p);
    }
    obj_t* s = nullptr;
    obj_new(0, CLS_DPOINT, &s);
    auto* style = static_cast<dpoint_t*>(s);
    style->typesrc = CLS_GPSPOS;
    style->contsrc = points;
    style->pptcoord = kPointCoordsOffset;
    style->vthickness = 2;
    obj_list_append(objects, s);
  }
  void build() {
    gindex_compute(layer, 1);
    qtree_rebuild(layer);
    data = layer->extent;
  }
};

track_layer& shared_layer() {
  static track_layer t(1000000);
  static bool built = false;
  if (!built) {
    t.build();
    built = true;
  }
  return t;
}

void GraphicIndexBuild(benchmark::State& state) {
  track_layer& t = shared_layer();
  for (auto _ : state) {
    t.build();
    benchmark::DoNotOptimize(t.layer->qtree);
  }
  state.counters["entries"] = obj_list_count(t.layer->gindex_sorted);
  state.counters["nodes"] = qtree_node_count(t.layer->qtree->root);
}
BENCHMARK(GraphicIndexBuild)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void QuadtreeQueries(benchmark::State& state) {
  track_layer& t = shared_layer();
  const extent_t d = t.data;
  const double w = extent_width(d), h = extent_height(d);
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> fx(0, 1), side(0.005, 0.1);
  std::vector<extent_t> views;
  for (int64_t i = 0; i < state.range(0); ++i) {
    const double sx = side(rng) * w, sy = side(rng) * h;
    const double x = d.xmin + fx(rng) * (w - sx), y = d.ymin + fx(rng) * (h - sy);
    views.push_back(extent_t{x, x + sx, y, y + sy, 0});
  }
  set_current_layer(t.layer);
  double found = 0;
  for (auto _ : state) {
    found = 0;
    for (const extent_t& v : views) {
      visible_list_reset();
      visible_set_query(v);
      qtree_query(t.layer->qtree->root);
      found += obj_list_count(visible_list());
    }
  }
  state.counters["objects_per_view"] = found / double(views.size());
}
BENCHMARK(QuadtreeQueries)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
