// CRC-32 and Adler-32: the published check values, and the same result whatever the
// pieces the bytes are fed in.
#include <gtest/gtest.h>

#include <string>

#include "core/checksum.h"

namespace {

// The sums computed the slow way, one byte and one reduction at a time.
uint32_t adler_by_definition(const std::string& s) {
  uint64_t a = 1, b = 0;
  for (unsigned char c : s) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  return uint32_t(b << 16 | a);
}

std::string long_input() {
  std::string s(100000, '\xff');  // the largest bytes: the sums grow fastest
  for (size_t i = 0; i < s.size(); i += 7) s[i] = char(i * 31);
  return s;
}

TEST(inflate_checksum, MatchesPublishedValues) {
  const struct {
    std::string text;
    uint32_t crc, adler;
  } cases[] = {
      {"", 0x00000000u, 0x00000001u},
      {"123456789", 0xCBF43926u, 0x091E01DEu},
      {"Wikipedia", 0xADAAC02Eu, 0x11E60398u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u, 0x5BDC0FDAu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(crc32_update(kCrc32Init, c.text.data(), c.text.size()), c.crc);
    EXPECT_EQ(adler32_update(kAdler32Init, c.text.data(), c.text.size()), c.adler);
  }
}

TEST(inflate_checksum, GivesTheSameValueInPieces) {
  const std::string s = long_input();
  const uint32_t crc = crc32_update(kCrc32Init, s.data(), s.size());
  const uint32_t adler = adler32_update(kAdler32Init, s.data(), s.size());
  EXPECT_EQ(adler, adler_by_definition(s));
  for (size_t piece : {1u, 7u, 8u, 5551u, 5552u, 5553u, 65536u}) {
    SCOPED_TRACE(piece);
    uint32_t c = kCrc32Init, a = kAdler32Init;
    for (size_t i = 0; i < s.size(); i += piece) {
      const size_t n = std::min(piece, s.size() - i);
      c = crc32_update(c, s.data() + i, n);
      a = adler32_update(a, s.data() + i, n);
    }
    EXPECT_EQ(c, crc);
    EXPECT_EQ(a, adler);
  }
}

}  // namespace
