// The dispatcher: runs one posted command at a time on the user-interface thread.
//
// A command that arrives while a task runs is queued by the rule of task_queue.cpp
// (slot 2, the background overviews, is dropped instead); an idle dispatcher takes the
// slot's oldest text as the current task text and runs the slot's case: the slots the
// framework handles itself are below, every other goes to the program's action table.
// A command that ran on this thread is ended here; a worker task ends itself with
// task_end. The end of a task (slot 1) starts the next queued slot, or else slot 2.
#include "core/line_store.h"
#include "core/memory.h"
#include "core/reader.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/task_state.h"
#include "shell/framework/winutil.h"

using task_detail::T;
using task_detail::valid_slot;

namespace {

constexpr int kEndOfTask = 1;
constexpr int kOverviewSlot = 2;
constexpr int kRedrawSlot = 4;
constexpr int kEndDelayMs = 300;  // slot 7's delayed end

dispatcher_hooks& H() { return get_dispatcher_hooks(); }

template <class F, class... A> void call(F routine, A... args) {
  if (routine) routine(args...);
}

// The background task of slot 2: image overviews, line-store housekeeping, idle views
// of ECW images, then every reader file closed. Ends the task as its last action.
void task_overviews(void*) {
  call(H().overviews_build);
  filemobj_compact_use_list();
  call(H().ecw_idle_views);
  task_end();  // also closes every open reader file
}

worker_routine or_finish(worker_routine routine) {
  return routine ? routine : task_detail::task_finish;
}

// Slots 4, 5 and 6 end here: the title, then the redraw pass as a worker.
void start_redraw() {
  call(H().update_main_title);
  task_start(kRedrawSlot, or_finish(H().redraw_run));
}

void case_overviews() {
  // Between tasks: a waiting command goes first; the overviews run only when none waits.
  T().running.store(0);
  if (task_run_next()) return;
  task_start(kOverviewSlot, task_overviews);
}

void case_scroll() {
  call(H().mapwin_apply_scroll);
  call(H().redraw_schedule);
  start_redraw();
}

void case_dirty() {
  const char* text = current_task_text();
  if (text && text[0] == '1') set_stop_request(1);  // draw to the end without giving way
  call(H().redraw_dirty_mapwins);
  call(H().redraw_schedule);
  start_redraw();
}

void case_delayed_end() {
  T().running.store(kEndOfTask);
  rd_close_all();
  int idle = 0;
  if (T().state[kEndOfTask].compare_exchange_strong(idle, 2))
    send_command(kEndOfTask, kEndDelayMs, nullptr);
}

void case_print() { task_start(8, or_finish(H().print_run)); }

// Runs the slot's case; false when the slot belongs to the program's table.
bool run_own_case(int slot) {
  switch (slot) {
    case 2: case_overviews(); return true;
    case 4: start_redraw(); return true;
    case 5: case_scroll(); return true;
    case 6: case_dirty(); return true;
    case 7: case_delayed_end(); return true;
    case 8: case_print(); return true;
    default: return false;
  }
}

void end_of_task() {
  T().state[kEndOfTask].store(0);  // its message has arrived: slot 1 is idle again
  progress_close();
  set_busy_cursor(1);
  const int ended = T().running.exchange(0);
  busy_reset();
  if (task_run_next() || ended == kOverviewSlot) return;
  // Nothing waits: the background overviews run (their own end does not post them again).
  task_detail::post_now(kOverviewSlot, nullptr);
}

void start_idle(int slot) {
  T().running.store(-1);
  char* old = T().current.exchange(task_queue_take(slot));
  free_mem(&old);
  task_requeue(slot, 0);
  call(H().redraw_schedule);
  if (!run_own_case(slot)) call(H().run_command, slot);
  if (T().running.load() == -1) task_end();  // the command ran here: end it now
}

}  // namespace

int task_start(int slot, worker_routine routine) {
  T().running.store(slot);
  if (start_thread(routine, nullptr, 0)) return 1;
  task_end();  // no thread: end at once so that the dispatcher never stays busy
  return 0;
}

const char* current_task_text() { return T().current.load(std::memory_order_acquire); }

int task_running_slot() { return T().running.load(); }

void task_dispatch(int slot, char* text) {
  if (!valid_slot(slot)) {
    free_mem(&text);
    return;
  }
  call(H().main_set_status_text, "");
  restore_focus();
  if (slot == kEndOfTask) {
    free_mem(&text);
    end_of_task();
    return;
  }
  set_busy_cursor(0);
  if (slot < 3) {
    // Wake-ups and the background task carry no text; their message has arrived.
    free_mem(&text);
    if (slot == 0) {
      T().state[0].store(0);
      return;
    }
  } else if (text) {
    task_queue_push(slot, text);
  }
  if (T().running.load() != 0) {
    if (slot == kOverviewSlot)
      T().state[kOverviewSlot].store(0);  // dropped: posted again after the next task
    else
      task_requeue(slot, 3);
    return;
  }
  start_idle(slot);
}

void task_dispatch_message(plat::WParam wparam, plat::LParam lparam) {
  if (wparam >= plat::WParam(kCommandSlots)) return;
  task_dispatch(int(wparam), reinterpret_cast<char*>(lparam));
}
