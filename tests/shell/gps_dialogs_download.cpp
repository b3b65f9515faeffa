// The "Download data from GPS" window driven as a user would: its state at opening, the
// enabling rules of Probe, the items, the options and Download, the search posted as
// command 18 and its result (found receivers, or the message and the reset of the
// port fields), the file choice, the absolute-path check, the download posted as
// command 13 with the chosen port kept and every other port released, Cancel, a result
// arriving after the window closed, the whole search through the worker, and the
// layout in both languages.
#include <gmock/gmock.h>

#include <algorithm>

#include "shell/command_table.h"
#include "tests/shell/gps_dialogs_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_common.h"

namespace gps_dialogs_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A port as a search leaves it: serial, closed, named and with its capabilities.
gpsport_t* found_port(const char* name, int family, uint32_t caps) {
  gpsport_t* p = nullptr;
  gpsport_create(0, 0, 0, 0, nullptr, &p);
  p->kind = GPSPORT_SERIAL;
  p->family = family;
  p->capabilities = caps;
  str_set(name, &p->display_name);
  return p;
}

class DownloadWindow : public GpsDialogsFixture {
 protected:
  plat::Wnd open() {
    gpsdlg_open();
    tm_test::run_until_idle();
    plat::Wnd w = gpsdlg_window();
    EXPECT_NE(w, nullptr);
    return w;
  }
  // The search's answer: every idle port, as command 18 hands it over.
  static void answer_search() {
    container_t* list = nullptr;
    gpsport_list_idle(&list);
    gpsdlg_on_result(list);
    tm_test::run_until_idle();
  }
  // A window showing the receivers found, the first one chosen.
  plat::Wnd open_with(std::initializer_list<std::pair<const char*, uint32_t>> receivers, int family = GPS_NAVILINK) {
    plat::Wnd w = open();
    for (const auto& r : receivers) found_port(r.first, family, r.second);
    answer_search();
    return w;
  }
};

TEST_F(DownloadWindow, OpensWithTheSerialPortCheckedAndNothingElseOffered) {
  plat::Wnd w = open();
  EXPECT_EQ(text_of(w), "Download data from GPS");
  EXPECT_FALSE(frame_enabled());
  EXPECT_TRUE(is_checked(w, IDC_GPSDLG_SERIAL));
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_USB));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_COM));
  EXPECT_EQ(tm_test::focused_control_id(), IDC_GPSDLG_COM);
  EXPECT_THAT(combo_items(w, IDC_GPSDLG_FAMILY),
              ElementsAre("Emtac Trine=3", "Garmin=1", "GlobalSat Data Logger=4", "Magellan=2",
                          "MediaTek logger (i-Blue, Qstarz, i.Trek)=8", "Navilink (Locosys, Amaryllo)=5",
                          "Royaltek (RGM-3800, RBT-2300, RCD-1100)=6", "SkyTraq=9", "Wintec (WBT-201, WGS-1000)=7"));
  EXPECT_EQ(combo_selection(w, IDC_GPSDLG_FAMILY), -1);
  for (int id : {IDC_GPSDLG_PROBE, IDC_GPSDLG_FOUND, IDC_GPSDLG_WAYPOINTS, IDC_GPSDLG_ROUTES, IDC_GPSDLG_TRACKS,
                 IDC_GPSDLG_DATALOG, IDC_GPSDLG_FILE_LABEL, IDC_GPSDLG_FILE, IDC_GPSDLG_BROWSE, IDC_GPSDLG_DELETE,
                 IDC_GPSDLG_SWITCH_OFF, IDC_GPSDLG_DOWNLOAD}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(enabled(w, id));
  }
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_CANCEL));
  // A second opening brings the same window forward.
  gpsdlg_open();
  EXPECT_EQ(gpsdlg_window(), w);
}

// Probe needs, for a serial port, a port number and a family; Garmin USB sets the
// family itself, greys the list and clears the serial box; leaving it frees the list.
TEST_F(DownloadWindow, ProbeFollowsThePortFieldsAndTheFamily) {
  plat::Wnd w = open();
  type(w, IDC_GPSDLG_COM, "3");
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_PROBE));  // no family yet
  choose(w, IDC_GPSDLG_FAMILY, "SkyTraq");
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));
  type(w, IDC_GPSDLG_COM, "");
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_PROBE));  // no port number
  type(w, IDC_GPSDLG_COM, "12");
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));
  click(w, IDC_GPSDLG_SERIAL);  // unchecked: the edit greyed, a family is enough
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_COM));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));
  click(w, IDC_GPSDLG_SERIAL);
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_COM));
  EXPECT_EQ(tm_test::focused_control_id(), IDC_GPSDLG_COM);

  click(w, IDC_GPSDLG_USB);
  EXPECT_TRUE(is_checked(w, IDC_GPSDLG_USB));
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_SERIAL));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_COM));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_FAMILY));
  EXPECT_EQ(combo_selection(w, IDC_GPSDLG_FAMILY), 1);  // Garmin
  click(w, IDC_GPSDLG_USB);
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_FAMILY));
  click(w, IDC_GPSDLG_USB);
  click(w, IDC_GPSDLG_SERIAL);  // back to serial: USB cleared, the list free again
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_USB));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_FAMILY));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));  // "12" and Garmin
}

// Probe posts command 18 with kind, port number and family, greys itself and the list.
TEST_F(DownloadWindow, ProbePostsTheSearch) {
  struct Case {
    bool usb;
    const char* com;
    const char* family;
    const char* text;
  };
  const Case cases[] = {{false, "3", "Navilink (Locosys, Amaryllo)", "18:1 3 5"},
                        {false, "123456789", "Wintec (WBT-201, WGS-1000)", "18:1 12345678 7"},
                        {true, nullptr, nullptr, "18:2 0 1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    plat::Wnd w = open();
    frame_test::clear_seen();
    if (c.usb) {
      click(w, IDC_GPSDLG_USB);
    } else {
      type(w, IDC_GPSDLG_COM, c.com);
      choose(w, IDC_GPSDLG_FAMILY, c.family);
    }
    click(w, IDC_GPSDLG_PROBE);
    EXPECT_THAT(frame_test::commands(), ElementsAre(c.text));
    EXPECT_FALSE(enabled(w, IDC_GPSDLG_PROBE));
    EXPECT_FALSE(enabled(w, IDC_GPSDLG_FOUND));
    click(w, IDC_GPSDLG_CANCEL);
  }
}

// The found receivers fill the list, the first one chosen; the item boxes follow its
// capabilities, the options follow the items checked, Download the items and the file.
TEST_F(DownloadWindow, TheChosenReceiverOffersWhatItCan) {
  plat::Wnd w = open_with({{"Navilink B", 0x3F}, {"Navilink A", GPS_TRACKS | GPS_DATALOG}});
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_FOUND));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));
  const std::vector<std::string> items = combo_items(w, IDC_GPSDLG_FOUND);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].substr(0, 11), "Navilink A=");  // by display name
  EXPECT_EQ(combo_selection(w, IDC_GPSDLG_FOUND), 0);
  // Navilink A: tracks and datalog, neither delete nor switch-off.
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_WAYPOINTS));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_ROUTES));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_TRACKS));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_DATALOG));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_FILE_LABEL));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_FILE));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_BROWSE));
  click(w, IDC_GPSDLG_TRACKS);
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DELETE));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_SWITCH_OFF));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DOWNLOAD));  // no file yet
  type(w, IDC_GPSDLG_FILE, "/tmp/gps");
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_DOWNLOAD));

  // Navilink B offers everything: the tracks stay checked, and now delete and
  // switch-off are offered.
  choose(w, IDC_GPSDLG_FOUND, "Navilink B");
  EXPECT_TRUE(is_checked(w, IDC_GPSDLG_TRACKS));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_WAYPOINTS));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_DELETE));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_SWITCH_OFF));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_DOWNLOAD));
  click(w, IDC_GPSDLG_TRACKS);
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DELETE));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_SWITCH_OFF));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DOWNLOAD));
  click(w, IDC_GPSDLG_WAYPOINTS);  // delete is for the logs, switch-off for any item
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DELETE));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_SWITCH_OFF));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_DOWNLOAD));
  click(w, IDC_GPSDLG_DATALOG);
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_DELETE));
  click(w, IDC_GPSDLG_DELETE);
  click(w, IDC_GPSDLG_SWITCH_OFF);
  click(w, IDC_GPSDLG_DATALOG);  // the delete box goes with the logs
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DELETE));
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_DELETE));
  EXPECT_TRUE(is_checked(w, IDC_GPSDLG_SWITCH_OFF));

  // Back to Navilink A, which has no waypoints: the box is greyed and cleared, and with
  // nothing left checked neither switch-off nor Download is offered.
  choose(w, IDC_GPSDLG_FOUND, "Navilink A");
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_WAYPOINTS));
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_WAYPOINTS));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_SWITCH_OFF));
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_SWITCH_OFF));
  EXPECT_FALSE(enabled(w, IDC_GPSDLG_DOWNLOAD));
}

// A new search empties the list, releasing its ports, and greys every item, the
// datalog and the options too, and Download: nothing can be posted without a receiver.
TEST_F(DownloadWindow, ANewSearchReleasesTheFoundPortsAndGreysEverything) {
  plat::Wnd w = open_with({{"Navilink A", 0x3F}});
  click(w, IDC_GPSDLG_DATALOG);
  click(w, IDC_GPSDLG_SWITCH_OFF);
  type(w, IDC_GPSDLG_FILE, "/tmp/gps");
  ASSERT_TRUE(enabled(w, IDC_GPSDLG_DOWNLOAD));
  type(w, IDC_GPSDLG_COM, "2");
  choose(w, IDC_GPSDLG_FAMILY, "Navilink (Locosys, Amaryllo)");
  click(w, IDC_GPSDLG_PROBE);
  EXPECT_THAT(live_ports(), IsEmpty());
  EXPECT_THAT(combo_items(w, IDC_GPSDLG_FOUND), IsEmpty());
  for (int id : {IDC_GPSDLG_FOUND, IDC_GPSDLG_WAYPOINTS, IDC_GPSDLG_ROUTES, IDC_GPSDLG_TRACKS, IDC_GPSDLG_DATALOG,
                 IDC_GPSDLG_FILE_LABEL, IDC_GPSDLG_FILE, IDC_GPSDLG_BROWSE, IDC_GPSDLG_DELETE, IDC_GPSDLG_SWITCH_OFF,
                 IDC_GPSDLG_DOWNLOAD}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(enabled(w, id));
  }
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_DATALOG));
  EXPECT_FALSE(is_checked(w, IDC_GPSDLG_SWITCH_OFF));
}

// No receiver: the message, then the port fields as at the start.
TEST_F(DownloadWindow, NoReceiverShowsTheMessageAndResetsThePortFields) {
  for (const bool usb : {false, true}) {
    SCOPED_TRACE(usb);
    tm_test::clear_message_boxes();
    plat::Wnd w = open();
    if (usb) {
      click(w, IDC_GPSDLG_USB);
    } else {
      type(w, IDC_GPSDLG_COM, "4");
      choose(w, IDC_GPSDLG_FAMILY, "Magellan");
    }
    click(w, IDC_GPSDLG_PROBE);
    gpsdlg_on_result(nullptr);
    tm_test::run_until_idle();
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, "No GPS on this port");
    EXPECT_EQ(tm_test::message_boxes()[0].caption, "Open error");
    EXPECT_EQ(text_of(item(w, IDC_GPSDLG_COM)), "");
    EXPECT_TRUE(is_checked(w, IDC_GPSDLG_SERIAL));
    EXPECT_FALSE(is_checked(w, IDC_GPSDLG_USB));
    EXPECT_TRUE(enabled(w, IDC_GPSDLG_COM));
    EXPECT_TRUE(enabled(w, IDC_GPSDLG_FAMILY));
    EXPECT_FALSE(enabled(w, IDC_GPSDLG_PROBE));
    EXPECT_FALSE(enabled(w, IDC_GPSDLG_FOUND));
    click(w, IDC_GPSDLG_CANCEL);
  }
}

// "..." asks for the file with the save dialog and its title; the choice fills the edit.
TEST_F(DownloadWindow, TheFileChoiceFillsTheEdit) {
  plat::Wnd w = open_with({{"Navilink A", 0x3F}});
  std::string title;
  tm_test::answer_next_dialog([&](plat::Wnd d) {
    title = text_of(d);
    tm_test::click_control(d, plat::IDCANCEL);
  });
  click(w, IDC_GPSDLG_BROWSE);
  EXPECT_EQ(title, "Save points as");
  EXPECT_EQ(text_of(item(w, IDC_GPSDLG_FILE)), "");
  const std::string path = tm_test::fresh_dir("gpsdlg") + "points";
  tm_test::answer_next_save_dialog(path);
  click(w, IDC_GPSDLG_BROWSE);
  EXPECT_EQ(text_of(item(w, IDC_GPSDLG_FILE)), path);
}

// A relative path keeps the window open with the message; an absolute one posts the
// download of the chosen port with the flags and closes, releasing the other ports.
TEST_F(DownloadWindow, DownloadNeedsAnAbsolutePathAndKeepsTheChosenPort) {
  plat::Wnd w = open_with({{"Navilink A", 0x3F}, {"Navilink B", 0x3F}});
  choose(w, IDC_GPSDLG_FOUND, "Navilink B");
  const gpsport_t* chosen = nullptr;
  for (gpsport_t* p : live_ports())
    if (std::string(p->display_name) == "Navilink B") chosen = p;
  ASSERT_NE(chosen, nullptr);
  const int chosen_id = chosen->id;
  for (int id : {IDC_GPSDLG_WAYPOINTS, IDC_GPSDLG_TRACKS, IDC_GPSDLG_DATALOG, IDC_GPSDLG_DELETE,
                 IDC_GPSDLG_SWITCH_OFF})
    click(w, id);
  type(w, IDC_GPSDLG_FILE, "points/today");
  frame_test::clear_seen();
  click(w, IDC_GPSDLG_DOWNLOAD);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "Absolute file path is required.");
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "File name error");
  EXPECT_EQ(gpsdlg_window(), w);
  EXPECT_THAT(frame_test::commands(), IsEmpty());
  EXPECT_EQ(live_ports().size(), 2u);

  type(w, IDC_GPSDLG_FILE, "/data/gps files/today");
  click(w, IDC_GPSDLG_DOWNLOAD);
  const int flags = GPS_WAYPOINTS | GPS_TRACKS | GPS_DATALOG | GPS_DELETE | GPS_SWITCH_OFF;
  EXPECT_THAT(frame_test::commands(),
              ElementsAre("13:" + std::to_string(chosen_id) + " " + std::to_string(flags) + " /data/gps files/today"));
  EXPECT_EQ(gpsdlg_window(), nullptr);
  EXPECT_TRUE(frame_enabled());
  // Only the chosen port is left, for the download task to free.
  const std::vector<gpsport_t*> left = live_ports();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0]->id, chosen_id);
}

// Cancel and the close box release every found port and give the frame back.
TEST_F(DownloadWindow, CancelAndCloseReleaseEveryPort) {
  for (const bool close_box : {false, true}) {
    SCOPED_TRACE(close_box);
    plat::Wnd w = open_with({{"Navilink A", 0x3F}, {"Navilink B", 0x3F}});
    if (close_box) {
      plat::post_message(w, plat::WM_CLOSE, 0, 0);
      tm_test::run_until_idle();
    } else {
      click(w, IDC_GPSDLG_CANCEL);
    }
    EXPECT_EQ(gpsdlg_window(), nullptr);
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_TRUE(frame_enabled());
    EXPECT_THAT(live_ports(), IsEmpty());
  }
}

// Escape closes the window as Cancel does, wherever the focus is (a field, a box, the
// receiver list); with a list open, Escape first closes the list only.
TEST_F(DownloadWindow, EscapeClosesTheWindowAsCancelDoes) {
  for (const int focus : {int(IDC_GPSDLG_FILE), int(IDC_GPSDLG_WAYPOINTS), int(IDC_GPSDLG_FOUND), int(IDC_GPSDLG_COM), 0}) {
    SCOPED_TRACE(focus);
    plat::Wnd w = open_with({{"Navilink A", 0x3F}, {"Navilink B", 0x3F}});
    plat::set_focus(focus ? plat::get_dlg_item(w, focus) : w);
    tm_test::run_until_idle();
    ASSERT_EQ(plat::get_focus(), focus ? plat::get_dlg_item(w, focus) : w);
    if (focus == IDC_GPSDLG_FOUND) {
      tm_test::press_key(plat::VK_F4);  // the receiver list opens
      tm_test::run_until_idle();
      ASSERT_NE(plat::send_message(plat::get_dlg_item(w, focus), plat::CB_GETDROPPEDSTATE, 0, 0), 0);
      tm_test::press_key(plat::VK_ESCAPE);
      tm_test::run_until_idle();
      EXPECT_EQ(plat::send_message(plat::get_dlg_item(w, focus), plat::CB_GETDROPPEDSTATE, 0, 0), 0);
      ASSERT_TRUE(plat::is_window(w)) << "the first Escape closes the list only";
    }
    tm_test::press_key(plat::VK_ESCAPE);
    tm_test::run_until_idle();
    EXPECT_EQ(gpsdlg_window(), nullptr);
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_TRUE(frame_enabled());
    EXPECT_THAT(live_ports(), IsEmpty());
  }
}

// A search that ends after the window closed: its ports are released, nothing shown.
TEST_F(DownloadWindow, AResultAfterTheWindowClosedReleasesItsPorts) {
  plat::Wnd w = open();
  click(w, IDC_GPSDLG_CANCEL);
  found_port("Navilink A", GPS_NAVILINK, 0x3F);
  answer_search();
  EXPECT_THAT(live_ports(), IsEmpty());
  EXPECT_THAT(tm_test::message_boxes(), IsEmpty());
  gpsdlg_on_result(nullptr);  // and nothing at all
  EXPECT_THAT(tm_test::message_boxes(), IsEmpty());
}

// The whole search through the dispatcher: command 18 runs on the worker, probes the
// asked family on the port, and the window lists what answered.
TEST_F(DownloadWindow, TheSearchRunsOnTheWorkerAndFillsTheList) {
  get_dispatcher_hooks().run_command = run_command;
  {
    std::lock_guard<std::mutex> g(gpsport_test::W().lock);
    gpsport_test::W().play[GPS_NAVILINK].identify_result = 1;
    gpsport_test::W().play[GPS_NAVILINK].capabilities = 0x3F;
  }
  plat::Wnd w = open();
  type(w, IDC_GPSDLG_COM, "7");
  choose(w, IDC_GPSDLG_FAMILY, "Navilink (Locosys, Amaryllo)");
  click(w, IDC_GPSDLG_PROBE);
  tm_test::run_until_idle();
  EXPECT_THAT(gpsport_test::calls(), ElementsAre("identify 5", "close 5"));
  EXPECT_THAT(combo_items(w, IDC_GPSDLG_FOUND).size(), 1u);
  EXPECT_EQ(combo_selection(w, IDC_GPSDLG_FOUND), 0);
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_FOUND));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_PROBE));
  EXPECT_TRUE(enabled(w, IDC_GPSDLG_WAYPOINTS));

  // A family that does not answer: the message.
  choose(w, IDC_GPSDLG_FAMILY, "SkyTraq");
  click(w, IDC_GPSDLG_PROBE);
  tm_test::run_until_idle();
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "No GPS on this port");
  EXPECT_THAT(live_ports(), IsEmpty());
}

class DownloadWindowLayout : public GpsDialogsFixture, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { SetUpIn(GetParam()); }
};

TEST_P(DownloadWindowLayout, HasNoFaultsAndItsTexts) {
  gpsdlg_open();
  tm_test::run_until_idle();
  plat::Wnd w = gpsdlg_window();
  ASSERT_NE(w, nullptr);
  const bool fr = std::string(GetParam()) == "FRANCAIS";
  EXPECT_EQ(text_of(w), fr ? "R\xC3\xA9" "cup\xC3\xA9ration de points GPS" : "Download data from GPS");
  EXPECT_EQ(text_of(item(w, IDC_GPSDLG_DOWNLOAD)), fr ? "R\xC3\xA9" "cup\xC3\xA9rer" : "Download");
  EXPECT_EQ(text_of(item(w, IDC_GPSDLG_PROBE)), fr ? "Rechercher GPS" : "Probe GPS");
  EXPECT_THAT(tm_test::dialog_layout_faults(w), IsEmpty());
  EXPECT_TRUE(tm_test::dialog_picture(w, tm_test::fresh_dir("gpsdlg_pictures") + GetParam() + ".png"));
}

INSTANTIATE_TEST_SUITE_P(Languages, DownloadWindowLayout, ::testing::Values("ENGLISH", "FRANCAIS"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace gps_dialogs_test
