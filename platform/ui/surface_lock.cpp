// The lock over a top-level window's surface. One thread at a time draws into a
// surface (nested holds by that thread count up), a device context holding it from
// get_dc/begin_paint until release_dc/end_paint.
//
// The user-interface thread must never wait for a thread that waits for it. A worker
// that holds a surface and hands a call to the user-interface thread is blocked until
// that call returns, so while the call runs the surface is lent to the user-interface
// thread: it draws at once instead of waiting (the lent holds are counted apart, and a
// new holder waits for them too). What is taken on loan is given back before the call
// returns (service_sends checks it), since the owner draws on as soon as it does. For
// any other holder the user-interface thread keeps delivering sent messages while it
// waits, since the holder may send one next.
#include <cassert>
#include <thread>

#include "platform/ui/ui_state.h"

namespace plat::ui_detail {

namespace {

thread_local int t_lent_holds = 0;  // holds this thread has on loan now

// Takes the surface when it is free, already ours, or lent to us (box.m held). Lent
// holds are the user-interface thread's own, so only other threads wait for them.
bool take(SurfaceBox& box, std::thread::id me, bool ui) {
  const bool free = box.depth == 0 && (box.lent == 0 || ui);
  if (free || box.owner == me) {
    box.owner = me;
    ++box.depth;
    return true;
  }
  if (ui && waiting_on_this_thread(box.owner)) {
    ++box.lent;
    ++t_lent_holds;
    return true;
  }
  return false;
}

}  // namespace

bool try_lock_surface(SurfaceBox& box) {
  const bool ui = is_ui_thread();
  std::lock_guard<std::mutex> lock(box.m);
  return take(box, std::this_thread::get_id(), ui);
}

void lock_surface(SurfaceBox& box) {
  assert(!lock_held_here() && "a surface is never waited for under the state lock");
  const std::thread::id me = std::this_thread::get_id();
  if (!is_ui_thread()) {
    std::unique_lock<std::mutex> lock(box.m);
    box.cv.wait(lock, [&] { return take(box, me, false); });
    return;
  }
  for (;;) {
    const uint64_t seen = S().waker.current();
    if (try_lock_surface(box)) return;
    // The holder may be about to hand us a call: deliver it, or it never lets go.
    service_sends();
    if (try_lock_surface(box)) return;
    S().waker.wait(seen, 1);
  }
}

void unlock_surface(SurfaceBox& box) {
  {
    std::lock_guard<std::mutex> lock(box.m);
    if (box.depth > 0 && box.owner == std::this_thread::get_id()) {
      if (--box.depth == 0) box.owner = std::thread::id();
    } else if (box.lent > 0) {
      --box.lent;
      --t_lent_holds;
    }
  }
  box.cv.notify_all();
}

int lent_holds_here() { return t_lent_holds; }

bool surface_busy(SurfaceBox& box) {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(box.m);
  return box.depth > 0 && box.owner != me && !waiting_on_this_thread(box.owner);
}

}  // namespace plat::ui_detail
