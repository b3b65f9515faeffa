// The window decode of sid_display_sid: the visible part of the image, clamped to the
// image, is decoded at the coarsest power-of-two magnification that still gives at
// least one image sample per display pixel (within what the decoder can deliver), then
// resampled nearest-neighbour straight into the host's display buffer.
//
// A window that does not lie on the image (an origin outside it, an extent that is not
// positive once clamped, values that are not finite) draws nothing, as do magnification
// bounds that are not positive numbers, and so does a
// region too large for one decode or a decode the library refuses (gblerr 7); the
// destination then keeps what it held. Sample indexes are kept inside the region, also
// where the last display column or row would reach one sample past it.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tmsid/tmsid_internal.h"

namespace tmsid {

namespace {

// The extents are clamped this far inside the image's far edges.
constexpr double kEdgeGap = 0.000001;
// Allowance of a sample index: a clamped extent makes every step short by up to
// m x kEdgeGap over the window, which would otherwise truncate a whole sample away (a
// window at one display pixel per image pixel would show each column's left neighbour).
constexpr double kIndexAllowance = 0.00001;
// Largest side of the image at a magnification that a window decode accepts.
constexpr double kMaxMagnifiedSide = 4.0 * double(kMaxSide);
// Largest region one window decode asks for, in samples per band.
constexpr int64_t kMaxRegionSamples = int64_t(1) << 26;

struct region {
  double mag = 1.0;
  int64_t x0 = 0, y0 = 0, w = 0, h = 0;
};

// The magnification for a scale s (display pixels per image pixel, at most 1).
double magnification(double s, double max_mag, double min_mag) {
  if (max_mag < s) return max_mag;
  if (min_mag > s) return min_mag;
  return std::pow(2.0, std::trunc(std::log2(s)));
}

// The region at magnification m of the clamped window; false when there is none.
bool region_of(const bitmap_t* image, double m, double ox, double oy, double ex, double ey,
               region* out) {
  if (!std::isfinite(m) || !(m > 0.0)) return false;
  const double wd = image->width, ht = image->height;
  // The image at that magnification must have sides a decoder can deliver (the window
  // lies inside the image, so every product below stays within them).
  const double mw = std::ceil(wd * m), mh = std::ceil(ht * m);
  if (!(mw <= kMaxMagnifiedSide) || !(mh <= kMaxMagnifiedSide)) return false;
  region r;
  r.mag = m;
  r.x0 = int64_t(std::trunc(m * ox));
  r.y0 = int64_t(std::trunc(m * oy));
  r.w = std::min<int64_t>(int64_t(std::trunc(m * ex)) + 1, int64_t(wd) - r.x0);
  r.h = std::min<int64_t>(int64_t(std::trunc(m * ey)) + 1, int64_t(ht) - r.y0);
  // Kept inside the image at that magnification, which the decoder delivers.
  r.w = std::min<int64_t>(r.w, int64_t(mw) - r.x0);
  r.h = std::min<int64_t>(r.h, int64_t(mh) - r.y0);
  if (r.w < 1 || r.h < 1 || r.w * r.h > kMaxRegionSamples) return false;
  *out = r;
  return true;
}

// The 256-entry table of a one-band image: grey means or packed pixels.
void one_band_table(const bitmap_t* image, bool grey, uint32_t table[256]) {
  const host_services& h = host();
  for (int i = 0; i < 256; ++i) {
    const uint8_t r = image->lut_r[i], g = image->lut_g[i], b = image->lut_b[i];
    table[i] = grey ? uint8_t(r / 3 + g / 3 + b / 3)
                    : uint32_t(r) << *h.rshift | uint32_t(g) << *h.vshift |
                          uint32_t(b) << *h.bshift;
  }
}

struct destination {
  uint8_t* dest8;
  uint32_t* dest32;
  int64_t stride;
};

void resample(const bitmap_t* image, const sid_window& win, const region& r,
              const uint8_t* const planes[3], bool grey, const destination& dst) {
  const host_services& h = host();
  const double m = r.mag;
  const double step_x = m * win.extent_x / win.width, step_y = m * win.extent_y / win.height;
  const double fx = m * win.origin_x - double(r.x0), fy = m * win.origin_y - double(r.y0);
  const bool three = image->planes == 3;
  uint32_t table[256];
  if (!three) one_band_table(image, grey, table);
  const int32_t rs = *h.rshift, vs = *h.vshift, bs = *h.bshift;
  for (int row = 0; row < win.height; ++row) {
    const int64_t ry = std::min<int64_t>(int64_t((row + fy) * step_y + kIndexAllowance), r.h - 1);
    const int64_t base = ry * r.w;
    uint8_t* out8 = dst.dest8 ? dst.dest8 + row * dst.stride : nullptr;
    uint32_t* out32 = dst.dest32 ? dst.dest32 + row * dst.stride : nullptr;
    double ax = fx;
    for (int c = 0; c < win.width; ++c, ax += step_x) {
      const int64_t i = base + std::min<int64_t>(int64_t(ax + kIndexAllowance), r.w - 1);
      if (three) {
        const uint8_t b0 = planes[0][i], b1 = planes[1][i], b2 = planes[2][i];
        if (grey)
          out8[c] = uint8_t(b0 / 3 + b1 / 3 + b2 / 3);
        else
          out32[c] = uint32_t(b0) << rs | uint32_t(b1) << vs | uint32_t(b2) << bs;
      } else if (grey) {
        out8[c] = uint8_t(table[planes[0][i]]);
      } else {
        out32[c] = table[planes[0][i]];
      }
    }
  }
}

bool finite_window(const sid_window& w) {
  return std::isfinite(w.origin_x) && std::isfinite(w.origin_y) && std::isfinite(w.extent_x) &&
         std::isfinite(w.extent_y);
}

}  // namespace

void display_window(bitmap_t* image, sid_window* window, int grey, uint8_t* dest8,
                    uint32_t* dest32, int stride) {
  if (!image || !window || window->width < 1 || window->height < 1) return;
  if (!decoder().decode || !open_image(image) || error_code() != 0) return;
  if ((grey && !dest8) || (!grey && !dest32)) return;
  sid_window win = *window;
  const double wd = image->width, ht = image->height;
  // A window that does not lie on the image has nothing to decode.
  if (!finite_window(win) || win.origin_x < 0.0 || win.origin_y < 0.0 || win.origin_x >= wd ||
      win.origin_y >= ht || !(win.extent_x > 0.0) || !(win.extent_y > 0.0))
    return;
  double s = std::max(win.width / win.extent_x, win.height / win.extent_y);
  win.extent_x = std::min(win.extent_x, wd - win.origin_x - kEdgeGap);
  win.extent_y = std::min(win.extent_y, ht - win.origin_y - kEdgeGap);
  window->extent_x = win.extent_x;
  window->extent_y = win.extent_y;
  if (!(win.extent_x > 0.0) || !(win.extent_y > 0.0)) return;
  s = std::min(s, 1.0);
  const ltic_handle h = image_handle(image);
  const double max_mag = decoder().max_mag(h), min_mag = decoder().min_mag(h);
  // Bounds that are no positive numbers bound nothing a decode could be asked at.
  if (!(max_mag > 0.0) || !(min_mag > 0.0) || !std::isfinite(max_mag) || !std::isfinite(min_mag))
    return;
  const double m = magnification(s, max_mag, min_mag);
  region r;
  if (!region_of(image, m, win.origin_x, win.origin_y, win.extent_x, win.extent_y, &r)) return;
  // One buffer for the three planes, not cleared: the decoder writes every sample.
  const size_t plane = size_t(r.w * r.h);
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(plane * 3 + 20);
  uint8_t* planes[3] = {buffer.get(), buffer.get() + plane, buffer.get() + 2 * plane};
  if (decoder().decode(h, double(r.x0), double(r.y0), double(r.w), double(r.h), r.mag, planes) !=
      0) {
    set_error(kSidRefused);
    return;
  }
  resample(image, win, r, planes, grey != 0, destination{dest8, dest32, stride});
}

}  // namespace tmsid
