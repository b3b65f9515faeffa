// Bounded waits on the descriptor of a port (a serial line, or a pipe of the simulated
// USB device), measured on the platform clock. With the real clock one poll covers the
// time that remains. Under the virtual clock time moves only when a test advances it,
// so the wait is a loop of short real polls that ends when the descriptor is ready or
// virtual time has reached the deadline; the counters below let such a test see that a
// port is waiting before it moves the clock.
#pragma once
#include <cstdint>

namespace plat {

// A deadline on the platform clock for a time-out that starts now (below 0: none).
int64_t port_deadline(int64_t timeout_ms);
// Waits until the descriptor has one of `events` (poll bits) or the deadline passes:
// the poll's revents (non-zero: ready, an error or hang-up counts as ready), 0 the
// deadline passed, or -1 when the poll itself failed.
int port_wait(int fd, short events, int64_t deadline);

// For tests: threads inside port_wait now, and the number of waits begun so far.
int port_waiters();
uint64_t port_waits_begun();

}  // namespace plat
