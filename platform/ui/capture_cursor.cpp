// Mouse capture and cursors.
//
// Cursor handles are fixed numbers, one per shape, the same for the whole run. The
// current cursor may be set from any thread; the presenter hears of a change on the
// user-interface thread, when the loop next falls idle (or at once when set there).
#include "platform/ui/cursor.h"
#include "platform/ui/input.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kCursorIds[] = {IDC_ARROW,    IDC_IBEAM,    IDC_WAIT,   IDC_CROSS,  IDC_UPARROW,
                              IDC_SIZENWSE, IDC_SIZENESW, IDC_SIZEWE, IDC_SIZENS, IDC_SIZEALL,
                              IDC_NO,       IDC_HAND,     IDC_APPSTARTING};
constexpr uintptr_t kCursorBase = 0x2000;  // below every other handle number
constexpr size_t kCursorCount = sizeof(kCursorIds) / sizeof(kCursorIds[0]);

}  // namespace

namespace ui_detail {

void capture_forget(Wnd wnd) {
  if (S().capture == wnd) S().capture = nullptr;
}

void report_cursor() {
  Presenter* p = S().presenter.load();
  if (!p) return;
  Cursor c;
  {
    Guard g;
    c = S().cursor;
    if (c == S().reported_cursor) return;
    S().reported_cursor = c;
  }
  p->cursor_changed(c);
}

}  // namespace ui_detail

Wnd set_capture(Wnd wnd) {
  return handle_of<Wnd>(uintptr_t(run_on_ui([&]() -> LResult {
    Wnd old;
    {
      Guard g;
      old = find(S().capture) ? S().capture : nullptr;
      if (!find(wnd)) return LResult(key_of(old));
      S().capture = wnd;
    }
    if (old && old != wnd) send_message(old, WM_CAPTURECHANGED, 0, LParam(key_of(wnd)));
    return LResult(key_of(old));
  })));
}

bool release_capture() {
  run_on_ui([&]() -> LResult {
    Wnd old;
    {
      Guard g;
      old = find(S().capture) ? S().capture : nullptr;
      S().capture = nullptr;
    }
    if (old) send_message(old, WM_CAPTURECHANGED, 0, 0);
    return 0;
  });
  return true;
}

Wnd get_capture() {
  Guard g;
  return find(S().capture) ? S().capture : nullptr;
}

Cursor load_cursor(int id) {
  for (size_t i = 0; i < kCursorCount; ++i)
    if (kCursorIds[i] == id) return handle_of<Cursor>(kCursorBase + 16 * i);
  return nullptr;
}

int cursor_id(Cursor cursor) {
  uintptr_t v = key_of(cursor);
  if (v < kCursorBase || (v - kCursorBase) % 16) return 0;
  size_t i = (v - kCursorBase) / 16;
  return i < kCursorCount ? kCursorIds[i] : 0;
}

Cursor set_cursor(Cursor cursor) {
  if (cursor && !cursor_id(cursor)) return get_cursor();
  Cursor old;
  {
    Guard g;
    old = S().cursor;
    S().cursor = cursor;
  }
  if (old != cursor) {
    if (is_ui_thread()) {
      report_cursor();
    } else if (S().presenter.load()) {
      wake_ui();
    }
  }
  return old;
}

Cursor get_cursor() {
  Guard g;
  return S().cursor;
}

}  // namespace plat
