// The network layer on loopback: address text, name resolution, TCP connect, send and
// bounded receives, UDP datagrams with their sender, and waits that end at their
// time-out on the virtual clock.
#include "platform/net/net.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/net_loopback.h"

namespace {

using tm_test::loopback_socket;
using tm_test::run_on_virtual_clock;

// A connected pair: a client socket and the server's accepted end.
struct tcp_pair {
  loopback_socket listener{true};
  int client = plat::net_open(true);
  int server = -1;
  tcp_pair() {
    if (plat::net_connect(client, listener.addr(), 5000) == 0)
      server = plat::net_accept(listener.fd, nullptr, 5000);
  }
  ~tcp_pair() {
    plat::net_close(client);
    plat::net_close(server);
  }
};

TEST(NetNames, DottedAddressesParseStrictlyAndFormatBack) {
  struct row { const char* text; bool ok; const char* back; };
  const row rows[] = {
      {"127.0.0.1", true, "127.0.0.1"},   {"192.168.0.5", true, "192.168.0.5"},
      {"0.0.0.0", true, "0.0.0.0"},       {"255.255.255.255", true, "255.255.255.255"},
      {"256.1.1.1", false, nullptr},      {"1.2.3", false, nullptr},
      {"1.2.3.4.5", false, nullptr},      {"localhost", false, nullptr},
      {"", false, nullptr},               {" 1.2.3.4", false, nullptr},
  };
  for (const row& r : rows) {
    uint32_t a = 0;
    EXPECT_EQ(plat::net_parse_dotted(r.text, &a), r.ok) << r.text;
    if (!r.ok) continue;
    char text[16];
    plat::net_format_dotted(a, text);
    EXPECT_STREQ(text, r.back);
  }
  uint32_t a = 0;
  EXPECT_FALSE(plat::net_parse_dotted(nullptr, &a));
}

TEST(NetNames, ResolvesLocalNamesFromAnyThread) {
  uint32_t a = 0;
  EXPECT_FALSE(plat::net_resolve("", &a));
  EXPECT_FALSE(plat::net_resolve(nullptr, &a));
  ASSERT_TRUE(plat::net_resolve("127.0.0.1", &a));
  EXPECT_EQ(a, tm_test::loopback_addr());
  // Several threads resolve at once; each gets the loopback address.
  std::vector<uint32_t> got(4, 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&got, i] {
      for (int k = 0; k < 20; ++k) plat::net_resolve("localhost", &got[i]);
    });
  for (auto& t : threads) t.join();
  for (uint32_t g : got) EXPECT_EQ(g, tm_test::loopback_addr());
}

TEST(NetTcp, ConnectsSendsAndReceivesExactBytes) {
  tcp_pair p;
  ASSERT_GE(p.server, 3);
  const std::string text = "GET / HTTP/1.0\r\n\r\n";
  EXPECT_EQ(plat::net_send_all(p.client, text.data(), text.size(), 5000), long(text.size()));
  std::string got(text.size(), '\0');
  EXPECT_EQ(plat::net_recv_all(p.server, got.data(), got.size(), 5000), long(text.size()));
  EXPECT_EQ(got, text);
  {
    plat::net_addr local;
    ASSERT_TRUE(plat::net_local_addr(p.client, &local));
    EXPECT_EQ(local.addr, tm_test::loopback_addr());
    EXPECT_NE(local.port, 0);
  }
}

TEST(NetTcp, ConnectToAPortNobodyListensOnFails) {
  const uint16_t port = tm_test::unused_loopback_port();
  const int fd = plat::net_open(true);
  ASSERT_GE(fd, 3);
  EXPECT_LT(plat::net_connect(fd, {tm_test::loopback_addr(), port}, 5000), 0);
  plat::net_close(fd);
}

// A large block goes out whole although the kernel takes it in pieces.
TEST(NetTcp, SendAllDeliversALargeBlockWhole) {
  tcp_pair p;
  ASSERT_GE(p.server, 3);
  std::vector<char> block(4 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = char(i * 7 + (i >> 12));
  std::vector<char> got(block.size());
  long received = 0;
  std::thread reader([&] { received = plat::net_recv_all(p.server, got.data(), got.size(), 20000); });
  EXPECT_EQ(plat::net_send_all(p.client, block.data(), block.size(), 20000), long(block.size()));
  reader.join();
  EXPECT_EQ(received, long(block.size()));
  EXPECT_TRUE(got == block);
}

TEST(NetTcp, ReceiveStopsAtThePeersEnd) {
  tcp_pair p;
  ASSERT_GE(p.server, 3);
  ASSERT_EQ(plat::net_send_all(p.server, "abc", 3, 5000), 3);
  plat::net_close(p.server);
  p.server = -1;
  char buf[16] = {};
  EXPECT_EQ(plat::net_recv_all(p.client, buf, sizeof buf, 5000), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(plat::net_recv_some(p.client, buf, sizeof buf, 5000), 0);
  EXPECT_EQ(plat::net_recv_some(p.client, buf, 0, 5000), 0);
}

// Each bounded call on a silent peer ends at its time-out, measured on the virtual
// clock, with what it had: nothing (time-out code) or the bytes that came first.
TEST(NetWait, BoundedCallsEndAtTheirTimeOutOnTheVirtualClock) {
  tcp_pair p;
  ASSERT_GE(p.server, 3);
  loopback_socket udp(false);
  struct row { const char* what; int64_t timeout_ms; const char* sent_first; long expect; };
  const row rows[] = {
      {"recv_some", 7000, "", plat::kNetTimedOut},
      {"recv_all", 30000, "", plat::kNetTimedOut},
      {"recv_all", 9000, "xyz", 3},
      {"accept", 12000, "", plat::kNetTimedOut},
      {"recvfrom", 4000, "", plat::kNetTimedOut},
      {"readable", 6000, "", 0},
  };
  for (const row& r : rows) {
    if (*r.sent_first) plat::net_send_all(p.server, r.sent_first, std::strlen(r.sent_first), 1000);
    long result = 1234;
    char buf[64];
    const std::string what = r.what;
    const int64_t took = run_on_virtual_clock([&] {
      if (what == "recv_some") result = plat::net_recv_some(p.client, buf, sizeof buf, r.timeout_ms);
      if (what == "recv_all") result = plat::net_recv_all(p.client, buf, sizeof buf, r.timeout_ms);
      if (what == "accept") result = plat::net_accept(p.listener.fd, nullptr, r.timeout_ms);
      if (what == "recvfrom") result = plat::net_recvfrom(udp.fd, buf, sizeof buf, nullptr, r.timeout_ms);
      if (what == "readable") result = plat::net_wait_readable(p.client, r.timeout_ms);
    }, r.timeout_ms / 40);
    EXPECT_EQ(result, r.expect) << r.what;
    EXPECT_GE(took, r.timeout_ms) << r.what;
    EXPECT_LT(took, r.timeout_ms + 5000) << r.what;
  }
  EXPECT_EQ(plat::net_waiters(), 0);
}

TEST(NetUdp, DatagramsCarryTheirSendersAddress) {
  loopback_socket server(false), a(false), b(false);
  ASSERT_NE(server.port, 0);
  ASSERT_NE(a.port, 0);
  ASSERT_NE(b.port, 0);
  struct row { const loopback_socket* from; const char* text; };
  const row rows[] = {{&a, "$GPGGA,1"}, {&b, "$GPRMC,22"}, {&a, ""}};
  for (const row& r : rows) {
    const size_t n = std::strlen(r.text);
    ASSERT_EQ(plat::net_sendto(r.from->fd, r.text, n, server.addr()), long(n));
    char buf[64];
    plat::net_addr from;
    ASSERT_EQ(plat::net_recvfrom(server.fd, buf, sizeof buf, &from, 5000), long(n));
    EXPECT_EQ(std::string(buf, n), r.text);
    EXPECT_EQ(from.addr, tm_test::loopback_addr());
    EXPECT_EQ(from.port, r.from->port);
  }
  // A datagram longer than the buffer is cut to it.
  ASSERT_EQ(plat::net_sendto(a.fd, "0123456789", 10, server.addr()), 10);
  char small[4];
  EXPECT_EQ(plat::net_recvfrom(server.fd, small, sizeof small, nullptr, 5000), 4);
  EXPECT_EQ(std::string(small, 4), "0123");
}

// The system's cap on a requested receive buffer (bytes); 0 when it cannot be read.
long max_recv_buffer() {
  FILE* f = std::fopen("/proc/sys/net/core/rmem_max", "r");
  long v = 0;
  if (f) {
    if (std::fscanf(f, "%ld", &v) != 1) v = 0;
    std::fclose(f);
  }
  return v;
}

// A request is granted up to the system's cap (the system then doubles it for its
// bookkeeping); nonsense is refused with a code and leaves the socket as it was.
TEST(NetUdp, ReceiveBufferIsGrantedUpToTheSystemsCap) {
  loopback_socket udp(false);
  ASSERT_GE(udp.fd, 3);
  const long cap = max_recv_buffer();
  for (int bytes : {64 << 10, 1 << 20, 4 << 20, 64 << 20}) {
    const int got = plat::net_set_recv_buffer(udp.fd, bytes);
    EXPECT_GT(got, 0) << bytes;
    if (cap > 0) {
      EXPECT_GE(got, std::min<long>(bytes, cap)) << bytes;
    }
  }
  const int before = plat::net_set_recv_buffer(udp.fd, 1 << 20);
  struct row { int fd; int bytes; };
  const row bad[] = {{-1, 1 << 20}, {udp.fd, 0}, {udp.fd, -5}};
  for (const row& r : bad) EXPECT_LT(plat::net_set_recv_buffer(r.fd, r.bytes), 0) << r.fd << " " << r.bytes;
  EXPECT_EQ(plat::net_set_recv_buffer(udp.fd, 1 << 20), before);
}

// Datagrams already queued are received in order with their sender, under the
// virtual clock too, without any time passing.
TEST(NetUdp, QueuedDatagramsAreTakenWithoutWaiting) {
  loopback_socket server(false), peer(false);
  ASSERT_NE(server.port, 0);
  const char* texts[] = {"$GPGGA,1", "$GPRMC,2", "$GPGSA,3"};
  for (const char* t : texts) ASSERT_EQ(plat::net_sendto(peer.fd, t, std::strlen(t), server.addr()), 8);
  // Loopback delivers at once; make sure all three are queued before the clock turns virtual.
  ASSERT_EQ(plat::net_wait_readable(server.fd, 5000), 1);
  std::vector<std::string> got;
  std::vector<uint16_t> senders;
  const int64_t took = run_on_virtual_clock([&] {
    for (int i = 0; i < 3; ++i) {
      char buf[16];
      plat::net_addr from;
      const long n = plat::net_recvfrom(server.fd, buf, sizeof buf, &from, 4000);
      if (n < 0) break;
      got.emplace_back(buf, size_t(n));
      senders.push_back(from.port);
    }
  }, 1000);
  EXPECT_EQ(got, std::vector<std::string>(texts, texts + 3));
  EXPECT_EQ(senders, std::vector<uint16_t>(3, peer.port));
  EXPECT_EQ(took, 0);
}

// Everything queued on a UDP socket, in order.
std::vector<std::string> drain_datagrams(int fd) {
  std::vector<std::string> got;
  char buf[2048];
  while (plat::net_wait_readable(fd, 0) == 1) {
    const long n = plat::net_recvfrom(fd, buf, sizeof buf, nullptr, 0);
    if (n < 0) break;
    got.emplace_back(buf, size_t(n));
  }
  return got;
}

// A batch goes out whole and in order, each datagram to its own address with its own
// length, across the batch slices of the system call too.
TEST(NetUdp, BatchSendDeliversEveryDatagramInOrder) {
  loopback_socket a(false), b(false), out(false);
  ASSERT_NE(a.port, 0);
  ASSERT_NE(b.port, 0);
  for (int count : {1, 3, 64, 65, 150}) {
    std::vector<std::string> texts;
    std::vector<plat::net_datagram> batch;
    std::vector<std::string> want_a, want_b;
    for (int i = 0; i < count; ++i) texts.push_back("$G," + std::to_string(i) + std::string(size_t(i % 7), 'x'));
    for (int i = 0; i < count; ++i) {
      const bool to_a = i % 3 != 1;
      batch.push_back({texts[size_t(i)].data(), texts[size_t(i)].size(), to_a ? a.addr() : b.addr()});
      (to_a ? want_a : want_b).push_back(texts[size_t(i)]);
    }
    ASSERT_EQ(plat::net_send_many(out.fd, batch.data(), count), long(count)) << count;
    EXPECT_EQ(drain_datagrams(a.fd), want_a) << count;
    EXPECT_EQ(drain_datagrams(b.fd), want_b) << count;
  }
}

TEST(NetUdp, BatchSendRefusesBadDescriptorsAndSendsNothingForAnEmptyBatch) {
  loopback_socket a(false);
  const plat::net_datagram one{"x", 1, a.addr()};
  EXPECT_EQ(plat::net_send_many(-1, &one, 1), plat::kNetBadSocket);
  EXPECT_EQ(plat::net_send_many(a.fd, nullptr, 3), 0);
  EXPECT_EQ(plat::net_send_many(a.fd, &one, 0), 0);
  const int closed = plat::net_open(false);
  plat::net_close(closed);
  EXPECT_LT(plat::net_send_many(closed, &one, 1), 0);
  EXPECT_TRUE(drain_datagrams(a.fd).empty());
  // A TCP socket that is not connected takes no datagram: the first one's code.
  loopback_socket tcp(true);
  EXPECT_LT(plat::net_send_many(tcp.fd, &one, 1), 0);
}

TEST(NetTcp, ClosedDescriptorsAreRefused) {
  char buf[4];
  EXPECT_LT(plat::net_recv_some(-1, buf, sizeof buf, 0), 0);
  EXPECT_LT(plat::net_wait_readable(-1, 0), 0);
  plat::net_close(-1);  // harmless
}

}  // namespace
