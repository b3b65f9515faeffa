// The busy count of the simulated loggers, and their writer of answers.
#include "tests/support/gps_sim/royaltek_sim_clock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <thread>

#include "platform/serial/port_wait.h"
#include "platform/sys/clock.h"

namespace tm_test {

std::atomic<int>& logger_sim_busy() {
  static std::atomic<int> count{0};
  return count;
}

std::atomic<int>& logger_sim_outside() {
  static std::atomic<int> count{0};
  return count;
}

std::atomic<uint64_t>& logger_sim_releases() {
  static std::atomic<uint64_t> count{0};
  return count;
}

void logger_sim_send(int master, const std::string& bytes, const std::atomic<bool>& running,
                     int slave) {
  const uint64_t waits = plat::port_waits_begun();
  const int sleepers = plat::virtual_sleepers();
  size_t done = 0;
  while (done < bytes.size() && running) {
    pollfd p{master, POLLOUT, 0};
    if (poll(&p, 1, 0) <= 0) {
      logger_sim_release();
      poll(&p, 1, 10);
      logger_sim_busy().fetch_add(1);
      continue;
    }
    const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) return;
    done += size_t(n);
  }
  // The kernel hands the bytes to the slave side a moment later (longer on a loaded
  // machine); a poll of the slave waits for that hand-over. Holding the busy count until
  // they are there, or until the driver has woken for them (it waits anew, or pauses),
  // keeps its time-outs from overtaking them.
  if (slave < 0 || done == 0) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (running && std::chrono::steady_clock::now() < until) {
    pollfd arrived{slave, POLLIN, 0};
    if (poll(&arrived, 1, 0) > 0) return;
    if (plat::port_waits_begun() != waits || plat::virtual_sleepers() > sleepers) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

}  // namespace tm_test

extern "C" char** environ;

namespace tm_test {

bool logger_sim_run_outside(int master, const std::vector<std::string>& args,
                            const std::atomic<bool>& running, int bound_ms) {
  // The call: the receiver's first byte (its clock stands still while it waits unread).
  for (;;) {
    if (!running) return false;
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 5) > 0) break;
  }
  logger_sim_outside().fetch_add(1);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, master, 0);
  posix_spawn_file_actions_adddup2(&actions, master, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags & ~O_NONBLOCK);
  pid_t pid = -1;
  const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  if (started) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (!running || std::chrono::steady_clock::now() > until) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  fcntl(master, F_SETFL, flags);
  posix_spawn_file_actions_destroy(&actions);
  logger_sim_outside().fetch_sub(1);
  return started;
}

}  // namespace tm_test
