// Loading a large OziExplorer track file.
//
// Figure guarded (Release, one core):
//   OziPltLoad/1000000 - milliseconds per load of an OziExplorer track (.plt) file of
//                        1,000,000 points: the file object made and ozi_read_data run
//                        (lines, objects, folder and default styles); freeing it is not
//                        timed. Target: at most 0.1 times the time of `gpsbabel -t -i ozi
//                        -f big.plt -o unicsv -F /dev/null` on the same file, in the same
//                        run (scripts/bench/outside_ozi.py).
//
// The file is written by the benchmark before timing, at $TMPDIR/tm_ozi_plt_bench.plt
// (default /tmp); the outside script writes the same bytes from the same closed forms:
//   point i: lat = 45 + 0.5 sin(0.0137 i), lon = 6 + 0.5 sin(0.0219 i + 0.5) ("%.6f"),
//            break flag 1 every 100,000 points, altitude in feet
//            3000 + 1500 sin(0.001 i) ("%.1f"), date 43831 + i / 86400 ("%.7f").
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/file_load_bench.h"
#include "core/dates.h"
#include "core/obj_list.h"
#include "formats/ozi.h"
#include "map/gps_classes.h"

namespace {

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_ozi_plt_bench.plt";
}

void write_track(const std::string& path, int points) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fprintf(f,
               "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n"
               "Reserved 3\r\n0,2,255,Big,0,0,2,8421376\r\n%d\r\n",
               points);
  for (int i = 0; i < points; ++i)
    std::fprintf(f, "%.6f,%.6f,%d,%.1f,%.7f,,\r\n", 45.0 + 0.5 * std::sin(0.0137 * i),
                 6.0 + 0.5 * std::sin(0.0219 * i + 0.5), i % 100000 == 0 ? 1 : 0,
                 3000.0 + 1500.0 * std::sin(0.001 * i), 43831.0 + i / 86400.0);
  std::fclose(f);
}

void OziPltLoad(benchmark::State& state) {
  static const bool ready =
      (bench_load::register_map_model(), write_track(bench_path(), 1000000), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t points = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return ozi_read_data(f, f->sot) == 0; },
        [&](fileatt_t* f) { points = obj_list_count_of_class(f->sot, CLS_GPSPOS); });
  state.counters["points"] = double(points);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(OziPltLoad)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
