// The records of the line store: the store itself (class 25, no descriptor) and the
// record of one file of the persistent reduced-image cache (class 28, `memobjfile`).
//
// Both are packed records reached field by field. The per-line tables are ordinary
// heap arrays, so once a table pointer has been read out of the record its elements
// are read as usual; the pointer fields themselves go to the memory wrappers by
// address (the wrappers use memcpy, a field may sit at any address).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/obj_layout.h"
#include "core/object.h"

#pragma pack(push, 1)
// Class 28: one cached store of the reduced-image folder. The first nine fields are
// the class descriptor's; the full path after them is computed at run time and is not
// part of the saved table.
struct memobjfile_t : obj_t {
  char* perename;   // path of the source file
  char* name;       // cache name: ten (or more) digits separated by '/'
  int32_t ondisk;   // 1 once every line of the cached store has been written
  int32_t unused;
  double pstart;    // start offset of the source's data
  double psize;     // byte size of the source's data
  double pdate;     // date of the source (packed date)
  char* full_path;  // reduced-image folder + name (owned)
};

// Class 25: a buffer held as numbered lines of equal size.
struct filemobj_t : obj_t {
  obj_t* owner;               // the object the store belongs to
  int64_t data_size;          // bytes in use for a byte stream (0 for an image store)
  memobjfile_t* swap_record;  // record of the persistent cache, or null
  int64_t line_count;
  int32_t line_size;          // bytes per line (above 0)
  int32_t flags;              // -1: discardable (never written to swap), else 0
  int64_t lines_per_file;     // lines per swap file (see lines_per_file_for)
  int64_t next_read_line;     // line after the last one read from the cached read file
  uint8_t** lines;            // per line: its block, null while not in memory
  uint8_t* states;            // per line: 0 unsaved, 1 saved in swap, 255 discardable
  int64_t* file_lines;        // per swap file: lines written to it so far
  int32_t* stamps;            // per line: generation of its last use (0 never)
  int64_t* uses;              // per line: position in the use list + 1 (0 none)
  uint8_t written;            // every line written out by filemobj_write_all
  // Table sizes and the folder of each swap file:
  int64_t capacity;           // entries allocated in the per-line tables
  int64_t file_count;         // entries of file_lines and file_prefix
  char** file_prefix;         // per swap file: temporary-files prefix it was made under
  int32_t file_users;         // file objects holding it as their content or packed bytes
                              // (counted by the map model: the last one frees it)
  uint8_t read_once;          // 1: a read releases the lines wholly before its offset
  int64_t read_once_next;     // first line such a read has not released yet
};
#pragma pack(pop)

constexpr uint8_t kLineUnsaved = 0;
constexpr uint8_t kLineSaved = 1;
constexpr uint8_t kLineDiscardable = 255;

// Descriptor of class 28; the record above must follow it field by field.
inline constexpr attr_desc kMemobjfileAttrs[] = {
    {"id", AT_ID},         {"type", AT_INT},      {"perename", AT_STRING},
    {"name", AT_STRING},   {"ondisk", AT_UINT},   {"unused", AT_UINT},
    {"pstart", AT_DOUBLE}, {"psize", AT_DOUBLE},  {"pdate", AT_DATE}};
inline constexpr int kMemobjfileAttrCount = 9;
extern const objdesc memobjfile_desc;

static_assert(offsetof(memobjfile_t, perename) == attr_offset_in(kMemobjfileAttrs, 2));
static_assert(offsetof(memobjfile_t, name) == attr_offset_in(kMemobjfileAttrs, 3));
static_assert(offsetof(memobjfile_t, ondisk) == attr_offset_in(kMemobjfileAttrs, 4));
static_assert(offsetof(memobjfile_t, pstart) == attr_offset_in(kMemobjfileAttrs, 6));
static_assert(offsetof(memobjfile_t, psize) == attr_offset_in(kMemobjfileAttrs, 7));
static_assert(offsetof(memobjfile_t, pdate) == attr_offset_in(kMemobjfileAttrs, 8));
static_assert(offsetof(memobjfile_t, full_path) ==
              attr_layout_size(kMemobjfileAttrs, kMemobjfileAttrCount));
