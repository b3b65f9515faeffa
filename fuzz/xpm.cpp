// The XPM reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/decoder_fuzz.h"
#include "raster/xpm_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::decode_image(xpm_read, data, size);
  return 0;
}
