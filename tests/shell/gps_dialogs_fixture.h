// Shared by the tests of the GPS windows: the frame as start-up builds it, the port
// class with stub receiver families (tests/gps/gpsport_fixture.h), a stub Garmin USB
// search, a recorder in place of live navigation's start, and readers of the windows'
// items.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/nmea_log.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/keys.h"
#include "shell/gps_ui/gps_dialogs.h"
#include "shell/startup.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"

namespace gps_dialogs_test {

// What live navigation was asked to start with.
struct started_navigation {
  gpsport_t* port = nullptr;
  int kind = 0, family = 0, speed = 0, log = -1;
  std::string device_path, display_name;
};
inline std::vector<started_navigation>& starts() {
  static std::vector<started_navigation> s;
  return s;
}

// The Garmin USB receivers the stub search finds: display name and capabilities.
struct usb_receiver {
  std::string name;
  uint32_t capabilities;
};
inline std::vector<usb_receiver>& usb_receivers() {
  static std::vector<usb_receiver> r;
  return r;
}
inline int stub_usb_search(int index, gpsport_t** out) {
  if (index < 0 || index >= int(usb_receivers().size())) return 0;
  gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, nullptr, out);
  if (!*out) return 0;
  str_set(usb_receivers()[size_t(index)].name.c_str(), &(*out)->display_name);
  (*out)->capabilities = usb_receivers()[size_t(index)].capabilities;
  return 1;
}

inline std::string text_of(plat::Wnd w) {
  char buf[512] = {};
  plat::get_window_text(w, buf, int(sizeof buf));
  return buf;
}

// Every live port object.
inline std::vector<gpsport_t*> live_ports() {
  std::vector<gpsport_t*> out;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_GPSPORT, &cursor)) out.push_back(static_cast<gpsport_t*>(cursor));
  return out;
}

class GpsDialogsFixture : public frame_test::FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    create_ui_font();
    std::memcpy(saved_table_, gps_device_table, sizeof saved_table_);
    gpsport_register();
    gpsport_test::reset_world();
    gpsport_test::install_stub_families();
    saved_hooks_ = get_gps_usb_hooks();
    get_gps_usb_hooks().usb_search = stub_usb_search;
    usb_receivers().clear();
    starts().clear();
    get_startup_table().navig_start = [](obj_t* port, const char*, const char*, int log) {
      started_navigation s;
      s.port = static_cast<gpsport_t*>(port);
      s.log = log;
      if (s.port) {
        s.kind = s.port->kind;
        s.family = s.port->family;
        s.speed = s.port->speed;
        s.device_path = s.port->device_path ? s.port->device_path : "";
        s.display_name = s.port->display_name ? s.port->display_name : "";
      }
      starts().push_back(s);
    };
    navig_log_set(0);
    tm_test::clear_message_boxes();
  }
  void TearDown() override {
    if (plat::Wnd w = gpsdlg_window()) plat::destroy_window(w);
    if (plat::Wnd w = navdlg_window()) plat::destroy_window(w);
    set_gps_probe_result_routine(nullptr);
    get_startup_table().navig_start = nullptr;
    get_gps_usb_hooks() = saved_hooks_;
    tm_test::run_until_idle();
    set_gblerr(0);
    for (gpsport_t* p : live_ports()) {
      obj_t* o = p;
      free_obj(&o);
    }
    FrameFixture::TearDown();
    std::memcpy(gps_device_table, saved_table_, sizeof saved_table_);
  }

  static plat::Wnd item(plat::Wnd w, int id) { return tm_test::dlg_control(w, id); }
  static bool enabled(plat::Wnd w, int id) { return plat::is_window_enabled(item(w, id)); }
  static bool is_checked(plat::Wnd w, int id) {
    return plat::send_message(item(w, id), plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED;
  }
  static void click(plat::Wnd w, int id) {
    ASSERT_TRUE(tm_test::click_control(w, id));
    tm_test::run_until_idle();
  }
  // Replaces the edit's text by typing (an empty text: the old one is erased).
  static void type(plat::Wnd w, int id, const char* text) {
    ASSERT_TRUE(tm_test::type_into(w, id, text));
    if (!*text) tm_test::press_key(plat::VK_BACK);
    tm_test::run_until_idle();
  }
  static void choose(plat::Wnd w, int id, const char* text) {
    ASSERT_TRUE(tm_test::select_combo_text(item(w, id), text));
    tm_test::run_until_idle();
  }
  // The items of a drop-down list: "text=data", and the selected one's index.
  static std::vector<std::string> combo_items(plat::Wnd w, int id) {
    plat::Wnd c = item(w, id);
    std::vector<std::string> out;
    const int n = int(plat::send_message(c, plat::CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char16_t buf[256] = {};
      plat::send_message(c, plat::CB_GETLBTEXT, plat::WParam(i), plat::LParam(buf));
      std::string s;
      for (const char16_t* p = buf; *p; ++p) s += char(*p);
      out.push_back(s + "=" + std::to_string(plat::send_message(c, plat::CB_GETITEMDATA, plat::WParam(i), 0)));
    }
    return out;
  }
  static int combo_selection(plat::Wnd w, int id) {
    return int(plat::send_message(item(w, id), plat::CB_GETCURSEL, 0, 0));
  }
  bool frame_enabled() const { return plat::is_window_enabled(frame_); }

  gps_device_column saved_table_[kGpsFamilyCount + 1];
  gps_usb_hooks saved_hooks_;
};

}  // namespace gps_dialogs_test
