// The zlib stream encoder's string matcher: a zlib header, the input turned into
// literals and matches, handed to the block writer (deflate_block.cpp) a block at a time,
// and the Adler-32 of the input.
//
// Positions are counted from the start of the stream (64-bit), so the hash tables never
// need rebasing when old input leaves the window: a chain simply ends at the first
// position more than 32 KB back. The window keeps at least the last 32 KB before the next
// position to encode, and encoding waits for 258 bytes of look-ahead until the end.
#include "platform/sys/deflate_writer.h"

#include <algorithm>
#include <cstring>

#include "platform/sys/checksum.h"

namespace plat {

namespace {

constexpr int64_t kWindow = 32768;  // the largest distance Deflate can express
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kMaxChain = 16;     // candidates tried per position
constexpr int kInsertLimit = 32;  // longer matches hash only their start and end
constexpr int kHashBits = 15;
constexpr size_t kEncodeAt = 65536;  // pending input that triggers encoding
constexpr size_t kOutChunk = 65536;
// Symbols per block: enough that a dynamic block's header (some 60 bytes) costs little,
// few enough that the codes follow the changing content of a picture.
constexpr size_t kBlockSymbols = 16384;

}  // namespace

DeflateWriter::DeflateWriter(Sink sink)
    : sink_(std::move(sink)), head_(size_t(1) << kHashBits, -1), prev_(size_t(kWindow), -1) {
  block_.reserve(kBlockSymbols);
  out_.put(0x78, 8);  // zlib: Deflate with a 32 KB window,
  out_.put(0x01, 8);  // no dictionary (0x7801 is a multiple of 31)
}

bool DeflateWriter::write(const uint8_t* bytes, size_t n) {
  if (!ok_) return false;
  adler_ = adler32_update(adler_, bytes, n);
  window_.insert(window_.end(), bytes, bytes + n);
  if (window_.size() - size_t(pos_ - base_) >= kEncodeAt) encode(false);
  return ok_;
}

bool DeflateWriter::finish() {
  if (!ok_) return false;
  encode(true);
  deflate_detail::write_block(block_, true, &out_);
  block_.clear();
  out_.align();
  for (int shift : {24, 16, 8, 0}) out_.put(uint8_t(adler_ >> shift), 8);
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
      add_symbol({uint16_t(len), uint16_t(distance)});
      // Inside a long match only its last positions are hashed: a run then goes on
      // from a few bytes back, a distance without extra bits, not from the match's start.
      insert(pos_);
      const int first_hashed = len <= kInsertLimit ? 1 : len - kMinMatch;
      for (int i = first_hashed; i < len && pos_ + i + kMinMatch <= end; ++i) insert(pos_ + i);
      pos_ += len;
    } else {
      add_symbol({window_[size_t(pos_ - base_)], 0});
      if (avail >= kMinMatch) insert(pos_);
      ++pos_;
    }
    if (out_.bytes().size() >= kOutChunk) flush_bytes();
  }
  // Keep only the window the next matches may reach back into.
  if (pos_ - base_ > 2 * kWindow) {
    int64_t drop = pos_ - kWindow - base_;
    window_.erase(window_.begin(), window_.begin() + drop);
    base_ += drop;
  }
}

void DeflateWriter::add_symbol(deflate_detail::Symbol s) {
  block_.push_back(s);
  if (block_.size() < kBlockSymbols) return;
  deflate_detail::write_block(block_, false, &out_);
  block_.clear();
}

// Every whole byte goes; the bits of an unfinished byte wait in the bit output.
void DeflateWriter::flush_bytes() {
  std::vector<uint8_t>& bytes = out_.bytes();
  if (bytes.empty() || !ok_) return;
  ok_ = sink_(bytes.data(), bytes.size());
  bytes.clear();
}

}  // namespace plat
