// Serial ports of the receivers (see port_io.h): the port name to device mapping, open
// and close, one-byte reads with the read time-out, writes with their pause, and the
// two-day rule that closes a device whose transfer straddled a sleep of the machine or
// a jump of its clock.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/config.h"
#include "core/dates.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "platform/usb/usb.h"

namespace {

// The port number of "COMn" or "\\.\COMn" (n of 1 to 255, digits only), else 0.
int com_number(const char* name) {
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  if (strncasecmp(name, "COM", 3) != 0 || !name[3]) return 0;
  int n = 0;
  for (const char* p = name + 3; *p; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
    n = n * 10 + (*p - '0');
    if (n > 255) return 0;
  }
  return n;
}

// Packed date of now, for the two-day rule.
double stamp() { return date_now(); }

// Closes the device when the transfer that began at `before` took two days or more.
void check_stall(com_device* dev, double before) {
  if (dev->handle && date_diff(before, stamp()) >= kComStallDays) com_close_handles(dev);
}

}  // namespace

char* com_device_path(const char* name, char* out, size_t size) {
  if (!out || size == 0) return out;
  if (!name) name = "";
  const int n = com_number(name);
  if (n == 0) {
    std::snprintf(out, size, "%s", name);
    return out;
  }
  char key[16];
  std::snprintf(key, sizeof key, "COM%d", n);
  const char* configured = config_get(key);
  if (configured && *configured) std::snprintf(out, size, "%s", configured);
  else std::snprintf(out, size, "/dev/ttyS%d", n - 1);
  return out;
}

com_device* com_open(const char* path, int speed, com_device** out) {
  if (!out) return nullptr;
  *out = nullptr;
  if (!path) return nullptr;
  char device[512];
  com_device_path(path, device, sizeof device);
  plat::serial_saved saved{};
  const int fd = plat::serial_open(device, speed, &saved);
  if (fd < 0) return nullptr;
  com_device* dev = alloc_mem_zero(out, sizeof(com_device));
  dev->handle = fd;
  dev->saved = saved;
  dev->write_timeout_ms = kComWriteTimeoutMs;
  com_set_timeout(dev, kComReadTimeoutMs);
  return dev;
}

void com_set_timeout(com_device* dev, uint32_t ms) {
  if (!dev) return;
  dev->read_timeout_ms = ms;
  dev->write_timeout_ms = kComWriteTimeoutMs;
}

void com_write(com_device* dev, const void* bytes, int count) {
  if (!dev || dev->handle == 0) {
    plat::sleep_ms(kComNoDevicePauseMs);
    return;
  }
  if (count > 0 && bytes) {
    const double before = stamp();
    // The port's write time-out: the constant plus one millisecond per byte.
    const long r = plat::serial_write(dev->handle, bytes, size_t(count), int64_t(dev->write_timeout_ms) + count);
    if (r < 0) com_close_handles(dev);
    else check_stall(dev, before);
  }
  plat::sleep_ms(kComWritePauseMs);
}

void com_write_byte(com_device* dev, uint8_t byte) { com_write(dev, &byte, 1); }

void com_write_u16_be(com_device* dev, uint16_t* value) {
  if (!value) return;
  const uint16_t v = *value;
  const uint8_t bytes[2] = {uint8_t(v >> 8), uint8_t(v & 0xFF)};
  std::memcpy(value, bytes, 2);
  com_write(dev, bytes, 2);
}

void com_write_u16_le(com_device* dev, uint16_t* value) {
  if (!value) return;
  const uint16_t v = *value;
  const uint8_t bytes[2] = {uint8_t(v & 0xFF), uint8_t(v >> 8)};
  std::memcpy(value, bytes, 2);
  com_write(dev, bytes, 2);
}

int com_read_byte(com_device* dev, uint8_t* out) {
  if (!dev || dev->handle == 0 || !out) {
    plat::sleep_ms(kComNoDevicePauseMs);
    return 0;
  }
  if (app_is_closing()) {
    com_close_handles(dev);
    return 0;
  }
  const double before = stamp();
  const int r = plat::serial_read_byte(dev->handle, out, dev->read_timeout_ms);
  if (r < 0) {
    com_close_handles(dev);
    return -1;
  }
  check_stall(dev, before);
  if (r == 0) plat::sleep_ms(1);
  return r;
}

int com_read(com_device* dev, int max, uint8_t* buf) {
  if (max < 1 || !buf) return 0;
  int count = 0;
  while (count < max) {
    const int r = com_read_byte(dev, buf + count);
    if (r < 0) return -1;
    if (r == 0) break;
    ++count;
  }
  return count;
}

void com_close_handles(com_device* dev) {
  if (!dev) return;
  if (dev->handle) plat::serial_close(dev->handle);
  dev->handle = 0;
  if (dev->usb) plat::usb_close(dev->usb);
  dev->usb = nullptr;
}

void com_close(com_device** dev) {
  if (!dev || !*dev) return;
  com_close_handles(*dev);
  free_mem(&(*dev)->rx_buf);
  (*dev)->rx_cap = 0;
  free_mem(dev);
}
