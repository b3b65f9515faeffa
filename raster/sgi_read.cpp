// The SGI image reader (sgi_read.h).
//
// The sizes are checked against the file before the image is allocated: verbatim
// data must hold every row of every channel read; run-length data must hold both
// tables, and every table entry must point at bytes inside the file. A coded row is
// read at its offset, at most as many bytes as the longest coding of a row can use
// (two per pixel and the end byte), so a hostile length costs no more than a fair one;
// its runs are cut at the end of the row.
#include "raster/sgi_read.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/decoder_file.h"
#include "raster/raster_limits.h"

namespace {

constexpr int64_t kSgiBuffer = int64_t(128) << 10;
constexpr int64_t kHeaderSize = 512;
constexpr int kMapNormal = 0;
constexpr int kMapDithered = 1;
constexpr int kMapScreen = 2;

int bad_file() { return set_gblerr(ERR_BAD_FILE); }
int unsupported() { return set_gblerr(ERR_UNKNOWN_FORMAT); }

int64_t be16(const uint8_t* p) { return int64_t(p[0]) << 8 | p[1]; }
int64_t be32(const uint8_t* p) {
  return int64_t(p[0]) << 24 | int64_t(p[1]) << 16 | int64_t(p[2]) << 8 | p[3];
}

struct sgi_header {
  bool rle = false, dithered = false;
  int64_t width = 0, height = 0, channels = 0;
  int planes = 0;
  // Channels read from the file: the dithered byte, else one per plane.
  int read_channels() const { return dithered ? 1 : planes; }
};

int parse_header(const uint8_t* f, int64_t file_size, sgi_header* h) {
  if (f[2] > 1) return unsupported();
  if (f[3] != 1) return unsupported();  // 8 bits per sample only
  const int64_t dimension = be16(f + 4);
  if (dimension < 1 || dimension > 3) return bad_file();
  h->rle = f[2] == 1;
  h->width = be16(f + 6);
  h->height = dimension == 1 ? 1 : be16(f + 8);
  h->channels = dimension < 3 ? 1 : be16(f + 10);
  h->planes = int(std::min<int64_t>(h->channels, 4));
  if (h->planes < 1 || h->planes == 2) return unsupported();
  const int64_t map = be32(f + 104);
  if (map != kMapNormal && map != kMapDithered && map != kMapScreen) return unsupported();
  if (map == kMapDithered) {
    h->dithered = true;
    h->planes = 3;
  }
  if (h->width < 1 || h->height < 1) return bad_file();
  const int64_t data_bytes = file_size - kHeaderSize;
  const int64_t need = h->rle ? 2 * h->channels * h->height * 4
                              : h->read_channels() * h->width * h->height;
  if (need > data_bytes) return bad_file();
  return 0;
}

// Row offsets and lengths: entry c * height + r of each table. Every entry, also of
// the channels not read, must point at bytes inside the file.
struct sgi_tables {
  std::vector<uint32_t> start, length;
};

int read_tables(const sgi_header& h, int64_t file_size, sgi_tables* t) {
  const int64_t n = h.channels * h.height;
  std::vector<uint8_t> raw(static_cast<size_t>(n) * 4);
  t->start.resize(size_t(n));
  t->length.resize(size_t(n));
  for (int which = 0; which < 2; ++which) {
    if (rd_read_at(kHeaderSize + which * n * 4, raw.data(), n * 4) != n * 4) return bad_file();
    std::vector<uint32_t>& out = which == 0 ? t->start : t->length;
    for (int64_t i = 0; i < n; ++i) out[size_t(i)] = uint32_t(be32(raw.data() + 4 * i));
  }
  for (int64_t i = 0; i < n; ++i)
    if (int64_t(t->start[size_t(i)]) + t->length[size_t(i)] > file_size) return bad_file();
  return 0;
}

// One coded row into `out` (width bytes): a count byte's low 7 bits of 0 end the row;
// with its high bit set that many bytes follow, else the next byte repeats that many
// times. Runs are cut at the end of the row and at the end of the coded bytes.
void unpack_row(const uint8_t* in, int64_t n, uint8_t* out, int64_t width) {
  int64_t i = 0, x = 0;
  while (i < n && x < width) {
    const int c = in[i++];
    const int64_t count = c & 0x7F;
    if (count == 0) break;
    if (c & 0x80) {
      const int64_t take = std::min({count, width - x, n - i});
      std::memcpy(out + x, in + i, size_t(take));
      i += count;
      x += take;
    } else {
      if (i >= n) break;
      const int64_t take = std::min(count, width - x);
      std::memset(out + x, in[i++], size_t(take));
      x += take;
    }
  }
}

// A file row of channel c, image line y, into the image.
void store_row(bitmap_t* image, const sgi_header& h, int c, int64_t y, const uint8_t* row) {
  const int64_t w = h.width;
  uint8_t* line = get_img_line_adr(image, int(y), 0);
  if (!line) return;
  if (!h.dithered) {
    std::memcpy(line + c * w, row, size_t(w));
    return;
  }
  for (int64_t x = 0; x < w; ++x) {
    line[x] = row[x] & 7;
    line[w + x] = row[x] >> 3 & 7;
    line[2 * w + x] = row[x] >> 6 & 3;
  }
}

void progress(bitmap_t* image, int64_t row) {
  if (row % 100 == 0) core_progress_file_position(file_name_of(image->file));
}

int decode_verbatim(bitmap_t* image, const sgi_header& h) {
  std::vector<uint8_t> row(size_t(h.width));
  rd_seek(kHeaderSize, 0);
  for (int c = 0; c < h.read_channels(); ++c) {
    for (int64_t r = 0; r < h.height; ++r) {
      if (rd_read_bytes(row.data(), h.width) != h.width) return bad_file();
      store_row(image, h, c, h.height - 1 - r, row.data());
      progress(image, r);
    }
  }
  return 0;
}

int decode_rle(bitmap_t* image, const sgi_header& h, const sgi_tables& t) {
  const int64_t most = 2 * h.width + 1;
  std::vector<uint8_t> coded(static_cast<size_t>(most));
  std::vector<uint8_t> row(size_t(h.width));
  for (int c = 0; c < h.read_channels(); ++c) {
    for (int64_t r = 0; r < h.height; ++r) {
      const size_t i = size_t(c * h.height + r);
      const int64_t n = std::min<int64_t>(t.length[i], most);
      if (rd_read_at(t.start[i], coded.data(), n) != n) return bad_file();
      std::fill(row.begin(), row.end(), uint8_t(0));
      unpack_row(coded.data(), n, row.data(), h.width);
      store_row(image, h, c, h.height - 1 - r, row.data());
      progress(image, r);
    }
  }
  return 0;
}

int read_image(bitmap_t* image) {
  uint8_t f[kHeaderSize];
  const int64_t size = rd_size();
  if (size < kHeaderSize || rd_read_bytes(f, kHeaderSize) != kHeaderSize) return bad_file();
  sgi_header h;
  if (int rc = parse_header(f, size, &h)) return rc;
  sgi_tables tables;
  if (h.rle)
    if (int rc = read_tables(h, size, &tables)) return rc;
  image->variant = h.rle ? kSgiRlePixelKind : kSgiVerbatimPixelKind;
  image->bits_per_sample = 8;
  image->samples_per_pixel = h.planes;
  if (raster_check_size(h.width, h.height, h.planes)) return get_gblerr();
  if (alloc_bitmap(image, int(h.width), int(h.height), h.planes, 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  return h.rle ? decode_rle(image, h, tables) : decode_verbatim(image, h);
}

}  // namespace

int sgi_read(bitmap_t* image) { return decode_image_file(image, kSgiBuffer, read_image); }
