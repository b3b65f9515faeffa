// The PNM reader (pnm_read.h).
//
// The header and the ASCII samples are read as words through the buffered reader, byte
// by byte; a number's digits are capped so that no value overflows. Before anything is
// allocated the bytes left must be able to hold the pixels: exactly the binary data, or
// for ASCII data the fewest characters it could be written in (one digit a pixel for P1,
// a digit and a blank a value otherwise), so a large header over little data ends at once.
#include "raster/pnm_read.h"

#include <algorithm>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/decoder_file.h"
#include "raster/raster_limits.h"

namespace {

constexpr int64_t kPnmBuffer = int64_t(64) << 10;
constexpr int64_t kMaxSide = 0x7FFFFFFF;
constexpr int kMaxMaxval = 65535;
constexpr int kEnd = -1;

enum pnm_variant : int { kP1 = 1, kP2, kP3, kP4, kP5, kP6 };

int bad_file() { return set_gblerr(ERR_BAD_FILE); }

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

// The next byte, or kEnd at the end of the data (the read error is cleared).
int next_byte() {
  if (rd_bytes_left() <= 0) return kEnd;
  const int c = rd_read_byte();
  if (get_gblerr()) {
    set_gblerr(0);
    return kEnd;
  }
  return c;
}

// The first byte that is neither blank nor inside a comment, or kEnd.
int skip_blanks() {
  for (;;) {
    int c = next_byte();
    if (c == '#') {
      while (c != '\n' && c != '\r' && c != kEnd) c = next_byte();
    }
    if (c == kEnd || !is_blank(c)) return c;
  }
}

// A decimal number; the byte that ends it is consumed (the one blank after the header).
// False when no digit comes.
bool read_number(int64_t* out) {
  int c = skip_blanks();
  if (!is_digit(c)) return false;
  int64_t v = 0;
  while (is_digit(c)) {
    v = std::min<int64_t>(v * 10 + (c - '0'), int64_t(1) << 40);
    c = next_byte();
  }
  *out = v;
  return true;
}

struct pnm_header {
  int variant = 0;
  int64_t width = 0, height = 0, maxval = 1;
  bool ascii() const { return variant <= kP3; }
  bool bitmap() const { return variant == kP1 || variant == kP4; }
  bool colour() const { return variant == kP3 || variant == kP6; }
  int planes() const { return colour() ? 3 : 1; }
  int sample_bytes() const { return maxval > 255 ? 2 : 1; }
  // Grey values are stored as read (the tables scale them) unless they exceed a byte.
  bool grey_scaled() const { return !colour() && !bitmap() && maxval > 255; }
};

int read_header(int variant, pnm_header* h) {
  uint8_t magic[2] = {0, 0};
  if (rd_read_bytes(magic, 2) != 2 || magic[0] != 'P' || magic[1] != '0' + variant)
    return bad_file();
  h->variant = variant;
  if (!read_number(&h->width) || !read_number(&h->height)) return bad_file();
  if (!h->bitmap() && !read_number(&h->maxval)) return bad_file();
  if (h->width < 1 || h->height < 1 || h->width > kMaxSide || h->height > kMaxSide)
    return bad_file();
  if (h->maxval < 1 || h->maxval > kMaxMaxval) return bad_file();
  return 0;
}

// Whether the bytes left can hold the pixels (see the file comment).
bool data_can_fit(const pnm_header& h) {
  const int64_t left = rd_bytes_left();
  const int64_t pixels = h.width * h.height;  // both below 2^31
  switch (h.variant) {
    case kP1: return left >= pixels;
    case kP4: return left / h.height >= (h.width + 7) / 8;
    case kP2: return left / 2 + 1 >= pixels;
    case kP3: return left / 6 + 1 >= pixels;
    case kP5: return left / h.sample_bytes() >= pixels;
    default: return left / (3 * h.sample_bytes()) >= pixels;
  }
}

void set_tables(const pnm_header& h, bitmap_t* b) {
  if (h.bitmap()) {
    b->lut_r[0] = b->lut_g[0] = b->lut_b[0] = 255;
    b->lut_r[1] = b->lut_g[1] = b->lut_b[1] = 0;
  } else if (!h.colour() && !h.grey_scaled()) {
    for (int64_t i = 0; i <= h.maxval; ++i)
      b->lut_r[i] = b->lut_g[i] = b->lut_b[i] = uint8_t(i * 255 / h.maxval);
  }
}

uint8_t scaled(int64_t v, int64_t maxval) { return uint8_t(std::min(v, maxval) * 255 / maxval); }

// One ASCII line of samples into `line` (planar for colour).
int read_ascii_line(const pnm_header& h, uint8_t* line) {
  const int64_t w = h.width;
  for (int64_t x = 0; x < w; ++x) {
    if (h.variant == kP1) {
      const int c = skip_blanks();
      if (c != '0' && c != '1') return bad_file();
      line[x] = uint8_t(c - '0');
      continue;
    }
    for (int p = 0; p < h.planes(); ++p) {
      int64_t v = 0;
      if (!read_number(&v)) return bad_file();
      if (h.colour() || h.grey_scaled())
        line[p * w + x] = scaled(v, h.maxval);
      else
        line[x] = uint8_t(std::min(v, h.maxval));
    }
  }
  return 0;
}

// One binary line: the raw bytes into `raw`, then unpacked into `line`.
int read_binary_line(const pnm_header& h, std::vector<uint8_t>& raw, uint8_t* line) {
  if (rd_read_bytes(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) return bad_file();
  const int64_t w = h.width;
  if (h.variant == kP4) {
    for (int64_t x = 0; x < w; ++x) line[x] = uint8_t(raw[size_t(x / 8)] >> (7 - x % 8) & 1);
    return 0;
  }
  const int planes = h.planes(), n = h.sample_bytes();
  for (int64_t x = 0; x < w; ++x)
    for (int p = 0; p < planes; ++p) {
      const uint8_t* s = &raw[size_t((x * planes + p) * n)];
      const int64_t v = n == 2 ? (s[0] << 8 | s[1]) : s[0];
      if (h.colour() || h.grey_scaled())
        line[p * w + x] = scaled(v, h.maxval);
      else
        line[x] = uint8_t(std::min(v, h.maxval));
    }
  return 0;
}

int read_pixels(const pnm_header& h, bitmap_t* image) {
  std::vector<uint8_t> raw;
  if (!h.ascii())
    raw.resize(size_t(h.variant == kP4 ? (h.width + 7) / 8 : h.width * h.planes() * h.sample_bytes()));
  for (int64_t y = 0; y < h.height; ++y) {
    uint8_t* line = get_img_line_adr(image, int(y), 0);
    if (!line) return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
    if (int rc = h.ascii() ? read_ascii_line(h, line) : read_binary_line(h, raw, line)) return rc;
    if (y % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  return 0;
}

int read_image(bitmap_t* image) {
  pnm_header h;
  if (int rc = read_header(image->variant - kPnmFirstPixelKind + 1, &h)) return rc;
  if (!data_can_fit(h)) return bad_file();
  image->bits_per_sample = h.colour() ? 24 : h.bitmap() ? 1 : 8;
  image->samples_per_pixel = h.planes();
  set_tables(h, image);
  if (raster_check_size(h.width, h.height, h.planes())) return get_gblerr();
  if (alloc_bitmap(image, int(h.width), int(h.height), h.planes(), 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  return read_pixels(h, image);
}

}  // namespace

int pnm_read(bitmap_t* image, int pixel_kind) {
  if (!image) return ERR_BAD_FILE;
  if (pixel_kind < kPnmFirstPixelKind || pixel_kind > kPnmFirstPixelKind + 5) return ERR_VALUE;
  image->variant = pixel_kind;
  return decode_image_file(image, kPnmBuffer, read_image);
}
