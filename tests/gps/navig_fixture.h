// Test support for live navigation: the GPS objects, geodesy and drawing styles of the
// map model, the port class and the NMEA tables; a stand-in user-interface thread that
// runs the display step for every command 10 posted (it can be held back to play a slow
// display); a driver of the virtual clock for the reader thread and the simulated
// receivers; recorders of the menu, message box and posted commands.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/socket.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "gps/nmea_parser.h"
#include "map/gps_classes.h"
#include "platform/sys/clock.h"
#include "tests/gps/pty_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"
#include "tests/support/wait.h"

namespace navig_test {

// A sentence with its checksum tail.
inline std::string sentence(const std::string& body) {
  int sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}

// One second of a receiver: RMC and GGA at hh:mm:ss with a position that moves east by
// `step` thousandths of a minute a second.
inline std::string receiver_second(int second, int step = 1) {
  const int h = (second / 3600) % 24, m = (second / 60) % 60, s = second % 60;
  char hms[16];
  std::snprintf(hms, sizeof hms, "%02d%02d%02d", h, m, s);
  char lon[32];
  std::snprintf(lon, sizeof lon, "00200.%04d", (second * step) % 10000);
  return sentence(std::string("$GPRMC,") + hms + ".00,A,4807.0380,N," + lon +
                  ",E,6.75,84.4,230394,,,A") +
         sentence(std::string("$GPGGA,") + hms + ".00,4807.0380,N," + lon +
                  ",E,1,05,0.9,123.9,M,46.9,M,,") +
         sentence("$GPGSV,3,1,09,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
}

struct ui_record {
  std::mutex m;
  std::vector<std::pair<unsigned, int>> checks;
  std::vector<std::pair<unsigned, int>> enables;
  std::vector<std::string> messages;
};
inline ui_record& ui() {
  static ui_record r;
  return r;
}

inline std::atomic<int>& posts() {
  static std::atomic<int> n{0};
  return n;
}

class NavigFixture : public tm_test::GpsFileFixture {
 protected:
  void SetUp() override {
    GpsFileFixture::SetUp();
    config_reset();
    log_dir_ = tm_test::fresh_dir("navlogs");
    config_set_dir("LOG_DIR", nullptr, log_dir_.c_str());
    gpsport_register();
    socket_register_type();
    ASSERT_EQ(nmea_module_init(), 0);
    navig_display_reset();
    navig_log_set(0);
    app_set_closing(0);
    {
      std::lock_guard<std::mutex> lock(ui().m);
      ui().checks.clear();
      ui().enables.clear();
      ui().messages.clear();
    }
    posts() = 0;
    navig_ui_hooks& h = get_navig_ui_hooks();
    h = navig_ui_hooks{};
    h.menu_check = [](unsigned item, int on) {
      std::lock_guard<std::mutex> lock(ui().m);
      ui().checks.emplace_back(item, on);
    };
    h.menu_enable = [](unsigned item, int on) {
      std::lock_guard<std::mutex> lock(ui().m);
      ui().enables.emplace_back(item, on);
    };
    h.message_box = [](const char* text, const char*) {
      std::lock_guard<std::mutex> lock(ui().m);
      ui().messages.emplace_back(text);
    };
    get_command_hooks().post_command = [](int slot, int64_t, const char*) {
      if (slot == kNavigDisplayCommand) posts().fetch_add(1);
      return 1;
    };
  }
  void TearDown() override {
    stop_navigation();
    stop_ui();
    stop_clock();
    get_command_hooks().post_command = nullptr;
    get_navig_ui_hooks() = navig_ui_hooks{};
    get_gps_usb_hooks() = gps_usb_hooks{};
    get_navig_pvt_hooks() = navig_pvt_hooks{};
    navig_log_set(0);
    navig_display_reset();
    config_reset();
    GpsFileFixture::TearDown();
  }

  // Stops a reader still running; the stand-in UI thread keeps stepping meanwhile.
  void stop_navigation() {
    if (navig_current_port() || navig_reader_alive()) navig_stop();
    EXPECT_TRUE(tm_test::wait_for([] { return !navig_reader_alive(); }, 20000));
  }

  // The stand-in user-interface thread: one display step per command 10 posted.
  void start_ui() {
    ui_run_ = true;
    ui_thread_ = std::thread([this] {
      int done = 0;
      while (ui_run_) {
        if (!ui_hold_ && posts().load() > done) {
          ++done;
          navig_display_step();
          ++steps_;
          if (ui_delay_ms_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ui_delay_ms_));
        } else {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
      }
    });
  }
  void stop_ui() {
    ui_run_ = false;
    if (ui_thread_.joinable()) ui_thread_.join();
  }

  // The virtual clock, moved by 1 ms whenever every waiting thread waits for a deadline
  // still ahead.
  void start_clock() {
    plat::use_virtual_clock(true);
    clock_run_ = true;
    clock_thread_ = std::thread([this] {
      while (clock_run_) {
        if (tm_test::clock_idle()) {
          plat::advance_virtual_ms(1);
        } else {
          std::this_thread::yield();
        }
      }
    });
  }
  void stop_clock() {
    if (!clock_thread_.joinable()) return;
    clock_run_ = false;
    clock_thread_.join();
    plat::use_virtual_clock(false);
  }

  // Points of the current navigation track.
  static int track_points() { return navig_track_points(); }
  // Every navigation track made so far.
  static std::vector<navseg_t*> tracks() {
    std::vector<navseg_t*> out;
    container_t* list = navig_list();
    for (int i = 0; list && i < obj_list_count(list); ++i)
      if (list->elems[i] && list->elems[i]->cls == CLS_NAVSEG)
        out.push_back(static_cast<navseg_t*>(list->elems[i]));
    return out;
  }
  static int checked(unsigned item) {
    std::lock_guard<std::mutex> lock(ui().m);
    int state = -1;
    for (auto& c : ui().checks)
      if (c.first == item) state = c.second;
    return state;
  }

  std::string log_dir_;
  std::atomic<bool> ui_run_{false};
  std::atomic<bool> ui_hold_{false};
  std::atomic<int> ui_delay_ms_{0};
  std::atomic<int> steps_{0};
  std::thread ui_thread_;
  std::atomic<bool> clock_run_{false};
  std::thread clock_thread_;
};

}  // namespace navig_test
