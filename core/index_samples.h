// Sampled keys of large sorted indexes, for the searches by key of index.cpp; nothing
// else includes this file.
//
// The elements of a large index lie all over the heap, so a binary search over it waits
// for memory at each of its last steps, once for the slot of the element array and once
// for the element's key. For an index of a number key type that is searched again and
// again without changing, the searches keep a copy of every sixteenth key in one small
// array: the search runs over that array (a few hundred kilobytes that stay in the
// cache), then over the sixteen elements between two samples, whose keys are asked for
// all at once.
//
// The samples are only a hint. They belong to one index as it was (its element array,
// count, key type and offset); the two elements that bound the hinted range are checked
// against the key itself, so that a hint that no longer holds (an element replaced in
// place since) is noticed, dropped, and the search made over the whole index. On a
// sorted index the position found is therefore always the one the whole search finds.
#pragma once
#include "core/index_order.h"

namespace index_detail {

// The first position whose element's key does not stand before k (upper false), or that
// stands after k (upper true), found through the samples of the index: true and the
// position in *pos, or false when the index has no samples (yet) and the caller
// searches it whole.
bool sampled_key_bound(const container_t* index, const key_spec& ks, const void* k, bool upper,
                       int* pos);

}  // namespace index_detail
