// Byte cursors: values in both byte orders, IEEE values, reads and writes at the end
// of their buffer (refused whole, the cursor kept, the failure flag raised), and the
// hexadecimal helpers.
//
// Buffers are heap blocks of their exact size, so that AddressSanitizer reports any
// access past their end.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/byte_cursor.h"

namespace {

std::unique_ptr<uint8_t[]> exact_bytes(const std::vector<uint8_t>& bytes) {
  auto block = std::make_unique<uint8_t[]>(bytes.size());
  if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
  return block;
}

std::unique_ptr<char[]> exact_copy(const char* text) {
  const size_t n = std::strlen(text) + 1;
  auto copy = std::make_unique<char[]>(n);
  std::memcpy(copy.get(), text, n);
  return copy;
}

TEST(ByteCursor, ReadsInBothByteOrders) {
  auto data = exact_bytes({0x12, 0x34, 0x56, 0x78});
  const struct {
    uint32_t (*read)(byte_reader*);
    uint32_t expected;
    size_t advance;
  } cases[] = {
      {[](byte_reader* c) -> uint32_t { return get_be16(c); }, 0x1234, 2},
      {[](byte_reader* c) -> uint32_t { return get_le16(c); }, 0x3412, 2},
      {[](byte_reader* c) -> uint32_t { return get_be32(c); }, 0x12345678, 4},
      {[](byte_reader* c) -> uint32_t { return get_le32(c); }, 0x78563412, 4},
  };
  for (const auto& c : cases) {
    byte_reader r = make_byte_reader(data.get(), 4);
    EXPECT_EQ(c.read(&r), c.expected);
    EXPECT_EQ(r.pos, data.get() + c.advance);
    EXPECT_FALSE(r.failed);
  }
}

TEST(ByteCursor, ReadsLittleEndianIeeeValuesAtAnyAddress) {
  // 1.25 as a double and as a float, behind one byte so that neither is aligned.
  auto data = exact_bytes({0xAA, 0, 0, 0, 0, 0, 0, 0xF4, 0x3F, 0, 0, 0xA0, 0xBF});
  byte_reader r = make_byte_reader(data.get() + 1, 12);
  EXPECT_EQ(get_f64(&r), 1.25);
  EXPECT_EQ(get_f32(&r), -1.25f);
  EXPECT_EQ(bytes_left(&r), 0u);
  EXPECT_FALSE(r.failed);
}

TEST(ByteCursor, ReadPastTheEndIsRefusedWhole) {
  const struct {
    size_t size;
    int width;  // bytes of the read tried at the end
  } cases[] = {{0, 2}, {1, 2}, {3, 4}, {0, 8}, {7, 8}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(c.size, 0x5A);
    auto data = exact_bytes(bytes);
    byte_reader r = make_byte_reader(data.get(), c.size);
    double value = 1;
    switch (c.width) {
      case 2: value = get_be16(&r) + get_le16(&r); break;
      case 4: value = get_be32(&r) + get_le32(&r) + get_f32(&r); break;
      case 8: value = get_f64(&r); break;
    }
    EXPECT_EQ(value, 0) << c.size;
    EXPECT_TRUE(r.failed) << c.size;
    EXPECT_EQ(r.pos, data.get()) << c.size;  // nothing was taken
  }
}

TEST(ByteCursor, FailureStaysRaisedForLaterReads) {
  auto data = exact_bytes({0x01, 0x02, 0x03});
  byte_reader r = make_byte_reader(data.get(), 3);
  EXPECT_EQ(get_be16(&r), 0x0102);
  EXPECT_EQ(get_be16(&r), 0);  // one byte left
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(bytes_left(&r), 1u);
  byte_reader empty{};  // no buffer at all
  EXPECT_EQ(get_le32(&empty), 0u);
  EXPECT_TRUE(empty.failed);
}

TEST(ByteCursor, WritesInBothByteOrdersAndStopsAtTheEnd) {
  auto data = exact_bytes(std::vector<uint8_t>(8, 0xEE));
  byte_writer w = make_byte_writer(data.get(), 8);
  put_be16(&w, 0x1234);
  put_le16(&w, 0x1234);
  put_le32(&w, 0xA1B2C3D4);
  EXPECT_FALSE(w.failed);
  EXPECT_EQ(bytes_left(&w), 0u);
  const uint8_t expected[] = {0x12, 0x34, 0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1};
  EXPECT_EQ(std::memcmp(data.get(), expected, 8), 0);

  // A value that does not fit is not written at all.
  const struct {
    size_t size;
    void (*write)(byte_writer*);
  } cases[] = {
      {1, [](byte_writer* c) { put_be16(c, 0xFFFF); }},
      {1, [](byte_writer* c) { put_le16(c, 0xFFFF); }},
      {3, [](byte_writer* c) { put_le32(c, 0xFFFFFFFF); }},
      {0, [](byte_writer* c) { put_le16(c, 0xFFFF); }},
  };
  for (const auto& c : cases) {
    auto room = exact_bytes(std::vector<uint8_t>(c.size, 0));
    byte_writer small = make_byte_writer(room.get(), c.size);
    c.write(&small);
    EXPECT_TRUE(small.failed) << c.size;
    EXPECT_EQ(small.pos, room.get()) << c.size;
    for (size_t i = 0; i < c.size; ++i) EXPECT_EQ(room[i], 0) << c.size;
  }
}

TEST(ByteCursorHex, HexToBytesStoresTheLeastSignificantByteFirst) {
  const struct {
    const char* text;
    size_t n;
    std::vector<uint8_t> expected;
  } cases[] = {
      {"1A2", 4, {0xA2, 0x01, 0x00, 0x00}},
      {"", 2, {0x00, 0x00}},
      {"ff", 1, {0xFF}},
      {"abCD", 2, {0xCD, 0xAB}},
      {"12345678", 2, {0x34, 0x12}},  // 2n digits or more: the first 2n count
      {"1g", 1, {0x10}},              // not a digit: 0
      {"0123456789abcdef", 8, {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    auto out = exact_bytes(std::vector<uint8_t>(c.n, 0x77));
    hex_to_bytes(text.get(), c.n, out.get());
    EXPECT_EQ(std::vector<uint8_t>(out.get(), out.get() + c.n), c.expected) << c.text;
  }
  uint8_t zeros[3] = {9, 9, 9};
  hex_to_bytes(nullptr, 3, zeros);
  EXPECT_EQ(zeros[0] | zeros[1] | zeros[2], 0);
}

TEST(ByteCursorHex, GetHexByteReadsTwoDigitsAndNeverPassesTheNul) {
  const struct {
    const char* text;
    uint8_t expected;
    int valid;
    ptrdiff_t cursor_after;
  } cases[] = {
      {"A5x", 0xA5, 1, 2}, {"0f", 0x0F, 1, 2}, {"a", 0xA0, 0, 1},
      {"", 0x00, 0, 0},    {"zz", 0x00, 0, 2}, {"z1", 0x01, 0, 2},
  };
  for (const auto& c : cases) {
    auto text = exact_copy(c.text);
    const char* cursor = text.get();
    uint8_t out = 0x55;
    EXPECT_EQ(get_hex_byte(&cursor, &out), c.valid) << c.text;
    EXPECT_EQ(out, c.expected) << c.text;
    EXPECT_EQ(cursor - text.get(), c.cursor_after) << c.text;
  }
}

}  // namespace
