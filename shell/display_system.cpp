// The change of the display system: the menu command asks for a system and posts
// command 12, whose worker task keeps what every map window of the graph space shows,
// reprojects the graph space and shows the same area again in the new system.
//
// The graph space's georef and the cursor chains that borrow its first step change
// together on the user-interface thread, where mouse moves read the chains, so that no
// mouse move ever sees a chain whose borrowed step is gone; the long rebuild of the
// layers then runs on the worker.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "geodesy/georef.h"
#include "map/cursor_system.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"
#include "platform/sys/utf.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"
#include "shell/system_dialogs.h"

namespace {

std::vector<mapwin_t*> windows_showing(const graphspace_t* gs) {
  std::vector<mapwin_t*> out;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) {
    mapwin_t* win = static_cast<mapwin_t*>(cursor);
    if (win->graphspace == gs) out.push_back(win);
  }
  return out;
}

bool has_system(const georef_t* g) { return g && g->refertype != GEOREF_NONE; }

// The area a map window shows, carried into the new system; false when there is none.
bool shown_area_in(graphspace_t* gs, mapwin_t* win, const georef_t* georef, extent_t* out) {
  if (win != get_current_mapwin()) return false;  // the area is known of the current one
  extent_t bounds{};
  {
    graphspace_lock lock(graphspace_mutex());
    std::memcpy(&bounds, &gs->extent, sizeof bounds);  // a packed record's field
  }
  int flag = 0;
  graphspace_visible_extent(gs, georef, bounds, out, &flag);
  return flag != 0;
}

void end_task() { task_end(); }

// The georefs the dialog made for posted commands: the command frees only those, so a
// text naming any other georef (the graph space's own) never frees it.
std::mutex g_posted_lock;
std::set<int> g_posted_georefs;

void remember_posted(int id) {
  std::lock_guard<std::mutex> g(g_posted_lock);
  g_posted_georefs.insert(id);
}

bool take_posted(int id) {
  std::lock_guard<std::mutex> g(g_posted_lock);
  return g_posted_georefs.erase(id) == 1;
}

// Frees the georef of a command when the command owns it.
void release_posted(georef_t* georef, int id) {
  if (georef && take_posted(id)) free_obj(&georef);
}

}  // namespace

void cursor_chains_follow(graphspace_t* gs) {
  if (!gs) return;
  run_on_ui_thread([gs]() -> intptr_t {
    georef_t* display = nullptr;
    {
      graphspace_lock lock(graphspace_mutex());
      display = gs->georef;
    }
    for (mapwin_t* win : windows_showing(gs)) {
      cursor_set_transform(win, display);
      if (get_gblerr() != 0) break;
    }
    return 0;
  });
}

void cmd_choose_display_system(graphspace_t* gs) {
  if (!gs || !gs->georef) {
    set_gblerr(8);
    return;
  }
  const std::u16string title = is_french() ? u"Choix du système d'affichage" : u"Choose display system";
  georef_t* chosen = nullptr;
  const int answer = choose_system_dialog(title.c_str(), kSystemModeAll, &chosen);
  if (answer == 1 && chosen && get_gblerr() == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "%ld %ld", long(gs->id), long(chosen->id));
    remember_posted(chosen->id);
    if (post_command(kDisplaySystemCommand, 0, text) != 0) return;  // the task frees the georef
    take_posted(chosen->id);
  }
  const int saved = get_gblerr();
  set_gblerr(0);
  free_obj(&chosen);
  set_gblerr(saved);
}

void task_set_display_system(void*) {
  long gs_id = 0, georef_id = 0;
  const char* text = current_task_text();
  obj_t* gs_obj = nullptr;
  obj_t* georef_obj = nullptr;
  if (text && std::sscanf(text, "%ld %ld", &gs_id, &georef_id) == 2) {
    obj_find_in_class(CLS_GRAPHSPACE, int(gs_id), &gs_obj);
    obj_find_in_class(CLS_GEOREF, int(georef_id), &georef_obj);
  }
  graphspace_t* gs = static_cast<graphspace_t*>(gs_obj);
  georef_t* georef = static_cast<georef_t*>(georef_obj);
  if (!gs || !georef || !gs->georef) {
    release_posted(georef, int(georef_id));
    end_task();
    return;
  }
  set_busy_cursor(2);
  std::vector<std::pair<mapwin_t*, extent_t>> shown;
  for (mapwin_t* win : windows_showing(gs)) {
    extent_t e{};
    if (shown_area_in(gs, win, georef, &e)) shown.push_back({win, e});
  }
  if (get_gblerr() == 0) {
    graphspace_set_system(georef, gs);
    // The windows move where their scroll bars are: on the user-interface thread.
    run_on_ui_thread([&]() -> intptr_t {
      for (mapwin_t* win : windows_showing(gs)) {
        bool done = false;
        for (const auto& [w, e] : shown)
          if (w == win) done = true, view_zoom_extent(win, e);
        if (!done) view_fit_all(win, 0);
        mapwin_request_redraw(win);
      }
      return 0;
    });
  }
  show_error_on_ui();
  release_posted(georef, int(georef_id));
  end_task();
}

void graphspace_set_system(georef_t* georef, graphspace_t* gs) {
  if (!gs) gs = graphspace_current();
  if (!gs || !georef) return;
  bool changed = false;
  run_on_ui_thread([&]() -> intptr_t {
    {
      graphspace_lock lock(graphspace_mutex());
      if (gs->georef && has_system(gs->georef) && georef_same_system(gs->georef, georef) == 0 &&
          gs->georef->unit == georef->unit)
        return 0;
      const extent_t none{};
      std::memcpy(&gs->extent, &none, sizeof none);
      graphspace_take_system(gs, georef);
      gs->georef_changed = 1;
      changed = true;
    }
    georef_t* display = gs->georef;
    for (mapwin_t* win : windows_showing(gs)) {
      cursor_set_transform(win, display);
      if (get_gblerr() != 0) break;
    }
    return 0;
  });
  if (changed) graphspace_rebuild(gs);
}
