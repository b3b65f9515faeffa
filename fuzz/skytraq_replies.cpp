// Fuzz harness of the SkyTraq driver's receiving side: the bytes are the logger's
// replies, cut into chunks as the read loop hands them over and fed through the wait
// record's current handler (frames, or the raw sector collection after an
// acknowledgement of a sector request), records decoded into a discarded log.
// The first byte picks the command the driver waits for, the second the chunk size.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/loggers/skytraq.h"
#include "gps/port_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  tm_fuzz::init();
  tm_fuzz::keep_budget();
  static const uint8_t kCommands[4] = {0x1B, 0x02, 0x17, 0x09};
  skytraq_ctx* ctx = skytraq_ctx_create(nullptr);
  if (!ctx) return 0;
  ctx->out = std::fopen("/dev/null", "wb");
  ctx->expected = kCommands[data[0] & 3];
  const size_t chunk = 1 + data[1] % kPortChunkSize;
  for (size_t at = 2; at < size; at += chunk) {
    const size_t n = size - at < chunk ? size - at : chunk;
    ctx->wait->done = 0;
    ctx->wait->handler(data + at, static_cast<int>(n), reinterpret_cast<port_reader*>(ctx->frame));
    if (get_gblerr() != 0) break;
  }
  set_gblerr(0);
  void* d = ctx;
  skytraq_free(&d);
  return 0;
}
