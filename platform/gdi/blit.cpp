// Block transfers between contexts. A raster operation code's middle byte is the truth
// table of the result over pattern (P = 0xF0), source (S = 0xCC) and destination
// (D = 0xAA) bits: bit k of the byte is the result for P = bit 2 of k, S = bit 1, D = bit 0.
// Any of the 256 operations is evaluated from that table; the common ones have routines
// of their own. The pattern is the destination's brush colour (a null brush leaves
// operations that need it undone).
//
// A copy within one surface reads its source rows before writing, so overlapping moves
// (scrolling) are right. Source pixels outside the source surface are left out. Every
// position and size is carried in 64 bits, so no value a caller passes can overflow.
#include <cstring>

#include "platform/gdi/blit.h"

namespace plat {

namespace {

constexpr uint32_t kRgb = 0x00FFFFFFu;

uint32_t rop3_general(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t out = 0;
  for (int k = 0; k < 8; ++k) {
    if (!((code >> k) & 1)) continue;
    out |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
  }
  return out & kRgb;
}

}  // namespace

Rop3Fn rop3_routine(uint8_t code) {
  switch (code) {
    case 0xCC: return [](uint8_t, uint32_t, uint32_t s, uint32_t) { return s & kRgb; };
    case 0xF0: return [](uint8_t, uint32_t p, uint32_t, uint32_t) { return p & kRgb; };
    case 0x88: return [](uint8_t, uint32_t, uint32_t s, uint32_t d) { return s & d & kRgb; };
    case 0xEE: return [](uint8_t, uint32_t, uint32_t s, uint32_t d) { return (s | d) & kRgb; };
    case 0x66: return [](uint8_t, uint32_t, uint32_t s, uint32_t d) { return (s ^ d) & kRgb; };
    case 0x55: return [](uint8_t, uint32_t, uint32_t, uint32_t d) { return ~d & kRgb; };
    case 0x00: return [](uint8_t, uint32_t, uint32_t, uint32_t) { return uint32_t(0); };
    case 0xFF: return [](uint8_t, uint32_t, uint32_t, uint32_t) { return kRgb; };
    default: return rop3_general;
  }
}

bool rop3_uses_source(uint8_t c) { return ((c >> 2) & 0x33) != (c & 0x33); }
bool rop3_uses_pattern(uint8_t c) { return ((c >> 4) & 0x0F) != (c & 0x0F); }

namespace {

// Writes one destination row [x0, x1) of surface row y from source words `src` (one per
// destination pixel, null when the operation reads none).
void blit_row(Dc dst, int y, int x0, int x1, const uint32_t* src, uint8_t code, Rop3Fn fn, uint32_t pattern) {
  uint32_t* row = dst->surface->row(y);
  if (code == 0xCC) {
    for (int x = x0; x < x1; ++x) row[x] = 0xFF000000u | src[x - x0];
    return;
  }
  for (int x = x0; x < x1; ++x)
    row[x] = 0xFF000000u | fn(code, pattern, src ? src[x - x0] : 0, row[x]);
}

bool pattern_of(const DcRec& dc, uint8_t code, uint32_t& pattern) {
  if (!rop3_uses_pattern(code)) return true;
  if (!dc.brush || dc.brush->null_brush) return false;
  pattern = pixel_of(dc.brush->color) & kRgb;
  return true;
}

// The block copy behind bit_blt and pat_blt, in 64-bit logical coordinates so that no
// position or size given by a caller can overflow; w and h are positive.
bool blit_block(Dc dst, int64_t x, int64_t y, int64_t w, int64_t h, Dc src, int64_t src_x, int64_t src_y,
                uint32_t rop) {
  refresh_clip(src);
  refresh_clip(dst);
  uint8_t code = uint8_t(rop >> 16);
  bool needs_src = rop3_uses_source(code);
  if (needs_src && (!src || !src->surface)) return false;
  uint32_t pattern = 0;
  if (!pattern_of(*dst, code, pattern)) return true;
  Rop3Fn fn = rop3_routine(code);
  PointL d0{x + dst->shift.x, y + dst->shift.y};
  PointL s0 = needs_src ? PointL{src_x + src->shift.x, src_y + src->shift.y} : PointL{};
  // The destination block, cut to where the source has pixels.
  int64_t l = d0.x, t = d0.y, r = d0.x + w, b = d0.y + h;
  if (needs_src) {
    const Surface& ss = *src->surface;
    l = std::max(l, d0.x - s0.x);
    t = std::max(t, d0.y - s0.y);
    r = std::min(r, d0.x + (ss.width - s0.x));
    b = std::min(b, d0.y + (ss.height - s0.y));
  }
  Rect box = intersect_rect(dst->clip_box, Rect{clamp_int(l), clamp_int(t), clamp_int(r), clamp_int(b)});
  if (box.empty()) return true;
  // Overlapping copies within one surface read a snapshot of the source block.
  Surface snapshot;
  const Surface* ss = needs_src ? src->surface : nullptr;
  int64_t sdx = s0.x - d0.x, sdy = s0.y - d0.y;  // source = destination + (sdx, sdy)
  if (needs_src && ss == dst->surface) {
    snapshot.resize(box.width(), box.height(), 0);
    for (int yy = box.top; yy < box.bottom; ++yy)
      memcpy(snapshot.row(yy - box.top), ss->row(int(yy + sdy)) + (box.left + sdx), size_t(box.width()) * 4);
    ss = &snapshot;
    sdx = -box.left;
    sdy = -box.top;
  }
  for_each_clip_rect(*dst, box, [&](const Rect& c) {
    for (int yy = c.top; yy < c.bottom; ++yy) {
      const uint32_t* srow = ss ? ss->row(int(yy + sdy)) + (c.left + sdx) : nullptr;
      blit_row(dst, yy, c.left, c.right, srow, code, fn, pattern);
    }
  });
  return true;
}

// A surface (or a copy of a block of one) as the source of a stretch.
class SurfaceSource final : public StretchSource {
 public:
  explicit SurfaceSource(const Surface& s) : StretchSource(s.width, s.height), s_(s) {}
  void sample(int64_t y, const int64_t* xs, size_t n, uint32_t* out) const override {
    const uint32_t* row = s_.row(int(y));
    for (size_t i = 0; i < n; ++i) out[i] = row[xs[i]];
  }

 private:
  const Surface& s_;
};

// One direction of a stretch: destination cells [d, d + n) sample source cells
// [s, s + m), in reverse order when the two sizes had opposite signs. Cell i takes
// source cell floor((2i + 1) m / 2n) of the block (the one under its centre), worked out
// in 128 bits since i and m may both be beyond 32 bits.
struct StretchAxis {
  int64_t d, n, s, m;
  bool flip;
  StretchAxis(int64_t d0, int64_t n0, int64_t s0, int64_t m0)
      : d(n0 < 0 ? d0 + n0 : d0), n(n0 < 0 ? -n0 : n0), s(m0 < 0 ? s0 + m0 : s0), m(m0 < 0 ? -m0 : m0),
        flip((n0 < 0) != (m0 < 0)) {}
  int64_t source(int64_t i) const {
    int64_t k = int64_t((__int128(2) * i + 1) * m / (__int128(2) * n));
    return s + (flip ? m - 1 - k : k);
  }
};

}  // namespace

bool bit_blt(Dc dst, int x, int y, int w, int h, Dc src, int src_x, int src_y, uint32_t rop) {
  if (!dst || !dst->surface || w <= 0 || h <= 0) return false;
  return blit_block(dst, x, y, w, h, src, src_x, src_y, rop);
}

bool pat_blt(Dc dc, int x, int y, int w, int h, uint32_t rop) {
  if (!dc || !dc->surface || w == 0 || h == 0 || rop3_uses_source(uint8_t(rop >> 16))) return false;
  // Negative sizes count from the other corner.
  int64_t l = w < 0 ? int64_t(x) + w : x, t = h < 0 ? int64_t(y) + h : y;
  return blit_block(dc, l, t, w < 0 ? -int64_t(w) : w, h < 0 ? -int64_t(h) : h, nullptr, 0, 0, rop);
}

// Nearest-pixel stretching. Source columns and rows follow the destination's in order
// (or in reverse), so those that fall on the source form one run per clip rectangle.
bool stretch_block(Dc dst, int64_t x, int64_t y, int64_t w, int64_t h, const StretchSource& src, int64_t sx,
                   int64_t sy, int64_t sw, int64_t sh, uint32_t rop) {
  if (!dst || !dst->surface || w == 0 || h == 0 || sw == 0 || sh == 0) return false;
  refresh_clip(dst);
  uint8_t code = uint8_t(rop >> 16);
  uint32_t pattern = 0;
  if (!pattern_of(*dst, code, pattern)) return true;
  StretchAxis ax(x, w, sx, sw), ay(y, h, sy, sh);
  int64_t dl = ax.d + dst->shift.x, dt = ay.d + dst->shift.y;  // the block's corner on the surface
  Rect box = intersect_rect(dst->clip_box,
                            Rect{clamp_int(dl), clamp_int(dt), clamp_int(dl + ax.n), clamp_int(dt + ay.n)});
  if (box.empty()) return true;
  Rop3Fn fn = rop3_routine(code);
  std::vector<int64_t> xs;
  std::vector<uint32_t> line;
  for_each_clip_rect(*dst, box, [&](const Rect& c) {
    int first = c.right;
    xs.clear();
    for (int xx = c.left; xx < c.right; ++xx) {
      int64_t sxx = ax.source(xx - dl);
      if (sxx < 0 || sxx >= src.width) continue;
      first = std::min(first, xx);
      xs.push_back(sxx);
    }
    if (xs.empty()) return;
    line.resize(xs.size());
    for (int yy = c.top; yy < c.bottom; ++yy) {
      int64_t syy = ay.source(yy - dt);
      if (syy < 0 || syy >= src.height) continue;
      src.sample(syy, xs.data(), xs.size(), line.data());
      blit_row(dst, yy, first, first + int(xs.size()), line.data(), code, fn, pattern);
    }
  });
  return true;
}

bool stretch_blt(Dc dst, int x, int y, int w, int h, Dc src, int src_x, int src_y, int src_w,
                 int src_h, uint32_t rop) {
  uint8_t code = uint8_t(rop >> 16);
  if (!rop3_uses_source(code)) return pat_blt(dst, x, y, w, h, rop);
  if (!dst || !src || !src->surface) return false;
  if (w == src_w && h == src_h && w > 0 && h > 0) return bit_blt(dst, x, y, w, h, src, src_x, src_y, rop);
  PointL s0 = to_surface(*src, Point{src_x, src_y});
  if (src->surface != dst->surface)
    return stretch_block(dst, x, y, w, h, SurfaceSource(*src->surface), s0.x, s0.y, src_w, src_h, rop);
  // Within one surface the stretch reads a copy of the source block (the part of it on
  // the surface), since it may overwrite what it reads.
  const Surface& whole = *src->surface;
  int64_t l = std::max<int64_t>(std::min<int64_t>(s0.x, s0.x + src_w), 0);
  int64_t t = std::max<int64_t>(std::min<int64_t>(s0.y, s0.y + src_h), 0);
  int64_t r = std::min<int64_t>(std::max<int64_t>(s0.x, s0.x + src_w), whole.width);
  int64_t b = std::min<int64_t>(std::max<int64_t>(s0.y, s0.y + src_h), whole.height);
  if (l >= r || t >= b) return true;
  Surface copy(int(r - l), int(b - t), 0);
  for (int64_t yy = t; yy < b; ++yy)
    memcpy(copy.row(int(yy - t)), whole.row(int(yy)) + l, size_t(r - l) * 4);
  return stretch_block(dst, x, y, w, h, SurfaceSource(copy), s0.x - l, s0.y - t, src_w, src_h, rop);
}

}  // namespace plat
