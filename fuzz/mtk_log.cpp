// Fuzz harness of the MediaTek log reader: a disk file read by read_mtk_bin into a fresh
// file object's list (sector headers, separators, records of every format mask), its
// objects placed and styled, then everything freed with the file.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/reader.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/mtk.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  mtk_module_init();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::read_scratch_file(data, size, ".mtkt", [](fileatt_t* file) {
    read_mtk_bin(file, file->sot);
    set_gblerr(0);
    rd_close_file(file);
    return false;
  });
  return 0;
}
