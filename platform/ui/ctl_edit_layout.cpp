// The edit control's layout: character widths (measured once per character on the
// edit's own memory context; the drawing layer does not kern, so widths add up to the
// width of a run), lines (hard breaks, and word wrap for a multi-line edit without
// ES_AUTOHSCROLL), positions and points, and the scrolling that keeps the caret shown.
#include <algorithm>

#include "platform/ui/ctl_edit_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/scrollbar.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

constexpr int kMarginX = 2;

bool is_high(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool wraps(Wnd wnd) {
  const uint32_t s = edit_style(wnd);
  return (s & ES_MULTILINE) && !(s & ES_AUTOHSCROLL) && !(s & WS_HSCROLL);
}

// Cuts [a, end) into lines no wider than `avail`, after blanks where it can; a word
// wider than the line is cut where it overflows.
void wrap_into(EditData& d, int a, int end, int avail) {
  int start = a;
  for (;;) {
    int w = 0, last_break = -1, i = start;
    for (; i < end; ++i) {
      const int cw = edit_char_width(d, i);
      if (w + cw > avail && i > start && !is_low(d.text[size_t(i)])) break;
      w += cw;
      if (d.text[size_t(i)] == u' ' || d.text[size_t(i)] == u'\t') last_break = i + 1;
    }
    if (i >= end) {
      d.lines.push_back(EditLine{start, end - start});
      return;
    }
    const int cut = last_break > start ? last_break : i;
    d.lines.push_back(EditLine{start, cut - start});
    start = cut;
  }
}

}  // namespace

void edit_set_font(Wnd wnd, EditData& d, Font font) {
  d.font = font;
  if (!d.measure) d.measure = create_compatible_dc(nullptr);
  select_object(d.measure, font ? font : ui_font());
  d.widths.clear();
  TextMetrics tm;
  d.line_height = get_text_metrics(d.measure, &tm) && tm.height > 0 ? tm.height : 13;
  edit_invalidate_layout(d);
}

Rect edit_format_rect(Wnd wnd, const EditData& d) {
  Rect rc;
  get_client_rect(wnd, &rc);
  Rect r{rc.left + kMarginX, rc.top + 1, std::max(rc.left + kMarginX, rc.right - kMarginX), rc.bottom - 1};
  if (!is_multiline(wnd)) {
    // One line, centred in the height.
    r.top = rc.top + std::max(0, (rc.height() - d.line_height) / 2);
    r.bottom = r.top + d.line_height;
  }
  return r;
}

void edit_invalidate_layout(EditData& d) { d.layout_valid = false; }

void edit_ensure_layout(Wnd wnd, EditData& d) {
  if (d.layout_valid) return;
  d.lines.clear();
  const int n = int(d.text.size());
  if (!is_multiline(wnd)) {
    d.lines.push_back(EditLine{0, n});
    d.layout_valid = true;
    return;
  }
  const bool wrap = wraps(wnd);
  const int avail = std::max(1, edit_format_rect(wnd, d).width());
  int a = 0;
  for (;;) {
    int b = a;
    while (b < n && d.text[size_t(b)] != u'\n') ++b;
    const int end = (b > a && d.text[size_t(b - 1)] == u'\r') ? b - 1 : b;
    if (wrap) {
      wrap_into(d, a, end, avail);
    } else {
      d.lines.push_back(EditLine{a, end - a});
    }
    if (b >= n) break;
    a = b + 1;
  }
  d.layout_valid = true;
}

int edit_char_width(EditData& d, int pos) {
  if (pos < 0 || size_t(pos) >= d.text.size()) return 0;
  const char16_t c = d.text[size_t(pos)];
  if (is_low(c) && pos > 0 && is_high(d.text[size_t(pos - 1)])) return 0;  // counted with its first half
  char32_t cp = c;
  if (is_high(c) && size_t(pos + 1) < d.text.size() && is_low(d.text[size_t(pos + 1)]))
    cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(d.text[size_t(pos + 1)]) - 0xDC00);
  if (d.password) cp = d.password;
  auto it = d.widths.find(cp);
  if (it != d.widths.end()) return it->second;
  char16_t buf[2];
  int n = 1;
  if (cp >= 0x10000) {
    buf[0] = char16_t(0xD800 + ((cp - 0x10000) >> 10));
    buf[1] = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    n = 2;
  } else {
    buf[0] = char16_t(cp);
  }
  Size sz;
  const int w = get_text_extent_point(d.measure, buf, n, &sz) ? sz.cx : 0;
  d.widths[cp] = w;
  return w;
}

int edit_line_width(EditData& d, const EditLine& line) {
  int w = 0;
  for (int i = line.start; i < line.start + line.length; ++i) w += edit_char_width(d, i);
  return w;
}

int edit_line_of(Wnd wnd, EditData& d, int pos) {
  edit_ensure_layout(wnd, d);
  auto it = std::upper_bound(d.lines.begin(), d.lines.end(), pos,
                             [](int p, const EditLine& l) { return p < l.start; });
  return it == d.lines.begin() ? 0 : int(it - d.lines.begin()) - 1;
}

int edit_line_left(Wnd wnd, EditData& d, int line) {
  edit_ensure_layout(wnd, d);
  if (line < 0 || size_t(line) >= d.lines.size()) return 0;
  const uint32_t align = edit_style(wnd) & (ES_CENTER | ES_RIGHT);
  if (align == ES_LEFT) return 0;
  const int room = edit_format_rect(wnd, d).width() - edit_line_width(d, d.lines[size_t(line)]);
  if (room <= 0) return 0;
  return align == ES_CENTER ? room / 2 : room;
}

int edit_x_of(Wnd wnd, EditData& d, int pos) {
  const int line = edit_line_of(wnd, d, pos);
  const EditLine& l = d.lines[size_t(line)];
  int x = edit_line_left(wnd, d, line);
  for (int i = l.start; i < pos && i < l.start + l.length; ++i) x += edit_char_width(d, i);
  return x;
}

int edit_pos_on_line(Wnd wnd, EditData& d, int line, int x) {
  edit_ensure_layout(wnd, d);
  line = std::clamp(line, 0, int(d.lines.size()) - 1);
  const EditLine l = d.lines[size_t(line)];
  int cur = edit_line_left(wnd, d, line);
  int pos = l.start;
  const int end = l.start + l.length;
  while (pos < end) {
    const int next = std::min(end, edit_next_pos(d, pos));
    int w = 0;
    for (int i = pos; i < next; ++i) w += edit_char_width(d, i);
    if (x < cur + w / 2) return pos;
    cur += w;
    pos = next;
  }
  return end;
}

int edit_pos_from_point(Wnd wnd, EditData& d, Point client) {
  edit_ensure_layout(wnd, d);
  const Rect f = edit_format_rect(wnd, d);
  int line = 0;
  if (is_multiline(wnd)) {
    const int dy = client.y - f.top;
    line = d.first_line + (dy < 0 ? -1 : dy / std::max(1, d.line_height));
  }
  return edit_pos_on_line(wnd, d, line, client.x - f.left + d.x_offset);
}

int edit_visible_lines(Wnd wnd, const EditData& d) {
  if (!is_multiline(wnd)) return 1;
  return std::max(1, edit_format_rect(wnd, d).height() / std::max(1, d.line_height));
}

void edit_update_scroll_bar(Wnd wnd, EditData& d) {
  if (!(edit_style(wnd) & WS_VSCROLL)) return;
  edit_ensure_layout(wnd, d);
  ScrollInfo si;
  si.mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.min = 0;
  si.max = std::max(0, int(d.lines.size()) - 1);
  si.page = unsigned(edit_visible_lines(wnd, d));
  si.pos = d.first_line;
  ScrollInfo now;
  now.mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (get_scroll_info(wnd, SB_VERT, &now) && now.min == si.min && now.max == si.max && now.page == si.page &&
      now.pos == si.pos)
    return;
  set_scroll_info(wnd, SB_VERT, &si, true);
}

int edit_scroll_lines(Wnd wnd, EditData& d, int delta) {
  edit_ensure_layout(wnd, d);
  const int old = d.first_line;
  const int top = std::max(0, int(d.lines.size()) - edit_visible_lines(wnd, d));
  d.first_line = std::clamp(d.first_line + delta, 0, top);
  if (d.first_line != old) invalidate_rect(wnd, nullptr, false);
  edit_update_scroll_bar(wnd, d);
  return d.first_line - old;
}

void edit_scroll_to_caret(Wnd wnd, EditData& d) {
  edit_ensure_layout(wnd, d);
  const Rect f = edit_format_rect(wnd, d);
  const int old_first = d.first_line, old_x = d.x_offset;
  const int line = edit_line_of(wnd, d, d.caret);
  if (is_multiline(wnd)) {
    const int vis = edit_visible_lines(wnd, d);
    if (line < d.first_line) d.first_line = line;
    if (line >= d.first_line + vis) d.first_line = line - vis + 1;
    d.first_line = std::clamp(d.first_line, 0, std::max(0, int(d.lines.size()) - vis));
  }
  if (wraps(wnd)) {
    d.x_offset = 0;
  } else {
    const int w = std::max(1, f.width());
    const int cx = edit_x_of(wnd, d, d.caret);
    if (cx - d.x_offset > w - 1) d.x_offset = cx - w + 1 + w / 4;
    if (cx < d.x_offset) d.x_offset = std::max(0, cx - w / 4);
    const EditLine& l = d.lines[size_t(line)];
    const int total = edit_line_left(wnd, d, line) + edit_line_width(d, l);
    d.x_offset = std::clamp(d.x_offset, 0, std::max(0, std::max(total - w + 1, cx - w + 1)));
  }
  if (d.first_line != old_first || d.x_offset != old_x) invalidate_rect(wnd, nullptr, false);
  edit_update_scroll_bar(wnd, d);
}

int edit_prev_pos(const EditData& d, int pos) {
  if (pos <= 0) return 0;
  const auto& t = d.text;
  if (pos >= 2 && t[size_t(pos - 1)] == u'\n' && t[size_t(pos - 2)] == u'\r') return pos - 2;
  if (pos >= 2 && is_low(t[size_t(pos - 1)]) && is_high(t[size_t(pos - 2)])) return pos - 2;
  return pos - 1;
}

int edit_next_pos(const EditData& d, int pos) {
  const int n = int(d.text.size());
  if (pos >= n) return n;
  const auto& t = d.text;
  if (pos + 1 < n && t[size_t(pos)] == u'\r' && t[size_t(pos + 1)] == u'\n') return pos + 2;
  if (pos + 1 < n && is_high(t[size_t(pos)]) && is_low(t[size_t(pos + 1)])) return pos + 2;
  return pos + 1;
}

int edit_word_left(const EditData& d, int pos) {
  while (pos > 0 && is_blank(d.text[size_t(pos - 1)])) --pos;
  while (pos > 0 && !is_blank(d.text[size_t(pos - 1)])) --pos;
  return pos;
}

int edit_word_right(const EditData& d, int pos) {
  const int n = int(d.text.size());
  while (pos < n && !is_blank(d.text[size_t(pos)])) ++pos;
  while (pos < n && is_blank(d.text[size_t(pos)])) ++pos;
  return pos;
}

}  // namespace plat::ui_detail
