// The TGA reader (tga_read.h).
//
// The header's fields are checked before the image is allocated: the id and the map
// must lie in the file, and the pixel data must be long enough for the image (raw: all
// of it; run-length: one packet byte and one pixel for every 128 pixels). Pixels are
// decoded file row by file row, a packet going on across rows and cut at the end of
// the image, and each file row is stored in the image line and column order that the
// origin corner gives.
//
// Grey samples are scaled to 0..255 as they are decoded, so grey images keep identity
// tables (tables for the depth would scale them a second time). The footer is read
// only when the file ends in its signature: in a file without one those bytes are
// pixels. The key colour is the extension area's 32-bit word at 470, blue in its
// lowest byte, then green, red and alpha.
#include "raster/tga_read.h"

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

constexpr int64_t kTgaBuffer = int64_t(64) << 10;
constexpr int64_t kHeaderSize = 18;
constexpr int64_t kLeastFile = 20;
constexpr int64_t kFooterSize = 26;
constexpr char kSignature[18] = "TRUEVISION-XFILE.";  // with its NUL: the last 18 bytes
constexpr int64_t kKeyColour = 470;                  // in the extension area
constexpr int64_t kGamma = 478;
constexpr int64_t kExtensionUsed = 482;              // bytes of the area read here
constexpr int kMaxMapEntries = 256;

int bad_file() { return set_gblerr(ERR_BAD_FILE); }
int unsupported() { return set_gblerr(ERR_UNKNOWN_FORMAT); }

int le16(const uint8_t* p) { return p[0] | p[1] << 8; }
int64_t le32(const uint8_t* p) {
  return int64_t(p[0]) | int64_t(p[1]) << 8 | int64_t(p[2]) << 16 | int64_t(p[3]) << 24;
}

enum class tga_kind { palette, grey, colour, unknown };

tga_kind kind_of(int type) {
  switch (type) {
    case 1: case 9: return tga_kind::palette;
    case 3: case 11: return tga_kind::grey;
    case 2: case 10: return tga_kind::colour;
    default: return tga_kind::unknown;
  }
}

struct tga_header {
  int id_length = 0, map_type = 0, type = 0, map_first = 0, map_length = 0, map_bits = 0;
  int64_t width = 0, height = 0;
  int depth = 0, descriptor = 0;
  tga_kind kind = tga_kind::unknown;

  void parse(const uint8_t* f) {
    id_length = f[0];
    map_type = f[1];
    type = f[2];
    map_first = le16(f + 3);
    map_length = le16(f + 5);
    map_bits = f[7];
    width = le16(f + 12);
    height = le16(f + 14);
    depth = f[16];
    descriptor = f[17];
    kind = kind_of(type);
  }
  bool has_map() const { return map_type == 1 && map_length > 0; }
  int64_t map_entry_bytes() const { return (map_bits + 7) / 8; }
  int64_t data_start() const {
    return kHeaderSize + id_length + (has_map() ? map_length * map_entry_bytes() : 0);
  }
  bool rle() const { return type >= 9; }
  int planes() const { return kind == tga_kind::colour ? 3 : 1; }
  int64_t pixel_bytes() const { return (depth + 7) / 8; }
  bool right_to_left() const { return descriptor & 0x10; }
  bool top_down() const { return descriptor & 0x20; }
};

bool has_signature(int64_t size) {
  uint8_t tail[sizeof kSignature];
  const int64_t n = int64_t(sizeof tail);
  if (size < n || rd_read_at(size - n, tail, n) != n) return false;
  return std::memcmp(tail, kSignature, sizeof tail) == 0;
}

// The test a file passes before it is read as TGA (without the footer).
bool plausible_header(const tga_header& h, int64_t size) {
  if (h.map_type >= 2 || h.kind == tga_kind::unknown) return false;
  if (h.map_length > kMaxMapEntries || (h.has_map() && h.map_bits == 0)) return false;
  if (h.data_start() > size) return false;
  const int colour_bits = h.depth - (h.descriptor & 0x0F);
  return colour_bits >= 1 && colour_bits <= 32;
}

bool depth_supported(const tga_header& h) {
  if (h.depth < 1 || h.depth > 24) return false;
  if (h.kind == tga_kind::colour) return h.depth == 15 || h.depth == 16 || h.depth == 24;
  return h.depth <= 8;
}

// The variant checks (3), then the sizes against the bytes the file holds (14).
int check_header(const tga_header& h, int64_t size) {
  if (h.kind == tga_kind::unknown || h.map_type > 1) return unsupported();
  if (h.map_length > kMaxMapEntries) return unsupported();
  if (h.has_map() && h.map_bits == 0) return unsupported();
  if (h.has_map() && h.map_bits > 32) return bad_file();
  if (h.width < 1 || h.height < 1 || !depth_supported(h)) return unsupported();
  if (h.data_start() > size) return bad_file();
  const int64_t have = size - h.data_start(), pixels = h.width * h.height;
  const int64_t pb = h.pixel_bytes();
  const int64_t most = h.rle() ? have / (1 + pb) * 128 : have / pb;
  if (pixels > most) return bad_file();
  return 0;
}

// 5-bit channel to 8 bits, rounded.
uint8_t scale5(int v) { return uint8_t((v * 255 + 15) / 31); }

// A colour map entry or a true-colour pixel of 1 to 4 bytes to red, green, blue: one
// byte is grey, two are 5-5-5 with blue lowest, three or four are blue, green, red.
void to_rgb(const uint8_t* p, int64_t bytes, uint8_t rgb[3]) {
  if (bytes == 1) {
    rgb[0] = rgb[1] = rgb[2] = p[0];
  } else if (bytes == 2) {
    const int w = le16(p);
    rgb[0] = scale5(w >> 10 & 31);
    rgb[1] = scale5(w >> 5 & 31);
    rgb[2] = scale5(w & 31);
  } else {
    rgb[0] = p[2];
    rgb[1] = p[1];
    rgb[2] = p[0];
  }
}

// The colour map into the lookup tables from its first entry index on (entries past
// 255 are dropped); grey images keep identity tables, their samples being scaled to
// 0..255 as they are decoded.
int read_colour_map(bitmap_t* b, const tga_header& h) {
  set_graylevel_lut(b);
  if (!h.has_map()) return 0;
  const int64_t eb = h.map_entry_bytes(), n = h.map_length * eb;
  std::vector<uint8_t> map(static_cast<size_t>(n));
  if (rd_read_at(kHeaderSize + h.id_length, map.data(), n) != n) return bad_file();
  if (h.kind != tga_kind::palette) return 0;
  for (int i = 0; i < h.map_length && h.map_first + i < kMaxMapEntries; ++i) {
    uint8_t rgb[3];
    to_rgb(map.data() + i * eb, eb, rgb);
    const int at = h.map_first + i;
    b->lut_r[at] = rgb[0];
    b->lut_g[at] = rgb[1];
    b->lut_b[at] = rgb[2];
  }
  return 0;
}

// The key colour becomes the transparent value: the colour itself for true colour,
// else the first table entry showing it (the map's entries, or the grey levels).
void set_key_colour(bitmap_t* b, const tga_header& h, const uint8_t rgb[3]) {
  if (h.kind == tga_kind::colour) {
    std::memcpy(b->transparent, rgb, 3);
    b->has_transparent = 1;
    return;
  }
  int from = 0, to = kMaxMapEntries;
  if (h.kind == tga_kind::palette && h.has_map()) {
    from = h.map_first;
    to = std::min(kMaxMapEntries, h.map_first + h.map_length);
  }
  for (int i = from; i < to; ++i) {
    if (b->lut_r[i] == rgb[0] && b->lut_g[i] == rgb[1] && b->lut_b[i] == rgb[2]) {
      b->transparent[0] = uint8_t(i);
      b->has_transparent = 1;
      return;
    }
  }
}

// The extension area named by the footer: key colour (stored as a little-endian
// alpha, red, green, blue word) and gamma.
void read_extension(bitmap_t* b, const tga_header& h, int64_t size) {
  uint8_t footer[4];
  const int64_t footer_at = size - kFooterSize;
  if (footer_at < kHeaderSize || rd_read_at(footer_at, footer, 4) != 4) return;
  const int64_t ext = le32(footer);
  if (ext <= 0 || ext + kExtensionUsed > footer_at) return;
  uint8_t e[kExtensionUsed - kKeyColour];
  if (rd_read_at(ext + kKeyColour, e, int64_t(sizeof e)) != int64_t(sizeof e)) return;
  const uint8_t key[3] = {e[2], e[1], e[0]};
  set_key_colour(b, h, key);
  const int numerator = le16(e + (kGamma - kKeyColour));
  const int denominator = le16(e + (kGamma - kKeyColour) + 2);
  if (denominator != 0) b->gamma = double(numerator) / denominator;
}

// Run-length packets: the count of pixels left in the packet and, for a repeat packet,
// its pixel.
struct tga_packets {
  int left = 0;
  bool repeat = false;
  uint8_t pixel[4] = {};
};

int read_rle_row(tga_packets* s, uint8_t* row, int64_t width, int64_t pb) {
  for (int64_t x = 0; x < width; ++x) {
    if (s->left == 0) {
      const int head = rd_read_byte();
      s->left = (head & 0x7F) + 1;
      s->repeat = head & 0x80;
      if (s->repeat) rd_read_bytes(s->pixel, pb);
    }
    if (s->repeat)
      std::memcpy(row + x * pb, s->pixel, size_t(pb));
    else
      rd_read_bytes(row + x * pb, pb);
    --s->left;
  }
  return get_gblerr() ? bad_file() : 0;
}

// Decoded sample of a palette or grey pixel: the index masked to the depth; grey
// samples shorter than 8 bits scaled to 0..255.
uint8_t one_plane_value(const tga_header& h, uint8_t v) {
  const int top = (1 << h.depth) - 1;
  const int s = v & top;
  if (h.kind != tga_kind::grey || h.depth >= 8) return uint8_t(s);
  return uint8_t(std::min(255, (s * 255 + top / 2) / top));
}

// One file row into an image line, its columns in the origin's order.
void store_row(const tga_header& h, const uint8_t* row, uint8_t* line) {
  const int64_t w = h.width, pb = h.pixel_bytes();
  for (int64_t i = 0; i < w; ++i) {
    const int64_t x = h.right_to_left() ? w - 1 - i : i;
    const uint8_t* p = row + i * pb;
    if (h.kind != tga_kind::colour) {
      line[x] = one_plane_value(h, p[0]);
      continue;
    }
    uint8_t rgb[3];
    to_rgb(p, pb, rgb);
    line[x] = rgb[0];
    line[w + x] = rgb[1];
    line[2 * w + x] = rgb[2];
  }
}

int decode_pixels(bitmap_t* image, const tga_header& h) {
  const int64_t pb = h.pixel_bytes(), row_bytes = h.width * pb;
  std::vector<uint8_t> row(static_cast<size_t>(row_bytes));
  tga_packets packets;
  rd_seek(h.data_start(), 0);
  for (int64_t r = 0; r < h.height; ++r) {
    if (h.rle()) {
      if (int rc = read_rle_row(&packets, row.data(), h.width, pb)) return rc;
    } else if (rd_read_bytes(row.data(), row_bytes) != row_bytes) {
      return bad_file();
    }
    const int64_t y = h.top_down() ? r : h.height - 1 - r;
    uint8_t* line = get_img_line_adr(image, int(y), 0);
    if (line) store_row(h, row.data(), line);
    if (r % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  return 0;
}

int read_image(bitmap_t* image) {
  const int64_t size = rd_size();
  uint8_t f[kHeaderSize];
  if (size < kLeastFile || rd_read_bytes(f, kHeaderSize) != kHeaderSize) return ERR_FILE_ACCESS;
  tga_header h;
  h.parse(f);
  if (!has_signature(size) && !plausible_header(h, size)) return ERR_FILE_ACCESS;
  if (int rc = check_header(h, size)) return rc;
  image->variant = kTgaPixelKind;
  image->bits_per_sample = h.depth;
  image->samples_per_pixel = 1;
  if (int rc = read_colour_map(image, h)) return rc;
  if (has_signature(size)) read_extension(image, h, size);
  if (raster_check_size(h.width, h.height, h.planes())) return get_gblerr();
  if (alloc_bitmap(image, int(h.width), int(h.height), h.planes(), 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  return decode_pixels(image, h);
}

}  // namespace

int tga_read(bitmap_t* image) { return decode_image_file(image, kTgaBuffer, read_image); }
