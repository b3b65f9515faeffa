// The shared state of the window system, its lock, handle numbers, and the delivery of
// work handed over from other threads to the user-interface thread.
#include "platform/ui/ui_state.h"

#include <algorithm>
#include <cassert>
#include <chrono>

#include "platform/sys/clock.h"
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
std::u16string utf8_to_utf16(const char* s) {
  std::u16string out;
  if (!s) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    uint32_t c = *p;
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0) {
      out.push_back(0xFFFD);
      ++p;
      continue;
    }
    uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    int i = 1;
    for (; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) break;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (i <= extra || (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      p += i;  // skip the lead byte and the continuation bytes that were read
      continue;
    }
    p += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string utf16_to_utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

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
