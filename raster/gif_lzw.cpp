// The LZW decoder of the GIF reader (gif_state.h).
//
// Codes are read least significant bit first from the bytes of the data sub-blocks,
// which are fed one sub-block at a time, so a code may straddle two sub-blocks. Each
// table entry keeps its prefix code, its last index, its first index and its length;
// a string is spelt backwards into a fixed stack. The table never passes 4096 entries:
// once full, codes stay 12 bits wide and no entry is added until the next clear code.
// After the end code, or once the frame is full, the rest of the data is ignored.
#include <cstring>

#include "core/error.h"
#include "raster/gif_state.h"

namespace {

int bad_data() { return set_gblerr(ERR_BAD_FILE); }

void reset_table(gif_lzw* z) {
  z->size = z->min_size + 1;
  z->next = z->end + 1;
  z->prev = -1;
}

// The string of `code` to the frame's rows.
void emit(gif_state* st, int code) {
  gif_lzw* z = &st->lzw;
  const int n = z->length[code];
  int p = code;
  for (int i = n; i > 0; --i) {
    z->stack[i - 1] = z->suffix[p];
    p = z->prefix[p];
  }
  if (gif_put_pixels(st, z->stack, n)) z->done = true;
}

// Entry `next` := the previous code's string plus `index`; nothing once the table is full.
void add_entry(gif_lzw* z, uint8_t index) {
  if (z->next >= kGifMaxCodes) return;
  const int e = z->next++;
  z->prefix[e] = uint16_t(z->prev);
  z->suffix[e] = index;
  z->first[e] = z->first[z->prev];
  z->length[e] = uint16_t(z->length[z->prev] + 1);
}

int decode_code(gif_state* st, int code) {
  gif_lzw* z = &st->lzw;
  if (code == z->clear) {
    reset_table(z);
    return 0;
  }
  if (code == z->end) {
    z->done = true;
    return 0;
  }
  if (z->prev < 0) {
    // First code of the data or after a clear: a single index.
    if (code > z->clear) return bad_data();
  } else if (code < z->next) {
    add_entry(z, z->first[code]);
  } else if (code == z->next) {
    // The string being defined: the previous string plus its own first index.
    add_entry(z, z->first[z->prev]);
  } else {
    return bad_data();
  }
  z->prev = code;
  emit(st, code);
  if (z->next == (1 << z->size) && z->size < 12) ++z->size;
  return 0;
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
    z->prefix[i] = 0;
    z->suffix[i] = uint8_t(i);
    z->first[i] = uint8_t(i);
    z->length[i] = 1;
  }
  reset_table(z);
}

int gif_lzw_feed(gif_state* st, const uint8_t* data, int n) {
  gif_lzw* z = &st->lzw;
  for (int i = 0; i < n && !z->done; ++i) {
    z->bits |= uint32_t(data[i]) << z->nbits;
    z->nbits += 8;
    while (z->nbits >= z->size && !z->done) {
      const int code = int(z->bits & ((1u << z->size) - 1));
      z->bits >>= z->size;
      z->nbits -= z->size;
      if (int rc = decode_code(st, code)) return rc;
    }
  }
  return 0;
}
