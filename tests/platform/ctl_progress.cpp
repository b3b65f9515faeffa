// The progress bar: its range and position (kept within the range), stepping (going
// round past the high end), and the blocks or smooth bar it paints.
#include <cstdint>

#include "platform/ui/ctl_progress.h"
#include "tests/platform/dialog_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class CtlProgress : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    register_progress_control();
  }
  Wnd bar(uint32_t style = 0) { return make(kProgressClass, "", style, Rect{20, 20, 222, 38}, 1200); }
  int pos(Wnd b) { return int(send_message(b, PBM_GETPOS, 0, 0)); }
  PbRange range(Wnd b) {
    PbRange r;
    send_message(b, PBM_GETRANGE, 0, LParam(reinterpret_cast<intptr_t>(&r)));
    return r;
  }
};

TEST_F(CtlProgress, RangeAndPositionAreKept) {
  Wnd b = bar();
  EXPECT_EQ(range(b).low, 0);
  EXPECT_EQ(range(b).high, 100);
  EXPECT_EQ(send_message(b, PBM_SETRANGE, 0, make_lparam(10, 50)), make_lparam(0, 100)) << "the old range";
  struct Step {
    uint32_t msg;
    WParam wp;
    LResult old;
    int pos;
  };
  const Step steps[] = {
      {PBM_SETPOS, 30, 10, 30},                  // the range pulled the position up to 10
      {PBM_SETPOS, 60, 30, 50},                  // kept within the range
      {PBM_DELTAPOS, WParam(-15), 50, 35},       //
      {PBM_DELTAPOS, WParam(-100), 35, 10},      //
      {PBM_SETPOS, WParam(intptr_t(-7)), 10, 10},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(send_message(b, s.msg, s.wp, 0), s.old) << std::hex << s.msg;
    EXPECT_EQ(pos(b), s.pos);
  }
  send_message(b, PBM_SETRANGE32, WParam(intptr_t(-20000)), 70000);
  EXPECT_EQ(send_message(b, PBM_GETRANGE, 1, 0), -20000);
  EXPECT_EQ(send_message(b, PBM_GETRANGE, 0, 0), 70000);
  EXPECT_EQ(range(b).low, -20000);
  send_message(b, PBM_SETPOS, 65000, 0);
  EXPECT_EQ(pos(b), 65000);
}

TEST_F(CtlProgress, SteppingGoesRoundPastTheHighEnd) {
  Wnd b = bar();
  EXPECT_EQ(send_message(b, PBM_SETSTEP, 30, 0), 10) << "the old step";
  struct Step {
    LResult old;
    int pos;
  };
  for (Step s : {Step{0, 30}, Step{30, 60}, Step{60, 90}, Step{90, 20}, Step{20, 50}}) {
    EXPECT_EQ(send_message(b, PBM_STEPIT, 0, 0), s.old);
    EXPECT_EQ(pos(b), s.pos);
  }
  send_message(b, PBM_SETPOS, 100, 0);
  send_message(b, PBM_SETSTEP, 0, 0);
  send_message(b, PBM_STEPIT, 0, 0);
  EXPECT_EQ(pos(b), 100) << "the high end itself is not past it";
}

TEST_F(CtlProgress, PaintsBlocksOrASmoothBarUpToThePosition) {
  struct Case {
    uint32_t style;
    bool gaps;
  };
  for (Case c : {Case{0, true}, Case{PBS_SMOOTH, false}}) {
    Wnd b = bar(c.style);
    send_message(b, PBM_SETPOS, 50, 0);
    tm_test::run_until_idle();
    Rect rc;
    get_client_rect(b, &rc);
    const uint32_t bar_px = pixel_of(get_sys_color(COLOR_HIGHLIGHT));
    const int y = rc.height() / 2;
    int lit = 0, gaps_seen = 0, last_lit = -1;
    for (int x = 2; x < rc.right - 2; ++x) {
      if (tm_test::pixel_at(b, x, y) == bar_px) {
        if (last_lit >= 0 && x - last_lit > 1) ++gaps_seen;
        last_lit = x;
        ++lit;
      }
    }
    EXPECT_GT(last_lit, rc.width() / 2 - 12) << c.style;
    EXPECT_LT(last_lit, rc.width() / 2 + 2) << "nothing lit past the position " << c.style;
    EXPECT_EQ(gaps_seen > 0, c.gaps) << c.style;
    EXPECT_GT(lit, 0);
    EXPECT_EQ(send_message(b, PBM_SETBARCOLOR, 0, LParam(rgb(200, 0, 0))), LResult(kDefaultBarColor));
    tm_test::run_until_idle();
    EXPECT_EQ(tm_test::pixel_at(b, 3, y), pixel_of(rgb(200, 0, 0))) << "the bar colour";
    destroy_window(b);
  }
}

}  // namespace
