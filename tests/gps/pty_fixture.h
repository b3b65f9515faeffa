// Test helpers for code that talks to receivers: a pseudo-terminal that stands in for a
// serial receiver, and a driver of the virtual clock for a call that runs on a worker
// thread and waits on ports (serial, simulated USB, UDP) or sleeps.
//
// The pty: posix_openpt, both sides raw (cfmakeraw), the slave kept open by the fixture
// so that the line stays up between the opens of the code under test. The code under
// test opens path(); the test plays the receiver on the master side.
//
// The clock driver moves virtual time only when the worker is idle: every thread that
// waits on a port or sleeps waits for a deadline still ahead, and no simulated USB
// receiver has work in hand. So a reply on its way is never overtaken by a time-out.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/net/net.h"
#include "platform/serial/port_wait.h"
#include "platform/sys/clock.h"
#include "platform/usb/usb.h"
#include "tests/support/wait.h"

namespace tm_test {

// Pseudo-terminals alive in the process: while there are any, a simulated device may be
// answering on one, and the clock driver gives each new wait a moment of real time.
inline std::atomic<int>& live_ptys() {
  static std::atomic<int> count{0};
  return count;
}

class pty_pair {
 public:
  pty_pair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return;
    make_raw(master_);
    make_raw(slave_);
    live_ptys().fetch_add(1);
  }
  ~pty_pair() {
    unplug();
    if (slave_ >= 0) {
      close(slave_);
      live_ptys().fetch_sub(1);
    }
  }
  pty_pair(const pty_pair&) = delete;
  pty_pair& operator=(const pty_pair&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  int slave() const { return slave_; }

  // The receiver sends: the bytes are written to the master and then waited for until
  // the line has them ready for the code under test (which must not read meanwhile).
  bool send(const std::string& bytes) {
    if (!write_all(bytes)) return false;
    return wait_readable(slave_);
  }
  // Writes without waiting for the bytes to reach the line (for a reader that is
  // running: see port_waits_begun).
  bool write_all(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }
  // What the code under test wrote: reads from the master until `n` bytes came or a
  // generous real bound passed.
  std::string take(size_t n, int bound_ms = 5000) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    while (got.size() < n && std::chrono::steady_clock::now() < until) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char buf[512];
      const ssize_t r = read(master_, buf, std::min(sizeof buf, n - got.size()));
      if (r <= 0) break;
      got.append(buf, size_t(r));
    }
    return got;
  }
  // Whatever the master has now, after a short real settling time.
  std::string drain(int settle_ms = 20) {
    std::string got;
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, settle_ms) > 0) {
      char buf[512];
      const ssize_t r = read(master_, buf, sizeof buf);
      if (r <= 0) break;
      got.append(buf, size_t(r));
    }
    return got;
  }
  // The receiver goes away: the master closes, the line hangs up.
  void unplug() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  static void make_raw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  static bool wait_readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 5000) > 0;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// True when every waiting or sleeping thread waits for a deadline still ahead, at
// least one does, and no simulated receiver has work in hand. The port waits are
// looked at again after the receivers: a receiver may answer and go idle between the
// first look and its own, and the waiter it woke must not look idle then.
inline bool clock_idle() {
  const uint64_t begun = plat::port_waits_begun();
  const int port_all = plat::port_waiters(), port_ahead = plat::port_waiters_waiting();
  const int sleep_all = plat::virtual_sleepers(), sleep_ahead = plat::virtual_sleepers_waiting();
  const int net_all = plat::net_waiters(), net_ahead = plat::net_waiters_waiting();
  if (port_all != port_ahead || sleep_all != sleep_ahead || net_all != net_ahead) return false;
  if (port_ahead + sleep_ahead + net_ahead == 0) return false;
  if (!plat::usb_sim_settled()) return false;
  return plat::port_waiters_waiting() == port_ahead && plat::port_waiters() == port_all &&
         plat::port_waits_begun() == begun;
}

// A call on a worker thread under the virtual clock, moved on by the test. The clock
// is switched on by the constructor and off by the destructor (which releases a
// worker that still waits, and joins it).
class virtual_worker {
 public:
  explicit virtual_worker(std::function<void()> call) {
    plat::use_virtual_clock(true);
    start_ = plat::now_ms();
    thread_ = std::thread([this, call = std::move(call)] {
      call();
      elapsed_ = plat::now_ms() - start_;
      done_ = true;
    });
  }
  ~virtual_worker() { finish(); }

  // Waits (real time, bounded) until the worker is idle or done; false when neither.
  bool settle(int bound_ms = 10000) {
    return wait_for([this] { return done_.load() || clock_idle(); }, bound_ms);
  }
  // Settles, then moves the clock by ms and settles again.
  bool advance(int64_t ms) {
    if (!settle()) return false;
    plat::advance_virtual_ms(ms);
    return settle();
  }
  // Moves the clock in steps of step_ms until the call returns: its virtual duration,
  // or -1 when it did not return within a generous real bound.
  int64_t run(int64_t step_ms = 1, int bound_ms = 20000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
    uint64_t seen_waits = plat::port_waits_begun();
    while (!done_) {
      if (std::chrono::steady_clock::now() > until) return -1;
      // A waiter whose deadline the step reaches stops counting as idle at once, so
      // the next step waits until it has run.
      if (clock_idle()) {
        // A wait begun since the last step usually follows a request just written to
        // a simulated device, whose thread may not have run yet on a loaded machine:
        // time stands still for a moment, or until the waiter wakes.
        const uint64_t waits = plat::port_waits_begun();
        if (waits != seen_waits && live_ptys().load() > 0) {
          seen_waits = waits;
          const auto grace = std::chrono::steady_clock::now() + kWaitGrace;
          while (!done_ && clock_idle() && plat::port_waits_begun() == waits &&
                 std::chrono::steady_clock::now() < grace)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
          continue;
        }
        plat::advance_virtual_ms(step_ms);
      } else {
        std::this_thread::yield();
      }
    }
    return elapsed_;
  }
  bool done() const { return done_; }
  // Virtual milliseconds since the start (the call's duration once it is done).
  int64_t elapsed() const { return done_ ? elapsed_.load() : plat::now_ms() - start_; }
  void finish() {
    if (!thread_.joinable()) return;
    run();
    plat::use_virtual_clock(false);
    thread_.join();
  }

 private:
  static constexpr auto kWaitGrace = std::chrono::milliseconds(3);
  std::thread thread_;
  int64_t start_ = 0;
  std::atomic<int64_t> elapsed_{0};
  std::atomic<bool> done_{false};
};

}  // namespace tm_test
