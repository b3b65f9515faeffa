// Threads of the system. Each one is detached at once but counted while its routine
// runs; join_threads waits on a condition variable for the count to fall to zero,
// with a real-time bound, so a worker stuck in a device read never holds the
// process at exit for longer than the bound.
//
// The count falling to zero lets the process end at once (the exit reads it without
// the lock), while the last worker is still on its way out. So a worker signals before
// it stops being counted, and the lock and condition variable are never destroyed: the
// static destructors that run at the end of the process cannot pull them from under a
// worker that is still unlocking.
#include "platform/sys/thread.h"

#include <errno.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace plat {
namespace {

// One nice step barely changes a thread's share of the processor; five steps let
// normal threads (the user interface above all) clearly go first without starving
// the worker.
constexpr int kBelowNormalNiceStep = 5;
constexpr int kLowestNice = 19;
constexpr int64_t kLongestJoinMs = 24LL * 3600 * 1000;

std::atomic<int> g_live{0};

// The lock and the condition variable of the count, never destroyed (see above).
std::mutex& count_lock() {
  static auto* const mutex = new std::mutex;
  return *mutex;
}

std::condition_variable& all_done() {
  static auto* const cv = new std::condition_variable;
  return *cv;
}

struct start_block {
  thread_routine routine;
  void* arg;
  thread_priority priority;
};

// On Linux each thread has its own nice value; raising it is always permitted, and
// a failure only leaves the thread at normal priority.
void lower_own_priority() {
  const id_t tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  int nice_now = getpriority(PRIO_PROCESS, tid);
  if (nice_now == -1 && errno != 0) return;
  int wanted = nice_now + kBelowNormalNiceStep;
  if (wanted > kLowestNice) wanted = kLowestNice;
  setpriority(PRIO_PROCESS, tid, wanted);
}

// Notifies under the lock before the count falls: once it reaches zero the process may
// end at any moment, and this thread must not use the condition variable after that.
// A waiter woken here sees the new count, as it takes the lock again to test it.
void thread_exited() {
  std::lock_guard<std::mutex> lock(count_lock());
  all_done().notify_all();
  g_live.fetch_sub(1, std::memory_order_acq_rel);
}

void thread_main(start_block* block) {
  const start_block todo = *block;
  delete block;
  if (todo.priority == thread_priority::below_normal) lower_own_priority();
  todo.routine(todo.arg);
  thread_exited();
}

}  // namespace

bool start_thread(thread_routine routine, void* arg, thread_priority priority) {
  if (!routine) return false;
  auto* block = new (std::nothrow) start_block{routine, arg, priority};
  if (!block) return false;
  // Counted before the thread exists so that a caller reading live_threads right
  // after this returns always sees it.
  g_live.fetch_add(1, std::memory_order_acq_rel);
  try {
    std::thread(thread_main, block).detach();
  } catch (const std::system_error&) {
    delete block;
    thread_exited();
    return false;
  }
  return true;
}

int live_threads() { return g_live.load(std::memory_order_acquire); }

bool join_threads(int64_t bound_ms) {
  if (bound_ms < 0) bound_ms = 0;
  if (bound_ms > kLongestJoinMs) bound_ms = kLongestJoinMs;  // keeps the deadline representable
  std::unique_lock<std::mutex> lock(count_lock());
  return all_done().wait_for(lock, std::chrono::milliseconds(bound_ms),
                            [] { return g_live.load(std::memory_order_acquire) == 0; });
}

}  // namespace plat
