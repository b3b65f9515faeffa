// The program's side of an X11 test: running the message loop as a program does, and
// taking the presenter down at the end of a case. Shared by the test files of this folder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

#include "platform/ui/ui.h"
#include "platform/x11/x11_presenter.h"
#include "tests/x11/x_server.h"

namespace x11_test {

// Runs the loop (translate, dispatch, and wait through the presenter when idle) until
// `done` holds or the real-time bound passes; false when the bound passed first.
inline bool pump_until(const std::function<bool()>& done, int bound_ms = 5000) {
  const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  for (;;) {
    plat::Msg m;
    while (plat::peek_message(&m, nullptr, 0, 0, plat::PM_REMOVE)) {
      plat::translate_message(&m);
      plat::dispatch_message(&m);
    }
    if (done()) return true;
    const int64_t left = ms_left(until);
    if (left == 0) return false;
    plat::wait_message(std::min<int64_t>(left, 20));
  }
}

// Destroys every top-level window, ends the presenter and resets the window layer.
inline void stop_presenter() {
  for (plat::Wnd w : plat::top_level_windows()) plat::destroy_window(w);
  plat::x11_stop();
  plat::ui_reset();
}

}  // namespace x11_test
