// The OziExplorer calibration decoder on arbitrary bytes: each input is a calibration
// file on disk (in /dev/shm), decoded as the image loading decodes it, with the geodesy
// tables of the source tree and a small PNG beside it under the name the seeds give
// ("tm_fuzz_tile.png"), so that inputs reach the datum and projection lookups, the fit
// and the loading of the image.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/paths.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "raster/ozi_map.h"
#include "raster/raster_limits.h"

namespace {

// The source tree, from this file's own path.
std::string source_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

void identify(obj_t* obj) {
  fileatt_t* f = file_of(obj);
  if (!f || !f->name) return;
  const std::string name = f->name;
  const bool png = name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
  f->filetype = png ? kFileKindImage : 125;
  f->fileformat = png ? kDecoderPng : 0;
}

void set_up() {
  tm_fuzz::init(false);
  line_store_register();
  fileobj_types_register();
  file_detail::file_ops_table_install();
  bitmap_module_init();
  raster_set_max_image_bytes(int64_t(64) << 20);
  geo_register_classes();
  const std::string data = source_dir() + "/data/";
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
  image_decoders_install();
  ozi_init();
  get_image_load_hooks().identify = identify;
  std::error_code ec;
  std::filesystem::copy_file(source_dir() + "/tests/fixtures/raster/ozi/tile.png",
                             "/dev/shm/tm_fuzz_tile.png",
                             std::filesystem::copy_options::overwrite_existing, ec);
  set_gblerr(0);
}

}  // namespace

// The tables are loaded once, before the first input, and live as long as the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  set_up();
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address
// to see the names of the tables (and of the projections a calibration adds to them).
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".map");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (file && image) {
    image->file = file;
    image->format = kDecoderOziMap;
    image->gamma = -1.0;
    set_graylevel_lut(image);
    ozi_read_map_file(&image, 0);
  }
  set_gblerr(0);
  rd_close_all();
  free_obj(&image);
  free_obj(&file);
  return 0;
}
