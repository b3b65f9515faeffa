// Driver of the SkyTraq data loggers (family 9 of the receiver driver table): receivers
// with a flash data log, on a serial port at 9600 baud, speaking the binary protocol
// framed A0 A1 / length / payload / XOR / 0D 0A.
//
// The driver identifies the receiver by its software version (kernel, version, revision),
// downloads the data log sector by sector into a TMN-V3 navigation log, and clears the
// log. Slots: identify, connect, datalog download, datalog delete, close.
//
// A sector is asked with 1B n; the receiver acknowledges and then sends the sector's raw
// bytes, unframed, followed by the tag "END\0CHECKSUM=" and one checksum byte. The bytes
// are collected by a small raw feed that the wait record switches to after the
// acknowledgement; the sector is decoded once its tag and checksum byte came and the
// checksum (the XOR of the sector's bytes before the tag) matches.
//
// Contract:
// - Every wait is bounded by the wait record's time-outs; a sector that does not arrive
//   whole, or whose checksum does not match, is asked again a few times, then the download ends with error 17 keeping the
//   points already written.
// - The sector number is one byte: a log of more sectors than 256 is read up to sector
//   255 and a trace line says the rest was left.
// - Record decoding never reads past the sector's data. A full record has bit 0x40
//   without 0x80, a compact one 0x80 without 0x40; a first byte with neither or both
//   (the erased flash, 0xFF, after the last record) ends the sector.
// - One thread at a time per context.
#pragma once
#include <cstdint>
#include <cstdio>

struct bframe;
struct port_read_ctx;
struct port_reader;
struct gpsport_t;
struct geodatum_t;

// Receiver speed, and the capability bits given to the dialog (datalog, delete).
constexpr int kSkytraqSpeed = 9600;
constexpr uint32_t kSkytraqCapabilities = 0x30;
// Tries of the version question (identify, connect), and of the log status and of one
// sector before the download gives up with error 17.
constexpr int kSkytraqQueryTries = 2;
constexpr int kSkytraqSectorTries = 3;
// Largest sector (its data before the end tag) accepted.
constexpr int kSkytraqSectorMax = 8192;
// Highest sector number a one-byte request can name.
constexpr int kSkytraqSectorLimit = 256;

// Record sizes and type bits.
constexpr int kSkytraqFullSize = 18;
constexpr int kSkytraqCompactSize = 8;
constexpr uint8_t kSkytraqFullBit = 0x40;
constexpr uint8_t kSkytraqCompactBit = 0x80;
constexpr uint8_t kSkytraqPoiBit = 0x20;

// Sector collection states.
enum skytraq_sector_state : int32_t {
  SKYTRAQ_SECTOR_IDLE = 0,
  SKYTRAQ_SECTOR_DATA = 1,      // raw bytes until the end tag
  SKYTRAQ_SECTOR_CHECKSUM = 2,  // the tag came; its checksum byte is next
  SKYTRAQ_SECTOR_DONE = 3,      // complete and decoded
  SKYTRAQ_SECTOR_FAILED = 4,    // too long, or a wrong checksum: abandoned
};

struct skytraq_ctx {
  std::FILE* out;             // the navigation log, open during a download
  bframe* frame;              // owned automaton (its wait record below)
  port_read_ctx* wait;        // owned timed read loop record
  uint8_t software_type;
  uint8_t version[12];        // kernel 00 X Y Z, version 00 X Y Z, revision 00 YY MM DD
  uint8_t expected;           // id of the command waiting for its acknowledgement
  uint32_t acknowledged;      // 1 when the last command was acknowledged
  uint32_t sectors_left;
  uint32_t total_sectors;
  uint32_t points;            // lines written
  uint32_t write_pointer;
  uint32_t datalog_enable;
  uint32_t status_seen;       // 1 when a log status answer came
  int32_t saved_state;        // automaton state kept over the raw phase
  geodatum_t* datum;          // WGS 84 reference of the output
  // Raw sector collection.
  int32_t sector_state;       // skytraq_sector_state
  uint8_t* sector;            // owned: collected sector bytes
  int32_t sector_len;
  int32_t sector_cap;
  double saved_overall_s;     // total time-out of the wait outside the raw phase
  // Running position of the records (compact records move it).
  int32_t have_fix;
  int32_t week;
  uint32_t seconds;
  int32_t x, y, z;
};

// ---- Slots of family 9 ------------------------------------------------------------------
int32_t skytraq_probe(const char* device_name, gpsport_t* port);
int32_t skytraq_open(gpsport_t* port);
void skytraq_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                          const char* extension);
void skytraq_erase_log(void* connection, void* driver, int32_t* count);
void skytraq_free(void** driver);

// Fills the routine slots of gps_device_table[GPS_SKYTRAQ].
void skytraq_install();

// ---- Steps (also for tests and fuzzing) ---------------------------------------------------
// A context with its automaton (markers A0 A1 0D 0A, big-endian, XOR end check) and wait
// record on an open device (null for a context fed by hand). Null on failure (gblerr).
skytraq_ctx* skytraq_ctx_create(void* device);
// The identification: asks the software version and waits; 1 when a kernel came.
int skytraq_query(skytraq_ctx* ctx);
// One frame with the XOR checksum, in one port write.
void skytraq_send(void* device, const uint8_t* payload, int length);
// 10 ms pause, wait flags cleared, send, read loop: the loop's result.
int skytraq_send_wait(skytraq_ctx* ctx, const uint8_t* payload, int length);
// The frame handler.
void skytraq_on_frame(bframe* f);
// Raw sector bytes (the wait record's handler during a sector).
void skytraq_raw_chunk(const uint8_t* bytes, int count, port_reader* reader);
// Decodes the records of a sector's data, each written as one line to ctx->out (when
// open): the number of records decoded.
int skytraq_decode_sector(skytraq_ctx* ctx, const uint8_t* data, int n);
// The display name "Skytraq Ker. ..." of the version bytes.
void skytraq_display_name(const skytraq_ctx* ctx, char* out, int size);
