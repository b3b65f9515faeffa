// What the files of platform/net share: bounded waits on a descriptor (a deadline is
// a reading of the platform clock, INT64_MAX for none) and address conversion.
#pragma once
#include <netinet/in.h>

#include <cstdint>

#include "platform/net/net.h"

namespace plat::net_detail {

constexpr int64_t kNoDeadline = INT64_MAX;

// The deadline of a time-out that starts now (below 0: none).
int64_t deadline_after(int64_t timeout_ms);
// Waits until the descriptor has one of `events` (poll bits) or the deadline passes:
// 1 ready (an error or hang-up counts as ready, the next call reports it), 0 the
// deadline passed, a negative code on error.
int wait_until(int fd, short events, int64_t deadline);
// A descriptor of 3 or more, so that 0 can stand for "none" in records; the
// descriptor given is closed when it had to be moved. -1 stays -1.
int lift_descriptor(int fd);

sockaddr_in to_sockaddr(const net_addr& a);
net_addr from_sockaddr(const sockaddr_in& sin);

}  // namespace plat::net_detail
