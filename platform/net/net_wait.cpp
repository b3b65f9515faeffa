// Waits on descriptors, measured on the platform clock. With the real clock one poll
// covers the time that remains (repeated after a signal). Under the virtual clock
// time moves only when a test advances it, so the wait is a loop of short real polls
// that ends when the descriptor is ready or virtual time has reached the deadline.
#include "platform/net/net_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <list>
#include <mutex>

#include "platform/net/net.h"
#include "platform/sys/clock.h"

namespace plat {
namespace {

constexpr int kVirtualSliceMs = 2;  // real length of one poll under the virtual clock
std::atomic<int> g_waiters{0};

// Every waiter, with what it waits for, so that a test can tell a waiter still blocked
// from one about to run.
struct waiter {
  int fd;
  short events;
  int64_t deadline;
};
std::mutex g_mutex;
std::list<waiter> g_list;

class waiter_count {
 public:
  waiter_count(int fd, short events, int64_t deadline) {
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      at_ = g_list.insert(g_list.end(), waiter{fd, events, deadline});
    }
    g_waiters.fetch_add(1, std::memory_order_acq_rel);
  }
  ~waiter_count() {
    g_waiters.fetch_sub(1, std::memory_order_acq_rel);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_list.erase(at_);
  }
  waiter_count(const waiter_count&) = delete;
  waiter_count& operator=(const waiter_count&) = delete;

 private:
  std::list<waiter>::iterator at_;
};

// Real milliseconds of the next poll: -1 (no end), 0 (last look) or a slice.
int poll_slice(int64_t deadline, int64_t now) {
  if (deadline == net_detail::kNoDeadline) return virtual_clock_on() ? kVirtualSliceMs : -1;
  const int64_t left = std::max<int64_t>(0, deadline - now);
  if (left == 0) return 0;
  if (virtual_clock_on()) return kVirtualSliceMs;
  return int(std::min<int64_t>(left, INT_MAX));
}

}  // namespace

namespace net_detail {

int64_t deadline_after(int64_t timeout_ms) {
  if (timeout_ms < 0) return kNoDeadline;
  const int64_t now = now_ms();
  return timeout_ms >= kNoDeadline - now ? kNoDeadline - 1 : now + timeout_ms;
}

int wait_until(int fd, short events, int64_t deadline) {
  if (fd < 0) return int(kNetBadSocket);
  waiter_count counted(fd, events, deadline);
  for (;;) {
    const int slice = poll_slice(deadline, now_ms());
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, slice);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (r > 0) return (p.revents & POLLNVAL) ? int(kNetBadSocket) : 1;
    if (slice == 0) return 0;
  }
}

int lift_descriptor(int fd) {
  if (fd < 0 || fd >= 3) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

}  // namespace net_detail

int net_waiters() { return g_waiters.load(std::memory_order_acquire); }

int net_waiters_waiting() {
  const int64_t now = now_ms();
  std::lock_guard<std::mutex> lock(g_mutex);
  int n = 0;
  for (const waiter& w : g_list) {
    if (w.deadline != net_detail::kNoDeadline && w.deadline <= now) continue;
    pollfd p{w.fd, w.events, 0};
    if (poll(&p, 1, 0) == 0) ++n;
  }
  return n;
}

int net_wait_readable(int fd, int64_t timeout_ms) {
  return net_detail::wait_until(fd, POLLIN, net_detail::deadline_after(timeout_ms));
}

int net_wait_writable(int fd, int64_t timeout_ms) {
  return net_detail::wait_until(fd, POLLOUT, net_detail::deadline_after(timeout_ms));
}

}  // namespace plat
