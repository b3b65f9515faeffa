// The command dispatcher: numbered commands (slots 0 to 22) with an optional text,
// posted from any thread as WM_USER messages to the command target's window and run
// one at a time on the user-interface thread, either there or as a worker task.
//
// How the parts fit:
// - task_post.cpp: posting (now, or after a delay through a short thread) and the
//   delivery of a posted command to the command target's window.
// - task_queue.cpp: the slot table (state words, text queues), the queueing rule that
//   keeps a pending redraw last, the yield tests and the stop request.
// - task_dispatch.cpp: the dispatcher itself, the end of a task, the starting of
//   worker tasks, and the slots the dispatcher handles itself (2, 4, 5, 6, 7, 8).
// - task_hooks.cpp: the routines through which the dispatcher reaches the program's
//   own action table and the display subsystems; each defaults to one that does nothing.
// - job_queue.cpp: the small last-in-first-out job queue of long-lived workers.
//
// A slot's state word: 0 idle, 1 posted, 2 posted with a delay, 3 or more queued (the
// number is its place: smaller runs first). Every task ends by posting slot 1 (the end
// of task) as its very last action: task_end does that for a worker.
#pragma once
#include <cstdint>

#include "core/worker.h"
#include "platform/ui/types.h"

struct obj_t;

constexpr int kCommandSlots = 23;
constexpr uint32_t kCommandMessage = 1024;  // WM_USER: wParam the slot, lParam the text

// ---- Routines reached by the dispatcher ----------------------------------------------------
// Filled by the program and the subsystems when they start. A null field counts as the
// default: nothing is done, and a worker routine just ends its task (task_end).
struct dispatcher_hooks {
  // The program's per-slot action, on the user-interface thread. It is called for every
  // slot but 0, 1, 2, 4, 5, 6, 7 and 8, with the slot's text as current_task_text. To run
  // a worker it calls task_start; when it returns without one, the dispatcher ends the
  // command (slot 1) itself.
  void (*run_command)(int slot) = nullptr;
  // Worker routines of slots 4 (the redraw pass) and 8 (printing). Each ends with
  // task_end (the redraw pass first posts slot 9 when the stop request was set).
  worker_routine redraw_run = nullptr;
  worker_routine print_run = nullptr;
  // User-interface thread: pending invalid rectangles into pane redraws; pending
  // scrolls of every map window; dirty map windows into redraw requests.
  void (*redraw_schedule)() = nullptr;
  void (*mapwin_apply_scroll)() = nullptr;
  void (*redraw_dirty_mapwins)() = nullptr;
  // Steps of the background task of slot 2 (worker thread): the overviews of queued
  // images, then the release of idle views of images read through the ECW library.
  void (*overviews_build)() = nullptr;
  void (*ecw_idle_views)() = nullptr;
  // The frame's status text (null: empty) and its title.
  void (*main_set_status_text)(const char* text) = nullptr;
  void (*update_main_title)() = nullptr;
};
// The routines in force (one process-wide set, written at start-up on the
// user-interface thread, before any command runs).
dispatcher_hooks& get_dispatcher_hooks();
// Installs the program's per-slot action table (null: none).
void set_run_command(void (*routine)(int slot));
// Every routine back to its default (tests).
void dispatcher_hooks_reset();

// ---- Start-up and the command target -------------------------------------------------------
// Every state 0, every text queue emptied (texts still held are released), no task
// running, no current text, stop request 0, yield cursor 5, no command target. Also
// makes the line store's housekeeping give way through task_work_pending, and fills the
// core's command hooks so that the layers below post, load and end tasks through here.
void task_slots_init();
// The window object that receives posted commands, and its window. Until its window
// exists, commands posted without delay keep their text in their slot's queue.
void set_command_target(obj_t* window_object, plat::Wnd wnd);
obj_t* get_command_target();
plat::Wnd get_command_target_wnd();

// ---- Posting (any thread) ------------------------------------------------------------------
// Posts a slot, now (delay 0) or after `delay_ms`; the text (may be null) is copied.
// Posting slot 1 first closes every open reader file. A delayed post without text of a
// slot that is not idle is dropped. Returns 1 when sent, 2 when (before the target
// window exists) only the text was kept in the slot's queue, 0 when dropped or when the
// slot is outside 0..22. The slot's state stays 1 (or 2) only when a message is on its way.
int post_command(int slot, int64_t delay_ms, const char* text);
int post_command_simple(int slot);                   // post_command(slot, 0, null)
int post_command_number(int slot, int64_t number);   // the number in decimal as text
void post_redraw();                                  // slot 4 now, no text
// Slot 14 now with "1" + path (fit to the loaded data afterwards) or "0" + path.
void post_load_command(const char* path, int fit);
// Delivery only, no state change; takes the heap text (owned, may be null). Delay 0:
// WM_USER to the target's window, or, before it exists, the text goes to the slot's
// queue (a null text is dropped). Otherwise a short thread sleeps the delay and then
// delivers. Returns 1 when sent, 2 when the text was queued, 0 when dropped.
int send_command(int slot, int64_t delay_ms, char* text);
// The delay thread's routine; `record` is its heap record (slot, delay, text).
void task_delayed_post(void* record);

// ---- The worker side -----------------------------------------------------------------------
// Ends a task: closes every open reader file, state of slot 1 := 1, sends slot 1 now.
// It must be the task's very last action.
void task_end();
// Starts a worker task for a slot: running slot := slot, start_thread(routine, 0, 0).
// When the thread cannot be started the task is ended at once (slot 1); result 0.
int task_start(int slot, worker_routine routine);
// The text of the running command (owned by the dispatcher; null when none).
const char* current_task_text();

// ---- The dispatcher (user-interface thread) ------------------------------------------------
// Handles one command; owns `text` (a heap text or null).
void task_dispatch(int slot, char* text);
// The frame window procedure's WM_USER case: the slot in wParam, the text in lParam. A
// slot outside 0..22 is ignored (its lParam is not one of ours and is not touched).
void task_dispatch_message(plat::WParam wparam, plat::LParam lparam);
// The running slot: 0 none, -1 a command on the user-interface thread, else the slot of
// the worker task (1 while slot 7 waits for its delayed end).
int task_running_slot();

// ---- Slot table and queue ------------------------------------------------------------------
int task_slot_state(int slot);  // the state word; 0 for a slot outside 0..22
// The slot among 2..22 with the smallest queued place (highest slot on a tie); 0 none.
int task_pick_next();
// Posts the slot task_pick_next finds (state 1) and returns 1; else 0.
int task_run_next();
// Appends a live text (ownership passes to the queue).
void task_queue_push(int slot, char* text);
// The oldest live text of the slot (the caller owns it), null when none. When more
// remain the slot is posted again at once, so that each text gets its own run.
char* task_queue_take(int slot);
// Entries in the slot's queue (taken ones included until it is emptied).
int task_queue_length(int slot);
// Queue bookkeeping after a slot was started (mode 0) or arrived while busy (mode 3).
void task_requeue(int slot, int mode);

// ---- Yield tests and the stop request (any thread) -----------------------------------------
void set_stop_request(int value);
int get_stop_request();
// Looks at one slot of 5..22 per call (round robin): 1 when it is queued. Always 0
// while the stop request is 1.
int task_work_pending();
// 1 when any of slots 4..22 is queued; 0 while the stop request is 1.
int task_queue_nonempty();

// ---- Job queue -----------------------------------------------------------------------------
// A last-in-first-out queue of (a, b) jobs served by one worker at a time. Whenever a
// job is pushed while no worker serves the queue, a thread is started (start_thread)
// that calls routine(queue); the routine pops until job_queue_pop answers 0 and then
// returns. Should a job have come in meanwhile, the routine is called again on the same
// thread; the queue counts the worker gone only once its routine has returned with no
// job left, so the next push then starts a new one.
struct job_queue;
// Appends a job, creating the queue on first use. Returns 1, or 0 when the worker had to
// be started and could not be (the job stays queued for the next push).
int job_queue_push(worker_routine routine, job_queue** queue, intptr_t a, intptr_t b);
// Takes the most recently pushed job: 1, or 0 when the queue is empty (or null).
int job_queue_pop(job_queue* queue, intptr_t* a, intptr_t* b);
// Jobs waiting in the queue (0 for null).
int job_queue_count(job_queue* queue);
// Frees the queue; no worker may be serving it (join the worker threads first).
void job_queue_free(job_queue** queue);
