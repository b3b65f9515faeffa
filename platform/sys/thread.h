// Threads of the system: started through one routine, counted while they live, and
// joined with a bound at exit so that the process never waits forever for a worker.
#pragma once
#include <cstdint>

namespace plat {

using thread_routine = void (*)(void* arg);

enum class thread_priority { normal, below_normal };

// Starts `routine(arg)` on a new detached-but-tracked thread. Returns false when the
// thread could not be created (it is not retried).
bool start_thread(thread_routine routine, void* arg, thread_priority priority);

// Number of threads started by start_thread that have not yet returned.
int live_threads();

// Waits until every started thread has returned or `bound_ms` has passed (real time).
// Returns true when none is left.
bool join_threads(int64_t bound_ms);

}  // namespace plat
