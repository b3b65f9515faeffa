// Output of the decoder: the local window buffer and its flushes into the line store
// (see inflate_state.h).
#include <cstring>

#include "core/error.h"
#include "core/inflate_state.h"
#include "core/line_store.h"

void output_flush(inflate_state* s, bool slide) {
  const int64_t n = s->out - s->flushed;
  if (n > 0) {
    if (s->inf->max_output > 0 && s->produced + n > s->inf->max_output) {
      s->error = ERR_BAD_FILE;
      return;
    }
    // The budget is checked before the store grows: decoded data never takes memory
    // beyond what the process may still commit.
    if (s->produced + n > s->budget) {
      s->error = ERR_MEMORY;
      return;
    }
    if (s->update) s->check = s->update(s->check, s->flushed, size_t(n));
    if (s->inf->sink) {
      const int rc = s->inf->sink(s->inf->sink_context, s->flushed, n);
      s->produced += n;
      s->flushed = s->out;
      if (rc != 0) s->error = rc;
    } else {
      if (filemobj_append(s->inf->store, s->flushed, n) != 0) {
        s->error = ERR_MEMORY;
        return;
      }
      s->produced += n;
      s->flushed = s->out;
    }
  }
  if (!slide) return;
  size_t keep = size_t(s->out - s->out_buf);
  if (keep > s->window) keep = s->window;
  std::memmove(s->out_buf, s->out - keep, keep);
  s->out = s->flushed = s->out_buf + keep;
}
