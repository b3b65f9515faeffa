// The button control ("Button"): push buttons (plain and default), check boxes and
// radio buttons (plain, automatic, three-state), group boxes, owner-drawn buttons,
// bitmap buttons and push-like check boxes and radio buttons.
//
// A user's click (press and release inside the button, or Space pressed and released
// while it has the focus, or Enter on a push button outside a dialog) works the button:
// an automatic check box toggles, an automatic three-state box goes unchecked, checked,
// indeterminate, an automatic radio button is checked and the other radio buttons of
// its group (the siblings from the nearest one with WS_GROUP, itself included, up to the
// next one with WS_GROUP) are unchecked; then BN_CLICKED goes to the parent. BM_CLICK
// does the same as a click. BM_SETCHECK and BM_SETSTATE change the look only and raise
// nothing.
//
// Colours: before painting, the button sends WM_CTLCOLORBTN to its parent (wParam the
// context, lParam the button). A non-zero answer is the brush that fills the
// background of a check box, radio button, group box or owner-drawn button (its text in
// the text colour the parent set); push buttons keep the button face.
//
// Owner-drawn buttons (BS_OWNERDRAW) send WM_DRAWITEM to their parent with a
// DrawItemStruct, after filling their background as above.
#pragma once
#include <cstdint>

#include "platform/gdi/gdi.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/types.h"

namespace plat {

// Styles: the type in the low four bits, then flags.
constexpr uint32_t BS_PUSHBUTTON = 0x0000;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x0001;
constexpr uint32_t BS_CHECKBOX = 0x0002;
constexpr uint32_t BS_AUTOCHECKBOX = 0x0003;
constexpr uint32_t BS_RADIOBUTTON = 0x0004;
constexpr uint32_t BS_3STATE = 0x0005;
constexpr uint32_t BS_AUTO3STATE = 0x0006;
constexpr uint32_t BS_GROUPBOX = 0x0007;
constexpr uint32_t BS_USERBUTTON = 0x0008;
constexpr uint32_t BS_AUTORADIOBUTTON = 0x0009;
constexpr uint32_t BS_OWNERDRAW = 0x000B;
constexpr uint32_t BS_TYPEMASK = 0x000F;
constexpr uint32_t BS_LEFTTEXT = 0x0020;
constexpr uint32_t BS_RIGHTBUTTON = BS_LEFTTEXT;
constexpr uint32_t BS_TEXT = 0x0000;
constexpr uint32_t BS_ICON = 0x0040;
constexpr uint32_t BS_BITMAP = 0x0080;
constexpr uint32_t BS_LEFT = 0x0100;
constexpr uint32_t BS_RIGHT = 0x0200;
constexpr uint32_t BS_CENTER = 0x0300;
constexpr uint32_t BS_TOP = 0x0400;
constexpr uint32_t BS_BOTTOM = 0x0800;
constexpr uint32_t BS_VCENTER = 0x0C00;
constexpr uint32_t BS_PUSHLIKE = 0x1000;
constexpr uint32_t BS_MULTILINE = 0x2000;
constexpr uint32_t BS_NOTIFY = 0x4000;
constexpr uint32_t BS_FLAT = 0x8000;

// Messages.
constexpr uint32_t BM_GETCHECK = 0x00F0;  // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE
constexpr uint32_t BM_SETCHECK = 0x00F1;  // wParam: the check state
constexpr uint32_t BM_GETSTATE = 0x00F2;  // check state | BST_PUSHED | BST_FOCUS
constexpr uint32_t BM_SETSTATE = 0x00F3;  // wParam: true shows the button pushed
constexpr uint32_t BM_SETSTYLE = 0x00F4;  // wParam: the new style word, lParam: redraw
constexpr uint32_t BM_CLICK = 0x00F5;
constexpr uint32_t BM_GETIMAGE = 0x00F6;  // wParam: IMAGE_BITMAP
constexpr uint32_t BM_SETIMAGE = 0x00F7;  // wParam: IMAGE_BITMAP, lParam: the Bitmap (not owned)

constexpr unsigned BST_UNCHECKED = 0x0000;
constexpr unsigned BST_CHECKED = 0x0001;
constexpr unsigned BST_INDETERMINATE = 0x0002;
constexpr unsigned BST_PUSHED = 0x0004;
constexpr unsigned BST_FOCUS = 0x0008;

// Notifications (WM_COMMAND). BN_DOUBLECLICKED comes from radio buttons, owner-drawn
// buttons and buttons with BS_NOTIFY; BN_SETFOCUS and BN_KILLFOCUS with BS_NOTIFY.
constexpr int BN_CLICKED = 0;
constexpr int BN_PAINT = 1;
constexpr int BN_HILITE = 2;
constexpr int BN_UNHILITE = 3;
constexpr int BN_DISABLE = 4;
constexpr int BN_DOUBLECLICKED = 5;
constexpr int BN_SETFOCUS = 6;
constexpr int BN_KILLFOCUS = 7;

// What WM_DRAWITEM carries (lParam), for owner-drawn buttons and other owner-drawn items.
struct DrawItemStruct {
  unsigned ctl_type = 0;    // ODT_*
  unsigned ctl_id = 0;
  unsigned item_id = 0;
  unsigned item_action = 0;  // ODA_*
  unsigned item_state = 0;   // ODS_*
  Wnd hwnd_item = nullptr;
  Dc dc = nullptr;
  Rect rc_item;             // the control's client area
  uintptr_t item_data = 0;
};

}  // namespace plat
