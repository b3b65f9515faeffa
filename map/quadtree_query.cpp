// Queries: the objects (or images) of the nodes that meet the query rectangle.
//
// A query collects every slot of every node it visits; the drawing then skips what was
// already drawn (the drawn set), so an entry living in several nodes costs one draw.
#include <algorithm>
#include <cstdint>
#include <mutex>

#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

namespace visible_detail {
void collect_image(int order, obj_t* image);
std::recursive_mutex& lock();
}  // namespace visible_detail

using namespace qtree_detail;

namespace {

// Largest element count a list's byte capacity (32-bit, 8 bytes a slot) can describe.
constexpr int64_t kMaxListElems = (int64_t(UINT32_MAX) - 8) / int64_t(kListSlot);

// Room for `more` elements at the end of a list, grown geometrically: the visible list
// keeps its array from one rectangle to the next, so a redraw soon stops growing it.
// Null when the list cannot hold that many.
obj_t** list_room(container_t* list, int more) {
  const int n = list->count;
  const int64_t need = int64_t(n) + more;
  if (need > kMaxListElems) return nullptr;
  if (list->capacity < list_capacity_for(int32_t(need))) {
    const int64_t grown = std::min(std::max(need, 2 * int64_t(n) + 64), kMaxListElems);
    obj_list_set_count(list, int(grown));  // makes the room (the new slots hold null)
    list->count = n;
    if (list->capacity < list_capacity_for(int32_t(need))) return nullptr;
  }
  return list->elems + n;
}

struct walk_state {
  extent_t q;
  bool images;
  obj_t* pane;
  container_t* visible;
};

// The slots' objects appended to the visible list in one step. A vector tree's slot
// holds the object itself; a node of an image tree reaches it through the entry.
void collect_objects(const qtree_node* node, container_t* visible) {
  const int n = node->count;
  if (n <= 0 || !visible) return;
  obj_t** out = list_room(visible, n);
  if (!out) {  // beyond what one list holds: element by element, as far as it goes
    for (int i = 0; i < n; ++i) {
      const qtree_slot& s = node->entries[i];
      obj_t* o = (node->flags & kQtreeLinks) ? (s.entry ? s.entry->object : nullptr) : s.object;
      if (o) obj_list_append(visible, o);
    }
    return;
  }
  int k = 0;
  if (node->flags & kQtreeLinks) {
    for (int i = 0; i < n; ++i) {
      const qtree_slot& s = node->entries[i];
      if (s.entry && s.entry->object) out[k++] = s.entry->object;
    }
  } else {
    for (int i = 0; i < n; ++i)
      if (obj_t* o = node->entries[i].object) out[k++] = o;
  }
  visible->count += k;
}

void collect_images(const qtree_node* node) {
  for (int i = 0; i < node->count; ++i) {
    const qtree_slot& s = node->entries[i];
    if (!s.entry) continue;
    obj_t* link = (node->flags & kQtreeLinks) ? s.link : nullptr;
    if (view_access::link_value(link) != 0) continue;
    obj_t* image = view_access::link_object(link);
    visible_detail::collect_image(view_access::link_order(link), image ? image : s.entry->object);
  }
}

// The larger side of a node on the screen, in pixels.
double screen_side(obj_t* pane, const extent_t& e) {
  const auto& hooks = visible_get_hooks();
  extent_t s{};
  if (hooks.world_to_screen)
    hooks.world_to_screen(pane, e, &s);
  else
    s = e;
  return std::max(extent_width(s), extent_height(s));
}

// Walks a node known to meet Q: its slots, then children 0, 1 and 2 by recursion and
// child 3 in the loop. Which children meet Q is read off the node's own extent.
void walk_node(const qtree_node* node, const walk_state& w) {
  for (;;) {
    if (w.images)
      collect_images(node);
    else
      collect_objects(node, w.visible);
    if (is_leaf(node)) return;
    if (w.pane && screen_side(w.pane, node->extent) < 1.0) return;
    const unsigned mask = child_mask(node->extent, w.q);
    for (int k = 0; k < 3; ++k)
      if (mask >> k & 1u) walk_node(node->child[k], w);
    if (!(mask & 8u)) return;
    node = node->child[3];
  }
}

}  // namespace

// The visible list is held for the whole walk rather than object by object. The caller
// holds the graph-space lock from reading the layer's root to the end of the walk, so
// that no rebuild frees the tree under it; it is taken here too, to keep the order of
// the two locks (graph space first) the same everywhere.
void qtree_query(qtree_node* node) {
  graphspace_lock tree_lock(graphspace_mutex());
  std::lock_guard<std::recursive_mutex> lock(visible_detail::lock());
  const layer_t* layer = get_current_layer();
  const auto& hooks = visible_get_hooks();
  const walk_state w{visible_query(), layer && layer->priority == 0,
                     hooks.current_pane ? hooks.current_pane() : nullptr, visible_list()};
  if (node && meets(node->extent, w.q)) walk_node(node, w);
}

// Both locks are taken once for the whole scan (graph space first, as everywhere).
void layer_query_all(layer_t* layer) {
  if (!layer || layer->priority == 0) return;
  const extent_t q = visible_query();
  const auto& hooks = visible_get_hooks();
  obj_t* pane = hooks.current_pane ? hooks.current_pane() : nullptr;
  graphspace_lock lock(graphspace_mutex());
  std::lock_guard<std::recursive_mutex> visible_lock(visible_detail::lock());
  container_t* visible = visible_list();
  const container_t* index = layer->gindex_sorted;
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i) {
    const auto* e = static_cast<const gindex_entry_t*>(index->elems[i]);
    extent_t d{};
    gindex_display_extent(&d, pane, e);
    obj_t* object = e->object;
    if (object && meets(d, q)) obj_list_append(visible, object);
  }
}
