// Lines of the data the current reader holds (core/reader.h), read a chunk at a time.
// chunk_lines_next hands out the next line without its line feed and with carriage
// returns dropped; a line longer than `max` characters comes out in pieces of `max`, the
// rest being the next piece. It returns false at the end of the data. `on_refill`, when
// set, runs after each chunk comes in (a progress report, say). The record is large:
// keep it on the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/reader.h"

constexpr int kChunkLinesSize = 65536;

struct chunk_lines {
  char bytes[kChunkLinesSize];
  int have = 0;
  int at = 0;
  void (*on_refill)() = nullptr;
};

inline bool chunk_lines_refill(chunk_lines* s) {
  const int64_t left = rd_bytes_left();
  if (left <= 0) return false;
  const int n = int(left < kChunkLinesSize ? left : kChunkLinesSize);
  const int64_t got = rd_read_bytes(s->bytes, n);
  if (got <= 0) return false;
  s->have = int(got);
  s->at = 0;
  if (s->on_refill) s->on_refill();
  return true;
}

inline bool chunk_lines_next(chunk_lines* s, int max, char* line, int* length) {
  int n = 0;
  bool any = false;
  for (;;) {
    if (s->at == s->have && !chunk_lines_refill(s)) {
      *length = n;
      return any;
    }
    any = true;
    const char* from = s->bytes + s->at;
    const int avail = s->have - s->at;
    const void* lf = std::memchr(from, '\n', size_t(avail));
    const int span = lf ? int(static_cast<const char*>(lf) - from) : avail;
    int k = 0;
    for (; k < span && n < max; ++k)
      if (from[k] != '\r') line[n++] = from[k];
    s->at += k;
    if (n == max && k < span) {
      // Cut at the limit: the rest of the line is the next piece.
      *length = n;
      return true;
    }
    if (lf && k == span) {
      s->at += 1;  // the line feed
      *length = n;
      return true;
    }
  }
}
