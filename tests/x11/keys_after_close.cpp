// The keys of the main window once a window it owns has closed, on a desktop: the map
// program and the image viewer run on a private X server under a window manager
// (openbox), and xdotool acts as the user. The window manager's Alt+F4 closes the map
// program's "Real time navigation" window, or the viewer's "File information" window
// (F12); the window manager keeps the release of Alt for itself, and the main window's
// keys must still be plain keys afterwards: Ctrl+O opens the file window, Space shows
// the next image, Escape ends the viewer. The "File information" window is also
// destroyed from outside while the viewer is busy and the user types Space at once:
// that key reaches the main window. Skipped when Xvfb, openbox or xdotool is missing;
// the programs are built beside the tests.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_env.h"
#include "tests/x11/x_program.h"
#include "tests/x11/x_server.h"

namespace {

using x11_test::Clock;

class KeysAfterClose : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"})
      if (x11_test::find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the test needs it";
    if (!x11_test::WindowManager::installed()) GTEST_SKIP() << "openbox or xprop is not installed";
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ASSERT_TRUE(manager_.start(server_.display(), &why)) << why;
  }
  void TearDown() override {
    manager_.stop();
    server_.stop();
  }

  // Starts a program built beside the tests with a home of its own.
  void start(const char* program, std::vector<std::string> args) {
    const std::string path = x11_test::program_beside_tests(program);
    ASSERT_EQ(access(path.c_str(), X_OK), 0) << path << " is not built beside the tests";
    args.insert(args.begin(), path);
    ASSERT_TRUE(run_.start(server_.display(), args, tm_test::fresh_dir("keys-after-close")));
  }
  x11_test::ToolResult xdotool(std::vector<std::string> args) { return x11_test::xdotool(server_.display(), args); }
  std::string window_named(const std::string& pattern) { return x11_test::window_named(server_.display(), pattern); }
  bool gone(const std::string& pattern) { return x11_test::window_gone(server_.display(), pattern); }
  // Keys typed wherever the keyboard is, as a user goes on typing.
  void keys(const std::string& k) { xdotool({"key", k}); }
  // Whether the window's title comes to hold `part` within the bound.
  bool title_shows(const std::string& window, const std::string& part, int bound_ms = 10000) {
    const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
    while (Clock::now() < until) {
      if (xdotool({"getwindowname", window}).out.find(part) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  x11_test::XServer server_;
  x11_test::WindowManager manager_;
  x11_test::RunningProgram run_;
};

TEST_F(KeysAfterClose, CtrlOOpensTheFileWindowAfterAltF4ClosedTheNavigationWindow) {
  start("tarmelo", {});
  const std::string main = window_named("^Tarmelo");
  ASSERT_FALSE(main.empty()) << "the main window did not come";
  xdotool({"windowactivate", "--sync", main});
  keys("ctrl+n");
  ASSERT_FALSE(window_named("^Real time navigation$").empty()) << "Ctrl+N opened no navigation window";
  keys("alt+F4");
  ASSERT_TRUE(gone("^Real time navigation$")) << "Alt+F4 did not close the navigation window";
  keys("ctrl+o");
  const std::string open = window_named("^Loading file");
  EXPECT_FALSE(open.empty()) << "Ctrl+O opened no file window: the keys of the main window are dead";
  if (!open.empty()) {
    keys("Escape");
    EXPECT_TRUE(gone("^Loading file"));
  }
  keys("ctrl+q");
  EXPECT_EQ(run_.wait_exit(20000), 0) << "Ctrl+Q did not end the program";
}

TEST_F(KeysAfterClose, TheViewersKeysWorkAfterItsInformationWindowCloses) {
  const std::string dir = std::string(TM_FIXTURE_DIR) + "/sorbinel/browse/";
  start("sorbinel", {dir + "01_red.png", "-load", dir + "02_green.png", "-load", dir + "03_blue.png"});
  const std::string main = window_named("01_red\\.png");
  ASSERT_FALSE(main.empty()) << "the main window did not come";
  xdotool({"windowactivate", "--sync", main});

  // Alt+F4, then Space: the next image.
  keys("F12");
  ASSERT_FALSE(window_named("^File information$").empty()) << "F12 opened no information window";
  keys("alt+F4");
  ASSERT_TRUE(gone("^File information$")) << "Alt+F4 did not close the information window";
  keys("space");
  EXPECT_TRUE(title_shows(main, "02_green.png")) << "Space did not show the next image after Alt+F4";

  // The window destroyed from outside while the viewer is busy, Space typed at once.
  keys("F12");
  const std::string info = window_named("^File information$");
  ASSERT_FALSE(info.empty()) << "F12 opened no information window";
  run_.pause();
  xdotool({"windowclose", info});
  keys("space");
  run_.resume();
  EXPECT_TRUE(gone("^File information$"));
  EXPECT_TRUE(title_shows(main, "03_blue.png")) << "the Space typed as the window went was lost";

  // Alt+F4, then Escape: the end.
  keys("F12");
  ASSERT_FALSE(window_named("^File information$").empty()) << "F12 opened no information window";
  keys("alt+F4");
  ASSERT_TRUE(gone("^File information$")) << "Alt+F4 did not close the information window";
  keys("Escape");
  EXPECT_EQ(run_.wait_exit(20000), 0) << "Escape did not end the viewer after Alt+F4";
}

}  // namespace
