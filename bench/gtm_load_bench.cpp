// Loading a large GPS TrackMaker binary file.
//
// Figure guarded (Release, one core):
//   GtmLoad/1000000 - milliseconds per load of a GPS TrackMaker file (version 211, WGS 84)
//                     holding 100 waypoints and one track of 1,000,000 points (latitude,
//                     longitude, date, altitude): the file object made and gtm_read run
//                     (records, objects, folder, icons and default styles); freeing it is
//                     not timed. Target: no slower than `gpsbabel -t -i gtm -f big.gtm -o
//                     gtm -F /dev/null` on the same file (scripts/bench/outside_gtm.py).
//
// The file is written by the benchmark before timing, at $TMPDIR/tm_gtm_load_bench.gtm
// (default /tmp); the outside script writes the same bytes from the same closed forms:
//   point i: lat = 45 + 0.5 sin(0.0137 i), lon = 6 + 0.5 sin(0.0219 i + 0.5) (doubles),
//            altitude = 1000 + 500 sin(0.001 i) (float), date = 946684800 + i seconds
//            after 1989-12-31, new-track flag on the first point;
//   waypoint k: lat = 44 + k / 100, lon = 5 + k / 200, name "WPT%03d" padded to 10.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/file_load_bench.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "formats/gtm.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int kWaypoints = 100;

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_gtm_load_bench.gtm";
}

struct writer {
  std::string b;
  void u8(int v) { b.push_back(char(v)); }
  void u16(int v) { u8(v & 0xFF), u8(v >> 8 & 0xFF); }
  void u32(uint32_t v) { u16(int(v & 0xFFFF)), u16(int(v >> 16)); }
  void f32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    u32(u);
  }
  void f64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    u32(uint32_t(u)), u32(uint32_t(u >> 32));
  }
  void str(const char* s) {
    u16(int(std::strlen(s)));
    b += s;
  }
  void zeros(int n) { b.append(size_t(n), '\0'); }
};

void write_file(const std::string& path, int points) {
  writer w;
  w.u16(211);
  w.b += "TrackMaker";
  w.zeros(7);
  w.u32(0), w.u32(0), w.u32(0), w.u32(0);  // 19, 23, style count, colour
  w.u32(kWaypoints), w.u32(uint32_t(points)), w.u32(0);
  w.f32(5.0f), w.f32(7.0f), w.f32(44.0f), w.f32(46.0f);
  w.u32(0), w.u32(1), w.u32(0), w.u32(0);  // images, tracks, layers, icons
  w.u16(0), w.u16(0), w.u16(0), w.zeros(12), w.u16(0);
  for (int i = 0; i < 4; ++i) w.str("Arial");
  w.u16(0), w.zeros(32), w.u16(217), w.zeros(16), w.zeros(6);  // datum block: WGS 84
  for (int k = 0; k < kWaypoints; ++k) {
    w.f64(44.0 + k / 100.0), w.f64(5.0 + k / 200.0);
    char name[16];
    std::snprintf(name, sizeof name, "WPT%03d    ", k);
    w.b.append(name, 10);
    w.str("");
    w.u16(1), w.u8(1), w.u32(946684800u), w.u16(0), w.f32(0.0f), w.u16(0);
  }
  for (int i = 0; i < points; ++i) {
    w.f64(45.0 + 0.5 * std::sin(0.0137 * i)), w.f64(6.0 + 0.5 * std::sin(0.0219 * i + 0.5));
    w.u32(946684800u + uint32_t(i)), w.u8(i == 0), w.f32(float(1000.0 + 500.0 * std::sin(0.001 * i)));
  }
  w.str("Big"), w.u8(1), w.u32(255), w.zeros(7);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(w.b.data(), 1, w.b.size(), f);
  std::fclose(f);
}

void GtmLoad(benchmark::State& state) {
  static const bool ready = (bench_load::register_map_model(), month_names_init(), gtm_init(),
                             write_file(bench_path(), int(state.range(0))), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t points = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return gtm_read(f, f->sot) == 0; },
        [&](fileatt_t* f) { points = obj_list_count_of_class(f->sot, CLS_GPSPOS); });
  state.counters["points"] = double(points);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(GtmLoad)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
