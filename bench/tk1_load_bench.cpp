// Loading a large Wintec TK1 log.
//
// Figure guarded (Release, one core):
//   Tk1Load/1000000 - milliseconds per load of a TK1 file of 1,000,000 records (16 MB):
//                     the file object made and read_wintec_tk1 run (header, track table,
//                     track points and segments, folder, georeference and default track
//                     styles); freeing it is not timed. Target: at least as fast as
//                     `gpsbabel -t -i wbt-tk1 -f x` on the same file
//                     (scripts/bench/outside_tk1.py), peak resident size in counter
//                     peak_rss_mb.
//
// The file is written by the benchmark before timing, beside the benchmark program's
// folder (build/<tree>/tm_tk1_load_bench.tk1; TM_BENCH_DATA names another folder); the
// outside script writes the same bytes from the same closed forms: a 1024-byte header
// ("WintecLogFormat", record size 16 at 30, track table offset at 140, one track at 144),
// the records from 1024, then the one 24-byte table entry (value 1, offset 1024, count).
// Record i: flags 1 for i = 0 else 0; time 2020-01-01 00:00:00 + i s packed (year - 2000
// bits 26-31, month 22-25, day 17-21, hour 12-16, minute 6-11, second 0-5); latitude
// 450000000 + (7919 i mod 10000000) - 5000000 and longitude 60000000 + (104729 i mod
// 8000000) - 4000000 (1e-7 degrees); altitude 500 + (i mod 1000) metres.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/file_load_bench.h"
#include "gps/loggers/wintec.h"

namespace {

std::string bench_path() {
  const char* dir = std::getenv("TM_BENCH_DATA");
  if (dir && *dir) return std::string(dir) + "/tm_tk1_load_bench.tk1";
  char exe[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string folder = n > 0 ? std::string(exe, size_t(n)) : std::string("./x");
  folder = folder.substr(0, folder.rfind('/'));  // build/<tree>/bin
  folder = folder.substr(0, folder.rfind('/'));  // build/<tree>
  return folder + "/tm_tk1_load_bench.tk1";
}

void put_le(uint8_t* p, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = uint8_t(v >> (8 * i));
}

void write_file(const std::string& path, uint32_t records) {
  std::vector<uint8_t> bytes(1024 + size_t(records) * 16 + 24, 0);
  std::memcpy(bytes.data(), "WintecLogFormat", 15);
  put_le(&bytes[30], 16, 2);
  const uint32_t table = 1024 + records * 16;
  put_le(&bytes[140], table, 4);
  put_le(&bytes[144], 1, 4);
  for (uint32_t i = 0; i < records; ++i) {
    uint8_t* r = &bytes[1024 + size_t(i) * 16];
    const uint32_t day = 1 + i / 86400, s = i % 86400;
    const uint32_t when = 20u << 26 | 1u << 22 | day << 17 | (s / 3600) << 12 | (s / 60 % 60) << 6 | s % 60;
    put_le(r, i == 0 ? 1 : 0, 2);
    put_le(r + 2, when, 4);
    put_le(r + 6, uint32_t(int32_t(450000000 + int64_t(7919) * i % 10000000 - 5000000)), 4);
    put_le(r + 10, uint32_t(int32_t(60000000 + int64_t(104729) * i % 8000000 - 4000000)), 4);
    put_le(r + 14, uint16_t(500 + i % 1000), 2);
  }
  put_le(&bytes[table], 1, 4);
  put_le(&bytes[table + 4], 1024, 4);
  put_le(&bytes[table + 8], records, 4);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

void Tk1Load(benchmark::State& state) {
  static const bool ready =
      (bench_load::register_map_model(), write_file(bench_path(), uint32_t(state.range(0))), true);
  (void)ready;
  const std::string path = bench_path();
  int64_t points = 0;
  for (auto _ : state)
    bench_load::timed_load(
        state, path, "the load failed", [](fileatt_t* f) { return read_wintec_tk1(f, f->sot) == 0; },
        [&](fileatt_t* f) { points = obj_list_count_of_class(f->sot, CLS_GPSPOS); });
  state.counters["points"] = double(points);
  state.counters["peak_rss_mb"] = bench_load::peak_rss_mb();
}
BENCHMARK(Tk1Load)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
