// The map program's per-slot action table, driven through the real dispatcher: every
// slot of the program reaches its own routine (with its text, on the user-interface
// thread or a worker as the table says, after the progress window for the long tasks),
// and every slot, with the routines of this build, ends its task so that the
// dispatcher comes back to rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/object.h"
#include "platform/sys/thread.h"
#include "platform/ui/ui.h"
#include "shell/command_table.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"

namespace {

struct Reached {
  int slot;
  std::string text;
  bool on_ui_thread;
  bool progress_window;  // the progress window existed when the routine ran
};

std::mutex g_lock;
std::vector<Reached> g_reached;
std::vector<int> g_arrivals;  // slots as their messages reached the frame

void note(int slot) {
  const char* text = current_task_text();
  Reached r{slot, text ? text : "", plat::on_ui_thread(), progress_window() != nullptr};
  std::lock_guard<std::mutex> g(g_lock);
  g_reached.push_back(r);
}

template <int Slot> void ui_recorder() { note(Slot); }
template <int Slot> void worker_recorder(void*) {
  note(Slot);
  task_end();
}

plat::LResult frame_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  if (msg == kCommandMessage) {
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_arrivals.push_back(int(wp));
    }
    task_dispatch_message(wp, lp);
    return 0;
  }
  return plat::def_window_proc(wnd, msg, wp, lp);
}

class CommandTable : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_reached.clear();
      g_arrivals.clear();
    }
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    progress_state_reset();
    main_command_table_reset();
    set_run_command(run_command);
    plat::WndClass cls;
    cls.proc = frame_proc;
    cls.name = "CommandTableFrame";
    plat::register_class(cls);
    frame_ = plat::create_window(0, "CommandTableFrame", "frame", plat::WS_OVERLAPPEDWINDOW, 0, 0,
                                 400, 300, nullptr, 0);
    set_command_target(&target_, frame_);
  }

  void TearDown() override {
    session_.reset();
    plat::join_threads(10000);
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    progress_state_reset();
    main_command_table_reset();
    ConfigFixture::TearDown();
  }

  // Puts a recorder in every slot that has a routine of the program.
  template <int... S> static void install_recorders(std::integer_sequence<int, S...>) {
    command_entry* t = main_command_table();
    ((t[S].where == CMD_UI ? (void)(t[S].ui = ui_recorder<S>)
                           : t[S].where == CMD_WORKER ? (void)(t[S].worker = worker_recorder<S>)
                                                      : (void)0),
     ...);
  }

  static void expect_at_rest() {
    EXPECT_EQ(task_running_slot(), 0);
    for (int s = 0; s < kCommandSlots; ++s) EXPECT_EQ(task_slot_state(s), 0) << "slot " << s;
  }

  static int arrivals_of(int slot) {
    std::lock_guard<std::mutex> g(g_lock);
    int n = 0;
    for (int s : g_arrivals) n += s == slot;
    return n;
  }

  std::unique_ptr<tm_test::UiSession> session_;
  obj_t target_{};
  plat::Wnd frame_ = nullptr;
};

TEST_F(CommandTable, EachSlotHasTheRoutineAndPlaceOfTheProgram) {
  struct Row {
    command_where where;
    bool progress;
    const char* routine;
  };
  const std::map<int, Row> program = {
      {10, {CMD_UI, false, "navig_display_step"}},
      {12, {CMD_WORKER, true, "task_set_display_system"}},
      {13, {CMD_WORKER, true, "task_gps_download"}},
      {14, {CMD_WORKER, true, "cmd_load"}},
      {15, {CMD_UI, true, "run_export_command"}},
      {18, {CMD_WORKER, true, "task_gps_probe"}},
      {19, {CMD_UI, false, "cmd_zoom_to_loaded"}},
      {20, {CMD_WORKER, false, "graphspace_reload_files"}},
      {21, {CMD_UI, false, "mapwin_toggle_layer_text"}},
  };
  const int framework[] = {0, 1, 2, 4, 5, 6, 7, 8};
  const command_entry* t = main_command_table();
  for (int s = 0; s < kCommandSlots; ++s) {
    SCOPED_TRACE(s);
    auto it = program.find(s);
    if (it != program.end()) {
      EXPECT_EQ(t[s].where, it->second.where);
      EXPECT_EQ(t[s].progress, it->second.progress);
      EXPECT_STREQ(t[s].routine, it->second.routine);
      if (t[s].where == CMD_UI) {
        EXPECT_NE(t[s].ui, nullptr);
      }
      if (t[s].where == CMD_WORKER) {
        EXPECT_NE(t[s].worker, nullptr);
      }
    } else {
      const bool own = std::find(std::begin(framework), std::end(framework), s) != std::end(framework);
      EXPECT_EQ(t[s].where, own ? CMD_FRAMEWORK : CMD_NOTHING);
      EXPECT_FALSE(t[s].progress);
    }
  }
}

TEST_F(CommandTable, EverySlotReachesItsRoutineWithItsTextOnItsThread) {
  install_recorders(std::make_integer_sequence<int, kCommandSlots>());
  const command_entry* t = main_command_table();
  for (int s = 3; s < kCommandSlots; ++s) {
    if (t[s].where != CMD_UI && t[s].where != CMD_WORKER) continue;
    SCOPED_TRACE(s);
    {
      std::lock_guard<std::mutex> g(g_lock);
      g_reached.clear();
    }
    const std::string text = "text of " + std::to_string(s);
    ASSERT_EQ(post_command(s, 0, text.c_str()), 1);
    tm_test::run_until_idle();
    std::vector<Reached> seen;
    {
      std::lock_guard<std::mutex> g(g_lock);
      seen = g_reached;
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].slot, s);
    EXPECT_EQ(seen[0].text, text);
    EXPECT_EQ(seen[0].on_ui_thread, t[s].where == CMD_UI);
    // Long tasks make the progress window first; the end of the task closes it.
    EXPECT_EQ(seen[0].progress_window, t[s].progress);
    EXPECT_EQ(progress_window(), nullptr);
    expect_at_rest();
  }
}

TEST_F(CommandTable, EverySlotEndsItsTaskWithTheRoutinesOfThisBuild) {
  for (int s = 3; s < kCommandSlots; ++s) {
    if (main_command_table()[s].where == CMD_FRAMEWORK) continue;
    SCOPED_TRACE(s);
    const int ends_before = arrivals_of(1);
    ASSERT_EQ(post_command(s, 0, "0/no/such/file"), 1);
    tm_test::run_until_idle();
    // The command's end, then the end of the background task that follows it.
    EXPECT_EQ(arrivals_of(1) - ends_before, 2);
    expect_at_rest();
    EXPECT_EQ(plat::live_threads(), 0);
  }
}

TEST_F(CommandTable, SlotsOutsideTheTableOrOfTheDispatcherDoNothing) {
  install_recorders(std::make_integer_sequence<int, kCommandSlots>());
  for (int s : {-1, 0, 1, 2, 4, 5, 6, 7, 8, kCommandSlots, 1000}) run_command(s);
  EXPECT_EQ(task_running_slot(), 0);
  std::lock_guard<std::mutex> g(g_lock);
  EXPECT_TRUE(g_reached.empty());
}

TEST_F(CommandTable, QueuedLoadsRunOneAfterAnotherInTheirOrder) {
  install_recorders(std::make_integer_sequence<int, kCommandSlots>());
  // Three loads posted at once: each text gets its own run of slot 14.
  for (const char* path : {"1/a.png", "1/b.gpx", "1/c.kml"}) post_command(14, 0, path);
  tm_test::run_until_idle();
  std::vector<std::string> texts;
  {
    std::lock_guard<std::mutex> g(g_lock);
    for (const Reached& r : g_reached) texts.push_back(std::to_string(r.slot) + ":" + r.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"14:1/a.png", "14:1/b.gpx", "14:1/c.kml"}));
  expect_at_rest();
}

}  // namespace
