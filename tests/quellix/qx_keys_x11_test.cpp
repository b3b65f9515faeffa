// The keys the menu names, pressed by a user: the diffusion program runs on a private X
// server under a window manager, and xdotool types Ctrl+N (the "Real time navigation"
// window opens; its "Cancel" closes it), Ctrl+O (the "Open" file window opens) and Ctrl+Q (the program ends by
// itself). Its destinations are one loopback port the system chose, so the fixed
// loopback ports get nothing. Skipped when Xvfb, openbox or xdotool is missing, or when
// the program was not built beside the tests.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/paths.h"
#include "tests/support/net_loopback.h"
#include "tests/support/test_env.h"
#include "tests/x11/x_server.h"

namespace {

std::string program_beside_tests() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string self(buf, size_t(n));
  return self.substr(0, self.find_last_of('/') + 1) + "quellix";
}

// The program on the private display, with a home of its own, in English.
class RunningProgram {
 public:
  bool start(const std::string& display, const std::vector<std::string>& argv, const std::string& home) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("HOME=", 0) == 0 || v.rfind("ASAN_OPTIONS=", 0) == 0 ||
          v.rfind("LANG=", 0) == 0 || v.rfind("LC_", 0) == 0 || v.rfind("LANGUAGE=", 0) == 0 ||
          v.rfind("XDG_", 0) == 0)
        continue;
      env.push_back(v);
    }
    env.push_back("DISPLAY=" + display);
    env.push_back("HOME=" + home);
    env.push_back("LANG=C");
    // What a program leaves unfreed at its exit is not this test's concern.
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<std::string> args = argv;
    std::vector<char*> a = x11_test::c_strings(args), e = x11_test::c_strings(env);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&pid_, a[0], &fa, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid_ = -1;
    return pid_ > 0;
  }
  // The exit status once the program ended by itself within the bound; -1 otherwise.
  int wait_exit(int bound_ms) {
    if (pid_ <= 0) return -1;
    const auto until = x11_test::Clock::now() + std::chrono::milliseconds(bound_ms);
    int status = 0;
    while (x11_test::Clock::now() < until) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  ~RunningProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

class QuellixKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"})
      if (x11_test::find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the key test needs it";
    if (!x11_test::WindowManager::installed()) GTEST_SKIP() << "openbox or xprop is not installed";
    program_ = program_beside_tests();
    if (program_.empty() || !file_exists(program_.c_str())) GTEST_SKIP() << "no program " << program_;
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ASSERT_TRUE(manager_.start(server_.display(), &why)) << why;
  }
  void TearDown() override {
    manager_.stop();
    server_.stop();
  }
  x11_test::ToolResult xdotool(std::vector<std::string> args, int bound_ms = 15000) {
    args.insert(args.begin(), "xdotool");
    return x11_test::run_tool(server_.display(), args, bound_ms);
  }
  // The first window whose name matches, waiting for it within the bound; "" when none came.
  std::string window_named(const std::string& pattern, int bound_ms = 20000) {
    const auto until = x11_test::Clock::now() + std::chrono::milliseconds(bound_ms);
    while (x11_test::Clock::now() < until) {
      const auto r = xdotool({"search", "--onlyvisible", "--name", pattern}, 5000);
      if (r.ran && !r.out.empty()) return r.out.substr(0, r.out.find('\n'));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }
  bool gone(const std::string& pattern, int bound_ms = 10000) {
    const auto until = x11_test::Clock::now() + std::chrono::milliseconds(bound_ms);
    while (x11_test::Clock::now() < until) {
      const auto r = xdotool({"search", "--onlyvisible", "--name", pattern}, 5000);
      if (r.out.empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
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
  RunningProgram run;
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
