// The dispatcher's process-wide state, shared by its source files: the state words of
// the slots, their text queues, the running slot, the current task text, the stop
// request, the yield cursor and the command target.
//
// Posting runs on any thread and the yield tests on worker threads, so every word here
// is atomic; the text queues are pair lists that a worker's post may fill before the
// target window exists, so they are reached only under queue_lock.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "shell/framework/dispatcher.h"

struct pairlist;

namespace task_detail {

struct slot_table {
  std::atomic<int32_t> state[kCommandSlots] = {};
  std::mutex queue_lock;
  pairlist* queue[kCommandSlots] = {};  // (live mark, heap text) pairs, under queue_lock
  std::atomic<int> running{0};
  std::atomic<char*> current{nullptr};
  std::atomic<int> stop{0};
  std::atomic<int> cursor{5};
  std::atomic<obj_t*> target{nullptr};
  std::atomic<plat::Wnd> target_wnd{nullptr};
};

slot_table& T();

inline bool valid_slot(int slot) { return slot >= 0 && slot < kCommandSlots; }

// The worker routine used where a subsystem left its routine unset: it only ends the task.
void task_finish(void* unused);

// Posts a slot now with a heap text it takes over (or null): state 1, then delivery.
// When no message went out, the state goes back to 0. Returns what send_command does.
int post_now(int slot, char* text);

}  // namespace task_detail
