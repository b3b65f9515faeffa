// The Shapefile geometry reader (see shapefile.h): the record loop, one routine per
// kind of shape chosen by a table indexed by shape type, and the drawing styles a read
// file gets.
//
// Every size is computed in 64 bits from the counts the record gives and compared with
// the record's content length before anything is read or allocated, so the content of
// a record is the only place its routine reads; the loop then moves to the next record
// by the content length, whatever the routine consumed. Point arrays are read in one
// piece into the coordinate lists (the file's doubles are little-endian, as this
// build's).
#include "formats/shapefile.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

static_assert(std::endian::native == std::endian::little,
              "point arrays are read as the file stores them");

namespace {

constexpr int64_t kBufferSize = 131072;
constexpr int64_t kHeaderSize = 100;
constexpr int64_t kLengthOffset = 24;
constexpr int64_t kRecordHeader = 8;
constexpr int64_t kBoxSize = 32;     // xmin, ymin, xmax, ymax
constexpr int64_t kRangeSize = 16;   // z min, z max
constexpr int kMaxShapeType = 31;
constexpr int kPointShape = 3;
constexpr int kPointThickness = 3;
constexpr int kPolygonFill = 7;

// Objects made between two looks at the memory budget, the room kept free, and the
// size of a block from which its allocation is weighed against the budget first.
constexpr int kBudgetStride = 4096;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;
constexpr int64_t kLargeBlock = int64_t(1) << 20;

// A growable array of the read, held through the memory wrappers.
template <class T> struct scratch {
  T* data = nullptr;
  size_t capacity = 0;  // elements
  T* reserve(size_t n) {
    if (n > capacity) {
      realloc_mem(&data, n * sizeof(T));
      capacity = n;
    }
    return data;
  }
  void release() {
    free_mem(&data);
    capacity = 0;
  }
};

struct shp_context {
  container_t* list = nullptr;
  scratch<int32_t> starts;   // the part index array: part starts of the record, then n
  scratch<loil_t*> waiting;  // lines of the current record awaiting their z values
  scratch<double> points;    // x, y pairs, then z values, of a multipoint record
  uint32_t point_colour = 0;
  uint32_t line_colour = 0;
  int64_t made = 0;
};

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// ---- Memory ----------------------------------------------------------------------------

// A block of `bytes` may be allocated: within the wrappers' largest block and, when
// large, within the memory budget. Else error 1.
bool room_for(int64_t bytes) {
  if (bytes < 0 || uint64_t(bytes) >= kMaxBlock) return fail(ERR_MEMORY), false;
  if (bytes >= kLargeBlock && compute_mem_budget() < double(bytes) + kBudgetMargin)
    return fail(ERR_MEMORY), false;
  return true;
}

// Counts an object made; every kBudgetStride objects the budget is looked at.
bool count_object(shp_context* c) {
  if (++c->made % kBudgetStride == 0 && compute_mem_budget() < kBudgetMargin)
    return fail(ERR_MEMORY), false;
  return true;
}

// ---- Reads inside a record -------------------------------------------------------------

int32_t read_i32() { return int32_t(rd_read_u32()); }

void skip(int64_t n) { rd_seek(n, 1); }

// n doubles into `out` (the caller has checked that the record holds them).
bool read_doubles(double* out, int64_t n) {
  if (n > 0) rd_read_bytes(out, n * 8);
  return get_gblerr() == 0;
}

// ---- Objects ---------------------------------------------------------------------------

// A z value as the float a point keeps: beyond the float range it becomes an infinity.
float as_float(double v) {
  if (v > double(FLT_MAX)) return HUGE_VALF;
  if (v < -double(FLT_MAX)) return -HUGE_VALF;
  return float(v);
}

geopoint_t* new_point(shp_context* c, double x, double y, double z) {
  obj_t* o = nullptr;
  obj_new_in_list(c->list, CLS_GEOPOINT, &o);
  if (!o || get_gblerr()) return nullptr;
  auto* p = static_cast<geopoint_t*>(o);
  p->coords = gps_point_t{x, y, as_float(z)};
  p->colour = c->point_colour;
  p->shape = kPointShape;
  p->thickness = kPointThickness;
  return count_object(c) ? p : nullptr;
}

// A line of `n` points read from the file into its coordinate list.
loil_t* new_line(shp_context* c, int64_t n, int fill) {
  if (!room_for(n * 16 + 20)) return nullptr;
  obj_t* o = nullptr;
  obj_new_in_list(c->list, CLS_LOIL, &o);
  if (!o || get_gblerr()) return nullptr;
  auto* l = static_cast<loil_t*>(o);
  l->colour = c->line_colour;
  l->fillmotif = fill;
  double* pts = nullptr;
  alloc_mem(&pts, size_t(n) * 16 + 20);
  coord_list coords{};
  coords.count = int32_t(n);
  coords.pts = pts;
  std::memcpy(&l->loicoord, &coords, sizeof coords);
  if (!read_doubles(pts, 2 * n)) return nullptr;
  return count_object(c) ? l : nullptr;
}

// The z values of a line: one double per point into the second array of its list.
void read_line_z(loil_t* l) {
  coord_list coords;
  std::memcpy(&coords, &l->loicoord, sizeof coords);
  if (coords.count <= 0) return;
  double* z = nullptr;
  alloc_mem(&z, size_t(coords.count) * 8 + 8);
  coords.extra = z;
  std::memcpy(&l->loicoord, &coords, sizeof coords);
  read_doubles(z, coords.count);
}

// ---- Shapes ------------------------------------------------------------------------------
// Each routine starts after the record's shape type; `content` is the record's content
// length in bytes, the shape type included.

struct shape_kind {
  void (*read)(shp_context* c, const shape_kind& kind, int64_t content);
  bool z;    // z values follow the points
  int fill;  // fill pattern of the lines
};

void read_point(shp_context* c, const shape_kind& kind, int64_t content) {
  if (content < 4 + 16 + (kind.z ? 8 : 0)) return fail(ERR_BAD_FILE);
  double v[3] = {0, 0, 0};
  if (!read_doubles(v, kind.z ? 3 : 2)) return;
  new_point(c, v[0], v[1], v[2]);
}

void read_multipoint(shp_context* c, const shape_kind& kind, int64_t content) {
  if (content < 4 + kBoxSize + 4) return fail(ERR_BAD_FILE);
  skip(kBoxSize);
  const int64_t n = read_i32();
  if (n < 0) return fail(ERR_BAD_FILE);
  const int64_t need = 4 + kBoxSize + 4 + 16 * n + (kind.z ? kRangeSize + 8 * n : 0);
  if (content < need) return fail(ERR_BAD_FILE);
  if (!room_for(n * (kind.z ? 24 : 16) + 8)) return;
  double* xy = c->points.reserve(size_t(n) * (kind.z ? 3 : 2) + 1);
  if (!read_doubles(xy, 2 * n)) return;
  double* z = xy + 2 * n;
  if (kind.z) {
    skip(kRangeSize);
    if (!read_doubles(z, n)) return;
  }
  for (int64_t i = 0; i < n; ++i)
    if (!new_point(c, xy[2 * i], xy[2 * i + 1], kind.z ? z[i] : 0.0)) return;
}

// The part starts rise from 0 to the point count (equal starts make an empty part).
bool read_part_starts(shp_context* c, int64_t p, int64_t n) {
  int32_t* starts = c->starts.reserve(size_t(p) + 1);
  if (p > 0) rd_read_bytes(starts, p * 4);
  if (get_gblerr()) return false;
  starts[p] = int32_t(n);
  if (p > 0 && starts[0] != 0) return fail(ERR_BAD_FILE), false;
  for (int64_t i = 1; i <= p; ++i)
    if (starts[i] < starts[i - 1]) return fail(ERR_BAD_FILE), false;
  return true;
}

void read_polyline(shp_context* c, const shape_kind& kind, int64_t content) {
  if (content < 4 + kBoxSize + 8) return fail(ERR_BAD_FILE);
  skip(kBoxSize);
  const int64_t p = read_i32();
  const int64_t n = read_i32();
  if (p < 0 || n < 0) return fail(ERR_BAD_FILE);
  const int64_t need = 4 + kBoxSize + 8 + 4 * p + 16 * n + (kind.z ? kRangeSize + 8 * n : 0);
  if (content < need) return fail(ERR_BAD_FILE);
  if (!room_for(p * 12 + 12) || !read_part_starts(c, p, n)) return;
  const int32_t* starts = c->starts.data;
  loil_t** waiting = c->waiting.reserve(size_t(p) + 1);
  for (int64_t i = 0; i < p; ++i) {
    waiting[i] = new_line(c, starts[i + 1] - starts[i], kind.fill);
    if (!waiting[i]) return;
  }
  if (!kind.z) return;
  skip(kRangeSize);
  for (int64_t i = 0; i < p && get_gblerr() == 0; ++i) read_line_z(waiting[i]);
}

// Checked only: no object is made.
void read_multipatch(shp_context*, const shape_kind&, int64_t content) {
  if (content < 4 + kBoxSize + 8) return fail(ERR_BAD_FILE);
  skip(kBoxSize);
  const int64_t p = read_i32();
  const int64_t n = read_i32();
  if (p < 0 || n < 0 || content < 8 * (p + 4 * n) + 72) fail(ERR_BAD_FILE);
}

void read_nothing(shp_context*, const shape_kind&, int64_t) {}

constexpr shape_kind kNothing{read_nothing, false, 0};

constexpr auto make_shape_table() {
  struct table {
    shape_kind kinds[kMaxShapeType + 1];
  } t{};
  for (shape_kind& k : t.kinds) k = kNothing;
  t.kinds[SHP_POINT] = {read_point, false, 0};
  t.kinds[SHP_POINT_Z] = {read_point, true, 0};
  t.kinds[SHP_POINT_M] = {read_point, false, 0};
  t.kinds[SHP_MULTIPOINT] = {read_multipoint, false, 0};
  t.kinds[SHP_MULTIPOINT_Z] = {read_multipoint, true, 0};
  t.kinds[SHP_MULTIPOINT_M] = {read_multipoint, false, 0};
  t.kinds[SHP_POLYLINE] = {read_polyline, false, 0};
  t.kinds[SHP_POLYGON] = {read_polyline, false, kPolygonFill};
  t.kinds[SHP_POLYLINE_Z] = {read_polyline, true, 0};
  t.kinds[SHP_POLYGON_Z] = {read_polyline, true, 0};
  t.kinds[SHP_POLYLINE_M] = {read_polyline, false, 0};
  t.kinds[SHP_POLYGON_M] = {read_polyline, false, 0};
  t.kinds[SHP_MULTIPATCH] = {read_multipatch, false, 0};
  return t;
}
constexpr auto kShapes = make_shape_table();

// ---- The file ------------------------------------------------------------------------------

// One record at `pos`, which lies below the length the header gives; the record may run
// past that length (writers leave it short of the last record) but not past `end`, the
// end of the file. Returns the position of the next record, or -1 after an error.
int64_t read_record(shp_context* c, int64_t pos, int64_t end) {
  if (end - pos < kRecordHeader + 4) return fail(ERR_BAD_FILE), -1;
  if (rd_tell() != pos) rd_seek(pos, 0);
  rd_read_u32_swapped();  // record number
  const int64_t content = 2 * int64_t(int32_t(rd_read_u32_swapped()));
  const int64_t start = pos + kRecordHeader;
  if (content < 4 || content > end - start) return fail(ERR_BAD_FILE), -1;
  const int32_t type = read_i32();
  if (get_gblerr()) return -1;
  if (type < 0 || type > kMaxShapeType) return fail(ERR_UNKNOWN_FORMAT), -1;
  const shape_kind& kind = kShapes.kinds[type];
  kind.read(c, kind, content);
  return get_gblerr() ? -1 : start + content;
}

// The default point style (every value from the object) and a line style taking the
// coordinates, colour and fill pattern from the object, the rest fixed at 1.
void make_styles(container_t* list) {
  geopoint_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, 1.0);
  if (get_gblerr()) return;
  obj_t* o = nullptr;
  obj_new_in_list(list, CLS_DPOLYCURVE, &o);
  if (!o || get_gblerr()) return;
  auto* s = static_cast<dpolycurve_t*>(o);
  s->typesrc = CLS_LOIL;
  s->contsrc = list;
  s->meterpixsize = 1.0;
  s->plcoord = int32_t(offsetof(loil_t, loicoord));
  s->pcolour = int32_t(offsetof(loil_t, colour));
  s->pfillmotif = int32_t(offsetof(loil_t, fillmotif));
  s->vmode = 1;
  s->vthickness = 1;
  s->vedgemotif = 1;
  s->vplane = 1;
}

void read_records(shp_context* c) {
  const int64_t size = rd_size();
  if (size < kHeaderSize) return fail(ERR_BAD_FILE);
  rd_seek(kLengthOffset, 0);
  const int64_t end = 2 * int64_t(rd_read_u32_swapped());
  if (get_gblerr()) return;
  if (size < end) return fail(ERR_BAD_FILE);
  for (int64_t pos = kHeaderSize; pos >= 0 && pos < end;) {
    pos = read_record(c, pos, size);
    core_progress_file_position("Shapefile");
  }
}

}  // namespace

int shp_read(obj_t* file, container_t* list) {
  if (!list) return -1;
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  shp_context c;
  c.list = list;
  c.point_colour = gpsobj_default_colour(CLS_GEOPOINT);
  c.line_colour = gpsobj_default_colour(CLS_LOIL);
  read_records(&c);
  c.starts.release();
  c.waiting.release();
  c.points.release();
  if (get_gblerr() == 0) make_styles(list);
  if (const int err = get_gblerr()) {
    set_gblerr(0);
    return err;
  }
  if (file_of(file)) folder_get_or_create(file, list, 0, nullptr);
  const int err = get_gblerr();
  set_gblerr(0);
  return err;
}
