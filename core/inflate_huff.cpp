// Decoding tables of canonical Huffman codes (RFC 1951, 3.2.2).
//
// Bits arrive least significant first while a code is defined most significant bit
// first, so a table is indexed by the next `bits` input bits, which are the code's
// first bits reversed. A code of length l <= bits fills every 2^(bits - l)th entry
// from its reversed value. Longer codes that share their first `bits` bits share one
// sub-table, placed after the first level and as large as the longest of them needs;
// the first-level entry links to it. The size of the whole table is thus computed
// from the code lengths before anything is written, and only over-subscription (more
// codes than the lengths allow) or incompleteness could make the computation wrong:
// both are refused beforehand, as the RFC requires of a valid stream. The one
// exception is a code-length code: its codes are at most 7 bits long, so its table has
// one level only and an incomplete code is built as it stands, its missing codes
// refused when the stream uses them.
#include "core/error.h"
#include "core/inflate_state.h"
#include "core/memory.h"

namespace {

constexpr int kMaxBits = 15;

uint32_t reverse_bits(uint32_t code, uint32_t n) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < n; ++i, code >>= 1) r = r << 1 | (code & 1);
  return r;
}

// The code lengths in canonical order: counts per length and the symbols sorted by
// (length, symbol).
struct code_set {
  uint16_t count[kMaxBits + 1] = {};
  uint16_t sorted[288] = {};
  int max_length = 0;
};

// What incomplete codes are accepted.
enum class incomplete { refused, single, any };

// 0 when the lengths make a complete code (or an acceptable incomplete one), else 14.
int sort_codes(const uint8_t* lengths, int n, incomplete accept, code_set* c) {
  const bool lenient = accept == incomplete::single;
  for (int s = 0; s < n; ++s) c->count[lengths[s]]++;
  c->count[0] = 0;
  int left = 1;  // codes still free at the current length
  for (int l = 1; l <= kMaxBits; ++l) {
    left = left * 2 - c->count[l];
    if (left < 0) return ERR_BAD_FILE;
    if (c->count[l]) c->max_length = l;
  }
  if (c->max_length == 0) return lenient ? 0 : ERR_BAD_FILE;
  if (left > 0 && !(lenient && c->max_length == 1) && accept != incomplete::any) return ERR_BAD_FILE;
  uint16_t next[kMaxBits + 2] = {};
  for (int l = 1; l <= kMaxBits; ++l) next[l + 1] = uint16_t(next[l] + c->count[l]);
  for (int s = 0; s < n; ++s)
    if (lengths[s]) c->sorted[next[lengths[s]]++] = uint16_t(s);
  return 0;
}

// Index bits of the sub-table that starts with a code of length `length`: as many as
// the codes still to be placed under the same first bits need (`remaining` counts the
// codes of each length not placed yet).
uint32_t sub_table_bits(const uint16_t* remaining, int length, int root, int max_length) {
  uint32_t bits = uint32_t(length - root);
  int left = 1 << bits;
  while (int(bits) + root < max_length) {
    left -= remaining[bits + root];
    if (left <= 0) break;
    ++bits;
    left <<= 1;
  }
  return bits;
}

// Walks the codes in canonical order; with `t` null only counts the entries needed.
uint32_t place_codes(const code_set& c, int root, const uint32_t* entries, inflate_table* t) {
  uint16_t remaining[kMaxBits + 1];
  for (int l = 0; l <= kMaxBits; ++l) remaining[l] = c.count[l];
  uint32_t* e = t ? t->entries : nullptr;
  uint32_t size = 1u << root;
  uint32_t code = 0;  // canonical code, most significant bit first
  uint32_t prefix = ~0u, sub = 0, sub_bits = 0;
  int i = 0;
  for (int l = 1; l <= c.max_length; ++l, code <<= 1) {
    for (int k = 0; k < c.count[l]; ++k, ++code, ++i) {
      const uint32_t entry = entries[c.sorted[i]];
      if (l <= root) {
        if (e)
          for (uint32_t j = reverse_bits(code, l); j < (1u << root); j += 1u << l)
            e[j] = entry | uint32_t(l);
      } else {
        const uint32_t first = code >> (l - root);
        if (first != prefix) {
          prefix = first;
          sub_bits = sub_table_bits(remaining, l, root, c.max_length);
          sub = size;
          size += 1u << sub_bits;
          if (e) e[reverse_bits(first, root)] = sub << 16 | kEntryLink | sub_bits << 4 | root;
        }
        const uint32_t rest = uint32_t(l - root);
        if (e)
          for (uint32_t j = reverse_bits(code, rest); j < (1u << sub_bits); j += 1u << rest)
            e[sub + j] = entry | rest;
      }
      remaining[l]--;
    }
  }
  return size;
}

}  // namespace

namespace {

int build(const uint8_t* lengths, int n, int root_bits, const uint32_t* entries,
          incomplete accept, inflate_table* t) {
  code_set c;
  if (int err = sort_codes(lengths, n, accept, &c)) return err;
  // An incomplete code in a table of two levels would be sized wrong.
  if (accept == incomplete::any && c.max_length > root_bits) return ERR_BAD_FILE;
  // An empty code still gets a (one-bit) table, whose entries all refuse a lookup.
  const int root = c.max_length == 0 ? 1 : (c.max_length < root_bits ? c.max_length : root_bits);
  const uint32_t size = place_codes(c, root, entries, nullptr);
  if (t->capacity < size) {
    realloc_mem(&t->entries, size_t(size) * sizeof(uint32_t));
    t->capacity = size;
  }
  for (uint32_t j = 0; j < size; ++j) t->entries[j] = kEntryInvalid;
  t->bits = uint32_t(root);
  place_codes(c, root, entries, t);
  return 0;
}

}  // namespace

int huff_build(const uint8_t* lengths, int n, int root_bits, const uint32_t* entries,
               bool lenient, inflate_table* t) {
  return build(lengths, n, root_bits, entries,
               lenient ? incomplete::single : incomplete::refused, t);
}

int huff_build_one_level(const uint8_t* lengths, int n, int root_bits,
                         const uint32_t* entries, inflate_table* t) {
  return build(lengths, n, root_bits, entries, incomplete::any, t);
}

uint32_t huff_code_value(uint32_t index, uint32_t bits) { return reverse_bits(index, bits); }

void huff_free(inflate_table* t) {
  free_mem(&t->entries);
  t->capacity = 0;
  t->bits = 0;
}

namespace {

struct fixed_tables {
  inflate_table literal;
  inflate_table distance;
};

// Built on first use and kept for the life of the process.
const fixed_tables& fixed() {
  static const fixed_tables* tables = [] {
    static fixed_tables f;
    uint8_t lengths[288];
    for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    huff_build(lengths, 288, kLiteralRootBits, kLiteralEntries.data(), false, &f.literal);
    uint8_t distances[32];
    for (uint8_t& l : distances) l = 5;
    huff_build(distances, 32, kDistanceRootBits, kDistanceEntries.data(), false, &f.distance);
    return &f;
  }();
  return *tables;
}

}  // namespace

const inflate_table* fixed_literal_table() { return &fixed().literal; }
const inflate_table* fixed_distance_table() { return &fixed().distance; }
