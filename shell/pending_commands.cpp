// Stand-ins for the routines of parts of the program that are not in this build yet
// (see pending_commands.h). Each reports itself to the observer and does nothing more,
// so that a menu command, a key or a mouse action reaches its place already now.
#include "shell/pending_commands.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "platform/ui/messages.h"
#include "map/file_object.h"
#include "shell/framework/dispatcher.h"

namespace {

std::atomic<pending_call_observer> g_observer{nullptr};

// Tells the observer that `routine` was reached, with its arguments formatted.
void pending_reached(const char* routine, const char* fmt, ...) {
  pending_call_observer fn = g_observer.load(std::memory_order_acquire);
  if (!fn) return;
  char args[256] = "";
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(args, sizeof args, fmt, ap);
  va_end(ap);
  fn(routine, args);
}


}  // namespace

void set_pending_call_observer(pending_call_observer fn) {
  g_observer.store(fn, std::memory_order_release);
}

// ---- GPS and navigation ----------------------------------------------------------------------
void navig_stop() { pending_reached("navig_stop", ""); }
int navig_title_active() { return 0; }
void navig_track_folder(obj_t** out) {
  if (out) *out = nullptr;
  pending_reached("navig_track_folder", "");
}
