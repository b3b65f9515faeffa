// Device-independent bitmaps: rows of 1, 4, 8, 24 or 32-bit pixels, padded to 4 bytes,
// bottom-up for a positive height and top-down for a negative one. Copies read only the
// pixels they show, one row at a time, into 32-bit words (a table of decoders by depth)
// and hand them to the same writers as the blits; palette indexes beyond the colour
// table read as black. DIB sections are 32-bit bitmaps whose words the caller fills.
//
// Rows are counted from the DIB's origin corner, as gdi.h says: the lower-left one for a
// bottom-up DIB, the upper-left one for a top-down DIB. The `bits` of set_dibits_to_device
// hold only the scan lines [start_scan, start_scan + lines), the first one first.
#include <cstring>

#include "platform/gdi/blit.h"

namespace plat {

namespace {

// A DIB whose rows would take more bytes than this is refused: no picture the system
// draws comes near it, and a header claiming more is not to be trusted.
constexpr int64_t kMaxDibBytes = INT32_MAX;

uint32_t from_table(const uint32_t* table, int entries, unsigned index) {
  return int(index) < entries ? table[index] : 0xFF000000u;
}

// Pixel x of a row as a pixel word, by depth.
using PixelFn = uint32_t (*)(const uint8_t* row, size_t x, const uint32_t* table, int entries);

uint32_t pixel_1(const uint8_t* row, size_t x, const uint32_t* t, int e) {
  return from_table(t, e, (row[x >> 3] >> (7 - (x & 7))) & 1u);
}
uint32_t pixel_4(const uint8_t* row, size_t x, const uint32_t* t, int e) {
  return from_table(t, e, (x & 1) ? row[x >> 1] & 15u : unsigned(row[x >> 1] >> 4));
}
uint32_t pixel_8(const uint8_t* row, size_t x, const uint32_t* t, int e) { return from_table(t, e, row[x]); }
uint32_t pixel_24(const uint8_t* row, size_t x, const uint32_t*, int) {
  const uint8_t* p = row + x * 3;
  return 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}
uint32_t pixel_32(const uint8_t* row, size_t x, const uint32_t*, int) {
  uint32_t v;
  memcpy(&v, row + x * 4, 4);  // the caller's rows need not be aligned
  return 0xFF000000u | v;
}

// Words for pixels [x0, x0 + n) of a row, and for pixels xs[0..n).
using RunDecoder = void (*)(const uint8_t* row, size_t x0, size_t n, const uint32_t* table, int entries, uint32_t* out);
using GatherDecoder = void (*)(const uint8_t* row, const int64_t* xs, size_t n, const uint32_t* table, int entries,
                               uint32_t* out);

template <PixelFn F>
void decode_run(const uint8_t* row, size_t x0, size_t n, const uint32_t* t, int e, uint32_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = F(row, x0 + i, t, e);
}
template <PixelFn F>
void decode_at(const uint8_t* row, const int64_t* xs, size_t n, const uint32_t* t, int e, uint32_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = F(row, size_t(xs[i]), t, e);
}

struct Depth {
  int bits;
  RunDecoder run;
  GatherDecoder at;
};
constexpr Depth kDepths[] = {
    {1, decode_run<pixel_1>, decode_at<pixel_1>},    {4, decode_run<pixel_4>, decode_at<pixel_4>},
    {8, decode_run<pixel_8>, decode_at<pixel_8>},    {24, decode_run<pixel_24>, decode_at<pixel_24>},
    {32, decode_run<pixel_32>, decode_at<pixel_32>},
};

const Depth* depth_of(int bits) {
  for (const Depth& d : kDepths)
    if (d.bits == bits) return &d;
  return nullptr;
}

// A checked view of a DIB: its decoders, colour table as pixel words, and the scan lines
// its bits hold (counted from the origin corner).
struct DibView {
  const Depth* depth = nullptr;
  int64_t width = 0, height = 0;
  bool bottom_up = true;
  size_t stride = 0;
  const uint8_t* bits = nullptr;
  int64_t first_scan = 0;
  uint32_t table[256];
  int entries = 0;

  bool open(const void* data, const BitmapInfo* info) {
    if (!data || !info || info->width <= 0 || info->height == 0) return false;
    depth = depth_of(info->bit_count);
    if (!depth) return false;
    width = info->width;
    height = info->height < 0 ? -int64_t(info->height) : info->height;
    bottom_up = info->height > 0;
    stride = size_t(dib_row_bytes(info->width, info->bit_count));
    if (stride == 0 || int64_t(stride) * height > kMaxDibBytes) return false;
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
  // Scan line s (from the origin corner), which the bits must hold.
  const uint8_t* scan(int64_t s) const { return bits + stride * size_t(s - first_scan); }
  // Row t from the top of the picture.
  int64_t scan_of_row(int64_t t) const { return bottom_up ? height - 1 - t : t; }
};

// A whole DIB as the source of a stretch (rows counted from the top).
class DibSource final : public StretchSource {
 public:
  explicit DibSource(const DibView& v) : StretchSource(v.width, v.height), v_(v) {}
  void sample(int64_t y, const int64_t* xs, size_t n, uint32_t* out) const override {
    v_.depth->at(v_.scan(v_.scan_of_row(y)), xs, n, v_.table, v_.entries, out);
  }

 private:
  const DibView& v_;
};

}  // namespace

int dib_row_bytes(int width, int bit_count) {
  if (width <= 0 || !depth_of(bit_count)) return 0;
  int64_t bytes = (int64_t(width) * bit_count + 31) / 32 * 4;
  return bytes > INT32_MAX ? 0 : int(bytes);
}

int set_dibits_to_device(Dc dc, int x, int y, int w, int h, int src_x, int src_y, int start_scan, int lines,
                         const void* bits, const BitmapInfo* info) {
  DibView v;
  if (!dc || !dc->surface || w <= 0 || h <= 0 || start_scan < 0 || lines <= 0 || !v.open(bits, info)) return 0;
  refresh_clip(dc);
  v.first_scan = start_scan;
  // Scan lines of the block that the bits hold, and columns of the block in the picture.
  int64_t s0 = std::max<int64_t>({src_y, 0, start_scan});
  int64_t s1 = std::min<int64_t>({int64_t(src_y) + h, v.height, int64_t(start_scan) + lines});
  int64_t c0 = std::max<int64_t>(src_x, 0), c1 = std::min<int64_t>(int64_t(src_x) + w, v.width);
  if (s0 >= s1 || c0 >= c1) return 0;
  // Surface row r shows scan line base + dir * r; surface column c shows column c - dx.
  // A bottom-up block has its highest scan line at the top of the destination.
  int64_t top = int64_t(y) + dc->shift.y, dx = int64_t(x) + dc->shift.x - src_x;
  int64_t dir = v.bottom_up ? -1 : 1;
  int64_t base = v.bottom_up ? int64_t(src_y) + h - 1 + top : int64_t(src_y) - top;
  int64_t r0 = v.bottom_up ? base - (s1 - 1) : s0 - base, r1 = v.bottom_up ? base - s0 + 1 : s1 - base;
  Rect want{clamp_int(c0 + dx), clamp_int(r0), clamp_int(c1 + dx), clamp_int(r1)};
  Rect box = intersect_rect(want, dc->clip_box);
  for_each_clip_rect(*dc, box, [&](const Rect& c) {
    for (int yy = c.top; yy < c.bottom; ++yy)
      v.depth->run(v.scan(base + dir * yy), size_t(c.left - dx), size_t(c.width()), v.table, v.entries,
                   dc->surface->row(yy) + c.left);
  });
  return int(s1 - s0);
}

int stretch_dibits(Dc dc, int x, int y, int w, int h, int src_x, int src_y, int src_w, int src_h,
                   const void* bits, const BitmapInfo* info, uint32_t rop) {
  DibView v;
  if (!dc || !dc->surface || w == 0 || h == 0 || src_w == 0 || src_h == 0 || !v.open(bits, info)) return 0;
  // The source block's rows from the top of the picture: a bottom-up block counts up from
  // the lower-left corner, so its top row is the picture's height less its far edge.
  int64_t top = v.bottom_up ? v.height - src_y - src_h : src_y;
  int64_t rows = std::min<int64_t>(std::max<int64_t>(top, top + src_h), v.height) -
                 std::max<int64_t>(std::min<int64_t>(top, top + src_h), 0);
  int64_t cols = std::min<int64_t>(std::max<int64_t>(src_x, int64_t(src_x) + src_w), v.width) -
                 std::max<int64_t>(std::min<int64_t>(src_x, int64_t(src_x) + src_w), 0);
  if (rows <= 0 || cols <= 0) return 0;
  if (!stretch_block(dc, x, y, w, h, DibSource(v), src_x, top, src_w, src_h, rop)) return 0;
  return int(rows);
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
