// What the readers of the system's own GPS text files share: the byte look-ahead over
// the buffered reader, the opening of a file, the release of what a failed read made
// and the placing of a read's objects with their default styles.
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;

namespace gpstext {

constexpr int64_t kBufferSize = int64_t(1) << 20;

// The text readers take the current file's bytes only through these (they read it a
// block at a time). The next byte without taking it, or -1 at the end of the data.
int peek_byte();
// The next byte, or -1 at the end of the data (no error code is set).
int next_byte();
bool at_end();
// Forgets the block held (open does it).
void reset_window();

// Opens the file with the 1 MiB buffer from its start, the block held forgotten: 0, or
// 2 (error code set).
int open(obj_t* file);

// A failed read: frees the objects put in the list from index `first` on (last first),
// then leaves `code` pending, or 2 when 2 was pending (an unreadable number), and
// returns `code`; a pending memory error stays and is returned instead.
int fail(container_t* list, int first, int code = 14);

// Kinds of file a read placed, for their default styles.
enum class content { waypoints, tracklogs, routes, navigation };
// The file's folder for the list, then the default styles of the kind; returns 0.
int place(obj_t* file, container_t* list, content kind);

// Parses decimal text of an int32 (optional sign): true when all of [text, end) reads.
bool parse_int(const char* text, const char* end, int32_t* out);

}  // namespace gpstext

namespace gpstext {

// ---- Records of the version-2 syntax (gpstext_records.cpp) ----------------------------
enum field_type : uint8_t { kIntField = 2, kRealField = 3, kStringField = 10 };
constexpr int kMaxRows = 20;

// A field table (the types of its rows, in order), the presence flags its file gave and
// the values of the record read last. Rows are counted from 1, as the files' tables do.
struct record_fields {
  const field_type* types;
  int rows;
  bool present[kMaxRows];
  int32_t ints[kMaxRows];
  double reals[kMaxRows];
  char* texts[kMaxRows];
};
record_fields make_fields(const field_type* types, int rows);
// Frees the texts of the last record.
void clear_fields(record_fields* f);
// One integer field per row into the presence flags (a non-zero, non-empty value says
// present); then every row of `required` (0-ended) must be present. 0 or 14.
int read_presence(record_fields* f, const int* required);
// The present fields of one record; absent rows read as empty. 0 or 14.
int read_record(record_fields* f);
// The value of a row, or `fallback` when the row is absent or its field empty.
int32_t int_of(const record_fields& f, int row, int32_t fallback);
double real_of(const record_fields& f, int row, double fallback);
const char* text_of(const record_fields& f, int row);  // null when absent
bool given(const record_fields& f, int row);  // present with a value

// The waypoint field table, shared by waypoint files and route points.
constexpr int kWaypointRows = 20;
extern const field_type kWaypointTypes[kWaypointRows];
// A waypoint from the row values (name, x, y, comment, symbol, display, altitude): 0, or
// 14 when x or y is empty.
int waypoint_of(const record_fields& f, container_t* list, obj_t** out);

}  // namespace gpstext
