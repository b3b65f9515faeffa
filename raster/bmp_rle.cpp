// RLE8 and RLE4 data of the BMP reader.
//
// Rows run from the bottom line up. A pair (count, value) repeats a pixel (RLE4: the two
// nibbles of the value in turn); escape 0 then 0 ends the row, 0 then 1 ends the image,
// 0 then 2 moves right and up by the next two bytes, 0 then n > 2 gives n literal pixels
// (RLE4: two a byte) padded to an even number of bytes. Pixels right of the image are
// dropped, and a move above the top line ends the image: every write stays in bounds.
// Each step reads at least two bytes, so the work is bounded by the file's length.
#include <cstdint>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/bmp_state.h"

namespace {

struct rle_cursor {
  bitmap_t* image;
  bool four_bits;
  int64_t x = 0;       // may run past the width: those pixels are dropped
  int64_t row = 0;     // counted from the bottom line
  uint8_t* line = nullptr;

  bool inside() const { return row < image->height; }
  void move_to_row(int64_t r) {
    row = r;
    line = inside() ? get_img_line_adr(image, int(image->height - 1 - row), 0) : nullptr;
    if (row % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  void put(uint8_t v) {
    if (line && x < image->width) line[x] = v;
    ++x;
  }
};

void run(rle_cursor* c, int count, int value) {
  for (int i = 0; i < count; ++i)
    c->put(c->four_bits ? uint8_t(i % 2 == 0 ? value >> 4 : value & 15) : uint8_t(value));
}

int literal(rle_cursor* c, int count) {
  const int stored = c->four_bits ? (count + 1) / 2 : count;
  for (int i = 0; i < stored; ++i) {
    const int v = rd_read_byte();
    if (c->four_bits) {
      c->put(uint8_t(v >> 4));
      if (2 * i + 1 < count) c->put(uint8_t(v & 15));
    } else {
      c->put(uint8_t(v));
    }
  }
  if (stored % 2) rd_read_byte();
  return get_gblerr();
}

}  // namespace

int bmp_decode_rle(bitmap_t* image, const bmp_header& h) {
  rle_cursor c{image, h.compression == 2};
  c.move_to_row(0);
  while (c.inside()) {
    const int count = rd_read_byte();
    const int value = rd_read_byte();
    if (get_gblerr()) break;
    if (count > 0) {
      run(&c, count, value);
    } else if (value == 0) {
      c.x = 0;
      c.move_to_row(c.row + 1);
    } else if (value == 1) {
      return 0;
    } else if (value == 2) {
      const int dx = rd_read_byte(), dy = rd_read_byte();
      c.x += dx;
      if (dy) c.move_to_row(c.row + dy);
    } else if (literal(&c, value)) {
      break;
    }
  }
  if (get_gblerr()) return set_gblerr(ERR_BAD_FILE);
  return 0;
}
