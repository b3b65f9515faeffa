// Controls: ordinary window classes of the window system, each holding its state and
// painting itself, that tell their parent what the user did through WM_COMMAND
// (notification code in the high word of wParam, control id in the low word, the
// control in lParam) or WM_NOTIFY (lParam: an NmHdr, or a larger record that starts
// with one). Each family has its own header with its messages, styles and
// notification codes, numbered as usual:
//   ctl_static.h, ctl_button.h, ctl_edit.h       static, button, edit
//   ctl_combo.h, ctl_listbox.h                    combo box, list box
//   ctl_updown.h, ctl_trackbar.h, ctl_progress.h  up-down, trackbar, progress bar
//   ctl_tab.h                                     tab control
//   ctl_listview.h, ctl_treeview.h                list view, tree view
//   ctl_toolbar.h                                 toolbar and tooltips
//   dialog.h                                      dialog templates, modal and modeless
//                                                 dialogs, item helpers, navigation
//
// A control raises its notification for a user's action (and, as usual, an edit's
// change notification when its text is set by code); setting a selection by code
// raises nothing.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// Class names of the controls (compared without regard to case).
inline constexpr const char* kStaticClass = "Static";
inline constexpr const char* kButtonClass = "Button";
inline constexpr const char* kEditClass = "Edit";
inline constexpr const char* kComboBoxClass = "ComboBox";
inline constexpr const char* kListBoxClass = "ListBox";
inline constexpr const char* kListViewClass = "SysListView32";
inline constexpr const char* kTreeViewClass = "SysTreeView32";
inline constexpr const char* kUpDownClass = "msctls_updown32";
inline constexpr const char* kTrackbarClass = "msctls_trackbar32";
inline constexpr const char* kProgressClass = "msctls_progress32";
inline constexpr const char* kTabClass = "SysTabControl32";
inline constexpr const char* kToolbarClass = "ToolbarWindow32";
inline constexpr const char* kTooltipsClass = "tooltips_class32";
inline constexpr const char* kDialogClass = "#32770";

// Registers every control class (once; later calls do nothing). Each family has its
// own register routine, called from here.
void register_controls();
void register_static_control();
void register_button_control();
void register_edit_control();
void register_combo_control();
void register_listbox_control();
void register_updown_control();
void register_trackbar_control();
void register_progress_control();
void register_tab_control();
void register_listview_control();
void register_treeview_control();
void register_toolbar_control();
void register_dialog_class();

// The header of every WM_NOTIFY record.
struct NmHdr {
  Wnd hwnd_from = nullptr;
  uintptr_t id_from = 0;
  int32_t code = 0;
};

// Common notification codes of WM_NOTIFY.
constexpr int32_t NM_CLICK = -2;
constexpr int32_t NM_DBLCLK = -3;
constexpr int32_t NM_RETURN = -4;
constexpr int32_t NM_RCLICK = -5;
constexpr int32_t NM_RDBLCLK = -6;
constexpr int32_t NM_SETFOCUS = -7;
constexpr int32_t NM_KILLFOCUS = -8;
constexpr int32_t NM_CUSTOMDRAW = -12;

// Sends WM_COMMAND (id, code) from a control to its parent.
LResult notify_command(Wnd control, int code);
// Fills the header of `nm` from the control and sends WM_NOTIFY to its parent.
LResult notify_parent(Wnd control, NmHdr* nm, int32_t code);

}  // namespace plat
