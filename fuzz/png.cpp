// The PNG reader on arbitrary bytes held in memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "fuzz/support/fuzz_env.h"
#include "map/png_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  png_image image;
  std::string why;
  png_decode(data, int64_t(size), &image, &why);
  set_gblerr(0);
  return 0;
}
