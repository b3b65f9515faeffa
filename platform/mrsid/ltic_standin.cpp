// The stand-in MrSID decoding library: the ltic_* calls over the test format of
// msid_format.h. Pixels are computed, never stored; each open handle keeps its file
// open, as a real decoder does, so a handle that is never closed shows as an open file.
//
// Test controls (see docs/formats/mrsid-standin.md):
// - MSID_CALL_LOG: a file to which every call appends one line (its name; ltic_decode
//   adds its region and magnification);
// - MSID_FAIL: the name of a call that fails (a status of 1, a getter answers 0 or NaN),
//   besides the header's own `fail_call`;
// - MSID_DELAY_MS, or the header's `delay_ms`: each decode first waits that long on the
//   host's platform clock (the virtual clock in tests), found by name in the process.
#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/mrsid/ltic_api.h"
#include "platform/mrsid/msid_format.h"

namespace {

struct image {
  FILE* file = nullptr;
  msid::header h;
};

std::atomic<int> g_open{0};
std::mutex g_log_lock;

void log_call(int call, const char* extra = nullptr) {
  const char* path = std::getenv("MSID_CALL_LOG");
  if (!path || !*path) return;
  std::lock_guard<std::mutex> lock(g_log_lock);
  FILE* f = std::fopen(path, "a");
  if (!f) return;
  std::fprintf(f, "%s%s%s\n", msid::kCallNames[call], extra ? " " : "", extra ? extra : "");
  std::fclose(f);
}

// Whether the call fails for this image (null image: only the environment counts).
bool fails(const image* im, int call) {
  if (im && im->h.fail_call == call) return true;
  return msid::call_by_name(std::getenv("MSID_FAIL")) == call;
}

// Logs the call; the image, or null when the handle is null or the call fails.
const image* enter(ltic_handle h, int call) {
  log_call(call);
  const auto* im = static_cast<const image*>(h);
  if (!im || fails(im, call)) return nullptr;
  return im;
}

int int_answer(ltic_handle h, int call, int32_t msid::header::*field) {
  const image* im = enter(h, call);
  return im ? im->h.*field : 0;
}
double real_answer(ltic_handle h, int call, double msid::header::*field) {
  const image* im = enter(h, call);
  return im ? im->h.*field : std::nan("");
}

// Waits on the host's platform clock when the host has one, else on the real clock.
void wait_ms(int ms) {
  if (ms <= 0) return;
  using sleep_fn = void (*)(int64_t);
  auto fn = reinterpret_cast<sleep_fn>(dlsym(RTLD_DEFAULT, "_ZN4plat8sleep_msEl"));
  if (fn) {
    fn(ms);
    return;
  }
  const timespec t{ms / 1000, long(ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

int delay_of(const image* im) {
  const char* env = std::getenv("MSID_DELAY_MS");
  const int from_env = env ? std::atoi(env) : 0;
  return from_env > 0 ? from_env : im->h.delay_ms;
}

// A whole number of pixels in 0 .. limit.
bool whole(double v, double limit) { return v >= 0.0 && v <= limit && v == std::floor(v); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int ltic_openMrSIDImageFile(ltic_handle* out,
                                                                    const char* path) {
  log_call(msid::kCallOpen);
  if (!out) return 1;
  *out = nullptr;
  if (!path || fails(nullptr, msid::kCallOpen)) return 1;
  FILE* f = std::fopen(path, "rb");
  if (!f) return 2;
  uint8_t head[msid::kHeaderSize];
  const size_t n = std::fread(head, 1, sizeof head, f);
  msid::header h;
  if (msid::parse_header(head, n, &h) != 0 || h.fail_call == msid::kCallOpen) {
    std::fclose(f);
    return 3;
  }
  *out = new image{f, h};
  g_open.fetch_add(1);
  return 0;
}

__attribute__((visibility("default"))) int ltic_closeImage(ltic_handle h) {
  log_call(msid::kCallClose);
  auto* im = static_cast<image*>(h);
  if (!im) return 1;
  const bool failed = fails(im, msid::kCallClose);
  // A failed close still ends the handle: the caller has no other way to end it.
  std::fclose(im->file);
  delete im;
  g_open.fetch_sub(1);
  return failed ? 1 : 0;
}

__attribute__((visibility("default"))) int ltic_decode(ltic_handle h, double x0, double y0,
                                                       double w, double hgt, double mag,
                                                       uint8_t** bands) {
  char args[160];
  std::snprintf(args, sizeof args, "%.17g %.17g %.17g %.17g %.17g", x0, y0, w, hgt, mag);
  log_call(msid::kCallDecode, args);
  const auto* im = static_cast<const image*>(h);
  if (!im || !bands) return 1;
  wait_ms(delay_of(im));
  if (fails(im, msid::kCallDecode)) return 1;
  const msid::header& hd = im->h;
  if (hd.bands < 1 || hd.bands > 4) return 4;
  if (!(mag > 0.0) || !(mag >= hd.min_mag) || !(mag <= hd.max_mag)) return 5;
  const uint32_t mw = msid::magnified(hd.width, mag), mh = msid::magnified(hd.height, mag);
  if (!whole(x0, mw) || !whole(y0, mh) || !whole(w, mw) || !whole(hgt, mh) || w < 1 ||
      hgt < 1 || x0 + w > mw || y0 + hgt > mh)
    return 6;
  for (int b = 0; b < hd.bands; ++b)
    if (!bands[b]) return 7;
  const int level = msid::level_of(mag);
  const uint32_t ix = uint32_t(x0), iy = uint32_t(y0), iw = uint32_t(w), ih = uint32_t(hgt);
  for (int b = 0; b < hd.bands; ++b) {
    uint8_t* out = bands[b];
    for (uint32_t y = 0; y < ih; ++y)
      for (uint32_t x = 0; x < iw; ++x) *out++ = msid::sample(ix + x, iy + y, b, level);
  }
  return 0;
}

__attribute__((visibility("default"))) int ltic_getDataType(ltic_handle h) {
  return int_answer(h, msid::kCallDataType, &msid::header::data_type);
}
__attribute__((visibility("default"))) int ltic_getNumBands(ltic_handle h) {
  return int_answer(h, msid::kCallNumBands, &msid::header::bands);
}
__attribute__((visibility("default"))) int ltic_getColorSpace(ltic_handle h) {
  return int_answer(h, msid::kCallColorSpace, &msid::header::colour_space);
}
__attribute__((visibility("default"))) uint32_t ltic_getWidth(ltic_handle h) {
  const image* im = enter(h, msid::kCallWidth);
  return im ? im->h.width : 0;
}
__attribute__((visibility("default"))) uint32_t ltic_getHeight(ltic_handle h) {
  const image* im = enter(h, msid::kCallHeight);
  return im ? im->h.height : 0;
}
__attribute__((visibility("default"))) double ltic_getMaxMagnification(ltic_handle h) {
  return real_answer(h, msid::kCallMaxMag, &msid::header::max_mag);
}
__attribute__((visibility("default"))) double ltic_getMinMagnification(ltic_handle h) {
  return real_answer(h, msid::kCallMinMag, &msid::header::min_mag);
}
__attribute__((visibility("default"))) double ltic_getGeoXRotation(ltic_handle h) {
  return real_answer(h, msid::kCallXRotation, &msid::header::x_rot);
}
__attribute__((visibility("default"))) double ltic_getGeoYRotation(ltic_handle h) {
  return real_answer(h, msid::kCallYRotation, &msid::header::y_rot);
}
__attribute__((visibility("default"))) double ltic_getGeoXResolution(ltic_handle h) {
  return real_answer(h, msid::kCallXResolution, &msid::header::x_res);
}
__attribute__((visibility("default"))) double ltic_getGeoYResolution(ltic_handle h) {
  return real_answer(h, msid::kCallYResolution, &msid::header::y_res);
}
__attribute__((visibility("default"))) double ltic_getGeoXOrigin(ltic_handle h) {
  return real_answer(h, msid::kCallXOrigin, &msid::header::x_origin);
}
__attribute__((visibility("default"))) double ltic_getGeoYOrigin(ltic_handle h) {
  return real_answer(h, msid::kCallYOrigin, &msid::header::y_origin);
}
__attribute__((visibility("default"))) int msid_open_handles() { return g_open.load(); }

}  // extern "C"
