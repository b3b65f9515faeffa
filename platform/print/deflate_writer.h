// A small zlib stream encoder for the images of printed pages.
//
// Input arrives in pieces of any size (a page row at a time) and compressed bytes leave
// through the sink as they are made, so a page of any size needs only the 32 KB window,
// a little look-ahead and one output buffer. The encoder finds repeated strings through a
// hash of three bytes with short chains and writes one block with the fixed Huffman
// codes: page images are mostly long runs of one colour, which become matches of 258
// bytes at a cost of about two bytes each, so fixed codes lose little against code tables
// built per block and keep the encoder short.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace plat {

class DeflateWriter {
 public:
  // The sink receives the compressed bytes in order; false from it stops the encoder.
  using Sink = std::function<bool(const uint8_t* bytes, size_t n)>;
  explicit DeflateWriter(Sink sink);

  // Adds bytes to the stream. False once the sink has failed.
  bool write(const uint8_t* bytes, size_t n);
  // Encodes what remains, ends the block and writes the Adler-32 trailer.
  bool finish();

 private:
  void encode(bool final);
  int longest_match(int64_t pos, int64_t avail, int64_t* distance) const;
  void insert(int64_t pos);
  uint32_t hash_at(int64_t pos) const;
  void put_bits(uint32_t value, int count);
  void put_symbol(int symbol);
  void put_match(int length, int64_t distance);
  void flush_bytes();

  Sink sink_;
  bool ok_ = true;
  std::vector<uint8_t> window_;  // history (up to 32 KB before pos_) and pending input
  int64_t base_ = 0;             // stream position of window_[0]
  int64_t pos_ = 0;              // next stream position to encode
  std::vector<int64_t> head_;    // hash -> latest position with that hash, or -1
  std::vector<int64_t> prev_;    // position % 32K -> earlier position with the same hash
  uint32_t adler_a_ = 1, adler_b_ = 0;
  uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;
  std::vector<uint8_t> out_;  // compressed bytes not yet given to the sink
};

}  // namespace plat
