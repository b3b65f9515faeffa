// The EXIF reader on arbitrary bytes: each input is the body of an APP1 "Exif" block
// from its TIFF header on, read to the end of the block; the metadata records made are
// freed with the image.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/line_store.h"
#include "core/object.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"
#include "raster/exif_read.h"
#include "raster/image_place.h"
#include "tests/support/file_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init();
  if (!ready) {
    ready = true;
    line_store_register();
    xform_register_classes();
    bitmap_module_init();
    exif_register_class();
    int n = 0;
    const gps_class_entry* table = gps_class_table(&n);
    for (int i = 0; i < n; ++i)
      if (table[i].cls == CLS_POSITION) obj_register_class(table[i].cls, table[i].size, table[i].desc);
  }
  tm_fuzz::keep_budget();
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return 0;
  obj_t* file = tm_test::stub_memory_file(data, int64_t(size));
  if (rd_open(file, 0, 1) == 0) {
    exif_read(image, int64_t(size));
    set_gblerr(0);
    rd_close_file(file);
  }
  set_gblerr(0);
  image_place_forget(image);
  free_obj(&image);
  tm_test::free_stub_files();
  return 0;
}
