// The MapSend and MapShow readers on arbitrary bytes: the first byte picks the reader (0
// MapSend, 1 WPR, 2 WPO, 3 TRK, 4 TRL, taken modulo 5), the rest is the file. WPR and WPO
// inputs shorter than their formats' minimum size are padded with zero bytes, so that
// short inputs reach the slot index, the records and the route block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/error.h"
#include "formats/mapsend.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  set_gblerr(0);
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  using reader = int (*)(obj_t*, container_t*);
  struct mode {
    reader read;
    size_t min_size;
  };
  static const mode kModes[] = {{mapsend_read, 0},
                                {mapshow_read_wpr, 43008 + 16760},
                                {mapshow_read_wpo, 23508 + 92 + 1912},
                                {mapshow_read_trk, 0},
                                {mapshow_read_trl, 0}};
  const mode& m = kModes[data[0] % 5];
  std::vector<uint8_t> bytes(data + 1, data + size);
  if (bytes.size() < m.min_size) bytes.resize(m.min_size, 0);
  tm_fuzz::read_scratch_file(bytes.data(), bytes.size(), ".bin",
                             [&](fileatt_t* file) { return m.read(file, file->sot) != 0; });
  return 0;
}
