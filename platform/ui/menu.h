// Menus built at run time: menu bars of top-level windows and popup menus.
//
// Items are found by position (MF_BYPOSITION) or by command id (MF_BYCOMMAND, which
// also searches the popups hanging from the menu). A menu bar is drawn in the window's
// non-client area; opening one of its popups (a click on the bar, the keyboard, or
// menu_choose_command) sends WM_INITMENUPOPUP first, and choosing an enabled item
// posts WM_COMMAND with the item's id. Grey or disabled items choose nothing.
// The keyboard reaches the bar as on every desktop: F10 opens the first menu, Alt
// pressed alone selects the bar, Alt+letter opens the menu of that mnemonic ("&"),
// arrows move, Enter chooses, Escape closes (see menu_popup.cpp and menu_track.cpp).
// Headless, popups are answered by the popup chooser (the test harness sets it).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/types.h"

namespace plat {

constexpr unsigned MF_STRING = 0x0000;
constexpr unsigned MF_ENABLED = 0x0000;
constexpr unsigned MF_UNCHECKED = 0x0000;
constexpr unsigned MF_BYCOMMAND = 0x0000;
constexpr unsigned MF_GRAYED = 0x0001;
constexpr unsigned MF_DISABLED = 0x0002;
constexpr unsigned MF_BITMAP = 0x0004;
constexpr unsigned MF_CHECKED = 0x0008;
constexpr unsigned MF_POPUP = 0x0010;
constexpr unsigned MF_MENUBARBREAK = 0x0020;
constexpr unsigned MF_MENUBREAK = 0x0040;
constexpr unsigned MF_HILITE = 0x0080;
constexpr unsigned MF_OWNERDRAW = 0x0100;
constexpr unsigned MF_BYPOSITION = 0x0400;
constexpr unsigned MF_SEPARATOR = 0x0800;
constexpr unsigned MF_DEFAULT = 0x1000;
constexpr unsigned MF_RIGHTJUSTIFY = 0x4000;

// track_popup_menu flags.
constexpr unsigned TPM_LEFTALIGN = 0x0000;
constexpr unsigned TPM_RIGHTBUTTON = 0x0002;
constexpr unsigned TPM_NONOTIFY = 0x0080;
constexpr unsigned TPM_RETURNCMD = 0x0100;

constexpr unsigned MENU_NOT_FOUND = 0xFFFFFFFFu;

Menu create_menu();        // a menu bar
Menu create_popup_menu();  // a popup
bool is_menu(Menu menu);
// Destroys the menu and the popups hanging from it.
bool destroy_menu(Menu menu);

// Inserts before the item found by `where` (a position or command id per MF_BYPOSITION;
// a position past the end, or -1, appends). `id_or_popup` is the command id, or the
// popup Menu (cast to uintptr_t) with MF_POPUP. `text` is UTF-8 ('&' marks a mnemonic,
// '\t' separates the shortcut shown at the right); ignored for separators.
bool insert_menu(Menu menu, unsigned where, unsigned flags, uintptr_t id_or_popup,
                 const char* text);
bool append_menu(Menu menu, unsigned flags, uintptr_t id_or_popup, const char* text);
// Removes an item; delete_menu also destroys a popup hanging from it, remove_menu keeps it.
bool delete_menu(Menu menu, unsigned where, unsigned flags);
bool remove_menu(Menu menu, unsigned where, unsigned flags);

// Return the previous MF_CHECKED / (MF_GRAYED | MF_DISABLED) bits, or MENU_NOT_FOUND.
unsigned check_menu_item(Menu menu, unsigned where, unsigned flags);
unsigned enable_menu_item(Menu menu, unsigned where, unsigned flags);
// The item's flag bits (MF_CHECKED, MF_GRAYED, MF_DISABLED, MF_SEPARATOR, MF_POPUP,
// MF_HILITE); for a popup item the high byte holds the popup's item count.
unsigned get_menu_state(Menu menu, unsigned where, unsigned flags);
int get_menu_item_count(Menu menu);           // -1 for a menu that does not exist
unsigned get_menu_item_id(Menu menu, int pos);  // MENU_NOT_FOUND for a popup or nothing
Menu get_sub_menu(Menu menu, int pos);
std::string get_menu_string(Menu menu, unsigned where, unsigned flags);

// The menu bar of a top-level window (the window's client area shrinks or grows by
// the bar, with WM_SIZE). Setting a new one does not destroy the old one; destroying
// the window destroys its menu.
bool set_menu(Wnd wnd, Menu menu);
Menu get_menu(Wnd wnd);
bool draw_menu_bar(Wnd wnd);
// The screen rectangle of item `pos` of a window's menu bar (`menu` is that bar); false
// for another menu, a position without item, or a separator.
bool get_menu_item_rect(Wnd wnd, Menu menu, unsigned pos, Rect* screen);

// Shows a popup menu at a screen point for `owner` (WM_INITMENUPOPUP first). With
// TPM_RETURNCMD the chosen id is returned (0: none); otherwise WM_COMMAND is posted to
// the owner and the result is true when an item was chosen.
unsigned track_popup_menu(Menu menu, unsigned flags, int x, int y, Wnd owner);
// What opening a popup asks when there is no presenter: given the popup and its owner,
// return the command chosen, or 0 to close it. Without a chooser, nothing is chosen.
void set_popup_chooser(std::function<unsigned(Menu popup, Wnd owner)> chooser);

// Chooses a command of a window's menu bar as a user would: WM_INITMENU, then
// WM_INITMENUPOPUP for each popup on the way to the item, then — when the item exists
// and is neither grey nor disabled and the window is enabled — posts WM_COMMAND.
// Returns whether the command was posted.
bool menu_choose_command(Wnd wnd, unsigned id);

}  // namespace plat
