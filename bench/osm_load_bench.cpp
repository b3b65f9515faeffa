// Loading a large OpenStreetMap file.
//
// Figure guarded (Release, one core):
//   OsmLoad - milliseconds per load of a 176 MB OSM XML file (API 0.6) holding 1,000,000
//             nodes and 100,000 ways of 10 nodes each: the file object made and read_osm
//             run (parse, nodes and ways, the ways' node references resolved, way lines,
//             feature folders and the rendering calculation with its styles); freeing it is
//             not timed. Target: at least as fast as `ogr2ogr -f Memory` on the same file
//             (scripts/bench/outside_osm.py; about 2.5 s on the reference machine), and a
//             peak resident size under 1 GB (counter peak_rss_mb).
//
// The file is written by the benchmark before timing, at build/tm_osm_load_bench.osm in
// the source tree (or $TM_OSM_BENCH_FILE); the outside script writes the same bytes from
// the same closed forms:
//   node i (1..1000000): lat = 45 + 0.5 sin(0.0137 i), lon = 6 + 0.5 sin(0.0219 i + 0.5)
//     ("%.7f"); every 20th node has the tags name "N<i>" and, alternately, amenity=cafe
//     (i / 20 even) or natural=peak with ele = i % 4000;
//   way j (1..100000): nodes 10 (j - 1) + 1 .. 10 (j - 1) + 10; every 7th way has
//     building=yes, the others highway = primary, secondary, residential, track, footway
//     by j % 5, the name "Way <j>" and, every 3rd, lanes=2.
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
#include "formats/osm.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/repr.h"

namespace {

constexpr int kNodes = 1000000;
constexpr int kWays = 100000;
constexpr int kNodesPerWay = 10;

std::string bench_path() {
  const char* given = std::getenv("TM_OSM_BENCH_FILE");
  return given && *given ? std::string(given) : std::string(TM_SOURCE_DIR "/build/tm_osm_load_bench.osm");
}

void write_document(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fputs("<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"bench\">\n", f);
  static const char* const kHighways[] = {"primary", "secondary", "residential", "track", "footway"};
  for (int i = 1; i <= kNodes; ++i) {
    const double lat = 45.0 + 0.5 * std::sin(0.0137 * i);
    const double lon = 6.0 + 0.5 * std::sin(0.0219 * i + 0.5);
    std::fprintf(f,
                 "  <node id=\"%d\" version=\"1\" timestamp=\"2020-01-01T00:00:00Z\" uid=\"1\" "
                 "user=\"bench\" changeset=\"1\" lat=\"%.7f\" lon=\"%.7f\"",
                 i, lat, lon);
    if (i % 20 != 0) {
      std::fputs("/>\n", f);
      continue;
    }
    std::fprintf(f, ">\n    <tag k=\"name\" v=\"N%d\"/>\n", i);
    if ((i / 20) % 2 == 0)
      std::fputs("    <tag k=\"amenity\" v=\"cafe\"/>\n", f);
    else
      std::fprintf(f, "    <tag k=\"natural\" v=\"peak\"/>\n    <tag k=\"ele\" v=\"%d\"/>\n", i % 4000);
    std::fputs("  </node>\n", f);
  }
  for (int j = 1; j <= kWays; ++j) {
    std::fprintf(f,
                 "  <way id=\"%d\" version=\"1\" timestamp=\"2020-01-01T00:00:00Z\" uid=\"1\" "
                 "user=\"bench\" changeset=\"1\">\n",
                 j);
    for (int k = 1; k <= kNodesPerWay; ++k)
      std::fprintf(f, "    <nd ref=\"%d\"/>\n", kNodesPerWay * (j - 1) + k);
    if (j % 7 == 0) {
      std::fputs("    <tag k=\"building\" v=\"yes\"/>\n", f);
    } else {
      std::fprintf(f, "    <tag k=\"highway\" v=\"%s\"/>\n    <tag k=\"name\" v=\"Way %d\"/>\n",
                   kHighways[j % 5], j);
      if (j % 3 == 0) std::fputs("    <tag k=\"lanes\" v=\"2\"/>\n", f);
    }
    std::fputs("  </way>\n", f);
  }
  std::fputs("</osm>\n", f);
  std::fclose(f);
}

void register_model() {
  bench_load::register_map_model();
  dict_register_type();  // the vocabulary files hold keyword records
  xml_init();
  repr_register_classes();
  repr_load_from(TM_SOURCE_DIR "/data/representation.xml");
  if (osm_init_from(TM_SOURCE_DIR "/data/", nullptr) != 4) std::fputs("vocabularies missing\n", stderr);
  set_gblerr(0);
}

void OsmLoad(benchmark::State& state) {
  static const bool ready = (register_model(), write_document(bench_path()), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t nodes = 0, ways = 0, lines = 0, resolved = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return read_osm(f, f->sot) == 0; },
        [&](fileatt_t* f) {
          nodes = obj_list_count_of_class(f->sot, CLS_NODE);
          ways = obj_list_count_of_class(f->sot, CLS_WAY);
          lines = obj_list_count_of_class(f->sot, CLS_WAYLINE);
          resolved = 0;
          for (int i = 0; i < obj_list_count(f->sot); ++i)
            if (obj_t* o = f->sot->elems[i]; o && o->cls == CLS_WAY)
              resolved += obj_list_count(static_cast<way_t*>(o)->sons);
        });
  state.counters["nodes"] = double(nodes);
  state.counters["ways"] = double(ways);
  state.counters["way_lines"] = double(lines);
  state.counters["resolved_refs"] = double(resolved);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(OsmLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
