// The stand-in ECW decoder's header reader and the program's reading of the file
// information it gives (the checks of the information, the georeference of its datum,
// projection, cell unit and origin) on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/object.h"
#include "fuzz/support/decoder_fuzz.h"
#include "fuzz/support/reader_fuzz.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "platform/ecw/ecw_api.h"
#include "platform/ecw/ecw_header.h"
#include "raster/ecw.h"
#include "raster/ecw_internal.h"
#include "tests/support/georef_steps.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init_images();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  ecw_standin::header h;
  if (!ecw_standin::parse(data, size, &h)) return 0;
  ecw_file_info info{};
  info.width = h.width;
  info.height = h.height;
  info.bands = h.bands;
  info.cell_unit = h.cell_unit;
  info.cell_x = h.cell_x;
  info.cell_y = h.cell_y;
  info.origin_x = h.origin_x;
  info.origin_y = h.origin_y;
  info.datum = h.datum.c_str();
  info.projection = h.projection.c_str();
  if (!ecw_info_usable(&info)) return 0;
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return 0;
  image->width = int32_t(info.width);
  image->height = int32_t(info.height);
  ecw_georef(&info, image);
  set_gblerr(0);
  tm_test::free_georef_step(image);
  free_obj(&image);
  return 0;
}
