// The image viewer's chart reader on arbitrary bytes, read by lines (decoder 22) or as
// records without line rules (decoder 23) as the first byte chooses.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/decoder_fuzz.h"
#include "raster/kap_read.h"

namespace {

int parse_by_lines(bitmap_t* image) {
  image->format = kDecoderChart;
  return sb_chart_parse(image);
}

int parse_records(bitmap_t* image) {
  image->format = kDecoderChartOther;
  return sb_chart_parse(image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  tm_fuzz::decode_image(data[0] & 1 ? parse_records : parse_by_lines, data + 1, size - 1);
  return 0;
}
