// Serial ports: the only code that opens, configures, reads and writes a tty.
//
// A port is opened by device path for exclusive use (flock: a port another process or
// descriptor holds fails the open), non-blocking and without becoming the controlling
// terminal, then set raw 8 data bits, no parity, one stop bit at one of the accepted
// speeds, receiver on, modem lines ignored, DTR and RTS raised where the device has
// them (a pty has none). The descriptor is never below 3, so that 0 can mean "closed".
//
// Every wait is bounded and measured on the platform clock (platform/sys/clock.h).
// Under the virtual clock a wait is a loop of short real polls that ends when the
// port is ready or virtual time has reached the deadline, so a test can run a long
// time-out in no real time by advancing the clock.
#pragma once
#include <termios.h>

#include <cstddef>
#include <cstdint>

#include "platform/serial/port_wait.h"

namespace plat {

// The line settings of a port as they were before it was opened.
struct serial_saved {
  termios tio;
  int32_t valid;  // 1 when tio holds the settings read at open
};

// True for the speeds a port may be opened at: 4800, 9600, 19200, 38400, 57600, 115200.
bool serial_speed_ok(int speed);

// Opens and configures the port: the descriptor (3 or more), or -1 when the path is
// no terminal device, cannot be opened, is held by another descriptor, the speed is
// not accepted, or the line cannot be read or set. `saved` (optional) gets the line
// settings found.
int serial_open(const char* path, int speed, serial_saved* saved);
// Releases the lock and closes. Safe with a value below 0.
void serial_close(int fd);

// Results of serial_read_byte other than 1 (a byte).
constexpr int kSerialNothing = 0;  // nothing came within the time-out
constexpr int kSerialError = -1;   // the port failed or hung up

// Waits at most timeout_ms for one byte: 1 (stored in *out), kSerialNothing or
// kSerialError.
int serial_read_byte(int fd, uint8_t* out, int64_t timeout_ms);
// Writes every byte, waiting while the output queue is full, until the deadline
// now + timeout_ms: the count written (short when the time-out struck first), or -1
// on a write error.
long serial_write(int fd, const void* data, size_t len, int64_t timeout_ms);

}  // namespace plat
