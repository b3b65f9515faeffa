// The redraw pass, the task of command 4: backgrounds first, then an interrupted drawing
// resumed where it stopped, then every pane layer by layer. It gives way whenever a
// command waits (the visible list asks after every object), re-posting itself so that
// the dispatcher runs the waiting command first; printer pages are ended only when a
// pass completes, after their last layer.
#include <mutex>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/worker.h"
#include "map/quadtree.h"
#include "map/redraw.h"

namespace redraw_detail {
void set_current_rects(extent_list_t* rects);
void close_queued_files();
}  // namespace redraw_detail

namespace {

constexpr int kRedrawSlot = 4;
constexpr int kResizeWaitMs = 100;

int give_way() {
  core_post_command(kRedrawSlot, 0, nullptr);
  return 0;
}

std::vector<pane_t*> all_panes() {
  std::vector<pane_t*> panes;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_PANE, &cursor)) panes.push_back(static_cast<pane_t*>(cursor));
  return panes;
}

// Layer i of the pane's index with its rectangle list; false past the end. Read under
// the lists' locks: the user-interface thread may add or drop a layer meanwhile.
bool layer_at(pane_t* pane, int i, layer_t** layer, extent_list_t** rects) {
  graphspace_lock space_lock(graphspace_mutex());
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
  if (i >= obj_list_count(pane->layer_index)) return false;
  obj_list_get(pane->layer_index, i, layer);
  obj_list_get(pane->layer_rects, i, rects);
  return true;
}

int end_layers(int result) {
  set_gblerr(0);  // a drawing error never stops the pass
  set_current_layer(nullptr);
  redraw_detail::set_current_rects(nullptr);
  pane_end_drawing();
  return result;
}

}  // namespace

int pane_draw_layers(pane_t* pane) {
  if (!pane) return 0;
  pane_begin_drawing(pane);
  set_current_layer(nullptr);
  redraw_detail::set_current_rects(nullptr);
  layer_t* layer = nullptr;
  extent_list_t* rects = nullptr;
  for (int i = 0; layer_at(pane, i, &layer, &rects); ++i) {
    set_current_layer(layer);
    redraw_detail::set_current_rects(rects);
    if (layer && rects && layer_draw_invalid_rects()) return end_layers(1);
  }
  return end_layers(0);
}

int redraw_pass() {
  if (redraw_interrupt_flag()) {
    // While the window is being resized nothing is drawn: each notification restarts
    // the wait.
    redraw_interrupt(0);
    sleep_ms(kResizeWaitMs);
    if (redraw_interrupt_flag()) return give_way();
  }
  // One page per pane for the whole pass, whatever the window's size does meanwhile.
  const pane_page_copies pages;
  for (pane_t* pane : all_panes()) {
    mapwin_sync_scrollbars(pane->mapwin);
    if (pane->printing) continue;
    pane_begin_drawing(pane);
    pane_clear_background();
    pane_end_drawing();
  }
  if (redraw_resume()) return give_way();
  for (pane_t* pane : all_panes())
    if (pane_draw_layers(pane)) return give_way();
  for (pane_t* pane : all_panes())
    if (pane->printing) pane_finish_page(pane);
  redraw_detail::close_queued_files();
  return 1;
}
