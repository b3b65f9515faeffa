// The magics and text prefixes of a file's first 64 bytes, tested in a fixed order: the
// masked raster magics, the Shapefile header, the masked GPS magics, the text prefixes
// and the archive magics; the first that matches wins.
#include <cstring>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/recognise.h"

namespace {

// Five bytes compared where the mask is 1.
struct masked_magic {
  uint8_t bytes[5];
  uint8_t mask[5];
  int kind;
  int format;
  int georef;
};

constexpr masked_magic kRasterMagics[] = {
    {{0xFF, 0xD8, 0xFF, 0x00, 0x00}, {1, 1, 1, 0, 0}, 2, 1, 1},   // JPEG
    {{0x49, 0x49, 0x2A, 0x00, 0x00}, {1, 1, 1, 0, 0}, 2, 3, 1},   // TIFF, little-endian
    {{0x4D, 0x4D, 0x00, 0x2A, 0x00}, {1, 1, 0, 1, 0}, 2, 3, 1},   // TIFF, big-endian
    {{0x89, 0x50, 0x4E, 0x47, 0x00}, {1, 1, 1, 1, 0}, 2, 4, 0},   // PNG
    {{0x59, 0xA6, 0x6A, 0x95, 0x00}, {1, 1, 1, 1, 0}, 2, 13, 0},  // Sun raster
    {{0x0A, 0x00, 0x00, 0x00, 0x00}, {1, 0, 1, 0, 0}, 2, 12, 0},  // PCX, not compressed
    {{0x0A, 0x00, 0x01, 0x00, 0x00}, {1, 0, 1, 0, 0}, 2, 12, 0},  // PCX, run-length
    {{0x65, 0x02, 0x01, 0x00, 0x00}, {1, 1, 1, 0, 0}, 2, 16, 1},  // ECW
    {{0x01, 0xDA, 0x00, 0x00, 0x00}, {1, 1, 0, 0, 0}, 2, 43, 0},  // SGI
};

// Little-endian 32-bit words at the start of the GPS files that have one.
constexpr masked_magic kGpsMagics[] = {
    {{0x0D, 0x34, 0x44, 0x35, 0x33}, {1, 1, 1, 1, 1}, 4, 32, 1},  // CR "4D53"
    {{0x00, 0xA6, 0x38, 0x5C, 0x00}, {1, 1, 1, 1, 0}, 4, 49, 1},
    {{0x31, 0xA6, 0x38, 0x5C, 0x00}, {1, 1, 1, 1, 0}, 4, 50, 1},
    {{0xA2, 0x12, 0xCB, 0x38, 0x00}, {1, 1, 1, 1, 0}, 4, 51, 1},
    {{0x02, 0x00, 0x00, 0x00, 0x00}, {1, 1, 1, 1, 0}, 4, 65, 1},
};

constexpr masked_magic kArchiveMagics[] = {
    {{0x1F, 0x8B, 0x08, 0x00, 0x00}, {1, 1, 1, 0, 0}, kFileKindArchive, 52, 1},  // gzip
    {{0x50, 0x4B, 0x03, 0x04, 0x00}, {1, 1, 1, 1, 0}, kFileKindArchive, 53, 1},  // ZIP
};

struct prefix_row {
  const char* text;
  int offset;
  int kind;
  int format;
  int georef;
};

constexpr int kMagellanFormat = 37;
constexpr int kNmeaLogFormat = 39;

constexpr prefix_row kPrefixes[] = {
    {"BM", 0, 2, 19, 0},
    {"GIF", 0, 2, 2, 0},
    {"P1", 0, 2, 6, 0},
    {"P2", 0, 2, 7, 0},
    {"P3", 0, 2, 8, 0},
    {"P4", 0, 2, 9, 0},
    {"P5", 0, 2, 10, 0},
    {"P6", 0, 2, 11, 0},
    {"BSB/", 0, 2, 22, 0},
    {"msid", 0, 2, 18, 1},
    {"<?xml", 0, 14, 0, 1},
    {"APRS", 0, 3, 42, 1},
    {"WU2Z", 0, 3, 42, 1},
    {"100K", 0, 3, 42, 1},
    {"DCW ", 0, 3, 42, 1},
    {"TGR ", 0, 3, 42, 1},
    {"TrackMaker", 2, 4, 33, 1},
    {"OziExplorer ", 0, 4, 34, 1},
    {"Version,212", 0, 4, 44, 1},
    {"TMT-tracklog", 0, 4, 28, 1},
    {"TMW-waypoint", 0, 4, 29, 1},
    {"TMT-V2_Tarmelo_Tracklog", 0, 4, 35, 1},
    {"TMW-V2_Tarmelo_Waypoint", 0, 4, 36, 1},
    {"$PMGN", 0, 4, kMagellanFormat, 1},
    {"TMN-Tarmelo_NMEA_logfile", 0, 4, 40, 1},
    {"TMR-V2_Tarmelo_Route", 0, 4, 41, 1},
    {"$PTMQH,NMEA File Header", 0, 4, 39, 1},
    {"FileList V1.0", 0, 9, 54, 1},
    {"GeoFileList V2.0", 0, 9, 55, 1},
    {"$PEMT16", 0, 4, 64, 1},
    {"TMN-V3_Tarmelo_Navigation_logfile", 0, 4, 66, 1},
    {"[Symbol 1]", 0, 3, 58, 1},
    {"<kml", 0, 3, 38, 1},
    {"$PMTK", 0, 4, 69, 1},
    {"$LOG1", 0, 4, 70, 1},
    {"WintecLogFormat", 0, 4, 71, 1},
    {"WintecLogTk2", 0, 4, 72, 1},
};

// The sentence names a Magellan log is made of.
constexpr const char* kMagellanNames[] = {"PMGNCSM", "PMGNRTE", "PMGNTRK", "PMGNVER",
                                          "PMGNWPL", "PMGNCMD", "PMGNALM", "PMGNMPH",
                                          "PMGNPIH", "PMGNFMT"};

bool matches(const masked_magic& m, const uint8_t* head) {
  for (int i = 0; i < 5; ++i)
    if (m.mask[i] && head[i] != m.bytes[i]) return false;
  return true;
}

template <size_t N>
bool find_magic(const masked_magic (&table)[N], const uint8_t* head, file_class* c) {
  for (const masked_magic& m : table) {
    if (!matches(m, head)) continue;
    *c = {m.kind, m.format, m.georef};
    return true;
  }
  return false;
}

bool find_prefix(const uint8_t* head, file_class* c) {
  for (const prefix_row& row : kPrefixes) {
    const size_t n = std::strlen(row.text);
    if (std::memcmp(head + row.offset, row.text, n) != 0) continue;
    *c = {row.kind, row.format, row.georef};
    if (row.format == kMagellanFormat && !magellan_log_check(reinterpret_cast<const char*>(head), kHeadSize))
      c->format = kNmeaLogFormat;
    return true;
  }
  return false;
}

constexpr uint8_t kShapeMagic[4] = {0x00, 0x00, 0x27, 0x0A};
constexpr int64_t kShapeMinSize = 111;        // longer than 110 bytes
constexpr int64_t kShapeRecordNumberAt = 100;  // first record number, big-endian
constexpr uint32_t kShapeMaxFirstRecord = 50;

// The first record number of a Shapefile must be small: a header that is not followed
// by one is not a Shapefile of this system's kind.
bool shapefile_checks(obj_t* file) {
  if (file_get(file, FF_SIZE) < kShapeMinSize) return false;
  uint8_t b[4] = {};
  const int err = get_gblerr();
  const int64_t got = rd_read_at(kShapeRecordNumberAt, b, 4);
  set_gblerr(err);
  if (got != 4) return false;
  const uint32_t number = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
  return number < kShapeMaxFirstRecord;
}

}  // namespace

int magellan_log_check(const char* text, size_t n) {
  if (n == 0 || text[0] != '$') return 0;
  char field[20] = {};
  size_t len = 0;
  for (size_t i = 1; i < n && len < 19; ++i) {
    const char ch = text[i];
    if (ch == ',' || ch == '*' || ch == '\r' || ch == '\n' || ch == '\0') break;
    field[len++] = ch;
  }
  for (const char* name : kMagellanNames)
    if (std::strcmp(field, name) == 0) return 1;
  return 0;
}

int file_sniff_magic(obj_t* file, const uint8_t* head, file_class* c) {
  if (find_magic(kRasterMagics, head, c)) return 0;
  if (std::memcmp(head, kShapeMagic, 4) == 0) {
    if (!shapefile_checks(file)) return 1;
    *c = {kFileKindMap, 26, 1};
    return 0;
  }
  if (find_magic(kGpsMagics, head, c)) return 0;
  if (find_prefix(head, c)) return 0;
  find_magic(kArchiveMagics, head, c);
  return 0;
}
