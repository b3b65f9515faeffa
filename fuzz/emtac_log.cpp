// The Emtac Trine log reader on arbitrary bytes: each input is a disk file (in
// /dev/shm) read into a fresh file object's content list.
#include <cstddef>
#include <cstdint>

#include "core/dates.h"
#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/emtac.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  month_names_init();
  emtac_sentence_register();
  set_gblerr(0);
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".emt", [](fileatt_t* file) {
    return emtac_read_log_file(file, file->sot) != 0;
  });
  return 0;
}
