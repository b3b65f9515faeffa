// Shared by the window-system tests: a window class whose procedure records every
// message it gets (then hands it to the default procedure, or to a per-window hook),
// and a fixture that opens a harness session with that class registered.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/ui.h"
#include "tests/support/harness.h"

namespace ui_test {

struct Logged {
  plat::Wnd wnd;
  uint32_t msg;
  plat::WParam wp;
  plat::LParam lp;
};

inline std::vector<Logged>& message_log() {
  static std::vector<Logged> log;
  return log;
}

// A window's own handling of a message; returns true (and sets *result) when it handled it.
using Handler = std::function<bool(plat::Wnd, uint32_t, plat::WParam, plat::LParam, plat::LResult*)>;
inline std::map<plat::Wnd, Handler>& handlers() {
  static std::map<plat::Wnd, Handler> h;
  return h;
}

inline plat::LResult recording_proc(plat::Wnd w, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  message_log().push_back(Logged{w, msg, wp, lp});
  auto it = handlers().find(w);
  if (it != handlers().end()) {
    plat::LResult r = 0;
    Handler h = it->second;  // a copy: the handler may replace itself
    if (h(w, msg, wp, lp, &r)) return r;
  }
  return plat::def_window_proc(w, msg, wp, lp);
}

constexpr const char* kRecClass = "Recorder";

// Messages of one window (in order), optionally only those in `only`.
inline std::vector<uint32_t> messages_of(plat::Wnd w, const std::vector<uint32_t>& only = {}) {
  std::vector<uint32_t> out;
  for (const Logged& l : message_log()) {
    if (l.wnd != w) continue;
    if (!only.empty() && std::find(only.begin(), only.end(), l.msg) == only.end()) continue;
    out.push_back(l.msg);
  }
  return out;
}

inline std::vector<Logged> logged(uint32_t msg) {
  std::vector<Logged> out;
  for (const Logged& l : message_log())
    if (l.msg == msg) out.push_back(l);
  return out;
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    message_log().clear();
    handlers().clear();
    plat::WndClass c;
    c.name = kRecClass;
    c.proc = recording_proc;
    c.style = plat::CS_DBLCLKS;
    c.background_sys_color = plat::COLOR_WINDOW;
    c.wnd_extra = 16;
    c.cursor = plat::load_cursor(plat::IDC_ARROW);
    ASSERT_NE(plat::register_class(c), 0);
  }
  void TearDown() override { handlers().clear(); }

  plat::Wnd top(const char* title = "Top", uint32_t style = plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE,
                plat::Rect r = plat::Rect{100, 100, 500, 400}) {
    return plat::create_window(0, kRecClass, title, style, r.left, r.top, r.width(), r.height(), nullptr, 0);
  }
  plat::Wnd child(plat::Wnd parent, int id, plat::Rect r, uint32_t style = plat::WS_CHILD | plat::WS_VISIBLE) {
    return plat::create_window(0, kRecClass, "", style, r.left, r.top, r.width(), r.height(), parent, uintptr_t(id));
  }

  tm_test::UiSession session_;
};

}  // namespace ui_test
