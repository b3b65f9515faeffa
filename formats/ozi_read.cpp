// OziExplorer data files: the line reader, the header and record routines of the five
// kinds, and the finish (empty routes dropped, folder, icons, default styles).
//
// Lines are read through the buffered reader within the file's size, a chunk at a time
// (the line ends found with memchr rather than byte by byte); a line keeps at most
// kLineKeep characters (the rest is dropped), and a field at most kFieldMax, so a file
// of any shape costs one chunk and one line buffer.
#include "formats/ozi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 131072;
constexpr int64_t kHeadSize = 12;  // "OziExplorer "
constexpr size_t kLineKeep = 4096;
constexpr int64_t kChunk = 65536;
constexpr size_t kFieldMax = 255;
constexpr double kNoAltitudeFeet = -777.0;
// Latitudes, longitudes and altitudes beyond these are no values of the format.
constexpr double kMaxDegrees = 1e6;
constexpr double kMaxFeet = 1e9;

enum ozi_kind { kWaypoints = 0, kTrack = 1, kRoute = 2, kEvents = 3, kPoints = 4 };

constexpr const char* kKindWords[] = {"Waypoint", "Track", "Route", "Event", "Point"};

constexpr int kSymbols[20] = {19, 0, 10, 10, 6, 27, 0, 27, 0, 9,
                              10, 4, 1, 0, 3, 11, 5, 26, 2, 17};

struct ozi_context {
  container_t* list = nullptr;
  georef_t* georef = nullptr;
  int kind = 0;
  std::string line;
  size_t pos = 0;
  // Bytes taken from the reader and not yet split into lines.
  std::vector<char> chunk;
  size_t chunk_pos = 0, chunk_len = 0;
  char field[kFieldMax + 1] = {};
  // Routes by number, sorted, for the "W" lines.
  std::vector<std::pair<int32_t, route_t*>> routes;
  tracklog_t* track = nullptr;
  trackseg_t* segment = nullptr;
  uint32_t point_colour = 0;
  int style_size = 0, style_label = 0;
};

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// Bytes of the file after the lines read so far.
int64_t bytes_left(const ozi_context* c) { return rd_bytes_left() + int64_t(c->chunk_len - c->chunk_pos); }

// The next chunk from the reader; false at the end of the file or on a read error.
bool fill_chunk(ozi_context* c) {
  const int64_t n = std::min(rd_bytes_left(), kChunk);
  c->chunk_pos = c->chunk_len = 0;
  if (n <= 0 || get_gblerr() != 0) return false;
  c->chunk.resize(size_t(kChunk));
  const int64_t got = rd_read_bytes(c->chunk.data(), n);
  c->chunk_len = got > 0 ? size_t(got) : 0;
  return c->chunk_len > 0 && get_gblerr() == 0;
}

// The next line into c->line (line feed ends it, carriage returns and NUL bytes dropped).
void read_line(ozi_context* c) {
  c->line.clear();
  c->pos = 0;
  for (;;) {
    if (c->chunk_pos == c->chunk_len && !fill_chunk(c)) return;
    const char* from = c->chunk.data() + c->chunk_pos;
    const size_t avail = c->chunk_len - c->chunk_pos;
    const char* lf = static_cast<const char*>(std::memchr(from, '\n', avail));
    const size_t n = lf ? size_t(lf - from) : avail;
    for (size_t i = 0; i < n && c->line.size() < kLineKeep; ++i)
      if (from[i] != '\r' && from[i] != 0) c->line.push_back(from[i]);
    c->chunk_pos += lf ? n + 1 : n;
    if (lf) return;
  }
}

bool at_line_end(const ozi_context* c) { return c->pos >= c->line.size(); }

// The next field into c->field: leading blanks skipped, up to the next "," or the line
// end, at most kFieldMax characters kept. True when a "," ended it.
bool next_field(ozi_context* c) {
  const std::string& l = c->line;
  while (c->pos < l.size() && (l[c->pos] == ' ' || l[c->pos] == '\t')) ++c->pos;
  size_t n = 0;
  while (c->pos < l.size() && l[c->pos] != ',') {
    if (n < kFieldMax) c->field[n++] = l[c->pos];
    ++c->pos;
  }
  c->field[n] = 0;
  if (c->pos < l.size()) {
    ++c->pos;
    return true;
  }
  return false;
}

void skip_fields(ozi_context* c, int n) {
  for (int i = 0; i < n; ++i) next_field(c);
}

// A number field; an empty field is 0, a value that is not finite an error.
double number_field(ozi_context* c, bool* ended_with_comma = nullptr) {
  const bool comma = next_field(c);
  if (ended_with_comma) *ended_with_comma = comma;
  const double v = str_to_double(c->field);
  if (!std::isfinite(v)) {
    fail(ERR_BAD_FILE);
    return 0.0;
  }
  return v;
}

int32_t int_field(ozi_context* c, bool* ended_with_comma = nullptr) {
  const double v = number_field(c, ended_with_comma);
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

// Latitude and longitude fields (decimal degrees) in the georeference's unit.
bool position_fields(ozi_context* c, double* x, double* y, bool* lat_comma = nullptr) {
  *y = number_field(c, lat_comma);
  *x = number_field(c);
  if (get_gblerr() != 0) return false;
  if (std::fabs(*x) > kMaxDegrees || std::fabs(*y) > kMaxDegrees) return fail(ERR_BAD_FILE), false;
  angle_unit_convert(ANG_DEGREE, c->georef->unit, x, y);
  return get_gblerr() == 0;
}

// An altitude field in feet, in metres; empty and -777 (no altitude) give 0.
double altitude_field(ozi_context* c) {
  const double feet = number_field(c);
  if (std::fabs(feet) > kMaxFeet) return fail(ERR_BAD_FILE), 0.0;
  if (feet == kNoAltitudeFeet) return 0.0;
  return feet * length_unit_factor(LEN_FOOT);
}

// A date field: days from 1899-12-30 with the time as the fraction; empty or 0 is no date.
date_rec date_field(ozi_context* c) {
  const double days = number_field(c);
  date_rec out = kNoDate;
  if (days != 0.0) date_normalize(&out, 1899, 12, 29.0 + days);
  return out;
}

// ---- Records ---------------------------------------------------------------------------

// A waypoint line from field 1 on; the waypoint made, or null when the line makes none.
waypoint_t* waypoint_fields(ozi_context* c) {
  if (!next_field(c)) return nullptr;  // field 1, the number, must end with ","
  next_field(c);
  const std::string name = c->field;
  double x = 0, y = 0;
  if (!position_fields(c, &x, &y)) return nullptr;
  const date_rec time = date_field(c);
  const int symbol = ozi_waypoint_symbol(int_field(c));
  skip_fields(c, 2);
  const uint32_t colour = uint32_t(int_field(c));
  skip_fields(c, 1);
  next_field(c);
  const std::string comment = c->field;
  skip_fields(c, 1);
  bool display_comma = false;
  const int32_t display = int_field(c, &display_comma);
  double proxim = 0, altitude = 0;
  if (display_comma) {
    bool proxim_comma = false;
    proxim = number_field(c, &proxim_comma);
    if (proxim_comma) altitude = altitude_field(c);
  }
  if (get_gblerr() != 0) return nullptr;
  waypoint_t* w = nullptr;
  waypoint_create(x, y, name.c_str(), comment.c_str(), 0, symbol, display, altitude, c->list, &w);
  if (!w || get_gblerr() != 0) return fail(ERR_OBJECT), nullptr;
  w->colour = colour;
  w->proxim = proxim;
  w->time = time;
  return w;
}

void waypoint_line(ozi_context* c) { waypoint_fields(c); }

void track_point_line(ozi_context* c) {
  bool lat_comma = false;
  double x = 0, y = 0;
  if (!position_fields(c, &x, &y, &lat_comma) || !lat_comma) return;
  bool more = false;
  const int32_t break_flag = int_field(c, &more);
  double altitude = 0;
  date_rec time = kNoDate;
  if (more) {
    altitude = altitude_field(c);
    time = date_field(c);
  }
  if (get_gblerr() != 0) return;
  if (!c->track) tracklog_create(c->list, &c->track);
  if (!c->track || get_gblerr() != 0) return fail(ERR_OBJECT);
  if (!c->segment || break_flag != 0) trackseg_create(c->track, c->list, &c->segment);
  if (!c->segment || get_gblerr() != 0) return fail(ERR_OBJECT);
  gpspos_create(x, y, &time, altitude, c->segment, c->list, nullptr);
}

// The route of `number`, else the one of the next higher number, else null.
route_t* route_at_or_after(const ozi_context* c, int32_t number) {
  auto it = std::lower_bound(c->routes.begin(), c->routes.end(), number,
                             [](const auto& e, int32_t n) { return e.first < n; });
  return it == c->routes.end() ? nullptr : it->second;
}

void route_line(ozi_context* c) {
  next_field(c);
  if (std::strcmp(c->field, "R") == 0) {
    const int32_t number = int_field(c);
    if (get_gblerr() != 0) return;
    route_t* r = nullptr;
    route_create(c->list, &r);
    if (!r || get_gblerr() != 0) return fail(ERR_OBJECT);
    r->number = number;
    auto it = std::upper_bound(c->routes.begin(), c->routes.end(), number,
                               [](int32_t n, const auto& e) { return n < e.first; });
    c->routes.insert(it, {number, r});
    next_field(c);
    mbs_to_wcs(c->field, &r->name);
    next_field(c);
    mbs_to_wcs(c->field, &r->comment);
    const int32_t colour = int_field(c);
    if (c->field[0] != 0) r->colour = uint32_t(colour);
    return;
  }
  if (std::strcmp(c->field, "W") != 0) return;
  const int32_t number = int_field(c);
  skip_fields(c, 1);
  if (get_gblerr() != 0) return;
  route_t* r = route_at_or_after(c, number);
  waypoint_t* w = waypoint_fields(c);
  // A line that made no waypoint adds nothing to the route.
  if (r && w) obj_list_append(r->sons, w);
}

void event_line(ozi_context* c) {
  if (!next_field(c)) return;
  double x = 0, y = 0;
  if (!position_fields(c, &x, &y)) return;
  const int32_t symbol = int_field(c);
  skip_fields(c, 1);
  const uint32_t colour = uint32_t(int_field(c));
  if (get_gblerr() != 0) return;
  obj_t* o = nullptr;
  gpsobj_new_point(CLS_POI, c->list, &o);
  if (!o || get_gblerr() != 0) return fail(ERR_OBJECT);
  poi_t* p = static_cast<poi_t*>(o);
  p->coords = gps_point_t{x, y, 0.0f};
  p->symbol = symbol;
  p->colour = colour;
}

void point_line(ozi_context* c) {
  if (c->line.empty()) return;  // a blank line holds no point
  double x = 0, y = 0;
  if (!position_fields(c, &x, &y)) return;
  skip_fields(c, 2);
  next_field(c);
  const std::string name = c->field;
  next_field(c);
  if (get_gblerr() != 0) return;
  obj_t* o = nullptr;
  gpsobj_new_point(CLS_POI, c->list, &o);
  if (!o || get_gblerr() != 0) return fail(ERR_OBJECT);
  poi_t* p = static_cast<poi_t*>(o);
  p->coords = gps_point_t{x, y, 0.0f};
  p->colour = c->point_colour;
  mbs_to_wcs(name.c_str(), &p->name);
  mbs_to_wcs(c->field, &p->comment);
}

// ---- Headers -----------------------------------------------------------------------------

void skip_lines(ozi_context* c, int n) {
  for (int i = 0; i < n; ++i) read_line(c);
}

void track_header(ozi_context* c) {
  skip_lines(c, 3);
  while (!at_line_end(c) && !next_field(c)) {
  }
  // The first field ended with ","; an empty line holds no settings.
  const int32_t thickness = int_field(c);
  const uint32_t colour = uint32_t(int_field(c));
  next_field(c);
  const std::string name = c->field;
  if (get_gblerr() != 0) return;
  tracklog_create(c->list, &c->track);
  if (!c->track || get_gblerr() != 0) return fail(ERR_OBJECT);
  if (!c->line.empty()) {
    c->track->thickness = thickness;
    c->track->colour = colour;
    mbs_to_wcs(name.c_str(), &c->track->name);
  }
  read_line(c);  // the point count
}

void point_header(ozi_context* c) {
  skip_lines(c, 3);
  c->point_colour = uint32_t(int_field(c));
  skip_fields(c, 1);
  c->style_size = int_field(c);
  c->style_label = int_field(c);
}

void read_header(ozi_context* c) {
  switch (c->kind) {
    case kTrack: track_header(c); break;
    case kPoints: point_header(c); break;
    default: skip_lines(c, 2); break;
  }
}

void read_record(ozi_context* c) {
  read_line(c);
  if (get_gblerr() != 0) return;
  switch (c->kind) {
    case kWaypoints: waypoint_line(c); break;
    case kTrack: track_point_line(c); break;
    case kRoute: route_line(c); break;
    case kEvents: event_line(c); break;
    case kPoints: point_line(c); break;
    default: break;
  }
}

// The kind word after "OziExplorer " (and "CE"): 0 to 4, or -1.
int read_kind(ozi_context* c) {
  read_line(c);
  std::string word;
  for (int i = 0; i < 2; ++i) {
    while (c->pos < c->line.size() && (c->line[c->pos] == ' ' || c->line[c->pos] == '\t')) ++c->pos;
    const size_t start = c->pos;
    while (c->pos < c->line.size() && c->line[c->pos] != ' ' && c->line[c->pos] != '\t') ++c->pos;
    word = c->line.substr(start, c->pos - start);
    if (word != "CE") break;
  }
  for (int k = 0; k < 5; ++k)
    if (word == kKindWords[k]) return k;
  return -1;
}

// Line 2: the datum; the georeference, geographic on it in its unit. 0 or 13.
int read_datum(ozi_context* c) {
  read_line(c);
  next_field(c);
  std::string name = c->field;
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  geodatum_t* datum = nullptr;
  geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_OZI, name.c_str(), &datum);
  set_gblerr(0);
  if (!datum) return ERR_GEOGRAPHIC;
  georef_create(c->list, &c->georef);
  if (!c->georef || get_gblerr() != 0) return ERR_OBJECT;
  c->georef->refertype = GEOREF_GEOGRAPHIC;
  c->georef->datum = datum;
  c->georef->projection = nullptr;
  georef_reset_unit(c->georef);
  return get_gblerr();
}

void finish(obj_t* file, ozi_context* c) {
  gpsobj_remove_empty_routes(c->list);
  if (!file_of(file) || get_gblerr() != 0) return;
  folder_get_or_create(file, c->list, 0, nullptr);
  gpsobj_attach_icons(c->list, CLS_WAYPOINT);
  file_default_label_styles(file, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0);
  file_default_track_styles(file, 1, 1000.0);
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
  file_default_point_styles(file, CLS_POI, c->style_size, c->style_label, 400.0);
}

int read_body(obj_t* file, ozi_context* c) {
  if (rd_size() < kHeadSize) return ERR_BAD_FILE;
  rd_seek(kHeadSize, 0);
  c->kind = read_kind(c);
  if (c->kind < 0) return ERR_UNKNOWN_FORMAT;
  const int rc = read_datum(c);
  if (rc != 0) return rc;
  read_header(c);
  while (get_gblerr() == 0 && bytes_left(c) > 2) {
    core_progress_file_position("OziExplorer");
    read_record(c);
  }
  if (get_gblerr() != 0) return ERR_UNKNOWN_FORMAT;
  finish(file, c);
  return get_gblerr();
}

}  // namespace

int ozi_waypoint_symbol(int ozi_symbol) {
  return ozi_symbol >= 0 && ozi_symbol < 20 ? kSymbols[ozi_symbol] : 0;
}

int ozi_read_data(obj_t* file, container_t* list) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  ozi_context c;
  c.list = list;
  const int rc = read_body(file, &c);
  set_gblerr(0);
  return rc;
}

void ozi_files_init() { register_format_reader(kOziFormat, ozi_read_data); }
