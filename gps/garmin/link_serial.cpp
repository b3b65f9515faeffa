// Garmin serial link: DLE framing with doubled 16s, the check byte, the table-driven
// receive automaton that acknowledges every data packet, word packets and commands
// repeated until acknowledged.
//
// The automaton has 18 states and 6 byte classes; each (state, class) cell names one of
// 11 actions and the next state. A data packet with a bad check byte or a wrong length
// is answered with NAK and reception goes on (the receiver repeats it); a frame without
// an accepted packet id is NAKed for id 0. Every refused frame is counted by the id it
// names: more than 20 in a row for one id give error 17. The counter restarts at link
// opening and after every good packet, so it counts consecutive bad frames only. A
// receive that sees kGarminFrameByteLimit bytes without the end of any frame gives 17
// too: the longest frame, every byte doubled, is about 520 bytes.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/port_io.h"

namespace {

garmin_link_state g_link = {0, 0, 0, nullptr, 0, 0, nullptr, 0, -1, 0, 0, 0};

// ---- Byte classes ------------------------------------------------------------------------

enum : uint8_t { C_DLE, C_ETX, C_ACK, C_NAK, C_ID, C_OTHER };

constexpr uint8_t kAcceptedIds[] = {4,  10, 11, 12, 14, 17, 19, 20, 24,  27,  29,  30,  31, 34,
                                    35, 37, 39, 43, 51, 98, 99, 134, 149, 152, 253, 254, 255};

struct class_table {
  uint8_t c[256];
  constexpr class_table() : c() {
    for (int i = 0; i < 256; ++i) c[i] = C_OTHER;
    for (uint8_t id : kAcceptedIds) c[id] = C_ID;
    c[kGarminDle] = C_DLE;
    c[kGarminEtx] = C_ETX;
    c[kGarminAck] = C_ACK;
    c[kGarminNak] = C_NAK;
  }
};
constexpr class_table kClasses;

// ---- Actions -----------------------------------------------------------------------------

void send_nak(uint8_t id) {
  if (g_link.port) garmin_send_ack(g_link.port, 1, id);
}

void reset_packet() {
  g_link.id = 0;
  g_link.expected = 0;
  g_link.pos = 0;
}

void good_frame() { g_link.bad_id = -1; g_link.bad_repeats = 0; }

void nop_handler(uint8_t) {}

void link_act_set_id(uint8_t byte) { g_link.id = byte; }

void link_act_set_size(uint8_t byte) {
  g_link.size = byte;
  g_link.expected = uint16_t(byte + 1);
  if (g_link.cap < g_link.expected) {
    free_mem(&g_link.buf);
    g_link.cap = 0;
    alloc_mem(&g_link.buf, g_link.expected);
    if (!g_link.buf) {
      g_link.finished = 1;
      set_gblerr(ERR_MEMORY);
      return;
    }
    g_link.cap = g_link.expected;
  }
  g_link.pos = 0;
}

void link_act_store(uint8_t byte) {
  if (g_link.pos < g_link.expected && g_link.pos < g_link.cap) {
    g_link.buf[g_link.pos++] = byte;
    return;
  }
  // More bytes than the size byte announced.
  g_link.pos = 0;
  set_gblerr(ERR_PROTOCOL);
}

// Counts one more refused frame for `id`: bad frames of one id in a row are counted,
// and when more than 20 came, error 17 ends the receive (true). Every refusal counts,
// so that a receiver that repeats a bad packet for ever cannot hold the link for ever.
bool count_bad(int32_t id) {
  if (g_link.bad_id == id) {
    if (g_link.bad_repeats++ > kGarminBadFrameRepeats) {
      set_gblerr(ERR_PROTOCOL);
      return true;
    }
  } else {
    g_link.bad_id = id;
    g_link.bad_repeats = 0;
  }
  return false;
}

void link_act_complete(uint8_t) {
  bool bad = g_link.pos != g_link.expected;
  if (!bad) {
    uint8_t sum = uint8_t(g_link.id + g_link.size);
    for (uint32_t i = 0; i + 1 < g_link.expected; ++i) sum = uint8_t(sum + g_link.buf[i]);
    bad = uint8_t(-sum) != g_link.buf[g_link.expected - 1];
  }
  if (bad && count_bad(g_link.id)) return;
  if (g_link.port) garmin_send_ack(g_link.port, bad ? 1 : 0, g_link.id);
  if (bad) {
    reset_packet();
    return;
  }
  good_frame();
  g_link.finished = 1;
}

// An ACK or NAK frame cut short leaves zeros, not an earlier packet's bytes, where its
// data did not come.
void clear_unfilled() {
  if (g_link.buf && g_link.pos < g_link.expected && g_link.expected <= g_link.cap) {
    std::memset(g_link.buf + g_link.pos, 0, g_link.expected - g_link.pos);
  }
}

void link_act_ack_received(uint8_t) {
  clear_unfilled();
  good_frame();
  g_link.finished = 1;
  g_link.id = kGarminAck;
}

void link_act_nak_received(uint8_t) {
  clear_unfilled();
  good_frame();
  g_link.finished = 1;
  g_link.id = kGarminNak;
}

void link_act_bad_frame(uint8_t) {
  if (count_bad(g_link.id)) return;
  send_nak(0);
  reset_packet();
}

void link_act_nak_packet(uint8_t) {
  if (count_bad(g_link.id)) return;
  send_nak(g_link.id);
  reset_packet();
}

void link_act_nak_ack(uint8_t) {
  if (count_bad(kGarminAck)) return;
  send_nak(kGarminAck);
  reset_packet();
}

void link_act_nak_nak(uint8_t) {
  if (count_bad(kGarminNak)) return;
  send_nak(kGarminNak);
  reset_packet();
}

using link_action = void (*)(uint8_t byte);
// Actions from this one on end a frame (taken, refused or dropped).
constexpr uint8_t kFirstFrameEnd = 4;
constexpr link_action kActions[11] = {
    nop_handler,           link_act_set_id,       link_act_set_size, link_act_store,
    link_act_complete,     link_act_ack_received, link_act_nak_received, link_act_bad_frame,
    link_act_nak_packet,   link_act_nak_ack,      link_act_nak_nak};

// ---- Transition table: {action, next state} by state and class ---------------------------

struct transition {
  uint8_t action;
  uint8_t next;
};

// clang-format off
constexpr transition kTable[18][6] = {
    //   DLE       ETX       ACK       NAK       id        other
    {{0, 1},  {0, 0},  {0, 0},  {0, 0},  {0, 0},  {0, 0}},   // 0 idle
    {{0, 14}, {7, 0},  {0, 6},  {0, 10}, {1, 2},  {0, 14}},  // 1 after leading DLE
    {{0, 3},  {2, 4},  {2, 4},  {2, 4},  {2, 4},  {2, 4}},   // 2 after id
    {{2, 4},  {8, 0},  {0, 15}, {0, 15}, {0, 15}, {0, 15}},  // 3 DLE in size
    {{0, 5},  {3, 4},  {3, 4},  {3, 4},  {3, 4},  {3, 4}},   // 4 data
    {{3, 4},  {4, 0},  {0, 15}, {0, 15}, {0, 15}, {0, 15}},  // 5 DLE in data
    {{0, 7},  {2, 8},  {2, 8},  {2, 8},  {2, 8},  {2, 8}},   // 6 after ACK id
    {{2, 8},  {9, 0},  {0, 16}, {0, 16}, {0, 16}, {0, 16}},  // 7 DLE in ACK size
    {{0, 9},  {3, 8},  {3, 8},  {3, 8},  {3, 8},  {3, 8}},   // 8 ACK data
    {{3, 8},  {5, 0},  {0, 16}, {0, 16}, {0, 16}, {0, 16}},  // 9 DLE in ACK data
    {{0, 11}, {2, 12}, {2, 12}, {2, 12}, {2, 12}, {2, 12}},  // 10 after NAK id
    {{2, 12}, {10, 0}, {0, 17}, {0, 17}, {0, 17}, {0, 17}},  // 11 DLE in NAK size
    {{0, 13}, {3, 12}, {3, 12}, {3, 12}, {3, 12}, {3, 12}},  // 12 NAK data
    {{3, 12}, {6, 0},  {0, 17}, {0, 17}, {0, 17}, {0, 17}},  // 13 DLE in NAK data
    {{0, 14}, {7, 0},  {0, 14}, {0, 14}, {0, 14}, {0, 14}},  // 14 skip frame without id
    {{0, 15}, {8, 0},  {0, 15}, {0, 15}, {0, 15}, {0, 15}},  // 15 skip bad packet
    {{0, 16}, {9, 0},  {0, 16}, {0, 16}, {0, 16}, {0, 16}},  // 16 skip bad ACK
    {{0, 17}, {10, 0}, {0, 17}, {0, 17}, {0, 17}, {0, 17}},  // 17 skip bad NAK
};
// clang-format on

// Appends one byte, doubled when it is a 16.
void put_stuffed(uint8_t* out, int* n, uint8_t byte) {
  out[(*n)++] = byte;
  if (byte == kGarminDle) out[(*n)++] = byte;
}

}  // namespace

// ---- Automaton ---------------------------------------------------------------------------

garmin_link_state& garmin_link() { return g_link; }

int garmin_link_class(uint8_t byte) { return kClasses.c[byte]; }

void garmin_link_begin(com_device* port) {
  g_link.finished = 0;
  g_link.frame_bytes = 0;
  g_link.port = port;
  g_link.state = 0;
}

int garmin_link_step(uint8_t byte) {
  const transition t = kTable[g_link.state][kClasses.c[byte]];
  kActions[t.action](byte);
  if (get_gblerr() != 0) return 1;
  g_link.state = t.next;
  if (t.action >= kFirstFrameEnd) {
    g_link.frame_bytes = 0;
  } else if (++g_link.frame_bytes >= kGarminFrameByteLimit) {
    // Far more bytes than the longest frame, and none ended: not a Garmin stream.
    set_gblerr(ERR_PROTOCOL);
    return 1;
  }
  return g_link.finished ? 1 : 0;
}

void garmin_link_end() {
  g_link.id = 0;
  g_link.expected = 0;
  g_link.port = nullptr;
}

// ---- Link life ---------------------------------------------------------------------------

int garmin_link_open() {
  g_link.finished = 0;
  g_link.id = 0;
  g_link.expected = 0;
  g_link.pos = 0;
  g_link.state = 0;
  g_link.port = nullptr;
  good_frame();
  free_mem(&g_link.buf);
  g_link.cap = 0;
  alloc_mem(&g_link.buf, kGarminLinkInitialCapacity);
  if (!g_link.buf) return set_gblerr(ERR_MEMORY);
  g_link.cap = kGarminLinkInitialCapacity;
  return 0;
}

void garmin_link_free() {
  g_link.id = 0;
  g_link.expected = 0;
  g_link.pos = 0;
  free_mem(&g_link.buf);
  g_link.cap = 0;
}

// ---- Receive -----------------------------------------------------------------------------

int garmin_receive_packet(com_device* port, int32_t* id, uint8_t* size, const uint8_t** data,
                          int byte_limit) {
  garmin_link_begin(port);
  int consumed = 0;
  bool ended = false;
  while (!ended) {
    if (byte_limit > 0 && consumed >= byte_limit) break;
    uint8_t byte = 0;
    int got = 0;
    for (int attempt = 0; attempt < kGarminReadAttempts && got != 1; ++attempt) {
      got = com_read_byte(port, &byte);
    }
    if (got != 1) {
      garmin_link_end();
      return set_gblerr(ERR_PROTOCOL);
    }
    ++consumed;
    ended = garmin_link_step(byte) != 0;
  }
  const int err = get_gblerr();
  if (err != 0) {
    garmin_link_end();
    return err;
  }
  if (g_link.finished) {
    if (id) *id = int32_t(g_link.id);
    if (size) *size = g_link.size;
    if (data) *data = g_link.buf;
  } else {
    // The byte limit ended the receive before anything complete came.
    if (id) *id = 0;
    if (size) *size = 0;
    if (data) *data = g_link.buf;
  }
  garmin_link_end();
  return 0;
}

// ---- Send --------------------------------------------------------------------------------

void garmin_send_word_packet(com_device* port, uint16_t value, uint8_t id) {
  const uint8_t lo = uint8_t(value & 0xFF), hi = uint8_t(value >> 8);
  const uint8_t check = uint8_t(-(id + 2 + lo + hi));
  uint8_t out[12];
  int n = 0;
  out[n++] = kGarminDle;
  out[n++] = id;
  put_stuffed(out, &n, 2);
  put_stuffed(out, &n, lo);
  put_stuffed(out, &n, hi);
  put_stuffed(out, &n, check);
  out[n++] = kGarminDle;
  out[n++] = kGarminEtx;
  com_write(port, out, n);
}

void garmin_send_ack(com_device* port, int nak, uint8_t acked) {
  garmin_send_word_packet(port, acked, nak ? kGarminNak : kGarminAck);
}

int garmin_send_command(com_device* port, uint8_t packet_id, uint16_t value) {
  for (int tries = 0; tries < kGarminSendTries; ++tries) {
    garmin_send_word_packet(port, value, packet_id);
    int32_t id = 0;
    uint8_t size = 0;
    const uint8_t* data = nullptr;
    const int err = garmin_receive_packet(port, &id, &size, &data, kGarminAckByteLimit);
    if (err != 0) return err;
    if (id == kGarminAck && size >= 1) {
      const uint16_t acked = uint16_t(data[0] | (size >= 2 ? data[1] << 8 : 0));
      if (acked == packet_id) return 0;
    }
  }
  return set_gblerr(ERR_PROTOCOL);
}
