// Garmin link layer: the packet framing of a Garmin receiver over a serial port (DLE
// framing, check byte, ACK/NAK of every packet, a table-driven receive automaton,
// commands repeated until acknowledged) and over USB (12-byte packet headers, session
// start, interrupt and bulk reads), the identification of a receiver over either link
// (product request, product data, protocol array), switching it off, reconnecting to
// it and closing the link.
//
// Files: link_serial.cpp (serial framing, receive automaton, commands), link_usb.cpp
// (USB packets, session, drain, commands), link_identify.cpp (identification over both
// links, the family's identify/reconnect/probe/switch-off/close routines).
//
// Contract shared by every routine here:
// - Errors go through gblerr (core/error.h): 1 out of memory, 4 the serial device cannot
//   be opened, 5 a USB transfer failed, 17 the receiver does not answer as expected
//   (silence, endless refusals, short or oversize packets, wrong replies). Routines that
//   return an int return that code (0 on success).
// - Every wait is bounded: a serial receive gives 17 after 11 empty reads in a row (each
//   one read time-out of the port); a command or a product request is sent at most 11
//   times; more than 20 refused frames in a row for one id give 17, and so do 1040
//   bytes without the end of any frame (a stream that is not a Garmin link).
// - The serial link keeps one receive state for the process (there is one serial Garmin
//   link at a time; it is used by one thread at a time): garmin_link_open makes it,
//   garmin_link_free / garmin_close release it. Its bad-frame counter counts consecutive
//   bad frames: it restarts at link opening and after each good packet.
// - Every size a receiver announces is checked against the bytes that really came.
#pragma once
#include <cstddef>
#include <cstdint>

struct com_device;        // gps/port_io.h
struct gpsport_t;         // gps/gpsport.h
struct garmin_product;    // gps/garmin/product.h (class 108 product entry)
struct garmin_product_data;  // gps/garmin/product.h (product id, version, description)

// ---- Wire constants ----------------------------------------------------------------------

constexpr uint8_t kGarminDle = 16;
constexpr uint8_t kGarminEtx = 3;
constexpr uint8_t kGarminAck = 6;
constexpr uint8_t kGarminNak = 21;

// Packet ids of the link level, the same on both links.
constexpr int kGarminPidExtProductData = 248;
constexpr int kGarminPidProtocolArray = 253;
constexpr int kGarminPidProductRqst = 254;
constexpr int kGarminPidProductData = 255;

// Serial receive: byte limit of a receive that waits for an acknowledgement, empty reads
// before a receive gives up, sends of one command or product request before giving up,
// repeated bad frames of one id tolerated, buffer capacity at link opening.
constexpr int kGarminAckByteLimit = 60;
constexpr int kGarminReadAttempts = 11;
constexpr int kGarminSendTries = 11;
constexpr int kGarminBadFrameRepeats = 20;
constexpr int kGarminLinkInitialCapacity = 100;
// Bytes one receive takes without the end of any frame before it gives up (17): twice
// the longest frame, all of its bytes doubled.
constexpr int kGarminFrameByteLimit = 1040;

// USB packet: types, the header size, the ids of the USB protocol layer.
constexpr int kGarminUsbHeaderSize = 12;
constexpr uint8_t kGarminUsbTypeProtocol = 0;
constexpr uint8_t kGarminUsbTypeApplication = 20;
constexpr int kGarminUsbPidDataAvailable = 2;
constexpr int kGarminUsbPidStartSession = 5;
constexpr int kGarminUsbPidSessionStarted = 6;

// ---- Serial link -------------------------------------------------------------------------

// Clears the finished flag, packet id and expected length and the bad-frame counter;
// allocates the 100-byte receive buffer (failure: error 1). Returns the error code.
int garmin_link_open();
// Clears packet id and expected length, frees the receive buffer (capacity 0).
void garmin_link_free();

// Receives one packet or ACK/NAK on `port`, acknowledging every data packet (ACK when
// good, NAK when bad, then waits for the repeat). On success *id gets the packet id (6
// for an ACK, 21 for a NAK), *size the size byte and *data the receive buffer (data then
// check byte), valid until the next receive. byte_limit 0: no limit; otherwise at most
// that many bytes are consumed and a receive that reaches it ends with 0 and *id 0.
// Errors (17 after 11 empty reads, a packet longer than announced, more than 20 refused
// frames in a row for one id, 1040 bytes without the end of a frame; 1 out of memory)
// leave the outputs unwritten.
int garmin_receive_packet(com_device* port, int32_t* id, uint8_t* size, const uint8_t** data,
                          int byte_limit);
// Sends DLE, id, 2, value low, value high, check byte, DLE, ETX (no byte doubling: the
// callers never send a 16 inside).
void garmin_send_word_packet(com_device* port, uint16_t value, uint8_t id);
// An ACK (nak 0) or a NAK of packet id `acked`.
void garmin_send_ack(com_device* port, int nak, uint8_t acked);
// Sends the word packet (packet_id, value) until the receiver ACKs packet_id: at most 11
// sends, each followed by a receive limited to 60 bytes; then 17. Returns the error.
int garmin_send_command(com_device* port, uint8_t packet_id, uint16_t value);

// Identification over serial: product request (at most 11, until ACKed), product data
// (id 255, at least 4 bytes, a terminated description), the product table, then the
// protocol array. *out gets the product entry (a table entry, or a fresh one built from
// the protocol array). 17 when no entry results. Returns the error.
int garmin_serial_identify(com_device* port, garmin_product** out);
// Reads the packet after the product data: a protocol array (id 253) replaces *entry by
// a fresh entry built from `data`; any other packet leaves *entry; a failed receive
// clears gblerr and leaves *entry.
void garmin_read_protocol_array(com_device* port, const garmin_product_data* data,
                                garmin_product** entry);
// Turn_Off_Pwr in a Command_Data packet of the entry's tables, until acknowledged.
void garmin_serial_power_off(com_device* port, garmin_product* entry);

// ---- USB link ----------------------------------------------------------------------------

// The two read routines of a USB exchange: 0 interrupt (usb_read_interrupt_all), 1 bulk
// (usb_read_bulk). Each gives the packet just read and its byte count (0: nothing).
using garmin_usb_read_fn = int (*)(com_device* dev, uint8_t** data, int32_t* count);
extern const garmin_usb_read_fn garmin_usb_readers[2];

// One USB packet as read. Header fields are decoded only when count >= 12.
struct garmin_usb_packet {
  const uint8_t* bytes;  // the whole packet, valid until the next read of the device
  int32_t count;         // bytes received (0: nothing came)
  uint8_t type;          // 0 USB protocol layer, 20 application layer
  uint16_t id;
  uint32_t size;         // announced data size
  const uint8_t* data;   // bytes + 12
};

// Reads one packet with reader *index. When *index is 0 and the reply has at least 12
// bytes and is type 0 id 2 (data available), *index becomes 1 and the packet is read
// again from the bulk pipe. Returns 0 (out->count may be 0) or the error (5).
int garmin_usb_read(com_device* dev, int* index, garmin_usb_packet* out);
// 0 when the packet holds its 12-byte header and all the data its header announces;
// otherwise sets and returns 17.
int garmin_usb_packet_check(const garmin_usb_packet* p);
// Writes type, id and `size` data bytes as one packet (usb_write). Returns the error.
int garmin_usb_send_packet(com_device* dev, uint8_t type, uint16_t id, const void* data,
                           uint32_t size);

// Start_Session, then reads until type 0 id 6; other packets are skipped (at most a
// bounded number of them); a read of nothing is 17. Returns the error.
int garmin_usb_start_session(com_device* dev);
// Product_Rqst, product data (id 255, at least 4 bytes, a terminated description), then
// the protocol array. No product table over USB: without a protocol array, 17.
int garmin_usb_identify(com_device* dev, garmin_product** out);
// Reads the protocol array with reader `index`, skipping Ext_Product_Data packets; a
// packet shorter than 13 bytes or with data size 0 ends with *out left as it is. After
// reading with index 1 the bulk pipe is drained. A packet shorter than its announced
// size is 17. Returns the error.
int garmin_usb_read_protocol_array(com_device* dev, int index, const garmin_product_data* data,
                                   garmin_product** out);
// A 14-byte command packet: type 20, id packet_id, size 2, the 16-bit value. No reply is
// awaited. Returns the error.
int garmin_usb_send_command(com_device* dev, uint16_t value, uint16_t packet_id);
// Bulk reads until one gives nothing or a packet whose data size is 0 (bounded).
void garmin_usb_drain(com_device* dev);
// Turn_Off_Pwr in a Command_Data packet of the entry's tables; nothing is awaited.
void garmin_usb_power_off(com_device* dev, garmin_product* entry);

// ---- Family routines ---------------------------------------------------------------------

// Identify slot of family 1: link open, serial device at 9600 baud (else -1), identify.
// 1: the port holds family 1, kind 1, the device name, the connection, the entry, the
// description as display name and the capabilities. 0: no Garmin receiver (17 cleared,
// port and link released).
int32_t garmin_identify(const char* device_name, gpsport_t* port);
// The n-th Garmin USB receiver: open, session, identify; 1 and a new port in *out, or 0
// (17 cleared, device closed). The receiver search hook.
int garmin_usb_probe(int index, gpsport_t** out);
// Reopen the port's device and identify again; the connection and the new entry go into
// the port. Any error, or a description other than the port's display name (17), closes
// the port. Returns the error (serial device that cannot be opened: 4).
int garmin_serial_reconnect(gpsport_t* port);
int garmin_usb_reconnect(gpsport_t* port);
// Switch-off slot: USB (kind 2) or serial Turn_Off_Pwr.
void garmin_power_off(void* connection, void* driver, int32_t kind);
// Close slot: garmin_link_free, then frees the entry when it was built from a protocol
// array (table entries are never freed); nulls *driver.
void garmin_close(void** driver);
