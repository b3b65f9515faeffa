// Serial ports of the platform layer on a pseudo-terminal: the accepted speeds, the
// lock that keeps a port to one descriptor, byte reads that wait on the platform clock
// and fail once the line hangs up, and writes bounded by their time-out.
#include "platform/serial/serial.h"

#include <gtest/gtest.h>
#include <sys/file.h>

#include <string>

#include "tests/gps/pty_fixture.h"

namespace {

using tm_test::pty_pair;
using tm_test::virtual_worker;

TEST(PlatSerial, OnlyTheListedSpeedsAreAccepted) {
  for (int s : {4800, 9600, 19200, 38400, 57600, 115200}) EXPECT_TRUE(plat::serial_speed_ok(s)) << s;
  for (int s : {0, -1, 300, 1200, 2400, 14400, 28800, 76800, 230400, 460800}) EXPECT_FALSE(plat::serial_speed_ok(s)) << s;
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  EXPECT_EQ(plat::serial_open(pty.path().c_str(), 2400, nullptr), -1);
  const int fd = plat::serial_open(pty.path().c_str(), 57600, nullptr);
  EXPECT_GE(fd, 3);
  plat::serial_close(fd);
  plat::serial_close(-1);
}

TEST(PlatSerial, APortIsLockedToOneDescriptor) {
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  plat::serial_saved saved{};
  const int fd = plat::serial_open(pty.path().c_str(), 9600, &saved);
  ASSERT_GE(fd, 3);
  EXPECT_EQ(saved.valid, 1);
  EXPECT_EQ(plat::serial_open(pty.path().c_str(), 9600, nullptr), -1);
  // Closing releases the lock.
  plat::serial_close(fd);
  const int again = plat::serial_open(pty.path().c_str(), 9600, nullptr);
  EXPECT_GE(again, 3);
  const int other = open(pty.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  plat::serial_close(again);
}

TEST(PlatSerial, ReadsWaitOnThePlatformClockAndFailAfterAHangUp) {
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  const int fd = plat::serial_open(pty.path().c_str(), 9600, nullptr);
  ASSERT_GE(fd, 3);
  ASSERT_TRUE(pty.send("Z"));
  uint8_t b = 0;
  EXPECT_EQ(plat::serial_read_byte(fd, &b, 0), 1);
  EXPECT_EQ(b, 'Z');
  int r = -5;
  {
    virtual_worker w([&] { r = plat::serial_read_byte(fd, &b, 250); });
    ASSERT_TRUE(w.advance(249));
    EXPECT_FALSE(w.done());
    EXPECT_EQ(w.run(), 250);
  }
  EXPECT_EQ(r, plat::kSerialNothing);
  {
    virtual_worker w([&] { r = plat::serial_read_byte(fd, &b, 1000); });
    ASSERT_TRUE(w.settle());
    pty.unplug();
    ASSERT_TRUE(tm_test::wait_for([&] { return w.done(); }));
  }
  EXPECT_EQ(r, plat::kSerialError);
  EXPECT_EQ(plat::serial_read_byte(fd, &b, 0), plat::kSerialError);
  EXPECT_EQ(plat::serial_write(fd, "x", 1, 100), -1);
  plat::serial_close(fd);
}

TEST(PlatSerial, AWriteThatCannotDrainEndsAtItsTimeOutWithTheCountWritten) {
  pty_pair pty;
  ASSERT_TRUE(pty.ok());
  const int fd = plat::serial_open(pty.path().c_str(), 115200, nullptr);
  ASSERT_GE(fd, 3);
  const std::string big(512 * 1024, 'q');
  long n = -5;
  virtual_worker w([&] { n = plat::serial_write(fd, big.data(), big.size(), 3000); });
  EXPECT_EQ(w.run(10), 3000);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, long(big.size()));
  // What was written arrives whole.
  EXPECT_EQ(pty.take(size_t(n)), big.substr(0, size_t(n)));
  plat::serial_close(fd);
}

}  // namespace
