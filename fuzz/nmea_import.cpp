// The NMEA file import on arbitrary bytes: each input is a disk file (in /dev/shm) read
// into a fresh file object's content list with the geodesy tables of the source tree, so
// that datum sentences reach the datum lookups and the early reprojection; a failed
// read's objects are detached and freed as the load dispatch does, and the file goes
// with them.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"

// The tables are loaded once, before the first input, and live as long as the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  nmea_module_init();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".nmea", [](fileatt_t* file) {
    return read_nmea_file(file, file->sot) != 0;
  });
  return 0;
}
