// The up-down control with a buddy edit field: the buddy taken and aligned, the range
// and its direction, the delta notification (and its cancel) before the scroll message,
// the buddy's text, a number typed there, the horizontal form, the arrow keys, and
// changes by code that raise nothing.
#include <cstdint>
#include <string>

#include "platform/ui/ctl_updown.h"
#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_lists.h"

using namespace plat;
using namespace ui_test;

namespace {

constexpr int kEditId = 1096, kSpinId = 1095;

// What the parent heard from the up-down control, in order: the delta notifications
// (position and step) and the scroll messages (code, position).
struct Heard {
  char kind;  // 'd' delta, 'v' WM_VSCROLL, 'h' WM_HSCROLL
  int a, b;
  friend bool operator==(const Heard&, const Heard&) = default;
};

std::ostream& operator<<(std::ostream& os, const Heard& h) { return os << h.kind << "(" << h.a << ", " << h.b << ")"; }

class CtlUpDown : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    register_updown_control();
    handlers()[parent_] = [this](Wnd, uint32_t msg, WParam wp, LParam lp, LResult* r) {
      if (msg == WM_NOTIFY) {
        auto* nm = reinterpret_cast<NmUpDown*>(lp);
        if (nm->hdr.code != UDN_DELTAPOS) return false;
        heard_.push_back(Heard{'d', nm->pos, nm->delta});
        if (new_delta_) nm->delta = new_delta_;
        *r = cancel_ ? 1 : 0;
        return true;
      }
      if ((msg == WM_VSCROLL || msg == WM_HSCROLL) && reinterpret_cast<Wnd>(lp) == spin_) {
        heard_.push_back(Heard{msg == WM_VSCROLL ? 'v' : 'h', int(loword(wp)), int(int16_t(hiword(wp)))});
        return true;
      }
      return false;
    };
  }
  // A buddy edit with its up-down control made just after it.
  void make_pair(uint32_t spin_style, const char* text = "10", Rect edit_rect = Rect{20, 20, 120, 42}) {
    edit_ = make("Edit", text, WS_BORDER | ES_NUMBER | WS_TABSTOP, edit_rect, kEditId);
    spin_ = make(kUpDownClass, "", spin_style, Rect{0, 0, 16, 22}, kSpinId);
  }
  void set_range(int lower, int upper) { send_message(spin_, UDM_SETRANGE, 0, make_lparam(upper, lower)); }
  int pos() { return int(int16_t(loword(uintptr_t(send_message(spin_, UDM_GETPOS, 0, 0))))); }
  void click(bool up) {
    ASSERT_TRUE(tm_test::click_updown(spin_, up));
    tm_test::run_until_idle();
  }
  Rect rect_in_parent(Wnd w) {
    Rect r;
    get_window_rect(w, &r);
    Point pts[2] = {{r.left, r.top}, {r.right, r.bottom}};
    map_window_points(nullptr, parent_, pts, 2);
    return Rect{pts[0].x, pts[0].y, pts[1].x, pts[1].y};
  }

  Wnd edit_ = nullptr, spin_ = nullptr;
  std::vector<Heard> heard_;
  bool cancel_ = false;
  int new_delta_ = 0;
};

TEST_F(CtlUpDown, TheBuddyIsThePreviousSiblingAndTheControlSitsAgainstIt) {
  struct Case {
    uint32_t align;
    Rect edit, spin;
  };
  const Case cases[] = {{UDS_ALIGNRIGHT, Rect{20, 20, 104, 42}, Rect{104, 20, 120, 42}},
                        {UDS_ALIGNLEFT, Rect{36, 20, 120, 42}, Rect{20, 20, 36, 42}},
                        {0, Rect{20, 20, 120, 42}, Rect{0, 0, 16, 22}}};
  for (const Case& c : cases) {
    make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | c.align);
    EXPECT_EQ(reinterpret_cast<Wnd>(send_message(spin_, UDM_GETBUDDY, 0, 0)), edit_);
    EXPECT_EQ(rect_in_parent(edit_), c.edit) << c.align;
    EXPECT_EQ(rect_in_parent(spin_), c.spin) << c.align;
    destroy_window(spin_);
    destroy_window(edit_);
  }
  // Without UDS_AUTOBUDDY there is none until one is given.
  make_pair(UDS_SETBUDDYINT | UDS_ALIGNRIGHT);
  EXPECT_EQ(send_message(spin_, UDM_GETBUDDY, 0, 0), 0);
  EXPECT_EQ(send_message(spin_, UDM_SETBUDDY, WParam(reinterpret_cast<uintptr_t>(edit_)), 0), 0);
  EXPECT_EQ(rect_in_parent(spin_), (Rect{104, 20, 120, 42}));
}

TEST_F(CtlUpDown, ClickingAnArrowAsksTheParentThenMovesAndScrolls) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT);
  set_range(1, 80);
  send_message(spin_, UDM_SETPOS, 0, make_lparam(79, 0));
  struct Case {
    bool up;
    int pos;
    std::vector<Heard> heard;
    const char* text;
  };
  const Case cases[] = {
      {true, 80, {{'d', 79, 1}, {'v', SB_THUMBPOSITION, 80}}, "80"},
      {true, 80, {{'d', 80, 1}, {'v', SB_THUMBPOSITION, 80}}, "80"},  // at the end: it stays
      {false, 79, {{'d', 80, -1}, {'v', SB_THUMBPOSITION, 79}}, "79"},
  };
  for (const Case& c : cases) {
    heard_.clear();
    click(c.up);
    EXPECT_EQ(heard_, c.heard) << (c.up ? "up" : "down");
    EXPECT_EQ(pos(), c.pos);
    EXPECT_EQ(window_text(edit_), c.text);
  }
}

TEST_F(CtlUpDown, TheUpArrowGoesTowardsTheUpperEndEvenWhenItIsLower) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT);
  EXPECT_EQ(send_message(spin_, UDM_GETRANGE, 0, 0), make_lparam(0, 100)) << "a new control counts 100 down to 0";
  send_message(spin_, UDM_SETPOS, 0, 50);
  click(true);
  EXPECT_EQ(heard_.front(), (Heard{'d', 50, -1}));
  EXPECT_EQ(pos(), 49);
  int lower = 0, upper = 0;
  send_message(spin_, UDM_SETRANGE32, WParam(intptr_t(-1000)), 1000);
  send_message(spin_, UDM_GETRANGE32, WParam(reinterpret_cast<uintptr_t>(&lower)), LParam(reinterpret_cast<intptr_t>(&upper)));
  EXPECT_EQ(lower, -1000);
  EXPECT_EQ(upper, 1000);
  heard_.clear();
  click(true);
  EXPECT_EQ(heard_.front(), (Heard{'d', 49, 1}));
}

TEST_F(CtlUpDown, TheParentCancelsOrChangesTheStep) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT);
  set_range(0, 1000);
  send_message(spin_, UDM_SETPOS32, 0, 10);
  cancel_ = true;
  click(true);
  EXPECT_EQ(heard_, (std::vector<Heard>{{'d', 10, 1}})) << "no scroll message after a cancel";
  EXPECT_EQ(pos(), 10);
  EXPECT_EQ(window_text(edit_), "10");
  cancel_ = false;
  new_delta_ = 10;
  heard_.clear();
  click(true);
  EXPECT_EQ(heard_, (std::vector<Heard>{{'d', 10, 1}, {'v', SB_THUMBPOSITION, 20}}));
  EXPECT_EQ(window_text(edit_), "20");
}

TEST_F(CtlUpDown, ANumberTypedInTheBuddyIsWhereTheNextStepStarts) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT, "12");
  set_range(1, 80);
  send_message(spin_, UDM_SETPOS, 0, 12);
  struct Case {
    const char* typed;
    bool up;
    Heard delta;
    int pos;
  };
  const Case cases[] = {{"40", true, {'d', 40, 1}, 41}, {"90", false, {'d', 90, -1}, 80}, {"90", true, {'d', 90, 1}, 80}};
  for (const Case& c : cases) {
    tm_test::type_into(parent_, kEditId, c.typed);
    tm_test::run_until_idle();
    heard_.clear();
    click(c.up);
    ASSERT_FALSE(heard_.empty());
    EXPECT_EQ(heard_.front(), c.delta) << c.typed;
    EXPECT_EQ(pos(), c.pos) << c.typed;
  }
  // A text that is no number: the position stands, with the error flag.
  set_window_text(edit_, "abc");
  const LResult r = send_message(spin_, UDM_GETPOS, 0, 0);
  EXPECT_EQ(int(loword(uintptr_t(r))), 80);
  EXPECT_NE(hiword(uintptr_t(r)), 0u);
  int error = 0;
  EXPECT_EQ(send_message(spin_, UDM_GETPOS32, 0, LParam(reinterpret_cast<intptr_t>(&error))), 80);
  EXPECT_EQ(error, 1);
}

TEST_F(CtlUpDown, ChangesByCodeRaiseNothingButWriteTheBuddy) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT);
  set_range(0, 5000);
  tm_test::run_until_idle();
  heard_.clear();
  message_log().clear();
  EXPECT_EQ(send_message(spin_, UDM_SETPOS, 0, 12), 0) << "the old position";
  EXPECT_EQ(send_message(spin_, UDM_SETPOS32, 0, 1234), 12);
  EXPECT_EQ(window_text(edit_), "1,234");
  EXPECT_EQ(send_message(spin_, UDM_GETPOS32, 0, 0), 1234) << "separators are read back";
  EXPECT_EQ(send_message(spin_, UDM_SETPOS32, 0, 9000), 1234);
  EXPECT_EQ(send_message(spin_, UDM_GETPOS32, 0, 0), 5000) << "kept within the range";
  tm_test::run_until_idle();
  EXPECT_TRUE(heard_.empty());
  EXPECT_TRUE(logged(WM_VSCROLL).empty());
  EXPECT_TRUE(logged(WM_NOTIFY).empty());
  destroy_window(spin_);
  destroy_window(edit_);
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_NOTHOUSANDS);
  set_range(0, 5000);
  send_message(spin_, UDM_SETPOS32, 0, 1234);
  EXPECT_EQ(window_text(edit_), "1234");
}

TEST_F(CtlUpDown, AHorizontalControlStepsWithItsSideArrowsAndScrollsSideways) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_HORZ);
  move_window(spin_, 20, 60, 320, 20, true);
  set_range(0, 40);
  send_message(spin_, UDM_SETPOS, 0, 20);
  click(true);
  EXPECT_EQ(heard_, (std::vector<Heard>{{'d', 20, 1}, {'h', SB_THUMBPOSITION, 21}}));
  heard_.clear();
  click(false);
  click(false);
  EXPECT_EQ(heard_.back(), (Heard{'h', SB_THUMBPOSITION, 19}));
  EXPECT_EQ(pos(), 19);
}

TEST_F(CtlUpDown, ArrowKeysInTheBuddyStepWithUdsArrowKeys) {
  struct Case {
    uint32_t style;
    int after;
  };
  for (Case c : {Case{UDS_ARROWKEYS, 7}, Case{0, 5}}) {
    make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | c.style, "5");
    set_range(0, 10);
    send_message(spin_, UDM_SETPOS, 0, 5);
    set_focus(edit_);
    for (int vk : {VK_UP, VK_UP, VK_UP, VK_DOWN}) tm_test::press_key(vk);
    tm_test::run_until_idle();
    EXPECT_EQ(pos(), c.after) << c.style;
    EXPECT_EQ(window_text(edit_), std::to_string(c.after));
    destroy_window(spin_);
    destroy_window(edit_);
  }
}

TEST_F(CtlUpDown, HoldingAnArrowRepeatsTheStep) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT, "0");
  set_range(0, 100);
  send_message(spin_, UDM_SETPOS, 0, 0);
  Rect rc;
  get_client_rect(spin_, &rc);
  tm_test::mouse_down(spin_, rc.right / 2, rc.bottom / 4);
  tm_test::run_until_idle();
  EXPECT_EQ(pos(), 1);
  tm_test::advance_time(400 + 3 * 100);
  EXPECT_EQ(pos(), 5);
  tm_test::mouse_up(spin_, rc.right / 2, rc.bottom / 4);
  tm_test::advance_time(1000);
  EXPECT_EQ(pos(), 5) << "the release stops it";
}

TEST_F(CtlUpDown, TheParentMayDestroyTheControlWhileItIsTold) {
  // WM_COMMAND: the buddy's change notification, raised while the step writes it.
  for (uint32_t when : {uint32_t(WM_NOTIFY), uint32_t(WM_COMMAND), uint32_t(WM_VSCROLL)}) {
    make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS);
    Wnd spin = spin_;
    handlers()[parent_] = [spin, when](Wnd, uint32_t msg, WParam, LParam, LResult*) {
      if (msg == when && is_window(spin)) destroy_window(spin);
      return false;
    };
    click(true);
    EXPECT_FALSE(is_window(spin)) << when;
    // The buddy's arrow keys no longer reach the control.
    set_focus(edit_);
    tm_test::press_key(VK_UP);
    tm_test::run_until_idle();
    destroy_window(edit_);
  }
}

TEST_F(CtlUpDown, PaintsBothArrows) {
  make_pair(UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT);
  tm_test::run_until_idle();
  Rect rc;
  get_client_rect(spin_, &rc);
  EXPECT_TRUE(any_pixel(spin_, Rect{3, 3, rc.right - 3, rc.bottom / 2 - 2}, inky)) << "up arrow";
  EXPECT_TRUE(any_pixel(spin_, Rect{3, rc.bottom / 2 + 2, rc.right - 3, rc.bottom - 3}, inky)) << "down arrow";
}

}  // namespace
