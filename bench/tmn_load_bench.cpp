// Loading a large navigation log (the version-3 text log of the data loggers).
//
// Figure guarded (Release, one core):
//   TmnLoad/1000000 - milliseconds per load of a navigation log of 1,000,000 records,
//                     every one of the sixteen columns filled: the file object made and
//                     gpstext_read run (fields, points, navigation records, folder and
//                     default styles); freeing it is not timed. Target: at least 8 times
//                     faster than `gpsbabel -t -i unicsv -f same.csv -o gpx -F /dev/null`
//                     on the same points (scripts/bench/outside_tmn.py writes that CSV).
//
// The log is written by the benchmark before timing, at $TMPDIR/tm_tmn_load_bench.tmn
// (default /tmp); the outside script writes the same points from the same closed forms:
//   record i: lon = 6 + 0.5 sin(0.0219 i + 0.5), lat = 45 + 0.5 sin(0.0137 i) ("%.15f"),
//             time = 2020-01-01T00:00:00Z + i s, altitude = 1000 + 500 sin(0.001 i),
//             height = altitude - 50, depth 0, temperature = 20 + 5 sin(0.0003 i),
//             speed = 10 + 3 sin(0.01 i), direction = i mod 360 ("%.12e" reals),
//             12 satellites in view, 8 used, dgps 0, fix 3, hdop 0.9, pdop 1.6;
//             starttrack 1 on the first record, else 0.
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
#include "formats/gpstext.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_tmn_load_bench.tmn";
}

void write_log(const std::string& path, int records) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fputs("TMN-V3_Tarmelo_Navigation_logfile\n#Benchmark logger\n"
             "#longitude;latitude;time;starttrack;altitude;height;depth;temperature;speed;"
             "direction;nbsatsinvue;nbsatsused;dgps;fix;hdop;pdop;\n",
             f);
  for (int i = 0; i < records; ++i) {
    const int s = i % 86400, d = i / 86400;
    const double alt = 1000.0 + 500.0 * std::sin(0.001 * i);
    std::fprintf(f,
                 "%.15f;%.15f;'2020-01-%02dT%02d:%02d:%02dZ';%d;%.12e;%.12e;%.12e;%.12e;%.12e;"
                 "%.12e;12;8;0;3;%.12e;%.12e;\n",
                 6.0 + 0.5 * std::sin(0.0219 * i + 0.5), 45.0 + 0.5 * std::sin(0.0137 * i), 1 + d,
                 s / 3600, s / 60 % 60, s % 60, i == 0 ? 1 : 0, alt, alt - 50.0, 0.0,
                 20.0 + 5.0 * std::sin(0.0003 * i), 10.0 + 3.0 * std::sin(0.01 * i),
                 double(i % 360), 0.9, 1.6);
  }
  std::fclose(f);
}

void TmnLoad(benchmark::State& state) {
  static const bool ready = (bench_load::register_map_model(), write_log(bench_path(), int(state.range(0))), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t points = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return gpstext_read(f, f->sot) == 0; },
        [&](fileatt_t* f) { points = obj_list_count_of_class(f->sot, CLS_GPSPOS); });
  state.counters["points"] = double(points);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(TmnLoad)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
