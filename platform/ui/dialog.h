// Dialogs: windows of the class "#32770" built from a template held as data in code,
// run modally (dialog_box_indirect) or modelessly (create_dialog_indirect), driven by a
// dialog procedure, with helpers to reach their items and the keyboard handling of a
// dialog (Tab, Shift+Tab, the arrows within a group, Enter, Escape).
//
// Templates. Sizes and places are in dialog units of the template's font: a horizontal
// unit is a quarter of the font's average character width, a vertical one an eighth of
// its height. The dialog's size is that of its client area. Items are created in the
// order given, which is also the Tab order and the order that WS_GROUP divides into
// groups; each gets WS_CHILD and (unless `hidden`) WS_VISIBLE added to its style, and
// the dialog's font. An item given no size (cx and cy 0) is laid out plainly: a label
// (a static) followed by a field shares its row, other items take a row each, push
// buttons go in a row at the bottom right; a dialog given no size fits its items.
// Texts are UTF-8.
//
// The dialog procedure sees every message first and returns non-zero when it handled
// one; the result of the message is then DWLP_MSGRESULT (set_window_long), except for
// WM_INITDIALOG and the WM_CTLCOLOR* messages, whose result is the value returned (a
// brush for the colour messages). WM_INITDIALOG comes after the items exist, with the
// parameter given to the dialog call in lParam and the first tab stop in wParam;
// returning non-zero gives that control the focus (and selects an edit's text).
//
// Default processing (def_dlg_proc): Enter sends WM_COMMAND with the id of the focused
// push button, else the default button (DM_GETDEFID; the first BS_DEFPUSHBUTTON unless
// DM_SETDEFID named another), else IDOK; Escape and closing the window send WM_COMMAND
// IDCANCEL; each only when the button of that id is missing or enabled. The command's
// high word is BN_CLICKED and its lParam the button (or null). Nothing ends a dialog but
// end_dialog (or destroying it). The focus is remembered when the dialog loses the
// activation and given back when it gets it again.
//
// Modal dialogs disable their owner's top-level window, run a nested loop that still
// dispatches the messages posted to any window, and give the owner back its activation
// when they end. Headless, an idle loop asks the modal idle hook (the test harness);
// when nothing answers, the dialog is closed as Escape would (IDCANCEL), and when even
// that ends nothing, dialog_box_indirect returns IDCANCEL.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/dialog_codes.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/types.h"

namespace plat {

// One control of a template.
struct DlgItem {
  const char* class_name = nullptr;  // "Button", "Edit", "Static", "ComboBox", ... or any class
  int id = 0;
  const char* text = nullptr;  // UTF-8; null or "" for none
  uint32_t style = 0;          // the control's style; WS_CHILD and WS_VISIBLE are added
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units; cx = cy = 0: laid out plainly
  uint32_t ex_style = 0;
  bool hidden = false;  // created without WS_VISIBLE
};

struct DlgTemplate {
  const char* title = nullptr;  // UTF-8
  uint32_t style = 0;           // WS_* | DS_*; WS_POPUP | WS_CAPTION | WS_SYSMENU when 0
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units (client size); cx = cy = 0 fits the items.
                                     // Placed relative to the owner's client area, or centred
                                     // over the owner with DS_CENTER or x = y = 0
  const char* font_name = nullptr;  // null: "MS Sans Serif"
  int font_size = 0;                // points; 0: 8
  std::vector<DlgItem> items;
  uint32_t ex_style = 0;
};

// Non-zero when the message was handled (see above for the result).
using DlgProc = intptr_t (*)(Wnd dlg, uint32_t msg, WParam wparam, LParam lparam);

// The dialog window class ("#32770"); dialog calls register it as needed. The static,
// button and edit controls are registered with it; other families must be registered
// (register_controls) before a template uses them.
void register_dialog_class();

// A modeless dialog, shown when the template's style has WS_VISIBLE; null when the
// template cannot be built (an item of an unknown class). The caller destroys it.
Wnd create_dialog_indirect(const DlgTemplate& tmpl, Wnd owner, DlgProc proc, LParam init_param = 0);
// A modal dialog: returns the result given to end_dialog, IDCANCEL when the dialog went
// away without one, -1 when it could not be built. Callable from any thread: the dialog
// runs on the user-interface thread.
intptr_t dialog_box_indirect(const DlgTemplate& tmpl, Wnd owner, DlgProc proc, LParam init_param = 0);
// Ends a modal dialog with a result (its loop returns it, after the message being
// handled); a modeless dialog is hidden. False when `dlg` is not a dialog.
bool end_dialog(Wnd dlg, intptr_t result);
// The procedure of the dialog class: the dialog procedure first, then the default
// processing described above. A window class of its own for dialogs may use it.
LResult def_dlg_proc(Wnd dlg, uint32_t msg, WParam wparam, LParam lparam);
// For a modeless dialog's share of a message loop: when the message belongs to the dialog
// or one of its items, handles it (the dialog's keys, else translate and dispatch) and
// returns true; false for other messages, which the loop handles as usual.
bool is_dialog_message(Wnd dlg, Msg* msg);

// Dialog units of the dialog's font to pixels; false when `dlg` is not a dialog.
bool map_dialog_rect(Wnd dlg, Rect* r);
// The average character width and the height of a dialog's font, in pixels.
Size dialog_base_units(Wnd dlg);

// ---- Items (get_dlg_item and get_dlg_ctrl_id are in window.h) -------------------------
bool set_dlg_item_text(Wnd dlg, int id, const char* utf8);
bool set_dlg_item_text_w(Wnd dlg, int id, const char16_t* text);
// Into buf (always terminated, UTF-8 cut at a character boundary); units written.
int get_dlg_item_text(Wnd dlg, int id, char* buf, int size);
int get_dlg_item_text_w(Wnd dlg, int id, char16_t* buf, int size);
std::string dlg_item_text(Wnd dlg, int id);
std::u16string dlg_item_text_w(Wnd dlg, int id);
// Decimal text of a number (signed or not).
bool set_dlg_item_int(Wnd dlg, int id, unsigned value, bool is_signed);
// The item's text read as a decimal number (blanks around it allowed, a leading '-'
// when signed). *translated (optional) says whether it was one that fits; 0 when not.
unsigned get_dlg_item_int(Wnd dlg, int id, bool* translated, bool is_signed);
bool check_dlg_button(Wnd dlg, int id, unsigned check);  // BM_SETCHECK: raises nothing
unsigned is_dlg_button_checked(Wnd dlg, int id);          // BST_*; 0 for a missing item
// Checks `check` and unchecks the other buttons whose ids are in first .. last.
bool check_radio_button(Wnd dlg, int first, int last, int check);
LResult send_dlg_item_message(Wnd dlg, int id, uint32_t msg, WParam wparam, LParam lparam);

// ---- Navigation -------------------------------------------------------------------------
// The next (or previous) visible, enabled control with WS_TABSTOP after `ctl` (null:
// from the start), wrapping around; `ctl` itself when it is the only one; null when
// there is none. Controls inside child windows with WS_EX_CONTROLPARENT count as the
// dialog's own.
Wnd get_next_dlg_tab_item(Wnd dlg, Wnd ctl, bool previous);
// The next (or previous) visible, enabled control of `ctl`'s group, wrapping within
// the group; labels and group boxes are passed over.
Wnd get_next_dlg_group_item(Wnd dlg, Wnd ctl, bool previous);

}  // namespace plat
