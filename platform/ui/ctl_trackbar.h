// The trackbar control ("msctls_trackbar32"): a thumb that slides along a channel
// between a minimum and a maximum, with tick marks. Horizontal, the minimum is at the
// left; with TBS_VERT, at the top.
//
// What the user does moves the position and then tells the parent with WM_HSCROLL
// (WM_VSCROLL with TBS_VERT), a TB_* code in the low word of wParam and lParam the
// trackbar:
//   Left, Up / Right, Down          TB_LINEUP / TB_LINEDOWN by the line size (1)
//   Page Up / Page Down             TB_PAGEUP / TB_PAGEDOWN by the page size
//   Home / End                      TB_TOP / TB_BOTTOM (the minimum / the maximum)
//   a press in the channel beside the thumb: TB_PAGEUP or TB_PAGEDOWN towards it,
//   repeated while the button is held
//   dragging the thumb              TB_THUMBTRACK at each move, TB_THUMBPOSITION on release,
//                                   with the position in the high word
// and each key press or mouse action ends with TB_ENDTRACK. A step that cannot move
// the position (at an end) tells nothing but TB_ENDTRACK. Messages raise nothing.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// Styles.
constexpr uint32_t TBS_AUTOTICKS = 0x0001;  // a tick every TBM_SETTICFREQ positions
constexpr uint32_t TBS_VERT = 0x0002;
constexpr uint32_t TBS_HORZ = 0x0000;
constexpr uint32_t TBS_TOP = 0x0004;   // ticks above (left of) the channel
constexpr uint32_t TBS_LEFT = 0x0004;
constexpr uint32_t TBS_BOTTOM = 0x0000;
constexpr uint32_t TBS_RIGHT = 0x0000;
constexpr uint32_t TBS_BOTH = 0x0008;
constexpr uint32_t TBS_NOTICKS = 0x0010;

// Messages. wParam of the set messages: redraw now (the control redraws in any case).
constexpr uint32_t TBM_GETPOS = 0x0400;
constexpr uint32_t TBM_GETRANGEMIN = 0x0401;
constexpr uint32_t TBM_GETRANGEMAX = 0x0402;
constexpr uint32_t TBM_SETPOS = 0x0405;        // lParam the position (kept within the range)
constexpr uint32_t TBM_SETRANGE = 0x0406;      // lParam MAKELONG(min, max)
constexpr uint32_t TBM_SETRANGEMIN = 0x0407;   // lParam the minimum
constexpr uint32_t TBM_SETRANGEMAX = 0x0408;   // lParam the maximum
constexpr uint32_t TBM_SETTICFREQ = 0x0414;    // wParam the positions between ticks
constexpr uint32_t TBM_SETPAGESIZE = 0x0415;   // lParam; returns the old page size
constexpr uint32_t TBM_GETPAGESIZE = 0x0416;
constexpr uint32_t TBM_SETLINESIZE = 0x0417;   // lParam; returns the old line size
constexpr uint32_t TBM_GETLINESIZE = 0x0418;
constexpr uint32_t TBM_GETTHUMBRECT = 0x0419;  // lParam Rect* (client coordinates)
constexpr uint32_t TBM_GETCHANNELRECT = 0x041A;  // lParam Rect* (client coordinates)

// Codes of the scroll messages.
constexpr unsigned TB_LINEUP = 0;
constexpr unsigned TB_LINEDOWN = 1;
constexpr unsigned TB_PAGEUP = 2;
constexpr unsigned TB_PAGEDOWN = 3;
constexpr unsigned TB_THUMBPOSITION = 4;
constexpr unsigned TB_THUMBTRACK = 5;
constexpr unsigned TB_TOP = 6;
constexpr unsigned TB_BOTTOM = 7;
constexpr unsigned TB_ENDTRACK = 8;

}  // namespace plat
