// Sender threads for a stream of datagrams that each go to the same set of UDP targets.
//
// A relay that receives sentence groups quickly spends nearly all its time in the nine
// (or so) sends of each group. qx_fanout takes that work off the caller: push() copies
// the group into a bounded ring and returns; a few sender threads, each owning a share
// of the targets, send every queued group to their targets in queue order. Every target
// gets the groups in the order they were pushed; nothing is promised between targets.
//
// Contract:
//   - One producer at a time: start, push, drain and stop are called by one thread at a
//     time (the destination lists call them under their own mutex).
//   - start(targets) waits until what was queued went out, then sends the next groups
//     to `targets`. The descriptors must stay open until the next start, drain or stop
//     has returned.
//   - push waits for room while the ring is full (the senders always move on: each send
//     waits at most the platform's bound for a full send buffer); when the ring stays
//     full for kQxFanoutRoomWaitMs the group is dropped and counted in dropped().
//   - drain returns once every pushed group has been sent to every target (so a caller
//     can send something of its own afterwards, in order); stop drains and ends the
//     threads. The destructor stops.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/net.h"

// How long push waits for room in a full ring before it drops the group (real time: it
// waits for the sender threads, not for a time-out of the protocol).
constexpr int kQxFanoutRoomWaitMs = 1000;

struct qx_fanout_target {
  int fd = -1;          // an open UDP descriptor
  plat::net_addr to;    // where its copy goes
};

class qx_fanout {
 public:
  // `senders` threads (at least 1) over a ring of `capacity` groups (at least 1).
  explicit qx_fanout(int senders = 3, int capacity = 1024);
  ~qx_fanout();
  qx_fanout(const qx_fanout&) = delete;
  qx_fanout& operator=(const qx_fanout&) = delete;

  // Drains, then sends the next groups to `targets`; starts the threads on first use.
  // False when no thread could be started (nothing is queued then).
  bool start(std::vector<qx_fanout_target> targets);
  // Queues one group for every target; false when it was dropped (or not started).
  bool push(const char* data, int length);
  // Waits until every queued group went out.
  void drain();
  // Drains and ends the threads (start may be called again later).
  void stop();

  bool running() const;
  // Groups dropped because the ring stayed full, and groups queued, since construction.
  long dropped() const;
  long pushed() const;

 private:
  void run(int share);
  static void send_all(int fd, const std::vector<plat::net_datagram>& batch);
  uint64_t slowest_locked() const;

  const int senders_;
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable work_;   // senders wait here for groups
  std::condition_variable room_;   // the producer waits here for room or the drain
  std::vector<std::string> ring_;  // slot i % capacity_ holds group i
  std::vector<uint64_t> done_;     // per sender: the groups before this one are sent
  std::vector<qx_fanout_target> targets_;
  std::vector<std::thread> threads_;
  uint64_t head_ = 0;              // groups pushed
  int idle_ = 0;                   // senders waiting on work_
  bool producer_waiting_ = false;
  bool quit_ = false;
  long dropped_ = 0;
};
