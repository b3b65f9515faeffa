// The keys the menu names, pressed by a user: the diffusion program runs on a private X
// server under a window manager, and xdotool types Ctrl+N (the "Real time navigation"
// window opens; its "Cancel" closes it), Ctrl+O (the "Open" file window opens) and Ctrl+Q (the program ends by
// itself). Its destinations are one loopback port the system chose, so the fixed
// loopback ports get nothing. Skipped when Xvfb, openbox or xdotool is missing, or when
// the program was not built beside the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/paths.h"
#include "tests/support/net_loopback.h"
#include "tests/support/test_env.h"
#include "tests/x11/x_program.h"
#include "tests/x11/x_server.h"

namespace {

class QuellixKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"})
      if (x11_test::find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the key test needs it";
    if (!x11_test::WindowManager::installed()) GTEST_SKIP() << "openbox or xprop is not installed";
    program_ = x11_test::program_beside_tests("quellix");
    if (program_.empty() || !file_exists(program_.c_str())) GTEST_SKIP() << "no program " << program_;
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ASSERT_TRUE(manager_.start(server_.display(), &why)) << why;
  }
  void TearDown() override {
    manager_.stop();
    server_.stop();
  }
  x11_test::ToolResult xdotool(std::vector<std::string> args) { return x11_test::xdotool(server_.display(), args); }
  std::string window_named(const std::string& pattern) { return x11_test::window_named(server_.display(), pattern); }
  bool gone(const std::string& pattern) { return x11_test::window_gone(server_.display(), pattern); }
  // Gives the window the focus and types the keys there.
  void type_in(const std::string& window, const std::string& keys) {
    xdotool({"windowactivate", "--sync", window});
    xdotool({"key", "--clearmodifiers", keys});
  }

  x11_test::XServer server_;
  x11_test::WindowManager manager_;
  std::string program_;
};

TEST_F(QuellixKeys, CtrlNCtrlOAndCtrlQDoWhatTheMenuSays) {
  const std::string home = tm_test::fresh_dir("quellix-keys");
  const uint16_t port = tm_test::unused_loopback_port();
  x11_test::RunningProgram run;
  ASSERT_TRUE(run.start(server_.display(), {program_, "-diffuse_127.0.0.1:" + std::to_string(port)}, home));
  const std::string main = window_named("^Quellix");
  ASSERT_FALSE(main.empty()) << "the main window did not come";

  type_in(main, "ctrl+n");
  const std::string navigation = window_named("^Real time navigation");
  EXPECT_FALSE(navigation.empty()) << "Ctrl+N opened no navigation window";
  if (!navigation.empty()) {
    // Closed with its "Cancel" button (client 230,298, 110 wide).
    xdotool({"mousemove", "--window", navigation, "285", "310", "click", "1"});
    EXPECT_TRUE(gone("^Real time navigation"));
  }

  type_in(main, "ctrl+o");
  const std::string open = window_named("^Open$");
  EXPECT_FALSE(open.empty()) << "Ctrl+O opened no file window";
  if (!open.empty()) {
    type_in(open, "Escape");
    EXPECT_TRUE(gone("^Open$"));
  }

  type_in(main, "ctrl+q");
  EXPECT_EQ(run.wait_exit(20000), 0) << "Ctrl+Q did not end the program";
}

}  // namespace
