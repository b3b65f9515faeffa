// The LZW decoder of the GIF reader (gif_state.h).
//
// Codes are read least significant bit first from the bytes of the data sub-blocks,
// which are fed one sub-block at a time, so a code may straddle two sub-blocks. The
// bits wait in a 64-bit accumulator, filled eight bytes at once while the sub-block
// has them; bits above the count may hold bytes not yet counted, each at its own
// place, so that filling them in again leaves them as they are.
//
// Each table entry keeps its prefix code, its last index, its first index and its
// length, and the window offset of a copy of its prefix string: the string of the
// previous code, written just before the entry was made. A string is written once,
// straight into its place in the window: copied from there in 16-byte pieces while that
// copy is still in the window, else spelt through the table, last index first. The
// window has room past the unfinished row for a whole string, so a string that runs on
// into later rows is written in one piece and the rows it completes are passed on after
// it. The table never passes 4096 entries: once full, codes stay 12 bits wide and no
// entry is added until the next clear code. After the end code, or once the frame is
// full, the rest of the data is ignored.
#include <algorithm>
#include <bit>
#include <cstring>

#include "core/error.h"
#include "raster/gif_state.h"

namespace {

uint64_t load_le64(const uint8_t* p) {
  uint64_t v;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, 8);
  } else {
    v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  }
  return v;
}

// n bytes from src to dst, where src + n <= dst, in 16-byte pieces: up to 15 bytes past
// dst + n are overwritten, and bytes read past src + n are never needed.
inline void copy_string(uint8_t* dst, const uint8_t* src, int n) {
  for (int i = 0; i < n; i += 16) {
    uint8_t piece[16];
    std::memcpy(piece, src + i, 16);
    std::memcpy(dst + i, piece, 16);
  }
}

// Moves the window's content back so that the next string fits: the unfinished row and
// as much history before it as fits stay; entries whose copy leaves the window lose it.
void slide(gif_state* st, int pos) {
  gif_lzw* z = &st->lzw;
  const int keep_from = std::min(st->row_at, std::max(0, pos - st->window_size / 4));
  if (keep_from <= 0) return;
  uint8_t* win = st->window.data();
  std::memmove(win, win + keep_from, size_t(pos - keep_from));
  st->row_at -= keep_from;
  z->prev_at = z->prev_at >= keep_from ? z->prev_at - keep_from : -1;
  for (int e = z->end + 1; e < z->next; ++e)
    z->at[e] = z->at[e] >= keep_from ? z->at[e] - keep_from : -1;
}

}  // namespace

void gif_lzw_start(gif_lzw* z, int min_size) {
  z->min_size = min_size;
  z->clear = 1 << min_size;
  z->end = z->clear + 1;
  z->done = false;
  z->bits = 0;
  z->nbits = 0;
  for (int i = 0; i < z->clear; ++i) {
    z->table[i] = gif_lzw_entry{uint16_t(i), uint8_t(i), uint8_t(i)};
    z->length[i] = 1;
  }
  z->size = min_size + 1;
  z->next = z->end + 1;
  z->prev = -1;
  z->prev_at = -1;
}

int gif_lzw_feed(gif_state* st, const uint8_t* data, int n) {
  gif_lzw* z = &st->lzw;
  if (z->done) return 0;
  gif_lzw_entry* const table = z->table;
  uint16_t* const length = z->length;
  int* const at = z->at;
  const int clear = z->clear;
  const int fw = st->fw;
  const int window_size = st->window_size;
  const bool empty = gif_frame_empty(st);
  uint8_t* const win = st->window.data();
  int row_at = st->row_at, col = st->col;
  int size = z->size, next = z->next, prev = z->prev, prev_at = z->prev_at;
  uint64_t bits = z->bits;
  int nbits = z->nbits;
  const uint8_t* p = data;
  const uint8_t* const stop = data + n;
  bool done = false, bad = false;
  for (;;) {
    if (nbits < size) {
      if (stop - p >= 8) {
        bits |= load_le64(p) << nbits;
        const int whole = (63 - nbits) >> 3;  // bytes that fit wholly
        p += whole;
        nbits += 8 * whole;
      } else {
        while (p < stop && nbits <= 56) {
          bits |= uint64_t(*p++) << nbits;
          nbits += 8;
        }
        if (nbits < size) break;
      }
    }
    const int code = int(bits & ((uint64_t(1) << size) - 1));
    bits >>= size;
    nbits -= size;

    if (unsigned(code - clear) < 2u) {
      if (code != clear) {  // the end code
        done = true;
        break;
      }
      size = z->min_size + 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (prev < 0) {
      // First code of the data or after a clear: a single index.
      if (code > clear) {
        bad = true;
        break;
      }
    } else {
      if (code > next) {
        bad = true;
        break;
      }
      // Entry `next` := the previous string plus the first index of this one (of the
      // previous string itself when this code is the one being defined).
      if (next < kGifMaxCodes) {
        const gif_lzw_entry pe = table[prev];
        const uint8_t index = code < next ? table[code].first : pe.first;
        table[next] = gif_lzw_entry{uint16_t(prev), index, pe.first};
        length[next] = uint16_t(length[prev] + 1);
        at[next] = prev_at;
        ++next;
      }
    }
    prev = code;
    if (empty) {
      done = true;
      break;
    }

    // The string into its place in the window.
    const int len = length[code];
    int pos = row_at + col;
    if (pos + len > window_size) {
      st->row_at = row_at;
      z->next = next;
      z->prev_at = prev_at;
      slide(st, pos);
      prev_at = z->prev_at;
      pos -= row_at - st->row_at;
      row_at = st->row_at;
    }
    uint8_t* const dst = win + pos;
    const gif_lzw_entry last = table[code];
    if (len > 1 && at[code] >= 0) {
      copy_string(dst, win + at[code], len - 1);
      dst[len - 1] = last.suffix;
    } else {
      uint8_t* q = dst + len;
      int c = code;
      for (int i = len; i > 0; --i) {
        const gif_lzw_entry t = table[c];
        *--q = t.suffix;
        c = t.prefix;
      }
    }
    prev_at = pos;
    col += len;
    if (col >= fw) {
      do {
        if (gif_row_done(st, win + row_at)) {
          done = true;
          break;
        }
        row_at += fw;
        col -= fw;
      } while (col >= fw);
      if (done) break;
    }
    if (next == (1 << size) && size < 12) ++size;
  }
  st->row_at = row_at;
  st->col = col;
  z->size = size;
  z->next = next;
  z->prev = prev;
  z->prev_at = prev_at;
  z->bits = nbits > 0 ? bits & (~uint64_t(0) >> (64 - nbits)) : 0;
  z->nbits = nbits;
  z->done = done;
  return bad ? set_gblerr(ERR_BAD_FILE) : 0;
}
