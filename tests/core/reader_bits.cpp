// Bit reading: the three bit orders against a reference over a file read through
// small buffers, JPEG byte stuffing and markers (also where the look-ahead crosses
// the buffer's end), skipped bytes, and the end of data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/reader_fixture.h"

using tm_test::bytes_of;
using tm_test::pattern_bytes;

namespace {

class ReaderBits : public tm_test::ReaderFixture {};

// Bit i of the bytes, most or least significant first within each byte.
int reference_bit(const std::string& bytes, int64_t i, bool msb) {
  const int byte = uint8_t(bytes[i / 8]);
  return (byte >> (msb ? 7 - i % 8 : i % 8)) & 1;
}

enum class order { msb, lsb, code_lsb, stuffed };

uint32_t reference_field(const std::string& bytes, int64_t first, int n, order o) {
  uint32_t v = 0;
  for (int k = 0; k < n; ++k) {
    const int bit = reference_bit(bytes, first + k, o != order::lsb && o != order::code_lsb);
    v = o == order::lsb ? v | uint32_t(bit) << k : v << 1 | uint32_t(bit);
  }
  return v;
}

uint32_t read_field(int n, order o) {
  switch (o) {
    case order::msb: return rd_read_bits_msb(n);
    case order::lsb: return rd_read_bits_lsb(n);
    case order::code_lsb: return rd_read_code_lsb(n);
    case order::stuffed: return rd_read_bits(n);
  }
  return 0;
}

TEST_F(ReaderBits, FieldsOfEveryOrderAcrossBufferBoundaries) {
  // 3000 bytes without 0xFF, read through 1024-byte buffers in fields of odd widths.
  const std::string bytes = pattern_bytes(3000);
  obj_t* f = disk_file(bytes);
  const int widths[] = {1, 3, 5, 7, 12, 13, 17, 32};
  for (order o : {order::msb, order::lsb, order::code_lsb, order::stuffed}) {
    SCOPED_TRACE(int(o));
    ASSERT_EQ(rd_open(f, 1024, 1), 0);
    int64_t bit = 0;
    for (int k = 0; bit + 32 <= 3000 * 8; ++k) {
      const int n = widths[k % 8];
      ASSERT_EQ(read_field(n, o), reference_field(bytes, bit, n, o)) << "at bit " << bit;
      bit += n;
    }
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(ReaderBits, BytesAfterBitsStartAtTheNextWholeByte) {
  const std::string bytes = bytes_of({0xE5, 0x42, 0x81, 0x0F});
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  EXPECT_EQ(rd_read_bits_msb(3), 7u);  // 111 of 0xE5
  EXPECT_EQ(rd_bit_mask(), 16);
  EXPECT_EQ(rd_read_byte(), 0x42);
  EXPECT_EQ(rd_read_bit_lsb(), 1);      // bit 0 of 0x81
  EXPECT_EQ(rd_read_u16(), 0);          // only one whole byte is left
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  rd_seek(0, 0);
  EXPECT_EQ(rd_read_bits_msb(8), 0xE5u);  // a whole byte when aligned
  rd_read_bit_msb();
  EXPECT_EQ(rd_read_bits_msb(8), 0x85u);  // 1000010 of 0x42, then 1 of 0x81
}

TEST_F(ReaderBits, StuffingAndMarkers) {
  const struct {
    const char* what;
    std::string bytes;
    int bits_before;       // read with rd_read_bits first
    uint32_t value_before;
    int next_bit;          // the rd_read_bit that follows
    int64_t position;      // after it
  } cases[] = {
      {"marker after the byte", bytes_of({0xAB, 0xFF, 0xD9}), 7, 0x55, 2, 0},
      {"stuffed zero after 0xFF", bytes_of({0xAB, 0xFF, 0x00, 0x80}), 7, 0x55, 1, 1},
      {"0xFF itself then its zero", bytes_of({0xFF, 0x00, 0x80}), 7, 0x7F, 1, 2},
      {"0xFF as the last byte", bytes_of({0x12, 0xFF}), 15, 0x97F, 1, 2},
      // The byte after a stuffed 0xFF is the one after its zero: a marker there is seen.
      {"marker after a stuffed 0xFF", bytes_of({0xFF, 0x00, 0xFF, 0xD9}), 7, 0x7F, 2, 0},
      {"stuffed 0xFF twice", bytes_of({0xFF, 0x00, 0xFF, 0x00, 0x80}), 15, 0x7FFF, 1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(rd_open(disk_file(c.bytes), 1024, 1), 0);
    EXPECT_EQ(rd_read_bits(c.bits_before), c.value_before);
    EXPECT_EQ(rd_read_bit(), c.next_bit);
    EXPECT_EQ(rd_tell(), c.position);
    EXPECT_EQ(get_gblerr(), 0);
  }
  // 0xFF 0x00 0x12: sixteen bits give 0xFF12.
  ASSERT_EQ(rd_open(disk_file(bytes_of({0xFF, 0x00, 0x12})), 1024, 1), 0);
  EXPECT_EQ(rd_read_bits(16), 0xFF12u);
  EXPECT_EQ(rd_at_end(), 1);
  // At a marker nothing moves: the same answer again, and a field's missing bits are 0.
  ASSERT_EQ(rd_open(disk_file(bytes_of({0xAB, 0xFF, 0xD9})), 1024, 1), 0);
  EXPECT_EQ(rd_read_bits(12), 0x55u << 5);
  EXPECT_EQ(rd_read_bit(), 2);
  EXPECT_EQ(rd_bit_mask(), 1);
  EXPECT_EQ(rd_tell(), 0);
}

TEST_F(ReaderBits, StuffingLookAheadCrossesTheBufferEnd) {
  // Each case places its bytes so that the look-ahead or the skipped zero lies in the
  // next 1024-byte buffer.
  const struct {
    const char* what;
    int64_t at;
    std::vector<int> bytes;
    int bits;
    uint32_t value;  // rd_read_bits(bits) from `at`, or the marker answer 2
    int64_t position;
  } cases[] = {
      {"marker in the next buffer", 1022, {0xAB, 0xFF, 0xD9}, 8, 2, 1022},
      {"0xFF ends a buffer, its zero begins the next", 1023, {0xFF, 0x00, 0x12}, 16, 0xFF12, 1026},
      {"zero ends a buffer", 1022, {0xFF, 0x00, 0x34}, 16, 0xFF34, 1025},
      {"0xFF ends a buffer, a marker begins the next", 1022, {0x81, 0xFF, 0xD0}, 8, 2, 1022},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes(2048, '\x11');
    for (size_t i = 0; i < c.bytes.size(); ++i) bytes[c.at + i] = char(c.bytes[i]);
    ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
    rd_seek(c.at, 0);
    uint32_t v;
    if (c.value == 2) {
      rd_read_bits(c.bits - 1);
      v = uint32_t(rd_read_bit());
    } else {
      v = rd_read_bits(c.bits);
    }
    EXPECT_EQ(v, c.value);
    EXPECT_EQ(rd_tell(), c.position);
    EXPECT_EQ(rd_read_byte(), c.value == 2 ? 0xFF : 0x11);  // the next whole byte
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(ReaderBits, SkippedBytesArePassedOver) {
  // Bytes 1 and 3 are block-length bytes to be passed over.
  const std::string bytes = bytes_of({0x01, 0xAA, 0x02, 0xBB, 0x03, 0x04});
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  EXPECT_EQ(rd_read_bits_lsb_skip(4, 1, 3), 0x1u);
  EXPECT_EQ(rd_read_bits_lsb_skip(12, 1, 3), 0x020u);  // rest of 0x01, then 0x02
  EXPECT_EQ(rd_read_bits_lsb_skip(8, 1, 3), 0x03u);
  EXPECT_EQ(rd_tell(), 5);
  // Two skipped bytes in a row.
  rd_seek(0, 0);
  EXPECT_EQ(rd_read_bits_lsb_skip(16, 1, 2), 0xBB01u);
}

TEST_F(ReaderBits, EveryBitReaderStopsAtTheEnd) {
  const struct {
    const char* what;
    uint32_t (*read)();
  } cases[] = {
      {"bit", [] { return uint32_t(rd_read_bit()); }},
      {"bits", [] { return rd_read_bits(12); }},
      {"bit msb", [] { return uint32_t(rd_read_bit_msb()); }},
      {"bits msb", [] { return rd_read_bits_msb(12); }},
      {"bit lsb", [] { return uint32_t(rd_read_bit_lsb()); }},
      {"bits lsb", [] { return rd_read_bits_lsb(12); }},
      {"code lsb", [] { return rd_read_code_lsb(12); }},
      {"bits lsb skip", [] { return rd_read_bits_lsb_skip(12, 100, 100); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // One byte 0xFF is left: the single bits have one to give, the fields run out.
    ASSERT_EQ(rd_open(disk_file(bytes_of({0x00, 0xFF})), 1024, 1), 0);
    rd_seek(1, 0);
    if (std::string(c.what).find("bits") == std::string::npos &&
        std::string(c.what) != "code lsb") {
      EXPECT_EQ(c.read(), 1u);
      rd_seek(0, 2);
    }
    EXPECT_EQ(c.read(), 0u);
    EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
    set_gblerr(0);
  }
}

}  // namespace
