// The numbers that dialogs and the controls inside them share: what a control tells
// the dialog's keyboard handling about the keys it wants (WM_GETDLGCODE), the dialog
// messages, the dialog window values and the dialog styles. Every control family
// answers WM_GETDLGCODE with these codes, so that Tab, Enter, Escape and the arrows
// reach it or the dialog as they should.
#pragma once
#include <cstdint>

namespace plat {

// WM_GETDLGCODE answers (wParam: the key, lParam: the Msg* being looked at, or 0).
constexpr unsigned DLGC_WANTARROWS = 0x0001;      // the arrows are the control's own
constexpr unsigned DLGC_WANTTAB = 0x0002;         // Tab is the control's own
constexpr unsigned DLGC_WANTALLKEYS = 0x0004;     // every key (Enter, Escape) is
constexpr unsigned DLGC_WANTMESSAGE = 0x0004;
constexpr unsigned DLGC_HASSETSEL = 0x0008;       // answers EM_SETSEL: text selected on Tab
constexpr unsigned DLGC_DEFPUSHBUTTON = 0x0010;
constexpr unsigned DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr unsigned DLGC_RADIOBUTTON = 0x0040;
constexpr unsigned DLGC_WANTCHARS = 0x0080;
constexpr unsigned DLGC_STATIC = 0x0100;          // never takes the focus by the keyboard
constexpr unsigned DLGC_BUTTON = 0x2000;

// The message that moves the focus within a dialog: wParam a control when lParam's low
// word is non-zero, else 0 for the next tab stop and non-zero for the previous one.
constexpr uint32_t WM_NEXTDLGCTL = 0x0028;

// Dialog messages.
constexpr uint32_t DM_GETDEFID = 0x0400;  // MAKELONG(id, DC_HASDEFID), 0 without one
constexpr uint32_t DM_SETDEFID = 0x0401;  // wParam: the id of the new default button
constexpr uint32_t DM_REPOSITION = 0x0402;
constexpr unsigned DC_HASDEFID = 0x534B;

// Window values of a dialog (byte offsets into its per-window bytes).
constexpr int DWLP_MSGRESULT = 0;  // the result of a message the dialog procedure handled
constexpr int DWLP_DLGPROC = 8;
constexpr int DWLP_USER = 16;

// Dialog styles (with the WS_* styles of the dialog window).
constexpr uint32_t DS_ABSALIGN = 0x0001;
constexpr uint32_t DS_SYSMODAL = 0x0002;
constexpr uint32_t DS_3DLOOK = 0x0004;
constexpr uint32_t DS_FIXEDSYS = 0x0008;
constexpr uint32_t DS_NOFAILCREATE = 0x0010;
constexpr uint32_t DS_LOCALEDIT = 0x0020;
constexpr uint32_t DS_SETFONT = 0x0040;
constexpr uint32_t DS_MODALFRAME = 0x0080;
constexpr uint32_t DS_NOIDLEMSG = 0x0100;
constexpr uint32_t DS_SETFOREGROUND = 0x0200;
constexpr uint32_t DS_CONTROL = 0x0400;
constexpr uint32_t DS_CENTER = 0x0800;
constexpr uint32_t DS_CENTERMOUSE = 0x1000;
constexpr uint32_t DS_CONTEXTHELP = 0x2000;

// Owner-drawn items: what WM_DRAWITEM (wParam: the control id, lParam: a DrawItemStruct*)
// tells the parent. Buttons use it (and list boxes and combo boxes may).
constexpr unsigned ODT_MENU = 1;
constexpr unsigned ODT_LISTBOX = 2;
constexpr unsigned ODT_COMBOBOX = 3;
constexpr unsigned ODT_BUTTON = 4;
constexpr unsigned ODT_STATIC = 5;
constexpr unsigned ODA_DRAWENTIRE = 0x0001;
constexpr unsigned ODA_SELECT = 0x0002;
constexpr unsigned ODA_FOCUS = 0x0004;
constexpr unsigned ODS_SELECTED = 0x0001;
constexpr unsigned ODS_GRAYED = 0x0002;
constexpr unsigned ODS_DISABLED = 0x0004;
constexpr unsigned ODS_CHECKED = 0x0008;
constexpr unsigned ODS_FOCUS = 0x0010;
constexpr unsigned ODS_DEFAULT = 0x0020;

}  // namespace plat
