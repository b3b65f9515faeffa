// Receiving side of the XMODEM file transfer: 128-byte blocks after SOH, 1024-byte
// blocks after STX, an 8-bit sum or a CRC-16 (polynomial 0x1021) after each block. A
// small table automaton classifies each control byte; a good block header makes the
// receiver read the block, check it and append it to an in-memory file object.
//
// Contract:
// - A block whose sum or CRC is wrong is answered NAK and asked again; a block that
//   repeats the last one accepted (its ACK was lost) is answered ACK and dropped; any
//   other block number, or a bad complement, cancels the transfer (CAN).
// - Every wait is bounded on the platform clock: 50 empty reads while waiting for a
//   control byte, 21 while reading a block, then gblerr 17.
// - What was received before an error or a cancel stays in the file object; a block
//   that would take the image past the receiver's limit cancels the transfer.
// - One thread at a time per receiver.
#pragma once
#include <cstdint>

struct com_device;
struct fileatt_t;

// Control bytes.
constexpr uint8_t kXmodemSoh = 1;
constexpr uint8_t kXmodemStx = 2;
constexpr uint8_t kXmodemEot = 4;
constexpr uint8_t kXmodemAck = 6;
constexpr uint8_t kXmodemNak = 21;
constexpr uint8_t kXmodemCan = 24;
constexpr uint8_t kXmodemCrcAsk = 'C';

constexpr int kXmodemBufferSize = 1200;
constexpr int kXmodemReadTimeoutMs = 1000;
constexpr int kXmodemStartPauseMs = 2000;
constexpr int kXmodemReplyPauseMs = 100;
constexpr int kXmodemControlTries = 50;  // empty reads while waiting for a control byte
constexpr int kXmodemBlockTries = 21;    // empty reads in a row while reading a block
// The line is emptied before the start for at most this long (a sender that keeps
// talking does not hold the receiver).
constexpr int kXmodemDrainMs = 5000;

// The port's byte routines: reads as com_read (the count, 0 when nothing came within
// the read time-out, negative on error), writes as com_write.
using xmodem_read_fn = int (*)(void* port, int max, uint8_t* buffer);
using xmodem_write_fn = void (*)(void* port, const uint8_t* bytes, int count);

struct xmodem_rx {
  void* port;            // a serial device (com_device) unless the routines are replaced
  xmodem_read_fn read;   // com_read on the device after xmodem_create
  xmodem_write_fn write; // com_write on the device after xmodem_create
  uint32_t crc_mode;     // not 0: asks with 'C' and checks a CRC; 0: NAK and a sum
  uint8_t block[kXmodemBufferSize];
  int32_t position;      // write position in block
  uint8_t number;        // last block accepted (starts at 0)
  uint32_t reply;        // control byte sent after each step; ACK once both EOTs came
  int32_t received;      // bytes of the current block
  int32_t block_size;    // 128 or 1024
  uint32_t state;        // 0 wait for a block, 1 block number, 2 complement, 3 after EOT
  uint32_t done;
  int32_t accepted;      // blocks appended so far
  int32_t repeat;        // the block being read repeats the last one accepted
  int64_t limit;         // largest image accepted (0: none); a block beyond it cancels
  fileatt_t* file;       // destination (an in-memory file object; not owned)
};

// The receiver on a serial device and a new in-memory file object (*file, owned by the
// caller, free_obj). Returns 0, or gblerr 2 when no file object could be made (*out null).
int xmodem_create(com_device* port, int crc_mode, xmodem_rx** out, fileatt_t** file);
// Runs the transfer; returns when done or at the first error (gblerr).
void xmodem_receive(xmodem_rx* rx);
// Frees the record (not the file object) and nulls *rx.
void xmodem_free(xmodem_rx** rx);
// CRC-16 of XMODEM (polynomial 0x1021, start 0) and the 8-bit sum of a block.
uint16_t xmodem_crc16(const uint8_t* bytes, int count);
uint8_t xmodem_sum8(const uint8_t* bytes, int count);
// The bytes the file object holds (0 for none).
int64_t xmodem_file_size(fileatt_t* file);
