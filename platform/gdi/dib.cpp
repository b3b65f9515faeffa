// Device-independent bitmaps: rows of 1, 4, 8, 24 or 32-bit pixels, padded to 4 bytes,
// bottom-up for a positive height and top-down for a negative one. Copies read the
// needed rows one at a time into 32-bit words (a table of row decoders by depth) and
// hand them to the same writers as the blits; palette indexes beyond the colour table
// read as black. DIB sections are 32-bit bitmaps whose words the caller fills.
#include <cstring>

#include "platform/gdi/blit.h"

namespace plat {

namespace {

// Words for pixels [x0, x0 + n) of a row.
using RowDecoder = void (*)(const uint8_t* row, int x0, int n, const uint32_t* table, int entries, uint32_t* out);

uint32_t from_table(const uint32_t* table, int entries, unsigned index) {
  return int(index) < entries ? table[index] : 0xFF000000u;
}

void decode_1(const uint8_t* row, int x0, int n, const uint32_t* t, int e, uint32_t* out) {
  for (int i = 0; i < n; ++i) {
    int x = x0 + i;
    out[i] = from_table(t, e, (row[x >> 3] >> (7 - (x & 7))) & 1u);
  }
}
void decode_4(const uint8_t* row, int x0, int n, const uint32_t* t, int e, uint32_t* out) {
  for (int i = 0; i < n; ++i) {
    int x = x0 + i;
    out[i] = from_table(t, e, (x & 1) ? row[x >> 1] & 15u : unsigned(row[x >> 1] >> 4));
  }
}
void decode_8(const uint8_t* row, int x0, int n, const uint32_t* t, int e, uint32_t* out) {
  for (int i = 0; i < n; ++i) out[i] = from_table(t, e, row[x0 + i]);
}
void decode_24(const uint8_t* row, int x0, int n, const uint32_t*, int, uint32_t* out) {
  const uint8_t* p = row + size_t(x0) * 3;
  for (int i = 0; i < n; ++i, p += 3) out[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}
void decode_32(const uint8_t* row, int x0, int n, const uint32_t*, int, uint32_t* out) {
  memcpy(out, row + size_t(x0) * 4, size_t(n) * 4);
  for (int i = 0; i < n; ++i) out[i] |= 0xFF000000u;
}

RowDecoder decoder_for(int bits) {
  switch (bits) {
    case 1: return decode_1;
    case 4: return decode_4;
    case 8: return decode_8;
    case 24: return decode_24;
    case 32: return decode_32;
    default: return nullptr;
  }
}

// A checked view of a DIB: its decoder, colour table as pixel words, and row access.
struct DibView {
  RowDecoder decode = nullptr;
  int width = 0, height = 0;
  bool bottom_up = true;
  size_t stride = 0;
  const uint8_t* bits = nullptr;
  uint32_t table[256];
  int entries = 0;

  bool open(const void* data, const BitmapInfo* info) {
    if (!data || !info || info->width <= 0 || info->height == 0 || info->height == INT32_MIN) return false;
    decode = decoder_for(info->bit_count);
    if (!decode) return false;
    width = info->width;
    height = info->height < 0 ? -info->height : info->height;
    bottom_up = info->height > 0;
    stride = size_t(dib_row_bytes(width, info->bit_count));
    if (stride == 0) return false;
    bits = static_cast<const uint8_t*>(data);
    if (info->bit_count <= 8) {
      int full = 1 << info->bit_count;
      entries = info->colors_used ? int(std::min<uint32_t>(info->colors_used, uint32_t(full))) : full;
      for (int i = 0; i < entries; ++i) {
        const RgbQuad& q = info->colors[i];
        table[i] = 0xFF000000u | (uint32_t(q.red) << 16) | (uint32_t(q.green) << 8) | q.blue;
      }
    }
    return true;
  }
  // Row y counted from the top of the picture.
  const uint8_t* row(int y) const { return bits + stride * size_t(bottom_up ? height - 1 - y : y); }
};

}  // namespace

int dib_row_bytes(int width, int bit_count) {
  if (width <= 0 || !decoder_for(bit_count)) return 0;
  int64_t bytes = (int64_t(width) * bit_count + 31) / 32 * 4;
  return bytes > INT32_MAX ? 0 : int(bytes);
}

int set_dibits_to_device(Dc dc, int x, int y, int w, int h, int src_x, int src_y, const void* bits,
                         const BitmapInfo* info) {
  refresh_clip(dc);
  DibView v;
  if (!dc || !dc->surface || w <= 0 || h <= 0 || !v.open(bits, info)) return 0;
  // The source block, cut to the picture.
  int64_t sl = std::max<int64_t>(src_x, 0), st = std::max<int64_t>(src_y, 0);
  int64_t sr = std::min<int64_t>(int64_t(src_x) + w, v.width), sb = std::min<int64_t>(int64_t(src_y) + h, v.height);
  if (sl >= sr || st >= sb) return 0;
  PointL d0 = to_surface(*dc, Point{x, y});
  int64_t dx = d0.x - src_x, dy = d0.y - src_y;  // destination = source + (dx, dy)
  Rect want{int(std::clamp<int64_t>(sl + dx, INT32_MIN, INT32_MAX)), int(std::clamp<int64_t>(st + dy, INT32_MIN, INT32_MAX)),
            int(std::clamp<int64_t>(sr + dx, INT32_MIN, INT32_MAX)), int(std::clamp<int64_t>(sb + dy, INT32_MIN, INT32_MAX))};
  Rect box = intersect_rect(want, dc->clip_box);
  std::vector<uint32_t> line;
  for_each_clip_rect(*dc, box, [&](const Rect& c) {
    line.resize(size_t(c.width()));
    for (int yy = c.top; yy < c.bottom; ++yy) {
      v.decode(v.row(int(yy - dy)), int(c.left - dx), c.width(), v.table, v.entries, line.data());
      memcpy(dc->surface->row(yy) + c.left, line.data(), line.size() * 4);
    }
  });
  return int(sb - st);
}

int stretch_dibits(Dc dc, int x, int y, int w, int h, int src_x, int src_y, int src_w, int src_h,
                   const void* bits, const BitmapInfo* info, uint32_t rop) {
  refresh_clip(dc);
  DibView v;
  if (!dc || !dc->surface || w == 0 || h == 0 || src_w == 0 || src_h == 0 || !v.open(bits, info)) return 0;
  // Decode the source block the stretch reads (cut to the picture) once.
  int64_t l = std::min<int64_t>(src_x, int64_t(src_x) + src_w), r = std::max<int64_t>(src_x, int64_t(src_x) + src_w);
  int64_t t = std::min<int64_t>(src_y, int64_t(src_y) + src_h), b = std::max<int64_t>(src_y, int64_t(src_y) + src_h);
  int64_t cl = std::max<int64_t>(l, 0), ct = std::max<int64_t>(t, 0);
  int64_t cr = std::min<int64_t>(r, v.width), cb = std::min<int64_t>(b, v.height);
  if (cl >= cr || ct >= cb) return 0;
  Surface block(int(cr - cl), int(cb - ct), 0);
  for (int64_t yy = ct; yy < cb; ++yy)
    v.decode(v.row(int(yy)), int(cl), block.width, v.table, v.entries, block.row(int(yy - ct)));
  if (!stretch_surface(dc, x, y, w, h, block, src_x - cl, src_y - ct, src_w, src_h, rop)) return 0;
  return int(cb - ct);
}

Bitmap create_dib_section(Dc dc, const BitmapInfo* info, void** bits) {
  if (bits) *bits = nullptr;
  if (!info || info->bit_count != 32 || info->width <= 0 || info->height == 0 || info->height == INT32_MIN)
    return nullptr;
  int h = info->height < 0 ? -info->height : info->height;
  Bitmap bmp = create_bitmap(info->width, h, nullptr);
  if (!bmp) return nullptr;
  std::fill(bmp->surface.pixels.begin(), bmp->surface.pixels.end(), 0u);
  if (bits) *bits = bmp->surface.pixels.data();
  return bmp;
}

}  // namespace plat
