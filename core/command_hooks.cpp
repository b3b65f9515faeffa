// The table through which the lower layers reach the command dispatcher (see
// command_hooks.h), with its empty defaults.
#include "core/command_hooks.h"

#include "core/error.h"

command_hooks& get_command_hooks() {
  static command_hooks hooks;
  return hooks;
}

int core_post_command(int slot, int64_t delay_ms, const char* text) {
  const command_hooks& h = get_command_hooks();
  return h.post_command ? h.post_command(slot, delay_ms, text) : 0;
}

void core_post_load_command(const char* path, int fit) {
  const command_hooks& h = get_command_hooks();
  if (h.post_load_command) h.post_load_command(path, fit);
}

const char* core_current_task_text() {
  const command_hooks& h = get_command_hooks();
  return h.current_task_text ? h.current_task_text() : nullptr;
}

void core_task_end() {
  const command_hooks& h = get_command_hooks();
  if (h.task_end) h.task_end();
}

void core_progress_file_position(const char* text) {
  const command_hooks& h = get_command_hooks();
  if (h.progress_file_position) h.progress_file_position(text);
}

void core_busy_tick(const char* kind) {
  const command_hooks& h = get_command_hooks();
  if (h.busy_tick && get_gblerr() == 0) h.busy_tick(kind);
}
