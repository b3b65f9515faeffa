// Inside of the Garmin links: the serial receive state and the automaton that runs over
// it one byte at a time, and the pure parsers of the identification. The port routines
// drive them from the device; the fuzz harnesses drive them from byte buffers (with no
// port, acknowledgements go nowhere).
#pragma once
#include <cstdint>

#include <cstddef>

struct com_device;
struct garmin_product;
struct garmin_product_data;
struct garmin_usb_packet;

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
  int32_t frame_bytes;   // bytes of this receive since the last frame ended
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

// Product data (product id, software version, a description terminated inside `size`
// bytes): 0, or 17 when the data is shorter. The description is copied into
// *description (owned by the caller), which out->description points at.
int garmin_product_data_parse(const uint8_t* data, size_t size, garmin_product_data* out,
                              char** description);
// The header of `count` received bytes (fields decoded from 12 bytes on).
void garmin_usb_decode(const uint8_t* bytes, int32_t count, garmin_usb_packet* out);
// One packet of the protocol-array exchange over USB: 1 when it is to be skipped and the
// next one read (Ext_Product_Data), 0 when the exchange ends (a protocol array then
// replaces *out; a packet shorter than its announced data sets 17).
int garmin_usb_array_packet(const garmin_usb_packet* p, const garmin_product_data* data,
                            garmin_product** out);
