// The gzip reader on arbitrary bytes: the file is opened by path as the program opens a
// downloaded or local .gz file, and every member is decoded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/inflate.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "tests/support/file_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  const std::string path = tm_fuzz::write_scratch(data, size, ".gz");
  obj_t* f = tm_test::stub_file(path.c_str());
  gzip_open_member(f, 0);
  set_gblerr(0);
  rd_close_all();
  tm_test::free_stub_files();
  return 0;
}
