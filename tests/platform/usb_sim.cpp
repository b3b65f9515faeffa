// The USB module's simulated receivers: finding and opening by path, one transfer per
// datagram with zero-length packets kept, a receiver that goes away, the interrupt
// request issued and collected, and closing while the receiver's script waits.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/usb/usb.h"
#include "tests/gps/pty_fixture.h"

namespace {

using tm_test::virtual_worker;

class PlatUsbSim : public ::testing::Test {
 protected:
  void SetUp() override { plat::usb_sim_enable(true); }
  void TearDown() override {
    plat::usb_close(dev);
    plat::usb_sim_enable(false);
  }
  plat::usb_device* dev = nullptr;
};

// Echoes every transfer back on the bulk pipe and as an interrupt packet when it fits.
void echo(plat::usb_sim_link& link) {
  char buf[5000];
  for (long n; (n = link.receive(buf, sizeof buf)) >= 0;) {
    link.send_bulk(buf, size_t(n));
    if (n <= 64) link.send_interrupt(buf, size_t(n));
  }
}

TEST_F(PlatUsbSim, ReceiversAreFoundByIndexAndOpenedByPath) {
  EXPECT_TRUE(plat::usb_sim_enabled());
  char path[32];
  EXPECT_EQ(plat::usb_find(0, path, sizeof path), 0);
  EXPECT_EQ(plat::usb_sim_add(64, echo), 0);
  EXPECT_EQ(plat::usb_sim_add(512, echo), 1);
  EXPECT_EQ(plat::usb_find(1, path, sizeof path), 1);
  EXPECT_STREQ(path, "sim:1");
  EXPECT_EQ(plat::usb_find(2, path, sizeof path), 0);
  EXPECT_EQ(plat::usb_find(-1, path, sizeof path), 0);
  for (const char* bad : std::initializer_list<const char*>{"", "sim:", "sim:2", "sim:-1", "sim:1x", "usb:001:002", nullptr})
    EXPECT_EQ(plat::usb_open_path(bad), nullptr) << (bad ? bad : "null");
  dev = plat::usb_open_path("sim:1");
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(plat::usb_max_packet(dev), 512u);
  EXPECT_EQ(plat::usb_open_path("sim:1"), nullptr);  // in use
}

TEST_F(PlatUsbSim, EveryTransferIsOneDatagramZeroLengthPacketsIncluded) {
  plat::usb_sim_add(64, echo);
  dev = plat::usb_open_path("sim:0");
  ASSERT_NE(dev, nullptr);
  char buf[5000];
  for (const std::string& t : {std::string("abc"), std::string(), std::string(4096, 'x')}) {
    ASSERT_EQ(plat::usb_bulk_out(dev, t.data(), t.size(), 1000), long(t.size()));
    ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
    EXPECT_EQ(plat::usb_bulk_in(dev, buf, sizeof buf, 0), long(t.size()));
    EXPECT_EQ(std::string(buf, t.size()), t);
    if (t.size() <= 64) EXPECT_EQ(plat::usb_interrupt_in(dev, buf, 64, 0), long(t.size()));
  }
  // A packet larger than the host asked for is an error, as an overflow is.
  ASSERT_EQ(plat::usb_bulk_out(dev, "0123456789", 10, 1000), 10);
  ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
  EXPECT_EQ(plat::usb_interrupt_in(dev, buf, 4, 0), plat::kUsbFailed);
  EXPECT_EQ(plat::usb_bulk_in(dev, buf, 0, 0), plat::kUsbFailed);
}

TEST_F(PlatUsbSim, ReadsTimeOutOnThePlatformClock) {
  plat::usb_sim_add(64, echo);
  dev = plat::usb_open_path("sim:0");
  ASSERT_NE(dev, nullptr);
  char buf[64];
  long r = 0;
  virtual_worker w([&] { r = plat::usb_interrupt_in(dev, buf, sizeof buf, 100); });
  ASSERT_TRUE(w.advance(99));
  EXPECT_FALSE(w.done());
  EXPECT_EQ(w.run(), 100);
  EXPECT_EQ(r, plat::kUsbTimeout);
}

TEST_F(PlatUsbSim, TheInterruptRequestIsIssuedOnceAndCollected) {
  plat::usb_sim_add(64, echo);
  dev = plat::usb_open_path("sim:0");
  ASSERT_NE(dev, nullptr);
  char buf[64];
  EXPECT_EQ(plat::usb_interrupt_collect(dev, buf, sizeof buf, 0), plat::kUsbFailed);  // none issued
  EXPECT_EQ(plat::usb_interrupt_submit(dev), 0);
  EXPECT_EQ(plat::usb_interrupt_submit(dev), plat::kUsbFailed);  // one at a time
  EXPECT_EQ(plat::usb_interrupt_collect(dev, buf, sizeof buf, 0), plat::kUsbPending);
  plat::usb_bulk_out(dev, "pos", 3, 1000);
  ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
  EXPECT_EQ(plat::usb_interrupt_collect(dev, buf, sizeof buf, 0), 3);
  EXPECT_EQ(plat::usb_interrupt_collect(dev, buf, sizeof buf, 0), plat::kUsbFailed);  // over
}

TEST_F(PlatUsbSim, AReceiverThatGoesAwayFailsTheHostAfterItsLastPacket) {
  plat::usb_sim_add(64, [](plat::usb_sim_link& link) {
    link.send_bulk("last", 4);
    link.send_interrupt("", 0);
  });
  dev = plat::usb_open_path("sim:0");
  ASSERT_NE(dev, nullptr);
  ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
  char buf[64];
  EXPECT_EQ(plat::usb_bulk_in(dev, buf, sizeof buf, 1000), 4);
  EXPECT_EQ(plat::usb_interrupt_in(dev, buf, sizeof buf, 1000), 0);  // its zero-length packet
  EXPECT_EQ(plat::usb_bulk_in(dev, buf, sizeof buf, 1000), plat::kUsbFailed);
  EXPECT_EQ(plat::usb_interrupt_in(dev, buf, sizeof buf, 1000), plat::kUsbFailed);
  EXPECT_EQ(plat::usb_bulk_out(dev, "x", 1, 1000), plat::kUsbFailed);
  EXPECT_EQ(plat::usb_interrupt_submit(dev), plat::kUsbFailed);
}

TEST_F(PlatUsbSim, ClosingWakesAScriptThatSleepsOrWaits) {
  for (int i = 0; i < 2; ++i)
    plat::usb_sim_add(64, [i](plat::usb_sim_link& link) {
      if (i == 0) link.sleep(int64_t(1) << 40);
      char buf[8];
      EXPECT_EQ(link.receive(buf, sizeof buf), plat::kUsbFailed);
      EXPECT_TRUE(link.host_closed());
      EXPECT_FALSE(link.send_bulk("x", 1));
    });
  plat::use_virtual_clock(true);
  for (const char* path : {"sim:0", "sim:1"}) {
    plat::usb_device* d = plat::usb_open_path(path);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
    plat::usb_close(d);  // joins the script's thread
  }
  plat::use_virtual_clock(false);
}

TEST(PlatUsb, WithoutTheSimulationNoReceiverIsPresentHere) {
  // The build machine has no receiver plugged in: nothing is found, nothing crashes.
  plat::usb_sim_enable(false);
  char path[32];
  EXPECT_LE(plat::usb_find(0, path, sizeof path), 0);
  EXPECT_EQ(plat::usb_open_path("usb:999:999"), nullptr);
  EXPECT_EQ(plat::usb_open_path("sim:0"), nullptr);
  EXPECT_EQ(plat::usb_max_packet(nullptr), 0u);
  char buf[4];
  EXPECT_EQ(plat::usb_bulk_out(nullptr, buf, 1, 10), plat::kUsbFailed);
  EXPECT_EQ(plat::usb_interrupt_in(nullptr, buf, 4, 10), plat::kUsbFailed);
  plat::usb_close(nullptr);
}

}  // namespace
