// gzip files: headers with every optional field, several members one after another,
// the probe with an output limit and the decoding again after it, the trailer checks,
// and the refusal of damaged or unknown files (type 125, the error cleared).
#include "core/checksum.h"
#include "tests/core/inflate_fixture.h"

namespace tm_test {
namespace {

class GzipFile : public InflateFixture {};

std::string input(const char* kind) { return read_deflate_fixture(std::string("input_") + kind + ".bin"); }

struct gz_case {
  const char* file;
  std::string expected;
  int64_t data_offset;
};

TEST_F(GzipFile, DecodesEveryMember) {
  const std::string text = input("text"), image = input("image");
  // The offset of the first member's data: 10 header bytes, then for all_flags.gz
  // 2 + 6 extra bytes, "notes.txt\0", "made for the decoder tests\0" and 2 CRC bytes.
  const gz_case cases[] = {
      {"all_flags.gz", text, 10 + 8 + 10 + 27 + 2},
      {"members.gz", text.substr(0, 2000) + image + text.substr(2000), 10},
      {"trailing.gz", text, 10},
      {"gzip_tool.gz", text, 10},
  };
  for (const gz_case& c : cases) {
    SCOPED_TRACE(c.file);
    obj_t* f = fixture_file(c.file);
    EXPECT_EQ(gzip_open_member(f, 0), 0);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_TRUE(store_bytes(file_store_of(f)) == c.expected);
    EXPECT_EQ(file_get(f, FF_SIZE), int64_t(c.expected.size()));
    EXPECT_EQ(file_get(f, FF_CONTENT_STATE), 2);
    EXPECT_EQ(file_get(f, FF_DATA_OFFSET), c.data_offset);
    EXPECT_EQ(file_get(f, FF_TYPE), 7);
  }
}

// A member whose data refers back to bytes of the member before it: each member is a
// stream of its own, whose back-references reach only its own output.
std::string member_reaching_back() {
  bit_writer w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed_symbol(257);  // length 3
  w.fixed_distance(0);  // distance 1
  w.fixed_symbol(256);
  return std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10) + w.data() + std::string(8, '\0');
}

TEST_F(GzipFile, RefusesDamagedFiles) {
  const std::string good = read_deflate_fixture("trailing.gz").substr(0, 1485);
  const struct {
    const char* name;
    std::string bytes;
    int code;
  } cases[] = {
      {"flag bit 5", read_deflate_fixture("unknown_flag.gz"), 3},
      {"CRC-32 of the data", read_deflate_fixture("bad_crc.gz"), 14},
      {"size of the data", read_deflate_fixture("bad_size.gz"), 14},
      {"CRC-32 of the second member", read_deflate_fixture("bad_second_member.gz"), 14},
      {"shorter than a header", good.substr(0, 9), 14},
      {"name running to the end", std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03name", 14), 14},
      {"extra field past the end", std::string("\x1f\x8b\x08\x04\0\0\0\0\0\x03\x20\0ab", 14), 14},
      {"data cut short", good.substr(0, 700), 2},
      {"trailer cut short", good.substr(0, good.size() - 3), 2},
      {"second member reaching into the first", good + member_reaching_back(), 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    obj_t* f = disk_file(c.bytes, "damaged.gz");
    EXPECT_EQ(gzip_open_member(f, 0), c.code);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(file_get(f, FF_TYPE), 125);
    EXPECT_EQ(file_get(f, FF_SIZE), 0);
    EXPECT_EQ(file_store_of(f), nullptr);
  }
}

// blocks.gz ends a block every 3000 bytes: a probe of 4096 bytes decodes up to the
// end of the first block past it.
TEST_F(GzipFile, ProbeStopsAfterTheFirstBlockPastTheLimit) {
  const std::string far = input("far");
  const struct {
    int64_t limit;
    size_t expected;
    int state;
  } cases[] = {{4096, 6000, 1}, {100, 3000, 1}, {6000, 9000, 1}, {0, 12000, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limit);
    obj_t* f = fixture_file("blocks.gz");
    EXPECT_EQ(gzip_open_member(f, c.limit), 0);
    EXPECT_TRUE(store_bytes(file_store_of(f)) == far.substr(0, c.expected));
    EXPECT_EQ(file_get(f, FF_SIZE), int64_t(c.expected));
    EXPECT_EQ(file_get(f, FF_CONTENT_STATE), c.state);
  }
}

// A gzip file of stored blocks of 3000 bytes: its compressed size exceeds what a probe
// decodes.
std::string stored_blocks_gzip(const std::string& data) {
  bit_writer w;
  for (size_t at = 0; at < data.size(); at += 3000)
    stored_block(w, data.substr(at, 3000), at + 3000 >= data.size());
  std::string gz("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
  gz += w.data();
  const uint32_t crc = crc32_update(kCrc32Init, data.data(), data.size());
  const uint32_t size = uint32_t(data.size());
  for (uint32_t v : {crc, size})
    for (int k = 0; k < 4; ++k) gz.push_back(char(v >> (8 * k)));
  return gz;
}

// After a probe the file's size is the decoded size; decoding it again, whole or
// probed, still reads every compressed byte.
TEST_F(GzipFile, DecodesWholeAfterAProbe) {
  std::string data(12000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char((i * 7919 + i / 13) % 256);
  const std::string gz = stored_blocks_gzip(data);
  ASSERT_GT(gz.size(), size_t(6000));
  obj_t* f = disk_file(gz, "stored.gz");
  const struct {
    int64_t limit;
    size_t expected;
    int state;
  } steps[] = {{4096, 6000, 1}, {0, 12000, 2}, {4096, 6000, 1}, {0, 12000, 2}, {0, 12000, 2}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.limit);
    EXPECT_EQ(gzip_open_member(f, step.limit), 0);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_TRUE(store_bytes(file_store_of(f)) == data.substr(0, step.expected));
    EXPECT_EQ(file_get(f, FF_SIZE), int64_t(step.expected));
    EXPECT_EQ(file_get(f, FF_CONTENT_STATE), step.state);
    EXPECT_EQ(file_get(f, FF_SOURCE_SIZE), int64_t(gz.size()));
    EXPECT_EQ(file_get(f, FF_TYPE), 7);
  }
}

// The reader opens a gzip file object (format 52) as its decoded content.
TEST_F(GzipFile, FileIsReadDecoded) {
  obj_t* f = fixture_file("members.gz");
  file_set(f, FF_FORMAT, 52);
  ASSERT_EQ(rd_open(f, 0, 1), 0);
  const std::string text = input("text"), image = input("image");
  const std::string expected = text.substr(0, 2000) + image + text.substr(2000);
  EXPECT_EQ(rd_size(), int64_t(expected.size()));
  std::string got(expected.size(), '\0');
  EXPECT_EQ(rd_read_bytes(got.data(), int64_t(got.size())), int64_t(got.size()));
  EXPECT_TRUE(got == expected);
  EXPECT_EQ(get_gblerr(), 0);
}

}  // namespace
}  // namespace tm_test
