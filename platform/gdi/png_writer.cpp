// Pictures of surfaces as PNG files: 8-bit RGB, not interlaced, compressed.
//
// Each row is filtered with the PNG filter (none, Sub, Up, Average or Paeth, one routine
// each in a table indexed by the filter's number) that leaves the smallest sum of
// absolute differences: the filter that turns the row into the smallest numbers usually
// turns it into the most repeats, and a flat area into runs of zeros. The filtered rows
// go through the platform's Deflate writer, and the compressed bytes leave as IDAT
// chunks as the writer gives them, so a picture of any size needs two rows and the
// writer's window. Chunk CRCs and the stream's Adler-32 are the platform's checksums.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/sys/checksum.h"
#include "platform/sys/deflate_writer.h"

namespace plat {

namespace {

constexpr size_t kPixelBytes = 3;  // the distance to the byte "to the left"

void put_be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// ---- Row filters ----------------------------------------------------------------------
// Each writes out[i] = row[i] - prediction for the n bytes of a row; `prior` is the row
// above (zeros above the first row), and the bytes left of the row count as zeros.

using RowFilterFn = void (*)(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out);

uint8_t left_of(const uint8_t* p, size_t i) { return i >= kPixelBytes ? p[i - kPixelBytes] : 0; }

uint8_t paeth_predictor(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

void filter_none(const uint8_t* row, const uint8_t*, size_t n, uint8_t* out) { memcpy(out, row, n); }

void filter_sub(const uint8_t* row, const uint8_t*, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - left_of(row, i));
}

void filter_up(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - prior[i]);
}

void filter_average(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - ((left_of(row, i) + prior[i]) >> 1));
}

void filter_paeth(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i)
    out[i] = uint8_t(row[i] - paeth_predictor(left_of(row, i), prior[i], left_of(prior, i)));
}

constexpr std::array<RowFilterFn, 5> kRowFilters = {filter_none, filter_sub, filter_up, filter_average,
                                                     filter_paeth};

// The filtered bytes read as signed differences, summed by size.
uint64_t cost_of(const uint8_t* p, size_t n) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i] < 128 ? p[i] : 256u - p[i];
  return sum;
}

// Turns the rows of a picture, top to bottom, into filtered lines: the filter type
// byte followed by the filtered samples.
class RowFilter {
 public:
  explicit RowFilter(int width)
      : n_(size_t(width) * kPixelBytes), row_(n_), prior_(n_, 0), trial_(n_), line_(n_ + 1) {}

  const std::vector<uint8_t>& next(const uint32_t* pixels) {
    for (size_t x = 0; x < n_ / kPixelBytes; ++x) {
      row_[x * kPixelBytes] = uint8_t(pixels[x] >> 16);
      row_[x * kPixelBytes + 1] = uint8_t(pixels[x] >> 8);
      row_[x * kPixelBytes + 2] = uint8_t(pixels[x]);
    }
    uint64_t best = UINT64_MAX;
    for (size_t type = 0; type < kRowFilters.size(); ++type) {
      kRowFilters[type](row_.data(), prior_.data(), n_, trial_.data());
      const uint64_t cost = cost_of(trial_.data(), n_);
      if (cost < best) {
        best = cost;
        line_[0] = uint8_t(type);
        memcpy(line_.data() + 1, trial_.data(), n_);
      }
    }
    row_.swap(prior_);
    return line_;
  }

 private:
  size_t n_;  // bytes of a row
  std::vector<uint8_t> row_, prior_, trial_, line_;
};

// ---- The file -------------------------------------------------------------------------

class PngFile {
 public:
  explicit PngFile(FILE* f) : f_(f) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    write(kSignature, 8);
  }

  bool chunk(const char* type, const uint8_t* data, size_t n) {
    uint8_t head[8];
    put_be32(head, uint32_t(n));
    memcpy(head + 4, type, 4);
    uint8_t tail[4];
    put_be32(tail, crc32_update(crc32_update(kCrc32Init, type, 4), data, n));
    write(head, 8);
    write(data, n);
    write(tail, 4);
    return ok_;
  }

  bool ok() const { return ok_; }

 private:
  void write(const uint8_t* p, size_t n) {
    if (ok_ && n && fwrite(p, 1, n, f_) != n) ok_ = false;
  }

  FILE* f_;
  bool ok_ = true;
};

void write_header(PngFile& png, const Rect& c) {
  uint8_t ihdr[13];
  put_be32(ihdr, uint32_t(c.width()));
  put_be32(ihdr + 4, uint32_t(c.height()));
  ihdr[8] = 8;   // bits per sample
  ihdr[9] = 2;   // RGB
  ihdr[10] = 0;  // Deflate
  ihdr[11] = 0;  // adaptive filtering, a filter type per row
  ihdr[12] = 0;  // not interlaced
  png.chunk("IHDR", ihdr, 13);
}

bool write_image_data(PngFile& png, const Surface& s, const Rect& c) {
  DeflateWriter deflate([&png](const uint8_t* bytes, size_t n) { return png.chunk("IDAT", bytes, n); });
  RowFilter rows(c.width());
  for (int y = c.top; y < c.bottom; ++y) {
    const std::vector<uint8_t>& line = rows.next(s.row(y) + c.left);
    if (!deflate.write(line.data(), line.size())) return false;
  }
  return deflate.finish();
}

}  // namespace

int write_png_rect(const Surface& s, const Rect& r, const char* path) {
  Rect c = intersect_rect(r, s.rect());
  if (!path || c.empty()) return -1;
  FILE* f = fopen(path, "wb");
  if (!f) return -1;
  PngFile png(f);
  write_header(png, c);
  bool ok = write_image_data(png, s, c) && png.chunk("IEND", nullptr, 0);
  ok = ok && fflush(f) == 0;
  ok = fclose(f) == 0 && ok;
  if (!ok) remove(path);
  return ok ? 0 : -1;
}

int write_png(const Surface& s, const char* path) { return write_png_rect(s, s.rect(), path); }

}  // namespace plat
