// The TIFF reader on arbitrary bytes: a whole decode of every page (as for a file held
// in memory), then a load that decodes nothing and a few lines of each page decoded on
// demand, as a second decode does; every page is freed after each input. Images are
// capped at 64 MiB of pixels.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "fuzz/support/decoder_fuzz.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/raster_limits.h"
#include "raster/tiff_read.h"
#include "tests/support/file_stub.h"

namespace {

bitmap_t* new_record(obj_t* file) {
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return nullptr;
  image->file = file;
  image->format = kFormatTiff;
  image->gamma = -1.0;
  set_graylevel_lut(image);
  return image;
}

// Loads with `line` (-2 whole, -1 nothing); with -1, decodes a few lines of each page.
void run(obj_t* file, int line) {
  container_t* list = nullptr;
  obj_list_new(&list);
  bitmap_t* image = new_record(file);
  if (!list || !image) {
    free_obj(&image);
    free_obj(&list);
    return;
  }
  const int rc = tiff_read(&image, list, line);
  set_gblerr(0);
  const bool filed = id_list_find(list, image->id, nullptr) != 0;
  if (rc == 0 && line == -1) {
    for (int i = 0; i < obj_list_count(list); ++i) {
      auto* page = static_cast<bitmap_t*>(obj_list_get(list, i, static_cast<obj_t**>(nullptr)));
      if (!page) continue;
      const int h = page->height;
      for (int y : {0, h / 2, h - 1}) {
        bitmap_t* p = page;
        tiff_read(&p, nullptr, y);
        set_gblerr(0);
      }
    }
  }
  if (!filed) free_obj(&image);
  obj_list_free_elements(list);
  free_obj(&list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init_images();
  obj_t* file = tm_test::stub_memory_file(data, int64_t(size));
  run(file, -2);
  run(file, -1);
  rd_close_all();
  tm_test::free_stub_files();
  return 0;
}
