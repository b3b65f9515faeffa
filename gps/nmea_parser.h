// NMEA 0183 parser: one byte-driven machine for the text of live receivers (serial, UDP),
// NMEA log files, the NMEA-speaking loggers and the diffusion program.
//
// The parser is fed arbitrary chunks (nmea_feed); it finds sentences
// "$" name "," fields "*" checksum CR LF, drops every sentence whose checksum is missing
// or wrong, and calls the handler of each recognised sentence, which writes what the
// sentence carries into the fix record (nmea_fix). The lexer is a table (6 states by 10
// byte classes, 8 actions); the sentence names (a keyword dictionary, core/dict.h), the
// handlers and the optional begin-of-sentence routines are tables too, so a driver runs
// the same machine with its own sentence table (nmea_parser_new).
//
// Contract:
// - A chunk may end anywhere; the state carries over to the next call.
// - A sentence whose fields pass kNmeaMaxSentence bytes is dropped (the machine goes idle
//   and waits for the next "$"), so memory stays bounded whatever the input.
// - Bad input never sets an error; only a handler may set gblerr, which stops feeding at
//   that byte (nmea_feed returns the code).
// - A parser is used by one thread at a time; the tables are read-only after
//   nmea_module_init.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/dates.h"
#include "core/object.h"

struct container_t;
struct nmea_parser;

// Reads up to `max` bytes from the device into `buffer`: the count, 0 for nothing, -1 on
// a read error (the read routine of a port reader, gps/port_io.h).
using nmea_read_fn = int (*)(void* device, int max, uint8_t* buffer);
// A sentence handler or a begin-of-sentence routine (called at the end of the name).
using nmea_handler = void (*)(nmea_parser* parser);

// ---- Fix record ----------------------------------------------------------------------
// Positions are seconds of arc (degrees * 3600), north and east positive. Doubles
// without a value hold NULL_DOUBLE (-1e100), integers NULL_INT (0x80000001).
constexpr int kNmeaSatellites = 12;
constexpr int kNmeaNameSize = 20;    // origin and waypoint names, terminator included
constexpr int kNmeaDatumSize = 80;   // datum name, terminator included
constexpr const char* kNmeaStartDatum = "WGS 84";  // WGS 84 in naming scheme 4

struct nmea_satellite {
  int32_t prn;
  int32_t elevation;
  int32_t azimuth;
  int32_t snr;
  int32_t used;
};

// Validity flags: set by the handlers, cleared per read by nmea_fix_clear.
struct nmea_valid {
  int32_t time;
  int32_t position;
  int32_t altitude;
  int32_t speed;
  int32_t course;
  int32_t satellites;
  int32_t quality;
  int32_t date;
  int32_t sat_table;
};

struct nmea_fix {
  double latitude;
  double longitude;
  double time;            // UTC time of day, fraction of a day
  double date;            // packed date
  double altitude;        // metres above mean sea level
  double ell_height;      // ellipsoidal height, metres
  double speed;           // km/h
  double speed_knots;
  double course;          // degrees true
  double mag_course;      // degrees magnetic
  double h_error;         // metres (PGRME)
  double v_error;
  double hdop;
  double vdop;
  double pdop;
  double h_accuracy;      // metres (PUBX)
  double v_accuracy;
  int32_t fix;            // 0 none, 1 fix, 2 two-dimensional, 3 three-dimensional
  int32_t differential;
  int32_t dead_reckoning;
  char datum_name[kNmeaDatumSize];
  int32_t datum_scheme;   // 4 receiver datum names, 7 NMEA datum codes
  int32_t arrival;
  char origin_name[kNmeaNameSize];
  char waypoint_name[kNmeaNameSize];
  double wpt_latitude;
  double wpt_longitude;
  double bearing;         // degrees true
  double mag_bearing;
  double range;           // nautical miles
  double closing_velocity;  // knots
  char* route_name;       // owned
  char* route_waypoints;  // owned string list (strlist_append), ended by an empty string
  int32_t waypoint_given;
  int32_t route_complete;
  int32_t satellites;     // in view (GSV, PUBX 03) or used (GGA)
  int32_t satellites_used;
  nmea_satellite sat[kNmeaSatellites];
  nmea_valid valid;
  date_rec fix_date;      // set by the live reader
  int32_t event;          // 1 START, 2 STOP (PTMQT)
  double time_stamp;      // packed date plus time of day (PTMQB)
  uint8_t* raw;           // owned: the bytes of the read that produced this fix
  int32_t raw_length;
};

// A zero-filled fix with the start values: doubles without value where the handlers
// store "no value", satellites NULL_INT, datum "WGS 84" in naming scheme 4.
// Returns the fix (also stored in *out); null with gblerr set on failure.
nmea_fix* nmea_fix_new(nmea_fix** out);
// Frees the owned route name, route list and raw text, then the record; nulls *fix.
void nmea_fix_free(nmea_fix** fix);
// Clears the per-read parts: time stamp 0, every validity flag, event 0.
void nmea_fix_clear(nmea_fix* fix);

// ---- Parser record -------------------------------------------------------------------
constexpr int kNmeaNameMax = 8;                 // stored name characters
constexpr int kNmeaMaxSentence = 16 * 1024;     // longest field text kept
constexpr int kNmeaNameCache = 4;               // names remembered by a parser
constexpr int kNmeaHandlerCount = 21;           // standard handler table
constexpr int kNmeaStdFieldSize = 80;

// A short field text and the value read from it: the sentences of one fix repeat its
// time, position and date, so each text is read once (nmea_next_position, _time, _date).
constexpr int kNmeaMemoText = 16;
struct nmea_memo {
  char text[kNmeaMemoText];
  int32_t length;   // -1: nothing kept
  double value;
};

// The first three fields are those of a port reader (gps/port_io.h): device, a
// pointer-sized field (here the NMEA log of a live port), read routine.
struct nmea_parser {
  void* device;                 // handed to the read routine
  std::FILE* log;               // NMEA log of a live port, null when none
  nmea_read_fn read;
  container_t* dict;            // sentence name -> sentence index
  int32_t remaining;            // bytes of the current chunk not yet fed
  const uint8_t* cursor;        // next byte of the current chunk
  nmea_fix* fix;                // written by the handlers
  const nmea_handler* handlers; // indexed by sentence index
  char name[kNmeaNameMax + 1];
  char* fields;                 // owned: characters after the first comma, up to "*"
  int32_t initial_size;
  int32_t capacity;             // bytes of `fields`
  char checksum[5];             // up to 4 hexadecimal digits, terminated
  char* name_cursor;
  char* checksum_cursor;
  char* field_cursor;           // write position; read position while a handler runs
  int32_t index;                // sentence index (0: ignored, also after a bad checksum)
  int32_t checksum_count;
  int32_t name_count;
  int32_t field_count;
  int32_t state;                // 0..5
  int32_t route_total;          // RTE series in progress
  const nmea_handler* begins;   // optional, indexed by sentence index
  int32_t handler_count;        // entries of handlers (and of begins when given)
  int32_t owns_fix;             // nmea_reader_free frees the fix
  // The last sentence names looked up and their indexes (a stream repeats a few names),
  // for `cache_dict` only.
  container_t* cache_dict;
  uint64_t cache_key[kNmeaNameCache];   // the names' characters, zero-padded
  int32_t cache_index[kNmeaNameCache];
  int32_t cache_next;
  nmea_memo memo_position[2];   // latitude and longitude (without the hemisphere)
  int32_t memo_position_next;
  nmea_memo memo_time;
  nmea_memo memo_date;
};

// Class 140: an owned text and its count (its free routine frees the text and zeroes
// the count).
constexpr int CLS_NMEA_TEXT = 140;
#pragma pack(push, 1)
struct nmea_text_t : obj_t {
  char* text;
  int32_t count;
};
#pragma pack(pop)

// Builds the standard sentence dictionary (39 names; calling it again rebuilds it) and
// registers class 140. Returns 0 or the error code. nmea_module_free releases the
// dictionary.
int nmea_module_init();
void nmea_module_free();
// The standard dictionary and handler table (21 entries, index 0 does nothing).
container_t* nmea_std_dict();
extern const nmea_handler kNmeaStdHandlers[kNmeaHandlerCount];

// A parser on a driver's own tables: the dictionary maps names to indexes below
// handler_count (any other value is treated as 0); begins is null or has handler_count
// entries (null entries allowed). Field capacity = initial_size + 12. Returns 0 or the
// error code; *out is null on failure.
int nmea_parser_new(container_t* dict, const nmea_handler* handlers, int handler_count,
                    void* device, nmea_read_fn read, int initial_size,
                    const nmea_handler* begins, nmea_parser** out);
// The standard tables, initial field size 80, no begin table, no fix.
int nmea_parser_new_std(void* device, nmea_read_fn read, nmea_parser** out);
// nmea_parser_new_std plus a fix record owned by the parser (nmea_fix_new).
int nmea_reader_create(void* device, nmea_read_fn read, nmea_parser** out);
// Frees the field buffer and the record (not the fix, not the log); nulls *parser.
void nmea_parser_free(nmea_parser** parser);
// Frees the parser's fix record, then the parser.
void nmea_reader_free(nmea_parser** parser);

// Feeds `count` bytes. Returns 0, or the gblerr code a handler set (feeding stopped at
// that byte, the state not advanced).
int nmea_feed(const uint8_t* bytes, int count, nmea_parser* parser);

// Empties the sentence being collected (name, fields, checksum, counts); the state is
// left to the caller.
void nmea_parser_reset(nmea_parser* parser);

// ---- Helpers for handlers (nmea_handlers*.cpp and drivers' handlers) ----------------
// XOR of every character of the text up to its terminator; 0 for an empty text.
int nmea_checksum(const char* text);
// ddmm.mmmm (or dddmm.mmmm) to decimal degrees; stored in *out and returned.
double nmea_dm_to_deg(double value, double* out);
// The next comma-separated field of the sentence being handled (at most 80 characters,
// a longer field reads ""); moves the parser's field cursor. Returns buffer.
constexpr int kNmeaFieldSize = 81;
char* nmea_next_field(nmea_parser* parser, char buffer[kNmeaFieldSize]);
// Numeric fields hold an optional sign, digits and at most one point; a field with
// anything else ("4x17.24") is malformed and reads as an empty field (positions: NaN),
// never as far as its digits go.
// The next field as a number; `present` (when given) says whether it was non-empty
// and well formed; 0 when not.
double nmea_next_double(nmea_parser* parser, int* present);
// The next field as an integer (saturated); NULL_INT when empty or malformed.
int32_t nmea_next_int(nmea_parser* parser, int* present);
// The first character of the next field ('\0' when empty or too long).
char nmea_next_letter(nmea_parser* parser);
// Moves past n fields.
void nmea_skip_fields(nmea_parser* parser, int n);
// The next two fields, ddmm.mmmm and a hemisphere, as nmea_position_seconds reads them
// (NaN for a malformed number: the handlers then drop the position).
double nmea_next_position(nmea_parser* parser);
// The next field, hhmmss.ss, as a fraction of a day (hhmmss_to_day_fraction of its
// number); `present`, when given, says whether it was non-empty and well formed. NaN
// for a malformed field (the handlers then drop the sentence's position).
double nmea_next_time(nmea_parser* parser, int* present = nullptr);
// The next field, ddmmyy, as a packed date (parse_date_ddmmyy); `present` says whether
// it was non-empty.
double nmea_next_date(nmea_parser* parser, int* present);
// Copies the text into a fixed field of `size` bytes, cut to size - 1 characters.
void nmea_fix_set_text(char* dst, size_t size, const char* src);
// Whether a non-empty field text is a well-formed number (see above).
bool nmea_number_ok(const char* text);
// ddmm.mmmm and a hemisphere field: seconds of arc, negated for S or W; NaN for a
// malformed number.
double nmea_position_seconds(const char* value, const char* hemisphere);
