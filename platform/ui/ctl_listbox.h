// The list box control ("ListBox"): a column of UTF-16 strings, each with a data word,
// with a single selection, or several (LBS_MULTIPLESEL: a click or Space toggles an
// item; LBS_EXTENDEDSEL: a click selects one item, Ctrl+click toggles, Shift+click and
// Shift+arrows select a range). LBS_SORT keeps the strings in order, case ignored.
// The vertical scroll bar of a list box made with WS_VSCROLL shows only while the
// items do not all fit (always, greyed when they do, with LBS_DISABLENOSCROLL).
//
// Notifications (WM_COMMAND), with LBS_NOTIFY only: LBN_SELCHANGE when the user's click
// or key changed the selection (once per click, when the button is released),
// LBN_DBLCLK for a double click on an item. LBN_SETFOCUS and LBN_KILLFOCUS come always.
// Messages change the selection without raising anything.
//
// Colours: WM_CTLCOLORLISTBOX goes to the parent before painting; a non-zero answer
// is the background brush, the text in the colour the parent set on the context.
//
// Strings travel as const char16_t* (LB_ADDSTRING, LB_INSERTSTRING, the find and select
// messages) and come back into a caller's buffer of LB_GETTEXTLEN + 1 units (LB_GETTEXT).
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// Styles.
constexpr uint32_t LBS_NOTIFY = 0x0001;
constexpr uint32_t LBS_SORT = 0x0002;
constexpr uint32_t LBS_MULTIPLESEL = 0x0008;
constexpr uint32_t LBS_HASSTRINGS = 0x0040;
constexpr uint32_t LBS_NOINTEGRALHEIGHT = 0x0100;
constexpr uint32_t LBS_EXTENDEDSEL = 0x0800;
constexpr uint32_t LBS_DISABLENOSCROLL = 0x1000;
constexpr uint32_t LBS_STANDARD = 0x00A00003u;  // LBS_NOTIFY | LBS_SORT | WS_VSCROLL | WS_BORDER

// Messages. An index is wParam unless said otherwise; LB_ERR answers a bad one.
constexpr uint32_t LB_ADDSTRING = 0x0180;      // lParam text; returns its index
constexpr uint32_t LB_INSERTSTRING = 0x0181;   // wParam index (-1: at the end), lParam text (never sorted)
constexpr uint32_t LB_DELETESTRING = 0x0182;   // returns the count left
constexpr uint32_t LB_RESETCONTENT = 0x0184;
constexpr uint32_t LB_SETSEL = 0x0185;         // multiple selection: wParam select, lParam index (-1: all)
constexpr uint32_t LB_SETCURSEL = 0x0186;      // single selection: wParam index (-1: none)
constexpr uint32_t LB_GETSEL = 0x0187;         // > 0 when selected
constexpr uint32_t LB_GETCURSEL = 0x0188;      // the selected item (multiple: the focus item)
constexpr uint32_t LB_GETTEXT = 0x0189;        // lParam char16_t*; returns the length
constexpr uint32_t LB_GETTEXTLEN = 0x018A;
constexpr uint32_t LB_GETCOUNT = 0x018B;
constexpr uint32_t LB_SELECTSTRING = 0x018C;   // wParam start as LB_FINDSTRING, lParam text
constexpr uint32_t LB_GETTOPINDEX = 0x018E;
constexpr uint32_t LB_FINDSTRING = 0x018F;     // wParam the item before the first looked at (-1: all),
                                               // lParam a prefix; case ignored, going round
constexpr uint32_t LB_GETSELCOUNT = 0x0190;    // multiple selection only
constexpr uint32_t LB_GETSELITEMS = 0x0191;    // wParam room, lParam int*; returns the count written
constexpr uint32_t LB_SETTOPINDEX = 0x0197;
constexpr uint32_t LB_GETITEMRECT = 0x0198;    // lParam Rect* (client coordinates)
constexpr uint32_t LB_GETITEMDATA = 0x0199;
constexpr uint32_t LB_SETITEMDATA = 0x019A;    // lParam the data word
constexpr uint32_t LB_SETCARETINDEX = 0x019E;
constexpr uint32_t LB_GETCARETINDEX = 0x019F;
constexpr uint32_t LB_GETITEMHEIGHT = 0x01A1;
constexpr uint32_t LB_FINDSTRINGEXACT = 0x01A2;  // as LB_FINDSTRING, the whole text

constexpr int LB_OKAY = 0;
constexpr int LB_ERR = -1;

// Notifications (WM_COMMAND).
constexpr int LBN_ERRSPACE = -2;
constexpr int LBN_SELCHANGE = 1;
constexpr int LBN_DBLCLK = 2;
constexpr int LBN_SELCANCEL = 3;
constexpr int LBN_SETFOCUS = 4;
constexpr int LBN_KILLFOCUS = 5;

}  // namespace plat
