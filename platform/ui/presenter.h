// The presenter: the on-screen backend (the X11 presenter) that shows top-level windows
// and turns real input into the entry points of input.h. Without one everything runs
// headless. The window system calls the presenter only on the user-interface thread,
// except wake(), which any thread may call.
//
// A top-level window's surface holds the whole window, frame, caption and menu bar
// included (the window system draws them), at the window's size; areas of it that
// changed are reported in window coordinates and read with with_window_surface
// (paint.h). Input points are given in the same window coordinates.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ui/types.h"

namespace plat {

class Presenter {
 public:
  virtual ~Presenter() = default;

  // Top-level windows. `window` is the window rectangle in screen coordinates and
  // `client` the client rectangle in window coordinates.
  virtual void window_shown(Wnd top, const Rect& window, const Rect& client) {}
  virtual void window_hidden(Wnd top) {}
  virtual void window_moved(Wnd top, const Rect& window, const Rect& client) {}
  virtual void window_retitled(Wnd top, const std::u16string& title) {}
  virtual void window_activated(Wnd top) {}
  virtual void window_destroyed(Wnd top) {}
  // Pixels of a top-level window's surface changed inside `area`.
  virtual void surface_updated(Wnd top, const Rect& area) {}
  // The current cursor changed (cursor_id gives its shape; null hides it).
  virtual void cursor_changed(Cursor cursor) {}

  // Called by the message loop when it has nothing to do: wait for real events,
  // deliver them through the input entry points, and return when some were delivered,
  // when wake() is called, or after `timeout_ms` real milliseconds (negative: no limit).
  virtual void wait_events(int64_t timeout_ms) = 0;
  // Ends a wait_events in progress (or the next one) early. Any thread.
  virtual void wake() = 0;
};

// Installs the presenter (null: headless). The caller keeps it alive while installed.
void set_presenter(Presenter* presenter);
Presenter* get_presenter();

// ---- Frames drawn by a window manager -----------------------------------------------------
// On a desktop with a window manager, the manager frames the top-level windows and draws
// their title bars. A presenter that finds one turns frames by the manager on: a
// top-level window with a caption (WS_CAPTION) then draws neither its frame nor its
// caption, and the manager's frame stands in their place inside the window rectangle.
// The window rectangle stays what the program asked for, the frame included, so a window
// placed over the work area fits it with the manager's frame; the presenter shows the
// part inside the frame (menu bar and client area). Windows without a caption (popup
// menus, dropped lists, tooltips) keep their own border.
//
// The thickness of the manager's frame on each side: `usual` is taken for every window
// until the manager reports the frame of that window itself (set_window_frame_extents).
// A change of a window's frame sends it WM_SIZE as its client area changes; the window
// rectangle stays. User-interface thread.
struct FrameExtents {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FrameExtents&) const = default;
};
void set_frames_by_manager(bool on, const FrameExtents& usual);
bool frames_by_manager();
void set_window_frame_extents(Wnd top, const FrameExtents& extents);
// The manager's frame around a window; false (and zeros) when the window draws its own.
bool get_window_frame_extents(Wnd top, FrameExtents* out);

}  // namespace plat
