// Painting: update regions, the WM_PAINT cycle, erasing, children, window contexts and
// their clipping, drawing from a worker thread, and scrolling a window's pixels.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "tests/platform/ui_fixture.h"
#include "tests/support/test_env.h"
#include "tests/support/wait.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiPaint : public UiTest {};

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Ends the test program with a message when a step hangs (the faults these tests look
// for are deadlocks); a step that finishes in time simply releases it.
class Watchdog {
 public:
  explicit Watchdog(const char* what)
      : thread_([this, what] {
          std::unique_lock<std::mutex> lock(m_);
          if (!cv_.wait_for(lock, std::chrono::seconds(20), [&] { return done_; })) {
            std::fprintf(stderr, "hung: %s\n", what);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;  // last: it uses the members above
};

// Fills a client rectangle of a window through a window context.
void fill_client(Wnd w, const Rect& r, Color c) {
  Dc dc = get_dc(w);
  ASSERT_NE(dc, nullptr);
  Brush b = create_solid_brush(c);
  fill_rect(dc, r, b);
  delete_object(b);
  release_dc(w, dc);
}

TEST_F(UiPaint, TwoInvalidRectanglesMakeOneUpdateRegionAndOnePaint) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 100});
  tm_test::run_until_idle();
  Region seen;
  int kind = 0;
  handlers()[w] = [&](Wnd self, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_PAINT) kind = get_update_rgn(self, &seen, false);  // read before validation
    return false;  // the default procedure validates
  };
  message_log().clear();
  const Rect a{10, 10, 30, 30}, b{50, 40, 80, 60};
  invalidate_rect(w, &a, false);
  invalidate_rect(w, &b, false);
  Region want(a);
  want.unite(Region(b));
  Region now;
  EXPECT_EQ(get_update_rgn(w, &now, false), COMPLEXREGION);
  EXPECT_EQ(now, want);
  Rect bounds;
  EXPECT_TRUE(get_update_rect(w, &bounds, false));
  EXPECT_EQ(bounds, (Rect{10, 10, 80, 60}));
  tm_test::run_until_idle();
  EXPECT_EQ(messages_of(w, {WM_PAINT}).size(), 1u);
  EXPECT_EQ(kind, COMPLEXREGION);
  EXPECT_EQ(seen, want);
  EXPECT_EQ(get_update_rgn(w, &now, false), NULLREGION);
}

TEST_F(UiPaint, BeginPaintValidatesAndErasesOnlyWhenAsked) {
  struct Case {
    bool erase;
    size_t erase_messages;
  };
  for (Case c : {Case{false, 0}, Case{true, 1}}) {
    Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 100, 100});
    tm_test::run_until_idle();
    message_log().clear();
    Rect r{0, 0, 10, 10};
    invalidate_rect(w, &r, c.erase);
    Msg m;
    ASSERT_TRUE(peek_message(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    EXPECT_EQ(m.wnd, w);
    PaintStruct ps;
    Dc dc = begin_paint(w, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ps.paint, r);
    EXPECT_FALSE(ps.erase) << "the class background erased it";
    end_paint(w, &ps);
    EXPECT_EQ(messages_of(w, {WM_ERASEBKGND}).size(), c.erase_messages);
    EXPECT_FALSE(peek_message(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    destroy_window(w);
  }
}

TEST_F(UiPaint, ErasingFillsWithTheClassBackground) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 60, 40});
  tm_test::run_until_idle();
  fill_client(w, Rect{0, 0, 60, 40}, rgb(255, 0, 0));
  Rect r{0, 0, 20, 20};
  invalidate_rect(w, &r, true);
  tm_test::run_until_idle();
  EXPECT_EQ(tm_test::pixel_at(w, 5, 5), pixel_of(get_sys_color(COLOR_WINDOW)));
  EXPECT_EQ(tm_test::pixel_at(w, 30, 30), pixel_of(rgb(255, 0, 0))) << "outside the invalid area";
}

TEST_F(UiPaint, ParentsPaintBeforeChildrenAndHiddenWindowsNever) {
  Wnd t = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 200});
  Wnd kid = child(t, 1, Rect{10, 10, 60, 60});
  Wnd hidden = child(t, 2, Rect{70, 10, 90, 30}, WS_CHILD);
  message_log().clear();
  invalidate_rect(t, nullptr, true);
  invalidate_rect(hidden, nullptr, true);
  tm_test::run_until_idle();
  std::vector<Wnd> order;
  for (const Logged& l : logged(WM_PAINT)) order.push_back(l.wnd);
  EXPECT_EQ(order, (std::vector<Wnd>{t, kid}));
}

TEST_F(UiPaint, ClipChildrenDecidesWhetherChildrenAreInvalidatedAndPaintedOver) {
  struct Case {
    uint32_t parent_style;
    bool child_invalid;
    bool child_painted_over;
  };
  for (Case c : {Case{0, true, true}, Case{WS_CLIPCHILDREN, false, false}}) {
    Wnd t = top("T", WS_POPUP | WS_VISIBLE | c.parent_style, Rect{0, 0, 100, 100});
    Wnd kid = child(t, 1, Rect{10, 10, 30, 30});
    tm_test::run_until_idle();
    invalidate_rect(t, nullptr, false);
    Rect r;
    EXPECT_EQ(get_update_rect(kid, &r, false), c.child_invalid);
    validate_rect(t, nullptr);
    validate_rect(kid, nullptr);
    fill_client(t, Rect{0, 0, 100, 100}, rgb(0, 0, 255));
    EXPECT_EQ(tm_test::pixel_at(kid, 5, 5) == pixel_of(rgb(0, 0, 255)), c.child_painted_over);
    EXPECT_EQ(tm_test::pixel_at(t, 50, 50), pixel_of(rgb(0, 0, 255)));
    destroy_window(t);
  }
}

TEST_F(UiPaint, UpdateWindowPaintsAtOnce) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 50, 50});
  tm_test::run_until_idle();
  message_log().clear();
  invalidate_rect(w, nullptr, false);
  update_window(w);
  EXPECT_EQ(messages_of(w, {WM_PAINT}).size(), 1u);
  Rect r;
  EXPECT_FALSE(get_update_rect(w, &r, false));
}

TEST_F(UiPaint, AWorkerDrawsIntoAWindowWhileTheUiThreadRuns) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 80, 80});
  tm_test::run_until_idle();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    Dc dc = get_dc(w);
    Brush b = create_solid_brush(rgb(0, 128, 0));
    fill_rect(dc, Rect{0, 0, 40, 40}, b);
    delete_object(b);
    // A send while the context is out: the user-interface thread must still take it.
    send_message(w, WM_USER + 1, 0, 0);
    release_dc(w, dc);
    done = true;
  });
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(tm_test::pixel_at(w, 10, 10), pixel_of(rgb(0, 128, 0)));
  EXPECT_EQ(tm_test::pixel_at(w, 60, 60), kWhite);
  EXPECT_EQ(messages_of(w, {WM_USER + 1}).size(), 1u);
}

TEST_F(UiPaint, AFrameChangedWhileAWorkerHoldsTheSurfaceIsDrawnLater) {
  Wnd w = top("Old", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 200, 120});
  handlers()[w] = [](Wnd self, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_USER + 2) set_window_text(self, "New title, new caption");
    return false;
  };
  tm_test::run_until_idle();
  // The caption bar: inside the 4-pixel frame, 20 pixels high.
  auto caption = [&] {
    std::vector<uint32_t> px;
    with_window_surface(w, [&](const Surface& s) {
      for (int y = 4; y < 24; ++y)
        for (int x = 4; x < 170; ++x) px.push_back(s.at(x, y));
    });
    return px;
  };
  const std::vector<uint32_t> before = caption();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    Dc dc = get_dc(w);
    send_message(w, WM_USER + 2, 0, 0);  // its handler redraws the caption of this surface
    release_dc(w, dc);
    done = true;
  });
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  worker.join();
  tm_test::run_until_idle();
  EXPECT_EQ(window_text(w), "New title, new caption");
  EXPECT_NE(caption(), before) << "the new caption text was drawn";
}

// A worker that holds a context on a window and sends a message lends the surface to
// the user-interface thread while it waits: the handler may draw into the same
// top-level surface at once (a context, an immediate paint, a new caption, a resize),
// and the worker draws on afterwards.
TEST_F(UiPaint, AHandlerDrawsIntoTheSurfaceOfTheWorkerWaitingForIt) {
  const Color red = rgb(200, 0, 0), green = rgb(0, 160, 0), blue = rgb(0, 0, 190);
  struct Case {
    const char* what;
    std::function<void(Wnd frame, Wnd map)> act;           // in the handler
    std::function<void(Wnd frame, Wnd map)> check;         // before the loop runs again
  };
  std::vector<uint32_t> caption_before;
  auto caption = [](Wnd frame) {
    std::vector<uint32_t> px;
    with_window_surface(frame, [&](const Surface& s) {
      for (int y = 4; y < 24; ++y)
        for (int x = 4; x < 170; ++x) px.push_back(s.at(x, y));
    });
    return px;
  };
  const Case cases[] = {
      {"a context on the same surface",
       [&](Wnd, Wnd map) { fill_client(map, Rect{50, 50, 60, 60}, green); },
       [&](Wnd, Wnd map) { EXPECT_EQ(tm_test::pixel_at(map, 55, 55), pixel_of(green)); }},
      {"an immediate paint",
       [&](Wnd, Wnd map) {
         Rect r{70, 50, 80, 60};
         invalidate_rect(map, &r, false);
         update_window(map);
       },
       [&](Wnd, Wnd map) { EXPECT_EQ(tm_test::pixel_at(map, 75, 55), pixel_of(blue)); }},
      {"a new caption",
       [&](Wnd frame, Wnd) { set_window_text(frame, "Retitled while a worker draws"); },
       [&](Wnd frame, Wnd) { EXPECT_NE(caption(frame), caption_before) << "drawn at once"; }},
      {"a resize of the surface",
       [&](Wnd frame, Wnd) { move_window(frame, 0, 0, 360, 260, true); },
       [&](Wnd frame, Wnd) {
         Rect r;
         get_window_rect(frame, &r);
         EXPECT_EQ(r, (Rect{0, 0, 360, 260}));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Wnd frame = top("Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 300, 200});
    Wnd map = child(frame, 1, Rect{0, 0, 200, 120});
    handlers()[frame] = [&](Wnd self, uint32_t m, WParam, LParam, LResult*) {
      if (m == WM_USER + 1) c.act(self, map);
      return false;
    };
    handlers()[map] = [&](Wnd self, uint32_t m, WParam, LParam, LResult*) {
      if (m != WM_PAINT) return false;
      PaintStruct ps;
      Dc dc = begin_paint(self, &ps);
      Brush b = create_solid_brush(blue);
      fill_rect(dc, ps.paint, b);
      delete_object(b);
      end_paint(self, &ps);
      return true;
    };
    tm_test::run_until_idle();
    caption_before = caption(frame);
    std::atomic<bool> done{false};
    Watchdog watchdog(c.what);
    std::thread worker([&] {
      Dc dc = get_dc(map);
      Brush b = create_solid_brush(red);
      fill_rect(dc, Rect{0, 0, 20, 20}, b);
      send_message(frame, WM_USER + 1, 0, 0);
      fill_rect(dc, Rect{20, 0, 40, 20}, b);
      delete_object(b);
      release_dc(map, dc);
      done = true;
    });
    EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
    worker.join();
    c.check(frame, map);
    EXPECT_EQ(tm_test::pixel_at(map, 10, 10), pixel_of(red));
    EXPECT_EQ(tm_test::pixel_at(map, 30, 10), pixel_of(red)) << "the worker drew on after the send";
    handlers().clear();
    destroy_window(frame);
  }
}

// While a worker draws into a window (not waiting for the loop), the loop goes on with
// its other messages; the window's paint comes once the worker lets the surface go.
TEST_F(UiPaint, TheLoopGoesOnWhileAWorkerDrawsAndPaintsAfterwards) {
  Wnd frame = top("Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 300, 200});
  Wnd map = child(frame, 1, Rect{0, 0, 200, 120});
  tm_test::run_until_idle();
  message_log().clear();
  std::atomic<bool> holding{false}, go{false};
  std::thread worker([&] {
    Dc dc = get_dc(map);
    holding = true;
    while (!go) std::this_thread::yield();
    release_dc(map, dc);
  });
  ASSERT_TRUE(tm_test::wait_for([&] { return holding.load(); }));
  invalidate_rect(map, nullptr, true);
  post_message(map, WM_USER + 2, 0, 0);
  {
    Watchdog watchdog("the loop waited for the worker's surface");
    EXPECT_EQ(tm_test::pump(10), 1);
  }
  EXPECT_EQ(messages_of(map, {WM_USER + 2, WM_PAINT}), (std::vector<uint32_t>{WM_USER + 2}));
  go = true;
  worker.join();
  tm_test::run_until_idle();
  EXPECT_EQ(messages_of(map, {WM_USER + 2, WM_PAINT}), (std::vector<uint32_t>{WM_USER + 2, WM_PAINT}));
}

// Rows of distinct colours, one per client row, so moves can be read back.
Color row_color(int y) { return rgb(y * 3 % 256, 255 - y, (y * 7) % 256); }

TEST_F(UiPaint, ScrollingMovesPixelsAndReportsTheUncoveredStrip) {
  struct Case {
    int dx, dy;
    Rect uncovered;
  };
  const Case cases[] = {
      {0, -10, {0, 70, 60, 80}},
      {0, 15, {0, 0, 60, 15}},
      {-20, 0, {40, 0, 60, 80}},
      {5, 0, {0, 0, 5, 80}},
  };
  for (const Case& c : cases) {
    Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 60, 80});
    tm_test::run_until_idle();
    for (int y = 0; y < 80; ++y) fill_client(w, Rect{0, y, 60, y + 1}, row_color(y));
    Region uncovered;
    Rect bounds;
    int kind = scroll_window_ex(w, c.dx, c.dy, nullptr, nullptr, &uncovered, &bounds, SW_INVALIDATE);
    EXPECT_EQ(kind, SIMPLEREGION);
    EXPECT_EQ(bounds, c.uncovered);
    EXPECT_EQ(uncovered, Region(c.uncovered));
    Region update;
    get_update_rgn(w, &update, false);
    EXPECT_EQ(update, Region(c.uncovered)) << "SW_INVALIDATE adds the strip";
    // A pixel outside the strip now shows what was dx, dy away.
    const int x = 30, y = 40;
    EXPECT_EQ(tm_test::pixel_at(w, x, y), pixel_of(row_color(y - c.dy)));
    destroy_window(w);
  }
}

TEST_F(UiPaint, ScrollingMovesTheInvalidAreaAlong) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 100, 100});
  tm_test::run_until_idle();
  Rect bad{10, 10, 20, 20};
  invalidate_rect(w, &bad, false);
  scroll_window_ex(w, 0, 30, nullptr, nullptr, nullptr, nullptr, 0);
  Region update;
  get_update_rgn(w, &update, false);
  EXPECT_EQ(update, Region(Rect{10, 40, 20, 50}));
}

TEST_F(UiPaint, ScrollingAPartLeavesTheRestAlone) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 60, 80});
  tm_test::run_until_idle();
  for (int y = 0; y < 80; ++y) fill_client(w, Rect{0, y, 60, y + 1}, row_color(y));
  const Rect part{0, 20, 60, 60};
  Rect bounds;
  scroll_window_ex(w, 0, -5, &part, &part, nullptr, &bounds, 0);
  EXPECT_EQ(bounds, (Rect{0, 55, 60, 60}));
  EXPECT_EQ(tm_test::pixel_at(w, 1, 30), pixel_of(row_color(35)));
  EXPECT_EQ(tm_test::pixel_at(w, 1, 10), pixel_of(row_color(10)));
  EXPECT_EQ(tm_test::pixel_at(w, 1, 70), pixel_of(row_color(70)));
}

TEST_F(UiPaint, PictureOfAWindowIsWritten) {
  Wnd w = top("Picture", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 120, 90});
  tm_test::run_until_idle();
  std::string path = tm_test::fresh_dir("pictures") + "w.png";
  ASSERT_TRUE(tm_test::window_picture(w, path));
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char sig[8] = {};
  EXPECT_EQ(fread(sig, 1, 8, f), 8u);
  fclose(f);
  EXPECT_EQ(sig[1], 'P');
  EXPECT_EQ(sig[2], 'N');
  EXPECT_EQ(sig[3], 'G');
}

}  // namespace
