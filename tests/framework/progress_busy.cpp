// The busy cursor rule and the activity indicator: the letter that moves through the
// indicator text, the one-second throttle after a reset, and what a set error code does
// on the user-interface thread and on a worker.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "map/view_records.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "tests/framework/test_frame.h"
#include "tests/support/harness.h"
#include "tests/support/object_env.h"

namespace {

std::vector<std::string> g_status;
struct exit_called {
  int code;
};

class BusyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    task_slots_init();
    dispatcher_hooks_reset();
    progress_state_reset();
    set_gblerr(0);
    g_status.clear();
    get_dispatcher_hooks().main_set_status_text = [](const char* t) { g_status.push_back(t ? t : ""); };
    frame = framework_test::open_test_frame("BusyFrame", "f", 400, 300);
    set_command_target(reinterpret_cast<obj_t*>(&dummy), frame);
  }
  void TearDown() override {
    dispatcher_hooks_reset();
    get_core_hooks().exit_program = nullptr;
    set_gblerr(0);
    progress_state_reset();
  }
  tm_test::UiSession ui;
  plat::Wnd frame = nullptr;
  obj_t dummy{1, 20};
};

TEST(BusyText, LetterMovesThroughEachKind) {
  struct Case {
    const char* kind;
    int counter;
    const char* expect;
  } cases[] = {
      {"W", 1, "wEB SURF "}, {"W", 3, "WEb SURF "}, {"W", 4, "WEB sURF "}, {"W", 7, "WEB SURf "},
      {"W", 8, "WEB SURF "}, {"DISK", 4, "DISk SURF"}, {"D", 8, "DISK SURf"}, {"Z", 5, "ZIP SuRF"},
      {"Z", 0, "ZIP SURF"},  {"X", 1, ""},           {nullptr, 1, ""},
  };
  for (const Case& c : cases) {
    char buf[32];
    EXPECT_STREQ(busy_indicator_text(c.kind, c.counter, buf, sizeof buf), c.expect)
        << (c.kind ? c.kind : "null") << " " << c.counter;
  }
}

TEST_F(BusyTest, TicksAreThrottledAndTheCounterWraps) {
  busy_tick(0, "W", "+x");  // never reset: allowed at once
  ASSERT_EQ(g_status.size(), 1u);
  EXPECT_EQ(g_status[0], "wEB SURF +x");
  busy_tick(0, "W", "");  // the tick reset the clock: 3 s must pass
  EXPECT_EQ(g_status.size(), 1u);
  tm_test::advance_time(2999);
  busy_tick(0, "W", "");
  EXPECT_EQ(g_status.size(), 1u);
  tm_test::advance_time(1);
  busy_tick(1, "W", "");  // quiet: nothing
  EXPECT_EQ(g_status.size(), 1u);
  busy_tick(0, "W", "");
  ASSERT_EQ(g_status.size(), 2u);
  EXPECT_EQ(g_status[1], "WeB SURF ");
  for (int i = 0; i < 6; ++i) {
    tm_test::advance_time(3000);
    busy_tick(0, "W", "");
  }
  EXPECT_EQ(g_status.back(), "wEB SURF ");  // after 7 the counter starts again at 1
  EXPECT_EQ(plat::cursor_id(plat::get_cursor()), plat::IDC_WAIT);
}

TEST_F(BusyTest, CursorRule) {
  set_busy_cursor(2);
  EXPECT_EQ(plat::cursor_id(plat::get_cursor()), plat::IDC_WAIT);
  EXPECT_EQ(task_slot_state(0), 1);  // the wake-up is posted
  plat::set_cursor(plat::load_cursor(plat::IDC_SIZEWE));
  set_busy_cursor(0);  // another shape is up: left alone
  EXPECT_EQ(plat::cursor_id(plat::get_cursor()), plat::IDC_SIZEWE);
  set_busy_cursor(-1);  // mouse moves over the map: always
  EXPECT_EQ(plat::cursor_id(plat::get_cursor()), plat::IDC_WAIT);
  set_busy_cursor(1);
  EXPECT_EQ(plat::cursor_id(plat::get_cursor()), plat::IDC_ARROW);
  task_slots_init();  // no command target: nothing
  set_busy_cursor(2);
  EXPECT_EQ(plat::cursor_id(plat::get_cursor()), plat::IDC_ARROW);
}

TEST_F(BusyTest, WorkersTickingAtOnceMakeOneStep) {
  static std::atomic<int> steps{0};
  steps = 0;
  get_dispatcher_hooks().main_set_status_text = [](const char*) { ++steps; };
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int i = 0; i < 8; ++i)
    workers.emplace_back([&] {
      while (!go) std::this_thread::yield();
      busy_tick(0, "Z", "");
    });
  go = true;
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(steps.load(), 1);
}

TEST_F(BusyTest, SetErrorEndsTheProgramOnlyOnTheUserInterfaceThread) {
  get_core_hooks().exit_program = [](int code) { throw exit_called{code}; };
  set_gblerr(ERR_LOADING);
  std::atomic<bool> worker_returned{false};
  std::thread worker([&] {
    busy_tick(0, "D", "");  // a worker logs the error and goes on
    worker_returned = true;
  });
  worker.join();
  EXPECT_TRUE(worker_returned);
  EXPECT_EQ(get_gblerr(), ERR_LOADING);
  tm_test::advance_time(3000);
  EXPECT_THROW(busy_tick(0, "D", ""), exit_called);
  // The way out says that the program failed.
  tm_test::advance_time(3000);
  int code = 0;
  try {
    busy_tick(0, "D", "");
  } catch (const exit_called& e) {
    code = e.code;
  }
  EXPECT_NE(code, 0);
}

}  // namespace
