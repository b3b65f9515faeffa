// Fuzz harness of the Wintec logger's answers: the first byte chooses what the driver
// waits for (a login, a value, or a block read of up to 4096 bytes, whose records are
// written to /dev/null), the second where the rest is cut in two feeds.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/loggers/wintec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  wintec_ctx* c = nullptr;
  if (!wintec_ctx_create(nullptr, &c)) return 0;
  static std::FILE* sink = std::fopen("/dev/null", "wb");
  c->out = nullptr;
  switch (data[0] % 4) {
    case 0: c->expected_command = 0; break;
    case 1: c->expected_command = 5, c->expected_param = 1 + data[0] / 4 % 10; break;
    case 2: c->expected_command = 7, c->expected_param = 1; break;
    default:
      c->expected_command = 5, c->expected_param = 3;
      c->requested = 1 + (data[0] / 4 * 67 + data[1]) % kWintecBlockSize;
      break;
  }
  const int n = static_cast<int>(size - 3);
  const int cut = data[2] * n / 256;
  wintec_feed(data + 3, cut, reinterpret_cast<port_reader*>(c));
  c->out = sink;
  wintec_feed(data + 3 + cut, n - cut, reinterpret_cast<port_reader*>(c));
  c->out = nullptr;
  set_gblerr(0);
  void* d = c;
  wintec_free(&d);
  return 0;
}
