// The GIF reader of the image loading on arbitrary bytes, in its list form: the reader
// files every frame image and frame record in a list of its own, which is emptied and
// freed after each input. The images of one file are capped at 16 MiB of pixels in all
// (every frame is a whole picture, so a few bytes can ask for many of them), so that an
// input describing large empty images is refused rather than spending the fuzzer's
// memory and time.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/gif_read.h"
#include "raster/raster_limits.h"
#include "tests/support/file_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init();
  tm_fuzz::keep_budget();
  if (!ready) {
    ready = true;
    line_store_register();
    xform_register_classes();
    bitmap_module_init();
    raster_set_max_image_bytes(int64_t(16) << 20);
  }
  container_t* list = nullptr;
  obj_list_new(&list);
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image || !list) return 0;
  image->file = tm_test::stub_memory_file(data, int64_t(size));
  image->format = 2;
  image->gamma = -1.0;
  set_graylevel_lut(image);
  gif_read(&image, list);
  // The second decode path, on the first image when there is one.
  obj_t* first = obj_list_first_of_class(list, CLS_BITMAP, nullptr);
  if (first) {
    bitmap_t* again = static_cast<bitmap_t*>(first);
    gif_read(&again, nullptr);
  }
  set_gblerr(0);
  free_obj(&image);
  obj_list_free_elements(list);
  free_obj(&list);
  tm_test::free_stub_files();
  return 0;
}
