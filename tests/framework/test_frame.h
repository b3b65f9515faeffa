// The top-level frame window the framework's tests stand up: a class of the test's own
// name and procedure (the default procedure when none), and one window of it at (0, 0),
// visible unless told otherwise. Tests then make it the command target as they need.
#pragma once
#include <cstdint>

#include "platform/ui/ui.h"

namespace framework_test {

inline plat::Wnd open_test_frame(const char* class_name, const char* title, int width, int height,
                                 plat::WndProc proc = plat::def_window_proc,
                                 uint32_t style = plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE) {
  plat::WndClass cls;
  cls.proc = proc;
  cls.name = class_name;
  plat::register_class(cls);
  return plat::create_window(0, class_name, title, style, 0, 0, width, height, nullptr, 0);
}

}  // namespace framework_test
