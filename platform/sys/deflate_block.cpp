// One block of the Deflate writer (see deflate_block.h): the symbols gathered since the
// last block are counted, codes are built for those counts, and the block goes out with
// them (a dynamic block) or with the fixed codes, whichever takes fewer bits.
//
// A dynamic block's header describes its two codes by their lengths, run-length coded
// (symbol 16 repeats the last length, 17 and 18 give runs of zeros) and themselves
// Huffman coded with a third, small code whose lengths come first, in a fixed order
// that puts the lengths least likely to be used last (RFC 1951, 3.2.7).
#include <algorithm>
#include <iterator>

#include "platform/sys/deflate_block.h"

namespace plat::deflate_detail {

namespace {

constexpr int kLiteralSymbols = 286;  // literals, end of block, 29 length codes
constexpr int kDistanceSymbols = 30;
constexpr int kLengthCodeSymbols = 19;
constexpr int kEndOfBlock = 256;
constexpr int kLongestCode = 15;
constexpr int kLongestLengthCode = 7;

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                               193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the lengths of the code-length code are sent.
constexpr uint8_t kLengthCodeOrder[kLengthCodeSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
// Extra bits of the code-length symbols 16, 17 and 18.
constexpr int kRepeatExtra[3] = {2, 3, 7};

// Index of the last table entry not above `value`.
template <size_t N>
int code_index(const int (&base)[N], int value) {
  return int(std::upper_bound(std::begin(base), std::end(base), value) - std::begin(base)) - 1;
}

struct BlockCodes {
  HuffmanCode literal, distance;
};

struct Counts {
  uint32_t literal[kLiteralSymbols] = {};
  uint32_t distance[kDistanceSymbols] = {};
};

// A symbol of the code-length alphabet and the value of its extra bits.
struct LengthOp {
  uint8_t symbol, extra;
};

struct DynamicHeader {
  int literals = 0, distances = 0, lengths_sent = 0;  // HLIT + 257, HDIST + 1, HCLEN + 4
  std::vector<LengthOp> ops;
  HuffmanCode length_code;
  uint64_t bits = 0;
};

// The fixed code: literals 0-143 in 8 bits, 144-255 in 9, 256-279 in 7, 280-287 in 8;
// every distance in 5.
BlockCodes make_fixed_codes() {
  BlockCodes c;
  c.literal.symbols = 288;
  for (int s = 0; s < 288; ++s) c.literal.length[s] = uint8_t(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
  c.distance.symbols = kDistanceSymbols;
  std::fill_n(c.distance.length, kDistanceSymbols, uint8_t(5));
  assign_codes(&c.literal);
  assign_codes(&c.distance);
  return c;
}

const BlockCodes& fixed_codes() {
  static const BlockCodes codes = make_fixed_codes();
  return codes;
}

Counts count_symbols(const std::vector<Symbol>& symbols) {
  Counts c;
  for (const Symbol& s : symbols) {
    if (s.distance == 0) {
      ++c.literal[s.value];
    } else {
      ++c.literal[257 + code_index(kLengthBase, s.value)];
      ++c.distance[code_index(kDistBase, s.distance)];
    }
  }
  c.literal[kEndOfBlock] = 1;
  return c;
}

// Bits of the block's codes (extra bits aside, which are the same under every code).
uint64_t code_bits(const BlockCodes& codes, const Counts& c) {
  uint64_t bits = 0;
  for (int s = 0; s < kLiteralSymbols; ++s) bits += uint64_t(c.literal[s]) * codes.literal.length[s];
  for (int s = 0; s < kDistanceSymbols; ++s) bits += uint64_t(c.distance[s]) * codes.distance.length[s];
  return bits;
}

// The lengths of both codes, one sequence, as code-length symbols.
std::vector<LengthOp> run_lengths(const uint8_t* lengths, int n) {
  std::vector<LengthOp> ops;
  for (int i = 0; i < n;) {
    const uint8_t len = lengths[i];
    int run = 1;
    while (i + run < n && lengths[i + run] == len) ++run;
    i += run;
    if (len == 0) {
      for (; run >= 11; run -= std::min(run, 138)) ops.push_back({18, uint8_t(std::min(run, 138) - 11)});
      if (run >= 3) {
        ops.push_back({17, uint8_t(run - 3)});
        run = 0;
      }
    } else {
      ops.push_back({len, 0});
      for (--run; run >= 3; run -= std::min(run, 6)) ops.push_back({16, uint8_t(std::min(run, 6) - 3)});
    }
    for (; run > 0; --run) ops.push_back({len, 0});
  }
  return ops;
}

DynamicHeader dynamic_header(const BlockCodes& codes) {
  DynamicHeader h;
  h.literals = kLiteralSymbols;
  while (h.literals > 257 && !codes.literal.length[h.literals - 1]) --h.literals;
  h.distances = kDistanceSymbols;
  while (h.distances > 1 && !codes.distance.length[h.distances - 1]) --h.distances;
  uint8_t lengths[kLiteralSymbols + kDistanceSymbols];
  std::copy_n(codes.literal.length, h.literals, lengths);
  std::copy_n(codes.distance.length, h.distances, lengths + h.literals);
  h.ops = run_lengths(lengths, h.literals + h.distances);
  uint32_t counts[kLengthCodeSymbols] = {};
  for (const LengthOp& op : h.ops) ++counts[op.symbol];
  build_code(counts, kLengthCodeSymbols, kLongestLengthCode, &h.length_code);
  h.lengths_sent = kLengthCodeSymbols;
  while (h.lengths_sent > 4 && !h.length_code.length[kLengthCodeOrder[h.lengths_sent - 1]]) --h.lengths_sent;
  h.bits = 5 + 5 + 4 + 3 * uint64_t(h.lengths_sent);
  for (const LengthOp& op : h.ops)
    h.bits += h.length_code.length[op.symbol] + (op.symbol >= 16 ? kRepeatExtra[op.symbol - 16] : 0);
  return h;
}

void put_header(const DynamicHeader& h, BitOutput* out) {
  out->put(uint32_t(h.literals - 257), 5);
  out->put(uint32_t(h.distances - 1), 5);
  out->put(uint32_t(h.lengths_sent - 4), 4);
  for (int i = 0; i < h.lengths_sent; ++i) out->put(h.length_code.length[kLengthCodeOrder[i]], 3);
  for (const LengthOp& op : h.ops) {
    out->put(h.length_code.bits[op.symbol], h.length_code.length[op.symbol]);
    if (op.symbol >= 16) out->put(op.extra, kRepeatExtra[op.symbol - 16]);
  }
}

void put_symbols(const std::vector<Symbol>& symbols, const BlockCodes& codes, BitOutput* out) {
  const HuffmanCode& lit = codes.literal;
  const HuffmanCode& dist = codes.distance;
  for (const Symbol& s : symbols) {
    if (s.distance == 0) {
      out->put(lit.bits[s.value], lit.length[s.value]);
      continue;
    }
    const int li = code_index(kLengthBase, s.value);
    out->put(lit.bits[257 + li], lit.length[257 + li]);
    out->put(uint32_t(s.value - kLengthBase[li]), kLengthExtra[li]);
    const int di = code_index(kDistBase, s.distance);
    out->put(dist.bits[di], dist.length[di]);
    out->put(uint32_t(s.distance - kDistBase[di]), kDistExtra[di]);
  }
  out->put(lit.bits[kEndOfBlock], lit.length[kEndOfBlock]);
}

}  // namespace

void BitOutput::put(uint32_t value, int count) {
  buffer_ |= uint64_t(value) << count_;
  count_ += count;
  while (count_ >= 8) {
    bytes_.push_back(uint8_t(buffer_));
    buffer_ >>= 8;
    count_ -= 8;
  }
}

void BitOutput::align() {
  if (count_ > 0) put(0, 8 - count_);
}

void write_block(const std::vector<Symbol>& symbols, bool final, BitOutput* out) {
  const Counts counts = count_symbols(symbols);
  BlockCodes dynamic;
  build_code(counts.literal, kLiteralSymbols, kLongestCode, &dynamic.literal);
  build_code(counts.distance, kDistanceSymbols, kLongestCode, &dynamic.distance);
  const DynamicHeader header = dynamic_header(dynamic);
  const bool fixed = code_bits(fixed_codes(), counts) <= header.bits + code_bits(dynamic, counts);
  out->put(final ? 1 : 0, 1);
  out->put(fixed ? 1 : 2, 2);
  if (!fixed) put_header(header, out);
  put_symbols(symbols, fixed ? fixed_codes() : dynamic, out);
}

}  // namespace plat::deflate_detail
