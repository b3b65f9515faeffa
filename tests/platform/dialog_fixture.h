// Shared by the tests of the static, button and edit controls and of dialogs: a fixture
// with those classes registered and a recording parent window, the WM_COMMAND
// notifications the parent received, and a look at the pixels a control painted.
#pragma once
#include <functional>
#include <ostream>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_dialogs.h"

namespace ui_test {

struct Command {
  int id;
  int code;
  friend bool operator==(const Command&, const Command&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Command& c) {
  return os << "{id " << c.id << ", code 0x" << std::hex << c.code << std::dec << "}";
}

// The WM_COMMAND notifications a window received, in order.
inline std::vector<Command> commands_to(plat::Wnd parent) {
  std::vector<Command> out;
  for (const Logged& l : message_log())
    if (l.wnd == parent && l.msg == plat::WM_COMMAND)
      out.push_back(Command{int(plat::loword(l.wp)), int(plat::hiword(l.wp))});
  return out;
}

// The codes of the notifications one control raised.
inline std::vector<int> codes_from(plat::Wnd parent, int id) {
  std::vector<int> out;
  for (const Command& c : commands_to(parent))
    if (c.id == id) out.push_back(c.code);
  return out;
}

// Whether some pixel of a client rectangle of a window satisfies `test`.
inline bool any_pixel(plat::Wnd w, const plat::Rect& r, const std::function<bool(uint32_t)>& test) {
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (test(tm_test::pixel_at(w, x, y))) return true;
  return false;
}

inline int red(uint32_t px) { return int((px >> 16) & 255); }
inline int green(uint32_t px) { return int((px >> 8) & 255); }
inline int blue(uint32_t px) { return int(px & 255); }
// Dark enough to be text drawn in black on a light face.
inline bool inky(uint32_t px) { return red(px) + green(px) + blue(px) < 300; }

// The leftmost and rightmost columns of a client rectangle holding a pixel that passes.
inline std::pair<int, int> ink_columns(plat::Wnd w, const plat::Rect& r, const std::function<bool(uint32_t)>& test) {
  int lo = -1, hi = -1;
  for (int x = r.left; x < r.right; ++x)
    for (int y = r.top; y < r.bottom; ++y)
      if (test(tm_test::pixel_at(w, x, y))) {
        if (lo < 0) lo = x;
        hi = x;
        break;
      }
  return {lo, hi};
}

class CtlTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    plat::register_dialog_class();  // with the static, button and edit classes
    parent_ = top("Parent", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, plat::Rect{100, 100, 600, 450});
    tm_test::run_until_idle();
  }

  // Windows left at the end are destroyed as the program would, so that every control
  // frees what it holds (the session's reset forgets windows without a message).
  void TearDown() override {
    for (plat::Wnd w : plat::top_level_windows()) plat::destroy_window(w);
    UiTest::TearDown();
  }

  plat::Wnd make(const char* cls, const char* text, uint32_t style, plat::Rect r, int id) {
    return plat::create_window(0, cls, text, plat::WS_CHILD | plat::WS_VISIBLE | style, r.left, r.top, r.width(),
                               r.height(), parent_, uintptr_t(id));
  }

  plat::Wnd parent_ = nullptr;
};

}  // namespace ui_test

namespace ui_test {

// A dialog procedure for tests: it records what it is told, lets a test's hook answer
// first, gives the focus to the first tab stop, and ends the dialog with the id of
// IDOK, IDCANCEL or a button 1000 / 1001 that is clicked.
struct DialogProbe {
  std::vector<Command> commands;
  plat::LParam init_param = 0;
  plat::Wnd init_focus = nullptr;
  bool init_answer = true;  // what WM_INITDIALOG answers (true: focus the first tab stop)
  std::function<intptr_t(plat::Wnd, uint32_t, plat::WParam, plat::LParam)> hook;
};

inline DialogProbe& probe() {
  static DialogProbe p;
  return p;
}

inline intptr_t probe_proc(plat::Wnd dlg, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  DialogProbe& p = probe();
  if (msg == plat::WM_INITDIALOG) {
    p.init_param = lp;
    p.init_focus = reinterpret_cast<plat::Wnd>(wp);
  }
  if (msg == plat::WM_COMMAND) p.commands.push_back(Command{int(plat::loword(wp)), int(plat::hiword(wp))});
  if (p.hook) {
    auto hook = p.hook;  // a copy: the hook may replace itself
    if (intptr_t r = hook(dlg, msg, wp, lp)) return r;
  }
  if (msg == plat::WM_INITDIALOG) return p.init_answer ? 1 : 0;
  if (msg == plat::WM_COMMAND && plat::hiword(wp) == plat::BN_CLICKED) {
    const int id = int(plat::loword(wp));
    if (id == plat::IDOK || id == plat::IDCANCEL || id == 1000 || id == 1001) {
      plat::end_dialog(dlg, id);
      return 1;
    }
  }
  return 0;
}

class DialogTest : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    probe() = DialogProbe{};
  }
  void TearDown() override {
    probe() = DialogProbe{};
    CtlTest::TearDown();
  }
  // The WM_COMMAND notifications the dialog procedure saw from one id.
  std::vector<int> dialog_codes(int id) {
    std::vector<int> out;
    for (const Command& c : probe().commands)
      if (c.id == id) out.push_back(c.code);
    return out;
  }
};

// A dialog with one control of each kind this family builds, placed by hand.
inline plat::DlgTemplate sample_template() {
  using namespace plat;
  DlgTemplate t;
  t.title = "Impression";
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | WS_VISIBLE;
  t.cx = 230;
  t.cy = 150;
  t.items = {
      {"Static", 1097, "Ratio (1 - 100)", SS_LEFT, 7, 9, 60, 10},
      {"Edit", 1096, "100", ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 70, 7, 40, 14},
      {"Static", 1098, "%", SS_LEFT, 114, 9, 10, 10},
      {"Button", 1094, "Niveaux de gris", BS_AUTOCHECKBOX | WS_TABSTOP, 7, 26, 100, 10},
      {"Button", 1110, "Orientation", BS_GROUPBOX, 7, 40, 110, 52},
      {"Button", 1111, "Automatique", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 52, 90, 10},
      {"Button", 1112, "Portrait", BS_AUTORADIOBUTTON, 14, 64, 90, 10},
      {"Button", 1113, "Paysage", BS_AUTORADIOBUTTON, 14, 76, 90, 10},
      {"Static", 1004, "Facteur de taille de police", SS_LEFT | WS_GROUP, 7, 102, 100, 10},
      {"Edit", 1005, "1.00", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 110, 100, 40, 14},
      {"Static", 1099, "", SS_ETCHEDHORZ, 7, 120, 216, 2},
      {"Button", 1000, "Appliquer", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 56, 128, 50, 14},
      {"Button", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 116, 128, 50, 14},
      {"Button", IDCANCEL, "Annuler", BS_PUSHBUTTON | WS_TABSTOP, 173, 128, 50, 14},
  };
  return t;
}

}  // namespace ui_test
