// What a window holds besides its place: its text (UTF-16, reached through WM_SETTEXT
// and WM_GETTEXT so that controls can keep their own), its values (procedure, id,
// styles, user data, the class's per-window bytes) and subclassing.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/ui/icons.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

// ---- Icons -------------------------------------------------------------------------------
namespace {
std::atomic<window_icon_listener> g_icon_listener{nullptr};
}  // namespace

void set_window_icon_listener(window_icon_listener listener) { g_icon_listener.store(listener); }

bool set_window_icon(Wnd top, int which, const Surface& icon) {
  if (which != kWindowIconSmall && which != kWindowIconBig) return false;
  {
    Guard g;
    WndRec* w = find(top);
    if (!w) return false;
    w->icons[which] = icon;
  }
  if (window_icon_listener fn = g_icon_listener.load()) fn(top);
  return true;
}

bool get_window_icon(Wnd top, int which, Surface* out) {
  if (!out || (which != kWindowIconSmall && which != kWindowIconBig)) return false;
  Guard g;
  WndRec* w = find(top);
  if (!w) return false;
  *out = w->icons[which];
  return true;
}

// ---- Text --------------------------------------------------------------------------------
bool set_window_text_w(Wnd wnd, const char16_t* text) {
  if (!is_window(wnd)) return false;
  std::u16string t = text ? std::u16string(text) : std::u16string();
  return send_message(wnd, WM_SETTEXT, 0, LParam(reinterpret_cast<intptr_t>(t.c_str()))) != 0;
}

bool set_window_text(Wnd wnd, const char* utf8) {
  std::u16string t = utf8_to_utf16(utf8);
  return set_window_text_w(wnd, t.c_str());
}

int get_window_text_length(Wnd wnd) {
  if (!is_window(wnd)) return 0;
  return int(send_message(wnd, WM_GETTEXTLENGTH, 0, 0));
}

std::u16string window_text_w(Wnd wnd) {
  int n = get_window_text_length(wnd);
  if (n <= 0) return std::u16string();
  std::u16string buf(size_t(n) + 1, u'\0');
  LResult got = send_message(wnd, WM_GETTEXT, WParam(buf.size()), LParam(reinterpret_cast<intptr_t>(buf.data())));
  if (got < 0) got = 0;
  buf.resize(size_t(std::min<LResult>(got, n)));
  return buf;
}

std::string window_text(Wnd wnd) { return utf16_to_utf8(window_text_w(wnd)); }

int get_window_text_w(Wnd wnd, char16_t* buf, int size) {
  if (!buf || size <= 0) return 0;
  std::u16string t = window_text_w(wnd);
  size_t n = std::min(t.size(), size_t(size - 1));
  // Never cut a surrogate pair in two.
  if (n > 0 && n < t.size() && t[n - 1] >= 0xD800 && t[n - 1] <= 0xDBFF) --n;
  std::memcpy(buf, t.data(), n * sizeof(char16_t));
  buf[n] = 0;
  return int(n);
}

int get_window_text(Wnd wnd, char* buf, int size) {
  if (!buf || size <= 0) return 0;
  std::string t = window_text(wnd);
  size_t n = std::min(t.size(), size_t(size - 1));
  // Cut at a character boundary: back off over continuation bytes.
  if (n < t.size())
    while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buf, t.data(), n);
  buf[n] = 0;
  return int(n);
}

// ---- Values ---------------------------------------------------------------------------------
intptr_t get_window_long(Wnd wnd, int index) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<intptr_t>(w->proc);
    case GWLP_HINSTANCE: return 0;
    case GWLP_HWNDPARENT: return intptr_t(key_of(is_top(*w) ? w->owner : w->parent));
    case GWLP_ID: return intptr_t(w->id);
    case GWL_STYLE: return intptr_t(w->style);
    case GWL_EXSTYLE: return intptr_t(w->ex_style);
    case GWLP_USERDATA: return w->user_data;
    default: break;
  }
  if (index < 0 || size_t(index) + sizeof(intptr_t) > w->extra.size()) return 0;
  intptr_t v;
  std::memcpy(&v, w->extra.data() + index, sizeof v);
  return v;
}

intptr_t set_window_long(Wnd wnd, int index, intptr_t value) {
  if (index == GWLP_WNDPROC) {
    return reinterpret_cast<intptr_t>(set_window_proc(wnd, reinterpret_cast<WndProc>(value)));
  }
  bool visibility_changed = false, enable_changed = false;
  intptr_t old = 0;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return 0;
    switch (index) {
      case GWLP_HINSTANCE: return 0;
      case GWLP_HWNDPARENT:
        if (!is_top(*w)) return 0;
        old = intptr_t(key_of(w->owner));
        w->owner = find(handle_of<Wnd>(uintptr_t(value))) ? handle_of<Wnd>(uintptr_t(value)) : nullptr;
        return old;
      case GWLP_ID: old = intptr_t(w->id); w->id = uintptr_t(value); return old;
      case GWLP_USERDATA: old = w->user_data; w->user_data = value; return old;
      case GWL_EXSTYLE: old = intptr_t(w->ex_style); w->ex_style = uint32_t(value); break;
      case GWL_STYLE: {
        old = intptr_t(w->style);
        uint32_t nv = uint32_t(value);
        // Visibility and the disabled state go through show_window / enable_window
        // so that their messages are sent.
        visibility_changed = ((nv ^ w->style) & WS_VISIBLE) != 0;
        enable_changed = ((nv ^ w->style) & WS_DISABLED) != 0;
        w->style = (nv & ~(WS_VISIBLE | WS_DISABLED)) | (w->style & (WS_VISIBLE | WS_DISABLED));
        break;
      }
      default:
        if (index < 0 || size_t(index) + sizeof(intptr_t) > w->extra.size()) return 0;
        std::memcpy(&old, w->extra.data() + index, sizeof old);
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return old;
    }
    w->nc_dirty = true;
  }
  // A style change moves the frame: it is drawn anew at once, and the client area is
  // told its new size (what set_window_pos with SWP_FRAMECHANGED would do).
  if (enable_changed) enable_window(wnd, !(uint32_t(value) & WS_DISABLED));
  if (visibility_changed) show_window(wnd, (uint32_t(value) & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
  run_on_ui([&]() -> LResult {
    redraw_nonclient(wnd);
    sync_geometry_messages(wnd, SIZE_RESTORED, false);
    return 0;
  });
  return old;
}

WndProc get_window_proc(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w ? w->proc : nullptr;
}

WndProc set_window_proc(Wnd wnd, WndProc proc) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !proc) return nullptr;
  WndProc old = w->proc;
  w->proc = proc;
  return old;
}

LResult call_window_proc(WndProc proc, Wnd wnd, uint32_t msg, WParam wparam, LParam lparam) {
  if (!proc) return 0;
  return proc(wnd, msg, wparam, lparam);
}

}  // namespace plat
