// The literal/length loop of fixed and dynamic blocks.
//
// Two paths decode the same symbols with the same tables. The fast path runs while
// the input holds at least kInputMargin bytes and the output has room: it refills the
// bit buffer eight bytes at a time (56 or more bits, enough for a length, a distance
// and their extra bits) and takes up to three literals per refill. Near the end of
// the input the careful path decodes one symbol at a time, reading byte by byte and
// checking that no bit past the end was used. Every distance is checked against the
// window and against the bytes produced so far in this stream.
#include <cstring>

#include "core/error.h"
#include "core/inflate_state.h"

namespace {

enum class step { more, end, stop };

inline uint64_t load_le64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // little-endian host
}

inline uint64_t low_bits(uint64_t v, uint32_t n) { return v & ((uint64_t(1) << n) - 1); }

// Follows a link to its sub-table; the link's bits are consumed.
inline uint32_t follow_link(const uint32_t* t, uint32_t e, uint64_t& bits, uint32_t& count) {
  const uint32_t root = entry_code_bits(e);
  bits >>= root;
  count -= root;
  return t[entry_value(e) + low_bits(bits, entry_extra_bits(e))];
}

// The base plus the extra bits of a length or distance entry; consumes both.
inline uint32_t take_value(uint32_t e, uint64_t& bits, uint32_t& count) {
  const uint32_t code = entry_code_bits(e), extra = entry_extra_bits(e);
  const uint32_t v = entry_value(e) + uint32_t(low_bits(bits >> code, extra));
  bits >>= code + extra;
  count -= code + extra;
  return v;
}

// Appends a back-reference: `length` bytes from `distance` back. The distance has been
// checked; the buffer has room for the length plus 16 bytes, which a copy may write
// past its end (later output overwrites them).
//
// Each store writes bytes whose source is already written: distances of 16 and more
// copy 16 bytes at a time, distances of 8 to 15 eight at a time. Shorter ones repeat
// a pattern of `distance` bytes, built in a register (period `distance`, eight bytes
// long) and stored again and again, each store starting a whole number of periods
// after the last one.
inline void copy_match(uint8_t*& out, uint32_t distance, uint32_t length) {
  uint8_t* const end = out + length;
  const uint8_t* src = out - distance;
  if (distance >= 16) {
    do {
      std::memcpy(out, src, 16);
      out += 16;
      src += 16;
    } while (out < end);
  } else if (distance >= 8) {
    do {
      std::memcpy(out, src, 8);
      out += 8;
      src += 8;
    } while (out < end);
  } else if (distance == 1) {
    std::memset(out, *src, length);
  } else {
    // The load may take bytes at `out` and after, not written yet: masked off.
    uint64_t pattern = load_le64(src) & ((uint64_t(1) << (8 * distance)) - 1);
    for (uint32_t period = distance; period < 8; period *= 2) pattern |= pattern << (8 * period);
    const uint32_t step = 8 - 8 % distance;
    do {
      std::memcpy(out, &pattern, 8);
      out += step;
    } while (out < end);
  }
  out = end;
}

struct fast_regs {
  uint64_t bits;
  uint32_t count;
  const uint8_t* in;
  uint8_t* out;
};

inline void refill(fast_regs& r) {
  r.bits |= load_le64(r.in) << r.count;
  r.in += (63 - r.count) >> 3;
  r.count |= 56;
}

step fast_loop(inflate_state* s, const inflate_table* lit, const inflate_table* dist) {
  fast_regs r{s->bits, s->count, s->in, s->out};
  const uint32_t* lt = lit->entries;
  const uint32_t* dt = dist->entries;
  const uint64_t lmask = (uint64_t(1) << lit->bits) - 1;
  const uint64_t dmask = (uint64_t(1) << dist->bits) - 1;
  const uint8_t* in_stop = s->in_end - kInputMargin;
  uint8_t* const out_stop = s->flush_at;
  step result = step::more;
  while (r.in <= in_stop && r.out <= out_stop) {
    refill(r);
    uint32_t e = lt[r.bits & lmask];
    if (e & kEntryLiteral) {
      r.bits >>= entry_code_bits(e);
      r.count -= entry_code_bits(e);
      *r.out++ = uint8_t(entry_value(e));
      e = lt[r.bits & lmask];
      if (e & kEntryLiteral) {
        r.bits >>= entry_code_bits(e);
        r.count -= entry_code_bits(e);
        *r.out++ = uint8_t(entry_value(e));
        e = lt[r.bits & lmask];
        if (e & kEntryLiteral) {
          r.bits >>= entry_code_bits(e);
          r.count -= entry_code_bits(e);
          *r.out++ = uint8_t(entry_value(e));
          continue;
        }
      }
      refill(r);
    }
    if (e & kEntryLink) {
      e = follow_link(lt, e, r.bits, r.count);
      if (e & kEntryLiteral) {
        r.bits >>= entry_code_bits(e);
        r.count -= entry_code_bits(e);
        *r.out++ = uint8_t(entry_value(e));
        continue;
      }
    }
    if (e & (kEntryEnd | kEntryInvalid)) {
      if (e & kEntryInvalid) {
        s->error = ERR_BAD_FILE;
        result = step::stop;
        break;
      }
      r.bits >>= entry_code_bits(e);
      r.count -= entry_code_bits(e);
      result = step::end;
      break;
    }
    const uint32_t length = take_value(e, r.bits, r.count);
    uint32_t d = dt[r.bits & dmask];
    if (d & kEntryLink) d = follow_link(dt, d, r.bits, r.count);
    if (d & kEntryInvalid) {
      s->error = ERR_BAD_FILE;
      result = step::stop;
      break;
    }
    const uint32_t distance = take_value(d, r.bits, r.count);
    if (!output_distance_ok(s, r.out, distance)) {
      result = step::stop;
      break;
    }
    copy_match(r.out, distance, length);
  }
  s->bits = r.bits;
  s->count = r.count;
  s->in = r.in;
  s->out = r.out;
  return result;
}

// Looks up one symbol of `t`, one byte of input at a time.
uint32_t careful_symbol(inflate_state* s, const inflate_table* t) {
  input_need(s, 15);
  uint32_t e = t->entries[input_peek(s, t->bits)];
  if (e & kEntryLink) e = follow_link(t->entries, e, s->bits, s->count);
  return e;
}

step careful_step(inflate_state* s, const inflate_table* lit, const inflate_table* dist) {
  uint32_t e = careful_symbol(s, lit);
  if (e & kEntryInvalid) {
    inflate_bad_code(s, lit, e);
    return step::stop;
  }
  if (e & (kEntryLiteral | kEntryEnd)) {
    input_drop(s, entry_code_bits(e));
    if (input_overrun(s)) {
      s->error = ERR_FILE_ACCESS;
      return step::stop;
    }
    if (e & kEntryEnd) return step::end;
    *s->out++ = uint8_t(entry_value(e));
    return step::more;
  }
  input_need(s, entry_code_bits(e) + entry_extra_bits(e));
  const uint32_t length = take_value(e, s->bits, s->count);
  uint32_t d = careful_symbol(s, dist);
  if (d & kEntryInvalid) {
    inflate_bad_code(s, dist, d);
    return step::stop;
  }
  input_need(s, entry_code_bits(d) + entry_extra_bits(d));
  const uint32_t distance = take_value(d, s->bits, s->count);
  if (input_overrun(s)) {
    s->error = ERR_FILE_ACCESS;
    return step::stop;
  }
  if (!output_distance_ok(s, s->out, distance)) return step::stop;
  copy_match(s->out, distance, length);
  return step::more;
}

}  // namespace

void inflate_bad_code(inflate_state* s, const inflate_table* t, uint32_t e) {
  // A refused symbol has its code length; a code no symbol has, the table's index bits.
  const uint32_t looked_at = entry_code_bits(e) ? entry_code_bits(e) : t->bits;
  s->error = s->count < s->phantom * 8 + looked_at ? ERR_FILE_ACCESS : ERR_BAD_FILE;
}

void inflate_codes(inflate_state* s, const inflate_table* lit, const inflate_table* dist) {
  for (;;) {
    if (s->out > s->flush_at) {
      output_flush(s, true);
      if (s->error) return;
    }
    input_refill(s);
    const step r = size_t(s->in_end - s->in) >= kInputMargin ? fast_loop(s, lit, dist)
                                                             : careful_step(s, lit, dist);
    if (r != step::more) return;
  }
}
