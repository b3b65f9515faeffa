// Owner-pointer allocation wrappers, the out-of-memory exit, the per-thread scratch
// block and the memory budget (see memory.h).
#include "core/memory.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/paths.h"
#include "core/record_pool.h"
#include "core/tracelog.h"
#include "platform/sys/sysinfo.h"

namespace {

// The budget is recomputed on every request; the last value is kept for readers on
// other threads.
std::atomic<double> g_last_budget{0.0};

// The scratch block belongs to the thread that asks for it: the worker running the
// current task and the user-interface thread never share it.
struct scratch_block {
  char* block = nullptr;
  int size = 0;
  ~scratch_block() { free_mem(&block); }
};
thread_local scratch_block t_scratch;

}  // namespace

void out_of_memory() {
  // Choosing the language and writing the log may allocate: a failure inside them, or
  // a second thread failing meanwhile, goes straight to the exit.
  static std::atomic<bool> reporting{false};
  if (reporting.exchange(true)) core_exit(EXIT_FAILURE);
  const bool fr = is_french() != 0;
  core_message_box(fr ? "Il n'y a plus de m\xc3\xa9moire disponible.\nL'application va \xc3\xaatre ferm\xc3\xa9" "e."
                      : "There is not enough memory.\nThe application is shuting down.",
                   fr ? "Plus de m\xc3\xa9moire" : "Out of memory");
  log_error_line(get_error_text(ERR_MEMORY));
  core_exit(EXIT_FAILURE);
}

namespace mem_detail {

constexpr size_t kLargeArray = size_t(4) << 20;

void* checked_malloc(size_t size) {
  if (size > kMaxBlock) out_of_memory();
  void* p = std::malloc(size ? size : 1);
  if (!p) out_of_memory();
  return p;
}

void* checked_calloc(size_t size) {
  if (size > kMaxBlock) out_of_memory();
  void* p = std::calloc(1, size ? size : 1);
  if (!p) out_of_memory();
  return p;
}

void* checked_realloc(void* block, size_t size) {
  if (size > kMaxBlock) out_of_memory();
  if (const size_t held = pool_record_size(block)) {
    // A pooled record is never resized in place: it moves to the heap.
    void* moved = checked_malloc(size);
    std::memcpy(moved, block, held < size ? held : size);
    pool_release(block);
    return moved;
  }
  void* p = std::realloc(block, size ? size : 1);
  if (!p) out_of_memory();
  // Large arrays (lists of a million objects) grow by reallocation: large pages spare
  // them a page fault per 4 KiB as they fill.
  if (size >= kLargeArray) plat::advise_large_pages(p, size);
  return p;
}

void release(void* block) {
  if (!pool_release(block)) std::free(block);
}

}  // namespace mem_detail

extern "C" void* alloc_mem_export(void** owner, int size) {
  if (size < 0) out_of_memory();
  return alloc_mem(owner, static_cast<size_t>(size));
}

extern "C" void* get_loc_mem(int size) {
  scratch_block& s = t_scratch;
  if (size <= s.size) return s.block;
  free_mem(&s.block);
  alloc_mem(&s.block, static_cast<size_t>(size) + 2);
  s.size = size;
  return s.block;
}

// ---- Memory budget ------------------------------------------------------------------

double compute_mem_budget() {
  double status[5] = {0, 0, 0, 0, 0};
  get_memory_status(status);
  const double available_physical = status[2];
  const double committed = status[4];
  const double ceiling = config_maxmem() - committed;
  const double budget = ceiling <= available_physical ? ceiling : available_physical;
  g_last_budget.store(budget, std::memory_order_relaxed);
  return budget;
}

double* get_mem_budget(double* out) {
  *out = compute_mem_budget();
  return out;
}

double last_mem_budget() { return g_last_budget.load(std::memory_order_relaxed); }

// ---- Owned strings ------------------------------------------------------------------

void str_end(const char* s, const char** out) { *out = s ? s + std::strlen(s) + 1 : nullptr; }

void str_set(const char* src, char** owner) {
  if (!src) src = "";
  char* held = owner_get(owner);
  if (src == held) return;
  const size_t n = std::strlen(src);
  // Reuse the block when the text it holds is at least as long (the block is then at
  // least n + 1 bytes).
  if (!held || std::strlen(held) < n) {
    // The source may lie inside the block about to be replaced: copy it first.
    char* fresh = nullptr;
    alloc_mem(&fresh, n + 2);
    std::memcpy(fresh, src, n + 1);
    free_mem(owner);
    owner_put(owner, fresh);
    return;
  }
  std::memmove(held, src, n + 1);
}

void str_cat(const char* src, char** owner) {
  if (!src) src = "";
  char* held = owner_get(owner);
  if (!held) {
    str_set(src, owner);
    return;
  }
  if (src == held) {
    // Appending a string to itself: the source would move with the resize.
    char* copy = nullptr;
    str_set(src, &copy);
    str_cat(copy, owner);
    free_mem(&copy);
    return;
  }
  const size_t old_len = std::strlen(held);
  const size_t n = std::strlen(src);
  if (src > held && src <= held + old_len) {
    // A tail of the owned string: it would move with the resize.
    char* copy = nullptr;
    str_set(src, &copy);
    str_cat(copy, owner);
    free_mem(&copy);
    return;
  }
  held = realloc_mem(owner, old_len + n + 1 + 2);
  std::memcpy(held + old_len, src, n + 1);
}

void str_cat_long(long long value, char** owner) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld", value);
  str_cat(buf, owner);
}

void str_cat_int(int value, char** owner) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  str_cat(buf, owner);
}

void str_cat_char(char c, char** owner) {
  const char buf[2] = {c, '\0'};
  str_cat(buf, owner);
}

void strlist_append(const char* s, char** owner) {
  if (!s || !*s) return;  // an empty string would end the list
  size_t used = 0;
  if (const char* p = owner_get(owner)) {
    while (*p) {
      const size_t len = std::strlen(p) + 1;
      used += len;
      p += len;
    }
  }
  const size_t n = std::strlen(s);
  char* list = realloc_mem(owner, used + n + 10);
  std::memcpy(list + used, s, n + 1);
  list[used + n + 1] = '\0';
}

// ---- Growth steps and element buffers -----------------------------------------------

uint32_t grow_capacity_value(uint32_t c) {
  constexpr uint64_t kStep = 2097152;  // 2 MiB
  if (c > 0xFFFFF) {
    const uint64_t grown = ((uint64_t(c) + 10) / kStep) * kStep + kStep;
    if (grown > kMaxBlock) out_of_memory();
    return static_cast<uint32_t>(grown);
  }
  if (c >= 262144) return 1048576;
  if (c >= 65536) return 262144;
  if (c >= 16384) return 65536;
  if (c >= 4096) return 16384;
  if (c >= 1024) return 4096;
  return c;
}

void buf_grow(elem_buf* b, uint32_t n) {
  const uint64_t count = uint64_t(b->count) + n;
  const uint64_t needed = count * b->elem_size;
  if (count > UINT32_MAX || needed > kMaxBlock) out_of_memory();
  b->count = static_cast<uint32_t>(count);
  if (needed < b->capacity) return;
  b->capacity = static_cast<uint32_t>(needed);
  grow_capacity(&b->data, &b->capacity);
}

void buf_free(elem_buf* b) {
  if (!b) return;
  free_mem(&b->data);
  b->count = 0;
  b->capacity = 0;
}

void buf_remove_range(elem_buf* b, uint32_t first, uint32_t last) {
  if (first > last || last >= b->count) return;  // nothing sensible to remove
  if (last < b->count - 1) {
    std::memmove(b->data + size_t(first) * b->elem_size, b->data + size_t(last + 1) * b->elem_size,
                 size_t(b->count - last - 1) * b->elem_size);
  }
  b->count -= last - first + 1;
}

void buf_index_of(const elem_buf* b, const void* elem, uint32_t* out) {
  const auto offset = static_cast<const uint8_t*>(elem) - b->data;
  *out = b->elem_size ? static_cast<uint32_t>(offset / b->elem_size) : 0;
}

void buf_at(const elem_buf* b, uint32_t index, void** out) {
  uint8_t* data = b->data;
  *out = data + size_t(index) * b->elem_size;
}
