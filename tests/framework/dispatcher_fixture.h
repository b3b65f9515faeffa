// Shared by the dispatcher tests: a frame-like window whose procedure hands WM_USER to
// the dispatcher, stub tasks that record what ran (and on which thread), a redraw task
// that can be held running, and a fixture that gives each test a fresh window system
// on the virtual clock, a fresh configuration and a fresh slot table.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/object.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "tests/core/config_fixture.h"
#include "tests/framework/test_frame.h"
#include "tests/support/harness.h"

namespace dispatch_test {

struct Recorder {
  std::mutex lock;
  std::vector<std::string> events;          // what ran, in order
  std::vector<int> arrivals;                // slots as their messages reached the frame
  std::vector<std::thread::id> task_threads;
  std::atomic<bool> hold_redraw{false};     // a redraw sleeps while this is set
  std::atomic<int> stop_seen{-1};           // the stop request the last redraw saw
};

inline Recorder& R() {
  static Recorder recorder;
  return recorder;
}

inline void note(const std::string& what) {
  std::lock_guard<std::mutex> guard(R().lock);
  R().events.push_back(what);
}

inline void note_thread() {
  std::lock_guard<std::mutex> guard(R().lock);
  R().task_threads.push_back(std::this_thread::get_id());
}

inline std::vector<std::string> events() {
  std::lock_guard<std::mutex> guard(R().lock);
  return R().events;
}

inline std::string slot_and_text(int slot) {
  const char* text = current_task_text();
  return std::to_string(slot) + (text ? std::string(":") + text : std::string());
}

// A worker task of the program's table: records its slot and text, then ends.
inline void stub_worker(void*) {
  note_thread();
  note("task " + slot_and_text(task_running_slot()));
  task_end();
}

// The program's table: slots 12 and 14 run a worker, every other slot runs here.
inline void stub_run_command(int slot) {
  if (slot == 12 || slot == 14) {
    task_start(slot, stub_worker);
    return;
  }
  note(slot_and_text(slot));
}

inline void stub_redraw(void*) {
  note_thread();
  note("redraw");
  R().stop_seen.store(get_stop_request());
  while (R().hold_redraw.load()) plat::sleep_ms(5);
  task_end();
}

inline void stub_print(void*) {
  note("print " + slot_and_text(task_running_slot()));
  task_end();
}

inline plat::LResult frame_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  if (msg == kCommandMessage) {
    {
      std::lock_guard<std::mutex> guard(R().lock);
      R().arrivals.push_back(int(wp));
    }
    task_dispatch_message(wp, lp);
    return 0;
  }
  return plat::def_window_proc(wnd, msg, wp, lp);
}

class DispatcherFixture : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
    {
      std::lock_guard<std::mutex> guard(R().lock);
      R().events.clear();
      R().arrivals.clear();
      R().task_threads.clear();
    }
    R().hold_redraw.store(false);
    R().stop_seen.store(-1);
    task_slots_init();
    dispatcher_hooks_reset();
    dispatcher_hooks& h = get_dispatcher_hooks();
    h.run_command = stub_run_command;
    h.redraw_run = stub_redraw;
    h.print_run = stub_print;
    h.redraw_schedule = [] { note("schedule"); };
    h.mapwin_apply_scroll = [] { note("scroll"); };
    h.redraw_dirty_mapwins = [] { note("dirty"); };
    h.overviews_build = [] {
      note_thread();
      note("overviews");
    };
    h.ecw_idle_views = [] { note("ecw"); };
  }

  void TearDown() override {
    R().hold_redraw.store(false);
    session_.reset();  // the virtual clock goes off: every sleeper wakes
    plat::join_threads(10000);
    task_slots_init();
    dispatcher_hooks_reset();
    ConfigFixture::TearDown();
  }

  // The frame window; it becomes the command target.
  plat::Wnd open_frame() {
    frame_ = framework_test::open_test_frame("TestFrame", "frame", 400, 300, frame_proc,
                                             plat::WS_OVERLAPPEDWINDOW);
    set_command_target(&target_object_, frame_);
    return frame_;
  }

  // Events without the redraw scheduling noise, which every start adds.
  static std::vector<std::string> runs() {
    std::vector<std::string> out;
    for (const std::string& e : events())
      if (e != "schedule") out.push_back(e);
    return out;
  }

  // Lets a held redraw finish, then runs until everything is at rest.
  static void release_redraw() {
    R().hold_redraw.store(false);
    tm_test::advance_time(10);
    tm_test::run_until_idle();
  }

  // Every slot idle, no task, no text left.
  static void expect_at_rest() {
    EXPECT_EQ(task_running_slot(), 0);
    for (int s = 0; s < kCommandSlots; ++s) {
      EXPECT_EQ(task_slot_state(s), 0) << "slot " << s;
      EXPECT_EQ(task_queue_length(s), 0) << "slot " << s;
    }
  }

  std::unique_ptr<tm_test::UiSession> session_;
  obj_t target_object_{};
  plat::Wnd frame_ = nullptr;
};

}  // namespace dispatch_test
