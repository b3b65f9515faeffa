// The PNM reader on arbitrary bytes: the pixel kind is that of the input's magic (P1 to
// P6), or one chosen by the input's size when the magic is none of them.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/decoder_fuzz.h"
#include "raster/pnm_read.h"

namespace {

int g_kind = kPnmFirstPixelKind;

int pnm_of_kind(bitmap_t* image) { return pnm_read(image, g_kind); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6')
    g_kind = kPnmFirstPixelKind + (data[1] - '1');
  else
    g_kind = kPnmFirstPixelKind + int(size % 6);
  tm_fuzz::decode_image(pnm_of_kind, data, size);
  return 0;
}
