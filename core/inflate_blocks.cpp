// The block layer of Deflate (RFC 1951, 3.2.3 to 3.2.7) and inflate_blocks, which
// runs one stream from its first block to its final one (or to the caller's limit).
//
// Each block type has its routine in a table. A dynamic block first reads its code
// lengths with the code-length code, then builds its two tables; the tables live in
// the inflater record and are reused (grown when needed) from block to block, then
// freed when the stream ends.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/checksum.h"
#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/inflate_state.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/tracelog.h"

// ---- Stored blocks -------------------------------------------------------------------

namespace {

// Copies `n` bytes of a stored block into the output, as the input and room allow.
void copy_stored(inflate_state* s, uint32_t n) {
  // Whole bytes still in the bit buffer come first.
  while (n > 0 && input_buffered_bytes(s) > 0) {
    *s->out++ = uint8_t(input_bits(s, 8));
    --n;
  }
  while (n > 0) {
    if (s->out > s->flush_at) {
      output_flush(s, true);
      if (s->error) return;
    }
    if (s->in == s->in_end) input_refill(s);
    if (s->in == s->in_end) {
      s->error = ERR_FILE_ACCESS;
      return;
    }
    size_t piece = size_t(s->in_end - s->in);
    const size_t room = size_t(s->flush_at + kOutputSlack - s->out);
    if (piece > room) piece = room;
    if (piece > n) piece = n;
    std::memcpy(s->out, s->in, piece);
    s->out += piece;
    s->in += piece;
    n -= uint32_t(piece);
  }
}

}  // namespace

void inflate_stored(inflate_state* s) {
  input_align(s);
  const uint32_t length = input_bits(s, 16);
  const uint32_t check = input_bits(s, 16);
  if (input_overrun(s)) {
    s->error = ERR_FILE_ACCESS;
    return;
  }
  if (check != (~length & 0xFFFF)) {
    s->error = ERR_BAD_FILE;
    return;
  }
  copy_stored(s, length);
}

// ---- Fixed and dynamic blocks --------------------------------------------------------

void inflate_fixed(inflate_state* s) {
  inflate_codes(s, fixed_literal_table(), fixed_distance_table());
}

void inflate_dynamic(inflate_state* s) {
  if (inflate_dynamic_tables(s) != 0) return;
  inflate_codes(s, &s->inf->literal_table, &s->inf->distance_table);
}

void inflate_fail(inflate_state* s) { s->error = ERR_BAD_FILE; }

namespace {

// The repeat instructions of the code-length alphabet (symbols 16, 17, 18).
struct repeat_rule {
  uint32_t extra_bits;
  uint32_t base;
  bool previous;  // repeats the previous length (else zeros)
};
constexpr repeat_rule kRepeat[3] = {{2, 3, true}, {3, 3, false}, {7, 11, false}};

}  // namespace

int inflate_read_code_lengths(inflate_state* s, int count, uint8_t* lengths) {
  const inflate_table* t = &s->inf->length_table;
  int i = 0;
  while (i < count) {
    input_need(s, t->bits);
    const uint32_t index = input_peek(s, t->bits);
    const uint32_t e = t->entries[index];
    if (e & kEntryInvalid) {  // a code the (incomplete) code-length code does not have
      inflate_bad_code(s, t, e);
      if (s->error == ERR_BAD_FILE) {
        const std::string line =
            "CODE HUFF TREE NON TROUV " + std::to_string(huff_code_value(index, t->bits));
        log_line(line.c_str());
      }
      return s->error;
    }
    input_drop(s, entry_code_bits(e));
    const uint32_t symbol = entry_value(e);
    if (symbol < 16) {
      lengths[i++] = uint8_t(symbol);
      continue;
    }
    const repeat_rule& rule = kRepeat[symbol - 16];
    if (rule.previous && i == 0) return s->error = ERR_BAD_FILE;
    const uint32_t n = rule.base + input_bits(s, rule.extra_bits);
    if (n > uint32_t(count - i)) return s->error = ERR_BAD_FILE;
    const uint8_t value = rule.previous ? lengths[i - 1] : 0;
    std::memset(lengths + i, value, n);
    i += int(n);
  }
  if (input_overrun(s)) s->error = ERR_FILE_ACCESS;
  return s->error;
}

int inflate_dynamic_tables(inflate_state* s) {
  inflater_t* inf = s->inf;
  const int nlit = int(input_bits(s, 5)) + 257;
  const int ndist = int(input_bits(s, 5)) + 1;
  const int nlen = int(input_bits(s, 4)) + 4;
  if (nlit > 286) return s->error = ERR_BAD_FILE;
  uint8_t code_lengths[19] = {};
  for (int i = 0; i < nlen; ++i) code_lengths[kCodeLengthOrder[i]] = uint8_t(input_bits(s, 3));
  if (input_overrun(s)) return s->error = ERR_FILE_ACCESS;
  if (huff_build_one_level(code_lengths, 19, kLengthRootBits, kCodeLengthEntries.data(),
                           &inf->length_table) != 0)
    return s->error = ERR_BAD_FILE;
  // One sequence: a repeat may run from the literal/length lengths into the distances.
  uint8_t lengths[286 + 32];
  if (inflate_read_code_lengths(s, nlit + ndist, lengths) != 0) return s->error;
  if (lengths[256] == 0) return s->error = ERR_BAD_FILE;  // a block must be able to end
  if (huff_build(lengths, nlit, kLiteralRootBits, kLiteralEntries.data(), true,
                 &inf->literal_table) != 0 ||
      huff_build(lengths + nlit, ndist, kDistanceRootBits, kDistanceEntries.data(), true,
                 &inf->distance_table) != 0)
    return s->error = ERR_BAD_FILE;
  return 0;
}

// ---- The stream ------------------------------------------------------------------------

namespace {

using block_fn = void (*)(inflate_state*);
constexpr block_fn kBlockRoutines[4] = {inflate_stored, inflate_fixed, inflate_dynamic,
                                        inflate_fail};

// The check value each wrap keeps over the output.
using check_fn = uint32_t (*)(uint32_t, const void*, size_t);
struct check_rule {
  check_fn update;
  uint32_t init;
};
constexpr check_rule kChecks[4] = {{nullptr, 0},
                                   {adler32_update, kAdler32Init},
                                   {crc32_update, kCrc32Init},
                                   {crc32_update, kCrc32Init}};

int64_t budget_now() {
  const double b = compute_mem_budget();
  if (!(b > 0)) return 0;
  return b >= 9e18 ? INT64_MAX : int64_t(b);
}

void state_open(inflate_state* s, inflater_t* inf) {
  std::memset(s, 0, sizeof *s);
  s->inf = inf;
  alloc_mem(&s->in_buf, kInputChunk);
  s->in = s->in_end = s->in_buf;
  s->in_allowed = inf->input_size > 0 ? inf->input_size : INT64_MAX;
  alloc_mem(&s->out_buf, kOutputSize);
  s->out = s->flushed = s->out_buf;
  s->flush_at = s->out_buf + kOutputSize - kOutputSlack;
  // No window given means Deflate's; none is kept beyond the largest the formats use.
  s->window = inf->window_size == 0 ? 32768 : uint32_t(std::min<size_t>(inf->window_size, kHistory));
  s->base = inf->store ? filemobj_data_size(inf->store) : 0;
  s->budget = budget_now();
  const check_rule& c = kChecks[inf->wrap >= 0 && inf->wrap < 4 ? inf->wrap : 0];
  s->update = c.update;
  s->check = c.init;
}

void state_close(inflate_state* s) {
  free_mem(&s->in_buf);
  free_mem(&s->out_buf);
  huff_free(&s->inf->literal_table);
  huff_free(&s->inf->distance_table);
  huff_free(&s->inf->length_table);
}

// The progress window shows how far into its input the decoding is, block by block.
void show_progress() {
  core_progress_file_position(is_french() ? "Position de lecture Deflate " : "Deflate read position ");
}

void run_blocks(inflate_state* s) {
  inflater_t* inf = s->inf;
  for (;;) {
    show_progress();
    input_need(s, 3);
    const uint32_t final = input_bits(s, 1);
    const uint32_t type = input_bits(s, 2);
    if (input_overrun(s)) {
      s->error = ERR_FILE_ACCESS;
      return;
    }
    kBlockRoutines[type](s);
    // Bad data met after the input ran out is the end of the data, not bad data.
    if (s->error == ERR_BAD_FILE && input_overrun(s)) s->error = ERR_FILE_ACCESS;
    if (s->error) return;
    if (final) {
      inf->finished = 1;
      return;
    }
    if (inf->limit > 0 && output_total(s) > inf->limit) return;
  }
}

// The check after a complete stream: the zlib trailer, or the ZIP member's CRC-32 and
// size from its local header.
void check_trailer(inflate_state* s) {
  inflater_t* inf = s->inf;
  if (inf->wrap == INFLATE_ZLIB && inf->source) {
    // The trailer follows the last block's byte in the source's bytes.
    uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) stored = stored << 8 | input_bits(s, 8);
    if (input_overrun(s)) {
      s->error = ERR_FILE_ACCESS;
      return;
    }
    if (stored != s->check) s->error = ERR_BAD_FILE;
  } else if (inf->wrap == INFLATE_ZLIB) {
    if (rd_bytes_left() < 4) {
      s->error = ERR_FILE_ACCESS;
      return;
    }
    if (rd_read_u32_swapped() != s->check) s->error = ERR_BAD_FILE;
  } else if (inf->wrap == INFLATE_ZIP) {
    if (s->check != inf->expected_check ||
        (inf->expected_size >= 0 && s->produced != inf->expected_size))
      s->error = ERR_BAD_FILE;
  }
}

}  // namespace

int inflate_blocks(inflater_t* inf) {
  inf->produced = 0;
  inf->finished = 0;
  if (inf->input && rd_current_file() != inf->input) rd_make_current(inf->input);
  inflate_state s;
  state_open(&s, inf);
  if (!inf->store && !inf->sink) s.error = ERR_PARAMETERS;
  if (!s.error) run_blocks(&s);
  // What was decoded before an error in the data is kept; nothing beyond the budget.
  if (s.error != ERR_MEMORY) output_flush(&s, false);
  if (!s.error) {
    input_align(&s);
    if (inf->source) {
      if (inf->finished) check_trailer(&s);
      input_give_back(&s);
    } else {
      input_give_back(&s);
      if (inf->finished) check_trailer(&s);
    }
  }
  inf->produced = s.produced;
  inf->check = s.check;
  state_close(&s);
  if (s.error) set_gblerr(s.error);
  return s.error;
}
