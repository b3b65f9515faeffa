// Starting worker threads and short sleeps. Every worker of the system goes through
// start_thread, so that one configuration key ("MONOTHREAD") can make the whole
// program run its tasks one after another on the caller's thread, which is how faults
// of the threaded paths are told apart from faults of the work itself.
//
// The argument is handed to the routine: once start_thread returns 1 the routine has
// it (and has already run under "MONOTHREAD"); when it returns 0 the routine never
// ran and the argument is still the caller's to release. A started thread is counted
// by the platform until its routine returns, so the exit can join it with a bound; a
// routine run on the caller's thread is over before start_thread returns and is never
// counted.
#include "core/worker.h"

#include "core/config.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"

int start_thread(worker_routine routine, void* arg, int priority) {
  if (!routine) return 0;
  if (config_monothread()) {
    // The routine runs to its end here; nothing waits for a thread that does not exist.
    routine(arg);
    return 1;
  }
  const plat::thread_priority level =
      priority >= 0 ? plat::thread_priority::normal : plat::thread_priority::below_normal;
  return plat::start_thread(routine, arg, level) ? 1 : 0;
}

void sleep_ms(int64_t n) { plat::sleep_ms(n < 1 ? 1 : n); }
