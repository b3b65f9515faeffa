// Worker threads of the system: every one is started by start_thread, which runs the
// routine on the caller's thread instead when the configuration holds "MONOTHREAD".
#pragma once
#include <cstdint>

using worker_routine = void (*)(void* arg);

// priority >= 0: normal, < 0: below normal. Returns 1 when the thread was started (or,
// under MONOTHREAD, when the routine has run): the routine then owns `arg`. Returns 0
// when it could not be started: the routine never ran and the caller keeps `arg`.
int start_thread(worker_routine routine, void* arg, int priority);
// Sleeps n milliseconds, at least 1, through the platform clock.
void sleep_ms(int64_t n);
