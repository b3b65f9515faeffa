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

// The filters that look left, for `Bpp` bytes a pixel: the first pixel's bytes see
// zeros on their left, so they are done apart and the main loop has no test per byte.
template <int Bpp>
void unfilter_left(int type, uint8_t* row, const uint8_t* prior, int64_t n, int bpp_at_run) {
  const int bpp = Bpp > 0 ? Bpp : bpp_at_run;
  const int64_t head = n < bpp ? n : bpp;
  if (type == 1) {
    for (int64_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
  } else if (type == 3) {
    for (int64_t i = 0; i < head; ++i) row[i] = uint8_t(row[i] + (prior[i] >> 1));
    for (int64_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - bpp] + prior[i]) >> 1));
  } else {
    for (int64_t i = 0; i < head; ++i) row[i] = uint8_t(row[i] + prior[i]);  // Paeth of 0, b, 0
    for (int64_t i = bpp; i < n; ++i)
      row[i] = uint8_t(row[i] + paeth(row[i - bpp], prior[i], prior[i - bpp]));
  }
}

// Undoes one row's filter in place, `prior` being the unfiltered row above (zeros for
// the first row of a pass). Returns false for an unknown filter type.
bool unfilter(int type, uint8_t* row, const uint8_t* prior, int64_t n, int bpp) {
  switch (type) {
    case 0:
      return true;
    case 2:
      for (int64_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prior[i]);
      return true;
    case 1:
    case 3:
    case 4:
      if (bpp == 3)
        unfilter_left<3>(type, row, prior, n, bpp);
      else if (bpp == 4)
        unfilter_left<4>(type, row, prior, n, bpp);
      else if (bpp == 1)
        unfilter_left<1>(type, row, prior, n, bpp);
      else
        unfilter_left<0>(type, row, prior, n, bpp);
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

}  // namespace

// Sets up the first pass that has pixels (none left: every row is decoded).
void png_row_decoder::start_pass() {
  const bitmap_t* b = st_->image;
  for (; pass_ < pass_count(st_); ++pass_) {
    const pass& ps = pass_at(st_, pass_);
    cols_ = span(b->width, ps.col0, ps.col_step);
    rows_ = span(b->height, ps.row0, ps.row_step);
    if (cols_ == 0 || rows_ == 0) continue;
    row_ = 0;
    filled_ = 0;
    n_ = row_bytes(st_, cols_);
    // Two rows with their filter bytes, used in turn: the one decoded last is the prior
    // of the next (all zeros before the first row of a pass).
    current_.assign(size_t(n_ + 1), 0);
    prior_.assign(size_t(n_ + 1), 0);
    if (ps.col_step != 1) pixels_.assign(size_t(cols_ * st_->planes), 0);
    return;
  }
}

png_row_decoder::png_row_decoder(png_state* st) : st_(st) { start_pass(); }

bool png_row_decoder::complete() const { return pass_ >= pass_count(st_); }

int png_row_decoder::feed(const uint8_t* bytes, int64_t count) {
  while (count > 0 && !complete()) {
    const int64_t want = n_ + 1 - filled_;
    const int64_t take = count < want ? count : want;
    std::memcpy(current_.data() + filled_, bytes, size_t(take));
    filled_ += take;
    bytes += take;
    count -= take;
    if (filled_ < n_ + 1) break;
    bitmap_t* b = st_->image;
    const pass& ps = pass_at(st_, pass_);
    uint8_t* in = current_.data();
    if (!unfilter(in[0], in + 1, prior_.data() + 1, n_, st_->filter_bpp))
      return set_gblerr(ERR_BAD_FILE);
    const int32_t y = int32_t(ps.row0 + row_ * ps.row_step);
    if (ps.col_step == 1) {
      if (uint8_t* line = get_img_line_adr(b, y, 0)) unpack(st_, in + 1, cols_, line, b->width);
    } else {
      unpack(st_, in + 1, cols_, pixels_.data(), cols_);
      scatter(b, st_->planes, ps, y, pixels_.data(), cols_);
    }
    current_.swap(prior_);
    filled_ = 0;
    if (++row_ == rows_) {
      ++pass_;
      start_pass();
    }
  }
  return 0;
}

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
