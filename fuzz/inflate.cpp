// The Deflate decoder on arbitrary bytes held in memory: the first byte chooses a raw
// or a zlib-wrapped stream and an output limit, as the readers of the formats use them.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/reader.h"
#include "fuzz/support/fuzz_env.h"
#include "tests/support/file_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  obj_t* input = tm_test::stub_memory_file(data + 1, int64_t(size - 1));
  obj_t* output = get_file_ops().new_in_memory();
  inflater_t inf;
  inf.input = input;
  inf.window_size = (mode & 2) ? 512 : 32768;
  inf.output = inf.output_file = output;
  inf.store = reinterpret_cast<filemobj_t*>(file_store_of(output));
  inf.limit = (mode & 4) ? 1000 : 0;
  const int rc = (mode & 1) ? zlib_read_header(&inf) : rd_open(input, 131072, 1);
  if (rc == 0) inflate_blocks(&inf);
  set_gblerr(0);
  rd_close_all();
  get_file_ops().free_file(output);
  tm_test::free_stub_files();
  return 0;
}
