// The Polish map reader on arbitrary bytes: each input is a disk file (in /dev/shm) read
// into a fresh file object's content list, with the geodesy tables, the representations
// and the Polish feature files of the source tree, so that inputs reach the datum
// lookups, custom datums, the feature lookups and the folders by main type; a failed
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
#include "core/reader.h"
#include "core/xml.h"
#include "formats/polish_map.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/repr.h"

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
  xml_init();
  geo_register_classes();
  const std::string data = source_dir() + "/data/";
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
  repr_register_classes();
  repr_load_from((data + kReprFileName).c_str());
  mp_init_from(data.c_str(), nullptr);
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".mp");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  const int result = mp_read(file, file->sot);
  const int code = get_gblerr();
  set_gblerr(0);
  if (result != 0 || code != 0) file_detach_content(file);
  rd_close_file(file);
  free_obj(&file);
  return 0;
}
