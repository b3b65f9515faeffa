// The "Real time navigation" window driven as a user would: its state at opening, the
// sources and the protocol they choose, Navigate on the diffusion program's ports
// without typing, on a serial port with and without a speed, on a typed UDP port and on
// a Garmin USB receiver (the very port chosen, kept alive for live navigation while
// the rest of the list is released), the logging switch, Cancel, and the layout in
// both languages.
#include <gmock/gmock.h>

#include "shell/menu.h"
#include "tests/shell/gps_dialogs_fixture.h"
#include "tests/support/dialog_layout.h"

namespace gps_dialogs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class NavigationWindow : public GpsDialogsFixture {
 protected:
  plat::Wnd open() {
    menu_check_navigation(1);  // as the menu command leaves it
    navdlg_open();
    tm_test::run_until_idle();
    plat::Wnd w = navdlg_window();
    EXPECT_NE(w, nullptr);
    return w;
  }
  static std::string protocol(plat::Wnd w) {
    const int sel = combo_selection(w, IDC_NAVDLG_PROTOCOL);
    return sel < 0 ? "" : combo_items(w, IDC_NAVDLG_PROTOCOL)[size_t(sel)];
  }
};

TEST_F(NavigationWindow, OpensOnTheSerialPortWithNavigateGreyed) {
  navig_log_set(1);
  plat::Wnd w = open();
  EXPECT_EQ(text_of(w), "Real time navigation");
  EXPECT_FALSE(frame_enabled());
  EXPECT_TRUE(is_checked(w, IDC_NAVDLG_SERIAL));
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_COM));
  EXPECT_EQ(tm_test::focused_control_id(), IDC_NAVDLG_COM);
  EXPECT_THAT(combo_items(w, IDC_NAVDLG_SPEED),
              ElementsAre("4800=4800", "9600=9600", "19200=19200", "38400=38400", "57600=57600", "115200=115200"));
  EXPECT_EQ(combo_selection(w, IDC_NAVDLG_SPEED), -1);
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_RECEIVERS));
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_UDP_NUMBER));
  EXPECT_THAT(combo_items(w, IDC_NAVDLG_PROTOCOL), ElementsAre("NMEA=2", "Garmin PVT=1"));
  EXPECT_EQ(protocol(w), "NMEA=2");
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_PROTOCOL));
  EXPECT_TRUE(is_checked(w, IDC_NAVDLG_LOG));
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_CANCEL));
}

// "UDP port 7551" (or 7552) starts NMEA navigation on that port without typing.
TEST_F(NavigationWindow, APresetPortNavigatesWithoutTyping) {
  for (const int preset : {IDC_NAVDLG_UDP_7551, IDC_NAVDLG_UDP_7552}) {
    SCOPED_TRACE(preset);
    starts().clear();
    for (gpsport_t* p : live_ports()) {
      obj_t* o = p;
      free_obj(&o);
    }
    plat::Wnd w = open();
    click(w, preset);
    EXPECT_FALSE(is_checked(w, IDC_NAVDLG_SERIAL));
    EXPECT_FALSE(enabled(w, IDC_NAVDLG_COM));
    EXPECT_EQ(protocol(w), "NMEA=2");
    ASSERT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));
    click(w, IDC_NAVDLG_NAVIGATE);
    ASSERT_EQ(starts().size(), 1u);
    const std::string number = preset == IDC_NAVDLG_UDP_7551 ? "7551" : "7552";
    EXPECT_EQ(starts()[0].kind, GPSPORT_UDP);
    EXPECT_EQ(starts()[0].family, GPS_MAGELLAN);
    EXPECT_EQ(starts()[0].device_path, number);
    EXPECT_EQ(starts()[0].display_name, "UDP PORT " + number + " NMEA");
    EXPECT_EQ(starts()[0].log, 0);
    EXPECT_EQ(navdlg_window(), nullptr);
    EXPECT_TRUE(frame_enabled());
    EXPECT_TRUE(menu_is_checked(IDM_NAVIGATION));
    // The port lives on: live navigation owns it.
    EXPECT_THAT(live_ports(), ElementsAre(starts()[0].port));
  }
}

// Navigate follows the number of the checked source; unchecking a preset goes back to
// what the rest of the window says.
TEST_F(NavigationWindow, NavigateFollowsTheCheckedSource) {
  plat::Wnd w = open();
  type(w, IDC_NAVDLG_COM, "3");
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));
  type(w, IDC_NAVDLG_COM, "");
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  click(w, IDC_NAVDLG_UDP);
  EXPECT_FALSE(is_checked(w, IDC_NAVDLG_SERIAL));
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_UDP_NUMBER));
  EXPECT_EQ(tm_test::focused_control_id(), IDC_NAVDLG_UDP_NUMBER);
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  type(w, IDC_NAVDLG_UDP_NUMBER, "9000");
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));
  click(w, IDC_NAVDLG_UDP);  // no source left
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_UDP_NUMBER));
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  click(w, IDC_NAVDLG_UDP_7552);
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));
  click(w, IDC_NAVDLG_UDP_7552);
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  click(w, IDC_NAVDLG_UDP);
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));  // "9000" is still there
  click(w, IDC_NAVDLG_NAVIGATE);
  ASSERT_EQ(starts().size(), 1u);
  EXPECT_EQ(starts()[0].kind, GPSPORT_UDP);
  EXPECT_EQ(starts()[0].display_name, "UDP PORT 9000 NMEA");
}

// A serial port gets the chosen speed, 0 when none was chosen, and the display name
// with its device path and the protocol; the logging box sets the switch.
TEST_F(NavigationWindow, ASerialPortNavigatesAtTheChosenSpeed) {
  struct Case {
    const char* speed;  // null: none chosen
    int want;
    bool log;
  };
  for (const Case& c : {Case{"9600", 9600, true}, Case{nullptr, 0, false}, Case{"115200", 115200, false}}) {
    SCOPED_TRACE(c.want);
    starts().clear();
    navig_log_set(0);
    plat::Wnd w = open();
    type(w, IDC_NAVDLG_COM, "3");
    if (c.speed) choose(w, IDC_NAVDLG_SPEED, c.speed);
    if (c.log) click(w, IDC_NAVDLG_LOG);
    click(w, IDC_NAVDLG_NAVIGATE);
    ASSERT_EQ(starts().size(), 1u);
    EXPECT_EQ(starts()[0].kind, GPSPORT_SERIAL);
    EXPECT_EQ(starts()[0].speed, c.want);
    EXPECT_EQ(starts()[0].family, GPS_MAGELLAN);
    EXPECT_EQ(starts()[0].device_path, "\\\\.\\COM3");
    EXPECT_EQ(starts()[0].display_name, "SERIAL PORT \\\\.\\COM3 NMEA");
    EXPECT_EQ(starts()[0].log, c.log ? 1 : 0);
    EXPECT_EQ(navig_log_get(), c.log ? 1 : 0);
  }
}

// Garmin USB with no receiver: the list and Navigate stay greyed, the protocol is
// Garmin PVT; the serial box brings NMEA back.
TEST_F(NavigationWindow, GarminUsbWithoutReceiverOffersNothing) {
  plat::Wnd w = open();
  type(w, IDC_NAVDLG_COM, "3");
  click(w, IDC_NAVDLG_USB);
  EXPECT_FALSE(is_checked(w, IDC_NAVDLG_SERIAL));
  EXPECT_EQ(protocol(w), "Garmin PVT=1");
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_RECEIVERS));
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  EXPECT_THAT(combo_items(w, IDC_NAVDLG_RECEIVERS), IsEmpty());
  click(w, IDC_NAVDLG_SERIAL);
  EXPECT_EQ(protocol(w), "NMEA=2");
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));
}

// Garmin USB receivers found: Navigate is offered for one with real-time data only, and
// hands that very port to live navigation; the other ports are released.
TEST_F(NavigationWindow, AGarminUsbReceiverIsHandedOverAlive) {
  usb_receivers() = {{"eTrex", GPS_WAYPOINTS}, {"GPSMAP", GPS_WAYPOINTS | GPS_REALTIME}};
  plat::Wnd w = open();
  click(w, IDC_NAVDLG_USB);
  EXPECT_TRUE(enabled(w, IDC_NAVDLG_RECEIVERS));
  ASSERT_EQ(combo_items(w, IDC_NAVDLG_RECEIVERS).size(), 2u);
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  choose(w, IDC_NAVDLG_RECEIVERS, "eTrex");
  EXPECT_FALSE(enabled(w, IDC_NAVDLG_NAVIGATE));
  choose(w, IDC_NAVDLG_RECEIVERS, "GPSMAP");
  ASSERT_TRUE(enabled(w, IDC_NAVDLG_NAVIGATE));
  // Searching again does not list the receivers twice.
  click(w, IDC_NAVDLG_USB);
  click(w, IDC_NAVDLG_USB);
  EXPECT_EQ(combo_items(w, IDC_NAVDLG_RECEIVERS).size(), 2u);
  EXPECT_EQ(live_ports().size(), 2u);
  choose(w, IDC_NAVDLG_RECEIVERS, "GPSMAP");
  click(w, IDC_NAVDLG_NAVIGATE);
  ASSERT_EQ(starts().size(), 1u);
  EXPECT_EQ(starts()[0].display_name, "GPSMAP");
  EXPECT_EQ(starts()[0].kind, GPSPORT_USB);
  EXPECT_EQ(starts()[0].family, GPS_GARMIN);
  EXPECT_THAT(live_ports(), ElementsAre(starts()[0].port));
  EXPECT_EQ(navdlg_window(), nullptr);
}

// Cancel and the close box: the navigation item unchecked, every port released.
TEST_F(NavigationWindow, CancelUnchecksNavigationAndReleasesThePorts) {
  usb_receivers() = {{"GPSMAP", GPS_REALTIME}};
  for (const bool close_box : {false, true}) {
    SCOPED_TRACE(close_box);
    plat::Wnd w = open();
    click(w, IDC_NAVDLG_USB);
    ASSERT_EQ(live_ports().size(), 1u);
    if (close_box) {
      plat::post_message(w, plat::WM_CLOSE, 0, 0);
      tm_test::run_until_idle();
    } else {
      click(w, IDC_NAVDLG_CANCEL);
    }
    EXPECT_EQ(navdlg_window(), nullptr);
    EXPECT_FALSE(menu_is_checked(IDM_NAVIGATION));
    EXPECT_FALSE(toolbar_checked(IDM_NAVIGATION));
    EXPECT_TRUE(frame_enabled());
    EXPECT_THAT(live_ports(), IsEmpty());
    EXPECT_THAT(starts(), IsEmpty());
  }
}

// Escape closes the window as Cancel does: the navigation item unchecked, every port
// released, whichever control has the focus (the port fields are greyed once the USB
// receiver is chosen).
TEST_F(NavigationWindow, EscapeClosesTheWindowAsCancelDoes) {
  usb_receivers() = {{"GPSMAP", GPS_REALTIME}};
  for (const int focus : {IDC_NAVDLG_USB, IDC_NAVDLG_RECEIVERS, IDC_NAVDLG_LOG, IDC_NAVDLG_CANCEL}) {
    SCOPED_TRACE(focus);
    plat::Wnd w = open();
    click(w, IDC_NAVDLG_USB);
    ASSERT_EQ(live_ports().size(), 1u);
    plat::set_focus(plat::get_dlg_item(w, focus));
    tm_test::run_until_idle();
    ASSERT_EQ(plat::get_focus(), plat::get_dlg_item(w, focus));
    tm_test::press_key(plat::VK_ESCAPE);
    tm_test::run_until_idle();
    EXPECT_EQ(navdlg_window(), nullptr);
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_FALSE(menu_is_checked(IDM_NAVIGATION));
    EXPECT_TRUE(frame_enabled());
    EXPECT_THAT(live_ports(), IsEmpty());
    EXPECT_THAT(starts(), IsEmpty());
  }
}

class NavigationWindowLayout : public GpsDialogsFixture, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { SetUpIn(GetParam()); }
};

TEST_P(NavigationWindowLayout, HasNoFaultsAndItsTexts) {
  navdlg_open();
  tm_test::run_until_idle();
  plat::Wnd w = navdlg_window();
  ASSERT_NE(w, nullptr);
  const bool fr = std::string(GetParam()) == "FRANCAIS";
  EXPECT_EQ(text_of(w), fr ? "Navigation temps r\xC3\xA9" "el" : "Real time navigation");
  EXPECT_EQ(text_of(item(w, IDC_NAVDLG_NAVIGATE)), fr ? "Naviguer" : "Navigate");
  EXPECT_EQ(text_of(item(w, IDC_NAVDLG_UDP_7551)), fr ? "Port UDP 7551" : "UDP port 7551");
  EXPECT_THAT(tm_test::dialog_layout_faults(w), IsEmpty());
  EXPECT_TRUE(tm_test::dialog_picture(w, tm_test::fresh_dir("navdlg_pictures") + GetParam() + ".png"));
}

INSTANTIATE_TEST_SUITE_P(Languages, NavigationWindowLayout, ::testing::Values("ENGLISH", "FRANCAIS"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace gps_dialogs_test
