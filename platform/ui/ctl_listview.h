// The list view control ("SysListView32") in report mode: a header row of columns and
// one row per item, the item's text in the first column and its sub-items in the
// others, each item with a data word and a state (selected, focused, check box).
// The other view modes are taken as report mode. Sub-item n is the text shown in
// column n: inserting or deleting a column moves the texts of the columns after it.
// A column inserted without LVCF_WIDTH is as wide as its header text.
//
// Layout: the header row (none with LVS_NOCOLUMNHEADER) and rows of one text line. A
// vertical scroll bar comes and goes as the rows need it (never with LVS_NOSCROLL);
// columns that reach past the right edge are cut, there is no horizontal scrolling.
//
// Notifications (WM_NOTIFY to the parent), for what the user does only:
//   NM_CLICK, NM_DBLCLK, NM_RCLICK   an NmItemActivate (item -1 off the items)
//   LVN_ITEMCHANGED                  an NmListView per item whose selected, focused or
//                                    check state the user's click or key changed
//   LVN_COLUMNCLICK                  an NmListView (sub_item: the column), unless
//                                    LVS_NOSORTHEADER
//   LVN_ITEMACTIVATE                 an NmItemActivate, on a double click on an item
//                                    or Enter on the selection (after NM_RETURN)
//   LVN_KEYDOWN                      an NmLvKeyDown, before the key does anything
// Messages change states without raising anything: selecting by code (LVM_SETITEMSTATE,
// LVM_SETITEM) is silent, as setting any list selection by code is. Deleting by code
// does tell: LVN_DELETEITEM for each item deleted (after LVN_DELETEALLITEMS for
// LVM_DELETEALLITEMS; a non-zero answer to that one skips the per-item notices), so
// that a parent can release what the data words refer to. Destroying the control
// raises nothing.
//
// Text travels as UTF-16 (char16_t*); message numbers with text are the wide ones.
#pragma once
#include <cstdint>

#include "platform/ui/controls.h"
#include "platform/ui/types.h"

namespace plat {

// ---- Styles --------------------------------------------------------------------------------
constexpr uint32_t LVS_ICON = 0x0000;
constexpr uint32_t LVS_REPORT = 0x0001;
constexpr uint32_t LVS_SMALLICON = 0x0002;
constexpr uint32_t LVS_LIST = 0x0003;
constexpr uint32_t LVS_TYPEMASK = 0x0003;
constexpr uint32_t LVS_SINGLESEL = 0x0004;
constexpr uint32_t LVS_SHOWSELALWAYS = 0x0008;  // the selection shows (grey) without the focus
constexpr uint32_t LVS_NOSCROLL = 0x2000;
constexpr uint32_t LVS_NOCOLUMNHEADER = 0x4000;
constexpr uint32_t LVS_NOSORTHEADER = 0x8000;  // the headers are not buttons

// Extended styles (LVM_SETEXTENDEDLISTVIEWSTYLE).
constexpr uint32_t LVS_EX_GRIDLINES = 0x0001;
constexpr uint32_t LVS_EX_CHECKBOXES = 0x0004;  // state image 1 unchecked, 2 checked
constexpr uint32_t LVS_EX_FULLROWSELECT = 0x0020;

// ---- Messages ------------------------------------------------------------------------------
constexpr uint32_t LVM_FIRST = 0x1000;
constexpr uint32_t LVM_GETITEMCOUNT = 0x1004;
constexpr uint32_t LVM_DELETEITEM = 0x1008;      // wParam item
constexpr uint32_t LVM_DELETEALLITEMS = 0x1009;
constexpr uint32_t LVM_GETNEXTITEM = 0x100C;     // wParam start (-1: from the first), lParam LVNI_*
constexpr uint32_t LVM_GETITEMRECT = 0x100E;     // wParam item, lParam Rect* (left: LVIR_*)
constexpr uint32_t LVM_HITTEST = 0x1012;         // lParam LvHitTestInfo*; returns the item or -1
constexpr uint32_t LVM_ENSUREVISIBLE = 0x1013;   // wParam item
constexpr uint32_t LVM_DELETECOLUMN = 0x101C;    // wParam column
constexpr uint32_t LVM_GETCOLUMNWIDTH = 0x101D;  // wParam column
constexpr uint32_t LVM_SETCOLUMNWIDTH = 0x101E;  // wParam column, lParam width or LVSCW_*
constexpr uint32_t LVM_GETTOPINDEX = 0x1027;
constexpr uint32_t LVM_GETCOUNTPERPAGE = 0x1028;  // whole rows shown
constexpr uint32_t LVM_SETITEMSTATE = 0x102B;     // wParam item (-1: all), lParam LvItem* (state, mask)
constexpr uint32_t LVM_GETITEMSTATE = 0x102C;     // wParam item, lParam mask
constexpr uint32_t LVM_SORTITEMS = 0x1030;        // wParam sort word, lParam LvCompare (data words)
constexpr uint32_t LVM_GETSELECTEDCOUNT = 0x1032;
constexpr uint32_t LVM_SETEXTENDEDLISTVIEWSTYLE = 0x1036;  // wParam mask (0: all), lParam styles;
                                                           // returns the previous styles
constexpr uint32_t LVM_GETEXTENDEDLISTVIEWSTYLE = 0x1037;
constexpr uint32_t LVM_GETSUBITEMRECT = 0x1038;   // wParam item, lParam Rect* (top: sub-item, left: LVIR_*)
constexpr uint32_t LVM_SUBITEMHITTEST = 0x1039;   // lParam LvHitTestInfo*; returns the item or -1
constexpr uint32_t LVM_GETITEM = 0x104B;          // lParam LvItem*
constexpr uint32_t LVM_SETITEM = 0x104C;          // lParam LvItem*
constexpr uint32_t LVM_INSERTITEM = 0x104D;       // lParam LvItem*; returns the index or -1
constexpr uint32_t LVM_SORTITEMSEX = 0x1051;      // as LVM_SORTITEMS with the items' indices
constexpr uint32_t LVM_FINDITEM = 0x1053;         // wParam start (-1: all), lParam LvFindInfo*
constexpr uint32_t LVM_GETCOLUMN = 0x105F;        // wParam column, lParam LvColumn*
constexpr uint32_t LVM_SETCOLUMN = 0x1060;
constexpr uint32_t LVM_INSERTCOLUMN = 0x1061;     // wParam position; returns the index or -1
constexpr uint32_t LVM_GETITEMTEXT = 0x1073;      // wParam item, lParam LvItem*; returns the length
constexpr uint32_t LVM_SETITEMTEXT = 0x1074;      // wParam item, lParam LvItem* (sub_item, text)

// LVM_SETCOLUMNWIDTH: the widest text of the column; the same or its header's width,
// whichever is larger (for the last column: at least the rest of the client width).
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2;

// LvItem and LvColumn masks.
constexpr unsigned LVIF_TEXT = 0x0001;
constexpr unsigned LVIF_IMAGE = 0x0002;
constexpr unsigned LVIF_PARAM = 0x0004;
constexpr unsigned LVIF_STATE = 0x0008;
constexpr unsigned LVCF_FMT = 0x0001;
constexpr unsigned LVCF_WIDTH = 0x0002;
constexpr unsigned LVCF_TEXT = 0x0004;
constexpr unsigned LVCF_SUBITEM = 0x0008;
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;

// Item states.
constexpr unsigned LVIS_FOCUSED = 0x0001;
constexpr unsigned LVIS_SELECTED = 0x0002;
constexpr unsigned LVIS_STATEIMAGEMASK = 0xF000;
constexpr unsigned index_to_state_image(unsigned i) { return (i & 15u) << 12; }
constexpr unsigned state_image_of(unsigned state) { return (state >> 12) & 15u; }

// LVM_GETNEXTITEM flags.
constexpr unsigned LVNI_ALL = 0x0000;
constexpr unsigned LVNI_FOCUSED = 0x0001;
constexpr unsigned LVNI_SELECTED = 0x0002;
constexpr unsigned LVNI_ABOVE = 0x0100;
constexpr unsigned LVNI_BELOW = 0x0200;

// LVM_GETITEMRECT / LVM_GETSUBITEMRECT parts.
constexpr int LVIR_BOUNDS = 0;
constexpr int LVIR_ICON = 1;
constexpr int LVIR_LABEL = 2;
constexpr int LVIR_SELECTBOUNDS = 3;

// LvFindInfo flags. Texts compare without regard to case.
constexpr unsigned LVFI_PARAM = 0x0001;
constexpr unsigned LVFI_STRING = 0x0002;
constexpr unsigned LVFI_PARTIAL = 0x0008;  // with LVFI_STRING: the text begins with it
constexpr unsigned LVFI_WRAP = 0x0020;     // go on from the first item

// Hit-test flags.
constexpr unsigned LVHT_NOWHERE = 0x0001;
constexpr unsigned LVHT_ONITEMICON = 0x0002;
constexpr unsigned LVHT_ONITEMLABEL = 0x0004;
constexpr unsigned LVHT_ONITEMSTATEICON = 0x0008;
constexpr unsigned LVHT_ONITEM = 0x000E;
constexpr unsigned LVHT_ABOVE = 0x0008;
constexpr unsigned LVHT_BELOW = 0x0010;
constexpr unsigned LVHT_TORIGHT = 0x0020;
constexpr unsigned LVHT_TOLEFT = 0x0040;

// ---- Notifications -------------------------------------------------------------------------
constexpr int32_t LVN_ITEMCHANGED = -101;
constexpr int32_t LVN_DELETEITEM = -103;
constexpr int32_t LVN_DELETEALLITEMS = -104;
constexpr int32_t LVN_COLUMNCLICK = -108;
constexpr int32_t LVN_ITEMACTIVATE = -114;
constexpr int32_t LVN_KEYDOWN = -155;

// ---- Records -------------------------------------------------------------------------------
struct LvColumn {
  unsigned mask = 0;
  int fmt = LVCFMT_LEFT;
  int cx = 0;                 // width in pixels
  char16_t* text = nullptr;   // in: the header text; out: a buffer of text_max units
  int text_max = 0;
  int sub_item = 0;           // out: the column's index
};

struct LvItem {
  unsigned mask = 0;
  int item = 0;
  int sub_item = 0;
  unsigned state = 0;
  unsigned state_mask = 0;
  char16_t* text = nullptr;  // in: the text; out: a buffer of text_max units (always terminated)
  int text_max = 0;
  int image = 0;             // kept, not drawn
  LParam param = 0;          // the data word
};

struct LvFindInfo {
  unsigned flags = 0;
  const char16_t* text = nullptr;
  LParam param = 0;
};

struct LvHitTestInfo {
  Point pt;        // client coordinates
  unsigned flags = 0;
  int item = -1;
  int sub_item = 0;
};

struct NmListView {
  NmHdr hdr;
  int item = -1;
  int sub_item = 0;
  unsigned new_state = 0;
  unsigned old_state = 0;
  unsigned changed = 0;  // LVIF_STATE for a state change
  Point action;          // where the click was (client coordinates)
  LParam param = 0;      // the item's data word
};

struct NmItemActivate {
  NmHdr hdr;
  int item = -1;
  int sub_item = 0;
  unsigned new_state = 0;
  unsigned old_state = 0;
  unsigned changed = 0;
  Point action;
  LParam param = 0;
  unsigned key_flags = 0;  // LVKF_* held during the click
};
constexpr unsigned LVKF_ALT = 0x0001;
constexpr unsigned LVKF_CONTROL = 0x0002;
constexpr unsigned LVKF_SHIFT = 0x0004;

struct NmLvKeyDown {
  NmHdr hdr;
  uint16_t vkey = 0;
  unsigned flags = 0;
};

// Sorting: a negative answer puts the first item before the second. LVM_SORTITEMS
// passes the two data words, LVM_SORTITEMSEX the two items' indices as they stood when
// the sort began; the sort is stable, and the items may be read during it.
using LvCompare = int (*)(LParam first, LParam second, LParam sort_word);

}  // namespace plat
