// Garmin PCX5 text files: the line loop, the record routines and the coordinate
// notations. A file is a sequence of lines whose first token's first character says
// what the line holds; the datum and notation lines set how the following points are
// read, and every point is stored in the file's one georeference.
//
// Points of a UTM file carry their zone: the first zone read becomes the projection of
// the georeference, and a point of another zone is carried into it through a chain
// from that zone's projection. Each zone's projection and chain are made once and kept
// for the whole read.
#include "formats/pcx5.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/index.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/garmin_symbols.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 1048576;
constexpr int kLineMax = 255;
constexpr int kTokenMax = 99;
constexpr int kEllipsoidForShifts = 34;
constexpr int kUtmNotation = 3;

struct notation_entry {
  const char* text;
  int code;
  int unit;  // angular unit of the values (notations 0 to 2)
};
constexpr notation_entry kNotations[] = {
    {"LAT LON DEG", 0, 1}, {"LAT LON DM", 1, 5}, {"LAT LON DMS", 2, 4}, {"UTM UPS", 3, 0}};

struct zone_entry {
  int zone;  // signed: negative in the southern hemisphere
  cartproj_t* projection;
  xform_chain_t* chain;  // null for the georeference's own zone
};

struct pcx5_context {
  container_t* list = nullptr;
  char line[kLineMax + 1] = {};
  int length = 0;
  int pos = 0;
  char token[kTokenMax + 1] = {};
  container_t* index = nullptr;
  int notation = 0;
  int angle_unit = 1;
  georef_t* georef = nullptr;
  int zone = 0;
  bool in_segment = false;
  trackseg_t* segment = nullptr;
  route_t* route = nullptr;
  std::vector<zone_entry> zones;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// The next line of the file, at most kLineMax characters kept, carriage returns
// dropped. A NUL byte is no text a PCX5 file can hold: error 14.
void read_line(pcx5_context* c) {
  c->length = 0;
  c->pos = 0;
  while (rd_bytes_left() > 0) {
    const int b = rd_read_byte();
    if (get_gblerr() != 0) return;
    if (b == '\n') break;
    if (b == 0) return fail(ERR_BAD_FILE);
    if (b == '\r') continue;
    if (c->length < kLineMax) c->line[c->length++] = char(b);
  }
  c->line[c->length] = 0;
}

// The next blank-separated token into c->token; false at the end of the line. A token
// longer than kTokenMax is no value of this format: error 14.
bool next_token(pcx5_context* c) {
  while (c->pos < c->length && is_blank(c->line[c->pos])) ++c->pos;
  const int start = c->pos;
  while (c->pos < c->length && !is_blank(c->line[c->pos])) ++c->pos;
  const int n = c->pos - start;
  if (n == 0 || n > kTokenMax) {
    fail(ERR_BAD_FILE);
    return false;
  }
  std::memcpy(c->token, c->line + start, size_t(n));
  c->token[n] = 0;
  return true;
}

// A fixed field of `width` characters: it starts one character after the read pointer,
// ends at the first blank at or after its width-th character (or the end of the line);
// blanks around it are dropped. The text goes to `out` (room for kLineMax + 1).
void fixed_field(pcx5_context* c, int width, char* out) {
  int start = c->pos + 1;
  if (start > c->length) start = c->length;
  int end = start + width - 1;
  if (end > c->length) end = c->length;
  while (end < c->length && !is_blank(c->line[end])) ++end;
  c->pos = end;
  while (start < end && is_blank(c->line[start])) ++start;
  while (end > start && is_blank(c->line[end - 1])) --end;
  std::memcpy(out, c->line + start, size_t(end - start));
  out[end - start] = 0;
}

// Digits with at most one decimal point, then an optional exponent: the whole text.
bool is_decimal_text(const char* t) {
  int digits = 0;
  for (; is_ascii_digit(*t); ++t) ++digits;
  if (*t == '.')
    for (++t; is_ascii_digit(*t); ++t) ++digits;
  if (digits == 0) return false;
  if (*t == 'e' || *t == 'E') {
    ++t;
    if (*t == '+' || *t == '-') ++t;
    if (!is_ascii_digit(*t)) return false;
    while (is_ascii_digit(*t)) ++t;
  }
  return *t == 0;
}

// A decimal number that is the whole token, with an optional sign.
bool parse_decimal(const char* text, double* out) {
  double sign = 1.0;
  if (*text == '+' || *text == '-') sign = *text++ == '-' ? -1.0 : 1.0;
  if (!is_decimal_text(text)) return false;
  char lowered[kTokenMax + 1];
  size_t n = 0;
  for (; text[n] && n < kTokenMax; ++n) lowered[n] = ascii_lower(text[n]);
  lowered[n] = 0;
  double v = 0.0;
  parse_number(lowered, &v);
  if (!std::isfinite(v)) return false;
  *out = sign * v;
  return true;
}

bool next_number(pcx5_context* c, double* out) {
  if (!next_token(c)) return false;
  if (parse_decimal(c->token, out)) return true;
  fail(ERR_BAD_FILE);
  return false;
}

// ---- Georeference and notations -------------------------------------------------------

// The georeference points are stored in; a file that names no datum before its first
// point (or before a UTM notation line) is on the reference datum (WGS 84).
georef_t* georef_of(pcx5_context* c) {
  if (!c->georef) georef_create(c->list, &c->georef);
  return c->georef;
}

// The datum of a custom "M" line: ellipsoid 34 changed by da and df, shifted by dx,
// dy, dz. A flattening that is not positive gives no ellipsoid: error 13.
geodatum_t* custom_datum(const double v[5]) {
  ellipsoid_t* base = nullptr;
  geo_find_by_code(CLS_ELLIPSOID, kEllipsoidForShifts, &base);
  if (!base) return nullptr;
  double invf = base->invf;
  if (invf == 0.0 && base->b > 0.0 && base->b < base->a) invf = base->a / (base->a - base->b);
  if (invf == 0.0) return nullptr;
  const double f = 1.0 / invf - v[1];
  if (!(f > 0.0) || !std::isfinite(1.0 / f)) return nullptr;
  const double params[2] = {base->a - v[0], 1.0 / f};
  const double shift[10] = {v[2], v[3], v[4], 0, 0, 0, 0, 0, 0, 0};
  geodatum_t* d = nullptr;
  crs_gtm_custom(params, shift, &d);
  return d;
}

void datum_line(pcx5_context* c) {
  if (c->georef) return;
  if (!next_token(c)) return;
  char name[kLineMax + 1];
  fixed_field(c, 20, name);
  geodatum_t* datum = nullptr;
  geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_NMEA, name, &datum);
  if (!datum) {
    if (!next_token(c)) return;
    double v[5];
    for (double& x : v)
      if (!next_number(c, &x)) return;
    datum = custom_datum(v);
  }
  if (!datum) return fail(ERR_GEOGRAPHIC);
  georef_t* g = georef_of(c);
  if (!g) return;
  g->refertype = GEOREF_GEOGRAPHIC;
  g->datum = datum;
  g->projection = nullptr;
  georef_reset_unit(g);
}

void notation_line(pcx5_context* c) {
  while (c->pos < c->length && is_blank(c->line[c->pos])) ++c->pos;
  int end = c->length;
  while (end > c->pos && is_blank(c->line[end - 1])) --end;
  const std::string text(c->line + c->pos, size_t(end - c->pos));
  for (const notation_entry& n : kNotations) {
    if (text != n.text) continue;
    c->notation = n.code;
    c->angle_unit = n.unit;
    return;
  }
  fail(ERR_GEOGRAPHIC);
}

// A latitude or longitude token of notations 0 to 2, in the notation's unit.
bool angle_token(pcx5_context* c, double* out) {
  if (!next_token(c)) return false;
  const char* t = c->token;
  double sign = 1.0;
  if (*t == 'N' || *t == 'E') ++t;
  else if (*t == 'S' || *t == 'W') { sign = -1.0; ++t; }
  double v = 0.0;
  if (!parse_decimal(t, &v)) {
    fail(ERR_BAD_FILE);
    return false;
  }
  if (v < 0) sign = -sign;
  const double a = std::fabs(v);
  if (a > 1e12) {
    fail(ERR_BAD_FILE);
    return false;
  }
  double r = a;
  if (c->notation == 1) {
    const double d = std::floor(a / 100.0);
    r = a - 100.0 * d + 60.0 * d;
  } else if (c->notation == 2) {
    const double d = std::floor(a / 10000.0);
    const double rest = a - 10000.0 * d;
    const double m = std::floor(rest / 100.0);
    r = rest - 100.0 * m + 60.0 * (m + 60.0 * d);
  }
  *out = sign * r;
  return true;
}

// The projection and chain of a UTM zone, made on its first use.
const zone_entry* zone_of(pcx5_context* c, int zone) {
  for (const zone_entry& z : c->zones)
    if (z.zone == zone) return &z;
  georef_t* g = georef_of(c);
  if (!g) return nullptr;
  zone_entry e{zone, nullptr, nullptr};
  crs_name_utm(g->datum, zone < 0 ? -zone : zone, zone < 0, &e.projection);
  if (!e.projection) return nullptr;
  if (!c->zone) {
    c->zone = zone;
    g->refertype = GEOREF_PROJECTED;
    g->projection = e.projection;
    g->unit = 0;
    georef_reset_unit(g);
  } else {
    int kinds[kMaxConversionSteps] = {};
    obj_t* steps[kMaxConversionSteps] = {};
    int n = 0;
    if (georef_chain_build(g->datum, g->datum, e.projection, g->projection, kinds, steps, &n))
      return nullptr;
    if (!xform_chain_create(n, &e.chain)) return nullptr;
    for (int i = 0; i < n; ++i) xform_chain_append(e.chain, steps[i], kinds[i]);
  }
  c->zones.push_back(e);
  return &c->zones.back();
}

bool utm_point(pcx5_context* c, double* x, double* y) {
  if (!next_token(c)) return false;
  int32_t zone = 0;
  const char* end = parse_int(c->token, &zone);
  if (!end || *end != 0 || c->token[0] == '-') return fail(ERR_BAD_FILE), false;
  if (zone < 1 || zone > 60) return fail(ERR_GEOGRAPHIC), false;
  if (!next_token(c)) return false;
  const char letter = ascii_upper(c->token[0]);
  if (!next_number(c, x) || !next_number(c, y)) return false;
  const zone_entry* z = zone_of(c, letter < 'N' ? -zone : zone);
  if (!z) return fail(ERR_GEOGRAPHIC), false;
  if (z->chain) {
    double h = 0.0;
    xform_chain_forward(z->chain, x, y, &h);
  }
  return get_gblerr() == 0;
}

// The position of a "W" or "T" line in the georeference's coordinates.
bool read_position(pcx5_context* c, double* x, double* y) {
  if (c->notation == kUtmNotation) return utm_point(c, x, y);
  if (!angle_token(c, y) || !angle_token(c, x)) return false;
  georef_t* g = georef_of(c);
  if (!g) return false;
  angle_unit_convert(c->angle_unit, g->unit, x, y);
  return true;
}

// The date ("%2d-%3s-%2d") and time ("%2d:%2d:%2d") tokens.
bool read_time(pcx5_context* c, date_rec* out) {
  *out = date_rec{};
  if (!next_token(c)) return false;
  parse_date_dmony(out, c->token);
  if (!next_token(c)) return false;
  parse_time_hms(c->token, out);
  return true;
}

// Altitudes are stored as floats: a value far beyond any height is a bad number.
bool read_altitude(pcx5_context* c, double* out) {
  if (!next_number(c, out)) return false;
  if (std::fabs(*out) > 1e9) return fail(ERR_BAD_FILE), false;
  if (*out == -9999.0) *out = 0.0;
  return true;
}

// ---- Records -----------------------------------------------------------------------------

void waypoint_line(pcx5_context* c) {
  char name[kLineMax + 1], comment[kLineMax + 1];
  fixed_field(c, 6, name);
  double x = 0, y = 0, altitude = 0, proxim = 0, symbol = 0;
  date_rec time{};
  if (!read_position(c, &x, &y) || !read_time(c, &time) || !read_altitude(c, &altitude)) return;
  fixed_field(c, 40, comment);
  if (!next_number(c, &proxim) || !next_number(c, &symbol)) return;
  if (std::fabs(symbol) > 2e9) return fail(ERR_BAD_FILE);
  waypoint_t* w = nullptr;
  waypoint_create(x, y, name, comment, 0, garmin_symbol_to_icon(int32_t(symbol)), 0, altitude,
                  nullptr, &w);
  if (!w || get_gblerr() != 0) return;
  w->proxim = proxim;
  w->time = time;
  if (!c->route) {
    index_insert(c->index, w);
    gpsobj_add_unique(nullptr, w, c->list, nullptr);
    return;
  }
  obj_t* kept = nullptr;
  gpsobj_add_unique(c->index, w, c->list, &kept);
  if (kept) obj_list_append(c->route->sons, kept);
}

void track_line(pcx5_context* c) {
  double x = 0, y = 0, altitude = 0;
  date_rec time{};
  if (!read_position(c, &x, &y) || !read_time(c, &time) || !read_altitude(c, &altitude)) return;
  if (!c->in_segment) {
    tracklog_t* log = c->segment ? static_cast<tracklog_t*>(c->segment->father) : nullptr;
    if (!log) tracklog_create(c->list, &log);
    if (!log || get_gblerr() != 0) return;
    trackseg_create(log, c->list, &c->segment);
    if (!c->segment || get_gblerr() != 0) return;
    c->in_segment = true;
  }
  gpspos_create(x, y, &time, altitude, c->segment, c->list, nullptr);
}

void route_line(pcx5_context* c) {
  route_create(c->list, &c->route);
  if (!c->route || get_gblerr() != 0) return;
  while (c->pos < c->length && is_blank(c->line[c->pos])) ++c->pos;
  mbs_to_wcs(c->line + c->pos, &c->route->name);
}

void read_record(pcx5_context* c) {
  if (c->length == 0) return;
  if (!next_token(c)) {
    set_gblerr(0);  // a blank line
    return;
  }
  switch (c->token[0]) {
    case 'H': c->in_segment = false; break;
    case 'M': datum_line(c); break;
    case 'U': notation_line(c); break;
    case 'R': route_line(c); break;
    case 'W': waypoint_line(c); break;
    case 'T': track_line(c); break;
    default: break;
  }
}

// The zone chains and the waypoint index go with the read. Objects are only freed while
// no error is pending, so the read's error waits aside meanwhile.
void release(pcx5_context* c) {
  const int err = get_gblerr();
  set_gblerr(0);
  for (zone_entry& z : c->zones) {
    obj_t* chain = z.chain;
    if (chain) free_obj(&chain);
  }
  obj_t* index = c->index;
  if (index) free_obj(&index);
  set_gblerr(err);
}

void place_objects(obj_t* file, container_t* list) {
  if (!file_of(file)) return;
  folder_get_or_create(file, list, 0, nullptr);
  gpsobj_attach_icons(list, CLS_WAYPOINT);
  file_default_label_styles(file, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0);
  file_default_track_styles(file, 1, 1.0);
  file_default_route_styles(file, CLS_ROUTE, 1, 1.0);
}

}  // namespace

void pcx5_init() {}

int pcx5_read(obj_t* file, container_t* list) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  pcx5_context c;
  c.list = list;
  index_create_over(list, CLS_WAYPOINT, AT_WSTRING, int(offsetof(waypoint_t, name)), &c.index);
  while (get_gblerr() == 0 && rd_bytes_left() > 2) {
    core_progress_file_position("PCX5");
    read_line(&c);
    if (get_gblerr() == 0) read_record(&c);
  }
  release(&c);
  int err = get_gblerr();
  if (err == 0) {
    place_objects(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}
