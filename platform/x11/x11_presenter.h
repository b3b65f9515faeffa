// The X11 presenter: shows the top-level windows of the window system on an X display
// and turns the display's input into the window system's input entry points.
//
// x11_start opens the display (the one $DISPLAY names when `display` is null), installs
// the presenter and sets the screen metrics from the display; it answers false, and
// leaves the programs headless, when no display can be opened or the display has no
// true-colour visual. x11_stop removes the presenter and closes the display. Both are
// called on the user-interface thread; starting twice keeps the first display.
#pragma once

namespace plat {

bool x11_start(const char* display = nullptr);
void x11_stop();
// Whether a display is open.
bool x11_running();

}  // namespace plat
