// Socket descriptors: opening (non-blocking, so that every wait is ours and bounded),
// closing, binding, listening and the bound address.
#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/net/net.h"
#include "platform/net/net_internal.h"

namespace plat {

namespace net_detail {

sockaddr_in to_sockaddr(const net_addr& a) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(a.port);
  sin.sin_addr.s_addr = a.addr;
  return sin;
}

net_addr from_sockaddr(const sockaddr_in& sin) {
  net_addr a;
  a.addr = sin.sin_addr.s_addr;
  a.port = ntohs(sin.sin_port);
  return a;
}

}  // namespace net_detail

namespace {

bool is_stream(int fd) {
  int type = 0;
  socklen_t len = sizeof type;
  return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_STREAM;
}

}  // namespace

int net_open(bool tcp) {
  const int type = (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC;
  return net_detail::lift_descriptor(socket(AF_INET, type, 0));
}

void net_shutdown(int fd) {
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void net_close(int fd) {
  if (fd < 0) return;
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

bool net_local_addr(int fd, net_addr* out) {
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  if (!out || getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len) != 0 || sin.sin_family != AF_INET)
    return false;
  *out = net_detail::from_sockaddr(sin);
  return true;
}

// A listener may take its port again at once after a restart (address reuse); a
// datagram socket does not, since on Linux that would let two servers share a port.
int net_bind(int fd, const net_addr& at) {
  if (is_stream(fd)) {
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  const sockaddr_in sin = net_detail::to_sockaddr(at);
  return bind(fd, reinterpret_cast<const sockaddr*>(&sin), sizeof sin) == 0 ? 0 : -errno;
}

int net_listen(int fd, int backlog) { return listen(fd, backlog) == 0 ? 0 : -errno; }

}  // namespace plat
