// The JPEG reader's samples: dequantising, the inverse DCT, chroma replication, colour
// conversion and the writing of MCUs into the image lines (jpeg_state.h).
//
// Two paths. The fast path takes the common files: 8-bit precision, grey, or three
// components (YCbCr, or RGB) each sampled at 1, 2 or 4 times less than the largest
// factor. Its inverse DCT runs eight columns, then eight rows, side by side (the compiler
// turns the lanes into vector operations) with the exact transform's float arithmetic, so
// its samples are those of the exact transform rounded half up; an integer transform
// would be off by one often enough to take colours three from the reference decodings.
// Each component stays at its own resolution in the MCU planes and is replicated while
// the colours are converted, with the fixed-point tables of the JFIF conversion (16
// fraction bits, each term rounded as the float formula rounds). Every other file
// (12-bit, CMYK, YCCK, two components, odd sampling ratios) takes the path below.
//
// In the floating-point path
// samples stay floats until they are written. 12-bit samples are first brought to the
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

#include <immintrin.h>

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

// ---- Fast path ------------------------------------------------------------------------

// Four 8-point transforms side by side, one per vector lane: f[k] holds input k of each
// lane, o[n] gets output n. The even part (inputs 0, 2, 4, 6, with the level shift) and
// the odd part (inputs 1, 3, 5, 7) are formed as the scalar transform forms them, in the
// same order and without fused operations, so the results are the same to the bit.
inline void idct_vector(const __m128 f[8], __m128 o[8], __m128 shift) {
  const float* c = kCos.c;
  const __m128 c1 = _mm_set1_ps(c[1]), c2 = _mm_set1_ps(c[2]), c3 = _mm_set1_ps(c[3]);
  const __m128 c4 = _mm_set1_ps(c[4]), c5 = _mm_set1_ps(c[5]), c6 = _mm_set1_ps(c[6]);
  const __m128 c7 = _mm_set1_ps(c[7]);
  const __m128 e0 = _mm_add_ps(_mm_mul_ps(_mm_add_ps(f[0], f[4]), c4), shift);
  const __m128 e1 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(f[0], f[4]), c4), shift);
  const __m128 t = _mm_add_ps(_mm_mul_ps(c2, f[2]), _mm_mul_ps(c6, f[6]));
  const __m128 d = _mm_sub_ps(_mm_mul_ps(c6, f[2]), _mm_mul_ps(c2, f[6]));
  const __m128 ev0 = _mm_add_ps(e0, t), ev1 = _mm_add_ps(e1, d);
  const __m128 ev2 = _mm_sub_ps(e1, d), ev3 = _mm_sub_ps(e0, t);
  const __m128 o0 = _mm_add_ps(
      _mm_add_ps(_mm_add_ps(_mm_mul_ps(c1, f[1]), _mm_mul_ps(c3, f[3])), _mm_mul_ps(c5, f[5])),
      _mm_mul_ps(c7, f[7]));
  const __m128 o1 = _mm_sub_ps(
      _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(c3, f[1]), _mm_mul_ps(c7, f[3])), _mm_mul_ps(c1, f[5])),
      _mm_mul_ps(c5, f[7]));
  const __m128 o2 = _mm_add_ps(
      _mm_add_ps(_mm_sub_ps(_mm_mul_ps(c5, f[1]), _mm_mul_ps(c1, f[3])), _mm_mul_ps(c7, f[5])),
      _mm_mul_ps(c3, f[7]));
  const __m128 o3 = _mm_sub_ps(
      _mm_add_ps(_mm_sub_ps(_mm_mul_ps(c7, f[1]), _mm_mul_ps(c5, f[3])), _mm_mul_ps(c3, f[5])),
      _mm_mul_ps(c1, f[7]));
  o[0] = _mm_add_ps(ev0, o0);
  o[7] = _mm_sub_ps(ev0, o0);
  o[1] = _mm_add_ps(ev1, o1);
  o[6] = _mm_sub_ps(ev1, o1);
  o[2] = _mm_add_ps(ev2, o2);
  o[5] = _mm_sub_ps(ev2, o2);
  o[3] = _mm_add_ps(ev3, o3);
  o[4] = _mm_sub_ps(ev3, o3);
}

// out[j] lane i = in[i] lane j, for a 4 x 4 piece.
inline void transpose4(const __m128 in[4], __m128 out[4]) {
  __m128 a = in[0], b = in[1], c = in[2], d = in[3];
  _MM_TRANSPOSE4_PS(a, b, c, d);
  out[0] = a;
  out[1] = b;
  out[2] = c;
  out[3] = d;
}

// The same transform eight lanes wide, for processors with AVX (chosen at run time; AVX
// alone brings no fused multiply-add, so every operation rounds as above).
#define TM_AVX __attribute__((target("avx")))

TM_AVX inline void idct_vector8(const __m256 f[8], __m256 o[8], __m256 shift) {
  const float* c = kCos.c;
  const __m256 c1 = _mm256_set1_ps(c[1]), c2 = _mm256_set1_ps(c[2]), c3 = _mm256_set1_ps(c[3]);
  const __m256 c4 = _mm256_set1_ps(c[4]), c5 = _mm256_set1_ps(c[5]), c6 = _mm256_set1_ps(c[6]);
  const __m256 c7 = _mm256_set1_ps(c[7]);
  const __m256 e0 = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(f[0], f[4]), c4), shift);
  const __m256 e1 = _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(f[0], f[4]), c4), shift);
  const __m256 t = _mm256_add_ps(_mm256_mul_ps(c2, f[2]), _mm256_mul_ps(c6, f[6]));
  const __m256 d = _mm256_sub_ps(_mm256_mul_ps(c6, f[2]), _mm256_mul_ps(c2, f[6]));
  const __m256 ev0 = _mm256_add_ps(e0, t), ev1 = _mm256_add_ps(e1, d);
  const __m256 ev2 = _mm256_sub_ps(e1, d), ev3 = _mm256_sub_ps(e0, t);
  const __m256 o0 = _mm256_add_ps(
      _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(c1, f[1]), _mm256_mul_ps(c3, f[3])),
                    _mm256_mul_ps(c5, f[5])),
      _mm256_mul_ps(c7, f[7]));
  const __m256 o1 = _mm256_sub_ps(
      _mm256_sub_ps(_mm256_sub_ps(_mm256_mul_ps(c3, f[1]), _mm256_mul_ps(c7, f[3])),
                    _mm256_mul_ps(c1, f[5])),
      _mm256_mul_ps(c5, f[7]));
  const __m256 o2 = _mm256_add_ps(
      _mm256_add_ps(_mm256_sub_ps(_mm256_mul_ps(c5, f[1]), _mm256_mul_ps(c1, f[3])),
                    _mm256_mul_ps(c7, f[5])),
      _mm256_mul_ps(c3, f[7]));
  const __m256 o3 = _mm256_sub_ps(
      _mm256_add_ps(_mm256_sub_ps(_mm256_mul_ps(c7, f[1]), _mm256_mul_ps(c5, f[3])),
                    _mm256_mul_ps(c3, f[5])),
      _mm256_mul_ps(c1, f[7]));
  o[0] = _mm256_add_ps(ev0, o0);
  o[7] = _mm256_sub_ps(ev0, o0);
  o[1] = _mm256_add_ps(ev1, o1);
  o[6] = _mm256_sub_ps(ev1, o1);
  o[2] = _mm256_add_ps(ev2, o2);
  o[5] = _mm256_sub_ps(ev2, o2);
  o[3] = _mm256_add_ps(ev3, o3);
  o[4] = _mm256_sub_ps(ev3, o3);
}

// out[j] lane i = in[i] lane j, 8 x 8.
TM_AVX inline void transpose8(const __m256 r[8], __m256 out[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
  const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
  out[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
  out[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  out[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
  out[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  out[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
  out[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  out[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
  out[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// jpeg_idct_natural's transform and samples of a block that holds AC values.
TM_AVX void idct_block_avx(const int32_t coef[64], const float q[64], uint8_t* out, int stride) {
  __m256 f[8], o[8];
  for (int k = 0; k < 8; ++k)
    f[k] = _mm256_mul_ps(
        _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(coef + 8 * k))),
        _mm256_loadu_ps(q + 8 * k));
  idct_vector8(f, o, _mm256_setzero_ps());  // lane = column
  transpose8(o, f);
  idct_vector8(f, o, _mm256_set1_ps(128.5f));  // lane = row
  transpose8(o, f);
  const __m256 zero = _mm256_setzero_ps(), high = _mm256_set1_ps(255.5f);
  for (int y = 0; y < 8; ++y) {
    const __m256i v = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(f[y], zero), high));
    const __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extractf128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), _mm_packus_epi16(w, w));
  }
}

bool has_avx() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx");
}
const bool kHasAvx = has_avx();

inline uint8_t byte_of(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// The JFIF YCbCr -> RGB terms per chroma value, and a byte clamp over the sums' range.
struct ycc_tables {
  int16_t cr_r[256], cb_b[256];
  int32_t cb_g[256], cr_g[256];  // 16 fraction bits; cr_g carries the rounding half
  uint8_t clamp[1024];           // index value + kClampOffset
  static constexpr int kClampOffset = 384;
  ycc_tables() {
    for (int i = 0; i < 256; ++i) {
      const double x = i - 128;
      cr_r[i] = int16_t(std::floor(1.402 * x + 0.5));
      cb_b[i] = int16_t(std::floor(1.772 * x + 0.5));
      cb_g[i] = int32_t(std::lround(-0.34414 * x * 65536));
      cr_g[i] = int32_t(std::lround(-0.71414 * x * 65536)) + 32768;
    }
    for (int i = 0; i < 1024; ++i) clamp[i] = uint8_t(std::clamp(i - kClampOffset, 0, 255));
  }
};
const ycc_tables kYcc;

// log2 of a power of two from 1 to 4, -1 otherwise.
int share_shift(int ratio) {
  switch (ratio) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    default: return -1;
  }
}

// Horizontal and vertical shifts of component c's samples in the MCU (fast path).
void component_shifts(const jpeg_frame& f, int c, int* sx, int* sy) {
  const jpeg_component& k = f.comp[c];
  *sx = share_shift(k.h > 0 && f.hmax % k.h == 0 ? f.hmax / k.h : 0);
  *sy = share_shift(k.v > 0 && f.vmax % k.v == 0 ? f.vmax / k.v : 0);
}

// One output line of YCbCr samples converted to RGB; chroma at column x >> csx.
template <int csx>
void ycc_line(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w, uint8_t* r,
              uint8_t* g, uint8_t* b) {
  const uint8_t* lim = kYcc.clamp + ycc_tables::kClampOffset;
  int x = 0;
  if constexpr (csx == 1) {  // two pixels a chroma sample: its terms once for both
    for (; x + 1 < w; x += 2) {
      const int u = cb[x >> 1], v = cr[x >> 1];
      const int dr = kYcc.cr_r[v], dg = (kYcc.cb_g[u] + kYcc.cr_g[v]) >> 16, db = kYcc.cb_b[u];
      const int l0 = y[x], l1 = y[x + 1];
      r[x] = lim[l0 + dr];
      g[x] = lim[l0 + dg];
      b[x] = lim[l0 + db];
      r[x + 1] = lim[l1 + dr];
      g[x + 1] = lim[l1 + dg];
      b[x + 1] = lim[l1 + db];
    }
  }
  for (; x < w; ++x) {
    const int u = cb[x >> csx], v = cr[x >> csx], l = y[x];
    r[x] = lim[l + kYcc.cr_r[v]];
    g[x] = lim[l + ((kYcc.cb_g[u] + kYcc.cr_g[v]) >> 16)];
    b[x] = lim[l + kYcc.cb_b[u]];
  }
}

// Same line when the two chroma components have different horizontal shares.
void ycc_line_any(const uint8_t* y, const uint8_t* cb, int sb, const uint8_t* cr, int sr, int w,
                  uint8_t* r, uint8_t* g, uint8_t* b) {
  const uint8_t* lim = kYcc.clamp + ycc_tables::kClampOffset;
  for (int x = 0; x < w; ++x) {
    const int u = cb[x >> sb], v = cr[x >> sr], l = y[x];
    r[x] = lim[l + kYcc.cr_r[v]];
    g[x] = lim[l + ((kYcc.cb_g[u] + kYcc.cr_g[v]) >> 16)];
    b[x] = lim[l + kYcc.cb_b[u]];
  }
}

// One plane line replicated from samples at column x >> sx.
void copy_line(const uint8_t* in, int sx, int w, uint8_t* out) {
  if (sx == 0) {
    std::memcpy(out, in, size_t(w));
    return;
  }
  for (int x = 0; x < w; ++x) out[x] = in[x >> sx];
}

// Room after each line of chroma terms: chroma_terms writes whole groups of 1 << csx.
constexpr size_t kTermsPad = 8;

// The red, green and blue terms of each pixel of a chroma line's `w` pixels (chroma
// sample x >> csx), as ycc_line adds them to luma.
template <int csx>
void chroma_terms(const uint8_t* cb, const uint8_t* cr, int w, int16_t* dr, int16_t* dg,
                  int16_t* db) {
  const int n = ((w - 1) >> csx) + 1;
  for (int i = 0; i < n; ++i) {
    const int u = cb[i], v = cr[i];
    const int16_t tr = kYcc.cr_r[v], tb = kYcc.cb_b[u];
    const int16_t tg = int16_t((kYcc.cb_g[u] + kYcc.cr_g[v]) >> 16);
    for (int k = 0; k < (1 << csx); ++k) {
      dr[(i << csx) + k] = tr;
      dg[(i << csx) + k] = tg;
      db[(i << csx) + k] = tb;
    }
  }
}

// out[x] = luma[x] + term[x], held to 0..255 (the saturating pack holds it as the clamp
// table does).
void add_terms(const uint8_t* luma, const int16_t* term, int w, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x));
    const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(l, zero),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(term + x)));
    const __m128i hi = _mm_add_epi16(
        _mm_unpackhi_epi8(l, zero), _mm_loadu_si128(reinterpret_cast<const __m128i*>(term + x + 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
  const uint8_t* lim = kYcc.clamp + ycc_tables::kClampOffset;
  for (; x < w; ++x) out[x] = lim[luma[x] + term[x]];
}

// One image line of the fast path: `w` pixels from the planes' lines `in` (component p's
// column x at x >> sx[p]) into the image planes' lines `line` (null: plane not written).
void fast_line(const uint8_t* const in[3], const int sx[3], int planes, bool ycc, int w,
               uint8_t* const line[3]) {
  const bool all = line[0] && (planes < 2 || line[1]) && (planes < 3 || line[2]);
  if (ycc && all && sx[0] == 0 && sx[1] == sx[2]) {
    if (sx[1] == 0)
      ycc_line<0>(in[0], in[1], in[2], w, line[0], line[1], line[2]);
    else if (sx[1] == 1)
      ycc_line<1>(in[0], in[1], in[2], w, line[0], line[1], line[2]);
    else
      ycc_line<2>(in[0], in[1], in[2], w, line[0], line[1], line[2]);
  } else if (ycc) {
    // Luma itself sampled below the largest factor: replicate it into a line first, a
    // piece of 8 x kJpegMaxFactor pixels at a time (a multiple of every share).
    constexpr int kPiece = 8 * kJpegMaxFactor;
    uint8_t luma[kPiece];
    uint8_t rgb[3][kPiece];
    for (int x = 0; x < w; x += kPiece) {
      const int n = std::min(kPiece, w - x);
      copy_line(in[0] + (x >> sx[0]), sx[0], n, luma);
      ycc_line_any(luma, in[1] + (x >> sx[1]), sx[1], in[2] + (x >> sx[2]), sx[2], n, rgb[0],
                   rgb[1], rgb[2]);
      for (int p = 0; p < 3; ++p)
        if (line[p]) std::memcpy(line[p] + x, rgb[p], size_t(n));
    }
  } else {
    for (int p = 0; p < planes; ++p)
      if (line[p]) copy_line(in[p], sx[p], w, line[p]);
  }
}

// The image planes' lines of image line `row`, from one look-up (the planes of a row
// follow each other, width bytes apart), at column x0; null where there is none.
void image_lines(jpeg_state* st, int row, int planes, int x0, uint8_t* line[3]) {
  uint8_t* base = get_img_line_adr(st->image, row, 0);
  for (int p = 0; p < 3; ++p)
    line[p] = base && p < planes && p < st->image->planes
                  ? base + int64_t(st->image->width) * p + x0
                  : nullptr;
}

void write_mcu_fast(jpeg_state* st, int x0, int y0, int w, int h) {
  const jpeg_frame& f = st->frame;
  const int stride = 8 * f.hmax;
  const int planes = std::min(f.count, 3);
  int sx[3] = {}, sy[3] = {};
  for (int c = 0; c < planes; ++c) component_shifts(f, c, &sx[c], &sy[c]);
  const bool ycc = planes == 3 && colour_of(st) == colour::ycc;
  for (int y = 0; y < h; ++y) {
    uint8_t* line[3];
    image_lines(st, y0 + y, planes, x0, line);
    const uint8_t* in[3] = {};
    for (int p = 0; p < planes; ++p) in[p] = st->planes8[p] + (y >> sy[p]) * stride;
    fast_line(in, sx, planes, ycc, w, line);
  }
}

}  // namespace

bool jpeg_fast_output(const jpeg_state* st) { return st->frame.fast; }

bool jpeg_frame_takes_fast_path(const jpeg_frame& f) {
  if (f.precision != 8) return false;
  if (f.count == 1) return true;
  if (f.count != 3) return false;
  for (int c = 0; c < 3; ++c) {
    int sx = 0, sy = 0;
    component_shifts(f, c, &sx, &sy);
    if (sx < 0 || sy < 0) return false;
  }
  return true;
}

void jpeg_idct_block(const int32_t coef[64], const uint16_t q[64], uint8_t* out, int stride,
                     int last) {
  int32_t natural[64] = {};
  float qf[64];
  last = std::clamp(last, 0, 63);
  for (int i = 0; i < 64; ++i) qf[kJpegZigzag[i]] = float(q[i]);
  for (int i = 0; i <= last; ++i) natural[kJpegZigzag[i]] = coef[i];
  jpeg_idct_natural(natural, qf, out, stride);
}

void jpeg_idct_natural(const int32_t coef[64], const float q[64], uint8_t* out, int stride) {
  // Dequantised rows, each as two vectors (columns 0-3 and 4-7); any AC value noted.
  __m128 left[8], right[8];
  __m128i ac = _mm_setzero_si128();
  for (int k = 0; k < 8; ++k) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * k));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * k + 4));
    ac = _mm_or_si128(ac, _mm_or_si128(k == 0 ? _mm_srli_si128(a, 4) : a, b));
    left[k] = _mm_mul_ps(_mm_cvtepi32_ps(a), _mm_loadu_ps(q + 8 * k));
    right[k] = _mm_mul_ps(_mm_cvtepi32_ps(b), _mm_loadu_ps(q + 8 * k + 4));
  }
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(ac, _mm_setzero_si128())) == 0xFFFF) {
    // Only the DC: a flat block of 128 + DC / 8, rounded half up.
    const int64_t dc = int64_t(coef[0]) * int64_t(q[0]);
    const uint8_t s = byte_of(int32_t(std::clamp<int64_t>(128 + ((dc + 4) >> 3), -1, 256)));
    for (int y = 0; y < 8; ++y) std::memset(out + y * stride, s, 8);
    return;
  }
  if (kHasAvx) return idct_block_avx(coef, q, out, stride);
  // Columns first (lane = column), then the rows of the turned result (lane = row); the
  // level shift and the rounding half ride on the second pass. Same operations in the
  // same order as the exact transform of the lanes above.
  const __m128 zero = _mm_setzero_ps(), shift = _mm_set1_ps(128.5f);
  __m128 cl[8], cr[8];
  idct_vector(left, cl, zero);
  idct_vector(right, cr, zero);
  __m128 top[8], bottom[8];  // lanes rows 0-3 and 4-7; index = column
  transpose4(cl, top);
  transpose4(cr, top + 4);
  transpose4(cl + 4, bottom);
  transpose4(cr + 4, bottom + 4);
  __m128 rt[8], rb[8];
  idct_vector(top, rt, shift);
  idct_vector(bottom, rb, shift);
  __m128 rows_left[8], rows_right[8];  // row y's columns 0-3 and 4-7
  transpose4(rt, rows_left);
  transpose4(rt + 4, rows_right);
  transpose4(rb, rows_left + 4);
  transpose4(rb + 4, rows_right + 4);
  const __m128 high = _mm_set1_ps(255.5f);
  for (int y = 0; y < 8; ++y) {
    const __m128i a = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(rows_left[y], zero), high));
    const __m128i b = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(rows_right[y], zero), high));
    const __m128i w = _mm_packs_epi32(a, b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), _mm_packus_epi16(w, w));
  }
}

int jpeg_rows_ready(jpeg_state* st) {
  const jpeg_frame& f = st->frame;
  jpeg_rows& r = st->rows;
  r.top = -1;
  r.from = r.upto = r.height = 0;
  const int planes = std::min(f.count, 3);
  // At most 3 planes of 65535 x 4 x 8 bytes a line and 32 lines: a few megabytes.
  for (int c = 0; c < planes; ++c) {
    const jpeg_component& k = f.comp[c];
    r.stride[c] = f.mcus_across * k.h * 8;
    r.lines[c] = k.v * 8;
    const size_t bytes = size_t(r.stride[c]) * size_t(r.lines[c]);
    if (r.plane[c].size() != bytes) r.plane[c].assign(bytes, 0);
  }
  return 0;
}

void jpeg_rows_quant(jpeg_state* st) {
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 64; ++i) st->rows.quant[t][kJpegZigzag[i]] = float(st->quant[t][i]);
}

void jpeg_block_to_row(jpeg_state* st, int c, const int32_t* coef, int bx, int by) {
  jpeg_rows& r = st->rows;
  if (c < 0 || c >= 3 || bx < 0 || by < 0 || (int64_t(bx) + 1) * 8 > r.stride[c] ||
      (by + 1) * 8 > r.lines[c] || r.plane[c].empty())
    return;
  const jpeg_component& k = st->frame.comp[c];
  jpeg_idct_natural(coef, r.quant[k.tq & 3],
                    r.plane[c].data() + int64_t(by) * 8 * r.stride[c] + int64_t(bx) * 8,
                    r.stride[c]);
}

void jpeg_row_unit(jpeg_state* st, int top, int height, int x0, int x1) {
  jpeg_rows& r = st->rows;
  const int width = st->frame.width;
  if (r.top != top || x0 != r.upto) {
    jpeg_flush_row(st);
    r.top = top;
    r.height = height;
    r.from = r.upto = x0;
  }
  r.upto = std::min(x1, width);
  if (r.upto >= width) {
    jpeg_flush_row(st);
    r.top = -1;
  }
}

void jpeg_flush_row(jpeg_state* st) {
  jpeg_rows& r = st->rows;
  const jpeg_frame& f = st->frame;
  if (r.top < 0 || r.upto <= r.from) return;
  const int planes = std::min(f.count, 3);
  int sx[3] = {}, sy[3] = {};
  for (int c = 0; c < planes; ++c) {
    component_shifts(f, c, &sx[c], &sy[c]);
    if (r.plane[c].empty()) return;
  }
  const bool ycc = planes == 3 && colour_of(st) == colour::ycc;
  // Full-resolution luma and both chroma components sampled alike: the per-pixel chroma
  // terms of a chroma line are added to each luma line it serves, 16 pixels a step.
  const bool shared = ycc && sx[0] == 0 && sy[0] == 0 && sx[1] == sx[2] && sy[1] == sy[2];
  int16_t* terms[3] = {};
  if (shared) {
    r.terms.resize(3 * (size_t(r.stride[0]) + kTermsPad));
    for (int p = 0; p < 3; ++p) terms[p] = r.terms.data() + p * (size_t(r.stride[0]) + kTermsPad);
  }
  int terms_line = -1;
  const int h = std::min(r.height, f.height - r.top);
  for (int y = 0; y < h; ++y) {
    uint8_t* line[3];
    image_lines(st, r.top + y, planes, r.from, line);
    const uint8_t* in[3] = {};
    for (int p = 0; p < planes; ++p) {
      const int py = std::min(y >> sy[p], r.lines[p] - 1);
      in[p] = r.plane[p].data() + int64_t(py) * r.stride[p] + (r.from >> sx[p]);
    }
    const int w = r.upto - r.from;
    if (shared && line[0] && line[1] && line[2]) {
      // Chroma lines serve 1 << sy luma lines: their terms are made once for all.
      const int cy = std::min(y >> sy[1], r.lines[1] - 1);
      if (cy != terms_line) {
        if (sx[1] == 0)
          chroma_terms<0>(in[1], in[2], w, terms[0], terms[1], terms[2]);
        else if (sx[1] == 1)
          chroma_terms<1>(in[1], in[2], w, terms[0], terms[1], terms[2]);
        else
          chroma_terms<2>(in[1], in[2], w, terms[0], terms[1], terms[2]);
        terms_line = cy;
      }
      for (int p = 0; p < 3; ++p) add_terms(in[0], terms[p], w, line[p]);
      continue;
    }
    fast_line(in, sx, planes, ycc, w, line);
  }
  r.from = r.upto;
}

void jpeg_idct(const float in[64], float out[64], float level_shift) {
  float rows[64];
  for (int r = 0; r < 8; ++r) idct_1d(in + 8 * r, 1, rows + 8 * r, 1, 0.0f);
  for (int c = 0; c < 8; ++c) idct_1d(rows + c, 8, out + c, 8, level_shift);
}

void jpeg_block_to_mcu(jpeg_state* st, int c, const int32_t* coef, int bx, int by, int last) {
  const jpeg_frame& f = st->frame;
  const jpeg_component& k = f.comp[c];
  const uint16_t* q = st->quant[k.tq & 3];
  if (jpeg_fast_output(st)) {
    const int stride = 8 * f.hmax;
    if (c < 0 || c >= 3 || bx < 0 || by < 0 || (bx + 1) * 8 > stride || (by + 1) * 8 > 8 * f.vmax)
      return;
    jpeg_idct_block(coef, q, st->planes8[c] + by * 8 * stride + bx * 8, stride, last);
    return;
  }
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
  if (jpeg_fast_output(st)) return write_mcu_fast(st, x0, y0, w, h);
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
  if (f.fast) {
    if (jpeg_rows_ready(st)) return;
    jpeg_rows_quant(st);
    for (int64_t my = 0; my < int64_t(f.rows_reached.size()); ++my)
      for (int64_t mx = 0; mx < f.mcus_across && f.rows_reached[size_t(my)]; ++mx) {
        for (int c = 0; c < std::min(f.count, 3); ++c) {
          const jpeg_component& k = f.comp[c];
          if (k.coefficients.empty()) continue;
          for (int by = 0; by < k.v; ++by)
            for (int bx = 0; bx < k.h; ++bx) {
              const int16_t* block = k.coefficients.data() +
                                     ((my * k.v + by) * k.blocks_across + mx * k.h + bx) * 64;
              for (int i = 0; i < 64; ++i) coef[kJpegZigzag[i]] = block[i];
              jpeg_block_to_row(st, c, coef, int(mx * k.h + bx), by);
            }
        }
        const int x0 = int(mx * 8 * f.hmax);
        jpeg_row_unit(st, int(my * 8 * f.vmax), 8 * f.vmax, x0, x0 + 8 * f.hmax);
      }
    jpeg_flush_row(st);
    return;
  }
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
