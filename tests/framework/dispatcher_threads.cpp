// Where tasks run: worker tasks on threads of their own (started through start_thread),
// or, under "MONOTHREAD", inside the dispatcher on the user-interface thread; delayed
// posts in both modes; and the yield tests that workers ask while the user-interface
// thread writes the slot table.
#include "tests/framework/dispatcher_fixture.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait.h"

using namespace dispatch_test;
using Strings = std::vector<std::string>;

namespace {

std::vector<std::thread::id> task_threads() {
  std::lock_guard<std::mutex> guard(R().lock);
  return R().task_threads;
}

// Posts three loads, a redraw and a load again while idle, and runs to rest.
void run_mixed_commands() {
  post_load_command("/a", 1);
  post_load_command("/b", 1);
  post_redraw();
  post_load_command("/c", 0);
  ASSERT_TRUE(tm_test::run_until_idle());
}

// A thread that moves the virtual clock by `ms` once something sleeps on it.
std::thread advance_clock_when_asleep(int ms) {
  return std::thread([ms] {
    ASSERT_TRUE(tm_test::wait_for([] { return plat::virtual_sleepers() > 0; }));
    plat::advance_virtual_ms(ms);
  });
}

class DispatcherThreads : public DispatcherFixture {
 protected:
  // Runs the mixed commands on an open frame; they run in the same order whichever
  // thread runs the tasks: a thread of their own each, or the user-interface thread.
  static void expect_mixed_commands_in_order(bool on_ui_thread) {
    run_mixed_commands();
    // The first load starts at once; the others arrive while it runs and wait in order.
    EXPECT_EQ(runs(), (Strings{"task 14:1/a", "task 14:1/b", "task 14:0/c", "redraw",
                               "overviews", "ecw"}));
    const auto threads = task_threads();
    ASSERT_EQ(threads.size(), 5u);
    for (const auto& id : threads) {
      if (on_ui_thread) EXPECT_EQ(id, std::this_thread::get_id());
      else EXPECT_NE(id, std::this_thread::get_id());
    }
    expect_at_rest();
  }
};

}  // namespace

TEST_F(DispatcherThreads, WorkerTasksRunOnThreadsOfTheirOwn) {
  open_frame();
  expect_mixed_commands_in_order(false);
}

TEST_F(DispatcherThreads, MonothreadRunsTasksInsideTheDispatcherInTheSameOrder) {
  reload("MONOTHREAD\n");
  open_frame();
  expect_mixed_commands_in_order(true);
}

TEST_F(DispatcherThreads, MonothreadDelayedPostSleepsOnTheCallersThread) {
  reload("MONOTHREAD\n");
  open_frame();
  // The post itself sleeps 50 ms of virtual time; another thread moves the clock.
  std::thread clock_mover = advance_clock_when_asleep(50);
  EXPECT_EQ(post_command(11, 50, "late"), 1);
  clock_mover.join();
  EXPECT_EQ(task_slot_state(11), 2);
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"11:late", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(DispatcherThreads, MonothreadSlot7EndsThroughItsDelay) {
  reload("MONOTHREAD\n");
  open_frame();
  std::thread clock_mover = advance_clock_when_asleep(300);
  post_command_simple(7);
  ASSERT_TRUE(tm_test::run_until_idle());
  clock_mover.join();
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(DispatcherThreads, WorkPendingIsZeroWheneverTheStopRequestIsSet) {
  struct Case {
    int queued;  // slot given a queued place (0: none)
    int stop;
    int pending;   // expected: some call of 18 answers 1
    int nonempty;  // expected task_queue_nonempty
  } cases[] = {
      {0, 0, 0, 0},  {5, 0, 1, 1},  {22, 0, 1, 1}, {13, 0, 1, 1},
      {4, 0, 0, 1},  // the redraw is only seen by the full test
      {5, 1, 0, 0},  {22, 1, 0, 0}, {4, 1, 0, 0},
  };
  for (const Case& c : cases) {
    task_slots_init();
    if (c.queued) task_requeue(c.queued, 3);
    set_stop_request(c.stop);
    int seen = 0;
    for (int i = 0; i < 18; ++i) seen |= task_work_pending();
    EXPECT_EQ(seen, c.pending) << c.queued << " stop " << c.stop;
    EXPECT_EQ(task_queue_nonempty(), c.nonempty) << c.queued << " stop " << c.stop;
    // Asked again from a worker thread: the same answers.
    int from_worker = -1;
    std::thread([&] {
      int s = 0;
      for (int i = 0; i < 18; ++i) s |= task_work_pending();
      from_worker = s;
    }).join();
    EXPECT_EQ(from_worker, c.pending) << c.queued << " stop " << c.stop;
  }
  set_stop_request(0);
}

TEST_F(DispatcherThreads, ARedrawYieldsToACommandQueuedBehindIt) {
  open_frame();
  // The redraw task asks the yield test while the user-interface thread queues a slot.
  static std::atomic<int> asked_until_pending{0};
  asked_until_pending.store(0);
  get_dispatcher_hooks().redraw_run = [](void*) {
    note("redraw");
    int calls = 0;
    while (!task_work_pending()) {
      ++calls;
      plat::sleep_ms(1);
    }
    asked_until_pending.store(calls + 1);
    task_end();
  };
  post_redraw();
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(task_running_slot(), 4);
  post_command(20, 0, "1 reload");
  ASSERT_TRUE(tm_test::run_until_idle());
  for (int i = 0; i < 20 && asked_until_pending.load() == 0; ++i) tm_test::advance_time(1);
  EXPECT_GT(asked_until_pending.load(), 0);
  EXPECT_EQ(runs(), (Strings{"redraw", "20:1 reload", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(DispatcherThreads, ManyThreadsPostingWhileTasksRunLoseNoText) {
  open_frame();
  constexpr int kThreads = 4, kEach = 25;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([t] {
      for (int i = 0; i < kEach; ++i)
        post_command(12, 0, (std::to_string(t) + "." + std::to_string(i)).c_str());
    });
  for (auto& p : posters) p.join();
  ASSERT_TRUE(tm_test::run_until_idle());
  Strings ran = runs();
  ASSERT_EQ(ran.size(), size_t(kThreads * kEach + 2));
  // Each thread's texts run in the order that thread posted them.
  for (int t = 0; t < kThreads; ++t) {
    int next = 0;
    for (const std::string& r : ran) {
      if (r.rfind("task 12:" + std::to_string(t) + ".", 0) == 0) {
        EXPECT_EQ(r, "task 12:" + std::to_string(t) + "." + std::to_string(next++));
      }
    }
    EXPECT_EQ(next, kEach);
  }
  expect_at_rest();
}
