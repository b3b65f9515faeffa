// Pooled object records and store lines (see record_pool.h).
//
// A block starts with its header (live count, record size); records follow it. The
// live count of a record block holds one per record not yet freed plus one while a
// thread still cuts records from the block; whoever brings it to zero returns the block.
//
// Line blocks are shared by every thread and handled under one mutex (a line is
// allocated once per image row, not per pixel). Each line size has a class with the
// list of its blocks that have a free slot; a block's freed slots are chained through
// their first bytes, and slots past its `bump` offset were never handed out (still
// zero unless the block was kept empty for reuse, up to `dirty`).
//
// Blocks are found from a record's address through a two-level table indexed by the
// address divided by the block size: a table of 8192 leaves, each of 8192 block
// pointers, covers the 47-bit user address space; leaves are made on first use and kept.
// A block whose address lies beyond it is not used (the record is then allocated as
// usual). Looking a block up reads two atomic words, so the wrappers can ask it of every
// block they free.
#include "core/record_pool.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/sys/sysinfo.h"

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace {

constexpr size_t kBlockBytes = plat::kLargeBlockAlign;
constexpr int kBlockShift = 21;
static_assert(size_t(1) << kBlockShift == kBlockBytes, "the table indexes blocks by their size");
constexpr int kLeafBits = 13;
constexpr int kRootBits = 47 - kBlockShift - kLeafBits;
constexpr size_t kHeaderBytes = 64;
constexpr size_t kGrain = 8;
constexpr size_t kSizeClasses = kPooledRecordMax / kGrain + 1;

struct line_class;

struct pool_block {
  std::atomic<int64_t> live;
  size_t record_size;
  // Line blocks only (null `cls` for record blocks).
  line_class* cls;
  void* free_head;
  uint32_t bump;    // offset of the first slot never handed out since the block was made
  uint32_t dirty;   // slots below this offset may hold old data
  pool_block* prev;  // in the class's list of blocks with a free slot
  pool_block* next;
};
static_assert(sizeof(pool_block) <= kHeaderBytes);

using leaf = std::atomic<pool_block*>;
std::atomic<leaf*> g_root[size_t(1) << kRootBits];

bool in_table(uintptr_t address) { return (address >> kBlockShift >> kLeafBits) < (uintptr_t(1) << kRootBits); }

// The table slot of the block holding `address`; null when its leaf is missing and
// `make` is false.
leaf* slot_of(uintptr_t address, bool make) {
  const uintptr_t index = address >> kBlockShift;
  std::atomic<leaf*>& root = g_root[index >> kLeafBits];
  leaf* l = root.load(std::memory_order_acquire);
  if (!l && make) {
    leaf* fresh = new (std::nothrow) leaf[size_t(1) << kLeafBits]();
    if (!fresh) return nullptr;
    if (root.compare_exchange_strong(l, fresh, std::memory_order_acq_rel))
      l = fresh;
    else
      delete[] fresh;
  }
  return l ? &l[index & ((uintptr_t(1) << kLeafBits) - 1)] : nullptr;
}

pool_block* block_of(const void* p) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  if (!p || !in_table(a)) return nullptr;
  leaf* s = slot_of(a, false);
  if (!s) return nullptr;
  pool_block* b = s->load(std::memory_order_acquire);
  // The slot may name the block of a neighbouring record only when the address lies in
  // it; a record never sits in the header.
  if (!b || a < reinterpret_cast<uintptr_t>(b) + kHeaderBytes) return nullptr;
  return b;
}

pool_block* new_block(size_t record_size) {
  void* mem = plat::map_large_block(kBlockBytes);
  if (!mem) return nullptr;
  const uintptr_t a = reinterpret_cast<uintptr_t>(mem);
  leaf* s = in_table(a) ? slot_of(a, true) : nullptr;
  if (!s) {
    plat::unmap_large_block(mem, kBlockBytes);
    return nullptr;
  }
  pool_block* b = new (mem) pool_block;
  b->live.store(1, std::memory_order_relaxed);
  b->record_size = record_size;
  b->cls = nullptr;
  b->free_head = nullptr;
  b->bump = b->dirty = uint32_t(kHeaderBytes);
  b->prev = b->next = nullptr;
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(mem) + kHeaderBytes, kBlockBytes - kHeaderBytes);
  s->store(b, std::memory_order_release);
  return b;
}

void drop(pool_block* b) {
  if (b->live.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  leaf* s = slot_of(reinterpret_cast<uintptr_t>(b), false);
  if (s) s->store(nullptr, std::memory_order_release);
  ASAN_UNPOISON_MEMORY_REGION(b, kBlockBytes);
  b->~pool_block();
  plat::unmap_large_block(b, kBlockBytes);
}

// What a thread cuts records from, one block per record size. Trivially destructible,
// so that it stays readable while the thread ends; `closed` then sends every request
// to the usual allocator.
struct cutting {
  pool_block* block;
  size_t next;
};
struct thread_blocks {
  cutting by_size[kSizeClasses];
  bool closed;
};
thread_local thread_blocks t_blocks;

// Hands the thread's blocks back when it ends.
struct thread_end {
  bool armed = false;
  ~thread_end() {
    t_blocks.closed = true;
    for (cutting& c : t_blocks.by_size) {
      if (c.block) drop(c.block);
      c.block = nullptr;
    }
  }
};
thread_local thread_end t_end;

// ---- Line blocks --------------------------------------------------------------------

constexpr size_t kLineGrain = 64;
constexpr int kLineClasses = 64;

struct line_class {
  size_t size;
  int blocks;        // blocks of this size; none: the class is free for another size
  pool_block* open;  // blocks with a free slot, most recently used first
};

std::mutex g_line_mutex;
line_class g_line_classes[kLineClasses];
pool_block* g_kept_block;  // an emptied line block kept for the next lines

void unlink_open(pool_block* b) {
  if (b->prev) b->prev->next = b->next;
  else b->cls->open = b->next;
  if (b->next) b->next->prev = b->prev;
  b->prev = b->next = nullptr;
}

void link_open(pool_block* b) {
  b->prev = nullptr;
  b->next = b->cls->open;
  if (b->next) b->next->prev = b;
  b->cls->open = b;
}

bool has_room(const pool_block* b) {
  return b->free_head || b->bump + b->record_size <= kBlockBytes;
}

line_class* class_for(size_t size) {
  line_class* unused = nullptr;
  for (line_class& c : g_line_classes) {
    if (c.size == size) return &c;
    if (!c.blocks && !unused) unused = &c;
  }
  if (unused) unused->size = size;
  return unused;
}

// A block for `c`: the kept empty one when there is one, else a fresh block.
pool_block* line_block_for(line_class* c) {
  pool_block* b = g_kept_block;
  if (b) {
    g_kept_block = nullptr;
    b->dirty = b->bump > b->dirty ? b->bump : b->dirty;
    b->bump = uint32_t(kHeaderBytes);
    b->free_head = nullptr;
    b->record_size = c->size;
  } else {
    b = new_block(c->size);
    if (!b) return nullptr;
    b->live.store(0, std::memory_order_relaxed);
  }
  b->cls = c;
  ++c->blocks;
  link_open(b);
  return b;
}

void release_line(pool_block* b, void* slot) {
  std::lock_guard<std::mutex> lock(g_line_mutex);
  ASAN_POISON_MEMORY_REGION(slot, b->record_size);
  const bool was_full = !has_room(b);
  const int64_t live = b->live.fetch_sub(1, std::memory_order_relaxed) - 1;
  if (live == 0) {
    // Emptied: kept for the next lines (any size), or given back.
    if (!was_full) unlink_open(b);
    --b->cls->blocks;
    b->cls = nullptr;
    if (!g_kept_block) {
      g_kept_block = b;
      return;
    }
    leaf* s = slot_of(reinterpret_cast<uintptr_t>(b), false);
    if (s) s->store(nullptr, std::memory_order_release);
    ASAN_UNPOISON_MEMORY_REGION(b, kBlockBytes);
    b->~pool_block();
    plat::unmap_large_block(b, kBlockBytes);
    return;
  }
  ASAN_UNPOISON_MEMORY_REGION(slot, sizeof(void*));
  *static_cast<void**>(slot) = b->free_head;
  ASAN_POISON_MEMORY_REGION(slot, b->record_size);
  b->free_head = slot;
  if (was_full) link_open(b);
}

}  // namespace

void* pool_alloc_line(size_t size, bool zero) {
  if (size < kPooledLineMin || size > kPooledLineMax) return nullptr;
  const size_t rounded = (size + kLineGrain - 1) / kLineGrain * kLineGrain;
  std::lock_guard<std::mutex> lock(g_line_mutex);
  line_class* c = class_for(rounded);
  if (!c) return nullptr;
  pool_block* b = c->open;
  if (!b && !(b = line_block_for(c))) return nullptr;
  char* p;
  bool clean;
  if (b->free_head) {
    p = static_cast<char*>(b->free_head);
    ASAN_UNPOISON_MEMORY_REGION(p, rounded);
    b->free_head = *reinterpret_cast<void**>(p);
    clean = false;
  } else {
    p = reinterpret_cast<char*>(b) + b->bump;
    ASAN_UNPOISON_MEMORY_REGION(p, rounded);
    clean = b->bump >= b->dirty;
    b->bump += uint32_t(rounded);
  }
  b->live.fetch_add(1, std::memory_order_relaxed);
  if (!has_room(b)) unlink_open(b);
  if (zero && !clean) std::memset(p, 0, rounded);
  return p;
}

void* pool_alloc_zero(size_t size) {
  const size_t rounded = (size + kGrain - 1) / kGrain * kGrain;
  if (size == 0 || rounded > kPooledRecordMax || t_blocks.closed) return nullptr;
  t_end.armed = true;  // constructs the thread's end guard
  cutting& c = t_blocks.by_size[rounded / kGrain];
  if (!c.block || c.next + rounded > kBlockBytes) {
    if (c.block) drop(c.block);
    c.block = new_block(rounded);
    c.next = kHeaderBytes;
    if (!c.block) return nullptr;
  }
  char* p = reinterpret_cast<char*>(c.block) + c.next;
  c.next += rounded;
  c.block->live.fetch_add(1, std::memory_order_relaxed);
  ASAN_UNPOISON_MEMORY_REGION(p, rounded);
  // Blocks come zero-filled and records are never reused.
  return p;
}

bool pool_owns(const void* block) { return block_of(block) != nullptr; }

size_t pool_record_size(const void* block) {
  const pool_block* b = block_of(block);
  return b ? b->record_size : 0;
}

bool pool_release(void* block) {
  pool_block* b = block_of(block);
  if (!b) return false;
  if (b->cls) {
    release_line(b, block);
    return true;
  }
  ASAN_POISON_MEMORY_REGION(block, b->record_size);
  drop(b);
  return true;
}
