// The toolbar's layout, its buttons under the user's clicks, and the timing of its
// tooltips. A press captures the mouse; the button works when the release is over it.
// The mouse resting on a button starts the hover timer; a watch timer, running while
// the mouse is over a button, notices when the cursor leaves (the window system sends
// no message for that) and ends a tip that has shown long enough.
#include <algorithm>

#include "platform/sys/clock.h"
#include "platform/ui/ctl_toolbar_state.h"
#include "platform/ui/input.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/timer.h"

namespace plat::ui_detail {

namespace {

constexpr size_t kMaxTipText = 1024;

bool vertical(Wnd wnd) { return toolbar_style(wnd) & CCS_VERT; }

bool usable(const ToolbarData& d, int i) {
  return i >= 0 && size_t(i) < d.buttons.size() && !is_separator(d.buttons[size_t(i)]) &&
         (d.buttons[size_t(i)].state & TBSTATE_ENABLED) && !(d.buttons[size_t(i)].state & TBSTATE_HIDDEN);
}

// The run of check-group buttons around `index`.
std::pair<size_t, size_t> check_group(const ToolbarData& d, size_t index) {
  auto in_group = [&](size_t i) { return (d.buttons[i].style & TBSTYLE_CHECKGROUP) == TBSTYLE_CHECKGROUP; };
  size_t lo = index, hi = index;
  while (lo > 0 && in_group(lo - 1)) --lo;
  while (hi + 1 < d.buttons.size() && in_group(hi + 1)) ++hi;
  return {lo, hi};
}

// The button under the cursor as it is now (the tip follows the real cursor).
bool cursor_over(Wnd wnd, const ToolbarData& d, int index) {
  Point screen;
  if (index < 0 || !get_cursor_pos(&screen) || window_from_point(screen) != wnd) return false;
  Point p = screen;
  screen_to_client(wnd, &p);
  return toolbar_button_at(wnd, d, p) == index;
}

void stop_timers(Wnd wnd) {
  kill_timer(wnd, kTbHoverTimer);
  kill_timer(wnd, kTbWatchTimer);
}

std::u16string bounded(const char16_t* s, size_t limit) {
  std::u16string out;
  for (size_t i = 0; s && i < limit && s[i]; ++i) out.push_back(s[i]);
  return out;
}

// Asks the parent for a button's tip; the button's own string when it gives none.
std::u16string tip_text(Wnd wnd, int index) {
  ToolbarData* d = toolbar_data(wnd);
  const TbButtonData b = d->buttons[size_t(index)];
  NmTtDispInfo nm;
  nm.hdr.hwnd_from = d->tip;
  nm.hdr.id_from = uintptr_t(intptr_t(b.command));
  nm.hdr.code = TTN_GETDISPINFO;
  nm.param = LParam(b.data);
  send_message(get_parent(wnd), WM_NOTIFY, WParam(nm.hdr.id_from), LParam(reinterpret_cast<intptr_t>(&nm)));
  std::u16string text;
  if (nm.text && nm.text != nm.sz_text) {
    text = bounded(nm.text, kMaxTipText);
  } else {
    text = bounded(nm.sz_text, sizeof nm.sz_text / sizeof nm.sz_text[0]);
  }
  return text.empty() ? b.text : text;
}

void show_tip(Wnd wnd, int index) {
  const std::u16string text = tip_text(wnd, index);
  if (!is_window(wnd)) return;
  ToolbarData* d = toolbar_data(wnd);
  d->tip_done = true;
  if (text.empty() || !d->tip || !is_window(d->tip) || d->hover != index) return;
  Point at;
  get_cursor_pos(&at);
  set_window_text_w(d->tip, text.c_str());
  set_window_pos(d->tip, HWND_TOPMOST, at.x, at.y + 20, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  show_window(d->tip, SW_SHOWNOACTIVATE);
  d->shown_at = now_ms();
}

void hover_on(Wnd wnd, ToolbarData& d, int index) {
  if (index == d.hover) return;
  toolbar_hide_tip(wnd, d);
  d.hover = index;
  d.tip_done = false;
  if (index < 0 || !(toolbar_style(wnd) & TBSTYLE_TOOLTIPS)) {
    stop_timers(wnd);
    return;
  }
  set_timer(wnd, kTbHoverTimer, kTooltipDelayMs, nullptr);
  set_timer(wnd, kTbWatchTimer, kTbWatchMs, nullptr);
}

void press(Wnd wnd, ToolbarData& d, Point p) {
  toolbar_hide_tip(wnd, d);
  d.tip_done = true;
  const int i = toolbar_button_at(wnd, d, p);
  if (!usable(d, i)) return;
  d.pressed = i;
  d.tracking = true;
  d.buttons[size_t(i)].state |= TBSTATE_PRESSED;
  set_capture(wnd);
  invalidate_rect(wnd, nullptr, true);
}

void end_press(Wnd wnd, ToolbarData& d) {
  if (d.pressed >= 0 && size_t(d.pressed) < d.buttons.size())
    d.buttons[size_t(d.pressed)].state &= uint8_t(~TBSTATE_PRESSED);
  d.pressed = -1;
  d.tracking = false;
  invalidate_rect(wnd, nullptr, true);
}

// The release: a check button toggles (a group button is checked), then the command goes.
void release(Wnd wnd, ToolbarData& d, Point p) {
  const int i = d.pressed;
  const bool over = i >= 0 && toolbar_button_at(wnd, d, p) == i && usable(d, i);
  d.tracking = false;  // before the release, whose WM_CAPTURECHANGED must not end it twice
  release_capture();
  end_press(wnd, d);
  if (!over) return;
  TbButtonData& b = d.buttons[size_t(i)];
  if ((b.style & TBSTYLE_CHECKGROUP) == TBSTYLE_CHECKGROUP) {
    toolbar_set_checked(d, i, true);
  } else if (b.style & TBSTYLE_CHECK) {
    toolbar_set_checked(d, i, !(b.state & TBSTATE_CHECKED));
  }
  send_message(get_parent(wnd), WM_COMMAND, make_wparam(b.command, 0), LParam(reinterpret_cast<intptr_t>(wnd)));
}

}  // namespace

Size toolbar_button_size(const ToolbarData& d) {
  return Size{std::max(d.button_asked.cx, d.bitmap.cx + 7), std::max(d.button_asked.cy, d.bitmap.cy + 7)};
}

std::vector<Rect> toolbar_layout(Wnd wnd, const ToolbarData& d) {
  const Size s = toolbar_button_size(d);
  const bool down = vertical(wnd);
  std::vector<Rect> out;
  int x = kTbMargin, y = kTbMargin;
  for (const TbButtonData& b : d.buttons) {
    if (b.state & TBSTATE_HIDDEN) {
      out.push_back(Rect{});
      continue;
    }
    const int along = is_separator(b) ? (b.image > 0 ? b.image : kTbSeparator) : (down ? s.cy : s.cx);
    const Rect r = down ? Rect{x, y, x + s.cx, y + along} : Rect{x, y, x + along, y + s.cy};
    out.push_back(r);
    (down ? y : x) += along;
  }
  return out;
}

int toolbar_button_at(Wnd wnd, const ToolbarData& d, Point p) {
  const std::vector<Rect> rects = toolbar_layout(wnd, d);
  for (size_t i = 0; i < rects.size(); ++i)
    if (rects[i].contains(p) && !is_separator(d.buttons[i])) return int(i);
  return -1;
}

void toolbar_autosize(Wnd wnd, const ToolbarData& d) {
  const uint32_t style = toolbar_style(wnd);
  const Size s = toolbar_button_size(d);
  Rect wr, pc{};
  get_window_rect(wnd, &wr);
  Point at{wr.left, wr.top};
  if (Wnd parent = get_parent(wnd)) {
    screen_to_client(parent, &at);
    get_client_rect(parent, &pc);
  }
  int extent = 0;  // along the bar, the buttons' reach
  for (const Rect& r : toolbar_layout(wnd, d)) extent = std::max(extent, vertical(wnd) ? r.bottom : r.right);
  extent += kTbMargin;
  const bool keep_size = style & CCS_NORESIZE, keep_place = style & (CCS_NORESIZE | CCS_NOPARENTALIGN);
  int w, h;
  if (vertical(wnd)) {
    w = s.cx + 2 * kTbMargin;
    h = keep_size && wr.height() > 0 ? wr.height() : std::max(extent, pc.height());
  } else {
    h = s.cy + 2 * kTbMargin;
    w = keep_size && wr.width() > 0 ? wr.width() : std::max(extent, pc.width());
  }
  if (!keep_place) at = Point{0, (style & 3u) == CCS_BOTTOM && !vertical(wnd) ? pc.bottom - h : 0};
  set_window_pos(wnd, nullptr, at.x, at.y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void toolbar_set_checked(ToolbarData& d, int index, bool checked) {
  TbButtonData& b = d.buttons[size_t(index)];
  b.state = checked ? uint8_t(b.state | TBSTATE_CHECKED) : uint8_t(b.state & ~TBSTATE_CHECKED);
  if (!checked || (b.style & TBSTYLE_CHECKGROUP) != TBSTYLE_CHECKGROUP) return;
  const auto [lo, hi] = check_group(d, size_t(index));
  for (size_t i = lo; i <= hi; ++i)
    if (int(i) != index) d.buttons[i].state &= uint8_t(~TBSTATE_CHECKED);
}

void toolbar_hide_tip(Wnd wnd, ToolbarData& d) {
  (void)wnd;
  if (d.tip && is_window(d.tip) && is_window_visible(d.tip)) show_window(d.tip, SW_HIDE);
}

LResult toolbar_on_mouse(Wnd wnd, uint32_t msg, LParam lp) {
  ToolbarData* d = toolbar_data(wnd);
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  switch (msg) {
    case WM_MOUSEMOVE:
      if (d->tracking && d->pressed >= 0) {
        uint8_t& st = d->buttons[size_t(d->pressed)].state;
        const bool over = toolbar_button_at(wnd, *d, p) == d->pressed;
        const uint8_t now = over ? uint8_t(st | TBSTATE_PRESSED) : uint8_t(st & ~TBSTATE_PRESSED);
        if (now != st) invalidate_rect(wnd, nullptr, true);
        st = now;
        return 0;
      }
      hover_on(wnd, *d, toolbar_button_at(wnd, *d, p));
      return 0;
    case WM_LBUTTONDOWN: press(wnd, *d, p); return 0;
    case WM_LBUTTONUP:
      if (d->tracking) release(wnd, *d, p);
      return 0;
    case WM_CAPTURECHANGED:
      if (d->tracking) end_press(wnd, *d);
      return 0;
    default: return 0;
  }
}

void toolbar_on_timer(Wnd wnd, uintptr_t id) {
  ToolbarData* d = toolbar_data(wnd);
  if (id == kTbHoverTimer) {
    kill_timer(wnd, kTbHoverTimer);
    if (!d->tip_done && cursor_over(wnd, *d, d->hover)) show_tip(wnd, d->hover);
    return;
  }
  if (id != kTbWatchTimer) return;
  if (!cursor_over(wnd, *d, d->hover)) {
    toolbar_hide_tip(wnd, *d);
    d->hover = -1;
    stop_timers(wnd);
  } else if (d->tip && is_window_visible(d->tip) && now_ms() - d->shown_at >= kTooltipShowMs) {
    toolbar_hide_tip(wnd, *d);
  }
}

}  // namespace plat::ui_detail
