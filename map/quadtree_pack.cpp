// Packing a built vector tree into one block.
//
// A tree rebuilt from a large layer has hundreds of thousands of nodes and slot arrays,
// each its own heap block, lying all over memory: a query then waits for memory at
// every node it visits. Once qtree_rebuild has inserted every entry, the tree is copied
// into one block, nodes in the order a query visits them (a node, then children 0, 1, 2
// and 3), each node's slots right behind it, and the heap tree is freed. Nodes of the
// packed tree carry kQtreeSharedSlots and kQtreeSharedChildren: their parts go with the
// block (quadtree.cpp copies a slot array out of it before growing it, and gives a leaf
// that splits later children of their own). Node and slot sizes are multiples of 16, so
// every node and slot array in the block stays aligned.
#include <cstring>

#include "core/memory.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

namespace qtree_detail {

namespace {

static_assert(sizeof(qtree_node) % alignof(qtree_node) == 0 && sizeof(qtree_node) % 16 == 0);
static_assert(sizeof(qtree_slot) == 16);

void measure(const qtree_node* node, size_t* bytes) {
  *bytes += sizeof(qtree_node) + size_t(node->count) * sizeof(qtree_slot);
  if (node->child[0])
    for (const qtree_node* c : node->child) measure(c, bytes);
}

qtree_node* pack_into(const qtree_node* src, char** cursor) {
  qtree_node* dst = reinterpret_cast<qtree_node*>(*cursor);
  *cursor += sizeof(qtree_node);
  *dst = *src;
  dst->flags = src->flags & kQtreeLinks;
  dst->entries = nullptr;
  dst->capacity = 0;
  if (src->count > 0) {
    dst->entries = reinterpret_cast<qtree_slot*>(*cursor);
    std::memcpy(dst->entries, src->entries, size_t(src->count) * sizeof(qtree_slot));
    *cursor += size_t(src->count) * sizeof(qtree_slot);
    dst->capacity = src->count;
    dst->flags |= kQtreeSharedSlots;
  }
  if (src->child[0]) {
    for (int k = 0; k < 4; ++k) dst->child[k] = pack_into(src->child[k], cursor);
    dst->flags |= kQtreeSharedChildren;
  }
  return dst;
}

}  // namespace

qtree_node* pack_tree(qtree_node* root) {
  if (!root) return nullptr;
  size_t bytes = 0;
  measure(root, &bytes);
  // A tree beyond the largest block stays as it was built.
  if (bytes > kMaxBlock) return root;
  char* block = nullptr;
  alloc_mem(&block, bytes);
  char* cursor = block;
  qtree_node* packed = pack_into(root, &cursor);
  free_below(root);
  free_mem(&root);
  return packed;
}

}  // namespace qtree_detail
