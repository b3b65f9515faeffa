// Internal to the combo box: the state a combo box keeps (reached through its first
// per-window value) and the routines its parts share.
//   ctl_combo.cpp        the window procedure, the combo box messages, text and focus
//   ctl_combo_input.cpp  the user's keys and mouse, and the edit field's subclass
//   ctl_combo_list.cpp   the list: opening and closing the drop-down, rows, scrolling
//   ctl_combo_paint.cpp  painting of the field, the button and the list
#pragma once
#include <cstdint>

#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_listbox_items.h"
#include "platform/ui/ctl_rows.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

struct ComboData {
  ListItems items;
  int sel = -1;
  int hot = -1;        // the item marked in the open list
  int top = 0;         // the first item shown in the list
  Wnd edit = nullptr;  // the edit field (simple and drop-down combo boxes)
  Wnd popup = nullptr;  // the dropped list while it is open
  Font font = nullptr;  // WM_SETFONT's font; null: the interface font
  int item_height = 15;
  int field_height = 21;
  int list_room = 0;        // height given beyond the field, for the dropped list
  bool dropped = false;
  bool focused = false;     // the focus is on the combo box or its edit field
  bool opening_press = false;  // the press that opened the list is still held
  bool quiet = false;       // the edit field's text is being set by code
  bool resizing = false;    // the combo box is keeping its own height
  int thumb_grab = -1;      // dragging the list's thumb: where it was taken, else -1
  bool bar_press = false;   // the button went down on the list's scroll bar
};

inline ComboData* combo_data(Wnd wnd) { return control_state_of<ComboData>(wnd); }
inline uint32_t combo_type(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)) & CBS_TYPEMASK; }
inline bool has_edit(Wnd wnd) { return combo_type(wnd) != CBS_DROPDOWNLIST; }

// ---- Layout (ctl_combo_paint.cpp) ---------------------------------------------------------------
// In the combo box's client coordinates.
Rect combo_button_rect(Wnd wnd, const ComboData& d);
Rect combo_field_rect(Wnd wnd, const ComboData& d);
Rect combo_simple_list_rect(Wnd wnd, const ComboData& d);  // inside its edge
void combo_paint(Wnd wnd, ComboData& d);
// The rows (and scroll bar) of the list drawn into `inner`; `mark` is highlighted.
void combo_paint_list(Dc dc, const ComboData& d, const Rect& inner, int mark, bool enabled);

// ---- The list (ctl_combo_list.cpp) --------------------------------------------------------------
struct ListLayout {
  Rect rows;     // where the rows go
  Rect bar;      // the scroll bar (empty when the items fit)
  int visible = 1;  // whole rows shown
};
ListLayout combo_list_layout(const ComboData& d, const Rect& inner);
void combo_register_list_class();
// The screen rectangle the dropped list takes (or would take).
Rect combo_dropped_rect(Wnd wnd, const ComboData& d);
int combo_visible_rows(Wnd wnd, const ComboData& d);
void combo_set_top(Wnd wnd, ComboData& d, int top);
void combo_show_item(Wnd wnd, ComboData& d, int index);
void combo_refresh_list(Wnd wnd, const ComboData& d);
// Opens the drop-down list (CBN_DROPDOWN first when the user asked).
void combo_open(Wnd wnd, ComboData& d, bool by_user);
enum class CloseHow { quietly, chosen, cancelled };
// Closes it; the user's ways raise CBN_SELENDOK or CBN_SELENDCANCEL, then CBN_CLOSEUP.
void combo_close(Wnd wnd, ComboData& d, CloseHow how);
// A press, move or release at a point of the list (`inner` holds it, in the same
// coordinates): the scroll bar, or the row under it. Returns the row (-1: none).
int combo_list_row_at(const ComboData& d, const Rect& inner, Point p);
bool combo_list_bar_press(Wnd wnd, ComboData& d, const Rect& inner, Point p);
void combo_list_bar_drag(Wnd wnd, ComboData& d, const Rect& inner, Point p);

// ---- Selection and text (ctl_combo.cpp) ---------------------------------------------------------
// Selects an item (-1: none) quietly, showing it in the field; returns whether it changed.
bool combo_select(Wnd wnd, ComboData& d, int index);
// The user chose an item: selected; the open list closes (CBN_SELENDOK, CBN_CLOSEUP);
// CBN_SELCHANGE when it changed.
void combo_choose(Wnd wnd, ComboData& d, int index, bool close_list);
void combo_focus_in(Wnd wnd, ComboData& d, Wnd from);
void combo_focus_out(Wnd wnd, ComboData& d, Wnd to);

// ---- The user's input (ctl_combo_input.cpp) -------------------------------------------------------
// A key of the combo box (or of its edit field); false when it is not the combo's.
bool combo_on_key(Wnd wnd, ComboData& d, int vk, bool alt);
// A typed character of a drop-down list (no edit field): the next item after the
// selected one that begins with it, case ignored, going round, is chosen. True when the
// character was taken.
bool combo_on_char(Wnd wnd, ComboData& d, char16_t ch);
LResult combo_on_mouse(Wnd wnd, ComboData& d, uint32_t msg, WParam wp, LParam lp);
LResult combo_dialog_code(Wnd wnd, const ComboData& d, LParam msg);
// Makes the edit field send its keys and focus changes through the combo box first.
void combo_subclass_edit(Wnd edit);

}  // namespace plat::ui_detail
