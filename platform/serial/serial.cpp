// Serial ports over termios (see serial.h). The descriptor is non-blocking, so that
// every wait is a bounded poll of ours; with VMIN 1 a read of an empty queue gives
// EAGAIN, and a read that gives 0 bytes means the line hung up (a pty whose master
// closed, a USB adapter unplugged).
#include "platform/serial/serial.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "platform/serial/port_wait.h"

namespace plat {
namespace {

struct speed_entry {
  int baud;
  speed_t code;
};

constexpr speed_entry kSpeeds[] = {
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

bool speed_code(int baud, speed_t* out) {
  for (const speed_entry& e : kSpeeds) {
    if (e.baud == baud) {
      *out = e.code;
      return true;
    }
  }
  return false;
}

// A descriptor of 3 or more; the one given is closed when it had to be moved.
int lift_descriptor(int fd) {
  if (fd < 0 || fd >= 3) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// Raw 8N1: no input or output processing, no echo or signals, receiver on, modem
// control lines ignored, no flow control; a read returns as soon as one byte is there.
void make_raw(termios* t, speed_t speed) {
  t->c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                          IXANY | INPCK);
  t->c_oflag &= ~tcflag_t(OPOST);
  t->c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t->c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t->c_cflag |= tcflag_t(CS8 | CREAD | CLOCAL);
  t->c_cc[VMIN] = 1;
  t->c_cc[VTIME] = 0;
  cfsetispeed(t, speed);
  cfsetospeed(t, speed);
}

int fail_open(int fd) {
  flock(fd, LOCK_UN);
  close(fd);
  return -1;
}

}  // namespace

bool serial_speed_ok(int speed) {
  speed_t code;
  return speed_code(speed, &code);
}

int serial_open(const char* path, int speed, serial_saved* saved) {
  if (saved) std::memset(saved, 0, sizeof *saved);
  speed_t code;
  if (!path || !*path || !speed_code(speed, &code)) return -1;
  const int fd = lift_descriptor(open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd < 0) return -1;
  // The lock comes first: a port another descriptor holds is left exactly as it is.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  termios t{};
  if (tcgetattr(fd, &t) != 0) return fail_open(fd);
  if (saved) {
    saved->tio = t;
    saved->valid = 1;
  }
  make_raw(&t, code);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return fail_open(fd);
  // DTR and RTS up; a device without modem lines (a pty) refuses, which is no error.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIS, &lines);
  return fd;
}

void serial_close(int fd) {
  if (fd < 0) return;
  flock(fd, LOCK_UN);
  close(fd);
}

int serial_read_byte(int fd, uint8_t* out, int64_t timeout_ms) {
  if (fd < 0 || !out) return kSerialError;
  const int64_t deadline = port_deadline(timeout_ms < 0 ? 0 : timeout_ms);
  int seen = 0;  // revents of the last wait
  for (;;) {
    const ssize_t n = read(fd, out, 1);
    if (n == 1) return 1;
    if (n == 0) return kSerialError;  // hung up
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return kSerialError;
    // Ready by an error or hang-up, yet nothing to read: the line is gone.
    if (seen & (POLLERR | POLLHUP | POLLNVAL)) return kSerialError;
    seen = port_wait(fd, POLLIN, deadline);
    if (seen == 0) return kSerialNothing;
    if (seen < 0) return kSerialError;
  }
}

long serial_write(int fd, const void* data, size_t len, int64_t timeout_ms) {
  if (fd < 0 || (!data && len > 0)) return -1;
  const int64_t deadline = port_deadline(timeout_ms < 0 ? 0 : timeout_ms);
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < len) {
    const ssize_t n = write(fd, p + done, len - done);
    if (n > 0) {
      done += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const int r = port_wait(fd, POLLOUT, deadline);
    if (r == 0) break;  // the write time-out struck
    if (r < 0 || (r & (POLLERR | POLLHUP | POLLNVAL))) return -1;
  }
  return long(done);
}

}  // namespace plat
