// The GeoTIFF tags on arbitrary bytes: each input is a TIFF file held in memory whose
// first directory is walked as the TIFF reader walks it, every tag above 33432 going to
// the GeoTIFF handler and the finisher closing the page, with the geodesy tables of the
// source tree, so that inputs reach the EPSG lookups. A georeference that is kept is
// used once, pixel to model and back, as the display would.
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
#include "raster/tiff_values.h"
#include "tests/support/file_stub.h"
#include "tests/support/georef_steps.h"

namespace {

std::string source_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

void walk(bitmap_t* image) {
  int order = 0;
  if (tiff_read_header(0, &order) != 0) return;
  const int64_t ifd = rd_tell();
  const int n = tiff_numbers(order).u16();
  geotiff_context* slot = nullptr;
  int rc = get_gblerr();
  for (int i = 0; i < n && rc == 0; ++i) {
    rd_seek(ifd + 2 + 12 * int64_t(i), 0);
    const int tag = tiff_numbers(order).u16();
    if (get_gblerr() != 0) break;
    if (tag > 33432) rc = geotiff_tag(&slot, tag, image, order);
  }
  if (rc == 0 && get_gblerr() == 0) {
    geotiff_finish(&slot, image);
  } else {
    geotiff_discard(&slot);
  }
  georef_t* g = image->georef;
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
  image->width = 10;
  image->height = 10;
  obj_t* file = tm_test::stub_memory_file(data, int64_t(size));
  if (rd_open(file, 4096, 1) == 0) {
    walk(image);
    rd_close_file(file);
  }
  set_gblerr(0);
  tm_test::free_georef_step(image);
  free_obj(&image);
  tm_test::free_stub_files();
  return 0;
}
