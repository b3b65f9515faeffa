// Bounded descriptor waits for the ports, on the platform clock (see port_wait.h).
#include "platform/serial/port_wait.h"

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <climits>

#include "platform/sys/clock.h"

namespace plat {
namespace {

constexpr int64_t kNoDeadline = INT64_MAX;
constexpr int kVirtualSliceMs = 2;  // real length of one poll under the virtual clock

std::atomic<int> g_waiters{0};
std::atomic<uint64_t> g_begun{0};

struct waiter_count {
  waiter_count() {
    g_waiters.fetch_add(1, std::memory_order_acq_rel);
    g_begun.fetch_add(1, std::memory_order_acq_rel);
  }
  ~waiter_count() { g_waiters.fetch_sub(1, std::memory_order_acq_rel); }
};

// Real milliseconds of the next poll: -1 (no end), 0 (last look) or a slice.
int poll_slice(int64_t deadline, int64_t now) {
  if (deadline == kNoDeadline) return virtual_clock_on() ? kVirtualSliceMs : -1;
  const int64_t left = std::max<int64_t>(0, deadline - now);
  if (left == 0) return 0;
  if (virtual_clock_on()) return kVirtualSliceMs;
  return int(std::min<int64_t>(left, INT_MAX));
}

}  // namespace

int64_t port_deadline(int64_t timeout_ms) {
  if (timeout_ms < 0) return kNoDeadline;
  const int64_t now = now_ms();
  return timeout_ms >= kNoDeadline - now ? kNoDeadline - 1 : now + timeout_ms;
}

int port_wait(int fd, short events, int64_t deadline) {
  if (fd < 0) return -1;
  waiter_count counted;
  for (;;) {
    const int slice = poll_slice(deadline, now_ms());
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, slice);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r > 0) return p.revents ? p.revents : events;
    if (slice == 0) return 0;
  }
}

int port_waiters() { return g_waiters.load(std::memory_order_acquire); }
uint64_t port_waits_begun() { return g_begun.load(std::memory_order_acquire); }

}  // namespace plat
