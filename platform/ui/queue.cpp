// The message queue: posting and sending, retrieval in priority order (sent, posted,
// quit, paint, timer), translation of keys into characters, dispatch, the idle wait,
// and the wait helper for a user-interface thread that waits on a worker.
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/sys/clock.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/timer.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// Under the virtual clock time moves only when a test moves it, so a wait for a timer
// looks again every few real milliseconds instead of sleeping until the due time.
constexpr int64_t kVirtualRecheckMs = 5;

bool in_range(uint32_t msg, uint32_t min, uint32_t max) {
  return (min == 0 && max == 0) || (msg >= min && msg <= max);
}

bool for_filter(Wnd filter, Wnd wnd) { return !filter || wnd == filter || (wnd && is_child(filter, wnd)); }

// A key queued for a window that has gone since goes to the window that has the
// keyboard now; with none, it is dropped, its key state still taken into account, so
// that no key stays down for want of a window to hear its release. False when dropped.
// Lock held.
bool rebind_orphan_key(Msg& m) {
  if (!m.wnd || !is_key_message(m.message) || find(m.wnd)) return true;
  m.wnd = keyboard_target();
  if (m.wnd) return true;
  update_key_state_on_removal(m);
  return false;
}

bool find_message(Msg* out, Wnd filter, uint32_t min, uint32_t max, unsigned remove) {
  service_sends();
  Guard g;
  auto& q = S().posted;
  for (auto it = q.begin(); it != q.end(); ++it) {
    while (it != q.end() && !rebind_orphan_key(*it)) it = q.erase(it);
    if (it == q.end()) break;
    if (!in_range(it->message, min, max) || !for_filter(filter, it->wnd)) continue;
    *out = *it;
    if (remove & PM_REMOVE) {
      update_key_state_on_removal(*it);
      q.erase(it);
    }
    return true;
  }
  if (S().quit) {
    *out = Msg{};
    out->message = WM_QUIT;
    out->wparam = WParam(intptr_t(S().quit_code));
    out->time = uint32_t(now_ms());
    out->pt = S().cursor_pos;
    if (remove & PM_REMOVE) S().quit = false;
    return true;
  }
  if (in_range(WM_PAINT, min, max)) {
    if (Wnd w = find_paint_window(filter)) {
      *out = Msg{};
      out->wnd = w;
      out->message = WM_PAINT;
      out->time = uint32_t(now_ms());
      out->pt = S().cursor_pos;
      return true;
    }
  }
  if (in_range(WM_TIMER, min, max) && take_due_timer(filter, remove & PM_REMOVE, out)) return true;
  return false;
}

// A message taken from the queue becomes the one being handled: its cursor position
// and time are what get_message_pos and get_message_time answer from then on.
bool peek_impl(Msg* out, Wnd filter, uint32_t min, uint32_t max, unsigned remove) {
  if (!find_message(out, filter, min, max, remove)) return false;
  if (remove & PM_REMOVE) {
    Guard g;
    S().message_pos = out->pt;
    S().message_time = out->time;
  }
  return true;
}

// Sleeps until something may have arrived: a post or send (the waker), real input (the
// presenter), the next timer, or `limit_ms` of the clock.
void idle_wait(uint64_t seen, int64_t limit_ms) {
  int64_t timeout = limit_ms;
  int64_t due;
  if (next_timer_due(&due)) {
    int64_t until = std::max<int64_t>(0, due - now_ms());
    timeout = timeout < 0 ? until : std::min(timeout, until);
  }
  if (timeout >= 0 && virtual_clock_on()) timeout = std::min(timeout, kVirtualRecheckMs);
  if (Presenter* p = S().presenter.load()) {
    p->wait_events(timeout);
  } else {
    S().waker.wait(seen, timeout);
  }
}

}  // namespace

void set_ui_thread() {
  Guard g;
  S().ui_thread = std::this_thread::get_id();
  S().has_ui.store(true, std::memory_order_release);
}

bool on_ui_thread() { return is_ui_thread(); }

bool post_message(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam) {
  return enqueue(wnd, msg, wparam, lparam);
}

bool post_thread_message(uint32_t msg, WParam wparam, LParam lparam) {
  return enqueue(nullptr, msg, wparam, lparam);
}

void post_quit_message(int exit_code) {
  {
    Guard g;
    S().quit = true;
    S().quit_code = exit_code;
  }
  wake_ui();
}

LResult send_message(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam) {
  if (!is_window(wnd)) return 0;
  return run_on_ui([=]() -> LResult { return call_proc(wnd, msg, wparam, lparam); });
}

bool peek_message(Msg* msg, Wnd filter, uint32_t min, uint32_t max, unsigned remove) {
  if (!msg) return false;
  if (filter && !is_window(filter)) return false;
  if (peek_impl(msg, filter, min, max, remove)) return true;
  flush_presenter();
  return false;
}

int get_message(Msg* msg, Wnd filter, uint32_t min, uint32_t max) {
  if (!msg) return -1;
  for (;;) {
    if (filter && !is_window(filter)) return -1;
    const uint64_t seen = S().waker.current();
    if (peek_impl(msg, filter, min, max, PM_REMOVE)) return msg->message == WM_QUIT ? 0 : 1;
    flush_presenter();
    idle_wait(seen, -1);
  }
}

void wait_message(int64_t timeout_ms) {
  const uint64_t seen = S().waker.current();
  if (queue_has_work()) return;
  flush_presenter();
  idle_wait(seen, timeout_ms);
}

Point get_message_pos() {
  Guard g;
  return S().message_pos;
}

uint32_t get_message_time() {
  Guard g;
  return S().message_time;
}

bool queue_has_work() {
  Guard g;
  if (!S().posted.empty() || S().quit || !S().inbox.empty()) return true;
  if (find_paint_window(nullptr)) return true;
  int64_t due;
  return next_timer_due(&due) && due <= now_ms();
}

bool translate_message(const Msg* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return false;
  const bool shift = get_key_state(VK_SHIFT) < 0;
  const bool ctrl = get_key_state(VK_CONTROL) < 0;
  const bool caps = get_key_state(VK_CAPITAL) & 1;
  char16_t ch = char_for_key(int(msg->wparam), shift, caps, ctrl);
  if (!ch) return false;
  Msg m = *msg;
  m.message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  m.wparam = ch;
  {
    Guard g;
    // The character comes next, before input queued after its key.
    S().posted.push_front(m);
  }
  wake_ui();
  return true;
}

LResult dispatch_message(const Msg* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lparam) {
    TimerProc proc;
    {
      Guard g;
      proc = timer_proc_of(msg->wnd, msg->wparam);
    }
    // Only a live timer's own procedure is called, never an address from a message.
    if (!proc || LParam(reinterpret_cast<intptr_t>(proc)) != msg->lparam) return 0;
    proc(msg->wnd, WM_TIMER, msg->wparam, uint32_t(now_ms()));
    return 0;
  }
  if (!msg->wnd) return 0;
  if (msg->message == WM_PAINT) paint_prepare(msg->wnd);
  return call_proc(msg->wnd, msg->message, msg->wparam, msg->lparam);
}

bool wait_servicing_sends(const std::function<bool()>& done, int64_t timeout_ms) {
  const int64_t start = now_ms();
  if (!is_ui_thread()) {
    while (!done()) {
      if (timeout_ms >= 0 && now_ms() - start >= timeout_ms) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  for (;;) {
    const uint64_t seen = S().waker.current();
    service_sends();
    if (done()) return true;
    if (timeout_ms >= 0 && now_ms() - start >= timeout_ms) return false;
    // `done` is not signalled to us: look again soon, or at once when a send arrives.
    S().waker.wait(seen, 2);
  }
}

void ui_reset() {
  std::deque<std::shared_ptr<SentItem>> pending;
  std::vector<Dc> dcs;
  {
    Guard g;
    UiState& s = S();
    pending.swap(s.inbox);
    for (auto& [dc, entry] : s.dcs) dcs.push_back(dc);
    s.dcs.clear();
    s.wnds.clear();
    s.tops.clear();
    s.classes.clear();
    s.posted.clear();
    s.quit = false;
    s.quit_code = 0;
    s.timers.clear();
    s.next_thread_timer = 1;
    s.focus = s.active = s.capture = nullptr;
    s.cursor = nullptr;
    s.cursor_pos = Point{};
    s.message_pos = Point{};
    s.message_time = 0;
    s.key_sync.fill(0);
    s.key_async.fill(0);
    s.alt_alone = false;
    s.drag = BarDrag{};
    s.menus.clear();
    s.accels.clear();
    s.drops.clear();
    s.modal_results.clear();
    s.screen = Rect{0, 0, 1024, 768};
    s.work = s.screen;
    s.frames_by_manager = false;
    s.usual_frame = FrameExtents{};
    s.modal_idle_hook = nullptr;
    s.popup_chooser = nullptr;
    s.message_box_hook = nullptr;
    s.has_ui.store(false);
    s.ui_thread = std::thread::id();
  }
  install_presenter(nullptr);
  for (Dc dc : dcs) delete_dc(dc);
  for (auto& item : pending) {
    {
      std::lock_guard<std::mutex> lock(item->m);
      item->done = true;
      item->result = 0;
    }
    item->cv.notify_all();
  }
  S().waker.notify();
}

}  // namespace plat
