// The keys the menu names, pressed by a user: the diffusion program runs on a private X
// server under a window manager, and xdotool types Ctrl+N (the "Real time navigation"
// window opens; its "Cancel" closes it), Ctrl+O (the "Open" file window opens) and Ctrl+Q (the program ends by
// itself). Its destinations are one loopback port the system chose, so the fixed
// loopback ports get nothing. Skipped when Xvfb, openbox or xdotool is missing, or when
// the program was not built beside the tests.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/net_loopback.h"
#include "tests/support/test_env.h"
#include "tests/x11/x_program.h"

namespace {

class QuellixKeys : public x11_test::ProgramOnScreen {
 protected:
  const char* program_name() const override { return "quellix"; }
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
