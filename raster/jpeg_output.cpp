// The JPEG reader's samples: dequantising, the floating-point inverse DCT, chroma
// replication, colour conversion and the writing of MCUs into the image lines
// (jpeg_state.h).
//
// Samples stay floats until they are written. 12-bit samples are first brought to the
// 8-bit range (divided by 16), so every colour formula works on 8-bit values; each
// component's sample is held to the sample range before the colours are converted, as
// the samples of the file are (the transform of a block can overshoot near hard edges).
//
// Three components are Y, Cb, Cr; red, green, blue when an Adobe segment says so and no
// JFIF segment says otherwise, and as decoded in SPIFF files. Four components are CMYK,
// or YCCK when the Adobe transform is not 0, stored inverted as Adobe writes them (255
// is no ink, with or without the Adobe segment); each colour is the product of its
// sample and the black one.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "map/bitmap_record.h"
#include "raster/jpeg_state.h"

namespace {

struct cosines {
  float c[8];
  cosines() {
    for (int k = 0; k < 8; ++k) c[k] = float(std::cos(k * 3.14159265358979323846 / 16) / 2);
  }
};
const cosines kCos;

// The exact 8-point transform: in[0..7] at stride `step`, out likewise.
void idct_1d(const float* in, int step, float* out, int out_step, float shift) {
  const float* c = kCos.c;
  const float f0 = in[0], f1 = in[step], f2 = in[2 * step], f3 = in[3 * step];
  const float f4 = in[4 * step], f5 = in[5 * step], f6 = in[6 * step], f7 = in[7 * step];
  const float e0 = (f0 + f4) * c[4], e1 = (f0 - f4) * c[4];
  const float t = c[2] * f2 + c[6] * f6, d = c[6] * f2 - c[2] * f6;
  const float even[4] = {t + e0, e1 + d, e1 - d, e0 - t};
  const float odd[4] = {c[1] * f1 + c[3] * f3 + c[5] * f5 + c[7] * f7,
                        c[3] * f1 - c[7] * f3 - c[1] * f5 - c[5] * f7,
                        c[5] * f1 - c[1] * f3 + c[7] * f5 + c[3] * f7,
                        c[7] * f1 - c[5] * f3 + c[3] * f5 - c[1] * f7};
  for (int n = 0; n < 4; ++n) {
    out[n * out_step] = even[n] + odd[n] + shift;
    out[(7 - n) * out_step] = even[n] - odd[n] + shift;
  }
}

// A sample as a byte: below 0.5 gives 0, from 254.5 on 255, else rounded.
uint8_t to_byte(float v) {
  if (!(v >= 0.5f)) return 0;
  if (v >= 254.5f) return 255;
  return uint8_t(int(v + 0.5f));
}

// A colour formula's value (its +0.5 included) truncated, then held to 0..255.
uint8_t clamp_trunc(float v) {
  if (!(v >= 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return uint8_t(int(v));
}

void ycc_to_rgb(float y, float cb, float cr, uint8_t* r, uint8_t* g, uint8_t* b) {
  *r = clamp_trunc(y + 1.402f * cr - 178.956f);
  *g = clamp_trunc(y - 0.34414f * cb - 0.71414f * cr + 135.95984f);
  *b = clamp_trunc(y + 1.772f * cb - 226.316f);
}

// a x b / 255, rounded.
uint8_t mul255(int a, int b) {
  const int t = a * b + 128;
  return uint8_t((t + (t >> 8)) >> 8);
}

enum class colour { planes, ycc, cmyk, ycck };

colour colour_of(const jpeg_state* st) {
  switch (st->frame.count) {
    case 3:
      if (!st->colour_conversion) return colour::planes;
      if (st->adobe_transform == 0 && !st->jfif) return colour::planes;  // stored as RGB
      return colour::ycc;
    case 4: return st->adobe_transform > 0 ? colour::ycck : colour::cmyk;
    default: return colour::planes;
  }
}

}  // namespace

void jpeg_idct(const float in[64], float out[64], float level_shift) {
  float rows[64];
  for (int r = 0; r < 8; ++r) idct_1d(in + 8 * r, 1, rows + 8 * r, 1, 0.0f);
  for (int c = 0; c < 8; ++c) idct_1d(rows + c, 8, out + c, 8, level_shift);
}

void jpeg_block_to_mcu(jpeg_state* st, int c, const int32_t* coef, int bx, int by) {
  const jpeg_frame& f = st->frame;
  const jpeg_component& k = f.comp[c];
  const uint16_t* q = st->quant[k.tq & 3];
  float in[64] = {};
  for (int i = 0; i < 64; ++i)
    if (coef[i]) in[kJpegZigzag[i]] = float(coef[i]) * float(q[i]);
  float out[64];
  jpeg_idct(in, out, float(1 << (f.precision - 1)));
  const int rx = std::max(1, f.hmax / k.h), ry = std::max(1, f.vmax / k.v);
  const int stride = 8 * f.hmax;
  const int ox = bx * 8 * rx, oy = by * 8 * ry;
  if (ox + 8 * rx > stride || oy + 8 * ry > 8 * f.vmax) return;
  float* plane = st->mcu[c];
  for (int y = 0; y < 8; ++y)
    for (int dy = 0; dy < ry; ++dy) {
      float* row = plane + (oy + y * ry + dy) * stride + ox;
      for (int x = 0; x < 8; ++x)
        for (int dx = 0; dx < rx; ++dx) row[x * rx + dx] = out[8 * y + x];
    }
}

void jpeg_write_mcu(jpeg_state* st, int x0, int y0, int w, int h) {
  const jpeg_frame& f = st->frame;
  if (w <= 0 || h <= 0) return;
  const int stride = 8 * f.hmax;
  const float scale = f.precision == 12 ? 1.0f / 16 : 1.0f;
  const colour kind = colour_of(st);
  const int planes = std::min(f.count, 3);
  const int n = stride * 8 * f.vmax;
  uint8_t(*out)[64 * kJpegMaxFactor * kJpegMaxFactor] = st->samples;
  for (int i = 0; i < n; ++i) {
    float v[4] = {};
    for (int c = 0; c < f.count; ++c) v[c] = std::clamp(st->mcu[c][i] * scale, 0.0f, 255.0f);
    switch (kind) {
      case colour::planes:
        for (int c = 0; c < planes; ++c) out[c][i] = to_byte(v[c]);
        break;
      case colour::ycc: ycc_to_rgb(v[0], v[1], v[2], &out[0][i], &out[1][i], &out[2][i]); break;
      case colour::cmyk:
      case colour::ycck: {
        int ink[3];
        if (kind == colour::ycck) {
          uint8_t rgb[3];
          ycc_to_rgb(v[0], v[1], v[2], &rgb[0], &rgb[1], &rgb[2]);
          for (int c = 0; c < 3; ++c) ink[c] = 255 - rgb[c];
        } else {
          for (int c = 0; c < 3; ++c) ink[c] = to_byte(v[c]);
        }
        const int k = to_byte(v[3]);
        for (int c = 0; c < 3; ++c) out[c][i] = mul255(ink[c], k);
        break;
      }
    }
  }
  for (int p = 0; p < planes; ++p)
    for (int y = 0; y < h; ++y)
      if (uint8_t* line = get_img_line_adr(st->image, y0 + y, p))
        std::memcpy(line + x0, out[p] + y * stride, size_t(w));
}

void jpeg_output_buffered(jpeg_state* st) {
  jpeg_frame& f = st->frame;
  if (!f.buffered) return;
  f.buffered = false;
  int32_t coef[64];
  for (int64_t my = 0; my < int64_t(f.rows_reached.size()); ++my)
    for (int64_t mx = 0; mx < f.mcus_across && f.rows_reached[size_t(my)]; ++mx) {
      for (int c = 0; c < f.count; ++c) {
        const jpeg_component& k = f.comp[c];
        if (k.coefficients.empty()) continue;
        for (int by = 0; by < k.v; ++by)
          for (int bx = 0; bx < k.h; ++bx) {
            const int16_t* block =
                k.coefficients.data() + ((my * k.v + by) * k.blocks_across + mx * k.h + bx) * 64;
            for (int i = 0; i < 64; ++i) coef[i] = block[i];
            jpeg_block_to_mcu(st, c, coef, bx, by);
          }
      }
      const int x0 = int(mx * 8 * f.hmax), y0 = int(my * 8 * f.vmax);
      jpeg_write_mcu(st, x0, y0, std::min(8 * f.hmax, f.width - x0),
                     std::min(8 * f.vmax, f.height - y0));
    }
}
