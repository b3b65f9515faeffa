// The OpenStreetMap reader on arbitrary bytes: a disk file of the map model read into a
// fresh file object's content list, with the shipped representations and vocabularies
// (so that elements are classified, sorted into display folders and given styles), then
// everything freed with the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/error.h"
#include "core/xml.h"
#include "formats/osm.h"
#include "fuzz/support/reader_fuzz.h"
#include "map/repr.h"

namespace {

// The tables live for the whole process; they are freed at exit before the leak check,
// which cannot follow the strings of packed feature records (misaligned pointers).
void free_tables() {
  set_gblerr(0);
  osm_free();
  repr_tables_free();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  xml_init();
  repr_register_classes();
  const std::string dir = tm_fuzz::source_data_dir();
  repr_load_from((dir + kReprFileName).c_str());
  osm_init_from(dir.c_str(), nullptr);
  set_gblerr(0);
  std::atexit(free_tables);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The content goes with the file whatever the read returned.
  tm_fuzz::read_scratch_file(data, size, ".osm", [](fileatt_t* file) {
    read_osm(file, file->sot);
    return false;
  });
  return 0;
}
