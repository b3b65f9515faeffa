// UDP: one datagram out to an address, one datagram in with its sender's address.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include "platform/net/net.h"
#include "platform/net/net_internal.h"

namespace plat {

namespace {

// A full send buffer is waited out this long before the datagram is given up.
constexpr int64_t kSendWaitMs = 1000;

bool try_again(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

}  // namespace

long net_sendto(int fd, const void* data, size_t len, const net_addr& to) {
  const sockaddr_in sin = net_detail::to_sockaddr(to);
  const int64_t deadline = net_detail::deadline_after(kSendWaitMs);
  for (;;) {
    const ssize_t r = sendto(fd, data, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sin), sizeof sin);
    if (r >= 0) return long(r);
    if (!try_again(errno)) return -errno;
    const int w = net_detail::wait_until(fd, POLLOUT, deadline);
    if (w <= 0) return w == 0 ? kNetTimedOut : w;
  }
}

long net_recvfrom(int fd, void* buf, size_t len, net_addr* from, int64_t timeout_ms) {
  const int64_t deadline = net_detail::deadline_after(timeout_ms);
  for (;;) {
    const int w = net_detail::wait_until(fd, POLLIN, deadline);
    if (w <= 0) return w == 0 ? kNetTimedOut : w;
    sockaddr_in sin{};
    socklen_t slen = sizeof sin;
    const ssize_t r = recvfrom(fd, buf, len, 0, reinterpret_cast<sockaddr*>(&sin), &slen);
    if (r >= 0) {
      if (from) *from = net_detail::from_sockaddr(sin);
      return long(r);
    }
    if (!try_again(errno)) return -errno;
  }
}

}  // namespace plat
