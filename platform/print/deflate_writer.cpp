// The zlib stream encoder: a zlib header, one final Deflate block with the fixed codes,
// and the Adler-32 of the input.
//
// Positions are counted from the start of the stream (64-bit), so the hash tables never
// need rebasing when old input leaves the window: a chain simply ends at the first
// position more than 32 KB back. The window keeps at least the last 32 KB before the next
// position to encode, and encoding waits for 258 bytes of look-ahead until the end.
#include "platform/print/deflate_writer.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace plat {

namespace {

constexpr int64_t kWindow = 32768;  // the largest distance Deflate can express
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kMaxChain = 16;     // candidates tried per position
constexpr int kInsertLimit = 32;  // positions inside longer matches are not hashed
constexpr int kHashBits = 15;
constexpr size_t kEncodeAt = 65536;  // pending input that triggers encoding
constexpr size_t kOutChunk = 65536;
constexpr uint32_t kAdlerMod = 65521;
constexpr size_t kAdlerRun = 5552;  // bytes summed before the sums could overflow

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                               193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Huffman codes go out most significant bit first into a stream filled from the least
// significant bit, so they are written reversed.
uint32_t reversed(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) r = (r << 1) | ((code >> i) & 1u);
  return r;
}

// Index of the last table entry not above `value`.
template <size_t N>
int code_index(const int (&base)[N], int64_t value) {
  return int(std::upper_bound(std::begin(base), std::end(base), value) - std::begin(base)) - 1;
}

}  // namespace

DeflateWriter::DeflateWriter(Sink sink)
    : sink_(std::move(sink)), head_(size_t(1) << kHashBits, -1), prev_(size_t(kWindow), -1) {
  out_ = {0x78, 0x01};  // zlib: Deflate with a 32 KB window, no dictionary
  put_bits(1, 1);       // the only block is the final one
  put_bits(1, 2);       // with the fixed codes
}

bool DeflateWriter::write(const uint8_t* bytes, size_t n) {
  if (!ok_) return false;
  uint32_t a = adler_a_, b = adler_b_;
  for (const uint8_t *p = bytes, *end = bytes + n; p < end;) {
    const uint8_t* run_end = p + std::min<size_t>(kAdlerRun, size_t(end - p));
    for (; p < run_end; ++p) {
      a += *p;
      b += a;
    }
    a %= kAdlerMod;
    b %= kAdlerMod;
  }
  adler_a_ = a;
  adler_b_ = b;
  window_.insert(window_.end(), bytes, bytes + n);
  if (window_.size() - size_t(pos_ - base_) >= kEncodeAt) encode(false);
  return ok_;
}

bool DeflateWriter::finish() {
  if (!ok_) return false;
  encode(true);
  put_symbol(256);  // end of block
  if (bit_count_ > 0) put_bits(0, 8 - bit_count_);
  for (int shift : {24, 16, 8, 0}) out_.push_back(uint8_t(((adler_b_ << 16) | adler_a_) >> shift));
  flush_bytes();
  return ok_;
}

uint32_t DeflateWriter::hash_at(int64_t pos) const {
  const uint8_t* p = &window_[size_t(pos - base_)];
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

void DeflateWriter::insert(int64_t pos) {
  uint32_t h = hash_at(pos);
  prev_[size_t(pos % kWindow)] = head_[h];
  head_[h] = pos;
}

// The longest earlier string equal to the one at `pos` (at most `avail` bytes long),
// searched along the hash chain. Positions are hashed only after their own search, so
// a chain never holds a slot of prev_ that a newer position has taken over.
int DeflateWriter::longest_match(int64_t pos, int64_t avail, int64_t* distance) const {
  const int max_len = int(std::min<int64_t>(kMaxMatch, avail));
  const uint8_t* here = &window_[size_t(pos - base_)];
  int best = 0;
  int chain = kMaxChain;
  for (int64_t cand = head_[hash_at(pos)]; cand >= 0 && cand >= pos - kWindow && chain-- > 0;
       cand = prev_[size_t(cand % kWindow)]) {
    const uint8_t* there = &window_[size_t(cand - base_)];
    if (there[best] != here[best]) continue;
    int n = 0;
    for (uint64_t a = 0, b = 0; n + 8 <= max_len; n += 8) {  // eight bytes at a time first
      memcpy(&a, there + n, 8);
      memcpy(&b, here + n, 8);
      if (a != b) break;
    }
    while (n < max_len && there[n] == here[n]) ++n;
    if (n > best) {
      best = n;
      *distance = pos - cand;
      if (n == max_len) break;
    }
  }
  return best;
}

void DeflateWriter::encode(bool final) {
  const int64_t end = base_ + int64_t(window_.size());
  while (pos_ < end && ok_) {
    const int64_t avail = end - pos_;
    if (!final && avail < kMaxMatch) break;  // wait for the look-ahead
    int64_t distance = 0;
    int len = avail >= kMinMatch ? longest_match(pos_, avail, &distance) : 0;
    if (len >= kMinMatch) {
      put_match(len, distance);
      insert(pos_);
      if (len <= kInsertLimit)
        for (int i = 1; i < len && pos_ + i + kMinMatch <= end; ++i) insert(pos_ + i);
      pos_ += len;
    } else {
      put_symbol(window_[size_t(pos_ - base_)]);
      if (avail >= kMinMatch) insert(pos_);
      ++pos_;
    }
    if (out_.size() >= kOutChunk) flush_bytes();
  }
  // Keep only the window the next matches may reach back into.
  if (pos_ - base_ > 2 * kWindow) {
    int64_t drop = pos_ - kWindow - base_;
    window_.erase(window_.begin(), window_.begin() + drop);
    base_ += drop;
  }
}

void DeflateWriter::put_bits(uint32_t value, int count) {
  bit_buffer_ |= uint64_t(value) << bit_count_;
  bit_count_ += count;
  while (bit_count_ >= 8) {
    out_.push_back(uint8_t(bit_buffer_));
    bit_buffer_ >>= 8;
    bit_count_ -= 8;
  }
}

// The fixed literal/length code: 0-143 in 8 bits from 0x30, 144-255 in 9 bits from
// 0x190, 256-279 in 7 bits from 0, 280-287 in 8 bits from 0xC0.
void DeflateWriter::put_symbol(int symbol) {
  if (symbol < 144) put_bits(reversed(0x30 + symbol, 8), 8);
  else if (symbol < 256) put_bits(reversed(0x190 + symbol - 144, 9), 9);
  else if (symbol < 280) put_bits(reversed(symbol - 256, 7), 7);
  else put_bits(reversed(0xC0 + symbol - 280, 8), 8);
}

void DeflateWriter::put_match(int length, int64_t distance) {
  int li = code_index(kLengthBase, length);
  put_symbol(257 + li);
  put_bits(uint32_t(length - kLengthBase[li]), kLengthExtra[li]);
  int di = code_index(kDistBase, distance);
  put_bits(reversed(uint32_t(di), 5), 5);
  put_bits(uint32_t(distance - kDistBase[di]), kDistExtra[di]);
}

// Every whole byte goes; the bits of an unfinished byte wait in bit_buffer_.
void DeflateWriter::flush_bytes() {
  if (out_.empty() || !ok_) return;
  ok_ = sink_(out_.data(), out_.size());
  out_.clear();
}

}  // namespace plat
