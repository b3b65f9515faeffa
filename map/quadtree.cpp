// Quadtree records, building, vector insertion and removal.
//
// Nodes are plain memory blocks; the class-26 record only holds the root. A tree rebuilt
// from a layer's index is packed into one block when complete (quadtree_pack.cpp). A
// vector tree keeps at most 10 slots in a leaf: the eleventh
// splits it into four quadrants and the slots small enough to sink are pushed into
// every quadrant they meet. Larger entries stay in the node, whose array may then hold
// more than 10. An entry descends through the single child it meets without recursion;
// which children it meets is read off the parent's extent, so the siblings it passes by
// are never loaded.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

namespace qtree_detail {

void init_node(qtree_node* node, extent_t extent, int depth) {
  node->extent = extent;
  node->depth = depth;
}

void ensure_room(qtree_node* node, int count) {
  if (count <= node->capacity) return;
  int cap = node->capacity ? node->capacity : kQtreeLeafCapacity;
  while (cap < count) cap = cap > (1 << 28) ? count : cap * 2;
  qtree_slot* slots = node->entries;
  if (node->flags & kQtreeSharedSlots) {  // in the packed block: copied out
    qtree_slot* own = nullptr;
    alloc_mem(&own, size_t(cap) * sizeof(qtree_slot));
    if (node->count > 0) std::memcpy(own, slots, size_t(node->count) * sizeof(qtree_slot));
    slots = own;
    node->flags &= ~kQtreeSharedSlots;
  } else {
    realloc_mem(&slots, size_t(cap) * sizeof(qtree_slot));
  }
  node->entries = slots;
  node->capacity = cap;
}

void append_slot(qtree_node* node, qtree_slot slot) {
  if (node->count >= node->capacity) ensure_room(node, node->count + 1);
  node->entries[node->count++] = slot;
}

// Four children, quadrants of the node's extent split at its centre: 0 upper right,
// 1 upper left, 2 lower left, 3 lower right. One block holds all four.
void make_children(qtree_node* node) {
  const extent_t e = node->extent;
  const double cx = (e.xmin + e.xmax) / 2.0, cy = (e.ymin + e.ymax) / 2.0;
  const int d = node->depth + 1;
  qtree_node* block = nullptr;
  alloc_mem_zero(&block, 4 * sizeof(qtree_node));
  init_node(&block[0], extent_t{cx, e.xmax, cy, e.ymax, 0}, d);
  init_node(&block[1], extent_t{e.xmin, cx, cy, e.ymax, 0}, d);
  init_node(&block[2], extent_t{e.xmin, cx, e.ymin, cy, 0}, d);
  init_node(&block[3], extent_t{cx, e.xmax, e.ymin, cy, 0}, d);
  for (int k = 0; k < 4; ++k) node->child[k] = &block[k];
  node->flags &= ~kQtreeSharedChildren;
}

// A node is split only above the depth limit and while its centre still lies strictly
// inside it (a node worn down to the precision of a double cannot be halved).
bool can_split(const qtree_node* node) {
  if (node->depth >= kQtreeMaxDepth) return false;
  const extent_t e = node->extent;
  const double cx = (e.xmin + e.xmax) / 2.0, cy = (e.ymin + e.ymax) / 2.0;
  return cx > e.xmin && cx < e.xmax && cy > e.ymin && cy < e.ymax;
}

// Frees what hangs below a node (its slots and its children), not the node itself; what
// lies in the tree's block goes with the block.
void free_below(qtree_node* node) {
  if (!(node->flags & kQtreeSharedSlots)) free_mem(&node->entries);
  node->entries = nullptr;
  if (!node->child[0]) return;
  for (qtree_node* c : node->child) free_below(c);
  if (!(node->flags & kQtreeSharedChildren)) {
    qtree_node* block = node->child[0];
    free_mem(&block);
  }
  for (qtree_node*& c : node->child) c = nullptr;
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

namespace {

using namespace qtree_detail;

// An entry on its way down: its extent and four times its size, read once.
struct moving_entry {
  qtree_slot slot;
  extent_t e;
  double w4, h4;
  explicit moving_entry(qtree_slot s) : slot(s), e(s.entry->extent) {
    w4 = kQtreePushRatio * (e.xmax - e.xmin);
    h4 = kQtreePushRatio * (e.ymax - e.ymin);
  }
};

// The children of a split node that would take the entry: none (0) when the node is not
// more than 4 times its size, or when it meets no child (it lies on the split lines
// and stays in the node, where queries still find it).
unsigned push_mask(const qtree_node* node, const moving_entry& m) {
  const extent_t& n = node->extent;
  if (!(n.xmax - n.xmin > m.w4 && n.ymax - n.ymin > m.h4)) return 0;
  return child_mask(n, m.e);
}

void insert_below(qtree_node* node, const moving_entry& m);

// A full leaf becomes four children; each of its slots, in array order, sinks into the
// children it meets when it is small enough, the others stay.
void split_vector_leaf(qtree_node* node) {
  make_children(node);
  int kept = 0;
  const int n = node->count;
  for (int i = 0; i < n; ++i) {
    const qtree_slot s = node->entries[i];
    const moving_entry m(s);
    const unsigned mask = push_mask(node, m);
    if (!mask) {
      node->entries[kept++] = s;
      continue;
    }
    for (int k = 3; k >= 0; --k)
      if (mask >> k & 1u) insert_below(node->child[k], m);
  }
  node->count = kept;
}

// Inserts an entry known to meet the node (and not empty): down through the single
// child it meets without recursion, into every child it meets in order 3, 2, 1, 0 when
// it straddles a split, or into the node's array where it stops.
void insert_below(qtree_node* node, const moving_entry& m) {
  for (;;) {
    if (is_leaf(node)) {
      if (node->count < kQtreeLeafCapacity || !can_split(node)) {
        append_slot(node, m.slot);
        return;
      }
      split_vector_leaf(node);
    }
    const unsigned mask = push_mask(node, m);
    if (!mask) {
      append_slot(node, m.slot);
      return;
    }
    if ((mask & (mask - 1)) == 0) {  // one child
      node = node->child[__builtin_ctz(mask)];
      continue;
    }
    for (int k = 3; k >= 0; --k)
      if (mask >> k & 1u) insert_below(node->child[k], m);
    return;
  }
}

}  // namespace

using namespace qtree_detail;

// ---- Building ---------------------------------------------------------------------------

void qtree_free(layer_t* layer) {
  if (!layer || !layer->qtree) return;
  qtree_t* tree = layer->qtree;
  if (qtree_node* root = tree->root) {
    free_below(root);
    free_mem(&root);
  }
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
    graphspace_layer_extent_changed(layer);
  }
  qtree_node* root = nullptr;
  alloc_mem_zero(&root, sizeof(qtree_node));
  init_node(root, usable_root(e), 0);
  tree->root = root;
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
  layer->qtree->root = pack_tree(root);
}

// ---- Vector insertion -------------------------------------------------------------------------

int qtree_push_down(qtree_node* node, gindex_entry_t* entry) {
  if (!node || !entry || is_leaf(node)) return 0;
  const moving_entry m(qtree_slot{entry, {entry->object}});
  const unsigned mask = push_mask(node, m);
  if (!mask) return 0;
  for (int k = 3; k >= 0; --k)
    if (mask >> k & 1u) insert_below(node->child[k], m);
  return 1;
}

void qtree_insert(qtree_node* node, gindex_entry_t* entry) {
  if (!node || !entry) return;
  const extent_t e = entry->extent;  // the record is packed: copied, never bound
  if (extent_is_empty(e)) return;
  if (meets(e, node->extent)) {
    insert_below(node, moving_entry(qtree_slot{entry, {entry->object}}));
    return;
  }
  // An entry outside the node is not stored, but a full leaf still splits on it.
  if (is_leaf(node) && node->count >= kQtreeLeafCapacity && can_split(node))
    split_vector_leaf(node);
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
