// TCP: connect, accept, send and receive, each bounded by its time-out. Descriptors
// are non-blocking, so a call that finds nothing to do waits on the clock
// (net_wait.cpp) and tries again; it never blocks inside the system call.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include "platform/net/net.h"
#include "platform/net/net_internal.h"

namespace plat {

using net_detail::deadline_after;
using net_detail::wait_until;

namespace {

bool try_again(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

// Waits for `events` before the deadline: 0 ready, or the negative code to return.
long ready_or_code(int fd, short events, int64_t deadline) {
  const int w = wait_until(fd, events, deadline);
  if (w > 0) return 0;
  return w == 0 ? kNetTimedOut : w;
}

long recv_until(int fd, void* buf, size_t len, int64_t deadline) {
  if (len == 0) return 0;
  for (;;) {
    if (long code = ready_or_code(fd, POLLIN, deadline)) return code;
    const ssize_t r = recv(fd, buf, len, 0);
    if (r >= 0) return long(r);
    if (!try_again(errno)) return -errno;
  }
}

}  // namespace

int net_connect(int fd, const net_addr& to, int64_t timeout_ms) {
  const int64_t deadline = deadline_after(timeout_ms);
  const sockaddr_in sin = net_detail::to_sockaddr(to);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&sin), sizeof sin) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return -errno;
  if (long code = ready_or_code(fd, POLLOUT, deadline)) return int(code);
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return -errno;
  return -err;
}

int net_accept(int fd, net_addr* peer, int64_t timeout_ms) {
  const int64_t deadline = deadline_after(timeout_ms);
  for (;;) {
    if (long code = ready_or_code(fd, POLLIN, deadline)) return int(code);
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    const int c = accept4(fd, reinterpret_cast<sockaddr*>(&sin), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (c >= 0) {
      if (peer) *peer = net_detail::from_sockaddr(sin);
      return net_detail::lift_descriptor(c);
    }
    if (!try_again(errno) && errno != ECONNABORTED) return -errno;
  }
}

long net_send_all(int fd, const void* data, size_t len, int64_t timeout_ms) {
  const int64_t deadline = deadline_after(timeout_ms);
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < len) {
    const ssize_t r = send(fd, p + sent, len - sent, MSG_NOSIGNAL);
    if (r >= 0) {
      sent += size_t(r);
      continue;
    }
    if (!try_again(errno)) return -errno;
    if (long code = ready_or_code(fd, POLLOUT, deadline)) return code;
  }
  return long(sent);
}

long net_recv_some(int fd, void* buf, size_t len, int64_t timeout_ms) {
  return recv_until(fd, buf, len, deadline_after(timeout_ms));
}

long net_recv_all(int fd, void* buf, size_t len, int64_t timeout_ms) {
  const int64_t deadline = deadline_after(timeout_ms);
  char* p = static_cast<char*>(buf);
  size_t got = 0;
  while (got < len) {
    const long r = recv_until(fd, p + got, len - got, deadline);
    if (r == 0) break;
    if (r < 0) return got > 0 ? long(got) : r;
    got += size_t(r);
  }
  return long(got);
}

}  // namespace plat
