// The live relay: an outside sender writes NMEA sentence groups into a UDP input port;
// a reader thread reads the port as the live session does and calls the live hooks;
// every selected listener gets each group unchanged, the loopback destination of the
// input port is unselected, and the window routines run only on the window thread
// (here the test's thread, through the display step of command 10).
#include <atomic>
#include <cstdio>
#include <thread>

#include "core/socket.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_parser.h"
#include "tests/quellix/qx_builders_test_support.h"
#include "tests/quellix/qx_nmea_groups.h"
#include "tests/quellix/qx_player_fixture.h"
#include "core/socket.h"
#include "tests/support/run_tool.h"

namespace qx_test {
namespace {

class QxNavigSession : public tm_test::QxBuildersFixture {
 protected:
  void SetUp() override {
    QxBuildersFixture::SetUp();
    env_.up();
    plat::use_virtual_clock(false);
    gpsport_register();
    socket_register_type();
    navig_display_reset();
    navig_session_hooks& h = get_navig_session_hooks();
    h.begin = qx_nav_begin;
    h.event = qx_nav_event;
    h.fix = qx_nav_fix;
  }
  void TearDown() override {
    navig_stop();
    EXPECT_TRUE(tm_test::wait_for([] { return !navig_reader_alive(); }, 20000));
    navig_display_reset();
    get_navig_session_hooks() = navig_session_hooks{};
    env_.down();
    QxBuildersFixture::TearDown();
  }
  WireEnv env_;
  Posts& posts_ = env_.posts;
};

TEST_F(QxNavigSession, RelaysEveryGroupOfAUdpInput) {
  const uint16_t input = tm_test::unused_loopback_port();
  int index = -1;
  std::string text;
  ASSERT_EQ(qx_add_destination("127.0.0.1", input, &index, &text, 0), 1);
  qx_reset_destinations();
  navig_start(nullptr, ("UDP" + std::to_string(input)).c_str(), nullptr, 0);
  ASSERT_TRUE(tm_test::wait_for([&] {
    qx_nav_display_step();
    return posts_.count(kQxResetSlot) > 0;
  }));
  qx_reset_destinations();
  std::vector<std::string> groups;
  std::vector<std::string> args{"python3", "-c",
                                "import socket,sys,time\n"
                                "time.sleep(0.3)\n"
                                "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                                "for g in sys.argv[2:]:\n"
                                "  s.sendto(bytes.fromhex(g),('127.0.0.1',int(sys.argv[1])))\n"
                                "  time.sleep(0.003)\n",
                                std::to_string(input)};
  for (int i = 0; i < 30; ++i) {
    groups.push_back(group(i));
    args.push_back(hex(groups.back()));
  }
  std::atomic<int> st{-2};
  std::thread sender([&] { st.store(tm_test::run_tool(args, nullptr, 20000)); });
  std::vector<std::string> got[std::size(env_.listeners)];
  tm_test::wait_for([&] {
    qx_nav_display_step();
    bool done = true;
    for (size_t i = 0; i < std::size(env_.listeners); ++i) {
      auto more = without_markers(env_.listeners[i].drain());
      got[i].insert(got[i].end(), more.begin(), more.end());
      done = done && got[i].size() >= groups.size();
    }
    return done;
  });
  sender.join();
  EXPECT_EQ(st.load(), 0);
  for (const auto& g : got) EXPECT_EQ(g, groups);
}

}  // namespace
}  // namespace qx_test
