// Memory of the system: the owner-pointer wrappers, the memory budget, owned strings,
// string lists and growable element buffers.
//
// Every wrapper takes the address of the owner's pointer, frees what it holds before
// storing a new block, and leaves null behind when it frees. An allocation failure is
// never returned: the bilingual out-of-memory message is shown and the program ends
// through its exit routine (hooks.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// Largest single block the wrappers hand out; a larger request is treated as an
// allocation failure, so a corrupt size read from a file can never reach malloc.
constexpr size_t kMaxBlock = size_t(1) << 31;

[[noreturn]] void out_of_memory();

namespace mem_detail {
void* checked_malloc(size_t size);
void* checked_calloc(size_t size);
void* checked_realloc(void* block, size_t size);
void release(void* block);
}  // namespace mem_detail

// An owner pointer may be a field of a packed record and so sit at any address: it
// is always read and written with memcpy, never through a typed dereference.
template <class T> T* owner_get(T* const* owner) {
  T* p;
  std::memcpy(&p, owner, sizeof p);
  return p;
}
template <class T> void owner_put(T** owner, T* p) { std::memcpy(owner, &p, sizeof p); }

template <class T> T* alloc_mem(T** owner, size_t size) {
  mem_detail::release(owner_get(owner));
  owner_put<T>(owner, nullptr);
  T* p = static_cast<T*>(mem_detail::checked_malloc(size));
  owner_put(owner, p);
  return p;
}
template <class T> T* alloc_mem_zero(T** owner, size_t size) {
  mem_detail::release(owner_get(owner));
  owner_put<T>(owner, nullptr);
  T* p = static_cast<T*>(mem_detail::checked_calloc(size));
  owner_put(owner, p);
  return p;
}
// Size 0 frees the block and nulls the owner; a null owner gets a new block.
template <class T> T* realloc_mem(T** owner, size_t size) {
  if (size == 0) {
    mem_detail::release(owner_get(owner));
    owner_put<T>(owner, nullptr);
    return nullptr;
  }
  T* p = static_cast<T*>(mem_detail::checked_realloc(owner_get(owner), size));
  owner_put(owner, p);
  return p;
}
template <class T> void free_mem(T** owner) {
  if (!owner) return;
  T* p = owner_get(owner);
  if (!p) return;
  mem_detail::release(p);
  owner_put<T>(owner, nullptr);
}

// The exported, untyped entry points that the plug-in binds by name.
extern "C" void* alloc_mem_export(void** owner, int size) __asm__("alloc_mem");
// Per-thread scratch block of at least `size` bytes; contents are not kept across a
// growth, and the block must not be kept across another call.
extern "C" void* get_loc_mem(int size);

// ---- Memory budget ------------------------------------------------------------------
// Bytes the process may still commit: min(MAXMEM - committed, available physical).
double compute_mem_budget();
double* get_mem_budget(double* out);
double last_mem_budget();

// ---- Owned strings and string lists -------------------------------------------------
void str_end(const char* s, const char** out);
void str_set(const char* src, char** owner);
void str_cat(const char* src, char** owner);
void str_cat_long(long long value, char** owner);
void str_cat_int(int value, char** owner);
void str_cat_char(char c, char** owner);
// Strings one after another, each ended by NUL, the whole ended by one more NUL.
void strlist_append(const char* s, char** owner);

// ---- Growth steps and element buffers -----------------------------------------------
// Raises a capacity in bytes to the next growth step and resizes the block to it.
uint32_t grow_capacity_value(uint32_t capacity);
// The capacity, like the owner, may be a field of a packed record.
template <class T> void grow_capacity(T** owner, uint32_t* capacity) {
  uint32_t c;
  std::memcpy(&c, capacity, sizeof c);
  c = grow_capacity_value(c);
  std::memcpy(capacity, &c, sizeof c);
  realloc_mem(owner, c);
}

#pragma pack(push, 1)
// A growable element buffer kept inside a larger record.
struct elem_buf {
  uint32_t count;      // elements
  uint32_t elem_size;  // bytes per element
  uint32_t capacity;   // bytes
  uint8_t* data;
};
#pragma pack(pop)

void buf_grow(elem_buf* b, uint32_t n);
void buf_free(elem_buf* b);
void buf_remove_range(elem_buf* b, uint32_t first, uint32_t last);
void buf_index_of(const elem_buf* b, const void* elem, uint32_t* out);
void buf_at(const elem_buf* b, uint32_t index, void** out);
