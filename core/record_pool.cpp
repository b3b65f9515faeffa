// Pooled object records (see record_pool.h).
//
// A block starts with its header (live count, record size); records follow it. The
// live count holds one per record not yet freed plus one while a thread still cuts
// records from the block; whoever brings it to zero returns the block.
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

struct pool_block {
  std::atomic<int64_t> live;
  size_t record_size;
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

}  // namespace

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
  ASAN_POISON_MEMORY_REGION(block, b->record_size);
  drop(b);
  return true;
}
