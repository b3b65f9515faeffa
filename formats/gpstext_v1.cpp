// The version-1 readers: waypoint and tracklog lines of comma-separated values whose
// coordinates are signed 32-bit semicircles. A line that does not read as a record
// ends the read (14) and frees what it made; empty lines are passed over.
#include <charconv>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "formats/gpstext.h"
#include "formats/gpstext_internal.h"
#include "map/gps_classes.h"

namespace {

constexpr double kDegreesPerSemicircle = 180.0 / 2147483648.0;
// Widths of the name and comment of a version-1 waypoint; longer text is cut there.
constexpr size_t kV1NameMax = 7;
constexpr size_t kV1CommentMax = 259;
constexpr int kWaypointColumns = 6;
constexpr int kPointColumns = 4;

// Splits a line at its commas into at most `n` columns (the last runs to the end of
// the line); true when exactly `n` were found.
bool split(char* line, char** columns, int n) {
  int k = 0;
  columns[k++] = line;
  for (char* c = line; *c && k < n; ++c)
    if (*c == ',') {
      *c = '\0';
      columns[k++] = c + 1;
    }
  return k == n;
}

// A number column, blanks around it allowed.
bool column_int(const char* text, int32_t* out) {
  while (*text == ' ') ++text;
  const char* end = text + std::strlen(text);
  while (end > text && end[-1] == ' ') --end;
  return gpstext::parse_int(text, end, out);
}

// Seconds since 1989: unsigned 32-bit, read through 64 bits to check the range.
bool column_seconds(const char* text, uint32_t* out) {
  while (*text == ' ') ++text;
  const char* end = text + std::strlen(text);
  while (end > text && end[-1] == ' ') --end;
  int64_t v = 0;
  const auto r = std::from_chars(text, end, v);
  if (text == end || r.ec != std::errc() || r.ptr != end || v < 0 || v > 0xFFFFFFFFLL) return false;
  *out = uint32_t(v);
  return true;
}

// Text cut to at most `max` bytes without splitting a UTF-8 character.
void cut_text(char* text, size_t max) {
  size_t n = std::strlen(text);
  if (n <= max) return;
  n = max;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text[n] = '\0';
}

int waypoint_line(char* line, container_t* list) {
  char* c[kWaypointColumns];
  int32_t x = 0, y = 0, symbol = 0, display = 0;
  if (!split(line, c, kWaypointColumns) || !column_int(c[1], &x) || !column_int(c[2], &y) ||
      !column_int(c[4], &symbol) || !column_int(c[5], &display))
    return ERR_BAD_FILE;
  if (!utf8_is_valid(c[0]) || !utf8_is_valid(c[3])) return ERR_BAD_FILE;
  cut_text(c[0], kV1NameMax);
  cut_text(c[3], kV1CommentMax);
  waypoint_create(x * kDegreesPerSemicircle, y * kDegreesPerSemicircle, c[0], c[3], 0, symbol,
                  display, 0.0, list, nullptr);
  return get_gblerr();
}

struct track_state {
  tracklog_t* tracklog;
  trackseg_t* segment;  // null until the first point with a flag
};

int point_line(char* line, container_t* list, track_state* st) {
  char* c[kPointColumns];
  int32_t x = 0, y = 0, flag = 0;
  uint32_t seconds = 0;
  if (!split(line, c, kPointColumns) || !column_int(c[0], &x) || !column_int(c[1], &y) ||
      !column_seconds(c[2], &seconds) || !column_int(c[3], &flag))
    return ERR_BAD_FILE;
  if (flag != 0) trackseg_create(st->tracklog, list, &st->segment);
  date_rec time;
  date_from_seconds_1989(&time, seconds);
  gpspos_create(x * kDegreesPerSemicircle, y * kDegreesPerSemicircle, &time, 0.0, st->segment,
                list, nullptr);
  return get_gblerr();
}

// The header line, then each non-empty line through `record` until the end or a fault.
template <class Record> int read_lines(obj_t* file, container_t* list, Record record) {
  if (gpstext::open(file) != 0) return ERR_FILE_ACCESS;
  const int first = obj_list_count(list);
  char line[kTmLineBuffer];
  if (tm_read_line_field(line) != 0) return gpstext::fail(list, first);
  if (const int err = record(nullptr)) return gpstext::fail(list, first, err);
  while (gpstext::peek_byte() != -1) {
    if (tm_read_line_field(line) != 0) return gpstext::fail(list, first);
    if (line[0] == '\0') continue;
    if (record(line) != 0) return gpstext::fail(list, first);
  }
  return 0;
}

}  // namespace

int read_tmw_v1(obj_t* file, container_t* list) {
  const int err = read_lines(file, list, [list](char* line) {
    return line ? waypoint_line(line, list) : 0;
  });
  if (err != 0) return err;
  return gpstext::place(file, list, gpstext::content::waypoints);
}

int read_tmt_v1(obj_t* file, container_t* list) {
  track_state st{nullptr, nullptr};
  const int err = read_lines(file, list, [list, &st](char* line) {
    if (!line) {
      tracklog_create(list, &st.tracklog);
      return get_gblerr();
    }
    return point_line(line, list, &st);
  });
  if (err != 0) return err;
  return gpstext::place(file, list, gpstext::content::tracklogs);
}
