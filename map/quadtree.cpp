// Quadtree records, building, vector insertion and removal.
//
// Nodes are plain memory blocks; the class-26 record only holds the root. A vector tree
// keeps at most 10 slots in a leaf: the eleventh splits it into four quadrants and the
// slots small enough to sink are pushed into every quadrant they meet. Larger entries
// stay in the node, whose array may then hold more than 10.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/memory.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

namespace qtree_detail {

bool meets(const extent_t& a, const extent_t& b) { return !extent_disjoint(a, b); }

qtree_node* new_node(extent_t extent, int depth) {
  qtree_node* node = nullptr;
  alloc_mem_zero(&node, sizeof(qtree_node));
  node->extent = extent;
  node->depth = depth;
  return node;
}

bool is_leaf(const qtree_node* n) {
  return !n->child[0] && !n->child[1] && !n->child[2] && !n->child[3];
}

void ensure_room(qtree_node* node, int count) {
  if (count <= node->capacity) return;
  int cap = node->capacity ? node->capacity : 4;
  while (cap < count) cap = cap > (1 << 28) ? count : cap * 2;
  qtree_slot* slots = node->entries;
  realloc_mem(&slots, size_t(cap) * sizeof(qtree_slot));
  node->entries = slots;
  node->capacity = cap;
}

void append_slot(qtree_node* node, gindex_entry_t* entry, obj_t* link) {
  ensure_room(node, node->count + 1);
  node->entries[node->count++] = qtree_slot{entry, link};
}

// Four children, quadrants of the node's extent split at its centre: 0 upper right,
// 1 upper left, 2 lower left, 3 lower right.
void make_children(qtree_node* node) {
  const extent_t e = node->extent;
  const double cx = extent_center_x(e), cy = extent_center_y(e);
  const int d = node->depth + 1;
  node->child[0] = new_node(extent_t{cx, e.xmax, cy, e.ymax, 0}, d);
  node->child[1] = new_node(extent_t{e.xmin, cx, cy, e.ymax, 0}, d);
  node->child[2] = new_node(extent_t{e.xmin, cx, e.ymin, cy, 0}, d);
  node->child[3] = new_node(extent_t{cx, e.xmax, e.ymin, cy, 0}, d);
}

// A node is split only above the depth limit and while its centre still lies strictly
// inside it (a node worn down to the precision of a double cannot be halved).
bool can_split(const qtree_node* node) {
  if (node->depth >= kQtreeMaxDepth) return false;
  const extent_t e = node->extent;
  const double cx = extent_center_x(e), cy = extent_center_y(e);
  return cx > e.xmin && cx < e.xmax && cy > e.ymin && cy < e.ymax;
}

void free_nodes(qtree_node* node) {
  if (!node) return;
  for (qtree_node*& c : node->child) free_nodes(c);
  free_mem(&node->entries);
  free_mem(&node);
}

// A root without width or height would meet nothing: it is opened around its centre.
extent_t usable_root(extent_t e) {
  auto open = [](double& lo, double& hi) {
    if (hi > lo) return;
    const double c = (lo + hi) / 2;
    const double d = std::isfinite(c) ? std::max(1.0, std::fabs(c) * 1e-6) : 1.0;
    lo = c - d;
    hi = c + d;
  };
  open(e.xmin, e.xmax);
  open(e.ymin, e.ymax);
  return e;
}

}  // namespace qtree_detail

using namespace qtree_detail;

// ---- Building ---------------------------------------------------------------------------

void qtree_free(layer_t* layer) {
  if (!layer || !layer->qtree) return;
  qtree_t* tree = layer->qtree;
  free_nodes(tree->root);
  tree->root = nullptr;
  obj_t* rec = tree;
  free_obj(&rec);
  if (rec) {  // kept by the store while an error is pending: released all the same
    char* raw = reinterpret_cast<char*>(rec);
    free_mem(&raw);
  }
  layer->qtree = nullptr;
}

void qtree_build(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  qtree_free(layer);
  obj_t* rec = nullptr;
  obj_new(0, CLS_QTREE, &rec);
  if (!rec) return;
  qtree_t* tree = static_cast<qtree_t*>(rec);
  extent_t e = layer->extent;
  if (layer->priority != 0 && !extent_is_empty(e)) {
    const double dx = extent_width(e) * 0.01, dy = extent_height(e) * 0.01;
    e.xmin -= dx;
    e.xmax += dx;
    e.ymin -= dy;
    e.ymax += dy;
    layer->extent = e;
  }
  tree->root = new_node(usable_root(e), 0);
  layer->qtree = tree;
}

void qtree_rebuild(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  qtree_build(layer);
  if (!layer->qtree) return;
  qtree_node* root = layer->qtree->root;
  const container_t* index = layer->gindex_sorted;
  const int n = obj_list_count(index);
  for (int i = 0; i < n; ++i) qtree_insert(root, static_cast<gindex_entry_t*>(index->elems[i]));
}

// ---- Vector insertion -------------------------------------------------------------------------

int qtree_push_down(qtree_node* node, gindex_entry_t* entry) {
  if (!node || !entry || is_leaf(node)) return 0;
  const extent_t e = entry->extent;
  const extent_t n = node->extent;
  if (!(extent_width(n) > kQtreePushRatio * extent_width(e) &&
        extent_height(n) > kQtreePushRatio * extent_height(e)))
    return 0;
  int met = 0;
  for (const qtree_node* c : node->child) met += meets(e, c->extent) ? 1 : 0;
  // An entry that meets no child lies on the split lines (a point or a line along
  // them): it stays in this node, where queries still find it.
  if (met == 0) return 0;
  for (int k = 3; k >= 0; --k)
    if (meets(e, node->child[k]->extent)) qtree_insert(node->child[k], entry);
  return 1;
}

void qtree_insert(qtree_node* node, gindex_entry_t* entry) {
  if (!node || !entry || extent_is_empty(entry->extent)) return;
  if (is_leaf(node) && node->count >= kQtreeLeafCapacity && can_split(node)) {
    make_children(node);
    int kept = 0;
    for (int i = 0; i < node->count; ++i) {
      qtree_slot s = node->entries[i];
      if (qtree_push_down(node, s.entry) != 1) node->entries[kept++] = s;
    }
    node->count = kept;
  }
  if (!is_leaf(node) && qtree_push_down(node, entry) == 1) return;
  if (meets(entry->extent, node->extent)) append_slot(node, entry, nullptr);
}

// ---- Removal and counting -------------------------------------------------------------------

void qtree_remove_object(layer_t* layer, int object_id) {
  if (object_id == 0 || !layer || !layer->qtree || !layer->qtree->root) return;
  graphspace_lock lock(graphspace_mutex());
  std::vector<qtree_node*> stack{layer->qtree->root};
  while (!stack.empty()) {
    qtree_node* node = stack.back();
    stack.pop_back();
    for (int i = 0; i < node->count; ++i) {
      const gindex_entry_t* e = node->entries[i].entry;
      if (!e || !e->object || e->object->id != object_id) continue;
      std::copy(node->entries + i + 1, node->entries + node->count, node->entries + i);
      --node->count;
      break;
    }
    for (qtree_node* c : node->child)
      if (c) stack.push_back(c);
  }
}

int qtree_node_count(const qtree_node* node) {
  if (!node) return 0;
  int n = 1;
  for (const qtree_node* c : node->child) n += qtree_node_count(c);
  return n;
}
