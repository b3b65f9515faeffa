// Garmin USB receivers: the only code that talks to libusb. A receiver is the USB
// device 091E:0003 with one interface holding a bulk OUT, a bulk IN and an interrupt
// IN endpoint. It is found by its index among the receivers present, opened with the
// kernel's driver detached from the interface, and driven with bulk writes, bulk reads
// and 64-byte interrupt reads, the last also as a request that is issued and then
// collected later (the real-time position stream polls it).
//
// A test switches the module to a simulated backend (usb_sim_enable): each simulated
// receiver is a script that runs on a thread of its own while the device is open and
// talks to the host through AF_UNIX datagram socket pairs, one datagram per transfer
// (a zero-length packet included). Every wait of the simulated backend is measured on
// the platform clock, so tests run on the virtual clock.
//
// A device is used by one thread at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace plat {

constexpr uint16_t kUsbVendorGarmin = 0x091E;
constexpr uint16_t kUsbProductReceiver = 0x0003;

// Results below 0.
constexpr long kUsbFailed = -1;   // transfer error, or the device is gone
constexpr long kUsbTimeout = -2;  // nothing within the time-out
constexpr long kUsbPending = -3;  // an issued interrupt request has not completed yet

struct usb_device;

// Finds the index-th (from 0) receiver present: 1 with its path in `path` (a text that
// usb_open_path takes), 0 when there is no such receiver, -1 when the devices cannot be
// listed.
int usb_find(int index, char* path, size_t size);
// Opens the receiver at `path` for exclusive use; null on failure.
usb_device* usb_open_path(const char* path);
// Closes the device; a pending interrupt request is cancelled first. Safe with null.
void usb_close(usb_device* dev);
// Maximum packet size of the bulk OUT endpoint.
uint32_t usb_max_packet(const usb_device* dev);

// One bulk OUT transfer (len 0: a zero-length packet), waiting at most timeout_ms:
// len, or kUsbFailed / kUsbTimeout.
long usb_bulk_out(usb_device* dev, const void* data, size_t len, int64_t timeout_ms);
// One bulk IN transfer of up to len bytes: the count (0 for a zero-length packet),
// kUsbTimeout when nothing came, or kUsbFailed.
long usb_bulk_in(usb_device* dev, void* buf, size_t len, int64_t timeout_ms);
// One interrupt IN packet of up to len bytes: as usb_bulk_in.
long usb_interrupt_in(usb_device* dev, void* buf, size_t len, int64_t timeout_ms);

// Issues an interrupt IN request of 64 bytes: 0, or kUsbFailed (also when one is
// already pending).
long usb_interrupt_submit(usb_device* dev);
// Waits at most timeout_ms (0: only looks) for the issued request: the count received
// when it has completed (the request is then over), kUsbPending when it has not,
// kUsbFailed on error or when none was issued. At most `len` bytes are copied.
long usb_interrupt_collect(usb_device* dev, void* buf, size_t len, int64_t timeout_ms);

// ---- Simulated receivers (tests) --------------------------------------------------------

// The device's side of a simulated receiver, handed to its script.
class usb_sim_link {
 public:
  // One transfer the host wrote (a zero-length packet gives 0), waiting at most
  // timeout_ms (below 0: until the host writes or closes): the length (the data is
  // truncated to cap), kUsbTimeout, or kUsbFailed once the host has closed the device.
  long receive(void* buf, size_t cap, int64_t timeout_ms = -1);
  // One interrupt packet (at most 64 bytes; 0 is a zero-length packet) or one bulk
  // transfer towards the host. False when the host has closed.
  bool send_interrupt(const void* data, size_t len);
  bool send_bulk(const void* data, size_t len);
  // Sleeps on the platform clock.
  void sleep(int64_t ms);
  // True once the host has closed the device.
  bool host_closed() const;

  struct state;
  explicit usb_sim_link(state* s) : s_(s) {}

 private:
  state* s_;
};

using usb_sim_script = std::function<void(usb_sim_link&)>;

// Switches between libusb (off) and the simulated receivers (on). Switching either way
// forgets every simulated receiver; no simulated device may be open then.
void usb_sim_enable(bool on);
bool usb_sim_enabled();
// Adds a receiver with the given maximum packet size; its script runs from each open
// until it returns (the receiver is then unplugged: the host's transfers fail) or the
// host closes. Returns the receiver's index.
int usb_sim_add(uint32_t max_packet, usb_sim_script script);
// True when no simulated receiver has work in hand: each one's script has ended, or
// waits in receive with nothing written to it, or sleeps. A test moves the virtual
// clock only then, so that a reply on its way is never overtaken by a time-out.
bool usb_sim_settled();

}  // namespace plat
