// CRC-32 and Adler-32: the published check values, the slow definitions on inputs long
// enough for every fast path, and the same result whatever the pieces the bytes are fed
// in (the core's names forward to these).
#include <gtest/gtest.h>

#include <string>

#include "core/checksum.h"
#include "platform/sys/checksum.h"

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

// The CRC one bit at a time.
uint32_t crc_by_definition(const std::string& s) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char byte : s) {
    c ^= byte;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

std::string long_input() {
  std::string s(100000, '\xff');  // the largest bytes: the sums grow fastest
  for (size_t i = 0; i < s.size(); i += 7) s[i] = char(i * 31);
  return s;
}

TEST(SysChecksum, MatchesPublishedValues) {
  const struct {
    std::string text;
    uint32_t crc, adler;
  } cases[] = {
      {"", 0x00000000u, 0x00000001u},
      {"a", 0xE8B7BE43u, 0x00620062u},
      {"123456789", 0xCBF43926u, 0x091E01DEu},
      {"Wikipedia", 0xADAAC02Eu, 0x11E60398u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u, 0x5BDC0FDAu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(plat::crc32_update(plat::kCrc32Init, c.text.data(), c.text.size()), c.crc);
    EXPECT_EQ(plat::adler32_update(plat::kAdler32Init, c.text.data(), c.text.size()), c.adler);
    // The core's names are the same routines.
    EXPECT_EQ(crc32_update(kCrc32Init, c.text.data(), c.text.size()), c.crc);
    EXPECT_EQ(adler32_update(kAdler32Init, c.text.data(), c.text.size()), c.adler);
  }
}

TEST(SysChecksum, FastPathsMatchTheDefinitions) {
  // Lengths around the eight-byte CRC step, the sixteen-byte Adler chunk and the
  // 5552-byte Adler block, so that every tail length is taken.
  const std::string s = long_input();
  for (size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 5551u, 5552u, 5553u, 11104u, 100000u}) {
    SCOPED_TRACE(n);
    const std::string part = s.substr(0, n);
    EXPECT_EQ(plat::crc32_update(plat::kCrc32Init, part.data(), n), crc_by_definition(part));
    EXPECT_EQ(plat::adler32_update(plat::kAdler32Init, part.data(), n), adler_by_definition(part));
  }
}

TEST(SysChecksum, GivesTheSameValueInPieces) {
  const std::string s = long_input();
  const uint32_t crc = plat::crc32_update(plat::kCrc32Init, s.data(), s.size());
  const uint32_t adler = plat::adler32_update(plat::kAdler32Init, s.data(), s.size());
  for (size_t piece : {1u, 3u, 7u, 8u, 5551u, 5552u, 5553u, 65536u}) {
    SCOPED_TRACE(piece);
    uint32_t c = plat::kCrc32Init, a = plat::kAdler32Init;
    for (size_t i = 0; i < s.size(); i += piece) {
      const size_t n = std::min(piece, s.size() - i);
      c = plat::crc32_update(c, s.data() + i, n);
      a = plat::adler32_update(a, s.data() + i, n);
    }
    EXPECT_EQ(c, crc);
    EXPECT_EQ(a, adler);
  }
  // An empty piece changes nothing.
  EXPECT_EQ(plat::crc32_update(crc, s.data(), 0), crc);
  EXPECT_EQ(plat::adler32_update(adler, s.data(), 0), adler);
}

}  // namespace
