// The simulated RoyalTek and Emtac loggers and the virtual clock: while a simulator
// handles what the driver sent it holds a busy count, and a test's clock runner moves
// virtual time only when no simulator is busy and no byte waits unread on the master
// side, besides the usual idleness of the code under test (tests/gps/pty_fixture.h
// clock_idle). So a time-out of the driver never overtakes an answer being made.
#pragma once
#include <poll.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tm_test {

std::atomic<int>& logger_sim_busy();
// Counts every release of the busy count: a runner that sees it move lets the line
// settle (bytes written to a pty reach the other side a moment later) before it moves
// the clock again.
std::atomic<uint64_t>& logger_sim_releases();
// Outside programs (lrzsz sx) serving the line now. They run in real time, so while
// any does, a test's clock runner lets virtual time follow real time.
std::atomic<int>& logger_sim_outside();
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

// Bytes the driver wrote that the simulator has not read yet. A write on one side of a
// pty reaches the other side through a kernel worker; a poll of the reading side waits
// for that hand-over, a bare FIONREAD does not. So the poll comes first: bytes written
// before the call are always counted, however loaded the machine.
inline int master_pending(int master) {
  pollfd p{master, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return 0;
  int n = 0;
  return ioctl(master, FIONREAD, &n) == 0 && n > 0 ? n : 1;
}

// Writes all of bytes to the master side while running holds. When the line is full
// the busy count is let go while the simulator waits, so the driver reads in its own
// time (its clock may move on, as the bytes waiting for it keep it from timing out).
// Stops early on a write error. Given the slave side, it then holds on (bounded) until
// the bytes have reached it or the driver has woken for them.
void logger_sim_send(int master, const std::string& bytes, const std::atomic<bool>& running,
                     int slave = -1);

}  // namespace tm_test

namespace tm_test {

// Runs an outside sender (args: the program and its arguments) on the master side once
// the receiver's first call is on the line (a byte waits on the master; it is left
// there for the program to read), counting it in logger_sim_outside while it runs. The
// program reads and writes the line blocking, as on a terminal (the master's flags are
// put back after). Killed when running ends or after bound_ms of real time. False when
// no call came while running held, or the program could not be started.
bool logger_sim_run_outside(int master, const std::vector<std::string>& args,
                            const std::atomic<bool>& running, int bound_ms = 120000);

}  // namespace tm_test
