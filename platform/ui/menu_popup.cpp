// Popup menus on a screen: when a presenter shows the windows, an opened popup is a
// small top-level window of the class "PopupMenu" listing the items. It holds the mouse
// capture and runs a modal loop until an item is chosen or the menus close.
//
// The mouse, as on every desktop: a release on an enabled command chooses it, one on a
// popup item opens that popup beside it; a press outside the menus closes them. The
// release of the press that opened the menu (a click on a menu-bar item) leaves it
// open: that release comes here only once the popup holds the capture, and closes the
// menus only when the pointer went through the popup before (press, drag, release
// elsewhere). Moving onto another item of the menu bar opens that item's menu.
//
// The keyboard, whichever window it was meant for (the popup never takes the focus):
// Up and Down move over the choosable items (separators and grey items are skipped),
// Enter chooses or opens, Right opens a popup item's popup or moves to the bar's next
// menu, Left closes a submenu or moves to the bar's previous menu, Escape closes this
// popup, F10 or Alt alone close them all, a letter works the item it is the mnemonic of.
#include <algorithm>

#include "platform/ui/cursor.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/menu_session.h"
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
  PopupOpen how;
  std::vector<PopupItem> items;
  int hot = -1;
  bool nested_open = false;  // a popup opened from this one holds the capture
  bool entered = false;      // the pointer has been over this popup
  bool pressed = false;      // a mouse button went down since it opened
  Size client;
};

PopupData* data_of(Wnd w) { return reinterpret_cast<PopupData*>(get_window_long(w, GWLP_USERDATA)); }

void lay_out(PopupData& d) {
  {
    Guard g;
    MenuRec* m = find_menu(d.how.menu);
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

bool inside(const PopupData& d, Point p) { return Rect{0, 0, d.client.cx, d.client.cy}.contains(p); }

void set_hot(Wnd w, PopupData& d, int i) {
  if (i == d.hot) return;
  d.hot = i;
  invalidate_rect(w, nullptr, false);
}

// The next choosable item from the lit one (or from an end) in the direction of `step`,
// round the end; the lit item stays when there is none.
int next_choosable(const PopupData& d, int step) {
  const int n = int(d.items.size());
  const int base = d.hot >= 0 ? d.hot : step > 0 ? -1 : n;
  for (int k = 1; k <= n; ++k) {
    int i = ((base + step * k) % n + n) % n;
    if (choosable(d.items[size_t(i)])) return i;
  }
  return d.hot;
}

Rect screen_rect_of(Wnd w) {
  Rect r;
  get_window_rect(w, &r);
  return r;
}

// Opens the popup hanging from item i beside it and runs it; what it ends with reaches
// this popup's loop unless it only closed itself.
void open_sub(Wnd w, PopupData& d, int i, bool by_key) {
  const PopupItem& p = d.items[size_t(i)];
  send_message(d.how.owner, WM_INITMENUPOPUP, WParam(key_of(p.sub)), make_lparam(i, 0));
  if (!is_window(w)) return;
  Point corner{p.r.right, p.r.top};
  client_to_screen(w, &corner);
  PopupOpen sub;
  sub.menu = p.sub;
  sub.owner = d.how.owner;
  sub.at = corner;
  sub.select_first = by_key;
  sub.bar = d.how.bar;
  sub.parent = w;
  d.nested_open = true;
  const intptr_t code = run_popup_window(sub);
  d.nested_open = false;
  if (!is_window(w)) return;
  set_capture(w);
  if (code != kPopupClosed) end_modal(w, code);
}

// Works an item: a command ends the menus with it; a popup item opens its popup.
void activate_item(Wnd w, PopupData& d, int i, bool by_key) {
  if (i < 0 || size_t(i) >= d.items.size() || !choosable(d.items[size_t(i)])) return;
  set_hot(w, d, i);
  if (!d.items[size_t(i)].sub) {
    end_modal(w, intptr_t(d.items[size_t(i)].id));
    return;
  }
  open_sub(w, d, i, by_key);
}

// The pointer on another item of the menu bar: that item's menu opens instead.
bool switch_to_bar_item(Wnd w, PopupData& d, Point screen) {
  BarLink* bar = d.how.bar;
  if (!bar) return false;
  const int pos = bar_item_at(bar->wnd, screen);
  if (pos < 0 || pos == bar->index) return false;
  bar->switch_to = pos;
  bar->switch_by_key = false;
  end_modal(w, kPopupToBarItem);
  return true;
}

void on_mouse_move(Wnd w, PopupData& d, Point p) {
  if (inside(d, p)) {
    d.entered = true;
    set_hot(w, d, item_at(d, p));
    return;
  }
  Point screen = p;
  client_to_screen(w, &screen);
  switch_to_bar_item(w, d, screen);
}

// A press outside the menus closes them all; one on the popup this one was opened from
// closes this one only.
void on_press(Wnd w, PopupData& d, Point p) {
  d.pressed = true;
  if (inside(d, p)) return;
  Point screen = p;
  client_to_screen(w, &screen);
  const bool on_parent = is_window(d.how.parent) && screen_rect_of(d.how.parent).contains(screen);
  end_modal(w, on_parent ? kPopupClosed : kPopupCancelAll);
}

void on_release(Wnd w, PopupData& d, Point p) {
  if (inside(d, p)) {
    activate_item(w, d, item_at(d, p), false);
    return;
  }
  // The release of the click that opened the menu: it stays open.
  if (!d.pressed && !d.entered) return;
  end_modal(w, kPopupCancelAll);
}

void on_key(Wnd w, PopupData& d, const Msg& m) {
  switch (int(m.wparam)) {
    case VK_DOWN: set_hot(w, d, next_choosable(d, 1)); break;
    case VK_UP: set_hot(w, d, next_choosable(d, -1)); break;
    case VK_RETURN: activate_item(w, d, d.hot, true); break;
    case VK_ESCAPE: end_modal(w, kPopupClosed); break;
    case VK_F10: end_modal(w, kPopupCancelAll); break;
    case VK_RIGHT:
      if (d.hot >= 0 && d.items[size_t(d.hot)].sub && choosable(d.items[size_t(d.hot)]))
        activate_item(w, d, d.hot, true);
      else if (d.how.bar)
        end_modal(w, kPopupRight);
      break;
    case VK_LEFT:
      if (d.how.parent)
        end_modal(w, kPopupClosed);
      else if (d.how.bar)
        end_modal(w, kPopupLeft);
      break;
    case VK_MENU: break;  // Alt works on its release, when pressed alone
    default: translate_message(&m); break;  // letters come back as characters
  }
}

// A letter works the item it is the mnemonic of; with several such items, each press
// lights the next one. A letter no item here has may open another menu of the bar.
void on_letter(Wnd w, PopupData& d, char16_t ch) {
  if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
  std::vector<int> matches;
  for (size_t i = 0; i < d.items.size(); ++i)
    if (choosable(d.items[i]) && menu_mnemonic(d.items[i].label) == ch) matches.push_back(int(i));
  if (matches.size() == 1) {
    activate_item(w, d, matches[0], true);
    return;
  }
  if (!matches.empty()) {
    auto after = std::find_if(matches.begin(), matches.end(), [&](int i) { return i > d.hot; });
    set_hot(w, d, after == matches.end() ? matches[0] : *after);
    return;
  }
  BarLink* bar = d.how.bar;
  const int pos = bar ? bar_item_with_mnemonic(bar->wnd, ch) : -1;
  if (pos < 0 || pos == bar->index) return;
  bar->switch_to = pos;
  bar->switch_by_key = true;
  end_modal(w, kPopupToBarItem);
}

// Every key message goes to the open popup while its loop runs.
bool popup_filter(Wnd modal, const Msg* m) {
  PopupData* d = data_of(modal);
  if (!d || !m) return false;
  switch (m->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: on_key(modal, *d, *m); return true;
    case WM_CHAR:
    case WM_SYSCHAR: on_letter(modal, *d, char16_t(m->wparam)); return true;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (int(m->wparam) == VK_MENU && alt_pressed_alone()) end_modal(modal, kPopupCancelAll);
      return true;
    default: return false;
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
    case WM_MOUSEMOVE: on_mouse_move(w, *d, p); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: on_press(w, *d, p); return 0;
    case WM_LBUTTONUP: on_release(w, *d, p); return 0;
    case WM_CAPTURECHANGED:
      if (!d->nested_open) end_modal(w, kPopupCancelAll);
      return 0;
    case WM_CLOSE: end_modal(w, kPopupCancelAll); return 0;
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

void close_popup(Wnd w) { end_modal(w, kPopupCancelAll); }

}  // namespace

namespace ui_detail {

char16_t menu_mnemonic(const std::u16string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    char16_t c = text[i + 1];
    if (c == u'&') {
      ++i;
      continue;
    }
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
  }
  return 0;
}

intptr_t run_popup_window(const PopupOpen& how) {
  ensure_class();
  PopupData d;
  d.how = how;
  lay_out(d);
  if (d.items.empty()) return kPopupClosed;
  if (how.select_first) d.hot = next_choosable(d, 1);
  Rect r{0, 0, d.client.cx, d.client.cy};
  adjust_window_rect(&r, WS_POPUP | WS_BORDER, false);
  const Rect work = get_work_area();
  int x = std::max(work.left, std::min(how.at.x, work.right - r.width()));
  int y = std::max(work.top, std::min(how.at.y, work.bottom - r.height()));
  Wnd w = create_window(0, kClassName, "", WS_POPUP | WS_BORDER, x, y, r.width(), r.height(), how.owner, 0, &d);
  if (!w) return kPopupClosed;
  show_window(w, SW_SHOWNA);
  set_capture(w);
  const intptr_t code = run_modal_loop(w, kPopupCancelAll, close_popup, popup_filter);
  if (get_capture() == w) release_capture();
  destroy_window(w);
  return code;
}

unsigned show_popup_window(Menu popup, Wnd owner, Point screen) {
  PopupOpen how;
  how.menu = popup;
  how.owner = owner;
  how.at = screen;
  const intptr_t code = run_popup_window(how);
  return code > 0 ? unsigned(code) : 0;
}

}  // namespace ui_detail

}  // namespace plat
