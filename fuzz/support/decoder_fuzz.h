// The image decoders on arbitrary bytes: each input becomes a memory-held stand-in file
// and an image record prepared as the image loading dispatcher prepares it, decoded and
// freed. Images are capped at 64 MiB of pixels, so that an input describing a large
// empty image is refused rather than spending the fuzzer's memory.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/line_store.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/raster_limits.h"
#include "tests/support/file_stub.h"

namespace tm_fuzz {

// The set-up of the image harnesses (stand-in files, line store, transformation and
// bitmap classes, the 64 MiB image cap), made on the first call; every call keeps the
// memory budget.
inline void init_images() {
  static bool ready = false;
  init();
  if (!ready) {
    ready = true;
    line_store_register();
    xform_register_classes();
    bitmap_module_init();
    raster_set_max_image_bytes(int64_t(64) << 20);
  }
}

inline void decode_image(int (*decoder)(bitmap_t*), const uint8_t* data, size_t size) {
  init_images();
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return;
  image->file = tm_test::stub_memory_file(data, int64_t(size));
  image->gamma = -1.0;
  set_graylevel_lut(image);
  decoder(image);
  set_gblerr(0);
  free_obj(&image);
  tm_test::free_stub_files();
}

}  // namespace tm_fuzz
