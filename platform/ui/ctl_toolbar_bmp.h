// The bitmap file reader behind load_bitmap_file: Windows .bmp files with a 40-byte
// (or the longer version 4 and 5) information header or the 12-byte core header,
// uncompressed, at 1, 4, 8 (palette), 24 or 32 bits per pixel, rows bottom-up or
// top-down. Every size and offset is checked against the bytes there are before it is
// used; a palette index beyond the palette reads as black.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat::ui_detail {

enum class BmpStatus {
  ok,
  unreadable,   // the file cannot be opened or read
  not_bitmap,   // no "BM" signature, or a header of an unknown size
  bad_header,   // sizes or offsets that contradict each other or the file
  unsupported,  // compression, or a bit depth this reader does not take
  too_large,    // beyond kBmpMaxSide pixels a side, kBmpMaxPixels pixels or kBmpMaxFileBytes
};

// Toolbar and state pictures are small; these bounds keep a faulty file from costing
// more than a few tens of megabytes.
constexpr int kBmpMaxSide = 8192;
constexpr int64_t kBmpMaxPixels = int64_t(1) << 22;
constexpr size_t kBmpMaxFileBytes = size_t(1) << 25;

struct BmpPicture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0xFFRRGGBB words, rows top to bottom
};

BmpStatus decode_bmp(const uint8_t* data, size_t size, BmpPicture* out);
BmpStatus read_bmp_file(const char* path, BmpPicture* out);

}  // namespace plat::ui_detail
