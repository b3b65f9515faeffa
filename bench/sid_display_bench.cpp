// MrSID window display speed: the plug-in's display export filling a full-HD window of a
// large image, against the stand-in decoding library's own time for the same region.
//
// Figures guarded (Release, one core), in milliseconds per window:
//   SidDisplay/1920x1080/scale0.3   - a 1920 x 1080 32-bit window at 0.3 display pixels
//                                     per image pixel (decoded at magnification 0.5, a
//                                     region of 3201 x 1801 samples per band), resampled
//                                     into the window;
//   StandinDecode/3201x1801/mag0.5  - the stand-in's ltic_decode alone on that region.
//   SidDisplay/1920x1080/scale1     - the same window at full resolution;
//   StandinDecode/1921x1081/mag1    - the stand-in alone on that region.
// Target: each SidDisplay figure at most 5 ms above its StandinDecode figure (the
// plug-in's own part: opening once, the region, one buffer, the resampling pass).
//
// The image (20000 x 15000, three bands; the stand-in computes its pixels) is written
// once at $TMPDIR/tm_sid_display_bench.sid (default /tmp). The program is the plug-in's
// host: it is linked with its routines exported, and the plug-in and the stand-in lie
// beside it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "platform/mrsid/ltic_api.h"
#include "raster/image_load.h"
#include "raster/sid_host.h"

namespace {

constexpr uint32_t kWidth = 20000, kHeight = 15000;
constexpr int kWindowWidth = 1920, kWindowHeight = 1080;
constexpr double kOriginX = 1000.0, kOriginY = 800.0;

std::string bench_path() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/tm_sid_display_bench.sid";
}

void put_u32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}
void put_f64(std::vector<uint8_t>* out, double d) {
  uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  for (int i = 0; i < 8; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

void make_file(const std::string& path) {
  std::vector<uint8_t> h = {'m', 's', 'i', 'd'};
  for (uint32_t v : {1u, kWidth, kHeight, 3u, 1u, 1u, 0u, 0u, 0u}) put_u32(&h, v);
  for (double d : {1.0, 1.0 / 64, 0.0, 0.0, 1.0, -1.0, 0.5, -0.5}) put_f64(&h, d);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(h.data(), 1, h.size(), f);
  std::fclose(f);
}

using decode_fn = int (*)(ltic_handle, double, double, double, double, double, uint8_t**);
using open_fn = int (*)(ltic_handle*, const char*);
using close_fn = int (*)(ltic_handle);

struct setting {
  std::string swap = "/tmp/tm_sid_bench_" + std::to_string(getpid());
  bitmap_t* image = nullptr;
  bool bound = false;
  decode_fn decode = nullptr;
  open_fn open = nullptr;
  close_fn close = nullptr;
  setting() {
    obj_store_init();
    obj_register_core_classes();
    line_store_register();
    xform_register_classes();
    config_temp_dir_set(swap.c_str(), "s_");
    raster_module_init();
    bitmap_module_init();
    fileobj_types_register();
    int flag = 0;
    sid_plugin_load(&flag);
    bound = flag == 1;
    const std::string path = bench_path();
    if (!std::filesystem::exists(path)) make_file(path);
    obj_new_registered(CLS_BITMAP, &image);
    image->file = get_file_ops().open(nullptr, path.c_str());
    image->format = kDecoderSid;
    image->gamma = -1.0;
    set_graylevel_lut(image);
    // The stand-in's own calls, for its figure alone.
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, size_t(n)) : "";
    dir = dir.substr(0, dir.rfind('/') + 1);
    if (void* lib = dlopen((dir + kLticLibraryName).c_str(), RTLD_NOW)) {
      decode = reinterpret_cast<decode_fn>(dlsym(lib, "ltic_decode"));
      open = reinterpret_cast<open_fn>(dlsym(lib, "ltic_openMrSIDImageFile"));
      close = reinterpret_cast<close_fn>(dlsym(lib, "ltic_closeImage"));
    }
  }
  ~setting() {
    std::error_code ec;
    std::filesystem::remove_all(swap, ec);
  }
};

setting& the_setting() {
  static setting s;
  return s;
}

void BM_SidDisplay(benchmark::State& state, double scale) {
  setting& s = the_setting();
  if (!s.bound) {
    state.SkipWithError("the plug-in is not bound");
    return;
  }
  std::vector<uint32_t> out(size_t(kWindowWidth) * kWindowHeight);
  for (auto _ : state) {
    sid_window win{kWindowWidth, kWindowHeight, kOriginX, kOriginY, kWindowWidth / scale,
                   kWindowHeight / scale};
    sid_display_image(s.image, &win, 0, nullptr, out.data(), kWindowWidth);
    benchmark::DoNotOptimize(out.data());
  }
}

// The region the plug-in asks for at magnification m: trunc(m x extent) + 1 samples.
void BM_StandinDecode(benchmark::State& state, double scale, double mag) {
  setting& s = the_setting();
  if (!s.decode || !s.open) {
    state.SkipWithError("the stand-in is not found");
    return;
  }
  ltic_handle h = nullptr;
  if (s.open(&h, bench_path().c_str()) != 0) {
    state.SkipWithError("the stand-in refused the file");
    return;
  }
  const double w = std::trunc(mag * kWindowWidth / scale) + 1;
  const double hgt = std::trunc(mag * kWindowHeight / scale) + 1;
  std::vector<uint8_t> buffer(size_t(w * hgt) * 3);
  uint8_t* planes[3] = {buffer.data(), buffer.data() + size_t(w * hgt),
                        buffer.data() + 2 * size_t(w * hgt)};
  for (auto _ : state) {
    s.decode(h, std::trunc(mag * kOriginX), std::trunc(mag * kOriginY), w, hgt, mag, planes);
    benchmark::DoNotOptimize(buffer.data());
  }
  s.close(h);
}

BENCHMARK_CAPTURE(BM_SidDisplay, scale03, 0.3)
    ->Name("SidDisplay/1920x1080/scale0.3")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StandinDecode, mag05, 0.3, 0.5)
    ->Name("StandinDecode/3201x1801/mag0.5")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SidDisplay, scale1, 1.0)
    ->Name("SidDisplay/1920x1080/scale1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StandinDecode, mag1, 1.0, 1.0)
    ->Name("StandinDecode/1921x1081/mag1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
