// The X11 presenter: shows the top-level windows of the window system on an X display
// and turns the display's input into the window system's input entry points.
//
// x11_start opens the display (the one $DISPLAY names when `display` is null), installs
// the presenter and sets the screen metrics from the display; it answers false, and
// leaves the programs headless, when no display can be opened or the display has no
// true-colour visual. `program` is the program's name, which its windows carry to the
// window manager as their class (WM_CLASS: the name in lower case, and with a capital;
// null: the executable's name). When a window manager runs, it frames the windows and
// draws their title bars in place of the window system (set_frames_by_manager). x11_stop
// removes the presenter and closes the display. Both are called on the user-interface
// thread; starting twice keeps the first display.
//
// When the connection to the display breaks, the program is not ended: the presenter
// steps aside, the programs go on headless, and each window that was shown is asked to
// close (WM_SYSCOMMAND SC_CLOSE), as when the window manager closes it.
#pragma once

namespace plat {

bool x11_start(const char* display = nullptr, const char* program = nullptr);
void x11_stop();
// Whether a display is open and its connection alive.
bool x11_running();

}  // namespace plat
