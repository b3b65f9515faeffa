// The byte-frame automaton: five byte classes by six states, plus two states that take
// the length bytes when they arrive in a later chunk than start byte 2; the actions
// (start, append, the 15-bit-sum and XOR end checks), the configurations of the three
// logger families and the frame builder. The port-bound sender and send-and-wait live
// in frame_send.cpp.
#include "gps/loggers/frame.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"

namespace {

enum frame_action : uint8_t { F_NONE, F_START, F_APPEND, F_END };
// States 6 and 7: start byte 2 seen, waiting for the first / the second length byte.
constexpr int kWaitLength1 = 6;
constexpr int kWaitLength2 = 7;

struct cell {
  uint8_t action;
  uint8_t next;
};

// Rows: states 0..5; columns: start 1, start 2, end 1, end 2, other. A repeated start
// byte 1 keeps the automaton waiting for start byte 2 (a stray byte before a frame).
constexpr cell kTransitions[6][5] = {
    {{F_NONE, 1}, {F_NONE, 0}, {F_NONE, 0}, {F_NONE, 0}, {F_NONE, 0}},
    {{F_NONE, 1}, {F_START, 2}, {F_NONE, 0}, {F_NONE, 0}, {F_NONE, 0}},
    {{F_APPEND, 2}, {F_APPEND, 2}, {F_APPEND, 3}, {F_APPEND, 2}, {F_APPEND, 2}},
    {{F_APPEND, 2}, {F_APPEND, 2}, {F_APPEND, 3}, {F_END, 0}, {F_APPEND, 2}},
    {{F_APPEND, 5}, {F_APPEND, 2}, {F_APPEND, 3}, {F_END, 0}, {F_APPEND, 2}},
    {{F_APPEND, 2}, {F_START, 2}, {F_APPEND, 3}, {F_APPEND, 2}, {F_APPEND, 2}},
};

// The last equal marker gives the class.
int classify(uint8_t b, const uint8_t* markers) {
  int cls = 4;
  for (int i = 0; i < 4; ++i)
    if (b == markers[i]) cls = i;
  return cls;
}

void drop_frame(bframe* f) {
  bframe_reset(0, f);
  f->state = 0;
}

// The whole length is known: a frame longer than the configuration allows is dropped.
void set_length(bframe* f, int length) {
  if (length > f->max_length) {
    drop_frame(f);
    return;
  }
  f->expected = length;
  f->state = 2;
}

void length_byte(uint8_t b, bframe* f) {
  if (f->state == kWaitLength1) {
    f->expected = b;
    f->state = kWaitLength2;
    return;
  }
  const int first = f->expected;
  set_length(f, f->big_endian ? (first << 8 | b) : (b << 8 | first));
}

}  // namespace

const uint8_t kBframeDefaultMarkers[4] = {0xA0, 0xA2, 0xB0, 0xB3};
const bframe_actions kBframeDefaultActions = {
    {bframe_reset, bframe_start, bframe_append, bframe_end_sum}};
const bframe_actions kBframeXorActions = {
    {bframe_reset, bframe_start, bframe_append, bframe_end_xor}};

const bframe_config kBframeGlobalsat = {
    {0xA0, 0xA2, 0xB0, 0xB3}, 1, &kBframeDefaultActions, kBframeMaxPayload};
const bframe_config kBframeNavilink = {
    {0xA0, 0xA2, 0xB0, 0xB3}, 0, &kBframeDefaultActions, kBframeMaxPayload};
const bframe_config kBframeSkytraq = {
    {0xA0, 0xA1, 0x0D, 0x0A}, 1, &kBframeXorActions, kBframeMaxPayload};

// ---- Life -----------------------------------------------------------------------------

int bframe_create(const bframe_actions* actions, bframe_handler on_frame, void* port,
                  bframe_read_fn read, int big_endian, const uint8_t* markers, bframe** out) {
  bframe_config c = {{0xA0, 0xA2, 0xB0, 0xB3}, big_endian, actions, kBframeMaxPayload};
  if (markers) std::memcpy(c.markers, markers, 4);
  return bframe_create_config(&c, on_frame, port, read, out);
}

int bframe_create_config(const bframe_config* config, bframe_handler on_frame, void* port,
                         bframe_read_fn read, bframe** out) {
  if (!out) return set_gblerr(ERR_PARAMETERS);
  *out = nullptr;
  if (!config) return set_gblerr(ERR_PARAMETERS);
  bframe* f = nullptr;
  alloc_mem_zero(&f, sizeof(bframe));
  f->port = port;
  f->read = read;
  f->on_frame = on_frame;
  std::memcpy(f->markers_own, config->markers, 4);
  f->markers = f->markers_own;
  f->big_endian = config->big_endian ? 1 : 0;
  f->actions = config->actions ? config->actions : &kBframeDefaultActions;
  f->max_length = std::clamp(config->max_length, 0, 65535);
  f->capacity = kBframeInitialCapacity;
  alloc_mem_zero(&f->buffer, static_cast<size_t>(f->capacity));
  bframe_reset(0, f);
  *out = f;
  return 0;
}

void bframe_free(bframe** f) {
  if (!f || !*f) return;
  free_mem(&(*f)->buffer);
  free_mem(f);
}

// ---- Feeding --------------------------------------------------------------------------

int bframe_feed(const uint8_t* data, int n, void* automaton) {
  auto* f = static_cast<bframe*>(automaton);
  if (!f || !data || n <= 0) return 0;
  f->in_cursor = data;
  f->in_left = n;
  while (f->in_left > 0) {
    const uint8_t b = *f->in_cursor++;
    --f->in_left;
    if (f->state == kWaitLength1 || f->state == kWaitLength2) {
      length_byte(b, f);
      continue;
    }
    const cell c = kTransitions[f->state][classify(b, f->markers)];
    f->state = c.next;
    if (c.action != F_NONE && f->actions->act[c.action]) f->actions->act[c.action](b, f);
    if (const int err = get_gblerr()) return err;
  }
  return 0;
}

// ---- Actions --------------------------------------------------------------------------

void bframe_reset(uint8_t, bframe* f) {
  f->cursor = f->buffer;
  f->expected = 0;
  f->collected = 0;
}

void bframe_start(uint8_t, bframe* f) {
  bframe_reset(0, f);
  if (f->in_left >= 2) {
    const uint8_t a = f->in_cursor[0], b = f->in_cursor[1];
    f->in_cursor += 2;
    f->in_left -= 2;
    set_length(f, f->big_endian ? (a << 8 | b) : (b << 8 | a));
  } else if (f->in_left == 1) {
    f->expected = *f->in_cursor++;
    f->in_left = 0;
    f->state = kWaitLength2;
  } else {
    f->state = kWaitLength1;
  }
}

void bframe_append(uint8_t byte, bframe* f) {
  if (f->collected >= f->capacity - 400) {
    const ptrdiff_t at = f->cursor - f->buffer;
    uint32_t cap = static_cast<uint32_t>(f->collected + 301);
    grow_capacity(&f->buffer, &cap);
    f->capacity = static_cast<int32_t>(cap);
    f->cursor = f->buffer + at;
  }
  *f->cursor++ = byte;
  ++f->collected;
  // No good end this far past the length: the frame is lost.
  if (f->collected > f->expected + kBframeSlack) drop_frame(f);
}

namespace {

// A frame passed its end check: the handler sees the payload, then the buffer empties.
void deliver(bframe* f) {
  f->cursor = f->buffer;
  f->message_id = f->buffer[0];
  if (f->on_frame) f->on_frame(f);
  bframe_reset(0, f);
}

void refuse(uint8_t byte, bframe* f) {
  bframe_append(byte, f);
  if (f->collected > 0) f->state = 4;  // else the append dropped the frame
}

}  // namespace

void bframe_end_sum(uint8_t byte, bframe* f) {
  const int n = f->collected;
  if (n < f->expected + 2 || n < 3) {
    refuse(byte, f);
    return;
  }
  const uint8_t* sum_at = f->buffer + n - 3;
  const int given = f->big_endian ? (sum_at[0] << 8 | sum_at[1]) : (sum_at[1] << 8 | sum_at[0]);
  if (given != bframe_sum15(f->buffer, n - 3)) {
    refuse(byte, f);
    return;
  }
  deliver(f);
}

void bframe_end_xor(uint8_t byte, bframe* f) {
  const int n = f->collected;
  if (n < f->expected + 2) {
    refuse(byte, f);
    return;
  }
  if (f->buffer[f->expected] != bframe_xor(f->buffer, f->expected)) {
    refuse(byte, f);
    return;
  }
  deliver(f);
}

// ---- Checksums and building -----------------------------------------------------------

uint16_t bframe_sum15(const uint8_t* payload, int length) {
  uint32_t sum = 0;
  for (int i = 0; i < length; ++i) sum += payload[i];
  return static_cast<uint16_t>(sum & 0x7FFF);
}

uint8_t bframe_xor(const uint8_t* payload, int length) {
  uint8_t x = 0;
  for (int i = 0; i < length; ++i) x ^= payload[i];
  return x;
}

int bframe_build(const uint8_t* payload, int length, int big_endian, const uint8_t* markers,
                 uint8_t* out) {
  if (length < 0 || length > 65535 || (length > 0 && !payload)) return -1;
  if (!markers) markers = kBframeDefaultMarkers;
  const uint16_t sum = bframe_sum15(payload, length);
  auto put16 = [big_endian](uint8_t* at, unsigned v) {
    at[big_endian ? 0 : 1] = static_cast<uint8_t>(v >> 8);
    at[big_endian ? 1 : 0] = static_cast<uint8_t>(v & 0xFF);
  };
  out[0] = markers[0];
  out[1] = markers[1];
  put16(out + 2, static_cast<unsigned>(length));
  if (length > 0) std::memcpy(out + 4, payload, static_cast<size_t>(length));
  put16(out + 4 + length, sum);
  out[6 + length] = markers[2];
  out[7 + length] = markers[3];
  return length + 8;
}
