// The image viewer's "next image" step on large photos.
//
// Figure guarded (Release, one core), in milliseconds per step:
//   SorbinelNext/jpeg6000x4000 - Space in a browsing list of two 6000 x 4000 colour JPEG
//                       photos (the same picture under two names): the shown photo is
//                       released, the next one identified, loaded and shown, and every
//                       line of it read. Target: at most 1.3 x the time `djpeg` takes to
//                       decode the same file (compare with the jpeg_decode row of `make
//                       bench`).
//
// The photo is made once, before timing, at $TMPDIR/tm_sorbinel_next_bench.jpg (default
// /tmp) with `cjpeg` (quality 90) from a picture of smooth gradients and fine detail, and
// left there for the outside yardstick; it is remade when missing. The viewer starts as
// the program does (its modules and tables from the program folder), without windows.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "platform/sys/sysinfo.h"
#include "raster/image_load.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_shell.h"
#include "sorbinel/sb_state.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::string tmp_dir() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp");
}
std::string bench_path() { return tmp_dir() + "/tm_sorbinel_next_bench.jpg"; }

// A PPM picture piped through cjpeg.
bool make_photo(const std::string& path) {
  const std::string ppm = path + ".ppm";
  std::FILE* f = std::fopen(ppm.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
  std::vector<uint8_t> row(size_t(kWidth) * 3);
  uint32_t noise = 2463534242u;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      const int grain = int(noise & 15) - 8;
      row[size_t(x) * 3 + 0] = uint8_t(std::clamp(x * 255 / kWidth + grain, 0, 255));
      row[size_t(x) * 3 + 1] = uint8_t(std::clamp(y * 255 / kHeight + grain, 0, 255));
      row[size_t(x) * 3 + 2] = uint8_t(std::clamp(((x / 40 + y / 40) % 2) * 120 + 60 + grain, 0, 255));
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
  const std::string cmd = "cjpeg -quality 90 -outfile '" + path + "' '" + ppm + "'";
  const int rc = std::system(cmd.c_str());
  std::filesystem::remove(ppm);
  return rc == 0;
}

struct setting {
  std::string dir = tmp_dir() + "/tm_sorbinel_next_" + std::to_string(getpid());
  bool ready = false;
  setting() {
    const std::string path = bench_path();
    if (!std::filesystem::exists(path) && !make_photo(path)) return;
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(path, dir + "/a.jpg");
    std::filesystem::copy_file(path, dir + "/b.jpg");
    sb_startup(plat::program_dir().c_str(), "");
    if (get_gblerr() != 0) return;
    sb_queue_path(dir.c_str());
    sb_take_queue();
    sb_show_next();  // the folder opens into its two photos
    ready = sb().current != nullptr;
  }
  ~setting() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

// Reads every line of every image the shown file holds.
int64_t read_lines() {
  int64_t sum = 0;
  folder_t* it = nullptr;
  while (folder_t* f = file_next_folder(sb().current, &it)) {
    if (!f->image || f->image->cls != CLS_BITMAP) continue;
    bitmap_t* image = static_cast<bitmap_t*>(f->image);
    for (int y = 0; y < image->height; ++y)
      if (const uint8_t* line = image_line(image, y, 0)) sum += line[0];
  }
  return sum;
}

void BM_SorbinelNext(benchmark::State& state) {
  static setting s;
  if (!s.ready) {
    state.SkipWithError("the photo or the viewer's start-up failed");
    return;
  }
  for (auto _ : state) {
    sb_show_next();
    benchmark::DoNotOptimize(read_lines());
  }
}
BENCHMARK(BM_SorbinelNext)->Name("SorbinelNext/jpeg6000x4000")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
