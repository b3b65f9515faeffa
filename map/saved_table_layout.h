// The row layout of saved tables, shared by the writer and the reader: how wide each
// attribute's field is in the file, which fields hold text, and which hold values that
// are never written (pointers).
#pragma once
#include <cstdint>

#include "core/object.h"

namespace savfile_detail {

constexpr char kMagic[8] = {'T', 'a', 'r', 'm', 'e', 'l', 'o', 0};
constexpr int kHeaderBytes = 24;

enum field_kind : int {
  FIELD_VALUE,    // the attribute's bytes as in memory
  FIELD_STRING,   // 8-bit text and its terminator
  FIELD_WIDE,     // wide text and its terminator
  FIELD_POINTER,  // a reference, list or coordinate block: zeros in the file
};

field_kind kind_of(int type);
// Width of a field before the strings are measured: the type's size in the file
// layout (4 for the fields held by pointer, whatever the pointer size of the build).
uint32_t base_width(int type);

// One attribute of the class: its type, its offset in the record and its kind.
struct field_desc {
  int type;
  int offset;
  field_kind kind;
};
// The attributes of a class in schema order; false when the class has no schema.
bool class_fields(int cls, field_desc* out, int capacity, int* count);
constexpr int kMaxFields = 256;

}  // namespace savfile_detail
