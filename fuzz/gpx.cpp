// The GPX reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list (the objects placed in its folder with icons and styles when the
// read succeeds), then written again by the GPX writer, and everything freed with the file.
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
#include "formats/gpx.h"
#include "fuzz/support/fuzz_env.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

// Where the writer writes, one file per process, removed at exit.
std::string g_written;
void remove_written() { std::remove(g_written.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init(false);
  if (!ready) {
    fileobj_types_register();
    gpsobj_types_register();
    drawobj_types_register();
    xml_init();
    gpx_register_tables();
    set_gblerr(0);
    g_written = "/dev/shm/tm_fuzz_" + std::to_string(getpid()) + ".out.gpx";
    std::atexit(remove_written);
    ready = true;
  }
  const std::string path = tm_fuzz::write_scratch(data, size, ".gpx");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  obj_list_new(&file->sot);
  const int result = read_gpx(file, file->sot);
  set_gblerr(0);
  if (result == 0) {
    container_t* roots = nullptr;
    obj_list_new(&roots);
    obj_list_append(roots, file_get_first_folder(file, nullptr));
    write_gpx(g_written.c_str(), roots);
    set_gblerr(0);
    free_obj(&roots);
  }
  free_obj(&file);
  return 0;
}
