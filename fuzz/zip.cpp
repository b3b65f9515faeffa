// The ZIP reader on arbitrary bytes: the archive's local headers are walked and every
// member is made and loaded, as when a .zip file is opened.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/inflate.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "tests/support/file_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  const std::string path = tm_fuzz::write_scratch(data, size, ".zip");
  obj_t* archive = tm_test::stub_file(path.c_str());
  container_t* target = nullptr;
  obj_list_new(&target);
  zip_list_archive(archive, reinterpret_cast<obj_t*>(target));
  set_gblerr(0);
  free_obj(&target);
  rd_close_all();
  tm_test::free_stub_files();
  return 0;
}
