// The parts of the Deflate writer (deflate_writer.h) below its string matcher: the
// symbols the matcher leaves, the bit output, Huffman codes built from symbol counts
// (deflate_codes.cpp) and the writing of one block (deflate_block.cpp).
//
// Deflate describes a code by its lengths only; the codes themselves follow from them
// (shorter codes first, then by symbol), so the encoder builds lengths that suit the
// counts of one block and derives the codes the decoder will derive.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat::deflate_detail {

// A literal byte (distance 0) or a match of `value` bytes `distance` bytes back.
struct Symbol {
  uint16_t value;
  uint16_t distance;
};

// Bits packed from the least significant bit of each byte, as Deflate stores them.
class BitOutput {
 public:
  void put(uint32_t value, int count);
  void align();  // fills the last byte with zero bits
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;  // whole bytes not yet taken
  uint64_t buffer_ = 0;
  int count_ = 0;
};

// The largest alphabet: 288 literal/length symbols of the fixed code.
constexpr int kMaxSymbols = 288;

struct HuffmanCode {
  int symbols = 0;                   // size of the alphabet
  uint8_t length[kMaxSymbols] = {};  // 0: the symbol has no code
  uint16_t bits[kMaxSymbols] = {};   // the code, bit-reversed for output from bit 0
};

// Lengths of at most `max_length` bits for the `n` counts (n <= kMaxSymbols), short
// codes for frequent symbols, and their codes. Every symbol counted gets a code; when
// fewer than two are counted, symbols that never occur get one too, so that the code
// is always complete, the form every decoder accepts.
void build_code(const uint32_t* counts, int n, int max_length, HuffmanCode* code);
// The canonical codes of the lengths already in `code` (its `symbols` set).
void assign_codes(HuffmanCode* code);

// Writes the symbols as one block with an end-of-block code; `final` marks the last.
void write_block(const std::vector<Symbol>& symbols, bool final, BitOutput* out);

}  // namespace plat::deflate_detail
