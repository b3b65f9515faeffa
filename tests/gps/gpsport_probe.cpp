// The probe and the receiver search: families asked in ascending order through the
// filter, the first that answers wins, a device that cannot be opened ends the probe
// without error, an error left by the families stands, a silent port asked by all nine
// families runs through minutes of their time-outs on the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "core/obj_list.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "gps/gpsport.h"
#include "tests/gps/gpsport_fixture.h"

namespace gpsport_test {
namespace {

std::vector<std::string> identifies(std::initializer_list<int> families) {
  std::vector<std::string> out;
  for (int f : families) out.push_back("identify " + std::to_string(f));
  return out;
}

class GpsProbe : public GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    install_stub_families();
  }
};

TEST_F(GpsProbe, FamiliesAreAskedInOrderThroughTheFilter) {
  struct Case {
    const char* what;
    int filter;
    int answering;  // the family that finds a receiver, 0 none
    std::vector<std::string> asked;
    int found_family;
  };
  const Case cases[] = {
      {"all, none answers", 0, 0, identifies({1, 2, 3, 4, 5, 6, 7, 8, 9}), 0},
      {"all, first to answer wins", 0, 4, identifies({1, 2, 3, 4}), 4},
      {"all, the last answers", 0, 9, identifies({1, 2, 3, 4, 5, 6, 7, 8, 9}), 9},
      {"Navilink only", 5, 5, identifies({5}), 5},
      {"Navilink only, another would answer", 5, 3, identifies({5}), 0},
      {"filter outside the families", 10, 1, {}, 0},
      {"negative filter", -1, 1, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset_world();
    if (c.answering) W().play[c.answering].identify_result = 1;
    gpsport_t* port = nullptr;
    gps_probe("/dev/null-receiver", c.filter, &port);
    EXPECT_EQ(calls(), c.asked);
    EXPECT_EQ(get_gblerr(), 0);
    if (!c.found_family) {
      EXPECT_EQ(port, nullptr);
      EXPECT_EQ(obj_class_count(CLS_GPSPORT, nullptr), 0);
      continue;
    }
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->family, c.found_family);
    EXPECT_EQ(port->kind, GPSPORT_SERIAL);
    EXPECT_STREQ(port->device_path, "/dev/null-receiver");
    EXPECT_EQ(W().speaker, "/dev/null-receiver");
    free_obj(&port);
    EXPECT_EQ(W().drivers_alive, 0);
  }
}

// The first identify that cannot open the device ends the probe: no port, no error,
// no further family asked.
TEST_F(GpsProbe, UnopenableDeviceEndsTheProbeWithoutError) {
  for (int f = 1; f <= kGpsFamilyCount; ++f) W().play[f].open_device = true;
  gpsport_t* port = nullptr;
  gps_probe("/nonexistent/ttyS99", 0, &port);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(calls(), identifies({1}));
  EXPECT_EQ(obj_class_count(CLS_GPSPORT, nullptr), 0);

  reset_world();
  W().play[2].identify_result = -1;
  W().play[2].identify_error = ERR_COM_OPEN;
  gps_probe("/dev/whatever", 0, &port);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(calls(), identifies({1, 2}));
}

// Nothing found with an error set by a family: the port stays and the error stands.
TEST_F(GpsProbe, AnErrorOfTheFamiliesStandsWithThePort) {
  W().play[7].identify_error = ERR_PROTOCOL;
  gpsport_t* port = nullptr;
  gps_probe("/dev/whatever", 0, &port);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
  set_gblerr(0);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->kind, GPSPORT_SERIAL);
  free_obj(&port);
}

// A silent receiver on a real serial line: every family opens it, listens 20 s of the
// timed read loop and gives up. Three minutes of protocol time pass on the virtual
// clock; the port is free afterwards.
TEST_F(GpsProbe, SilentPortAskedByAllFamiliesRunsOnTheVirtualClock) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  for (int f = 1; f <= kGpsFamilyCount; ++f) {
    W().play[f].open_device = true;
    W().play[f].listen_seconds = 20;
  }
  gpsport_t* port = nullptr;
  const int64_t took = run_on_virtual_clock([&] { gps_probe(pty.path().c_str(), 0, &port); }, 1000);
  ASSERT_GE(took, 0) << "the probe hung";
  EXPECT_GE(took, 9 * 20 * 1000);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(calls(), identifies({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  com_device* dev = nullptr;
  com_open(pty.path().c_str(), 9600, &dev);
  EXPECT_NE(dev, nullptr);
  com_close(&dev);
}

// The download dialog's search on a serial port: the receiver found is closed at once
// and offered in the list; nothing found leaves the list null.
TEST_F(GpsProbe, SearchOffersTheFoundReceiverClosed) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  config_set("COM6", pty.path().c_str());
  W().play[5].open_device = true;
  W().play[5].identify_result = 1;
  W().play[5].capabilities = 63;
  container_t* list = nullptr;
  gps_search_receiver(GPSPORT_SERIAL, 6, 0, &list);
  EXPECT_EQ(get_gblerr(), 0);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(obj_list_count(list), 1);
  gpsport_t* port = static_cast<gpsport_t*>(list->elems[0]);
  EXPECT_EQ(port->family, 5);
  EXPECT_EQ(port->capabilities, 63u);
  EXPECT_STREQ(port->display_name, "Stub5 receiver");
  EXPECT_STREQ(port->device_path, "\\\\.\\COM6");
  EXPECT_EQ(W().speaker, "\\\\.\\COM6");
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
  EXPECT_EQ(calls(), (std::vector<std::string>{"identify 1", "identify 2", "identify 3",
                                               "identify 4", "identify 5", "close 5"}));
  obj_t* l = reinterpret_cast<obj_t*>(list);
  free_obj(&l);

  reset_world();
  gps_search_receiver(GPSPORT_SERIAL, 6, 3, &list);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(calls(), identifies({3}));
}

// While the search runs the frame's title names the port; the earlier title comes back.
TEST_F(GpsProbe, SearchShowsItsTitleAndRestoresThePreviousOne) {
  static mapwin_t* frame = nullptr;
  static std::vector<std::string> seen;
  seen.clear();
  mapwin_type_register();
  obj_new_registered(CLS_MAPWIN, &frame);
  ASSERT_NE(frame, nullptr);
  mapwin_ui_hooks hooks;
  hooks.command_target = []() -> obj_t* { return frame; };
  mapwin_set_ui_hooks(&hooks);
  main_set_title_text("day.tmw");
  gps_device_table[GPS_NAVILINK].identify = [](const char*, gpsport_t*) -> int32_t {
    seen.push_back(frame->title ? frame->title : "");
    return 0;
  };
  get_gps_usb_hooks().usb_search = [](int, gpsport_t** out) -> int {
    *out = nullptr;
    seen.push_back(frame->title ? frame->title : "");
    return 0;
  };
  container_t* list = nullptr;
  gps_search_receiver(GPSPORT_SERIAL, 6, GPS_NAVILINK, &list);
  EXPECT_STREQ(frame->title, "day.tmw");
  gps_search_receiver(GPSPORT_USB, 0, GPS_GARMIN, &list);
  EXPECT_STREQ(frame->title, "day.tmw");
  get_gps_usb_hooks() = gps_usb_hooks{};
  mapwin_set_ui_hooks(nullptr);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"Check GPS receiver on \\\\.\\COM6",
                                            "Check USB Garmin GPS receiver"}));
  free_mem(&frame->title);  // the frame's texts belong to its window, not to the record
  free_obj(&frame);
}

// Every Garmin USB receiver the search finds is closed and offered.
TEST_F(GpsProbe, UsbSearchAsksEveryIndexUntilNoneIsFound) {
  static std::vector<int>* asked = nullptr;
  std::vector<int> seen;
  asked = &seen;
  gps_usb_hooks& hooks = get_gps_usb_hooks();
  const gps_usb_hooks saved = hooks;
  hooks.usb_search = [](int index, gpsport_t** out) -> int {
    asked->push_back(index);
    *out = nullptr;
    if (index >= 2) return 0;
    gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, nullptr, out);
    (*out)->driver = new_driver(GPS_GARMIN);
    str_set(index == 0 ? "eTrex B" : "eTrex A", &(*out)->display_name);
    return 1;
  };
  container_t* list = nullptr;
  gps_search_receiver(GPSPORT_USB, 0, 1, &list);
  hooks = saved;
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(obj_list_count(list), 2);
  EXPECT_STREQ(static_cast<gpsport_t*>(list->elems[0])->display_name, "eTrex A");
  EXPECT_STREQ(static_cast<gpsport_t*>(list->elems[1])->display_name, "eTrex B");
  EXPECT_EQ(W().drivers_alive, 0);
  EXPECT_EQ(calls(), (std::vector<std::string>{"close 1", "close 1"}));
  obj_t* l = reinterpret_cast<obj_t*>(list);
  free_obj(&l);

  // Without the USB module nothing is found.
  list = nullptr;
  gps_search_receiver(GPSPORT_USB, 0, 1, &list);
  EXPECT_EQ(list, nullptr);
}

}  // namespace
}  // namespace gpsport_test
