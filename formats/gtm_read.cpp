// GPS TrackMaker binary files (version 211 and later): the header, the datum block with
// its optional user grid or projection, then the image, waypoint, waypoint style, track
// point, track and route point records, and after them the data of the images stored
// in the file.
//
// Every record checks the bytes that remain before it reads, and every string its
// length, so that counts and lengths from the file never read past its end. The image
// data are read through embedded file objects whose offset and size must lie inside
// the file: data that run past its end are a bad size (14).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/obj_list_reserve.h"
#include "core/reader.h"
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
constexpr int kMinVersion = 211;
constexpr int64_t kMinFileSize = 107;
constexpr int kHeaderSize = 99;
constexpr int kDatumBlockSize = 58;
constexpr int kNameSize = 10;
constexpr int kBinaryDisplay[5] = {0, 0, 1, 2, 2};

struct gtm_header {
  uint32_t style_count, colour, waypoint_count, trackpoint_count, routepoint_count;
  float lon1, lon2, lat1, lat2;
  uint32_t image_count, track_count;
  uint16_t grid_flag;
};

struct gtm_image {
  std::string name;
  georef_t* georef = nullptr;  // owned until the bitmap takes it
  fileatt_t* data = nullptr;
  uint32_t size = 0;
  double x = 0, y = 0;           // upper left corner in the georeference's units
  double width = 0, height = 0;  // extent in the georeference's units
};

struct gtm_context {
  obj_t* file = nullptr;
  container_t* list = nullptr;
  gtm_header h{};
  georef_t* georef = nullptr;  // the file's, in the list
  georef_t* grid = nullptr;    // the images', not in the list
  container_t* index = nullptr;
  gtm_tracks tracks;
  int64_t points_reserved = 0;  // room for the points the file list was given
  route_t* route = nullptr;
  std::vector<gtm_image> images;
};

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

bool need(int64_t n) {
  if (get_gblerr() != 0) return false;
  if (rd_bytes_left() >= n) return true;
  fail(ERR_BAD_FILE);
  return false;
}

uint32_t u32_at(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t u16_at(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
float float_at(const uint8_t* p) {
  const uint32_t v = u32_at(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}
double double_at(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}

// A string: 16-bit length, then its bytes. False (14) when it runs past the end.
bool read_string(std::string* out) {
  if (!need(2)) return false;
  const uint16_t n = rd_read_u16();
  if (!need(n)) return false;
  out->resize(n);
  if (n) rd_read_bytes(out->data(), n);
  return get_gblerr() == 0;
}

bool skip_string() {
  if (!need(2)) return false;
  const uint16_t n = rd_read_u16();
  if (!need(n)) return false;
  rd_seek(n, 1);
  return true;
}

// The fixed 10-byte name, up to its first NUL (the blanks that pad it are kept).
std::string read_name() {
  char b[kNameSize];
  rd_read_bytes(b, kNameSize);
  int n = 0;
  while (n < kNameSize && b[n] != 0) ++n;
  return std::string(b, size_t(n));
}

void read_header(gtm_context* c) {
  uint8_t b[kHeaderSize];
  rd_seek(0, 0);
  rd_read_bytes(b, kHeaderSize);
  gtm_header& h = c->h;
  h.style_count = u32_at(b + 27);
  h.colour = u32_at(b + 31) & 0xFFFFFF;
  h.waypoint_count = u32_at(b + 35);
  h.trackpoint_count = u32_at(b + 39);
  h.routepoint_count = u32_at(b + 43);
  h.lon1 = float_at(b + 47);
  h.lon2 = float_at(b + 51);
  h.lat1 = float_at(b + 55);
  h.lat2 = float_at(b + 59);
  h.image_count = u32_at(b + 63);
  h.track_count = u32_at(b + 67);
  h.grid_flag = u16_at(b + 79);
  if (h.waypoint_count == 0) h.style_count = 0;
}

// The datum block: grid kind and parameters, datum code, custom ellipsoid and shift.
// Makes the file's georeference and the images' one. False with gblerr on failure.
bool read_datum(gtm_context* c) {
  if (!need(kDatumBlockSize)) return false;
  uint8_t b[kDatumBlockSize];
  rd_read_bytes(b, kDatumBlockSize);
  const int kind = u16_at(b);
  bool grid_on = c->h.grid_flag != 0 && c->h.image_count > 0;
  double grid[4] = {};
  for (int i = 0; i < 4; ++i) grid[i] = double_at(b + 2 + 8 * i);
  cartproj_t* projection = nullptr;
  if (grid_on && kind >= 2) {
    geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_GTM, std::to_string(kind).c_str(), &projection);
    if (!projection) grid_on = false;
  }
  geodatum_t* datum = projection ? projection->datum : nullptr;
  if (!datum) datum = gtm_datum_by_code(std::to_string(u16_at(b + 34)).c_str());
  if (!datum) {
    const int16_t dx = int16_t(u16_at(b + 52)), dy = int16_t(u16_at(b + 54)),
                  dz = int16_t(u16_at(b + 56));
    datum = gtm_custom_datum(double_at(b + 36), double_at(b + 44), dx, dy, dz);
  }
  if (!datum) {
    fail(ERR_GEOGRAPHIC);
    return false;
  }
  if (grid_on && !projection) {
    if (kind == 1) {
      projection = gtm_user_grid(datum, grid);
    } else if (kind == 0) {
      const double centre[2] = {(double(c->h.lon1) + c->h.lon2) / 2,
                                (double(c->h.lat1) + c->h.lat2) / 2};
      const int pending = get_gblerr();
      crs_utm_from_lonlat(datum, centre, &projection);
      set_gblerr(pending);
    }
  }
  georef_create(c->list, &c->georef);
  georef_create(nullptr, &c->grid);
  if (!c->georef || !c->grid) return fail(ERR_MEMORY), false;
  c->georef->refertype = GEOREF_GEOGRAPHIC;
  c->georef->datum = datum;
  c->georef->projection = nullptr;
  georef_reset_unit(c->georef);
  c->grid->datum = datum;
  c->grid->refertype = projection ? GEOREF_PROJECTED : GEOREF_GEOGRAPHIC;
  c->grid->projection = projection;
  georef_reset_unit(c->grid);
  return get_gblerr() == 0;
}

// ---- Records ---------------------------------------------------------------------------

void image_record(gtm_context* c) {
  if (!need(34)) return;
  gtm_image im;
  if (!read_string(&im.name) || !skip_string() || !need(30)) return;
  uint8_t b[30];
  rd_read_bytes(b, 30);
  double x = float_at(b), y = float_at(b + 4);
  double w = float_at(b + 8), h = float_at(b + 12);
  im.size = u32_at(b + 16);
  georef_t* g = gtm_georef_like(c->grid);
  if (!g) return fail(ERR_MEMORY);
  im.georef = g;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) {
    x = y = w = h = 0;
  }
  if (g->refertype == GEOREF_PROJECTED && g->projection) {
    double x2 = x + w, y2 = y - h;
    double ux = x, uy = y;
    angle_unit_convert(ANG_DEGREE, ANG_RADIAN, &ux, &uy);
    angle_unit_convert(ANG_DEGREE, ANG_RADIAN, &x2, &y2);
    gtm_project(g->projection, &ux, &uy);
    gtm_project(g->projection, &x2, &y2);
    x = ux;
    y = uy;
    w = x2 - ux;
    h = uy - y2;
  } else {
    angle_unit_convert(ANG_DEGREE, g->unit, &x, &y);
    angle_unit_convert(ANG_DEGREE, g->unit, &w, &h);
  }
  im.x = x;
  im.y = y;
  im.width = w;
  im.height = h;
  georef_set_pixel_step(g, make_offset_scale(w, -h, 1.0, 0.0, 0.0, x, y));
  im.data = embedded_file_create(c->file);
  c->images.push_back(std::move(im));
  if (!c->images.back().data) fail(ERR_MEMORY);
}

waypoint_t* new_point(gtm_context* c, double lat, double lon, const std::string& name,
                      const std::string& comment, int icon, int display) {
  double x = lon, y = lat;
  if (!std::isfinite(x) || !std::isfinite(y)) x = y = 0;
  angle_unit_convert(ANG_DEGREE, c->georef->unit, &x, &y);
  waypoint_t* w = nullptr;
  waypoint_create(x, y, name.c_str(), comment.c_str(), 0, gtm_icon_symbol(icon),
                  gtm_display(display, kBinaryDisplay), 0.0, nullptr, &w);
  if (w) w->colour = c->h.colour;
  return w;
}

double altitude_of(float a) { return std::isfinite(a) && std::fabs(a) < 1e9f ? double(a) : 0.0; }

void waypoint_record(gtm_context* c) {
  if (!need(43)) return;
  uint8_t b[16];
  rd_read_bytes(b, 16);
  const std::string name = read_name();
  std::string comment;
  if (!read_string(&comment) || !need(15)) return;
  uint8_t t[15];
  rd_read_bytes(t, 15);
  waypoint_t* w = new_point(c, double_at(b), double_at(b + 8), name, comment, u16_at(t), t[2]);
  if (!w || get_gblerr() != 0) return;
  date_from_seconds_1989(&w->time, u32_at(t + 3));
  w->altitude = float(altitude_of(float_at(t + 9)));
  index_insert(c->index, w);
  gpsobj_add_unique(nullptr, w, c->list, nullptr);
}

void style_record() {
  if (!need(28)) return;
  rd_seek(4, 1);
  if (!skip_string() || !need(24)) return;
  rd_seek(24, 1);
}

// Room in the list for the track points the header announces, as many as the bytes left
// can hold (a point takes 25), so that a false count reserves nothing the file lacks.
void reserve_track_points(gtm_context* c) {
  if (get_gblerr() != 0) return;
  const int64_t fit = rd_bytes_left() / 25;
  const int64_t points = std::min<int64_t>(c->h.trackpoint_count, fit);
  const int64_t total = int64_t(obj_list_count(c->list)) + points + 64;  // and its tracks
  if (points > 0 && total < INT32_MAX / 16) {
    obj_list_reserve(c->list, int(total));
    c->points_reserved = points;
  }
}

// A file of one track gives all its points to its first segment: that segment's list
// gets the same room when the first point makes it.
void reserve_segment_points(gtm_context* c, const trackseg_t* before) {
  const trackseg_t* s = c->tracks.segment;
  if (!s || s == before || c->tracks.logs.size() != 1 || c->h.track_count > 1) return;
  if (c->points_reserved > 0) obj_list_reserve(s->sons, int(c->points_reserved));
}

void trackpoint_record(gtm_context* c) {
  if (!need(25)) return;
  uint8_t b[25];
  rd_read_bytes(b, 25);
  double x = double_at(b + 8), y = double_at(b);
  if (!std::isfinite(x) || !std::isfinite(y)) x = y = 0;
  angle_unit_convert(ANG_DEGREE, c->georef->unit, &x, &y);
  date_rec time{};
  date_from_seconds_1989(&time, u32_at(b + 16));
  const trackseg_t* before = c->tracks.segment;
  gtm_track_point(&c->tracks, c->list, x, y, &time, altitude_of(float_at(b + 21)), b[20] != 0);
  if (!before) reserve_segment_points(c, before);
}

void track_record(gtm_context* c) {
  std::string name;
  if (!read_string(&name) || !need(12)) return;
  uint8_t b[12];
  rd_read_bytes(b, 12);
  tracklog_t* log = gtm_next_track(&c->tracks);
  if (!log) return;
  mbs_to_wcs(name.c_str(), &log->name);
  log->thickness = b[0] >= 2 && b[0] <= 5 ? 2 : 1;
  log->colour = u32_at(b + 1) & 0xFFFFFF;
}

void routepoint_record(gtm_context* c) {
  if (!need(46)) return;
  uint8_t b[16];
  rd_read_bytes(b, 16);
  const std::string name = read_name();
  std::string comment, route_name;
  if (!read_string(&comment) || !read_string(&route_name) || !need(16)) return;
  uint8_t t[16];
  rd_read_bytes(t, 16);
  waypoint_t* w = new_point(c, double_at(b), double_at(b + 8), name, comment, u16_at(t), t[2]);
  if (!w || get_gblerr() != 0) return;
  // The record's date and altitude go to the new point only: a waypoint of the file
  // that stands for it keeps its own.
  date_from_seconds_1989(&w->time, u32_at(t + 4));
  w->altitude = float(altitude_of(float_at(t + 10)));
  if (t[3] != 0 || !c->route) {
    route_create(c->list, &c->route);
    if (!c->route || get_gblerr() != 0) {
      obj_t* o = w;
      free_obj(&o);
      return;
    }
    mbs_to_wcs(route_name.c_str(), &c->route->name);
  }
  gtm_route_point(c->index, c->list, c->route, w);
}

// Runs one block's records, the progress display advanced before every 64th (a record
// takes well under a microsecond; the display shows a step a few times a second).
template <class F> void block(uint32_t count, F record) {
  for (uint32_t i = 0; i < count && get_gblerr() == 0; ++i) {
    if (i % 64 == 0) core_progress_file_position("GTM");
    record();
  }
}

// ---- Images ---------------------------------------------------------------------------

// Sets each image's data offset and size; images whose data do not lie inside the
// file are a bad size. Returns how many images have their data.
size_t place_image_data(gtm_context* c) {
  int64_t offset = rd_tell();
  const int64_t end = rd_size();
  size_t placed = 0;
  for (gtm_image& im : c->images) {
    if (offset > end || int64_t(im.size) > end - offset) {
      fail(ERR_BAD_FILE);
      break;
    }
    file_set(im.data, FF_START, offset);
    file_set(im.data, FF_SIZE, im.size);
    offset += im.size;
    ++placed;
  }
  return placed;
}

// Loads one stored image; one that fails to load is skipped and its error cleared. Runs
// with no error pending (the caller keeps the read's own aside): objects are only made
// and freed then.
void load_image(gtm_context* c, gtm_image* im, int number) {
  std::string label =
      std::string(is_french() ? "Chargement des images " : "Loading images ") + std::to_string(number);
  core_progress_file_position(label.c_str());
  if (im->size == 0) return;
  container_t* temp = nullptr;
  obj_list_new(&temp);
  if (!temp) {
    set_gblerr(0);
    return;
  }
  int status = 0;
  const int rc = image_load(im->data, temp, nullptr, kImageFirstLoad, &status, 0);
  set_gblerr(0);
  bitmap_t* b = nullptr;
  if (rc == 0) obj_list_first_of_class(temp, CLS_BITMAP, reinterpret_cast<obj_t**>(&b));
  if (b && b->width > 0 && b->height > 0) {
    obj_list_remove_id(temp, b->id);
    obj_t* old = b->georef;
    if (old && old != im->georef) free_obj(&old);
    georef_set_pixel_step(im->georef, make_offset_scale(im->width / b->width,
                                                        -im->height / b->height, 1.0, 0.0,
                                                        0.0, im->x, im->y));
    b->georef = im->georef;
    im->georef = nullptr;
    str_set(im->name.c_str(), &b->name);
    id_list_insert(c->list, b);
    folder_get_or_create(c->file, c->list, 0, nullptr);
  }
  obj_list_free_elements(temp);
  obj_t* t = temp;
  free_obj(&t);
  set_gblerr(0);
}

void release(gtm_context* c) {
  const int err = get_gblerr();
  set_gblerr(0);
  for (gtm_image& im : c->images) {
    obj_t* g = im.georef;
    if (g) free_obj(&g);
  }
  obj_t* g = c->grid;
  if (g) free_obj(&g);
  obj_t* index = c->index;
  if (index) free_obj(&index);
  set_gblerr(err);
}

}  // namespace

int gtm_read(obj_t* file, container_t* list) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  if (rd_size() < 2) return ERR_BAD_FILE;
  if (rd_read_u16() < kMinVersion) {
    set_gblerr(0);
    return ERR_UNKNOWN_FORMAT;
  }
  if (rd_size() < kMinFileSize) return ERR_BAD_FILE;
  gtm_context c;
  c.file = file;
  c.list = list;
  read_header(&c);
  for (int i = 0; i < 4 && get_gblerr() == 0; ++i) skip_string();
  if (get_gblerr() == 0 && read_datum(&c)) {
    index_create_over(list, CLS_WAYPOINT, AT_WSTRING, int(offsetof(waypoint_t, name)), &c.index);
    if (file_of(file)) folder_get_or_create(file, list, 0, nullptr);
    const gtm_header& h = c.h;
    block(h.image_count, [&] { image_record(&c); });
    block(h.waypoint_count, [&] { waypoint_record(&c); });
    block(h.style_count, [] { style_record(); });
    reserve_track_points(&c);
    block(h.trackpoint_count, [&] { trackpoint_record(&c); });
    block(h.track_count, [&] { track_record(&c); });
    block(h.routepoint_count, [&] { routepoint_record(&c); });
    const size_t placed = get_gblerr() == 0 ? place_image_data(&c) : 0;
    const int err = get_gblerr();
    set_gblerr(0);
    for (size_t i = 0; i < placed; ++i) load_image(&c, &c.images[i], int(i) + 1);
    set_gblerr(err);
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
