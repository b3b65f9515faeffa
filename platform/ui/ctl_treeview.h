// The tree view control ("SysTreeView32"): items in a tree, each with a UTF-16 label, a
// data word and a state (selected, expanded, and a state image in bits 12 to 15 that
// shows as a check box: 1 unchecked, 2 checked, 0 none). Items are named by handles
// that stay unique for the run: a deleted item's handle only makes a call fail.
//
// Layout of a row, left to right: one indent per level (the root level too with
// TVS_LINESATROOT), the +/- button of an item with children (TVS_HASBUTTONS) centred
// in the indent before it, the state image (its place kept on every row once the tree
// has TVS_CHECKBOXES or a state image list), the icon (only with a normal image list),
// then the label. Dotted lines join the items with TVS_HASLINES. A vertical scroll bar
// comes and goes as the rows need it (never with TVS_NOSCROLL); there is no horizontal
// scrolling.
//
// State images: drawn from the state image list (image_list.h) when one is set
// (TVM_SETIMAGELIST with TVSIL_STATE, image i - 1 for state image i), else as check
// boxes. With TVS_CHECKBOXES an item inserted without a state image gets image 1, and
// a click on the state image (or Space) flips it between 1 and 2 once NM_CLICK is
// answered 0.
//
// Notifications (WM_NOTIFY to the parent), for what the user does only:
//   NM_CLICK, NM_DBLCLK, NM_RCLICK, NM_RETURN   an NmHdr; the point is the cursor's
//       position (get_cursor_pos), which TVM_HITTEST names. A non-zero answer to
//       NM_CLICK or NM_DBLCLK stops what the click would do next.
//   TVN_SELCHANGED       an NmTreeView (action TVC_BYMOUSE / TVC_BYKEYBOARD, the old
//                        and new items with their data words)
//   TVN_ITEMEXPANDING    an NmTreeView (action TVE_EXPAND / TVE_COLLAPSE) before the
//                        user opens or closes an item; a non-zero answer stops it
//   TVN_ITEMEXPANDED     after it
//   TVN_KEYDOWN          an NmTvKeyDown, before the key does anything
// A press on an item's label or icon (on the whole row with TVS_FULLROWSELECT) raises
// NM_CLICK first, then selects the item; one on the state image raises NM_CLICK, then
// flips the check box; one on the button opens or closes the item, no NM_CLICK.
// Messages raise nothing: TVM_SELECTITEM, TVM_EXPAND, TVM_SETITEM are silent, as
// setting any selection by code is. Deleting by code tells TVN_DELETEITEM for each
// item deleted, so that a parent can release the data words; destroying the control
// raises nothing.
#pragma once
#include <cstdint>

#include "platform/ui/controls.h"
#include "platform/ui/image_list.h"
#include "platform/ui/types.h"

namespace plat {

struct TreeItemTag;
using TreeItem = TreeItemTag*;  // an item's handle; null is no item

// Places of TvInsertStruct and the root (never real items).
inline const TreeItem TVI_ROOT = reinterpret_cast<TreeItem>(uintptr_t(-0x10000));
inline const TreeItem TVI_FIRST = reinterpret_cast<TreeItem>(uintptr_t(-0x0FFFF));
inline const TreeItem TVI_LAST = reinterpret_cast<TreeItem>(uintptr_t(-0x0FFFE));
inline const TreeItem TVI_SORT = reinterpret_cast<TreeItem>(uintptr_t(-0x0FFFD));

// ---- Styles --------------------------------------------------------------------------------
constexpr uint32_t TVS_HASBUTTONS = 0x0001;
constexpr uint32_t TVS_HASLINES = 0x0002;
constexpr uint32_t TVS_LINESATROOT = 0x0004;
constexpr uint32_t TVS_EDITLABELS = 0x0008;
constexpr uint32_t TVS_DISABLEDRAGDROP = 0x0010;
constexpr uint32_t TVS_SHOWSELALWAYS = 0x0020;
constexpr uint32_t TVS_NOTOOLTIPS = 0x0080;
constexpr uint32_t TVS_CHECKBOXES = 0x0100;
constexpr uint32_t TVS_TRACKSELECT = 0x0200;
constexpr uint32_t TVS_FULLROWSELECT = 0x1000;
constexpr uint32_t TVS_NOSCROLL = 0x2000;

// ---- Messages ------------------------------------------------------------------------------
constexpr uint32_t TVM_DELETEITEM = 0x1101;     // lParam item (TVI_ROOT or null: all)
constexpr uint32_t TVM_EXPAND = 0x1102;         // wParam TVE_*, lParam item
constexpr uint32_t TVM_GETITEMRECT = 0x1104;    // wParam label only, lParam Rect* whose first
                                                // bytes hold the item on entry; false when not shown
constexpr uint32_t TVM_GETCOUNT = 0x1105;
constexpr uint32_t TVM_GETINDENT = 0x1106;
constexpr uint32_t TVM_SETINDENT = 0x1107;
constexpr uint32_t TVM_GETIMAGELIST = 0x1108;   // wParam TVSIL_*
constexpr uint32_t TVM_SETIMAGELIST = 0x1109;   // wParam TVSIL_*, lParam ImageList; the previous
constexpr uint32_t TVM_GETNEXTITEM = 0x110A;    // wParam TVGN_*, lParam item
constexpr uint32_t TVM_SELECTITEM = 0x110B;     // wParam TVGN_CARET or TVGN_FIRSTVISIBLE, lParam item
constexpr uint32_t TVM_GETVISIBLECOUNT = 0x1110;
constexpr uint32_t TVM_HITTEST = 0x1111;        // lParam TvHitTestInfo*; the item or null
constexpr uint32_t TVM_ENSUREVISIBLE = 0x1114;  // lParam item: opens its ancestors, scrolls to it
constexpr uint32_t TVM_GETITEMSTATE = 0x1127;   // wParam item, lParam mask
constexpr uint32_t TVM_INSERTITEM = 0x1132;     // lParam TvInsertStruct*; the new item or null
constexpr uint32_t TVM_GETITEM = 0x113E;        // lParam TvItem* (item names it)
constexpr uint32_t TVM_SETITEM = 0x113F;        // lParam TvItem*

// TVM_EXPAND codes.
constexpr unsigned TVE_COLLAPSE = 0x0001;
constexpr unsigned TVE_EXPAND = 0x0002;
constexpr unsigned TVE_TOGGLE = 0x0003;
constexpr unsigned TVE_COLLAPSERESET = 0x8000;  // with TVE_COLLAPSE: the children are deleted

// TVM_GETNEXTITEM relations.
constexpr unsigned TVGN_ROOT = 0x0000;
constexpr unsigned TVGN_NEXT = 0x0001;
constexpr unsigned TVGN_PREVIOUS = 0x0002;
constexpr unsigned TVGN_PARENT = 0x0003;
constexpr unsigned TVGN_CHILD = 0x0004;
constexpr unsigned TVGN_FIRSTVISIBLE = 0x0005;
constexpr unsigned TVGN_NEXTVISIBLE = 0x0006;
constexpr unsigned TVGN_PREVIOUSVISIBLE = 0x0007;
constexpr unsigned TVGN_CARET = 0x0009;
constexpr unsigned TVGN_LASTVISIBLE = 0x000A;

// Image lists.
constexpr unsigned TVSIL_NORMAL = 0;
constexpr unsigned TVSIL_STATE = 2;

// TvItem masks.
constexpr unsigned TVIF_TEXT = 0x0001;
constexpr unsigned TVIF_IMAGE = 0x0002;
constexpr unsigned TVIF_PARAM = 0x0004;
constexpr unsigned TVIF_STATE = 0x0008;
constexpr unsigned TVIF_HANDLE = 0x0010;
constexpr unsigned TVIF_SELECTEDIMAGE = 0x0020;
constexpr unsigned TVIF_CHILDREN = 0x0040;

// Item states.
constexpr unsigned TVIS_SELECTED = 0x0002;
constexpr unsigned TVIS_BOLD = 0x0010;
constexpr unsigned TVIS_EXPANDED = 0x0020;
constexpr unsigned TVIS_STATEIMAGEMASK = 0xF000;
constexpr unsigned tree_state_image(unsigned i) { return (i & 15u) << 12; }
constexpr unsigned tree_state_image_of(unsigned state) { return (state >> 12) & 15u; }

// Hit-test flags.
constexpr unsigned TVHT_NOWHERE = 0x0001;
constexpr unsigned TVHT_ONITEMICON = 0x0002;
constexpr unsigned TVHT_ONITEMLABEL = 0x0004;
constexpr unsigned TVHT_ONITEMINDENT = 0x0008;
constexpr unsigned TVHT_ONITEMBUTTON = 0x0010;
constexpr unsigned TVHT_ONITEMRIGHT = 0x0020;
constexpr unsigned TVHT_ONITEMSTATEICON = 0x0040;
constexpr unsigned TVHT_ONITEM = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON;
constexpr unsigned TVHT_ABOVE = 0x0100;
constexpr unsigned TVHT_BELOW = 0x0200;
constexpr unsigned TVHT_TORIGHT = 0x0400;
constexpr unsigned TVHT_TOLEFT = 0x0800;

// NmTreeView actions.
constexpr unsigned TVC_UNKNOWN = 0;
constexpr unsigned TVC_BYMOUSE = 1;
constexpr unsigned TVC_BYKEYBOARD = 2;

// ---- Notifications -------------------------------------------------------------------------
constexpr int32_t TVN_SELCHANGED = -402;
constexpr int32_t TVN_DELETEITEM = -404;
constexpr int32_t TVN_ITEMEXPANDING = -405;
constexpr int32_t TVN_ITEMEXPANDED = -406;
constexpr int32_t TVN_KEYDOWN = -412;

// ---- Records -------------------------------------------------------------------------------
struct TvItem {
  unsigned mask = 0;
  TreeItem item = nullptr;
  unsigned state = 0;
  unsigned state_mask = 0;
  char16_t* text = nullptr;  // in: the label; out: a buffer of text_max units (always terminated)
  int text_max = 0;
  int image = 0;
  int selected_image = 0;
  int children = 0;          // out: 1 when it has children; in: 1 shows a button without them
  LParam param = 0;          // the data word
};

struct TvInsertStruct {
  TreeItem parent = nullptr;        // null or TVI_ROOT: the root level
  TreeItem insert_after = nullptr;  // TVI_FIRST, TVI_LAST, TVI_SORT (by label, case ignored)
                                    // or a child of `parent`
  TvItem item;
};

struct TvHitTestInfo {
  Point pt;  // client coordinates
  unsigned flags = 0;
  TreeItem item = nullptr;
};

struct NmTreeView {
  NmHdr hdr;
  unsigned action = 0;
  TvItem item_old;  // handle, state and data word
  TvItem item_new;
  Point drag;
};

struct NmTvKeyDown {
  NmHdr hdr;
  uint16_t vkey = 0;
  unsigned flags = 0;
};

}  // namespace plat
