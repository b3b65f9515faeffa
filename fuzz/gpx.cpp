// The GPX reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list (the objects placed in its folder with icons and styles when the
// read succeeds), then written again by the GPX writer, and everything freed with the file.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/xml.h"
#include "formats/gpx.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  xml_init();
  gpx_register_tables();
  set_gblerr(0);
  tm_fuzz::written_path(".out.gpx");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_and_write_back(data, size, ".gpx", read_gpx, write_gpx, ".out.gpx");
  return 0;
}
