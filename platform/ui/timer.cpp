// Timers on the process clock. Nothing is queued when a timer falls due: the queue
// makes WM_TIMER when it has nothing better to hand out (take_due_timer), and the
// timer is rescheduled from the moment its message is taken. So a late or busy loop
// sees one WM_TIMER per timer, never a pile of them.
#include <algorithm>

#include "platform/sys/clock.h"
#include "platform/ui/timer.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {
constexpr uint32_t kMinimumInterval = 10;
}  // namespace

namespace ui_detail {

void timers_forget_window(Wnd wnd) {
  auto& t = S().timers;
  t.erase(std::remove_if(t.begin(), t.end(), [wnd](const TimerRec& r) { return r.wnd == wnd; }), t.end());
}

// The due timer (for the filter window and its descendants, or any) that fell due
// first; with `remove` it is rescheduled. Lock held.
bool take_due_timer(Wnd filter, bool remove, Msg* out) {
  const int64_t now = now_ms();
  TimerRec* best = nullptr;
  for (auto& t : S().timers) {
    if (t.due > now) continue;
    if (filter && t.wnd != filter && !is_child(filter, t.wnd)) continue;
    if (!best || t.due < best->due) best = &t;
  }
  if (!best) return false;
  out->wnd = best->wnd;
  out->message = WM_TIMER;
  out->wparam = best->id;
  out->lparam = LParam(reinterpret_cast<intptr_t>(best->proc));
  out->time = uint32_t(now);
  out->pt = S().cursor_pos;
  if (remove) best->due = now + best->interval;
  return true;
}

TimerProc timer_proc_of(Wnd wnd, uintptr_t id) {
  for (auto& t : S().timers)
    if (t.wnd == wnd && t.id == id) return t.proc;
  return nullptr;
}

}  // namespace ui_detail

uintptr_t set_timer(Wnd wnd, uintptr_t id, uint32_t interval_ms, TimerProc proc) {
  {
    Guard g;
    if (wnd && !find(wnd)) return 0;
    const int64_t interval = std::max(interval_ms, kMinimumInterval);
    auto& list = S().timers;
    auto it = std::find_if(list.begin(), list.end(), [&](const TimerRec& t) { return t.wnd == wnd && t.id == id; });
    if (!wnd && it == list.end()) {
      // A thread timer gets a fresh id unless it names one of its own.
      do {
        id = S().next_thread_timer++;
      } while (std::any_of(list.begin(), list.end(), [&](const TimerRec& t) { return !t.wnd && t.id == id; }) || id == 0);
      it = list.end();
    }
    if (it == list.end()) {
      list.push_back(TimerRec{});
      it = list.end() - 1;
    }
    it->wnd = wnd;
    it->id = id;
    it->interval = interval;
    it->due = now_ms() + interval;
    it->proc = proc;
  }
  wake_ui();
  return id;
}

bool kill_timer(Wnd wnd, uintptr_t id) {
  Guard g;
  auto& list = S().timers;
  auto it = std::find_if(list.begin(), list.end(), [&](const TimerRec& t) { return t.wnd == wnd && t.id == id; });
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

bool next_timer_due(int64_t* due_ms) {
  Guard g;
  bool any = false;
  int64_t best = 0;
  for (auto& t : S().timers) {
    if (!any || t.due < best) best = t.due;
    any = true;
  }
  if (any && due_ms) *due_ms = best;
  return any;
}

}  // namespace plat
