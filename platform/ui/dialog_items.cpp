// The item helpers of dialogs: text (UTF-8 and UTF-16), numbers, check states and
// messages of an item reached by its id. Each goes through the item's messages, so the
// item raises what it raises for them (an edit's change notification on new text, no
// notification for a check state).
#include <algorithm>
#include <climits>
#include <string>

#include "platform/ui/ctl_button.h"
#include "platform/ui/dialog.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"

namespace plat {

namespace {

bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// A decimal number with an optional '-' (signed only); false when it is not one or
// does not fit.
bool parse_number(const std::u16string& s, bool is_signed, long long* out) {
  size_t a = 0, b = s.size();
  while (a < b && is_space(s[a])) ++a;
  while (b > a && is_space(s[b - 1])) --b;
  bool negative = false;
  if (a < b && s[a] == u'-' && is_signed) {
    negative = true;
    ++a;
  }
  if (a == b) return false;
  long long v = 0;
  for (size_t i = a; i < b; ++i) {
    if (s[i] < u'0' || s[i] > u'9') return false;
    v = v * 10 + (s[i] - u'0');
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (negative) v = -v;
  if (is_signed && (v < INT_MIN || v > INT_MAX)) return false;
  *out = v;
  return true;
}

}  // namespace

bool set_dlg_item_text_w(Wnd dlg, int id, const char16_t* text) {
  Wnd item = get_dlg_item(dlg, id);
  return item && set_window_text_w(item, text);
}

bool set_dlg_item_text(Wnd dlg, int id, const char* utf8) {
  Wnd item = get_dlg_item(dlg, id);
  return item && set_window_text(item, utf8);
}

int get_dlg_item_text_w(Wnd dlg, int id, char16_t* buf, int size) {
  Wnd item = get_dlg_item(dlg, id);
  if (item) return get_window_text_w(item, buf, size);
  if (buf && size > 0) buf[0] = 0;
  return 0;
}

int get_dlg_item_text(Wnd dlg, int id, char* buf, int size) {
  Wnd item = get_dlg_item(dlg, id);
  if (item) return get_window_text(item, buf, size);
  if (buf && size > 0) buf[0] = 0;
  return 0;
}

std::string dlg_item_text(Wnd dlg, int id) {
  Wnd item = get_dlg_item(dlg, id);
  return item ? window_text(item) : std::string();
}

std::u16string dlg_item_text_w(Wnd dlg, int id) {
  Wnd item = get_dlg_item(dlg, id);
  return item ? window_text_w(item) : std::u16string();
}

bool set_dlg_item_int(Wnd dlg, int id, unsigned value, bool is_signed) {
  const std::string s = is_signed ? std::to_string(int(value)) : std::to_string(value);
  return set_dlg_item_text(dlg, id, s.c_str());
}

unsigned get_dlg_item_int(Wnd dlg, int id, bool* translated, bool is_signed) {
  if (translated) *translated = false;
  Wnd item = get_dlg_item(dlg, id);
  long long v = 0;
  if (!item || !parse_number(window_text_w(item), is_signed, &v)) return 0;
  if (translated) *translated = true;
  return unsigned(v);
}

bool check_dlg_button(Wnd dlg, int id, unsigned check) {
  Wnd item = get_dlg_item(dlg, id);
  if (!item) return false;
  send_message(item, BM_SETCHECK, check, 0);
  return true;
}

unsigned is_dlg_button_checked(Wnd dlg, int id) {
  Wnd item = get_dlg_item(dlg, id);
  return item ? unsigned(send_message(item, BM_GETCHECK, 0, 0)) : 0;
}

bool check_radio_button(Wnd dlg, int first, int last, int check) {
  if (!is_window(dlg)) return false;
  if (first > last) std::swap(first, last);
  // The dialog's own items in the range, however wide the range is.
  for (Wnd item : child_windows(dlg)) {
    const int id = get_dlg_ctrl_id(item);
    if (id >= first && id <= last) send_message(item, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  return true;
}

LResult send_dlg_item_message(Wnd dlg, int id, uint32_t msg, WParam wparam, LParam lparam) {
  Wnd item = get_dlg_item(dlg, id);
  return item ? send_message(item, msg, wparam, lparam) : 0;
}

}  // namespace plat
