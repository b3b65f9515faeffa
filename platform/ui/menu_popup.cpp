// Popup menus on a screen: when a presenter shows the windows, an opened popup is a
// small top-level window of the class "PopupMenu" listing the items. It holds the
// mouse capture and runs a modal loop: a click on an enabled command chooses it, a
// click on a popup item opens that popup beside it, a click elsewhere or Escape closes
// it; Up, Down and Enter work the highlighted item.
#include <algorithm>

#include "platform/ui/cursor.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr const char* kClassName = "PopupMenu";
constexpr int kItemHeight = 20, kSeparatorHeight = 8, kTextLeft = 22, kMinWidth = 80;

struct PopupItem {
  std::u16string label, shortcut;
  unsigned flags = 0;
  unsigned id = 0;
  Menu sub = nullptr;
  Rect r;  // client coordinates
};

struct PopupData {
  Menu menu = nullptr;
  Wnd owner = nullptr;
  std::vector<PopupItem> items;
  int hot = -1;
  bool nested_open = false;  // a popup opened from this one holds the capture
  Size client;
};

PopupData* data_of(Wnd w) { return reinterpret_cast<PopupData*>(get_window_long(w, GWLP_USERDATA)); }

void lay_out(PopupData& d) {
  {
    Guard g;
    MenuRec* m = find_menu(d.menu);
    if (!m) return;
    for (const MenuItem& it : m->items) {
      PopupItem p;
      size_t tab = it.text.find(u'\t');
      p.label = it.text.substr(0, tab);
      if (tab != std::u16string::npos) p.shortcut = it.text.substr(tab + 1);
      p.flags = it.flags;
      p.id = unsigned(it.id);
      p.sub = (it.flags & MF_POPUP) ? it.popup : nullptr;
      d.items.push_back(p);
    }
  }
  int width = kMinWidth, y = 2;
  for (PopupItem& p : d.items) {
    int h = (p.flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight;
    width = std::max(width, kTextLeft + text_width(p.label) + 24 + text_width(p.shortcut) + 16);
    p.r = Rect{2, y, 0, y + h};
    y += h;
  }
  for (PopupItem& p : d.items) p.r.right = width - 2;
  d.client = Size{width, y + 2};
}

bool choosable(const PopupItem& p) { return !(p.flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR)); }

void paint_popup(Wnd w, PopupData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(w, &ps);
  if (!dc) return;
  fill_solid(dc, Rect{0, 0, d.client.cx, d.client.cy}, get_sys_color(COLOR_MENU));
  const int th = text_height();
  for (size_t i = 0; i < d.items.size(); ++i) {
    const PopupItem& p = d.items[i];
    if (p.flags & MF_SEPARATOR) {
      int y = (p.r.top + p.r.bottom) / 2;
      fill_solid(dc, Rect{p.r.left + 2, y, p.r.right - 2, y + 1}, get_sys_color(COLOR_3DSHADOW));
      continue;
    }
    const bool hot = int(i) == d.hot && choosable(p);
    if (hot) fill_solid(dc, p.r, get_sys_color(COLOR_HIGHLIGHT));
    Color c = get_sys_color(!choosable(p) ? COLOR_GRAYTEXT : hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    int y = p.r.top + (p.r.height() - th) / 2;
    if (p.flags & MF_CHECKED) draw_label(dc, p.r.left + 6, y, u"\u2713", c);
    draw_label(dc, p.r.left + kTextLeft, y, p.label, c);
    if (!p.shortcut.empty()) draw_label(dc, p.r.right - 12 - text_width(p.shortcut), y, p.shortcut, c);
    if (p.sub) draw_arrow(dc, Rect{p.r.right - 14, p.r.top, p.r.right - 2, p.r.bottom}, 3, c);
  }
  end_paint(w, &ps);
}

int item_at(const PopupData& d, Point p) {
  for (size_t i = 0; i < d.items.size(); ++i)
    if (d.items[i].r.contains(p)) return int(i);
  return -1;
}

unsigned run_popup(Menu menu, Wnd owner, Point at);

// Works an item: a command ends the menu with it; a popup opens beside it.
void activate_item(Wnd w, PopupData& d, int i) {
  if (i < 0 || !choosable(d.items[size_t(i)])) return;
  const PopupItem& p = d.items[size_t(i)];
  if (!p.sub) {
    end_modal(w, intptr_t(p.id));
    return;
  }
  send_message(d.owner, WM_INITMENUPOPUP, WParam(key_of(p.sub)), make_lparam(i, 0));
  Point corner{p.r.right, p.r.top};
  client_to_screen(w, &corner);
  d.nested_open = true;
  unsigned id = run_popup(p.sub, d.owner, corner);
  d.nested_open = false;
  if (!is_window(w)) return;
  set_capture(w);
  if (id) end_modal(w, intptr_t(id));
}

void set_hot(Wnd w, PopupData& d, int i) {
  if (i == d.hot) return;
  d.hot = i;
  invalidate_rect(w, nullptr, false);
}

void move_hot(Wnd w, PopupData& d, int step) {
  const int n = int(d.items.size());
  const int base = d.hot >= 0 ? d.hot : step > 0 ? -1 : n;
  for (int k = 1; k <= n; ++k) {
    int i = ((base + step * k) % n + n) % n;
    if (choosable(d.items[size_t(i)])) {
      set_hot(w, d, i);
      return;
    }
  }
}

LResult popup_proc(Wnd w, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_NCCREATE) {
    const auto* cs = reinterpret_cast<const CreateStruct*>(lp);
    set_window_long(w, GWLP_USERDATA, reinterpret_cast<intptr_t>(cs->create_params));
    return def_window_proc(w, msg, wp, lp);
  }
  PopupData* d = data_of(w);
  if (!d) return def_window_proc(w, msg, wp, lp);
  const Point p{x_of_lparam(lp), y_of_lparam(lp)};
  switch (msg) {
    case WM_PAINT: paint_popup(w, *d); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEMOVE: set_hot(w, *d, item_at(*d, p)); return 0;
    case WM_LBUTTONUP: {
      Rect cr{0, 0, d->client.cx, d->client.cy};
      if (!cr.contains(p)) {
        end_modal(w, 0);
      } else {
        activate_item(w, *d, item_at(*d, p));
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (int(wp) == VK_ESCAPE) end_modal(w, 0);
      if (int(wp) == VK_DOWN) move_hot(w, *d, 1);
      if (int(wp) == VK_UP) move_hot(w, *d, -1);
      if (int(wp) == VK_RETURN) activate_item(w, *d, d->hot);
      return 0;
    case WM_CAPTURECHANGED:
      if (!d->nested_open) end_modal(w, 0);
      return 0;
    case WM_CLOSE: end_modal(w, 0); return 0;
    default: return def_window_proc(w, msg, wp, lp);
  }
}

void ensure_class() {
  if (get_class_info(kClassName, nullptr)) return;
  WndClass c;
  c.name = kClassName;
  c.proc = popup_proc;
  c.cursor = load_cursor(IDC_ARROW);
  register_class(c);
}

void close_popup(Wnd w) { end_modal(w, 0); }

unsigned run_popup(Menu menu, Wnd owner, Point at) {
  ensure_class();
  PopupData d;
  d.menu = menu;
  d.owner = owner;
  lay_out(d);
  if (d.items.empty()) return 0;
  Rect r{0, 0, d.client.cx, d.client.cy};
  adjust_window_rect(&r, WS_POPUP | WS_BORDER, false);
  const Rect work = get_work_area();
  int x = std::max(work.left, std::min(at.x, work.right - r.width()));
  int y = std::max(work.top, std::min(at.y, work.bottom - r.height()));
  Wnd w = create_window(0, kClassName, "", WS_POPUP | WS_BORDER, x, y, r.width(), r.height(), owner, 0, &d);
  if (!w) return 0;
  Wnd focus_before = get_focus();
  show_window(w, SW_SHOW);
  set_capture(w);
  unsigned id = unsigned(run_modal_loop(w, 0, close_popup));
  if (get_capture() == w) release_capture();
  destroy_window(w);
  if (is_window(focus_before)) set_focus(focus_before);
  return id;
}

}  // namespace

namespace ui_detail {

unsigned show_popup_window(Menu popup, Wnd owner, Point screen) { return run_popup(popup, owner, screen); }

}  // namespace ui_detail

}  // namespace plat
