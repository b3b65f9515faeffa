// RoyalTek log sentences and the reader of the RoyalTek log file (format 70).
//
// The logger answers with NMEA-framed LOG1xx sentences; LOG102 is binary: after
// "$LOG102," come a 16-bit block number (little-endian), a length byte L (unsigned) and
// L bytes of track records, then "*", the checksum (over every byte between "$" and
// "*") and CR LF. The NMEA parser learns where such a sentence ends through the begin
// routine gpslog_binary_payload, which copies the binary part into the field buffer.
// The driver (royaltek.h) and the reader share the dictionary and that routine.
//
// Records by log type: 0: 12 bytes (time word, latitude, longitude), 1: 16 (and the
// altitude), 2: 20 (and the speed). The time word holds the hour in bits 8-15, the
// minute in 16-23, the second in 24-31; latitude and longitude are floats in radians,
// altitude a float in metres, speed a float in metres per second.
//
// Reader contract: one tracklog, a segment at every LOG101 of a type 0-2; a LOG102 cut
// short, or one before any good LOG101, makes no point; a file that cannot be opened
// gives 2; nothing read is ever beyond the bytes of the file.
#pragma once
#include <cstdint>

#include "gps/nmea_parser.h"

struct obj_t;
struct container_t;

// Sentence indexes of the dictionary.
enum gpslog_sentence : int {
  GPSLOG_PSRFTXT = 1,
  GPSLOG_LOG101 = 2,
  GPSLOG_LOG102 = 3,
  GPSLOG_LOG103 = 4,
  GPSLOG_LOG108 = 5,
  GPSLOG_LOG100 = 6,
  GPSLOG_LOG109 = 7,
};
constexpr int kGpslogHandlerCount = 8;
constexpr int kGpslogFieldSize = 300;
constexpr int kGpslogReadChunk = 260;
constexpr int kGpslogReadBuffer = 128 * 1024;
constexpr int kGpslogFormat = 70;

// Record size of a log type (0 for a type outside 0-2).
int gpslog_record_size(int log_type);

// Builds the dictionary (start-up; again rebuilds it) and registers the reader of
// format 70. gpslog_free releases the dictionary.
void gpslog_init();
void gpslog_free();
container_t* gpslog_dict();
// The begin-routine table of a parser on the dictionary: only LOG102 has one.
extern const nmea_handler kGpslogBegins[kGpslogHandlerCount];
// Copies LOG102's block number, length byte and L record bytes into the field buffer
// (asking the parser's read routine for bytes the current chunk lacks) and moves the
// parser past them; field_count then holds the bytes really copied.
void gpslog_binary_payload(nmea_parser* parser);

// The reader of format 70.
int gpslog_read(obj_t* file, container_t* list);

// One decoded record.
struct gpslog_record {
  uint32_t time_word;
  double latitude;   // degrees
  double longitude;  // degrees
  double altitude;   // metres (types 1, 2; else 0)
  double speed;      // km/h (type 2; else 0)
};
// Decodes the record at `bytes` of the log type (whose size the caller checked).
void gpslog_decode(const uint8_t* bytes, int log_type, gpslog_record* out);
