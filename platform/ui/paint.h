// Painting: invalid regions, the paint cycle, window device contexts and scrolling.
//
// Every top-level window owns a Surface of its window size (resized with it); child
// windows draw into their top-level window's surface. A window device context is a
// create_surface_dc over that surface with its origin at the window's client origin,
// clipped to the client area, to the ancestors' client areas, and for a window with
// WS_CLIPCHILDREN to the area outside its visible children; a hidden child draws
// nothing. A context holds its surface's lock until it is released, so a worker thread
// may draw into a window (get_dc ... release_dc) while the user-interface thread runs.
// Such a worker may send messages while it holds the context: during the call the
// user-interface thread draws into that surface as well (the worker lends it), and the
// loop leaves the surface's paint and its copying to the screen until the worker's
// release_dc. A context taken inside such a call is released before the call returns.
//
// Invalid regions are kept per window in client coordinates. Invalidating a window
// without WS_CLIPCHILDREN invalidates the children under the area too.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

namespace plat {

struct PaintStruct {
  Dc dc = nullptr;
  bool erase = false;  // the background still needs erasing (WM_ERASEBKGND answered 0)
  Rect paint;          // bounds of the area to paint, client coordinates
};

// Scroll flags of scroll_window_ex.
constexpr unsigned SW_SCROLLCHILDREN = 0x0001;
constexpr unsigned SW_INVALIDATE = 0x0002;
constexpr unsigned SW_ERASE = 0x0004;

// A null rectangle or region means the whole client area. Any thread.
bool invalidate_rect(Wnd wnd, const Rect* rect, bool erase);
bool invalidate_rgn(Wnd wnd, const Region* rgn, bool erase);
bool validate_rect(Wnd wnd, const Rect* rect);
bool validate_rgn(Wnd wnd, const Region* rgn);
// The update region as it stands (before begin_paint validates it). With `erase`, a
// pending WM_ERASEBKGND is sent first. get_update_rect returns whether it is non-empty.
// get_update_rgn returns the region type (NULLREGION, SIMPLEREGION, COMPLEXREGION, or
// RGN_ERROR for a window that does not exist).
bool get_update_rect(Wnd wnd, Rect* out, bool erase);
int get_update_rgn(Wnd wnd, Region* out, bool erase);

// The paint cycle: begin_paint takes and validates the update region, sends
// WM_ERASEBKGND when an erase was asked for, and returns a context clipped to the
// region; end_paint releases it.
Dc begin_paint(Wnd wnd, PaintStruct* ps);
bool end_paint(Wnd wnd, const PaintStruct* ps);
// Sends WM_PAINT now to the window and its children that have an invalid region.
bool update_window(Wnd wnd);

// A context over the window's client area (any thread); release it with release_dc.
Dc get_dc(Wnd wnd);
int release_dc(Wnd wnd, Dc dc);

// Moves the pixels of the client area (or of `scroll`, clipped to `clip`) by dx, dy
// and reports the area left uncovered in `update` and its bounds in `update_rect`
// (either may be null). SW_INVALIDATE adds that area to the update region (SW_ERASE:
// with an erase); the existing invalid area inside the scrolled part moves along;
// SW_SCROLLCHILDREN moves the children too. Returns the kind of the uncovered region.
int scroll_window_ex(Wnd wnd, int dx, int dy, const Rect* scroll, const Rect* clip,
                     Region* update, Rect* update_rect, unsigned flags);

// Runs `use` with the top-level window's surface locked (the presenter copies pixels
// out this way, the test harness takes pictures). False for a window that is not a
// top-level window.
bool with_window_surface(Wnd top, const std::function<void(const Surface&)>& use);

}  // namespace plat
