// Block transfers between contexts. A raster operation code's middle byte is the truth
// table of the result over pattern (P = 0xF0), source (S = 0xCC) and destination
// (D = 0xAA) bits: bit k of the byte is the result for P = bit 2 of k, S = bit 1, D = bit 0.
// Any of the 256 operations is evaluated from that table; the common ones have routines
// of their own. The pattern is the destination's brush colour (a null brush leaves
// operations that need it undone).
//
// A copy within one surface reads its source rows before writing, so overlapping moves
// (scrolling) are right. Source pixels outside the source surface are left out.
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

bool bit_blt(Dc dst, int x, int y, int w, int h, Dc src, int src_x, int src_y, uint32_t rop) {
  if (!dst || !dst->surface || w <= 0 || h <= 0) return false;
  refresh_clip(src);
  refresh_clip(dst);
  uint8_t code = uint8_t(rop >> 16);
  bool needs_src = rop3_uses_source(code);
  if (needs_src && (!src || !src->surface)) return false;
  uint32_t pattern = 0;
  if (!pattern_of(*dst, code, pattern)) return true;
  Rop3Fn fn = rop3_routine(code);
  PointL d0 = to_surface(*dst, Point{x, y});
  PointL s0 = needs_src ? to_surface(*src, Point{src_x, src_y}) : PointL{};
  // The destination block, cut to where the source has pixels.
  int64_t l = d0.x, t = d0.y, r = d0.x + w, b = d0.y + h;
  if (needs_src) {
    const Surface& ss = *src->surface;
    l = std::max(l, d0.x + (0 - s0.x));
    t = std::max(t, d0.y + (0 - s0.y));
    r = std::min(r, d0.x + (ss.width - s0.x));
    b = std::min(b, d0.y + (ss.height - s0.y));
  }
  Rect box = intersect_rect(dst->clip_box, Rect{int(std::clamp<int64_t>(l, INT32_MIN, INT32_MAX)),
                                                int(std::clamp<int64_t>(t, INT32_MIN, INT32_MAX)),
                                                int(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX)),
                                                int(std::clamp<int64_t>(b, INT32_MIN, INT32_MAX))});
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

bool pat_blt(Dc dc, int x, int y, int w, int h, uint32_t rop) {
  if (rop3_uses_source(uint8_t(rop >> 16))) return false;
  if (w < 0) { x += w; w = -w; }
  if (h < 0) { y += h; h = -h; }
  return bit_blt(dc, x, y, w, h, nullptr, 0, 0, rop);
}

// Nearest-pixel stretching from any 32-bit source block: destination column i of a
// block w wide samples source column floor((2i + 1) * sw / 2w), counted from the other
// end when the widths have opposite signs.
bool stretch_surface(Dc dst, int x, int y, int w, int h, const Surface& ss, int64_t sx, int64_t sy,
                     int sw, int sh, uint32_t rop) {
  refresh_clip(dst);
  if (!dst || !dst->surface || w == 0 || h == 0 || sw == 0 || sh == 0) return false;
  uint8_t code = uint8_t(rop >> 16);
  uint32_t pattern = 0;
  if (!pattern_of(*dst, code, pattern)) return true;
  bool flip_x = (w < 0) != (sw < 0), flip_y = (h < 0) != (sh < 0);
  if (w < 0) { x += w; w = -w; }
  if (h < 0) { y += h; h = -h; }
  if (sw < 0) { sx += sw; sw = -sw; }
  if (sh < 0) { sy += sh; sh = -sh; }
  PointL d0 = to_surface(*dst, Point{x, y});
  Rect full{int(std::clamp<int64_t>(d0.x, INT32_MIN, INT32_MAX)), int(std::clamp<int64_t>(d0.y, INT32_MIN, INT32_MAX)),
            int(std::clamp<int64_t>(d0.x + w, INT32_MIN, INT32_MAX)), int(std::clamp<int64_t>(d0.y + h, INT32_MIN, INT32_MAX))};
  Rect box = intersect_rect(dst->clip_box, full);
  if (box.empty()) return true;
  Rop3Fn fn = rop3_routine(code);
  auto src_col = [&](int64_t i) {
    int64_t k = (2 * i + 1) * sw / (2 * int64_t(w));
    return sx + (flip_x ? sw - 1 - k : k);
  };
  auto src_row = [&](int64_t j) {
    int64_t k = (2 * j + 1) * sh / (2 * int64_t(h));
    return sy + (flip_y ? sh - 1 - k : k);
  };
  std::vector<uint32_t> line;
  std::vector<uint8_t> have;
  for_each_clip_rect(*dst, box, [&](const Rect& c) {
    line.resize(size_t(c.width()));
    have.resize(size_t(c.width()));
    for (int yy = c.top; yy < c.bottom; ++yy) {
      int64_t syy = src_row(yy - d0.y);
      if (syy < 0 || syy >= ss.height) continue;
      const uint32_t* srow = ss.row(int(syy));
      for (int xx = c.left; xx < c.right; ++xx) {
        int64_t sxx = src_col(xx - d0.x);
        bool ok = sxx >= 0 && sxx < ss.width;
        have[size_t(xx - c.left)] = ok;
        line[size_t(xx - c.left)] = ok ? srow[sxx] : 0;
      }
      uint32_t* row = dst->surface->row(yy);
      for (int xx = c.left; xx < c.right; ++xx) {
        if (!have[size_t(xx - c.left)]) continue;
        uint32_t s = line[size_t(xx - c.left)];
        row[xx] = 0xFF000000u | (code == 0xCC ? s : fn(code, pattern, s, row[xx]));
      }
    }
  });
  return true;
}

bool stretch_blt(Dc dst, int x, int y, int w, int h, Dc src, int src_x, int src_y, int src_w,
                 int src_h, uint32_t rop) {
  uint8_t code = uint8_t(rop >> 16);
  if (!rop3_uses_source(code)) return pat_blt(dst, x, y, w, h, rop);
  if (!src || !src->surface) return false;
  if (w == src_w && h == src_h && w > 0 && h > 0) return bit_blt(dst, x, y, w, h, src, src_x, src_y, rop);
  PointL s0 = to_surface(*src, Point{src_x, src_y});
  if (src->surface == dst->surface) {
    Surface copy = *src->surface;
    return stretch_surface(dst, x, y, w, h, copy, s0.x, s0.y, src_w, src_h, rop);
  }
  return stretch_surface(dst, x, y, w, h, *src->surface, s0.x, s0.y, src_w, src_h, rop);
}

}  // namespace plat
