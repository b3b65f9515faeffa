// Commands posted from below the application framework. The map model (and the readers
// above it) post commands, queue loads and end their tasks, but the command dispatcher
// lives in the framework, a layer higher. This table is the way up: the dispatcher fills
// it when it starts (task_slots_init), and until then a post is dropped, a load is not
// queued, there is no current task text and ending a task does nothing, which is what a
// headless tool or a test of the lower layers wants.
#pragma once

#include <cstdint>

struct command_hooks {
  // Posts a command slot now (delay 0) or after delay_ms, with a copied text (may be
  // null). Returns as the dispatcher's post_command does: 1 sent, 2 kept, 0 dropped.
  int (*post_command)(int slot, int64_t delay_ms, const char* text) = nullptr;
  // Queues the load of a file or web address; fit: 1 fits the view to it.
  void (*post_load_command)(const char* path, int fit) = nullptr;
  // The text of the command the calling task runs (null: none).
  const char* (*current_task_text)() = nullptr;
  // Ends the calling task: its last action.
  void (*task_end)() = nullptr;
  // Shows "<text> NN%" for the read position of the reader's current file in the
  // progress window (readers call it as they go; throttled by the window).
  void (*progress_file_position)(const char* text) = nullptr;
  // Steps the activity indicator of the frame's status text ("ZIP": "ZIP SURF"), at
  // most once a second. The framework's indicator ends the program on a pending error
  // code, so the caller ticks only while none is set.
  void (*busy_tick)(const char* kind) = nullptr;
};

// The routines in force: one process-wide set, written on the user-interface thread
// before any task runs and read by every thread after that.
command_hooks& get_command_hooks();

// The calls through the table, each harmless while its slot is empty.
int core_post_command(int slot, int64_t delay_ms, const char* text);
void core_post_load_command(const char* path, int fit);
const char* core_current_task_text();
void core_task_end();
void core_progress_file_position(const char* text);
// Does nothing while an error code is set.
void core_busy_tick(const char* kind);
