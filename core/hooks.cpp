// Default user-interface and exit hooks of the core (see hooks.h).
#include "core/hooks.h"

#include <cstdio>
#include <cstdlib>

core_hooks& get_core_hooks() {
  static core_hooks hooks;
  return hooks;
}

void core_message_box(const char* text, const char* caption) {
  core_hooks& h = get_core_hooks();
  if (h.message_box) {
    h.message_box(text, caption);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
}

void core_exit(int code) {
  core_hooks& h = get_core_hooks();
  if (h.exit_program) h.exit_program(code);
  // The hook must not return; if it does, end the process all the same.
  std::exit(code);
}
