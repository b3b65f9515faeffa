// Serial port I/O against a pseudo-terminal playing the receiver, on the virtual clock:
// the accepted speeds and the raw line, exclusive use, the port name mapping, reads that
// end at a silence of one read time-out, writes and their pause, the 16-bit writers, a
// device without handles, the receiver unplugged, the program closing, and the two-day
// rule for a transfer across which the clock jumped.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>

#include <cstring>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "gps/port_io.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::pty_pair;
using tm_test::virtual_worker;

constexpr int64_t kDayMs = 86400000;

class PortSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    ASSERT_TRUE(pty.ok());
  }
  void TearDown() override {
    com_close(&dev);
    app_set_closing(0);
    set_gblerr(0);
  }
  void open(int speed = 9600) {
    com_open(pty.path().c_str(), speed, &dev);
    ASSERT_NE(dev, nullptr);
  }
  std::string read_all(int max) {
    std::string got(size_t(max > 0 ? max : 1), '\0');
    const int n = com_read(dev, max, reinterpret_cast<uint8_t*>(got.data()));
    result = n;
    return n > 0 ? got.substr(0, size_t(n)) : std::string();
  }

  pty_pair pty;
  com_device* dev = nullptr;
  int result = 0;
};

struct SpeedCase {
  int speed;
  bool accepted;
};

class PortSerialSpeed : public PortSerial, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(PortSerialSpeed, OpensAtTheListedSpeedsOnly) {
  const SpeedCase c = GetParam();
  com_device* out = reinterpret_cast<com_device*>(8);
  com_device* got = com_open(pty.path().c_str(), c.speed, &out);
  EXPECT_EQ(got, out);
  EXPECT_EQ(get_gblerr(), 0);  // the caller sets the error code
  if (!c.accepted) {
    EXPECT_EQ(out, nullptr);
    return;
  }
  dev = out;
  ASSERT_NE(dev, nullptr);
  EXPECT_GE(dev->handle, 3);
  EXPECT_EQ(dev->read_timeout_ms, 100u);
  EXPECT_EQ(dev->saved.valid, 1);
  // The line as the code under test left it: raw 8N1 at the speed.
  termios t{};
  ASSERT_EQ(tcgetattr(dev->handle, &t), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  const speed_t codes[][2] = {{4800, B4800}, {9600, B9600}, {19200, B19200},
                              {38400, B38400}, {57600, B57600}, {115200, B115200}};
  for (const auto& code : codes)
    if (int(code[0]) == c.speed) EXPECT_EQ(cfgetospeed(&t), code[1]);
}

INSTANTIATE_TEST_SUITE_P(Speeds, PortSerialSpeed,
                         ::testing::Values(SpeedCase{4800, true}, SpeedCase{9600, true},
                                           SpeedCase{19200, true}, SpeedCase{38400, true},
                                           SpeedCase{57600, true}, SpeedCase{115200, true},
                                           SpeedCase{0, false}, SpeedCase{-9600, false},
                                           SpeedCase{1200, false}, SpeedCase{12345, false},
                                           SpeedCase{230400, false}));

TEST_F(PortSerial, DevicesThatAreNoPortDoNotOpen) {
  const std::string file = tm_test::write_file(tm_test::fresh_dir("serial") + "plain.txt", "x");
  for (const std::string& path : {std::string("/nonexistent/ttyQ9"), file, std::string()}) {
    com_device* out = nullptr;
    EXPECT_EQ(com_open(path.c_str(), 9600, &out), nullptr) << path;
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(PortSerial, APortHeldElsewhereDoesNotOpen) {
  // Another descriptor of the same device holds the lock (as another program would).
  const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  com_device* out = nullptr;
  EXPECT_EQ(com_open(pty.path().c_str(), 9600, &out), nullptr);
  // Released, the port opens; a second open of ours is refused while the first holds it.
  flock(other, LOCK_UN);
  ::close(other);
  open();
  com_device* second = nullptr;
  EXPECT_EQ(com_open(pty.path().c_str(), 9600, &second), nullptr);
  com_close(&dev);
  EXPECT_EQ(dev, nullptr);
  open();
}

TEST_F(PortSerial, PortNamesMapToDevicePaths) {
  char out[256];
  struct row { const char* name; const char* path; };
  const row rows[] = {
      {"COM1", "/dev/ttyS0"},        {"\\\\.\\COM3", "/dev/ttyS2"}, {"com12", "/dev/ttyS11"},
      {"COM", "COM"},                {"COMX", "COMX"},              {"COM0", "COM0"},
      {"COM3a", "COM3a"},            {"/dev/ttyUSB0", "/dev/ttyUSB0"},
  };
  for (const row& r : rows) EXPECT_STREQ(com_device_path(r.name, out, sizeof out), r.path) << r.name;
  // A configured key names the device of its port.
  config_set("COM7", pty.path().c_str());
  EXPECT_EQ(std::string(com_device_path("\\\\.\\COM7", out, sizeof out)), pty.path());
  com_open("\\\\.\\COM7", 4800, &dev);
  EXPECT_NE(dev, nullptr);
}

TEST_F(PortSerial, AReadEndsAtOneReadTimeOutOfSilence) {
  open();
  ASSERT_TRUE(pty.send("ABC"));
  std::string got;
  virtual_worker w([&] { got = read_all(100); });
  // The three bytes are there at once; then the fourth byte waits 100 ms.
  ASSERT_TRUE(w.advance(99));
  EXPECT_FALSE(w.done());
  // The silence ends the read, which then pauses 1 ms.
  EXPECT_EQ(w.run(), 101);
  EXPECT_EQ(got, "ABC");
  EXPECT_EQ(result, 3);
}

TEST_F(PortSerial, EachByteRestartsTheSilence) {
  open();
  ASSERT_TRUE(pty.send("A"));
  std::string got;
  virtual_worker w([&] { got = read_all(100); });
  ASSERT_TRUE(w.advance(60));
  const uint64_t begun = plat::port_waits_begun();
  ASSERT_TRUE(pty.write_all("B"));
  // The reader took B and waits for the next byte.
  ASSERT_TRUE(tm_test::wait_for([&] { return plat::port_waits_begun() > begun && tm_test::clock_idle(); }));
  ASSERT_TRUE(w.advance(99));
  EXPECT_FALSE(w.done());
  EXPECT_EQ(w.run(), 60 + 100 + 1);
  EXPECT_EQ(got, "AB");
}

TEST_F(PortSerial, AReadStopsAtItsMaximumAndAMaximumBelowOneReadsNothing) {
  open();
  ASSERT_TRUE(pty.send("0123456789"));
  std::string first, none, rest;
  int none_result = -5;
  virtual_worker w([&] {
    first = read_all(4);
    uint8_t b = 0;
    none_result = com_read(dev, 0, &b);
    EXPECT_EQ(com_read(dev, -3, &b), 0);
    rest = read_all(100);
  });
  EXPECT_EQ(w.run(), 101);  // only the last read met a silence
  EXPECT_EQ(first, "0123");
  EXPECT_EQ(none_result, 0);
  EXPECT_EQ(rest, "456789");
}

TEST_F(PortSerial, TheReadTimeOutCanBeChanged) {
  open();
  com_set_timeout(dev, 500);
  EXPECT_EQ(dev->read_timeout_ms, 500u);
  uint8_t b = 0;
  int r = -5;
  virtual_worker w([&] { r = com_read_byte(dev, &b); });
  ASSERT_TRUE(w.advance(499));
  EXPECT_FALSE(w.done());
  EXPECT_EQ(w.run(), 501);
  EXPECT_EQ(r, 0);
  EXPECT_NE(dev->handle, 0);  // a silence is no error
}

TEST_F(PortSerial, WritesSendEveryByteAndPause) {
  open();
  uint16_t be = 0x1234, le = 0xABCD;
  virtual_worker w([&] {
    com_write(dev, "hello", 5);
    com_write_byte(dev, 0x7E);
    com_write_u16_be(dev, &be);
    com_write_u16_le(dev, &le);
    com_write(dev, "", 0);
  });
  // Five writes, each followed by its 2 ms pause.
  EXPECT_EQ(w.run(), 5 * 2);
  EXPECT_EQ(pty.take(10), std::string("hello\x7E\x12\x34\xCD\xAB", 10));
  // The 16-bit values stay in memory in the order they were sent.
  uint8_t be_bytes[2], le_bytes[2];
  std::memcpy(be_bytes, &be, 2);
  std::memcpy(le_bytes, &le, 2);
  EXPECT_EQ(be_bytes[0], 0x12);
  EXPECT_EQ(be_bytes[1], 0x34);
  EXPECT_EQ(le_bytes[0], 0xCD);
  EXPECT_EQ(le_bytes[1], 0xAB);
}

TEST_F(PortSerial, WithoutHandlesCallsReturnAfterAPause) {
  open();
  com_close_handles(dev);
  EXPECT_EQ(dev->handle, 0);
  ASSERT_TRUE(pty.send("data"));
  uint8_t b = 0;
  int r1 = -5, r2 = -5;
  virtual_worker w([&] {
    r1 = com_read_byte(dev, &b);
    r2 = com_read(dev, 10, &b);
    com_write(dev, "x", 1);
  });
  EXPECT_EQ(w.run(), 3 * 20);
  EXPECT_EQ(r1, 0);
  EXPECT_EQ(r2, 0);
  EXPECT_EQ(pty.drain(), "");
  // A record without handles still closes cleanly.
  com_close(&dev);
  EXPECT_EQ(dev, nullptr);
  com_close(&dev);
  com_close(nullptr);
}

TEST_F(PortSerial, AnUnpluggedReceiverEndsTheReadAndClosesTheHandles) {
  open();
  ASSERT_TRUE(pty.send("AB"));
  std::string got;
  virtual_worker w([&] { got = read_all(100); });
  ASSERT_TRUE(w.settle());
  pty.unplug();
  // The hang-up wakes the waiting read: no time passes.
  ASSERT_TRUE(tm_test::wait_for([&] { return w.done(); }));
  EXPECT_EQ(w.run(), 0);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(dev->handle, 0);
  // Later calls see no device.
  uint8_t b = 0;
  int r = -5;
  virtual_worker later([&] { r = com_read(dev, 10, &b); });
  EXPECT_EQ(later.run(), 20);
  EXPECT_EQ(r, 0);
}

TEST_F(PortSerial, AWriteToAnUnpluggedReceiverClosesTheHandles) {
  open();
  pty.unplug();
  virtual_worker w([&] { com_write(dev, "abc", 3); });
  EXPECT_EQ(w.run(), 2);
  EXPECT_EQ(dev->handle, 0);
}

TEST_F(PortSerial, AReadWhileTheProgramClosesClosesTheDevice) {
  open();
  ASSERT_TRUE(pty.send("A"));
  app_set_closing(1);
  uint8_t b = 0;
  EXPECT_EQ(com_read_byte(dev, &b), 0);
  EXPECT_EQ(dev->handle, 0);
}

// A clock jump of `jump_ms` while a transfer waits: two days or more close the device.
struct JumpCase {
  const char* name;
  bool write;
  int64_t jump_ms;
  bool closed;
};

class PortSerialJump : public PortSerial, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(PortSerialJump, ATransferAcrossTwoDaysClosesTheDevice) {
  const JumpCase c = GetParam();
  open();
  // Nobody reads the master: a large write fills the line and waits.
  const std::string big(256 * 1024, 'w');
  uint8_t b = 0;
  int r = -5;
  virtual_worker w([&] {
    if (c.write) com_write(dev, big.data(), int(big.size()));
    else r = com_read_byte(dev, &b);
  });
  ASSERT_TRUE(w.advance(c.jump_ms));
  w.finish();
  EXPECT_EQ(dev->handle == 0, c.closed);
  if (!c.write) EXPECT_EQ(r, 0);
  if (c.closed) {
    // Later transfers return at once.
    int later = -5;
    virtual_worker w2([&] {
      com_write(dev, "x", 1);
      later = com_read_byte(dev, &b);
    });
    EXPECT_EQ(w2.run(), 40);
    EXPECT_EQ(later, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Jumps, PortSerialJump,
    ::testing::Values(JumpCase{"WriteTwoDays", true, 2 * kDayMs, true},
                      JumpCase{"WriteThreeDays", true, 3 * kDayMs, true},
                      JumpCase{"WriteJustUnderTwoDays", true, 2 * kDayMs - 1000, false},
                      JumpCase{"ReadTwoDays", false, 2 * kDayMs, true},
                      JumpCase{"ReadOneDay", false, kDayMs, false}),
    [](const ::testing::TestParamInfo<JumpCase>& info) { return std::string(info.param.name); });

}  // namespace
