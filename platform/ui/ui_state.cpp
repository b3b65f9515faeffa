// The shared state of the window system, its lock, handle numbers, and the delivery of
// work handed over from other threads to the user-interface thread.
#include "platform/ui/ui_state.h"

#include <algorithm>
#include <cassert>
#include <chrono>

#include "platform/sys/clock.h"
#include "platform/sys/utf.h"
#include "platform/ui/queue.h"

namespace plat::ui_detail {

namespace {
thread_local int t_lock_depth = 0;
// The senders whose handed-over calls this thread (the user-interface thread) is running
// now, innermost last: each of them is blocked until its call returns.
thread_local std::vector<std::thread::id> t_serving;
}  // namespace

UiState& S() {
  // Never destroyed: worker threads may still post while the process exits.
  static UiState* state = new UiState;
  return *state;
}

Guard::Guard() {
  S().mu.lock();
  ++t_lock_depth;
}
Guard::~Guard() {
  --t_lock_depth;
  S().mu.unlock();
}
bool lock_held_here() { return t_lock_depth > 0; }

uintptr_t new_serial() {
  Guard g;
  // Handles step by 16 so that they look like aligned pointers and never meet the
  // small numbers used as special places (HWND_BOTTOM and the like).
  S().serial += 16;
  return 0x10000 + S().serial;
}

WndRec* find(Wnd wnd) {
  if (!wnd) return nullptr;
  auto it = S().wnds.find(key_of(wnd));
  if (it == S().wnds.end() || it->second->destroyed) return nullptr;
  return it->second.get();
}

std::shared_ptr<WndRec> ref(Wnd wnd) {
  Guard g;
  if (!find(wnd)) return nullptr;
  return S().wnds[key_of(wnd)];
}

MenuRec* find_menu(Menu menu) {
  if (!menu) return nullptr;
  auto it = S().menus.find(key_of(menu));
  return it == S().menus.end() ? nullptr : it->second.get();
}

// ---- Threads ------------------------------------------------------------------------------
bool is_ui_thread() {
  if (!S().has_ui.load(std::memory_order_acquire)) return false;
  Guard g;
  return S().has_ui.load() && S().ui_thread == std::this_thread::get_id();
}

LResult run_on_ui(std::function<LResult()> fn) {
  if (!S().has_ui.load(std::memory_order_acquire) || is_ui_thread()) return fn();
  auto item = std::make_shared<SentItem>();
  item->fn = std::move(fn);
  item->sender = std::this_thread::get_id();
  {
    Guard g;
    if (!S().has_ui.load()) return item->fn();
    S().inbox.push_back(item);
  }
  wake_ui();
  std::unique_lock<std::mutex> lock(item->m);
  item->cv.wait(lock, [&] { return item->done; });
  return item->result;
}

bool service_sends() {
  // Handed-over calls belong to the user-interface thread; a peek made elsewhere must
  // not run them on the wrong thread.
  if (!is_ui_thread()) return false;
  bool any = false;
  for (;;) {
    std::shared_ptr<SentItem> item;
    {
      Guard g;
      if (S().inbox.empty()) break;
      item = S().inbox.front();
      S().inbox.pop_front();
    }
    any = true;
    t_serving.push_back(item->sender);
    const int lent_before = lent_holds_here();
    LResult r = item->fn();
    assert(lent_holds_here() == lent_before && "a surface lent for a call is given back before it returns");
    (void)lent_before;
    t_serving.pop_back();
    {
      std::lock_guard<std::mutex> lock(item->m);
      item->result = r;
      item->done = true;
    }
    item->cv.notify_all();
  }
  return any;
}

bool waiting_on_this_thread(std::thread::id id) {
  return std::find(t_serving.begin(), t_serving.end(), id) != t_serving.end();
}

void wake_ui() {
  S().waker.notify();
  std::lock_guard<std::mutex> lock(S().wake_mu);
  if (Presenter* p = S().presenter.load(std::memory_order_acquire)) p->wake();
}

void install_presenter(Presenter* p) {
  {
    std::lock_guard<std::mutex> lock(S().wake_mu);
    S().presenter.store(p, std::memory_order_release);
  }
  {
    Guard g;
    S().reported_cursor = nullptr;  // a new presenter is told the cursor afresh
  }
  S().waker.notify();
}

LResult call_proc(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam) {
  assert(!lock_held_here() && "a window procedure must not run under the state lock");
  WndProc proc = nullptr;
  std::shared_ptr<WndRec> keep;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return 0;
    proc = w->proc;
    keep = S().wnds[key_of(wnd)];
  }
  if (!proc) return def_window_proc(wnd, msg, wparam, lparam);
  return proc(wnd, msg, wparam, lparam);
}

bool enqueue(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam) {
  {
    Guard g;
    if (wnd && !find(wnd)) return false;
    Msg m;
    m.wnd = wnd;
    m.message = msg;
    m.wparam = wparam;
    m.lparam = lparam;
    m.time = uint32_t(now_ms());
    m.pt = S().cursor_pos;
    S().posted.push_back(m);
  }
  wake_ui();
  return true;
}

// ---- Waker ----------------------------------------------------------------------------------
uint64_t Waker::current() {
  std::lock_guard<std::mutex> lock(m);
  return epoch;
}

void Waker::notify() {
  {
    std::lock_guard<std::mutex> lock(m);
    ++epoch;
  }
  cv.notify_all();
}

void Waker::wait(uint64_t seen, int64_t real_ms) {
  std::unique_lock<std::mutex> lock(m);
  if (real_ms < 0) {
    cv.wait(lock, [&] { return epoch != seen; });
  } else {
    cv.wait_for(lock, std::chrono::milliseconds(real_ms), [&] { return epoch != seen; });
  }
}

// ---- Text -----------------------------------------------------------------------------------
// The window system's texts convert through the platform's one UTF-8/UTF-16 codec; a
// null text is empty.
std::u16string utf8_to_utf16(const char* s) {
  return s ? plat::utf8_to_utf16(std::string_view(s)) : std::u16string();
}

std::string utf16_to_utf8(const std::u16string& s) { return plat::utf16_to_utf8(s); }

bool same_ascii_ci(const std::string& a, const char* b) {
  if (!b) return false;
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

}  // namespace plat::ui_detail
