// The WinAPRS map reader on arbitrary bytes: each input is a disk file (in /dev/shm) read
// into a fresh file object's content list; a failed read's objects are detached and freed
// as the load dispatch does, and the file goes with them.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "formats/aprs.h"
#include "fuzz/support/reader_fuzz.h"

// The classes and tables are set up once, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  aprs_init();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".map",
                             [](fileatt_t* file) { return winaprs_read(file, file->sot) != 0; });
  return 0;
}
