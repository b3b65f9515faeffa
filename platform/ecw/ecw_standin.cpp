// The stand-in ECW decoding library: a shared library with the calls of ecw_api.h,
// serving the test files of ecw_header.h. Its pixels are a pure function of position,
// band and read scale (ecw_standin::sample), so a test knows every value it must see.
//
// On demand (header fields) one call fails at its n-th use on a view, and the first
// region settings of a view wait a delay through the clock the host binds (the host's
// virtual clock in tests; real sleeping when none is bound). When the environment
// variable TM_ECW_STANDIN_LOG names a file, every call appends one line to it:
//   "73 open <path>", "71 info", "82 set <bands> <x0> <y0> <x1> <y1> <w> <h>",
//   "78 line <n>", "77 line <n>", "70 close <free_cache>", failures with " failed";
// a slow region setting writes "82 wait <ms>" before it waits.
// Views are independent; one view is used by one thread at a time (the host's lock).
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/ecw/ecw_api.h"
#include "platform/ecw/ecw_header.h"

namespace {

using ecw_standin::header;

struct view_state {
  header h;
  ecw_file_info info{};
  std::string path;
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1, out_w = 0, out_h = 0;
  std::vector<int> bands;
  int next_line = 0;
  bool region_set = false;
  uint32_t calls[256] = {};  // uses of each ordinal
};

std::mutex g_lock;          // the log, the open counters and the clock binding
ecw_sleep_fn g_sleep = nullptr;
std::map<std::string, uint32_t> g_opens;  // opens of each path

void log_line(const std::string& text) {
  const char* name = std::getenv("TM_ECW_STANDIN_LOG");
  if (!name || !*name) return;
  std::lock_guard<std::mutex> hold(g_lock);
  if (FILE* f = std::fopen(name, "a")) {
    std::fprintf(f, "%s\n", text.c_str());
    std::fclose(f);
  }
}

// Counts a use of the ordinal: true when this use is the one asked to fail.
bool fails(view_state* v, int ordinal) {
  const uint32_t n = ++v->calls[ordinal & 255];
  return v->h.fail_call == ordinal && n == v->h.fail_at;
}

void wait_ms(uint32_t ms) {
  ecw_sleep_fn sleep = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    sleep = g_sleep;
  }
  if (sleep) {
    sleep(int64_t(ms));
    return;
  }
  timespec t{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

int finish(const std::string& text, int rc) {
  log_line(rc == 0 ? text : text + " failed");
  return rc;
}

// Full-resolution position of output pixel i of n over [a, b].
uint32_t position(int a, int b, int i, int n) {
  return uint32_t(a + int64_t(i) * (b - a + 1) / n);
}

uint32_t read_scale(const view_state* v) {
  const uint32_t s = uint32_t((v->x1 - v->x0 + 1) / v->out_w);
  return s < 1 ? 1 : s;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int ecw_view_open(const char* path, void** view,
                                                         void* /*refresh*/) {
  if (!path || !view) return 1;
  *view = nullptr;
  std::string text = std::string("73 open ") + path;
  std::ifstream in(path, std::ios::binary);
  if (!in) return finish(text, 1);
  std::vector<uint8_t> head(ecw_standin::kFixedSize + 2 + 2 * ecw_standin::kMaxName);
  in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
  auto* v = new (std::nothrow) view_state;
  if (!v) return finish(text, 1);
  if (!ecw_standin::parse(head.data(), size_t(in.gcount()), &v->h)) {
    delete v;
    return finish(text, 1);
  }
  uint32_t opens = 0;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    opens = ++g_opens[path];
  }
  if (v->h.fail_call == 73 && opens == v->h.fail_at) {
    delete v;
    return finish(text, 1);
  }
  v->path = path;
  v->info.width = v->h.width;
  v->info.height = v->h.height;
  v->info.bands = v->h.bands;
  v->info.cell_unit = v->h.cell_unit;
  v->info.cell_x = v->h.cell_x;
  v->info.cell_y = v->h.cell_y;
  v->info.origin_x = v->h.origin_x;
  v->info.origin_y = v->h.origin_y;
  v->info.datum = v->h.datum.c_str();
  v->info.projection = v->h.projection.c_str();
  *view = v;
  return finish(text, 0);
}

__attribute__((visibility("default"))) int ecw_view_info(void* view, ecw_file_info** info) {
  auto* v = static_cast<view_state*>(view);
  if (!v || !info) return finish("71 info", 1);
  if (fails(v, 71)) return finish("71 info", 1);
  *info = &v->info;
  return finish("71 info", 0);
}

__attribute__((visibility("default"))) void ecw_view_close(void* view, int free_cache) {
  log_line("70 close " + std::to_string(free_cache));
  delete static_cast<view_state*>(view);
}

__attribute__((visibility("default"))) int ecw_view_set(void* view, int band_count,
                                                        const int* bands, int x0, int y0,
                                                        int x1, int y1, int width,
                                                        int height) {
  auto* v = static_cast<view_state*>(view);
  char text[160];
  std::snprintf(text, sizeof text, "82 set %d %d %d %d %d %d %d", band_count, x0, y0, x1, y1,
                width, height);
  if (!v || !bands || band_count < 1 || band_count > v->h.bands) return finish(text, 1);
  for (int i = 0; i < band_count; ++i)
    if (bands[i] < 0 || bands[i] >= v->h.bands) return finish(text, 1);
  const int w = int(v->h.width), h = int(v->h.height);
  if (x0 < 0 || y0 < 0 || x1 < x0 || y1 < y0 || x1 >= w || y1 >= h) return finish(text, 1);
  if (width < 1 || height < 1 || width > x1 - x0 + 1 || height > y1 - y0 + 1)
    return finish(text, 1);
  v->region_set = false;
  if (fails(v, 82)) return finish(text, 1);
  if (v->calls[82] <= v->h.slow_sets && v->h.delay_ms > 0) {
    log_line("82 wait " + std::to_string(v->h.delay_ms));
    wait_ms(v->h.delay_ms);
  }
  v->bands.assign(bands, bands + band_count);
  v->x0 = x0;
  v->y0 = y0;
  v->x1 = x1;
  v->y1 = y1;
  v->out_w = width;
  v->out_h = height;
  v->next_line = 0;
  v->region_set = true;
  return finish(text, 0);
}

__attribute__((visibility("default"))) int ecw_read_bands(void* view, uint8_t** destinations) {
  auto* v = static_cast<view_state*>(view);
  const std::string text = "78 line " + std::to_string(v ? v->next_line : -1);
  if (!v || !destinations || !v->region_set || v->next_line >= v->out_h) return finish(text, 1);
  if (fails(v, 78)) return finish(text, 1);
  const uint32_t y = position(v->y0, v->y1, v->next_line, v->out_h);
  const uint32_t scale = read_scale(v);
  for (size_t b = 0; b < v->bands.size(); ++b) {
    uint8_t* d = destinations[b];
    if (!d) return finish(text, 1);
    for (int i = 0; i < v->out_w; ++i)
      d[i] = ecw_standin::sample(v->h.seed, position(v->x0, v->x1, i, v->out_w), y,
                                 uint32_t(v->bands[b]), scale);
  }
  ++v->next_line;
  return finish(text, 0);
}

__attribute__((visibility("default"))) int ecw_read_rgb(void* view, uint32_t* destination) {
  auto* v = static_cast<view_state*>(view);
  const std::string text = "77 line " + std::to_string(v ? v->next_line : -1);
  if (!v || !destination || !v->region_set || v->next_line >= v->out_h) return finish(text, 1);
  if (fails(v, 77)) return finish(text, 1);
  const uint32_t y = position(v->y0, v->y1, v->next_line, v->out_h);
  const uint32_t scale = read_scale(v);
  // Red, green and blue are bands 0, 1 and 2 of the selection (the first band for each
  // missing one).
  const size_t n = v->bands.size();
  const uint32_t rb = uint32_t(v->bands[0]), gb = uint32_t(v->bands[n > 1 ? 1 : 0]),
                 bb = uint32_t(v->bands[n > 2 ? 2 : 0]);
  for (int i = 0; i < v->out_w; ++i) {
    const uint32_t x = position(v->x0, v->x1, i, v->out_w);
    destination[i] = uint32_t(ecw_standin::sample(v->h.seed, x, y, rb, scale)) << 16 |
                     uint32_t(ecw_standin::sample(v->h.seed, x, y, gb, scale)) << 8 |
                     ecw_standin::sample(v->h.seed, x, y, bb, scale);
  }
  ++v->next_line;
  return finish(text, 0);
}

__attribute__((visibility("default"))) void ecw_bind_clock(ecw_sleep_fn sleep) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_sleep = sleep;
}

}  // extern "C"
