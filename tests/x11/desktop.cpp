// The desktop as a user meets it, on a real X server (a private Xvfb), driven from
// outside with xdotool: a window with a menu bar like the frame's.
//
// The menus: a click held 100 ms on "File" opens its menu, which is still there a second
// later; a click outside closes it; F10 and Alt+F open it, Escape closes it. Under a
// window manager (openbox, started on the private server for the test and stopped at
// its end): the frame shows one title bar, the manager's (it sets _NET_FRAME_EXTENTS and
// our X window holds no caption), at the place and size the program asked for; the
// windows carry the program's WM_CLASS, their UTF-8 title and the close request; a
// dialog is transient for its owner; the manager's close reaches the window.
//
// While a menu is open the user-interface thread runs the menu's loop, so the outside
// tools run on a thread of their own and the test thread keeps the loop going.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
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

constexpr const char* kProgram = "X11Desktop";  // WM_CLASS "x11desktop", "X11Desktop"
constexpr const char* kClass = "DesktopProbe";
constexpr const char* kTitle = "Desktop probe";
constexpr Rect kAsked{100, 80, 600, 440};  // the frame's window rectangle
constexpr unsigned kOpen = 101, kQuit = 102, kCopy = 201;

struct Logged {
  uint32_t msg;
  WParam wp;
};
std::vector<Logged> g_messages;  // user-interface thread only
std::vector<unsigned> g_commands;

LResult probe_proc(Wnd w, uint32_t msg, WParam wp, LParam lp) {
  g_messages.push_back(Logged{msg, wp});
  if (msg == WM_COMMAND) g_commands.push_back(loword(wp));
  if (msg == WM_CLOSE) return 0;  // recorded only: the window stays for the next look
  return def_window_proc(w, msg, wp, lp);
}

bool seen(uint32_t msg, int wp = -1) {
  return std::any_of(g_messages.begin(), g_messages.end(),
                     [&](const Logged& l) { return l.msg == msg && (wp < 0 || l.wp == WParam(wp)); });
}

// What xwininfo says of a window after "<key>:" (trimmed), "" when it says nothing.
std::string field(const std::string& info, const std::string& key) {
  const size_t at = info.find(key + ":");
  if (at == std::string::npos) return {};
  size_t from = at + key.size() + 1;
  const size_t end = info.find('\n', from);
  std::string v = info.substr(from, end == std::string::npos ? std::string::npos : end - from);
  v.erase(0, v.find_first_not_of(' '));
  return v;
}

int number(const std::string& info, const std::string& key) { return std::atoi(field(info, key).c_str()); }

class X11Desktop : public ::testing::Test {
 protected:
  virtual bool with_manager() const { return false; }

  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo"})
      if (x11_test::find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the desktop test needs it";
    if (with_manager() && !x11_test::WindowManager::installed())
      GTEST_SKIP() << "openbox or xprop is not installed: the window-manager test needs them";
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    if (with_manager()) {
      ASSERT_TRUE(manager_.start(server_.display(), &why)) << why;
    }
    ui_reset();
    set_ui_thread();
    g_messages.clear();
    g_commands.clear();
    WndClass c;
    c.name = kClass;
    c.proc = probe_proc;
    c.background_sys_color = COLOR_WINDOW;
    c.cursor = load_cursor(IDC_ARROW);
    ASSERT_NE(register_class(c), 0);
    ASSERT_TRUE(x11_start(server_.display().c_str(), kProgram)) << "no connection to " << server_.display();
    started_ = true;
  }

  void TearDown() override {
    if (started_) x11_test::stop_presenter();
    manager_.stop();
    server_.stop();
  }

  // The frame: File (Open, separator, Quit) and Edit (Copy), shown and given the focus.
  Wnd open_frame(const char* title = kTitle) {
    frame_ = create_window(0, kClass, title, WS_OVERLAPPEDWINDOW, kAsked.left, kAsked.top, kAsked.width(),
                           kAsked.height(), nullptr, 0);
    bar_ = create_menu();
    Menu file = create_popup_menu(), edit = create_popup_menu();
    append_menu(file, MF_STRING, kOpen, "&Open");
    append_menu(file, MF_SEPARATOR, 0, nullptr);
    append_menu(file, MF_STRING, kQuit, "&Quit");
    append_menu(edit, MF_STRING, kCopy, "&Copy");
    append_menu(bar_, MF_POPUP, reinterpret_cast<uintptr_t>(file), "&File");
    append_menu(bar_, MF_POPUP, reinterpret_cast<uintptr_t>(edit), "&Edit");
    set_menu(frame_, bar_);
    show_window(frame_, SW_SHOW);
    xid_ = wait_for_x_window(title);
    EXPECT_FALSE(xid_.empty()) << "the frame never showed";
    std::string focused;
    const auto until = Clock::now() + std::chrono::seconds(15);
    while (focused != xid_ + "\n" && x11_test::ms_left(until) > 0) {
      if (with_manager()) tool({"xdotool", "windowactivate", xid_});
      tool({"xdotool", "getwindowfocus"}, &focused);
    }
    EXPECT_EQ(focused, xid_ + "\n") << "the X focus is elsewhere";
    // The window manager's frame is known once it reported it.
    pump_until([] { return false; }, 100);
    return frame_;
  }

  std::string wait_for_x_window(const std::string& title) {
    std::string id;
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (id.empty() && x11_test::ms_left(until) > 0) {
      pump_until([] { return false; }, 20);
      tool({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, &id);
    }
    return id.substr(0, id.find('\n'));
  }

  // An outside tool, with the loop kept going meanwhile (no menu may open).
  bool tool(std::vector<std::string> argv, std::string* out = nullptr) {
    x11_test::ToolResult r =
        x11_test::run_tool(server_.display(), std::move(argv), 10000, [this] { pump_until([] { return false; }, 2); });
    if (out) *out = r.out;
    return r.ran;
  }

  // Acts from a thread of its own (the user at the desktop) while this thread runs the
  // loop, menus included, until the user is done. Any menu left open then is closed,
  // so that the test always ends.
  void as_user(const std::function<void(X11Desktop&)>& act) {
    std::atomic<bool> done{false};
    std::thread user([&] {
      act(*this);
      for (int i = 0; i < 5 && popup_open(); ++i) outside({"xdotool", "key", "Escape"});
      if (Wnd p = popup_window()) post_message(p, WM_CLOSE, 0, 0);
      done = true;
    });
    pump_until([&] { return done.load(); }, 60000);
    user.join();
    pump_until([] { return false; }, 50);
  }

  // ---- From the user's thread ----------------------------------------------------------------
  bool outside(std::vector<std::string> argv, std::string* out = nullptr) {
    x11_test::ToolResult r = x11_test::run_tool(server_.display(), std::move(argv));
    if (out) *out = r.out;
    return r.ran;
  }

  // The open popup menu, as the program knows it.
  static Wnd popup_window() {
    for (Wnd w : top_level_windows())
      if (get_class_name(w) == "PopupMenu" && is_window_visible(w)) return w;
    return nullptr;
  }

  // A popup menu on the screen, as xwininfo sees it: an unnamed window of the program's
  // class (the popup's X window is destroyed when the menu closes).
  bool popup_open() {
    std::string tree;
    outside({"xwininfo", "-root", "-tree"}, &tree);
    return tree.find("(has no name): (\"x11desktop\" \"X11Desktop\")") != std::string::npos;
  }

  // Waits (bounded) until the menu is open, or closed.
  bool menu_becomes(bool open) {
    const auto until = Clock::now() + std::chrono::seconds(15);
    while (x11_test::ms_left(until) > 0) {
      if (popup_open() == open && (popup_window() != nullptr) == open) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // The middle of a bar item on the screen.
  Point bar_item(int pos) {
    Rect r;
    EXPECT_TRUE(get_menu_item_rect(frame_, bar_, unsigned(pos), &r));
    return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  // The held click, as a user's: press, 100 ms, release.
  void held_click(Point p) {
    outside({"xdotool", "mousemove", std::to_string(p.x), std::to_string(p.y), "mousedown", "1", "sleep", "0.1",
             "mouseup", "1"});
  }

  // A click with a 100 ms hold opens the File menu, which is still open a second later;
  // a click outside closes it; a click on "Open" then chooses it.
  void check_held_click_opens_the_menu() {
    open_frame();
    const Point file = bar_item(0);
    Point client{300, 250};
    client_to_screen(frame_, &client);
    bool opened = false, still_open = false, closed = false, reopened = false;
    as_user([&](X11Desktop& t) {
      t.held_click(file);
      opened = t.menu_becomes(true);
      std::this_thread::sleep_for(std::chrono::seconds(1));
      still_open = t.popup_open() && t.popup_window();
      t.held_click(client);
      closed = t.menu_becomes(false);
      t.held_click(file);
      reopened = t.menu_becomes(true);
      Rect popup;
      get_window_rect(t.popup_window(), &popup);
      t.held_click(Point{popup.left + 30, popup.top + 1 + 2 + 10});  // the first row: Open
      t.menu_becomes(false);
    });
    EXPECT_TRUE(opened) << "the click did not open the menu";
    EXPECT_TRUE(still_open) << "the menu closed by itself";
    EXPECT_TRUE(closed) << "a click outside left the menu open";
    EXPECT_TRUE(reopened);
    EXPECT_EQ(g_commands, std::vector<unsigned>{kOpen});
  }

  // F10 and Alt+F open the File menu; Escape closes it.
  void check_keys_open_the_menu() {
    open_frame();
    for (const char* keys : {"F10", "alt+f"}) {
      SCOPED_TRACE(keys);
      bool opened = false, file_lit = false, closed = false;
      as_user([&](X11Desktop& t) {
        t.outside({"xdotool", "key", keys});
        opened = t.menu_becomes(true);
        file_lit = get_menu_state(t.bar_, 0, MF_BYPOSITION) & MF_HILITE;
        t.outside({"xdotool", "key", "Escape"});
        closed = t.menu_becomes(false);
      });
      EXPECT_TRUE(opened) << "the keys did not open the menu";
      EXPECT_TRUE(file_lit) << "another menu than File opened";
      EXPECT_TRUE(closed) << "Escape left the menu open";
    }
    EXPECT_TRUE(g_commands.empty());
  }

  x11_test::XServer server_;
  x11_test::WindowManager manager_;
  bool started_ = false;
  Wnd frame_ = nullptr;
  Menu bar_ = nullptr;
  std::string xid_;
};

class X11DesktopManaged : public X11Desktop {
 protected:
  bool with_manager() const override { return true; }

  // Our X window as xwininfo sees it.
  Rect x_window(const std::string& id) {
    std::string info;
    tool({"xwininfo", "-id", id}, &info);
    const int x = number(info, "Absolute upper-left X"), y = number(info, "Absolute upper-left Y");
    return Rect{x, y, x + number(info, "Width"), y + number(info, "Height")};
  }
  std::string property(const std::string& id, const char* name) {
    std::string out;
    tool({"xprop", "-id", id, name}, &out);
    return out;
  }
};

TEST_F(X11Desktop, AHeldClickOpensTheFileMenuAndItStaysOpen) { check_held_click_opens_the_menu(); }

TEST_F(X11Desktop, F10AndAltFOpenTheFileMenuAndEscapeClosesIt) { check_keys_open_the_menu(); }

// Without a window manager the program draws its own caption: its X window is the
// whole window rectangle.
TEST_F(X11Desktop, WithoutAManagerTheWindowHasItsOwnCaption) {
  open_frame();
  EXPECT_FALSE(frames_by_manager());
  std::string info;
  ASSERT_TRUE(tool({"xwininfo", "-id", xid_}, &info));
  EXPECT_EQ(number(info, "Absolute upper-left X"), kAsked.left);
  EXPECT_EQ(number(info, "Absolute upper-left Y"), kAsked.top);
  EXPECT_EQ(number(info, "Width"), kAsked.width());
  EXPECT_EQ(number(info, "Height"), kAsked.height());
  EXPECT_EQ(send_message(frame_, WM_NCHITTEST, 0, make_lparam(kAsked.left + 200, kAsked.top + 10)), HTCAPTION);
}

TEST_F(X11DesktopManaged, TheFrameHasOneTitleBarTheManagers) {
  open_frame();
  EXPECT_TRUE(frames_by_manager());
  FrameExtents e;
  ASSERT_TRUE(get_window_frame_extents(frame_, &e));
  const std::string extents = property(xid_, "_NET_FRAME_EXTENTS");
  EXPECT_EQ(extents, "_NET_FRAME_EXTENTS(CARDINAL) = " + std::to_string(e.left) + ", " + std::to_string(e.right) +
                         ", " + std::to_string(e.top) + ", " + std::to_string(e.bottom) + "\n")
      << "the manager framed the window, and the window system took its frame";
  EXPECT_GT(e.top, 0) << "the manager draws a title bar";
  // The program's window is where and as large as it asked, the manager's frame included;
  // its X window holds what lies inside that frame.
  Rect r;
  get_window_rect(frame_, &r);
  EXPECT_EQ(r, kAsked);
  const Rect x = x_window(xid_);
  EXPECT_EQ(x, (Rect{kAsked.left + e.left, kAsked.top + e.top, kAsked.right - e.right, kAsked.bottom - e.bottom}));
  // No caption of ours: the X window starts with the menu bar, then the client area.
  Rect file;
  ASSERT_TRUE(get_menu_item_rect(frame_, bar_, 0, &file));
  EXPECT_EQ(file.top, x.top + 1);
  Point client{0, 0};
  client_to_screen(frame_, &client);
  EXPECT_EQ(client, (Point{x.left, x.top + 20}));
  Capture cap;
  ASSERT_TRUE(x11_test::capture_screen(server_.display(), &cap));
  const Color menu = get_sys_color(COLOR_MENU);
  const uint32_t menu_rgb = (uint32_t(red_of(menu)) << 16) | (uint32_t(green_of(menu)) << 8) | uint32_t(blue_of(menu));
  EXPECT_EQ(cap.at(x.right - 20, x.top + 3), menu_rgb) << "the top of the X window is the menu bar";
}

TEST_F(X11DesktopManaged, TheWindowsCarryClassTitleAndCloseRequest) {
  open_frame("Carte \u00e9t\u00e9");
  EXPECT_EQ(property(xid_, "WM_CLASS"), "WM_CLASS(STRING) = \"x11desktop\", \"X11Desktop\"\n");
  const std::string name = property(xid_, "_NET_WM_NAME");
  EXPECT_EQ(name.rfind("_NET_WM_NAME(UTF8_STRING) = \"Carte ", 0), 0u) << name;
  EXPECT_TRUE(name.find("\u00e9t\u00e9\"") != std::string::npos || name.find("\\303\\251t\\303\\251\"") != std::string::npos)
      << name;
  EXPECT_NE(property(xid_, "WM_PROTOCOLS").find("WM_DELETE_WINDOW"), std::string::npos);
  // openbox closes the active window on Alt+F4: it takes the key and asks the window.
  // On a loaded machine it may grab its keys a moment after it took the screen, so the
  // key is pressed again (a bounded number of times) while it still reaches the window.
  bool by_manager = false;
  for (int attempt = 0; attempt < 10 && !by_manager; ++attempt) {
    g_messages.clear();
    ASSERT_TRUE(tool({"xdotool", "key", "alt+F4"}));
    ASSERT_TRUE(pump_until([] { return seen(WM_CLOSE); })) << "no close request arrived";
    by_manager = !seen(WM_SYSKEYDOWN, VK_F4);
    if (!by_manager) pump_until([] { return false; }, 300);
  }
  EXPECT_TRUE(by_manager) << "the key always reached the window: the close was never the manager's";
}

TEST_F(X11DesktopManaged, ADialogIsTransientForItsOwnerAtItsAskedPlace) {
  open_frame();
  constexpr Rect kDialog{200, 150, 520, 330};
  Wnd dlg = create_window(0, kClass, "Probe dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, kDialog.left,
                          kDialog.top, kDialog.width(), kDialog.height(), frame_, 0);
  ASSERT_NE(dlg, nullptr);
  const std::string id = wait_for_x_window("Probe dialog");
  ASSERT_FALSE(id.empty());
  pump_until([] { return false; }, 100);
  const std::string transient = property(id, "WM_TRANSIENT_FOR");
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%lx", std::stoul(xid_));
  EXPECT_NE(transient.find(buf), std::string::npos) << transient;
  FrameExtents e;
  ASSERT_TRUE(get_window_frame_extents(dlg, &e));
  EXPECT_GT(e.top, 0);
  EXPECT_EQ(x_window(id), (Rect{kDialog.left + e.left, kDialog.top + e.top, kDialog.right - e.right,
                                kDialog.bottom - e.bottom}));
}

TEST_F(X11DesktopManaged, AHeldClickOpensTheFileMenuAndItStaysOpen) { check_held_click_opens_the_menu(); }

TEST_F(X11DesktopManaged, F10AndAltFOpenTheFileMenuAndEscapeClosesIt) { check_keys_open_the_menu(); }

}  // namespace
