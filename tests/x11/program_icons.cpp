// The programs' window icons on a real X server (a private Xvfb): the map program and
// the image viewer run as they do on a desktop, and their main window carries
// _NET_WM_ICON with the large (32 x 32) and the small (16 x 16) icon, as xprop reads it.
// The programs are built beside the test program.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_env.h"
#include "tests/x11/x_server.h"

namespace {

using x11_test::Clock;

std::string beside_tests(const char* program) {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  const std::string self(buf, size_t(n));
  return self.substr(0, self.find_last_of('/') + 1) + program;
}

class ProgramIcons : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "xprop"})
      if (x11_test::find_program(tool).empty()) GTEST_SKIP() << tool << " is not installed: the test needs it";
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
  }
  void TearDown() override {
    stop_program();
    server_.stop();
  }

  // Starts the program on the private server with a home of its own.
  void start_program(const std::string& path, const std::vector<std::string>& args) {
    std::vector<std::string> env;
    for (std::string& v : x11_test::environment_with_display(server_.display()))
      if (v.rfind("HOME=", 0) != 0 && v.rfind("ASAN_OPTIONS=", 0) != 0) env.push_back(std::move(v));
    env.push_back("HOME=" + tm_test::fresh_dir("program-icons-home"));
    // What a program leaves unfreed at its exit is not this test's concern.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan && *asan ? std::string(asan) + ":" : "") + "detect_leaks=0");
    std::vector<std::string> argv = {path};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a = x11_test::c_strings(argv), e = x11_test::c_strings(env);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    // Its error output is kept: when no window shows, the failure says why.
    stderr_path_ = tm_test::fresh_dir("program-icons-err") + "stderr.txt";
    posix_spawn_file_actions_addopen(&fa, 2, stderr_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, a[0], &fa, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid_ = -1;
    ASSERT_GT(pid_, 0) << "cannot start " << path;
  }
  void stop_program() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    x11_test::reap(pid_, 10000);
    pid_ = -1;
  }

  // How the program stands when no window carried the icon: still running or its exit
  // status, and what it wrote on its error output.
  std::string program_report() {
    std::string r;
    int status = 0;
    const pid_t w = pid_ > 0 ? waitpid(pid_, &status, WNOHANG) : -1;
    if (w == pid_) {
      r = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                              : "exited with status " + std::to_string(WEXITSTATUS(status));
      pid_ = -1;
    } else {
      r = "still running";
    }
    const x11_test::ToolResult tree = x11_test::run_tool(server_.display(), {"xwininfo", "-root", "-tree"});
    r += "\nwindows:\n" + tree.out;
    return r + "\nerror output:\n" + file_text(stderr_path_);
  }
  static std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The _NET_WM_ICON of the program's visible windows of that class, as xprop prints it,
  // once one carries it ("" when none does within the bound).
  std::string icon_property(const std::string& wm_class) {
    const auto until = Clock::now() + std::chrono::seconds(60);
    while (x11_test::ms_left(until) > 0) {
      const x11_test::ToolResult ids =
          x11_test::run_tool(server_.display(), {"xdotool", "search", "--onlyvisible", "--class", wm_class});
      size_t from = 0;
      while (from < ids.out.size()) {
        const size_t end = ids.out.find('\n', from);
        const std::string id = ids.out.substr(from, end == std::string::npos ? std::string::npos : end - from);
        from = end == std::string::npos ? ids.out.size() : end + 1;
        if (id.empty()) continue;
        const x11_test::ToolResult p = x11_test::run_tool(server_.display(), {"xprop", "-id", id, "_NET_WM_ICON"});
        if (p.out.find("Icon (") != std::string::npos) return p.out;
      }
      usleep(200 * 1000);
    }
    return {};
  }

  x11_test::XServer server_;
  pid_t pid_ = -1;
  std::string stderr_path_;
};

TEST_F(ProgramIcons, TheMainWindowsCarryTheirLargeAndSmallIcons) {
  struct program {
    const char* name;
    std::vector<std::string> args;
  };
  const program programs[] = {
      {"tarmelo", {}},
      {"sorbinel", {std::string(TM_FIXTURE_DIR) + "/sorbinel/dims/small_300x200.png"}},
  };
  for (const program& p : programs) {
    SCOPED_TRACE(p.name);
    const std::string path = beside_tests(p.name);
    if (access(path.c_str(), X_OK) != 0) {
      ADD_FAILURE() << path << " is not built beside the tests";
      continue;
    }
    start_program(path, p.args);
    const std::string icon = icon_property(p.name);
    const std::string report = icon.empty() ? program_report() : std::string();
    stop_program();
    ASSERT_FALSE(icon.empty()) << "no window of " << p.name << " carries _NET_WM_ICON; the program: " << report;
    EXPECT_EQ(icon.rfind("_NET_WM_ICON(CARDINAL) =", 0), 0u) << icon;
    EXPECT_NE(icon.find("Icon (32 x 32)"), std::string::npos) << icon;
    EXPECT_NE(icon.find("Icon (16 x 16)"), std::string::npos) << icon;
  }
}

}  // namespace
