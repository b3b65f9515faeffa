// Queries: the objects (or images) of the nodes that meet the query rectangle.
//
// A query collects every slot of every node it visits; the drawing then skips what was
// already drawn (the drawn set), so an entry living in several nodes costs one draw.
#include <algorithm>
#include <mutex>

#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

namespace qtree_detail {
bool meets(const extent_t& a, const extent_t& b);
bool is_leaf(const qtree_node* n);
}  // namespace qtree_detail

namespace visible_detail {
void collect_object(obj_t* object);
void collect_image(int order, obj_t* image);
std::recursive_mutex& lock();
}  // namespace visible_detail

using namespace qtree_detail;

namespace {

void collect_node(const qtree_node* node, bool images) {
  container_t* visible = visible_list();
  for (int i = 0; i < node->count; ++i) {
    const qtree_slot& s = node->entries[i];
    if (!s.entry) continue;
    if (!images) {
      if (s.entry->object) obj_list_append(visible, s.entry->object);
    } else if (view_access::link_value(s.link) == 0) {
      obj_t* image = view_access::link_object(s.link);
      visible_detail::collect_image(view_access::link_order(s.link), image ? image : s.entry->object);
    }
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

void query_walk(qtree_node* node, const extent_t& q, bool images, obj_t* pane) {
  while (node && meets(node->extent, q)) {
    collect_node(node, images);
    if (is_leaf(node)) return;
    if (pane && screen_side(pane, node->extent) < 1.0) return;
    for (int k = 0; k < 3; ++k) query_walk(node->child[k], q, images, pane);
    node = node->child[3];
  }
}

}  // namespace

// The visible list is held for the whole walk rather than object by object.
void qtree_query(qtree_node* node) {
  std::lock_guard<std::recursive_mutex> lock(visible_detail::lock());
  const layer_t* layer = get_current_layer();
  const auto& hooks = visible_get_hooks();
  obj_t* pane = hooks.current_pane ? hooks.current_pane() : nullptr;
  query_walk(node, visible_query(), layer && layer->priority == 0, pane);
}



void layer_query_all(layer_t* layer) {
  if (!layer || layer->priority == 0) return;
  const extent_t q = visible_query();
  const auto& hooks = visible_get_hooks();
  obj_t* pane = hooks.current_pane ? hooks.current_pane() : nullptr;
  graphspace_lock lock(graphspace_mutex());
  const container_t* index = layer->gindex_sorted;
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i) {
    const auto* e = static_cast<const gindex_entry_t*>(index->elems[i]);
    extent_t d{};
    gindex_display_extent(&d, pane, e);
    if (meets(d, q)) visible_detail::collect_object(e->object);
  }
}
