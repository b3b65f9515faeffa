// Fuzz harness of the Garmin USB packet reader and protocol array parser: the input is a
// run of packets, each preceded by its 16-bit little-endian length. The first packet is
// taken as the product data, the others go through the protocol-array exchange (skip,
// end, or a fresh entry built from the array) as the USB identification reads them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/garmin/product.h"

namespace {

volatile uint32_t g_sink = 0;

void release(garmin_product** e) {
  if (*e && (*e)->from_receiver) free_obj(e);
  *e = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    tm_fuzz::init();
    garmin_init();
    return true;
  }();
  (void)ready;
  size_t at = 0;
  garmin_product_data pd{};
  char* description = nullptr;
  bool have_product = false;
  garmin_product* entry = nullptr;
  while (at + 2 <= size) {
    const size_t len = size_t(data[at] | (data[at + 1] << 8));
    at += 2;
    const size_t n = len < size - at ? len : size - at;
    // An exact-size copy, so that any read past the packet is caught.
    std::vector<uint8_t> packet(data + at, data + at + n);
    at += n;
    garmin_usb_packet p;
    garmin_usb_decode(packet.data(), int32_t(packet.size()), &p);
    if (!have_product) {
      if (garmin_usb_packet_check(&p) == 0 &&
          garmin_product_data_parse(p.data, p.size, &pd, &description) == 0) {
        have_product = true;
        g_sink = pd.product_id;
      }
      set_gblerr(0);
      continue;
    }
    const int more = garmin_usb_array_packet(&p, &pd, &entry);
    set_gblerr(0);
    if (entry) g_sink = uint32_t(entry->product_id) + (entry->waypoint_type ? 1u : 0u);
    if (!more) release(&entry);
  }
  release(&entry);
  free_mem(&description);
  set_gblerr(0);
  return 0;
}
