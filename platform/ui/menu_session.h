// Internal to the window system: working menus on a screen, from the mouse and the
// keyboard. A menu session is the user working a window's menu bar and the popups that
// hang from it (menu_track.cpp), until a command is chosen or the menus close; each
// popup is a window of its own that runs a modal loop (menu_popup.cpp).
//
// Popups take neither the activation nor the keyboard focus: while one runs, its loop
// takes every key message, whichever window it was meant for, and the mouse comes to it
// through the capture. A popup opened from a menu bar knows the bar (BarLink), so that
// Left and Right, a mnemonic of another bar item, or the pointer moving onto another bar
// item end it with a request to the session to open the neighbouring menu.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ui/types.h"

namespace plat::ui_detail {

// How a popup's loop ended, beside a command chosen (a code above 0). The codes below
// 0 reach up through the popups opened from one another to the first of them.
constexpr intptr_t kPopupClosed = 0;      // this popup closed (Escape, Left in a submenu)
constexpr intptr_t kPopupCancelAll = -1;  // every menu of the session closes
constexpr intptr_t kPopupLeft = -2;       // the bar's menu to the left opens instead
constexpr intptr_t kPopupRight = -3;      // the bar's menu to the right opens instead
constexpr intptr_t kPopupToBarItem = -4;  // the bar item BarLink::switch_to opens instead

// What a popup opened from a menu bar knows of it.
struct BarLink {
  Wnd wnd = nullptr;   // the window whose bar it is
  int index = -1;      // position of the bar item whose menu this is
  int switch_to = -1;  // with kPopupToBarItem: the bar item to open
  bool switch_by_key = false;  // ... chosen from the keyboard (its first item then lit)
};

struct PopupOpen {
  Menu menu = nullptr;
  Wnd owner = nullptr;      // gets WM_INITMENUPOPUP for the popups opened from this one
  Point at;                 // top-left corner on the screen
  bool select_first = false;  // opened from the keyboard: the first choosable item is lit
  BarLink* bar = nullptr;     // opened from a menu bar, else null
  Wnd parent = nullptr;       // the popup this one was opened from, else null
};

// Shows the popup as a window and runs it: the command chosen or a kPopup code.
intptr_t run_popup_window(const PopupOpen& how);
// Headless, the popup chooser stands for the user: false when none is set, else true
// with the enabled command it chose (0: none) in *id, after WM_INITMENUPOPUP for the
// popups on the way to it.
bool popup_chooser_answer(Menu popup, Wnd owner, unsigned* id);

// The letter that "&" marks in a menu text, lower-cased; 0 for none ("&&" is a plain '&').
char16_t menu_mnemonic(const std::u16string& text);

// The position of the item of `wnd`'s menu bar under a screen point, or -1.
int bar_item_at(Wnd wnd, Point screen);
// The position of the bar item whose mnemonic is `ch` and that can be opened, or -1.
int bar_item_with_mnemonic(Wnd wnd, char16_t ch);

// Menu sessions on a window's bar (user-interface thread). A press on bar item `pos`
// (its popup stays open after the click); the keyboard's way in: `ch` 0 selects the bar
// (Alt alone), kKeyMenuFirst opens its first menu (F10), a letter opens the menu of its
// mnemonic (Alt+letter).
constexpr char16_t kKeyMenuFirst = 0xFFFF;
void menu_bar_press(Wnd wnd, int pos);
void menu_bar_key(Wnd wnd, char16_t ch);

}  // namespace plat::ui_detail
