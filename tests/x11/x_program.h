// The suite's programs driven as a user drives them, on a private X server
// (tests/x11/x_server.h) under a window manager.
//
// RunningProgram: one program started as a user starts it: DISPLAY names that server,
// the home folder is one of the test's own, the language is English, and the leak check
// is off in the child (what a program leaves unfreed at its exit is not the test's
// concern). Its standard output is discarded. The program is killed when the object
// goes, unless it ended by itself before.
//
// xdotool, window_named, window_gone: xdotool's looks and actions on a server.
//
// ProgramOnScreen: the fixture of such a test: Xvfb and openbox started for each case
// (the case is skipped when Xvfb, openbox, xprop or xdotool is missing), the program
// named by program_name() looked up beside the test program (skipped when it was not
// built there), and the looks and actions above on its server.
#pragma once
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/paths.h"
#include "tests/x11/x_server.h"

namespace x11_test {

// The path of a program built beside the running test program.
inline std::string program_beside_tests(const char* program) {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  const std::string self(buf, size_t(n));
  return self.substr(0, self.find_last_of('/') + 1) + program;
}

class RunningProgram {
 public:
  RunningProgram() = default;
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGCONT);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

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
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<std::string> args = argv;
    std::vector<char*> a = c_strings(args), e = c_strings(env);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&pid_, a[0], &fa, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid_ = -1;
    return pid_ > 0;
  }

  // Holds the program still, as a program busy with work is, and lets it go on: what the
  // user does meanwhile waits for it on the server.
  void pause() {
    if (pid_ > 0) kill(pid_, SIGSTOP);
  }
  void resume() {
    if (pid_ > 0) kill(pid_, SIGCONT);
  }

  // The exit status once the program ended by itself within the bound; -1 otherwise.
  int wait_exit(int bound_ms) {
    if (pid_ <= 0) return -1;
    const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
    int status = 0;
    while (Clock::now() < until) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

inline ToolResult xdotool(const std::string& display, std::vector<std::string> args, int bound_ms = 15000) {
  args.insert(args.begin(), "xdotool");
  return run_tool(display, args, bound_ms);
}

// The first visible window whose name matches, waiting for it within the bound; ""
// when none came.
inline std::string window_named(const std::string& display, const std::string& pattern, int bound_ms = 20000) {
  const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  while (Clock::now() < until) {
    const ToolResult r = xdotool(display, {"search", "--onlyvisible", "--name", pattern}, 5000);
    if (r.ran && !r.out.empty()) return r.out.substr(0, r.out.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return {};
}

// Whether no visible window's name matches any more, within the bound.
inline bool window_gone(const std::string& display, const std::string& pattern, int bound_ms = 10000) {
  const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  while (Clock::now() < until) {
    const ToolResult r = xdotool(display, {"search", "--onlyvisible", "--name", pattern}, 5000);
    if (r.out.empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

class ProgramOnScreen : public ::testing::Test {
 protected:
  // The program's file name, built beside the test program.
  virtual const char* program_name() const = 0;

  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool"})
      if (find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the test needs it";
    if (!WindowManager::installed()) GTEST_SKIP() << "openbox or xprop is not installed";
    program_ = beside_tests(program_name());
    if (program_.empty() || !file_exists(program_.c_str())) GTEST_SKIP() << "no program " << program_;
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ASSERT_TRUE(manager_.start(server_.display(), &why)) << why;
  }
  void TearDown() override {
    manager_.stop();
    server_.stop();
  }

  static std::string beside_tests(const char* name) { return program_beside_tests(name); }

  ToolResult xdotool(std::vector<std::string> args, int bound_ms = 15000) {
    return x11_test::xdotool(server_.display(), std::move(args), bound_ms);
  }
  // The first window whose name matches, waiting for it within the bound; "" when none came.
  std::string window_named(const std::string& pattern, int bound_ms = 20000) {
    return x11_test::window_named(server_.display(), pattern, bound_ms);
  }
  bool gone(const std::string& pattern, int bound_ms = 10000) {
    return window_gone(server_.display(), pattern, bound_ms);
  }
  // Gives the window the focus and types the keys there.
  void type_in(const std::string& window, const std::string& keys) {
    xdotool({"windowactivate", "--sync", window});
    xdotool({"key", "--clearmodifiers", keys});
  }

  XServer server_;
  WindowManager manager_;
  std::string program_;
};

}  // namespace x11_test
