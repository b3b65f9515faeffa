// Timers on the virtual clock: how often they fire, that a late loop sees one WM_TIMER
// per timer, timer procedures, thread timers, and timers that end.
#include "tests/platform/ui_fixture.h"

#include "platform/sys/clock.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiTimers : public UiTest {};

size_t timer_messages(Wnd w, uintptr_t id) {
  size_t n = 0;
  for (const Logged& l : logged(WM_TIMER))
    if (l.wnd == w && l.wp == id) ++n;
  return n;
}

TEST_F(UiTimers, ATimerFiresOncePerIntervalOfVirtualTime) {
  struct Case {
    uint32_t interval;
    int64_t advance;
    size_t fired;
  };
  const Case cases[] = {{100, 1000, 10}, {250, 1000, 4}, {100, 99, 0}, {3, 100, 10}};  // 3 ms counts as 10
  for (const Case& c : cases) {
    Wnd w = top();
    tm_test::run_until_idle();
    message_log().clear();
    ASSERT_EQ(set_timer(w, 7, c.interval, nullptr), 7u);
    tm_test::advance_time(c.advance);
    EXPECT_EQ(timer_messages(w, 7), c.fired) << c.interval << " ms over " << c.advance;
    destroy_window(w);
  }
}

TEST_F(UiTimers, ALateLoopSeesOneMessagePerTimer) {
  Wnd w = top();
  tm_test::run_until_idle();
  message_log().clear();
  set_timer(w, 1, 100, nullptr);
  set_timer(w, 2, 100, nullptr);
  advance_virtual_ms(1000);  // nobody pumps meanwhile
  tm_test::run_until_idle();
  EXPECT_EQ(timer_messages(w, 1), 1u);
  EXPECT_EQ(timer_messages(w, 2), 1u);
  int64_t due = 0;
  ASSERT_TRUE(next_timer_due(&due));
  EXPECT_EQ(due, now_ms() + 100) << "rescheduled from when it was taken";
}

TEST_F(UiTimers, ResettingATimerRestartsItsInterval) {
  Wnd w = top();
  tm_test::run_until_idle();
  message_log().clear();
  set_timer(w, 3, 100, nullptr);
  tm_test::advance_time(60);
  set_timer(w, 3, 100, nullptr);
  tm_test::advance_time(60);
  EXPECT_EQ(timer_messages(w, 3), 0u);
  tm_test::advance_time(40);
  EXPECT_EQ(timer_messages(w, 3), 1u);
}

std::vector<std::pair<Wnd, uintptr_t>> g_proc_calls;
void record_timer(Wnd w, uint32_t msg, uintptr_t id, uint32_t) {
  if (msg == WM_TIMER) g_proc_calls.emplace_back(w, id);
}

TEST_F(UiTimers, TimerProceduresRunInsteadOfTheWindowProcedure) {
  g_proc_calls.clear();
  Wnd w = top();
  tm_test::run_until_idle();
  message_log().clear();
  set_timer(w, 9, 50, record_timer);
  uintptr_t thread_id = set_timer(nullptr, 0, 50, record_timer);
  EXPECT_NE(thread_id, 0u);
  tm_test::advance_time(50);
  EXPECT_EQ(timer_messages(w, 9), 0u);
  EXPECT_EQ(g_proc_calls, (std::vector<std::pair<Wnd, uintptr_t>>{{w, 9}, {nullptr, thread_id}}));
}

TEST_F(UiTimers, KilledTimersAndTimersOfDestroyedWindowsStop) {
  Wnd a = top("A");
  Wnd b = top("B");
  tm_test::run_until_idle();
  message_log().clear();
  set_timer(a, 1, 100, nullptr);
  set_timer(b, 1, 100, nullptr);
  EXPECT_TRUE(kill_timer(a, 1));
  EXPECT_FALSE(kill_timer(a, 1));
  destroy_window(b);
  int64_t due;
  EXPECT_FALSE(next_timer_due(&due));
  tm_test::advance_time(500);
  EXPECT_TRUE(logged(WM_TIMER).empty());
}

TEST_F(UiTimers, AForgedTimerMessageCallsNothing) {
  g_proc_calls.clear();
  Wnd w = top();
  set_timer(w, 4, 100, nullptr);
  Msg m;
  m.wnd = w;
  m.message = WM_TIMER;
  m.wparam = 4;
  m.lparam = LParam(reinterpret_cast<intptr_t>(&record_timer));  // not this timer's procedure
  EXPECT_EQ(dispatch_message(&m), 0);
  EXPECT_TRUE(g_proc_calls.empty());
}

}  // namespace
