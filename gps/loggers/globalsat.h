// Driver of the Globalsat data loggers (family 4 of the receiver driver table): loggers
// on a serial port at 115200 baud speaking frames A0 A2 / big-endian length / payload /
// 15-bit sum / B0 B3.
//
// The driver reads the logger's 8-byte identifier, downloads every stored track file
// into one TMN-V3 navigation log, and erases the log. Slots: identify, connect, datalog
// download, datalog delete, close.
//
// The track-file list comes in pages: BB and a start index are answered by BB, the
// number of entries n, the index of the next page (0: the last page), then n entries of
// 12 bytes. A track file is asked with B5 and its index and comes in two packets of
// 1024 bytes of records after the id; each file starts in record format 2, and a
// format-2 record names the format of the next record.
//
// Contract:
// - No answer is read past the bytes its frame holds: the identifier needs 13 payload
//   bytes, a list page counts only the entries it holds, a track packet needs 1025
//   payload bytes and a record is decoded only when all of its bytes are in the packet.
// - A track file keeps at most kGlobalsatMaxPoints points; packets past the second are
//   ignored.
// - Every wait is bounded; a list page or a track file that does not come whole is asked
//   again a few times, then the download ends with error 17 keeping what was written.
// - One thread at a time per context.
#pragma once
#include <cstdint>
#include <cstdio>

struct bframe;
struct port_read_ctx;
struct gpsport_t;

constexpr int kGlobalsatSpeed = 115200;
constexpr uint32_t kGlobalsatCapabilities = 0x30;
constexpr int kGlobalsatMaxPoints = 260;
constexpr int kGlobalsatRecordsPerPacket = 125;
constexpr int kGlobalsatPacketBytes = 1024;
constexpr int kGlobalsatListEntrySize = 12;
// Tries of the identification, of one list page and of one track file.
constexpr int kGlobalsatTries = 3;
// Record sizes of formats 0, 1, 2.
constexpr int kGlobalsatRecordSize[3] = {8, 20, 32};

struct globalsat_point {
  int32_t latitude;    // DDDMMmmmm
  int32_t longitude;
  int32_t time;        // hhmmss
  int32_t date;        // ddmmyy
  int32_t speed;       // 0.01 units
  int32_t altitude;    // 0.0001 units
  int32_t format;      // the record format that decoded it
};

struct globalsat_ctx {
  std::FILE* out;              // the navigation log, open during a download
  uint32_t recognised;         // 1 when the identifier answer had the product bytes
  char id[17];                 // 16 upper-case hexadecimal digits
  bframe* frame;               // owned automaton
  port_read_ctx* wait;         // owned timed read loop record
  uint8_t command;             // 0xBB list, 0xB5 track file
  int32_t points_in_answer;
  int32_t track_files;
  uint16_t next_index;
  uint32_t record_format;
  uint32_t first_packet_seen;
  uint32_t packets;            // packets of the current track file taken
  uint32_t list_answered;      // 1 when a list page came
  uint32_t erase_answered;
  globalsat_point points[kGlobalsatMaxPoints];
};

// ---- Slots of family 4 ------------------------------------------------------------------
int32_t globalsat_probe(const char* device_name, gpsport_t* port);
int32_t globalsat_connect(gpsport_t* port);
void globalsat_write_tmn(void* connection, void* driver, int32_t* count, const char* base_name,
                         const char* extension);
void globalsat_erase_log(void* connection, void* driver, int32_t* count);
void globalsat_close(void** driver);

// Fills the routine slots of gps_device_table[GPS_GLOBALSAT].
void globalsat_install();

// ---- Steps (also for tests and fuzzing) ---------------------------------------------------
// A context with its automaton (default markers, big-endian, 15-bit sum) and wait record
// on an open device (null for a context fed by hand). Null on failure (gblerr).
globalsat_ctx* globalsat_ctx_create(void* device);
// Greeting and identifier: 1 when the logger was recognised.
int globalsat_query(globalsat_ctx* ctx);
// The frame handler.
void globalsat_on_frame(bframe* f);
// Decodes one packet's records (the bytes after the id, at most `n`) into the points.
void globalsat_decode_packet(globalsat_ctx* ctx, const uint8_t* data, int n);
// Writes one point as a line of the navigation log.
void globalsat_write_point(std::FILE* out, const globalsat_point& p);
// Degrees of a DDDMMmmmm value.
double globalsat_degrees(int32_t v);
