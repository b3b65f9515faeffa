// Fuzz harness of the Globalsat driver's receiving side: the bytes are the logger's
// replies, cut into chunks as the read loop hands them over and fed to the driver's
// automaton (identifier, list pages, track packets and their records). The first byte
// picks the request the driver waits for (list or track file), the second the chunk size.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/globalsat.h"
#include "gps/port_io.h"

namespace {
volatile uint32_t g_sink = 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  tm_fuzz::init();
  tm_fuzz::keep_budget();
  globalsat_ctx* ctx = globalsat_ctx_create(nullptr);
  if (!ctx) return 0;
  ctx->command = (data[0] & 1) ? 0xB5 : 0xBB;
  ctx->record_format = 2;
  const size_t chunk = 1 + data[1] % kPortChunkSize;
  for (size_t at = 2; at < size; at += chunk) {
    const size_t n = size - at < chunk ? size - at : chunk;
    ctx->wait->done = 0;
    bframe_feed(data + at, static_cast<int>(n), ctx->frame);
    if (get_gblerr() != 0) break;
  }
  uint32_t sum = uint32_t(ctx->track_files) + ctx->next_index;
  for (int i = 0; i < ctx->points_in_answer; ++i)
    sum += uint32_t(ctx->points[i].latitude) + uint32_t(ctx->points[i].format);
  g_sink = sum;
  set_gblerr(0);
  void* d = ctx;
  globalsat_close(&d);
  return 0;
}
