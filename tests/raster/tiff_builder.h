// A small writer of TIFF files for the reader's tests: directories of chosen entries in
// either byte order, pixel data placed before each directory, and an LZW encoder of
// literal codes, so that each test states exactly the structure it exercises.
#pragma once
#include <cstdint>
#include <vector>

namespace tiff_test {

using bytes = std::vector<uint8_t>;

// The value that stands for the offset of the directory's data block.
constexpr uint32_t kDataOffset = 0xFFFFFFF0u;

struct entry {
  uint16_t tag;
  uint16_t type;                 // 3 SHORT, 4 LONG, 5 RATIONAL (values in pairs), ...
  std::vector<uint32_t> values;  // kDataOffset + k: the data block's offset plus k
  int64_t count = -1;            // -1: the number of values (pairs for RATIONAL)
};

struct directory {
  std::vector<entry> entries;  // written sorted by tag
  bytes data;                  // placed before the directory
};

struct built {
  bytes file;
  std::vector<uint32_t> directories;  // offset of each directory
  // Position of the next-directory offset of directory i.
  uint32_t next_at(size_t i) const;
};

// `big_endian` writes "MM", else "II". Directories are chained in order.
built build(bool big_endian, const std::vector<directory>& dirs);
bytes build_file(bool big_endian, const std::vector<directory>& dirs);

// A page of width x height with the given samples, photometric and compression, one
// strip holding `data` (plus `extra` entries, which replace base entries of the same
// tag).
directory page(uint32_t width, uint32_t height, int bits, int samples, int photometric,
               int compression, const bytes& data, const std::vector<entry>& extra = {});

// TIFF LZW of `data` as literal codes only (a clear code first, the end code last); with
// `clear_every` > 0 a clear code every that many codes. Without clears a long input
// fills the 4096-entry table.
bytes lzw_literals(const bytes& data, int clear_every = 0);

// A flood of TIFF LZW: a literal, then each code naming the entry being defined (each
// string one byte longer) until the table is full, then the longest entry `repeats`
// times, and the end code.
bytes lzw_flood(int repeats);

void put_u16(bytes* f, size_t at, uint16_t v, bool big_endian);
void put_u32(bytes* f, size_t at, uint32_t v, bool big_endian);

}  // namespace tiff_test
