// Simulated Garmin USB receivers for tests (see usb.h). A receiver's path is "sim:<n>".
// Opening one makes three AF_UNIX datagram socket pairs (host to device, device to host
// on the bulk pipe, device to host on the interrupt pipe) and starts the receiver's
// script on a thread. Every datagram is one transfer and begins with one marker byte,
// so that a zero-length packet is a datagram of one byte while a receive of 0 bytes
// means the other side shut the pipe down.
//
// Waits go through the platform clock: the host's through port_wait, the script's
// through a loop of its own that also watches a stop pipe, so that closing the device
// wakes a script that sleeps or waits. A script's waits do not count as port waiters;
// usb_sim_settled tells a test whether a script still has work in hand.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/serial/port_wait.h"
#include "platform/sys/clock.h"
#include "platform/usb/usb_internal.h"

namespace plat {

namespace {

constexpr uint8_t kMarker = 'P';
constexpr size_t kMaxInterrupt = 64;
constexpr int kVirtualSliceMs = 2;
constexpr int64_t kNoDeadline = INT64_MAX;
constexpr int kHost = 0, kDevice = 1;

}  // namespace

struct usb_sim_link::state {
  uint32_t max_packet = 0;
  usb_sim_script script;
  int out[2] = {-1, -1};   // host writes, device receives
  int bulk[2] = {-1, -1};  // device sends, host reads (bulk IN)
  int intr[2] = {-1, -1};  // device sends, host reads (interrupt IN)
  int stop[2] = {-1, -1};  // pipe: a byte written when the host closes
  std::shared_ptr<std::atomic<bool>> in_use;
  std::atomic<bool> host_closed{false};
  std::atomic<bool> gone{false};         // the script has returned
  std::atomic<int> to_device{0};         // datagrams written by the host, not yet received
  std::atomic<int> idle{0};              // 0 busy, 1 the script waits in receive, 2 it sleeps
  std::atomic<int64_t> wait_deadline{kNoDeadline};
  std::thread thread;
};

namespace {

using sim_state = usb_sim_link::state;

struct sim_entry {
  uint32_t max_packet;
  usb_sim_script script;
  std::shared_ptr<std::atomic<bool>> in_use;
};

std::mutex g_mutex;                  // guards the two lists
std::vector<sim_entry> g_entries;    // the receivers present
std::vector<sim_state*> g_open;      // the receivers open now

void close_fd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// Sends one datagram without waiting: 0, kUsbTimeout when the other side's queue is
// full, or kUsbFailed.
long send_frame(int fd, const void* data, size_t len) {
  uint8_t marker = kMarker;
  iovec parts[2] = {{&marker, 1}, {const_cast<void*>(data), len}};
  msghdr m{};
  m.msg_iov = parts;
  m.msg_iovlen = len ? 2 : 1;
  for (;;) {
    const ssize_t n = sendmsg(fd, &m, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n == ssize_t(len + 1)) return 0;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kUsbTimeout;
    return kUsbFailed;
  }
}

// One datagram if one is there: its payload length (truncated to cap), kUsbTimeout
// when none is queued, kUsbFailed when the pipe was shut down or the datagram does not
// fit (`strict`) or is no frame.
long take_frame(int fd, void* buf, size_t cap, bool strict) {
  uint8_t marker = 0;
  iovec parts[2] = {{&marker, 1}, {buf, cap}};
  msghdr m{};
  m.msg_iov = parts;
  m.msg_iovlen = cap ? 2 : 1;
  for (;;) {
    const ssize_t n = recvmsg(fd, &m, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? kUsbTimeout : kUsbFailed;
    if (n == 0 || marker != kMarker) return kUsbFailed;
    const size_t len = size_t(n) - 1;
    if (len > cap && strict) return kUsbFailed;
    return long(len);
  }
}

// The script's wait: until `fd` (when not -1) is readable, the host closes, or the
// deadline passes. True when fd became readable.
bool device_wait(sim_state* s, int fd, int64_t deadline) {
  for (;;) {
    if (s->host_closed.load(std::memory_order_acquire)) return false;
    const int64_t now = now_ms();
    if (deadline != kNoDeadline && now >= deadline) return false;
    int slice;
    if (virtual_clock_on()) slice = kVirtualSliceMs;
    else if (deadline == kNoDeadline) slice = -1;
    else slice = int(std::min<int64_t>(deadline - now, INT_MAX));
    pollfd p[2] = {{s->stop[0], POLLIN, 0}, {fd, POLLIN, 0}};
    const int r = poll(p, fd >= 0 ? 2 : 1, slice);
    if (r < 0 && errno != EINTR) return false;
    if (r > 0 && fd >= 0 && p[1].revents) return true;
  }
}

constexpr int kBusy = 0, kReceiving = 1, kSleeping = 2;

// Marks the script waiting until the deadline; the mark is taken off by the caller.
void mark_idle(sim_state* s, int how, int64_t deadline) {
  s->wait_deadline.store(deadline, std::memory_order_release);
  s->idle.store(how, std::memory_order_release);
}

void mark_busy(sim_state* s) {
  s->idle.store(kBusy, std::memory_order_release);
  s->wait_deadline.store(kNoDeadline, std::memory_order_release);
}

void run_script(sim_state* s) {
  usb_sim_link link(s);
  if (s->script) s->script(link);
  mark_busy(s);
  s->gone.store(true, std::memory_order_release);
  // Wakes a host waiting for data: its next receive, once the queue is drained, is 0.
  shutdown(s->bulk[kHost], SHUT_RD);
  shutdown(s->intr[kHost], SHUT_RD);
}

class sim_receiver final : public usb_device {
 public:
  explicit sim_receiver(std::unique_ptr<sim_state> s) : s_(std::move(s)) {}

  ~sim_receiver() override {
    s_->host_closed.store(true, std::memory_order_release);
    const uint8_t b = 1;
    if (write(s_->stop[1], &b, 1) < 0) {
      // The stop pipe is empty and ours: a write cannot fail short of a broken process.
    }
    if (s_->thread.joinable()) s_->thread.join();
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_open.erase(std::remove(g_open.begin(), g_open.end(), s_.get()), g_open.end());
    }
    for (int* pair : {s_->out, s_->bulk, s_->intr, s_->stop}) {
      close_fd(&pair[0]);
      close_fd(&pair[1]);
    }
    s_->in_use->store(false, std::memory_order_release);
  }

  uint32_t max_packet() const override { return s_->max_packet; }

  // A receiver that does not take its transfers fills the queue; the write then
  // waits for room until its time-out.
  long bulk_out(const void* data, size_t len, int64_t timeout_ms) override {
    if (s_->gone.load(std::memory_order_acquire)) return kUsbFailed;
    const int64_t deadline = port_deadline(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
      // Counted before it is sent, so that the receiver never looks settled while a
      // transfer is on its way; not counted while the write waits for room.
      s_->to_device.fetch_add(1, std::memory_order_acq_rel);
      const long r = send_frame(s_->out[kHost], data, len);
      if (r == 0) return long(len);
      s_->to_device.fetch_sub(1, std::memory_order_acq_rel);
      if (r != kUsbTimeout) return r;
      const int w = port_wait(s_->out[kHost], POLLOUT, deadline);
      if (w == 0) return kUsbTimeout;
      if (w < 0) return kUsbFailed;
    }
  }

  long bulk_in(void* buf, size_t len, int64_t timeout_ms) override {
    return read_pipe(s_->bulk[kHost], buf, len, timeout_ms);
  }

  long interrupt_in(void* buf, size_t len, int64_t timeout_ms) override {
    return read_pipe(s_->intr[kHost], buf, len, timeout_ms);
  }

  long interrupt_submit() override {
    if (pending_ || s_->gone.load(std::memory_order_acquire)) return kUsbFailed;
    pending_ = true;
    return 0;
  }

  long interrupt_collect(void* buf, size_t len, int64_t timeout_ms) override {
    if (!pending_) return kUsbFailed;
    const long r = read_pipe(s_->intr[kHost], buf, std::min(len, kMaxInterrupt), timeout_ms);
    if (r == kUsbTimeout) return kUsbPending;
    pending_ = false;
    return r;
  }

 private:
  long read_pipe(int fd, void* buf, size_t len, int64_t timeout_ms) {
    const int64_t deadline = port_deadline(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
      const long r = take_frame(fd, buf, len, true);
      if (r != kUsbTimeout) return r;
      if (s_->gone.load(std::memory_order_acquire)) {
        // The script may have sent its last datagram just before it ended.
        const long last = take_frame(fd, buf, len, true);
        return last == kUsbTimeout ? kUsbFailed : last;
      }
      const int w = port_wait(fd, POLLIN, deadline);
      if (w == 0) return kUsbTimeout;
      if (w < 0) return kUsbFailed;
    }
  }

  std::unique_ptr<sim_state> s_;
  bool pending_ = false;
};

bool make_pairs(sim_state* s) {
  for (int* pair : {s->out, s->bulk, s->intr}) {
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
  }
  return pipe2(s->stop, O_CLOEXEC | O_NONBLOCK) == 0;
}

}  // namespace

// ---- The script's side -------------------------------------------------------------------

long usb_sim_link::receive(void* buf, size_t cap, int64_t timeout_ms) {
  const int64_t deadline = timeout_ms < 0 ? kNoDeadline : port_deadline(timeout_ms);
  for (;;) {
    // Read before looking at the queue: every transfer the host wrote before it closed
    // is then in the queue, and is received before the close is reported.
    const bool closed = s_->host_closed.load(std::memory_order_acquire);
    const long r = take_frame(s_->out[kDevice], buf, cap, false);
    if (r >= 0) {
      s_->to_device.fetch_sub(1, std::memory_order_acq_rel);
      return r;
    }
    if (r == kUsbFailed || closed) return kUsbFailed;
    mark_idle(s_, kReceiving, deadline);
    const bool ready = device_wait(s_, s_->out[kDevice], deadline);
    mark_busy(s_);
    if (!ready && !s_->host_closed.load(std::memory_order_acquire)) return kUsbTimeout;
  }
}

bool usb_sim_link::send_interrupt(const void* data, size_t len) {
  if (len > kMaxInterrupt || host_closed()) return false;
  return send_frame(s_->intr[kDevice], data, len) == 0;
}

bool usb_sim_link::send_bulk(const void* data, size_t len) {
  if (host_closed()) return false;
  return send_frame(s_->bulk[kDevice], data, len) == 0;
}

void usb_sim_link::sleep(int64_t ms) {
  const int64_t deadline = port_deadline(ms < 0 ? 0 : ms);
  mark_idle(s_, kSleeping, deadline);
  device_wait(s_, -1, deadline);
  mark_busy(s_);
}

bool usb_sim_link::host_closed() const { return s_->host_closed.load(std::memory_order_acquire); }

// ---- The receivers present -------------------------------------------------------------

int usb_sim_add(uint32_t max_packet, usb_sim_script script) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entries.push_back({max_packet, std::move(script), std::make_shared<std::atomic<bool>>(false)});
  return int(g_entries.size()) - 1;
}

bool usb_sim_settled() {
  std::lock_guard<std::mutex> lock(g_mutex);
  const int64_t now = now_ms();
  for (const sim_state* s : g_open) {
    if (s->gone.load(std::memory_order_acquire)) continue;
    const int idle = s->idle.load(std::memory_order_acquire);
    if (idle == kBusy) return false;
    // A transfer written to a receiving script wakes it; a sleeping one sleeps on.
    if (idle == kReceiving && s->to_device.load(std::memory_order_acquire) > 0) return false;
    // A wait whose deadline has come is about to run again.
    if (now >= s->wait_deadline.load(std::memory_order_acquire)) return false;
  }
  return true;
}

namespace usb_detail {

void sim_forget_all() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entries.clear();
}

int sim_find(int index, char* path, size_t size) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (size_t(index) >= g_entries.size()) return 0;
  std::snprintf(path, size, "sim:%d", index);
  return 1;
}

usb_device* sim_open_path(const char* path) {
  int index = -1;
  char tail = 0;
  if (std::sscanf(path, "sim:%d%c", &index, &tail) != 1 || index < 0) return nullptr;
  auto s = std::make_unique<sim_state>();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (size_t(index) >= g_entries.size()) return nullptr;
    sim_entry& e = g_entries[size_t(index)];
    bool expected = false;
    if (!e.in_use->compare_exchange_strong(expected, true)) return nullptr;  // no sharing
    s->max_packet = e.max_packet;
    s->script = e.script;
    s->in_use = e.in_use;
  }
  if (!make_pairs(s.get())) {
    for (int* pair : {s->out, s->bulk, s->intr, s->stop}) {
      close_fd(&pair[0]);
      close_fd(&pair[1]);
    }
    s->in_use->store(false, std::memory_order_release);
    return nullptr;
  }
  sim_state* raw = s.get();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_open.push_back(raw);
  }
  raw->thread = std::thread(run_script, raw);
  return new sim_receiver(std::move(s));
}

}  // namespace usb_detail
}  // namespace plat
