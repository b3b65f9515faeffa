// Building a vector tree in scratch memory, then packing it into one block.
//
// A tree rebuilt from a large layer makes hundreds of thousands of nodes and slot arrays.
// Taken one by one from the heap they cost an allocation each, lie all over memory, and
// a query then waits for memory at every node it visits. So while qtree_rebuild inserts
// the entries, new children and slot arrays come from an arena of large chunks (slot
// arrays outgrown by a node go back to a free list of their size); when the tree is
// complete it is copied into one block, nodes in the order a query visits them (a node,
// then children 0, 1, 2 and 3), each node's slots right behind it, and the arena is
// freed in a few calls. Nodes of the packed tree carry kQtreeSharedSlots and
// kQtreeSharedChildren: their parts go with the block (quadtree.cpp copies a slot array
// out of it before growing it).
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

namespace qtree_detail {

struct build_arena {
  std::vector<char*> chunks;
  char* cursor = nullptr;
  size_t left = 0;
  qtree_slot* free_slots[32] = {};  // outgrown arrays of 4 << k slots
  build_arena* outer = nullptr;
};

namespace {

constexpr size_t kChunk = size_t(1) << 20;
thread_local build_arena* t_arena = nullptr;

void* take(build_arena* a, size_t bytes) {
  bytes = (bytes + 15) & ~size_t(15);
  if (bytes > a->left) {
    const size_t size = std::max(kChunk, bytes);
    char* chunk = nullptr;
    alloc_mem(&chunk, size);
    a->chunks.push_back(chunk);
    a->cursor = chunk;
    a->left = size;
  }
  void* p = a->cursor;
  a->cursor += bytes;
  a->left -= bytes;
  return p;
}

// The free list of an array size (4 << k slots), or -1 for a size without one.
int size_class(int cap) {
  if (cap < 4 || (cap & (cap - 1)) != 0) return -1;
  const int k = __builtin_ctz(unsigned(cap)) - 2;
  return k < 32 ? k : -1;
}

// ---- Packing ----------------------------------------------------------------------------------

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

// A tree too large for one block: each node's slots and each group of children in
// blocks of their own, as a tree built without arena has them.
void copy_owned(const qtree_node* src, qtree_node* dst) {
  *dst = *src;
  dst->flags = src->flags & kQtreeLinks;
  dst->entries = nullptr;
  dst->capacity = 0;
  if (src->count > 0) {
    qtree_slot* slots = nullptr;
    alloc_mem(&slots, size_t(src->count) * sizeof(qtree_slot));
    std::memcpy(slots, src->entries, size_t(src->count) * sizeof(qtree_slot));
    dst->entries = slots;
    dst->capacity = src->count;
  }
  if (src->child[0]) {
    qtree_node* group = nullptr;
    alloc_mem_zero(&group, 4 * sizeof(qtree_node));
    for (int k = 0; k < 4; ++k) {
      dst->child[k] = &group[k];
      copy_owned(src->child[k], &group[k]);
    }
  }
}

qtree_node* pack_tree(const qtree_node* root) {
  size_t bytes = 0;
  measure(root, &bytes);
  if (bytes <= kMaxBlock) {
    char* block = nullptr;
    alloc_mem(&block, bytes);
    char* cursor = block;
    return pack_into(root, &cursor);
  }
  qtree_node* copy = nullptr;
  alloc_mem_zero(&copy, sizeof(qtree_node));
  copy_owned(root, copy);
  return copy;
}

}  // namespace

build_arena* current_arena() { return t_arena; }

build_arena* arena_begin() {
  build_arena* a = new build_arena;
  a->outer = t_arena;
  t_arena = a;
  return a;
}

// The root came from the heap (qtree_build); everything below it from the arena.
qtree_node* arena_end(build_arena* arena, qtree_node* root) {
  t_arena = arena->outer;
  qtree_node* packed = root ? pack_tree(root) : nullptr;
  free_mem(&root);
  for (char*& chunk : arena->chunks) free_mem(&chunk);
  delete arena;
  return packed;
}

qtree_node* arena_nodes(build_arena* arena) {
  void* p = take(arena, 4 * sizeof(qtree_node));
  std::memset(p, 0, 4 * sizeof(qtree_node));
  return static_cast<qtree_node*>(p);
}

qtree_slot* arena_grow_slots(build_arena* arena, qtree_slot* old, int count, int old_cap, int cap) {
  qtree_slot* slots = nullptr;
  const int k = size_class(cap);
  if (k >= 0 && arena->free_slots[k]) {
    slots = arena->free_slots[k];
    std::memcpy(&arena->free_slots[k], slots, sizeof(qtree_slot*));
  } else {
    slots = static_cast<qtree_slot*>(take(arena, size_t(cap) * sizeof(qtree_slot)));
  }
  if (count > 0) std::memcpy(slots, old, size_t(count) * sizeof(qtree_slot));
  const int old_k = old ? size_class(old_cap) : -1;
  if (old_k >= 0) {  // its first word links it into the free list
    std::memcpy(old, &arena->free_slots[old_k], sizeof(qtree_slot*));
    arena->free_slots[old_k] = old;
  }
  return slots;
}

}  // namespace qtree_detail
