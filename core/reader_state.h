// The buffered reader's process-wide state, shared by its source files: the table of
// open files (entry 0 is the current file) and the few routines every read builds on.
//
// An entry keeps everything needed to come back to a file: its source (a disk file or
// a line store, with the start offset and size of the data), its buffer and the read
// position with its bit state. The buffer covers [buffer_start, buffer_start +
// buffer_len): buffer_start is a multiple of buffer_size, and buffer_len counts only
// the bytes really there, so that a short last buffer is never read past its end.
#pragma once
#include <cstdint>
#include <cstdio>

#include "core/line_store.h"

struct obj_t;

namespace rd_detail {

struct entry {
  obj_t* file = nullptr;
  std::FILE* handle = nullptr;       // disk file, or null
  char* path = nullptr;              // owned: the disk path it was opened with
  filemobj_t* store = nullptr;       // memory-held data, or null
  int32_t line_size = 0;             // of the store when the entry was made
  int64_t start = 0;                 // offset of the data in the disk file or the store
  int64_t size = 0;                  // bytes of data (cut to where they really end)
  uint8_t* owned = nullptr;          // the buffer when copied
  const uint8_t* data = nullptr;     // the bytes of the buffer (owned, or a store line)
  bool in_place = false;
  uint64_t released = 0;             // in place: filemobj_released_lines() at the fill
  int64_t buffer_size = 0;
  int64_t buffer_start = 0;
  int64_t buffer_len = 0;            // bytes present from buffer_start
  int64_t pos = 0;                   // absolute read position
  int bit_mask = 128;                // 128 when byte-aligned
  int bit_counter = 1;               // least-significant-first companion of the mask
};

// The current file's entry (entry 0 of the table; empty when none is current).
entry& cur();

// Fills the buffer around the entry's position, the bit state untouched.
void fill_buffer(entry& e);
// A line read in place is a line-store address kept across calls, and any line-store
// call (made by another reader, a decoder writing its output, the other thread) may
// free it by eviction. Before the buffer is used the count of freed lines is compared
// with the one noted at the fill: when it moved, the address is fetched again.
inline void keep_in_place_valid(entry& e) {
  if (e.in_place && e.released != filemobj_released_lines()) fill_buffer(e);
}
// true when the byte at the current position is in the buffer (refilling once when
// needed); false at the end of the data.
bool have_byte();
// The byte at the current position (have_byte must have said true).
inline uint8_t cur_byte(const entry& e) { return e.data[e.pos - e.buffer_start]; }
// Moves to the next whole byte when the reader is in the middle of one.
void align();
// Reads up to n bytes at an absolute position without touching the position or the
// buffer; returns the number read (bounded by the size).
int64_t read_raw(entry& e, int64_t position, void* dst, int64_t n);
// The byte at an absolute position, or -1 beyond the data.
int peek_byte(entry& e, int64_t position);

}  // namespace rd_detail
