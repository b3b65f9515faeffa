// The JPEG reader's fast inverse DCT against the exact floating-point one: seeded random
// blocks agree within 1 per sample, flat blocks exactly, and values far beyond any valid
// file's range give held samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "raster/jpeg_state.h"

namespace {

// The exact transform's samples of a zig-zag block, rounded and held to 0..255.
void exact_samples(const int32_t coef[64], const uint16_t q[64], uint8_t out[64]) {
  float in[64] = {};
  for (int i = 0; i < 64; ++i) in[kJpegZigzag[i]] = float(coef[i]) * float(q[i]);
  float f[64];
  jpeg_idct(in, f, 128.0f);
  for (int i = 0; i < 64; ++i) out[i] = uint8_t(std::clamp(std::lround(f[i]), 0L, 255L));
}

int worst_difference(const int32_t coef[64], const uint16_t q[64]) {
  uint8_t want[64], got[8 * 24];
  exact_samples(coef, q, want);
  jpeg_idct_block(coef, q, got, 24);  // a wider stride: only the block's 8 columns written
  int worst = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) worst = std::max(worst, std::abs(got[y * 24 + x] - want[y * 8 + x]));
  return worst;
}

TEST(JpegFastTransform, RandomBlocksWithinOne) {
  uint32_t seed = 20261210;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (int n = 0; n < 3000; ++n) {
    int32_t coef[64] = {};
    uint16_t q[64];
    // Sparse blocks as photos have (a few low frequencies), then dense ones.
    const int last = n < 1500 ? 1 + int(next() % 20) : 64;
    for (int i = 0; i < 64; ++i) q[i] = uint16_t(1 + next() % (n % 3 == 0 ? 4 : 40));
    coef[0] = (int32_t(next() % 2001) - 1000) / q[0];  // within a valid file's range
    for (int i = 1; i < last; ++i)
      if (next() % 3 == 0) coef[i] = (int32_t(next() % 121) - 60) * 8 / q[i];
    EXPECT_LE(worst_difference(coef, q), 1) << "block " << n;
  }
}

// A DC-only block is flat: 128 + DC / 8, rounded half up, held to 0..255.
TEST(JpegFastTransform, FlatBlocksExact) {
  uint16_t q[64];
  std::fill(q, q + 64, uint16_t(1));
  for (int dc = -1100; dc <= 1100; ++dc) {
    int32_t coef[64] = {dc};
    uint8_t got[64];
    jpeg_idct_block(coef, q, got, 8);
    const int want = std::clamp(int(std::floor(128 + dc / 8.0 + 0.5)), 0, 255);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(got[i], want) << "DC " << dc << " sample " << i;
  }
}

// Values no valid file holds (a damaged stream's predictor) give held samples.
TEST(JpegFastTransform, HugeValuesHeld) {
  uint16_t q[64];
  std::fill(q, q + 64, uint16_t(255));
  const int32_t extremes[] = {INT32_MAX, INT32_MIN, 1 << 20, -(1 << 20)};
  for (int32_t v : extremes) {
    int32_t coef[64];
    std::fill(coef, coef + 64, v);
    uint8_t got[64];
    jpeg_idct_block(coef, q, got, 8);
    int32_t dc_only[64] = {v};
    jpeg_idct_block(dc_only, q, got, 8);
    EXPECT_EQ(got[0], v > 0 ? 255 : 0) << v;
  }
}

}  // namespace
