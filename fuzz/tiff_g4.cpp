// The Group 4 decoder on arbitrary bytes: the first three give the row width (1 to
// 4096), the number of rows (1 to 128) and the fill order; the rest is the strip. The
// output buffer has exactly the rows' size, so that any write past it is seen.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "raster/tiff_g4.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int width = 1 + (data[0] | (data[1] & 0x0F) << 8);
  const int rows = 1 + (data[2] & 0x7F);
  const int fill_order = data[2] & 0x80 ? 2 : 1;
  std::vector<uint8_t> out(size_t(width) * size_t(rows));
  tiff_g4_decode(data + 3, size - 3, width, rows, fill_order, out.data());
  return 0;
}
