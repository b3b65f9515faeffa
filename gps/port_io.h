// Port I/O: the byte transport under every receiver driver. A serial port (raw 8N1,
// one-byte reads with a read time-out), a Garmin USB device (bulk writes, interrupt
// and bulk reads) and a UDP port (through the core's socket object), and on top of
// them the timed read loop that feeds received bytes to a line or frame handler until
// the handler is done or a time-out strikes.
//
// Contract shared by every routine here:
// - Opening reports failure only by a null device; the caller sets the error code
//   (ERR_COM_OPEN for a serial device). USB transfer failures set ERR_NO_COMM.
// - A hard serial read or write error closes the device's handles (com_close_handles):
//   the record stays allocated, and every later call sees no device and returns at
//   once (a read gives 0 after a 20 ms pause), so a driver's loop ends by its time-outs.
// - Every wait is bounded and measured on the platform clock (platform/sys/clock.h),
//   so tests run long time-outs on the virtual clock.
// - A device record is used by one thread at a time (the download worker or the live
//   reader); the routines take no locks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/serial/serial.h"

namespace plat {
struct usb_device;
}
struct socket_t;

// ---- Device record --------------------------------------------------------------------

// Read time-out after com_open, and the port's fixed write time-out constant (a write
// may take this long plus one millisecond per byte before it gives up).
constexpr uint32_t kComReadTimeoutMs = 100;
constexpr uint32_t kComWriteTimeoutMs = 2000;
// Pause after every com_write, and the pause of a call that finds no device.
constexpr int kComWritePauseMs = 2;
constexpr int kComNoDevicePauseMs = 20;
// A transfer whose packed dates before and after lie this many days apart (or more)
// closes the device: the machine slept, or its clock jumped, in the middle of it.
constexpr double kComStallDays = 2.0;

// Receive buffer sizes of the USB reads.
constexpr int kUsbBulkReadSize = 4096;
constexpr int kUsbBulkBufferSize = 4106;
constexpr int kUsbInterruptSize = 64;
constexpr int kUsbPollBufferSize = 66;
// Waits of the USB transfers, in milliseconds.
constexpr int kUsbWriteWaitMs = 1000;
constexpr int kUsbReadWaitMs = 100;
constexpr int kUsbPollWaitMs = 30;
// usb_read_interrupt_all: the largest message it gathers, and the silence after data
// that ends a message whose last packet was a full one.
constexpr int kUsbInterruptMaxTotal = 64 * 1024;
constexpr int kUsbInterruptSilenceMs = 1000;

// One record for a serial port and a USB device, allocated zero-filled by the open
// routine and owned by the port object's connection field (gps/gpsport).
struct com_device {
  int32_t handle;               // serial: descriptor of the open port (plat::serial_*); 0 closed
  plat::usb_device* usb;        // USB: the open device, null when closed
  int32_t usb_index;            // USB: the device's index among the receivers found
  plat::serial_saved saved;     // serial: the line settings as found when it was opened
  uint32_t usb_packet_size;     // USB: maximum packet size of the bulk OUT endpoint
  uint8_t* rx_buf;              // USB: received data (owned)
  int32_t rx_cap;               // capacity of rx_buf in bytes
  uint32_t read_timeout_ms;     // serial: how long one byte read may wait (100 after opening)
  uint32_t write_timeout_ms;    // serial: write time-out constant (2000 after opening)
};

// ---- Serial port ----------------------------------------------------------------------

// The device file behind a port name: "COMn" and "\\.\COMn" (n from 1, digits only)
// map to the configuration key "COMn", by default /dev/ttyS(n-1); any other text is a
// device path taken as it stands. Writes at most size bytes (NUL included); returns out.
char* com_device_path(const char* name, char* out, size_t size);

// Opens the port named (see com_device_path) for exclusive use (a port another process
// holds fails), raw 8 data bits, no parity, one stop bit at `speed` (4800, 9600, 19200,
// 38400, 57600 or 115200; any other speed fails), DTR and RTS raised where the device
// has them, read time-out 100 ms. On failure *out stays null and no error code is set.
// Returns *out.
com_device* com_open(const char* path, int speed, com_device** out);
// Stores the read time-out (ms) used by every later byte read.
void com_set_timeout(com_device* dev, uint32_t ms);
// Writes every byte (bounded by the write time-out: 2000 ms + 1 ms per byte), then
// pauses 2 ms. Without an open handle: pauses 20 ms and returns. A write error, or a
// call across which the packed date moved by 2 days or more, closes the handles.
void com_write(com_device* dev, const void* bytes, int count);
void com_write_byte(com_device* dev, uint8_t byte);
// Write the 16-bit value high byte first (be) or low byte first (le). Both leave the
// value in memory in the byte order that they sent.
void com_write_u16_be(com_device* dev, uint16_t* value);
void com_write_u16_le(com_device* dev, uint16_t* value);
// Reads one byte, waiting at most the read time-out. Returns 1 (byte stored), 0 nothing
// came (then pauses 1 ms), or -1 on a read error (the handles are then closed). Without
// an open handle: pauses 20 ms, returns 0. While the program is closing: closes the
// handles, returns 0. A read across which the packed date moved 2 days or more closes
// the handles (a byte read still counts).
int com_read_byte(com_device* dev, uint8_t* out);
// Reads bytes one at a time until one read gives nothing (a silence of one read time-
// out) or `max` bytes came. Returns the count, 0 for a max below 1, -1 on a read error.
int com_read(com_device* dev, int max, uint8_t* buf);
// Closes every handle (each zeroed), frees the receive buffer, frees the record and
// nulls *dev. Safe with a null pointer or a null record.
void com_close(com_device** dev);
// The first half of com_close: the handles are closed and zeroed, the record stays.
void com_close_handles(com_device* dev);

// ---- Garmin USB device ----------------------------------------------------------------

// Opens the index-th (from 0) receiver present (USB vendor 091E, product 0003). When
// there is none, returns with *out null and no error. Otherwise stores the device's
// path in the owned string *path (str_set) and opens it with usb_open; any other
// failure sets ERR_COM_OPEN. Returns *out.
com_device* usb_find_device(int index, char** path, com_device** out);
// Opens the device at `path` (as usb_find_device gives it) for exclusive use and reads
// its maximum packet size. On failure *out stays null, no error code. Returns *out.
com_device* usb_open(const char* path, int index, com_device** out);
// One bulk transfer of `count` bytes (waits up to 1000 ms); when the packet size is
// non-zero and count an exact multiple of it, a zero-length packet follows, which ends
// the transfer for the device. Failure: ERR_NO_COMM. Returns 0, or -1 on failure.
int usb_write(com_device* dev, const void* bytes, int count);
// One bulk read of up to 4096 bytes, waiting up to 100 ms. *data gets the receive
// buffer, *count what arrived (0 when nothing came). Failure: ERR_NO_COMM, count 0.
// Returns 0, or -1 on failure.
int usb_read_bulk(com_device* dev, uint8_t** data, int32_t* count);
// Gathers one message from the interrupt pipe: 64-byte reads (each waits up to 100 ms)
// appended to the receive buffer until a short packet (1 to 63 bytes) or a zero-length
// packet ends it, nothing has come at all, or a silence of kUsbInterruptSilenceMs
// follows data. *data gets the receive buffer, *count the total. Failure (a transfer
// error, or a message reaching kUsbInterruptMaxTotal): ERR_NO_COMM, count 0; returns
// 0, or -1 on failure.
int usb_read_interrupt_all(com_device* dev, uint8_t** data, int32_t* count);
// Non-blocking interrupt read for the real-time position stream. Sets *count and
// *short_packet to 0. When *complete is set, issues a new 64-byte request and stores in
// *complete whether it completed at once; otherwise waits up to 30 ms for the pending
// request and sets *complete when it has. When *complete is set afterwards, *count gets
// the bytes received and *short_packet is set when fewer than 64 came. *data gets the
// receive buffer. Returns 0, or -1 on a transfer error.
int usb_poll_interrupt(com_device* dev, uint8_t** data, int32_t* complete, int32_t* count,
                       int32_t* short_packet);

// ---- UDP port -------------------------------------------------------------------------

// A UDP socket object bound to `port` on every local address. *out is null when the
// socket has no handle. Returns *out.
socket_t* udp_open(int port, socket_t** out);
// One receive of up to max bytes (waits up to 0.3 s, remembers the first sender):
// the count, 0 when nothing came.
int udp_read(socket_t* s, int max, uint8_t* buf);
// Frees the socket object and nulls *s.
void udp_close(socket_t** s);

// ---- Reader record --------------------------------------------------------------------

// Reads up to max bytes from the device into buf: the count, 0 when nothing came, or a
// negative value on a read error.
using port_read_fn = int (*)(void* device, int max, uint8_t* buf);

// com_read and udp_read in the reader routine's shape.
int com_read_routine(void* device, int max, uint8_t* buf);
int udp_read_routine(void* device, int max, uint8_t* buf);

// What the live reader and the drivers hand to the timed read loop: the device, the
// NMEA log of a live port (null when none) and the read routine. A plain raw reader is
// just this record; the NMEA parser record and drivers' readers begin with it.
struct port_reader {
  void* device;       // com_device* or socket_t*
  std::FILE* log;     // NMEA log file (gps output/logs), null when none
  port_read_fn read;  // com_read_routine, udp_read_routine, or a driver's own
};

// ---- Timed read loop ------------------------------------------------------------------

// Size of one chunk that port_read_loop reads.
constexpr int kPortChunkSize = 300;

// Called with each chunk read (count may be 0) and the reader.
using port_chunk_fn = void (*)(const uint8_t* bytes, int count, port_reader* reader);

// Results of port_read_loop.
enum port_loop_result : int32_t {
  PORT_NO_DATA = 1,      // no data for longer than the no-data time-out
  PORT_DONE = 2,         // the handler set the done flag
  PORT_NO_PROGRESS = 3,  // no progress for longer than the no-progress time-out
  PORT_TIMEOUT = 4,      // the overall time-out passed
};

// Context of port_read_loop, zero-filled by port_reader_create and owned by the driver
// that made it (free with port_reader_free). The handler reaches the two flags through
// its own context; the loop clears them before every handler call.
struct port_read_ctx {
  port_reader* reader;        // device and read routine; also handed to the handler
  port_chunk_fn handler;      // may be switched by the driver between loops
  int32_t progress;           // set by the handler when it recognised a unit of data
  int32_t done;               // set by the handler when it has everything it waited for
  double no_data_timeout_s;   // 0 disables
  double no_progress_timeout_s;
  double overall_timeout_s;
  int32_t result;             // port_loop_result; unchanged by an end on error
};

// Allocates the zero-filled context with the handler and the reader (time-outs off).
// Returns *out.
port_read_ctx* port_reader_create(port_chunk_fn handler, port_reader* reader, port_read_ctx** out);
void port_reader_free(port_read_ctx** ctx);
// Reads chunks of up to 300 bytes and hands each to the handler until the handler sets
// the done flag (result 2), gblerr is set after a handler call (result unchanged), a
// read fails (result unchanged) or a time-out has run strictly longer than its value
// (results 1, 3, 4; clocks on the packed date of now). Returns ctx->result.
int port_read_loop(port_read_ctx* ctx);
