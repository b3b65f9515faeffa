// The GeoNames reader on arbitrary bytes: a disk file of the map model read into the
// folder of a fresh file object, its points of interest and their styles made, then
// everything freed with the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "formats/geonames.h"
#include "fuzz/support/fuzz_env.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init(false);
  if (!ready) {
    fileobj_types_register();
    gpsobj_types_register();
    drawobj_types_register();
    geonames_register_vocab();
    set_gblerr(0);
    ready = true;
  }
  const std::string path = tm_fuzz::write_scratch(data, size, ".xml");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  container_t* content = nullptr;
  obj_list_new(&content);
  file->sot = content;
  folder_t* folder = nullptr;
  folder_get_or_create(file, content, 0, &folder);
  if (folder) read_geonames_xml(file, folder);
  set_gblerr(0);
  free_obj(&file);
  return 0;
}
