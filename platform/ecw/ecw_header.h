// The header of the stand-in decoder's test files (docs/formats/ecw-standin.md): the
// magic bytes 65 02 01, a version byte, the image's description, the behaviour asked of
// the library (failure of one call, delays) and the datum and projection names. Header
// only: the stand-in library and the fuzz harness read headers with the same routine.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace ecw_standin {

constexpr uint8_t kMagic[3] = {0x65, 0x02, 0x01};
constexpr uint8_t kVersion = 1;
constexpr uint32_t kMaxSide = 1000000;  // pixels a side
constexpr uint16_t kMaxBands = 16;
constexpr size_t kFixedSize = 64;       // bytes before the two names
constexpr size_t kMaxName = 63;         // bytes of a name

struct header {
  uint32_t width = 0, height = 0;
  uint16_t bands = 0;
  uint8_t cell_unit = 0;
  uint8_t fail_call = 0;     // ordinal of the call made to fail (0: none)
  uint32_t fail_at = 0;      // the n-th such call of a view fails (1 the first)
  uint32_t slow_sets = 0;    // region settings of a view that wait `delay_ms`
  uint32_t delay_ms = 0;
  uint32_t seed = 0;
  double cell_x = 0, cell_y = 0, origin_x = 0, origin_y = 0;
  std::string datum, projection;
};

inline uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline double le_double(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}

// Reads a header from the first `size` bytes of a file: true when it is whole and every
// value is in range (sizes 1 .. 10^6, bands 1 .. 16, unit 0 .. 3, finite numbers, names
// of 1 .. 63 printable bytes).
inline bool parse(const uint8_t* data, size_t size, header* h) {
  if (!data || size < kFixedSize + 2 || std::memcmp(data, kMagic, 3) != 0 || data[3] != kVersion)
    return false;
  h->width = le32(data + 4);
  h->height = le32(data + 8);
  h->bands = uint16_t(data[12] | data[13] << 8);
  h->cell_unit = data[14];
  h->fail_call = data[15];
  h->fail_at = le32(data + 16);
  h->slow_sets = le32(data + 20);
  h->delay_ms = le32(data + 24);
  h->seed = le32(data + 28);
  h->cell_x = le_double(data + 32);
  h->cell_y = le_double(data + 40);
  h->origin_x = le_double(data + 48);
  h->origin_y = le_double(data + 56);
  if (h->width < 1 || h->width > kMaxSide || h->height < 1 || h->height > kMaxSide) return false;
  if (h->bands < 1 || h->bands > kMaxBands || h->cell_unit > 3) return false;
  for (double v : {h->cell_x, h->cell_y, h->origin_x, h->origin_y})
    if (!std::isfinite(v)) return false;
  size_t at = kFixedSize;
  for (std::string* name : {&h->datum, &h->projection}) {
    if (at >= size) return false;
    const size_t n = data[at++];
    if (n < 1 || n > kMaxName || n > size - at) return false;
    for (size_t i = 0; i < n; ++i)
      if (data[at + i] < 0x20 || data[at + i] > 0x7e) return false;
    name->assign(reinterpret_cast<const char*>(data + at), n);
    at += n;
  }
  return true;
}

// The sample of band `band` at full-resolution pixel (x, y) read at `scale` (region
// pixels per output pixel across, at least 1).
inline uint8_t sample(uint32_t seed, uint32_t x, uint32_t y, uint32_t band, uint32_t scale) {
  return uint8_t((x + 2u * y + 85u * band + 31u * (scale - 1u) + seed) & 0xffu);
}

}  // namespace ecw_standin
