// Creation of sorted indexes and the build that fills one from its source.
//
// An index may hold hundreds of thousands of objects, so the build never inserts them
// one by one into a single array. It samples splitters about 2·√n elements apart in
// source order, sorts the splitters, and cuts the index array into buckets, one between
// each two neighbouring splitters. A first pass finds every element's bucket and counts
// the buckets; a second deals the elements out to their buckets, and each bucket then
// places its elements in turn by a binary search, moving only the part of that bucket
// that follows. Equal keys end up in ascending id order, and elements equal in key and
// id keep their source order.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/index.h"
#include "core/index_order.h"
#include "core/memory.h"

using index_detail::insertion_pos;
using index_detail::key_spec;

namespace {

// 1 when the element's father has the given id (an element without father never has).
bool has_father_id(const obj_t* elem, int father_id) {
  obj_t* father = nullptr;
  obj_get_father(elem, &father);
  return father && father->id == father_id;
}

// The elements the build takes, in source order. A plain source list is filtered by
// the element class; a source that is itself an index, or an index of class 0, is taken
// whole; without a source the class list of the element class is the source. The walk
// stops at the first null slot, and a father filter (non-zero id) keeps only the sons of
// that father.
std::vector<obj_t*> collect_matching(const container_t* index, int father_id) {
  const container_t* src = index->source;
  int class_filter = 0;
  if (!src)
    src = obj_class_list(index->elem_class);
  else if (src->key_type == 0)
    class_filter = index->elem_class;

  std::vector<obj_t*> matching;
  const int n = obj_list_count(src);
  if (n <= 0 || !src->elems) return matching;
  matching.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    obj_t* elem = src->elems[i];
    if (!elem) break;
    if (class_filter && elem->cls != class_filter) continue;
    if (father_id && !has_father_id(elem, father_id)) continue;
    matching.push_back(elem);
  }
  return matching;
}

// Every step-th matching element (step = 2·⌊√n⌋) becomes a splitter, given an id first
// when it has none so that its place in (key, id) order is final. The splitters come
// back sorted, each pointer once.
std::vector<obj_t*> pick_splitters(const std::vector<obj_t*>& matching, const key_spec& ks) {
  std::vector<obj_t*> splitters;
  const size_t n = matching.size();
  if (n == 0) return splitters;
  const size_t step = 2 * static_cast<size_t>(std::sqrt(static_cast<double>(n)));
  size_t counted = 0;
  for (obj_t* elem : matching) {
    if (++counted < step) continue;
    counted = 0;
    if (elem->id == 0) elem->id = obj_new_id();
    const int pos = insertion_pos(splitters.data(), 0, static_cast<int>(splitters.size()), ks,
                                  ks.of(elem), elem->id);
    if (pos > 0 && splitters[pos - 1] == elem) continue;
    splitters.insert(splitters.begin() + pos, elem);
  }
  return splitters;
}

// The elements of a large source lie all over the heap: each pass asks the cache for
// the record it will read some steps ahead, so that the waits for memory overlap.
constexpr int kLookAhead = 16;

inline void prefetch_record(const key_spec& ks, const obj_t* elem) {
  __builtin_prefetch(elem);
  __builtin_prefetch(ks.of(elem));
}

struct bucket {
  int start;   // first position of the bucket in the index array
  int filled;  // elements placed so far
};

// Places every matching element into the index array, which holds room for all of them.
void place_in_buckets(const std::vector<obj_t*>& matching, const std::vector<obj_t*>& splitters,
                      const key_spec& ks, obj_t** out) {
  const int n_split = static_cast<int>(splitters.size());
  std::vector<int> bucket_of(matching.size());
  std::vector<bucket> buckets(static_cast<size_t>(n_split) + 1, bucket{0, 0});

  // First pass: each element's bucket is its insertion position among the splitters.
  std::vector<int> sizes(buckets.size(), 0);
  for (size_t i = 0; i < matching.size(); ++i) {
    if (i + kLookAhead < matching.size()) prefetch_record(ks, matching[i + kLookAhead]);
    const obj_t* elem = matching[i];
    bucket_of[i] = insertion_pos(splitters.data(), 0, n_split, ks, ks.of(elem), elem->id);
    ++sizes[bucket_of[i]];
  }
  int running = 0;
  for (size_t b = 0; b < buckets.size(); ++b) {
    buckets[b].start = running;
    running += sizes[b];
  }

  // Second pass: every element goes to its bucket, in source order.
  for (size_t i = 0; i < matching.size(); ++i) {
    bucket& bk = buckets[bucket_of[i]];
    out[bk.start + bk.filled++] = matching[i];
  }
  // Then each bucket in turn places its elements one after another, each by a binary
  // search among those placed before it and a move of the ones that follow. A bucket is
  // done whole before the next, so its elements stay in the cache while it is ordered.
  for (const bucket& bk : buckets) {
    const int end = bk.start + bk.filled;
    for (int j = bk.start + 1; j < end; ++j) {
      if (j + kLookAhead < end) prefetch_record(ks, out[j + kLookAhead]);
      obj_t* elem = out[j];
      const int pos = insertion_pos(out, bk.start, j, ks, ks.of(elem), elem->id);
      if (pos == j) continue;
      std::memmove(out + pos + 1, out + pos, static_cast<size_t>(j - pos) * sizeof(obj_t*));
      out[pos] = elem;
    }
  }
}

// Refills the index from its source; see the file comment.
void index_build(container_t* index, int father_id) {
  const key_spec ks(index);
  const std::vector<obj_t*> matching = collect_matching(index, father_id);
  const std::vector<obj_t*> splitters = pick_splitters(matching, ks);

  const int n = static_cast<int>(matching.size());
  index->count = n;
  index->capacity = list_capacity_for(n);
  obj_t** elems = index->elems;  // through a local: the record is packed
  realloc_mem(&elems, index->capacity);
  index->elems = elems;
  place_in_buckets(matching, splitters, ks, elems);
}

}  // namespace

container_t* index_create(int cls, int key_type, int key_offset, container_t** out) {
  if (!out) return nullptr;
  container_t* index = obj_list_new(out);
  if (!index || get_gblerr() != 0) return index;
  index->elem_class = static_cast<uint16_t>(cls);
  index->key_type = static_cast<uint16_t>(key_type);
  index->key_offset = static_cast<uint16_t>(key_offset);
  return index;
}

container_t* index_create_over(container_t* source, int cls, int key_type, int key_offset,
                               container_t** out) {
  return index_create_from(source, 0, cls, key_type, key_offset, out);
}

container_t* index_create_from(container_t* source, int father_id, int cls, int key_type,
                               int key_offset, container_t** out) {
  container_t* index = index_create(cls, key_type, key_offset, out);
  if (!index || get_gblerr() != 0) return index;
  index->source = source;
  index_build(index, father_id);
  return index;
}

void index_rebuild(container_t* index) {
  if (!index || index->key_type == 0 || get_gblerr() != 0) return;
  index_build(index, 0);
}

int index_is_sorted(const container_t* list) { return list && list->key_type != 0 ? 1 : 0; }
