// The readers of the system's own GPS text files on arbitrary bytes: a disk file read
// through reader slot 0 into a fresh file object's list, its objects placed and styled,
// then everything freed with the file.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/reader.h"
#include "formats/gpstext.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".tmt", [](fileatt_t* file) {
    gpstext_read(file, file->sot);
    set_gblerr(0);
    rd_close_file(file);
    return false;
  });
  return 0;
}
