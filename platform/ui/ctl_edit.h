// The edit control ("Edit"): single-line and multi-line text fields holding UTF-16
// text, with a caret, a selection, keyboard and mouse editing.
//
// Notifications (WM_COMMAND): a user's edit (typing, Backspace, Delete, EM_REPLACESEL)
// raises EN_UPDATE and then EN_CHANGE and sets the modified flag; setting the text by
// code (WM_SETTEXT, set_window_text) raises the same two and clears the modified flag.
// Selection and caret moves raise nothing. Typing beyond the limit keeps what fits and
// raises EN_MAXTEXT. The focus raises EN_SETFOCUS and EN_KILLFOCUS.
//
// Typed characters are filtered by the style: ES_NUMBER refuses anything but the digits
// 0-9, ES_UPPERCASE and ES_LOWERCASE change the case, ES_READONLY refuses every change
// by the user (the caret and the selection still move). Text set by code is kept as given.
//
// Lines of a multi-line edit end with "\r\n" (Enter types it; a lone "\n" set by code
// also ends a line). Without ES_AUTOHSCROLL a multi-line edit wraps long lines between
// words; a single-line edit always scrolls sideways to follow the caret, and a
// multi-line one scrolls up and down. Enter inside a dialog belongs to the dialog
// unless the edit is multi-line with ES_WANTRETURN.
//
// Colours: WM_CTLCOLOREDIT goes to the parent before painting (WM_CTLCOLORSTATIC for a
// read-only or disabled edit); a non-zero answer is the background brush and the text
// is drawn in the colour the parent set on the context.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// Styles.
constexpr uint32_t ES_LEFT = 0x0000;
constexpr uint32_t ES_CENTER = 0x0001;
constexpr uint32_t ES_RIGHT = 0x0002;
constexpr uint32_t ES_MULTILINE = 0x0004;
constexpr uint32_t ES_UPPERCASE = 0x0008;
constexpr uint32_t ES_LOWERCASE = 0x0010;
constexpr uint32_t ES_PASSWORD = 0x0020;
constexpr uint32_t ES_AUTOVSCROLL = 0x0040;
constexpr uint32_t ES_AUTOHSCROLL = 0x0080;
constexpr uint32_t ES_NOHIDESEL = 0x0100;
constexpr uint32_t ES_OEMCONVERT = 0x0400;
constexpr uint32_t ES_READONLY = 0x0800;
constexpr uint32_t ES_WANTRETURN = 0x1000;
constexpr uint32_t ES_NUMBER = 0x2000;

// Messages. Positions count UTF-16 units from the start of the text.
constexpr uint32_t EM_GETSEL = 0x00B0;      // wParam, lParam: DWORD* start / end (either 0);
                                            // returns MAKELONG(start, end), each capped at 0xFFFF
constexpr uint32_t EM_SETSEL = 0x00B1;      // wParam start, lParam end (caret); -1 as end: the
                                            // end of the text; -1 as start: no selection
constexpr uint32_t EM_GETRECT = 0x00B2;     // lParam: Rect* (the formatting rectangle)
constexpr uint32_t EM_SCROLL = 0x00B5;      // wParam: SB_LINEUP .. SB_PAGEDOWN
constexpr uint32_t EM_LINESCROLL = 0x00B6;  // wParam: characters sideways, lParam: lines down
constexpr uint32_t EM_SCROLLCARET = 0x00B7;
constexpr uint32_t EM_GETMODIFY = 0x00B8;
constexpr uint32_t EM_SETMODIFY = 0x00B9;   // wParam: the flag
constexpr uint32_t EM_GETLINECOUNT = 0x00BA;
constexpr uint32_t EM_LINEINDEX = 0x00BB;   // wParam: a line (-1: the caret's); -1 beyond the last
constexpr uint32_t EM_LINELENGTH = 0x00C1;  // wParam: a character position of the line
constexpr uint32_t EM_REPLACESEL = 0x00C2;  // lParam: const char16_t* (replaces the selection)
constexpr uint32_t EM_GETLINE = 0x00C4;     // wParam line; lParam char16_t* whose first unit
                                            // holds the room; returns units copied (no terminator)
constexpr uint32_t EM_LIMITTEXT = 0x00C5;   // wParam: the limit in units (0: the largest)
constexpr uint32_t EM_SETLIMITTEXT = 0x00C5;
constexpr uint32_t EM_CANUNDO = 0x00C6;
constexpr uint32_t EM_UNDO = 0x00C7;
constexpr uint32_t EM_LINEFROMCHAR = 0x00C9;  // wParam: a position (-1: the caret's line)
constexpr uint32_t EM_SETPASSWORDCHAR = 0x00CC;
constexpr uint32_t EM_EMPTYUNDOBUFFER = 0x00CD;
constexpr uint32_t EM_GETFIRSTVISIBLELINE = 0x00CE;
constexpr uint32_t EM_SETREADONLY = 0x00CF;  // wParam: the flag (the ES_READONLY style follows)
constexpr uint32_t EM_GETPASSWORDCHAR = 0x00D2;
constexpr uint32_t EM_GETLIMITTEXT = 0x00D5;

// Notifications (WM_COMMAND).
constexpr int EN_SETFOCUS = 0x0100;
constexpr int EN_KILLFOCUS = 0x0200;
constexpr int EN_CHANGE = 0x0300;
constexpr int EN_UPDATE = 0x0400;
constexpr int EN_ERRSPACE = 0x0500;
constexpr int EN_MAXTEXT = 0x0501;
constexpr int EN_HSCROLL = 0x0601;
constexpr int EN_VSCROLL = 0x0602;

// The limit an edit starts with.
constexpr int kEditDefaultLimit = 32767;

}  // namespace plat
