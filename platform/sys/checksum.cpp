// CRC-32 and Adler-32 (see checksum.h).
//
// The CRC runs eight bytes per step over eight tables (each table advances the
// remainder by one more byte of zeros), which keeps the check well below the cost of
// decoding. Adler-32 sums in blocks short enough that no sum can overflow before it is
// reduced, sixteen bytes at a time with the SSE2 instructions every x86-64 processor
// has (a plain loop elsewhere).
#include "platform/sys/checksum.h"

#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat {

namespace {

using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_crc_tables() {
  crc_tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr crc_tables kCrc = make_crc_tables();

uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Largest n such that 255 n (n + 1) / 2 + (n + 1) (65521 - 1) stays below 2^32.
constexpr size_t kAdlerBlock = 5552;
constexpr uint32_t kAdlerBase = 65521;

}  // namespace

uint32_t crc32_update(uint32_t crc, const void* bytes, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint32_t c = ~crc;
  for (; n >= 8; n -= 8, p += 8) {
    const uint32_t lo = load_le32(p) ^ c;
    const uint32_t hi = load_le32(p + 4);
    c = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
        kCrc[4][lo >> 24] ^ kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^
        kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
  }
  for (; n > 0; --n, ++p) c = (c >> 8) ^ kCrc[0][(c ^ *p) & 0xFF];
  return ~c;
}

namespace {

// One block of at most kAdlerBlock bytes, the sums already reduced before it.
//
// Over a block of n bytes b[0..n-1], the second sum grows by n times the first sum
// plus sum((n - p) b[p]). With the block cut into 16-byte chunks, (n - p) is 16 per
// chunk still to come plus (16 - j) for the byte's place j in its chunk: the first
// term is 16 times the sum of the first sums seen before each chunk, the second a
// multiply-add of the chunk by the weights 16..1.
#if defined(__SSE2__)
void adler_block(const uint8_t* p, size_t n, uint32_t* a, uint32_t* b) {
  const size_t chunks = n / 16;
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights_low = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weights_high = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  __m128i sum = zero, before = zero, weighted = zero;
  for (size_t k = 0; k < chunks; ++k, p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    before = _mm_add_epi32(before, sum);
    sum = _mm_add_epi32(sum, _mm_sad_epu8(x, zero));
    weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), weights_low));
    weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), weights_high));
  }
  auto total = [](__m128i v) {
    uint32_t lanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), v);
    return uint64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
  };
  const uint64_t bytes = chunks * 16;
  uint64_t b64 = *b + uint64_t(*a) * bytes + 16 * total(before) + total(weighted);
  uint64_t a64 = *a + total(sum);
  for (size_t rest = n - bytes; rest > 0; --rest, ++p) {
    a64 += *p;
    b64 += a64;
  }
  *a = uint32_t(a64 % kAdlerBase);
  *b = uint32_t(b64 % kAdlerBase);
}
#else
void adler_block(const uint8_t* p, size_t n, uint32_t* a, uint32_t* b) {
  uint32_t s1 = *a, s2 = *b;
  for (; n >= 8; n -= 8, p += 8) {
    s1 += p[0]; s2 += s1; s1 += p[1]; s2 += s1; s1 += p[2]; s2 += s1; s1 += p[3]; s2 += s1;
    s1 += p[4]; s2 += s1; s1 += p[5]; s2 += s1; s1 += p[6]; s2 += s1; s1 += p[7]; s2 += s1;
  }
  for (; n > 0; --n, ++p) {
    s1 += *p;
    s2 += s1;
  }
  *a = s1 % kAdlerBase;
  *b = s2 % kAdlerBase;
}
#endif

}  // namespace

uint32_t adler32_update(uint32_t adler, const void* bytes, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint32_t a = adler & 0xFFFF;
  uint32_t b = adler >> 16;
  while (n > 0) {
    const size_t block = n < kAdlerBlock ? n : kAdlerBlock;
    adler_block(p, block, &a, &b);
    p += block;
    n -= block;
  }
  return b << 16 | a;
}

}  // namespace plat
