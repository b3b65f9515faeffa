// The GeoTIFF tags on arbitrary bytes: each input is a TIFF file held in memory read by
// the TIFF reader itself (every directory walked, the GeoTIFF tags going to their handler
// and the finisher closing each page, no line decoded), with the geodesy tables of the
// source tree, so that inputs reach the EPSG lookups. A georeference that is kept is used
// once, pixel to model and back, as the display would.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/geotiff.h"
#include "raster/tiff_read.h"
#include "core/obj_list.h"
#include "raster/raster_limits.h"
#include "tests/support/file_stub.h"
#include "tests/support/georef_steps.h"

namespace {

std::string source_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

// A georeference that was kept is used once, pixel to model and back, as the display
// would.
void use_georef(bitmap_t* image) {
  georef_t* g = image ? image->georef : nullptr;
  if (g && g->transfo) {
    double x = image->width, y = image->height;
    xform_forward_2d(g->transfo, g->transfotype, &x, &y);
    xform_inverse_2d(g->transfo, g->transfotype, &x, &y);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init();
  line_store_register();
  bitmap_module_init();
  raster_set_max_image_bytes(int64_t(64) << 20);
  geo_register_classes();
  const std::string data = source_dir() + "/data/";
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return 0;
  obj_t* file = tm_test::stub_memory_file(data, int64_t(size));
  image->file = file;
  image->format = kFormatTiff;
  image->gamma = -1.0;
  set_graylevel_lut(image);
  container_t* list = nullptr;
  obj_list_new(&list);
  // The reader's own walk: every directory, the GeoTIFF tags among the others, no line
  // decoded.
  tiff_read(&image, list, -1);
  set_gblerr(0);
  const bool filed = id_list_find(list, image->id, nullptr) != 0;
  for (int i = 0; i < obj_list_count(list); ++i)
    use_georef(static_cast<bitmap_t*>(obj_list_get(list, i, static_cast<obj_t**>(nullptr))));
  if (!filed) {
    use_georef(image);
    tm_test::free_georef_step(image);
    free_obj(&image);
  }
  for (int i = 0; i < obj_list_count(list); ++i)
    tm_test::free_georef_step(static_cast<bitmap_t*>(obj_list_get(list, i, static_cast<obj_t**>(nullptr))));
  obj_list_free_elements(list);
  free_obj(&list);
  rd_close_all();
  tm_test::free_stub_files();
  set_gblerr(0);
  return 0;
}
