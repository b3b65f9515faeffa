// The edit control's window procedure: its record's life, the text messages (the edit
// keeps its own text), the focus, and the EM_* messages, one small routine each.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_edit_state.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/scrollbar.h"

namespace plat {

namespace ui_detail {

EditData::~EditData() {
  if (!measure) return;
  select_object(measure, get_stock_object(SYSTEM_FONT));
  delete_dc(measure);
}

}  // namespace ui_detail

using namespace ui_detail;

namespace {

constexpr int kLargestLimit = 0x7FFFFFFE;

void set_up(Wnd wnd, EditData& d, const CreateStruct* cs) {
  if (cs && cs->name) d.text = cs->name;
  if (cs && (cs->style & ES_PASSWORD) && !(cs->style & ES_MULTILINE)) d.password = u'*';
  edit_set_font(wnd, d, nullptr);
}

LResult get_text(const EditData& d, WParam size, LParam lp) {
  auto* buf = reinterpret_cast<char16_t*>(lp);
  if (!buf || size == 0) return 0;
  const size_t n = std::min(d.text.size(), size_t(size) - 1);
  std::memcpy(buf, d.text.data(), n * sizeof(char16_t));
  buf[n] = 0;
  return LResult(n);
}

LResult on_focus(Wnd wnd, EditData& d, bool gained) {
  d.focused = gained;
  if (!gained && d.tracking) {
    d.tracking = false;
    release_capture();
  }
  invalidate_rect(wnd, nullptr, false);
  notify_command(wnd, gained ? EN_SETFOCUS : EN_KILLFOCUS);
  return 0;
}

LResult dialog_code(Wnd wnd, LParam lp) {
  LResult code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
  const auto* m = reinterpret_cast<const Msg*>(lp);
  const uint32_t style = edit_style(wnd);
  if (m && m->message == WM_KEYDOWN && int(m->wparam) == VK_RETURN && (style & ES_MULTILINE) &&
      (style & ES_WANTRETURN))
    code |= DLGC_WANTALLKEYS;
  return code;
}

LResult get_sel(const EditData& d, WParam wp, LParam lp) {
  const int lo = sel_low(d), hi = sel_high(d);
  if (auto* p = reinterpret_cast<uint32_t*>(wp)) *p = uint32_t(lo);
  if (auto* p = reinterpret_cast<uint32_t*>(lp)) *p = uint32_t(hi);
  return LResult(uint32_t(std::min(lo, 0xFFFF)) | (uint32_t(std::min(hi, 0xFFFF)) << 16));
}

LResult set_sel(Wnd wnd, EditData& d, WParam wp, LParam lp) {
  const intptr_t start = intptr_t(wp), end = intptr_t(lp);
  const int n = int(d.text.size());
  if (start == -1 || int32_t(start) == -1) {
    edit_set_selection(wnd, d, d.caret, d.caret);
    return 0;
  }
  const int s = int(std::clamp<intptr_t>(start, 0, n));
  const int e = (end < 0 || int32_t(end) == -1) ? n : int(std::clamp<intptr_t>(end, 0, n));
  edit_set_selection(wnd, d, s, e);
  return 0;
}

LResult line_index(Wnd wnd, EditData& d, WParam wp) {
  edit_ensure_layout(wnd, d);
  const intptr_t line = intptr_t(wp) == -1 || int32_t(wp) == -1 ? edit_line_of(wnd, d, d.caret) : intptr_t(wp);
  if (line < 0 || size_t(line) >= d.lines.size()) return -1;
  return d.lines[size_t(line)].start;
}

LResult line_from_char(Wnd wnd, EditData& d, WParam wp) {
  const intptr_t pos = intptr_t(wp);
  return edit_line_of(wnd, d, pos < 0 || int32_t(wp) == -1 ? d.caret : int(std::min<intptr_t>(pos, INT_MAX)));
}

LResult line_length(Wnd wnd, EditData& d, WParam wp) {
  const intptr_t pos = intptr_t(wp);
  const int line = edit_line_of(wnd, d, pos < 0 || int32_t(wp) == -1 ? d.caret : int(std::min<intptr_t>(pos, INT_MAX)));
  return d.lines[size_t(line)].length;
}

LResult get_line(Wnd wnd, EditData& d, WParam wp, LParam lp) {
  auto* buf = reinterpret_cast<char16_t*>(lp);
  if (!buf) return 0;
  edit_ensure_layout(wnd, d);
  const size_t line = is_multiline(wnd) ? size_t(wp) : 0;
  if (line >= d.lines.size()) return 0;
  const size_t room = size_t(buf[0]);  // the caller's room, in the buffer's first unit
  const EditLine& l = d.lines[line];
  const size_t n = std::min(room, size_t(l.length));
  std::memcpy(buf, d.text.data() + l.start, n * sizeof(char16_t));
  return LResult(n);
}

LResult set_read_only(Wnd wnd, WParam wp) {
  const uint32_t style = edit_style(wnd);
  set_window_long(wnd, GWL_STYLE, intptr_t(wp ? (style | ES_READONLY) : (style & ~ES_READONLY)));
  invalidate_rect(wnd, nullptr, false);
  return 1;
}

LResult scroll(Wnd wnd, EditData& d, unsigned code) {
  const int page = edit_visible_lines(wnd, d);
  int delta = 0;
  switch (code) {
    case SB_LINEUP: delta = -1; break;
    case SB_LINEDOWN: delta = 1; break;
    case SB_PAGEUP: delta = -page; break;
    case SB_PAGEDOWN: delta = page; break;
    default: return 0;
  }
  const int moved = is_multiline(wnd) ? edit_scroll_lines(wnd, d, delta) : 0;
  return LResult((uint32_t(moved) & 0xFFFFu) | (1u << 16));
}

LResult on_vscroll(Wnd wnd, EditData& d, WParam wp) {
  const unsigned code = loword(wp);
  edit_ensure_layout(wnd, d);
  switch (code) {
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: edit_scroll_lines(wnd, d, int(hiword(wp)) - d.first_line); break;
    case SB_TOP: edit_scroll_lines(wnd, d, -d.first_line); break;
    case SB_BOTTOM: edit_scroll_lines(wnd, d, int(d.lines.size())); break;
    case SB_ENDSCROLL: return 0;
    default: scroll(wnd, d, code); break;
  }
  notify_command(wnd, EN_VSCROLL);
  return 0;
}

LResult line_scroll(Wnd wnd, EditData& d, WParam wp, LParam lp) {
  if (!is_multiline(wnd)) return 0;
  edit_scroll_lines(wnd, d, int(lp));
  if (!(edit_style(wnd) & (ES_AUTOHSCROLL | WS_HSCROLL))) return 1;  // wrapped: nothing sideways
  TextMetrics tm;
  const int step = get_text_metrics(d.measure, &tm) && tm.ave_char_width > 0 ? tm.ave_char_width : 6;
  d.x_offset = std::max(0, d.x_offset + int(intptr_t(wp)) * step);
  invalidate_rect(wnd, nullptr, false);
  return 1;
}

LResult first_visible(Wnd wnd, EditData& d) {
  if (is_multiline(wnd)) return d.first_line;
  // A single-line edit answers with its first character in view.
  int x = 0, pos = 0;
  while (pos < int(d.text.size()) && x + edit_char_width(d, pos) <= d.x_offset) x += edit_char_width(d, pos++);
  return pos;
}

LResult edit_message(Wnd wnd, EditData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case EM_GETSEL: return get_sel(d, wp, lp);
    case EM_SETSEL: return set_sel(wnd, d, wp, lp);
    case EM_GETRECT:
      if (auto* r = reinterpret_cast<Rect*>(lp)) *r = edit_format_rect(wnd, d);
      return 0;
    case EM_SCROLL: return scroll(wnd, d, unsigned(wp));
    case EM_LINESCROLL: return line_scroll(wnd, d, wp, lp);
    case EM_SCROLLCARET: edit_scroll_to_caret(wnd, d); return 1;
    case EM_GETMODIFY: return d.modified ? 1 : 0;
    case EM_SETMODIFY: d.modified = wp != 0; return 0;
    case EM_GETLINECOUNT: edit_ensure_layout(wnd, d); return LResult(d.lines.size());
    case EM_LINEINDEX: return line_index(wnd, d, wp);
    case EM_LINELENGTH: return line_length(wnd, d, wp);
    case EM_REPLACESEL:
      edit_replace_selection(wnd, d, lp ? std::u16string(reinterpret_cast<const char16_t*>(lp)) : std::u16string(),
                             false);
      return 0;
    case EM_GETLINE: return get_line(wnd, d, wp, lp);
    case EM_LIMITTEXT:
      d.limit = wp == 0 || wp > WParam(kLargestLimit) ? kLargestLimit : int(wp);
      return 0;
    case EM_GETLIMITTEXT: return d.limit;
    case EM_CANUNDO: return d.can_undo ? 1 : 0;
    case EM_UNDO: return edit_undo(wnd, d) ? 1 : 0;
    case EM_EMPTYUNDOBUFFER: d.can_undo = false; return 0;
    case EM_LINEFROMCHAR: return line_from_char(wnd, d, wp);
    case EM_SETPASSWORDCHAR:
      if (is_multiline(wnd)) return 0;
      d.password = char16_t(wp);
      d.widths.clear();
      edit_invalidate_layout(d);
      invalidate_rect(wnd, nullptr, false);
      return 0;
    case EM_GETPASSWORDCHAR: return d.password;
    case EM_GETFIRSTVISIBLELINE: return first_visible(wnd, d);
    case EM_SETREADONLY: return set_read_only(wnd, wp);
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, EditData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: edit_paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the client area
    case WM_SETTEXT: {
      const auto* t = reinterpret_cast<const char16_t*>(lp);
      def_window_proc(wnd, msg, wp, lp);  // the window's title follows, for what reads it there
      edit_set_text(wnd, d, t ? std::u16string(t) : std::u16string());
      return 1;
    }
    case WM_GETTEXT: return get_text(d, wp, lp);
    case WM_GETTEXTLENGTH: return LResult(d.text.size());
    case WM_SETFONT:
      edit_set_font(wnd, d, reinterpret_cast<Font>(wp));
      edit_scroll_to_caret(wnd, d);
      if (lp) invalidate_rect(wnd, nullptr, false);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_SIZE:
      edit_invalidate_layout(d);
      edit_scroll_to_caret(wnd, d);
      invalidate_rect(wnd, nullptr, false);
      return 0;
    case WM_ENABLE: invalidate_rect(wnd, nullptr, false); return 0;
    case WM_SETFOCUS: return on_focus(wnd, d, true);
    case WM_KILLFOCUS: return on_focus(wnd, d, false);
    case WM_GETDLGCODE: return dialog_code(wnd, lp);
    case WM_CHAR: return edit_on_char(wnd, d, char16_t(wp));
    case WM_KEYDOWN: return edit_on_key_down(wnd, d, int(wp));
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: return edit_on_mouse(wnd, d, msg, wp, lp);
    case WM_VSCROLL: return on_vscroll(wnd, d, wp);
    case WM_MOUSEWHEEL:
      if (!is_multiline(wnd)) return def_window_proc(wnd, msg, wp, lp);
      edit_scroll_lines(wnd, d, -3 * int(int16_t(hiword(wp))) / WHEEL_DELTA);
      return 0;
    default: return edit_message(wnd, d, msg, wp, lp);
  }
}

}  // namespace

void register_edit_control() {
  register_control_class(kEditClass, control_proc<EditData, window_message, set_up>, CS_DBLCLKS, IDC_IBEAM);
}

}  // namespace plat
