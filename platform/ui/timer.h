// Timers. A timer falls due `interval` ms of the process clock (platform/sys/clock.h,
// so virtual time in tests) after it was set or last delivered; a due timer makes one
// WM_TIMER when the queue has nothing else, and is rescheduled when that message is
// taken. A late timer therefore never piles messages up.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// Sets (or resets) timer `id` of a window; a null window makes a thread timer whose id
// is chosen here. Intervals below 10 ms count as 10. Returns the id, 0 on failure.
uintptr_t set_timer(Wnd wnd, uintptr_t id, uint32_t interval_ms, TimerProc proc);
bool kill_timer(Wnd wnd, uintptr_t id);
// The clock reading at which the next timer falls due; false when there is none.
bool next_timer_due(int64_t* due_ms);

}  // namespace plat
