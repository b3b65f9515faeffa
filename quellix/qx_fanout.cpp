// Sender threads for a stream of datagrams to a fixed set of UDP targets. Contract in
// qx_fanout.h.
//
// The ring: group i lives in slot i % capacity until every sender has passed it. Each
// sender keeps its own count of the groups it has sent (done_) and takes all that are
// queued at once, so the mutex is taken once per batch, not once per datagram. Slots
// between the slowest sender and head_ are only read (by the senders, outside the
// mutex); the producer writes a slot only once every sender has passed it. A slot keeps
// its buffer, so a steady stream allocates nothing.
#include "quellix/qx_fanout.h"

#include <algorithm>
#include <chrono>

qx_fanout::qx_fanout(int senders, int capacity)
    : senders_(std::max(1, senders)), capacity_(size_t(std::max(1, capacity))), ring_(capacity_),
      done_(size_t(senders_), 0) {}

qx_fanout::~qx_fanout() { stop(); }

uint64_t qx_fanout::slowest_locked() const { return *std::min_element(done_.begin(), done_.end()); }

bool qx_fanout::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !threads_.empty();
}

long qx_fanout::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

long qx_fanout::pushed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return long(head_);
}

bool qx_fanout::start(std::vector<qx_fanout_target> targets) {
  drain();
  std::unique_lock<std::mutex> lock(mutex_);
  // The senders are idle (drained): none reads the targets until the next group.
  targets_ = std::move(targets);
  if (!threads_.empty()) return true;
  quit_ = false;
  for (int k = 0; k < senders_; ++k) {
    try {
      threads_.emplace_back([this, k] { run(k); });
    } catch (...) {
      break;
    }
  }
  if ((int)threads_.size() == senders_) return true;
  // Not every share has a sender: end those that started.
  quit_ = true;
  work_.notify_all();
  std::vector<std::thread> started;
  started.swap(threads_);
  lock.unlock();
  for (auto& t : started) t.join();
  return false;
}

bool qx_fanout::push(const char* data, int length) {
  if (!data || length < 1) return true;
  std::unique_lock<std::mutex> lock(mutex_);
  if (threads_.empty()) return false;
  auto has_room = [this] { return head_ - slowest_locked() < capacity_; };
  if (!has_room()) {
    producer_waiting_ = true;
    const bool room = room_.wait_for(lock, std::chrono::milliseconds(kQxFanoutRoomWaitMs), has_room);
    producer_waiting_ = false;
    if (!room) {
      ++dropped_;
      return false;
    }
  }
  ring_[head_ % capacity_].assign(data, size_t(length));
  ++head_;
  if (idle_ > 0) work_.notify_all();
  return true;
}

void qx_fanout::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (threads_.empty()) return;
  producer_waiting_ = true;
  room_.wait(lock, [this] { return slowest_locked() == head_; });
  producer_waiting_ = false;
}

void qx_fanout::stop() {
  drain();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    threads.swap(threads_);
    work_.notify_all();
  }
  for (auto& t : threads) t.join();
  std::lock_guard<std::mutex> lock(mutex_);
  targets_.clear();
}

// Sender `share` sends to targets share, share + senders_, ... of every group: all the
// groups it took, to one target after the other, each target's in one batch send.
void qx_fanout::run(int share) {
  std::vector<plat::net_datagram> batch;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    work_.wait(lock, [&] { return quit_ || done_[size_t(share)] != head_; });
    --idle_;
    const uint64_t from = done_[size_t(share)];
    const uint64_t to = head_;
    if (from == to) return;  // quit_ with nothing left
    lock.unlock();
    for (size_t t = size_t(share); t < targets_.size(); t += size_t(senders_)) {
      batch.clear();
      for (uint64_t i = from; i < to; ++i) {
        const std::string& group = ring_[i % capacity_];
        batch.push_back({group.data(), group.size(), targets_[t].to});
      }
      send_all(targets_[t].fd, batch);
    }
    lock.lock();
    done_[size_t(share)] = to;
    if (producer_waiting_) room_.notify_all();
  }
}

// A copy that cannot be sent is skipped, as a single send's failure would be: the
// next groups still go.
void qx_fanout::send_all(int fd, const std::vector<plat::net_datagram>& batch) {
  const int count = int(batch.size());
  for (int at = 0; at < count;) {
    const long r = plat::net_send_many(fd, batch.data() + at, count - at);
    at += r > 0 ? int(r) : 1;
  }
}
