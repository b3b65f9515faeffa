// The trackbar: range and position by code (quiet and kept within the range), the keys,
// paging with a press in the channel (repeated while held), dragging the thumb, the
// vertical form, and painting.
#include <cstdint>

#include "platform/ui/ctl_trackbar.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_lists.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr int kId = 1039;

struct Scroll {
  uint32_t msg;
  unsigned code;
  int pos;
  friend bool operator==(const Scroll&, const Scroll&) = default;
};

std::ostream& operator<<(std::ostream& os, const Scroll& s) {
  return os << (s.msg == WM_HSCROLL ? "H" : "V") << "(" << s.code << ", " << s.pos << ")";
}

class CtlTrackbar : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    register_trackbar_control();
  }
  Wnd bar(uint32_t style = TBS_AUTOTICKS, Rect r = Rect{20, 20, 236, 56}) {
    tb_ = make(kTrackbarClass, "", style | WS_TABSTOP, r, kId);
    return tb_;
  }
  // The scroll messages the trackbar sent its parent, in order.
  std::vector<Scroll> scrolls() {
    std::vector<Scroll> out;
    for (const Logged& l : message_log())
      if (l.wnd == parent_ && (l.msg == WM_HSCROLL || l.msg == WM_VSCROLL) && reinterpret_cast<Wnd>(l.lp) == tb_)
        out.push_back(Scroll{l.msg, loword(l.wp), int(int16_t(hiword(l.wp)))});
    return out;
  }
  int pos() { return int(send_message(tb_, TBM_GETPOS, 0, 0)); }

  Wnd tb_ = nullptr;
};

TEST_F(CtlTrackbar, RangeAndPositionByCodeAreKeptAndRaiseNothing) {
  bar();
  EXPECT_EQ(send_message(tb_, TBM_GETRANGEMIN, 0, 0), 0);
  EXPECT_EQ(send_message(tb_, TBM_GETRANGEMAX, 0, 0), 100);
  send_message(tb_, TBM_SETRANGE, 1, make_lparam(0, 80));
  struct Case {
    int set, got;
  };
  for (Case c : {Case{40, 40}, Case{100, 80}, Case{-5, 0}, Case{80, 80}}) {
    send_message(tb_, TBM_SETPOS, 1, c.set);
    EXPECT_EQ(pos(), c.got) << c.set;
  }
  send_message(tb_, TBM_SETRANGEMAX, 1, 60);
  EXPECT_EQ(pos(), 60) << "a narrower range pulls the position in";
  send_message(tb_, TBM_SETRANGEMIN, 1, 10);
  EXPECT_EQ(send_message(tb_, TBM_GETRANGEMIN, 0, 0), 10);
  EXPECT_EQ(send_message(tb_, TBM_GETPAGESIZE, 0, 0), 10) << "a fifth of the range";
  EXPECT_EQ(send_message(tb_, TBM_SETPAGESIZE, 0, 7), 10);
  EXPECT_EQ(send_message(tb_, TBM_GETPAGESIZE, 0, 0), 7);
  EXPECT_EQ(send_message(tb_, TBM_SETLINESIZE, 0, 2), 1);
  send_message(tb_, TBM_SETTICFREQ, 10, 0);
  tm_test::run_until_idle();
  EXPECT_TRUE(scrolls().empty());
}

TEST_F(CtlTrackbar, KeysMoveThePositionAndEndTheirTrack) {
  bar();
  send_message(tb_, TBM_SETRANGE, 1, make_lparam(0, 80));
  send_message(tb_, TBM_SETPAGESIZE, 0, 10);
  send_message(tb_, TBM_SETPOS, 1, 40);
  set_focus(tb_);
  tm_test::run_until_idle();
  struct Step {
    int vk;
    int pos;
    std::vector<Scroll> heard;
  };
  const Step steps[] = {
      {VK_RIGHT, 41, {{WM_HSCROLL, TB_LINEDOWN, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
      {VK_LEFT, 40, {{WM_HSCROLL, TB_LINEUP, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
      {VK_DOWN, 41, {{WM_HSCROLL, TB_LINEDOWN, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
      {VK_NEXT, 51, {{WM_HSCROLL, TB_PAGEDOWN, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
      {VK_PRIOR, 41, {{WM_HSCROLL, TB_PAGEUP, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
      {VK_END, 80, {{WM_HSCROLL, TB_BOTTOM, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
      {VK_RIGHT, 80, {{WM_HSCROLL, TB_ENDTRACK, 0}}},  // at the end
      {VK_HOME, 0, {{WM_HSCROLL, TB_TOP, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}},
  };
  for (const Step& s : steps) {
    message_log().clear();
    tm_test::press_key(s.vk);
    tm_test::run_until_idle();
    EXPECT_EQ(pos(), s.pos) << "key " << s.vk;
    EXPECT_EQ(scrolls(), s.heard) << "key " << s.vk;
  }
}

TEST_F(CtlTrackbar, APressBesideTheThumbPagesTowardsItWhileHeld) {
  bar();
  send_message(tb_, TBM_SETRANGE, 1, make_lparam(0, 80));
  send_message(tb_, TBM_SETPAGESIZE, 0, 10);
  tm_test::run_until_idle();
  message_log().clear();
  const Point p = tm_test::trackbar_point(tb_, 45);
  tm_test::mouse_down(tb_, p.x, p.y);
  tm_test::run_until_idle();
  EXPECT_EQ(pos(), 10);
  EXPECT_EQ(get_focus(), tb_);
  tm_test::advance_time(400 + 100 * 5);
  EXPECT_EQ(pos(), 45) << "it stops under the pointer";
  tm_test::mouse_up(tb_, p.x, p.y);
  tm_test::run_until_idle();
  const std::vector<Scroll> heard = scrolls();
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front(), (Scroll{WM_HSCROLL, TB_PAGEDOWN, 0}));
  EXPECT_EQ(heard.back(), (Scroll{WM_HSCROLL, TB_ENDTRACK, 0}));
  message_log().clear();
  ASSERT_TRUE(tm_test::click_trackbar(tb_, 5));
  tm_test::run_until_idle();
  EXPECT_EQ(pos(), 35);
  EXPECT_EQ(scrolls(), (std::vector<Scroll>{{WM_HSCROLL, TB_PAGEUP, 0}, {WM_HSCROLL, TB_ENDTRACK, 0}}));
}

TEST_F(CtlTrackbar, DraggingTheThumbTracksAndEndsAtItsPlace) {
  struct Case {
    uint32_t style;
    uint32_t msg;
    Rect r;
  };
  for (Case c : {Case{TBS_AUTOTICKS, WM_HSCROLL, Rect{20, 20, 236, 56}},
                 Case{TBS_AUTOTICKS | TBS_VERT, WM_VSCROLL, Rect{20, 20, 56, 236}}}) {
    bar(c.style, c.r);
    send_message(tb_, TBM_SETRANGE, 1, make_lparam(0, 80));
    send_message(tb_, TBM_SETPOS, 1, 10);
    tm_test::run_until_idle();
    message_log().clear();
    ASSERT_TRUE(tm_test::drag_trackbar(tb_, 60));
    tm_test::run_until_idle();
    EXPECT_EQ(pos(), 60) << c.style;
    EXPECT_EQ(scrolls(), (std::vector<Scroll>{{c.msg, TB_THUMBTRACK, 60}, {c.msg, TB_THUMBPOSITION, 60}, {c.msg, TB_ENDTRACK, 0}}))
        << c.style;
    destroy_window(tb_);
  }
}

TEST_F(CtlTrackbar, TheMinimumIsAtTheLeftOrAtTheTop) {
  bar(TBS_AUTOTICKS | TBS_VERT, Rect{20, 20, 56, 236});
  send_message(tb_, TBM_SETRANGE, 1, make_lparam(0, 80));
  Rect low, high;
  send_message(tb_, TBM_GETTHUMBRECT, 0, LParam(reinterpret_cast<intptr_t>(&low)));
  send_message(tb_, TBM_SETPOS, 1, 80);
  send_message(tb_, TBM_GETTHUMBRECT, 0, LParam(reinterpret_cast<intptr_t>(&high)));
  EXPECT_LT(low.top, high.top);
  EXPECT_EQ(low.left, high.left);
}

TEST_F(CtlTrackbar, PaintsChannelThumbAndTicks) {
  bar(TBS_AUTOTICKS);
  send_message(tb_, TBM_SETRANGE, 1, make_lparam(0, 80));
  send_message(tb_, TBM_SETTICFREQ, 10, 0);
  send_message(tb_, TBM_SETPOS, 1, 40);
  tm_test::run_until_idle();
  Rect thumb, channel, rc;
  send_message(tb_, TBM_GETTHUMBRECT, 0, LParam(reinterpret_cast<intptr_t>(&thumb)));
  send_message(tb_, TBM_GETCHANNELRECT, 0, LParam(reinterpret_cast<intptr_t>(&channel)));
  get_client_rect(tb_, &rc);
  const uint32_t light = pixel_of(get_sys_color(COLOR_3DHILIGHT)), shadow = pixel_of(get_sys_color(COLOR_3DSHADOW));
  EXPECT_EQ(tm_test::pixel_at(tb_, thumb.left, thumb.top), light) << "the thumb stands out";
  EXPECT_EQ(tm_test::pixel_at(tb_, thumb.right - 1, thumb.bottom - 1), shadow);
  EXPECT_EQ(tm_test::pixel_at(tb_, channel.left, channel.top), shadow) << "the channel is sunk";
  // Ticks under the thumb's band, from the minimum to the maximum, one every ten positions.
  const Rect ticks{rc.left, thumb.bottom + 1, rc.right, rc.bottom};
  const auto cols = ink_columns(tb_, ticks, inky);
  EXPECT_EQ(cols.first, tm_test::trackbar_point(tb_, 0).x);
  EXPECT_EQ(cols.second, tm_test::trackbar_point(tb_, 80).x);
  EXPECT_TRUE(inky(tm_test::pixel_at(tb_, tm_test::trackbar_point(tb_, 30).x, thumb.bottom + 2)));
}

}  // namespace
