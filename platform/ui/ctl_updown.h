// The up-down control ("msctls_updown32"): two arrow buttons that step a position
// within a range, usually beside a "buddy" edit field that shows the position.
//
// The range runs from `lower` to `upper`; the up arrow (the right one with UDS_HORZ)
// steps towards `upper`, so with upper < lower it counts down. A new up-down control
// has lower 100 and upper 0, position 0. The position is kept within the range
// (UDS_WRAP: stepping past one end goes round to the other); setting the range keeps
// the position as it is until the next step or set.
//
// A user's step (a click on an arrow, repeated while the button is held, or Up and Down
// in the buddy with UDS_ARROWKEYS):
//   1. with UDS_SETBUDDYINT, the buddy's text is read first: a number typed there is the
//      position the step starts from;
//   2. UDN_DELTAPOS (WM_NOTIFY, an NmUpDown) tells the parent the position and the step;
//      a non-zero answer cancels the step, and the parent may change `delta`;
//   3. the position moves by delta (kept within the range), the buddy's text follows
//      (UDS_SETBUDDYINT: decimal, with ',' between thousands unless UDS_NOTHOUSANDS);
//   4. WM_VSCROLL (WM_HSCROLL with UDS_HORZ) goes to the parent: SB_THUMBPOSITION with
//      the position in the high word, lParam the up-down control.
// Messages raise nothing (UDM_SETPOS writes the buddy's text, which raises the edit's
// own change notification as any text set by code does).
//
// Buddy: UDS_AUTOBUDDY takes the sibling created just before the up-down control.
// With UDS_ALIGNRIGHT (UDS_ALIGNLEFT) the up-down control is placed against the
// buddy's right (left) side, as tall as the buddy, and the buddy narrowed by its width.
#pragma once
#include <cstdint>

#include "platform/ui/controls.h"
#include "platform/ui/types.h"

namespace plat {

// Styles.
constexpr uint32_t UDS_WRAP = 0x0001;
constexpr uint32_t UDS_SETBUDDYINT = 0x0002;
constexpr uint32_t UDS_ALIGNRIGHT = 0x0004;
constexpr uint32_t UDS_ALIGNLEFT = 0x0008;
constexpr uint32_t UDS_AUTOBUDDY = 0x0010;
constexpr uint32_t UDS_ARROWKEYS = 0x0020;
constexpr uint32_t UDS_HORZ = 0x0040;
constexpr uint32_t UDS_NOTHOUSANDS = 0x0080;

// Messages.
constexpr uint32_t UDM_SETRANGE = 0x0465;    // lParam MAKELONG(upper, lower), 16-bit signed
constexpr uint32_t UDM_GETRANGE = 0x0466;    // returns MAKELONG(upper, lower)
constexpr uint32_t UDM_SETPOS = 0x0467;      // lParam the position (low 16 bits); returns the old one
constexpr uint32_t UDM_GETPOS = 0x0468;      // MAKELONG(position, error): error when the buddy's
                                             // text is not a number
constexpr uint32_t UDM_SETBUDDY = 0x0469;    // wParam the buddy; returns the old one
constexpr uint32_t UDM_GETBUDDY = 0x046A;
constexpr uint32_t UDM_SETRANGE32 = 0x046F;  // wParam lower, lParam upper
constexpr uint32_t UDM_GETRANGE32 = 0x0470;  // wParam int* lower, lParam int* upper (either null)
constexpr uint32_t UDM_SETPOS32 = 0x0471;    // lParam the position; returns the old one
constexpr uint32_t UDM_GETPOS32 = 0x0472;    // lParam int* error flag (may be null)

// Notifications (WM_NOTIFY).
constexpr int32_t UDN_DELTAPOS = -722;

struct NmUpDown {
  NmHdr hdr;
  int pos = 0;    // the position before the step
  int delta = 0;  // the step proposed (the parent may change it)
};

}  // namespace plat
