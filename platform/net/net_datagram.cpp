// UDP: one datagram out to an address, a batch of datagrams out in one system call, one
// datagram in with its sender's address.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/net/net.h"
#include "platform/net/net_internal.h"

namespace plat {

namespace {

// A full send buffer is waited out this long before the datagram is given up.
constexpr int64_t kSendWaitMs = 1000;

bool try_again(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

}  // namespace

// The send is tried first; the clock is read only when the buffer is full, so a relay
// that sends one datagram to many addresses pays one system call per datagram.
long net_sendto(int fd, const void* data, size_t len, const net_addr& to) {
  const sockaddr_in sin = net_detail::to_sockaddr(to);
  int64_t deadline = 0;
  bool waited = false;
  for (;;) {
    const ssize_t r = sendto(fd, data, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sin), sizeof sin);
    if (r >= 0) return long(r);
    if (!try_again(errno)) return -errno;
    if (!waited) {
      deadline = net_detail::deadline_after(kSendWaitMs);
      waited = true;
    }
    const int w = net_detail::wait_until(fd, POLLOUT, deadline);
    if (w <= 0) return w == 0 ? kNetTimedOut : w;
  }
}

// sendmmsg takes the batch in slices of kBatchSlice; a slice the system takes in part
// goes on from the first datagram not sent. Without sendmmsg (another system) every
// datagram is one net_sendto.
long net_send_many(int fd, const net_datagram* datagrams, int count) {
  if (fd < 0) return kNetBadSocket;
  if (!datagrams || count < 1) return 0;
#if defined(__linux__)
  constexpr int kBatchSlice = 64;
  mmsghdr msgs[kBatchSlice];
  iovec iov[kBatchSlice];
  sockaddr_in to[kBatchSlice];
  int sent = 0;
  int64_t deadline = 0;
  bool waited = false;
  while (sent < count) {
    const int n = std::min(kBatchSlice, count - sent);
    for (int i = 0; i < n; ++i) {
      const net_datagram& d = datagrams[sent + i];
      to[i] = net_detail::to_sockaddr(d.to);
      iov[i] = {const_cast<void*>(d.data), d.len};
      msgs[i] = {};
      msgs[i].msg_hdr.msg_name = &to[i];
      msgs[i].msg_hdr.msg_namelen = sizeof to[i];
      msgs[i].msg_hdr.msg_iov = &iov[i];
      msgs[i].msg_hdr.msg_iovlen = 1;
    }
    const int r = sendmmsg(fd, msgs, unsigned(n), MSG_NOSIGNAL);
    if (r > 0) {
      sent += r;
      continue;
    }
    const int err = r == 0 ? EAGAIN : errno;
    if (err == ENOSYS) break;  // no batch send here: one by one below
    if (!try_again(err)) return sent > 0 ? sent : -err;
    if (!waited) {
      deadline = net_detail::deadline_after(kSendWaitMs);
      waited = true;
    }
    const int w = net_detail::wait_until(fd, POLLOUT, deadline);
    if (w <= 0) return sent > 0 ? sent : (w == 0 ? kNetTimedOut : w);
  }
  if (sent == count) return sent;
#else
  int sent = 0;
#endif
  for (; sent < count; ++sent) {
    const net_datagram& d = datagrams[sent];
    const long r = net_sendto(fd, d.data, d.len, d.to);
    if (r < 0) return sent > 0 ? sent : r;
  }
  return sent;
}

// A datagram already queued is taken at once (one system call, no poll, no clock
// read): a reader that keeps up with a busy input spends nothing on waiting. Only an
// empty queue starts the bounded wait.
long net_recvfrom(int fd, void* buf, size_t len, net_addr* from, int64_t timeout_ms) {
  int64_t deadline = 0;
  bool waited = false;
  for (;;) {
    sockaddr_in sin{};
    socklen_t slen = sizeof sin;
    const ssize_t r = recvfrom(fd, buf, len, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sin), &slen);
    if (r >= 0) {
      if (from) *from = net_detail::from_sockaddr(sin);
      return long(r);
    }
    if (!try_again(errno)) return -errno;
    if (!waited) {
      deadline = net_detail::deadline_after(timeout_ms);
      waited = true;
    }
    const int w = net_detail::wait_until(fd, POLLIN, deadline);
    if (w <= 0) return w == 0 ? kNetTimedOut : w;
  }
}

int net_set_recv_buffer(int fd, int bytes) {
  if (fd < 0) return int(kNetBadSocket);
  if (bytes < 1) return -EINVAL;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return -errno;
  int got = 0;
  socklen_t n = sizeof got;
  if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &got, &n) != 0) return -errno;
  return got;
}

}  // namespace plat
