// The recognisers that identification runs on a file, in order: the magics and text
// prefixes of its first 64 bytes, the XML root elements within its first 9000 bytes,
// the kind of an OziExplorer file, the text markers and, last, the extension.
//
// Each writes the file kind, the format code and the georeferenced flag into a
// file_class when it recognises something and leaves it untouched otherwise. The
// recognisers that read the file do so through the buffered reader (core/reader.h) and
// never leave an error code behind: a file that cannot be read is simply not
// recognised.
//
// Files: recognise_magic.cpp (magics, prefixes, archives), recognise_text.cpp (the text
// search and the XML roots), recognise_markers.cpp (Ozi kind, text markers, NMEA logs,
// extensions).
#pragma once
#include <cstddef>
#include <cstdint>

struct obj_t;

// What a recogniser found: file kind, format code, georeferenced flag.
struct file_class {
  int kind;
  int format;
  int georef;
};

constexpr int kHeadSize = 64;        // bytes of the head the magics are tested on
constexpr int64_t kTextSearchLimit = 9000;  // read position a text search stops after
constexpr int kNmeaProbeSize = 4000; // bytes searched for NMEA sentences

// The magics of the head (zeroed beyond the file's end): masked raster magics, the
// Shapefile header, masked GPS magics, the text prefixes, the archive magics. `file` is
// read only for the Shapefile checks (its size and the first record number). Returns 1
// when recognition must end here (a Shapefile header whose checks fail: the file stays
// unrecognised), else 0.
int file_sniff_magic(obj_t* file, const uint8_t* head, file_class* c);

// 1 when the first field of a "$PMGN" sentence (the '$' skipped, at most 19 characters)
// is one of the ten Magellan sentence names.
int magellan_log_check(const char* text, size_t n);

// Searches the reader's current file from its current position for `pattern`; with
// `case_sensitive` 0 upper-case ASCII letters of the file compare as lower case. Stops
// with no match at a byte from 0 to 8, past read position 9000 or at the end; a
// mismatching byte is not tried again as a first character; a match right at the end of
// the file does not count. 1 when found.
int file_find_text(const char* pattern, int case_sensitive);

// The XML root elements searched from the start of the file, first found wins. 1 when
// one is found (c then holds its kind and format).
int file_sniff_xml_root(obj_t* file, file_class* c);

// The word after "OziExplorer " (a leading "CE" skipped): "Map" makes a raster
// calibration, the data words keep format 34, any other makes the file unrecognised.
// Returns 0, 2 when the file cannot be opened, 14 when it is shorter than 12 bytes.
int file_sniff_ozi_kind(obj_t* file, file_class* c);

// The text markers, in order (XPM, MIF version line, PCX5, Polish map, NMEA sentences,
// BSB, HTML, XML declaration, KML). 1 when one holds.
int file_sniff_text(obj_t* file, const uint8_t* head, file_class* c);
// "/*" then "XPM" after blanks at the start of the file.
int file_is_xpm(obj_t* file);
// The head begins with "version " or "version" and a tab, in any case.
int file_is_mif_version_line(const uint8_t* head);
// `buffer` (n bytes, ended by a zero byte) holds "$GPRMC", "$GPGGA" or "$GPGLL" under
// the rules of file_find_text, with at least two bytes after it.
int is_nmea_log(const char* buffer, size_t n);

// The extension of the path, lower-cased: "tga" and "trl". 1 when one holds.
int file_sniff_extension(const char* path, file_class* c);
