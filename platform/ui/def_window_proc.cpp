// The default window procedure: what a window does with a message its own procedure
// hands on. Each message with a default behaviour has a small routine; everything
// else answers 0.
#include <algorithm>
#include <cstring>

#include "platform/ui/cursor.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu_session.h"
#include "platform/ui/paint.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace ui_detail {

bool erase_background(Wnd wnd, Dc dc) {
  Brush brush = nullptr;
  int sys = -1;
  Rect client;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w || !dc) return false;
    brush = w->cls->cls.background;
    sys = w->cls->cls.background_sys_color;
    Rect c = nc_layout(*w).client;
    client = Rect{0, 0, c.width(), c.height()};
  }
  if (brush) {
    fill_rect(dc, client, brush);
    return true;
  }
  if (sys < 0) return false;
  Brush b = create_solid_brush(get_sys_color(sys));
  fill_rect(dc, client, b);
  delete_object(b);
  return true;
}

}  // namespace ui_detail

namespace {

LResult on_nccreate(Wnd wnd, LParam lp) {
  const auto* cs = reinterpret_cast<const CreateStruct*>(lp);
  Guard g;
  if (WndRec* w = find(wnd)) w->text = cs && cs->name ? std::u16string(cs->name) : std::u16string();
  return 1;
}

LResult on_settext(Wnd wnd, LParam lp) {
  const auto* text = reinterpret_cast<const char16_t*>(lp);
  std::u16string t = text ? std::u16string(text) : std::u16string();
  bool top;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return 0;
    w->text = t;
    top = is_top(*w);
  }
  if (top) {
    redraw_nonclient(wnd);
    if (Presenter* p = S().presenter.load()) p->window_retitled(wnd, t);
  }
  return 1;
}

LResult on_gettext(Wnd wnd, WParam wp, LParam lp) {
  auto* buf = reinterpret_cast<char16_t*>(lp);
  if (!buf || wp == 0) return 0;
  Guard g;
  WndRec* w = find(wnd);
  if (!w) {
    buf[0] = 0;
    return 0;
  }
  size_t n = std::min(w->text.size(), size_t(wp) - 1);
  std::memcpy(buf, w->text.data(), n * sizeof(char16_t));
  buf[n] = 0;
  return LResult(n);
}

LResult on_gettextlength(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w ? LResult(w->text.size()) : 0;
}

LResult on_paint(Wnd wnd) {
  PaintStruct ps;
  if (begin_paint(wnd, &ps)) end_paint(wnd, &ps);
  return 0;
}

LResult on_setcursor(Wnd wnd, WParam wp, LParam lp) {
  Wnd parent = nullptr;
  Cursor cls_cursor = nullptr;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (!w) return 0;
    if (!is_top(*w)) parent = w->parent;
    cls_cursor = w->cls->cls.cursor;
  }
  // The parent has the first say, so a frame can show one cursor over all its children.
  if (parent && send_message(parent, WM_SETCURSOR, wp, lp)) return 1;
  int hit = int(int16_t(uint16_t(loword(uintptr_t(lp)))));
  if (hit == HTCLIENT) {
    if (!cls_cursor) return 0;
    set_cursor(cls_cursor);
    return 1;
  }
  if (hit > 0) {
    set_cursor(load_cursor(IDC_ARROW));
    return 1;
  }
  return 0;
}

LResult on_syscommand(Wnd wnd, WParam wp, LParam lp) {
  switch (unsigned(wp) & 0xFFF0u) {
    case SC_CLOSE: send_message(wnd, WM_CLOSE, 0, 0); break;
    case SC_MINIMIZE: show_window(wnd, SW_MINIMIZE); break;
    case SC_MAXIMIZE: show_window(wnd, SW_MAXIMIZE); break;
    case SC_RESTORE: show_window(wnd, SW_RESTORE); break;
    case SC_KEYMENU: menu_bar_key(wnd, char16_t(lp)); break;
    default: break;
  }
  return 0;
}

LResult to_parent(Wnd wnd, uint32_t msg, WParam wp, LParam lp) {
  Wnd parent = nullptr;
  {
    Guard g;
    WndRec* w = find(wnd);
    if (w && !is_top(*w)) parent = w->parent;
  }
  return parent ? send_message(parent, msg, wp, lp) : 0;
}

Point window_point_of(Wnd wnd, LParam lp) {
  Guard g;
  WndRec* w = find(wnd);
  Point p{x_of_lparam(lp), y_of_lparam(lp)};
  if (!w) return p;
  Rect r = window_rect_on_screen(*w);
  return Point{p.x - r.left, p.y - r.top};
}

LResult on_nchittest(Wnd wnd, LParam lp) {
  Point p = window_point_of(wnd, lp);
  Guard g;
  WndRec* w = find(wnd);
  return w ? hit_test(*w, p) : HTNOWHERE;
}

LResult on_nclbuttondown(Wnd wnd, WParam wp, LParam lp) {
  const int hit = int(intptr_t(wp));
  Point p = window_point_of(wnd, lp);
  switch (hit) {
    case HTVSCROLL:
    case HTHSCROLL: bar_click(wnd, hit, p); break;
    case HTMENU: menu_bar_click(wnd, p); break;
    case HTCLOSE: send_message(wnd, WM_SYSCOMMAND, SC_CLOSE, lp); break;
    default: break;
  }
  return 0;
}

// The keyboard's ways into the menu bar go to the top-level window as SC_KEYMENU, as
// the window's own system command: F10 opens the first menu, Alt pressed and released
// alone selects the bar, Alt+letter opens the menu of that mnemonic.
void key_menu(Wnd wnd, char16_t how) {
  if (Wnd top = get_ancestor(wnd, GA_ROOT)) send_message(top, WM_SYSCOMMAND, SC_KEYMENU, LParam(how));
}

LResult on_syskeydown(Wnd wnd, WParam wp, LParam lp) {
  const bool alt = lp & (LParam(1) << 29), repeat = lp & (LParam(1) << 30);
  // Alt+F4 closes the top-level window.
  if (int(wp) == VK_F4 && alt) {
    Wnd top = get_ancestor(wnd, GA_ROOT);
    if (top) post_message(top, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  if (int(wp) == VK_F10 && !alt && !repeat) key_menu(wnd, kKeyMenuFirst);
  return 0;
}

LResult on_syskeyup(Wnd wnd, WParam wp) {
  if (int(wp) == VK_MENU && alt_pressed_alone()) key_menu(wnd, 0);
  return 0;
}

}  // namespace

LResult def_window_proc(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam) {
  switch (msg) {
    case WM_NCCREATE: return on_nccreate(wnd, lparam);
    case WM_CLOSE: destroy_window(wnd); return 0;
    case WM_PAINT: return on_paint(wnd);
    case WM_ERASEBKGND: return erase_background(wnd, reinterpret_cast<Dc>(wparam)) ? 1 : 0;
    case WM_SETTEXT: return on_settext(wnd, lparam);
    case WM_GETTEXT: return on_gettext(wnd, wparam, lparam);
    case WM_GETTEXTLENGTH: return on_gettextlength(wnd);
    case WM_ACTIVATE:
      if (loword(wparam) != WA_INACTIVE && !hiword(wparam)) set_focus(wnd);
      return 0;
    case WM_SETCURSOR: return on_setcursor(wnd, wparam, lparam);
    case WM_SYSCOMMAND: return on_syscommand(wnd, wparam, lparam);
    case WM_SYSKEYDOWN: return on_syskeydown(wnd, wparam, lparam);
    case WM_SYSKEYUP: return on_syskeyup(wnd, wparam);
    case WM_SYSCHAR: key_menu(wnd, char16_t(wparam)); return 0;
    case WM_MOUSEWHEEL:
    case WM_CONTEXTMENU: return to_parent(wnd, msg, wparam, lparam);
    case WM_NCHITTEST: return on_nchittest(wnd, lparam);
    case WM_NCLBUTTONDOWN: return on_nclbuttondown(wnd, wparam, lparam);
    default: return 0;
  }
}

}  // namespace plat
