// The refinement worker of ECW images: deferred windows, stale jobs, the redraw it
// posts, MONOTHREAD, jobs of an image that goes away, and the cache cycle of the idle
// pass. Waits run on the virtual clock: the worker sleeps until the test moves time.
#include <functional>
#include <thread>

#include "tests/raster/ecw_fixture.h"

namespace {

using ecw_test::EcwTest;
using ecw_test::pane_redraws;
using ecw_test::redraw_posts;
using ecw_test::rgb_at;

class EcwWorker : public EcwTest {
 protected:
  // Moves virtual time a millisecond at a time until `done` holds.
  bool run_until(const std::function<bool()>& done) {
    return tm_test::wait_for([&] {
      if (done()) return true;
      if (plat::virtual_sleepers_waiting() > 0) plat::advance_virtual_ms(1);
      return false;
    });
  }
  // The worker is parked in a sleep with bit 0 clear (it waits for the display to take
  // its request).
  bool worker_waits_for_display() {
    return ecw_worker_active() && (ecw_flags() & 1) == 0 && plat::virtual_sleepers_waiting() > 0;
  }
  // The image of a fixture, loaded, opened by address and shown at full size on a
  // 40 x 30 page.
  bitmap_t* shown(const std::string& name) {
    bitmap_t* b = loaded(name);
    by_address(b);
    show_at_full_size(1, 1, 0, 0, 40, 30);
    return b;
  }
  int display(bitmap_t* b, std::vector<uint32_t>* out) {
    out->assign(size_t(40) * 30, 0);
    ecw_window w = whole(40, 30);
    return ecw_read_lines(b, &w, 0, nullptr, out->data(), 40);
  }
};

TEST_F(EcwWorker, MovingViewDropsStaleJobsAndPostsOneRedraw) {
  plat::use_virtual_clock(true);
  bitmap_t* b = shown("raw.ecw");
  std::vector<uint32_t> out;
  clear_calls();
  // Three windows while the user drags the view: each is new, so each is deferred.
  EXPECT_EQ(display(b, &out), 1);
  move_view(4);
  EXPECT_EQ(display(b, &out), 1);
  move_view(4);
  EXPECT_EQ(display(b, &out), 1);
  EXPECT_EQ(ecw_flags() & 2, 0) << "no display read is left marked";
  EXPECT_TRUE(calls().empty()) << "nothing is decoded before the view stands still";
  ASSERT_TRUE(run_until([] { return redraw_posts() > 0; }));
  ASSERT_TRUE(run_until([&] { return worker_waits_for_display(); }));
  // Only the last window was read, in one pass (the library is fast): the view moved 8
  // pixels, so 32 columns of the image show.
  EXPECT_EQ(count_calls("82 set"), 1);
  EXPECT_EQ(count_calls("82 set 3 0 0 31 29 32 30"), 1);
  EXPECT_EQ(pane_redraws(), 1);
  // The redraw repeats the request: drawn at once, not deferred again.
  clear_calls();
  EXPECT_EQ(display(b, &out), 0);
  EXPECT_EQ(count_calls("82 set 3 0 0 39 29 40 30"), 1);
  EXPECT_EQ(out[0], rgb_at(0, 0, 0));
  ASSERT_TRUE(run_until([] { return !ecw_worker_active(); }));
  EXPECT_EQ(redraw_posts(), 1);
  EXPECT_EQ(ecw_jobs_waiting(), 0);
  EXPECT_EQ(ecw_flags(), 0);
}

TEST_F(EcwWorker, ViewMovedDuringTheReadDropsTheJob) {
  plat::use_virtual_clock(true);
  bitmap_t* b = shown("slow.ecw");  // the first region setting waits 2 s
  std::vector<uint32_t> out;
  clear_calls();
  EXPECT_EQ(display(b, &out), 1);
  // The worker is inside the library's wait (asleep: what it read before is ordered
  // before what the test changes now).
  ASSERT_TRUE(run_until([&] {
    return count_calls("82 wait") == 1 && plat::virtual_sleepers_waiting() > 0;
  }));
  move_view(4);
  ASSERT_TRUE(run_until([] { return !ecw_worker_active(); }));
  EXPECT_EQ(count_calls("77 line"), 1) << "dropped after the first line";
  EXPECT_EQ(redraw_posts(), 0);
  EXPECT_EQ(pane_redraws(), 0);
}

TEST_F(EcwWorker, WorkerBusyDefersEvenKnownFiles) {
  plat::use_virtual_clock(true);
  bitmap_t* b = loaded("raw.ecw");  // a local file: drawn at once while the worker rests
  show_at_full_size(1, 1, 0, 0, 40, 30);
  std::vector<uint32_t> out;
  EXPECT_EQ(display(b, &out), 0);
  EXPECT_EQ(out[0], rgb_at(0, 0, 0));
  bitmap_t* other = loaded("utm.ecw");
  by_address(other);
  EXPECT_EQ(display(other, &out), 1);  // starts the worker
  ASSERT_TRUE(run_until([] { return (ecw_flags() & 1) != 0; }));
  EXPECT_EQ(display(b, &out), 1) << "the worker works: the window waits for it";
  ASSERT_TRUE(run_until([] { return !ecw_worker_active(); }));
}

TEST_F(EcwWorker, MonothreadRunsTheWorkerInsideTheDisplayCall) {
  config_set("MONOTHREAD", "1");
  bitmap_t* b = shown("raw.ecw");
  std::vector<uint32_t> out;
  // The worker must not wait for the display read that started it.
  EXPECT_EQ(display(b, &out), 1);
  EXPECT_EQ(ecw_worker_active(), 0);
  EXPECT_EQ(redraw_posts(), 1);
  EXPECT_EQ(ecw_flags(), 0);
  // The redraw that follows draws the kept request at once.
  EXPECT_EQ(display(b, &out), 0);
  EXPECT_EQ(out[size_t(29) * 40 + 39], rgb_at(0, 39, 29));
  EXPECT_EQ(redraw_posts(), 1);
}

TEST_F(EcwWorker, QueuedJobGoesWithItsImage) {
  plat::use_virtual_clock(true);
  bitmap_t* b = shown("raw.ecw");
  std::vector<uint32_t> out;
  EXPECT_EQ(display(b, &out), 1);
  EXPECT_EQ(ecw_jobs_waiting(), 1);
  made_.clear();
  tm_test::free_georef_step(b);
  free_obj(&b);
  EXPECT_EQ(ecw_jobs_waiting(), 0);
  ASSERT_TRUE(run_until([] { return !ecw_worker_active(); }));
  EXPECT_EQ(redraw_posts(), 0);
}

TEST_F(EcwWorker, ImageFreedWhileTheWorkerReadsItWaitsForTheWorker) {
  plat::use_virtual_clock(true);
  bitmap_t* b = shown("slow.ecw");
  std::vector<uint32_t> out;
  EXPECT_EQ(display(b, &out), 1);
  ASSERT_TRUE(run_until([&] {
    return count_calls("82 wait") == 1 && plat::virtual_sleepers_waiting() > 0;
  }));
  made_.clear();
  std::atomic<bool> freed{false};
  std::thread owner([&] {
    tm_test::free_georef_step(b);
    free_obj(&b);
    freed = true;
  });
  ASSERT_TRUE(run_until([&] { return freed.load() && !ecw_worker_active(); }));
  owner.join();
  EXPECT_EQ(count_calls("70 close 1"), 1);
}

// ---- Cache cycle -------------------------------------------------------------------------
TEST_F(EcwTest, EveryHundredAndFirstIdlePassCyclesOneView) {
  bitmap_t* b = loaded("raw.ecw");
  show_at_full_size(1, 1, 0, 0, 40, 30);
  ecw_idle_views();
  EXPECT_EQ(ecw_pass_count(), 0) << "no pass counts while no view is open";
  std::vector<uint32_t> out(size_t(40) * 30);
  ecw_window w = whole(40, 30);
  ASSERT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 40), 0);
  ASSERT_EQ(ecw_open_count(), 1);
  clear_calls();
  for (int i = 0; i < kEcwCyclePasses - 1; ++i) ecw_idle_views();
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(ecw_pass_count(), kEcwCyclePasses - 1);
  ecw_idle_views();
  EXPECT_EQ(calls(), (std::vector<std::string>{"70 close 1", "73 open " + fixture("raw.ecw"),
                                               "71 info"}));
  EXPECT_EQ(ecw_pass_count(), 0);
  EXPECT_EQ(ecw_open_count(), 0);
  EXPECT_EQ(ecw_has_view(b), 1);
  // Drawn again, it joins the list again.
  ASSERT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 40), 0);
  EXPECT_EQ(ecw_open_count(), 1);
}

TEST_F(EcwTest, IdlePassesGiveWayToWaitingCommands) {
  bitmap_t* b = loaded("raw.ecw");
  show_at_full_size(1, 1, 0, 0, 40, 30);
  std::vector<uint32_t> out(size_t(40) * 30);
  ecw_window w = whole(40, 30);
  ASSERT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 40), 0);
  get_image_load_hooks().yield_requested = [] { return 1; };
  for (int i = 0; i < 2 * kEcwCyclePasses; ++i) ecw_idle_views();
  get_image_load_hooks().yield_requested = nullptr;
  EXPECT_EQ(ecw_pass_count(), 0);
  EXPECT_EQ(ecw_open_count(), 1);
}

TEST_F(EcwTest, FailedReopenLeavesTheImageToOpenOnItsNextUse) {
  bitmap_t* b = loaded("fail_reopen.ecw");  // its second open fails
  show_at_full_size(1, 1, 0, 0, 40, 30);
  std::vector<uint32_t> out(size_t(40) * 30);
  ecw_window w = whole(40, 30);
  ASSERT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 40), 0);
  for (int i = 0; i < kEcwCyclePasses; ++i) ecw_idle_views();
  EXPECT_EQ(ecw_has_view(b), 0);
  EXPECT_EQ(count_calls("73 open " + fixture("fail_reopen.ecw") + " failed"), 1);
  out.assign(out.size(), 0);
  EXPECT_EQ(ecw_read_lines(b, &w, 0, nullptr, out.data(), 40), 0);
  EXPECT_EQ(ecw_has_view(b), 1);
  EXPECT_EQ(out[size_t(29) * 40 + 39], rgb_at(0, 39, 29));
}

}  // namespace
