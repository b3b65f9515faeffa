// Menu sessions on a window's menu bar: the user working the bar and its menus with the
// mouse or the keyboard, from the way in (a press on a bar item, F10, Alt alone,
// Alt+letter) until a command is chosen or the menus close.
//
// A session sends WM_INITMENU once, lights the bar item it is on, and then either works
// that item's menu (WM_INITMENUPOPUP, then the popup window, or the popup chooser when
// one is set) or, with no menu open, the bar itself (after Alt alone, or on an item that
// opens no menu): Left and Right move along the bar, Down, Up or Enter open the lit
// item, a letter opens the item of that mnemonic, Escape, F10 or Alt alone leave, and a
// press on a bar item opens it. Moving from one menu to the next (Left, Right, another
// bar item under the pointer) stays in the session. The command chosen is posted
// (WM_COMMAND) once the menus are closed.
//
// Grey items of the bar are passed over by Left and Right and never open.
#include <vector>

#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/menu_session.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

bool g_session_running = false;  // one session at a time (user-interface thread)

struct BarEntry {
  int pos = -1;    // position in the bar's menu
  Rect r;          // on the screen
  unsigned flags = 0;
  Menu popup = nullptr;
  unsigned id = 0;
  char16_t mnemonic = 0;
};

std::vector<BarEntry> bar_entries(Wnd wnd) {
  std::vector<BarEntry> out;
  Guard g;
  WndRec* w = find(wnd);
  MenuRec* m = w ? find_menu(w->menu) : nullptr;
  if (!m) return out;
  const Rect wr = window_rect_on_screen(*w);
  for (const BarItem& it : menu_bar_items(*w, nc_layout(*w).menu_bar)) {
    const MenuItem& item = m->items[size_t(it.pos)];
    BarEntry e;
    e.pos = it.pos;
    e.r = offset_rect(it.r, wr.left, wr.top);
    e.flags = item.flags;
    e.popup = (item.flags & MF_POPUP) ? item.popup : nullptr;
    e.id = unsigned(item.id);
    e.mnemonic = menu_mnemonic(it.text);
    out.push_back(e);
  }
  return out;
}

bool grey(const BarEntry& e) { return e.flags & (MF_GRAYED | MF_DISABLED); }
bool opens(const BarEntry& e) { return e.popup && !grey(e); }

const BarEntry* entry_at(const std::vector<BarEntry>& entries, int pos) {
  for (const BarEntry& e : entries)
    if (e.pos == pos) return &e;
  return nullptr;
}

// The next item along the bar from `pos` in the direction of `step`, round the end,
// passing over grey items; `pos` itself when there is none.
int neighbour(Wnd wnd, int pos, int step) {
  const std::vector<BarEntry> entries = bar_entries(wnd);
  const int n = int(entries.size());
  int at = 0;
  while (at < n && entries[size_t(at)].pos != pos) ++at;
  for (int k = 1; k <= n; ++k) {
    const BarEntry& e = entries[size_t(((at + step * k) % n + n) % n)];
    if (!grey(e)) return e.pos;
  }
  return pos;
}

int first_item(Wnd wnd) {
  for (const BarEntry& e : bar_entries(wnd))
    if (!grey(e)) return e.pos;
  return -1;
}

// Lights one item of the bar (none for -1) and draws the bar again.
void light_bar_item(Wnd wnd, int pos) {
  {
    Guard g;
    WndRec* w = find(wnd);
    MenuRec* m = w ? find_menu(w->menu) : nullptr;
    if (!m) return;
    for (size_t i = 0; i < m->items.size(); ++i) {
      MenuItem& it = m->items[i];
      it.flags = int(i) == pos ? (it.flags | MF_HILITE) : (it.flags & ~MF_HILITE);
    }
  }
  redraw_nonclient(wnd);
}

// What the session does next: end (with a command, or 0), or go on at a bar item,
// with its menu open or not.
struct Step {
  bool done = false;
  unsigned id = 0;
  int pos = -1;
  bool open = false;
  bool by_key = false;
};

Step finish(unsigned id) {
  Step s;
  s.done = true;
  s.id = id;
  return s;
}

// Going on at another item: its menu opens when it has one that may open; a command
// item or a grey one is only lit.
Step go_to(Wnd wnd, int pos, bool by_key) {
  const std::vector<BarEntry> entries = bar_entries(wnd);
  const BarEntry* e = entry_at(entries, pos);
  Step s;
  s.pos = pos;
  s.open = e && opens(*e);
  s.by_key = by_key;
  return s;
}

// Works the menu of a bar item: a command item is chosen, a popup opened and run.
Step work_menu(Wnd wnd, int pos, bool by_key) {
  const std::vector<BarEntry> entries = bar_entries(wnd);
  const BarEntry* found = entry_at(entries, pos);
  if (!found || grey(*found)) return finish(0);
  const BarEntry e = *found;
  if (!e.popup) return finish(e.id);
  send_message(wnd, WM_INITMENUPOPUP, WParam(key_of(e.popup)), make_lparam(pos, 0));
  unsigned id = 0;
  if (popup_chooser_answer(e.popup, wnd, &id)) return finish(id);
  if (!S().presenter.load() || !is_window(wnd)) return finish(0);
  BarLink link;
  link.wnd = wnd;
  link.index = pos;
  PopupOpen how;
  how.menu = e.popup;
  how.owner = wnd;
  how.at = Point{e.r.left, e.r.bottom + 1};
  how.select_first = by_key;
  how.bar = &link;
  const intptr_t code = run_popup_window(how);
  if (code > 0) return finish(unsigned(code));
  if (code == kPopupLeft) return go_to(wnd, neighbour(wnd, pos, -1), true);
  if (code == kPopupRight) return go_to(wnd, neighbour(wnd, pos, 1), true);
  if (code == kPopupToBarItem) return go_to(wnd, link.switch_to, link.switch_by_key);
  return finish(0);
}

// ---- The bar with no menu open -----------------------------------------------------------

constexpr intptr_t kBarLeave = 0, kBarOpenByKey = 1, kBarOpenByMouse = 2, kBarChoose = 3;

struct BarMode {
  Wnd wnd = nullptr;
  int pos = -1;
};
BarMode* g_bar = nullptr;  // the bar being worked (user-interface thread)

// Down, Up or Enter on the lit item: its menu opens, or its command is chosen.
void open_lit_item(BarMode& b) {
  const std::vector<BarEntry> entries = bar_entries(b.wnd);
  const BarEntry* e = entry_at(entries, b.pos);
  if (!e || grey(*e)) return;
  end_modal(b.wnd, e->popup ? kBarOpenByKey : kBarChoose);
}

void bar_key(BarMode& b, const Msg& m) {
  switch (int(m.wparam)) {
    case VK_LEFT:
    case VK_RIGHT:
      b.pos = neighbour(b.wnd, b.pos, int(m.wparam) == VK_LEFT ? -1 : 1);
      light_bar_item(b.wnd, b.pos);
      break;
    case VK_DOWN:
    case VK_UP:
    case VK_RETURN: open_lit_item(b); break;
    case VK_ESCAPE:
    case VK_F10: end_modal(b.wnd, kBarLeave); break;
    case VK_MENU: break;  // Alt leaves on its release, when pressed alone
    default: translate_message(&m); break;  // letters come back as characters
  }
}

void bar_letter(BarMode& b, char16_t ch) {
  if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
  const int pos = bar_item_with_mnemonic(b.wnd, ch);
  if (pos < 0) return;
  b.pos = pos;
  open_lit_item(b);
}

bool is_press(uint32_t msg) {
  switch (msg) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: return true;
    default: return false;
  }
}

// While the bar is worked, every key message is its own; a press on one of its items
// opens that item, a press anywhere else leaves the bar and goes where it was meant to.
bool bar_filter(Wnd modal, const Msg* m) {
  BarMode* b = g_bar;
  if (!b || !m || modal != b->wnd) return false;
  switch (m->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: bar_key(*b, *m); return true;
    case WM_CHAR:
    case WM_SYSCHAR: bar_letter(*b, char16_t(m->wparam)); return true;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (int(m->wparam) == VK_MENU && alt_pressed_alone()) end_modal(b->wnd, kBarLeave);
      return true;
    default: break;
  }
  if (!is_press(m->message)) return false;
  if (m->message == WM_NCLBUTTONDOWN && m->wnd == b->wnd && int(m->wparam) == HTMENU) {
    const int pos = bar_item_at(b->wnd, Point{x_of_lparam(m->lparam), y_of_lparam(m->lparam)});
    if (pos >= 0) {
      b->pos = pos;
      end_modal(b->wnd, kBarOpenByMouse);
      return true;
    }
  }
  end_modal(b->wnd, kBarLeave);
  return false;
}

void leave_bar(Wnd wnd) { end_modal(wnd, kBarLeave); }

Step work_bar(Wnd wnd, int pos) {
  BarMode b;
  b.wnd = wnd;
  b.pos = pos;
  BarMode* outer = g_bar;
  g_bar = &b;
  const intptr_t code = run_modal_loop(wnd, kBarLeave, leave_bar, bar_filter);
  g_bar = outer;
  if (code == kBarOpenByKey) return go_to(wnd, b.pos, true);
  if (code == kBarOpenByMouse) {
    Step s;
    s.pos = b.pos;
    s.open = true;
    return s;
  }
  if (code == kBarChoose) {
    const std::vector<BarEntry> entries = bar_entries(wnd);
    const BarEntry* e = entry_at(entries, b.pos);
    return finish(e && !grey(*e) && !e->popup ? e->id : 0);
  }
  return finish(0);
}

// ---- The session ----------------------------------------------------------------------------

void run_session(Wnd wnd, int pos, bool open, bool by_key) {
  Menu bar = get_menu(wnd);
  if (g_session_running || !bar || pos < 0 || !is_window_enabled(wnd)) return;
  g_session_running = true;
  send_message(wnd, WM_INITMENU, WParam(key_of(bar)), 0);
  Step step;
  step.pos = pos;
  step.open = open;
  step.by_key = by_key;
  while (!step.done) {
    if (!is_window(wnd) || get_menu(wnd) != bar || step.pos < 0) {
      step = finish(0);
      break;
    }
    light_bar_item(wnd, step.pos);
    step = step.open ? work_menu(wnd, step.pos, step.by_key) : work_bar(wnd, step.pos);
  }
  if (is_window(wnd)) light_bar_item(wnd, -1);
  g_session_running = false;
  if (step.id && is_window(wnd)) post_message(wnd, WM_COMMAND, make_wparam(int(step.id), int(CMD_FROM_MENU)), 0);
}

}  // namespace

namespace ui_detail {

int bar_item_at(Wnd wnd, Point screen) {
  for (const BarEntry& e : bar_entries(wnd))
    if (e.r.contains(screen)) return e.pos;
  return -1;
}

int bar_item_with_mnemonic(Wnd wnd, char16_t ch) {
  if (!ch) return -1;
  for (const BarEntry& e : bar_entries(wnd))
    if (e.mnemonic == ch && !grey(e)) return e.pos;
  return -1;
}

void menu_bar_press(Wnd wnd, int pos) { run_session(wnd, pos, true, false); }

void menu_bar_key(Wnd wnd, char16_t ch) {
  if (ch == 0) {
    run_session(wnd, first_item(wnd), false, true);
  } else if (ch == kKeyMenuFirst) {
    const int pos = first_item(wnd);
    run_session(wnd, pos, go_to(wnd, pos, true).open, true);
  } else {
    if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
    run_session(wnd, bar_item_with_mnemonic(wnd, ch), true, true);
  }
}

bool menu_bar_click(Wnd wnd, Point window_pt) {
  Rect wr;
  if (!get_window_rect(wnd, &wr)) return false;
  const int pos = bar_item_at(wnd, Point{wr.left + window_pt.x, wr.top + window_pt.y});
  if (pos < 0) return false;
  menu_bar_press(wnd, pos);
  return true;
}

}  // namespace ui_detail

}  // namespace plat
