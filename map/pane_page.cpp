// The page of a pane as the redraw pass sees it.
//
// The user-interface thread changes a pane's page when its window is resized
// (mapwin_set_size), under mapwin_invalid_mutex(), while the task thread may be in the
// middle of a pass that clips every rectangle, image and scroll-bar position to that
// page. A pass therefore takes one copy of every pane's page when it starts, under the
// same lock, and draws with it to its end: a pass never mixes two pages, and a resize
// reaches the screen through the next pass (the resize also invalidates the window).
// The copies belong to the thread that runs the pass; any other thread, and a pane the
// pass did not see at its start, reads the page under the lock.
#include <mutex>
#include <vector>

#include "core/core_classes.h"
#include "map/redraw.h"

namespace {

// The copies of the pass running on this thread; null outside a pass.
thread_local const std::vector<pane_page_copies::page_copy>* t_pass_pages = nullptr;

extent_t locked_page(const pane_t* pane) {
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
  return pane->page;
}

}  // namespace

extent_t pane_page(const pane_t* pane) {
  if (!pane) return extent_t{};
  if (const auto* copies = t_pass_pages)
    for (const auto& c : *copies)
      if (c.pane == pane) return c.page;
  return locked_page(pane);
}

pane_page_copies::pane_page_copies() : previous_(t_pass_pages) {
  // The panes are listed before the lock is taken: it is a leaf lock.
  std::vector<const pane_t*> panes;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_PANE, &cursor)) panes.push_back(static_cast<const pane_t*>(cursor));
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    for (const pane_t* pane : panes) copies_.push_back(page_copy{pane, pane->page});
  }
  t_pass_pages = &copies_;
}

pane_page_copies::~pane_page_copies() { t_pass_pages = previous_; }
