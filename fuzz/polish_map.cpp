// The Polish map reader on arbitrary bytes: each input is a disk file (in /dev/shm) read
// into a fresh file object's content list, with the geodesy tables, the representations
// and the Polish feature files of the source tree, so that inputs reach the datum
// lookups, custom datums, the feature lookups and the folders by main type; a failed
// read's objects are detached and freed as the load dispatch does, and the file goes
// with them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/reader.h"
#include "core/xml.h"
#include "formats/polish_map.h"
#include "fuzz/support/reader_fuzz.h"
#include "map/repr.h"

// The tables are loaded once, before the first input, and live as long as the process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  xml_init();
  const std::string data = tm_fuzz::source_data_dir();
  tm_fuzz::load_geodesy(data);
  repr_register_classes();
  repr_load_from((data + kReprFileName).c_str());
  mp_init_from(data.c_str(), nullptr);
  set_gblerr(0);
  return 0;
}

// The geodesy records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A read that returns success but leaves an error set counts as failed too.
  tm_fuzz::read_scratch_file(data, size, ".mp", [](fileatt_t* file) {
    const int result = mp_read(file, file->sot);
    const bool failed = result != 0 || get_gblerr() != 0;
    rd_close_file(file);
    return failed;
  });
  return 0;
}
