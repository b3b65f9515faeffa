// The toolbar control ("ToolbarWindow32"), its tooltips ("tooltips_class32"), and
// bitmap (.bmp) files. The toolbar keeps its images in an image list (image_list.h).
//
// Toolbar: a row of buttons (a column with CCS_VERT), each an image of the toolbar's
// image list, a command id, a state (TBSTATE_*) and a style (TBSTYLE_BUTTON, _SEP,
// _CHECK, _CHECKGROUP). Buttons start 2 pixels from the top-left corner; a separator
// is 8 pixels wide (high, in a column) unless its `bitmap` field gives a width.
// A click on an enabled button sends WM_COMMAND to the parent (wParam: the command
// id in the low word, BN_CLICKED (0) in the high word; lParam: the toolbar); a check
// button toggles first, a check-group button is checked and the others of its group
// (the run of check-group buttons around it) unchecked. Messages change states
// without raising anything.
//
// Images: TB_ADDBITMAP takes the standard images (instance HINST_COMMCTRL, id
// IDB_STD_SMALL_COLOR or IDB_STD_LARGE_COLOR: STD_CUT .. STD_PRINT, drawn here) or a
// bitmap (instance 0, id the Bitmap handle) cut into images of the bitmap size; its
// pixels of colour 0xC0C0C0 (the classic button face of toolbar bitmaps) and those
// whose alpha byte is 0 are transparent. Until TB_SETBITMAPSIZE is used or images are
// added, the bitmap size follows the first images added: 16 x 16 (24 x 24 large) for
// the standard ones, the bitmap's height and its width divided by the count for a
// bitmap; buttons are the image size plus 7 each way unless TB_SETBUTTONSIZE says more.
//
// Tooltips (TBSTYLE_TOOLTIPS): when the mouse rests on a button for kTooltipDelayMs of
// the clock, the toolbar asks its parent for the text with WM_NOTIFY TTN_GETDISPINFO
// (an NmTtDispInfo whose hdr.id_from is the command id); without an answer the
// button's string (TB_ADDSTRING, or a string given in the button's `string`) serves.
// The tip shows under the cursor and goes when the mouse leaves the button, when the
// button is pressed, or after kTooltipShowMs.
//
// Text travels as UTF-16; message numbers with text are the wide ones.
#pragma once
#include <cstdint>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/ui/controls.h"
#include "platform/ui/types.h"

namespace plat {

// ---- Window styles -----------------------------------------------------------------------
constexpr uint32_t CCS_TOP = 0x0001;
constexpr uint32_t CCS_NOMOVEY = 0x0002;
constexpr uint32_t CCS_BOTTOM = 0x0003;
constexpr uint32_t CCS_NORESIZE = 0x0004;       // TB_AUTOSIZE keeps the size across the bar
constexpr uint32_t CCS_NOPARENTALIGN = 0x0008;  // TB_AUTOSIZE keeps the position
constexpr uint32_t CCS_ADJUSTABLE = 0x0020;
constexpr uint32_t CCS_NODIVIDER = 0x0040;
constexpr uint32_t CCS_VERT = 0x0080;           // one button per row
constexpr uint32_t TBSTYLE_TOOLTIPS = 0x0100;
constexpr uint32_t TBSTYLE_WRAPABLE = 0x0200;
constexpr uint32_t TBSTYLE_FLAT = 0x0800;       // no raised edge on buttons at rest
constexpr uint32_t TBSTYLE_LIST = 0x1000;

// ---- Button styles and states ---------------------------------------------------------------
constexpr uint8_t TBSTYLE_BUTTON = 0x00;
constexpr uint8_t TBSTYLE_SEP = 0x01;
constexpr uint8_t TBSTYLE_CHECK = 0x02;
constexpr uint8_t TBSTYLE_GROUP = 0x04;
constexpr uint8_t TBSTYLE_CHECKGROUP = TBSTYLE_GROUP | TBSTYLE_CHECK;
constexpr uint8_t TBSTATE_CHECKED = 0x01;
constexpr uint8_t TBSTATE_PRESSED = 0x02;
constexpr uint8_t TBSTATE_ENABLED = 0x04;
constexpr uint8_t TBSTATE_HIDDEN = 0x08;
constexpr uint8_t TBSTATE_INDETERMINATE = 0x10;
constexpr uint8_t TBSTATE_WRAP = 0x20;

// ---- Messages (WM_USER + n); `id` is a command id, `index` a position --------------------------
constexpr uint32_t TB_ENABLEBUTTON = 0x0401;     // wParam id, lParam enable; TRUE when the id exists
constexpr uint32_t TB_CHECKBUTTON = 0x0402;      // wParam id, lParam check
constexpr uint32_t TB_PRESSBUTTON = 0x0403;      // wParam id, lParam press
constexpr uint32_t TB_HIDEBUTTON = 0x0404;       // wParam id, lParam hide
constexpr uint32_t TB_ISBUTTONENABLED = 0x0409;  // wParam id; non-zero when so
constexpr uint32_t TB_ISBUTTONCHECKED = 0x040A;
constexpr uint32_t TB_ISBUTTONPRESSED = 0x040B;
constexpr uint32_t TB_ISBUTTONHIDDEN = 0x040C;
constexpr uint32_t TB_SETSTATE = 0x0411;         // wParam id, lParam the state
constexpr uint32_t TB_GETSTATE = 0x0412;         // wParam id; the state, -1 for an unknown id
constexpr uint32_t TB_ADDBITMAP = 0x0413;        // wParam image count, lParam TbAddBitmap*;
                                                 // the first image's index, -1 on failure
constexpr uint32_t TB_DELETEBUTTON = 0x0416;     // wParam index
constexpr uint32_t TB_GETBUTTON = 0x0417;        // wParam index, lParam TbButton*
constexpr uint32_t TB_BUTTONCOUNT = 0x0418;
constexpr uint32_t TB_COMMANDTOINDEX = 0x0419;   // wParam id; -1 for an unknown id
constexpr uint32_t TB_GETITEMRECT = 0x041D;      // wParam index, lParam Rect* (client coordinates)
constexpr uint32_t TB_BUTTONSTRUCTSIZE = 0x041E; // wParam sizeof(TbButton)
constexpr uint32_t TB_SETBUTTONSIZE = 0x041F;    // lParam make_lparam(cx, cy)
constexpr uint32_t TB_SETBITMAPSIZE = 0x0420;    // lParam make_lparam(cx, cy); before images only
constexpr uint32_t TB_AUTOSIZE = 0x0421;
constexpr uint32_t TB_GETTOOLTIPS = 0x0423;      // the tooltips window
constexpr uint32_t TB_GETBUTTONSIZE = 0x043A;    // make_lparam(cx, cy)
constexpr uint32_t TB_SETMAXTEXTROWS = 0x043C;   // kept; button texts are never drawn
constexpr uint32_t TB_INSERTBUTTON = 0x0443;     // wParam index (past the end: appended), lParam TbButton*
constexpr uint32_t TB_ADDBUTTONS = 0x0444;       // wParam count, lParam TbButton[]
constexpr uint32_t TB_ADDSTRING = 0x044D;        // lParam strings, each ended by 0, the list by
                                                 // a second 0; the first one's index, -1 on failure
constexpr uint32_t TB_GETMAXSIZE = 0x0453;       // lParam Size*: the bounds of the shown buttons

// TB_ADDBITMAP sources.
constexpr intptr_t HINST_COMMCTRL = -1;
constexpr uintptr_t IDB_STD_SMALL_COLOR = 0;
constexpr uintptr_t IDB_STD_LARGE_COLOR = 1;
// The standard images, in their order.
enum StandardImage : int {
  STD_CUT = 0, STD_COPY = 1, STD_PASTE = 2, STD_UNDO = 3, STD_REDOW = 4, STD_DELETE = 5,
  STD_FILENEW = 6, STD_FILEOPEN = 7, STD_FILESAVE = 8, STD_PRINTPRE = 9, STD_PROPERTIES = 10,
  STD_HELP = 11, STD_FIND = 12, STD_REPLACE = 13, STD_PRINT = 14, STD_IMAGE_COUNT = 15
};

// ---- Records -------------------------------------------------------------------------------
struct TbButton {
  int bitmap = 0;      // the image index (a separator: its width, 0 for the default)
  int command = 0;
  uint8_t state = TBSTATE_ENABLED;
  uint8_t style = TBSTYLE_BUTTON;
  uintptr_t data = 0;
  intptr_t string = -1;  // below 65536: an index of TB_ADDSTRING's strings; else a
                         // const char16_t* copied when the button is added
};

struct TbAddBitmap {
  intptr_t instance = 0;  // HINST_COMMCTRL for the standard images, 0 for a Bitmap
  uintptr_t id = 0;       // IDB_STD_* or the Bitmap handle
};

// ---- Tooltips --------------------------------------------------------------------------------
constexpr int32_t TTN_GETDISPINFO = -520;
constexpr int32_t TTN_NEEDTEXT = TTN_GETDISPINFO;
constexpr int kTooltipDelayMs = 500;
constexpr int kTooltipShowMs = 5000;

// The parent fills `text` (a string that lives on after the answer) or `sz_text`.
struct NmTtDispInfo {
  NmHdr hdr;  // hwnd_from: the tooltips window; id_from: the button's command id
  char16_t* text = nullptr;
  char16_t sz_text[80] = {};
  intptr_t instance = 0;
  unsigned flags = 0;
  LParam param = 0;  // the button's data word
};

// ---- Bitmap files ------------------------------------------------------------------------------
// Reads a .bmp file ('\' accepted as a separator) into a 32-bit bitmap; null when the
// file is missing or not a bitmap this reader takes (ctl_toolbar_bmp.h says which).
// LR_LOADTRANSPARENT: pixels of the top-left pixel's colour become transparent (alpha
// 0, over the window colour); LR_LOADMAP3DCOLORS: the greys 128, 192 and 223 become the
// shadow, face and light colours of the system.
constexpr unsigned LR_LOADTRANSPARENT = 0x0020;
constexpr unsigned LR_LOADMAP3DCOLORS = 0x1000;
Bitmap load_bitmap_file(const char* path, unsigned flags);

}  // namespace plat
