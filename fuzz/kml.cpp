// The KML reader on arbitrary bytes: a disk file of the map model read into a fresh file
// object's content list (folders, styles, image requests and links included; without the
// load dispatcher's identification the referenced files load nothing, so no input reaches
// the network or other files), then written again by the KML writer, and everything
// freed with the file objects the read made.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/xml.h"
#include "formats/kml.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  xml_init();
  kml_module_init();
  set_gblerr(0);
  tm_fuzz::written_path(".out.kml");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_and_write_back(data, size, ".kml", read_kml, write_kml, ".out.kml");
  tm_fuzz::free_file_objects();
  set_gblerr(0);
  return 0;
}
