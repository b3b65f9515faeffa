// The USB entry points: each goes to the backend in use (see usb.h).
#include "platform/usb/usb.h"

#include <atomic>

#include "platform/usb/usb_internal.h"

namespace plat {
namespace {

std::atomic<bool> g_sim{false};

}  // namespace

void usb_sim_enable(bool on) {
  usb_detail::sim_forget_all();
  g_sim.store(on, std::memory_order_release);
}

bool usb_sim_enabled() { return g_sim.load(std::memory_order_acquire); }

int usb_find(int index, char* path, size_t size) {
  if (index < 0 || !path || size == 0) return 0;
  return usb_sim_enabled() ? usb_detail::sim_find(index, path, size)
                           : usb_detail::libusb_find(index, path, size);
}

usb_device* usb_open_path(const char* path) {
  if (!path || !*path) return nullptr;
  return usb_sim_enabled() ? usb_detail::sim_open_path(path) : usb_detail::libusb_open_path(path);
}

void usb_close(usb_device* dev) { delete dev; }

uint32_t usb_max_packet(const usb_device* dev) { return dev ? dev->max_packet() : 0; }

long usb_bulk_out(usb_device* dev, const void* data, size_t len, int64_t timeout_ms) {
  if (!dev || (!data && len > 0)) return kUsbFailed;
  return dev->bulk_out(data, len, timeout_ms);
}

long usb_bulk_in(usb_device* dev, void* buf, size_t len, int64_t timeout_ms) {
  if (!dev || !buf || len == 0) return kUsbFailed;
  return dev->bulk_in(buf, len, timeout_ms);
}

long usb_interrupt_in(usb_device* dev, void* buf, size_t len, int64_t timeout_ms) {
  if (!dev || !buf || len == 0) return kUsbFailed;
  return dev->interrupt_in(buf, len, timeout_ms);
}

long usb_interrupt_submit(usb_device* dev) { return dev ? dev->interrupt_submit() : kUsbFailed; }

long usb_interrupt_collect(usb_device* dev, void* buf, size_t len, int64_t timeout_ms) {
  if (!dev || !buf || len == 0) return kUsbFailed;
  return dev->interrupt_collect(buf, len, timeout_ms);
}

}  // namespace plat
