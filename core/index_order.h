// The (key, id) order of sorted indexes, shared by the build (index_build.cpp) and the
// maintenance and searches (index.cpp); nothing else includes this file.
//
// Keys are compared with index_compare_keys, which takes the addresses of two key
// values. An element's key value is its key attribute, so its address is the element
// plus the index's key offset. A search key arrives as the value itself for strings and
// object references (types 9, 10, 11) and as an address for every other type;
// search_key turns either form into the address the comparison wants.
#pragma once
#include <cstdint>

#include "core/obj_list.h"

namespace index_detail {

// 1 when the key type passes its search keys by value (a pointer), not by address.
inline bool key_by_value(int key_type) {
  return key_type == AT_WSTRING || key_type == AT_STRING || key_type == AT_REF;
}

// A search key in the form index_compare_keys takes. Not copyable: for keys given by
// value, the address handed out is that of the member holding the pointer.
class search_key {
 public:
  search_key(int key_type, const void* key) : key_(key), by_value_(key_by_value(key_type)) {}
  search_key(const search_key&) = delete;
  search_key& operator=(const search_key&) = delete;
  const void* addr() const { return by_value_ ? static_cast<const void*>(&key_) : key_; }

 private:
  const void* key_;
  bool by_value_;
};

// Address of the key attribute of an element.
inline const void* elem_key(int key_offset, const obj_t* elem) {
  return reinterpret_cast<const char*>(elem) + key_offset;
}

// The key description of one index, read once for a whole search.
struct key_spec {
  int type;
  int offset;
  explicit key_spec(const container_t* index)
      : type(index->key_type), offset(index->key_offset) {}
  key_spec(int key_type, int key_offset) : type(key_type), offset(key_offset) {}
  const void* of(const obj_t* elem) const { return elem_key(offset, elem); }
};

// 1 when the element stands after the key value (k, id) in (key, id) order; an element
// with an equal key and id does not stand after it.
inline bool stands_after(const key_spec& ks, const void* k, int32_t id, const obj_t* elem) {
  const int c = index_compare_keys(ks.type, k, ks.of(elem));
  return c == 1 || (c == 0 && id < elem->id);
}

// 1 when the element stands before (k, id) in (key, id) order.
inline bool stands_before(const key_spec& ks, const void* k, int32_t id, const obj_t* elem) {
  const int c = index_compare_keys(ks.type, ks.of(elem), k);
  return c == 1 || (c == 0 && elem->id < id);
}

// Insertion position of (k, id) within elems[low, high): the first position whose
// element stands after it, high when none does. A new element placed there follows
// every element equal to it, so equal elements keep their order of arrival.
inline int insertion_pos(obj_t* const* elems, int low, int high, const key_spec& ks,
                         const void* k, int32_t id) {
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (stands_after(ks, k, id, elems[mid]))
      high = mid;
    else
      low = mid + 1;
  }
  return low;
}

// First position within elems[0, count) whose element does not stand before (k, id).
inline int lower_bound_id(obj_t* const* elems, int count, const key_spec& ks, const void* k,
                          int32_t id) {
  int low = 0, high = count;
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (stands_before(ks, k, id, elems[mid]))
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

}  // namespace index_detail
