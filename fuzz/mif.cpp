// The MIF reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list with the geodesy tables of the source tree (so that CoordSys
// clauses reach the datum, ellipsoid and projection lookups and the custom datums), then
// written again by the MIF writer, and everything freed with the file. The module's
// transformation steps go after each input with the file that used them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/config.h"
#include "formats/mif.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform_records.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

std::string source_dir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

// Where the writer writes, one file per process, removed at exit.
std::string g_written;
void remove_written() { std::remove(g_written.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  fileobj_types_register();
  file_detail::file_ops_table_install();
  gpsobj_types_register();
  drawobj_types_register();
  geo_register_classes();
  const std::string data = source_dir() + "/data/";
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
  mif_module_init();
  set_gblerr(0);
  g_written = "/dev/shm/tm_fuzz_" + std::to_string(getpid()) + ".out.mif";
  std::atexit(remove_written);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".mif");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  const int result = mif_read(file, file->sot);
  set_gblerr(0);
  if (result == 0) {
    container_t* list = nullptr;
    obj_list_new(&list);
    obj_t* g = nullptr;
    obj_list_first_of_class(file->sot, CLS_GEOREF, &g);
    if (g) obj_list_append(list, g);
    obj_list_append(list, file_get_first_folder(file, nullptr));
    mif_write(g_written.c_str(), list);
    set_gblerr(0);
    free_obj(&list);
  }
  free_obj(&file);
  set_gblerr(0);
  mif_free_tables();
  mif_module_init();
  return 0;
}
