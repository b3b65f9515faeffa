// The progress window: created hidden, shown only after 1.5 s of activity, updated at
// most every 0.1 s, with its formatted displays (image, elapsed time) and its closing.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "map/view_records.h"
#include "platform/ui/ctl_progress.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "tests/framework/test_frame.h"
#include "tests/support/harness.h"
#include "tests/support/object_env.h"

namespace {

// A session with a frame window that is the command target.
class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    view_types_register();
    task_slots_init();
    progress_state_reset();
    config_set("LANG", "ENGLISH");
    frame = framework_test::open_test_frame("TestFrame", "frame", 800, 600);
    attach_window_object(&frame_obj, frame, 0, 0, 800, 600, colour_word(255, 255, 255), 32, 0);
  }
  void TearDown() override {
    progress_state_reset();
    if (frame_obj) {
      plat::delete_object(frame_obj->brush);
      plat::delete_object(frame_obj->inverse_brush);
      free_obj(&frame_obj);
    }
  }

  std::string text() const { return plat::dlg_item_text(progress_window(), kProgressTextId); }
  int bar() const {
    return int(plat::send_dlg_item_message(progress_window(), kProgressBarId, plat::PBM_GETPOS, 0, 0));
  }

  tm_test::UiSession ui;
  plat::Wnd frame = nullptr;
  mapwin_t* frame_obj = nullptr;
};

TEST_F(ProgressTest, NothingWithoutACommandTarget) {
  task_slots_init();  // forgets the target
  progress_window_create();
  EXPECT_EQ(progress_window(), nullptr);
  progress_step("x", 0.5);  // no window: nothing, no crash
}

TEST_F(ProgressTest, CreatedHiddenWithItsControls) {
  progress_window_create();
  plat::Wnd w = progress_window();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(plat::is_window_visible(w));
  EXPECT_EQ(plat::get_class_name(w), "ClasseDialogue");
  EXPECT_EQ(plat::get_owner(w), frame);
  plat::Point p{0, 0};
  plat::client_to_screen(w, &p);
  plat::Rect c;
  plat::get_client_rect(w, &c);
  EXPECT_EQ(p.x, 200);
  EXPECT_EQ(p.y, 200);
  EXPECT_EQ(c.width(), 520);
  EXPECT_EQ(c.height(), 76);
  plat::PbRange range;
  plat::send_dlg_item_message(w, kProgressBarId, plat::PBM_GETRANGE, 0, plat::LParam(&range));
  EXPECT_EQ(range.high, 500);
  EXPECT_EQ(bar(), 0);
  // A second create keeps the first window.
  progress_window_create();
  EXPECT_EQ(progress_window(), w);
}

TEST_F(ProgressTest, ShortTaskNeverShowsLongTaskShowsAfterDelay) {
  progress_window_create();
  progress_set_text("Loading a.gpx", 0);
  tm_test::advance_time(1400);
  progress_step("reading", 0.25);
  tm_test::run_until_idle();
  EXPECT_FALSE(progress_shown());
  EXPECT_FALSE(plat::is_window_visible(progress_window()));
  tm_test::advance_time(200);  // 1.6 s since the text was set
  progress_step("reading", 0.25);
  tm_test::run_until_idle();
  EXPECT_TRUE(progress_shown());
  EXPECT_TRUE(plat::is_window_visible(progress_window()));
  EXPECT_EQ(plat::window_text(progress_window()), "Loading a.gpx");
  EXPECT_EQ(text(), "reading");
  EXPECT_EQ(bar(), 125);
}

TEST_F(ProgressTest, UpdatesAreThrottledAndPulseKeepsTheBar) {
  progress_window_create();
  progress_set_text("t", 1);
  tm_test::advance_time(150);
  progress_step("one", 0.5);
  EXPECT_EQ(text(), "one");
  EXPECT_EQ(bar(), 250);
  tm_test::advance_time(50);  // less than 0.1 s later: dropped
  progress_step("two", 0.9);
  EXPECT_EQ(text(), "one");
  tm_test::advance_time(60);
  progress_pulse("three");
  EXPECT_EQ(text(), "three");
  EXPECT_EQ(bar(), 250);
  tm_test::advance_time(120);
  progress_step(nullptr, 7.0);  // null text: empty; a fraction past 1 fills the bar
  EXPECT_EQ(text(), "");
  EXPECT_EQ(bar(), 500);
}

TEST_F(ProgressTest, DisabledWindowTakesNoUpdates) {
  progress_window_create();
  progress_set_text("t", 1);
  progress_disable();
  tm_test::advance_time(200);
  progress_step("hidden", 0.5);
  EXPECT_EQ(text(), "");
  progress_enable();
  progress_step("shown", 0.5);
  EXPECT_EQ(text(), "shown");
}

TEST_F(ProgressTest, ImageProgressTexts) {
  struct Case {
    const char* text;
    int64_t done, total;
    const char* expect;
    int bar;
  } cases[] = {
      {nullptr, 1, 4, "Image progress 25%", 125},
      {"Pass", 2, 3, "Pass 66%", 333},
      {"Pass ", 3, 3, "Pass 100%", 500},
      {"Zero", 5, 0, "Zero 0%", 0},      // no total: no progress, no division
      {"Neg", -5, 10, "Neg 0%", 0},
      {"Over", 15, 10, "Over 100%", 500},
  };
  progress_window_create();
  progress_set_text("t", 1);
  for (const Case& c : cases) {
    tm_test::advance_time(150);
    progress_image(c.text, c.done, c.total);
    EXPECT_EQ(text(), c.expect) << c.expect;
    EXPECT_EQ(bar(), c.bar) << c.expect;
  }
}

TEST_F(ProgressTest, FilePositionWithoutAFileIsZero) {
  progress_window_create();
  progress_set_text("t", 1);
  tm_test::advance_time(150);
  progress_file_position(nullptr);  // no current file: size 0, no division
  EXPECT_EQ(text(), "File read position 0%");
  EXPECT_EQ(bar(), 0);
}

TEST_F(ProgressTest, ElapsedTimeRunsTheBarOverThirtySeconds) {
  progress_window_create();
  progress_set_text("t", 1);
  progress_reset_clock();
  tm_test::advance_time(500);
  progress_elapsed(nullptr);  // less than 1 s: nothing
  EXPECT_EQ(text(), "");
  tm_test::advance_time(44500);
  progress_elapsed(nullptr);
  EXPECT_EQ(text(), "Elapse time  45s");
  EXPECT_EQ(bar(), 250);
  config_reset();
  config_set("LANG", "FRANCAIS");
  tm_test::advance_time(1000);
  progress_elapsed("Attente ");
  EXPECT_EQ(text(), "Attente  46s");
}

TEST_F(ProgressTest, LoadingCaptionIsTheBaseName) {
  progress_window_create();
  obj_t* file = nullptr;
  alloc_obj(CLS_CONTAINER, &file);
  obj_name_set(file, "/data/maps\\track.gpx");
  progress_loading(file);
  EXPECT_EQ(plat::window_text(progress_window()), "Loading track.gpx");
  set_progress_file_name_routine([](const obj_t*) -> const char* { return ""; });
  progress_set_text("kept", 0);
  progress_loading(file);  // no name: the caption stays
  EXPECT_EQ(plat::window_text(progress_window()), "kept");
  set_progress_file_name_routine(nullptr);
  free_obj(&file);
}

TEST_F(ProgressTest, HideAndCloseThroughTheHarness) {
  progress_window_create();
  progress_set_text("t", 1);
  tm_test::run_until_idle();
  plat::Wnd w = progress_window();
  EXPECT_TRUE(plat::is_window_visible(w));
  progress_hide();
  EXPECT_FALSE(plat::is_window_visible(w));
  EXPECT_FALSE(progress_shown());
  plat::enable_window(frame, false);
  progress_close();
  tm_test::run_until_idle();
  EXPECT_FALSE(plat::is_window(w));
  EXPECT_EQ(progress_window(), nullptr);
  EXPECT_TRUE(plat::is_window_enabled(frame));
  progress_close();  // nothing left: nothing happens
  // A new task makes a new window.
  progress_window_create();
  EXPECT_NE(progress_window(), nullptr);
}

TEST_F(ProgressTest, WorkerThreadUpdatesReachTheWindow) {
  progress_window_create();
  progress_set_text("t", 1);
  tm_test::advance_time(150);
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    progress_step("from worker", 0.5);
    finished = true;
  });
  // The worker's window calls are served while the user-interface thread waits.
  plat::wait_servicing_sends([&] { return finished.load(); }, -1);
  worker.join();
  EXPECT_EQ(text(), "from worker");
  EXPECT_EQ(bar(), 250);
}

}  // namespace
