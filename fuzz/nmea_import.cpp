// The NMEA file import on arbitrary bytes: each input is a disk file (in /dev/shm) read
// into a fresh file object's content list with the geodesy tables of the source tree, so
// that datum sentences reach the datum lookups and the early reprojection; a failed
// read's objects are detached and freed as the load dispatch does, and the file goes
// with them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

std::string source_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

}  // namespace

// The tables are loaded once, before the first input, and live as long as the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  fileobj_types_register();
  gpsobj_types_register();
  drawobj_types_register();
  file_detail::file_ops_table_install();
  geo_register_classes();
  const std::string data = source_dir() + "/data/";
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
  nmea_module_init();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".nmea");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  const int result = read_nmea_file(file, file->sot);
  set_gblerr(0);
  if (result != 0) file_detach_content(file);
  free_obj(&file);
  return 0;
}
