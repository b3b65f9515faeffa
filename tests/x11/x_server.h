// A private X server for the presenter's tests, and the outside tools that look at it
// and act on it. XServer starts Xvfb on a display number of its own, so that tests
// running side by side never share a server or its files; the destructor ends it. WindowManager runs openbox on such
// a server until it is destroyed. run_tool runs a program with DISPLAY set to that
// server and returns its exit status and output, ending it if it overruns its bound.
// Screen captures come from ImageMagick's `import` as PPM.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace x11_test {

using Clock = std::chrono::steady_clock;

inline int64_t ms_left(Clock::time_point until) {
  return std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
}

// The full path of a program found on PATH; empty when it is not installed.
inline std::string find_program(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The environment of this process with DISPLAY replaced.
inline std::vector<std::string> environment_with_display(const std::string& display) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
  env.push_back("DISPLAY=" + display);
  return env;
}

inline std::vector<char*> c_strings(std::vector<std::string>& v) {
  std::vector<char*> out;
  for (std::string& s : v) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Waits for a child to end within the bound, then ends it by force.
inline int reap(pid_t pid, int bound_ms) {
  int status = 0;
  const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return -1;
    if (Clock::now() > until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

struct ToolResult {
  bool ran = false;  // started and ended by itself with status 0
  std::string out;   // its standard output
};

// Runs argv[0] (looked up on PATH) with DISPLAY set, standard output captured, standard
// error discarded, for at most `bound_ms`. While it runs, `idle` is called every few
// milliseconds (a test keeps its message loop going, as a program does while the user
// acts).
inline ToolResult run_tool(const std::string& display, std::vector<std::string> argv, int bound_ms = 10000,
                           const std::function<void()>& idle = {}) {
  ToolResult result;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> env = environment_with_display(display);
  std::vector<char*> args = c_strings(argv), envp = c_strings(env);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return result;
  }
  const auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  char buf[65536];
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    const int64_t left = ms_left(until);
    const int ready = poll(&p, 1, int(idle ? std::min<int64_t>(left, 5) : left));
    if (ready < 0 || (ready == 0 && ms_left(until) == 0)) break;
    if (ready == 0) {
      if (idle) idle();
      continue;
    }
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    result.out.append(buf, size_t(n));
  }
  close(out[0]);
  const int status = reap(pid, int(ms_left(until)));
  result.ran = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

// A screen capture: 8-bit RGB rows, top to bottom.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t at(int x, int y) const {  // 0xRRGGBB
    if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
    const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  }
};

// Reads a binary PPM with a maximum value of 255; false when it is anything else.
inline bool parse_ppm(const std::string& data, Capture* out) {
  size_t pos = 0;
  auto next_number = [&](int* v) {
    while (pos < data.size() && (std::isspace(uint8_t(data[pos])) || data[pos] == '#')) {
      if (data[pos] == '#')
        while (pos < data.size() && data[pos] != '\n') ++pos;
      else
        ++pos;
    }
    if (pos >= data.size() || !std::isdigit(uint8_t(data[pos]))) return false;
    long n = 0;
    while (pos < data.size() && std::isdigit(uint8_t(data[pos])) && n < 100000) n = n * 10 + (data[pos++] - '0');
    *v = int(n);
    return true;
  };
  if (data.compare(0, 2, "P6") != 0) return false;
  pos = 2;
  int w = 0, h = 0, max = 0;
  if (!next_number(&w) || !next_number(&h) || !next_number(&max) || max != 255 || w <= 0 || h <= 0) return false;
  ++pos;  // the single white-space byte before the pixels
  const size_t bytes = size_t(w) * size_t(h) * 3;
  if (data.size() < pos || data.size() - pos < bytes) return false;
  out->width = w;
  out->height = h;
  out->rgb.assign(data.begin() + long(pos), data.begin() + long(pos + bytes));
  return true;
}

inline bool capture_screen(const std::string& display, Capture* out) {
  ToolResult r = run_tool(display, {"import", "-window", "root", "-depth", "8", "ppm:-"});
  return r.ran && parse_ppm(r.out, out);
}

// Xvfb on a display of its own choosing.
class XServer {
 public:
  XServer() = default;
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer() { stop(); }

  static bool installed() { return !find_program("Xvfb").empty(); }

  // Starts the server and waits (bounded) until it accepts connections; false with the
  // reason in `why` otherwise.
  bool start(std::string* why) {
    if (!claim_display()) return fail(why, "no free display number");
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return fail(why, "no pipe");
    // The server writes its display number to descriptor 3 of its own.
    const int write_end = fcntl(ready[1], F_DUPFD_CLOEXEC, 10);
    close(ready[1]);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, write_end, 3);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    // -noreset: by default a server resets when its last client leaves, and a client
    // that connects during the reset (a program started right after a tool such as
    // xprop or xdotool has looked) is refused and runs without a display.
    std::vector<std::string> argv = {"Xvfb", ":" + std::to_string(number_), "-displayfd", "3", "-noreset",
                                     "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
    std::vector<char*> args = c_strings(argv);
    const int rc = posix_spawnp(&pid_, "Xvfb", &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(write_end);
    if (rc != 0) {
      pid_ = -1;
      close(ready[0]);
      return fail(why, "Xvfb could not be started");
    }
    const auto until = Clock::now() + std::chrono::seconds(10);
    std::string number;
    while (number.find('\n') == std::string::npos) {
      pollfd p{ready[0], POLLIN, 0};
      if (poll(&p, 1, int(ms_left(until))) <= 0) break;
      char buf[16];
      ssize_t n = read(ready[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, size_t(n));
    }
    close(ready[0]);
    if (number.empty() || number.find('\n') == std::string::npos) return fail(why, "Xvfb reported no display");
    display_ = ":" + number.substr(0, number.find('\n'));
    // The server reports its number once it listens; its socket shows it too.
    const std::string socket = "/tmp/.X11-unix/X" + display_.substr(1);
    struct stat st;
    while (stat(socket.c_str(), &st) != 0) {
      if (ms_left(until) == 0) return fail(why, "no socket " + socket);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A client is answered before any test's program starts (on a loaded machine a
    // program started at once could find no server to open).
    const bool can_ask = !find_program("xprop").empty();
    while (can_ask && !run_tool(display_, {"xprop", "-root", "-len", "0", "_NET_SUPPORTED"}, int(ms_left(until))).ran) {
      if (ms_left(until) == 0) return fail(why, "Xvfb on " + display_ + " answers no client");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      reap(pid_, 5000);
      pid_ = -1;
    }
    if (claim_fd_ >= 0) close(claim_fd_);
    claim_fd_ = -1;
  }

  const std::string& display() const { return display_; }

 private:
  bool fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    stop();
    return false;
  }

  // Claims a display number for this server: a lock on a file named after it, held
  // until the server stops (the system drops it should the test process die), on a
  // number where no other server shows its lock file or socket. Xvfb's own choice
  // (-displayfd alone) is not enough here: it finds a number free by binding the
  // abstract socket, and a test in a network namespace of its own sees no other
  // namespace's sockets, so servers of tests side by side took the same number and
  // overwrote each other's socket and keymap files under /tmp.
  bool claim_display() {
    for (int n = 20 + int(getpid() % 200); n < 20 + 200 + 400; ++n) {
      const std::string lock = "/tmp/.tmtest-x" + std::to_string(n) + ".lock";
      const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) continue;
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        continue;
      }
      struct stat st;
      const std::string x = std::to_string(n);
      if (stat(("/tmp/.X" + x + "-lock").c_str(), &st) == 0 || stat(("/tmp/.X11-unix/X" + x).c_str(), &st) == 0) {
        close(fd);
        continue;
      }
      claim_fd_ = fd;
      number_ = n;
      return true;
    }
    return false;
  }

  pid_t pid_ = -1;
  int claim_fd_ = -1;
  int number_ = 0;
  std::string display_;
};

// openbox on a private server, from start until the object goes. It is ready once the
// root window names it as the running window manager (_NET_SUPPORTING_WM_CHECK).
class WindowManager {
 public:
  WindowManager() = default;
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;
  ~WindowManager() { stop(); }

  static bool installed() { return !find_program("openbox").empty() && !find_program("xprop").empty(); }

  bool start(const std::string& display, std::string* why) {
    if (!spawn(display)) {
      if (why) *why = "openbox could not be started";
      return false;
    }
    // A bound, not a pace: on a loaded two-core machine openbox can take several seconds.
    // An openbox that ended before taking the screen is started again, a few times.
    const auto until = Clock::now() + std::chrono::seconds(30);
    int restarts = 0;
    while (ms_left(until) > 0) {
      ToolResult r = run_tool(display, {"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, 2000);
      if (r.ran && r.out.find("window id") != std::string::npos) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        if (++restarts > 3 || !spawn(display)) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (why) *why = "openbox never took the screen";
    stop();
    return false;
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    reap(pid_, 5000);
    pid_ = -1;
  }

 private:
  bool spawn(const std::string& display) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> env = environment_with_display(display);
    std::vector<std::string> argv = {"openbox", "--sm-disable"};
    std::vector<char*> args = c_strings(argv), envp = c_strings(env);
    const int rc = posix_spawnp(&pid_, "openbox", &fa, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid_ = -1;
    return rc == 0;
  }

  pid_t pid_ = -1;
};

}  // namespace x11_test
