// Input: the state of keys and buttons, mouse capture, and the entry points through
// which input arrives. A presenter calls the entry points with the events of the
// screen, the test harness with made-up ones; both on the user-interface thread. The
// entry points queue the messages a user's action produces (they are delivered by the
// message loop, in order, after the messages already queued).
//
// Mouse points given to the entry points are in window coordinates of a top-level
// window (0, 0 is its top-left corner, as in its surface). The message goes to the
// window under the point (or to the capture window); a disabled window, or one whose
// top-level window is disabled, gets no input. Keys go to the focus window (or the
// active window when nothing has the focus) as WM_SYSKEYDOWN while Alt is held or for
// F10, else WM_KEYDOWN; a key still queued when its window is destroyed goes to the
// window that has the focus when it is taken from the queue.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/types.h"

namespace plat {

// Key state as of the message being handled (high bit 0x8000 when down, low bit when
// toggled), and as of the last event received.
int16_t get_key_state(int vk);
int16_t get_async_key_state(int vk);
bool get_cursor_pos(Point* screen);
// The key that types a character: the virtual key, plus 0x100 when Shift is needed;
// -1 when no key of the (US) layout types it.
int16_t vk_key_scan(char16_t ch);

// Mouse capture: every mouse message goes to the capture window until it is released.
// The window that loses the capture gets WM_CAPTURECHANGED (lParam: the new one).
Wnd set_capture(Wnd wnd);  // returns the previous capture window
bool release_capture();
Wnd get_capture();

enum class MouseButton { left, right, middle };

void input_mouse_move(Wnd top, Point window_pt);
void input_mouse_button(Wnd top, Point window_pt, MouseButton button, bool down);
// The second press of a double click: WM_xBUTTONDBLCLK for classes with CS_DBLCLKS,
// else an ordinary press.
void input_mouse_double_click(Wnd top, Point window_pt, MouseButton button);
void input_mouse_wheel(Wnd top, Point window_pt, int delta);
void input_key(int vk, bool down);
// A key held down was let go out of sight (its release went elsewhere): it comes up like
// a release, but ends any Alt gesture, so Alt let go this way selects no menu bar.
void input_key_released_unseen(int vk);
// A typed character that no key stands for (WM_CHAR to the focus window).
void input_char(char16_t ch);
// The user brought a top-level window forward, asked to close it, or resized or moved
// it (size and position of the window rectangle).
void input_activate(Wnd top);
void input_close(Wnd top);
void input_resize(Wnd top, int width, int height);
void input_move(Wnd top, int x, int y);
// Files dropped at a point: WM_DROPFILES goes to the window under the point, or its
// nearest ancestor, that accepts files (WS_EX_ACCEPTFILES). False when none does.
bool input_drop_files(Wnd top, Point window_pt, const std::vector<std::string>& paths);

}  // namespace plat
