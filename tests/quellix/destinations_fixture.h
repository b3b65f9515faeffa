// Shared pieces of the destination tests: a fresh store with the three lists, the
// posted commands recorded, and UDP listeners on loopback that collect datagrams.
#pragma once
#include <sys/socket.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/command_hooks.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/socket.h"
#include "platform/net/net.h"
#include "platform/sys/clock.h"
#include "quellix/qx_destinations.h"
#include "tests/support/net_loopback.h"
#include "tests/support/object_env.h"

namespace qx_test {

inline std::vector<int>& posted_slots() {
  static std::vector<int> slots;
  return slots;
}

inline int record_post(int slot, int64_t, const char*) {
  posted_slots().push_back(slot);
  return 1;
}

constexpr char kStop[] = "$PTMQT,STOP*78\r\n";

// A UDP socket bound on 127.0.0.1 (a port the system chooses, or a given one) that hands
// back every datagram waiting for it. Loopback delivery is done when sendto returns, so
// a look right after a send finds what was sent.
struct udp_listener {
  int fd = -1;
  uint16_t port = 0;
  explicit udp_listener(uint16_t at = 0) {
    fd = plat::net_open(false);
    plat::net_addr bound;
    if (fd >= 0 && plat::net_bind(fd, {tm_test::loopback_addr(), at}) == 0 && plat::net_local_addr(fd, &bound))
      port = bound.port;
  }
  ~udp_listener() { plat::net_close(fd); }
  udp_listener(const udp_listener&) = delete;
  udp_listener& operator=(const udp_listener&) = delete;
  std::vector<std::string> take() {
    std::vector<std::string> got;
    char buf[4096];
    for (;;) {
      const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0) break;
      got.emplace_back(buf, size_t(n));
    }
    return got;
  }
};

class DestinationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    qx_init_destination_lists();
    saved_hooks_ = get_command_hooks();
    get_command_hooks().post_command = record_post;
    posted_slots().clear();
  }
  void TearDown() override {
    qx_free_destination_lists();
    get_command_hooks() = saved_hooks_;
    plat::use_virtual_clock(false);
  }
  static int sockets() {
    int n = 0;
    obj_class_count(CLS_SOCKET, &n);
    return n;
  }
  // Adds a destination quietly and checks it went in.
  static int add(const char* host, int port) {
    int index = -1;
    std::string text;
    EXPECT_EQ(qx_add_destination(host, port, &index, &text, 0), 1) << host << ":" << port;
    return index;
  }
  // The non-empty texts of a list, in slot order.
  static std::vector<std::string> names(qx_list_kind which) {
    std::vector<std::string> out;
    for (const std::string& t : qx_destination_texts(which))
      if (!t.empty()) out.push_back(t);
    return out;
  }

 private:
  command_hooks saved_hooks_;
};

}  // namespace qx_test
