// Painting of the edit control: the parent's colours (WM_CTLCOLOREDIT, or
// WM_CTLCOLORSTATIC when read-only or disabled), the lines in view with the selection
// highlighted while the edit has the focus (or ES_NOHIDESEL), and the caret.
#include <algorithm>

#include "platform/ui/ctl_paint.h"
#include "platform/ui/ctl_edit_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

struct Colours {
  Brush brush = nullptr;  // the parent's; null: `back`
  Color back = 0, text = 0;
};

Colours ask_parent(Wnd wnd, Dc dc) {
  const bool enabled = is_window_enabled(wnd);
  const bool grey = !enabled || (edit_style(wnd) & ES_READONLY);
  set_text_color(dc, get_sys_color(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  set_bk_color(dc, get_sys_color(grey ? COLOR_BTNFACE : COLOR_WINDOW));
  Colours c;
  c.brush = ctl_color_brush(wnd, dc, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
  c.back = get_bk_color(dc);
  c.text = get_text_color(dc);
  return c;
}

// The characters [a, b) as shown (the password character in place of each).
std::u16string shown(const EditData& d, int a, int b) {
  if (!d.password) return d.text.substr(size_t(a), size_t(b - a));
  std::u16string s;
  for (int i = a; i < b; ++i)
    if (!(d.text[size_t(i)] >= 0xDC00 && d.text[size_t(i)] <= 0xDFFF)) s.push_back(d.password);
  return s;
}

// Draws [a, b) of the text at x on the baseline row y; returns the x after it.
int draw_run(Dc dc, EditData& d, int a, int b, int x, int y, const Colours& c, bool selected, int height) {
  if (a >= b) return x;
  int w = 0;
  for (int i = a; i < b; ++i) w += edit_char_width(d, i);
  if (selected) fill_solid(dc, Rect{x, y, x + w, y + height}, get_sys_color(COLOR_HIGHLIGHT));
  set_text_color(dc, selected ? get_sys_color(COLOR_HIGHLIGHTTEXT) : c.text);
  std::u16string s = shown(d, a, b);
  text_out(dc, x, y, s.c_str(), int(s.size()));
  return x + w;
}

void draw_line(Wnd wnd, Dc dc, EditData& d, int line, int y, const Rect& f, const Colours& c, bool show_sel) {
  const EditLine l = d.lines[size_t(line)];
  const int end = l.start + l.length;
  int lo = sel_low(d), hi = sel_high(d);
  if (!show_sel) lo = hi = end + 1;
  int x = f.left - d.x_offset + edit_line_left(wnd, d, line);
  const int a = std::clamp(lo, l.start, end), b = std::clamp(hi, l.start, end);
  x = draw_run(dc, d, l.start, a, x, y, c, false, d.line_height);
  x = draw_run(dc, d, a, b, x, y, c, true, d.line_height);
  draw_run(dc, d, b, end, x, y, c, false, d.line_height);
}

}  // namespace

void edit_paint(Wnd wnd, EditData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  const Colours c = ask_parent(wnd, dc);
  // The parent may have destroyed the edit while it chose its colours.
  if (!is_window(wnd)) {
    end_paint(wnd, &ps);
    return;
  }
  if (c.brush) {
    fill_rect(dc, rc, c.brush);
  } else {
    fill_solid(dc, rc, c.back);
  }
  edit_ensure_layout(wnd, d);
  const Rect f = edit_format_rect(wnd, d);
  intersect_clip_rect(dc, f.left, f.top, f.right, std::max(f.top + d.line_height, f.bottom));
  GdiObj old_font = select_object(dc, d.font ? d.font : ui_font());
  set_bk_mode(dc, TRANSPARENT);
  const bool show_sel = d.focused || (edit_style(wnd) & ES_NOHIDESEL);
  const int count = is_multiline(wnd) ? edit_visible_lines(wnd, d) + 1 : 1;
  const int first = is_multiline(wnd) ? d.first_line : 0;
  for (int i = 0; i < count && size_t(first + i) < d.lines.size(); ++i)
    draw_line(wnd, dc, d, first + i, f.top + i * d.line_height, f, c, show_sel);
  if (d.focused) {
    const int line = edit_line_of(wnd, d, d.caret);
    if (line >= first && line < first + count) {
      const int x = f.left - d.x_offset + edit_x_of(wnd, d, d.caret);
      const int y = f.top + (line - first) * d.line_height;
      fill_solid(dc, Rect{x, y, x + 1, y + d.line_height}, c.text);
    }
  }
  select_object(dc, old_font);
  end_paint(wnd, &ps);
}

}  // namespace plat::ui_detail
