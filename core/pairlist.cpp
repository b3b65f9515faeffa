// Pair lists (see pairlist.h): a record with the count, capacity, user word, kind and
// element size, and one block of pairs that grows by a fixed number of pairs.
#include "core/pairlist.h"

#include <cstring>

#include "core/error.h"
#include "core/memory.h"

namespace {

// Makes room for at least `needed` pairs: the block grows by kPairlistGrowth pairs
// whenever the capacity is no more than count + 4, or to `needed` when that is more.
void reserve(pairlist* list, uint64_t needed) {
  if (list->capacity > list->count + 4ull && list->capacity >= needed) return;
  uint64_t capacity = list->capacity;
  if (capacity <= list->count + 4ull) capacity += kPairlistGrowth;
  if (capacity < needed) capacity = needed;
  if (capacity * sizeof(pair_entry) > kMaxBlock) out_of_memory();
  const size_t bytes = static_cast<size_t>(capacity) * sizeof(pair_entry);
  if (!list->data && list->capacity == 0) {
    // A first block comes zeroed from the allocator: a large one is fresh pages that
    // stay untouched until used (each command slot's queue makes room for 10,000 pairs
    // at start-up and uses a few).
    alloc_mem_zero(&list->data, bytes);
  } else {
    realloc_mem(&list->data, bytes);
    std::memset(list->data + list->capacity, 0, (capacity - list->capacity) * sizeof(pair_entry));
  }
  list->capacity = static_cast<uint32_t>(capacity);
}

// The owner pointer may be a field of a packed record: it is reached through
// owner_get / owner_put, never dereferenced as a typed pointer.
pairlist* create_if_missing(pairlist** owner) {
  pairlist* list = owner_get(owner);
  if (!list) {
    list = alloc_mem_zero(owner, sizeof(pairlist));
    list->kind = kPairlistKindPairs;
    list->elem_size = sizeof(pair_entry);
  }
  return list;
}

bool valid_index(const pairlist* list, int index) {
  return list && index >= 0 && static_cast<uint32_t>(index) < list->count;
}

}  // namespace

void pairlist_add(pairlist** owner, std::intptr_t first, std::intptr_t second) {
  pairlist* list = create_if_missing(owner);
  reserve(list, list->count + 1ull);
  list->data[list->count++] = {first, second};
}

void pairlist_insert_sorted(pairlist** owner, std::intptr_t first, std::intptr_t second) {
  pairlist* list = create_if_missing(owner);
  // The position after the last pair whose first value is not above `first`.
  uint32_t low = 0, high = list->count;
  while (low < high) {
    const uint32_t mid = low + (high - low) / 2;
    if (list->data[mid].first <= first) low = mid + 1;
    else high = mid;
  }
  for (uint32_t i = low; i > 0 && list->data[i - 1].first == first; --i) {
    if (list->data[i - 1].second == second) return;  // already present
  }
  reserve(list, list->count + 1ull);
  std::memmove(list->data + low + 1, list->data + low, (list->count - low) * sizeof(pair_entry));
  list->data[low] = {first, second};
  ++list->count;
}

int pairlist_get_raw(const pairlist* list, int index, std::intptr_t* first,
                     std::intptr_t* second) {
  if (!valid_index(list, index)) {
    set_gblerr(ERR_HEAP);
    return 0;
  }
  if (first) *first = list->data[index].first;
  if (second) *second = list->data[index].second;
  return 1;
}

int pairlist_get(const pairlist* list, int index, std::intptr_t* first, std::intptr_t* second) {
  if (list && list->kind != kPairlistKindPairs) return 0;
  return pairlist_get_raw(list, index, first, second);
}

int pairlist_set_raw(pairlist* list, int index, std::intptr_t first, std::intptr_t second) {
  if (!valid_index(list, index)) {
    set_gblerr(ERR_HEAP);
    return 0;
  }
  list->data[index] = {first, second};
  return 1;
}

int pairlist_set(pairlist* list, int index, std::intptr_t first, std::intptr_t second) {
  return pairlist_set_raw(list, index, first, second);
}

int pairlist_count(const pairlist* list) { return list ? static_cast<int>(list->count) : 0; }

void pairlist_set_count(pairlist* list, int count) {
  if (!list || count < 0) return;
  const auto n = static_cast<uint32_t>(count);
  if (n > list->count) {
    reserve(list, n);
    std::memset(list->data + list->count, 0, (n - list->count) * sizeof(pair_entry));
  }
  list->count = n;
}

int pairlist_pop(pairlist* list, std::intptr_t* first, std::intptr_t* second) {
  if (!list || list->count == 0) return 0;
  const pair_entry& last = list->data[--list->count];
  if (first) *first = last.first;
  if (second) *second = last.second;
  return 1;
}

int pairlist_find(const pairlist* list, int match_first, std::intptr_t first, int match_second,
                  std::intptr_t second) {
  if (!list || (!match_first && !match_second)) return -1;
  for (uint32_t i = 0; i < list->count; ++i) {
    const pair_entry& p = list->data[i];
    if (match_first && p.first != first) continue;
    if (match_second && p.second != second) continue;
    return static_cast<int>(i);
  }
  return -1;
}

void pairlist_copy(const pairlist* list, pairlist** owner) {
  if (!list) {
    pairlist_free(owner);
    return;
  }
  // The copy is made before the owner's list is freed: it may be the source itself.
  pairlist* copy = nullptr;
  alloc_mem_zero(&copy, sizeof(pairlist));
  *copy = *list;
  copy->data = nullptr;
  copy->capacity = list->count;
  if (list->count) {
    alloc_mem(&copy->data, size_t(list->count) * sizeof(pair_entry));
    std::memcpy(copy->data, list->data, size_t(list->count) * sizeof(pair_entry));
  }
  pairlist_free(owner);
  owner_put(owner, copy);
}

uint32_t* pairlist_data(pairlist* list) {
  if (!list) {
    set_gblerr(ERR_HEAP);
    return nullptr;
  }
  return &list->user;
}

void pairlist_free(pairlist** owner) {
  pairlist* list = owner ? owner_get(owner) : nullptr;
  if (!list) return;
  free_mem(&list->data);
  free_mem(owner);
}
