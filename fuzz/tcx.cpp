// The Training Center reader on arbitrary bytes: each input is a disk file (in /dev/shm)
// read into a fresh file object's content list with the reader's dictionaries built
// once; a failed read's objects are detached and freed as the load dispatch does, and
// the file goes with them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/tcx.h"
#include "fuzz/support/fuzz_env.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  fileobj_types_register();
  gpsobj_types_register();
  drawobj_types_register();
  file_detail::file_ops_table_install();
  xml_init();
  tcx_register_tables();
  set_gblerr(0);
  return 0;
}

// The object records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".tcx");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  const int result = read_tcx(file, file->sot);
  set_gblerr(0);
  if (result != 0) file_detach_content(file);
  free_obj(&file);
  return 0;
}
