// The Shapefile geometry reader on arbitrary bytes: each input is a disk file (in
// /dev/shm) read into a fresh file object's content list; a failed read's objects are
// detached and freed as the load dispatch does, and the file goes with them.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "formats/shapefile.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  set_gblerr(0);
  return 0;
}

// The object records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".shp",
                             [](fileatt_t* file) { return shp_read(file, file->sot) != 0; });
  return 0;
}
