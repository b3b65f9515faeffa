// UDP ports over the core's socket object, the read routines in the reader record's
// shape, and the timed read loop (see port_io.h).
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/socket.h"
#include "gps/port_io.h"

// ---- UDP port -------------------------------------------------------------------------

socket_t* udp_open(int port, socket_t** out) {
  if (!out) return nullptr;
  *out = nullptr;
  socket_t* s = nullptr;
  if (!socket_create(nullptr, port, 0, &s)) return nullptr;
  socket_listen(s);
  if (socket_handle(s) == 0) {
    free_obj(&s);
    return nullptr;
  }
  *out = s;
  return s;
}

int udp_read(socket_t* s, int max, uint8_t* buf) {
  if (!s || max < 1 || !buf) return 0;
  return socket_recvfrom(s, buf, max);
}

void udp_close(socket_t** s) {
  if (!s || !*s) return;
  free_obj(s);
  *s = nullptr;
}

// ---- Read routines --------------------------------------------------------------------

int com_read_routine(void* device, int max, uint8_t* buf) {
  return com_read(static_cast<com_device*>(device), max, buf);
}

int udp_read_routine(void* device, int max, uint8_t* buf) {
  return udp_read(static_cast<socket_t*>(device), max, buf);
}

// ---- Timed read loop ------------------------------------------------------------------

namespace {

// Seconds from a to b on the packed-date clock.
double seconds_between(const date_rec& a, const date_rec& b) {
  return date_time_diff(a.date, a.day, b.date, b.day) * 86400.0;
}

// One chunk from the reader: the count (at most the chunk size), or below 0 on error.
int read_chunk(port_reader* reader, uint8_t* chunk) {
  const int n = reader->read(reader->device, kPortChunkSize, chunk);
  return n > kPortChunkSize ? kPortChunkSize : n;
}

}  // namespace

port_read_ctx* port_reader_create(port_chunk_fn handler, port_reader* reader, port_read_ctx** out) {
  if (!out) return nullptr;
  port_read_ctx* ctx = alloc_mem_zero(out, sizeof(port_read_ctx));
  ctx->reader = reader;
  ctx->handler = handler;
  return ctx;
}

void port_reader_free(port_read_ctx** ctx) { free_mem(ctx); }

int port_read_loop(port_read_ctx* ctx) {
  if (!ctx) return 0;
  port_reader* reader = ctx->reader;
  if (!reader || !reader->read || !ctx->handler) return ctx->result;
  uint8_t chunk[kPortChunkSize];
  int n = read_chunk(reader, chunk);
  date_rec start;
  date_rec_now(&start);
  date_rec data_clock = start, progress_clock = start;
  if (n < 0) return ctx->result;
  for (;;) {
    date_rec now;
    date_rec_now(&now);
    if (ctx->no_data_timeout_s > 0) {
      if (n > 0) {
        data_clock = now;
      } else if (seconds_between(data_clock, now) > ctx->no_data_timeout_s) {
        ctx->result = PORT_NO_DATA;
        break;
      }
    }
    ctx->progress = 0;
    ctx->done = 0;
    ctx->handler(chunk, n, reader);
    if (get_gblerr() != 0) break;
    if (ctx->done) {
      ctx->result = PORT_DONE;
      break;
    }
    if (ctx->no_progress_timeout_s > 0) {
      if (ctx->progress) {
        progress_clock = now;
      } else if (seconds_between(progress_clock, now) > ctx->no_progress_timeout_s) {
        ctx->result = PORT_NO_PROGRESS;
        break;
      }
    }
    if (ctx->overall_timeout_s > 0 && seconds_between(start, now) > ctx->overall_timeout_s) {
      ctx->result = PORT_TIMEOUT;
      break;
    }
    n = read_chunk(reader, chunk);
    if (n < 0) break;
  }
  return ctx->result;
}
