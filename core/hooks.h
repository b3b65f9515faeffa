// Hooks through which the core reaches the user interface and the program's exit
// routine, which live in the application shell. The shell fills them at start-up;
// until then (and in tests and headless tools) the defaults apply: a message goes to
// standard error and the trace log, and the exit routine ends the process.
#pragma once

struct core_hooks {
  // Shows a modal message box owned by the frame window. Null: print to stderr.
  void (*message_box)(const char* text, const char* caption) = nullptr;
  // The program's exit routine; must not return. Null: std::exit(code).
  void (*exit_program)(int code) = nullptr;
};

// The hooks in force (one process-wide set, written once at start-up).
core_hooks& get_core_hooks();

// Shows a message through the hook (stderr without one).
void core_message_box(const char* text, const char* caption);

// Runs the exit routine of the hook (std::exit without one). Never returns.
[[noreturn]] void core_exit(int code);
