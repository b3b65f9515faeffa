// Bit reading for the buffered reader: most-significant-first with JPEG byte stuffing,
// plain most-significant-first (LZW), and least-significant-first (Deflate).
//
// The bit mask (the next bit, most significant first) and the bit counter (the next
// bit, least significant first) move in step: each bit halves one and doubles the
// other, and when the mask runs out the position moves to the next byte. The buffer
// is refilled lazily when that byte lies beyond it, and the stuffing rule's look-ahead
// reads past the buffer's end through the file itself, so a segment may span buffers.
#include <algorithm>

#include "core/error.h"
#include "core/reader.h"
#include "core/reader_state.h"

using namespace rd_detail;

namespace {

constexpr int kEnd = -1;     // no byte left
constexpr int kMarker = 2;   // a JPEG marker follows the current byte

void next_bit_position(entry& e) {
  e.bit_mask >>= 1;
  e.bit_counter <<= 1;
  if (e.bit_mask == 0) {
    ++e.pos;
    e.bit_mask = 128;
    e.bit_counter = 1;
  }
}

// The next bit with the mask (msb) or the counter (lsb); kEnd, with gblerr 2, at the end.
int next_bit(bool msb) {
  if (!have_byte()) {
    set_gblerr(ERR_FILE_ACCESS);
    return kEnd;
  }
  entry& e = cur();
  const int bit = (cur_byte(e) & (msb ? e.bit_mask : e.bit_counter)) ? 1 : 0;
  next_bit_position(e);
  return bit;
}

// The next bit of an entropy-coded segment: 0 or 1, kMarker (nothing consumed) or kEnd.
int next_stuffed_bit() {
  if (!have_byte()) {
    set_gblerr(ERR_FILE_ACCESS);
    return kEnd;
  }
  entry& e = cur();
  const int byte = cur_byte(e);
  if (e.bit_mask != 1) {
    const int bit = (byte & e.bit_mask) ? 1 : 0;
    next_bit_position(e);
    return bit;
  }
  // The last bit of its byte. The next byte of data follows it, or follows the stuffed
  // 0x00 after a 0xFF; a 0xFF there followed by anything but 0 starts a marker.
  const int64_t next = e.pos + (byte == 0xFF ? 2 : 1);
  if (peek_byte(e, next) == 0xFF && peek_byte(e, next + 1) > 0) return kMarker;
  const int bit = byte & 1;
  e.pos = std::min(next, e.size);
  e.bit_mask = 128;
  e.bit_counter = 1;
  return bit;
}

// Reads n bits (at most 32) with `next`, the first read becoming the most significant
// (msb_first) or bit 0; 0 when the end is met.
template <class Next> uint32_t gather(int n, bool msb_first, Next next) {
  n = std::min(n, 32);
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    const int bit = next();
    if (bit == kEnd) return 0;
    const uint32_t b = bit == 1 ? 1u : 0u;
    v = msb_first ? (v << 1 | b) : (v | b << i);
  }
  return v;
}

}  // namespace

int rd_read_bit() {
  const int bit = next_stuffed_bit();
  return bit == kEnd ? 0 : bit;
}

uint32_t rd_read_bits(int n) { return gather(n, true, next_stuffed_bit); }

int rd_read_bit_msb() {
  const int bit = next_bit(true);
  return bit == kEnd ? 0 : bit;
}

uint32_t rd_read_bits_msb(int n) {
  if (n == 8 && cur().bit_mask == 128) return static_cast<uint32_t>(rd_read_byte());
  return gather(n, true, [] { return next_bit(true); });
}

int rd_read_bit_lsb() {
  const int bit = next_bit(false);
  return bit == kEnd ? 0 : bit;
}

uint32_t rd_read_bits_lsb(int n) {
  return gather(n, false, [] { return next_bit(false); });
}

uint32_t rd_read_code_lsb(int n) {
  return gather(n, true, [] { return next_bit(false); });
}

uint32_t rd_read_bits_lsb_skip(int n, int64_t p1, int64_t p2) {
  return gather(n, false, [p1, p2] {
    entry& e = cur();
    // Each byte is entered at a whole byte; one at p1 or p2 is passed over.
    for (int k = 0; k < 2 && e.bit_mask == 128 && (e.pos == p1 || e.pos == p2); ++k) ++e.pos;
    return next_bit(false);
  });
}

int rd_bit_mask() { return cur().bit_mask; }
