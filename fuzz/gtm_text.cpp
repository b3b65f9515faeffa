// The GPS TrackMaker text reader on arbitrary bytes: each input is a disk file (in
// /dev/shm) read into a fresh file object's content list with the geodesy tables of the
// source tree, so that inputs reach the datum codes, custom datums, user grids and UTM zones; a
// failed read's objects are detached and freed as the load dispatch does.
#include <cstddef>
#include <cstdint>

#include "core/dates.h"
#include "core/error.h"
#include "formats/gtm.h"
#include "fuzz/support/reader_fuzz.h"

// The tables are loaded once, before the first input, and live as long as the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  month_names_init();
  gtmtxt_register_keywords();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".txt",
                             [](fileatt_t* file) { return gtmtxt_read(file, file->sot) != 0; });
  return 0;
}
