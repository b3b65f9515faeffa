// Loading a large Polish map file.
//
// Figure guarded (Release, one core):
//   PolishMapLoad - milliseconds per load of a Polish map file of about 45 MB holding
//             200,000 points, 50,000 polylines of 20 pairs and 20,000 polygons of 12
//             pairs: the file object made and mp_read run (the byte lexer, the key
//             handlers, nodes and way lines, the folders by main type and the rendering
//             calculation with its styles); freeing it is not timed. Target: under 1.5 s
//             (about 0.9 s on the reference machine; no outside program reads the
//             format), and a peak resident size under 1 GB (counter peak_rss_mb).
//
// The file is written by the benchmark before timing, at build/tm_polish_load_bench.mp in
// the source tree (or $TM_POLISH_BENCH_FILE), from closed forms:
//   point i (0..199999): Type 0x2f00 + i % 0x18 (services), Label "P<i>", one pair
//     lat = 45 + 0.5 sin(0.0137 i), lon = 6 + 0.5 sin(0.0219 i + 0.5) ("%.6f");
//   polyline j (0..49999): Type 1 + j % 6 (roads), Label "Road <j>", 20 pairs shifted by
//     0.0001 k from the point formula at j;
//   polygon k (0..19999): Type 0x50 (woods), 12 pairs around the point formula at k.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/file_load_bench.h"
#include "core/config.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/polish_map.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/repr.h"

namespace {

constexpr int kPoints = 200000;
constexpr int kLines = 50000;
constexpr int kPairsPerLine = 20;
constexpr int kAreas = 20000;
constexpr int kPairsPerArea = 12;

std::string bench_path() {
  const char* given = std::getenv("TM_POLISH_BENCH_FILE");
  return given && *given ? std::string(given)
                         : std::string(TM_SOURCE_DIR "/build/tm_polish_load_bench.mp");
}

double lat_of(int i) { return 45.0 + 0.5 * std::sin(0.0137 * i); }
double lon_of(int i) { return 6.0 + 0.5 * std::sin(0.0219 * i + 0.5); }

void write_document(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fputs("[IMG ID]\r\nID=47\r\nName=Bench\r\nDatum=W84\r\nLevels=2\r\nLevel0=24\r\n"
             "Level1=18\r\n[END-IMG ID]\r\n\r\n",
             f);
  for (int i = 0; i < kPoints; ++i)
    std::fprintf(f, "[POI]\r\nType=0x%04x\r\nLabel=P%d\r\nData0=(%.6f,%.6f)\r\n[END]\r\n\r\n",
                 0x2f00 + i % 0x18, i, lat_of(i), lon_of(i));
  for (int j = 0; j < kLines; ++j) {
    std::fprintf(f, "[POLYLINE]\r\nType=0x%02x\r\nLabel=Road %d\r\nEndLevel=1\r\nData0=", 1 + j % 6, j);
    for (int k = 0; k < kPairsPerLine; ++k)
      std::fprintf(f, "%s(%.6f,%.6f)", k ? "," : "", lat_of(j) + 0.0001 * k, lon_of(j) + 0.0001 * k);
    std::fputs("\r\n[END]\r\n\r\n", f);
  }
  for (int k = 0; k < kAreas; ++k) {
    std::fputs("[POLYGON]\r\nType=0x50\r\nData0=", f);
    for (int p = 0; p < kPairsPerArea; ++p) {
      const double a = 6.283185307179586 * p / kPairsPerArea;
      std::fprintf(f, "%s(%.6f,%.6f)", p ? "," : "", lat_of(k) + 0.001 * std::sin(a),
                   lon_of(k) + 0.001 * std::cos(a));
    }
    std::fputs("\r\n[END]\r\n\r\n", f);
  }
  std::fclose(f);
}

void register_model() {
  bench_load::register_map_model();
  dict_register_type();
  xml_init();
  repr_register_classes();
  repr_load_from(TM_SOURCE_DIR "/data/representation.xml");
  if (mp_init_from(TM_SOURCE_DIR "/data/", nullptr) != 2) std::fputs("feature files missing\n", stderr);
  set_gblerr(0);
}

void PolishMapLoad(benchmark::State& state) {
  static const bool ready = (register_model(), write_document(bench_path()), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t nodes = 0, lines = 0, classified = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed",
        [](fileatt_t* f) { return mp_read(f, f->sot) == 0 && get_gblerr() == 0; },
        [&](fileatt_t* f) {
          nodes = obj_list_count_of_class(f->sot, CLS_NODE);
          lines = obj_list_count_of_class(f->sot, CLS_WAYLINE);
          classified = 0;
          for (int i = 0; i < obj_list_count(f->sot); ++i) {
            obj_t* o = f->sot->elems[i];
            if (o && o->cls == CLS_NODE && static_cast<node_t*>(o)->feature) ++classified;
            if (o && o->cls == CLS_WAYLINE && static_cast<wayline_t*>(o)->feature) ++classified;
          }
        });
  state.counters["nodes"] = double(nodes);
  state.counters["way_lines"] = double(lines);
  state.counters["classified"] = double(classified);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(PolishMapLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
