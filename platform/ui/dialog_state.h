// Internal to dialogs: the record a dialog keeps (reached through a per-window value
// after the public DWLP_* slots) and the routines the dialog files share.
//   dialog.cpp         the class, def_dlg_proc and the default processing
//   dialog_create.cpp  building a dialog from a template; modal and modeless runs
//   dialog_layout.cpp  dialog units and the plain layout of items given no place
//   dialog_nav.cpp     the dialog's keys, tab and group order, is_dialog_message
//   dialog_items.cpp   the item helpers
#pragma once
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/dialog.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

struct DialogRec {
  Wnd wnd = nullptr;
  DlgProc proc = nullptr;  // put in DWLP_DLGPROC when the window is made
  Font font = nullptr;
  bool own_font = false;  // made from the template, deleted with the dialog
  Size base{6, 13};       // average character width and height of the font
  bool modal = false;
  bool ended = false;  // end_dialog was called (a modal dialog may end before its loop runs)
  intptr_t result = 0;
  int def_id = 0;             // set by DM_SETDEFID; 0: the first BS_DEFPUSHBUTTON
  Wnd saved_focus = nullptr;  // the item that had the focus when the dialog lost the activation
};

constexpr int kDialogRecSlot = 24;  // after DWLP_MSGRESULT, DWLP_DLGPROC and DWLP_USER
constexpr int kDialogExtra = 32;

DialogRec* dialog_rec(Wnd dlg);
// The record a dialog being created takes at WM_NCCREATE (set around create_window).
void set_dialog_rec_pending(DialogRec* rec);
// Takes the pending record back (null when a window took it).
DialogRec* take_dialog_rec_pending();

// Pixels of dialog units.
int dlu_x(int units, Size base);
int dlu_y(int units, Size base);
// The average character width and height of a font.
Size font_base_units(Font font);

struct DialogLayout {
  std::vector<Rect> items;  // client coordinates, one per template item
  Size client;
};
DialogLayout lay_out_dialog(const DlgTemplate& t, Font font, Size base);

// The dialog's items in tab order (children of WS_EX_CONTROLPARENT children in their place).
std::vector<Wnd> dialog_controls(Wnd dlg);
// Gives the focus to an item as the keyboard does: an edit's text is selected, and
// with `into_group` a radio button gives way to the checked one of its group.
void dialog_focus_item(Wnd dlg, Wnd item, bool into_group);
// The focus back to the remembered item (else the first tab stop).
void dialog_restore_focus(Wnd dlg);
void dialog_save_focus(Wnd dlg);
void dialog_next_ctl(Wnd dlg, WParam wp, LParam lp);
// Enter and Escape (and closing): WM_COMMAND to the dialog for the default button or
// IDCANCEL, unless that button is disabled.
void dialog_press_default(Wnd dlg, Wnd focus);
void dialog_press_cancel(Wnd dlg);
LResult dialog_get_def_id(Wnd dlg);
// The filter a modal dialog's loop runs each message through (is_dialog_message).
ModalFilter dialog_modal_filter();
void dialog_set_def_id(Wnd dlg, int id);

}  // namespace plat::ui_detail
