// Fuzz harness of the byte-frame automaton: the first byte chooses the configuration
// (Globalsat, Navilink, SkyTraq), the second where the rest is cut in two feeds; the
// frame handler reads every payload byte it is given.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "gps/loggers/frame.h"

namespace {

volatile uint32_t g_sink = 0;

void on_frame(bframe* f) {
  uint32_t sum = f->message_id;
  for (int i = 0; i < f->expected; ++i) sum += f->cursor[i];
  g_sink = sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const bframe_config* const kConfigs[3] = {&kBframeGlobalsat, &kBframeNavilink,
                                                   &kBframeSkytraq};
  bframe* f = nullptr;
  if (bframe_create_config(kConfigs[data[0] % 3], on_frame, nullptr, nullptr, &f) != 0) return 0;
  const int n = static_cast<int>(size - 2);
  const int cut = data[1] * n / 256;
  bframe_feed(data + 2, cut, f);
  bframe_feed(data + 2 + cut, n - cut, f);
  set_gblerr(0);
  bframe_free(&f);
  return 0;
}
