// The page a redraw pass draws with: the copies a pass takes at its start stay what the
// pass's thread sees until the pass ends, whatever size the window is given meanwhile
// (by another thread, as the user-interface thread does), while every other thread sees
// the new page at once; clipping to the page follows the pass's copy.
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "map/extent_map.h"
#include "map/redraw.h"
#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::MapWinFixture;

class PanePage : public MapWinFixture {};

void expect_page(extent_t page, double width, double height) {
  EXPECT_DOUBLE_EQ(page.xmin, 0.0);
  EXPECT_DOUBLE_EQ(page.xmax, width);
  EXPECT_DOUBLE_EQ(page.ymin, 0.0);
  EXPECT_DOUBLE_EQ(page.ymax, height);
}

TEST_F(PanePage, APassKeepsThePageItStartedWithAndClipsToIt) {
  mapwin_t* win = window(300, 200);
  pane_t* pane = win->pane;
  pane->map = screen_mapping{0.0, 0.0, 1.0, 1.0};
  const extent_t world{250.0, 500.0, 150.0, 400.0, 0.0};
  {
    const pane_page_copies pass;
    mapwin_set_size(win, 640, 480);
    expect_page(pane_page(pane), 300.0, 200.0);
    extent_t clipped{};
    EXPECT_EQ(world_to_screen_clipped(pane, world, &clipped), 1);
    EXPECT_DOUBLE_EQ(clipped.xmax, 300.0);
    EXPECT_DOUBLE_EQ(clipped.ymax, 200.0);
    pane->current = extent_t{250.0, 500.0, 150.0, 400.0, 0.0};
    EXPECT_EQ(pane_clip_to_page(pane), 1);
    EXPECT_DOUBLE_EQ(mapwin_test::v(pane->current.xmax), 300.0);
    EXPECT_DOUBLE_EQ(mapwin_test::v(pane->current.ymax), 200.0);
  }
  // The next pass draws with the new page.
  expect_page(pane_page(pane), 640.0, 480.0);
  extent_t clipped{};
  EXPECT_EQ(world_to_screen_clipped(pane, world, &clipped), 1);
  EXPECT_DOUBLE_EQ(clipped.xmax, 500.0);
  EXPECT_DOUBLE_EQ(clipped.ymax, 400.0);
  // A pane made during a pass, which the pass did not copy, has its own page.
  const pane_page_copies pass;
  mapwin_t* later = window(120, 90);
  expect_page(pane_page(later->pane), 120.0, 90.0);
  EXPECT_EQ(pane_page(nullptr).xmax, 0.0);
}

TEST_F(PanePage, AResizeOnAnotherThreadLeavesThePassItsPage) {
  mapwin_t* win = window(300, 200);
  pane_t* pane = win->pane;
  std::mutex m;
  std::condition_variable cv;
  int step = 0;
  std::optional<extent_t> during, after;
  std::thread pass_thread([&] {
    {
      const pane_page_copies pass;
      {
        std::unique_lock<std::mutex> lock(m);
        step = 1;
        cv.notify_all();
        cv.wait(lock, [&] { return step == 2; });
      }
      during = pane_page(pane);
    }
    after = pane_page(pane);
  });
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return step == 1; });
  }
  // The resize of the user-interface thread, while the pass runs.
  mapwin_set_size(win, 800, 600);
  expect_page(pane_page(pane), 800.0, 600.0);
  {
    std::lock_guard<std::mutex> lock(m);
    step = 2;
  }
  cv.notify_all();
  pass_thread.join();
  ASSERT_TRUE(during && after);
  expect_page(*during, 300.0, 200.0);
  expect_page(*after, 800.0, 600.0);
}

}  // namespace
