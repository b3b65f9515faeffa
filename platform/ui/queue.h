// The message queue and the message loop. There is one queue, owned by the user-
// interface thread: the thread that first creates a window or calls set_ui_thread.
//
// Order in which get_message / peek_message hand out work: messages sent from other
// threads are delivered first (inside the call, straight to their procedures); then
// posted and input messages in the order they were queued; then WM_QUIT once the
// posted ones are gone; then WM_PAINT for a window with an invalid region; then WM_TIMER
// for a timer that is due. WM_PAINT and WM_TIMER are made when they are asked for, so
// there is never more than one pending per window or per timer.
//
// Waiting never spins: without a presenter the loop sleeps on a condition variable
// that posts, sends and timer changes wake; with one, it waits through the
// presenter's event wait, which the same events end.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/ui/types.h"

namespace plat {

// The user-interface thread. set_ui_thread makes the calling thread own the queue.
void set_ui_thread();
bool on_ui_thread();
// Forgets every window, class, queued message, timer, menu, table, hook and the
// presenter, without sending anything, and forgets the user-interface thread. Threads
// waiting in send_message are released with 0. For tests and the end of a run.
void ui_reset();

// Posting (any thread). False for a window that does not exist. A null window posts a
// message to the thread itself, as post_thread_message does.
bool post_message(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);
bool post_thread_message(uint32_t msg, WParam wparam, LParam lparam);
void post_quit_message(int exit_code);

// Sending: on the user-interface thread the procedure is called at once; from another
// thread the message is handed to the user-interface thread and the caller waits for
// the result. 0 for a window that does not exist.
LResult send_message(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);

// Retrieval, on the user-interface thread. A filter window takes its messages and its
// descendants'; a range of 0, 0 takes every message. get_message blocks until a
// message comes and returns 0 for WM_QUIT (-1 for a filter window that does not exist).
int get_message(Msg* msg, Wnd filter, uint32_t min, uint32_t max);
bool peek_message(Msg* msg, Wnd filter, uint32_t min, uint32_t max, unsigned remove);
// The message being handled (the last one get_message or peek_message with PM_REMOVE
// took): the cursor position on the screen and the clock reading (ms) when it was
// queued. Unlike get_cursor_pos, the position stays that of the message however far the
// mouse has moved on since.
Point get_message_pos();
uint32_t get_message_time();
// WM_KEYDOWN / WM_SYSKEYDOWN of a key that types a character queue a WM_CHAR /
// WM_SYSCHAR right after it. True when a character was queued.
bool translate_message(const Msg* msg);
// Calls the message's window procedure (or a timer's procedure); 0 for a message
// whose window no longer exists.
LResult dispatch_message(const Msg* msg);
// Blocks until something is queued, sent, or a timer falls due (or `timeout_ms` of
// the clock passes when it is not negative).
void wait_message(int64_t timeout_ms = -1);
// True when get_message would return at once without blocking.
bool queue_has_work();

// For the user-interface thread while it waits for another thread (a worker task):
// waits until `done` answers true or `timeout_ms` of the clock passes (negative: no
// limit), delivering meanwhile the messages other threads send, so that a worker that
// sends to a window cannot deadlock against it. Posted messages stay queued. Returns
// the last answer of `done`. On any other thread it simply polls `done`.
bool wait_servicing_sends(const std::function<bool()>& done, int64_t timeout_ms = -1);

// Modal loops. run_modal_loop dispatches messages (accelerators aside) until end_modal
// is called for `wnd`, `wnd` is destroyed, or WM_QUIT arrives (it is then posted again
// for the outer loop); it returns the code given to end_modal, else `if_gone`.
// Without a presenter, when the queue falls idle, the modal hook (below) is asked to
// act; when it does nothing `headless_idle(wnd)` gives the default answer (WM_CLOSE to
// the window when null), and if even that changes nothing the loop ends with `if_gone`.
// `filter`, when given, sees each message first (a dialog's own keys: Tab, Enter,
// Escape); a message it answers true for is neither translated nor dispatched.
using ModalFilter = bool (*)(Wnd modal, const Msg* msg);
intptr_t run_modal_loop(Wnd wnd, intptr_t if_gone, void (*headless_idle)(Wnd) = nullptr,
                        ModalFilter filter = nullptr);
void end_modal(Wnd wnd, intptr_t code);
// Called with the window each time a modal loop without a presenter finds the queue
// idle; returns true when it queued something (the test harness answers this way).
void set_modal_idle_hook(std::function<bool(Wnd)> hook);

}  // namespace plat
