// The scroll bars of a map window kept in step with what it shows: the window's page,
// carried into world coordinates, as fractions of the graph space's data extent. The
// vertical bar counts from the top of the data while world y grows upwards. The redraw
// pass and the load task keep them in step while the user-interface thread may resize
// or scroll the window.
#include <algorithm>
#include <mutex>

#include "map/extent_map.h"
#include "map/mapwin.h"

namespace {
constexpr int kBarVertical = 1;
constexpr int kBarHorizontal = 2;
}  // namespace

void mapwin_set_scrollbars(mapwin_t* win, double x0, double x1, double y0, double y1) {
  if (!win || !win->scrollbars) return;
  auto set = mapwin_get_ui_hooks().set_scroll_pos;
  if (!set) return;
  set(win, kBarHorizontal, x0, x1 - x0);
  set(win, kBarVertical, 1.0 - y1, y1 - y0);
}

void mapwin_sync_scrollbars(mapwin_t* win) {
  win = win ? win : get_current_mapwin();
  if (!win || !win->scrollbars || !win->pane || !win->graphspace) return;
  extent_t data{};
  {
    graphspace_lock lock(graphspace_mutex());
    data = static_cast<graphspace_t*>(win->graphspace)->extent;
  }
  const double w = data.xmax - data.xmin, h = data.ymax - data.ymin;
  if (!(w != 0.0 && h != 0.0)) return;  // also NaN
  // The page as the pass draws it (the window may be resized meanwhile), and the mapping
  // under the lock of its writers.
  const extent_t page = pane_page(win->pane);
  screen_mapping map{};
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    map = win->map;
  }
  extent_t view{};
  screen_to_world_extent(map, page, &view);
  const double x0 = std::max(0.0, (view.xmin - data.xmin) / w);
  const double x1 = std::min(1.0, (view.xmax - data.xmin) / w);
  const double y0 = std::max(0.0, (view.ymin - data.ymin) / h);
  const double y1 = std::min(1.0, (view.ymax - data.ymin) / h);
  mapwin_set_scrollbars(win, x0, x1, y0, y1);
}
