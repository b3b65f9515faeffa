// Message boxes: a modal top-level window with a text, an icon and buttons. The box
// disables its owner's top-level window, runs a nested loop that still dispatches
// posted messages, and returns the button chosen: by a click, by Enter (the default
// button), Escape (Cancel, or OK when it is the only button), or the first letter of a
// button (Y, N, O, C, R, A, I). Closing the box answers as Escape does.
//
// Headless, the message box hook (the test harness) sees each box as it opens and may
// answer it; otherwise a box that sits idle takes its default button.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/types.h"

namespace plat {

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x02;
constexpr unsigned MB_YESNOCANCEL = 0x03;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_RETRYCANCEL = 0x05;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_ICONASTERISK = 0x40;
constexpr unsigned MB_DEFBUTTON1 = 0x000;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned MB_DEFBUTTON3 = 0x200;
constexpr unsigned MB_APPLMODAL = 0x0000;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr unsigned MB_SETFOREGROUND = 0x10000;
constexpr unsigned MB_TOPMOST = 0x40000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Texts are UTF-8 (a null caption gives "Error"). Callable from any thread: the box
// runs on the user-interface thread. Returns 0 when the box could not be made.
int message_box(Wnd owner, const char* text, const char* caption, unsigned flags);
int message_box_w(Wnd owner, const char16_t* text, const char16_t* caption, unsigned flags);

// What the hook sees of a box that has just opened.
struct MessageBoxInfo {
  Wnd box = nullptr;
  Wnd owner = nullptr;
  std::string text;
  std::string caption;
  unsigned flags = 0;
};
void set_message_box_hook(std::function<void(const MessageBoxInfo&)> hook);
// Answers an open message box as a click on that button would (posted, so the
// messages queued before it are handled first). False when it is not a box, or the
// box has no such button.
bool message_box_answer(Wnd box, int id);

}  // namespace plat
