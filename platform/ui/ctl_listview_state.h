// Internal to the list view: the state it keeps (reached through its first per-window
// value) and the routines its parts share.
//   ctl_listview.cpp        the window procedure, columns, and the messages' table
//   ctl_listview_items.cpp  items, sub-items, states, finding and sorting
//   ctl_listview_view.cpp   geometry, scrolling, hit testing, the user's mouse and keys
//   ctl_listview_paint.cpp  painting
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_rows.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/scrollbar.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

struct LvColumnData {
  std::u16string text;
  int width = 0;
  int fmt = LVCFMT_LEFT;
};

struct LvRow {
  std::vector<std::u16string> texts;  // [0] the item's text, [n] sub-item n (may be shorter)
  LParam data = 0;
  unsigned state = 0;  // LVIS_* and the state image
  int image = 0;
};

struct ListViewData {
  std::vector<LvColumnData> columns;
  std::vector<LvRow> rows;
  uint32_t ex_style = 0;
  int top = 0;           // the first row shown
  int anchor = -1;       // where a Shift range starts
  Font font = nullptr;   // WM_SETFONT's font; null: the interface font
  int row_height = 17;
  int text_height = 13;
  bool focused = false;
  RowsBar bar;  // the vertical scroll bar
};

inline ListViewData* listview_data(Wnd wnd) { return control_state_of<ListViewData>(wnd); }
inline uint32_t listview_style(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }

// Padding between a cell's edge and its text, and the check box of the first column.
constexpr int kLvPad = 6;
constexpr int kLvBox = 13;
constexpr unsigned kLvUserStates = LVIS_SELECTED | LVIS_FOCUSED | LVIS_STATEIMAGEMASK;

// ---- Items (ctl_listview_items.cpp) -------------------------------------------------------------
LResult listview_item_message(Wnd wnd, ListViewData& d, uint32_t msg, WParam wp, LParam lp);
bool listview_valid(const ListViewData& d, intptr_t item);
const std::u16string& listview_text(const LvRow& row, int sub_item);
// Sets an item's state bits under a mask, keeping one focused item and, with
// LVS_SINGLESEL, one selected item. Nothing is raised.
void listview_set_state(Wnd wnd, ListViewData& d, int item, unsigned state, unsigned mask);
// Case-insensitive comparison of UTF-16 texts (ASCII and Latin-1 letters).
int listview_compare_text(const std::u16string& a, const std::u16string& b);

// ---- Geometry and scrolling (ctl_listview_view.cpp) --------------------------------------------
void listview_set_font(ListViewData& d, Font font);
int listview_header_height(Wnd wnd, const ListViewData& d);
RowsLayout listview_layout(Wnd wnd, const ListViewData& d);  // the rows below the header
int listview_rows_shown(Wnd wnd, const ListViewData& d);  // whole rows (at least 1)
int listview_columns_width(const ListViewData& d);
int listview_column_left(const ListViewData& d, int column);
Rect listview_row_rect(Wnd wnd, const ListViewData& d, int item);  // all the columns
Rect listview_cell_rect(Wnd wnd, const ListViewData& d, int item, int column);
Rect listview_box_rect(Wnd wnd, const ListViewData& d, int item);   // the check box
Rect listview_label_rect(Wnd wnd, const ListViewData& d, int item);  // column 0 after the box
int listview_text_width(const ListViewData& d, const std::u16string& s);
void listview_set_top(Wnd wnd, ListViewData& d, int top);
void listview_show_item(Wnd wnd, ListViewData& d, int item);
void listview_update_bar(Wnd wnd, ListViewData& d);
// WM_VSCROLL and WM_MOUSEWHEEL.
void listview_on_scroll(Wnd wnd, ListViewData& d, uint32_t msg, WParam wp);
// Fills the hit-test record; returns the item or -1.
int listview_hit_test(Wnd wnd, const ListViewData& d, LvHitTestInfo* info, bool sub_items);
int listview_column_at(const ListViewData& d, int x);  // -1 right of the columns

// ---- The user's input (ctl_listview_view.cpp) --------------------------------------------------
LResult listview_on_button(Wnd wnd, uint32_t msg, WParam wp, LParam lp);
LResult listview_on_key(Wnd wnd, int vk);

// ---- Painting (ctl_listview_paint.cpp) ----------------------------------------------------------
void listview_paint(Wnd wnd, ListViewData& d);

}  // namespace plat::ui_detail
