// Chart decoding speed: the image viewer's chart reader on a large chart.
//
// Figure guarded (Release, one core), in milliseconds per decode:
//   KapDecode/chart10000x8000 - a 10000 x 8000 chart of depth 7 (the colour depth of
//                       most charts), its rows made of runs of 1 to 48 pixels over a
//                       palette of 127 entries, with its row offset table; decoded from
//                       a disk file into a new image record, lines and all. Target: no
//                       slower than `gdalinfo -checksum` on the same file, which decodes
//                       every row of it (the kap_decode row of `make bench`).
//
// The file is made once, before timing, at $TMPDIR/tm_kap_decode_bench.kap (default
// /tmp) and left there for the outside yardstick; it is remade when missing.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/core_classes.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/object.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/kap_read.h"

namespace {

constexpr int kWidth = 10000;
constexpr int kHeight = 8000;
constexpr int kDepth = 7;

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_kap_decode_bench.kap";
}

void put_groups(std::vector<uint8_t>* out, uint32_t v, int first_bits, int first_base) {
  // The value's low 7-bit groups go into extension bytes; what is left into the first.
  uint8_t groups[5];
  int n = 0;
  while (v >= (1u << first_bits)) {
    groups[n++] = uint8_t(v & 127);
    v >>= 7;
  }
  out->push_back(uint8_t(first_base | int(v) | (n ? 0x80 : 0)));
  for (int i = n - 1; i >= 0; --i) out->push_back(uint8_t(groups[i] | (i ? 0x80 : 0)));
}

void make_chart(const std::string& path) {
  std::string header = "!Benchmark chart\r\nVER/3.0\r\nBSB/NA=Bench,NU=1,RA=" +
                       std::to_string(kWidth) + "," + std::to_string(kHeight) +
                       ",DU=254\r\nKNP/SC=20000,GD=WGS84,PR=MERCATOR\r\n    UN=METERS\r\n"
                       "OST/1\r\nIFM/7\r\n";
  for (int i = 1; i < 128; ++i)
    header += "RGB/" + std::to_string(i) + "," + std::to_string(i * 37 % 256) + "," +
              std::to_string(i * 91 % 256) + "," + std::to_string(i * 13 % 256) + "\r\n";
  while (header.size() < 1100) header += "OST/1\r\n";
  std::vector<uint8_t> data(header.begin(), header.end());
  data.insert(data.end(), {26, 0, kDepth});
  std::vector<uint32_t> offsets;
  uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    offsets.push_back(uint32_t(data.size()));
    put_groups(&data, uint32_t(y + 1), 7, 0);
    for (int x = 0; x < kWidth;) {
      noise = noise * 1103515245u + 12345u;
      const int run = std::min(kWidth - x, 1 + int(noise >> 16) % 48);
      const int colour = 1 + (x / 300 + y / 200 + int(noise >> 28)) % 127;
      put_groups(&data, uint32_t(run - 1), 7 - kDepth, colour << (7 - kDepth));
      x += run;
    }
    data.push_back(0);
  }
  const uint32_t table = uint32_t(data.size());
  offsets.push_back(table);
  for (uint32_t o : offsets)
    for (int s = 24; s >= 0; s -= 8) data.push_back(uint8_t(o >> s));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

struct setting {
  std::string swap = "/tmp/tm_kap_bench_" + std::to_string(getpid());
  obj_t* file = nullptr;
  setting() {
    obj_store_init();
    obj_register_core_classes();
    line_store_register();
    xform_register_classes();
    config_temp_dir_set(swap.c_str(), "s_");
    bitmap_module_init();
    fileobj_types_register();
    sb_chart_register();
    const std::string path = bench_path();
    if (!std::filesystem::exists(path)) make_chart(path);
    file = get_file_ops().open(nullptr, path.c_str());
  }
  ~setting() {
    std::error_code ec;
    std::filesystem::remove_all(swap, ec);
  }
};

void BM_KapDecode(benchmark::State& state) {
  static setting s;
  for (auto _ : state) {
    bitmap_t* image = nullptr;
    obj_new_registered(CLS_BITMAP, &image);
    image->file = s.file;
    image->format = kDecoderChart;
    image->gamma = -1.0;
    set_graylevel_lut(image);
    const int rc = sb_chart_parse(image);
    state.PauseTiming();
    if (rc != 0 || image->width != kWidth || image->height != kHeight)
      state.SkipWithError("decode failed");
    free_obj(&image);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_KapDecode)
    ->Name("KapDecode/chart10000x8000")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
