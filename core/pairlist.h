// Pair lists: the system's small growable arrays of (first, second) pairs, used where a
// plain sequence of value pairs is wanted without the object store (the command
// dispatcher's text queues and job queue, the layers window, the redraw's image pairs,
// the tree check boxes, sets of control points).
//
// Each value is a std::intptr_t, as wide as a pointer (8 bytes here, element size 16),
// so that a caller may keep the address of a heap text or an object in a pair without
// losing half of it. A list is owned through one pointer and created on its first
// insertion; a null list counts as empty for counting, popping and finding. No list
// locks itself: callers that share one between threads hold their own lock.
#pragma once
#include <cstdint>

struct pair_entry {
  std::intptr_t first;
  std::intptr_t second;
};

struct pairlist {
  uint32_t count;      // pairs in use
  uint32_t capacity;   // pairs allocated
  uint32_t user;       // a word kept for the list's owner (pairlist_data)
  uint32_t kind;       // 1: pairs of values
  uint32_t elem_size;  // bytes per pair: sizeof(pair_entry)
  pair_entry* data;
};

constexpr uint32_t kPairlistKindPairs = 1;
// Pairs added at a time when the capacity is no more than count + 4.
constexpr uint32_t kPairlistGrowth = 10000;

// Appends (first, second); creates the list on first use.
void pairlist_add(pairlist** owner, std::intptr_t first, std::intptr_t second);
// Inserts keeping the list ordered by first value, after the pairs with an equal first
// value; a pair identical to one already present is not inserted again.
void pairlist_insert_sorted(pairlist** owner, std::intptr_t first, std::intptr_t second);
// Reads pair i into the outputs (each may be null); 1 on success. A null list or an
// index outside 0..count-1: gblerr 18 and 0; a list of another kind: 0.
int pairlist_get(const pairlist* list, int index, std::intptr_t* first, std::intptr_t* second);
// Writes pair i; 1 on success. A null list or an index outside 0..count-1: gblerr 18.
int pairlist_set(pairlist* list, int index, std::intptr_t first, std::intptr_t second);
// The same without the kind check.
int pairlist_get_raw(const pairlist* list, int index, std::intptr_t* first,
                     std::intptr_t* second);
int pairlist_set_raw(pairlist* list, int index, std::intptr_t first, std::intptr_t second);
// Number of pairs; 0 for a null list.
int pairlist_count(const pairlist* list);
// Sets the number of pairs; pairs beyond the old count read as (0, 0). Nothing for a
// null list or a negative count.
void pairlist_set_count(pairlist* list, int count);
// Removes the last pair into the outputs (each may be null); 0 when the list is null
// or empty, else 1.
int pairlist_pop(pairlist* list, std::intptr_t* first, std::intptr_t* second);
// Index of the first pair whose flagged values match; -1 when none matches, when the
// list is null or empty, or when neither flag is set.
int pairlist_find(const pairlist* list, int match_first, std::intptr_t first, int match_second,
                  std::intptr_t second);
// Makes *owner a new list with the same pairs, user word and kind (capacity = count);
// a null list leaves *owner null.
void pairlist_copy(const pairlist* list, pairlist** owner);
// Address of the list's user word; a null list: gblerr 18 and null.
uint32_t* pairlist_data(pairlist* list);
// Frees the data and the list; *owner becomes null.
void pairlist_free(pairlist** owner);
