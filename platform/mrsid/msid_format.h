// The stand-in decoder's file format: a fixed little-endian header after the magic
// "msid", and no stored pixels (every sample is msid_sample of its position). Shared by
// the stand-in library, its fixture tests and the fuzz harness.
//
// msid_parse_header checks only what the decoder itself needs (magic, version, size
// limits, bytes really there); band count, data type and colour space are handed to the
// caller as they stand, for the plug-in to judge.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace msid {

constexpr char kMagic[4] = {'m', 's', 'i', 'd'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 104;
constexpr uint32_t kMaxSide = 1000000;

// The calls of the decoding library, by number: a header's `fail_call` or the
// environment variable MSID_FAIL (by name) makes that call fail.
enum call_id : int {
  kCallNone = 0,
  kCallOpen,
  kCallDataType,
  kCallNumBands,
  kCallWidth,
  kCallHeight,
  kCallColorSpace,
  kCallXRotation,
  kCallYRotation,
  kCallXResolution,
  kCallYResolution,
  kCallXOrigin,
  kCallYOrigin,
  kCallMaxMag,
  kCallMinMag,
  kCallDecode,
  kCallClose,
  kCallCount
};
inline constexpr const char* kCallNames[kCallCount] = {
    "",
    "ltic_openMrSIDImageFile",
    "ltic_getDataType",
    "ltic_getNumBands",
    "ltic_getWidth",
    "ltic_getHeight",
    "ltic_getColorSpace",
    "ltic_getGeoXRotation",
    "ltic_getGeoYRotation",
    "ltic_getGeoXResolution",
    "ltic_getGeoYResolution",
    "ltic_getGeoXOrigin",
    "ltic_getGeoYOrigin",
    "ltic_getMaxMagnification",
    "ltic_getMinMagnification",
    "ltic_decode",
    "ltic_closeImage",
};
inline int call_by_name(const char* name) {
  if (!name) return kCallNone;
  for (int i = 1; i < kCallCount; ++i)
    if (std::strcmp(name, kCallNames[i]) == 0) return i;
  return kCallNone;
}

struct header {
  uint32_t width = 0, height = 0;
  int32_t bands = 0, data_type = 0, colour_space = 0;
  int32_t fail_call = 0;  // call_id that fails, 0 none
  int32_t delay_ms = 0;   // virtual-clock delay of each decode
  double max_mag = 1.0, min_mag = 1.0;
  double x_rot = 0.0, y_rot = 0.0, x_res = 1.0, y_res = -1.0, x_origin = 0.5, y_origin = -0.5;
};

inline uint32_t get_u32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline double get_f64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  double d;
  std::memcpy(&d, &v, sizeof d);
  return d;
}

// 0 with `out` filled, else -1 (short, bad magic or version, a side 0 or beyond 10^6, a
// delay below 0 or above one minute).
inline int parse_header(const uint8_t* data, size_t size, header* out) {
  if (!data || size < kHeaderSize || std::memcmp(data, kMagic, 4) != 0) return -1;
  if (get_u32(data + 4) != kVersion) return -1;
  header h;
  h.width = get_u32(data + 8);
  h.height = get_u32(data + 12);
  h.bands = int32_t(get_u32(data + 16));
  h.data_type = int32_t(get_u32(data + 20));
  h.colour_space = int32_t(get_u32(data + 24));
  h.fail_call = int32_t(get_u32(data + 28));
  h.delay_ms = int32_t(get_u32(data + 32));
  h.max_mag = get_f64(data + 40);
  h.min_mag = get_f64(data + 48);
  h.x_rot = get_f64(data + 56);
  h.y_rot = get_f64(data + 64);
  h.x_res = get_f64(data + 72);
  h.y_res = get_f64(data + 80);
  h.x_origin = get_f64(data + 88);
  h.y_origin = get_f64(data + 96);
  if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide) return -1;
  if (h.delay_ms < 0 || h.delay_ms > 60000) return -1;
  *out = h;
  return 0;
}

// Level of a magnification: 0 at 1.0, 1 at 0.5, 2 at 0.25 ... (rounded, 0..31).
inline int level_of(double mag) {
  if (!(mag > 0.0)) return 0;
  const double l = std::round(-std::log2(mag));
  return l < 0 ? 0 : l > 31 ? 31 : int(l);
}

// The sample of band b at (x, y) of the image at magnification level `level`.
inline uint8_t sample(uint32_t x, uint32_t y, int band, int level) {
  return uint8_t(x * 3u + y * 7u + uint32_t(band) * 85u + uint32_t(level) * 50u);
}

// Size of the image at a magnification: ceil(side x mag), at least 1.
inline uint32_t magnified(uint32_t side, double mag) {
  const double v = std::ceil(double(side) * mag);
  return v < 1.0 ? 1u : v > double(kMaxSide) ? kMaxSide : uint32_t(v);
}

}  // namespace msid
