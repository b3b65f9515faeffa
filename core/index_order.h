// The (key, id) order of sorted indexes, shared by the build (index_build.cpp) and the
// maintenance and searches (index.cpp); nothing else includes this file.
//
// Keys are compared as index_compare_keys compares them, given the addresses of two key
// values. An element's key value is its key attribute, so its address is the element
// plus the index's key offset. A search key arrives as the value itself for strings and
// object references (types 9, 10, 11) and as an address for every other type;
// search_key turns either form into the address the comparison wants.
//
// Every binary search goes through partition_point. The key type is looked at once per
// search (with_key_order): the number types compare the values in place with the
// routines of key_order.h, the others call index_compare_keys for each element.
#pragma once
#include <cstdint>

#include "core/key_order.h"
#include "core/obj_layout.h"
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
  const void* of(const obj_t* elem) const { return elem_key(offset, elem); }
};

// How one key type compares two key values given by address: 1 when a comes before b,
// 0 when equal, -1 when after, as index_compare_keys.
struct int32_keys {  // types 1, 2, 6, 16
  int compare(const void* a, const void* b) const {
    return key_order_int32(field_load<int32_t>(a, 0), field_load<int32_t>(b, 0));
  }
};
struct double_keys {  // types 3, 7
  int compare(const void* a, const void* b) const {
    return key_order_double(field_load<double>(a, 0), field_load<double>(b, 0));
  }
};
struct stored_keys {  // every other type
  int type;
  int compare(const void* a, const void* b) const { return index_compare_keys(type, a, b); }
};

// Calls f with the comparison of the key type.
template <class F> int with_key_order(int key_type, F&& f) {
  switch (key_type) {
    case AT_INT: case AT_UINT: case AT_ID: case AT_KEY: return f(int32_keys{});
    case AT_DOUBLE: case AT_DATE: return f(double_keys{});
    default: return f(stored_keys{key_type});
  }
}

// The first position within [low, high) whose element does not stand left, all the
// elements that stand left coming first.
//
// The elements of a large index lie all over the heap, so each step waits for memory:
// while one element is compared, the step asks the cache for the keys of the two
// elements the next step may compare (the middle of the left part and of the right
// part), so that two steps share each wait. The prefetches are written in the loop
// itself: GCC takes a routine that does nothing but prefetch for one without effect
// and deletes the calls to it.
template <class StandsLeft>
int partition_point(obj_t* const* elems, int low, int high, int key_offset,
                    StandsLeft stands_left) {
  int n = high - low;
  while (n > 0) {
    const int half = n / 2;
    const int mid = low + half;
    const int right = n - half - 1;  // elements after mid
    __builtin_prefetch(elem_key(key_offset, elems[low + half / 2]));
    if (right > 0) __builtin_prefetch(elem_key(key_offset, elems[mid + 1 + right / 2]));
    if (stands_left(elems[mid])) {
      low = mid + 1;
      n = right;
    } else {
      n = half;
    }
  }
  return low;
}

// 1 when the element stands after the key value (k, id) in (key, id) order; an element
// with an equal key and id does not stand after it.
template <class Order>
bool stands_after(const Order& ord, const key_spec& ks, const void* k, int32_t id,
                  const obj_t* elem) {
  const int c = ord.compare(k, ks.of(elem));
  return c == 1 || (c == 0 && id < elem->id);
}

// 1 when the element stands before (k, id) in (key, id) order.
template <class Order>
bool stands_before(const Order& ord, const key_spec& ks, const void* k, int32_t id,
                   const obj_t* elem) {
  const int c = ord.compare(ks.of(elem), k);
  return c == 1 || (c == 0 && elem->id < id);
}

// Insertion position of (k, id) within elems[low, high): the first position whose
// element stands after it, high when none does. A new element placed there follows
// every element equal to it, so equal elements keep their order of arrival.
inline int insertion_pos(obj_t* const* elems, int low, int high, const key_spec& ks,
                         const void* k, int32_t id) {
  return with_key_order(ks.type, [&](const auto& ord) {
    return partition_point(elems, low, high, ks.offset,
                           [&](const obj_t* e) { return !stands_after(ord, ks, k, id, e); });
  });
}

// First position within elems[0, count) whose element does not stand before (k, id).
inline int lower_bound_id(obj_t* const* elems, int count, const key_spec& ks, const void* k,
                          int32_t id) {
  return with_key_order(ks.type, [&](const auto& ord) {
    return partition_point(elems, 0, count, ks.offset,
                           [&](const obj_t* e) { return stands_before(ord, ks, k, id, e); });
  });
}

// First position within elems[0, count) whose element's key does not stand before k.
inline int key_lower_bound(obj_t* const* elems, int count, const key_spec& ks, const void* k) {
  return with_key_order(ks.type, [&](const auto& ord) {
    return partition_point(elems, 0, count, ks.offset,
                           [&](const obj_t* e) { return ord.compare(ks.of(e), k) == 1; });
  });
}

// First position within elems[0, count) whose element's key stands after k.
inline int key_upper_bound(obj_t* const* elems, int count, const key_spec& ks, const void* k) {
  return with_key_order(ks.type, [&](const auto& ord) {
    return partition_point(elems, 0, count, ks.offset,
                           [&](const obj_t* e) { return ord.compare(k, ks.of(e)) != 1; });
  });
}

}  // namespace index_detail
