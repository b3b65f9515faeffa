// Fuzz harness of the Garmin serial receive automaton: the input is the byte stream of a
// serial line. Receives run one after another over it (as a transfer does), each until
// it ends with a packet, an ACK/NAK or an error; every complete packet's data is read
// whole, and one that looks like product data goes through the product data parser.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/garmin/product.h"

namespace {

volatile uint32_t g_sink = 0;

void use_packet(const garmin_link_state& s) {
  uint32_t sum = s.id;
  for (uint32_t i = 0; i <= s.size; ++i) sum += s.buf[i];  // data and check byte
  g_sink = sum;
  if (s.id == kGarminPidProductData) {
    garmin_product_data pd{};
    char* description = nullptr;
    if (garmin_product_data_parse(s.buf, s.size, &pd, &description) == 0) g_sink = pd.product_id;
    free_mem(&description);
    set_gblerr(0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (garmin_link_open() != 0) return 0;
  size_t at = 0;
  while (at < size) {
    garmin_link_begin(nullptr);
    int ended = 0;
    while (at < size && !ended) ended = garmin_link_step(data[at++]);
    const garmin_link_state& s = garmin_link();
    if (get_gblerr() == 0 && s.finished) use_packet(s);
    garmin_link_end();
    set_gblerr(0);
  }
  garmin_link_free();
  return 0;
}
