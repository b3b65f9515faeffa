// Loading a large GPX file.
//
// Figure guarded (Release, one core):
//   GpxLoad/1000000 - milliseconds per load of a GPX 1.1 file holding one track of
//                     1,000,000 points (latitude, longitude, elevation, time) and 100
//                     waypoints: the file object made and read_gpx run (parse, objects,
//                     folder, icons and default styles); freeing it is not timed. Target: at
//                     least 4 times faster than `gpsbabel -i gpx -f big.gpx -o unicsv
//                     -F /dev/null` on the same file (scripts/bench/outside_gpx.py), and
//                     a peak resident size under 250 MB (counter peak_rss_mb).
//
// The file is written by the benchmark before timing, at $TMPDIR/tm_gpx_load_bench.gpx
// (default /tmp); the outside script writes the same bytes from the same closed forms:
//   point i: lat = 45 + 0.5 sin(0.0137 i), lon = 6 + 0.5 sin(0.0219 i + 0.5) ("%.9f"),
//            ele = 1000 + 500 sin(0.001 i) ("%.2f"), time = 2020-01-01T00:00:00Z + i s;
//   waypoint k: lat = 44 + k / 100, lon = 5 + k / 200 ("%.9f"), name "WPT%03d".
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/file_load_bench.h"
#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/gpx.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_gpx_load_bench.gpx";
}

void write_document(const std::string& path, int points) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n",
             f);
  for (int k = 0; k < 100; ++k)
    std::fprintf(f, "  <wpt lat=\"%.9f\" lon=\"%.9f\"><name>WPT%03d</name></wpt>\n",
                 44.0 + k / 100.0, 5.0 + k / 200.0, k);
  std::fputs("  <trk><name>Big</name><trkseg>\n", f);
  for (int i = 0; i < points; ++i) {
    const int s = i % 86400, d = i / 86400;
    std::fprintf(f,
                 "    <trkpt lat=\"%.9f\" lon=\"%.9f\"><ele>%.2f</ele>"
                 "<time>2020-01-%02dT%02d:%02d:%02dZ</time></trkpt>\n",
                 45.0 + 0.5 * std::sin(0.0137 * i), 6.0 + 0.5 * std::sin(0.0219 * i + 0.5),
                 1000.0 + 500.0 * std::sin(0.001 * i), 1 + d, s / 3600, s / 60 % 60, s % 60);
  }
  std::fputs("  </trkseg></trk>\n</gpx>\n", f);
  std::fclose(f);
}

void register_model() {
  bench_load::register_map_model();
  xml_init();
  gpx_register_tables();
}

void GpxLoad(benchmark::State& state) {
  static const bool ready = (register_model(), write_document(bench_path(), 1000000), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t points = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return read_gpx(f, f->sot) == 0; },
        [&](fileatt_t* f) { points = obj_list_count_of_class(f->sot, CLS_GPSPOS); });
  state.counters["points"] = double(points);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(GpxLoad)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
