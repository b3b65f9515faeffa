// The Group 4 (T.6) decoder of TIFF strips and tiles (tiff_g4.h).
//
// Each row is held as the list of its changing elements: the columns where the colour
// changes, starting from white (even entries turn white to black, odd entries black to
// white). The row above is the reference line; three sentinels at the width close it,
// so that b1 and b2 always exist. The coding modes place the next changing element a1
// relative to b1 (vertical), skip to b2 (pass), or give two run lengths (horizontal).
//
// Every code is looked up in tables indexed by the next 13 (run lengths) or 7 (modes)
// bits; bits past the end of the data read as zeros, but a code that ends beyond the
// data is an error, so a truncated strip never decodes into garbage and every loop is
// bounded by the bits really there. A row's list of changes is bounded too, so that a
// stream of empty runs cannot grow it without end.
#include "raster/tiff_g4.h"

#include <array>
#include <cstring>
#include <iterator>
#include <vector>

#include "core/error.h"

namespace {

// ---- Run-length codes (T.4 tables 2 and 3) ---------------------------------------------
struct run_code {
  uint16_t code;
  uint8_t bits;
  uint16_t run;
};

constexpr run_code kWhiteCodes[] = {
    // terminating codes, runs 0 to 63
    {0x35, 8, 0}, {0x07, 6, 1}, {0x07, 4, 2}, {0x08, 4, 3}, {0x0B, 4, 4}, {0x0C, 4, 5},
    {0x0E, 4, 6}, {0x0F, 4, 7}, {0x13, 5, 8}, {0x14, 5, 9}, {0x07, 5, 10}, {0x08, 5, 11},
    {0x08, 6, 12}, {0x03, 6, 13}, {0x34, 6, 14}, {0x35, 6, 15}, {0x2A, 6, 16},
    {0x2B, 6, 17}, {0x27, 7, 18}, {0x0C, 7, 19}, {0x08, 7, 20}, {0x17, 7, 21},
    {0x03, 7, 22}, {0x04, 7, 23}, {0x28, 7, 24}, {0x2B, 7, 25}, {0x13, 7, 26},
    {0x24, 7, 27}, {0x18, 7, 28}, {0x02, 8, 29}, {0x03, 8, 30}, {0x1A, 8, 31},
    {0x1B, 8, 32}, {0x12, 8, 33}, {0x13, 8, 34}, {0x14, 8, 35}, {0x15, 8, 36},
    {0x16, 8, 37}, {0x17, 8, 38}, {0x28, 8, 39}, {0x29, 8, 40}, {0x2A, 8, 41},
    {0x2B, 8, 42}, {0x2C, 8, 43}, {0x2D, 8, 44}, {0x04, 8, 45}, {0x05, 8, 46},
    {0x0A, 8, 47}, {0x0B, 8, 48}, {0x52, 8, 49}, {0x53, 8, 50}, {0x54, 8, 51},
    {0x55, 8, 52}, {0x24, 8, 53}, {0x25, 8, 54}, {0x58, 8, 55}, {0x59, 8, 56},
    {0x5A, 8, 57}, {0x5B, 8, 58}, {0x4A, 8, 59}, {0x4B, 8, 60}, {0x32, 8, 61},
    {0x33, 8, 62}, {0x34, 8, 63},
    // make-up codes, runs 64 to 1728
    {0x1B, 5, 64}, {0x12, 5, 128}, {0x17, 6, 192}, {0x37, 7, 256}, {0x36, 8, 320},
    {0x37, 8, 384}, {0x64, 8, 448}, {0x65, 8, 512}, {0x68, 8, 576}, {0x67, 8, 640},
    {0xCC, 9, 704}, {0xCD, 9, 768}, {0xD2, 9, 832}, {0xD3, 9, 896}, {0xD4, 9, 960},
    {0xD5, 9, 1024}, {0xD6, 9, 1088}, {0xD7, 9, 1152}, {0xD8, 9, 1216}, {0xD9, 9, 1280},
    {0xDA, 9, 1344}, {0xDB, 9, 1408}, {0x98, 9, 1472}, {0x99, 9, 1536}, {0x9A, 9, 1600},
    {0x18, 6, 1664}, {0x9B, 9, 1728},
};

constexpr run_code kBlackCodes[] = {
    // terminating codes, runs 0 to 63
    {0x37, 10, 0}, {0x02, 3, 1}, {0x03, 2, 2}, {0x02, 2, 3}, {0x03, 3, 4}, {0x03, 4, 5},
    {0x02, 4, 6}, {0x03, 5, 7}, {0x05, 6, 8}, {0x04, 6, 9}, {0x04, 7, 10}, {0x05, 7, 11},
    {0x07, 7, 12}, {0x04, 8, 13}, {0x07, 8, 14}, {0x18, 9, 15}, {0x17, 10, 16},
    {0x18, 10, 17}, {0x08, 10, 18}, {0x67, 11, 19}, {0x68, 11, 20}, {0x6C, 11, 21},
    {0x37, 11, 22}, {0x28, 11, 23}, {0x17, 11, 24}, {0x18, 11, 25}, {0xCA, 12, 26},
    {0xCB, 12, 27}, {0xCC, 12, 28}, {0xCD, 12, 29}, {0x68, 12, 30}, {0x69, 12, 31},
    {0x6A, 12, 32}, {0x6B, 12, 33}, {0xD2, 12, 34}, {0xD3, 12, 35}, {0xD4, 12, 36},
    {0xD5, 12, 37}, {0xD6, 12, 38}, {0xD7, 12, 39}, {0x6C, 12, 40}, {0x6D, 12, 41},
    {0xDA, 12, 42}, {0xDB, 12, 43}, {0x54, 12, 44}, {0x55, 12, 45}, {0x56, 12, 46},
    {0x57, 12, 47}, {0x64, 12, 48}, {0x65, 12, 49}, {0x52, 12, 50}, {0x53, 12, 51},
    {0x24, 12, 52}, {0x37, 12, 53}, {0x38, 12, 54}, {0x27, 12, 55}, {0x28, 12, 56},
    {0x58, 12, 57}, {0x59, 12, 58}, {0x2B, 12, 59}, {0x2C, 12, 60}, {0x5A, 12, 61},
    {0x66, 12, 62}, {0x67, 12, 63},
    // make-up codes, runs 64 to 1728
    {0x0F, 10, 64}, {0xC8, 12, 128}, {0xC9, 12, 192}, {0x5B, 12, 256}, {0x33, 12, 320},
    {0x34, 12, 384}, {0x35, 12, 448}, {0x6C, 13, 512}, {0x6D, 13, 576}, {0x4A, 13, 640},
    {0x4B, 13, 704}, {0x4C, 13, 768}, {0x4D, 13, 832}, {0x72, 13, 896}, {0x73, 13, 960},
    {0x74, 13, 1024}, {0x75, 13, 1088}, {0x76, 13, 1152}, {0x77, 13, 1216},
    {0x52, 13, 1280}, {0x53, 13, 1344}, {0x54, 13, 1408}, {0x55, 13, 1472},
    {0x5A, 13, 1536}, {0x5B, 13, 1600}, {0x64, 13, 1664}, {0x65, 13, 1728},
};

// Make-up codes of both colours, runs 1792 to 2560.
constexpr run_code kExtendedMakeUp[] = {
    {0x08, 11, 1792}, {0x0C, 11, 1856}, {0x0D, 11, 1920}, {0x12, 12, 1984},
    {0x13, 12, 2048}, {0x14, 12, 2112}, {0x15, 12, 2176}, {0x16, 12, 2240},
    {0x17, 12, 2304}, {0x1C, 12, 2368}, {0x1D, 12, 2432}, {0x1E, 12, 2496},
    {0x1F, 12, 2560},
};

constexpr int kRunBits = 13;  // the longest run-length code

// Entry of a lookup table indexed by the next bits: the code's length (0: no code
// starts with these bits) and its run.
struct run_entry {
  uint8_t bits;
  uint16_t run;
};
using run_table = std::array<run_entry, 1u << kRunBits>;

// Enters the codes; returns how many entries were already taken (0 for prefix-free
// codes, which the tables must be).
template <size_t N>
constexpr int enter(run_table& t, const run_code (&codes)[N]) {
  int clashes = 0;
  for (const run_code& c : codes) {
    const unsigned first = unsigned(c.code) << (kRunBits - c.bits);
    const unsigned span = 1u << (kRunBits - c.bits);
    for (unsigned i = 0; i < span; ++i) {
      if (t[first + i].bits != 0) ++clashes;
      t[first + i] = run_entry{c.bits, c.run};
    }
  }
  return clashes;
}

template <size_t N>
constexpr run_table make_run_table(const run_code (&codes)[N]) {
  run_table t{};
  enter(t, codes);
  enter(t, kExtendedMakeUp);
  return t;
}

template <size_t N>
constexpr int clashes_of(const run_code (&codes)[N]) {
  run_table t{};
  return enter(t, codes) + enter(t, kExtendedMakeUp);
}

static_assert(std::size(kWhiteCodes) == 64 + 27 && std::size(kBlackCodes) == 64 + 27 &&
              std::size(kExtendedMakeUp) == 13);
// Terminating codes for runs 0 to 63 in order, then make-up codes 64 to 1728 by 64.
template <size_t N>
constexpr bool runs_in_order(const run_code (&codes)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (codes[i].run != (i < 64 ? i : 64 * (i - 63))) return false;
  return true;
}

static_assert(runs_in_order(kWhiteCodes) && runs_in_order(kBlackCodes));
static_assert(clashes_of(kWhiteCodes) == 0, "white run codes must be prefix-free");
static_assert(clashes_of(kBlackCodes) == 0, "black run codes must be prefix-free");

constexpr run_table kWhiteTable = make_run_table(kWhiteCodes);
constexpr run_table kBlackTable = make_run_table(kBlackCodes);

// ---- Mode codes (T.6 table 1) ------------------------------------------------------------
enum coding_mode : uint8_t {
  kModeNone,        // 0000000: an end-of-line code or nothing
  kModePass,        // 0001
  kModeHorizontal,  // 001
  kModeVertical,    // 1, 011, 010, 000011, 000010, 0000011, 0000010
  kModeExtension,   // 0000001xxx: uncompressed mode and other extensions, not decoded
};

struct mode_code {
  uint8_t code;
  uint8_t bits;
  coding_mode mode;
  int8_t offset;  // a1 - b1 of the vertical modes
};

constexpr mode_code kModeCodes[] = {
    {0x1, 1, kModeVertical, 0},   {0x3, 3, kModeVertical, 1},  {0x2, 3, kModeVertical, -1},
    {0x1, 3, kModeHorizontal, 0}, {0x1, 4, kModePass, 0},      {0x3, 6, kModeVertical, 2},
    {0x2, 6, kModeVertical, -2},  {0x3, 7, kModeVertical, 3},  {0x2, 7, kModeVertical, -3},
    {0x1, 7, kModeExtension, 0},
};

constexpr int kModeBits = 7;
using mode_table = std::array<mode_code, 1u << kModeBits>;

constexpr mode_table make_mode_table() {
  mode_table t{};
  for (const mode_code& c : kModeCodes) {
    const unsigned first = unsigned(c.code) << (kModeBits - c.bits);
    for (unsigned i = 0; i < (1u << (kModeBits - c.bits)); ++i) t[first + i] = c;
  }
  return t;
}

constexpr mode_table kModeTable = make_mode_table();

constexpr uint32_t kEol = 0x001;  // 000000000001
constexpr int kEolBits = 12;

// ---- Bits --------------------------------------------------------------------------------
constexpr uint8_t reversed(uint8_t b) {
  b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// The strip's bits, most significant first (fill order 1) or least significant first.
struct bit_reader {
  const uint8_t* data;
  size_t size;
  bool lsb_first;
  size_t next = 0;     // next byte to load
  uint64_t acc = 0;    // loaded bits, the oldest highest
  int count = 0;       // bits loaded and not consumed
  uint64_t used = 0;   // bits consumed

  // The next n (<= 24) bits, zeros past the end.
  uint32_t peek(int n) {
    while (count < n) {
      uint8_t b = next < size ? data[next] : 0;
      if (lsb_first) b = reversed(b);
      ++next;
      acc = acc << 8 | b;
      count += 8;
    }
    return uint32_t(acc >> (count - n)) & ((1u << n) - 1);
  }
  // Consumes n bits; false when they reach past the data.
  bool skip(int n) {
    count -= n;
    used += uint64_t(n);
    return used <= uint64_t(size) * 8;
  }
};

// ---- Rows --------------------------------------------------------------------------------
constexpr int kBadData = ERR_BAD_FILE;
constexpr int kEndOfBlock = -1;  // EOFB met: decoding ends

struct g4_state {
  bit_reader bits;
  int width;
  std::vector<int> ref;  // changes of the row above, then three sentinels
  std::vector<int> cur;  // changes of the row being decoded
  size_t max_changes;
};

// One run of a colour (0 white, 1 black): make-up codes then a terminating code.
// Returns the run, or -1 for an unknown code or a code past the data.
int read_run(bit_reader& bits, int colour, int limit) {
  const run_table& table = colour ? kBlackTable : kWhiteTable;
  int run = 0;
  for (;;) {
    const run_entry e = table[bits.peek(kRunBits)];
    if (e.bits == 0 || !bits.skip(e.bits)) return -1;
    run += e.run;
    if (run > limit) return -1;  // bounds the make-up codes of one run
    if (e.run < 64) return run;
  }
}

// After an end-of-line code: the end of the facsimile block is a second one.
int end_of_block(bit_reader& bits) {
  if (bits.peek(kEolBits) != kEol || !bits.skip(kEolBits)) return kBadData;
  if (bits.peek(kEolBits) != kEol || !bits.skip(kEolBits)) return kBadData;
  return kEndOfBlock;
}

bool push_change(g4_state& s, int at) {
  if (s.cur.size() >= s.max_changes) return false;
  s.cur.push_back(at);
  return true;
}

// Decodes one row's changes into s.cur. Returns 0, kEndOfBlock or kBadData.
int decode_row(g4_state& s) {
  s.cur.clear();
  const int width = s.width;
  int a0 = -1;
  int colour = 0;
  size_t ri = 0;  // first reference change to the right of a0
  while (a0 < width) {
    while (s.ref[ri] <= a0) ++ri;
    size_t b = ri;
    if (int(b & 1) != colour) ++b;  // b1 has the colour opposite to a0's
    const int b1 = s.ref[b];
    const int b2 = s.ref[b + 1];
    const mode_code m = kModeTable[s.bits.peek(kModeBits)];
    switch (m.mode) {
      case kModeNone:
        return end_of_block(s.bits);
      case kModeExtension:
        return kBadData;
      case kModePass:
        if (!s.bits.skip(m.bits)) return kBadData;
        a0 = b2;
        break;
      case kModeHorizontal: {
        if (!s.bits.skip(m.bits)) return kBadData;
        const int start = a0 < 0 ? 0 : a0;
        const int run1 = read_run(s.bits, colour, width - start);
        if (run1 < 0) return kBadData;
        const int run2 = read_run(s.bits, colour ^ 1, width - start - run1);
        if (run2 < 0) return kBadData;
        const int a1 = start + run1;
        if (!push_change(s, a1) || !push_change(s, a1 + run2)) return kBadData;
        a0 = a1 + run2;
        break;
      }
      case kModeVertical: {
        if (!s.bits.skip(m.bits)) return kBadData;
        const int a1 = b1 + m.offset;
        if (a1 < 0 || a1 < a0 || a1 > width) return kBadData;
        if (!push_change(s, a1)) return kBadData;
        a0 = a1;
        colour ^= 1;
        break;
      }
    }
  }
  return 0;
}

// The row's pixels from its changes: black between an even change and the next.
void put_row(const std::vector<int>& changes, int width, uint8_t* row) {
  for (size_t i = 0; i < changes.size(); i += 2) {
    const int from = changes[i];
    const int to = i + 1 < changes.size() ? changes[i + 1] : width;
    if (to > from) std::memset(row + from, 1, size_t(to - from));
  }
}

// The decoded row becomes the reference line of the next.
void next_reference(g4_state& s) {
  s.ref.swap(s.cur);
  s.ref.insert(s.ref.end(), 3, s.width);
}

}  // namespace

int tiff_g4_decode(const uint8_t* data, size_t size, int width, int rows, int fill_order,
                   uint8_t* out) {
  if (width <= 0 || rows < 0 || (!data && size > 0) || (!out && rows > 0)) return kBadData;
  if (rows == 0) return 0;
  std::memset(out, 0, size_t(width) * size_t(rows));
  g4_state s{bit_reader{data, size, fill_order != 1}, width, {}, {}, 0};
  s.max_changes = size_t(width) * 2 + 8;
  s.cur.reserve(s.max_changes);
  s.ref.reserve(s.max_changes + 3);
  s.ref.assign(3, width);  // the all-white row above the first
  for (int r = 0; r < rows; ++r) {
    const int rc = decode_row(s);
    uint8_t* row = out + size_t(r) * size_t(width);
    if (rc == kBadData) return kBadData;
    put_row(s.cur, width, row);
    if (rc == kEndOfBlock) return 0;
    next_reference(s);
  }
  return 0;
}
