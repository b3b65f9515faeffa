// Compressed files opened through the buffered reader: a gzip file is decompressed
// into memory on first open and then read like any file; a damaged one does not open,
// leaves no error behind and leaves the file that was current before it current. The
// decoder itself reads the compressed bytes through the reader, also when it is called
// directly or decodes a file whose earlier content is being read in place.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/inflate.h"
#include "tests/core/reader_fixture.h"

using tm_test::pattern_bytes;

namespace {

class ReaderArchives : public tm_test::ReaderFixture {};

uint32_t crc32_of(const std::string& s) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : s) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

void put_le(std::string& out, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

// A gzip file whose data is one stored Deflate block.
std::string gzip_stored(const std::string& data) {
  std::string gz = "\x1f\x8b\x08";
  gz += std::string(6, '\0');  // flags, time, extra flags
  gz.push_back('\x03');
  gz.push_back('\x01');  // final stored block
  put_le(gz, uint32_t(data.size()), 2);
  put_le(gz, uint32_t(~data.size()) & 0xFFFF, 2);
  gz += data;
  put_le(gz, crc32_of(data), 4);
  put_le(gz, uint32_t(data.size()), 4);
  return gz;
}

TEST_F(ReaderArchives, GzipIsReadDecompressed) {
  const std::string data = pattern_bytes(3000);
  obj_t* f = disk_file(gzip_stored(data), "data.gz");
  file_set(f, FF_FORMAT, 52);
  ASSERT_EQ(rd_open(f, 1024, 1), 0);
  EXPECT_EQ(rd_size(), 3000);
  EXPECT_EQ(read_rest_by_bytes(), data);
  char b[10];
  EXPECT_EQ(rd_read_at(2990, b, 10), 10);
  EXPECT_EQ(std::string(b, 10), data.substr(2990));
  EXPECT_EQ(get_gblerr(), 0);
  // Opened again, it is read from memory without decoding again.
  ASSERT_NE(file_store_of(f), nullptr);
  obj_t* store = file_store_of(f);
  rd_close_file(f);
  ASSERT_EQ(rd_open(f, 0, 1), 0);
  EXPECT_EQ(file_store_of(f), store);
  EXPECT_EQ(read_rest_by_bytes(), data);
}

TEST_F(ReaderArchives, DamagedGzipDoesNotOpen) {
  std::string gz = gzip_stored("some text");
  gz[gz.size() - 5] ^= 0x40;  // the checksum no longer matches
  obj_t* f = disk_file(gz, "bad.gz");
  file_set(f, FF_FORMAT, 52);
  EXPECT_EQ(rd_open(f, 1024, 1), 1);
  EXPECT_EQ(get_gblerr(), 0);
  obj_t* truncated = disk_file(gz.substr(0, 12), "short.gz");
  file_set(truncated, FF_FORMAT, 52);
  EXPECT_EQ(rd_open(truncated, 1024, 1), 1);
  EXPECT_EQ(get_gblerr(), 0);
}


TEST_F(ReaderArchives, DecoderCalledDirectlyReadsTheCompressedBytes) {
  // The decoder opens the file it decodes through the reader: those opens must give
  // the compressed bytes, never start a second decoding of the same file.
  const std::string data = pattern_bytes(3000);
  obj_t* f = disk_file(gzip_stored(data), "direct.gz");
  file_set(f, FF_FORMAT, 52);
  EXPECT_EQ(gzip_open_member(f, 0), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(file_get(f, FF_SIZE), 3000);
  ASSERT_EQ(rd_open(f, 0, 1), 0);
  EXPECT_EQ(read_rest_by_bytes(), data);
}

// A file of the Deflate fixtures (tests/fixtures/deflate).
std::string deflate_fixture(const char* name) {
  std::ifstream in(std::string(TM_FIXTURE_DIR) + "/deflate/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ReaderArchives, FullDecodeAfterAProbeReadInPlace) {
  // blocks.gz (831 bytes) holds the first 12000 bytes of input_far.bin in blocks of
  // 3000; a probe of 4096 bytes
  // decodes 6000 of them. While that partial content is read in place, the whole file
  // is decoded: the partial store is freed, and the reader must read the new content,
  // never the freed lines.
  const std::string far = deflate_fixture("input_far.bin").substr(0, 12000);
  obj_t* f = disk_file(deflate_fixture("blocks.gz"), "blocks.gz");
  file_set(f, FF_FORMAT, 52);
  ASSERT_EQ(gzip_open_member(f, 4096), 0);
  rd_use_store_memory();
  ASSERT_EQ(rd_open(f, 0, 1), 0);
  EXPECT_EQ(rd_size(), 6000);
  rd_seek(100, 0);
  EXPECT_EQ(rd_read_byte(), uint8_t(far[100]));
  EXPECT_EQ(gzip_open_member(f, 0), 0);
  EXPECT_EQ(file_get(f, FF_SIZE), 12000);
  ASSERT_EQ(rd_open(f, 0, 1), 0);
  EXPECT_EQ(read_rest_by_bytes(), far);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ReaderArchives, FailedOpenLeavesThePreviousFileCurrent) {
  std::string damaged = gzip_stored("some text");
  damaged[damaged.size() - 5] ^= 0x40;
  const std::string a = pattern_bytes(3000);
  obj_t* current = disk_file(a, "current.bin");
  const struct {
    const char* what;
    obj_t* file;
  } cases[] = {
      {"missing disk file", tm_test::stub_file((dir_ + "missing.bin").c_str())},
      {"damaged gzip file", disk_file(damaged, "damaged.gz")},
  };
  file_set(cases[1].file, FF_FORMAT, 52);
  ASSERT_EQ(rd_open(current, 1024, 1), 0);
  rd_seek(1500, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(rd_open(c.file, 1024, 1), 1);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(rd_current_file(), current);
    EXPECT_EQ(rd_table_holds(c.file), 0);
    const int64_t at = rd_tell();
    EXPECT_EQ(rd_read_byte(), uint8_t(a[at]));
  }
  EXPECT_EQ(rd_tell(), 1502);
}

}  // namespace
