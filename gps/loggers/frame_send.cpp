// The port side of the byte-frame automaton: one frame written in one port write, and
// the send-then-wait step every framed-logger driver runs (the answer comes back through
// the wait record's read loop into bframe_feed).
#include <cstddef>

#include "core/error.h"
#include "core/memory.h"
#include "gps/loggers/frame.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"

// The automaton and the parser records are readers of the read loop: their first three
// fields are those of a port reader.
static_assert(offsetof(bframe, port) == offsetof(port_reader, device));
static_assert(offsetof(bframe, read) == offsetof(port_reader, read));
static_assert(sizeof(bframe::spare) == sizeof(port_reader::log));

namespace {
constexpr int kSendPauseMs = 10;
}

int send_framed_message(void* port, const uint8_t* payload, int length, int big_endian,
                        const uint8_t* markers) {
  if (length < 0 || length > 65535 || (length > 0 && !payload)) return set_gblerr(ERR_VALUE);
  uint8_t* frame = nullptr;
  alloc_mem(&frame, static_cast<size_t>(length) + 8);
  const int n = bframe_build(payload, length, big_endian, markers, frame);
  com_write(static_cast<com_device*>(port), frame, n);
  free_mem(&frame);
  return 0;
}

void bframe_feed_chunk(const uint8_t* bytes, int count, port_reader* reader) {
  bframe_feed(bytes, count, reader);
}

int bframe_send_wait(void* port, const uint8_t* payload, int length, bframe* f) {
  if (!f || !f->wait) return -1;
  plat::sleep_ms(kSendPauseMs);
  f->wait->progress = 0;
  f->wait->done = 0;
  if (send_framed_message(port, payload, length, f->big_endian, f->markers) != 0) return 0;
  return port_read_loop(f->wait);
}
