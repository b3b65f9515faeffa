// The place index of the "Find place name" window: the run-time class "place", the
// folding table that makes the search blind to case and accents, the class holder
// over the layers' object lists, and finding a listed object again to centre on it.
#include <iterator>

#include "core/obj_list.h"
#include "core/object.h"
#include "core/wstring.h"
#include "map/graphspace.h"
#include "map/gps_classes.h"
#include "map/view_records.h"
#include "map/view_set.h"
#include "shell/framework/dispatcher.h"
#include "shell/place_window.h"

namespace {

// The record a search reads: the found object, its class and its two texts (borrowed
// from the object by the holder's links, never owned).
const attr_desc kPlaceAttrs[] = {{"id", AT_ID},        {"type", AT_INT},
                                 {"objadr", AT_REF},   {"objtype", AT_INT},
                                 {"name", AT_WSTRING}, {"comment", AT_WSTRING}};
const objdesc kPlaceDesc = {"place", 6, kPlaceAttrs};
enum place_attr : int { PA_OBJADR = 2, PA_OBJTYPE = 3, PA_NAME = 4, PA_COMMENT = 5 };

// The street-map classes (their descriptors come with the street-map data).
constexpr int kClassNode = 150, kClassWay = 151, kClassWayline = 152;

// Where each source class keeps the two texts the search reads, by category.
struct source_class {
  int category;  // 0 map data, 1 GPS data, 2 graphic data
  int cls;
  int name_attr;
  int comment_attr;
};
constexpr source_class kSources[] = {
    {0, kClassNode, 6, 7},         {0, kClassWay, 4, 5},        {0, kClassWayline, 3, 4},
    {1, CLS_TRACKLOG, 4, 5},       {1, CLS_ROUTE, 4, 5},        {1, CLS_COURSEPOINT, 6, 7},
    {1, CLS_WAYPOINT, 6, 7},       {2, CLS_LOIS, 4, 5},         {2, CLS_LOIL, 3, 4},
    {2, CLS_POI, 6, 7}};

constexpr char16_t kFoldPairs[] = {
    u'*', u'%',
    0xC0, u'A', 0xC1, u'A', 0xC2, u'A', 0xC3, u'A', 0xC4, u'A', 0xC5, u'A',
    0xE0, u'A', 0xE1, u'A', 0xE2, u'A', 0xE3, u'A', 0xE4, u'A', 0xE5, u'A',
    0xC8, u'E', 0xC9, u'E', 0xCA, u'E', 0xCB, u'E', 0xE8, u'E', 0xE9, u'E', 0xEA, u'E', 0xEB, u'E',
    0xCC, u'I', 0xCD, u'I', 0xCE, u'I', 0xCF, u'I', 0xEC, u'I', 0xED, u'I', 0xEE, u'I', 0xEF, u'I',
    0xD2, u'O', 0xD3, u'O', 0xD4, u'O', 0xD5, u'O', 0xD6, u'O',
    0xF2, u'O', 0xF3, u'O', 0xF4, u'O', 0xF5, u'O', 0xF6, u'O',
    0xD9, u'U', 0xDA, u'U', 0xDB, u'U', 0xDC, u'U', 0xF9, u'U', 0xFA, u'U', 0xFB, u'U', 0xFC, u'U',
    0xDD, u'Y', 0xFD, u'Y', 0xFF, u'Y',
    0xC7, u'C', 0xE7, u'C',
    0xD1, u'N', 0xF1, u'N',
    0xD0, u'D', 0xF0, u'D',
    0};
static_assert(std::size(kFoldPairs) == 56 * 2 + 1);

bool has_attr(int cls, int attr) { return obj_attr_info(cls, attr, nullptr, nullptr, nullptr) != 0; }

// A class whose records are not registered (the street-map classes before their data
// exists) gets no links: a link to an unknown attribute would read the element itself.
void add_links(class_holder_t* h, const source_class& s) {
  if (!has_attr(s.cls, s.name_attr) || !has_attr(s.cls, s.comment_attr)) return;
  obj_add_link(h, PA_OBJADR, s.cls, 0);
  obj_add_link(h, PA_OBJTYPE, s.cls, 1);
  obj_add_link(h, PA_NAME, s.cls, s.name_attr);
  obj_add_link(h, PA_COMMENT, s.cls, s.comment_attr);
}

bool same_object(const obj_t* o, int id, int cls, const obj_t* address) {
  if (!o || o->cls != cls) return false;
  return id != 0 ? o->id == id : o == address;
}

}  // namespace

const char16_t* place_fold_table() { return kFoldPairs; }

void place_index_build(char16_t* pattern, int map_data, int gps_data, int graphic_data,
                       class_holder_t** index) {
  if (!index) return;
  free_obj(index);
  class_holder_t* h = nullptr;
  obj_new_class_holder(&kPlaceDesc, &h);
  *index = h;
  if (h) {
    int position = 0;
    for (container_t* list = graphspace_next_layer(nullptr, &position, nullptr); list;
         list = graphspace_next_layer(nullptr, &position, nullptr))
      obj_add_child(h, list);
    const int checked[3] = {map_data, gps_data, graphic_data};
    for (const source_class& s : kSources)
      if (checked[s.category]) add_links(h, s);
  }
  if (pattern) wstr_search_key(pattern, 1, kFoldPairs);
}

obj_t* place_find_shown(int id, int cls, const obj_t* address) {
  graphspace_lock lock(graphspace_mutex());
  int position = 0;
  for (container_t* list = graphspace_next_layer(nullptr, &position, nullptr); list;
       list = graphspace_next_layer(nullptr, &position, nullptr)) {
    const int n = obj_list_count(list);
    for (int i = 0; i < n; ++i)
      if (same_object(list->elems[i], id, cls, address)) return list->elems[i];
  }
  return nullptr;
}

int place_locate(int id, int cls, const obj_t* address) {
  {
    // Held until the view is set, so that the load task cannot free the object between.
    graphspace_lock lock(graphspace_mutex());
    obj_t* object = place_find_shown(id, cls, address);
    if (!object) return 0;
    view_zoom_to(get_current_mapwin(), object, nullptr, 1, 0);
  }
  post_redraw();
  return 1;
}
