// Internal to the tree view: the items, the state the control keeps (reached through
// its first per-window value) and the routines its parts share.
//   ctl_treeview.cpp        the window procedure and the messages' table
//   ctl_treeview_items.cpp  the items: handles, insertion, deletion, relations
//   ctl_treeview_view.cpp   geometry, scrolling, hit testing, the user's mouse and keys
//   ctl_treeview_paint.cpp  painting
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/ctl_treeview.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ctl_rows.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/scrollbar.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

// An item, linked to its parent and siblings. The item table owns every item; the
// links only point into it.
struct TvNode {
  TreeItem handle = nullptr;
  TvNode* parent = nullptr;  // null for the hidden root whose children are the root level
  TvNode* first = nullptr;
  TvNode* last = nullptr;
  TvNode* prev = nullptr;
  TvNode* next = nullptr;
  int depth = 0;             // 0 on the root level
  std::u16string text;
  LParam data = 0;
  unsigned state = 0;        // TVIS_EXPANDED, TVIS_BOLD and the state image (never TVIS_SELECTED)
  int image = 0, selected_image = 0;
  int children = 0;          // 1: show a button even without children
};

struct TreeViewData {
  TvNode root;  // the hidden root
  std::unordered_map<TreeItem, std::unique_ptr<TvNode>> items;
  TvNode* caret = nullptr;   // the selected item
  int top = 0;               // the first shown row
  int indent = 19;
  Font font = nullptr;       // WM_SETFONT's font; null: the interface font
  int text_height = 13;
  int row_height = 17;
  ImageList normal_images = nullptr;
  ImageList state_images = nullptr;
  bool focused = false;
  // The number of rows in view, kept up as items come and recounted after other changes.
  int row_count = 0;
  bool rows_dirty = true;
  RowsBar bar;  // the vertical scroll bar
};

inline TreeViewData* treeview_data(Wnd wnd) { return control_state_of<TreeViewData>(wnd); }
inline uint32_t treeview_style(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }
inline RowsLayout treeview_layout(const TreeViewData& d) { return RowsLayout{0, d.row_height, d.top}; }

constexpr int kTvBox = 13;       // a drawn check box
constexpr int kTvStateSlot = 16; // the state image's place without a state image list
constexpr int kTvButton = 9;

// ---- Items (ctl_treeview_items.cpp) --------------------------------------------------------------
// The item behind a handle, null for null, the special places and unknown handles.
TvNode* tv_find(TreeViewData& d, TreeItem item);
// The item behind a handle, or the hidden root for null and TVI_ROOT.
TvNode* tv_find_parent(TreeViewData& d, TreeItem item);
TvNode* tv_insert(Wnd wnd, TreeViewData& d, const TvInsertStruct& ins);
// Deletes the item and its descendants (the hidden root: every item), telling the
// parent of each first. False when the control went with a notice.
bool tv_delete(Wnd wnd, TreeItem item);
bool tv_delete_children(Wnd wnd, TreeItem item);
bool tv_is_descendant(const TvNode* node, const TvNode* ancestor);
bool tv_has_children(const TvNode* node);
bool tv_expanded(const TvNode* node);
// Rows in view order: the items whose ancestors are all expanded.
std::vector<TvNode*> tv_rows(TreeViewData& d);
int tv_row_count(TreeViewData& d);
int tv_row_of(TreeViewData& d, const TvNode* node);  // -1 when an ancestor is closed
// Opens every ancestor of the item (by code: nothing raised).
void tv_open_ancestors(TreeViewData& d, TvNode* node);
// Sets the expanded state by code; the selection inside a closed item moves to it.
void tv_set_expanded(Wnd wnd, TreeViewData& d, TvNode* node, bool open);
int tv_compare_text(const std::u16string& a, const std::u16string& b);
void tv_fill_item(const TreeViewData& d, const TvNode& node, TvItem* out);  // handle, state, data

// ---- Geometry and scrolling (ctl_treeview_view.cpp) ----------------------------------------------
struct TvRowGeometry {
  Rect row;          // the whole row
  Rect button;       // empty without a button
  Rect state_image;  // empty without a state image place
  Rect icon;         // empty without a normal image list
  Rect label;
  int level_x = 0;   // where the item's own part begins
};
void treeview_set_font(Wnd wnd, TreeViewData& d, Font font);
void treeview_update_metrics(Wnd wnd, TreeViewData& d);
int treeview_rows_shown(Wnd wnd, const TreeViewData& d);
TvRowGeometry treeview_geometry(Wnd wnd, const TreeViewData& d, const TvNode& node, int row);
int treeview_text_width(const TreeViewData& d, const std::u16string& s);
bool treeview_has_button(Wnd wnd, const TvNode& node);
void treeview_set_top(Wnd wnd, TreeViewData& d, int top);
void treeview_show_node(Wnd wnd, TreeViewData& d, TvNode* node);
void treeview_update_bar(Wnd wnd, TreeViewData& d);
// WM_VSCROLL and WM_MOUSEWHEEL.
void treeview_on_scroll(Wnd wnd, TreeViewData& d, uint32_t msg, WParam wp);
TreeItem treeview_hit_test(Wnd wnd, TreeViewData& d, TvHitTestInfo* info);

// ---- The user's input (ctl_treeview_view.cpp) ----------------------------------------------------
LResult treeview_on_button(Wnd wnd, uint32_t msg, LParam lp);
LResult treeview_on_key(Wnd wnd, int vk);

// ---- Painting (ctl_treeview_paint.cpp) -----------------------------------------------------------
void treeview_paint(Wnd wnd, TreeViewData& d);

}  // namespace plat::ui_detail
