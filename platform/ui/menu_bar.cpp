// Menus in use: the menu bar of a top-level window (attached, laid out and drawn in the
// non-client area), popup menus (track_popup_menu), and choosing a command the way a
// user does: WM_INITMENU and WM_INITMENUPOPUP first, so that the program can bring the
// items' states up to date, then WM_COMMAND when the item is neither grey nor disabled.
// Working the bar with the mouse and the keyboard is menu_track.cpp's.
//
// Headless, the popup chooser answers which command an opened popup gives.
#include <algorithm>

#include "platform/ui/menu.h"
#include "platform/ui/menu_session.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kBarItemPadding = 14;

// The popups from `m` down to the item with this command (each with its position in
// its parent), or false when no enabled or disabled item has the id.
bool path_to(Menu m, unsigned id, std::vector<std::pair<Menu, int>>& path, int depth = 0) {
  MenuRec* rec = find_menu(m);
  if (!rec || depth > 32) return false;
  for (size_t i = 0; i < rec->items.size(); ++i) {
    const MenuItem& it = rec->items[i];
    if (!(it.flags & (MF_POPUP | MF_SEPARATOR)) && it.id == id) return true;
  }
  for (size_t i = 0; i < rec->items.size(); ++i) {
    const MenuItem& it = rec->items[i];
    if (!(it.flags & MF_POPUP)) continue;
    path.emplace_back(it.popup, int(i));
    if (path_to(it.popup, id, path, depth + 1)) return true;
    path.pop_back();
  }
  return false;
}

// The state of the command's item, searched from `m`: true when it can be chosen.
bool command_enabled(Menu m, unsigned id) {
  unsigned state = get_menu_state(m, id, MF_BYCOMMAND);
  return state != MENU_NOT_FOUND && !(state & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR | MF_POPUP));
}

// Sends WM_INITMENUPOPUP for each popup on the way from `root` to the command.
void init_popups_to(Wnd owner, Menu root, unsigned id) {
  std::vector<std::pair<Menu, int>> path;
  {
    Guard g;
    if (!path_to(root, id, path)) return;
  }
  for (auto& [popup, pos] : path) send_message(owner, WM_INITMENUPOPUP, WParam(key_of(popup)), make_lparam(pos, 0));
}

// Asks for a command from an opened popup: the popup chooser when one is set, else
// the popup window when a presenter shows one, else nothing. Returns the command when
// it is one of the popup's enabled items, else 0.
unsigned choose_from(Menu popup, Wnd owner, Point screen) {
  unsigned id = 0;
  if (popup_chooser_answer(popup, owner, &id)) return id;
  if (S().presenter.load()) id = show_popup_window(popup, owner, screen);
  return id && command_enabled(popup, id) ? id : 0;
}

bool post_command(Wnd wnd, unsigned id) {
  return post_message(wnd, WM_COMMAND, make_wparam(int(id), int(CMD_FROM_MENU)), 0);
}

}  // namespace

namespace ui_detail {

std::vector<BarItem> menu_bar_items(const WndRec& w, const Rect& bar) {
  std::vector<BarItem> out;
  MenuRec* m = find_menu(w.menu);
  if (!m) return out;
  int x = bar.left + 2;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem& it = m->items[i];
    if (it.flags & MF_SEPARATOR) continue;
    std::u16string label = it.text.substr(0, it.text.find(u'\t'));
    int width = text_width(label) + kBarItemPadding;
    out.push_back(BarItem{Rect{x, bar.top + 1, x + width, bar.bottom - 1}, label, it.flags, int(i)});
    x += width;
  }
  return out;
}

void draw_menu_bar_items(Dc dc, const Rect& bar, const std::vector<BarItem>& items) {
  fill_solid(dc, bar, get_sys_color(COLOR_MENU));
  const int th = text_height();
  for (const BarItem& it : items) {
    const bool hot = it.flags & MF_HILITE;
    if (hot) fill_solid(dc, it.r, get_sys_color(COLOR_HIGHLIGHT));
    int color = (it.flags & (MF_GRAYED | MF_DISABLED)) ? COLOR_GRAYTEXT : hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT;
    draw_label(dc, it.r.left + kBarItemPadding / 2, it.r.top + (it.r.height() - th) / 2, it.text, get_sys_color(color));
  }
}

bool popup_chooser_answer(Menu popup, Wnd owner, unsigned* id) {
  std::function<unsigned(Menu, Wnd)> chooser;
  {
    Guard g;
    chooser = S().popup_chooser;
  }
  if (!chooser) return false;
  unsigned chosen = chooser(popup, owner);
  if (chosen) init_popups_to(owner, popup, chosen);
  *id = chosen && command_enabled(popup, chosen) ? chosen : 0;
  return true;
}

}  // namespace ui_detail

bool set_menu(Wnd wnd, Menu menu) {
  return run_on_ui([&]() -> LResult {
           {
             Guard g;
             WndRec* w = find(wnd);
             if (!w || !is_top(*w) || (menu && !find_menu(menu))) return 0;
             if (MenuRec* old = find_menu(w->menu)) old->owner_window = nullptr;
             w->menu = menu;
             if (MenuRec* m = find_menu(menu)) m->owner_window = wnd;
             NcLayout l = nc_layout(*w);
             invalidate_locked(w, Region(Rect{0, 0, l.client.width(), l.client.height()}), true);
           }
           redraw_nonclient(wnd);
           sync_geometry_messages(wnd, SIZE_RESTORED, false);
           return 1;
         }) != 0;
}

Menu get_menu(Wnd wnd) {
  Guard g;
  WndRec* w = find(wnd);
  return w && find_menu(w->menu) ? w->menu : nullptr;
}

bool get_menu_item_rect(Wnd wnd, Menu menu, unsigned pos, Rect* screen) {
  Guard g;
  WndRec* w = find(wnd);
  if (!w || !menu || w->menu != menu || !find_menu(menu) || !screen) return false;
  const Rect wr = window_rect_on_screen(*w);
  for (const BarItem& it : menu_bar_items(*w, nc_layout(*w).menu_bar))
    if (it.pos == int(pos)) {
      *screen = offset_rect(it.r, wr.left, wr.top);
      return true;
    }
  return false;
}

bool draw_menu_bar(Wnd wnd) {
  if (!get_menu(wnd)) return false;
  run_on_ui([&]() -> LResult {
    redraw_nonclient(wnd);
    return 0;
  });
  return true;
}

unsigned track_popup_menu(Menu menu, unsigned flags, int x, int y, Wnd owner) {
  return unsigned(run_on_ui([&]() -> LResult {
    if (!is_menu(menu) || !is_window(owner)) return 0;
    if (!(flags & TPM_NONOTIFY)) send_message(owner, WM_INITMENUPOPUP, WParam(key_of(menu)), make_lparam(0, 0));
    unsigned id = choose_from(menu, owner, Point{x, y});
    if (flags & TPM_RETURNCMD) return LResult(id);
    return id && post_command(owner, id) ? 1 : 0;
  }));
}

void set_popup_chooser(std::function<unsigned(Menu, Wnd)> chooser) {
  Guard g;
  S().popup_chooser = std::move(chooser);
}

bool menu_choose_command(Wnd wnd, unsigned id) {
  return run_on_ui([&]() -> LResult {
           Menu bar = get_menu(wnd);
           if (!bar || !is_window_enabled(wnd)) return 0;
           send_message(wnd, WM_INITMENU, WParam(key_of(bar)), 0);
           init_popups_to(wnd, bar, id);
           if (!is_window(wnd) || get_menu(wnd) != bar || !command_enabled(bar, id)) return 0;
           // A popup on the way that is itself grey cannot be opened.
           std::vector<std::pair<Menu, int>> path;
           {
             Guard g;
             path_to(bar, id, path);
           }
           Menu parent = bar;
           for (auto& [popup, pos] : path) {
             unsigned st = get_menu_state(parent, unsigned(pos), MF_BYPOSITION);
             if (st == MENU_NOT_FOUND || (st & (MF_GRAYED | MF_DISABLED))) return 0;
             parent = popup;
           }
           return post_command(wnd, id);
         }) != 0;
}

}  // namespace plat
