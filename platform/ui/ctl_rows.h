// Internal to the row views (list view, tree view): the parts both share for a column
// of equal-height rows scrolled a whole row at a time by the vertical scroll bar —
// keeping the bar up to date without drawing it on every change, turning the bar's
// WM_VSCROLL requests into a first row, and starting and ending a paint of the rows.
#pragma once
#include "platform/ui/paint.h"
#include "platform/ui/scrollbar.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

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

// The first row a WM_VSCROLL request asks for (not yet clamped: the view does that);
// false for requests that move nothing. `shown` is a page; `bottom` is past the last row.
bool rows_scroll_target(Wnd wnd, WParam wp, int top, int shown, int bottom, int* target);

// A paint of a row view under way.
struct RowsPaint {
  PaintStruct ps;
  Dc dc = nullptr;
  Rect rc;  // the client area
  GdiObj old_font = nullptr;
};

// Draws a bar left waiting, begins painting, clears the client area to the window colour
// and selects `font` (null: the interface font) for transparent text. False: nothing to paint.
bool rows_paint_begin(Wnd wnd, RowsBar& bar, Font font, RowsPaint& p);
void rows_paint_end(Wnd wnd, RowsPaint& p);

}  // namespace plat::ui_detail
