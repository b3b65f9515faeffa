// The SGI reader of the image loading on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/decoder_fuzz.h"
#include "raster/sgi_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::decode_image(sgi_read, data, size);
  return 0;
}
