// Driver of the Wintec data loggers (family 7) on a serial port at 57600 baud, and the
// readers of their TK1, TK2 and TK3 log files (formats 71, 72, 73).
//
// The logger speaks text lines "@AL,<command>,<parameter>[,<value>]" ended by CR LF.
// A memory block read ("@AL,5,3,<address>") answers with the block's bytes raw, then a
// checksum line "@AL,CS,<xor in hex>,<n>" and the echo "@AL,5,3,<address>". Lines go
// through a small table automaton (wintec_feed); block bytes are taken raw, counted
// against the bytes requested, and never pass the automaton, whatever they hold.
//
// Contract:
// - Every wait is a timed read loop with the silence, no-progress and total time-outs
//   the protocol gives; a query that does not answer, range values that do not fit
//   together, or a block that still fails after kWintecBlockTries tries give error 17
//   (the log file keeps the records written before).
// - A block is decoded only when its checksum matches, and only as whole 16-byte
//   records; the field buffer of a line is bounded (kWintecMaxLine).
// - The datalog is written as a TMN-V3 navigation log.
#pragma once
#include <cstdint>
#include <cstdio>

#include "gps/port_io.h"

struct gpsport_t;
struct obj_t;
struct container_t;

constexpr int kWintecSpeed = 57600;
constexpr uint32_t kWintecCapabilities = 0x30;  // delete, datalog
constexpr int kWintecBlockSize = 4096;
constexpr int kWintecRecordSize = 16;
constexpr int kWintecNameMax = 8;
constexpr int kWintecFieldStart = 80;           // first field buffer size (+12)
constexpr int kWintecMaxLine = 4096;            // longer field text drops the line
constexpr int kWintecBlockTries = 3;

// Driver context, zero-filled. Its first three fields are those of a port reader.
struct wintec_ctx {
  void* device;             // com_device*
  std::FILE* log;           // unused (reader layout)
  port_read_fn read;        // com_read_routine
  port_read_ctx* wait;      // timed read loop record, owned
  char name[kWintecNameMax + 1];
  int32_t name_length;
  char* fields;             // owned: the line's text after "@AL,"
  uint32_t field_capacity;
  int32_t field_count;      // bytes in `fields`
  int32_t line_fields;      // fields of the completed line
  int32_t kind;             // 1 for an "AL" line
  int32_t state;            // 0..4
  std::FILE* out;           // the log file being written
  char* device_name;        // owned
  char* command;            // owned command text
  int32_t expected_command;
  int32_t expected_param;
  int32_t checksum;         // of the last checksum line, -1 when none
  uint32_t area_start, area_end;
  uint32_t data_start, data_end;
  uint8_t raw[kWintecBlockSize];
  int32_t raw_count;
  int32_t requested;        // bytes of the current block read (0: no block read)
  int32_t block_decoded;    // the block's checksum line matched and it was written
  int32_t records;          // records written
};

// Feeds received bytes: raw block bytes while a block read still lacks some, else the
// line automaton. The shape of a read loop handler; `reader` is the context.
void wintec_feed(const uint8_t* bytes, int count, port_reader* reader);
// A new context for an open device (line buffer of kWintecFieldStart bytes).
wintec_ctx* wintec_ctx_create(com_device* dev, wintec_ctx** out);
// Sends the command ("@AL,%d,%d\r\n" of the expected command and parameter when `text`
// is null) and waits with the three time-outs (s). Returns the loop's result.
int wintec_command(wintec_ctx* ctx, const char* text, double silence_s, double no_frame_s,
                   double total_s);
// Login, device name and the three version texts: 1 when logged in and named.
int wintec_query(wintec_ctx* ctx);

// The slots of family 7.
int32_t wintec_probe(const char* device_name, gpsport_t* port);
int32_t wintec_open(gpsport_t* port);
void wintec_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                         const char* extension);
void wintec_erase_log(void* connection, void* driver, int32_t* count);
void wintec_free(void** driver);
// Fills the routine slots of family 7.
void wintec_install();

// ---- Log record ------------------------------------------------------------------------
struct wintec_record {
  uint16_t flags;
  uint32_t time;   // packed: year - 2000 bits 26-31, month 22-25, day 17-21, h, m, s
  int32_t lat;     // 1e-7 degrees
  int32_t lon;
  int16_t alt;     // metres
};
// Decodes 16 little-endian bytes.
wintec_record wintec_record_decode(const uint8_t* p);
// One TMN-V3 line of a record into `out` (at least 160 bytes): its length.
int wintec_record_line(const wintec_record& r, char* out, int size);

// ---- TK files -------------------------------------------------------------------------
int read_wintec_tk1(obj_t* file, container_t* list);
int read_wintec_tk2(obj_t* file, container_t* list);
int read_wintec_tk3(obj_t* file, container_t* list);
// Registers the three readers (formats 71, 72, 73).
void wintec_files_init();
