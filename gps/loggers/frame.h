// Byte-frame automaton of the binary data loggers: the receiver of framed messages
// (two start bytes, a 16-bit payload length, the payload, a checksum, two end bytes),
// the matching sender and the send-then-wait step the drivers use.
//
// A driver makes an automaton with its configuration (markers, byte order, end check,
// largest payload) and its frame handler, and feeds it whatever the port read returned
// (bframe_feed, also the feed routine of the wait record); the handler runs once per
// complete, checked frame, with the cursor on the first payload byte.
//
// Contract:
// - A frame may span any number of reads, its length bytes included.
// - A frame whose declared length is above the configuration's largest payload is
//   dropped at its head; a frame without a good end is dropped kBframeSlack bytes past
//   its length. The buffer therefore never holds more than max_length + kBframeSlack.
// - A bad checksum or a short payload is not reported: the automaton resynchronises on
//   the next start-1/start-2 pair or the next good end.
// - Bad bytes never set an error; only an action or the frame handler may set gblerr,
//   which stops feeding at that byte (bframe_feed returns the code).
// - One thread at a time per automaton.
#pragma once
#include <cstdint>

struct bframe;
struct port_read_ctx;  // timed read loop record of the port I/O (gps/port_io.h)

using bframe_read_fn = int (*)(void* device, int max, uint8_t* buffer);
// One action of the automaton, called with the byte and the automaton.
using bframe_action = void (*)(uint8_t byte, bframe* f);
// Called for each complete, checked frame.
using bframe_handler = void (*)(bframe* f);

constexpr int kBframeInitialCapacity = 5000;
constexpr int kBframeSlack = 16;          // bytes past the length before a frame is dropped
constexpr int kBframeMaxPayload = 8192;   // default largest payload

// The four routines of an action table, indexed by action: 1 start, 2 append, 3 end
// check. Action 0 is "none" and calls nothing; its slot holds the reset routine.
struct bframe_actions {
  bframe_action act[4];
};

// A driver's configuration.
struct bframe_config {
  uint8_t markers[4];              // start 1, start 2, end 1, end 2
  int32_t big_endian;              // length (and a 2-byte checksum) order
  const bframe_actions* actions;   // null: the default table (15-bit sum)
  int32_t max_length;              // largest payload accepted (<= 65535)
};

// Globalsat: A0 A2 / B0 B3, big-endian, 15-bit sum. Navilink: the same, little-endian.
// SkyTraq: A0 A1 / 0D 0A, big-endian, one-byte XOR of the payload.
extern const bframe_config kBframeGlobalsat;
extern const bframe_config kBframeNavilink;
extern const bframe_config kBframeSkytraq;
extern const bframe_actions kBframeDefaultActions;  // bframe_end_sum
extern const bframe_actions kBframeXorActions;      // bframe_end_xor
extern const uint8_t kBframeDefaultMarkers[4];      // A0 A2 B0 B3

// The first three fields are those of a port reader (gps/port_io.h): port, a spare
// pointer-sized word, read routine.
struct bframe {
  void* port;                    // the open port, used by the drivers when they send
  void* spare;
  bframe_read_fn read;
  void* driver;                  // the driver's own record
  bframe_handler on_frame;
  port_read_ctx* wait;           // timed read loop record, set by the driver
  const uint8_t* markers;        // 4 bytes
  uint8_t* buffer;               // owned: payload, checksum, first end byte
  int32_t capacity;
  uint8_t* cursor;               // write position; payload start while the handler runs
  uint32_t message_id;           // first payload byte of the frame being handled
  int32_t expected;              // payload length from the head
  int32_t collected;             // bytes in the buffer
  int32_t state;                 // 0..5, 6 and 7 while the length bytes arrive
  int32_t big_endian;
  const uint8_t* in_cursor;      // next byte of the chunk being fed
  int32_t in_left;               // bytes of the chunk after the current one
  const bframe_actions* actions;
  int32_t max_length;            // largest payload accepted
  uint8_t markers_own[4];        // copy of the configuration's markers
};

// Allocates an automaton: null actions take the default table, null markers A0 A2 B0 B3,
// largest payload kBframeMaxPayload. Returns 0 or the error code (*out null then).
int bframe_create(const bframe_actions* actions, bframe_handler on_frame, void* port,
                  bframe_read_fn read, int big_endian, const uint8_t* markers, bframe** out);
// The same from a configuration.
int bframe_create_config(const bframe_config* config, bframe_handler on_frame, void* port,
                         bframe_read_fn read, bframe** out);
// Frees the buffer and the record; nulls *f.
void bframe_free(bframe** f);

// Feeds n bytes; 0, or at once the gblerr code an action set. The signature of a feed
// routine of the timed read loop: (bytes, count, reader).
int bframe_feed(const uint8_t* data, int n, void* automaton);

// bframe_feed in the shape of a read loop handler (port_chunk_fn): the reader is the
// automaton, whose first fields are those of a port reader.
struct port_reader;
void bframe_feed_chunk(const uint8_t* bytes, int count, port_reader* reader);

// The actions (for drivers' own tables).
void bframe_reset(uint8_t byte, bframe* f);
void bframe_append(uint8_t byte, bframe* f);
void bframe_start(uint8_t byte, bframe* f);
void bframe_end_sum(uint8_t byte, bframe* f);   // 15-bit sum, 2 bytes in the frame's order
void bframe_end_xor(uint8_t byte, bframe* f);   // XOR of the payload, one byte

// The checksums.
uint16_t bframe_sum15(const uint8_t* payload, int length);
uint8_t bframe_xor(const uint8_t* payload, int length);

// Builds one frame (start 1, start 2, length, payload, 15-bit sum, end 1, end 2) into
// `out` (length + 8 bytes): the byte count, or -1 for a length outside 0..65535.
int bframe_build(const uint8_t* payload, int length, int big_endian, const uint8_t* markers,
                 uint8_t* out);
// Builds one frame and writes it to the port in one com_write. 0, or the error code
// (ERR_VALUE for a length outside 0..65535; nothing is written then).
int send_framed_message(void* port, const uint8_t* payload, int length, int big_endian,
                        const uint8_t* markers);
// The wait record's reader is the automaton itself and its handler bframe_feed_chunk.
// Sleeps 10 ms, clears the wait record's progress and done flags, sends the payload with
// the automaton's markers and order, then runs port_read_loop on the wait record until
// the frame handler sets done or a time-out ends the wait. Returns the loop's result
// (1..4; as the loop left it when it ended by a read error or gblerr), 0 when the send
// failed, or -1 without a wait record.
int bframe_send_wait(void* port, const uint8_t* payload, int length, bframe* f);
