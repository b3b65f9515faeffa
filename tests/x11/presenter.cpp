// The X11 presenter on a real X server (a private Xvfb): what a window draws shows on
// the screen at the window's place, as an outside screen capture sees it, and what an
// outside tool does with the mouse, the keyboard and the window reaches the window
// procedure as the messages a user's action gives.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ui/ui.h"
#include "platform/x11/x11_presenter.h"
#include "tests/x11/x11_loop.h"
#include "tests/x11/x_server.h"

namespace {

using namespace plat;
using x11_test::Capture;
using x11_test::Clock;
using x11_test::pump_until;

struct Logged {
  uint32_t msg;
  WParam wp;
  LParam lp;
};
std::vector<Logged> g_log;           // user-interface thread only
Color g_first_color = rgb(255, 0, 0);  // the colour of the first rectangle

constexpr const char* kClass = "X11Probe";
constexpr const char* kTitle = "X11 presenter test";
constexpr Rect kFirst{20, 20, 120, 80};  // client coordinates
constexpr Rect kSecond{150, 100, 250, 160};
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

void fill(Dc dc, const Rect& r, Color c) {
  Brush b = create_solid_brush(c);
  fill_rect(dc, r, b);
  delete_object(b);
}

LResult probe_proc(Wnd w, uint32_t msg, WParam wp, LParam lp) {
  g_log.push_back(Logged{msg, wp, lp});
  if (msg == WM_PAINT) {
    PaintStruct ps;
    Dc dc = begin_paint(w, &ps);
    fill(dc, kFirst, g_first_color);
    fill(dc, kSecond, rgb(0, 0, 255));
    end_paint(w, &ps);
    return 0;
  }
  return def_window_proc(w, msg, wp, lp);
}

std::vector<Logged> logged(const std::vector<uint32_t>& only) {
  std::vector<Logged> out;
  for (const Logged& l : g_log)
    if (std::find(only.begin(), only.end(), l.msg) != only.end()) out.push_back(l);
  return out;
}

bool was_logged(uint32_t msg, WParam wp) {
  for (const Logged& l : g_log)
    if (l.msg == msg && l.wp == wp) return true;
  return false;
}

class X11PresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!x11_test::XServer::installed()) GTEST_SKIP() << "Xvfb is not installed: the presenter needs an X server to be tested";
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ui_reset();
    set_ui_thread();
    g_log.clear();
    g_first_color = rgb(255, 0, 0);
    WndClass c;
    c.name = kClass;
    c.proc = probe_proc;
    c.style = CS_DBLCLKS;
    c.background_sys_color = COLOR_WINDOW;
    c.cursor = load_cursor(IDC_ARROW);
    ASSERT_NE(register_class(c), 0);
    ASSERT_TRUE(x11_start(server_.display().c_str())) << "no connection to " << server_.display();
    started_ = true;
  }

  void TearDown() override {
    if (started_) x11_test::stop_presenter();
    server_.stop();
  }

  Wnd open_window() {
    return create_window(0, kClass, kTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 400, 300, nullptr, 0);
  }

  Point on_screen(Wnd w, Point client) {
    client_to_screen(w, &client);
    return client;
  }

  // Pumps until an outside capture shows `color` at the middle of the first rectangle.
  bool wait_for_screen(Wnd w, uint32_t color, Capture* cap) {
    const Point mid = on_screen(w, Point{(kFirst.left + kFirst.right) / 2, (kFirst.top + kFirst.bottom) / 2});
    const auto until = Clock::now() + std::chrono::seconds(10);
    do {
      pump_until([] { return false; }, 20);
      if (x11_test::capture_screen(server_.display(), cap) && cap->at(mid.x, mid.y) == color) return true;
    } while (x11_test::ms_left(until) > 0);
    return false;
  }

  // Runs an outside tool on the server while the loop keeps going.
  bool tool(std::vector<std::string> argv, std::string* out = nullptr) {
    x11_test::ToolResult r =
        x11_test::run_tool(server_.display(), std::move(argv), 10000, [this] { pump_until([] { return false; }, 2); });
    if (out) *out = r.out;
    return r.ran;
  }

  // The X window of the test window, found by its title as a window manager sees it.
  std::string x_window_id() {
    std::string out;
    if (!tool({"xdotool", "search", "--name", std::string("^") + kTitle + "$"}, &out)) return {};
    return out.substr(0, out.find('\n'));
  }

  // Opens the test window and waits until it shows and has the display's keyboard focus.
  Wnd open_focused_window() {
    Wnd w = open_window();
    Capture cap;
    EXPECT_TRUE(wait_for_screen(w, kRed, &cap));
    EXPECT_EQ(get_focus(), w);
    const std::string id = x_window_id();
    EXPECT_FALSE(id.empty());
    std::string focused;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (focused != id + "\n" && x11_test::ms_left(until) > 0) tool({"xdotool", "getwindowfocus"}, &focused);
    EXPECT_EQ(focused, id + "\n") << "the X focus is elsewhere";
    return w;
  }

  struct KeyCase {
    const char* keys;  // as xdotool names them
    int vk;            // the key's WM_KEYDOWN, or 0 for a character no key stands for
    std::u16string chars;
  };

  // Types a key with xdotool; the window gets its WM_KEYDOWN and WM_KEYUP, and exactly
  // the characters given.
  void check_key(const KeyCase& c) {
    SCOPED_TRACE(c.keys);
    g_log.clear();
    ASSERT_TRUE(tool({"xdotool", "key", c.keys}));
    const bool arrived = pump_until([&] {
      return c.vk ? was_logged(WM_KEYUP, WParam(c.vk)) : !logged({WM_CHAR}).empty();
    });
    ASSERT_TRUE(arrived);
    if (c.vk) {
      EXPECT_TRUE(was_logged(WM_KEYDOWN, WParam(c.vk)));
    }
    pump_until([] { return false; }, 30);  // anything the key still brings
    std::u16string chars;
    for (const Logged& l : logged({WM_CHAR})) chars += char16_t(l.wp);
    EXPECT_EQ(chars, c.chars);
  }

  x11_test::XServer server_;
  bool started_ = false;
};

TEST_F(X11PresenterTest, DrawingShowsOnScreenAtTheWindowsPlace) {
  Wnd w = open_window();
  ASSERT_NE(w, nullptr);
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap)) << "the red rectangle never showed";
  // Every corner of each rectangle is inside it on screen, the pixels next to it are not.
  struct Probe {
    Point client;
    uint32_t color;
  };
  const Probe probes[] = {
      {{kFirst.left, kFirst.top}, kRed},           {{kFirst.right - 1, kFirst.bottom - 1}, kRed},
      {{kFirst.left - 1, kFirst.top}, kWhite},     {{kFirst.left, kFirst.top - 1}, kWhite},
      {{kFirst.right, kFirst.bottom - 1}, kWhite}, {{kFirst.right - 1, kFirst.bottom}, kWhite},
      {{kSecond.left, kSecond.top}, kBlue},        {{kSecond.right - 1, kSecond.bottom - 1}, kBlue},
      {{kSecond.left - 1, kSecond.top}, kWhite},   {{kSecond.right, kSecond.bottom}, kWhite},
      {{2, 2}, kWhite},
  };
  for (const Probe& p : probes) {
    const Point s = on_screen(w, p.client);
    EXPECT_EQ(cap.at(s.x, s.y), p.color) << "client point " << p.client.x << "," << p.client.y;
  }
}

TEST_F(X11PresenterTest, RepaintingAShownWindowUpdatesTheScreen) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  g_first_color = rgb(0, 255, 0);
  invalidate_rect(w, &kFirst, false);
  ASSERT_TRUE(wait_for_screen(w, kGreen, &cap)) << "the new colour never reached the screen";
  const Point blue = on_screen(w, Point{kSecond.left + 5, kSecond.top + 5});
  EXPECT_EQ(cap.at(blue.x, blue.y), kBlue);
}

TEST_F(X11PresenterTest, OutsideClicksArriveAtClientCoordinates) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  struct Case {
    const char* button;  // as xdotool names it
    uint32_t down, up;
    unsigned held;  // the button's MK_ flag in the press
    Point client;
  };
  const Case cases[] = {
      {"1", WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {30, 25}},
      {"3", WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, {200, 140}},
      {"2", WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON, {5, 250}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    const Point s = on_screen(w, c.client);
    g_log.clear();
    ASSERT_TRUE(tool({"xdotool", "mousemove", std::to_string(s.x), std::to_string(s.y), "click", c.button}));
    ASSERT_TRUE(pump_until([&] { return !logged({c.up}).empty(); })) << "no button release";
    const auto buttons = logged({c.down, c.up});
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].msg, c.down);
    EXPECT_EQ(buttons[1].msg, c.up);
    for (const Logged& b : buttons) {
      EXPECT_EQ(x_of_lparam(b.lp), c.client.x);
      EXPECT_EQ(y_of_lparam(b.lp), c.client.y);
    }
    EXPECT_TRUE(buttons[0].wp & c.held);
  }
}

TEST_F(X11PresenterTest, WheelTurnsArriveAsWheelMessages) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  const Point s = on_screen(w, Point{70, 60});
  ASSERT_TRUE(tool({"xdotool", "mousemove", std::to_string(s.x), std::to_string(s.y)}));
  for (auto [button, delta] : {std::pair{"4", WHEEL_DELTA}, std::pair{"5", -WHEEL_DELTA}}) {
    SCOPED_TRACE(button);
    g_log.clear();
    ASSERT_TRUE(tool({"xdotool", "click", button}));
    ASSERT_TRUE(pump_until([] { return !logged({WM_MOUSEWHEEL}).empty(); }));
    const auto wheel = logged({WM_MOUSEWHEEL});
    ASSERT_EQ(wheel.size(), 1u);
    EXPECT_EQ(int(int16_t(hiword(wheel[0].wp))), delta);
    EXPECT_EQ(x_of_lparam(wheel[0].lp), s.x);  // screen coordinates
    EXPECT_EQ(y_of_lparam(wheel[0].lp), s.y);
  }
}

TEST_F(X11PresenterTest, TwoQuickClicksMakeADoubleClick) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  const Point s = on_screen(w, Point{60, 50});
  ASSERT_TRUE(tool({"xdotool", "mousemove", std::to_string(s.x), std::to_string(s.y)}));
  g_log.clear();
  ASSERT_TRUE(tool({"xdotool", "click", "--repeat", "2", "--delay", "60", "1"}));
  ASSERT_TRUE(pump_until([] { return logged({WM_LBUTTONUP}).size() >= 2; }));
  const auto buttons = logged({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK});
  std::vector<uint32_t> order;
  for (const Logged& b : buttons) order.push_back(b.msg);
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
}

TEST_F(X11PresenterTest, TypedKeysArriveAsKeysAndCharacters) {
  open_focused_window();
  const KeyCase cases[] = {
      {"a", 'A', u"a"},
      {"shift+b", 'B', u"B"},
      {"shift+2", '2', u"@"},
      {"shift+space", VK_SPACE, u" "},  // a blank with or without Shift: still the key
      {"Return", VK_RETURN, u"\r"},
      {"F5", VK_F5, u""},
      {"Left", VK_LEFT, u""},
      {"KP_Subtract", VK_SUBTRACT, u"-"},
  };
  for (const KeyCase& c : cases) check_key(c);
}

// On a layout whose characters the window system's own translation does not know, each
// key still types its character, once.
TEST_F(X11PresenterTest, KeysOfAnotherLayoutTypeTheirOwnCharacters) {
  open_focused_window();
  ASSERT_TRUE(tool({"setxkbmap", "fr"}));
  const KeyCase cases[] = {
      {"eacute", 0, u"\u00e9"},  // a key of its own
      {"2", 0, u"2"},             // Shift with the key of 'é'
      {"a", 'A', u"a"},           // where 'q' is on the US layout
  };
  for (const KeyCase& c : cases) check_key(c);
}

// A key held while the display's focus goes elsewhere is released out of the window's
// sight; the window system must not keep it held down.
TEST_F(X11PresenterTest, AKeyHeldWhenTheFocusLeavesIsLetGo) {
  open_focused_window();
  const std::string id = x_window_id();
  g_log.clear();
  ASSERT_TRUE(tool({"xdotool", "keydown", "shift"}));
  ASSERT_TRUE(pump_until([] { return was_logged(WM_KEYDOWN, VK_SHIFT); }));
  EXPECT_TRUE(get_async_key_state(VK_SHIFT) & 0x8000);
  ASSERT_TRUE(tool({"xdotool", "windowunmap", id}));  // the focus falls back to the root window
  EXPECT_TRUE(pump_until([] { return was_logged(WM_KEYUP, VK_SHIFT); })) << "Shift stayed down";
  EXPECT_FALSE(get_async_key_state(VK_SHIFT) & 0x8000);
  tool({"xdotool", "keyup", "shift"});
}

TEST_F(X11PresenterTest, TheWindowFollowsOutsideMovesSizesAndClose) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  const std::string id = x_window_id();
  ASSERT_FALSE(id.empty()) << "no X window titled " << kTitle;

  set_window_text(w, "Renamed");
  pump_until([] { return false; }, 30);
  std::string name;
  ASSERT_TRUE(tool({"xdotool", "getwindowname", id}, &name));
  EXPECT_EQ(name, "Renamed\n");

  ASSERT_TRUE(tool({"xdotool", "windowmove", id, "200", "150"}));
  Rect r;
  EXPECT_TRUE(pump_until([&] { return get_window_rect(w, &r) && r.left == 200 && r.top == 150; }))
      << "window at " << r.left << "," << r.top;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap)) << "the drawing did not move with the window";

  g_log.clear();
  ASSERT_TRUE(tool({"xdotool", "windowsize", id, "500", "360"}));
  EXPECT_TRUE(pump_until([&] { return get_window_rect(w, &r) && r.width() == 500 && r.height() == 360; }))
      << "window of " << r.width() << "x" << r.height();
  EXPECT_FALSE(logged({WM_SIZE}).empty());
  EXPECT_EQ(r.left, 200);

  ASSERT_TRUE(tool({"xdotool", "windowclose", id}));
  EXPECT_TRUE(pump_until([&] { return !is_window(w); })) << "the window outlived its X window";
  EXPECT_FALSE(logged({WM_CLOSE}).empty());
}

TEST_F(X11PresenterTest, HidingShowingAndDestroyingReachTheDisplay) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  auto shown = [this] {
    std::string out;
    tool({"xdotool", "search", "--onlyvisible", "--name", std::string("^") + kTitle + "$"}, &out);
    return !out.empty();
  };
  ASSERT_TRUE(shown());
  show_window(w, SW_HIDE);
  EXPECT_TRUE(pump_until([&] { return !shown(); })) << "the X window stayed mapped";
  show_window(w, SW_SHOW);
  EXPECT_TRUE(wait_for_screen(w, kRed, &cap)) << "the X window did not come back";
  destroy_window(w);
  EXPECT_TRUE(pump_until([this] { return x_window_id().empty(); })) << "the X window outlived its window";
}

// Nothing changes in the window when the display uncovers it: the presenter shows the
// exposed part again from the surface, without the window painting.
TEST_F(X11PresenterTest, AnUncoveredWindowIsDrawnAgainFromItsSurface) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  const std::string id = x_window_id();
  ASSERT_FALSE(id.empty());
  ASSERT_TRUE(tool({"xdotool", "windowunmap", id}));
  const Point mid = on_screen(w, Point{(kFirst.left + kFirst.right) / 2, (kFirst.top + kFirst.bottom) / 2});
  EXPECT_TRUE(pump_until([&] { return x11_test::capture_screen(server_.display(), &cap) && cap.at(mid.x, mid.y) != kRed; }));
  g_log.clear();
  ASSERT_TRUE(tool({"xdotool", "windowmap", id}));
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap)) << "the uncovered window stayed blank";
  const Point blue = on_screen(w, Point{kSecond.left + 1, kSecond.top + 1});
  EXPECT_EQ(cap.at(blue.x, blue.y), kBlue);
  EXPECT_TRUE(logged({WM_PAINT}).empty());
}

// What xwininfo says of a window after "<key>:" (trimmed), "" when it says nothing.
std::string xwininfo_field(const std::string& info, const std::string& key) {
  const size_t at = info.find(key + ":");
  if (at == std::string::npos) return {};
  size_t from = at + key.size() + 1;
  const size_t end = info.find('\n', from);
  std::string v = info.substr(from, end == std::string::npos ? std::string::npos : end - from);
  v.erase(0, v.find_first_not_of(' '));
  return v;
}

// A combo box's dropped list and a popup menu show at the place the window system gave
// them, unframed (override-redirect, so no window manager moves or frames them), and
// never take the keyboard from the window they belong to, even when the window system
// activates them. An ordinary popup stays the window manager's.
TEST_F(X11PresenterTest, DroppedListsAndPopupMenusShowUnframedAndLeaveTheFocus) {
  for (const char* name : {"ComboLBox", "PopupMenu"}) {
    WndClass c;
    c.name = name;
    c.proc = probe_proc;
    ASSERT_NE(register_class(c), 0);
  }
  Wnd owner = open_focused_window();
  const std::string owner_id = x_window_id();
  struct Case {
    const char* cls;
    uint32_t ex_style, style;
    int show;
    bool unmanaged;
  };
  const Case cases[] = {
      {"ComboLBox", WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WS_POPUP | WS_BORDER | WS_DISABLED, SW_SHOWNA, true},
      {"PopupMenu", 0, WS_POPUP | WS_BORDER, SW_SHOW, true},
      {kClass, 0, WS_POPUP | WS_BORDER, SW_SHOWNA, false},
  };
  const Rect place{310, 240, 430, 330};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cls);
    const std::string title = std::string("X11 popup ") + c.cls;
    Wnd popup = create_window(c.ex_style, c.cls, title.c_str(), c.style, place.left, place.top, place.width(),
                              place.height(), owner, 0);
    ASSERT_NE(popup, nullptr);
    show_window(popup, c.show);
    std::string id;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (id.empty() && x11_test::ms_left(until) > 0) {
      pump_until([] { return false; }, 20);
      tool({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, &id);
    }
    id = id.substr(0, id.find('\n'));
    ASSERT_FALSE(id.empty()) << "the popup never showed";
    std::string info;
    ASSERT_TRUE(tool({"xwininfo", "-id", id}, &info));
    EXPECT_EQ(xwininfo_field(info, "Override Redirect State"), c.unmanaged ? "yes" : "no") << info;
    EXPECT_EQ(xwininfo_field(info, "Absolute upper-left X"), std::to_string(place.left));
    EXPECT_EQ(xwininfo_field(info, "Absolute upper-left Y"), std::to_string(place.top));
    pump_until([] { return false; }, 50);
    std::string focused;
    tool({"xdotool", "getwindowfocus"}, &focused);
    EXPECT_EQ(focused, owner_id + "\n") << "the X focus went elsewhere";
    destroy_window(popup);
    pump_until([] { return false; }, 20);
  }
}

// wake() from another thread ends the presenter's wait, also when it comes first.
TEST_F(X11PresenterTest, AWakeFromAnotherThreadEndsTheWait) {
  Presenter* p = get_presenter();
  ASSERT_NE(p, nullptr);
  std::thread early([p] { p->wake(); });
  early.join();
  auto start = Clock::now();
  p->wait_events(10000);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "a wake before the wait was lost";
  std::thread during([p] { p->wake(); });
  start = Clock::now();
  p->wait_events(10000);
  during.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "the wake did not end the wait";
}

// The X server goes away while a window is shown: the program is not ended, the
// presenter steps aside, the window is asked to close as when its X window is
// destroyed, and the program goes on headless.
TEST_F(X11PresenterTest, ALostDisplayLeavesTheProgramRunningHeadless) {
  Wnd w = open_window();
  Capture cap;
  ASSERT_TRUE(wait_for_screen(w, kRed, &cap));
  g_log.clear();
  server_.stop();
  EXPECT_TRUE(pump_until([] { return get_presenter() == nullptr; })) << "the presenter still waits on the lost display";
  EXPECT_FALSE(x11_running());
  EXPECT_TRUE(pump_until([&] { return !is_window(w); })) << "the window was not asked to close";
  EXPECT_FALSE(logged({WM_CLOSE}).empty());
  // Windows made now live headless.
  Wnd later = open_window();
  ASSERT_NE(later, nullptr);
  EXPECT_TRUE(pump_until([] { return !queue_has_work(); }));
  EXPECT_TRUE(logged({WM_PAINT}).size() >= 1u);
  Presenter* none = nullptr;
  EXPECT_EQ(get_presenter(), none);
}

// A program that ends (exit from a window procedure) while its workers still post:
// the presenter is taken away before the exit destroys it, so no late wake touches it
// (the address sanitizer would end the child with an error).
TEST(X11Exit, ExitingWhileWorkersStillPostEndsCleanly) {
  if (!x11_test::XServer::installed()) GTEST_SKIP() << "Xvfb is not installed";
  x11_test::XServer server;
  std::string why;
  ASSERT_TRUE(server.start(&why)) << why;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ui_reset();
    set_ui_thread();
    if (!x11_start(server.display().c_str())) _exit(3);
    std::atomic<bool> posting{false};
    std::thread([&posting] {
      for (;;) {
        post_thread_message(WM_USER, 0, 0);
        posting = true;
      }
    }).detach();
    while (!posting) std::this_thread::yield();
    exit(0);
  }
  const int status = x11_test::reap(child, 20000);
  EXPECT_TRUE(status >= 0 && WIFEXITED(status)) << "the program did not end by itself";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(X11Headless, WithoutADisplayTheProgramsStayHeadless) {
  const char* old = getenv("DISPLAY");
  const std::string saved = old ? old : "";
  unsetenv("DISPLAY");
  EXPECT_FALSE(x11_start());
  if (old) setenv("DISPLAY", saved.c_str(), 1);
  int unused = 4000;  // a display number no server listens on
  while (access(("/tmp/.X11-unix/X" + std::to_string(unused)).c_str(), F_OK) == 0) ++unused;
  EXPECT_FALSE(x11_start((":" + std::to_string(unused)).c_str()));
  EXPECT_FALSE(x11_running());
  EXPECT_EQ(get_presenter(), nullptr);
}

}  // namespace
