// The cursor coordinate window: a small captioned window of class "curseur", owned by
// the frame, that shows the mouse position over the map window in the cursor system
// of the map window's pane. Its caption names the system and its unit ("WGS 84
// (Degree)"), its client area the coordinate pair. The menu item "Display cursor
// coordinates" shows and hides it and carries a check mark while it is shown; the
// shown flag is opt_cursor_display (menu.h), which the map window's mouse-move
// handling reads before it calls cursor_window_update.
//
// The cursor system and its chain from the display system are map/cursor_system.h's;
// the dialogs that choose them are system_dialogs.h's.
//
// Files: cursor_window.cpp (class, toggle, update, procedure), cursor_format.cpp (the
// two texts of a position).
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

struct pane_t;

// Registers the class "curseur" (start-up). A refusal writes "erreur Windows %d" to the
// trace log and sets gblerr 11. 1 when registered.
int register_cursor_class();
// Shows the window (checking the menu item) or destroys it (unchecking it). Showing
// needs a current map window and the frame (the command target); the window is placed
// near the frame's upper right corner and the frame is made active again.
void cursor_window_toggle();
// Shows the position of the mouse over the map window (nothing while hidden, without a
// pane or without a cursor system with its chain); an empty position text erases the
// window, so that no earlier position stays shown.
void cursor_window_update();
// The window (null while hidden).
plat::Wnd cursor_window();
// The procedure of the class: when the user has finished moving the window, the frame
// is made active again so that the keyboard stays with the map.
plat::LResult cursor_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);

// The texts of the position at a client pixel of the map window: *position the
// coordinate pair in the cursor system and unit, *system "name (unit)" in the user's
// language (owned strings, released by the caller with free_mem). 1 when a position
// was made; 0, both left untouched, without pane, cursor system or chain. A unit that
// has no format, or a position the cursor system has no number for (NaN or infinite:
// outside a projection's domain), gives an empty position text.
int format_cursor_position(int x, int y, const pane_t* pane, char** position, char** system);
