// The tab control: items, the selection and what the user's choice tells the parent,
// the layout of the tab row and of the display area, the display area left to the
// pages lying over it, and plain painting.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_tab.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kFirstTabX = 2, kTabPadding = 12, kMinTabWidth = 40, kRaise = 2, kMargin = 4;

struct TabItem {
  std::u16string text;
  int image = -1;
  LParam param = 0;
  int width = kMinTabWidth;
};

struct TabData {
  std::vector<TabItem> items;
  int cur = -1;
  Font font = nullptr;
  int row_height = 21;  // the tab row, the raised selected tab included
  bool focused = false;
};

TabData* data_of(Wnd wnd) { return control_state_of<TabData>(wnd); }
int count(const TabData& d) { return int(d.items.size()); }
bool valid(const TabData& d, WParam i) { return i < d.items.size(); }

// Widths of the labels and the row height, in the tab control's font.
void measure(TabData& d) {
  Dc dc = create_compatible_dc(nullptr);
  select_object(dc, d.font ? d.font : ui_font());
  TextMetrics tm;
  d.row_height = (get_text_metrics(dc, &tm) && tm.height > 0 ? tm.height : 13) + 8;
  for (TabItem& it : d.items) {
    const std::u16string s = strip_mnemonic(it.text);
    Size sz;
    it.width = kMinTabWidth;
    if (!s.empty() && get_text_extent_point(dc, s.c_str(), int(s.size()), &sz))
      it.width = std::max(kMinTabWidth, sz.cx + kTabPadding);
  }
  delete_dc(dc);
}

Rect tab_rect(const TabData& d, int index) {
  int x = kFirstTabX;
  for (int i = 0; i < index; ++i) x += d.items[size_t(i)].width;
  return Rect{x, kRaise, x + d.items[size_t(index)].width, d.row_height};
}

// The selected tab stands out of the row.
Rect raised(const Rect& r) { return Rect{r.left - kRaise, r.top - kRaise, r.right + kRaise, r.bottom + 1}; }

int tab_at(const TabData& d, Point p) {
  if (d.cur >= 0 && d.cur < count(d) && raised(tab_rect(d, d.cur)).contains(p)) return d.cur;
  for (int i = 0; i < count(d); ++i)
    if (tab_rect(d, i).contains(p)) return i;
  return -1;
}

Rect display_of(const TabData& d, const Rect& window) {
  return Rect{window.left + kMargin, window.top + d.row_height + kMargin, window.right - kMargin, window.bottom - kMargin};
}

Rect window_of(const TabData& d, const Rect& display) {
  return Rect{display.left - kMargin, display.top - d.row_height - kMargin, display.right + kMargin,
              display.bottom + kMargin};
}

// The user's choice: the parent may refuse it.
void user_select(Wnd wnd, TabData& d, int index) {
  if (index < 0 || index >= count(d) || index == d.cur) return;
  NmHdr nm;
  if (notify_parent(wnd, &nm, TCN_SELCHANGING) != 0) return;
  // The parent may have destroyed the control, or removed tabs, while it was asked.
  if (!is_window(wnd) || !data_of(wnd) || index >= count(d)) return;
  d.cur = index;
  invalidate_rect(wnd, nullptr, true);
  NmHdr done;
  notify_parent(wnd, &done, TCN_SELCHANGE);
}

// The display area belongs to the pages lying over it: the window system passes the
// tab control over there, so their clicks reach them.
LResult hit_test_answer(Wnd wnd, const TabData& d, WParam wp, LParam lp) {
  Point p{x_of_lparam(lp), y_of_lparam(lp)};
  screen_to_client(wnd, &p);
  if (p.y >= d.row_height && tab_at(d, p) < 0) return HTTRANSPARENT;
  return def_window_proc(wnd, WM_NCHITTEST, wp, lp);
}

LResult on_press(Wnd wnd, TabData& d, LParam lp) {
  const int hit = tab_at(d, Point{x_of_lparam(lp), y_of_lparam(lp)});
  if (hit < 0) return 0;
  if (!(uint32_t(get_window_long(wnd, GWL_STYLE)) & TCS_FOCUSNEVER) && get_focus() != wnd) set_focus(wnd);
  if (is_window(wnd)) user_select(wnd, d, hit);
  return 0;
}

LResult on_key(Wnd wnd, TabData& d, int vk) {
  const int n = count(d);
  if (n == 0) return 0;
  if (vk == VK_TAB && get_key_state(VK_CONTROL) < 0) {
    const int step = get_key_state(VK_SHIFT) < 0 ? -1 : 1;
    user_select(wnd, d, ((d.cur < 0 ? 0 : d.cur) + step + n) % n);
  } else if (vk == VK_LEFT && d.cur > 0) {
    user_select(wnd, d, d.cur - 1);
  } else if (vk == VK_RIGHT && d.cur + 1 < n) {
    user_select(wnd, d, d.cur + 1);
  }
  return 0;
}

void edge(Dc dc, const Rect& r, Color top_left, Color bottom_right, bool bottom) {
  fill_solid(dc, Rect{r.left, r.top, r.right, r.top + 1}, top_left);
  fill_solid(dc, Rect{r.left, r.top, r.left + 1, r.bottom}, top_left);
  fill_solid(dc, Rect{r.right - 1, r.top, r.right, r.bottom}, bottom_right);
  if (bottom) fill_solid(dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, bottom_right);
}

void draw_tab(Dc dc, const TabData& d, int i, bool selected, bool focused) {
  const Rect r = selected ? raised(tab_rect(d, i)) : tab_rect(d, i);
  fill_solid(dc, r, get_sys_color(COLOR_BTNFACE));
  edge(dc, r, get_sys_color(COLOR_3DHILIGHT), get_sys_color(COLOR_3DDKSHADOW), false);
  fill_solid(dc, Rect{r.right - 2, r.top + 1, r.right - 1, r.bottom}, get_sys_color(COLOR_3DSHADOW));
  Rect tr{r.left + 2, r.top, r.right - 2, selected ? r.bottom - 1 : r.bottom};
  const std::u16string s = strip_mnemonic(d.items[size_t(i)].text);
  set_text_color(dc, get_sys_color(COLOR_BTNTEXT));
  draw_text(dc, s.c_str(), int(s.size()), &tr, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (focused) draw_focus_rect(dc, Rect{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3});
}

// The display area, less what the later visible siblings (the pages) cover.
void fill_display(Wnd wnd, Dc dc, const Rect& body) {
  bool after = false;
  for (Wnd sib : child_windows(get_parent(wnd))) {
    if (sib == wnd) {
      after = true;
      continue;
    }
    Rect r;
    if (!after || !is_window_visible(sib) || !get_window_rect(sib, &r)) continue;
    Point pts[2] = {{r.left, r.top}, {r.right, r.bottom}};
    map_window_points(nullptr, wnd, pts, 2);
    exclude_clip_rect(dc, pts[0].x, pts[0].y, pts[1].x, pts[1].y);
  }
  fill_solid(dc, body, get_sys_color(COLOR_BTNFACE));
  select_clip_rgn(dc, nullptr);
}

void paint(Wnd wnd, const TabData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  const Rect body{rc.left, std::min(rc.bottom, d.row_height), rc.right, rc.bottom};
  fill_display(wnd, dc, body);
  fill_solid(dc, Rect{rc.left, rc.top, rc.right, body.top}, get_sys_color(COLOR_BTNFACE));
  edge(dc, body, get_sys_color(COLOR_3DHILIGHT), get_sys_color(COLOR_3DDKSHADOW), true);
  fill_solid(dc, Rect{body.right - 2, body.top + 1, body.right - 1, body.bottom - 1}, get_sys_color(COLOR_3DSHADOW));
  fill_solid(dc, Rect{body.left + 1, body.bottom - 2, body.right - 1, body.bottom - 1}, get_sys_color(COLOR_3DSHADOW));
  GdiObj old_font = select_object(dc, d.font ? d.font : ui_font());
  set_bk_mode(dc, TRANSPARENT);
  for (int i = 0; i < count(d); ++i)
    if (i != d.cur) draw_tab(dc, d, i, false, false);
  if (d.cur >= 0 && d.cur < count(d)) draw_tab(dc, d, d.cur, true, d.focused);
  select_object(dc, old_font);
  end_paint(wnd, &ps);
}

void read_item(TabItem& it, const TcItem& src) {
  if (src.mask & TCIF_TEXT) it.text = src.text ? std::u16string(src.text) : std::u16string();
  if (src.mask & TCIF_IMAGE) it.image = src.image;
  if (src.mask & TCIF_PARAM) it.param = src.param;
}

LResult insert_item(Wnd wnd, TabData& d, WParam wp, LParam lp) {
  const auto* src = reinterpret_cast<const TcItem*>(lp);
  if (!src) return -1;
  const int at = int(std::min<WParam>(wp, d.items.size()));
  TabItem it;
  read_item(it, *src);
  d.items.insert(d.items.begin() + at, it);
  if (count(d) == 1) {
    d.cur = 0;
  } else if (d.cur >= at) {
    ++d.cur;
  }
  measure(d);
  invalidate_rect(wnd, nullptr, true);
  return at;
}

LResult get_item(const TabData& d, WParam wp, LParam lp) {
  auto* out = reinterpret_cast<TcItem*>(lp);
  if (!out || !valid(d, wp)) return 0;
  const TabItem& it = d.items[wp];
  if ((out->mask & TCIF_TEXT) && out->text && out->text_max > 0) {
    const size_t n = std::min(it.text.size(), size_t(out->text_max - 1));
    std::copy(it.text.begin(), it.text.begin() + long(n), out->text);
    out->text[n] = 0;
  }
  if (out->mask & TCIF_IMAGE) out->image = it.image;
  if (out->mask & TCIF_PARAM) out->param = it.param;
  return 1;
}

LResult delete_item(Wnd wnd, TabData& d, WParam wp) {
  if (!valid(d, wp)) return 0;
  const int at = int(wp);
  d.items.erase(d.items.begin() + at);
  if (d.cur == at) {
    d.cur = -1;
  } else if (d.cur > at) {
    --d.cur;
  }
  invalidate_rect(wnd, nullptr, true);
  return 1;
}

LResult adjust_rect(const TabData& d, WParam larger, LParam lp) {
  auto* r = reinterpret_cast<Rect*>(lp);
  if (r) *r = larger ? window_of(d, *r) : display_of(d, *r);
  return 0;
}

LResult tab_message(Wnd wnd, TabData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case TCM_GETITEMCOUNT: return count(d);
    case TCM_INSERTITEM: return insert_item(wnd, d, wp, lp);
    case TCM_DELETEITEM: return delete_item(wnd, d, wp);
    case TCM_DELETEALLITEMS:
      d.items.clear();
      d.cur = -1;
      invalidate_rect(wnd, nullptr, true);
      return 1;
    case TCM_GETITEM: return get_item(d, wp, lp);
    case TCM_SETITEM: {
      const auto* src = reinterpret_cast<const TcItem*>(lp);
      if (!src || !valid(d, wp)) return 0;
      read_item(d.items[wp], *src);
      measure(d);
      invalidate_rect(wnd, nullptr, true);
      return 1;
    }
    case TCM_GETITEMRECT: {
      auto* r = reinterpret_cast<Rect*>(lp);
      if (!r || !valid(d, wp)) return 0;
      *r = tab_rect(d, int(wp));
      return 1;
    }
    case TCM_GETCURSEL: return d.cur;
    case TCM_SETCURSEL: {
      if (!valid(d, wp)) return -1;
      const int old = d.cur;
      d.cur = int(wp);
      invalidate_rect(wnd, nullptr, true);
      return old;
    }
    case TCM_ADJUSTRECT: return adjust_rect(d, wp, lp);
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, TabData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZE:
    case WM_ENABLE: invalidate_rect(wnd, nullptr, true); return 0;
    case WM_SETFONT:
      d.font = reinterpret_cast<Font>(wp);
      measure(d);
      if (lp) invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      d.focused = msg == WM_SETFOCUS;
      invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_KEYDOWN: return on_key(wnd, d, int(wp));
    case WM_NCHITTEST: return hit_test_answer(wnd, d, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return on_press(wnd, d, lp);
    default: return tab_message(wnd, d, msg, wp, lp);
  }
}

void set_up(Wnd, TabData& d, const CreateStruct*) { measure(d); }

}  // namespace

void register_tab_control() {
  register_control_class(kTabClass, control_proc<TabData, window_message, set_up>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat
