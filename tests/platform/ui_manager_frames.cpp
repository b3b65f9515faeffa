// Frames drawn by a window manager: a top-level window with a caption leaves frame and
// caption to the manager, whose frame takes their room inside the window rectangle the
// program asked for; windows without a caption keep their own border; the manager's
// report of a window's frame lays it out again; turning the manager's frames off gives
// the windows their own frames back.
#include "tests/platform/ui_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr FrameExtents kUsual{1, 20, 1, 5};  // left, top, right, bottom

class UiManagerFrames : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    set_frames_by_manager(true, kUsual);
  }

  Point client_origin(Wnd w) {
    Point p{0, 0};
    client_to_screen(w, &p);
    return p;
  }
  Size client_size(Wnd w) {
    Rect r;
    get_client_rect(w, &r);
    return Size{r.width(), r.height()};
  }
};

TEST_F(UiManagerFrames, TheManagersFrameTakesThePlaceOfFrameAndCaption) {
  struct Case {
    const char* name;
    uint32_t style;
    bool menu;
    Point origin;  // of the client area on the screen, for a window at 100,50 of 400x300
    Size client;
    bool managed;
  };
  const Case cases[] = {
      {"a frame window", WS_OVERLAPPEDWINDOW, false, {101, 70}, {398, 275}, true},
      {"a frame window with a menu bar", WS_OVERLAPPEDWINDOW, true, {101, 90}, {398, 255}, true},
      {"a dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU, false, {101, 70}, {398, 275}, true},
      {"a popup with a border of its own", WS_POPUP | WS_BORDER, false, {101, 51}, {398, 298}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Wnd w = top("W", c.style | WS_VISIBLE, Rect{100, 50, 500, 350});
    if (c.menu) {
      Menu bar = create_menu();
      append_menu(bar, MF_STRING, 1, "&File");
      set_menu(w, bar);
    }
    Rect r;
    get_window_rect(w, &r);
    EXPECT_EQ(r, (Rect{100, 50, 500, 350})) << "the rectangle the program asked for";
    EXPECT_EQ(client_origin(w), c.origin);
    EXPECT_EQ(client_size(w), c.client);
    FrameExtents e;
    EXPECT_EQ(get_window_frame_extents(w, &e), c.managed);
    EXPECT_EQ(e, c.managed ? kUsual : FrameExtents{});
    destroy_window(w);
  }
}

// No caption of ours: nothing there to hit, no close box to click.
TEST_F(UiManagerFrames, NoCaptionOrCloseBoxOfOurs) {
  Wnd w = top("W", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 400, 300});
  tm_test::run_until_idle();
  for (int x : {10, 200, 385}) {
    const LResult hit = send_message(w, WM_NCHITTEST, 0, make_lparam(x, 10));
    EXPECT_NE(hit, HTCAPTION) << x;
    EXPECT_NE(hit, HTCLOSE) << x;
  }
  tm_test::click_window_point(w, 385, 10);  // where our close box would be
  tm_test::run_until_idle();
  EXPECT_TRUE(is_window(w));
}

TEST_F(UiManagerFrames, SizesForAClientAreaCountTheManagersFrame) {
  Rect r{0, 0, 300, 200};
  adjust_window_rect(&r, WS_POPUP | WS_CAPTION | WS_SYSMENU, false);
  EXPECT_EQ(r, (Rect{-1, -20, 301, 205}));
  Rect with_menu{0, 0, 300, 200};
  adjust_window_rect(&with_menu, WS_OVERLAPPEDWINDOW, true, WS_EX_CLIENTEDGE);
  EXPECT_EQ(with_menu, (Rect{-3, -42, 303, 207}));
  Rect own{0, 0, 300, 200};
  adjust_window_rect(&own, WS_POPUP | WS_BORDER, false);
  EXPECT_EQ(own, (Rect{-1, -1, 301, 201}));
}

// The manager tells the frame it drew: the client area follows, the rectangle stays.
TEST_F(UiManagerFrames, AReportedFrameLaysTheWindowOutAgain) {
  Wnd w = top("W", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 400, 300});
  tm_test::run_until_idle();
  message_log().clear();
  const FrameExtents told{4, 24, 4, 4};
  set_window_frame_extents(w, told);
  FrameExtents e;
  EXPECT_TRUE(get_window_frame_extents(w, &e));
  EXPECT_EQ(e, told);
  EXPECT_EQ(client_size(w), (Size{392, 272}));
  const std::vector<Logged> sizes = logged(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(loword(uintptr_t(sizes[0].lp)), 392u);
  EXPECT_EQ(hiword(uintptr_t(sizes[0].lp)), 272u);
  Rect r;
  get_window_rect(w, &r);
  EXPECT_EQ(r, (Rect{0, 0, 400, 300}));
  tm_test::run_until_idle();
  EXPECT_FALSE(logged(WM_PAINT).empty()) << "the client area is painted again";
  message_log().clear();
  set_window_frame_extents(w, told);  // the same again changes nothing
  EXPECT_TRUE(logged(WM_SIZE).empty());
}

TEST_F(UiManagerFrames, WithoutTheManagerWindowsDrawTheirOwnFramesAgain) {
  Wnd w = top("W", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 400, 300});
  tm_test::run_until_idle();
  message_log().clear();
  set_frames_by_manager(false, FrameExtents{});
  EXPECT_FALSE(frames_by_manager());
  EXPECT_FALSE(get_window_frame_extents(w, nullptr));
  EXPECT_EQ(client_size(w), (Size{392, 272}));  // a thick frame of 4 and a caption of 20
  EXPECT_EQ(logged(WM_SIZE).size(), 1u);
  EXPECT_EQ(send_message(w, WM_NCHITTEST, 0, make_lparam(200, 10)), HTCAPTION);
}

}  // namespace
