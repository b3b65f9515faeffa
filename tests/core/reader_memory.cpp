// The buffered reader on files held in memory in a line store: copied buffers and
// lines read in place, data that crosses line boundaries, reads at any position,
// whole-file buffers, archive members inside a shared store, bit reading across
// lines, content replaced while its file was open, and lines read in place that the
// line store evicts meanwhile.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/config.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "tests/core/reader_fixture.h"

using tm_test::bytes_of;
using tm_test::pattern_bytes;
using tm_test::stub_memory_file;

namespace {

class ReaderMemory : public tm_test::ReaderFixture {};

// Everything a reader sees of the current file: its bytes read one by one, its bytes
// read in blocks of 7, and reads at positions that straddle lines.
void expect_reads(const std::string& bytes) {
  const int64_t n = int64_t(bytes.size());
  rd_seek(0, 0);
  EXPECT_EQ(tm_test::read_rest_by_bytes(), bytes);
  rd_seek(0, 0);
  std::string blocks;
  for (int64_t at = 0; at < n; at += 7) {
    char b[7];
    const int64_t want = std::min<int64_t>(7, n - at);
    ASSERT_EQ(rd_read_bytes(b, want), want);
    blocks.append(b, size_t(want));
  }
  EXPECT_EQ(blocks, bytes);
  rd_seek(3, 0);
  const int64_t span = std::min<int64_t>(20, n);
  for (int64_t at : {int64_t(0), int64_t(13), n / 2, n - span}) {
    if (at + span > n) continue;
    std::string got(size_t(span), '\0');
    EXPECT_EQ(rd_read_at(at, got.data(), span), span) << "at " << at;
    EXPECT_EQ(got, bytes.substr(size_t(at), size_t(span))) << "at " << at;
  }
  EXPECT_EQ(rd_tell(), 3);
  EXPECT_EQ(get_gblerr(), 0);
  char over[8];
  EXPECT_EQ(rd_read_at(n - 4, over, 8), std::min<int64_t>(4, n));
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
}

TEST_F(ReaderMemory, CopiedAndInPlaceAcrossLines) {
  const std::string bytes = pattern_bytes(100);
  const struct {
    const char* what;
    bool in_place;
    int64_t requested;
    int64_t buffer;
  } cases[] = {
      {"copied, lines of 16", false, 4096, 16},
      {"in place, lines of 16", true, 4096, 16},
      {"whole file: one line", false, 0, 100},
      {"whole file in place", true, 0, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    obj_t* f = stub_memory_file(bytes.data(), int64_t(bytes.size()), 16);
    if (c.in_place) rd_use_store_memory();
    ASSERT_EQ(rd_open(f, c.requested, 1), 0);
    EXPECT_EQ(rd_buffer_size(), c.buffer);
    EXPECT_EQ(rd_size(), 100);
    expect_reads(bytes);
    rd_close_file(f);
  }
}

TEST_F(ReaderMemory, MembersInsideASharedStore) {
  // An archive held in memory in lines of 16; its members lie at aligned and unaligned
  // offsets, so a member's buffer may straddle two lines of the archive.
  const std::string bytes = pattern_bytes(300);
  obj_t* archive = stub_memory_file(bytes.data(), int64_t(bytes.size()), 16);
  const struct {
    int64_t start;
    int64_t size;
    bool in_place;
  } cases[] = {
      {5, 150, false}, {5, 150, true}, {32, 100, true}, {40, 7, true}, {250, 50, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " at " << c.start << (c.in_place ? " in place" : ""));
    obj_t* member = tm_test::stub_file("member");
    get_file_ops().set_container(member, archive);
    file_set(member, FF_START, c.start);
    file_set(member, FF_SIZE, c.size);
    if (c.in_place) rd_use_store_memory();
    ASSERT_EQ(rd_open(member, 1024, 1), 0);
    EXPECT_EQ(rd_size(), c.size);
    expect_reads(bytes.substr(size_t(c.start), size_t(c.size)));
    rd_close_file(member);
  }
}

TEST_F(ReaderMemory, SizeBeyondTheDataIsBoundedByTheData) {
  const std::string bytes = pattern_bytes(40);
  obj_t* f = stub_memory_file(bytes.data(), 40, 16);
  file_set(f, FF_SIZE, 1000);
  ASSERT_EQ(rd_open(f, 1024, 1), 0);
  EXPECT_EQ(rd_size(), 40);
  EXPECT_EQ(read_rest_by_bytes(), bytes);
}

TEST_F(ReaderMemory, BitsAcrossLines) {
  const std::string bytes = pattern_bytes(64);
  obj_t* f = stub_memory_file(bytes.data(), 64, 16);
  for (bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "in place" : "copied");
    if (in_place) rd_use_store_memory();
    ASSERT_EQ(rd_open(f, 1024, 1), 0);
    rd_seek(13, 0);
    // 13 bits at a time from byte 13: fields straddle the lines at 16, 32 and 48.
    for (int64_t bit = 13 * 8; bit + 13 <= 64 * 8; bit += 13) {
      uint32_t expected = 0;
      for (int k = 0; k < 13; ++k)
        expected = expected << 1 | ((uint8_t(bytes[(bit + k) / 8]) >> (7 - (bit + k) % 8)) & 1);
      ASSERT_EQ(rd_read_bits_msb(13), expected) << "at bit " << bit;
    }
    rd_close_file(f);
  }
  // The stuffing look-ahead across a line: 0xAB at 14, 0xFF at 15, a marker at 16.
  std::string jpeg(32, '\x11');
  jpeg[14] = char(0xAB), jpeg[15] = char(0xFF), jpeg[16] = char(0xD9);
  obj_t* j = stub_memory_file(jpeg.data(), 32, 16);
  ASSERT_EQ(rd_open(j, 1024, 1), 0);
  rd_seek(14, 0);
  EXPECT_EQ(rd_read_bits(7), 0x55u);
  EXPECT_EQ(rd_read_bit(), 2);
  EXPECT_EQ(rd_tell(), 14);
}

TEST_F(ReaderMemory, ComingBackToAFileReadInPlace) {
  const std::string a = pattern_bytes(100);
  const std::string b(50, 'b');
  obj_t* fa = stub_memory_file(a.data(), 100, 16);
  obj_t* fb = stub_memory_file(b.data(), 50, 16);
  rd_use_store_memory();
  ASSERT_EQ(rd_open(fa, 1024, 1), 0);
  rd_seek(40, 0);
  ASSERT_EQ(rd_open(fb, 1024, 1), 0);
  EXPECT_EQ(rd_read_byte(), 'b');
  ASSERT_EQ(rd_open(fa, 1024, 0), 0);
  EXPECT_EQ(rd_tell(), 40);
  EXPECT_EQ(read_rest_by_bytes(), a.substr(40));
  // Asking for the whole file makes the store one line; the entry follows.
  ASSERT_EQ(rd_open(fa, 0, 1), 0);
  EXPECT_EQ(rd_buffer_size(), 100);
  EXPECT_EQ(read_rest_by_bytes(), a);
}


TEST_F(ReaderMemory, ReplacedContentIsReadFromItsNewStore) {
  // The file's store is replaced (and the old one freed) while its entry stays in the
  // table: coming back to the file reads the new bytes, never the freed lines.
  const std::string old_bytes = pattern_bytes(100);
  const std::string new_bytes(100, 'n');
  for (bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "in place" : "copied");
    obj_t* f = stub_memory_file(old_bytes.data(), 100, 16);
    obj_t* other = stub_memory_file("other", 5, 16);
    if (in_place) rd_use_store_memory();
    ASSERT_EQ(rd_open(f, 1024, 1), 0);
    rd_seek(40, 0);
    EXPECT_EQ(rd_read_byte(), uint8_t(old_bytes[40]));
    ASSERT_EQ(rd_open(other, 1024, 1), 0);
    filemobj_t* fresh = nullptr;
    ASSERT_EQ(filemobj_create(f, f, 0, 16, 0, &fresh), 0);
    filemobj_append(fresh, new_bytes.data(), 100);
    get_file_ops().set_store(f, reinterpret_cast<obj_t*>(fresh));  // frees the old one
    rd_make_current(f);
    EXPECT_EQ(read_rest_by_bytes(), "");  // nothing is read through the old store
    ASSERT_EQ(rd_open(f, 1024, 0), 0);
    EXPECT_EQ(read_rest_by_bytes(), new_bytes);
    EXPECT_EQ(get_gblerr(), 0);
    rd_close_all();
  }
}

// A line read in place stays the line store's: any other line-store work may evict it
// while its file is current. Each case reads a little of a file in place, lets the
// loading of another store's line (no memory to spare, the file's line aged) write the
// line to swap and free it, then reads on: the reader fetches the line again and gives
// the file's bytes, never those of the freed block.
class ReaderInPlaceEviction : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    line_store_reset();
    config_temp_dir_set(tm_test::fresh_dir("swap").c_str(), "s_");
  }

  void TearDown() override {
    ReaderFixture::TearDown();
    line_store_reset();
    config_reset();
  }

  // Ages every line held so far, then adds a line to another store within a budget
  // of nothing: eviction writes the old lines out and frees them.
  static void evict_by_other_work() {
    line_store_set_generation(filemobj_generation() + 1000);
    line_store_set_budget_probe([] { return 0.0; });
    stub_memory_file("other", 5, 64);
    line_store_set_budget_probe(nullptr);
  }
};

TEST_F(ReaderInPlaceEviction, ReadsOnFromTheLineFetchedAgain) {
  const std::string bytes = pattern_bytes(200);
  const struct {
    const char* what;
    std::function<std::string()> read_on;
    std::string expected;
  } cases[] = {
      {"byte by byte", [] { return tm_test::read_rest_by_bytes(); }, bytes.substr(5)},
      {"a block",
       [] {
         std::string got(100, '\0');
         EXPECT_EQ(rd_read_bytes(got.data(), 100), 100);
         return got;
       },
       bytes.substr(5, 100)},
      {"at a position",
       [] {
         std::string got(30, '\0');
         EXPECT_EQ(rd_read_at(20, got.data(), 30), 30);
         return got;
       },
       bytes.substr(20, 30)},
      {"bit by bit",
       [] {
         std::string got;
         for (int i = 0; i < 70; ++i) got.push_back(char(rd_read_bits_msb(8)));
         return got;
       },
       bytes.substr(5, 70)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    obj_t* f = stub_memory_file(bytes.data(), 200, 64);
    auto* store = reinterpret_cast<filemobj_t*>(file_store_of(f));
    rd_use_store_memory();
    ASSERT_EQ(rd_open(f, 1024, 1), 0);
    ASSERT_EQ(rd_buffer_size(), 64);
    char first[5];
    ASSERT_EQ(rd_read_bytes(first, 5), 5);
    EXPECT_EQ(std::string(first, 5), bytes.substr(0, 5));
    evict_by_other_work();
    ASSERT_EQ(store->lines[0], nullptr);  // the line read in place is gone
    EXPECT_EQ(c.read_on(), c.expected);
    EXPECT_EQ(get_gblerr(), 0);
    rd_close_file(f);
  }
}

}  // namespace
