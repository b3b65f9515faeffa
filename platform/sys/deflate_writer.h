// A small zlib stream encoder for the pictures the platform writes: the images of
// printed pages (PDF) and pictures of windows (PNG).
//
// Input arrives in pieces of any size (a row at a time) and compressed bytes leave
// through the sink as they are made, so a picture of any size needs only the 32 KB window,
// a little look-ahead, one block of symbols and one output buffer. The encoder finds
// repeated strings through a hash of three bytes with short chains (greedy, no lazy
// matching) and writes them in blocks of a bounded number of symbols, each with code
// tables built for its own symbol counts or with the fixed codes, whichever is shorter.
// Pictures are mostly long runs of one colour: with codes built per block a run of 258
// bytes costs a few bits, so a blank page or a flat window shrinks to a few kilobytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/sys/deflate_block.h"

namespace plat {

class DeflateWriter {
 public:
  // The sink receives the compressed bytes in order; false from it stops the encoder.
  using Sink = std::function<bool(const uint8_t* bytes, size_t n)>;
  explicit DeflateWriter(Sink sink);

  // Adds bytes to the stream. False once the sink has failed.
  bool write(const uint8_t* bytes, size_t n);
  // Encodes what remains, ends the last block and writes the Adler-32 trailer.
  bool finish();

 private:
  void encode(bool final);
  int longest_match(int64_t pos, int64_t avail, int64_t* distance) const;
  void insert(int64_t pos);
  uint32_t hash_at(int64_t pos) const;
  void add_symbol(deflate_detail::Symbol s);
  void flush_bytes();

  Sink sink_;
  bool ok_ = true;
  std::vector<uint8_t> window_;  // history (up to 32 KB before pos_) and pending input
  int64_t base_ = 0;             // stream position of window_[0]
  int64_t pos_ = 0;              // next stream position to encode
  std::vector<int64_t> head_;    // hash -> latest position with that hash, or -1
  std::vector<int64_t> prev_;    // position % 32K -> earlier position with the same hash
  uint32_t adler_ = 1;           // Adler-32 of the input so far
  std::vector<deflate_detail::Symbol> block_;  // symbols of the block not yet written
  deflate_detail::BitOutput out_;              // compressed bytes not yet given to the sink
};

}  // namespace plat
