// Check values of compressed data: CRC-32 (gzip, ZIP and PNG chunks, the polynomial
// 0xEDB88320 in reflected form) and Adler-32 (zlib streams).
//
// Both are running values: start from the initial value, feed the bytes in any number
// of pieces, compare the result with the stored one. They live here, at the bottom of
// the layers, so that the readers of the core and the writers of the platform (PNG
// pictures, PDF page images) share one copy.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

constexpr uint32_t kCrc32Init = 0;
constexpr uint32_t kAdler32Init = 1;

// The CRC-32 of `crc`'s bytes followed by `n` more bytes.
uint32_t crc32_update(uint32_t crc, const void* bytes, size_t n);
// The Adler-32 of `adler`'s bytes followed by `n` more bytes.
uint32_t adler32_update(uint32_t adler, const void* bytes, size_t n);

}  // namespace plat
