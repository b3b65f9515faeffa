// Small PNG files built in the tests: a header, any chunks, and image data compressed
// by the platform's zlib writer, so that each case states the one thing it changes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace raster_test {

struct png_builder {
  uint32_t width = 2, height = 2;
  uint8_t depth = 8, colour_type = 0, interlace = 0;
  std::vector<uint8_t> ihdr_extra;   // bytes to append to the 13 of the header
  int ihdr_cut = 0;                  // bytes to drop from the end of the header
  std::vector<std::vector<uint8_t>> chunks;  // complete chunks placed before IDAT
  std::vector<uint8_t> raw;          // filtered rows; empty: zero rows of the right size
  bool with_iend = true;
  bool with_idat = true;

  // A complete chunk: length, type, data and CRC.
  static std::vector<uint8_t> chunk(const char* type, const std::vector<uint8_t>& data);
  // The zlib stream of some bytes.
  static std::vector<uint8_t> zlib(const std::vector<uint8_t>& data);
  // Raw bytes of the whole image, all rows filter 0 and zero samples.
  std::vector<uint8_t> zero_raw() const;
  std::vector<uint8_t> build() const;
};

}  // namespace raster_test
