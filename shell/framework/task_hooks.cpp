// The routines through which the dispatcher reaches what it does not own: the program's
// per-slot action table and the display subsystems (redraw pass, printing, image
// overviews, map-window scrolling, frame title and status text). They are filled at
// start-up; until then each is taken as doing nothing, and a worker routine as one
// that only ends its task, so that the dispatcher never waits for a task that never ends.
#include "shell/framework/dispatcher.h"
#include "shell/framework/task_state.h"

namespace {
dispatcher_hooks g_hooks;
}  // namespace

dispatcher_hooks& get_dispatcher_hooks() { return g_hooks; }

void set_run_command(void (*routine)(int slot)) { g_hooks.run_command = routine; }

void dispatcher_hooks_reset() { g_hooks = dispatcher_hooks{}; }

namespace task_detail {
void task_finish(void*) { task_end(); }
}  // namespace task_detail
