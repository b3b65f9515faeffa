// The presenter interface: what a screen backend is told about top-level windows,
// their pixels and the cursor, how the message loop waits through it, and how input
// it delivers drives windows (a popup menu shown as a window and clicked).
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "tests/platform/ui_fixture.h"
#include "tests/support/wait.h"

using namespace plat;
using namespace ui_test;

namespace {

class FakePresenter : public Presenter {
 public:
  std::vector<std::string> events;
  std::vector<std::pair<Wnd, Rect>> updates;
  // Input a user gives, one action per wait.
  std::deque<std::function<void()>> actions;
  std::atomic<int> waits{0};

  void window_shown(Wnd w, const Rect&, const Rect&) override { events.push_back("shown " + window_text(w)); }
  void window_hidden(Wnd w) override { events.push_back("hidden " + window_text(w)); }
  void window_moved(Wnd w, const Rect& r, const Rect&) override {
    events.push_back("moved " + window_text(w) + " " + std::to_string(r.width()) + "x" + std::to_string(r.height()));
  }
  void window_retitled(Wnd, const std::u16string& t) override {
    events.push_back("title " + std::string(t.begin(), t.end()));
  }
  void window_destroyed(Wnd) override { events.push_back("destroyed"); }
  void surface_updated(Wnd w, const Rect& r) override { updates.emplace_back(w, r); }
  void cursor_changed(Cursor c) override { events.push_back("cursor " + std::to_string(cursor_id(c))); }

  void wait_events(int64_t timeout_ms) override {
    ++waits;
    if (!actions.empty()) {
      auto a = actions.front();
      actions.pop_front();
      a();
      return;
    }
    std::unique_lock<std::mutex> lock(m_);
    if (timeout_ms < 0) {
      cv_.wait(lock, [&] { return woken_; });
    } else {
      cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return woken_; });
    }
    woken_ = false;
  }
  void wake() override {
    {
      std::lock_guard<std::mutex> lock(m_);
      woken_ = true;
    }
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool woken_ = false;
};

class UiPresenter : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    set_presenter(&fake_);
  }
  void TearDown() override {
    set_presenter(nullptr);
    UiTest::TearDown();
  }
  FakePresenter fake_;
};

TEST_F(UiPresenter, TopLevelWindowsAreReported) {
  Wnd w = top("Frame", WS_OVERLAPPEDWINDOW, Rect{0, 0, 300, 200});
  Wnd c = child(w, 1, Rect{0, 0, 10, 10});
  show_window(w, SW_SHOW);
  set_window_text(w, "Frame 2");
  set_window_text(c, "child titles are not reported");
  move_window(w, 10, 10, 320, 240, true);
  show_window(w, SW_HIDE);
  destroy_window(w);
  EXPECT_EQ(fake_.events, (std::vector<std::string>{"shown Frame", "title Frame 2", "moved Frame 2 320x240",
                                                    "hidden Frame 2", "destroyed"}));
}

TEST_F(UiPresenter, PaintedAreasAreReportedWhenTheLoopFallsIdle) {
  Wnd w = top("W", WS_POPUP | WS_VISIBLE, Rect{0, 0, 100, 80});
  tm_test::run_until_idle();
  fake_.updates.clear();
  Dc dc = get_dc(w);
  Brush b = create_solid_brush(rgb(1, 2, 3));
  fill_rect(dc, Rect{10, 10, 20, 20}, b);
  delete_object(b);
  release_dc(w, dc);
  EXPECT_TRUE(fake_.updates.empty()) << "nothing is reported before the loop is idle";
  tm_test::run_until_idle();
  ASSERT_EQ(fake_.updates.size(), 1u);
  EXPECT_EQ(fake_.updates[0].first, w);
  EXPECT_EQ(fake_.updates[0].second, (Rect{0, 0, 100, 80})) << "the window context covers the client area";
  std::vector<uint32_t> px;
  with_window_surface(w, [&](const Surface& s) { px.push_back(s.at(15, 15)); });
  EXPECT_EQ(px, (std::vector<uint32_t>{pixel_of(rgb(1, 2, 3))}));
}

TEST_F(UiPresenter, CursorChangesAreReported) {
  set_cursor(load_cursor(IDC_WAIT));
  set_cursor(load_cursor(IDC_WAIT));
  std::thread worker([] { set_cursor(load_cursor(IDC_ARROW)); });  // reported by the loop
  worker.join();
  tm_test::run_until_idle();
  EXPECT_EQ(fake_.events, (std::vector<std::string>{"cursor 32514", "cursor 32512"}));
}

TEST_F(UiPresenter, ANewPresenterIsToldTheCurrentCursor) {
  set_cursor(load_cursor(IDC_WAIT));
  tm_test::run_until_idle();
  FakePresenter second;
  set_presenter(&second);
  tm_test::run_until_idle();
  EXPECT_EQ(second.events, (std::vector<std::string>{"cursor 32514"}));
  // A fresh window system with a fresh presenter starts from nothing as well.
  set_presenter(nullptr);
  ui_reset();
  set_ui_thread();
  FakePresenter third;
  set_presenter(&third);
  set_cursor(load_cursor(IDC_WAIT));
  tm_test::run_until_idle();
  EXPECT_EQ(third.events, (std::vector<std::string>{"cursor 32514"}));
  set_presenter(nullptr);
}

TEST_F(UiPresenter, PixelsAWorkerIsDrawingAreReportedOnceItLetsGo) {
  Wnd w = top("W", WS_POPUP | WS_VISIBLE, Rect{0, 0, 100, 80});
  tm_test::run_until_idle();
  fake_.updates.clear();
  std::atomic<bool> holding{false}, go{false};
  std::thread worker([&] {
    Dc dc = get_dc(w);
    Brush b = create_solid_brush(rgb(4, 5, 6));
    fill_rect(dc, Rect{0, 0, 10, 10}, b);
    delete_object(b);
    holding = true;
    while (!go) std::this_thread::yield();
    release_dc(w, dc);
  });
  ASSERT_TRUE(tm_test::wait_for([&] { return holding.load(); }));
  const Rect elsewhere{50, 50, 60, 60};
  invalidate_rect(w, &elsewhere, true);  // something else to show meanwhile
  tm_test::pump(5);
  EXPECT_TRUE(fake_.updates.empty()) << "a surface being drawn is not copied out";
  go = true;
  worker.join();
  tm_test::run_until_idle();
  ASSERT_FALSE(fake_.updates.empty());
  EXPECT_EQ(fake_.updates.back().first, w);
  EXPECT_EQ(tm_test::pixel_at(w, 5, 5), pixel_of(rgb(4, 5, 6)));
}

// A presenter taken away is never woken afterwards, however busily other threads post
// meanwhile, so it may be destroyed at once (a late wake would touch freed memory, which
// the address sanitizer reports).
TEST_F(UiPresenter, NoWakeReachesAPresenterOnceItIsTakenAway) {
  struct Counting : Presenter {
    std::atomic<int> wakes{0};
    void wait_events(int64_t) override {}
    void wake() override { ++wakes; }  // touches the object
  };
  Wnd w = top();
  tm_test::run_until_idle();
  std::atomic<bool> stop{false};
  std::thread poster([&] {
    while (!stop) post_message(w, WM_USER + 1, 0, 0);
  });
  for (int i = 0; i < 20000; ++i) {
    auto* p = new Counting;
    set_presenter(p);
    set_presenter(nullptr);
    delete p;
  }
  stop = true;
  poster.join();
  set_presenter(&fake_);
}

TEST_F(UiPresenter, TheLoopWaitsThroughThePresenterAndAPostWakesIt) {
  Wnd w = top();
  tm_test::run_until_idle();
  std::atomic<bool> posted{false};
  std::thread worker([&] {
    // Give the loop a chance to block first; either order must work.
    while (fake_.waits == 0 && !posted) std::this_thread::yield();
    post_message(w, WM_USER + 1, 0, 0);
    posted = true;
  });
  Msg m;
  ASSERT_EQ(get_message(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER + 1);
  worker.join();
}

TEST_F(UiPresenter, InputFromThePresenterDrivesAPopupMenuWindow) {
  Wnd w = top("Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 300, 200});
  set_popup_chooser(nullptr);  // a screen: the popup opens as a window
  Menu popup = create_popup_menu();
  append_menu(popup, MF_STRING, 11, "First");
  append_menu(popup, MF_STRING, 12, "Second");
  tm_test::run_until_idle();
  // The user clicks the second item of the popup window once it is up.
  fake_.actions.push_back([] {
    Wnd menu_window = find_window("PopupMenu", nullptr);
    ASSERT_NE(menu_window, nullptr);
    Point in_window{1 + 2 + 30, 1 + 2 + 20 + 10};  // border, margin, second row
    input_mouse_move(menu_window, in_window);
    input_mouse_button(menu_window, in_window, MouseButton::left, true);
    input_mouse_button(menu_window, in_window, MouseButton::left, false);
  });
  EXPECT_EQ(track_popup_menu(popup, TPM_RETURNCMD, 50, 50, w), 12u);
  EXPECT_EQ(find_window("PopupMenu", nullptr), nullptr);
  // A click outside closes it without a command.
  fake_.actions.push_back([&] {
    Wnd menu_window = find_window("PopupMenu", nullptr);
    ASSERT_NE(menu_window, nullptr);
    input_mouse_button(menu_window, Point{-20, -20}, MouseButton::left, true);
    input_mouse_button(menu_window, Point{-20, -20}, MouseButton::left, false);
  });
  EXPECT_EQ(track_popup_menu(popup, TPM_RETURNCMD, 50, 50, w), 0u);
  destroy_menu(popup);
}

}  // namespace
