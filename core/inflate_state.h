// The working state of one inflate_blocks call, shared by the files of the decoder
// (inflate_input.cpp, inflate_output.cpp, inflate_huff.cpp, inflate_codes.cpp,
// inflate_blocks.cpp) and nothing else.
//
// Input: the decoder keeps its own 64-bit bit buffer, filled from a chunk of bytes
// taken from the reader with rd_read_bytes; at the end the bytes it did not use are
// handed back (rd_seek), so the reader stays the only source of bytes and is left
// just after the stream. Bits are taken least significant first; a Huffman code is
// looked up with the next bits as they come, through tables indexed by the bit-reversed
// code (inflate_huff.cpp).
//
// Output: a local buffer holding the last bytes produced (the window, at most 64 KiB)
// followed by room for new bytes; when the room runs low the new bytes are appended to
// the line store in one piece, the check value is updated, and the window slides to
// the front.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/inflate.h"

// ---- Table entries -------------------------------------------------------------------
// bits 0-3: code bits to consume (a link: the first-level index bits)
// bits 4-7: extra bits that follow the code (a link: the sub-table's index bits)
// bits 8-15: kind flags below (none: a length or distance base)
// bits 16-31: literal byte, base value, code-length symbol or sub-table offset
constexpr uint32_t kEntryLiteral = 0x8000;
constexpr uint32_t kEntryEnd = 0x4000;
constexpr uint32_t kEntryLink = 0x2000;
constexpr uint32_t kEntryInvalid = 0x1000;

constexpr uint32_t entry_code_bits(uint32_t e) { return e & 15; }
constexpr uint32_t entry_extra_bits(uint32_t e) { return (e >> 4) & 15; }
constexpr uint32_t entry_value(uint32_t e) { return e >> 16; }

constexpr int kLiteralRootBits = 11;
constexpr int kDistanceRootBits = 8;
constexpr int kLengthRootBits = 7;

// Entries of each alphabet's symbols, without their code lengths.
extern const std::array<uint32_t, 288> kLiteralEntries;
extern const std::array<uint32_t, 32> kDistanceEntries;
extern const std::array<uint32_t, 19> kCodeLengthEntries;
// The order in which a dynamic block stores the code-length code's lengths.
extern const std::array<uint8_t, 19> kCodeLengthOrder;

// Builds `t` from the code lengths of symbols 0..n-1 (each 0..15), the entry of each
// symbol taken from `entries`. Over-subscribed lengths are refused; an incomplete code
// is accepted only when `lenient` and its one code has one bit (the RFC's single
// distance code), or, when `lenient`, with no code at all (a table that refuses every
// lookup). Returns 0, or 14.
int huff_build(const uint8_t* lengths, int n, int root_bits, const uint32_t* entries,
               bool lenient, inflate_table* t);
// huff_build for a code whose longest code fits the first level (the code-length
// code): an incomplete code is built too, its missing codes left refusing a lookup; an
// empty or over-subscribed one is refused (14).
int huff_build_one_level(const uint8_t* lengths, int n, int root_bits,
                         const uint32_t* entries, inflate_table* t);
// The code, most significant bit first, that a first-level index of `bits` bits stands for.
uint32_t huff_code_value(uint32_t index, uint32_t bits);
void huff_free(inflate_table* t);
// The fixed literal/length and distance tables (built once, never freed).
const inflate_table* fixed_literal_table();
const inflate_table* fixed_distance_table();

// ---- State -----------------------------------------------------------------------------
constexpr size_t kInputChunk = 65536;
constexpr size_t kInputMargin = 32;       // the fast loop needs this many bytes ahead
constexpr size_t kHistory = 65536;        // largest window kept
constexpr size_t kOutputChunk = 262144;   // new bytes between two flushes
constexpr size_t kOutputSlack = 320;      // room one step may need, with overshoot
constexpr size_t kOutputSize = kHistory + kOutputChunk + kOutputSlack;

struct inflate_state {
  inflater_t* inf;
  // input
  uint8_t* in_buf;
  const uint8_t* in;
  const uint8_t* in_end;
  uint64_t bits;      // bit buffer: the next bit is bit 0
  uint32_t count;     // valid bits in `bits`
  uint32_t phantom;   // zero bytes added after the end of the input
  int64_t in_allowed; // bytes that may still be taken from the reader
  bool source_ended;  // the caller's source has no more bytes (inflater_t::source)
  // output
  uint8_t* out_buf;
  uint8_t* out;         // next byte to write
  uint8_t* flushed;     // bytes before it are already in the store
  uint8_t* flush_at;    // flush before decoding a symbol once `out` passes it
  int64_t base;         // bytes the store held before this call
  int64_t produced;     // bytes appended to the store by this call
  int64_t budget;       // bytes this call may append (memory budget at its start)
  uint32_t window;      // largest distance allowed
  uint32_t check;       // running check value
  uint32_t (*update)(uint32_t, const void*, size_t);
  int error;            // gblerr code met, 0 while decoding goes on
};

// ---- Input (inflate_input.cpp) ------------------------------------------------------
// Takes more bytes from the reader when fewer than the fast loop needs are left.
void input_refill(inflate_state* s);
// Makes at least n (<= 56) bits available, adding zero bytes past the end of the input.
void input_need(inflate_state* s, uint32_t n);
inline uint32_t input_peek(const inflate_state* s, uint32_t n) {
  return uint32_t(s->bits & ((uint64_t(1) << n) - 1));
}
inline void input_drop(inflate_state* s, uint32_t n) {
  s->bits >>= n;
  s->count -= n;
}
// Reads n (<= 32) bits, least significant first.
uint32_t input_bits(inflate_state* s, uint32_t n);
// 1 when bits past the end of the input were used: end of data (gblerr 2).
bool input_overrun(inflate_state* s);
// Drops the bits up to the next byte boundary.
void input_align(inflate_state* s);
// Whole unread bytes held in the bit buffer (not counting the added zeros).
uint32_t input_buffered_bytes(const inflate_state* s);
// Hands the unread bytes back to the reader.
void input_give_back(inflate_state* s);

// ---- Output (inflate_output.cpp) ---------------------------------------------------
// Appends the new bytes to the store; with `slide`, keeps the window at the front.
// Sets s->error 1 beyond the memory budget.
void output_flush(inflate_state* s, bool slide);
// Bytes the store holds once the pending ones are flushed (the limit applies to it).
inline int64_t output_total(const inflate_state* s) {
  return s->base + s->produced + (s->out - s->flushed);
}
// 0 when the distance is allowed, else sets s->error 14.
inline bool output_distance_ok(inflate_state* s, const uint8_t* out, uint32_t distance) {
  if (distance <= s->window && distance <= uint64_t(out - s->out_buf)) return true;
  s->error = ERR_BAD_FILE;
  return false;
}

// ---- Blocks (inflate_codes.cpp, inflate_blocks.cpp) -----------------------------------
// Decodes the literal/length and distance codes of one block with the given tables.
void inflate_codes(inflate_state* s, const inflate_table* lit, const inflate_table* dist);
void inflate_stored(inflate_state* s);
void inflate_fixed(inflate_state* s);
void inflate_dynamic(inflate_state* s);
void inflate_fail(inflate_state* s);
int inflate_dynamic_tables(inflate_state* s);
int inflate_read_code_lengths(inflate_state* s, int count, uint8_t* lengths);
// Sets s->error for an invalid entry `e` of table `t`: 2 when the bits it stands for
// run past the end of the input, else 14.
void inflate_bad_code(inflate_state* s, const inflate_table* t, uint32_t e);
