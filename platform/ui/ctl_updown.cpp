// The up-down control: range and position, the buddy window (its text with
// UDS_SETBUDDYINT, its arrow keys with UDS_ARROWKEYS through a subclass of its
// procedure, its place with UDS_ALIGNLEFT / UDS_ALIGNRIGHT), the steps the user makes
// with the arrows and what they tell the parent, and the plain painting of the arrows.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/timer.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kDefaultWidth = 16;
constexpr uintptr_t kRepeatTimer = 1;
constexpr uint32_t kFirstRepeatMs = 400, kRepeatMs = 100;

struct UpDownData {
  int lower = 100, upper = 0, pos = 0;
  Wnd buddy = nullptr;
  int held = 0;  // the arrow the mouse holds down: +1 up (right), -1 down (left), 0 none
};

// A buddy whose procedure we replaced, for its arrow keys.
struct BuddyLink {
  WndProc old = nullptr;
  Wnd updown = nullptr;
};

std::map<Wnd, BuddyLink>& links() {
  static std::map<Wnd, BuddyLink> m;
  return m;
}

UpDownData* data_of(Wnd wnd) { return control_state_of<UpDownData>(wnd); }
uint32_t style_of(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }
bool horizontal(Wnd wnd) { return style_of(wnd) & UDS_HORZ; }

int clamp_pos(const UpDownData& d, int v) {
  return std::clamp(v, std::min(d.lower, d.upper), std::max(d.lower, d.upper));
}

std::u16string format_int(int v, bool thousands) {
  const std::string digits = std::to_string(v < 0 ? -int64_t(v) : int64_t(v));
  std::u16string out;
  if (v < 0) out.push_back(u'-');
  for (size_t i = 0; i < digits.size(); ++i) {
    if (thousands && i > 0 && (digits.size() - i) % 3 == 0) out.push_back(u',');
    out.push_back(char16_t(digits[i]));
  }
  return out;
}

// A decimal number, blanks and thousands separators allowed; false when it is none.
bool parse_int(const std::u16string& text, int* out) {
  int64_t v = 0;
  bool negative = false, any = false;
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u',' || c == u' ') continue;
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
    if (v > int64_t(0x80000000LL)) return false;
    any = true;
  }
  if (negative) v = -v;
  if (!any || v > INT32_MAX || v < INT32_MIN) return false;
  *out = int(v);
  return true;
}

bool read_buddy(Wnd wnd, const UpDownData& d, int* out) {
  if (!(style_of(wnd) & UDS_SETBUDDYINT) || !is_window(d.buddy)) return false;
  return parse_int(window_text_w(d.buddy), out);
}

void write_buddy(Wnd wnd, const UpDownData& d) {
  if (!(style_of(wnd) & UDS_SETBUDDYINT) || !is_window(d.buddy)) return;
  set_window_text_w(d.buddy, format_int(d.pos, !(style_of(wnd) & UDS_NOTHOUSANDS)).c_str());
}

// One step of the user's, towards `upper` (dir +1) or `lower` (dir -1).
void step(Wnd wnd, int dir) {
  UpDownData* d = data_of(wnd);
  if (!d) return;
  int base = d->pos;
  read_buddy(wnd, *d, &base);
  NmUpDown nm;
  nm.pos = base;
  nm.delta = d->upper >= d->lower ? dir : -dir;
  if (notify_parent(wnd, &nm.hdr, UDN_DELTAPOS) != 0) return;
  if (!is_window(wnd) || !(d = data_of(wnd))) return;
  int64_t next = int64_t(base) + nm.delta;
  const int lo = std::min(d->lower, d->upper), hi = std::max(d->lower, d->upper);
  if ((style_of(wnd) & UDS_WRAP) && (next > hi || next < lo)) next = next > hi ? lo : hi;
  const int pos = int(std::clamp<int64_t>(next, lo, hi));
  d->pos = pos;
  // The buddy's change notification goes to the parent too, which may destroy us there.
  write_buddy(wnd, *d);
  if (!is_window(wnd)) return;
  send_message(get_parent(wnd), horizontal(wnd) ? WM_HSCROLL : WM_VSCROLL, make_wparam(SB_THUMBPOSITION, pos),
               LParam(reinterpret_cast<intptr_t>(wnd)));
}

LResult buddy_proc(Wnd w, uint32_t msg, WParam wp, LParam lp) {
  auto it = links().find(w);
  if (it == links().end()) return def_window_proc(w, msg, wp, lp);
  const BuddyLink link = it->second;
  const bool arrows = link.updown && is_window(link.updown) && (style_of(link.updown) & UDS_ARROWKEYS);
  if (msg == WM_NCDESTROY) {
    links().erase(it);
    if (link.updown && is_window(link.updown))
      if (UpDownData* d = data_of(link.updown)) d->buddy = nullptr;
  } else if (msg == WM_KEYDOWN && arrows && (int(wp) == VK_UP || int(wp) == VK_DOWN)) {
    step(link.updown, int(wp) == VK_UP ? 1 : -1);
    return 0;
  } else if (msg == WM_GETDLGCODE && arrows) {
    return call_window_proc(link.old, w, msg, wp, lp) | DLGC_WANTARROWS;
  }
  return call_window_proc(link.old, w, msg, wp, lp);
}

void unlink_buddy(Wnd wnd, Wnd buddy) {
  auto it = links().find(buddy);
  if (it == links().end() || it->second.updown != wnd) return;
  if (get_window_proc(buddy) == buddy_proc) {
    set_window_proc(buddy, it->second.old);
    links().erase(it);
  } else {
    it->second.updown = nullptr;  // subclassed again since: our procedure just passes on
  }
}

void link_buddy(Wnd wnd, Wnd buddy) {
  auto it = links().find(buddy);
  if (it != links().end() && get_window_proc(buddy) == buddy_proc) {
    it->second.updown = wnd;
    return;
  }
  WndProc old = set_window_proc(buddy, buddy_proc);
  if (old) links()[buddy] = BuddyLink{old, wnd};
}

// Places the up-down control against its buddy and narrows the buddy.
void align(Wnd wnd, Wnd buddy) {
  const uint32_t style = style_of(wnd);
  if (!(style & (UDS_ALIGNLEFT | UDS_ALIGNRIGHT)) || !is_window(buddy)) return;
  Rect own, b;
  get_window_rect(wnd, &own);
  get_window_rect(buddy, &b);
  Point pts[2] = {{b.left, b.top}, {b.right, b.bottom}};
  map_window_points(nullptr, get_parent(wnd), pts, 2);
  const int w = own.width() > 0 ? own.width() : kDefaultWidth;
  const int bw = std::max(0, pts[1].x - pts[0].x - w), h = pts[1].y - pts[0].y;
  if (style & UDS_ALIGNRIGHT) {
    move_window(buddy, pts[0].x, pts[0].y, bw, h, true);
    move_window(wnd, pts[0].x + bw, pts[0].y, w, h, true);
  } else {
    move_window(wnd, pts[0].x, pts[0].y, w, h, true);
    move_window(buddy, pts[0].x + w, pts[0].y, bw, h, true);
  }
}

Wnd set_buddy(Wnd wnd, UpDownData& d, Wnd buddy) {
  Wnd old = d.buddy;
  if (old && is_window(old)) unlink_buddy(wnd, old);
  d.buddy = is_window(buddy) ? buddy : nullptr;
  if (!d.buddy) return old;
  if (style_of(wnd) & UDS_ARROWKEYS) link_buddy(wnd, d.buddy);
  align(wnd, d.buddy);
  return old;
}

int arrow_at(Wnd wnd, LParam lp) {
  Rect rc;
  get_client_rect(wnd, &rc);
  if (horizontal(wnd)) return x_of_lparam(lp) < rc.width() / 2 ? -1 : 1;
  return y_of_lparam(lp) < rc.height() / 2 ? 1 : -1;
}

void release_arrow(Wnd wnd, UpDownData& d) {
  if (!d.held) return;
  d.held = 0;
  kill_timer(wnd, kRepeatTimer);
  invalidate_rect(wnd, nullptr, true);
}

LResult on_button_down(Wnd wnd, UpDownData& d, LParam lp) {
  if (d.held) return 0;
  d.held = arrow_at(wnd, lp);
  set_capture(wnd);
  invalidate_rect(wnd, nullptr, true);
  set_timer(wnd, kRepeatTimer, kFirstRepeatMs, nullptr);
  step(wnd, d.held);
  return 0;
}

LResult on_timer(Wnd wnd, UpDownData& d, WParam id) {
  if (id != kRepeatTimer || !d.held) return 0;
  set_timer(wnd, kRepeatTimer, kRepeatMs, nullptr);
  step(wnd, d.held);
  return 0;
}

void paint(Wnd wnd, const UpDownData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  const bool horz = horizontal(wnd);
  // First half: down (left) arrow when horizontal, up arrow when vertical.
  const Rect first = horz ? Rect{rc.left, rc.top, rc.left + rc.width() / 2, rc.bottom}
                          : Rect{rc.left, rc.top, rc.right, rc.top + rc.height() / 2};
  const Rect second = horz ? Rect{first.right, rc.top, rc.right, rc.bottom} : Rect{rc.left, first.bottom, rc.right, rc.bottom};
  const int first_dir = horz ? -1 : 1;
  const Color glyph = get_sys_color(is_window_enabled(wnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
  const struct {
    Rect r;
    int dir, arrow;
  } halves[2] = {{first, first_dir, horz ? 2 : 0}, {second, -first_dir, horz ? 3 : 1}};
  for (const auto& h : halves) {
    const bool in = d.held == h.dir;
    draw_bevel(dc, h.r, !in);
    draw_arrow(dc, in ? offset_rect(h.r, 1, 1) : h.r, h.arrow, glyph);
  }
  end_paint(wnd, &ps);
}

LResult get_pos(Wnd wnd, UpDownData& d, bool* error) {
  int v = 0;
  *error = false;
  if ((style_of(wnd) & UDS_SETBUDDYINT) && is_window(d.buddy)) {
    if (read_buddy(wnd, d, &v)) {
      d.pos = clamp_pos(d, v);
    } else {
      *error = true;
    }
  }
  return d.pos;
}

LResult set_pos(Wnd wnd, UpDownData& d, int pos) {
  const int old = d.pos;
  d.pos = clamp_pos(d, pos);
  write_buddy(wnd, d);
  return old;
}

LResult updown_message(Wnd wnd, UpDownData& d, uint32_t msg, WParam wp, LParam lp) {
  bool error = false;
  switch (msg) {
    case UDM_SETRANGE:
      d.upper = int(int16_t(loword(uintptr_t(lp))));
      d.lower = int(int16_t(hiword(uintptr_t(lp))));
      return 0;
    case UDM_GETRANGE: return make_lparam(d.upper, d.lower);
    case UDM_SETPOS: return set_pos(wnd, d, int(int16_t(loword(uintptr_t(lp)))));
    case UDM_GETPOS: {
      const LResult pos = get_pos(wnd, d, &error);
      return make_lparam(int(pos), error ? 1 : 0);
    }
    case UDM_SETBUDDY: return LResult(reinterpret_cast<intptr_t>(set_buddy(wnd, d, reinterpret_cast<Wnd>(wp))));
    case UDM_GETBUDDY: return LResult(reinterpret_cast<intptr_t>(d.buddy));
    case UDM_SETRANGE32:
      d.lower = int(intptr_t(wp));
      d.upper = int(lp);
      return 0;
    case UDM_GETRANGE32:
      if (auto* p = reinterpret_cast<int*>(wp)) *p = d.lower;
      if (auto* p = reinterpret_cast<int*>(lp)) *p = d.upper;
      return 0;
    case UDM_SETPOS32: return set_pos(wnd, d, int(lp));
    case UDM_GETPOS32: {
      const LResult pos = get_pos(wnd, d, &error);
      if (auto* p = reinterpret_cast<int*>(lp)) *p = error ? 1 : 0;
      return pos;
    }
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, UpDownData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_CREATE:
      if (style_of(wnd) & UDS_AUTOBUDDY) set_buddy(wnd, d, get_window(wnd, GW_HWNDPREV));
      return 0;
    case WM_DESTROY:
      kill_timer(wnd, kRepeatTimer);
      if (d.buddy && is_window(d.buddy)) unlink_buddy(wnd, d.buddy);
      return 0;
    case WM_PAINT: paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_ENABLE: invalidate_rect(wnd, nullptr, true); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return on_button_down(wnd, d, lp);
    case WM_LBUTTONUP:
      if (d.held) {
        release_arrow(wnd, d);
        release_capture();
      }
      return 0;
    case WM_CAPTURECHANGED: release_arrow(wnd, d); return 0;
    case WM_TIMER: return on_timer(wnd, d, wp);
    case WM_KEYDOWN:
      if ((style_of(wnd) & UDS_ARROWKEYS) && (int(wp) == VK_UP || int(wp) == VK_DOWN)) step(wnd, int(wp) == VK_UP ? 1 : -1);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    default: return updown_message(wnd, d, msg, wp, lp);
  }
}

}  // namespace

void register_updown_control() {
  register_control_class(kUpDownClass, control_proc<UpDownData, window_message>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
