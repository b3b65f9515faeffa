// The host's side of the display: the symbol slot the binding fills, and a decode that
// the decoding library makes wait, on the virtual clock, while the display waits for it.
#include <atomic>
#include <thread>

#include "core/error.h"
#include "map/raster_display.h"
#include "platform/sys/clock.h"
#include "raster/sid_host.h"
#include "tests/support/wait.h"
#include "tests/tmsid/sid_fixture.h"

namespace sid_test {
namespace {

uint32_t pack(int r, int g, int b) {
  return uint32_t(r) << rshift | uint32_t(g) << vshift | uint32_t(b) << bshift;
}

TEST_F(SidTest, TheSymbolSlotCopiesTheWholeImageAtTheAskedSize) {
  int result = -1;
  bitmap_t* b = load(fixture("rgb.sid"), &result);
  ASSERT_EQ(result, 0);
  auto slot = get_raster_display_hooks().sid_symbol;
  ASSERT_NE(slot, nullptr);
  // Full size: every pixel is the image's own.
  std::vector<uint32_t> full(40 * 30);
  slot(b, full.data(), 40, 30);
  for (uint32_t y = 0; y < 30; ++y)
    for (uint32_t x = 0; x < 40; ++x)
      ASSERT_EQ(full[y * 40 + x], pack(msid::sample(x, y, 0, 0), msid::sample(x, y, 1, 0),
                                        msid::sample(x, y, 2, 0)))
          << x << "," << y;
  // A quarter of the size is decoded at magnification 0.25 (level 2).
  clear_calls();
  std::vector<uint32_t> small(10 * 7, 0);
  slot(b, small.data(), 10, 7);
  bool decoded_at_quarter = false;
  for (const std::string& c : calls())
    if (c.rfind("ltic_decode", 0) == 0) decoded_at_quarter = c.find(" 0.25") != std::string::npos;
  EXPECT_TRUE(decoded_at_quarter);
  EXPECT_EQ(small[0], pack(msid::sample(0, 0, 0, 2), msid::sample(0, 0, 1, 2),
                           msid::sample(0, 0, 2, 2)));
  // An empty symbol is left as it was.
  uint32_t untouched = 0xAAAAAAAA;
  slot(b, &untouched, 0, 1);
  EXPECT_EQ(untouched, 0xAAAAAAAAu);
}

TEST_F(SidTest, ASlowDecodeWaitsOnTheVirtualClock) {
  int result = -1;
  bitmap_t* b = load(fixture("grey.sid"), &result);
  ASSERT_EQ(result, 0);
  plat::use_virtual_clock(true);
  setenv("MSID_DELAY_MS", "500", 1);
  std::vector<uint32_t> out(33 * 21, 0);
  std::atomic<bool> done{false};
  std::thread display([&] {
    sid_window win{33, 21, 0, 0, 33, 21};
    display_sid(b, &win, 0, nullptr, out.data(), 33);
    done.store(true);
  });
  ASSERT_TRUE(tm_test::wait_for([] { return plat::virtual_sleepers_waiting() == 1; }));
  plat::advance_virtual_ms(499);
  EXPECT_FALSE(done.load());
  EXPECT_EQ(plat::virtual_sleepers_waiting(), 1);
  plat::advance_virtual_ms(1);
  display.join();
  EXPECT_TRUE(done.load());
  unsetenv("MSID_DELAY_MS");
  plat::use_virtual_clock(false);
  EXPECT_EQ(out[21 * 33 - 1], pack(msid::sample(32, 20, 0, 0), msid::sample(32, 20, 0, 0),
                                   msid::sample(32, 20, 0, 0)));
}

}  // namespace
}  // namespace sid_test
