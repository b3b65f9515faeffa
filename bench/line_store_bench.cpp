// Line store speed: the byte-stream paths the Deflate decoder and the HTTP client write
// through, line access for the raster display, and the swap files.
//
// Figures guarded (Release, one core):
//   StreamAppend       - megabytes per second appending 4 KiB blocks to a stream of
//                        32 KiB lines; target above 1000 MB/s.
//   StreamPutByte      - megabytes per second appending byte by byte; target above
//                        40 MB/s (every call takes the line store's lock).
//   StreamCopyBack     - megabytes per second of back-copies of 258 bytes at distances
//                        1 and 4000 (runs and window copies); target above 200 MB/s.
//   LineAccess         - line addresses per second over 10,000 lines held in memory, in
//                        random order; target above 10 million per second.
//   SwapRoundTrip      - megabytes per second writing 64 MB of lines to swap and reading
//                        them back; bounded by the disk, shown for comparison only.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/object.h"
#include "platform/sys/sysinfo.h"

namespace {

void fresh_store_env() {
  static bool ready = false;
  if (ready) return;
  obj_store_init();
  obj_register_core_classes();
  line_store_register();
  const std::string folder = plat::temp_dir() + "line_store_bench/";
  std::filesystem::create_directories(folder);
  config_temp_dir_set(folder.c_str(), "b_");
  ready = true;
}

filemobj_t* new_stream() {
  filemobj_t* s = nullptr;
  filemobj_create(nullptr, nullptr, 0, 32768, 0, &s);
  return s;
}

void StreamAppend(benchmark::State& state) {
  fresh_store_env();
  const std::vector<uint8_t> block(4096, 0x5A);
  const int64_t total = int64_t(64) << 20;
  for (auto _ : state) {
    filemobj_t* s = new_stream();
    for (int64_t done = 0; done < total; done += 4096) filemobj_append(s, block.data(), 4096);
    state.PauseTiming();
    free_obj(&s);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * total);
  state.SetLabel("target > 1000 MB/s");
}

void StreamPutByte(benchmark::State& state) {
  fresh_store_env();
  const int64_t total = int64_t(16) << 20;
  for (auto _ : state) {
    filemobj_t* s = new_stream();
    for (int64_t k = 0; k < total; ++k) filemobj_put_byte(s, uint8_t(k));
    state.PauseTiming();
    free_obj(&s);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * total);
  state.SetLabel("target > 40 MB/s");
}

void StreamCopyBack(benchmark::State& state) {
  fresh_store_env();
  const std::vector<uint8_t> seed(4096, 0x33);
  const int64_t total = int64_t(32) << 20;
  for (auto _ : state) {
    filemobj_t* s = new_stream();
    filemobj_append(s, seed.data(), int64_t(seed.size()));
    for (int64_t done = 0; done < total; done += 2 * 258) {
      filemobj_copy_back(s, 1, 258);
      filemobj_copy_back(s, 4000, 258);
    }
    state.PauseTiming();
    free_obj(&s);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * total);
  state.SetLabel("target > 200 MB/s");
}

void LineAccess(benchmark::State& state) {
  fresh_store_env();
  constexpr int kLines = 10000;
  filemobj_t* s = nullptr;
  filemobj_create(nullptr, nullptr, kLines, 3000, 0, &s);
  for (int i = 0; i < kLines; ++i) filemobj_get_line(s, i, 0);
  std::vector<int> order(kLines);
  for (int i = 0; i < kLines; ++i) order[size_t(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  for (auto _ : state)
    for (int i : order) benchmark::DoNotOptimize(filemobj_get_line(s, i, 1));
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetLabel("target > 10M lines/s");
  free_obj(&s);
}

void SwapRoundTrip(benchmark::State& state) {
  fresh_store_env();
  constexpr int kLines = 2048;
  constexpr int32_t kSize = 32768;
  for (auto _ : state) {
    filemobj_t* s = nullptr;
    filemobj_create(nullptr, nullptr, kLines, kSize, 0, &s);
    for (int i = 0; i < kLines; ++i) filemobj_get_line(s, i, 0)[0] = uint8_t(i);
    filemobj_write_all(s);
    for (int i = 0; i < kLines; ++i) benchmark::DoNotOptimize(filemobj_get_line(s, i, 1));
    free_obj(&s);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(kLines) * kSize);
  state.SetLabel("disk bound, no target");
}

BENCHMARK(StreamAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(StreamPutByte)->Unit(benchmark::kMillisecond);
BENCHMARK(StreamCopyBack)->Unit(benchmark::kMillisecond);
BENCHMARK(LineAccess)->Unit(benchmark::kMicrosecond);
BENCHMARK(SwapRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
