// A WMS GetMap answer on arbitrary bytes: a ServiceException document is recognised and
// its text taken, anything else goes by its first bytes to the image readers; the
// picture (with the in-memory file holding its bytes) is freed again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/line_store.h"
#include "fuzz/support/reader_fuzz.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/image_load.h"
#include "raster/raster_limits.h"
#include "raster/wms/wms_internal.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  line_store_register();
  xform_register_classes();
  bitmap_module_init();
  raster_set_max_image_bytes(int64_t(64) << 20);
  raster_module_init();
  set_gblerr(0);
  return 0;
}

// The records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  std::string exception;
  bitmap_t* picture = wms_decode_answer(reinterpret_cast<const char*>(data), size, &exception);
  set_gblerr(0);
  free_obj(&picture);
  return 0;
}
