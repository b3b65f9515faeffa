// The process clock: real readings, and the virtual clock that tests use to run
// long waits in no real time. Sleepers are worker threads; the test waits (a short
// bounded spin) until they are blocked before it moves virtual time.
#include "platform/sys/clock.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

namespace {

using tm_test::wait_for;

// True when `flag` stays false for a short real while: the sleeper did not wake.
bool stays_false(const std::atomic<bool>& flag) { return !wait_for([&] { return flag.load(); }, 30); }

// A thread that sleeps `ms` on the clock and then records the reading it woke at.
struct sleeper {
  std::atomic<bool> woke{false};
  std::atomic<int64_t> woke_at{0};
  std::thread thread;
  explicit sleeper(int64_t ms) {
    thread = std::thread([this, ms] {
      plat::sleep_ms(ms);
      woke_at = plat::now_ms();
      woke = true;
    });
  }
  // A sleeper still blocked when a check failed is released by switching the
  // virtual clock off, so that a failure never hangs the test program.
  ~sleeper() {
    if (!woke) plat::use_virtual_clock(false);
    if (thread.joinable()) thread.join();
  }
};

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override { plat::use_virtual_clock(true); }
  // Switching off also releases any sleeper a failed test left behind.
  void TearDown() override { plat::use_virtual_clock(false); }
};

TEST(RealClock, ReadingsMoveForwardAndSleepLastsAtLeastItsLength) {
  ASSERT_FALSE(plat::virtual_clock_on());
  int64_t before = plat::now_ms();
  plat::sleep_ms(3);
  int64_t after = plat::now_ms();
  EXPECT_GE(after - before, 3);
  std::time_t wall = plat::wall_time();
  EXPECT_LE(std::labs(static_cast<long>(wall - std::time(nullptr))), 1);
}

TEST_F(VirtualClock, StandsStillUntilAdvanced) {
  ASSERT_TRUE(plat::virtual_clock_on());
  int64_t t0 = plat::now_ms();
  std::time_t w0 = plat::wall_time();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(plat::now_ms(), t0);
  EXPECT_EQ(plat::wall_time(), w0);

  plat::advance_virtual_ms(2500);
  EXPECT_EQ(plat::now_ms(), t0 + 2500);
  EXPECT_EQ(plat::wall_time(), w0 + 2);
  // Time never runs backwards.
  plat::advance_virtual_ms(-1000);
  plat::advance_virtual_ms(0);
  EXPECT_EQ(plat::now_ms(), t0 + 2500);
  // Switching on again keeps the current reading.
  plat::use_virtual_clock(true);
  EXPECT_EQ(plat::now_ms(), t0 + 2500);
}

TEST_F(VirtualClock, SleeperWakesExactlyAtItsDeadline) {
  struct Case {
    int64_t asked;
    int64_t slept;  // values below 1 sleep 1 ms
  };
  const Case cases[] = {{0, 1}, {-20, 1}, {1, 1}, {250, 250}, {90000, 90000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    int64_t t0 = plat::now_ms();
    sleeper s(c.asked);
    ASSERT_TRUE(wait_for([] { return plat::virtual_sleepers() == 1; }));
    if (c.slept > 1) {
      plat::advance_virtual_ms(c.slept - 1);
      EXPECT_TRUE(stays_false(s.woke));
      EXPECT_EQ(plat::virtual_sleepers(), 1);
      plat::advance_virtual_ms(1);
    } else {
      EXPECT_TRUE(stays_false(s.woke));
      plat::advance_virtual_ms(1);
    }
    ASSERT_TRUE(wait_for([&] { return s.woke.load(); }));
    EXPECT_EQ(s.woke_at.load(), t0 + c.slept);
    s.thread.join();
    EXPECT_EQ(plat::virtual_sleepers(), 0);
  }
}

TEST_F(VirtualClock, OneAdvanceWakesOnlyTheSleepersWhoseDeadlinePassed) {
  sleeper short_one(100), long_one(300);
  ASSERT_TRUE(wait_for([] { return plat::virtual_sleepers() == 2; }));

  plat::advance_virtual_ms(150);
  ASSERT_TRUE(wait_for([&] { return short_one.woke.load(); }));
  EXPECT_TRUE(stays_false(long_one.woke));
  EXPECT_EQ(plat::virtual_sleepers(), 1);

  plat::advance_virtual_ms(500);  // well past the deadline: one step is enough
  ASSERT_TRUE(wait_for([&] { return long_one.woke.load(); }));
  EXPECT_EQ(plat::virtual_sleepers(), 0);
}

// Right after the clock moves, a sleeper whose deadline passed may not have run yet;
// it is no longer counted as waiting, whatever the threads' timing, so a test that
// waits for the process to fall idle sees it as busy until it has run.
TEST_F(VirtualClock, SleepersPastTheirDeadlineNoLongerCountAsWaiting) {
  struct Step {
    int64_t advance;
    int waiting;  // read at once after the advance
    int left;     // sleepers once the woken ones have run
  };
  const Step steps[] = {{0, 3, 3}, {99, 3, 3}, {1, 2, 2}, {150, 2, 2}, {50, 0, 0}};
  sleeper a(100), b(300), c(300);
  ASSERT_TRUE(wait_for([] { return plat::virtual_sleepers() == 3; }));
  for (const Step& s : steps) {
    SCOPED_TRACE(s.advance);
    plat::advance_virtual_ms(s.advance);
    EXPECT_EQ(plat::virtual_sleepers_waiting(), s.waiting);
    EXPECT_TRUE(wait_for([&] { return plat::virtual_sleepers() == s.left; }));
    EXPECT_EQ(plat::virtual_sleepers_waiting(), s.waiting);
  }
}

TEST_F(VirtualClock, ASleepBeyondTheClocksRangeWaitsWithoutOverflowing) {
  sleeper forever(INT64_MAX);
  ASSERT_TRUE(wait_for([] { return plat::virtual_sleepers() == 1; }));
  plat::advance_virtual_ms(INT64_MAX);  // the clock stops at the end of its range
  plat::advance_virtual_ms(1000);
  EXPECT_EQ(plat::now_ms(), INT64_MAX);
  ASSERT_TRUE(wait_for([&] { return forever.woke.load(); }));
}

TEST_F(VirtualClock, SwitchingOffReleasesEverySleeper) {
  sleeper a(1000000), b(5);
  ASSERT_TRUE(wait_for([] { return plat::virtual_sleepers() == 2; }));
  plat::use_virtual_clock(false);
  EXPECT_FALSE(plat::virtual_clock_on());
  ASSERT_TRUE(wait_for([&] { return a.woke.load() && b.woke.load(); }));
  EXPECT_EQ(plat::virtual_sleepers(), 0);
  // Back on the real clock, a sleep is a real (short) one again.
  int64_t before = plat::now_ms();
  plat::sleep_ms(2);
  EXPECT_GE(plat::now_ms() - before, 2);
}

TEST_F(VirtualClock, WhileOffAdvancingDoesNothing) {
  plat::use_virtual_clock(false);
  plat::advance_virtual_ms(3600000);
  int64_t real_now = plat::now_ms();
  EXPECT_LT(std::labs(static_cast<long>(plat::wall_time() - std::time(nullptr))), 2);
  plat::use_virtual_clock(true);
  // The virtual clock starts from the real reading of the moment it is switched on.
  EXPECT_GE(plat::now_ms(), real_now);
  EXPECT_LT(plat::now_ms() - real_now, 3600000);
}

}  // namespace
