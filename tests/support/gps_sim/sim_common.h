// Small pieces the serial device simulators share on their pty line: whether the
// driver set the line to the device's speed, writing an answer whole while the
// simulator runs, and whether a simulator has nothing in hand (for the clock runner).
#pragma once
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <string>

namespace gps_sim {

// Which side's speed a line check looks at.
enum sim_speed_side { SIM_INPUT = 1, SIM_OUTPUT = 2, SIM_BOTH = 3 };

// Whether the slave side of the line is set to `speed` on the given side(s); false
// when its settings cannot be read.
inline bool sim_line_at(int slave, speed_t speed, sim_speed_side side) {
  termios t{};
  if (tcgetattr(slave, &t) != 0) return false;
  if ((side & SIM_INPUT) && cfgetispeed(&t) != speed) return false;
  if ((side & SIM_OUTPUT) && cfgetospeed(&t) != speed) return false;
  return true;
}

// Writes all of bytes to the master side while running holds, waiting for room on the
// line as long as it takes; stops early on a write error.
inline void sim_write_all(int master, const std::string& bytes,
                          const std::atomic<bool>& running) {
  size_t done = 0;
  while (done < bytes.size() && running) {
    pollfd p{master, POLLOUT, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += size_t(n);
  }
}

// Whether a simulator has nothing in hand: it is not running, or it is not busy with a
// request and no byte from the driver waits unread on the master side (or the line is
// gone).
inline bool sim_idle(bool running, bool busy, int master) {
  if (!running) return true;
  if (busy) return false;
  if (master < 0) return true;
  pollfd p{master, POLLIN, 0};
  return poll(&p, 1, 0) <= 0;
}

}  // namespace gps_sim
