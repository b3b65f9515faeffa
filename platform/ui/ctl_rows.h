// Internal to the row views (list box, list view, tree view, and the combo box's list):
// the parts they share for a column of equal-height rows scrolled a whole row at a time.
//   Geometry    where the rows stand (RowsLayout): rows shown, a row's rectangle, the
//               row under a point.
//   Scrolling   the first row shown kept inside the rows, the first row that brings a
//               row into view, what the scroll bar, the wheel and the navigation keys
//               ask for, telling the parent of a key, and keeping the bar up to date
//               without drawing it on every change.
//   Painting    starting and ending a paint, the rows in view one by one, and how a
//               selected row is marked.
// The views keep their own records; these routines take the numbers they need.
#pragma once
#include <cstdint>

#include "platform/ui/controls.h"
#include "platform/ui/paint.h"
#include "platform/ui/scrollbar.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

// ---- Geometry --------------------------------------------------------------------------------
// Where a view's rows stand in its client area: `header` pixels down (a list view's column
// header) the row `top` begins, each row `height` pixels high.
struct RowsLayout {
  int header = 0;
  int height = 1;
  int top = 0;
};

// Whole rows the client area shows below the header (at least 1).
int rows_shown(Wnd wnd, const RowsLayout& l);
// A row's rectangle, from x 0 to `right`; rows above `top` get rectangles above the header.
Rect rows_rect(const RowsLayout& l, int row, int right);
// The row at client y (-1 above the rows); it may lie past the last row.
int rows_at(const RowsLayout& l, int y);

// ---- Scrolling ------------------------------------------------------------------------------
// A first row clamped so that it stays a row and the last page is full.
int rows_clamp_top(int top, int rows, int shown);
// Moves the first row shown to `want` (clamped) and repaints the view when it moved;
// true when it did.
bool rows_move_top(Wnd wnd, int& top, int want, int rows, int shown);
// The first row that brings `row` into view with the least scrolling (`top` itself when
// it is in view already).
int rows_top_showing(int top, int shown, int row);
// The first row a WM_MOUSEWHEEL turn asks for: three rows a notch (not yet clamped).
int rows_wheel_target(int top, WParam wp);
// The row a navigation key (arrows up and down, page up and down, Home, End) moves the
// focus to from `from`, among `rows` rows with `shown` in view; from none (-1) every key
// but End goes to the first. -1 for other keys and when there are no rows.
int rows_key_target(int vk, int from, int rows, int shown);

// Tells the parent of a key pressed in the view with a record `Nm` (the view's key
// notification, LVN_KEYDOWN or TVN_KEYDOWN) before the view acts on it; false when the
// parent destroyed the view meanwhile.
template <class Nm>
bool rows_tell_key(Wnd wnd, int vk, int32_t code) {
  Nm nm;
  nm.vkey = uint16_t(vk);
  notify_parent(wnd, &nm.hdr, code);
  return is_window(wnd);
}

// The vertical bar of a row view: what it was last given, and whether that still waits to
// be drawn. A run of inserts moves the bar often, so it is drawn once, at the next paint.
struct RowsBar {
  ScrollInfo info;     // max -1: nothing given yet
  bool stale = false;  // given but not drawn yet
  RowsBar() { info.max = -1; }
};

// Shows the bar while `rows` exceed the `shown` ones and gives it the range and the
// first row `top`; nothing happens when those are what it already has.
void rows_update_bar(Wnd wnd, RowsBar& bar, int rows, int shown, int top);

// The first row a scroll request asks for (not yet clamped: the view does that): a
// WM_VSCROLL from the bar (`shown` rows a page, `bottom` past the last row) or a
// WM_MOUSEWHEEL turn; false for requests that move nothing.
bool rows_scroll_target(Wnd wnd, uint32_t msg, WParam wp, int top, int shown, int bottom, int* target);

// ---- Painting -------------------------------------------------------------------------------
// A paint of a row view under way.
struct RowsPaint {
  PaintStruct ps;
  Dc dc = nullptr;
  Rect rc;  // the client area
  GdiObj old_font = nullptr;
};

// Begins painting and takes the client area; false: nothing to paint. The view fills its
// background, then selects its font with rows_paint_font.
bool rows_paint_open(Wnd wnd, RowsPaint& p);
// Selects `font` (null: the interface font) for transparent text.
void rows_paint_font(RowsPaint& p, Font font);
// The whole start of a view that owns its bar: draws a bar left waiting, opens the paint,
// clears the client area to the window colour and selects `font`.
bool rows_paint_begin(Wnd wnd, RowsBar& bar, Font font, RowsPaint& p);
void rows_paint_end(Wnd wnd, RowsPaint& p);

// Hands each row in view, of `rows`, to `draw(row, rectangle)`, from the first shown down
// to the client area's bottom; the rectangles are rows_rect's, `right` wide.
template <class Draw>
void rows_paint_each(const RowsPaint& p, const RowsLayout& l, int rows, int right, Draw draw) {
  for (int i = l.top; i < rows; ++i) {
    const Rect r = rows_rect(l, i, right);
    if (r.top >= p.rc.bottom) break;
    draw(i, r);
  }
}

// How a row shows that it is selected: in the highlight colour, in the button face
// colour (a view without the focus that shows its selection always), or not at all.
enum class RowMark { none, lit, grey };
// A view's mark for a selected row: lit while it has the focus, else grey when it shows
// its selection always.
RowMark rows_mark(bool selected, bool focused, bool show_always);
// Fills the marked part of a row; nothing for an unmarked row.
void rows_fill_mark(Dc dc, const Rect& r, RowMark mark);
// The text colour on a marked part: the highlight's text colour when lit, else `normal`.
Color rows_text_on(RowMark mark, Color normal);

}  // namespace plat::ui_detail
