// The current map window: the window object of the map child window of the frame,
// or a printer page while it prints. The user-interface thread sets it; the redraw and
// print tasks read it, so it is handed over atomically.
#include <atomic>

#include "map/view_records.h"

namespace {
std::atomic<mapwin_t*> g_current{nullptr};
}

mapwin_t* get_current_mapwin() { return g_current.load(std::memory_order_acquire); }

void set_current_mapwin(mapwin_t* win) { g_current.store(win, std::memory_order_release); }
