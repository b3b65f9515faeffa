// Row decoding of the PNG reader: the geometry of the raw rows, the five filters, the
// unpacking of samples into planar image lines, and the seven Adam7 passes.
//
// Each pass is a small image of its own: its rows are sized by its own width, and the
// filters of its first row see a zero row above. A non-interlaced image is one pass
// that covers every pixel.
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/line_store.h"
#include "map/bitmap_record.h"
#include "raster/png_state.h"

namespace {

struct pass {
  int row0, col0, row_step, col_step;
};
constexpr pass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                            {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
constexpr pass kWhole = {0, 0, 1, 1};

int64_t span(int64_t size, int start, int step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

// Packed bytes of a row of `width` pixels (without the filter byte).
int64_t row_bytes(const png_state* st, int64_t width) {
  return (width * st->channels * st->depth + 7) / 8;
}

int pass_count(const png_state* st) { return st->interlace ? 7 : 1; }
const pass& pass_at(const png_state* st, int i) { return st->interlace ? kAdam7[i] : kWhole; }

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

// Undoes one row's filter in place, `prior` being the unfiltered row above (zeros for
// the first row of a pass). Returns false for an unknown filter type.
bool unfilter(int type, uint8_t* row, const uint8_t* prior, int64_t n, int bpp) {
  switch (type) {
    case 0:
      return true;
    case 1:
      for (int64_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
      return true;
    case 2:
      for (int64_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prior[i]);
      return true;
    case 3:
      for (int64_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        row[i] = uint8_t(row[i] + ((a + prior[i]) >> 1));
      }
      return true;
    case 4:
      for (int64_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int c = i >= bpp ? prior[i - bpp] : 0;
        row[i] = uint8_t(row[i] + paeth(a, prior[i], c));
      }
      return true;
    default:
      return false;
  }
}

// Unpacks `count` pixels of an unfiltered row into planes that are `stride` bytes
// apart: palette indices or grey samples into plane 0, red, green and blue into planes
// 0, 1 and 2; alpha is dropped.
void unpack(const png_state* st, const uint8_t* row, int64_t count, uint8_t* out,
            int64_t stride) {
  const int depth = st->depth;
  if (depth < 8) {
    const int per_byte = 8 / depth, mask = (1 << depth) - 1;
    for (int64_t k = 0; k < count; ++k) {
      const int shift = 8 - depth * int(k % per_byte + 1);
      out[k] = uint8_t(row[k / per_byte] >> shift & mask);
    }
    return;
  }
  const int ch = st->channels;
  if (ch == 1) {
    std::memcpy(out, row, size_t(count));
  } else if (ch == 2) {
    for (int64_t k = 0; k < count; ++k) out[k] = row[2 * k];
  } else {
    uint8_t* r = out;
    uint8_t* g = out + stride;
    uint8_t* b = out + 2 * stride;
    for (int64_t k = 0; k < count; ++k, row += ch) {
      r[k] = row[0];
      g[k] = row[1];
      b[k] = row[2];
    }
  }
}

// Reads the next n raw bytes of the store into dst.
bool take(filemobj_t* raw, int64_t* offset, uint8_t* dst, int64_t n) {
  while (n > 0) {
    int64_t count = n;
    const uint8_t* p = filemobj_read_ptr(raw, *offset, &count);
    if (!p || count <= 0) return false;
    if (count > n) count = n;
    std::memcpy(dst, p, size_t(count));
    dst += count;
    *offset += count;
    n -= count;
  }
  return true;
}

// Places the pixels of one pass row (planar, `count` wide) into their image line.
void scatter(bitmap_t* b, int planes, const pass& ps, int32_t y, const uint8_t* pixels,
             int64_t count) {
  for (int p = 0; p < planes; ++p) {
    uint8_t* line = get_img_line_adr(b, y, p);
    if (!line) continue;
    const uint8_t* src = pixels + p * count;
    for (int64_t k = 0; k < count; ++k) line[ps.col0 + k * ps.col_step] = src[k];
  }
}

struct row_buffers {
  std::vector<uint8_t> current, prior, pixels;
};

int decode_pass(png_state* st, filemobj_t* raw, int64_t* offset, const pass& ps,
                row_buffers* buf) {
  bitmap_t* b = st->image;
  const int64_t cols = span(b->width, ps.col0, ps.col_step);
  const int64_t rows = span(b->height, ps.row0, ps.row_step);
  if (cols == 0 || rows == 0) return 0;
  const int64_t n = row_bytes(st, cols);
  buf->current.assign(size_t(n + 1), 0);
  buf->prior.assign(size_t(n), 0);
  const bool whole = ps.col_step == 1;
  if (!whole) buf->pixels.assign(size_t(cols * st->planes), 0);
  for (int64_t r = 0; r < rows; ++r) {
    uint8_t* in = buf->current.data();
    if (!take(raw, offset, in, n + 1)) return set_gblerr(ERR_BAD_FILE);
    if (!unfilter(in[0], in + 1, buf->prior.data(), n, st->filter_bpp))
      return set_gblerr(ERR_BAD_FILE);
    const int32_t y = int32_t(ps.row0 + r * ps.row_step);
    if (whole) {
      if (uint8_t* line = get_img_line_adr(b, y, 0)) unpack(st, in + 1, cols, line, b->width);
    } else {
      unpack(st, in + 1, cols, buf->pixels.data(), cols);
      scatter(b, st->planes, ps, y, buf->pixels.data(), cols);
    }
    std::memcpy(buf->prior.data(), in + 1, size_t(n));
  }
  return 0;
}

}  // namespace

int64_t png_raw_size(const png_state* st) {
  const bitmap_t* b = st->image;
  int64_t total = 0;
  for (int i = 0; i < pass_count(st); ++i) {
    const pass& ps = pass_at(st, i);
    const int64_t cols = span(b->width, ps.col0, ps.col_step);
    const int64_t rows = span(b->height, ps.row0, ps.row_step);
    if (cols == 0 || rows == 0) continue;
    // Width and height are below 2^31 and a pixel at most 32 bits: no step overflows
    // 64 bits except the last product, which is checked.
    const int64_t n = row_bytes(st, cols) + 1;
    if (n > INT64_MAX / rows) return -1;
    total += n * rows;
  }
  return total;
}

int png_decode_rows(png_state* st, filemobj_t* raw) {
  int64_t offset = 0;
  row_buffers buf;
  for (int i = 0; i < pass_count(st); ++i)
    if (int rc = decode_pass(st, raw, &offset, pass_at(st, i), &buf)) return rc;
  return 0;
}
