// The shared state of the progress window and the activity indicator, for the files
// that implement them (not part of the framework's interface).
#pragma once
#include <atomic>
#include <cstdint>
#include <limits>

#include "platform/ui/types.h"

struct progress_state {
  std::atomic<plat::Wnd> wnd{nullptr};
  std::atomic<int> enabled{0};
  std::atomic<int> shown{0};
  // Monotonic clock readings (ms): creation (or last text), last update, elapsed clock.
  std::atomic<int64_t> created_ms{0};
  std::atomic<int64_t> last_update_ms{std::numeric_limits<int64_t>::min() / 2};
  std::atomic<int64_t> clock_ms{0};
};

progress_state& progress_globals();
// True when a progress step may update the window now.
bool progress_step_due(int64_t now_ms);
void busy_state_reset();
