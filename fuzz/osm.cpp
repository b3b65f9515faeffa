// The OpenStreetMap reader on arbitrary bytes: a disk file of the map model read into a
// fresh file object's content list, with the shipped representations and vocabularies
// (so that elements are classified, sorted into display folders and given styles), then
// everything freed with the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/osm.h"
#include "fuzz/support/fuzz_env.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/repr.h"

namespace {

// The source tree's data folder, found from this file's path.
std::string data_dir() {
  std::string here = __FILE__;
  const size_t fuzz = here.rfind("/fuzz/");
  return (fuzz == std::string::npos ? std::string(".") : here.substr(0, fuzz)) + "/data/";
}

// The tables live for the whole process; they are freed at exit before the leak check,
// which cannot follow the strings of packed feature records (misaligned pointers).
void free_tables() {
  set_gblerr(0);
  osm_free();
  repr_tables_free();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init(false);
  if (!ready) {
    fileobj_types_register();
    gpsobj_types_register();
    drawobj_types_register();
    xml_init();
    repr_register_classes();
    const std::string dir = data_dir();
    repr_load_from((dir + kReprFileName).c_str());
    osm_init_from(dir.c_str(), nullptr);
    set_gblerr(0);
    std::atexit(free_tables);
    ready = true;
  }
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".osm");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  read_osm(file, file->sot);
  set_gblerr(0);
  free_obj(&file);
  return 0;
}
