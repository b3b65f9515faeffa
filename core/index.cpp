// Maintenance and searches of sorted indexes (creation and the build are in
// index_build.cpp).
//
// Elements stand in (key, id) order. Searches by key alone are two binary searches
// (through the sampled keys of index_samples.h when a large index has them):
// the lower bound (first element not before the key) and the upper bound (first element
// after it); every search mode is read off those two positions. Searches for one given
// object use the full (key, id) order, so that they stay logarithmic however long the
// run of equal keys is.
#include <cstring>

#include "core/index.h"
#include "core/index_order.h"
#include "core/index_samples.h"

using index_detail::insertion_pos;
using index_detail::key_spec;
using index_detail::lower_bound_id;
using index_detail::search_key;

namespace {

bool has_elements(const container_t* index) {
  return index && index->count > 0 && index->elems;
}

// First position whose element does not stand before the key.
int key_lower_bound(const container_t* index, const key_spec& ks, const void* k) {
  int pos = 0;
  if (index_detail::sampled_key_bound(index, ks, k, false, &pos)) return pos;
  return index_detail::key_lower_bound(index->elems, index->count, ks, k);
}

// First position whose element stands after the key.
int key_upper_bound(const container_t* index, const key_spec& ks, const void* k) {
  int pos = 0;
  if (index_detail::sampled_key_bound(index, ks, k, true, &pos)) return pos;
  return index_detail::key_upper_bound(index->elems, index->count, ks, k);
}

bool key_equals(const key_spec& ks, const void* k, const obj_t* elem) {
  return index_compare_keys(ks.type, ks.of(elem), k) == 0;
}

bool same_key_and_id(const key_spec& ks, const obj_t* a, const obj_t* b) {
  return a->id == b->id && index_compare_keys(ks.type, ks.of(a), ks.of(b)) == 0;
}

// Element at a position, or null outside the index.
obj_t* elem_at(const container_t* index, int pos) {
  return pos >= 0 && pos < index->count ? index->elems[pos] : nullptr;
}

int set_pos(int* out_pos, int pos) {
  if (out_pos) *out_pos = pos;
  return pos;
}

// Position of the element a search mode selects, -1 when none.
int search_position(const container_t* index, int mode, const void* key) {
  const key_spec ks(index);
  const search_key sk(ks.type, key);
  const int n = index->count;
  switch (mode) {
    case IDX_BEFORE:
      return key_lower_bound(index, ks, sk.addr()) - 1;
    case IDX_LAST_EQUAL:
      // The last equal element when there is one, else the last one before: in both
      // cases the element just below the upper bound.
      return key_upper_bound(index, ks, sk.addr()) - 1;
    case IDX_FIRST_EQUAL: {
      const int lb = key_lower_bound(index, ks, sk.addr());
      return lb < n && key_equals(ks, sk.addr(), index->elems[lb]) ? lb : -1;
    }
    case IDX_EQUAL_OR_AFTER: {
      // The first equal element or, failing one, the first after: the lower bound.
      const int lb = key_lower_bound(index, ks, sk.addr());
      return lb < n ? lb : -1;
    }
    case IDX_AFTER: {
      const int ub = key_upper_bound(index, ks, sk.addr());
      return ub < n ? ub : -1;
    }
    default:
      return -1;
  }
}

}  // namespace

// ---- Maintenance ------------------------------------------------------------------

void index_insert(container_t* index, obj_t* obj) {
  if (!index || !obj) return;
  if (obj->id == 0) obj->id = obj_new_id();
  const key_spec ks(index);
  const int pos = insertion_pos(index->elems, 0, obj_list_count(index), ks, ks.of(obj), obj->id);
  if (pos > 0 && index->elems[pos - 1] == obj) return;
  obj_list_insert(index, pos, obj);
}

obj_t* index_add_new(container_t* index, obj_t** out, const void* key) {
  if (!out) return nullptr;
  *out = nullptr;
  if (!index) return nullptr;
  alloc_obj(index->elem_class, out);
  if (!*out) return nullptr;
  if (key) attr_set_value(index->key_type, reinterpret_cast<char*>(*out) + index->key_offset, key);
  index_insert(index, *out);
  return *out;
}

obj_t* index_add_copy(const obj_t* src, container_t* index, obj_t** out) {
  if (!out) return nullptr;
  *out = nullptr;
  if (!src || !index) return nullptr;
  alloc_obj(src->cls, out);
  if (!*out) return nullptr;
  obj_copy(src, *out);
  index_insert(index, *out);
  return *out;
}

obj_t* index_put_copy(const obj_t* src, container_t* index, obj_t** out) {
  if (!out) return nullptr;
  *out = nullptr;
  if (!src || !index) return nullptr;
  const void* key = nullptr;
  index_key_of(index, src, &key);
  obj_t* existing = nullptr;
  index_get(index, key, &existing);
  if (!existing) return index_add_copy(src, index, out);
  obj_copy(src, existing);
  *out = existing;
  return existing;
}

void index_remove(container_t* index, obj_t* obj) {
  const int pos = index_position_of(index, obj);
  if (pos >= 0) obj_list_remove_at(index, pos);
}

// ---- Searches by key ----------------------------------------------------------------

int index_find_exact(const container_t* index, const void* key, int* out_pos) {
  if (!has_elements(index) || !key) return set_pos(out_pos, -1);
  const key_spec ks(index);
  const search_key sk(ks.type, key);
  const int lb = set_pos(out_pos, key_lower_bound(index, ks, sk.addr()));
  return lb < index->count && key_equals(ks, sk.addr(), index->elems[lb]) ? 1 : 0;
}

int index_find_before(const container_t* index, const void* key, int* out_pos) {
  if (!has_elements(index) || !key) return set_pos(out_pos, -1);
  return set_pos(out_pos, search_position(index, IDX_BEFORE, key));
}

int index_find_after(const container_t* index, const void* key, int* out_pos) {
  if (!has_elements(index) || !key) return set_pos(out_pos, -1);
  return set_pos(out_pos, search_position(index, IDX_AFTER, key));
}

int index_find_pos(const container_t* index, const void* key) {
  if (!has_elements(index) || !key) return -1;
  return search_position(index, IDX_FIRST_EQUAL, key);
}

obj_t* index_get(const container_t* index, const void* key, obj_t** inout) {
  if (!inout) return nullptr;
  obj_t* prev = *inout;
  *inout = nullptr;
  if (!has_elements(index) || !key) return nullptr;
  if (!prev) {
    *inout = elem_at(index, search_position(index, IDX_FIRST_EQUAL, key));
    return *inout;
  }
  const int pos = index_position_of(index, prev);
  if (pos < 0) return nullptr;
  const key_spec ks(index);
  const search_key sk(ks.type, key);
  obj_t* next = elem_at(index, pos + 1);
  if (next && key_equals(ks, sk.addr(), next)) *inout = next;
  return *inout;
}

int index_search(const container_t* index, int mode, const void* key, obj_t** out) {
  if (out) *out = nullptr;
  if (!has_elements(index) || !key) return -1;
  const int pos = search_position(index, mode, key);
  if (out) *out = elem_at(index, pos);
  if (pos < 0 || mode == IDX_LAST_EQUAL || mode == IDX_EQUAL_OR_AFTER) return -1;
  return pos;
}

obj_t* index_nearest(const container_t* index, const void* key, obj_t** out,
                     double* out_distance) {
  obj_t* at_or_after = nullptr;
  obj_t* at_or_before = nullptr;
  index_search(index, IDX_EQUAL_OR_AFTER, key, &at_or_after);
  index_search(index, IDX_LAST_EQUAL, key, &at_or_before);

  obj_t* best = nullptr;
  double distance = -1;
  if (at_or_after || at_or_before) {
    const key_spec ks(index);
    const search_key sk(ks.type, key);
    double d_after = at_or_after ? index_key_distance(sk.addr(), ks.type, ks.of(at_or_after)) : -1;
    double d_before =
        at_or_before ? index_key_distance(sk.addr(), ks.type, ks.of(at_or_before)) : -1;
    if (!at_or_after) d_after = d_before + 0.1;
    if (!at_or_before) d_before = d_after + 0.1;
    // A tie goes to the candidate at or after the key.
    best = d_before < d_after ? at_or_before : at_or_after;
    distance = d_before < d_after ? d_before : d_after;
  }
  if (out) *out = best;
  if (out_distance) *out_distance = distance;
  return best;
}

// ---- Searches for one object --------------------------------------------------------

obj_t* index_lookup(const container_t* index, obj_t** inout) {
  if (!inout) return nullptr;
  obj_t* obj = *inout;
  *inout = nullptr;
  if (!has_elements(index) || !obj) return nullptr;
  const key_spec ks(index);
  const int lb = lower_bound_id(index->elems, index->count, ks, ks.of(obj), obj->id);
  *inout = elem_at(index, lb - 1);
  return *inout;
}

int index_position_of(const container_t* index, const obj_t* obj) {
  if (!has_elements(index) || !obj) return -1;
  const key_spec ks(index);
  const int n = index->count;
  // Where (key, id) order puts the object...
  for (int i = lower_bound_id(index->elems, n, ks, ks.of(obj), obj->id);
       i < n && same_key_and_id(ks, index->elems[i], obj); ++i)
    if (index->elems[i] == obj) return i;
  // ...else anywhere in the run of its key, should its id have changed since it was
  // placed (an element without id gets one when it becomes a splitter or is inserted).
  for (int i = key_lower_bound(index, ks, ks.of(obj));
       i < n && key_equals(ks, ks.of(obj), index->elems[i]); ++i)
    if (index->elems[i] == obj) return i;
  return -1;
}

int index_position_by_id(const container_t* index, const obj_t* obj) {
  if (!has_elements(index) || !obj) return -1;
  const key_spec ks(index);
  const int pos = lower_bound_id(index->elems, index->count, ks, ks.of(obj), obj->id);
  const obj_t* found = elem_at(index, pos);
  return found && same_key_and_id(ks, found, obj) ? pos : -1;
}

obj_t* index_locate(const container_t* index, obj_t** inout, int* out_pos) {
  set_pos(out_pos, -1);
  if (!inout) return nullptr;
  const obj_t* current = *inout;
  *inout = nullptr;
  if (!has_elements(index)) return nullptr;
  int next = 0;
  if (current) {
    const int pos = index_position_of(index, current);
    const key_spec ks(index);
    next = pos >= 0 ? pos + 1
                    : insertion_pos(index->elems, 0, index->count, ks, ks.of(current),
                                    current->id);
  }
  *inout = elem_at(index, next);
  if (*inout) set_pos(out_pos, next);
  return *inout;
}

// ---- Keys -----------------------------------------------------------------------------

// The key of an element in the form the searches take, so that it can be handed back to
// any of them: the pointer itself for strings and object references, the address of
// the key attribute otherwise.
const void* index_key_of(const container_t* index, const obj_t* elem, const void** out) {
  const void* key = nullptr;
  if (index && elem) {
    const void* attr = index_detail::elem_key(index->key_offset, elem);
    if (index_detail::key_by_value(index->key_type))
      std::memcpy(&key, attr, sizeof key);
    else
      key = attr;
  }
  if (out) *out = key;
  return key;
}

const void* index_last_key(const container_t* index, const void** out) {
  const obj_t* last = has_elements(index) ? index->elems[index->count - 1] : nullptr;
  return index_key_of(index, last, out);
}

int index_compare_elements(const container_t* index, const obj_t* a, const obj_t* b) {
  if (!index || !a || !b) return 0;
  const key_spec ks(index);
  return index_compare_keys(ks.type, ks.of(a), ks.of(b));
}
