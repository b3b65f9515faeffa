// The BMP reader's header, palette and uncompressed rows (bmp_read.h).
//
// Every field is checked before it sizes anything: the width must be positive, the
// height non-zero, the rows of an uncompressed image must all lie in the file, and the
// image must fit the memory limits, all before the image is allocated. Bit-field
// channels are scaled in 64 bits from the mask's own lowest bit, so a mask in the top
// bits cannot overflow and an empty mask gives 0.
#include "raster/bmp_read.h"

#include <algorithm>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/decoder_file.h"
#include "raster/bmp_state.h"
#include "raster/raster_limits.h"

namespace {

constexpr int64_t kBmpBuffer = int64_t(128) << 10;
constexpr int kInfoHeaderSize = 40;
constexpr int64_t kHeadersEnd = 54;

int bad_file() { return set_gblerr(ERR_BAD_FILE); }

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int le16(const uint8_t* p) { return p[0] | p[1] << 8; }

bool allowed_bits(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The compression must suit the depth and the row order.
bool compression_fits(const bmp_header& h) {
  switch (h.compression) {
    case 1: return h.bits == 8 && !h.top_down;
    case 2: return h.bits == 4 && !h.top_down;
    case 3: return h.bits == 16 || h.bits == 32;
    default: return true;
  }
}

void default_masks(bmp_header* h) {
  static const uint32_t k16[3] = {0x7C00, 0x03E0, 0x001F};
  static const uint32_t k32[3] = {0xFF0000, 0xFF00, 0xFF};
  std::copy(h->bits == 16 ? k16 : k32, (h->bits == 16 ? k16 : k32) + 3, h->masks);
}

int32_t dots_per_inch(uint32_t per_metre) { return int32_t(int32_t(per_metre) * 0.0254); }

int parse_header(const uint8_t* f, int64_t have, bmp_header* h, bitmap_t* b) {
  if (have < 18) return bad_file();
  if (le32(f + 14) != kInfoHeaderSize) return set_gblerr(ERR_UNKNOWN_FORMAT);
  if (have < kHeadersEnd) return bad_file();
  h->stated_size = std::max<int64_t>(le32(f + 2), kHeadersEnd);
  h->data_offset = le32(f + 10);
  const int32_t width = int32_t(le32(f + 18)), height = int32_t(le32(f + 22));
  h->bits = le16(f + 28);
  h->compression = int(le32(f + 30));
  if (width <= 0 || height == 0 || height == INT32_MIN || !allowed_bits(h->bits)) return bad_file();
  if (le32(f + 30) > 3) return set_gblerr(ERR_UNKNOWN_FORMAT);
  h->width = width;
  h->top_down = height < 0;
  h->height = height < 0 ? -height : height;
  if (!compression_fits(*h)) return bad_file();
  b->samples_per_pixel = le16(f + 26);
  b->bits_per_sample = h->bits;
  b->variant = h->compression == 0 ? 0 : h->compression == 3 ? 2 : 1;
  b->xres = dots_per_inch(le32(f + 38));
  b->yres = dots_per_inch(le32(f + 42));
  return 0;
}

// Bit-field masks (compression 3) or the palette of an image of 8 bits or fewer.
int read_colours(bmp_header* h, bitmap_t* b) {
  if (h->compression == 3) {
    uint8_t m[12];
    if (h->file_size < kHeadersEnd + 12 || rd_read_at(kHeadersEnd, m, 12) != 12) return bad_file();
    for (int c = 0; c < 3; ++c) h->masks[c] = le32(m + 4 * c);
    return 0;
  }
  if (h->bits >= 16) {
    default_masks(h);
    return 0;
  }
  if (h->data_offset < kHeadersEnd + 1) return 0;
  const int64_t entries = std::min<int64_t>(int64_t(1) << h->bits, (h->data_offset - kHeadersEnd) / 4);
  uint8_t p[256 * 4];
  if (rd_read_at(kHeadersEnd, p, entries * 4) != entries * 4) return bad_file();
  for (int64_t i = 0; i < entries; ++i) {
    b->lut_r[i] = p[4 * i + 2];
    b->lut_g[i] = p[4 * i + 1];
    b->lut_b[i] = p[4 * i];
  }
  return 0;
}

int64_t row_bytes(const bmp_header& h) { return (int64_t(h.width) * h.bits + 31) / 32 * 4; }

// One channel of a bit-field pixel, scaled to 0..255.
struct channel {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t top = 0;
  explicit channel(uint32_t m) : mask(m) {
    while (m && !(m & 1)) {
      m >>= 1;
      ++shift;
    }
    top = m;
  }
  uint8_t operator()(uint32_t pixel) const {
    return top ? uint8_t(uint64_t((pixel & mask) >> shift) * 255 / top) : 0;
  }
};

void unpack_indexed(const uint8_t* row, int bits, int32_t width, uint8_t* out) {
  const int per_byte = 8 / bits, mask = (1 << bits) - 1;
  for (int32_t x = 0; x < width; ++x)
    out[x] = uint8_t(row[x / per_byte] >> (8 - bits * (x % per_byte + 1)) & mask);
}

void unpack_row(const bmp_header& h, const channel* ch, const uint8_t* row, uint8_t* line) {
  const int32_t w = h.width;
  uint8_t* r = line;
  uint8_t* g = line + w;
  uint8_t* b = line + 2 * int64_t(w);
  switch (h.bits) {
    case 24:
      for (int32_t x = 0; x < w; ++x, row += 3) {
        b[x] = row[0];
        g[x] = row[1];
        r[x] = row[2];
      }
      break;
    case 16: case 32: {
      const int step = h.bits / 8;
      for (int32_t x = 0; x < w; ++x, row += step) {
        const uint32_t px = step == 2 ? uint32_t(row[0] | row[1] << 8) : le32(row);
        r[x] = ch[0](px);
        g[x] = ch[1](px);
        b[x] = ch[2](px);
      }
      break;
    }
    default:
      unpack_indexed(row, h.bits, w, line);
  }
}

int decode_rows(bitmap_t* image, const bmp_header& h) {
  const int64_t n = row_bytes(h);
  const channel ch[3] = {channel(h.masks[0]), channel(h.masks[1]), channel(h.masks[2])};
  std::vector<uint8_t> row(size_t(n), 0);
  for (int32_t i = 0; i < h.height; ++i) {
    if (rd_read_bytes(row.data(), n) != n) return bad_file();
    const int32_t y = h.top_down ? i : h.height - 1 - i;
    if (uint8_t* line = get_img_line_adr(image, y, 0)) unpack_row(h, ch, row.data(), line);
    if (i % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  return 0;
}

// Checks that the file can hold the image, then allocates it.
int size_image(bitmap_t* image, const bmp_header& h) {
  if (h.data_offset > h.file_size) return bad_file();
  if (h.compression == 1 || h.compression == 2) {
    if (h.file_size < h.stated_size) return bad_file();
  } else if (row_bytes(h) > (h.file_size - h.data_offset) / h.height) {
    return bad_file();
  }
  const int planes = h.bits <= 8 ? 1 : 3;
  if (raster_check_size(h.width, h.height, planes)) return get_gblerr();
  if (alloc_bitmap(image, h.width, h.height, planes, 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  return 0;
}

int read_image(bitmap_t* image) {
  bmp_header h;
  h.file_size = rd_size();
  uint8_t head[kHeadersEnd] = {};
  const int64_t have = rd_read_at(0, head, std::min<int64_t>(h.file_size, kHeadersEnd));
  set_gblerr(0);
  if (int rc = parse_header(head, have, &h, image)) return rc;
  if (int rc = read_colours(&h, image)) return rc;
  if (int rc = size_image(image, h)) return rc;
  rd_seek(h.data_offset, 0);
  if (h.compression == 1 || h.compression == 2) return bmp_decode_rle(image, h);
  return decode_rows(image, h);
}

}  // namespace

int bmp_read(bitmap_t* image) { return decode_image_file(image, kBmpBuffer, read_image); }
