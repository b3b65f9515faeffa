// Pixel and span writers. The sixteen mix modes are the sixteen boolean functions of the
// pen bit P and the destination bit D; mode n is the truth table n - 1 read as
// bit (P * 2 + D), which is how the table below is laid out.
#include "platform/gdi/raster.h"

namespace plat {

namespace {

constexpr uint32_t kRgb = 0x00FFFFFFu;

const MixFn kMix[16] = {
    [](uint32_t, uint32_t) -> uint32_t { return 0; },                       // R2_BLACK
    [](uint32_t p, uint32_t d) -> uint32_t { return ~(p | d) & kRgb; },     // R2_NOTMERGEPEN
    [](uint32_t p, uint32_t d) -> uint32_t { return ~p & d & kRgb; },       // R2_MASKNOTPEN
    [](uint32_t p, uint32_t) -> uint32_t { return ~p & kRgb; },             // R2_NOTCOPYPEN
    [](uint32_t p, uint32_t d) -> uint32_t { return p & ~d & kRgb; },       // R2_MASKPENNOT
    [](uint32_t, uint32_t d) -> uint32_t { return ~d & kRgb; },             // R2_NOT
    [](uint32_t p, uint32_t d) -> uint32_t { return (p ^ d) & kRgb; },      // R2_XORPEN
    [](uint32_t p, uint32_t d) -> uint32_t { return ~(p & d) & kRgb; },     // R2_NOTMASKPEN
    [](uint32_t p, uint32_t d) -> uint32_t { return p & d & kRgb; },        // R2_MASKPEN
    [](uint32_t p, uint32_t d) -> uint32_t { return ~(p ^ d) & kRgb; },     // R2_NOTXORPEN
    [](uint32_t, uint32_t d) -> uint32_t { return d & kRgb; },              // R2_NOP
    [](uint32_t p, uint32_t d) -> uint32_t { return (~p | d) & kRgb; },     // R2_MERGENOTPEN
    [](uint32_t p, uint32_t) -> uint32_t { return p & kRgb; },              // R2_COPYPEN
    [](uint32_t p, uint32_t d) -> uint32_t { return (p | ~d) & kRgb; },     // R2_MERGEPENNOT
    [](uint32_t p, uint32_t d) -> uint32_t { return (p | d) & kRgb; },      // R2_MERGEPEN
    [](uint32_t, uint32_t) -> uint32_t { return kRgb; },                    // R2_WHITE
};

}  // namespace

MixFn mix_routine(int rop2) {
  return rop2 >= R2_BLACK && rop2 <= R2_WHITE ? kMix[rop2 - 1] : kMix[R2_COPYPEN - 1];
}

Painter::Painter(Dc dc, Color color, int rop2)
    : surface(dc->surface), clip(&dc->clip), box(dc->clip_box), simple(dc->clip_simple),
      copy(rop2 == R2_COPYPEN), mix(mix_routine(rop2)), px(pixel_of(color)) {
  if (!surface) box = Rect{};
}

void Painter::run(int y, int x0, int x1) {
  uint32_t* p = surface->row(y);
  if (copy) {
    std::fill(p + x0, p + x1, px);
    return;
  }
  for (int x = x0; x < x1; ++x) p[x] = 0xFF000000u | mix(px, p[x]);
}

void Painter::span(int y, int x0, int x1) {
  if (y < box.top || y >= box.bottom) return;
  x0 = std::max(x0, box.left);
  x1 = std::min(x1, box.right);
  if (x0 >= x1) return;
  if (simple) {
    run(y, x0, x1);
    return;
  }
  const std::vector<Rect>& rs = clip->rects();
  auto it = std::partition_point(rs.begin(), rs.end(), [y](const Rect& c) { return c.bottom <= y; });
  for (; it != rs.end() && it->top <= y; ++it) {
    if (it->left >= x1) break;
    int a = std::max(x0, it->left), b = std::min(x1, it->right);
    if (a < b) run(y, a, b);
  }
}

}  // namespace plat
