// The Sun raster reader (sunras_read.h).
//
// Every header field is checked before it sizes anything: the colour map and, for the
// plain types, all rows must lie in the file (their size comes from the width, height
// and depth: old files leave the data length 0); with a colour map the data length
// must lie in the file as well; byte-encoded data must be long enough to make the
// image even at the densest encoding (3 bytes for 256 samples). Only then is the image
// allocated. Rows are read whole into one buffer of the padded row size, so the pad
// bytes are skipped with the row; a run of the byte encoding continues across rows
// and is cut at the end of the image.
#include "raster/sunras_read.h"

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

constexpr int64_t kSunBuffer = int64_t(128) << 10;
constexpr int64_t kHeaderSize = 32;
constexpr int kTypeByteEncoded = 2;
constexpr int kTypeRgb = 3;
constexpr int kMapNone = 0;
constexpr int kMapRgb = 1;
constexpr int kEscape = 0x80;

int bad_file() { return set_gblerr(ERR_BAD_FILE); }
int unsupported() { return set_gblerr(ERR_UNKNOWN_FORMAT); }

int64_t be32(const uint8_t* p) {
  return int64_t(p[0]) << 24 | int64_t(p[1]) << 16 | int64_t(p[2]) << 8 | p[3];
}

struct sun_header {
  int64_t width = 0, height = 0, depth = 0, length = 0, type = 0;
  int64_t map_type = 0, map_length = 0;
  int64_t file_planes() const { return (depth + 7) / 8; }
  int image_planes() const { return depth >= 24 ? 3 : 1; }
  // Bytes of one row in the file: whole bytes of pixels, padded to an even count.
  int64_t row_bytes() const {
    const int64_t n = depth == 1 ? (width + 7) / 8 : width * file_planes();
    return n + (n & 1);
  }
  int64_t data_start() const { return kHeaderSize + map_length; }
};

bool depth_supported(int64_t depth) {
  return depth == 1 || depth == 8 || depth == 24 || depth == 32;
}

// The variant checks (3), then the sizes against the bytes the file holds (14).
int check_header(const sun_header& h, int64_t file_size) {
  if (h.type > kTypeRgb || h.map_type > 2 || !depth_supported(h.depth))
    return unsupported();
  if (h.type == kTypeByteEncoded && h.depth != 8) return unsupported();
  if (h.width < 1 || h.height < 1 || h.width > INT32_MAX || h.height > INT32_MAX)
    return bad_file();
  const int64_t after_header = file_size - kHeaderSize;
  if (h.map_length > after_header) return bad_file();
  const int64_t data_bytes = after_header - h.map_length;
  if (h.map_type != kMapNone && h.length > data_bytes) return bad_file();
  if (h.type != kTypeByteEncoded) {
    if (h.height > data_bytes / h.row_bytes()) return bad_file();
  } else {
    // Three bytes (escape, count, value) make at most 256 samples; up to two bytes
    // left over make one sample each.
    const int64_t most = data_bytes / 3 * 256 + data_bytes % 3;
    if (h.height > most / h.row_bytes()) return bad_file();
  }
  return 0;
}

int parse_header(bitmap_t* b, sun_header* h) {
  uint8_t f[kHeaderSize];
  const int64_t size = rd_size();
  if (size < kHeaderSize || rd_read_bytes(f, kHeaderSize) != kHeaderSize) return bad_file();
  h->width = be32(f + 4);
  h->height = be32(f + 8);
  h->depth = be32(f + 12);
  h->length = be32(f + 16);
  h->type = be32(f + 20);
  h->map_type = be32(f + 24);
  h->map_length = be32(f + 28);
  if (int rc = check_header(*h, size)) return rc;
  b->variant = kSunRasterPixelKind;
  b->bits_per_sample = int32_t(h->depth);
  b->samples_per_pixel = 1;
  return 0;
}

// The colour map into the lookup tables: an RGB map is three tables of a third of its
// length each, a raw map one table for all three colours; at most 256 entries count.
int read_colour_map(bitmap_t* b, const sun_header& h) {
  if (h.map_type != kMapNone && h.map_length > 0) {
    if (h.map_type == kMapRgb) {
      const int64_t n = h.map_length / 3, take = std::min<int64_t>(n, 256);
      uint8_t* tables[3] = {b->lut_r, b->lut_g, b->lut_b};
      for (int c = 0; c < 3; ++c)
        if (rd_read_at(kHeaderSize + c * n, tables[c], take) != take) return bad_file();
    } else {
      const int64_t take = std::min<int64_t>(h.map_length, 256);
      if (rd_read_at(kHeaderSize, b->lut_r, take) != take) return bad_file();
      std::memcpy(b->lut_g, b->lut_r, size_t(take));
      std::memcpy(b->lut_b, b->lut_r, size_t(take));
    }
    return 0;
  }
  set_graylevel_lut(b);
  if (h.depth == 1) {
    b->lut_r[0] = b->lut_g[0] = b->lut_b[0] = 255;
    b->lut_r[1] = b->lut_g[1] = b->lut_b[1] = 0;
  }
  return 0;
}

// The byte encoding: 0x80 0 is a literal 0x80, 0x80 n v is n + 1 copies of v, any
// other byte is itself. A run left over at the end of a row goes on in the next.
struct sun_rle {
  int64_t run = 0;
  uint8_t value = 0;
};

int rle_fill(sun_rle* s, uint8_t* out, int64_t n) {
  for (int64_t i = 0; i < n;) {
    if (s->run > 0) {
      const int64_t take = std::min(s->run, n - i);
      std::memset(out + i, s->value, size_t(take));
      s->run -= take;
      i += take;
      continue;
    }
    int v = rd_read_byte();
    if (v == kEscape) {
      const int count = rd_read_byte();
      if (count > 0) {
        s->value = uint8_t(rd_read_byte());
        s->run = count + 1;
      }
    }
    if (get_gblerr()) return bad_file();
    if (s->run == 0) out[i++] = uint8_t(v);
  }
  return 0;
}

// One file row into the planes of an image line.
void convert_row(const sun_header& h, const uint8_t* row, uint8_t* line) {
  const int64_t w = h.width;
  if (h.depth == 1) {
    for (int64_t x = 0; x < w; ++x) line[x] = uint8_t(row[x >> 3] >> (7 - (x & 7)) & 1);
  } else if (h.depth == 8) {
    std::memcpy(line, row, size_t(w));
  } else {
    // 32-bit pixels lead with their pad byte; the colour order follows the type.
    const int64_t step = h.file_planes(), skip = h.depth == 32 ? 1 : 0;
    const bool rgb = h.type == kTypeRgb;
    for (int64_t x = 0; x < w; ++x) {
      const uint8_t* p = row + x * step + skip;
      line[x] = rgb ? p[0] : p[2];
      line[w + x] = p[1];
      line[2 * w + x] = rgb ? p[2] : p[0];
    }
  }
}

int decode_rows(bitmap_t* image, const sun_header& h) {
  const int64_t row_bytes = h.row_bytes();
  std::vector<uint8_t> row(size_t(row_bytes), 0);
  sun_rle rle;
  rd_seek(h.data_start(), 0);
  for (int64_t y = 0; y < h.height; ++y) {
    if (h.type == kTypeByteEncoded) {
      if (int rc = rle_fill(&rle, row.data(), row_bytes)) return rc;
    } else if (rd_read_bytes(row.data(), row_bytes) != row_bytes) {
      return bad_file();
    }
    uint8_t* line = get_img_line_adr(image, int(y), 0);
    if (line) convert_row(h, row.data(), line);
    if (y % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  return 0;
}

int read_image(bitmap_t* image) {
  sun_header h;
  if (int rc = parse_header(image, &h)) return rc;
  if (int rc = read_colour_map(image, h)) return rc;
  const int planes = h.image_planes();
  if (raster_check_size(h.width, h.height, planes)) return get_gblerr();
  if (alloc_bitmap(image, int(h.width), int(h.height), planes, 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  return decode_rows(image, h);
}

}  // namespace

int sunras_read(bitmap_t* image) { return decode_image_file(image, kSunBuffer, read_image); }
