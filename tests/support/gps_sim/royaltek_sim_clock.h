// The simulated RoyalTek and Emtac loggers and the virtual clock: while a simulator
// handles what the driver sent it holds a busy count, and a test's clock runner moves
// virtual time only when no simulator is busy and no byte waits unread on the master
// side, besides the usual idleness of the code under test (tests/gps/pty_fixture.h
// clock_idle). So a time-out of the driver never overtakes an answer being made.
#pragma once
#include <sys/ioctl.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace tm_test {

std::atomic<int>& logger_sim_busy();
// Counts every release of the busy count: a runner that sees it move lets the line
// settle (bytes written to a pty reach the other side a moment later) before it moves
// the clock again.
std::atomic<uint64_t>& logger_sim_releases();
// Releases one hold of the busy count.
inline void logger_sim_release() {
  logger_sim_releases().fetch_add(1);
  logger_sim_busy().fetch_sub(1);
}

// Holds the busy count for its scope; release() and take() around a wait of the
// simulator's own (for the driver's reply, or for virtual time to pass).
class logger_sim_busy_scope {
 public:
  logger_sim_busy_scope() { take(); }
  ~logger_sim_busy_scope() { release(); }
  logger_sim_busy_scope(const logger_sim_busy_scope&) = delete;
  logger_sim_busy_scope& operator=(const logger_sim_busy_scope&) = delete;
  void take() {
    if (!held_) logger_sim_busy().fetch_add(1);
    held_ = true;
  }
  void release() {
    if (held_) logger_sim_release();
    held_ = false;
  }

 private:
  bool held_ = false;
};

// Bytes the driver wrote that the simulator has not read yet.
inline int master_pending(int master) {
  int n = 0;
  return ioctl(master, FIONREAD, &n) == 0 ? n : 0;
}

// Writes all of bytes to the master side while running holds. When the line is full
// the busy count is let go while the simulator waits, so the driver reads in its own
// time (its clock may move on, as the bytes waiting for it keep it from timing out).
// Stops early on a write error. Given the slave side, it then holds on (bounded) until
// the bytes have reached it or the driver has woken for them.
void logger_sim_send(int master, const std::string& bytes, const std::atomic<bool>& running,
                     int slave = -1);

}  // namespace tm_test
