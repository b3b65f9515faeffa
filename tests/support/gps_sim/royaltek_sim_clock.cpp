// The busy count of the simulated loggers, and their writer of answers.
#include "tests/support/gps_sim/royaltek_sim_clock.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/serial/port_wait.h"
#include "platform/sys/clock.h"

namespace tm_test {

std::atomic<int>& logger_sim_busy() {
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
  // machine). Holding the busy count until they are there, or until the driver has
  // woken for them (it waits anew, or pauses), keeps its time-outs from overtaking them.
  if (slave < 0 || done == 0) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (running && std::chrono::steady_clock::now() < until) {
    int queued = 0;
    if (ioctl(slave, FIONREAD, &queued) == 0 && queued > 0) return;
    if (plat::port_waits_begun() != waits || plat::virtual_sleepers() > sleepers) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

}  // namespace tm_test
