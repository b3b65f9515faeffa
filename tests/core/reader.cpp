// The buffered reader on disk files: buffer sizes, reading across refills up to a
// short last buffer, positions, numbers, strings, formatted fields, reads at a
// position, archive members on disk and the table of open files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/memory.h"
#include "tests/core/reader_fixture.h"

using tm_test::bytes_of;
using tm_test::pattern_bytes;

namespace {

class Reader : public tm_test::ReaderFixture {};

TEST_F(Reader, BufferSizeFollowsRequestAndFileSize) {
  const struct {
    size_t file_size;
    int64_t requested;
    int64_t buffer;
  } cases[] = {
      {100, 4096, 100},    // cut to the file size
      {100, 10, 100},      // raised to 1024, then cut
      {5000, 10, 1024},    // raised to 1024
      {5000, 2000, 2000},  // as asked
      {5000, 0, 5000},     // the whole file
      {0, 4096, 1},        // an empty file still has a buffer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file_size << " bytes, asked " << c.requested);
    const std::string bytes = pattern_bytes(c.file_size);
    obj_t* f = disk_file(bytes);
    ASSERT_EQ(rd_open(f, c.requested, 1), 0);
    EXPECT_EQ(rd_buffer_size(), c.buffer);
    EXPECT_EQ(rd_size(), int64_t(c.file_size));
    EXPECT_EQ(read_rest_by_bytes(), bytes);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(rd_read_byte(), 0);
    EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
    set_gblerr(0);
  }
}

TEST_F(Reader, BlockReadsCrossRefillsAndStopAtTheShortLastBuffer) {
  // 3000 bytes through 1024-byte buffers: the last buffer holds 952 bytes.
  const std::string bytes = pattern_bytes(3000);
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  std::string got(1500, '\0');
  EXPECT_EQ(rd_read_bytes(got.data(), 1500), 1500);
  EXPECT_EQ(got, bytes.substr(0, 1500));
  // Asking for more than is left gives what is left, zeros after it, and gblerr 2.
  std::string tail(1600, '\x55');
  EXPECT_EQ(rd_read_bytes(tail.data(), 1600), 1500);
  EXPECT_EQ(tail.substr(0, 1500), bytes.substr(1500));
  EXPECT_EQ(tail.substr(1500), std::string(100, '\0'));
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  EXPECT_EQ(rd_tell(), 3000);
  EXPECT_EQ(rd_at_end(), 1);
}

TEST_F(Reader, DiskFileShorterThanItsRecordedSizeEndsAtItsRealEnd) {
  // The file object claims 5000 bytes; the disk holds 1100. Nothing beyond the bytes
  // really read may come out of the buffer.
  const std::string bytes = pattern_bytes(1100);
  obj_t* f = disk_file(bytes);
  file_set(f, FF_SIZE, 5000);
  ASSERT_EQ(rd_open(f, 1024, 1), 0);
  rd_seek(1090, 0);
  std::string got(20, '\x55');
  EXPECT_EQ(rd_read_bytes(got.data(), 20), 10);
  EXPECT_EQ(got.substr(0, 10), bytes.substr(1090));
  EXPECT_EQ(got.substr(10), std::string(10, '\0'));
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  rd_seek(1099, 0);
  EXPECT_EQ(rd_read_byte(), uint8_t(bytes[1099]));
  EXPECT_EQ(rd_read_byte(), 0);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  // Once met, the real end is the file's end, so that a reader that tests for the end
  // stops there rather than reading the missing bytes as errors forever.
  EXPECT_EQ(rd_size(), 1100);
  EXPECT_EQ(rd_at_end(), 1);
  set_gblerr(0);
  rd_seek(1000, 0);
  EXPECT_EQ(read_rest_by_bytes(), bytes.substr(1000));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(Reader, SeekOrigins) {
  const std::string bytes = pattern_bytes(3000);
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  const struct {
    int64_t offset;
    int origin;
    int64_t position;
  } cases[] = {
      {-4, 2, 2996}, {10, 0, 10}, {5, 1, 15}, {2000, 0, 2000}, {-1990, 1, 10}, {0, 2, 3000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "seek " << c.offset << ", " << c.origin);
    rd_seek(c.offset, c.origin);
    EXPECT_EQ(rd_tell(), c.position);
    EXPECT_EQ(rd_bytes_left(), 3000 - c.position);
    EXPECT_EQ(rd_read_byte(), c.position < 3000 ? uint8_t(bytes[c.position]) : 0);
    rd_seek(-1, 1);
  }
  set_gblerr(0);
  // In the middle of a byte, a relative seek starts from the next byte.
  rd_seek(100, 0);
  rd_read_bit_msb();
  rd_seek(0, 1);
  EXPECT_EQ(rd_tell(), 101);
  EXPECT_EQ(rd_bit_mask(), 128);
  // Before the start: gblerr 2, the position stays.
  rd_seek(-5000, 1);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  EXPECT_EQ(rd_tell(), 101);
}

TEST_F(Reader, NumbersInBothByteOrders) {
  // 01 02 03 04 05 06 07 08 then the double 1.5 in both orders and the float 2.5.
  std::string bytes = bytes_of({1, 2, 3, 4, 5, 6, 7, 8});
  bytes += bytes_of({0, 0, 0, 0, 0, 0, 0xF8, 0x3F});  // 1.5 little-endian
  bytes += bytes_of({0x3F, 0xF8, 0, 0, 0, 0, 0, 0});  // 1.5 big-endian
  bytes += bytes_of({0, 0, 0x20, 0x40});              // 2.5f little-endian
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  EXPECT_EQ(rd_read_u16(), 0x0201);
  EXPECT_EQ(rd_read_u16_swapped(), 0x0304);
  EXPECT_EQ(rd_read_u32(), 0x08070605u);
  EXPECT_EQ(rd_read_double(), 1.5);
  EXPECT_EQ(rd_read_double_swapped(), 1.5);
  EXPECT_EQ(rd_read_float(), 2.5f);
  EXPECT_EQ(get_gblerr(), 0);
  rd_seek(0, 0);
  EXPECT_EQ(rd_read_u32_swapped(), 0x01020304u);
}

TEST_F(Reader, NumberPastTheEndGivesZeroAndError) {
  const struct {
    const char* what;
    int64_t left;
    uint64_t (*read)();
  } cases[] = {
      {"u16 at the last byte", 1, [] { return uint64_t(rd_read_u16()); }},
      {"u16 swapped at the last byte", 1, [] { return uint64_t(rd_read_u16_swapped()); }},
      {"u32 with 3 bytes left", 3, [] { return uint64_t(rd_read_u32()); }},
      {"double with 7 bytes left", 7, [] { return uint64_t(rd_read_double() != 0.0); }},
      {"byte at the end", 0, [] { return uint64_t(rd_read_byte()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(rd_open(disk_file(std::string(10, '\x7F')), 1024, 1), 0);
    rd_seek(-c.left, 2);
    EXPECT_EQ(c.read(), 0u);
    EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
    set_gblerr(0);
  }
}

TEST_F(Reader, StringsUpToNulAndFixedFields) {
  const std::string bytes = std::string("abc\0def\0", 8) + std::string("NAME\0\0\0\0tail", 12);
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  char* s = nullptr;
  EXPECT_STREQ(rd_read_cstring(&s), "abc");
  EXPECT_STREQ(rd_read_cstring(&s), "abcdef");  // appended
  EXPECT_EQ(rd_tell(), 8);
  EXPECT_STREQ(rd_read_string_n(8, &s), "NAME");  // the field's text; the whole field read
  EXPECT_EQ(rd_tell(), 16);
  EXPECT_STREQ(rd_read_string_n(0, &s), "tail");  // all that is left
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_STREQ(rd_read_string_n(4, &s), "");
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  // A string that runs into the end of the file without its NUL.
  rd_seek(16, 0);
  free_mem(&s);
  EXPECT_STREQ(rd_read_cstring(&s), "tail");
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  free_mem(&s);
}

TEST_F(Reader, CStringAcrossRefills) {
  std::string bytes(1020, 'x');
  bytes += std::string("0123456789", 10) + '\0' + "z";
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  rd_seek(1015, 0);
  char* s = nullptr;
  EXPECT_STREQ(rd_read_cstring(&s), "xxxxx0123456789");
  EXPECT_EQ(rd_read_byte(), 'z');
  free_mem(&s);
}

TEST_F(Reader, ScanfConvertsOnlyItsField) {
  const struct {
    const char* bytes;
    int64_t at;
    const char* format;
    int ok;
    long long value;
    int64_t after;
  } cases[] = {
      {"  42xyz", 0, "%4lld", 1, 42, 4},
      {"123456", 0, "%2lld", 1, 12, 2},  // the digits after the field are not taken
      {"123456", 4, "%2lld", 1, 56, 6},  // a field ending at the last byte
      {"123456", 5, "%2lld", 0, 0, 5},   // wider than what is left
      {"ab1234", 0, "%2lld", 0, 0, 2},   // no number in the field
      {"    12", 0, "%4lld", 0, 0, 4},   // blanks only: the digits after are not taken
      {"   ", 0, "%3lld", 0, 0, 3},      // blanks up to the end of the file
      {"1234567890123", 0, "%12lld", 1, 123456789012LL, 12},  // two-digit widths
      {"42", 0, "d", 0, 0, 0},           // no width: nothing is read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " at " << c.at << " with " << c.format);
    ASSERT_EQ(rd_open(disk_file(c.bytes), 1024, 1), 0);
    rd_seek(c.at, 0);
    long long v = 0;
    EXPECT_EQ(rd_scanf(c.format, &v), c.ok);
    EXPECT_EQ(v, c.value);
    EXPECT_EQ(rd_tell(), c.after);
    EXPECT_EQ(get_gblerr(), c.ok ? 0 : ERR_FILE_ACCESS);
    set_gblerr(0);
  }
}

TEST_F(Reader, ReadAtAnyPositionLeavesThePositionAlone) {
  const std::string bytes = pattern_bytes(3000);
  ASSERT_EQ(rd_open(disk_file(bytes), 1024, 1), 0);
  rd_seek(10, 0);
  const struct {
    int64_t at;
    int64_t n;
    int64_t got;
  } cases[] = {
      {20, 30, 30},      // inside the buffer
      {1000, 100, 100},  // across its end
      {2500, 500, 500},  // up to the last byte exactly: no error
      {2990, 20, 10},    // past the end
      {-5, 4, 0},        // before the start
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n << " at " << c.at);
    std::string got(c.n, '\x55');
    EXPECT_EQ(rd_read_at(c.at, got.data(), c.n), c.got);
    if (c.got > 0) {
      EXPECT_EQ(got.substr(0, c.got), bytes.substr(c.at, c.got));
    }
    EXPECT_EQ(got.substr(c.got), std::string(c.n - c.got, '\0'));
    EXPECT_EQ(get_gblerr(), c.got < c.n ? ERR_FILE_ACCESS : 0);
    set_gblerr(0);
    EXPECT_EQ(rd_tell(), 10);
    EXPECT_EQ(rd_read_byte(), uint8_t(bytes[10]));
    rd_seek(10, 0);
  }
}

TEST_F(Reader, MemberOfADiskArchiveReadsItsOwnRange) {
  const std::string bytes = pattern_bytes(2000);
  obj_t* archive = disk_file(bytes, "archive.zip");
  obj_t* member = tm_test::stub_file("member.txt");
  get_file_ops().set_container(member, archive);
  file_set(member, FF_START, 1000);
  file_set(member, FF_SIZE, 30);
  ASSERT_EQ(rd_open(member, 1024, 1), 0);
  EXPECT_EQ(rd_size(), 30);
  EXPECT_EQ(read_rest_by_bytes(), bytes.substr(1000, 30));
  char b[4];
  EXPECT_EQ(rd_read_at(28, b, 4), 2);  // bounded by the member, not the archive
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
}

TEST_F(Reader, OpenFailures) {
  EXPECT_EQ(rd_open(nullptr, 1024, 1), 1);
  obj_t* missing = tm_test::stub_file((dir_ + "missing.bin").c_str());
  EXPECT_EQ(rd_open(missing, 1024, 1), 1);
  EXPECT_EQ(rd_table_holds(missing), 0);
  EXPECT_EQ(rd_current_file(), nullptr);
  // A member whose recorded range is impossible does not open.
  obj_t* archive = disk_file(pattern_bytes(100));
  for (int64_t start : {int64_t(-1), INT64_MAX - 5}) {
    obj_t* member = tm_test::stub_file("member");
    get_file_ops().set_container(member, archive);
    file_set(member, FF_START, start);
    file_set(member, FF_SIZE, 100);
    EXPECT_EQ(rd_open(member, 1024, 1), 1) << start;
  }
  rd_close_all();
  // No current file: reads end at once.
  EXPECT_EQ(rd_read_byte(), 0);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  EXPECT_EQ(rd_size(), 0);
}

TEST_F(Reader, TableKeepsTwentyFilesAndReopensTheOldest) {
  std::vector<obj_t*> files;
  for (int i = 0; i < kReaderOpenFiles + 1; ++i) {
    files.push_back(disk_file(std::string(50, char('A' + i))));
    ASSERT_EQ(rd_open(files.back(), 1024, 1), 0);
    EXPECT_EQ(rd_read_byte(), 'A' + i);
  }
  EXPECT_EQ(rd_current_file(), files.back());
  EXPECT_EQ(rd_table_holds(files[0]), 0);  // the least recently used fell off
  for (int i = 1; i <= kReaderOpenFiles; ++i) EXPECT_EQ(rd_table_holds(files[i]), 1);
  // Coming back to it is transparent; the next oldest (files[1]) makes room.
  ASSERT_EQ(rd_open(files[0], 1024, 0), 0);
  EXPECT_EQ(rd_read_byte(), 'A');
  EXPECT_EQ(rd_table_holds(files[1]), 0);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(Reader, SwitchingFilesKeepsEachPosition) {
  const std::string a = pattern_bytes(3000);
  const std::string b(3000, 'b');
  obj_t* fa = disk_file(a);
  obj_t* fb = disk_file(b);
  ASSERT_EQ(rd_open(fa, 1024, 1), 0);
  rd_seek(2000, 0);
  rd_read_bits_msb(3);
  ASSERT_EQ(rd_open(fb, 1024, 1), 0);
  EXPECT_EQ(rd_read_byte(), 'b');
  ASSERT_EQ(rd_open(fa, 1024, 0), 0);  // no rewind: where it was, in the middle of a byte
  EXPECT_EQ(rd_tell(), 2000);
  EXPECT_EQ(rd_bit_mask(), 16);
  EXPECT_EQ(rd_read_byte(), uint8_t(a[2001]));
  ASSERT_EQ(rd_open(fa, 1024, 1), 0);  // rewind
  EXPECT_EQ(rd_read_byte(), uint8_t(a[0]));
  // A larger buffer than the entry holds reopens it.
  ASSERT_EQ(rd_open(fa, 0, 1), 0);
  EXPECT_EQ(rd_buffer_size(), 3000);
  EXPECT_EQ(read_rest_by_bytes(), a);
  rd_close_file(fa);
  EXPECT_EQ(rd_table_holds(fa), 0);
  EXPECT_EQ(rd_table_holds(fb), 1);
}

TEST_F(Reader, PositionsBeyondFourGigabytes) {
  // A sparse file of 5 GiB with a few bytes at 4.5 GiB.
  const std::string path = dir_ + "big.bin";
  const int64_t at = (int64_t(9) << 29);  // 4.5 GiB
  tm_test::write_file(path, "");
  std::error_code ec;
  std::filesystem::resize_file(path, uint64_t(5) << 30, ec);
  if (ec) GTEST_SKIP() << "the sandbox cannot hold a sparse file";
  {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(file_seek_large(f, at, SEEK_SET), 0);
    std::fputs("XYZ", f);
    std::fclose(f);
  }
  ASSERT_EQ(rd_open(tm_test::stub_file(path.c_str()), 4096, 1), 0);
  EXPECT_EQ(rd_size(), int64_t(5) << 30);
  rd_seek(at, 0);
  EXPECT_EQ(rd_read_byte(), 'X');
  EXPECT_EQ(rd_tell(), at + 1);
  char two[2];
  EXPECT_EQ(rd_read_at(at + 1, two, 2), 2);
  EXPECT_EQ(std::string(two, 2), "YZ");
  rd_seek(-1, 2);
  EXPECT_EQ(rd_read_byte(), 0);
  EXPECT_EQ(get_gblerr(), 0);
}


TEST_F(Reader, EmptyFileOpensAtItsEnd) {
  // An empty file is no failure: it opens, and its first read is the end of data.
  const struct {
    const char* what;
    obj_t* file;
  } cases[] = {
      {"on disk", disk_file("")},
      {"in memory", tm_test::stub_memory_file("", 0, 16)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(rd_open(c.file, 0, 1), 0);
    EXPECT_EQ(rd_size(), 0);
    EXPECT_EQ(rd_at_end(), 1);
    EXPECT_EQ(rd_read_u16(), 0);
    EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
    set_gblerr(0);
  }
}

}  // namespace
