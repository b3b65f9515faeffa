// The waypoint icons: 61 bitmaps indexed by a point's `symbol`, loaded at start-up from
// "wpt0.png" to "wpt60.png", the lap marker icon, and the list that holds them all.
//
// Points never draw the table's bitmaps themselves: gpsobj_attach_icons gives them
// copies, one per symbol and per list walked, kept in the list the walk started from
// (the folder's objects) so that the copies go when the data set goes. The table is filled once at start-up and read by
// the load tasks afterwards; a mutex covers it all the same.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"

namespace {

std::mutex g_icon_mutex;
bitmap_t* g_icons[kWaypointIconCount] = {};
bitmap_t* g_lap_icon = nullptr;
container_t* g_icon_list = nullptr;

static_assert(offsetof(waypoint_t, icon) == offsetof(poi_t, icon) &&
              offsetof(waypoint_t, icon) == offsetof(coursepoint_t, icon));
static_assert(offsetof(waypoint_t, symbol) == offsetof(poi_t, symbol) &&
              offsetof(waypoint_t, symbol) == offsetof(coursepoint_t, symbol));

bool has_icon(int cls) {
  return cls == CLS_WAYPOINT || cls == CLS_POI || cls == CLS_COURSEPOINT;
}

void log_load_failure(const char* name) {
  const std::string text =
      std::string(is_french() ? "Impossible de charger l'image " : "Unable to load ") + name;
  log_error_line(text.c_str());
}

void free_icon_list_locked() {
  // The list holds every loaded icon: its elements go with it.
  if (g_icon_list) {
    obj_list_free_elements(g_icon_list);
    free_obj(&g_icon_list);
  }
  for (bitmap_t*& b : g_icons) b = nullptr;
  g_lap_icon = nullptr;
}

// A copy of a bitmap with its own pixel stores and no file object.
bitmap_t* copy_bitmap(const bitmap_t* src) {
  if (!src) return nullptr;
  bitmap_t* b = nullptr;
  bitmap_clone_header(src, &b);
  if (!b) return nullptr;
  b->file = nullptr;
  if (alloc_bitmap(b, src->width, src->height, src->planes, 0) != 0) {
    const int pending = get_gblerr();
    set_gblerr(0);
    free_obj(&b);
    set_gblerr(pending);
    return nullptr;
  }
  bitmap_t* s = const_cast<bitmap_t*>(src);
  const size_t row = size_t(src->width) * size_t(src->planes);
  for (int r = 0; r < src->height; ++r) {
    const uint8_t* from = get_img_line_adr(s, r, 0);
    uint8_t* to = get_img_line_adr(b, r, 0);
    if (from && to) std::memcpy(to, from, row);
  }
  return b;
}

// The icon cache of one list: one copy per symbol.
struct icon_cache {
  bitmap_t* copies[kWaypointIconCount] = {};
};

void attach_in_list(container_t* list, container_t* owner, int cls, int depth,
                    bool into_sons) {
  if (!list || depth > 64) return;
  icon_cache cache;
  // The lists of the sons are noted on the way, so that a long list (a track's points)
  // is read once.
  std::vector<container_t*> sons;
  const int n = obj_list_count(list);
  for (int i = 0; i < n && !get_gblerr(); ++i) {
    obj_t* o = list->elems[i];
    if (!o) continue;
    if (into_sons && o->cls != CLS_CONTAINER &&
        obj_class_tree_links(o->cls) == TREE_FATHER_AND_SONS)
      sons.push_back(static_cast<tree_obj_t*>(o)->sons);
    if (o->cls != cls) continue;
    auto* w = static_cast<waypoint_t*>(o);
    if (w->icon || w->symbol < 0 || w->symbol >= kWaypointIconCount) continue;
    bitmap_t*& copy = cache.copies[w->symbol];
    if (!copy) {
      copy = gpsobj_copy_icon(w->symbol, nullptr);
      if (!copy) continue;
      obj_list_append(owner, copy);
    }
    w->icon = copy;
  }
  // Depth first: the lists of the sons, each with a cache of its own.
  for (size_t k = 0; k < sons.size() && !get_gblerr(); ++k)
    attach_in_list(sons[k], owner, cls, depth + 1, true);
}

}  // namespace

// Through the image loading's PNG reader, by the hook its start-up fills. Every program
// runs that start-up before it loads the icons; without the hook no icon loads.
bitmap_t* gpsobj_load_icon(const char* file_name, bitmap_t** out) {
  if (out) *out = nullptr;
  const auto load = get_bitmap_hooks().icon_load;
  const int pending = get_gblerr();
  set_gblerr(0);
  bitmap_t* b = load ? load(file_name) : nullptr;
  set_gblerr(pending);
  if (!b) {
    log_load_failure(file_name);
    return nullptr;
  }
  str_set(file_name, &b->name);
  if (out) *out = b;
  return b;
}

int gpsobj_load_icons() {
  gpsobj_free_icons();
  std::lock_guard<std::mutex> lock(g_icon_mutex);
  obj_list_new(&g_icon_list);
  int loaded = 0;
  for (int i = 0; i < kWaypointIconCount; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "wpt%d.png", i);
    if (gpsobj_load_icon(name, &g_icons[i])) {
      obj_list_append(g_icon_list, g_icons[i]);
      ++loaded;
    }
  }
  if (gpsobj_load_icon(kLapIconFile, &g_lap_icon)) obj_list_append(g_icon_list, g_lap_icon);
  return loaded;
}

void gpsobj_free_icons() {
  std::lock_guard<std::mutex> lock(g_icon_mutex);
  const int pending = get_gblerr();
  set_gblerr(0);
  free_icon_list_locked();
  set_gblerr(pending);
}

bitmap_t* gpsobj_get_icon(int symbol, bitmap_t** out) {
  std::lock_guard<std::mutex> lock(g_icon_mutex);
  bitmap_t* b = symbol >= 0 && symbol < kWaypointIconCount ? g_icons[symbol] : nullptr;
  if (out) *out = b;
  return b;
}

bitmap_t* gpsobj_copy_icon(int symbol, bitmap_t** out) {
  std::lock_guard<std::mutex> lock(g_icon_mutex);
  bitmap_t* src = symbol >= 0 && symbol < kWaypointIconCount ? g_icons[symbol] : nullptr;
  bitmap_t* b = copy_bitmap(src);
  if (out) *out = b;
  return b;
}

container_t* gpsobj_get_icon_list(container_t** out) {
  std::lock_guard<std::mutex> lock(g_icon_mutex);
  if (out) *out = g_icon_list;
  return g_icon_list;
}

bitmap_t* gpsobj_get_lap_icon(bitmap_t** out) {
  std::lock_guard<std::mutex> lock(g_icon_mutex);
  if (out) *out = g_lap_icon;
  return g_lap_icon;
}

void gpsobj_attach_icons(container_t* list, int cls, bool into_sons) {
  if (!has_icon(cls)) return;
  attach_in_list(list, list, cls, 0, into_sons);
}
