// Icons of top-level windows, and message boxes that show a program's own icon.
//
// A top-level window has a large icon (the window manager's task list and switcher) and
// a small one (16 x 16, the title bar), pixels 0xAARRGGBB (alpha 0 transparent). The
// window keeps copies; an empty surface clears that icon; the icon listener is told (the
// X11 presenter, which sets _NET_WM_ICON). User-interface thread.
#pragma once
#include "platform/gdi/surface.h"
#include "platform/ui/types.h"

namespace plat {

constexpr int kWindowIconSmall = 0;
constexpr int kWindowIconBig = 1;
// false for no such window or another `which`.
bool set_window_icon(Wnd top, int which, const Surface& icon);
// The icon kept (an empty surface when none); false for no such window.
bool get_window_icon(Wnd top, int which, Surface* out);
// Called after a window's icons changed (null: none).
using window_icon_listener = void (*)(Wnd top);
void set_window_icon_listener(window_icon_listener listener);

// The icon bits of a message box's flags (see msgbox.h) that name the box's own icon.
constexpr unsigned MB_USERICON = 0x80;
// A message box showing `icon` (drawn 32 x 32 at most, transparent where alpha is 0) in
// place of the stock icons; the box window takes it as its own large icon too. `flags` as
// message_box's, the icon bits replaced by MB_USERICON (none for an empty icon).
int message_box_icon(Wnd owner, const char* text, const char* caption, unsigned flags,
                     const Surface& icon);

}  // namespace plat
