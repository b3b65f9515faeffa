// The busy count of the simulated loggers, and their writer of answers.
#include "tests/support/gps_sim/royaltek_sim_clock.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tm_test {

std::atomic<int>& logger_sim_busy() {
  static std::atomic<int> count{0};
  return count;
}

std::atomic<uint64_t>& logger_sim_releases() {
  static std::atomic<uint64_t> count{0};
  return count;
}

void logger_sim_send(int master, const std::string& bytes, const std::atomic<bool>& running) {
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
}

}  // namespace tm_test
