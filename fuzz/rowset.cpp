// The ROWSET reader on arbitrary bytes: each input is a disk file (in /dev/shm) read into
// a fresh file object's content list, with the GPS, drawing and file classes registered
// so that rows can name them; the content and the file are freed after each input, as
// an unload does.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/socket.h"
#include "core/xml.h"
#include "formats/rowset.h"
#include "fuzz/support/reader_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_map_classes();
  socket_register_type();
  file_detail::file_ops_table_install();
  xml_init();
  set_gblerr(0);
  return 0;
}

// The object records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The content is detached whatever the read returned.
  tm_fuzz::read_scratch_file(data, size, ".xml", [](fileatt_t* file) {
    read_rowset(file, file->sot);
    return true;
  });
  return 0;
}
