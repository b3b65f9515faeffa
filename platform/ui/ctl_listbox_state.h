// Internal to the list box: the state a list box keeps (reached through its first
// per-window value) and the routines its parts share.
//   ctl_listbox.cpp        the window procedure and the list box messages
//   ctl_listbox_view.cpp   rows, scrolling, the selection and the user's mouse and keys
//   ctl_listbox_paint.cpp  painting
//   ctl_listbox_items.cpp  the strings, shared with the combo box
#pragma once
#include <cstdint>

#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_listbox_items.h"
#include "platform/ui/ctl_rows.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

struct ListBoxData {
  ListItems items;
  int sel = -1;     // the selected item of a single-selection list
  int caret = -1;   // the focus item
  int anchor = -1;  // where a Shift range starts (extended selection)
  int top = 0;      // the first item shown
  Font font = nullptr;  // WM_SETFONT's font; null: the interface font
  int item_height = 15;
  bool focused = false;
  bool tracking = false;        // the left button went down on it (captured)
  bool changed_by_user = false;  // the press being tracked changed the selection
  bool own_bar = false;          // made with WS_VSCROLL: the bar shows while needed
};

inline ListBoxData* listbox_data(Wnd wnd) { return control_state_of<ListBoxData>(wnd); }
inline uint32_t listbox_style(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }
inline bool is_multi(Wnd wnd) { return listbox_style(wnd) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL); }
inline RowsLayout listbox_layout(const ListBoxData& d) { return RowsLayout{0, d.item_height, d.top}; }

// ---- Rows and scrolling (ctl_listbox_view.cpp) ------------------------------------------------
void listbox_set_font(ListBoxData& d, Font font);
int listbox_rows(Wnd wnd, const ListBoxData& d);  // whole rows shown (at least 1)
void listbox_set_top(Wnd wnd, ListBoxData& d, int top);
void listbox_show_item(Wnd wnd, ListBoxData& d, int index);
// Updates the scroll bar after the items, the size or the top changed.
void listbox_update_bar(Wnd wnd, ListBoxData& d);
// WM_VSCROLL and WM_MOUSEWHEEL.
void listbox_on_scroll(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp);
Rect listbox_item_rect(Wnd wnd, const ListBoxData& d, int index);

// ---- Selection (ctl_listbox_view.cpp); each returns whether something changed ----------------
bool listbox_select_only(ListBoxData& d, bool multi, int index);  // -1: nothing selected
bool listbox_set_item(ListBoxData& d, int index, bool selected);  // multiple selection
bool listbox_select_range(ListBoxData& d, int from, int to);      // only these, inclusive
bool listbox_is_selected(const ListBoxData& d, bool multi, int index);

// ---- The user's input (ctl_listbox_view.cpp) ---------------------------------------------------
LResult listbox_on_mouse(Wnd wnd, ListBoxData& d, uint32_t msg, WParam wp, LParam lp);
LResult listbox_on_key(Wnd wnd, ListBoxData& d, int vk);
// A typed character: the focus moves to the next item after it that begins with the
// character, case ignored, going round to the first (selecting it as the arrows do).
LResult listbox_on_char(Wnd wnd, ListBoxData& d, char16_t ch);

// ---- Painting (ctl_listbox_paint.cpp) --------------------------------------------------------
void listbox_paint(Wnd wnd, ListBoxData& d);

}  // namespace plat::ui_detail
