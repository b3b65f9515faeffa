// The combo box control ("ComboBox"): a selection field over a list of UTF-16 strings,
// each with a data word.
//   CBS_SIMPLE        an edit field with the list always shown under it
//   CBS_DROPDOWN      an edit field and a button that drops the list down
//   CBS_DROPDOWNLIST  a field showing the selected string and the button
// The edit field is an "Edit" control, a child of the combo box with the id 1001.
// The dropped list is a top-level window of the class "ComboLBox" under the combo box
// (above it when the screen has no room below), as tall as the height the combo box
// was given beyond its field (eight rows when none was), never taller than its items.
// While it is open the combo box holds the mouse capture and works the list itself,
// so the dialog keeps the activation and the combo box the focus. A combo box keeps
// the height of its field: the height it is given is the room of its list.
//
// The user's actions and what they raise (WM_COMMAND to the parent):
//   focus coming into the combo box (or its edit field)   CBN_SETFOCUS
//   focus leaving it (an open list closes first, cancelled) CBN_KILLFOCUS
//   a click on the button (or the field of a drop-down list), F4, Alt+Down
//                                                          CBN_DROPDOWN, then it opens
//   a click on an item of the open list                    CBN_SELENDOK, CBN_CLOSEUP,
//                                                          then CBN_SELCHANGE if it changed
//   Up, Down, Page Up, Page Down (and Home, End, Left, Right in a drop-down list)
//                                                          CBN_SELCHANGE when it changed
//   Enter, F4 or Alt+Up with the list open                 CBN_SELENDOK, CBN_CLOSEUP
//   Escape, a click elsewhere, or the button again         CBN_SELENDCANCEL, CBN_CLOSEUP
//   typing in the edit field                               CBN_EDITUPDATE, CBN_EDITCHANGE
//   a click on an item of a simple combo's list             CBN_SELCHANGE when it changed
//   a double click there                                   CBN_DBLCLK
// Messages raise nothing: CB_SETCURSEL, CB_SELECTSTRING, CB_SHOWDROPDOWN, WM_SETTEXT
// and the others change the combo box quietly.
//
// WM_GETTEXT gives the edit field's text, or the selected string of a drop-down list
// ("" with no selection). WM_SETTEXT sets the edit field's text, or selects the string
// of a drop-down list that equals it (CB_ERR when none does). EM_GETSEL and EM_SETSEL
// go to the edit field, so that a dialog selects its text when it tabs to it.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// The class of the dropped list window.
inline constexpr const char* kComboListClass = "ComboLBox";
// The id of the edit field inside a combo box.
constexpr int kComboEditId = 1001;

// Styles.
constexpr uint32_t CBS_SIMPLE = 0x0001;
constexpr uint32_t CBS_DROPDOWN = 0x0002;
constexpr uint32_t CBS_DROPDOWNLIST = 0x0003;
constexpr uint32_t CBS_TYPEMASK = 0x0003;
constexpr uint32_t CBS_AUTOHSCROLL = 0x0040;
constexpr uint32_t CBS_SORT = 0x0100;
constexpr uint32_t CBS_HASSTRINGS = 0x0200;
constexpr uint32_t CBS_NOINTEGRALHEIGHT = 0x0400;
constexpr uint32_t CBS_UPPERCASE = 0x2000;
constexpr uint32_t CBS_LOWERCASE = 0x4000;

// Messages. An index is wParam unless said otherwise; CB_ERR answers a bad one.
constexpr uint32_t CB_LIMITTEXT = 0x0141;      // wParam: the edit field's limit
constexpr uint32_t CB_ADDSTRING = 0x0143;      // lParam text; returns its index (sorted with CBS_SORT)
constexpr uint32_t CB_DELETESTRING = 0x0144;   // returns the count left
constexpr uint32_t CB_GETCOUNT = 0x0146;
constexpr uint32_t CB_GETCURSEL = 0x0147;      // CB_ERR when nothing is selected
constexpr uint32_t CB_GETLBTEXT = 0x0148;      // lParam char16_t* of CB_GETLBTEXTLEN + 1 units
constexpr uint32_t CB_GETLBTEXTLEN = 0x0149;
constexpr uint32_t CB_INSERTSTRING = 0x014A;   // wParam index (-1: at the end), lParam text
constexpr uint32_t CB_RESETCONTENT = 0x014B;   // the edit field is emptied too
constexpr uint32_t CB_FINDSTRING = 0x014C;     // wParam the item before the first looked at (-1: all),
                                               // lParam a prefix; case ignored, going round
constexpr uint32_t CB_SELECTSTRING = 0x014D;   // as CB_FINDSTRING, then selects it; CB_ERR and
                                               // the selection kept when none matches
constexpr uint32_t CB_SETCURSEL = 0x014E;      // wParam index; -1 or a bad one: nothing (CB_ERR)
constexpr uint32_t CB_SHOWDROPDOWN = 0x014F;   // wParam: open or close
constexpr uint32_t CB_GETITEMDATA = 0x0150;
constexpr uint32_t CB_SETITEMDATA = 0x0151;    // lParam the data word
constexpr uint32_t CB_GETDROPPEDCONTROLRECT = 0x0152;  // lParam Rect*: the list's, on the screen
constexpr uint32_t CB_GETITEMHEIGHT = 0x0154;  // wParam -1: the field's height
constexpr uint32_t CB_GETDROPPEDSTATE = 0x0157;
constexpr uint32_t CB_FINDSTRINGEXACT = 0x0158;  // as CB_FINDSTRING, the whole text
constexpr uint32_t CB_GETTOPINDEX = 0x015B;
constexpr uint32_t CB_SETTOPINDEX = 0x015C;

constexpr int CB_OKAY = 0;
constexpr int CB_ERR = -1;

// Notifications (WM_COMMAND).
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_DBLCLK = 2;
constexpr int CBN_SETFOCUS = 3;
constexpr int CBN_KILLFOCUS = 4;
constexpr int CBN_EDITCHANGE = 5;
constexpr int CBN_EDITUPDATE = 6;
constexpr int CBN_DROPDOWN = 7;
constexpr int CBN_CLOSEUP = 8;
constexpr int CBN_SELENDOK = 9;
constexpr int CBN_SELENDCANCEL = 10;

}  // namespace plat
