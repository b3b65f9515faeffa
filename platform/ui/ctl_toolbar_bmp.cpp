// Bitmap (.bmp) files: the decoder, the file reader, and load_bitmap_file with its
// transparency and system-colour mapping. The decoder reads the file header, the
// information header, the palette and the rows in that order, and checks each of them
// against what remains before it reads it.
#include "platform/ui/ctl_toolbar_bmp.h"

#include <cstdio>
#include <string>

#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

namespace {

constexpr size_t kFileHeader = 14;

uint32_t u16_at(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t u32_at(const uint8_t* p) { return u16_at(p) | (u16_at(p + 2) << 16); }
int32_t i32_at(const uint8_t* p) { return int32_t(u32_at(p)); }

struct BmpHeader {
  int64_t width = 0, height = 0;  // height negative: rows top-down
  uint32_t bits = 0, compression = 0, colors_used = 0, planes = 1;
  size_t palette_at = 0, palette_entry = 4;  // offset and bytes per palette entry
  size_t pixels_at = 0;
};

BmpStatus read_header(const uint8_t* data, size_t size, BmpHeader* h) {
  if (size < kFileHeader + 4 || data[0] != 'B' || data[1] != 'M') return BmpStatus::not_bitmap;
  h->pixels_at = u32_at(data + 10);
  const size_t header = u32_at(data + kFileHeader);
  const uint8_t* p = data + kFileHeader;
  if (header == 12) {
    if (size < kFileHeader + 12) return BmpStatus::bad_header;
    h->width = u16_at(p + 4);
    h->height = u16_at(p + 6);
    h->planes = u16_at(p + 8);
    h->bits = u16_at(p + 10);
    h->palette_entry = 3;
  } else if (header == 40 || header == 52 || header == 56 || header == 108 || header == 124) {
    if (size < kFileHeader + header) return BmpStatus::bad_header;
    h->width = i32_at(p + 4);
    h->height = i32_at(p + 8);
    h->planes = u16_at(p + 12);
    h->bits = u16_at(p + 14);
    h->compression = u32_at(p + 16);
    h->colors_used = u32_at(p + 32);
  } else {
    return BmpStatus::not_bitmap;
  }
  h->palette_at = kFileHeader + header;
  return BmpStatus::ok;
}

BmpStatus check_header(const BmpHeader& h, size_t size, int64_t* row_bytes, size_t* palette_count) {
  if (h.planes != 1 || h.width <= 0 || h.height == 0) return BmpStatus::bad_header;
  if (h.compression != 0) return BmpStatus::unsupported;
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 24 && h.bits != 32) return BmpStatus::unsupported;
  const int64_t rows = h.height < 0 ? -h.height : h.height;
  if (h.width > kBmpMaxSide || rows > kBmpMaxSide || h.width * rows > kBmpMaxPixels) return BmpStatus::too_large;
  *palette_count = 0;
  if (h.bits <= 8) {
    const size_t full = size_t(1) << h.bits;
    if (h.colors_used > full) return BmpStatus::bad_header;
    *palette_count = h.colors_used ? h.colors_used : full;
  }
  const size_t palette_end = h.palette_at + *palette_count * h.palette_entry;
  if (palette_end > h.pixels_at || h.pixels_at > size) return BmpStatus::bad_header;
  *row_bytes = ((h.width * int64_t(h.bits) + 31) / 32) * 4;
  if (*row_bytes * rows > int64_t(size - h.pixels_at)) return BmpStatus::bad_header;
  return BmpStatus::ok;
}

uint32_t pixel_word(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

void decode_row(const uint8_t* src, const BmpHeader& h, const std::vector<uint32_t>& palette, uint32_t* out) {
  const int w = int(h.width);
  switch (h.bits) {
    case 24:
    case 32: {
      const int step = int(h.bits / 8);
      for (int x = 0; x < w; ++x) out[x] = pixel_word(src[x * step + 2], src[x * step + 1], src[x * step]);
      return;
    }
    default: {
      const unsigned bits = h.bits, per_byte = 8 / bits, mask = (1u << bits) - 1;
      for (int x = 0; x < w; ++x) {
        const unsigned shift = 8 - bits * (unsigned(x) % per_byte + 1);
        const unsigned index = (src[unsigned(x) / per_byte] >> shift) & mask;
        out[x] = index < palette.size() ? palette[index] : pixel_word(0, 0, 0);
      }
      return;
    }
  }
}

}  // namespace

BmpStatus decode_bmp(const uint8_t* data, size_t size, BmpPicture* out) {
  if (!data || !out) return BmpStatus::unreadable;
  BmpHeader h;
  BmpStatus st = read_header(data, size, &h);
  if (st != BmpStatus::ok) return st;
  int64_t row_bytes = 0;
  size_t palette_count = 0;
  st = check_header(h, size, &row_bytes, &palette_count);
  if (st != BmpStatus::ok) return st;
  std::vector<uint32_t> palette(palette_count);
  for (size_t i = 0; i < palette_count; ++i) {
    const uint8_t* e = data + h.palette_at + i * h.palette_entry;
    palette[i] = pixel_word(e[2], e[1], e[0]);
  }
  const int w = int(h.width), rows = int(h.height < 0 ? -h.height : h.height);
  out->width = w;
  out->height = rows;
  out->pixels.assign(size_t(w) * size_t(rows), 0);
  for (int r = 0; r < rows; ++r) {
    const int y = h.height < 0 ? r : rows - 1 - r;
    uint32_t* dest = out->pixels.data() + size_t(y) * size_t(w);
    decode_row(data + h.pixels_at + size_t(r) * size_t(row_bytes), h, palette, dest);
  }
  return BmpStatus::ok;
}

BmpStatus read_bmp_file(const char* path, BmpPicture* out) {
  if (!path || !out) return BmpStatus::unreadable;
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  std::FILE* f = std::fopen(p.c_str(), "rb");
  if (!f) return BmpStatus::unreadable;
  std::vector<uint8_t> bytes;
  BmpStatus st = BmpStatus::ok;
  if (std::fseek(f, 0, SEEK_END) != 0) st = BmpStatus::unreadable;
  const long length = st == BmpStatus::ok ? std::ftell(f) : -1;
  if (length < 0) st = BmpStatus::unreadable;
  if (st == BmpStatus::ok && size_t(length) > kBmpMaxFileBytes) st = BmpStatus::too_large;
  if (st == BmpStatus::ok) {
    bytes.resize(size_t(length));
    std::rewind(f);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) st = BmpStatus::unreadable;
  }
  std::fclose(f);
  return st == BmpStatus::ok ? decode_bmp(bytes.data(), bytes.size(), out) : st;
}

}  // namespace plat::ui_detail

namespace plat {

namespace {

// The classic greys of 3-D pictures and the system colours that stand for them.
uint32_t map_3d(uint32_t px) {
  switch (px & 0x00FFFFFFu) {
    case 0x808080u: return pixel_of(get_sys_color(COLOR_BTNSHADOW));
    case 0xC0C0C0u: return pixel_of(get_sys_color(COLOR_BTNFACE));
    case 0xDFDFDFu: return pixel_of(get_sys_color(COLOR_3DLIGHT));
    default: return px;
  }
}

}  // namespace

Bitmap load_bitmap_file(const char* path, unsigned flags) {
  ui_detail::BmpPicture pic;
  if (ui_detail::read_bmp_file(path, &pic) != ui_detail::BmpStatus::ok) return nullptr;
  const uint32_t key = pic.pixels.empty() ? 0 : pic.pixels[0];
  const uint32_t clear = pixel_of(get_sys_color(COLOR_WINDOW)) & 0x00FFFFFFu;
  for (uint32_t& px : pic.pixels) {
    const bool transparent = (flags & LR_LOADTRANSPARENT) && px == key;
    if (flags & LR_LOADMAP3DCOLORS) px = map_3d(px);
    if (transparent) px = clear;  // alpha 0
  }
  return create_bitmap(pic.width, pic.height, pic.pixels.data());
}

}  // namespace plat
