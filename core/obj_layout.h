// Compile-time layout of class descriptors, and packed-record field access.
//
// A record's attribute offsets are the running sum of its attribute type sizes. The
// constexpr helpers here compute the same offsets from a descriptor's attribute table,
// so that the packed C++ struct of a built-in class can be checked against its
// descriptor with static_assert. Generic code that reaches an attribute by its offset
// reads and writes it through memcpy (records are packed: a field may be misaligned).
#pragma once
#include <cstring>

#include "core/object.h"

// Offset of attribute i of a descriptor's attribute table.
constexpr int attr_offset_in(const attr_desc* attrs, int i) {
  int off = 0;
  for (int k = 0; k < i; ++k) {
    const int t = attrs[k].type;
    off += (t >= 0 && t < AT_TYPE_COUNT) ? kAttrTypeSize[t] : 0;
  }
  return off;
}

// Sum of the type sizes of n attributes: the record size of a run-time class.
constexpr int attr_layout_size(const attr_desc* attrs, int n) { return attr_offset_in(attrs, n); }

// A value of type T stored at a byte offset of a record.
template <class T> T field_load(const void* rec, int offset) {
  T v;
  std::memcpy(&v, static_cast<const char*>(rec) + offset, sizeof v);
  return v;
}
template <class T> void field_store(void* rec, int offset, const T& v) {
  std::memcpy(static_cast<char*>(rec) + offset, &v, sizeof v);
}
