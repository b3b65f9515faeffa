// The HTTP response parser on arbitrary bytes: the end of the header is found the way
// the client finds it in what it received, and the header is parsed.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/http.h"
#include "fuzz/support/fuzz_env.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t n = http_header_end(bytes, size, 0);
  if (n == 0 || n > size) n = size;
  http_response_t r{};
  http_parse_response(bytes, n, &r);
  http_response_free(&r);
  set_gblerr(0);
  return 0;
}
