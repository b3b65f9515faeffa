// UDP port I/O on loopback: opening on a port, reads of datagrams from a peer (the
// first sender is remembered), a read with nothing there, the timed read loop over a
// UDP reader, and closing.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "core/socket.h"
#include "gps/port_io.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/net_loopback.h"
#include "tests/support/object_env.h"

namespace {

using tm_test::loopback_socket;

class PortUdp : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    socket_register_type();
    port = tm_test::unused_loopback_port();
    ASSERT_NE(port, 0);
    ASSERT_NE(udp_open(port, &sock), nullptr);
  }
  void TearDown() override {
    udp_close(&sock);
    EXPECT_EQ(sock, nullptr);
    set_gblerr(0);
  }
  void send_from(loopback_socket& peer, const std::string& text) {
    ASSERT_EQ(plat::net_sendto(peer.fd, text.data(), text.size(), {tm_test::loopback_addr(), port}),
              long(text.size()));
  }

  uint16_t port = 0;
  socket_t* sock = nullptr;
};

TEST_F(PortUdp, OpensABoundSocketAndRefusesBadPorts) {
  EXPECT_NE(socket_handle(sock), 0u);
  EXPECT_EQ(sock->bound, 1);
  EXPECT_EQ(sock->port, port);
  for (int bad : {0, -1, 70000}) {
    socket_t* other = reinterpret_cast<socket_t*>(8);
    EXPECT_EQ(udp_open(bad, &other), nullptr) << bad;
    EXPECT_EQ(other, nullptr);
  }
  // The port is taken: a second socket on it cannot bind and gives no socket.
  socket_t* second = reinterpret_cast<socket_t*>(8);
  EXPECT_EQ(udp_open(port, &second), nullptr);
  EXPECT_EQ(second, nullptr);
}

TEST_F(PortUdp, ReadsDatagramsFromALoopbackPeer) {
  loopback_socket peer(false);
  ASSERT_GT(peer.port, 0);
  send_from(peer, "$GPGGA,1*00\r\n");
  uint8_t buf[64] = {};
  EXPECT_EQ(udp_read(sock, sizeof buf, buf), 13);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 13), "$GPGGA,1*00\r\n");
  EXPECT_NE(sock->client.port, 0);  // the sender is remembered
  // Through the reader routine, truncated to the maximum.
  send_from(peer, "0123456789");
  EXPECT_EQ(udp_read_routine(sock, 4, buf), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "0123");
  EXPECT_EQ(udp_read(sock, 0, buf), 0);
  EXPECT_EQ(udp_read(nullptr, 10, buf), 0);
}

TEST_F(PortUdp, AReadWithNothingThereGivesNothingAfterItsWait) {
  uint8_t buf[16];
  int n = -5;
  const int64_t elapsed = tm_test::run_on_virtual_clock([&] { n = udp_read(sock, sizeof buf, buf); }, 10);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(elapsed, kSocketRecvfromWaitMs + kSocketIdlePauseMs);
}

struct udp_lines {
  port_reader base;
  port_read_ctx* loop = nullptr;
  std::string got;
};

TEST_F(PortUdp, TheTimedReadLoopReadsAUdpReader) {
  loopback_socket peer(false);
  send_from(peer, "$GPRMC");
  send_from(peer, ",1*00\r\n");
  udp_lines lines;
  lines.base.device = sock;
  lines.base.read = udp_read_routine;
  port_reader_create(
      [](const uint8_t* bytes, int count, port_reader* reader) {
        auto* l = reinterpret_cast<udp_lines*>(reader);
        l->got.append(reinterpret_cast<const char*>(bytes), size_t(count));
        if (l->got.find("\r\n") != std::string::npos) l->loop->done = 1;
      },
      &lines.base, &lines.loop);
  lines.loop->overall_timeout_s = 10;
  EXPECT_EQ(port_read_loop(lines.loop), PORT_DONE);
  EXPECT_EQ(lines.got, "$GPRMC,1*00\r\n");
  port_reader_free(&lines.loop);
}

}  // namespace
