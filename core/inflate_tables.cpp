// The constant tables of Deflate (RFC 1951, 3.2.5 to 3.2.7) in the form of decoding
// table entries: what each literal/length, distance and code-length symbol stands for.
// Symbols the format reserves (literal/length 286-287, distances 30-31) are entries
// that refuse the code, so that a stream using them is a bad stream, not a read past
// a table.
#include "core/inflate_state.h"

namespace {

constexpr uint32_t base_entry(uint32_t base, uint32_t extra) { return base << 16 | extra << 4; }

constexpr std::array<uint32_t, 288> make_literal_entries() {
  std::array<uint32_t, 288> e{};
  for (uint32_t s = 0; s < 256; ++s) e[s] = s << 16 | kEntryLiteral;
  e[256] = kEntryEnd;
  // Lengths 3..258: four codes per extra-bit count from 1 to 5, the last code alone.
  uint32_t base = 3;
  for (uint32_t s = 257; s < 285; ++s) {
    const uint32_t extra = s < 265 ? 0 : (s - 261) / 4;
    e[s] = base_entry(base, extra);
    base += 1u << extra;
  }
  e[285] = base_entry(258, 0);
  e[286] = e[287] = kEntryInvalid;
  return e;
}

constexpr std::array<uint32_t, 32> make_distance_entries() {
  std::array<uint32_t, 32> e{};
  uint32_t base = 1;
  for (uint32_t s = 0; s < 30; ++s) {
    const uint32_t extra = s < 4 ? 0 : s / 2 - 1;
    e[s] = base_entry(base, extra);
    base += 1u << extra;
  }
  e[30] = e[31] = kEntryInvalid;
  return e;
}

constexpr std::array<uint32_t, 19> make_code_length_entries() {
  std::array<uint32_t, 19> e{};
  for (uint32_t s = 0; s < 19; ++s) e[s] = s << 16;
  return e;
}

}  // namespace

extern const std::array<uint32_t, 288> kLiteralEntries = make_literal_entries();
extern const std::array<uint32_t, 32> kDistanceEntries = make_distance_entries();
extern const std::array<uint32_t, 19> kCodeLengthEntries = make_code_length_entries();
extern const std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

static_assert(entry_value(make_literal_entries()[284]) == 227 &&
              entry_extra_bits(make_literal_entries()[284]) == 5);
static_assert(entry_value(make_literal_entries()[264]) == 10 &&
              entry_extra_bits(make_literal_entries()[265]) == 1);
static_assert(entry_value(make_distance_entries()[29]) == 24577 &&
              entry_extra_bits(make_distance_entries()[29]) == 13);
