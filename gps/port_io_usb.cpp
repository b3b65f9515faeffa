// Garmin USB receivers (see port_io.h): finding and opening, packet writes with the
// zero-length rule, bulk reads, the interrupt reads that gather one message, and the
// non-blocking interrupt poll of the position stream. Every transfer failure sets
// ERR_NO_COMM.
#include <cstdio>

#include "core/error.h"
#include "core/memory.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "platform/usb/usb.h"

namespace {

// The receive buffer holds at least `need` bytes; when it is smaller it is made
// `alloc` bytes (the contents are not kept).
void ensure_buffer(com_device* dev, int need, int alloc) {
  if (dev->rx_buf && dev->rx_cap >= need) return;
  alloc_mem(&dev->rx_buf, size_t(alloc));
  dev->rx_cap = alloc;
}

// Grows the receive buffer through the core's capacity steps, keeping its contents,
// until it holds `need` bytes.
void grow_buffer(com_device* dev, int need) {
  if (dev->rx_buf && dev->rx_cap >= need) return;
  uint32_t cap = dev->rx_cap < 1024 ? 1024 : uint32_t(dev->rx_cap);
  while (cap < uint32_t(need)) cap = grow_capacity_value(cap);
  realloc_mem(&dev->rx_buf, cap);
  dev->rx_cap = int32_t(cap);
}

int no_comm() {
  set_gblerr(ERR_NO_COMM);
  return -1;
}

}  // namespace

com_device* usb_find_device(int index, char** path, com_device** out) {
  if (!out) return nullptr;
  *out = nullptr;
  char found[64];
  const int r = plat::usb_find(index, found, sizeof found);
  if (r == 0) return nullptr;  // no such receiver: no error
  if (r < 0) {
    set_gblerr(ERR_COM_OPEN);
    return nullptr;
  }
  if (path) str_set(found, path);
  if (!usb_open(found, index, out)) set_gblerr(ERR_COM_OPEN);
  return *out;
}

com_device* usb_open(const char* path, int index, com_device** out) {
  if (!out) return nullptr;
  *out = nullptr;
  if (!path) return nullptr;
  plat::usb_device* usb = plat::usb_open_path(path);
  if (!usb) return nullptr;
  com_device* dev = alloc_mem_zero(out, sizeof(com_device));
  dev->usb = usb;
  dev->usb_index = index;
  dev->usb_packet_size = plat::usb_max_packet(usb);
  return dev;
}

int usb_write(com_device* dev, const void* bytes, int count) {
  if (!dev || !dev->usb || count < 0 || (count > 0 && !bytes)) return no_comm();
  if (plat::usb_bulk_out(dev->usb, bytes, size_t(count), kUsbWriteWaitMs) != count) return no_comm();
  // A transfer that fills its last packet exactly is ended by a packet of no bytes.
  if (count > 0 && dev->usb_packet_size != 0 && uint32_t(count) % dev->usb_packet_size == 0) {
    if (plat::usb_bulk_out(dev->usb, nullptr, 0, kUsbWriteWaitMs) != 0) return no_comm();
  }
  return 0;
}

int usb_read_bulk(com_device* dev, uint8_t** data, int32_t* count) {
  if (count) *count = 0;
  if (!dev || !data || !count) return no_comm();
  if (!dev->usb) {
    *data = dev->rx_buf;
    return no_comm();
  }
  ensure_buffer(dev, kUsbBulkReadSize, kUsbBulkBufferSize);
  *data = dev->rx_buf;
  const long r = plat::usb_bulk_in(dev->usb, dev->rx_buf, kUsbBulkReadSize, kUsbReadWaitMs);
  if (r == plat::kUsbTimeout) return 0;
  if (r < 0) return no_comm();
  *count = int32_t(r);
  return 0;
}

int usb_read_interrupt_all(com_device* dev, uint8_t** data, int32_t* count) {
  if (count) *count = 0;
  if (!dev || !data || !count) return no_comm();
  *data = dev->rx_buf;
  if (!dev->usb) return no_comm();
  int total = 0;
  int64_t silent_since = -1;  // when the silence after data began
  for (;;) {
    grow_buffer(dev, total + kUsbInterruptSize + 10);
    *data = dev->rx_buf;
    const long r = plat::usb_interrupt_in(dev->usb, dev->rx_buf + total, kUsbInterruptSize, kUsbReadWaitMs);
    if (r == plat::kUsbTimeout) {
      if (total == 0) break;  // nothing came at all
      // Data came, then a full packet and silence: the message is over once the
      // silence has lasted its bound, whether or not the closing packet ever comes.
      const int64_t now = plat::now_ms();
      if (silent_since < 0) silent_since = now - kUsbReadWaitMs;
      if (now - silent_since >= kUsbInterruptSilenceMs) break;
      continue;
    }
    if (r < 0) return no_comm();
    silent_since = -1;
    total += int(r);
    // A short packet, or a packet of no bytes after full ones, ends the message.
    if (r < kUsbInterruptSize) break;
    if (total >= kUsbInterruptMaxTotal) {
      // No message is this long: the device runs away. Nothing of it is handed on.
      return no_comm();
    }
  }
  *count = total;
  return 0;
}

int usb_poll_interrupt(com_device* dev, uint8_t** data, int32_t* complete, int32_t* count,
                       int32_t* short_packet) {
  if (count) *count = 0;
  if (short_packet) *short_packet = 0;
  if (!dev || !dev->usb || !data || !complete || !count || !short_packet) return -1;
  ensure_buffer(dev, kUsbInterruptSize, kUsbPollBufferSize);
  *data = dev->rx_buf;
  long r;
  if (*complete) {
    if (plat::usb_interrupt_submit(dev->usb) != 0) return -1;
    r = plat::usb_interrupt_collect(dev->usb, dev->rx_buf, kUsbInterruptSize, 0);
  } else {
    r = plat::usb_interrupt_collect(dev->usb, dev->rx_buf, kUsbInterruptSize, kUsbPollWaitMs);
  }
  if (r == plat::kUsbPending) {
    *complete = 0;
    return 0;
  }
  if (r < 0) return -1;
  *complete = 1;
  *count = int32_t(r);
  *short_packet = r < kUsbInterruptSize ? 1 : 0;
  return 0;
}
