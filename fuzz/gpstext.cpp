// The readers of the system's own GPS text files on arbitrary bytes: a disk file read
// through reader slot 0 into a fresh file object's list, its objects placed and styled,
// then everything freed with the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "formats/gpstext.h"
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
    set_gblerr(0);
    ready = true;
  }
  const std::string path = tm_fuzz::write_scratch(data, size, ".tmt");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  container_t* content = nullptr;
  obj_list_new(&content);
  file->sot = content;
  gpstext_read(file, content);
  set_gblerr(0);
  rd_close_file(file);
  free_obj(&file);
  return 0;
}
