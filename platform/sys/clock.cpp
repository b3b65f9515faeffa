// The process clock. Normally it reads CLOCK_MONOTONIC and sleeps with
// clock_nanosleep. A test may switch it to a virtual clock: time then stands still
// until advance_virtual_ms moves it, and every sleeper blocks on one condition
// variable until virtual time reaches its deadline. The virtual clock starts at the
// real readings of the moment it is switched on, so readings stay continuous. The
// deadlines of the sleepers are kept, so that a test can tell the sleepers still
// waiting from those that are due and about to run.
#include "platform/sys/clock.h"

#include <errno.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <set>

namespace plat {
namespace {

// Everything below the atomic flag is guarded by g_mutex. The flag is also read
// without the lock so that the real clock costs no locking.
std::atomic<bool> g_virtual_on{false};
std::mutex g_mutex;
std::condition_variable g_wake;
int64_t g_virtual_now = 0;          // virtual monotonic reading, ms
int64_t g_virtual_start = 0;        // g_virtual_now when the clock was switched on
std::time_t g_virtual_wall_start = 0;
std::multiset<int64_t> g_deadlines;  // one entry per thread blocked in virtual_sleep

int64_t real_now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Sleeps on the monotonic clock to an absolute deadline, so that a signal that
// interrupts the wait does not lengthen or shorten it.
void real_sleep(int64_t ms) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(ms / 1000);
  deadline.tv_nsec += static_cast<long>((ms % 1000) * 1000000);
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

// Blocks until virtual time reaches the deadline or the virtual clock is switched
// off. Returns false when the virtual clock was already off (the caller then sleeps
// in real time).
bool virtual_sleep(int64_t ms) {
  std::unique_lock<std::mutex> lock(g_mutex);
  if (!g_virtual_on.load(std::memory_order_relaxed)) return false;
  // A deadline past the end of the clock's range never comes; it is kept in range.
  const int64_t deadline = ms > INT64_MAX - g_virtual_now ? INT64_MAX : g_virtual_now + ms;
  auto entry = g_deadlines.insert(deadline);
  g_wake.wait(lock, [deadline] {
    return !g_virtual_on.load(std::memory_order_relaxed) || g_virtual_now >= deadline;
  });
  g_deadlines.erase(entry);
  return true;
}

}  // namespace

int64_t now_ms() {
  if (g_virtual_on.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_virtual_on.load(std::memory_order_relaxed)) return g_virtual_now;
  }
  return real_now_ms();
}

std::time_t wall_time() {
  if (g_virtual_on.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_virtual_on.load(std::memory_order_relaxed))
      return g_virtual_wall_start + static_cast<std::time_t>((g_virtual_now - g_virtual_start) / 1000);
  }
  return std::time(nullptr);
}

void sleep_ms(int64_t ms) {
  if (ms < 1) ms = 1;
  if (g_virtual_on.load(std::memory_order_acquire) && virtual_sleep(ms)) return;
  real_sleep(ms);
}

void use_virtual_clock(bool on) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (on == g_virtual_on.load(std::memory_order_relaxed)) return;
    if (on) {
      g_virtual_now = real_now_ms();
      g_virtual_start = g_virtual_now;
      g_virtual_wall_start = std::time(nullptr);
    }
    g_virtual_on.store(on, std::memory_order_release);
  }
  // Switching off releases every sleeper: the time they waited for no longer exists.
  if (!on) g_wake.notify_all();
}

bool virtual_clock_on() { return g_virtual_on.load(std::memory_order_acquire); }

void advance_virtual_ms(int64_t ms) {
  if (ms <= 0) return;  // the clock is monotonic
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_virtual_on.load(std::memory_order_relaxed)) return;
    g_virtual_now = ms > INT64_MAX - g_virtual_now ? INT64_MAX : g_virtual_now + ms;
  }
  g_wake.notify_all();
}

int virtual_sleepers() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return int(g_deadlines.size());
}

int virtual_sleepers_waiting() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return int(std::distance(g_deadlines.upper_bound(g_virtual_now), g_deadlines.end()));
}

}  // namespace plat

namespace plat {
bool local_time(std::time_t t, std::tm* out) { return localtime_r(&t, out) != nullptr; }
}  // namespace plat
