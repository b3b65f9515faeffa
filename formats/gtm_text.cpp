// GPS TrackMaker text files: the datum line, an optional user grid line, then one
// record a line, chosen by the first character of its first field ("w" waypoint, "t"
// track point, "r" route point, "rn" route, "n" track name, "i" image). Each point line
// names its coordinate notation (degrees, degrees and minutes, degrees minutes and
// seconds, or UTM with its zone), and every point is carried into the file's one
// georeference: geographic, projected on the user grid, or projected on the first UTM
// zone met (an image in another zone moves what was read into that zone).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/gtm.h"
#include "formats/gtm_internal.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "raster/image_load.h"
#include "raster/raster_georef_internal.h"

namespace {

constexpr int64_t kBufferSize = 1048576;
constexpr int kLineMax = 255;
constexpr int kFieldMax = 99;
constexpr double kLargest = 1e12;  // no coordinate, altitude or grid value goes beyond
constexpr int kTextDisplay[5] = {0, 1, 2, 2, 0};
constexpr int kUtm = 3;

// The notation dictionary: field text, notation code and the angular unit of its values
// (the UTM notation's values are metres). Constant data: registering builds nothing.
struct notation_entry {
  const char* text;
  int code;
  int unit;
};
constexpr notation_entry gtm_text_notations[] = {
    {"d", 0, ANG_DEGREE}, {"dm", 1, 5}, {"dms", 2, 4}, {"utm", kUtm, 0}};

struct text_context {
  obj_t* file = nullptr;
  container_t* list = nullptr;
  std::string line;
  size_t pos = 0;
  std::string field;
  int notation = 0;
  int unit = ANG_DEGREE;
  georef_t* georef = nullptr;
  container_t* index = nullptr;
  gtm_tracks tracks;
  route_t* route = nullptr;
  bool image_placed = false;
};

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// The next line, at most kLineMax characters kept, carriage returns dropped. A NUL byte
// is no text: error 14.
void read_line(text_context* c) {
  c->line.clear();
  c->pos = 0;
  while (rd_bytes_left() > 0) {
    const int b = rd_read_byte();
    if (get_gblerr() != 0) return;
    if (b == '\n') break;
    if (b == 0) return fail(ERR_BAD_FILE);
    if (b == '\r') continue;
    if (c->line.size() < size_t(kLineMax)) c->line.push_back(char(b));
  }
}

// The next comma-separated field (at most kFieldMax characters kept) into c->field,
// blanks around it dropped; false at the end of the line.
bool next_field(text_context* c) {
  c->field.clear();
  if (c->pos > c->line.size()) return false;
  const size_t end = std::min(c->line.find(',', c->pos), c->line.size());
  size_t a = c->pos, b = end;
  while (a < b && (c->line[a] == ' ' || c->line[a] == '\t')) ++a;
  while (b > a && (c->line[b - 1] == ' ' || c->line[b - 1] == '\t')) --b;
  c->field.assign(c->line, a, std::min<size_t>(b - a, kFieldMax));
  c->pos = end + 1;
  return true;
}

// A field's decimal number; an empty field is 0, a value beyond any coordinate is bad.
bool number(const char* text, double* out) {
  *out = str_to_double(text);
  if (std::isfinite(*out) && std::fabs(*out) <= kLargest) return true;
  fail(ERR_BAD_FILE);
  return false;
}

bool next_number(text_context* c, double* out) {
  next_field(c);
  return number(c->field.c_str(), out);
}

// A field of blank-separated numbers (degrees, minutes, seconds): up to n values.
int split_numbers(const std::string& text, double* v, int n) {
  int count = 0;
  size_t p = 0;
  while (count < n) {
    while (p < text.size() && text[p] == ' ') ++p;
    if (p >= text.size()) break;
    const size_t e = std::min(text.find(' ', p), text.size());
    if (!number(text.substr(p, e - p).c_str(), &v[count])) return -1;
    ++count;
    p = e;
  }
  for (int i = count; i < n; ++i) v[i] = 0;
  return count;
}

// One latitude or longitude field of notations 0 to 2, in the notation's unit. The
// sign is that of the field's text, so that "-0 30.5" is south or west.
bool angle_field(text_context* c, double* out) {
  next_field(c);
  const std::string& t = c->field;
  if (c->notation == 0) return number(t.c_str(), out);
  double v[3];
  if (split_numbers(t, v, c->notation == 1 ? 2 : 3) < 0) return false;
  size_t p = 0;
  while (p < t.size() && t[p] == ' ') ++p;
  const double sign = p < t.size() && t[p] == '-' ? -1.0 : 1.0;
  const double degrees = std::fabs(v[0]);
  if (c->notation == 1)
    *out = sign * (std::fabs(v[1]) + 60.0 * degrees);
  else
    *out = sign * (std::fabs(v[2]) + 3600.0 * degrees + 60.0 * std::fabs(v[1]));
  return true;
}

// ---- Georeference ----------------------------------------------------------------------

void projection_of_zone(text_context* c, int zone, bool south, cartproj_t** out) {
  *out = nullptr;
  if (zone < 1 || zone > 60) return fail(ERR_GEOGRAPHIC);
  crs_name_utm(c->georef->datum, zone, south, out);
  if (!*out) fail(ERR_GEOGRAPHIC);
}

// Carries (x, y) on projection `from` (null: geographic radians) to the georeference.
void to_georef(text_context* c, cartproj_t* from, double* x, double* y) {
  georef_t* g = c->georef;
  if (from) gtm_unproject(from, x, y);
  if (g->refertype == GEOREF_PROJECTED && g->projection)
    gtm_project(g->projection, x, y);
  else
    angle_unit_convert(ANG_RADIAN, g->unit, x, y);
}

// A point of the line in the georeference's coordinates; UTM points give their zone's
// projection in *zone_projection.
bool read_point(text_context* c, double* x, double* y, cartproj_t** zone_projection = nullptr) {
  georef_t* g = c->georef;
  if (c->notation != kUtm) {
    if (!angle_field(c, y) || !angle_field(c, x)) return false;
    if (g->refertype == GEOREF_NONE) {
      g->refertype = GEOREF_GEOGRAPHIC;
      georef_reset_unit(g);
    }
    if (g->refertype == GEOREF_GEOGRAPHIC) {
      angle_unit_convert(c->unit, g->unit, x, y);
      return true;
    }
    angle_unit_convert(c->unit, ANG_RADIAN, x, y);
    to_georef(c, nullptr, x, y);
    return true;
  }
  next_field(c);
  int32_t zone = 0;
  parse_int(c->field.c_str(), &zone);
  next_field(c);
  const bool south = !c->field.empty() && ascii_upper(c->field[0]) < 'N';
  if (!next_number(c, x) || !next_number(c, y)) return false;
  cartproj_t* p = nullptr;
  projection_of_zone(c, zone, south, &p);
  if (!p) return false;
  if (zone_projection) *zone_projection = p;
  if (g->refertype == GEOREF_NONE) {
    g->refertype = GEOREF_PROJECTED;
    g->projection = p;
    georef_reset_unit(g);
  }
  if (g->refertype == GEOREF_PROJECTED && g->projection == p) return true;
  to_georef(c, p, x, y);
  return true;
}

bool read_time(text_context* c, date_rec* out) {
  *out = date_rec{};
  next_field(c);
  parse_date_dmy(out, c->field.c_str());
  next_field(c);
  if (out->date != 0 || !c->field.empty()) parse_time_hms(c->field.c_str(), out);
  return get_gblerr() == 0;
}

bool select_notation(text_context* c) {
  next_field(c);
  c->notation = 0;
  c->unit = ANG_DEGREE;
  for (const notation_entry& n : gtm_text_notations)
    if (c->field == n.text) {
      c->notation = n.code;
      c->unit = n.unit;
    }
  return true;
}

int next_int(text_context* c) {
  next_field(c);
  int32_t v = 0;
  parse_int(c->field.c_str(), &v);
  return v;
}

// ---- Records ------------------------------------------------------------------------------

waypoint_t* point_line(text_context* c, bool route_point) {
  select_notation(c);
  next_field(c);
  const std::string name = c->field;
  double x = 0, y = 0, altitude = 0;
  if (!read_point(c, &x, &y)) return nullptr;
  next_field(c);
  const std::string comment = c->field;
  date_rec time{};
  int display = 0;
  if (!route_point) {
    if (!read_time(c, &time) || !next_number(c, &altitude)) return nullptr;
    display = next_int(c);
  } else {
    display = next_int(c);
    next_field(c);
  }
  const int icon = next_int(c);
  waypoint_t* w = nullptr;
  waypoint_create(x, y, name.c_str(), comment.c_str(), 0, gtm_icon_symbol(icon),
                  gtm_display(display, kTextDisplay), altitude, nullptr, &w);
  if (!w || get_gblerr() != 0) return nullptr;
  w->time = time;
  return w;
}

void waypoint_line(text_context* c) {
  waypoint_t* w = point_line(c, false);
  if (!w) return;
  index_insert(c->index, w);
  gpsobj_add_unique(nullptr, w, c->list, nullptr);
}

// A route point before any route line starts a route of its own.
void route_point_line(text_context* c) {
  waypoint_t* w = point_line(c, true);
  if (!w) return;
  if (!c->route) {
    route_create(c->list, &c->route);
    if (!c->route || get_gblerr() != 0) return;
  }
  gtm_route_point(c->index, c->list, c->route, w);
}

void route_line(text_context* c) {
  route_create(c->list, &c->route);
  if (!c->route || get_gblerr() != 0) return;
  c->route->number = next_int(c);
  next_field(c);
  mbs_to_wcs(c->field.c_str(), &c->route->name);
}

void track_line(text_context* c) {
  select_notation(c);
  double x = 0, y = 0, altitude = 0;
  date_rec time{};
  if (!read_point(c, &x, &y) || !read_time(c, &time) || !next_number(c, &altitude)) return;
  const int new_track = next_int(c);
  gtm_track_point(&c->tracks, c->list, x, y, &time, altitude, new_track != 0);
}

void track_name_line(text_context* c) {
  next_field(c);
  const std::string name = c->field;
  const int colour = next_int(c);
  const int type = next_int(c);
  tracklog_t* log = gtm_next_track(&c->tracks);
  if (!log) return;
  mbs_to_wcs(name.c_str(), &log->name);
  log->colour = uint32_t(colour) & 0xFFFFFF;
  log->thickness = type >= 2 && type <= 5 ? 2 : 1;
}

// Moves every waypoint and track point read so far onto projection p, which becomes
// the georeference's.
void move_to_zone(text_context* c, cartproj_t* p) {
  georef_t* g = c->georef;
  for (int i = 0; i < obj_list_count(c->list); ++i) {
    obj_t* o = c->list->elems[i];
    double* x = nullptr;
    double* y = nullptr;
    if (o && o->cls == CLS_WAYPOINT) {
      x = &static_cast<waypoint_t*>(o)->coords.x;
      y = &static_cast<waypoint_t*>(o)->coords.y;
    } else if (o && o->cls == CLS_GPSPOS) {
      x = &static_cast<gpspos_t*>(o)->coords.x;
      y = &static_cast<gpspos_t*>(o)->coords.y;
    }
    if (!x) continue;
    if (g->refertype == GEOREF_PROJECTED && g->projection)
      gtm_unproject(g->projection, x, y);
    else
      angle_unit_convert(g->unit, ANG_RADIAN, x, y);
    gtm_project(p, x, y);
  }
  g->refertype = GEOREF_PROJECTED;
  g->projection = p;
  georef_reset_unit(g);
}

// An image line: two corners (with their zones in UTM), then the image file's path.
void image_line(text_context* c) {
  select_notation(c);
  const size_t start = c->pos;
  cartproj_t* zone = nullptr;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  if (c->notation == kUtm) {
    // The zone is looked at before any point is carried: a new zone may move the points.
    next_field(c);
    int32_t z = 0;
    parse_int(c->field.c_str(), &z);
    next_field(c);
    const bool south = !c->field.empty() && ascii_upper(c->field[0]) < 'N';
    projection_of_zone(c, z, south, &zone);
    if (!zone) return;
    georef_t* g = c->georef;
    if (g->refertype == GEOREF_PROJECTED && g->projection != zone) {
      if (c->image_placed) return;
      move_to_zone(c, zone);
    }
    c->pos = start;
  }
  if (!read_point(c, &x1, &y1) || !read_point(c, &x2, &y2)) return;
  next_field(c);
  const std::string path = c->field;
  if (path.empty()) return;
  // A path that names a file object already known (the text file itself, a file loaded
  // before) is used as it is and never freed here.
  fileatt_t* known = nullptr;
  file_find_by_name(path.c_str(), &known);
  fileatt_t* f = nullptr;
  file_open(c->file, nullptr, path.c_str(), &f);
  if (!f) return;
  if (!known)
    if (auto identify = get_image_load_hooks().identify) identify(f);
  if (get_gblerr() != 0) return;
  if (file_get_type(f) != kFileKindImage) {
    if (!known) {
      obj_t* o = f;
      rd_close_file(o);
      free_obj(&o);
    }
    return;
  }
  container_t* temp = nullptr;
  obj_list_new(&temp);
  if (!temp) return;
  int status = 0;
  const int rc = image_load(f, temp, nullptr, kImageFirstLoad, &status, 0);
  bitmap_t* b = nullptr;
  if (rc == 0) obj_list_first_of_class(temp, CLS_BITMAP, reinterpret_cast<obj_t**>(&b));
  georef_t* g = b && b->width > 0 && b->height > 0 ? gtm_georef_like(c->georef) : nullptr;
  if (g) {
    obj_list_remove_id(temp, b->id);
    georef_set_pixel_step(g, make_offset_scale((x2 - x1) / b->width, (y2 - y1) / b->height,
                                               1.0, 0.0, 0.0, x1, y1));
    obj_t* old = b->georef;
    if (old) free_obj(&old);
    b->georef = g;
    id_list_insert(c->list, b);
    folder_get_or_create(c->file, c->list, 0, nullptr);
    c->image_placed = true;
  }
  const int err = get_gblerr();
  set_gblerr(0);
  obj_list_free_elements(temp);
  obj_t* t = temp;
  free_obj(&t);
  set_gblerr(err);
}

void read_record(text_context* c) {
  if (c->line.empty()) return;
  next_field(c);
  const std::string first = c->field;
  if (first.empty()) return;
  switch (first[0]) {
    case 'w': waypoint_line(c); break;
    case 't': track_line(c); break;
    case 'n': track_name_line(c); break;
    case 'i': image_line(c); break;
    case 'r':
      if (first.size() == 1)
        route_point_line(c);
      else if (first[1] == 'n')
        route_line(c);
      break;
    default: break;
  }
}

// The datum line: a GPS TrackMaker datum code, else a custom ellipsoid and shift.
bool datum_line(text_context* c) {
  read_line(c);
  next_field(c);
  next_field(c);
  geodatum_t* datum = gtm_datum_by_code(c->field.c_str());
  if (!datum) {
    double v[5];
    for (double& x : v)
      if (!next_number(c, &x)) return false;
    datum = gtm_custom_datum(v[0], v[1], v[2], v[3], v[4]);
  }
  if (!datum) return fail(ERR_GEOGRAPHIC), false;
  georef_create(c->list, &c->georef);
  if (!c->georef) return fail(ERR_MEMORY), false;
  c->georef->refertype = GEOREF_NONE;
  c->georef->datum = datum;
  c->georef->projection = nullptr;
  c->georef->unit = datum->unit;
  return get_gblerr() == 0;
}

// Line 3: a user grid, else read again as a record line.
void grid_line(text_context* c) {
  const int64_t start = rd_tell();
  read_line(c);
  next_field(c);
  if (c->field == "USER GRID" && next_int(c) != 0) {
    double grid[4];
    for (double& v : grid)
      if (!next_number(c, &v)) return;
    cartproj_t* p = gtm_user_grid(c->georef->datum, grid);
    if (!p) return fail(ERR_GEOGRAPHIC);
    c->georef->refertype = GEOREF_PROJECTED;
    c->georef->projection = p;
    georef_reset_unit(c->georef);
    return;
  }
  rd_seek(start, 0);
}

void release(text_context* c) {
  const int err = get_gblerr();
  set_gblerr(0);
  obj_t* index = c->index;
  if (index) free_obj(&index);
  set_gblerr(err);
}

}  // namespace

void gtmtxt_register_keywords() {}

int gtmtxt_read(obj_t* file, container_t* list) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  text_context c;
  c.file = file;
  c.list = list;
  if (file_of(file)) folder_get_or_create(file, list, 0, nullptr);
  read_line(&c);
  if (get_gblerr() == 0 && datum_line(&c)) {
    grid_line(&c);
    index_create_over(list, CLS_WAYPOINT, AT_WSTRING, int(offsetof(waypoint_t, name)), &c.index);
    while (get_gblerr() == 0 && rd_bytes_left() > 2) {
      core_progress_file_position("GTM");
      read_line(&c);
      if (get_gblerr() == 0) read_record(&c);
    }
  }
  release(&c);
  int err = get_gblerr();
  if (err == 0) {
    gtm_place_objects(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}
