// The PCX reader (pcx_read.h).
//
// Each line is decoded into a buffer of bytes-per-line x planes bytes: a byte with its
// two top bits set repeats the next byte (its low six bits times), any other byte is
// itself. A run that reaches past the buffer is cut there, and the bytes per line must
// cover the width, so unpacking never reads past the buffer. Since a line costs at
// least two bytes per 63 of its buffer, a file too short for its height is refused
// before the image is allocated.
#include "raster/pcx_read.h"

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

constexpr int64_t kPcxBuffer = int64_t(32) << 10;
constexpr int64_t kHeaderSize = 128;
constexpr int kEndPaletteMark = 12;

int bad_file() { return set_gblerr(ERR_BAD_FILE); }
int le16(const uint8_t* p) { return p[0] | p[1] << 8; }

struct pcx_header {
  int version = 0, bits = 0, planes = 0;
  int64_t width = 0, height = 0;
  int64_t bytes_per_line = 0;
  int64_t line_bytes() const { return bytes_per_line * planes; }
};

// Layouts decoded: bit planes whose bits make an index of at most 8 bits, or one or
// three planes of bytes.
int check_layout(const pcx_header& h) {
  if (h.bits != 1 && h.bits != 2 && h.bits != 4 && h.bits != 8) return bad_file();
  if (h.planes < 1) return bad_file();
  if (h.bits < 8 ? h.bits * h.planes > 8 : (h.planes != 1 && h.planes != 3))
    return set_gblerr(ERR_UNKNOWN_FORMAT);
  return 0;
}

int parse_header(const uint8_t* f, int64_t file_size, pcx_header* h, bitmap_t* b) {
  h->version = f[1];
  if (f[2] > 1) return set_gblerr(ERR_UNKNOWN_FORMAT);
  h->bits = f[3];
  if (h->bits == 0) return bad_file();
  h->width = int64_t(le16(f + 8)) - le16(f + 4) + 1;
  h->height = int64_t(le16(f + 10)) - le16(f + 6) + 1;
  h->planes = f[65];
  h->bytes_per_line = le16(f + 66);
  if (h->width < 1 || h->height < 1) return bad_file();
  if (int rc = check_layout(*h)) return rc;
  if (h->bytes_per_line < (h->width * h->bits + 7) / 8) return bad_file();
  const int64_t least_per_line = 2 * ((h->line_bytes() + 62) / 63);
  if (least_per_line * h->height > file_size - kHeaderSize) return bad_file();
  b->variant = kPcxPixelKind;
  b->bits_per_sample = h->bits;
  b->samples_per_pixel = h->planes;
  b->xres = le16(f + 12);
  b->yres = le16(f + 14);
  return 0;
}

void header_palette(const uint8_t* f, const pcx_header& h, bitmap_t* b) {
  if (h.bits >= 8) return;
  for (int i = 0; i < 16; ++i) {
    b->lut_r[i] = f[16 + 3 * i];
    b->lut_g[i] = f[16 + 3 * i + 1];
    b->lut_b[i] = f[16 + 3 * i + 2];
  }
  // A monochrome image is black and white whatever the header says.
  if (h.bits == 1 && h.planes == 1) b->lut_r[1] = b->lut_g[1] = b->lut_b[1] = 255;
}

// One line of run-length data into buf (n bytes); runs past the end are cut.
int decode_line(uint8_t* buf, int64_t n) {
  for (int64_t filled = 0; filled < n;) {
    int v = rd_read_byte();
    int count = 1;
    if ((v & 0xC0) == 0xC0) {
      count = v & 63;
      v = rd_read_byte();
    }
    if (get_gblerr()) return bad_file();
    const int64_t take = std::min<int64_t>(count, n - filled);
    std::memset(buf + filled, v, size_t(take));
    filled += take;
  }
  return 0;
}

// Adds each bit plane's bits at its position in the palette index.
void combine_bit_planes(const pcx_header& h, const uint8_t* buf, uint8_t* line) {
  const int mask = (1 << h.bits) - 1, per_byte = 8 / h.bits;
  std::memset(line, 0, size_t(h.width));
  for (int p = 0; p < h.planes; ++p) {
    const uint8_t* plane = buf + p * h.bytes_per_line;
    for (int64_t x = 0; x < h.width; ++x) {
      const int v = plane[x / per_byte] >> (8 - h.bits * (x % per_byte + 1)) & mask;
      line[x] = uint8_t(line[x] | v << (p * h.bits));
    }
  }
}

int decode_lines(bitmap_t* image, const pcx_header& h) {
  std::vector<uint8_t> buf(size_t(h.line_bytes() + 18), 0);
  for (int64_t y = 0; y < h.height; ++y) {
    if (int rc = decode_line(buf.data(), h.line_bytes())) return rc;
    uint8_t* line = get_img_line_adr(image, int(y), 0);
    if (!line) continue;
    if (h.bits < 8) {
      combine_bit_planes(h, buf.data(), line);
    } else {
      for (int p = 0; p < h.planes; ++p)
        std::memcpy(line + p * h.width, buf.data() + p * h.bytes_per_line, size_t(h.width));
    }
    if (y % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  return 0;
}

// The 256-colour palette that may follow the pixels of a version 5 file.
void end_palette(const pcx_header& h, bitmap_t* b) {
  if (h.version < 5 || rd_bytes_left() < 769 || rd_read_byte() != kEndPaletteMark) return;
  uint8_t p[768];
  if (rd_read_bytes(p, 768) != 768) return;
  for (int i = 0; i < 256; ++i) {
    b->lut_r[i] = p[3 * i];
    b->lut_g[i] = p[3 * i + 1];
    b->lut_b[i] = p[3 * i + 2];
  }
}

int read_image(bitmap_t* image) {
  uint8_t f[kHeaderSize];
  const int64_t size = rd_size();
  if (size < kHeaderSize || rd_read_bytes(f, kHeaderSize) != kHeaderSize) return bad_file();
  pcx_header h;
  if (int rc = parse_header(f, size, &h, image)) return rc;
  header_palette(f, h, image);
  const int planes = h.bits < 8 ? 1 : h.planes;
  if (raster_check_size(h.width, h.height, planes)) return get_gblerr();
  if (alloc_bitmap(image, int(h.width), int(h.height), planes, 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  if (int rc = decode_lines(image, h)) return rc;
  end_palette(h, image);
  return 0;
}

}  // namespace

int pcx_read(bitmap_t* image) { return decode_image_file(image, kPcxBuffer, read_image); }
