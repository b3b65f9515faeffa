// Threads started through the platform: they run their routine, are counted while
// they live, are joined with a real-time bound, and a below-normal thread runs at a
// higher nice value. Workers block on the virtual clock so that no test waits in
// real time for them.
#include "platform/sys/thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/sys/clock.h"
#include "tests/support/wait.h"

namespace {

using tm_test::wait_for;

// Every test leaves no thread behind, so each starts from a count of zero; a
// failed test releases its sleepers by switching the virtual clock off.
class Threads : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plat::join_threads(10000)); }
  void TearDown() override {
    plat::use_virtual_clock(false);
    EXPECT_TRUE(plat::join_threads(10000));
  }
};

void add_one(void* arg) { static_cast<std::atomic<int>*>(arg)->fetch_add(1); }

void sleep_a_minute(void* arg) {
  plat::sleep_ms(60000);
  static_cast<std::atomic<int>*>(arg)->fetch_add(1);
}

int own_nice() {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

void record_nice(void* arg) { static_cast<std::atomic<int>*>(arg)->store(own_nice()); }

TEST_F(Threads, RoutineRunsWithItsArgumentAndIsJoined) {
  std::atomic<int> runs{0};
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(plat::start_thread(add_one, &runs, plat::thread_priority::normal));
  EXPECT_TRUE(plat::join_threads(10000));
  EXPECT_EQ(runs.load(), 4);
  EXPECT_EQ(plat::live_threads(), 0);
}

TEST_F(Threads, NullRoutineIsRefused) {
  EXPECT_FALSE(plat::start_thread(nullptr, nullptr, plat::thread_priority::normal));
  EXPECT_EQ(plat::live_threads(), 0);
}

TEST_F(Threads, JoinHonoursItsBoundWhileAWorkerIsBlocked) {
  plat::use_virtual_clock(true);
  std::atomic<int> finished{0};
  ASSERT_TRUE(plat::start_thread(sleep_a_minute, &finished, plat::thread_priority::normal));
  ASSERT_TRUE(plat::start_thread(sleep_a_minute, &finished, plat::thread_priority::below_normal));
  // Counted from the moment start_thread returns.
  EXPECT_EQ(plat::live_threads(), 2);
  ASSERT_TRUE(wait_for([] { return plat::virtual_sleepers() == 2; }));

  EXPECT_FALSE(plat::join_threads(20));
  EXPECT_FALSE(plat::join_threads(0));
  EXPECT_EQ(plat::live_threads(), 2);
  EXPECT_EQ(finished.load(), 0);

  plat::advance_virtual_ms(60000);
  EXPECT_TRUE(plat::join_threads(10000));
  EXPECT_EQ(plat::live_threads(), 0);
  EXPECT_EQ(finished.load(), 2);
}

TEST_F(Threads, JoinWithNothingRunningSucceedsAtOnce) {
  EXPECT_TRUE(plat::join_threads(0));
  EXPECT_TRUE(plat::join_threads(-5));
}

TEST_F(Threads, BelowNormalRunsAtAHigherNiceValue) {
  const int base = own_nice();
  ASSERT_LT(base, 19) << "the test process already runs at the lowest priority";
  struct Case {
    plat::thread_priority priority;
    bool lowered;
  };
  const Case cases[] = {{plat::thread_priority::normal, false}, {plat::thread_priority::below_normal, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lowered);
    std::atomic<int> seen{-100};
    ASSERT_TRUE(plat::start_thread(record_nice, &seen, c.priority));
    ASSERT_TRUE(plat::join_threads(10000));
    if (c.lowered) {
      EXPECT_GT(seen.load(), base);
      EXPECT_LE(seen.load(), 19);
    } else {
      EXPECT_EQ(seen.load(), base);
    }
  }
}

// The process may end as soon as the count falls to zero (the exit reads it without
// the lock), while the last workers are still on their way out: in the thread-sanitizer
// build the end of the process must race with none of them.
TEST(ThreadsDeathTest, ProcessMayEndAsSoonAsTheCountFallsToZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static std::atomic<int> runs{0};
        for (int i = 0; i < 8; ++i) plat::start_thread(add_one, &runs, plat::thread_priority::normal);
        while (plat::live_threads() > 0) std::this_thread::yield();
        std::exit(runs.load() == 8 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
