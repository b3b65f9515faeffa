// The message loops the programs share: the windowed loop, the headless run that ends
// once every command has ended and leaves a picture of the main window, the bounded
// join of worker threads at exit, and the command line rebuilt from the program's words.
#pragma once
#include <string>

#include "platform/ui/queue.h"
#include "platform/ui/types.h"

// One message as a program handles it (its accelerators first, then translation and
// dispatch).
using program_message_fn = void (*)(const plat::Msg& msg);
// The window whose picture a headless run writes, asked for once the run has ended.
using program_window_fn = plat::Wnd (*)();

// No task runs, every command slot is idle, no worker thread is left and nothing waits
// in the queue.
bool program_commands_done();
// Handles messages until WM_QUIT: its code, or 1 when the queue fails.
int program_run_message_loop(program_message_fn handle);
// Handles messages until WM_QUIT (its code) or until every command has ended; then
// writes the picture of `window` to `picture_path` (nothing when it is empty or null):
// 0, or 1 with a line naming the program on stderr when the picture cannot be written.
int program_run_headless(program_message_fn handle, program_window_fn window, const char* picture_path,
                         const char* app_name);
// Waits (real time, at most bound_ms) until no worker thread but the caller is left,
// answering the messages they send meanwhile.
void program_join_workers(int bound_ms);
// The words after the program's name as one command line: a word with a blank in it,
// or an empty one, between double quotes.
std::string program_command_line(int argc, const char* const* argv);
