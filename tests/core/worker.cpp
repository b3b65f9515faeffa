// Starting workers (on a thread of their own, or on the caller's thread under
// "MONOTHREAD") and the short sleep, timed by the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/config.h"
#include "core/worker.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "tests/core/config_fixture.h"

namespace {

struct Probe {
  std::thread::id thread;
  void* arg = nullptr;
  std::atomic<bool> done{false};
  int nested_result = -1;
  bool nested_done_first = false;
};

void record(void* arg) {
  Probe* probe = static_cast<Probe*>(arg);
  probe->thread = std::this_thread::get_id();
  probe->arg = arg;
  probe->done.store(true);
}

// A task that starts another task, as the command dispatcher does.
void start_nested(void* arg) {
  Probe* probe = static_cast<Probe*>(arg);
  Probe* inner = probe + 1;
  probe->nested_result = start_thread(record, inner, 0);
  probe->nested_done_first = inner->done.load();
  record(arg);
}

constexpr int64_t kJoinBoundMs = 20000;

// Waits (without sleeping) until the flag is set; false after a generous real bound,
// so that a sleeper that never wakes fails the test instead of hanging it.
bool wait_until_done(const std::atomic<bool>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done.load()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

class WorkerTest : public tm_test::ConfigFixture {};

}  // namespace

TEST_F(WorkerTest, MonothreadRunsTheTaskOnTheCallersThreadBeforeReturning) {
  reload("MONOTHREAD\n");
  for (int priority : {0, -1, 3}) {
    Probe probe;
    EXPECT_EQ(start_thread(record, &probe, priority), 1) << priority;
    EXPECT_TRUE(probe.done.load()) << priority;
    EXPECT_EQ(probe.thread, std::this_thread::get_id()) << priority;
    EXPECT_EQ(probe.arg, &probe) << priority;
  }
}

TEST_F(WorkerTest, MonothreadTaskMayStartAnotherWithoutWaitingForItself) {
  reload("MONOTHREAD\n");
  Probe probes[2];
  EXPECT_EQ(start_thread(start_nested, &probes[0], 0), 1);
  EXPECT_EQ(probes[0].nested_result, 1);
  EXPECT_TRUE(probes[0].nested_done_first);
  EXPECT_TRUE(probes[1].done.load());
  EXPECT_EQ(probes[1].thread, std::this_thread::get_id());
}

TEST_F(WorkerTest, TaskRunsOnAThreadOfItsOwnWithTheSameArgument) {
  reload("");
  for (int priority : {0, -1}) {
    Probe probe;
    EXPECT_EQ(start_thread(record, &probe, priority), 1) << priority;
    ASSERT_TRUE(plat::join_threads(kJoinBoundMs));
    EXPECT_TRUE(probe.done.load()) << priority;
    EXPECT_NE(probe.thread, std::this_thread::get_id()) << priority;
    EXPECT_EQ(probe.arg, &probe) << priority;
  }
}

TEST_F(WorkerTest, NullRoutineIsNotStarted) {
  reload("MONOTHREAD\n");
  EXPECT_EQ(start_thread(nullptr, nullptr, 0), 0);
  reload("");
  EXPECT_EQ(start_thread(nullptr, nullptr, 0), 0);
}

TEST_F(WorkerTest, SleepLastsAtLeastOneMillisecond) {
  plat::use_virtual_clock(true);
  for (int64_t n : {int64_t(0), int64_t(-5), int64_t(1), int64_t(4)}) {
    const int64_t expected = std::max<int64_t>(n, 1);
    const int64_t start = plat::now_ms();
    std::atomic<bool> done{false};
    std::thread sleeper([&] {
      sleep_ms(n);
      done.store(true);
    });
    while (!done.load() && plat::virtual_sleepers() != 1) std::this_thread::yield();
    if (expected > 1) {
      plat::advance_virtual_ms(expected - 1);
      EXPECT_FALSE(done.load()) << n;
    }
    plat::advance_virtual_ms(1);
    EXPECT_TRUE(wait_until_done(done)) << n;
    EXPECT_EQ(plat::now_ms() - start, expected) << n;
    plat::use_virtual_clock(false);  // releases a sleeper that did not wake
    sleeper.join();
    plat::use_virtual_clock(true);
  }
  plat::use_virtual_clock(false);
}
