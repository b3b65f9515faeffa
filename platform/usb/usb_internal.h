// What the files of platform/usb share: the device as an interface over the two
// backends (libusb in usb_libusb.cpp, the simulated receivers in usb_sim.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/usb/usb.h"

namespace plat {

struct usb_device {
  virtual ~usb_device() = default;
  virtual uint32_t max_packet() const = 0;
  virtual long bulk_out(const void* data, size_t len, int64_t timeout_ms) = 0;
  virtual long bulk_in(void* buf, size_t len, int64_t timeout_ms) = 0;
  virtual long interrupt_in(void* buf, size_t len, int64_t timeout_ms) = 0;
  virtual long interrupt_submit() = 0;
  virtual long interrupt_collect(void* buf, size_t len, int64_t timeout_ms) = 0;
};

namespace usb_detail {

int libusb_find(int index, char* path, size_t size);
usb_device* libusb_open_path(const char* path);
int sim_find(int index, char* path, size_t size);
usb_device* sim_open_path(const char* path);
void sim_forget_all();

}  // namespace usb_detail
}  // namespace plat
