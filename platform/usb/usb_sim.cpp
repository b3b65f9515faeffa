// Simulated Garmin USB receivers for tests (see usb.h). A receiver's path is "sim:<n>".
// Opening one makes three pipes (host to device, device to host on the bulk pipe,
// device to host on the interrupt pipe) and starts the receiver's script on a thread.
// A pipe is a queue of transfers in memory (a zero-length packet is a transfer of no
// bytes) that holds a bounded number of bytes, as a socket's queue would, with two
// event descriptors for the waits: `ready` is readable while a transfer is queued or
// the sender is gone, `room` while the queue has room. They change only when the
// queue turns empty, non-empty, full or not full, so that a long run of transfers costs
// no system call per transfer.
//
// Waits go through the platform clock: the host's through port_wait, the script's
// through a loop of its own that also watches a stop pipe, so that closing the device
// wakes a script that sleeps or waits. A script's waits do not count as port waiters;
// usb_sim_settled tells a test whether a script still has work in hand.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial/port_wait.h"
#include "platform/sys/clock.h"
#include "platform/usb/usb_internal.h"

namespace plat {

namespace {

constexpr size_t kMaxInterrupt = 64;
// A pipe's room: what a local datagram socket's send buffer holds, each transfer
// counted with the kernel's cost of a buffer.
constexpr size_t kPipeBytes = 212992;
constexpr size_t kTransferCost = 768;
constexpr size_t kSpareBuffers = 64;
constexpr int kVirtualSliceMs = 2;
constexpr int64_t kNoDeadline = INT64_MAX;

// One direction of a receiver: transfers queued by one side for the other.
class sim_pipe {
 public:
  sim_pipe() = default;
  sim_pipe(const sim_pipe&) = delete;
  sim_pipe& operator=(const sim_pipe&) = delete;
  ~sim_pipe() {
    if (ready_ >= 0) close(ready_);
    if (room_ >= 0) close(room_);
  }
  bool open() {
    ready_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    room_ = eventfd(1, EFD_CLOEXEC | EFD_NONBLOCK);
    return ready_ >= 0 && room_ >= 0;
  }
  int ready_fd() const { return ready_; }
  int room_fd() const { return room_; }

  // Queues one transfer without waiting: 0, or kUsbTimeout when the queue is full.
  long put(const void* data, size_t len) {
    // A sender that waits for room tries again and again: a full queue is told without
    // taking the lock the reader needs to make room.
    if (full_.load(std::memory_order_acquire)) return kUsbTimeout;
    std::lock_guard<std::mutex> lock(mu_);
    if (bytes_ >= kPipeBytes) return kUsbTimeout;
    if (spare_.empty()) {
      q_.emplace_back(static_cast<const char*>(data), len);
    } else {
      q_.push_back(std::move(spare_.back()));
      spare_.pop_back();
      q_.back().assign(static_cast<const char*>(data), len);
    }
    bytes_ += len + kTransferCost;
    if (q_.size() == 1 && !shut_) ring(ready_);
    if (bytes_ >= kPipeBytes) {
      quiet(room_);
      full_.store(true, std::memory_order_release);
    }
    return 0;
  }

  // Takes one transfer if one is queued: its length (the data truncated to cap),
  // kUsbTimeout when none is queued, kUsbFailed when the sender is gone and the queue
  // is empty, or when the transfer does not fit (`strict`; it is taken all the same).
  long take(void* buf, size_t cap, bool strict) {
    std::lock_guard<std::mutex> lock(mu_);
    if (q_.empty()) return shut_ ? kUsbFailed : kUsbTimeout;
    std::string t = std::move(q_.front());
    q_.pop_front();
    const bool was_full = bytes_ >= kPipeBytes;
    bytes_ -= t.size() + kTransferCost;
    if (q_.empty() && !shut_) quiet(ready_);
    if (was_full && bytes_ < kPipeBytes) {
      full_.store(false, std::memory_order_release);
      ring(room_);
    }
    const size_t len = t.size();
    const bool fits = len <= cap || !strict;
    if (fits && cap && len) std::memcpy(buf, t.data(), std::min(len, cap));
    if (spare_.size() < kSpareBuffers) spare_.push_back(std::move(t));
    return fits ? long(len) : kUsbFailed;
  }

  // The sender is gone: once the queue is drained, takes fail.
  void shut() {
    std::lock_guard<std::mutex> lock(mu_);
    if (!shut_ && q_.empty()) ring(ready_);
    shut_ = true;
  }

 private:
  static void ring(int fd) {
    const uint64_t one = 1;
    if (write(fd, &one, sizeof one) < 0) {
      // A counter far from its limit that only this pipe writes: cannot fail.
    }
  }
  static void quiet(int fd) {
    uint64_t v;
    if (read(fd, &v, sizeof v) < 0) {
      // Already zero: nothing to take.
    }
  }

  std::mutex mu_;  // guards the queue and keeps the descriptors in step with it
  std::deque<std::string> q_;
  std::vector<std::string> spare_;  // buffers of taken transfers, reused by the next ones
  size_t bytes_ = 0;
  std::atomic<bool> full_{false};  // bytes_ has reached kPipeBytes
  bool shut_ = false;
  int ready_ = -1;
  int room_ = -1;
};

}  // namespace

struct usb_sim_link::state {
  uint32_t max_packet = 0;
  usb_sim_script script;
  sim_pipe out;             // host writes, device receives
  sim_pipe bulk;            // device sends, host reads (bulk IN)
  sim_pipe intr;            // device sends, host reads (interrupt IN)
  int stop[2] = {-1, -1};  // pipe: a byte written when the host closes
  std::shared_ptr<std::atomic<bool>> in_use;
  std::atomic<bool> host_closed{false};
  std::atomic<bool> gone{false};         // the script has returned
  std::atomic<int> to_device{0};         // datagrams written by the host, not yet received
  // What the script does, and until when it waits: changed and read together, so that
  // a test never pairs a waiting state with the deadline of another wait, or a script
  // just woken with the deadline it woke at.
  std::mutex wait_mu;
  int idle = 0;  // 0 busy, 1 the script waits in receive, 2 it sleeps
  int64_t wait_deadline = kNoDeadline;
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
  std::lock_guard<std::mutex> lock(s->wait_mu);
  s->wait_deadline = deadline;
  s->idle = how;
}

void mark_busy(sim_state* s) {
  std::lock_guard<std::mutex> lock(s->wait_mu);
  s->idle = kBusy;
  s->wait_deadline = kNoDeadline;
}

void run_script(sim_state* s) {
  usb_sim_link link(s);
  if (s->script) s->script(link);
  mark_busy(s);
  s->gone.store(true, std::memory_order_release);
  // Wakes a host waiting for data: its next read, once the queue is drained, fails.
  s->bulk.shut();
  s->intr.shut();
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
    close_fd(&s_->stop[0]);
    close_fd(&s_->stop[1]);
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
      const long r = s_->out.put(data, len);
      if (r == 0) return long(len);
      s_->to_device.fetch_sub(1, std::memory_order_acq_rel);
      if (r != kUsbTimeout) return r;
      const int w = port_wait(s_->out.room_fd(), POLLIN, deadline);
      if (w == 0) return kUsbTimeout;
      if (w < 0) return kUsbFailed;
    }
  }

  long bulk_in(void* buf, size_t len, int64_t timeout_ms) override {
    return read_pipe(s_->bulk, buf, len, timeout_ms);
  }

  long interrupt_in(void* buf, size_t len, int64_t timeout_ms) override {
    return read_pipe(s_->intr, buf, len, timeout_ms);
  }

  long interrupt_submit() override {
    if (pending_ || s_->gone.load(std::memory_order_acquire)) return kUsbFailed;
    pending_ = true;
    return 0;
  }

  long interrupt_collect(void* buf, size_t len, int64_t timeout_ms) override {
    if (!pending_) return kUsbFailed;
    const long r = read_pipe(s_->intr, buf, std::min(len, kMaxInterrupt), timeout_ms);
    if (r == kUsbTimeout) return kUsbPending;
    pending_ = false;
    return r;
  }

 private:
  long read_pipe(sim_pipe& pipe, void* buf, size_t len, int64_t timeout_ms) {
    const int64_t deadline = port_deadline(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
      const long r = pipe.take(buf, len, true);
      if (r != kUsbTimeout) return r;
      if (s_->gone.load(std::memory_order_acquire)) {
        // The script may have sent its last transfer just before it ended.
        const long last = pipe.take(buf, len, true);
        return last == kUsbTimeout ? kUsbFailed : last;
      }
      const int w = port_wait(pipe.ready_fd(), POLLIN, deadline);
      if (w == 0) return kUsbTimeout;
      if (w < 0) return kUsbFailed;
    }
  }

  std::unique_ptr<sim_state> s_;
  bool pending_ = false;
};

bool make_pipes(sim_state* s) {
  for (sim_pipe* p : {&s->out, &s->bulk, &s->intr}) {
    if (!p->open()) return false;
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
    const long r = s_->out.take(buf, cap, false);
    if (r >= 0) {
      s_->to_device.fetch_sub(1, std::memory_order_acq_rel);
      return r;
    }
    if (r == kUsbFailed || closed) return kUsbFailed;
    mark_idle(s_, kReceiving, deadline);
    const bool ready = device_wait(s_, s_->out.ready_fd(), deadline);
    mark_busy(s_);
    if (!ready && !s_->host_closed.load(std::memory_order_acquire)) return kUsbTimeout;
  }
}

bool usb_sim_link::send_interrupt(const void* data, size_t len) {
  if (len > kMaxInterrupt || host_closed()) return false;
  return s_->intr.put(data, len) == 0;
}

bool usb_sim_link::send_bulk(const void* data, size_t len) {
  if (host_closed()) return false;
  return s_->bulk.put(data, len) == 0;
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
  for (sim_state* s : g_open) {
    if (s->gone.load(std::memory_order_acquire)) continue;
    int idle;
    int64_t deadline;
    {
      std::lock_guard<std::mutex> lock(s->wait_mu);
      idle = s->idle;
      deadline = s->wait_deadline;
    }
    if (idle == kBusy) return false;
    // A transfer written to a receiving script wakes it; a sleeping one sleeps on.
    if (idle == kReceiving && s->to_device.load(std::memory_order_acquire) > 0) return false;
    // A wait whose deadline has come is about to run again.
    if (now >= deadline) return false;
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
  if (!make_pipes(s.get())) {
    close_fd(&s->stop[0]);
    close_fd(&s->stop[1]);
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
