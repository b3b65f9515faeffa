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
#include "tests/quellix/qx_nmea_groups.h"
#include "tests/quellix/qx_player_fixture.h"
#include "tests/support/run_tool.h"

namespace qx_test {
namespace {

class QxLiveRelay : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    // The reader's receive waits and the outside sender run in real time.
    plat::use_virtual_clock(false);
    gpsport_register();
    ASSERT_EQ(nmea_module_init(), 0);
  }
  void TearDown() override {
    stop_reader();
    set_gblerr(0);
    if (port_) {
      gpsport_close(port_);
      obj_t* p = port_;
      free_obj(&p);
    }
    nmea_module_free();
    PlayerTest::TearDown();
  }
  void start_reader() {
    reader_ = std::thread([this] {
      qx_nav_begin(port_);
      qx_nav_event(1);
      nmea_fix* fix = nullptr;
      nmea_fix_new(&fix);
      auto* parser = static_cast<nmea_parser*>(port_->reader);
      while (!stop_.load()) {
        fix->raw_length = 0;
        if (nmea_live_step(parser, fix) < 0) break;
        if (fix->event) {
          qx_nav_event(fix->event);
          // The session answers a STOP by forgetting the sender of its UDP input (this
          // program's own STOP markers reach the input until its loopback destination
          // is unselected).
          if (fix->event == 2) socket_forget_client(static_cast<socket_t*>(port_->connection));
        }
        if (fix->raw_length > 0) {
          qx_nav_fix(fix);
          qx_nav_sentence(reinterpret_cast<const char*>(fix->raw));
          qx_nav_update("relay");
        }
      }
      qx_nav_event(2);
      nmea_fix_free(&fix);
    });
  }
  void stop_reader() {
    stop_.store(true);
    if (reader_.joinable()) reader_.join();
  }

  gpsport_t* port_ = nullptr;
  std::thread reader_;
  std::atomic<bool> stop_{false};
};

TEST_F(QxLiveRelay, EverySelectedListenerGetsEachGroupUnchanged) {
  const uint16_t input = tm_test::unused_loopback_port();
  ASSERT_NE(input, 0);
  const std::string input_text = "127.0.0.1:" + std::to_string(input);
  int index = -1;
  std::string text;
  ASSERT_EQ(qx_add_destination("127.0.0.1", input, &index, &text, 0), 1);
  qx_reset_destinations();
  ASSERT_NE(gpsport_create(input, GPSPORT_UDP, 0, GPS_MAGELLAN, nullptr, &port_), nullptr);
  ASSERT_EQ(navig_udp_open(port_), 1);

  start_reader();
  // The input's loopback destination leaves the selected list; command 17 rebuilds the
  // sending list on the window thread.
  ASSERT_TRUE(tm_test::wait_for([&] {
    return posts_.count(kQxResetSlot) > 0 && qx_live_player_index() >= 0 &&
           qx_current_player_index() == qx_live_player_index();
  }));
  qx_reset_destinations();
  const auto selected = qx_destination_texts(QX_SELECTED);
  const auto unselected = qx_destination_texts(QX_NOT_SELECTED);
  EXPECT_EQ(std::count(selected.begin(), selected.end(), input_text), 0);
  EXPECT_EQ(std::count(unselected.begin(), unselected.end(), input_text), 1);
  EXPECT_EQ(qx_player_at(qx_live_player_index())->mode, QX_MODE_LIVE);

  std::vector<std::string> groups;
  std::vector<std::string> args{"python3", "-c",
                                "import socket,sys,time\n"
                                "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                                "for g in sys.argv[2:]:\n"
                                "  s.sendto(bytes.fromhex(g),('127.0.0.1',int(sys.argv[1])))\n"
                                "  time.sleep(0.003)\n",
                                std::to_string(input)};
  for (int i = 0; i < 30; ++i) {
    groups.push_back(group(i));
    args.push_back(hex(groups.back()));
  }
  std::atomic<int> sender_status{-2};
  std::thread sender([&] { sender_status.store(tm_test::run_tool(args, nullptr, 20000)); });

  // The window thread meanwhile runs the display steps the hooks post.
  std::vector<std::string> got[std::size(env_.listeners)];
  const bool all = tm_test::wait_for([&] {
    qx_nav_display_step();
    bool done = true;
    for (size_t i = 0; i < std::size(env_.listeners); ++i) {
      auto more = without_markers(env_.listeners[i].drain());
      got[i].insert(got[i].end(), more.begin(), more.end());
      done = done && got[i].size() >= groups.size();
    }
    return done;
  }, 30000);  // real time: the sender is another process, slow to start on a busy machine
  sender.join();
  ASSERT_EQ(sender_status.load(), 0);
  EXPECT_TRUE(all);
  for (const auto& g : got) EXPECT_EQ(g, groups);

  stop_reader();
  qx_nav_display_step();
  const std::thread::id window = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(ui_.m);
  for (const auto& id : ui_.threads) EXPECT_EQ(id, window) << "a window routine ran on the reader";
  ASSERT_FALSE(ui_.shown_texts.empty());
  EXPECT_EQ(ui_.shown_texts.back(), groups.back());
  ASSERT_FALSE(ui_.sentences.empty());
  EXPECT_EQ(ui_.sentences.back(), groups.back());
  ASSERT_FALSE(ui_.statuses.empty());
  EXPECT_EQ(ui_.statuses.back(), "relay");
  EXPECT_GT(ui_.states, 0);
  // The live point carries the distance the fixes covered (0.0290 minutes of latitude).
  qx_player* live = qx_player_at(qx_live_player_index());
  ASSERT_NE(live->current_point, nullptr);
  EXPECT_NEAR(live->current_point->distance, 0.029 * 1852.0, 2.0);
}

TEST_F(QxLiveRelay, TheStopEventSendsStopAndTheNextFixStartsANewRun) {
  qx_nav_begin(nullptr);
  drain_all();
  nmea_fix* fix = nullptr;
  nmea_fix_new(&fix);
  const std::string g0 = group(0), g1 = group(1);
  struct step {
    const std::string* raw;
    double latitude;
    int event;
  };
  const step steps[] = {{&g0, 45.0, 0}, {&g1, 45.001, 0}, {nullptr, 0, 2}, {&g0, 45.0, 0},
                       {&g1, 45.001, 0}};
  std::vector<double> distances;
  for (const step& s : steps) {
    if (s.event) {
      qx_nav_event(s.event);
      continue;
    }
    std::free(fix->raw);
    fix->raw = static_cast<uint8_t*>(std::malloc(s.raw->size() + 1));
    std::memcpy(fix->raw, s.raw->c_str(), s.raw->size() + 1);
    fix->raw_length = int32_t(s.raw->size());
    fix->latitude = s.latitude * 3600.0;  // seconds of arc
    fix->longitude = 6.0 * 3600.0;
    fix->valid.position = 1;
    qx_nav_fix(fix);
    distances.push_back(qx_current_player()->current_point->distance);
  }
  nmea_fix_free(&fix);
  EXPECT_EQ(wire(), std::vector<std::string>({g0, g1, stop_marker(), g0, g1}));
  ASSERT_EQ(distances.size(), 4u);
  EXPECT_EQ(distances[0], 0.0);
  EXPECT_NEAR(distances[1], 111.2, 0.5);  // a thousandth of a degree of latitude
  EXPECT_EQ(distances[2], 0.0) << "a fix after STOP starts a new run";
  EXPECT_NEAR(distances[3], 111.2, 0.5) << "which adds up again";
}

}  // namespace
}  // namespace qx_test
