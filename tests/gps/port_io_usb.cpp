// Garmin USB port I/O over simulated receivers on the virtual clock: finding by index,
// exclusive opening, the zero-length packet after a write that fills its last packet,
// the interrupt reads that gather a message (ending on a short packet, a zero-length
// packet, a silence, and refusing a message that never ends), the bulk read, the
// non-blocking interrupt poll, and an unplugged receiver.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/object_env.h"

namespace {

using tm_test::virtual_worker;

// What a simulated receiver saw: every transfer the host wrote, in order.
struct recorder {
  std::mutex mutex;
  std::vector<std::string> transfers;
  void add(const std::string& t) {
    std::lock_guard<std::mutex> lock(mutex);
    transfers.push_back(t);
  }
  std::vector<std::string> all() {
    std::lock_guard<std::mutex> lock(mutex);
    return transfers;
  }
};

// A script that records what the host writes until it closes.
plat::usb_sim_script record_into(recorder* rec) {
  return [rec](plat::usb_sim_link& link) {
    char buf[8192];
    for (;;) {
      const long n = link.receive(buf, sizeof buf);
      if (n < 0) return;
      rec->add(std::string(buf, size_t(n)));
    }
  };
}

// A script that sends the given interrupt packets at once, then waits for the close.
plat::usb_sim_script send_interrupts(std::vector<std::string> packets) {
  return [packets](plat::usb_sim_link& link) {
    for (const std::string& p : packets) link.send_interrupt(p.data(), p.size());
    char buf[16];
    while (link.receive(buf, sizeof buf) >= 0) {
    }
  };
}

std::string bytes(size_t n, char c) { return std::string(n, c); }

class PortUsb : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    plat::usb_sim_enable(true);
  }
  void TearDown() override {
    com_close(&dev);
    plat::usb_sim_enable(false);
    free_mem(&path);
    set_gblerr(0);
  }
  void open_first() {
    ASSERT_NE(usb_find_device(0, &path, &dev), nullptr);
  }

  com_device* dev = nullptr;
  char* path = nullptr;
};

TEST_F(PortUsb, ReceiversAreFoundByIndexAndAnIndexPastTheLastFindsNone) {
  recorder a, b;
  plat::usb_sim_add(64, record_into(&a));
  plat::usb_sim_add(512, record_into(&b));
  com_device* second = nullptr;
  ASSERT_NE(usb_find_device(1, &path, &second), nullptr);
  EXPECT_STREQ(path, "sim:1");
  EXPECT_EQ(second->usb_packet_size, 512u);
  EXPECT_EQ(second->usb_index, 1);
  EXPECT_EQ(second->handle, 0);
  com_close(&second);
  EXPECT_EQ(second, nullptr);
  // Past the last: no device and no error.
  com_device* none = reinterpret_cast<com_device*>(8);
  EXPECT_EQ(usb_find_device(2, &path, &none), nullptr);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  // Without any receiver, index 0 finds none either.
  plat::usb_sim_enable(true);
  EXPECT_EQ(usb_find_device(0, &path, &none), nullptr);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(PortUsb, AReceiverInUseCannotBeOpenedAgain) {
  recorder rec;
  plat::usb_sim_add(64, record_into(&rec));
  open_first();
  com_device* again = nullptr;
  EXPECT_EQ(usb_open(path, 0, &again), nullptr);
  EXPECT_EQ(get_gblerr(), 0);  // usb_open leaves the code to its caller
  EXPECT_EQ(usb_find_device(0, &path, &again), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_COM_OPEN);
  set_gblerr(0);
  EXPECT_EQ(usb_open("sim:9", 9, &again), nullptr);
  EXPECT_EQ(usb_open("usb:nonsense", 0, &again), nullptr);
  com_close(&dev);
  EXPECT_NE(usb_open("sim:0", 0, &again), nullptr);
  com_close(&again);
}

struct WriteCase {
  uint32_t packet;
  int count;
  bool zero_length_follows;
};

class PortUsbWrite : public PortUsb, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(PortUsbWrite, AWriteFillingItsLastPacketIsFollowedByAZeroLengthPacket) {
  const WriteCase c = GetParam();
  recorder rec;
  plat::usb_sim_add(c.packet, record_into(&rec));
  open_first();
  const std::string data = bytes(size_t(c.count), 'g');
  EXPECT_EQ(usb_write(dev, data.data(), c.count), 0);
  EXPECT_EQ(usb_write(dev, "\x14", 1), 0);  // a later packet, to mark the end
  com_close(&dev);                          // joins the receiver's thread
  std::vector<std::string> expected = {data};
  if (c.zero_length_follows) expected.push_back("");
  expected.push_back("\x14");
  EXPECT_EQ(rec.all(), expected);
  EXPECT_EQ(get_gblerr(), 0);
}

INSTANTIATE_TEST_SUITE_P(Counts, PortUsbWrite,
                         ::testing::Values(WriteCase{64, 64, true}, WriteCase{64, 63, false},
                                           WriteCase{64, 65, false}, WriteCase{64, 128, true},
                                           WriteCase{64, 12, false}, WriteCase{512, 1024, true},
                                           WriteCase{512, 64, false}, WriteCase{0, 64, false}));

struct InterruptCase {
  const char* name;
  std::vector<std::string> packets;
  int total;
  int64_t elapsed_ms;
  std::string next;  // what a second read gathers
};

class PortUsbInterrupt : public PortUsb, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(PortUsbInterrupt, AMessageEndsAtAShortPacketAZeroLengthPacketOrSilence) {
  const InterruptCase c = GetParam();
  plat::usb_sim_add(64, send_interrupts(c.packets));
  open_first();
  uint8_t* data = nullptr;
  int32_t count = -1, count2 = -1;
  std::string first, second;
  int r = -5;
  int64_t first_elapsed = 0;
  virtual_worker w([&] {
    r = usb_read_interrupt_all(dev, &data, &count);
    first.assign(reinterpret_cast<char*>(data), size_t(count > 0 ? count : 0));
    first_elapsed = w.elapsed();
    usb_read_interrupt_all(dev, &data, &count2);
    second.assign(reinterpret_cast<char*>(data), size_t(count2 > 0 ? count2 : 0));
  });
  EXPECT_GE(w.run(), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(count, c.total);
  EXPECT_EQ(first_elapsed, c.elapsed_ms);
  std::string expected;
  for (const std::string& p : c.packets) expected += p;
  EXPECT_EQ(first + second, expected);
  EXPECT_EQ(second, c.next);
  EXPECT_EQ(data, dev->rx_buf);
  EXPECT_GE(dev->rx_cap, c.total + 10);
  EXPECT_EQ(get_gblerr(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, PortUsbInterrupt,
    ::testing::Values(
        InterruptCase{"ShortPacket", {bytes(64, 'a'), bytes(20, 'b'), bytes(5, 'c')}, 84, 0, bytes(5, 'c')},
        InterruptCase{"OneShortPacket", {bytes(12, 'a')}, 12, 0, ""},
        InterruptCase{"ZeroLengthAfterFullPackets",
                      {bytes(64, 'a'), bytes(64, 'b'), "", bytes(7, 'c')}, 128, 0, bytes(7, 'c')},
        // A full packet and then silence: the message ends after the silence bound.
        InterruptCase{"SilenceAfterFullPacket", {bytes(64, 'a')}, 64, kUsbInterruptSilenceMs, ""},
        // Nothing at all: one wait of 100 ms.
        InterruptCase{"Nothing", {}, 0, 100, ""}),
    [](const ::testing::TestParamInfo<InterruptCase>& info) { return std::string(info.param.name); });

TEST_F(PortUsb, AMessageThatNeverEndsIsRefusedAtTheCap) {
  // A runaway receiver: full packets for ever.
  plat::usb_sim_add(64, [](plat::usb_sim_link& link) {
    const std::string p = bytes(64, 'r');
    while (!link.host_closed()) {
      if (!link.send_interrupt(p.data(), p.size())) link.sleep(1);
    }
  });
  open_first();
  uint8_t* data = nullptr;
  int32_t count = -1;
  int r = 0;
  virtual_worker w([&] { r = usb_read_interrupt_all(dev, &data, &count); });
  EXPECT_GE(w.run(), 0);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(get_gblerr(), ERR_NO_COMM);
  EXPECT_LE(dev->rx_cap, 4 * kUsbInterruptMaxTotal);
}

TEST_F(PortUsb, BulkReadsGiveWhatCameOrNothingAfterTheirWait) {
  plat::usb_sim_add(64, [](plat::usb_sim_link& link) {
    char buf[64];
    // Each host write asks for a bulk transfer of that many bytes.
    for (long n; (n = link.receive(buf, sizeof buf)) >= 0;) {
      const std::string reply = bytes(size_t(std::stoi(std::string(buf, size_t(n)))), 'k');
      link.send_bulk(reply.data(), reply.size());
    }
  });
  open_first();
  uint8_t* data = nullptr;
  int32_t got[3] = {-1, -1, -1};
  int64_t idle_elapsed = -1;
  virtual_worker w([&] {
    usb_write(dev, "300", 3);
    usb_read_bulk(dev, &data, &got[0]);
    usb_write(dev, "4096", 4);
    usb_read_bulk(dev, &data, &got[1]);
    const int64_t before = w.elapsed();
    usb_read_bulk(dev, &data, &got[2]);
    idle_elapsed = w.elapsed() - before;
  });
  EXPECT_GE(w.run(), 0);
  EXPECT_EQ(got[0], 300);
  EXPECT_EQ(got[1], 4096);
  EXPECT_EQ(got[2], 0);
  EXPECT_EQ(idle_elapsed, 100);
  EXPECT_EQ(data, dev->rx_buf);
  EXPECT_EQ(dev->rx_cap, kUsbBulkBufferSize);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4096), bytes(4096, 'k'));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(PortUsb, ThePollIssuesARequestAndCollectsItLater) {
  // Two packets once the host asks for them.
  plat::usb_sim_add(64, [](plat::usb_sim_link& link) {
    char buf[16];
    while (link.receive(buf, sizeof buf) >= 0) {
      const std::string full = bytes(64, 'p'), part = bytes(10, 'q');
      link.send_interrupt(full.data(), full.size());
      link.send_interrupt(part.data(), part.size());
    }
  });
  open_first();
  struct poll_result {
    int r;
    int32_t complete, count, short_packet;
    int64_t elapsed;
  };
  std::vector<poll_result> results;
  uint8_t* data = nullptr;
  virtual_worker w([&] {
    int32_t complete = 1, count = -1, short_packet = -1;
    auto poll = [&] {
      const int64_t before = w.elapsed();
      const int r = usb_poll_interrupt(dev, &data, &complete, &count, &short_packet);
      results.push_back({r, complete, count, short_packet, w.elapsed() - before});
    };
    poll();  // issues a request: nothing yet
    poll();  // waits 30 ms for it: nothing
    usb_write(dev, "go", 2);
    tm_test::wait_for([] { return plat::usb_sim_settled(); });  // both packets are on their way
    poll();  // the pending request completes with the full packet
    poll();  // a new request completes at once with the short one
    poll();  // a new request, nothing pending
  });
  EXPECT_GE(w.run(), 0);
  ASSERT_EQ(results.size(), 5u);
  const poll_result expected[] = {
      {0, 0, 0, 0, 0}, {0, 0, 0, 0, 30}, {0, 1, 64, 0, 0}, {0, 1, 10, 1, 0}, {0, 0, 0, 0, 0},
  };
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(results[i].r, expected[i].r) << i;
    EXPECT_EQ(results[i].complete, expected[i].complete) << i;
    EXPECT_EQ(results[i].count, expected[i].count) << i;
    EXPECT_EQ(results[i].short_packet, expected[i].short_packet) << i;
    EXPECT_EQ(results[i].elapsed, expected[i].elapsed) << i;
  }
  EXPECT_EQ(data, dev->rx_buf);
  EXPECT_GE(dev->rx_cap, 64);
}

TEST_F(PortUsb, AnUnpluggedReceiverFailsEveryTransfer) {
  // The receiver sends one packet and goes away.
  plat::usb_sim_add(64, [](plat::usb_sim_link& link) { link.send_interrupt("bye", 3); });
  open_first();
  uint8_t* data = nullptr;
  int32_t count = -1;
  // What it sent before it went is still read.
  ASSERT_TRUE(tm_test::wait_for([&] { return plat::usb_sim_settled(); }));
  EXPECT_EQ(usb_read_interrupt_all(dev, &data, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(usb_read_interrupt_all(dev, &data, &count), -1);
  EXPECT_EQ(get_gblerr(), ERR_NO_COMM);
  set_gblerr(0);
  EXPECT_EQ(usb_read_bulk(dev, &data, &count), -1);
  EXPECT_EQ(get_gblerr(), ERR_NO_COMM);
  set_gblerr(0);
  EXPECT_EQ(usb_write(dev, "x", 1), -1);
  EXPECT_EQ(get_gblerr(), ERR_NO_COMM);
  set_gblerr(0);
  int32_t complete = 1, short_packet = 0;
  EXPECT_EQ(usb_poll_interrupt(dev, &data, &complete, &count, &short_packet), -1);
}

TEST_F(PortUsb, ADeviceWithoutHandlesFailsEveryTransfer) {
  recorder rec;
  plat::usb_sim_add(64, record_into(&rec));
  open_first();
  com_close_handles(dev);
  EXPECT_EQ(dev->usb, nullptr);
  uint8_t* data = nullptr;
  int32_t count = -1;
  EXPECT_EQ(usb_write(dev, "x", 1), -1);
  EXPECT_EQ(usb_read_bulk(dev, &data, &count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(usb_read_interrupt_all(dev, &data, &count), -1);
  EXPECT_EQ(get_gblerr(), ERR_NO_COMM);
  EXPECT_TRUE(rec.all().empty());
}

}  // namespace
