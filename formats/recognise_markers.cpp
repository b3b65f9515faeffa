// Recognition by what a text file says rather than how it begins: the kind of an
// OziExplorer file, the markers of the text formats (XPM, MIF, PCX5, Polish map, NMEA
// logs, BSB, HTML, XML, KML), and the extension as the last resort.
#include <cctype>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/recognise.h"
#include "map/file_object.h"

namespace {

constexpr int64_t kSmallBuffer = 1024;
constexpr int64_t kOziWordAt = 12;
constexpr size_t kOziWordMax = 255;

bool is_blank(int ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

// Skips blanks from the reader's position; the first other byte, or -1 at the end.
int next_non_blank() {
  while (rd_bytes_left() > 0) {
    const int ch = rd_read_byte();
    if (!is_blank(ch)) return ch;
  }
  return -1;
}

// The next word (blanks skipped, at most kOziWordMax bytes) from the reader's position.
std::string read_word() {
  std::string word;
  int ch = next_non_blank();
  while (ch >= 0 && !is_blank(ch) && word.size() < kOziWordMax) {
    word.push_back(char(ch));
    ch = rd_bytes_left() > 0 ? rd_read_byte() : -1;
  }
  return word;
}

bool is_ozi_data_word(const std::string& w) {
  return w == "Waypoint" || w == "Track" || w == "Route" || w == "Event" || w == "Point";
}

// Searches the text from the start of the open file.
bool text_at_all(const char* text, int case_sensitive = 1) {
  rd_seek(0, 0);
  return file_find_text(text, case_sensitive) != 0;
}

struct marker_row {
  const char* text;
  int case_sensitive;
  int kind;
  int format;
};

bool nmea_probe(obj_t* file) {
  char buffer[kNmeaProbeSize + 1] = {};
  rd_seek(0, 0);
  const int64_t want = rd_bytes_left() < kNmeaProbeSize ? rd_bytes_left() : kNmeaProbeSize;
  const int64_t got = want > 0 ? rd_read_bytes(buffer, want) : 0;
  (void)file;
  return got > 0 && is_nmea_log(buffer, size_t(got));
}

// The markers searched after the NMEA probe, in order.
constexpr marker_row kLateMarkers[] = {
    {"BSB/", 1, 2, 22},
    {"<html", 0, kFileKindHtml, 0},
    {"<?xml", 1, kFileKindXmlObjects, 0},
    {"<kml", 1, 3, 38},
};

// Searches `buffer` under the rules of file_find_text; 1 when found with at least two
// bytes after it.
int find_in_buffer(const char* buffer, size_t n, const char* pattern) {
  const size_t len = std::strlen(pattern);
  size_t matched = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ch = static_cast<unsigned char>(buffer[i]);
    if (ch <= 8) return 0;
    if (ch != static_cast<unsigned char>(pattern[matched])) {
      matched = 0;
      continue;
    }
    if (++matched == len) return i + 2 < n ? 1 : 0;
  }
  return 0;
}

}  // namespace

int file_sniff_ozi_kind(obj_t* file, file_class* c) {
  if (rd_open(file, kSmallBuffer, 1) != 0) return ERR_FILE_ACCESS;
  if (rd_size() < kOziWordAt) return ERR_BAD_FILE;
  rd_seek(kOziWordAt, 0);
  std::string word = read_word();
  if (word == "CE") word = read_word();
  if (word == "Map") {
    *c = {kFileKindRaster, 60, 1};
  } else if (!is_ozi_data_word(word)) {
    c->kind = kFileKindNone;
  }
  return 0;
}

int file_is_xpm(obj_t* file) {
  if (rd_open(file, kSmallBuffer, 1) != 0) return 0;
  if (next_non_blank() != '/' || rd_bytes_left() <= 0 || rd_read_byte() != '*') return 0;
  if (next_non_blank() != 'X') return 0;
  return rd_bytes_left() >= 2 && rd_read_byte() == 'P' && rd_read_byte() == 'M';
}

int file_is_mif_version_line(const uint8_t* head) {
  char first[9] = {};
  for (int i = 0; i < 8; ++i) first[i] = char(std::tolower(head[i]));
  return std::memcmp(first, "version ", 8) == 0 || std::memcmp(first, "version\t", 8) == 0;
}

int is_nmea_log(const char* buffer, size_t n) {
  for (const char* sentence : {"$GPRMC", "$GPGGA", "$GPGLL"})
    if (find_in_buffer(buffer, n, sentence)) return 1;
  return 0;
}

int file_sniff_text(obj_t* file, const uint8_t* head, file_class* c) {
  if (file_is_xpm(file)) {
    c->kind = kFileKindRaster;
    c->format = 5;
    return 1;
  }
  if (rd_open(file, kSmallBuffer, 1) != 0) return 0;
  if (file_is_mif_version_line(head)) {
    *c = {kFileKindMap, 27, 1};
    return 1;
  }
  if (text_at_all("I  PCX5")) {
    *c = {kFileKindGps, 45, 1};
    return 1;
  }
  if (text_at_all("[IMG ID]")) {
    *c = {kFileKindMap, 47, 1};
    return 1;
  }
  if (nmea_probe(file)) {
    *c = {kFileKindGps, 39, 1};
    return 1;
  }
  for (const marker_row& row : kLateMarkers) {
    if (!text_at_all(row.text, row.case_sensitive)) continue;
    *c = {row.kind, row.format ? row.format : c->format, 1};
    return 1;
  }
  return 0;
}

int file_sniff_extension(const char* path, file_class* c) {
  if (!path) return 0;
  const char* slash = std::strrchr(path, '/');
  const char* dot = std::strrchr(slash ? slash : path, '.');
  if (!dot) return 0;
  std::string ext = dot + 1;
  for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  if (ext == "tga") {
    *c = {kFileKindRaster, 14, 0};
    return 1;
  }
  if (ext == "trl") {
    *c = {kFileKindGps, 48, 1};
    return 1;
  }
  // Wintec push-to-log files carry no marker of their own.
  if (ext == "tk3") {
    *c = {kFileKindGps, 73, 1};
    return 1;
  }
  return 0;
}
