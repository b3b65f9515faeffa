// Fuzz harness of the Magellan log reader: each input is a disk file read into a fresh
// file object's content list.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/magellan.h"
#include "gps/nmea_parser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  nmea_module_init();
  magellan_log_register();
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".mgl", [](fileatt_t* file) {
    return magellan_log_read(file, file->sot) != 0;
  });
  return 0;
}
