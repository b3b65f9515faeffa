// The RoyalTek log reader on arbitrary bytes: each input is a disk file (in /dev/shm)
// read into a fresh file object's content list, so that the binary record sentences
// reach the begin routine that pulls their records from the reader.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/royaltek_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  gpslog_init();
  set_gblerr(0);
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".rtkt",
                             [](fileatt_t* file) { return gpslog_read(file, file->sot) != 0; });
  return 0;
}
