// Runs an outside program from a test (a reference host such as gpsbabel talking to a
// simulated receiver, or a file converter) and collects what it printed.
//
// The program is looked up on the PATH, gets /dev/null as its input, its standard output
// and error are gathered in `out` (both, interleaved), and it is killed when it runs past
// `timeout_ms` of real time (the virtual clock of the tests does not apply to another
// process). Returns the exit status, 127 when the program could not be started, or -1
// when it was killed on time-out or by a signal.
//
// A program that runs until it is stopped (a replay that loops) is given `stop_when`:
// it is asked at least every 20 ms while the program runs, and the program is killed
// (-1) as soon as it answers true.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace tm_test {

constexpr int64_t kStopLookMs = 20;  // how often run_tool asks stop_when

inline int run_tool(const std::vector<std::string>& args, std::string* out = nullptr,
                    int timeout_ms = 60000, const std::function<bool()>& stop_when = {}) {
  if (args.empty()) return 127;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return 127;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) {
    close(pipe_fds[0]);
    return 127;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  bool killed = false;
  char buf[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (stop_when && stop_when()) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd p{pipe_fds[0], POLLIN, 0};
    const int64_t wait_ms = stop_when ? std::min<int64_t>(left, kStopLookMs) : left;
    if (poll(&p, 1, static_cast<int>(wait_ms)) <= 0) continue;
    const ssize_t n = read(pipe_fds[0], buf, sizeof buf);
    if (n <= 0) break;
    if (out) out->append(buf, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (killed || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// True when the program is on the PATH.
inline bool tool_present(const std::string& name) {
  return run_tool({"sh", "-c", "command -v " + name + " >/dev/null"}, nullptr, 10000) == 0;
}

}  // namespace tm_test
