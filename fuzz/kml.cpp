// The KML reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list (folders, styles, image requests and links included; without the
// load dispatcher's identification the referenced files load nothing, so no input reaches
// the network or other files), then written again by the KML writer, and everything
// freed with the file objects the read made.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/kml.h"
#include "fuzz/support/fuzz_env.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

// Where the writer writes, one file per process, removed at exit.
std::string g_written;
void remove_written() { std::remove(g_written.c_str()); }

// Every file object left: the one read and those its references made.
void free_files() {
  for (;;) {
    obj_t* f = nullptr;
    if (!obj_class_next(kFileClass, &f) || !f) break;
    free_obj(&f);
    if (f) break;
  }
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
    kml_module_init();
    set_gblerr(0);
    g_written = "/dev/shm/tm_fuzz_" + std::to_string(getpid()) + ".out.kml";
    std::atexit(remove_written);
    ready = true;
  }
  tm_fuzz::keep_budget();
  const std::string path = tm_fuzz::write_scratch(data, size, ".kml");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  const int result = read_kml(file, file->sot);
  set_gblerr(0);
  if (result == 0) {
    container_t* roots = nullptr;
    obj_list_new(&roots);
    obj_list_append(roots, file_get_first_folder(file, nullptr));
    write_kml(g_written.c_str(), roots);
    set_gblerr(0);
    free_obj(&roots);
  }
  free_obj(&file);
  free_files();
  set_gblerr(0);
  return 0;
}
