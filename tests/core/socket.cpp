// Socket objects on loopback: creation and its address (taken over from a socket of
// the same host), the status and name texts, TCP connect, send and bounded receives
// (measured on the virtual clock), and the UDP server that remembers its first sender
// and answers only it.
#include "core/socket.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "tests/support/net_loopback.h"
#include "tests/support/object_env.h"

namespace {

using tm_test::loopback_socket;
using tm_test::run_on_virtual_clock;

class Socket : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    socket_register_type();
  }
  socket_t* make(const char* host, int port, int protocol) {
    socket_t* s = nullptr;
    socket_create(host, port, protocol, &s);
    return s;
  }
};

uint32_t addr_of(const sock_addr_v4& a) {
  uint32_t v;
  std::memcpy(&v, a.addr, 4);
  return v;
}

std::string str(const char* s) { return s ? s : "(null)"; }

TEST_F(Socket, CreationRefusesBadPortsAndFillsTheRecord) {
  struct row { const char* host; int port; int protocol; bool made; const char* name; const char* status; };
  const row rows[] = {
      {"127.0.0.1", 0, SOCK_TCP, false, "", ""},
      {"127.0.0.1", -5, 0, false, "", ""},
      {"127.0.0.1", 70000, SOCK_TCP, false, "", ""},
      {"127.0.0.1", 8080, SOCK_TCP, true, "127.0.0.1:8080", "TCP 127.0.0.1:8080"},
      {nullptr, 10110, 2, true, ":10110", "UDP 10110  NO CLIENT "},
      {"", 10110, 0, true, ":10110", "UDP 10110  NO CLIENT "},
  };
  for (const row& r : rows) {
    socket_t* out = reinterpret_cast<socket_t*>(1);
    socket_t* s = socket_create(r.host, r.port, r.protocol, &out);
    EXPECT_EQ(s, out);
    ASSERT_EQ(s != nullptr, r.made) << r.port;
    if (!s) continue;
    EXPECT_EQ(s->cls, CLS_SOCKET);
    EXPECT_NE(s->id, 0);
    EXPECT_EQ(str(s->name), r.name);
    EXPECT_EQ(str(s->status), r.status);
    EXPECT_EQ(str(s->host), r.host ? r.host : "");
    EXPECT_NE(socket_handle(s), 0u);
    EXPECT_EQ(s->own.family, 2);
    EXPECT_EQ(s->own.port, uint16_t(((r.port & 0xFF) << 8) | (r.port >> 8)));  // network order
    EXPECT_EQ(s->dgram_size, 1439);
    EXPECT_EQ(s->bound, 0);
    EXPECT_EQ(s->client.port, 0);
    free_obj(&s);
  }
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(Socket, AddressesComeFromTextTakeOverOrTheResolver) {
  socket_t* any = make("", 10110, 0);
  ASSERT_NE(any, nullptr);
  EXPECT_EQ(addr_of(any->own), 0u);  // any address, ready to listen

  socket_t* first = make("localhost", 80, SOCK_TCP);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(addr_of(first->own), tm_test::loopback_addr());
  EXPECT_EQ(first->addr_len, 4);
  // A second socket for the same host takes the first one's address over instead of
  // resolving again: a changed address in the first shows through.
  const uint8_t other[4] = {127, 0, 0, 2};
  std::memcpy(first->own.addr, other, 4);
  socket_t* second = make("localhost", 81, SOCK_TCP);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::memcmp(second->own.addr, other, 4), 0);
  EXPECT_EQ(second->addr_len, 4);
  // The host name compares exactly.
  socket_t* upper = make("LOCALHOST", 82, SOCK_TCP);
  if (upper) {
    EXPECT_EQ(addr_of(upper->own), tm_test::loopback_addr());
  }
  free_obj(&first);
  free_obj(&second);
  socket_t* fresh = make("localhost", 83, SOCK_TCP);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(addr_of(fresh->own), tm_test::loopback_addr());
  free_obj(&fresh);
  free_obj(&upper);
  free_obj(&any);
}

// Sockets for one host created on several threads at once: a socket that takes over
// another's address never sees that socket before its address is filled in.
TEST_F(Socket, ConcurrentCreationsTakeOverOnlyFilledAddresses) {
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::vector<std::vector<socket_t*>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&made, t] {
      for (int i = 0; i < kEach; ++i) {
        socket_t* s = nullptr;
        socket_create("localhost", 1000 + i, SOCK_TCP, &s);
        made[size_t(t)].push_back(s);
      }
    });
  for (auto& th : threads) th.join();
  for (auto& list : made)
    for (socket_t*& s : list) {
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(addr_of(s->own), tm_test::loopback_addr());
      free_obj(&s);
    }
}

TEST_F(Socket, StatusTextShowsTheRememberedClient) {
  socket_t* s = make("", 10110, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(socket_status_text(s), "UDP 10110  NO CLIENT ");
  const uint8_t peer[4] = {192, 168, 0, 5};
  std::memcpy(s->client.addr, peer, 4);
  s->client.port = 0x3930;
  EXPECT_STREQ(socket_status_text(s), "UDP 10110  CLIENT 192.168.0.5");
  socket_forget_client(s);
  EXPECT_STREQ(s->status, "UDP 10110  NO CLIENT ");
  EXPECT_EQ(addr_of(s->client), 0u);
  EXPECT_STREQ(socket_status_text(nullptr), "");
  EXPECT_EQ(socket_handle(nullptr), 0u);
  free_obj(&s);
}

// A TCP client and a listener of the test on loopback.
struct tcp_link {
  loopback_socket listener{true};
  socket_t* client = nullptr;
  int server = -1;
  int connect_result = -1;
  tcp_link() {
    socket_create("127.0.0.1", listener.port, SOCK_TCP, &client);
    if (!client) return;
    connect_result = socket_connect(client);
    if (connect_result == 0) server = plat::net_accept(listener.fd, nullptr, 5000);
  }
  ~tcp_link() {
    free_obj(&client);
    plat::net_close(server);
  }
};

TEST_F(Socket, TcpSendsExactBytesAndReceivesUntilThePeersEnd) {
  tcp_link l;
  ASSERT_EQ(l.connect_result, 0);
  ASSERT_GE(l.server, 3);
  const char request[] = "GET /a.gpx HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  const int n = int(sizeof request - 1);
  EXPECT_EQ(socket_send(l.client, request, n), n);
  std::string got(n, '\0');
  EXPECT_EQ(plat::net_recv_all(l.server, got.data(), got.size(), 5000), n);
  EXPECT_EQ(got, request);

  ASSERT_EQ(plat::net_send_all(l.server, "hello world", 11, 5000), 11);
  plat::net_close(l.server);
  l.server = -1;
  char buf[64] = {};
  struct row { int len; int timeout_s; int expect; const char* text; };
  const row rows[] = {
      {5, 5, 5, "hello"},      // exactly len bytes
      {0, 5, 0, ""},           // a length below 1
      {64, 0, 6, " world"},    // the rest, up to the peer's end
      {64, 5, 0, ""},          // the peer has closed
  };
  for (const row& r : rows) {
    EXPECT_EQ(socket_recv(l.client, buf, r.len, r.timeout_s), r.expect) << r.text;
    if (r.expect > 0) {
      EXPECT_EQ(std::string(buf, size_t(r.expect)), r.text);
    }
  }
  socket_close(l.client);
  EXPECT_EQ(socket_handle(l.client), 0u);
  EXPECT_EQ(socket_recv(l.client, buf, 10, 5), 0);
  EXPECT_EQ(socket_send(l.client, "x", 1), -1);
}

TEST_F(Socket, FailedConnectClosesTheSocket) {
  socket_t* s = make("127.0.0.1", tm_test::unused_loopback_port(), SOCK_TCP);
  ASSERT_NE(s, nullptr);
  EXPECT_NE(socket_connect(s), 0);
  EXPECT_EQ(socket_handle(s), 0u);
  free_obj(&s);
}

TEST_F(Socket, FreeingASocketClosesItsConnection) {
  tcp_link l;
  ASSERT_GE(l.server, 3);
  free_obj(&l.client);
  char buf[4];
  EXPECT_EQ(plat::net_recv_some(l.server, buf, sizeof buf, 5000), 0);  // the peer's end
}

// Every receive ends at its time-out even when the peer stalls after a first part:
// nothing at all gives -1, a stalled part is returned as it is, and a receive without
// a time-out is bounded by the connection's receive time-out.
TEST_F(Socket, ReceiveNeverRunsPastItsTimeOut) {
  struct row { int timeout_s; const char* sent_first; int expect; int64_t bound_ms; };
  const row rows[] = {
      {5, "", -1, 5000},
      {5, "abc", 3, 5000},
      {0, "", -1, int64_t(kSocketRecvTimeoutS) * 1000},
      {0, "partial", 7, int64_t(kSocketRecvTimeoutS) * 1000},
  };
  for (const row& r : rows) {
    tcp_link l;
    ASSERT_GE(l.server, 3);
    const int n = int(std::strlen(r.sent_first));
    if (n) {
      ASSERT_EQ(plat::net_send_all(l.server, r.sent_first, size_t(n), 1000), n);
    }
    char buf[32] = {};
    int result = 1234;
    const int64_t took = run_on_virtual_clock([&] { result = socket_recv(l.client, buf, sizeof buf, r.timeout_s); },
                                              r.bound_ms / 40);
    EXPECT_EQ(result, r.expect) << r.timeout_s << " " << r.sent_first;
    EXPECT_EQ(std::string(buf, size_t(n)), r.sent_first);
    EXPECT_GE(took, r.bound_ms);
    EXPECT_LT(took, r.bound_ms + 5000);
  }
}

TEST_F(Socket, ListenBindsOrClosesOnFailure) {
  loopback_socket taken(false);
  socket_t* busy = make("127.0.0.1", taken.port, 0);
  ASSERT_NE(busy, nullptr);
  EXPECT_NE(socket_listen(busy), 0);  // the port is in use
  EXPECT_EQ(socket_handle(busy), 0u);
  EXPECT_EQ(busy->bound, 0);
  free_obj(&busy);

  const uint16_t port = tm_test::unused_loopback_port();
  socket_t* tcp = make("127.0.0.1", port, SOCK_TCP);
  ASSERT_NE(tcp, nullptr);
  EXPECT_EQ(socket_listen(tcp), 0);
  EXPECT_EQ(tcp->bound, 1);
  const int fd = plat::net_open(true);
  EXPECT_EQ(plat::net_connect(fd, {tm_test::loopback_addr(), port}, 5000), 0);
  plat::net_close(fd);
  free_obj(&tcp);
}

// The UDP server of NMEA data: the first sender becomes its client, is answered, and is
// the only one heard until the client is forgotten.
TEST_F(Socket, UdpServerRemembersAndAnswersTheFirstSender) {
  const uint16_t port = tm_test::unused_loopback_port();
  socket_t* server = make("127.0.0.1", port, 0);
  ASSERT_NE(server, nullptr);
  ASSERT_EQ(socket_listen(server), 0);
  loopback_socket a(false), b(false);
  const std::string p = std::to_string(port);
  const std::string no_client = "UDP " + p + "  NO CLIENT ";
  const std::string client = "UDP " + p + "  CLIENT 127.0.0.1";
  struct row { const loopback_socket* from; const char* text; int expect; bool forget_first; const std::string* status; const loopback_socket* answered; };
  const row rows[] = {
      {&a, "$GPGGA,one", 10, false, &client, &a},
      {&b, "$GPGGA,two", 0, false, &client, &a},   // another sender is not heard
      {&a, "$GPRMC,3", 8, false, &client, &a},
      {&b, "$GPRMC,4", 8, true, &client, &b},      // after forgetting, the next sender is
  };
  for (const row& r : rows) {
    if (r.forget_first) {
      socket_forget_client(server);
      EXPECT_EQ(str(server->status), no_client);
    }
    const size_t n = std::strlen(r.text);
    ASSERT_EQ(plat::net_sendto(r.from->fd, r.text, n, {tm_test::loopback_addr(), port}), long(n));
    char buf[64] = {};
    EXPECT_EQ(socket_recvfrom(server, buf, sizeof buf), r.expect) << r.text;
    if (r.expect) {
      EXPECT_EQ(std::string(buf, n), r.text);
    }
    EXPECT_EQ(str(server->status), *r.status);
    // The answer goes to the remembered client only.
    EXPECT_EQ(socket_send(server, "ACK", 3), 3);
    const loopback_socket* other = r.answered == &a ? &b : &a;
    plat::net_addr from;
    char reply[8] = {};
    EXPECT_EQ(plat::net_recvfrom(r.answered->fd, reply, sizeof reply, &from, 5000), 3);
    EXPECT_EQ(std::string(reply, 3), "ACK");
    EXPECT_EQ(from.port, port);
    EXPECT_EQ(plat::net_recvfrom(other->fd, reply, sizeof reply, nullptr, 0), plat::kNetTimedOut);
  }
  free_obj(&server);
}

TEST_F(Socket, UdpClientSendsToItsOwnAddress) {
  loopback_socket peer(false);
  socket_t* s = make("127.0.0.1", peer.port, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(socket_send(s, "$GPGLL,5", 8), 8);
  char buf[16] = {};
  EXPECT_EQ(plat::net_recvfrom(peer.fd, buf, sizeof buf, nullptr, 5000), 8);
  EXPECT_EQ(std::string(buf, 8), "$GPGLL,5");
  free_obj(&s);
}

// With no datagram the server waits 0.3 s, pauses 10 ms and reports nothing.
TEST_F(Socket, UdpReceiveWithoutDatagramEndsAfterItsWait) {
  const uint16_t port = tm_test::unused_loopback_port();
  socket_t* server = make("127.0.0.1", port, 0);
  ASSERT_NE(server, nullptr);
  ASSERT_EQ(socket_listen(server), 0);
  char buf[16];
  int result = 1234;
  const int64_t took = run_on_virtual_clock([&] { result = socket_recvfrom(server, buf, sizeof buf); }, 10);
  EXPECT_EQ(result, 0);
  EXPECT_GE(took, kSocketRecvfromWaitMs + kSocketIdlePauseMs);
  EXPECT_EQ(str(server->status), "UDP " + std::to_string(port) + "  NO CLIENT ");
  EXPECT_EQ(socket_recvfrom(nullptr, buf, sizeof buf), 0);
  free_obj(&server);
}

// A UDP server keeps a burst that arrives while nobody reads (the live reader busy
// relaying): as many 186-byte groups as its buffer holds all come out, in order.
TEST_F(Socket, UdpServerQueuesABurstWhileItsReaderIsBusy) {
  const uint16_t port = tm_test::unused_loopback_port();
  socket_t* server = make("127.0.0.1", port, 0);
  ASSERT_NE(server, nullptr);
  ASSERT_EQ(socket_listen(server), 0);
  // What the system granted: the request, unless the system's cap is lower.
  int granted = 0;
  socklen_t n = sizeof granted;
  ASSERT_EQ(getsockopt(int(server->handle), SOL_SOCKET, SO_RCVBUF, &granted, &n), 0);
  long cap = 0;
  if (FILE* f = std::fopen("/proc/sys/net/core/rmem_max", "r")) {
    if (std::fscanf(f, "%ld", &cap) != 1) cap = 0;
    std::fclose(f);
  }
  if (cap > 0) {
    EXPECT_GE(granted, std::min<long>(kSocketUdpRecvBuffer, cap));
  }
  // Each queued datagram costs the system well under 2 KiB of the buffer.
  const int burst = std::min(4000, granted / 2048);
  loopback_socket peer(false);
  std::string group(186, '.');
  for (int i = 0; i < burst; ++i) {
    const std::string tag = std::to_string(i);
    group.replace(0, tag.size() + 1, tag + ",");
    ASSERT_EQ(plat::net_sendto(peer.fd, group.data(), group.size(), {tm_test::loopback_addr(), port}), 186);
  }
  int received = 0;
  char buf[kSocketDatagramSize];
  for (int r; (r = socket_recvfrom(server, buf, sizeof buf)) > 0; ++received) {
    ASSERT_EQ(r, 186);
    ASSERT_EQ(std::string(buf, std::to_string(received).size() + 1), std::to_string(received) + ",");
  }
  EXPECT_EQ(received, burst);
  free_obj(&server);
}

}  // namespace
