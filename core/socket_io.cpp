// Transfers on socket objects: connect and listen, send, bounded receive, and the UDP
// server's receive that remembers its first sender and answers only it.
//
// Every wait is bounded. A TCP receive never runs past its time-out: the whole call,
// not only its first wait, ends at one deadline, and a receive made without a time-out
// is bounded by the receive time-out that socket_connect gives the connection.
#include <cstring>

#include "core/socket.h"
#include "platform/net/net.h"
#include "platform/sys/clock.h"

namespace {

constexpr int64_t kRecvBoundMs = int64_t(kSocketRecvTimeoutS) * 1000;
constexpr int kListenBacklog = 10;

int fd_of(const socket_t* s) { return int(s->handle); }

uint16_t port_of(const sock_addr_v4& a) { return uint16_t((a.port >> 8) | ((a.port & 0xFF) << 8)); }

plat::net_addr to_net(const sock_addr_v4& a) {
  plat::net_addr n;
  std::memcpy(&n.addr, a.addr, 4);
  n.port = port_of(a);
  return n;
}

sock_addr_v4 from_net(const plat::net_addr& n) {
  sock_addr_v4 a{};
  a.family = 2;
  a.port = uint16_t((n.port >> 8) | ((n.port & 0xFF) << 8));
  std::memcpy(a.addr, &n.addr, 4);
  return a;
}

bool same_peer(const sock_addr_v4& a, const sock_addr_v4& b) {
  return a.port == b.port && std::memcmp(a.addr, b.addr, 4) == 0;
}

void fail_listen(socket_t* s) {
  socket_close(s);
  s->bound = 0;
}

}  // namespace

int socket_connect(socket_t* s) {
  if (!s || s->handle == 0 || s->protocol != SOCK_TCP) return -1;
  const int r = plat::net_connect(fd_of(s), to_net(s->own), kRecvBoundMs);
  if (r != 0) socket_close(s);
  return r;
}

int socket_listen(socket_t* s) {
  if (!s || s->handle == 0) return -1;
  s->bound = 1;
  int r = plat::net_bind(fd_of(s), to_net(s->own));
  if (r == 0 && s->protocol == SOCK_TCP) r = plat::net_listen(fd_of(s), kListenBacklog);
  // A UDP server queues bursts of datagrams while its reader is busy; a buffer the
  // system does not grant only makes losses more likely, so it is not an error.
  if (r == 0 && s->protocol != SOCK_TCP) plat::net_set_recv_buffer(fd_of(s), kSocketUdpRecvBuffer);
  if (r != 0) fail_listen(s);
  return r;
}

// A UDP socket answers its remembered client; without one it sends to its own address.
int socket_send(socket_t* s, const void* data, int len) {
  if (!s || s->handle == 0 || len < 0 || (!data && len > 0)) return -1;
  long r;
  if (s->protocol == SOCK_TCP) {
    r = plat::net_send_all(fd_of(s), data, size_t(len), kRecvBoundMs);
  } else {
    const sock_addr_v4& to = s->client.port != 0 ? s->client : s->own;
    r = plat::net_sendto(fd_of(s), data, size_t(len), to_net(to));
  }
  return r < 0 ? -1 : int(r);
}

int socket_recv(socket_t* s, void* buf, int len, int timeout_s) {
  if (!s || s->handle == 0 || len < 1 || !buf) return 0;
  const int64_t bound = timeout_s > 0 ? int64_t(timeout_s) * 1000 : kRecvBoundMs;
  const int64_t deadline = plat::now_ms() + bound;
  if (timeout_s > 0 && plat::net_wait_readable(fd_of(s), bound) <= 0) return -1;
  const int64_t left = deadline - plat::now_ms();
  const long r = plat::net_recv_all(fd_of(s), buf, size_t(len), left > 0 ? left : 0);
  if (r == plat::kNetTimedOut) return -1;
  return int(r);
}

int socket_recvfrom(socket_t* s, void* buf, int len) {
  if (!s || s->handle == 0 || len < 1 || !buf) return 0;
  plat::net_addr from;
  const long r = plat::net_recvfrom(fd_of(s), buf, size_t(len), &from, kSocketRecvfromWaitMs);
  if (r == plat::kNetTimedOut) {
    plat::sleep_ms(kSocketIdlePauseMs);
    return 0;
  }
  if (r < 0) return 0;
  const sock_addr_v4 sender = from_net(from);
  if (s->client.port == 0) {
    s->client = sender;
    socket_status_text(s);
  } else if (!same_peer(sender, s->client)) {
    return 0;
  }
  return int(r);
}
