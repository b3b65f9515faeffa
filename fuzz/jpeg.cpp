// The JPEG reader of the image loading on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/decoder_fuzz.h"
#include "raster/jpeg_read.h"

namespace {
int jpeg_decode(bitmap_t* image) { return jpeg_read(image, nullptr); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::decode_image(jpeg_decode, data, size);
  return 0;
}
