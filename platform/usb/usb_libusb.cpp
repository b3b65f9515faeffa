// Garmin USB receivers through libusb-1.0. A receiver's path is "usb:<bus>:<address>";
// opening finds the device with that bus and address again, checks its vendor and
// product, lets libusb detach the kernel's driver from interface 0 and claims it. The
// endpoints are read from the interface's descriptor. The interrupt request that the
// position stream polls is an asynchronous transfer whose events are handled only
// while a caller waits for it.
#include <libusb.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/usb/usb_internal.h"

namespace plat {
namespace {

constexpr int kInterface = 0;
constexpr int kInterruptSize = 64;

// One libusb context for the process, made on first use (null when libusb cannot run,
// for instance without any USB support: then no receiver is present).
libusb_context* context() {
  static std::once_flag once;
  static libusb_context* ctx = nullptr;
  std::call_once(once, [] {
    if (libusb_init(&ctx) != 0) ctx = nullptr;
  });
  return ctx;
}

bool is_receiver(libusb_device* d) {
  libusb_device_descriptor desc{};
  return libusb_get_device_descriptor(d, &desc) == 0 && desc.idVendor == kUsbVendorGarmin &&
         desc.idProduct == kUsbProductReceiver;
}

unsigned int timeout_arg(int64_t timeout_ms) {
  // libusb reads 0 as "no time-out"; a wait of 0 still looks once.
  if (timeout_ms <= 0) return 1;
  return timeout_ms > 0x7FFFFFFF ? 0x7FFFFFFFu : unsigned(timeout_ms);
}

class libusb_receiver final : public usb_device {
 public:
  libusb_receiver(libusb_device_handle* h, uint8_t ep_out, uint8_t ep_in, uint8_t ep_intr, uint32_t packet)
      : h_(h), ep_out_(ep_out), ep_in_(ep_in), ep_intr_(ep_intr), packet_(packet) {}

  ~libusb_receiver() override {
    if (transfer_) {
      if (pending_.load(std::memory_order_acquire)) {
        libusb_cancel_transfer(transfer_);
        while (pending_.load(std::memory_order_acquire)) {
          timeval tv{0, 100000};
          if (libusb_handle_events_timeout_completed(context(), &tv, nullptr) != 0) break;
        }
      }
      if (!pending_.load(std::memory_order_acquire)) libusb_free_transfer(transfer_);
    }
    libusb_release_interface(h_, kInterface);
    libusb_close(h_);
  }

  uint32_t max_packet() const override { return packet_; }

  long bulk_out(const void* data, size_t len, int64_t timeout_ms) override {
    if (len > 0x7FFFFFFF) return kUsbFailed;
    int done = 0;
    auto* p = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
    const int r = libusb_bulk_transfer(h_, ep_out_, len ? p : nullptr, int(len), &done, timeout_arg(timeout_ms));
    if (r == LIBUSB_ERROR_TIMEOUT) return kUsbTimeout;
    return r == 0 ? long(done) : kUsbFailed;
  }

  long bulk_in(void* buf, size_t len, int64_t timeout_ms) override {
    return read_pipe(ep_in_, buf, len, timeout_ms, false);
  }

  long interrupt_in(void* buf, size_t len, int64_t timeout_ms) override {
    return read_pipe(ep_intr_, buf, len, timeout_ms, true);
  }

  long interrupt_submit() override {
    if (pending_.load(std::memory_order_acquire)) return kUsbFailed;
    if (!transfer_) transfer_ = libusb_alloc_transfer(0);
    if (!transfer_) return kUsbFailed;
    libusb_fill_interrupt_transfer(transfer_, h_, ep_intr_, intr_buf_, kInterruptSize, &on_complete, this, 0);
    completed_ = 0;
    pending_.store(true, std::memory_order_release);
    if (libusb_submit_transfer(transfer_) != 0) {
      pending_.store(false, std::memory_order_release);
      return kUsbFailed;
    }
    return 0;
  }

  long interrupt_collect(void* buf, size_t len, int64_t timeout_ms) override {
    if (!transfer_ || (!pending_.load(std::memory_order_acquire) && !completed_)) return kUsbFailed;
    if (pending_.load(std::memory_order_acquire)) {
      timeval tv{};
      const int64_t ms = timeout_ms < 0 ? 0 : timeout_ms;
      tv.tv_sec = time_t(ms / 1000);
      tv.tv_usec = suseconds_t((ms % 1000) * 1000);
      libusb_handle_events_timeout_completed(context(), &tv, &completed_);
      if (pending_.load(std::memory_order_acquire)) return kUsbPending;
    }
    completed_ = 0;
    if (transfer_->status != LIBUSB_TRANSFER_COMPLETED) return kUsbFailed;
    const size_t n = size_t(transfer_->actual_length) < len ? size_t(transfer_->actual_length) : len;
    std::memcpy(buf, intr_buf_, n);
    return long(n);
  }

 private:
  static void LIBUSB_CALL on_complete(libusb_transfer* t) {
    auto* self = static_cast<libusb_receiver*>(t->user_data);
    self->completed_ = 1;
    self->pending_.store(false, std::memory_order_release);
  }

  long read_pipe(uint8_t ep, void* buf, size_t len, int64_t timeout_ms, bool interrupt) {
    if (len > 0x7FFFFFFF) len = 0x7FFFFFFF;
    int done = 0;
    auto* p = static_cast<unsigned char*>(buf);
    const unsigned int t = timeout_arg(timeout_ms);
    const int r = interrupt ? libusb_interrupt_transfer(h_, ep, p, int(len), &done, t)
                            : libusb_bulk_transfer(h_, ep, p, int(len), &done, t);
    if (r == 0) return long(done);
    if (r == LIBUSB_ERROR_TIMEOUT) return done > 0 ? long(done) : kUsbTimeout;
    return kUsbFailed;
  }

  libusb_device_handle* h_;
  uint8_t ep_out_, ep_in_, ep_intr_;
  uint32_t packet_;
  libusb_transfer* transfer_ = nullptr;
  std::atomic<bool> pending_{false};
  int completed_ = 0;
  unsigned char intr_buf_[kInterruptSize] = {};
};

// The endpoints of interface 0 and the bulk OUT packet size; false when one is missing.
bool find_endpoints(libusb_device* d, uint8_t* out, uint8_t* in, uint8_t* intr, uint32_t* packet) {
  libusb_config_descriptor* cfg = nullptr;
  if (libusb_get_active_config_descriptor(d, &cfg) != 0 || !cfg) return false;
  *out = *in = *intr = 0;
  *packet = 0;
  if (cfg->bNumInterfaces > kInterface && cfg->interface[kInterface].num_altsetting > 0) {
    const libusb_interface_descriptor& alt = cfg->interface[kInterface].altsetting[0];
    for (int i = 0; i < alt.bNumEndpoints; ++i) {
      const libusb_endpoint_descriptor& ep = alt.endpoint[i];
      const int type = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
      const bool is_in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
      if (type == LIBUSB_TRANSFER_TYPE_BULK && !is_in && !*out) {
        *out = ep.bEndpointAddress;
        *packet = ep.wMaxPacketSize;
      } else if (type == LIBUSB_TRANSFER_TYPE_BULK && is_in && !*in) {
        *in = ep.bEndpointAddress;
      } else if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT && is_in && !*intr) {
        *intr = ep.bEndpointAddress;
      }
    }
  }
  libusb_free_config_descriptor(cfg);
  return *out && *in && *intr;
}

}  // namespace

namespace usb_detail {

int libusb_find(int index, char* path, size_t size) {
  libusb_context* ctx = context();
  if (!ctx) return 0;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx, &list);
  if (n < 0) return -1;
  int seen = 0, found = 0;
  for (ssize_t i = 0; i < n && !found; ++i) {
    if (!is_receiver(list[i])) continue;
    if (seen++ == index) {
      std::snprintf(path, size, "usb:%03u:%03u", unsigned(libusb_get_bus_number(list[i])),
                    unsigned(libusb_get_device_address(list[i])));
      found = 1;
    }
  }
  libusb_free_device_list(list, 1);
  return found;
}

usb_device* libusb_open_path(const char* path) {
  unsigned bus = 0, addr = 0;
  char tail = 0;
  if (std::sscanf(path, "usb:%u:%u%c", &bus, &addr, &tail) != 2) return nullptr;
  libusb_context* ctx = context();
  if (!ctx) return nullptr;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx, &list);
  if (n < 0) return nullptr;
  usb_device* result = nullptr;
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device* d = list[i];
    if (libusb_get_bus_number(d) != bus || libusb_get_device_address(d) != addr || !is_receiver(d)) continue;
    uint8_t out, in, intr;
    uint32_t packet;
    libusb_device_handle* h = nullptr;
    if (!find_endpoints(d, &out, &in, &intr, &packet) || libusb_open(d, &h) != 0) break;
    libusb_set_auto_detach_kernel_driver(h, 1);
    // Claiming fails while another program has the interface: no sharing.
    if (libusb_claim_interface(h, kInterface) != 0) {
      libusb_close(h);
      break;
    }
    result = new libusb_receiver(h, out, in, intr, packet);
    break;
  }
  libusb_free_device_list(list, 1);
  return result;
}

}  // namespace usb_detail
}  // namespace plat
