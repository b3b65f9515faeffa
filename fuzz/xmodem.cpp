// The XMODEM receiver on an arbitrary sender: the input is what the line brings, handed
// out one read at a time once the receiver has called (the first byte chooses CRC or sum mode and the most bytes one
// read gives); the receiver's replies go nowhere. Its pauses run on the virtual clock,
// moved on by a helper thread whenever the receiver sleeps, so an input costs no real
// time.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "core/error.h"
#include "core/object.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/xmodem.h"
#include "map/file_object.h"
#include "platform/sys/clock.h"

namespace {

// The sender speaks only once the receiver has called: what waits on the line before
// is drained and lost.
struct line {
  const uint8_t* bytes;
  size_t left;
  int step;
  bool called;
};

int read_line(void* port, int max, uint8_t* buffer) {
  auto* l = static_cast<line*>(port);
  size_t n = !l->called ? 0 : l->left < size_t(max) ? l->left : size_t(max);
  if (n > size_t(l->step)) n = size_t(l->step);
  for (size_t i = 0; i < n; ++i) buffer[i] = l->bytes[i];
  l->bytes += n;
  l->left -= n;
  if (n == 0) plat::sleep_ms(kXmodemReadTimeoutMs);
  return int(n);
}

void write_nowhere(void* port, const uint8_t*, int) {
  static_cast<line*>(port)->called = true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  plat::use_virtual_clock(true);
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  line l{data + 1, size - 1, 1 + (data[0] >> 1) * 16, false};
  xmodem_rx* rx = nullptr;
  fileatt_t* file = nullptr;
  if (xmodem_create(nullptr, data[0] & 1, &rx, &file) != 0) {
    set_gblerr(0);
    return 0;
  }
  rx->port = &l;
  rx->read = read_line;
  rx->write = write_nowhere;
  rx->limit = 64 * 1024;
  std::atomic<bool> done{false};
  std::thread clock([&] {
    while (!done) {
      if (plat::virtual_sleepers_waiting() > 0) plat::advance_virtual_ms(1000);
      std::this_thread::yield();
    }
  });
  xmodem_receive(rx);
  done = true;
  clock.join();
  set_gblerr(0);
  xmodem_free(&rx);
  obj_t* o = file;
  free_obj(&o);
  return 0;
}
