// The process-wide state of the redraw pass: the interrupt flag of the resize handler,
// the pane being drawn with its current layer's rectangle list, and the files whose
// readers are closed at the end of a complete pass. The task thread writes and reads
// them while the user-interface thread sets the interrupt flag and queues files, so
// each is an atomic or behind its own lock.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "core/reader.h"
#include "map/quadtree.h"
#include "map/redraw.h"

namespace {

std::atomic<int> g_interrupt{0};
std::atomic<pane_t*> g_pane{nullptr};
std::atomic<extent_list_t*> g_rects{nullptr};

struct close_queue {
  std::mutex mu;
  std::vector<obj_t*> files;
};
close_queue& queue() {
  static close_queue q;
  return q;
}

obj_t* hook_current_pane() { return g_pane.load(); }
extent_list_t* hook_current_rects() { return g_rects.load(); }
void hook_set_current_pane(obj_t* pane) { redraw_set_current_pane(static_cast<pane_t*>(pane)); }
void hook_begin(obj_t* pane) { pane_begin_drawing(static_cast<pane_t*>(pane)); }

}  // namespace

namespace redraw_detail {
void set_current_rects(extent_list_t* rects) { g_rects.store(rects); }

// Closes every queued file and empties the queue (end of a complete pass).
void close_queued_files() {
  std::vector<obj_t*> files;
  {
    std::lock_guard<std::mutex> lock(queue().mu);
    files.swap(queue().files);
  }
  for (obj_t* f : files) rd_close_file(f);
}
}  // namespace redraw_detail

void redraw_interrupt(int flag) { g_interrupt.store(flag); }
int redraw_interrupt_flag() { return g_interrupt.load(); }

pane_t* redraw_current_pane() { return g_pane.load(); }
void redraw_set_current_pane(pane_t* pane) { g_pane.store(pane); }
extent_list_t* redraw_current_rects() { return g_rects.load(); }

void redraw_queue_file_close(obj_t* file) {
  if (!file) return;
  std::lock_guard<std::mutex> lock(queue().mu);
  if (std::find(queue().files.begin(), queue().files.end(), file) == queue().files.end())
    queue().files.push_back(file);
}

int redraw_queued_file_count() {
  std::lock_guard<std::mutex> lock(queue().mu);
  return int(queue().files.size());
}

void redraw_install_hooks(int (*work_pending)()) {
  visible_hooks h = visible_get_hooks();
  h.work_pending = work_pending;
  h.current_pane = hook_current_pane;
  h.current_rects = hook_current_rects;
  h.set_current_pane = hook_set_current_pane;
  h.begin_drawing = hook_begin;
  h.end_drawing = pane_end_drawing;
  visible_set_hooks(&h);
}
