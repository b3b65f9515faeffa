// The Geogrid overlay reader on arbitrary bytes: each input is a disk file read into a
// fresh file object's content list; the reader fails only on a file it cannot open, so
// every input's objects stay with the file and go with it.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "formats/ovl.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  ovl_init();
  set_gblerr(0);
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".ovl",
                             [](fileatt_t* file) { return ovl_read(file, file->sot) != 0; });
  return 0;
}
