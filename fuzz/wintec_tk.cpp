// Fuzz harness of the Wintec TK1, TK2 and TK3 readers: the first byte chooses the reader,
// the rest is the file.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/wintec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static int (*const kReaders[3])(obj_t*, container_t*) = {read_wintec_tk1, read_wintec_tk2, read_wintec_tk3};
  int (*read)(obj_t*, container_t*) = kReaders[data[0] % 3];
  tm_fuzz::read_scratch_file(data + 1, size - 1, ".tk", [read](fileatt_t* file) {
    return read(file, file->sot) != 0;
  });
  return 0;
}
