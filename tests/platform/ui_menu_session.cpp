// Working a window's menu bar as on a screen, headless: a stand-in presenter shows the
// popup menus as windows and plays the user's next action each time the loop waits, so
// the mouse and keyboard logic of the menus runs as it does on a display.
//
// The mouse: a click on a bar item opens its menu and leaves it open (the release comes
// once the popup holds the capture), press-drag-release chooses, a press outside closes,
// the pointer moving onto another bar item opens that one. The keyboard: F10, Alt alone,
// Alt+letter, arrows (over separators and grey items), Enter, Escape, mnemonics.
#include <deque>
#include <functional>

#include "tests/platform/ui_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

// Shows nothing; each wait plays the next scripted action. A wait with nothing left to
// play means the menus stayed open where the test expected them closed: it presses
// Escape (so the test ends) and counts it.
class ScriptPresenter : public Presenter {
 public:
  std::deque<std::function<void()>> actions;
  int unexpected_waits = 0;

  void wait_events(int64_t) override {
    if (actions.empty()) {
      ++unexpected_waits;
      input_key(VK_ESCAPE, true);
      input_key(VK_ESCAPE, false);
      return;
    }
    auto a = std::move(actions.front());
    actions.pop_front();
    a();
  }
  void wake() override {}
};

// Bar: &File (&Open 101, separator, Grey 102 greyed, &Save 103, E&xit 104), &Edit (Cu&t
// 201, &Copy 202, &More -> Deep 301), &View (greyed popup: 401), &Help (a command, 501).
struct Bar {
  Menu bar, file, edit, more, view;
};

constexpr int kFile = 0, kEdit = 1, kView = 2, kHelp = 3;  // positions on the bar

Bar build_bar() {
  Bar b;
  b.bar = create_menu();
  b.file = create_popup_menu();
  b.edit = create_popup_menu();
  b.more = create_popup_menu();
  b.view = create_popup_menu();
  append_menu(b.file, MF_STRING, 101, "&Open\tCtrl+O");
  append_menu(b.file, MF_SEPARATOR, 0, nullptr);
  append_menu(b.file, MF_STRING | MF_GRAYED, 102, "&Grey");
  append_menu(b.file, MF_STRING, 103, "&Save");
  append_menu(b.file, MF_STRING, 104, "E&xit");
  append_menu(b.edit, MF_STRING, 201, "Cu&t");
  append_menu(b.edit, MF_STRING, 202, "&Copy");
  append_menu(b.more, MF_STRING, 301, "Deep");
  append_menu(b.edit, MF_POPUP, reinterpret_cast<uintptr_t>(b.more), "&More");
  append_menu(b.view, MF_STRING, 401, "Zoom");
  append_menu(b.bar, MF_POPUP, reinterpret_cast<uintptr_t>(b.file), "&File");
  append_menu(b.bar, MF_POPUP, reinterpret_cast<uintptr_t>(b.edit), "&Edit");
  append_menu(b.bar, MF_POPUP | MF_GRAYED, reinterpret_cast<uintptr_t>(b.view), "&View");
  append_menu(b.bar, MF_STRING, 501, "&Help");
  return b;
}

// A key as the harness presses it, with its modifiers.
struct Key {
  int vk;
  unsigned mods = 0;
};
constexpr Key kAlt{VK_MENU};

class UiMenuSession : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    set_popup_chooser(nullptr);  // a screen: popups open as windows
    set_presenter(&script_);
    frame_ = top("Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 480, 320});
    bar_ = build_bar();
    set_menu(frame_, bar_.bar);
    tm_test::run_until_idle();
    message_log().clear();
  }
  void TearDown() override {
    set_presenter(nullptr);
    UiTest::TearDown();
  }

 public:  // the cases' scripts act through these
  // The commands posted to the frame, in order.
  std::vector<unsigned> commands() {
    std::vector<unsigned> out;
    for (const Logged& l : logged(WM_COMMAND)) out.push_back(loword(l.wp));
    return out;
  }

  Wnd popup() { return tm_test::find_window("PopupMenu", nullptr); }

  // The middle of a bar item, in the frame's window coordinates.
  Point bar_point(int pos) {
    Rect r, wr;
    EXPECT_TRUE(get_menu_item_rect(frame_, bar_.bar, unsigned(pos), &r));
    get_window_rect(frame_, &wr);
    return Point{(r.left + r.right) / 2 - wr.left, (r.top + r.bottom) / 2 - wr.top};
  }
  // The middle of row `row` of the open popup (rows of 20, separators of 8), in the
  // frame's window coordinates; `separators_above` separators come before it.
  Point popup_point(int row, int separators_above = 0) {
    Rect pr, wr;
    get_window_rect(popup(), &pr);
    get_window_rect(frame_, &wr);
    const int y = 1 + 2 + (row - separators_above) * 20 + separators_above * 8 + 10;
    return Point{pr.left + 30 - wr.left, pr.top + y - wr.top};
  }

  void press(Point p) { input_mouse_button(frame_, p, MouseButton::left, true); }
  void release(Point p) { input_mouse_button(frame_, p, MouseButton::left, false); }
  void move(Point p) { input_mouse_move(frame_, p); }

  // Presses the keys: the first at once, each later one when the menu loop waits.
  void run_keys(const std::vector<Key>& keys) {
    for (size_t i = 1; i < keys.size(); ++i)
      script_.actions.push_back([k = keys[i]] { tm_test::press_key(k.vk, k.mods); });
    tm_test::press_key(keys[0].vk, keys[0].mods);
    tm_test::run_until_idle();
  }

  // Nothing left open: no popup, no lit bar item, no action unplayed, no extra wait.
  void expect_menus_closed() {
    EXPECT_EQ(popup(), nullptr);
    for (int pos = 0; pos < 4; ++pos) EXPECT_FALSE(get_menu_state(bar_.bar, unsigned(pos), MF_BYPOSITION) & MF_HILITE);
    EXPECT_TRUE(script_.actions.empty()) << "the menus closed before the user was done";
    EXPECT_EQ(script_.unexpected_waits, 0) << "the menus stayed open";
  }

  ScriptPresenter script_;
  Wnd frame_ = nullptr;
  Bar bar_;
};

TEST_F(UiMenuSession, KeysWorkTheBarAndItsMenus) {
  struct Case {
    const char* name;
    std::vector<Key> keys;
    std::vector<unsigned> chosen;
  };
  const Key f10{VK_F10}, down{VK_DOWN}, up{VK_UP}, left{VK_LEFT}, right{VK_RIGHT}, enter{VK_RETURN},
      esc{VK_ESCAPE};
  const Case cases[] = {
      {"F10 opens File with its first item lit", {f10, enter}, {101}},
      {"Down passes the separator and the grey item", {f10, down, enter}, {103}},
      {"Up goes round to the last item", {f10, up, enter}, {104}},
      {"Down goes round to the first item", {f10, down, down, down, enter}, {101}},
      {"Alt+E opens Edit", {{'E', tm_test::MOD_ALT}, enter}, {201}},
      {"a letter in a menu chooses its item", {{'E', tm_test::MOD_ALT}, {'C'}}, {202}},
      {"Right moves to the next menu", {f10, right, enter}, {201}},
      {"Right passes the grey menu to the command item", {f10, right, right, enter}, {501}},
      {"Left goes round past the grey menu", {f10, left, enter}, {501}},
      {"Right opens a submenu", {{'E', tm_test::MOD_ALT}, down, down, right, enter}, {301}},
      {"Left closes the submenu only", {{'E', tm_test::MOD_ALT}, down, down, right, left, up, enter}, {202}},
      {"Escape closes one menu at a time", {{'E', tm_test::MOD_ALT}, down, down, right, esc, esc}, {}},
      {"Escape closes the menu", {f10, esc}, {}},
      {"F10 again closes the menu", {f10, f10}, {}},
      {"Alt alone closes the menu", {f10, kAlt}, {}},
      {"Alt alone selects the bar, Enter opens", {kAlt, enter, enter}, {101}},
      {"Down opens the lit item of the bar", {kAlt, right, down, enter}, {201}},
      {"a letter on the bar opens or chooses", {kAlt, {'H'}}, {501}},
      {"Escape leaves the bar", {kAlt, esc}, {}},
      {"Alt alone again leaves the bar", {kAlt, kAlt}, {}},
      {"a grey menu does not open", {{'V', tm_test::MOD_ALT}}, {}},
      {"a letter no item has opens nothing", {{'Q', tm_test::MOD_ALT}}, {}},
      {"another bar letter in a menu opens that menu", {f10, {'E', tm_test::MOD_ALT}, enter}, {201}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    message_log().clear();
    script_.unexpected_waits = 0;
    run_keys(c.keys);
    EXPECT_EQ(commands(), c.chosen);
    expect_menus_closed();
    script_.actions.clear();
  }
}

// The presses and characters are the menus' (the release of the key that closed them
// comes after, as on every desktop).
TEST_F(UiMenuSession, KeysOfTheOpenMenuNeverReachTheWindows) {
  run_keys({{VK_F10}, {'P'}, {VK_RIGHT}, {VK_ESCAPE}});
  for (uint32_t m : {WM_KEYDOWN, WM_CHAR, WM_SYSCHAR}) EXPECT_TRUE(logged(m).empty()) << m;
  expect_menus_closed();
}

TEST_F(UiMenuSession, WhileTheMenuIsOpenTheBarItemIsLit) {
  bool lit = false, other_dark = true;
  script_.actions.push_back([&] {
    lit = get_menu_state(bar_.bar, kEdit, MF_BYPOSITION) & MF_HILITE;
    other_dark = !(get_menu_state(bar_.bar, kFile, MF_BYPOSITION) & MF_HILITE);
    tm_test::press_key(VK_ESCAPE);
  });
  tm_test::press_key('E', tm_test::MOD_ALT);
  tm_test::run_until_idle();
  EXPECT_TRUE(lit);
  EXPECT_TRUE(other_dark);
  EXPECT_EQ(logged(WM_INITMENU).size(), 1u);
  ASSERT_EQ(logged(WM_INITMENUPOPUP).size(), 1u);
  EXPECT_EQ(reinterpret_cast<Menu>(logged(WM_INITMENUPOPUP)[0].wp), bar_.edit);
  expect_menus_closed();
}

// The release of the click that opened the menu comes once the popup holds the mouse:
// the menu stays open, and a later click on an item chooses it.
TEST_F(UiMenuSession, AClickOnTheBarLeavesTheMenuOpen) {
  bool open_after_release = false;
  script_.actions.push_back([&] { release(bar_point(kFile)); });
  script_.actions.push_back([&] {
    open_after_release = popup() && is_window_visible(popup());
    const Point save = popup_point(3, 1);
    move(save);
    press(save);
    release(save);
  });
  press(bar_point(kFile));
  tm_test::run_until_idle();
  EXPECT_TRUE(open_after_release);
  EXPECT_EQ(commands(), std::vector<unsigned>{103});
  expect_menus_closed();
}

TEST_F(UiMenuSession, MouseWaysThroughTheMenus) {
  struct Case {
    const char* name;
    int pressed;  // the bar item pressed first
    std::function<void(UiMenuSession&)> rest;  // one action per wait, from the release on
    std::vector<unsigned> chosen;
  };
  using T = UiMenuSession;
  const Case cases[] = {
      {"press, drag onto an item, release",
       kFile,
       [](T& t) {
         t.script_.actions.push_back([&t] {
           t.move(t.popup_point(4, 1));
           t.release(t.popup_point(4, 1));
         });
       },
       {104}},
      {"a click outside closes the menu",
       kFile,
       [](T& t) {
         t.script_.actions.push_back([&t] { t.release(t.bar_point(kFile)); });
         t.script_.actions.push_back([&t] {
           t.press(Point{300, 250});
           t.release(Point{300, 250});
         });
       },
       {}},
      {"a second click on the bar item closes the menu",
       kFile,
       [](T& t) {
         t.script_.actions.push_back([&t] { t.release(t.bar_point(kFile)); });
         t.script_.actions.push_back([&t] {
           t.press(t.bar_point(kFile));
           t.release(t.bar_point(kFile));
         });
       },
       {}},
      {"dragging onto another bar item opens its menu, which stays open",
       kFile,
       [](T& t) {
         t.script_.actions.push_back([&t] { t.move(t.bar_point(kEdit)); });
         t.script_.actions.push_back([&t] { t.release(t.bar_point(kEdit)); });
         t.script_.actions.push_back([&t] {
           const Point copy = t.popup_point(1);
           t.move(copy);
           t.press(copy);
           t.release(copy);
         });
       },
       {202}},
      {"dragging through the menu and out closes it",
       kFile,
       [](T& t) {
         t.script_.actions.push_back([&t] { t.move(t.popup_point(0)); });
         t.script_.actions.push_back([&t] {
           t.move(Point{400, 280});
           t.release(Point{400, 280});
         });
       },
       {}},
      {"a release on a grey item leaves the menu open",
       kFile,
       [](T& t) {
         t.script_.actions.push_back([&t] {
           t.move(t.popup_point(2, 1));
           t.release(t.popup_point(2, 1));
         });
         t.script_.actions.push_back([&t] {
           t.press(t.popup_point(0));
           t.release(t.popup_point(0));
         });
       },
       {101}},
      {"a press on a command of the bar chooses it", kHelp, [](T& t) {}, {501}},
      {"a press on a grey menu of the bar opens nothing", kView, [](T& t) {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    message_log().clear();
    script_.unexpected_waits = 0;
    c.rest(*this);
    const Point at = bar_point(c.pressed);
    move(at);
    press(at);
    tm_test::run_until_idle();
    release(at);  // no-op for the cases whose release already came
    tm_test::run_until_idle();
    EXPECT_EQ(commands(), c.chosen);
    expect_menus_closed();
    script_.actions.clear();
  }
}

// With the bar selected from the keyboard, a click on a bar item opens its menu; a
// click elsewhere leaves the bar and reaches the window it was made on.
TEST_F(UiMenuSession, AClickOnTheSelectedBar) {
  script_.actions.push_back([&] { press(bar_point(kEdit)); });
  script_.actions.push_back([&] { release(bar_point(kEdit)); });
  script_.actions.push_back([&] {
    const Point copy = popup_point(1);
    move(copy);
    press(copy);
    release(copy);
  });
  tm_test::press_key(VK_MENU);
  tm_test::run_until_idle();
  EXPECT_EQ(commands(), std::vector<unsigned>{202});
  expect_menus_closed();

  message_log().clear();
  script_.actions.push_back([&] {
    press(Point{200, 200});
    release(Point{200, 200});
  });
  tm_test::press_key(VK_MENU);
  tm_test::run_until_idle();
  EXPECT_TRUE(commands().empty());
  EXPECT_EQ(logged(WM_LBUTTONDOWN).size(), 1u) << "the click went on to the window";
  expect_menus_closed();
}

// A popup the program opens itself (a context menu) works from the keyboard too.
TEST_F(UiMenuSession, APopupOfTheProgramTakesTheKeys) {
  Menu context = create_popup_menu();
  append_menu(context, MF_STRING | MF_GRAYED, 1, "One");
  append_menu(context, MF_STRING, 2, "Two");
  append_menu(context, MF_STRING, 3, "&Three");
  struct Case {
    std::vector<Key> keys;
    unsigned result;
  };
  const Case cases[] = {
      {{{VK_RETURN}}, 0},  // nothing is lit yet
      {{{VK_DOWN}, {VK_RETURN}}, 2},
      {{{VK_UP}, {VK_RETURN}}, 3},
      {{{'T'}}, 3},
      {{{VK_RIGHT}, {VK_LEFT}, {VK_ESCAPE}}, 0},  // no bar to move along
  };
  for (const Case& c : cases) {
    script_.unexpected_waits = 0;
    for (const Key& k : c.keys) script_.actions.push_back([k] { tm_test::press_key(k.vk, k.mods); });
    if (c.result == 0 && c.keys.back().vk != VK_ESCAPE)
      script_.actions.push_back([] { tm_test::press_key(VK_ESCAPE); });
    EXPECT_EQ(track_popup_menu(context, TPM_RETURNCMD, 40, 40, frame_), c.result);
    EXPECT_EQ(popup(), nullptr);
    EXPECT_EQ(script_.unexpected_waits, 0);
    script_.actions.clear();
  }
  destroy_menu(context);
}

// Alt pressed with another key is no way into the menus.
TEST_F(UiMenuSession, AltWithAnotherKeyOrAClickSelectsNothing) {
  tm_test::key_down(VK_MENU);
  tm_test::key_down(VK_SHIFT);
  tm_test::key_up(VK_SHIFT);
  tm_test::key_up(VK_MENU);
  tm_test::run_until_idle();
  tm_test::key_down(VK_MENU);
  tm_test::click(frame_, 100, 100);
  tm_test::key_up(VK_MENU);
  tm_test::run_until_idle();
  EXPECT_TRUE(logged(WM_INITMENU).empty());
  expect_menus_closed();
}

}  // namespace
