// PNG decoding speed: the image loading's PNG reader on a large RGB image.
//
// Figure guarded (Release, one core), in milliseconds per decode:
//   PngDecode/rgb8000 - an 8000 x 8000 RGB PNG, not interlaced, its rows filtered in
//                       turn with Sub, Up, Average and Paeth over a photo-like pattern
//                       (gradients with a little noise), compressed by the platform's
//                       zlib writer; decoded from a disk file into a new image record,
//                       lines and all. Target: no slower than PIL's Image.open().load()
//                       on the same file (the png_decode row of `make bench`).
//
// The file is made once, before timing, at $TMPDIR/tm_png_decode_bench.png (default
// /tmp) and left there for the outside yardstick; it is remade when missing.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
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
#include "platform/sys/checksum.h"
#include "platform/sys/deflate_writer.h"
#include "raster/png_read.h"

namespace {

constexpr int kSide = 8000;

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_png_decode_bench.png";
}

void put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out->push_back(uint8_t(v >> s));
}

void write_chunk(std::FILE* f, const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> c;
  put32(&c, uint32_t(data.size()));
  c.insert(c.end(), type, type + 4);
  c.insert(c.end(), data.begin(), data.end());
  put32(&c, plat::crc32_update(plat::kCrc32Init, c.data() + 4, data.size() + 4));
  std::fwrite(c.data(), 1, c.size(), f);
}

// Row y of the pattern, filtered with filter type 1 + y % 4.
void filtered_row(int y, const std::vector<uint8_t>& prior, std::vector<uint8_t>* row,
                  std::vector<uint8_t>* out) {
  uint32_t noise = uint32_t(y) * 2654435761u;
  for (int x = 0; x < kSide; ++x) {
    noise = noise * 1103515245u + 12345u;
    const int n = int(noise >> 29);  // 0..7
    (*row)[size_t(3 * x)] = uint8_t(x / 40 + y / 80 + n);
    (*row)[size_t(3 * x + 1)] = uint8_t((x + y) / 63 + n);
    (*row)[size_t(3 * x + 2)] = uint8_t(200 - y / 50 + n);
  }
  const int type = 1 + y % 4;
  out->assign(1, uint8_t(type));
  const size_t n = row->size();
  for (size_t i = 0; i < n; ++i) {
    const int a = i >= 3 ? (*row)[i - 3] : 0, b = prior[i], c = i >= 3 ? prior[i - 3] : 0;
    int pred = 0;
    if (type == 1) pred = a;
    if (type == 2) pred = b;
    if (type == 3) pred = (a + b) / 2;
    if (type == 4) {
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    out->push_back(uint8_t((*row)[i] - pred));
  }
}

void make_png(const std::string& path) {
  std::vector<uint8_t> idat;
  plat::DeflateWriter z([&idat](const uint8_t* p, size_t n) {
    idat.insert(idat.end(), p, p + n);
    return true;
  });
  std::vector<uint8_t> prior(size_t(3 * kSide), 0), row(prior.size()), out;
  for (int y = 0; y < kSide; ++y) {
    filtered_row(y, prior, &row, &out);
    z.write(out.data(), out.size());
    prior.swap(row);
  }
  z.finish();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::fwrite(kSignature, 1, 8, f);
  std::vector<uint8_t> h;
  put32(&h, kSide);
  put32(&h, kSide);
  h.insert(h.end(), {8, 2, 0, 0, 0});
  write_chunk(f, "IHDR", h);
  for (size_t at = 0; at < idat.size(); at += 1 << 20)
    write_chunk(f, "IDAT", std::vector<uint8_t>(idat.begin() + int64_t(at),
                                                 idat.begin() + int64_t(std::min(idat.size(), at + (1 << 20)))));
  write_chunk(f, "IEND", {});
  std::fclose(f);
}

struct setting {
  std::string swap = "/tmp/tm_png_bench_" + std::to_string(getpid());
  obj_t* file = nullptr;
  setting() {
    obj_store_init();
    obj_register_core_classes();
    line_store_register();
    xform_register_classes();
    config_temp_dir_set(swap.c_str(), "s_");
    bitmap_module_init();
    fileobj_types_register();
    const std::string path = bench_path();
    if (!std::filesystem::exists(path)) make_png(path);
    file = get_file_ops().open(nullptr, path.c_str());
  }
  ~setting() {
    std::error_code ec;
    std::filesystem::remove_all(swap, ec);
  }
};

void BM_PngDecode(benchmark::State& state) {
  static setting s;
  for (auto _ : state) {
    bitmap_t* image = nullptr;
    obj_new_registered(CLS_BITMAP, &image);
    image->file = s.file;
    image->gamma = -1.0;
    set_graylevel_lut(image);
    const int rc = png_read(image);
    state.PauseTiming();
    if (rc != 0 || image->width != kSide) state.SkipWithError("decode failed");
    free_obj(&image);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PngDecode)->Name("PngDecode/rgb8000")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
