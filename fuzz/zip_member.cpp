// ZIP member extraction on arbitrary bytes: the archive's local headers are walked into
// member file objects as identification walks them, and every member is then unpacked
// (stored members read in place, deflated ones decoded into memory) and read back whole
// through the buffered reader, as a reader of the member's format would.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/inflate.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "tests/support/file_stub.h"

namespace {

constexpr int64_t kLocalHeaderSize = 30;

void read_whole(obj_t* member) {
  if (rd_open(member, 4096, 1) != 0) return;
  std::vector<char> buffer(65536);
  while (rd_bytes_left() > 0 && get_gblerr() == 0)
    if (rd_read_bytes(buffer.data(), int64_t(buffer.size())) <= 0) break;
  rd_close_file(member);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  const std::string path = tm_fuzz::write_scratch(data, size, ".zip");
  obj_t* archive = tm_test::stub_file(path.c_str());
  container_t* members = nullptr;
  obj_list_new(&members);
  if (rd_open(archive, 1024, 1) == 0) {
    while (rd_bytes_left() > kLocalHeaderSize && zip_read_local_header(members) == 1 &&
           get_gblerr() == 0) {
    }
  }
  set_gblerr(0);
  rd_close_file(archive);
  for (int i = 0; i < obj_list_count(members); ++i) {
    obj_t* member = members->elems[i];
    zip_open_member(member, 0);
    set_gblerr(0);
    read_whole(member);
    set_gblerr(0);
  }
  free_obj(&members);
  rd_close_all();
  tm_test::free_stub_files();
  set_gblerr(0);
  return 0;
}
