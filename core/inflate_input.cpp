// Input of the decoder: bytes taken from the reader in chunks, bits taken from a 64-bit
// buffer (see inflate_state.h). Past the end of the input the bit buffer is padded with
// zero bytes, counted, so that a code can always be looked up; using any of those bits
// is the end of data.
#include <cstring>

#include "core/inflate_state.h"
#include "core/reader.h"

void input_refill(inflate_state* s) {
  const size_t kept = size_t(s->in_end - s->in);
  if (kept >= kInputMargin) return;
  const inflater_t* inf = s->inf;
  int64_t left = inf->source ? INT64_MAX : rd_bytes_left();
  if (left > s->in_allowed) left = s->in_allowed;
  if (left <= 0 || s->source_ended) return;
  std::memmove(s->in_buf, s->in, kept);
  int64_t n = int64_t(kInputChunk - kept);
  if (n > left) n = left;
  int64_t got;
  if (inf->source) {
    got = inf->source(inf->source_context, s->in_buf + kept, n);
    if (got <= 0) s->source_ended = true;
  } else {
    got = rd_read_bytes(s->in_buf + kept, n);
  }
  s->in = s->in_buf;
  s->in_end = s->in_buf + kept + (got > 0 ? got : 0);
  if (got > 0) s->in_allowed -= got;
}

void input_need(inflate_state* s, uint32_t n) {
  while (s->count < n) {
    if (s->in == s->in_end) input_refill(s);
    uint64_t byte = 0;
    if (s->in < s->in_end)
      byte = *s->in++;
    else
      s->phantom++;
    // Bits above the count may hold copies of bytes loaded ahead: clear them first.
    s->bits = (s->bits & ((uint64_t(1) << s->count) - 1)) | byte << s->count;
    s->count += 8;
  }
}

uint32_t input_bits(inflate_state* s, uint32_t n) {
  input_need(s, n);
  const uint32_t v = input_peek(s, n);
  input_drop(s, n);
  return v;
}

bool input_overrun(inflate_state* s) { return s->count < s->phantom * 8; }

void input_align(inflate_state* s) { input_drop(s, s->count & 7); }

uint32_t input_buffered_bytes(const inflate_state* s) {
  const uint32_t whole = s->count / 8;
  return whole > s->phantom ? whole - s->phantom : 0;
}

void input_give_back(inflate_state* s) {
  const int64_t unused = int64_t(s->in_end - s->in) + input_buffered_bytes(s);
  s->in = s->in_end;
  s->bits = 0;
  s->count = 0;
  s->phantom = 0;
  if (unused > 0 && !s->inf->source) rd_seek(-unused, 1);
}
