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
  bool restart(const uint8_t* data, size_t size) override {
    data_ = data;
    size_ = size;
    pos_ = 0;
    return true;
  }
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
  bool restart(const uint8_t* data, size_t size) override {
    data_ = data;
    size_ = size;
    pos_ = 0;
    return true;
  }
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

// Codes come from a 64-bit bit buffer refilled a byte at a time. Each table entry keeps
// its string's length and first byte besides its prefix and last byte, so that a string
// is written once, backwards from its last byte, straight into the row when it fits
// there (into the pending buffer when it runs past the row's end).
class lzw_source final : public tiff_chunk_source {
 public:
  lzw_source(const uint8_t* data, size_t size) : data_(data), size_(size) {
    for (int c = 0; c < 256; ++c) {
      suffix_[c] = uint8_t(c);
      first_[c] = uint8_t(c);
      length_[c] = 1;
      prefix_[c] = 0;
    }
    reset();
  }

  bool restart(const uint8_t* data, size_t size) override {
    data_ = data;
    size_ = size;
    pos_ = 0;
    buffer_ = 0;
    bits_ = 0;
    pend_pos_ = pend_len_ = 0;
    reset();
    return true;
  }

  // The decoder's position and table size live in locals while a row is decoded: the
  // row's bytes may alias anything, so members would be read again after every store.
  int next_row(uint8_t* row, size_t n) override {
    size_t filled = 0;
    if (pend_pos_ < pend_len_) {
      size_t take = size_t(pend_len_ - pend_pos_);
      if (take > n) take = n;
      std::memcpy(row, pend_ + pend_pos_, take);
      pend_pos_ += int(take);
      filled = take;
    }
    const uint8_t* const data = data_;
    const size_t size = size_;
    size_t pos = pos_;
    uint64_t buffer = buffer_;
    int bits = bits_, width = width_, next = next_, prev = prev_;
    int rc = 0;
    while (filled < n) {
      // The next code: whole bytes into the bit buffer, eight at a time where the data
      // has them (at most 63 bits held), else one by one up to its end.
      if (bits < width) {
        if (size - pos >= 8) {
          uint64_t v = 0;
          for (int k = 0; k < 8; ++k) v = v << 8 | data[pos + size_t(k)];
          const int take = (63 - bits) >> 3;  // 6 or 7 bytes
          buffer = buffer << (8 * take) | v >> (64 - 8 * take);
          pos += size_t(take);
          bits += 8 * take;
        } else {
          while (bits <= 56 && pos < size) {
            buffer = buffer << 8 | data[pos++];
            bits += 8;
          }
          if (bits < width) {
            rc = ERR_BAD_FILE;  // no whole code left, rows still wanted
            break;
          }
        }
      }
      bits -= width;
      const int code = int(buffer >> bits) & ((1 << width) - 1);
      if (code == kLzwClear) {
        width = 9;
        next = kLzwFirst;
        prev = -1;
        continue;
      }
      if (code == kLzwEnd) {
        rc = ERR_BAD_FILE;  // rows still wanted
        break;
      }
      // The entry added by this code: the previous string and the first byte of this
      // one. A code at the next free entry (only possible after a string) is that very
      // entry; any code above it is bad data.
      if (code >= next && (code != next || prev < 0 || next >= kLzwTable)) {
        rc = ERR_BAD_FILE;
        break;
      }
      if (prev >= 0 && next < kLzwTable) {
        prefix_[next] = uint16_t(prev);
        suffix_[next] = first_[code == next ? prev : code];
        first_[next] = first_[prev];
        length_[next] = uint16_t(length_[prev] + 1);
        ++next;
        if (next >= (1 << width) - 1 && width < 12) ++width;
      }
      prev = code;
      const size_t len = length_[code];
      if (len <= n - filled) {
        write_string(code, row + filled + len);
        filled += len;
      } else {
        write_string(code, pend_ + len);
        const size_t take = n - filled;
        std::memcpy(row + filled, pend_, take);
        pend_len_ = int(len);
        pend_pos_ = int(take);
        filled = n;
      }
    }
    pos_ = pos;
    buffer_ = buffer;
    bits_ = bits;
    width_ = width;
    next_ = next;
    prev_ = prev;
    return rc;
  }

 private:
  void reset() {
    width_ = 9;
    next_ = kLzwFirst;
    prev_ = -1;
  }

  // The string of `code`, its last byte just before `end`.
  void write_string(int code, uint8_t* end) const {
    while (code >= 256) {
      *--end = suffix_[code];
      code = prefix_[code];
    }
    *--end = uint8_t(code);
  }

  const uint8_t* data_;
  size_t size_, pos_ = 0;
  uint64_t buffer_ = 0;  // the low `bits_` bits are not yet read
  int bits_ = 0;
  int width_ = 9, next_ = kLzwFirst, prev_ = -1;
  // Entries from 258 are written before they are read (a code at or above the next
  // free one is refused), so only the 256 single bytes are set up front.
  uint16_t prefix_[kLzwTable];
  uint16_t length_[kLzwTable];
  uint8_t suffix_[kLzwTable];
  uint8_t first_[kLzwTable];
  // A string is at most as long as the table (each entry one byte longer than its
  // prefix), plus the one byte of a code being defined.
  uint8_t pend_[kLzwTable + 1];
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
