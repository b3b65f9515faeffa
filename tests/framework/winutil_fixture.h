// A fixture for the window toolkit's tests: a fresh object store and window system, the
// map-window class, a frame window that is the command target and records the commands
// posted to it, and small helpers to make window objects.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "map/view_records.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"
#include "tests/framework/test_frame.h"
#include "tests/support/harness.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace winutil_test {

inline std::vector<std::pair<int, std::string>>& posted() {
  static std::vector<std::pair<int, std::string>> p;
  return p;
}

// The frame records each command posted to it (slot and text) and frees the text.
inline plat::LResult frame_proc(plat::Wnd w, uint32_t m, plat::WParam wp, plat::LParam lp) {
  if (m == kCommandMessage) {
    char* text = reinterpret_cast<char*>(lp);
    posted().emplace_back(int(wp), text ? text : "");
    std::free(text);
    return 0;
  }
  return plat::def_window_proc(w, m, wp, lp);
}

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    mapwin_type_register();
    task_slots_init();
    winutil_state_reset();
    set_gblerr(0);
    config_set("LANG", "ENGLISH");
    posted().clear();
    frame = framework_test::open_test_frame("ToolkitFrame", "frame", 800, 600, frame_proc);
    ASSERT_NE(frame, nullptr);
    attach_window_object(&frame_object, frame, 0, 0, 800, 600, colour_word(255, 255, 255), 32, 0);
    ASSERT_NE(frame_object, nullptr);
    keep(frame_object);
    ASSERT_EQ(get_command_target_wnd(), frame);
  }
  void TearDown() override {
    set_current_mapwin(nullptr);
    set_gblerr(0);
    for (mapwin_t* w : objects) release(w);
    // Every window goes, so that each control frees what it holds.
    if (plat::is_window(frame)) plat::destroy_window(frame);
    tm_test::run_until_idle();
  }

  // Window objects go back to the store with their brushes when the test ends.
  mapwin_t* keep(mapwin_t* w) {
    if (w) objects.push_back(w);
    return w;
  }
  static void release(mapwin_t* w) {
    if (w->brush) plat::delete_object(w->brush);
    if (w->inverse_brush) plat::delete_object(w->inverse_brush);
    w->brush = w->inverse_brush = nullptr;
    free_obj(&w);
  }

  // The slots posted to the frame so far (after the loop ran).
  std::vector<int> posted_slots() {
    tm_test::run_until_idle();
    std::vector<int> slots;
    for (auto& p : posted()) slots.push_back(p.first);
    return slots;
  }

  // A plain child window of the frame.
  plat::Wnd child(int x, int y, int w, int h, uint32_t style = 0) {
    return plat::create_window(0, "ToolkitFrame", "", plat::WS_CHILD | plat::WS_VISIBLE | style, x, y, w, h,
                               frame, 0);
  }

  tm_test::UiSession ui;
  plat::Wnd frame = nullptr;
  mapwin_t* frame_object = nullptr;
  std::vector<mapwin_t*> objects;
};

}  // namespace winutil_test
