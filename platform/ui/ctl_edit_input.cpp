// The edit control's changes and input: replacing the selection (the one way a user's
// edit changes the text), setting the text by code, undo, the selection, and what keys,
// characters and the mouse do.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_edit_state.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"

namespace plat::ui_detail {

namespace {

bool is_high(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool read_only(Wnd wnd) { return edit_style(wnd) & ES_READONLY; }

// Case changes of ES_UPPERCASE and ES_LOWERCASE: ASCII and Latin-1 letters.
char16_t to_upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
  if (c == 0xFF) return 0x178;
  return c;
}

char16_t to_lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);
  if (c == 0x178) return 0xFF;
  return c;
}

// The text changed: lines again, the caret shown, the control repainted.
void text_changed(Wnd wnd, EditData& d) {
  edit_invalidate_layout(d);
  d.goal_x = -1;
  edit_scroll_to_caret(wnd, d);
  invalidate_rect(wnd, nullptr, false);
}

// EN_UPDATE then EN_CHANGE; the parent may destroy the edit on either.
void raise_change(Wnd wnd) {
  notify_command(wnd, EN_UPDATE);
  if (is_window(wnd)) notify_command(wnd, EN_CHANGE);
}

// A typed character that continues the run of typing keeps the undo step the run began with.
void remember_undo(EditData& d, bool typed) {
  if (typed && d.can_undo && d.anchor == d.caret && d.caret == d.typing_end) return;
  d.undo_text = d.text;
  d.undo_caret = d.caret;
  d.can_undo = true;
}

void delete_at(Wnd wnd, EditData& d, bool forward) {
  if (d.anchor == d.caret) {
    if (forward) {
      d.anchor = edit_next_pos(d, d.caret);
    } else {
      d.anchor = edit_prev_pos(d, d.caret);
    }
  }
  edit_replace_selection(wnd, d, std::u16string(), false);
}

// Where the word under a position starts and ends.
void word_at(const EditData& d, int pos, int* a, int* b) {
  const int n = int(d.text.size());
  *a = pos;
  *b = pos;
  while (*a > 0 && !is_blank(d.text[size_t(*a - 1)])) --*a;
  while (*b < n && !is_blank(d.text[size_t(*b)])) ++*b;
}

int vertical_target(Wnd wnd, EditData& d, int vk, int* goal) {
  const bool up = vk == VK_UP || vk == VK_PRIOR;
  if (!is_multiline(wnd)) return up ? edit_prev_pos(d, d.caret) : edit_next_pos(d, d.caret);
  const int line = edit_line_of(wnd, d, d.caret);
  if (*goal < 0) *goal = edit_x_of(wnd, d, d.caret);
  const int step = (vk == VK_UP || vk == VK_DOWN) ? 1 : edit_visible_lines(wnd, d);
  const int target = std::clamp(line + (up ? -step : step), 0, int(d.lines.size()) - 1);
  if (target == line) return d.caret;
  if (step > 1) edit_scroll_lines(wnd, d, target - line);
  return edit_pos_on_line(wnd, d, target, *goal);
}

}  // namespace

bool edit_replace_selection(Wnd wnd, EditData& d, std::u16string insert, bool typed) {
  const int lo = sel_low(d), hi = sel_high(d);
  const int room = std::max(0, d.limit - (int(d.text.size()) - (hi - lo)));
  bool cut = false;
  if (int(insert.size()) > room) {
    cut = true;
    size_t n = size_t(room);
    if (n > 0 && is_high(insert[n - 1])) --n;  // never half a surrogate pair
    insert.resize(n);
  }
  if (insert.empty() && lo == hi) {
    if (cut) notify_command(wnd, EN_MAXTEXT);
    return false;
  }
  remember_undo(d, typed);
  d.text.replace(size_t(lo), size_t(hi - lo), insert);
  d.anchor = d.caret = lo + int(insert.size());
  d.typing_end = typed ? d.caret : -1;
  d.modified = true;
  text_changed(wnd, d);
  raise_change(wnd);
  if (cut && is_window(wnd)) notify_command(wnd, EN_MAXTEXT);
  return true;
}

void edit_set_text(Wnd wnd, EditData& d, const std::u16string& text) {
  d.text = text;
  d.anchor = d.caret = 0;
  d.first_line = 0;
  d.x_offset = 0;
  d.modified = false;
  d.can_undo = false;
  d.typing_end = -1;
  text_changed(wnd, d);
  raise_change(wnd);
}

bool edit_undo(Wnd wnd, EditData& d) {
  if (!d.can_undo) return false;
  const int caret = d.caret;
  std::swap(d.text, d.undo_text);
  d.anchor = d.caret = std::clamp(d.undo_caret, 0, int(d.text.size()));
  d.undo_caret = caret;
  d.typing_end = -1;
  d.modified = true;
  text_changed(wnd, d);
  raise_change(wnd);
  return true;
}

void edit_set_selection(Wnd wnd, EditData& d, int anchor, int caret) {
  const int n = int(d.text.size());
  anchor = std::clamp(anchor, 0, n);
  caret = std::clamp(caret, 0, n);
  // Never inside a surrogate pair or a line break.
  if (caret > 0 && caret < n && edit_next_pos(d, edit_prev_pos(d, caret)) != caret) caret = edit_prev_pos(d, caret);
  if (anchor > 0 && anchor < n && edit_next_pos(d, edit_prev_pos(d, anchor)) != anchor)
    anchor = edit_prev_pos(d, anchor);
  d.goal_x = -1;
  if (d.anchor == anchor && d.caret == caret) return;
  d.anchor = anchor;
  d.caret = caret;
  d.typing_end = -1;
  edit_scroll_to_caret(wnd, d);
  invalidate_rect(wnd, nullptr, false);
}

LResult edit_on_char(Wnd wnd, EditData& d, char16_t ch) {
  const uint32_t style = edit_style(wnd);
  const bool ro = read_only(wnd), multi = style & ES_MULTILINE;
  switch (ch) {
    case 1: edit_set_selection(wnd, d, 0, int(d.text.size())); return 0;  // Ctrl+A
    case 0x1A: if (!ro) edit_undo(wnd, d); return 0;                      // Ctrl+Z
    case 8: if (!ro) delete_at(wnd, d, false); return 0;                  // Backspace
    case u'\r':
    case u'\n': if (multi && !ro) edit_replace_selection(wnd, d, u"\r\n", false); return 0;
    case u'\t': if (multi && !ro) edit_replace_selection(wnd, d, u"\t", true); return 0;
    default: break;
  }
  if (ch < 0x20 || ch == 0x7F || ro) return 0;
  if ((style & ES_NUMBER) && (ch < u'0' || ch > u'9')) return 0;
  if (style & ES_UPPERCASE) ch = to_upper(ch);
  else if (style & ES_LOWERCASE) ch = to_lower(ch);
  edit_replace_selection(wnd, d, std::u16string(1, ch), true);
  return 0;
}

LResult edit_on_key_down(Wnd wnd, EditData& d, int vk) {
  const bool shift = get_key_state(VK_SHIFT) < 0, ctrl = get_key_state(VK_CONTROL) < 0;
  const bool multi = is_multiline(wnd);
  const int lo = sel_low(d), hi = sel_high(d), n = int(d.text.size());
  int caret = d.caret, goal = d.goal_x;
  bool vertical = false;
  switch (vk) {
    case VK_LEFT:
      caret = (!shift && lo != hi) ? lo : ctrl ? edit_word_left(d, caret) : edit_prev_pos(d, caret);
      break;
    case VK_RIGHT:
      caret = (!shift && lo != hi) ? hi : ctrl ? edit_word_right(d, caret) : edit_next_pos(d, caret);
      break;
    case VK_HOME: caret = (ctrl || !multi) ? 0 : d.lines[size_t(edit_line_of(wnd, d, caret))].start; break;
    case VK_END: {
      if (ctrl || !multi) {
        caret = n;
        break;
      }
      const EditLine& l = d.lines[size_t(edit_line_of(wnd, d, caret))];
      caret = l.start + l.length;
      break;
    }
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
      caret = vertical_target(wnd, d, vk, &goal);
      vertical = multi;
      break;
    case VK_DELETE:
      if (!read_only(wnd)) delete_at(wnd, d, true);
      return 0;
    default: return 0;
  }
  edit_set_selection(wnd, d, shift ? d.anchor : caret, caret);
  if (vertical) d.goal_x = goal;
  return 0;
}

LResult edit_on_mouse(Wnd wnd, EditData& d, uint32_t msg, WParam wp, LParam lp) {
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (get_focus() != wnd) set_focus(wnd);
      if (!is_window(wnd)) return 0;
      const int pos = edit_pos_from_point(wnd, d, p);
      if (msg == WM_LBUTTONDBLCLK) {
        int a, b;
        word_at(d, pos, &a, &b);
        edit_set_selection(wnd, d, a, b);
        return 0;
      }
      edit_set_selection(wnd, d, (wp & MK_SHIFT) ? d.anchor : pos, pos);
      d.tracking = true;
      set_capture(wnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (d.tracking) edit_set_selection(wnd, d, d.anchor, edit_pos_from_point(wnd, d, p));
      return 0;
    case WM_LBUTTONUP:
      if (d.tracking) {
        d.tracking = false;
        release_capture();
      }
      return 0;
    case WM_CAPTURECHANGED: d.tracking = false; return 0;
    default: return 0;
  }
}

}  // namespace plat::ui_detail
