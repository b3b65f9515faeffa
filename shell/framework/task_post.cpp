// Posting commands, from any thread: the state word of the slot is written first, then
// the command is delivered as a WM_USER message to the command target's window (the
// slot in wParam, the address of a heap text or 0 in lParam). A delayed post hands its
// slot, delay and text to a short thread in a small heap record, so the text's full
// address travels intact; the thread sleeps on the platform clock and then delivers.
// Before the target window exists, a text is kept in its slot's queue instead.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "core/memory.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "core/worker.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/task_state.h"

using task_detail::T;
using task_detail::valid_slot;

namespace {

// What a delay thread receives: it owns the record and the text in it.
struct delayed_post {
  int slot;
  int64_t delay_ms;
  char* text;
};

void log_bad_slot(const char* what, int slot) {
  char line[96];
  std::snprintf(line, sizeof line, "%s: command slot %d out of range", what, slot);
  log_error_line(line);
}

// After a delivery: when no message went out (no window yet), the slot is not left
// looking posted, which would make later delayed posts of it be dropped.
int settle(int slot, int sent) {
  if (sent != 1) T().state[slot].store(0);
  return sent;
}

}  // namespace

int send_command(int slot, int64_t delay_ms, char* text) {
  if (!valid_slot(slot)) {
    log_bad_slot("send_command", slot);
    free_mem(&text);
    return 0;
  }
  if (delay_ms <= 0) {
    plat::Wnd wnd = T().target_wnd.load();
    if (wnd && plat::post_message(wnd, kCommandMessage, plat::WParam(slot),
                                  reinterpret_cast<plat::LParam>(text)))
      return 1;
    if (!text) return 0;
    task_queue_push(slot, text);  // it runs when the slot is next dispatched
    return 2;
  }
  auto* record = new delayed_post{slot, delay_ms, text};
  if (start_thread(task_delayed_post, record, 0)) return 1;
  // No thread for the delay: delivering now is better than losing the command.
  delete record;
  return send_command(slot, 0, text);
}

void task_delayed_post(void* arg) {
  auto* record = static_cast<delayed_post*>(arg);
  const delayed_post post = *record;
  delete record;
  sleep_ms(post.delay_ms);
  if (send_command(post.slot, 0, post.text) != 1) {
    int delayed = 2;  // nothing went out: the slot is no longer waiting for its message
    T().state[post.slot].compare_exchange_strong(delayed, 0);
  }
}

int task_detail::post_now(int slot, char* text) {
  T().state[slot].store(1);
  return settle(slot, send_command(slot, 0, text));
}

int post_command(int slot, int64_t delay_ms, const char* text) {
  if (!valid_slot(slot)) {
    log_bad_slot("post_command", slot);
    return 0;
  }
  if (slot == 1) rd_close_all();
  if (delay_ms < 0) delay_ms = 0;
  // A repeated delayed post without argument adds nothing to the one on its way.
  if (T().state[slot].load() != 0 && delay_ms != 0 && !text) return 0;
  char* copy = nullptr;
  if (text) str_set(text, &copy);
  if (delay_ms == 0) return task_detail::post_now(slot, copy);
  T().state[slot].store(2);
  return settle(slot, send_command(slot, delay_ms, copy));
}

int post_command_simple(int slot) { return post_command(slot, 0, nullptr); }

int post_command_number(int slot, int64_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRId64, number);
  return post_command(slot, 0, text);
}

void post_redraw() { post_command_simple(4); }

void post_load_command(const char* path, int fit) {
  if (!path) return;
  char* text = nullptr;
  str_set(fit == 1 ? "1" : "0", &text);
  str_cat(path, &text);
  task_detail::post_now(14, text);
}

void task_end() { post_command_simple(1); }
