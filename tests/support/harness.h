// The headless test harness: drives the window system as a user would, without a
// screen. A test opens a UiSession (a fresh window system owned by the test's thread,
// on the virtual clock), builds its windows, injects input through the functions
// below, runs the loop until idle, and reads back what happened.
//
// Input functions only queue the user's action; run_until_idle (or pump) delivers it.
// Points are client coordinates of the window named. Message boxes, popup menus and
// other modal loops are answered by what the test set beforehand (answer_next_message_box,
// choose_next_popup_command, set_modal_answerer); a message box nobody answers takes its
// default button, a popup nobody answers closes without a command.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace tm_test {

// A fresh window system for one test: ui_reset, this thread as the user-interface
// thread, the virtual clock on, the harness's answers installed. The destructor
// resets the window system again and turns the virtual clock off.
class UiSession {
 public:
  UiSession();
  ~UiSession();
  UiSession(const UiSession&) = delete;
  UiSession& operator=(const UiSession&) = delete;
};

// ---- Running the loop ---------------------------------------------------------------------
// Handles at most n messages the way the programs' loops do (the accelerators given
// to set_accelerators first, then translate and dispatch); returns how many.
int pump(int n);
// Handles messages until idle: nothing queued or sent, no window to paint, no timer due,
// and no worker thread running (threads asleep on the virtual clock until a time it has
// not reached do not count, one whose time has come does; waiting for workers is
// bounded in real time). False when `bound` messages were handled first, or WM_QUIT
// was taken.
bool run_until_idle(int bound = 100000);
// Moves the virtual clock on by `ms`, stopping at each timer's due time and running
// until idle there, so a timer fires as often as its interval says.
void advance_time(int64_t ms);
// Whether a WM_QUIT was taken by pump or run_until_idle (and its exit code).
bool quit_received(int* exit_code = nullptr);
// The accelerator table the harness's loop translates with (null: none).
void set_accelerators(plat::Wnd wnd, plat::Accel table);

// ---- Finding windows ----------------------------------------------------------------------
plat::Wnd find_window(const char* class_name, const char* title);  // top-level; null matches all
plat::Wnd find_child(plat::Wnd parent, const char* class_name, const char* title);  // any depth
plat::Wnd control(plat::Wnd parent, int id);

// ---- Keyboard -----------------------------------------------------------------------------
constexpr unsigned MOD_SHIFT = 1, MOD_CTRL = 2, MOD_ALT = 4;
void key_down(int vk);
void key_up(int vk);
// Presses and releases a key with the modifiers held around it.
void press_key(int vk, unsigned mods = 0);
// Types text into the focus window: characters of the keyboard as key presses (Shift
// where needed), others as plain characters.
void type_text(const char* utf8);

// ---- Mouse --------------------------------------------------------------------------------
void mouse_move(plat::Wnd wnd, int x, int y);
void mouse_down(plat::Wnd wnd, int x, int y, plat::MouseButton b = plat::MouseButton::left);
void mouse_up(plat::Wnd wnd, int x, int y, plat::MouseButton b = plat::MouseButton::left);
// Move, press, release.
void click(plat::Wnd wnd, int x, int y, plat::MouseButton b = plat::MouseButton::left);
// A click followed by the second press and release of a double click.
void double_click(plat::Wnd wnd, int x, int y, plat::MouseButton b = plat::MouseButton::left);
void wheel(plat::Wnd wnd, int x, int y, int delta);
// A point of a window's frame (window coordinates, 0,0 its top-left corner), for
// clicks on scroll bars, the menu bar or the close box.
void click_window_point(plat::Wnd wnd, int x, int y);
bool drop_files(plat::Wnd wnd, int x, int y, const std::vector<std::string>& paths);

// ---- Menus --------------------------------------------------------------------------------
// Chooses a command of the window's menu bar as a user would; false (and nothing
// posted) when the item is missing, grey or disabled.
bool choose_menu_command(plat::Wnd wnd, unsigned id);
// The next popup menu that opens gives this command (0: it closes without one).
void choose_next_popup_command(unsigned id);

// ---- Modal answers ------------------------------------------------------------------------
struct MessageBoxRecord {
  std::string text;
  std::string caption;
  unsigned flags = 0;
  int answer = 0;  // the answer the harness gave; 0 when it left the default
};
// The next message box is answered with this button (IDOK, IDYES, ...).
void answer_next_message_box(int id);
const std::vector<MessageBoxRecord>& message_boxes();
void clear_message_boxes();
// Called when a modal loop (a dialog) falls idle; returns true when it queued input.
void set_modal_answerer(std::function<bool(plat::Wnd)> answer);

// ---- Pictures -----------------------------------------------------------------------------
// The window (its whole rectangle, frame included) as a PNG file; false on failure.
bool window_picture(plat::Wnd wnd, const std::string& path);
// The pixel word (0xAARRGGBB) at a client point of a window; 0 outside its surface.
uint32_t pixel_at(plat::Wnd wnd, int x, int y);

}  // namespace tm_test
