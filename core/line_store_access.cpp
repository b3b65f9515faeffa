// Reading and writing the bytes of a line store: line addresses, byte ranges of a
// byte stream, appending, the back-copy of the Deflate window, and flattening.
//
// A line that is not in memory is loaded on access: room is made under the memory
// budget first, then the block is read from swap when the line was saved there, or
// starts zero-filled. (Leaving out the clearing of blocks that an append fills at
// once gains nothing: clearing brings the block into the cache, and the copy that
// follows then writes without reading memory first.)
//
// Loading a line may evict others (line_store_evict.cpp), so no address is kept here
// across the loading of another line.
#include <climits>
#include <cstring>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "core/record_pool.h"

namespace ls_detail {
namespace {

// Stores of this many lines or more take their lines from the pool of large-page
// blocks (record_pool.h); a store of a few lines keeps them on the heap, where a
// block of 2 MiB would be mostly empty.
constexpr int64_t kPooledLinesFrom = 8;

uint8_t* load_line(filemobj_t* s, int64_t i) {
  const int before = get_gblerr();
  const int64_t ls = s->line_size;
  make_room(double(ls));
  const bool saved = s->states[i] == kLineSaved;
  uint8_t* block = s->line_count >= kPooledLinesFrom
                       ? static_cast<uint8_t*>(pool_alloc_line(size_t(ls), !saved))
                       : nullptr;
  if (!block) {
    if (saved)
      alloc_mem(&block, size_t(ls));
    else
      alloc_mem_zero(&block, size_t(ls));
  }
  if (saved) read_line(s, i, block);
  s->lines[i] = block;
  note_line_allocated(ls);
  s->written = 0;
  // Only a failure of this very load counts; an error left pending by the caller's
  // reader (end of data) must not stop the writing of its output.
  if (before == 0 && get_gblerr() != 0) return nullptr;
  return block;
}

uint8_t* get_line(filemobj_t* s, int64_t i, bool read_only) {
  if (!s || i < 0 || i == INT64_MAX) return nullptr;
  if (i >= s->line_count && ensure_lines(s, i + 1) != 0) return nullptr;
  touch_line(s, i);
  uint8_t* block = s->lines[i];
  if (!block && !(block = load_line(s, i))) return nullptr;
  if (!read_only && s->states[i] == kLineSaved) s->states[i] = kLineUnsaved;
  return block;
}

uint8_t* span(filemobj_t* s, int64_t offset, int64_t* count) {
  const int64_t ls = s->line_size;
  const int64_t within = offset % ls;
  int64_t n = *count < 0 ? 0 : *count;
  if (n > ls - within) n = ls - within;
  uint8_t* line = get_line(s, offset / ls, false);
  if (!line) {
    *count = 0;
    return nullptr;
  }
  *count = n;
  if (offset + n > s->data_size) s->data_size = offset + n;
  return line + within;
}

int append(filemobj_t* s, const uint8_t* bytes, int64_t count) {
  while (count > 0) {
    int64_t n = count;
    uint8_t* to = span(s, s->data_size, &n);
    if (!to || n <= 0) return -1;
    std::memcpy(to, bytes, size_t(n));
    bytes += n;
    count -= n;
  }
  return 0;
}

// A copy whose source runs into its destination repeats the bytes it has just written
// (a run of distance 1 repeats one byte): it goes forward byte by byte.
void copy_forward(uint8_t* to, const uint8_t* from, int64_t n) {
  if (from < to && from + n > to) {
    for (int64_t k = 0; k < n; ++k) to[k] = from[k];
  } else {
    std::memmove(to, from, size_t(n));
  }
}

// Pieces end at the end of the source line and of the destination line. Within one
// line the source lies in the destination's own block. Across lines the source bytes
// are set aside first: bringing the destination line in may evict the source line
// (in budget mode a line is stamped only at its first use, so a line just read may
// be the oldest). Across lines the source ends before the destination starts, so the
// pieces never overlap there.
int copy_back(filemobj_t* s, int64_t distance, int64_t count) {
  const int64_t ls = s->line_size;
  uint8_t aside[4096];
  while (count > 0) {
    const int64_t from = s->data_size - distance;
    int64_t n = ls - from % ls;
    if (n > count) n = count;
    if (from / ls == s->data_size / ls) {
      uint8_t* to = span(s, s->data_size, &n);
      if (!to || n <= 0) return -1;
      copy_forward(to, to - distance, n);
    } else {
      if (n > int64_t(sizeof aside)) n = int64_t(sizeof aside);
      const uint8_t* src = get_line(s, from / ls, true);
      if (!src) return -1;
      std::memcpy(aside, src + from % ls, size_t(n));
      uint8_t* to = span(s, s->data_size, &n);
      if (!to || n <= 0) return -1;
      std::memcpy(to, aside, size_t(n));
    }
    count -= n;
  }
  return 0;
}

// The whole data gathered into one block; the old lines and their swap files go.
int flatten(filemobj_t* s) {
  const int64_t size = s->data_size;
  if (s->line_count <= 1 || size <= 0) return 0;
  if (size > INT32_MAX || s->swap_record) return -1;
  make_room(double(size));
  uint8_t* whole = nullptr;
  alloc_mem(&whole, size_t(size));
  const int64_t ls = s->line_size;
  for (int64_t off = 0; off < size; off += ls) {
    const uint8_t* line = get_line(s, off / ls, true);
    if (!line) {
      free_mem(&whole);
      return -1;
    }
    std::memcpy(whole + off, line, size_t(size - off < ls ? size - off : ls));
  }
  for (int64_t i = s->line_count - 1; i >= 0; --i) release_line(s, i);
  delete_swap(s);
  s->line_count = 0;
  s->line_size = int32_t(size);
  s->lines_per_file = lines_per_file_for(s->line_size);
  s->next_read_line = -1;
  if (ensure_lines(s, 1) != 0) {
    free_mem(&whole);
    return -1;
  }
  s->lines[0] = whole;
  note_line_allocated(size);
  touch_line(s, 0);
  return 0;
}

}  // namespace
}  // namespace ls_detail

using namespace ls_detail;

uint8_t* filemobj_get_line(filemobj_t* s, int64_t i, int read_only) {
  if (!s) return nullptr;
  guard g;
  return get_line(s, i, read_only != 0);
}

uint8_t* filemobj_span(filemobj_t* s, int64_t offset, int64_t* count) {
  if (!count) return nullptr;
  if (!s || offset < 0) {
    *count = 0;
    return nullptr;
  }
  guard g;
  return span(s, offset, count);
}

const uint8_t* filemobj_read_ptr(filemobj_t* s, int64_t offset, int64_t* count) {
  if (!count) return nullptr;
  guard g;
  if (!s || offset < 0 || offset >= s->data_size || *count <= 0) {
    *count = 0;
    return nullptr;
  }
  const int64_t ls = s->line_size;
  const int64_t within = offset % ls;
  int64_t n = *count;
  if (n > s->data_size - offset) n = s->data_size - offset;
  if (n > ls - within) n = ls - within;
  if (offset / ls >= s->line_count) {
    *count = 0;
    return nullptr;
  }
  if (s->read_once) {
    const int64_t first = offset / ls;
    for (int64_t i = s->read_once_next; i < first; ++i) release_line(s, i);
    if (first > s->read_once_next) s->read_once_next = first;
  }
  const uint8_t* line = get_line(s, offset / ls, true);
  *count = line ? n : 0;
  return line ? line + within : nullptr;
}

void filemobj_set_read_once(filemobj_t* s, int on) {
  if (!s) return;
  guard g;
  s->read_once = on ? 1 : 0;
  s->read_once_next = 0;
}

int filemobj_append(filemobj_t* s, const void* bytes, int64_t count) {
  if (!s || count < 0 || (count > 0 && !bytes)) return -1;
  guard g;
  return append(s, static_cast<const uint8_t*>(bytes), count);
}

int filemobj_owner_append(obj_t* owner_file, const void* bytes, int64_t count) {
  obj_t* store = file_store_of(owner_file);
  if (!store || store->cls != kLineStoreClass) return -1;
  auto* s = reinterpret_cast<filemobj_t*>(store);
  const int result = filemobj_append(s, bytes, count);
  file_set(owner_file, FF_SIZE, filemobj_data_size(s));
  return result;
}

// The Deflate decoder puts its literals one by one: a byte that goes into the last
// line, already in memory, is stored directly.
int filemobj_put_byte(filemobj_t* s, uint8_t byte) {
  if (!s) return -1;
  guard g;
  const int64_t at = s->data_size;
  const int64_t line = at / s->line_size;
  uint8_t* block = line < s->line_count ? s->lines[line] : nullptr;
  if (!block) return append(s, &byte, 1);
  touch_line(s, line);
  if (s->states[line] == kLineSaved) s->states[line] = kLineUnsaved;
  block[at % s->line_size] = byte;
  s->data_size = at + 1;
  return 0;
}

// A distance reaching before the start of the data is refused (-1) with nothing added.
int filemobj_copy_back(filemobj_t* s, int64_t distance, int64_t count) {
  if (!s) return -1;
  guard g;
  if (count <= 0) return 0;
  if (distance <= 0 || distance > s->data_size) return -1;
  return copy_back(s, distance, count);
}

int filemobj_flatten(filemobj_t* s) {
  if (!s) return -1;
  guard g;
  return flatten(s);
}
