// The GPS connection window of the diffusion program, driven headless as a user would:
// menu 40036 checked opens "Real time navigation" over the main window; closing it
// without starting unchecks 40036 again; Navigate on a serial port where a receiver (a
// pty that the test feeds with NMEA) answers starts live navigation, whose reads reach
// every selected destination unchanged through the program's session hooks; 40036
// unchecked stops it. A port that nobody takes is released by the window.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/object.h"
#include "core/socket.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "platform/sys/clock.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/window.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player.h"
#include "quellix/qx_shell.h"
#include "quellix/qx_ui_hooks.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "tests/gps/pty_fixture.h"
#include "tests/quellix/qx_builders_test_support.h"
#include "tests/quellix/qx_player_fixture.h"
#include "tests/support/harness.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"

namespace qx_test {
namespace {

// The commands posted through the core's hooks, by slot.
struct PostCounts {
  std::mutex m;
  std::vector<int> slots;
  static PostCounts*& instance() {
    static PostCounts* p = nullptr;
    return p;
  }
  static int record(int slot, int64_t, const char*) {
    PostCounts* self = instance();
    if (!self) return 0;
    std::lock_guard<std::mutex> lock(self->m);
    self->slots.push_back(slot);
    return 1;
  }
};

// One second of a receiver: RMC and GGA at 12:mm:ss, moving east.
std::string receiver_second(int second) {
  char hms[16], lon[16];
  std::snprintf(hms, sizeof hms, "12%02d%02d", (second / 60) % 60, second % 60);
  std::snprintf(lon, sizeof lon, "00200.%04d", second % 10000);
  return tm_test::sentence(std::string("$GPRMC,") + hms + ".00,A,4807.0380,N," + lon + ",E,6.75,84.4,230394,,,A") +
         tm_test::sentence(std::string("$GPGGA,") + hms + ".00,4807.0380,N," + lon + ",E,1,05,0.9,123.9,M,46.9,M,,");
}

bool is_marker(const std::string& d) { return d == stop_marker() || d == start_marker(); }

std::vector<gpsport_t*> live_ports() {
  std::vector<gpsport_t*> out;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_GPSPORT, &cursor)) out.push_back(static_cast<gpsport_t*>(cursor));
  return out;
}

class QxGpsWindow : public tm_test::QxBuildersFixture {
 protected:
  void SetUp() override {
    QxBuildersFixture::SetUp();
    plat::use_virtual_clock(false);
    config_set("LANG", "ENGLISH");
    gpsport_register();
    socket_register_type();
    navig_display_reset();
    navig_log_set(0);
    app_set_closing(0);
    PostCounts::instance() = &posts_;
    saved_hooks_ = get_command_hooks();
    get_command_hooks().post_command = &PostCounts::record;
    qx_init_destination_lists();
    int index = -1;
    std::string text;
    ASSERT_EQ(qx_add_destination("127.0.0.1", listener_.sock.port, &index, &text, 0), 1);
    qx_reset_destinations();
    qx_set_diffusion_flag(1);
    // The program's own routines, but for the counter of running copies.
    qx_get_shell_hooks().count_copies = [] { return 1; };
    qx_install_program_routines();
    qx_create_windows();
    main_ = qx_shell().main;
    ASSERT_NE(main_, nullptr);
    tm_test::run_until_idle();
    tm_test::clear_message_boxes();
    listener_.drain();
  }
  void TearDown() override {
    if (navig_current_port() || navig_reader_alive()) run_clock_while([] { navig_stop(); });
    EXPECT_TRUE(tm_test::wait_for([] { return !navig_reader_alive(); }, 20000));
    stop_clock();
    if (plat::Wnd w = navdlg_window()) plat::destroy_window(w);
    tm_test::run_until_idle();
    set_gblerr(0);
    for (gpsport_t* p : live_ports()) {
      obj_t* o = p;
      free_obj(&o);
    }
    navig_display_reset();
    get_navig_session_hooks() = navig_session_hooks{};
    get_navig_ui_hooks() = navig_ui_hooks{};
    gps_dialog_hooks_reset();
    qx_players_reset();
    qx_set_diffusion_flag(0);
    qx_free_destination_lists();
    qx_shell_reset();
    qx_get_shell_hooks() = qx_shell_hooks{};
    qx_get_ui_hooks() = qx_ui_hooks{};
    set_command_target(nullptr, nullptr);
    winutil_state_reset();
    dispatcher_hooks_reset();
    navig_log_set(0);
    get_command_hooks() = saved_hooks_;
    PostCounts::instance() = nullptr;
    QxBuildersFixture::TearDown();
  }

  // The virtual clock, moved by 1 ms whenever every thread that waits or sleeps waits
  // for a deadline still ahead (the live reader's sleeps and port waits).
  void start_clock() {
    plat::use_virtual_clock(true);
    clock_run_ = true;
    clock_thread_ = std::thread([this] {
      while (clock_run_) {
        if (tm_test::clock_idle())
          plat::advance_virtual_ms(1);
        else
          std::this_thread::yield();
      }
    });
  }
  void stop_clock() {
    if (!clock_thread_.joinable()) return;
    clock_run_ = false;
    clock_thread_.join();
    plat::use_virtual_clock(false);
  }
  // A call that sleeps on the user-interface thread while the clock moves.
  template <class F>
  void run_clock_while(F call) {
    if (clock_thread_.joinable()) {
      call();
      return;
    }
    start_clock();
    call();
    stop_clock();
  }

  // Opens the window through the menu, as the user does.
  plat::Wnd open_window() {
    EXPECT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_NAVIGATION));
    tm_test::run_until_idle();
    plat::Wnd w = navdlg_window();
    EXPECT_NE(w, nullptr);
    return w;
  }
  void click(plat::Wnd w, int id) {
    ASSERT_TRUE(tm_test::click_control(w, id));
    tm_test::run_until_idle();
  }
  bool menu_checked(unsigned id) { return qx_menu_checked(id) != 0; }

  // The window thread's share of live navigation: the display steps of command 10.
  void run_display_steps() {
    int pending = 0;
    {
      std::lock_guard<std::mutex> lock(posts_.m);
      for (int s : posts_.slots) pending += s == kQxSlotLive ? 1 : 0;
      posts_.slots.clear();
    }
    for (int i = 0; i < pending; ++i) qx_nav_display_step();
    tm_test::pump(100);
  }

  // A window system of its own: the windows left open are destroyed with it.
  tm_test::UiSession ui_;
  PostCounts posts_;
  command_hooks saved_hooks_;
  Listener listener_;
  plat::Wnd main_ = nullptr;
  std::thread clock_thread_;
  std::atomic<bool> clock_run_{false};
};

TEST_F(QxGpsWindow, MenuOpensTheWindowAndClosingWithoutStartingUnchecks) {
  // Cancel and the window's close box both leave navigation off.
  for (const bool close_box : {false, true}) {
    SCOPED_TRACE(close_box ? "close box" : "Cancel");
    plat::Wnd w = open_window();
    ASSERT_NE(w, nullptr);
    char title[64] = {};
    plat::get_window_text(w, title, int(sizeof title));
    EXPECT_STREQ(title, "Real time navigation");
    EXPECT_TRUE(menu_checked(QX_IDM_NAVIGATION));
    EXPECT_FALSE(plat::is_window_enabled(main_));  // the window is the main window's
    EXPECT_FALSE(plat::is_window_enabled(tm_test::dlg_control(w, IDC_NAVDLG_NAVIGATE)));
    // Opening again brings the same window forward.
    qx_get_shell_hooks().navigation_dialog();
    EXPECT_EQ(navdlg_window(), w);
    if (close_box) {
      plat::send_message(w, plat::WM_CLOSE, 0, 0);
      tm_test::run_until_idle();
    } else {
      click(w, IDC_NAVDLG_CANCEL);
    }
    EXPECT_EQ(navdlg_window(), nullptr);
    EXPECT_FALSE(menu_checked(QX_IDM_NAVIGATION));
    EXPECT_TRUE(plat::is_window_enabled(main_));
    EXPECT_EQ(navig_current_port(), nullptr);
    EXPECT_FALSE(navig_reader_alive());
    EXPECT_TRUE(live_ports().empty());
  }
}

// A receiver on a serial port (COM7 is the pty) chosen in the window: its sentences
// reach the destination as they were read, the file controls are the live session's,
// and unchecking 40036 stops the session and gives them back.
TEST_F(QxGpsWindow, ReceiverStartedFromTheWindowFeedsTheRelayUntilUnchecked) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  config_set("COM7", pty.path().c_str());
  plat::Wnd w = open_window();
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(tm_test::type_into(w, IDC_NAVDLG_COM, "7"));
  tm_test::run_until_idle();
  ASSERT_TRUE(tm_test::select_combo_text(tm_test::dlg_control(w, IDC_NAVDLG_SPEED), "4800"));
  tm_test::run_until_idle();
  ASSERT_TRUE(plat::is_window_enabled(tm_test::dlg_control(w, IDC_NAVDLG_NAVIGATE)));

  start_clock();
  click(w, IDC_NAVDLG_NAVIGATE);
  EXPECT_EQ(navdlg_window(), nullptr);
  EXPECT_TRUE(plat::is_window_enabled(main_));
  EXPECT_TRUE(menu_checked(QX_IDM_NAVIGATION));
  gpsport_t* port = navig_current_port();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->kind, GPSPORT_SERIAL);
  EXPECT_EQ(port->speed, 4800);
  EXPECT_STREQ(port->display_name, "SERIAL PORT \\\\.\\COM7 NMEA");
  ASSERT_TRUE(tm_test::wait_for([] { return navig_connected() != 0; }, 10000));

  // The receiver talks; every read is relayed as one datagram, in order.
  std::string sent;
  for (int s = 0; s < 20; ++s) sent += receiver_second(s);
  std::thread receiver([&] { pty.write_all(sent); });
  std::string relayed;
  const bool all = tm_test::wait_for(
      [&] {
        run_display_steps();
        for (const std::string& d : listener_.drain())
          if (!is_marker(d)) relayed += d;
        return relayed.size() >= sent.size();
      },
      15000);
  receiver.join();
  EXPECT_TRUE(all) << relayed.size() << " of " << sent.size() << " bytes";
  EXPECT_EQ(relayed, sent);

  // The window thread shows the live session: 40036 stays usable, Open does not.
  tm_test::wait_for([&] {
    run_display_steps();
    return qx_live_player_index() >= 0 && qx_current_player_index() == qx_live_player_index() &&
           !qx_menu_enabled(QX_IDM_OPEN);
  });
  EXPECT_FALSE(qx_menu_enabled(QX_IDM_OPEN));
  EXPECT_TRUE(qx_menu_enabled(QX_IDM_NAVIGATION));
  ASSERT_GE(qx_live_player_index(), 0);
  EXPECT_EQ(qx_player_at(qx_live_player_index())->mode, QX_MODE_LIVE);

  // 40036 unchecked: the session stops, its port is freed, nothing more is relayed.
  ASSERT_TRUE(tm_test::choose_menu_command(main_, QX_IDM_NAVIGATION));
  tm_test::run_until_idle();
  EXPECT_EQ(navig_current_port(), nullptr);
  EXPECT_TRUE(tm_test::wait_for([] { return !navig_reader_alive(); }, 10000));
  run_display_steps();
  EXPECT_FALSE(menu_checked(QX_IDM_NAVIGATION));
  EXPECT_TRUE(qx_menu_enabled(QX_IDM_OPEN));
  EXPECT_TRUE(live_ports().empty());
  listener_.drain();
  ASSERT_TRUE(pty.write_all(receiver_second(30)));
  std::string after;
  tm_test::wait_for(
      [&] {
        for (const std::string& d : listener_.drain())
          if (!is_marker(d)) after += d;
        return !after.empty();
      },
      300);
  EXPECT_EQ(after, "");
}

// Without a program routine to take it, the port Navigate made is released by the
// window, which still closes.
TEST_F(QxGpsWindow, APortNobodyTakesIsReleased) {
  gps_dialog_hooks_reset();
  plat::Wnd w = open_window();
  ASSERT_NE(w, nullptr);
  click(w, IDC_NAVDLG_UDP);
  ASSERT_TRUE(tm_test::type_into(w, IDC_NAVDLG_UDP_NUMBER, "9000"));
  tm_test::run_until_idle();
  click(w, IDC_NAVDLG_NAVIGATE);
  EXPECT_EQ(navdlg_window(), nullptr);
  EXPECT_TRUE(live_ports().empty());
  EXPECT_EQ(navig_current_port(), nullptr);
  EXPECT_FALSE(navig_reader_alive());
}

}  // namespace
}  // namespace qx_test
