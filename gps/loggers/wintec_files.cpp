// Readers of the Wintec log files: TK1 (a track table over 16-byte log records of any
// record size), TK2 (one named track) and TK3 (push-to-log points).
//
// Every count read from a file is cut to the records the file really holds from the
// position where they start; a record size of 0 or a table that points outside the
// file is a bad file (14), with what was read before it kept.
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "gps/loggers/wintec.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kTkBuffer = 128 * 1024;
constexpr int64_t kTk2Records = 1024;
constexpr int64_t kTk2NameAt = 130;
constexpr int64_t kTk2NameMax = 300;
constexpr int64_t kTk2CountAt = 460;
constexpr int64_t kTk1MinSize = 148;
constexpr int64_t kTk1EntrySize = 24;

struct tk_ctx {
  container_t* layer = nullptr;
  int64_t file_size = 0;
  int32_t record_size = kWintecRecordSize;
  uint32_t point_count = 0;
  int32_t extra = 0;
  uint32_t track_count = 0;
  uint32_t table_offset = 0;
  tracklog_t* tracklog = nullptr;
  trackseg_t* segment = nullptr;
  bool point_style = false;
  bool track_style = false;
};

// The fields of one record that its size holds.
struct tk_fields {
  uint16_t flags = 0;
  date_rec time = kNoDate;
  double lat = 0, lon = 0, alt = 0;
};

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// One record of `size` bytes (the fields it holds, in order), then `skip` bytes more.
tk_fields read_fields(int32_t size, int32_t skip) {
  tk_fields f;
  uint8_t b[16];
  const int32_t head = size < 16 ? size : 16;
  if (rd_read_bytes(b, head) != head) return f;
  if (size >= 2) f.flags = uint16_t(b[0] | b[1] << 8);
  if (size >= 6) date_from_bits_year2000(le32(b + 2), &f.time);
  if (size >= 10) f.lat = int32_t(le32(b + 6)) * 1e-7;
  if (size >= 14) f.lon = int32_t(le32(b + 10)) * 1e-7;
  if (size >= 16) f.alt = int16_t(uint16_t(b[14] | b[15] << 8));
  const int64_t rest = int64_t(size - head) + skip;
  if (rest > 0) rd_seek(rest, 1);
  return f;
}

// The records the file holds from here, at most `count`.
int64_t records_present(const tk_ctx& c, uint32_t count, int64_t stride) {
  const int64_t left = c.file_size - rd_tell();
  if (left <= 0 || stride <= 0) return 0;
  const int64_t fit = left / stride;
  return fit < int64_t(count) ? fit : int64_t(count);
}

int tk_read_points(tk_ctx& c) {
  if (c.record_size <= 0) return set_gblerr(ERR_BAD_FILE);
  const int64_t stride = int64_t(c.record_size) + c.extra;
  const int64_t n = records_present(c, c.point_count, stride);
  for (int64_t i = 0; i < n && get_gblerr() == 0; ++i) {
    const tk_fields f = read_fields(c.record_size, c.extra);
    if (get_gblerr()) break;
    if ((f.flags & 1) || !c.segment) {
      trackseg_create(c.tracklog, c.layer, &c.segment);
      if (!c.segment || get_gblerr()) break;
    }
    gpspos_t* p = nullptr;
    gpspos_create(f.lon, f.lat, &f.time, f.alt, c.segment, c.layer, &p);
    if (!p || get_gblerr()) break;
    p->geoidh = float(f.alt);
    if (f.flags & 2) {
      push_to_log_point(c.layer, p, nullptr);
      c.point_style = true;
    }
  }
  return get_gblerr();
}

int tk_read_waypoints(tk_ctx& c) {
  const int64_t n = records_present(c, c.point_count, c.record_size);
  for (int64_t i = 0; i < n && get_gblerr() == 0; ++i) {
    const tk_fields f = read_fields(c.record_size, 0);
    if (get_gblerr()) break;
    waypoint_t* w = nullptr;
    waypoint_create(f.lon, f.lat, "Push-to-log point", nullptr, 0, 0, 0, f.alt, c.layer, &w);
    if (!w || get_gblerr()) break;
    w->geoidh = float(f.alt);
    w->time = f.time;
    c.point_style = true;
  }
  return get_gblerr();
}

// Folder, georeference and default styles of a good read; the read's result code.
int tk_finish(obj_t* file, tk_ctx& c) {
  int err = get_gblerr();
  if (err == ERR_FILE_ACCESS) err = ERR_BAD_FILE;  // a read past the end: a record cut short
  if (err == 0) {
    georef_create(c.layer, nullptr);
    if (file_of(file)) {
      folder_get_or_create(file, c.layer, 0, nullptr);
      if (c.track_style && get_gblerr() == 0) file_default_track_styles(file, 1, 1000.0);
      if (c.point_style && get_gblerr() == 0) {
        gpsobj_attach_icons(c.layer, CLS_WAYPOINT);
        file_default_point_styles(file, CLS_WAYPOINT, 0, 0, 1000.0);
      }
    }
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}

int tk_open(obj_t* file, tk_ctx& c, container_t* list, int64_t min_size) {
  c.layer = list;
  if (rd_open(file, kTkBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  c.file_size = rd_size();
  if (c.file_size < min_size) return ERR_BAD_FILE;
  return 0;
}

}  // namespace

int read_wintec_tk2(obj_t* file, container_t* list) {
  tk_ctx c;
  if (const int err = tk_open(file, c, list, kTk2Records)) return err;
  char name[kTk2NameMax + 1] = {};
  rd_read_at(kTk2NameAt, name, kTk2NameMax);
  c.point_count = 0;
  rd_read_at(kTk2CountAt, &c.point_count, 4);  // little-endian host
  if (get_gblerr()) return tk_finish(file, c);
  tracklog_create(list, &c.tracklog);
  if (!c.tracklog || get_gblerr()) return tk_finish(file, c);
  if (name[0]) mbs_to_wcs(name, &c.tracklog->name);
  rd_seek(kTk2Records, 0);
  tk_read_points(c);
  c.track_style = true;
  return tk_finish(file, c);
}

int read_wintec_tk3(obj_t* file, container_t* list) {
  tk_ctx c;
  if (const int err = tk_open(file, c, list, kTk2Records)) return err;
  rd_read_at(kTk2CountAt, &c.point_count, 4);
  rd_seek(kTk2Records, 0);
  tk_read_waypoints(c);
  return tk_finish(file, c);
}

int read_wintec_tk1(obj_t* file, container_t* list) {
  tk_ctx c;
  if (const int err = tk_open(file, c, list, kTk1MinSize)) return err;
  uint16_t record_size = 0;
  uint8_t extra = 0;
  rd_read_at(30, &record_size, 2);
  rd_read_at(36, &extra, 1);
  rd_read_at(140, &c.table_offset, 4);
  rd_read_at(144, &c.track_count, 4);
  if (get_gblerr()) return tk_finish(file, c);
  c.record_size = record_size;
  c.extra = extra;
  if (c.record_size == 0 || int64_t(c.table_offset) > c.file_size) {
    set_gblerr(0);
    return ERR_BAD_FILE;
  }
  int64_t entry_at = c.table_offset;
  for (uint32_t t = 0; t < c.track_count && get_gblerr() == 0; ++t) {
    if (c.file_size - entry_at < kTk1EntrySize) {
      set_gblerr(ERR_BAD_FILE);
      break;
    }
    uint32_t entry[3] = {};
    rd_read_at(entry_at, entry, sizeof entry);
    if (get_gblerr()) break;
    if (int64_t(entry[1]) > c.file_size) {
      set_gblerr(ERR_BAD_FILE);
      break;
    }
    entry_at += kTk1EntrySize;
    tracklog_create(list, &c.tracklog);
    if (!c.tracklog || get_gblerr()) break;
    c.tracklog->number = int32_t(entry[0]);
    c.segment = nullptr;
    c.point_count = entry[2];
    rd_seek(entry[1], 0);
    tk_read_points(c);
  }
  c.track_style = true;
  return tk_finish(file, c);
}

void wintec_files_init() {
  register_format_reader(71, read_wintec_tk1);
  register_format_reader(72, read_wintec_tk2);
  register_format_reader(73, read_wintec_tk3);
}
