// Fuzz harness of the MediaTek answers: the bytes go through the driver's parser and
// sentence handlers as the logger's replies (log status, queries, memory lines, stored
// sentences), the memory lines written to /dev/null; the first byte chooses the address
// requested.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/loggers/mtk.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init();
  mtk_module_init();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  tm_fuzz::keep_budget();
  mtk_ctx* c = nullptr;
  if (mtk_ctx_new(nullptr, &c) != 0) return 0;
  c->out = std::fopen("/dev/null", "wb");
  c->requested = uint32_t(data[0]) * 0x800;
  c->expected_command = 182;
  mtk_feed(c, data + 1, int(size - 1));
  set_gblerr(0);
  mtk_ctx_free(&c);
  return 0;
}
