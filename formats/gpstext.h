// The readers of the system's own GPS text files: waypoint ("tmw"), tracklog ("tmt")
// and route ("tmr") files of version 1 (semicircle coordinates, comma-separated) and
// version 2 (semicolon-terminated fields under lines of presence flags), the version-3
// navigation log ("tmn", sixteen fixed columns), and the join of the numbered tracklog
// files a receiver transfer writes in parts.
//
// Every reader takes the file object and the content list. Result 0 on success, 2 when
// the file cannot be opened, 14 for a malformed file; on failure every object the read
// made is freed and what the list held before stays. A successful read places the
// objects in the file's folder and gives them their default styles.
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;

// Format codes recognition gives these files.
constexpr int kFormatTmtV1 = 28;
constexpr int kFormatTmwV1 = 29;
constexpr int kFormatTmtV2 = 35;
constexpr int kFormatTmwV2 = 36;
constexpr int kFormatNmeaImport = 39;
constexpr int kFormatOldNmeaLog = 40;
constexpr int kFormatTmrV2 = 41;
constexpr int kFormatTmnV3 = 66;

// Reader slot 0 of the load dispatch. Format 39 goes to the NMEA import (its reader
// slot; without one, error 3), every other to read_tm_text_file. Null file: -1. The
// result is the reader's, or the error code a reader left with result 0 (the code is
// cleared). A list left non-empty without a georeference gets one.
int gpstext_read(obj_t* file, container_t* list);

// Reads the first 33 bytes, makes a georeference in the list and runs the reader of the
// header they begin with (at most one matches). A file shorter than 33 bytes whose
// start matches no header gives 2; an unknown header or the old NMEA log header reads
// nothing. When the georeference is all the list holds afterwards it is freed.
int read_tm_text_file(obj_t* file, container_t* list);

int read_tmw_v1(obj_t* file, container_t* list);
int read_tmt_v1(obj_t* file, container_t* list);
int read_tmw_v2(obj_t* file, container_t* list);
int read_tmt_v2(obj_t* file, container_t* list);
int read_tmr_v2(obj_t* file, container_t* list);
int read_tmn_v3(obj_t* file, container_t* list);

// ---- Field readers of the version-2 syntax, over the buffered reader's current file ----
// Each field ends with ';'; after it spaces, CR and LF are skipped. Result 0, or 14 for
// a field cut short by the end of the data, too long, holding a NUL byte or not reading
// as its type.
constexpr int kTmNumberFieldMax = 90;   // characters of an integer or real field
constexpr int kTmStringFieldMax = 998;  // characters of a string field or a line
// Skips spaces, CR and LF.
void tm_skip_blanks();
// Decimal integer (32-bit); an empty field is NULL_INT.
int tm_read_int_field(int32_t* out);
// Floating-point number; an empty field is NULL_DOUBLE. A finite number that does not
// read also sets error 2 (the result stays 14).
int tm_read_real_field(double* out);
// The first character is the delimiter; the text runs to its next occurrence and must be
// valid UTF-8. *owner becomes an owned copy (freed with free_mem).
int tm_read_string_field(char** owner);
// A whole line (up to LF, a CR before it dropped) of at most kTmStringFieldMax
// characters into buffer (kTmLineBuffer bytes); the end of the data ends the
// last line. NUL bytes: 14.
constexpr int kTmLineBuffer = kTmStringFieldMax + 2;
int tm_read_line_field(char* buffer);

// Joins path's numbered parts (<base>_t00.tmt, <base>_t01.tmt ...) into <base>.tmt: the
// four header lines of the first part and the records of every part, in order, up to
// the first missing part. Nothing happens when part 00 does not exist. Result 0, or 2
// when the output cannot be created.
int tmt_join_numbered_files(const char* path);
