// Inside of the Garmin serial link: the receive state and the automaton that runs over
// it one byte at a time. garmin_receive_packet drives it from the serial port; the fuzz
// harness drives it from a byte buffer (with no port: acknowledgements go nowhere).
#pragma once
#include <cstdint>

struct com_device;

struct garmin_link_state {
  int32_t finished;      // a packet, an ACK or a NAK is complete
  uint16_t expected;     // size byte + 1 (data plus check byte)
  uint32_t pos;          // write position in buf
  com_device* port;      // the port being read, null between receives
  uint8_t size;          // size byte of the packet being received
  uint8_t id;            // packet id of the packet being received
  uint8_t* buf;          // receive buffer (owned)
  uint32_t cap;          // its capacity
  int32_t bad_id;        // id of the last bad frame, -1 after a good one
  int32_t bad_repeats;   // bad frames of that id in a row, less one
  int32_t state;         // automaton state, 0 idle
};

// The process's serial link state.
garmin_link_state& garmin_link();

// Byte class of the receive automaton: 0 DLE, 1 ETX, 2 ACK, 3 NAK, 4 accepted packet id,
// 5 any other byte.
int garmin_link_class(uint8_t byte);
// Starts a receive: finished flag cleared, state 0, the port remembered.
void garmin_link_begin(com_device* port);
// Runs one byte through the automaton. Returns 1 when the receive ends at this byte (a
// complete packet, or gblerr set), else 0.
int garmin_link_step(uint8_t byte);
// Ends a receive: packet id, expected length and port cleared.
void garmin_link_end();
