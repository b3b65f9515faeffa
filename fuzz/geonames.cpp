// The GeoNames reader on arbitrary bytes: a disk file of the map model read into the
// folder of a fresh file object, its points of interest and their styles made, then
// everything freed with the file.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "formats/geonames.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  geonames_register_vocab();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".xml", [](fileatt_t* file) {
    folder_t* folder = nullptr;
    folder_get_or_create(file, file->sot, 0, &folder);
    if (folder) read_geonames_xml(file, folder);
    return false;
  });
  return 0;
}
