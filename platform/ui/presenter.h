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

}  // namespace plat
