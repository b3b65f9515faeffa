// The OziExplorer data file reader on arbitrary bytes: each input is a disk file (in
// /dev/shm) read into a fresh file object's content list with the geodesy tables of the
// source tree, so that inputs reach the datum lookups and every kind of record; a failed
// read's objects are detached and freed as the load dispatch does, and the file goes
// with them.
#include <cstddef>
#include <cstdint>

#include "core/dates.h"
#include "core/error.h"
#include "formats/ozi.h"
#include "fuzz/support/reader_fuzz.h"

// The tables are loaded once, before the first input, and live as long as the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  month_names_init();
  ozi_files_init();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".wpt",
                             [](fileatt_t* file) { return ozi_read_data(file, file->sot) != 0; });
  return 0;
}
