// Machine resources: the memory status, from /proc/meminfo and this process's
// /proc/self/status, and the free space of a file system, from statvfs. The memory
// budget of the programs is computed from these figures. And how much freed memory the
// allocator keeps for the process.
#include <malloc.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/sys/sysinfo.h"

namespace plat {
namespace {

// Reads "Key:   <number> kB" lines of a /proc file; each wanted key's value in bytes
// goes to its slot, and a key that is absent leaves its slot at -1.
struct kb_field {
  const char* key;
  double* out;
};

void read_kb_fields(const char* file, kb_field* fields, size_t count) {
  for (size_t i = 0; i < count; ++i) *fields[i].out = -1;
  FILE* f = std::fopen(file, "r");
  if (!f) return;
  char line[256];
  bool at_line_start = true;
  while (std::fgets(line, sizeof line, f)) {
    // A line longer than the buffer arrives in pieces; only its first piece holds a key.
    const bool starts_line = at_line_start;
    at_line_start = std::strchr(line, '\n') != nullptr;
    if (!starts_line) continue;
    const char* colon = std::strchr(line, ':');
    if (!colon) continue;
    const size_t key_len = static_cast<size_t>(colon - line);
    for (size_t i = 0; i < count; ++i) {
      if (std::strlen(fields[i].key) != key_len || std::strncmp(line, fields[i].key, key_len) != 0)
        continue;
      unsigned long long kb = 0;
      if (std::sscanf(colon + 1, "%llu", &kb) == 1) *fields[i].out = static_cast<double>(kb) * 1024.0;
    }
  }
  std::fclose(f);
}

double at_least_zero(double v) { return v < 0 ? 0 : v; }

void read_machine_memory(memory_status* st) {
  double mem_free = 0, buffers = 0, cached = 0;
  kb_field fields[] = {
      {"MemTotal", &st->total_physical}, {"SwapTotal", &st->total_swap},
      {"MemAvailable", &st->available_physical}, {"SwapFree", &st->available_swap},
      {"MemFree", &mem_free}, {"Buffers", &buffers}, {"Cached", &cached},
  };
  read_kb_fields("/proc/meminfo", fields, sizeof fields / sizeof fields[0]);
  // Kernels before 3.14 give no MemAvailable: free memory plus the caches that can
  // be dropped is the nearest figure.
  if (st->available_physical < 0)
    st->available_physical = at_least_zero(mem_free) + at_least_zero(buffers) + at_least_zero(cached);
  st->total_physical = at_least_zero(st->total_physical);
  st->total_swap = at_least_zero(st->total_swap);
  st->available_swap = at_least_zero(st->available_swap);
}

// The process's committed memory is taken as what it actually holds: resident pages
// plus pages swapped out (VmRSS + VmSwap). VmSize would count every reserved address
// range, which under AddressSanitizer is terabytes of shadow memory, and would make
// the memory budget meaningless.
void read_process_memory(memory_status* st) {
  double rss = 0, swap = 0;
  kb_field fields[] = {{"VmRSS", &rss}, {"VmSwap", &swap}};
  read_kb_fields("/proc/self/status", fields, sizeof fields / sizeof fields[0]);
  st->process_committed = at_least_zero(rss) + at_least_zero(swap);
}

}  // namespace

void keep_freed_memory(size_t bytes) {
  const int kept = bytes > size_t(INT_MAX) ? INT_MAX : int(bytes);
  mallopt(M_TRIM_THRESHOLD, kept);
}

// Under AddressSanitizer the blocks come from the heap, so that the leak checker scans
// what they hold (it does not look into memory mapped by hand).
#if defined(__SANITIZE_ADDRESS__)
#define TM_LARGE_BLOCKS_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TM_LARGE_BLOCKS_FROM_HEAP 1
#endif
#endif

void* map_large_block(size_t bytes) {
  if (bytes == 0 || bytes % kLargeBlockAlign != 0) return nullptr;
#ifdef TM_LARGE_BLOCKS_FROM_HEAP
  void* p = std::aligned_alloc(kLargeBlockAlign, bytes);
  if (p) std::memset(p, 0, bytes);
  return p;
#else
  // Map one alignment more than asked and cut the ends off, which leaves an aligned
  // range: transparent large pages need the whole 2 MiB range inside one mapping.
  const size_t span = bytes + kLargeBlockAlign;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kLargeBlockAlign - 1) & ~uintptr_t(kLargeBlockAlign - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + span, used_end = aligned + bytes;
  if (end > used_end) munmap(reinterpret_cast<void*>(used_end), end - used_end);
  void* p = reinterpret_cast<void*>(aligned);
  madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without large pages the block still works
  return p;
#endif
}

void unmap_large_block(void* block, size_t bytes) {
  if (!block) return;
#ifdef TM_LARGE_BLOCKS_FROM_HEAP
  (void)bytes;
  std::free(block);
#else
  munmap(block, bytes);
#endif
}

void advise_large_pages(void* block, size_t bytes) {
#ifdef TM_LARGE_BLOCKS_FROM_HEAP
  (void)block, (void)bytes;
#else
  // The advice covers the block's pages whole, not only its 2 MiB ranges: advice on a
  // part of a mapping splits it, and the allocator can then no longer resize a block
  // that has a mapping of its own by moving its pages (mremap fails across the pieces),
  // so every growth would copy the whole array into fresh memory.
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first = start & ~(page - 1);
  // The heap block may hold more than was asked (its mapping's last page).
  const size_t held = block ? malloc_usable_size(block) : 0;
  if (held > bytes) bytes = held;
  const uintptr_t end = (start + bytes + page - 1) & ~(page - 1);
  if (block && bytes >= kLargeBlockAlign)
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

void* alloc_large_block(size_t bytes) {
  if (bytes == 0) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(p, bytes, MADV_HUGEPAGE);  // advice only: the block works without it
#endif
  return p;
}

void free_large_block(void* block, size_t bytes) {
  if (block && bytes) munmap(block, bytes);
}

memory_status get_memory_status() {
  memory_status st;
  read_machine_memory(&st);
  read_process_memory(&st);
  return st;
}

int64_t disk_free_bytes(const char* path) {
  if (!path || !path[0]) return -1;
  struct statvfs fs {};
  if (statvfs(path, &fs) != 0) return -1;
  const uint64_t blocks = fs.f_bavail;
  const uint64_t block_size = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
  const uint64_t most = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (block_size != 0 && blocks > most / block_size) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(blocks * block_size);
}

}  // namespace plat
