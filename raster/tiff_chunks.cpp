// Row sources of TIFF strips and tiles: the bytes of one strip or tile are held in
// memory (read from the file, never more than its byte count and the file's bytes), and
// each decoder hands out one row at a time, so that no buffer grows with the row count
// a header claims.
//
// LZW: codes most significant bit first, 9 bits at the start, 256 clears the table, 257
// ends the data, new codes from 258; the width grows by one bit once code 2^width - 2
// has been assigned, up to 12 bits. The table holds 4096 entries: once it is full no
// entry is added until the next clear, and a code above the next free one is bad data.
// A string that spans rows is handed out across them.
#include <cstring>
#include <memory>

#include "core/error.h"
#include "raster/tiff_state.h"

namespace {

class raw_source final : public tiff_chunk_source {
 public:
  raw_source(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int next_row(uint8_t* row, size_t n) override {
    if (size_ - pos_ < n) return ERR_BAD_FILE;
    std::memcpy(row, data_ + pos_, n);
    pos_ += n;
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
};

// PackBits, row by row: a run that reaches past the row is cut at its end.
class packbits_source final : public tiff_chunk_source {
 public:
  packbits_source(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int next_row(uint8_t* row, size_t n) override {
    size_t filled = 0;
    while (filled < n) {
      if (pos_ >= size_) return ERR_BAD_FILE;
      const int count = int8_t(data_[pos_++]);
      if (count == -128) continue;
      if (count >= 0) {
        const size_t len = size_t(count) + 1;
        if (size_ - pos_ < len) return ERR_BAD_FILE;
        const size_t take = len < n - filled ? len : n - filled;
        std::memcpy(row + filled, data_ + pos_, take);
        pos_ += len;
        filled += take;
      } else {
        if (pos_ >= size_) return ERR_BAD_FILE;
        const size_t len = size_t(1 - count);
        const size_t take = len < n - filled ? len : n - filled;
        std::memset(row + filled, data_[pos_++], take);
        filled += take;
      }
    }
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
};

constexpr int kLzwClear = 256;
constexpr int kLzwEnd = 257;
constexpr int kLzwFirst = 258;
constexpr int kLzwTable = 4096;

class lzw_source final : public tiff_chunk_source {
 public:
  lzw_source(const uint8_t* data, size_t size) : data_(data), size_(size) { reset(); }

  int next_row(uint8_t* row, size_t n) override {
    size_t filled = 0;
    while (filled < n) {
      if (pend_pos_ < pend_len_) {
        size_t take = size_t(pend_len_ - pend_pos_);
        if (take > n - filled) take = n - filled;
        std::memcpy(row + filled, pend_ + pend_pos_, take);
        pend_pos_ += int(take);
        filled += take;
        continue;
      }
      if (int rc = decode_code()) return rc;
    }
    return 0;
  }

 private:
  void reset() {
    width_ = 9;
    next_ = kLzwFirst;
    prev_ = -1;
  }

  // The next code, or -1 when the data has no more whole codes.
  int read_code() {
    if (bitpos_ + uint64_t(width_) > uint64_t(size_) * 8) return -1;
    int code = 0;
    for (int i = 0; i < width_; ++i, ++bitpos_)
      code = code << 1 | (data_[bitpos_ >> 3] >> (7 - (bitpos_ & 7)) & 1);
    return code;
  }

  // The string of `code` into the pending buffer; returns its first byte.
  int expand(int code) {
    int len = 0;
    for (int c = code; c >= 0; c = c < 256 ? -1 : prefix_[c]) ++len;
    pend_len_ = len;
    pend_pos_ = 0;
    for (int c = code, at = len - 1; c >= 0; c = c < 256 ? -1 : prefix_[c], --at)
      pend_[at] = c < 256 ? uint8_t(c) : suffix_[c];
    return pend_[0];
  }

  void add(int prefix, int first_byte) {
    if (next_ >= kLzwTable) return;  // full: nothing more until a clear
    prefix_[next_] = uint16_t(prefix);
    suffix_[next_] = uint8_t(first_byte);
    ++next_;
    if (next_ >= (1 << width_) - 1 && width_ < 12) ++width_;
  }

  // Decodes one code into the pending buffer (possibly empty after a clear).
  int decode_code() {
    const int code = read_code();
    if (code < 0 || code == kLzwEnd) return ERR_BAD_FILE;  // rows still wanted
    if (code == kLzwClear) {
      reset();
      pend_len_ = pend_pos_ = 0;
      return 0;
    }
    if (code < 256 || code < next_) {
      if (code >= 256 && code < kLzwFirst) return ERR_BAD_FILE;
      const int first = expand(code);
      if (prev_ >= 0) add(prev_, first);
    } else if (code == next_ && prev_ >= 0 && next_ < kLzwTable) {
      // The code being defined: the previous string and its own first byte.
      const int first = expand(prev_);
      if (pend_len_ >= kLzwTable) return ERR_BAD_FILE;
      pend_[pend_len_++] = uint8_t(first);
      add(prev_, first);
    } else {
      return ERR_BAD_FILE;
    }
    prev_ = code;
    return 0;
  }

  const uint8_t* data_;
  size_t size_;
  uint64_t bitpos_ = 0;
  int width_ = 9, next_ = kLzwFirst, prev_ = -1;
  uint16_t prefix_[kLzwTable] = {};
  uint8_t suffix_[kLzwTable] = {};
  // A string is at most as long as the table (each entry one byte longer than its
  // prefix), plus the one byte of a code being defined.
  uint8_t pend_[kLzwTable + 1] = {};
  int pend_pos_ = 0, pend_len_ = 0;
};

}  // namespace

tiff_chunk_source* tiff_new_chunk_source(int pixel_kind, const uint8_t* data, size_t size) {
  switch (pixel_kind) {
    case kTiffKindNone:
      return new raw_source(data, size);
    case kTiffKindPackBits:
      return new packbits_source(data, size);
    case kTiffKindLzw:
      return new lzw_source(data, size);
    default:
      return nullptr;
  }
}
