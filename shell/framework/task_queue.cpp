// The slot table: state words, the text queue of each slot, the queueing rule that
// orders waiting slots (a pending redraw always last), the yield tests that long tasks
// ask between steps, the stop request, and the command target.
//
// Each slot's texts form a pair list of (live mark, heap text): a post appends a live
// entry, a start takes the oldest live one and marks it (0, null), and the list is
// emptied when its last entry is taken. A slot that starts with texts left over is
// posted again at once; that message arrives while its own task runs and puts the slot
// at the front (place 3), so one slot's texts run back to back.
#include <algorithm>

#include "core/command_hooks.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/pairlist.h"
#include "core/reader.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/task_state.h"

namespace task_detail {
slot_table& T() {
  static slot_table table;
  return table;
}
}  // namespace task_detail

using task_detail::T;
using task_detail::valid_slot;

namespace {

constexpr int kQueueReserve = 200;  // entries made room for at start-up
constexpr int kYieldFirst = 5;      // the yield cursor's round: slots 5..22
constexpr int kRedrawSlot = 4;

int state_of(int slot) { return T().state[slot].load(std::memory_order_acquire); }
void set_state(int slot, int value) { T().state[slot].store(value, std::memory_order_release); }

// Releases every live text of a queue and empties it (queue_lock held).
void drop_texts(pairlist* list) {
  const int n = pairlist_count(list);
  for (int i = 0; i < n; ++i) {
    std::intptr_t live = 0, text = 0;
    pairlist_get(list, i, &live, &text);
    char* p = reinterpret_cast<char*>(text);
    if (live) free_mem(&p);
  }
  pairlist_set_count(list, 0);
}

// The highest queued place among slots 1..22, at least 4.
int highest_place() {
  int m = 4;
  for (int s = 1; s < kCommandSlots; ++s) m = std::max(m, state_of(s));
  return m;
}

// A queued redraw takes the given place, behind every other queued slot.
void redraw_to(int place) {
  if (state_of(kRedrawSlot) >= 3) set_state(kRedrawSlot, place);
}

}  // namespace

void task_slots_init() {
  // The lower layers post and end their tasks through the core's table from now on.
  command_hooks& up = get_command_hooks();
  up.post_command = post_command;
  up.post_load_command = post_load_command;
  up.current_task_text = current_task_text;
  up.task_end = task_end;
  up.progress_file_position = progress_file_position;
  up.busy_tick = [](const char* kind) { busy_tick(0, kind, nullptr); };
  {
    std::lock_guard<std::mutex> lock(T().queue_lock);
    for (int s = 0; s < kCommandSlots; ++s) {
      pairlist*& q = T().queue[s];
      if (!q) {
        for (int i = 0; i < kQueueReserve; ++i) pairlist_add(&q, 0, 0);
      }
      drop_texts(q);
      set_state(s, 0);
    }
  }
  T().running.store(0);
  char* old = T().current.exchange(nullptr);
  free_mem(&old);
  T().stop.store(0);
  T().cursor.store(kYieldFirst);
  T().target.store(nullptr);
  T().target_wnd.store(nullptr);
  // The line store's housekeeping gives way to waiting commands through the yield test.
  get_line_store_hooks().user_work_pending = task_work_pending;
  // The short texts of the core and the drivers below the framework (the swap size, the
  // loggers' download steps) go to the progress window.
  get_line_store_hooks().progress_text = progress_pulse;
}

void set_command_target(obj_t* window_object, plat::Wnd wnd) {
  T().target.store(window_object);
  T().target_wnd.store(wnd);
}
obj_t* get_command_target() { return T().target.load(); }
plat::Wnd get_command_target_wnd() { return T().target_wnd.load(); }

int task_slot_state(int slot) { return valid_slot(slot) ? state_of(slot) : 0; }

int task_pick_next() {
  int best = 0, place = 0;
  for (int s = kCommandSlots - 1; s >= 2; --s) {
    const int st = state_of(s);
    if (st >= 3 && (best == 0 || st < place)) {
      best = s;
      place = st;
    }
  }
  return best;
}

int task_run_next() {
  const int slot = task_pick_next();  // never slot 1, whose post would close the files
  if (slot == 0) return 0;
  task_detail::post_now(slot, nullptr);
  return 1;
}

void task_queue_push(int slot, char* text) {
  if (!valid_slot(slot)) {
    free_mem(&text);
    return;
  }
  std::lock_guard<std::mutex> lock(T().queue_lock);
  pairlist_add(&T().queue[slot], 1, reinterpret_cast<std::intptr_t>(text));
}

char* task_queue_take(int slot) {
  if (!valid_slot(slot)) return nullptr;
  char* text = nullptr;
  bool more = false;
  {
    std::lock_guard<std::mutex> lock(T().queue_lock);
    pairlist* q = T().queue[slot];
    const int n = pairlist_count(q);
    for (int i = 0; i < n; ++i) {
      std::intptr_t live = 0, value = 0;
      pairlist_get(q, i, &live, &value);
      if (!live) continue;
      pairlist_set(q, i, 0, 0);
      text = reinterpret_cast<char*>(value);
      more = i != n - 1;
      if (!more) pairlist_set_count(q, 0);
      break;
    }
  }
  if (more) {
    // The next text gets a run of its own, right after this one.
    if (slot == 1) rd_close_all();
    task_detail::post_now(slot, nullptr);
  }
  return text;
}

int task_queue_length(int slot) {
  if (!valid_slot(slot)) return 0;
  std::lock_guard<std::mutex> lock(T().queue_lock);
  return pairlist_count(T().queue[slot]);
}

void task_requeue(int slot, int mode) {
  if (!valid_slot(slot)) return;
  const int st = state_of(slot);
  if (mode == 0) {
    if (task_queue_length(slot) == 0) {
      const int m = highest_place();
      set_state(slot, 0);
      redraw_to(m + 1);
      return;
    }
    if (st >= 3) return;
    mode = 3;
  }
  const int m = highest_place();
  if (st <= 2) {
    set_state(slot, m + 1);
    redraw_to(m + 2);
  } else {
    set_state(slot, 3);
    redraw_to(m + 1);
  }
}

void set_stop_request(int value) { T().stop.store(value ? 1 : 0, std::memory_order_release); }
int get_stop_request() { return T().stop.load(std::memory_order_acquire); }

int task_work_pending() {
  if (get_stop_request() == 1) return 0;
  // One slot per call, so a long loop pays little for asking often.
  int cur = T().cursor.load(std::memory_order_relaxed);
  int next;
  do {
    next = cur + 1 > kCommandSlots - 1 ? kYieldFirst : cur + 1;
  } while (!T().cursor.compare_exchange_weak(cur, next, std::memory_order_relaxed));
  return state_of(next) >= 3 ? 1 : 0;
}

int task_queue_nonempty() {
  if (get_stop_request() == 1) return 0;
  for (int s = 4; s < kCommandSlots; ++s)
    if (state_of(s) >= 3) return 1;
  return 0;
}
