// The tab control ("SysTabControl32"): a row of tabs along the top over a framed display
// area, in which the program shows the page of the selected tab (pages are the
// program's own windows, usually siblings of the tab control placed over its display
// area; TCM_ADJUSTRECT gives that area).
//
// The user's choice of a tab (a click on it, Left or Right while the tab control has the
// focus, Ctrl+Tab or Ctrl+Shift+Tab to the next or previous one, going round) first
// asks the parent with TCN_SELCHANGING (WM_NOTIFY, an NmHdr): a non-zero answer keeps
// the current tab. Otherwise the tab is selected and TCN_SELCHANGE follows. TCM_SETCURSEL
// and the other messages raise nothing.
//
// The mouse on the display area, and painting there, are left to the windows that lie
// over it: the tab control answers HTTRANSPARENT there, so the window system finds the
// window under the point, and it draws nothing where a visible later sibling covers
// its display area.
#pragma once
#include <cstdint>

#include "platform/ui/controls.h"
#include "platform/ui/types.h"

namespace plat {

// Styles (the layout is always one row of tabs along the top).
constexpr uint32_t TCS_FOCUSNEVER = 0x8000;

// What an item holds; `mask` says which fields a message reads or fills.
constexpr unsigned TCIF_TEXT = 0x0001;
constexpr unsigned TCIF_IMAGE = 0x0002;
constexpr unsigned TCIF_PARAM = 0x0008;

struct TcItem {
  unsigned mask = 0;
  unsigned state = 0;
  unsigned state_mask = 0;
  char16_t* text = nullptr;  // in: the label; out (TCM_GETITEM): a buffer of text_max units
  int text_max = 0;
  int image = -1;
  LParam param = 0;
};

// Messages.
constexpr uint32_t TCM_GETITEMCOUNT = 0x1304;
constexpr uint32_t TCM_DELETEITEM = 0x1308;      // wParam index; true when it existed
constexpr uint32_t TCM_DELETEALLITEMS = 0x1309;
constexpr uint32_t TCM_GETITEMRECT = 0x130A;     // wParam index, lParam Rect* (client coordinates)
constexpr uint32_t TCM_GETCURSEL = 0x130B;       // -1 when none
constexpr uint32_t TCM_SETCURSEL = 0x130C;       // wParam index; returns the previous one (-1 on error)
constexpr uint32_t TCM_ADJUSTRECT = 0x1328;      // wParam true: lParam Rect* holds a display area
                                                 // and becomes the window rectangle around it;
                                                 // false: the reverse
constexpr uint32_t TCM_GETITEM = 0x133C;         // wParam index, lParam TcItem*
constexpr uint32_t TCM_SETITEM = 0x133D;         // wParam index, lParam const TcItem*
constexpr uint32_t TCM_INSERTITEM = 0x133E;      // wParam index (beyond the end: last), lParam
                                                 // const TcItem*; returns where it went, -1 on error

// Notifications (WM_NOTIFY).
constexpr int32_t TCN_SELCHANGE = -551;
constexpr int32_t TCN_SELCHANGING = -552;

}  // namespace plat
