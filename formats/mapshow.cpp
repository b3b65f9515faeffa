// MapShow files: WPR and WPO waypoint files (a slot index, fixed-size waypoint records,
// then a block of fixed-size route records naming their points by slot) and TRL and TRK
// track files (a table of fixed-size track entries, each track's points at a fixed place
// in the file). The layouts differ only in their sizes, so each pair shares one reader
// driven by a layout record.
//
// Every value that selects bytes or objects is checked before it is used: a waypoint
// count above the slots, a route's point count above its room, a slot number past the
// slot index, an index value past the waypoints read and a track's point count above
// its room all end the read with error 14. Bytes are read at absolute positions checked
// against the file's size, so a short file never reads past its end.
#include <cstring>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/mapsend.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 1048576;
constexpr double kUnitDegrees = 2.777777777777778e-5;  // 1/36000 degree

struct waypoint_layout {
  uint32_t magic;
  int64_t min_size;
  int slots;
  int64_t record_size;
  int64_t gap;  // before the route block
  uint32_t route_magic;
  int route_slots;
  int points_per_route;
  int64_t route_record_size;
  int64_t route_extra;  // bytes the route block holds beyond its records' size
};

constexpr waypoint_layout kWpr{0x5C38A600u, 43008, 1000, 40, 0, 0xD87F5900u, 50, 150, 332, 160};
constexpr waypoint_layout kWpo{0x5C38A631u, 23008, 500, 44, 92, 0xD87F59F0u, 20, 30, 92, 72};

struct track_layout {
  bool trl;  // header at the last multiple of 65536, data in 65536-byte pages
  uint32_t magic;
  int tracks;
};

constexpr track_layout kTrl{true, 0x38CB1200u, 8};
constexpr track_layout kTrk{false, 0x38CB12A2u, 4};
constexpr int kPointsPerTrack = 2500;
constexpr int64_t kTrlMinAfterHeader = 352;
constexpr int64_t kTrackEntrySize = 44;
constexpr int64_t kTrackEntryRead = 16;  // count, 2 skipped, name
constexpr int64_t kAltitudesAfterData = int64_t(kPointsPerTrack) * 8;

void fail(int code) {
  if (get_gblerr() == 0) set_gblerr(code);
}

// n bytes at an absolute position; false (error 14) when they are not all in the file.
bool read_at(int64_t position, void* out, int64_t n) {
  if (position < 0 || n < 0 || position > rd_size() - n) {
    fail(ERR_BAD_FILE);
    return false;
  }
  if (rd_read_at(position, out, n) != n) {
    set_gblerr(0);
    fail(ERR_BAD_FILE);
    return false;
  }
  return true;
}

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A fixed text field: its bytes up to the first NUL.
std::string text_field(const unsigned char* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len]) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

// A stored pair of 1/36000-degree integers (latitude negated) in the georeference's unit.
void position(int unit, const unsigned char* p, double* x, double* y) {
  *x = double(int32_t(le32(p))) * kUnitDegrees;
  *y = double(int32_t(le32(p + 4))) * -kUnitDegrees;
  angle_unit_convert(ANG_DEGREE, unit, x, y);
}

int georef_unit(container_t* list) {
  georef_t* g = nullptr;
  georef_create(list, &g);
  return g ? g->unit : ANG_DEGREE;
}

// Opens the file: 0 and its size, or 2.
int open_file(obj_t* file, int64_t* size) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  *size = rd_size();
  return 0;
}

bool magic_at(int64_t at, uint32_t magic) {
  unsigned char m[4];
  if (!read_at(at, m, 4)) return false;
  if (le32(m) == magic) return true;
  fail(ERR_BAD_FILE);
  return false;
}

int finish(obj_t* file, container_t* list, void (*place)(obj_t*, container_t*)) {
  int err = get_gblerr();
  if (err == 0 && file_of(file)) {
    place(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}

// ---- Waypoints and routes --------------------------------------------------------------

struct waypoint_read {
  const waypoint_layout* layout;
  container_t* list;
  int unit;
  std::vector<uint16_t> slot_index;  // slot -> position in read order
  std::vector<waypoint_t*> read_order;
};

void read_waypoint_records(waypoint_read* w, int64_t records, int count) {
  const waypoint_layout& l = *w->layout;
  for (int i = 0; i < count && get_gblerr() == 0; ++i) {
    unsigned char r[36];
    if (!read_at(records + l.record_size * i, r, sizeof r)) return;
    double x = 0, y = 0;
    position(w->unit, r + 20, &x, &y);
    const std::string name = text_field(r, 8);
    const std::string comment = text_field(r + 8, 12);
    waypoint_t* p = nullptr;
    waypoint_create(x, y, name.c_str(), comment.c_str(), 0, 0, 0, 0.0, w->list, &p);
    if (!p || get_gblerr() != 0) return;
    const int day = int8_t(r[28]);
    const int month = int8_t(r[29]);
    const int year = le16(r + 30);
    const uint32_t seconds = le32(r + 32);
    date_rec t{};
    date_from_fields(&t, year, month, double(day - 1) + double(seconds) / 86400.0);
    std::memcpy(&p->time, &t, sizeof t);
    w->read_order.push_back(p);
  }
}

void read_route_records(waypoint_read* w, int64_t block) {
  const waypoint_layout& l = *w->layout;
  const int64_t start = block + 4 + ((3 * l.route_slots + 5) & ~3);
  for (int r = 0; r < l.route_slots && get_gblerr() == 0; ++r) {
    const int64_t at = start + l.route_record_size * r;
    unsigned char head[22];
    if (!read_at(at, head, sizeof head)) return;
    const int count = le16(head + 20);
    if (count == 0) continue;
    if (count > l.points_per_route) return fail(ERR_BAD_FILE);
    std::vector<unsigned char> slots(size_t(count) * 2);
    if (!read_at(at + 22, slots.data(), int64_t(slots.size()))) return;
    route_t* route = nullptr;
    route_create(w->list, &route);
    if (!route || get_gblerr() != 0) return;
    mbs_to_wcs(text_field(head, 8).c_str(), &route->name);
    mbs_to_wcs(text_field(head + 8, 12).c_str(), &route->comment);
    for (int i = 0; i < count; ++i) {
      const int slot = le16(slots.data() + 2 * i);
      if (slot >= l.slots) return fail(ERR_BAD_FILE);
      const size_t index = w->slot_index[size_t(slot)];
      if (index >= w->read_order.size()) return fail(ERR_BAD_FILE);
      obj_list_append(route->sons, w->read_order[index]);
    }
  }
}

void place_waypoints(obj_t* file, container_t* list) {
  folder_get_or_create(file, list, 0, nullptr);
  file_default_point_styles(file, CLS_WAYPOINT, 3, 10, 400.0);
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}

int read_waypoint_file(obj_t* file, container_t* list, const waypoint_layout& l) {
  int64_t size = 0;
  if (const int err = open_file(file, &size)) return err;
  if (size < l.min_size) fail(ERR_BAD_FILE);
  if (get_gblerr() != 0 || !magic_at(0, l.magic)) return finish(file, list, place_waypoints);
  waypoint_read w{&l, list, georef_unit(list), {}, {}};
  unsigned char head[4];
  std::vector<unsigned char> index(size_t(l.slots) * 2);
  if (read_at(4, head, 4) && read_at(8, index.data(), int64_t(index.size()))) {
    const int count = le16(head);
    w.slot_index.resize(size_t(l.slots));
    for (int s = 0; s < l.slots; ++s) w.slot_index[size_t(s)] = le16(index.data() + 2 * s);
    const int64_t records = 8 + 3 * int64_t(l.slots);
    if (count > l.slots) {
      fail(ERR_BAD_FILE);
    } else {
      core_progress_file_position("MapShow");
      read_waypoint_records(&w, records, count);
    }
    // A file that ends after its waypoints, or whose route block is not one, has no routes.
    const int64_t block = records + l.record_size * l.slots + l.gap;
    unsigned char m[4];
    if (get_gblerr() == 0 && size - block >= l.route_record_size * l.route_slots + l.route_extra &&
        read_at(block, m, 4) && le32(m) == l.route_magic) {
      core_progress_file_position("MapShow");
      read_route_records(&w, block);
    }
  }
  return finish(file, list, place_waypoints);
}

// ---- Tracks ----------------------------------------------------------------------------

void place_tracks(obj_t* file, container_t* list) {
  folder_get_or_create(file, list, 0, nullptr);
  file_default_track_styles(file, 1, 1000.0);
}

int64_t track_data_start(const track_layout& l, int64_t table, int t) {
  if (l.trl) return 65536 * int64_t(t / 2) + 30000 * int64_t(t % 2);
  return table + kTrackEntrySize * l.tracks + 20480 * int64_t(t);
}

void read_track(const track_layout& l, container_t* list, int unit, int64_t table, int t,
                bool altitudes) {
  unsigned char entry[kTrackEntryRead];
  if (!read_at(table + kTrackEntrySize * t, entry, kTrackEntryRead)) return;
  const int count = le16(entry);
  if (count == 0) return;
  if (count > kPointsPerTrack) return fail(ERR_BAD_FILE);
  core_progress_file_position("MapShow");
  const int64_t data = track_data_start(l, table, t);
  std::vector<unsigned char> pairs(size_t(count) * 8);
  if (!read_at(data, pairs.data(), int64_t(pairs.size()))) return;
  tracklog_t* log = nullptr;
  tracklog_create(list, &log);
  if (!log || get_gblerr() != 0) return;
  mbs_to_wcs(text_field(entry + 4, 12).c_str(), &log->name);
  trackseg_t* segment = nullptr;
  trackseg_create(log, list, &segment);
  if (!segment || get_gblerr() != 0) return;
  std::vector<gpspos_t*> points;
  for (int i = 0; i < count && get_gblerr() == 0; ++i) {
    double x = 0, y = 0;
    position(unit, pairs.data() + 8 * i, &x, &y);
    gpspos_t* p = nullptr;
    gpspos_create(x, y, nullptr, 0.0, segment, list, &p);
    if (p) points.push_back(p);
  }
  if (!altitudes || get_gblerr() != 0) return;
  // The altitudes of a track whose block does not lie whole in the file stay 0.
  const int64_t at = data + kAltitudesAfterData;
  std::vector<unsigned char> values(size_t(count) * 4);
  if (at > rd_size() - int64_t(values.size())) return;
  if (!read_at(at, values.data(), int64_t(values.size()))) return;
  for (size_t i = 0; i < points.size(); ++i) {
    const double altitude = int16_t(le16(values.data() + 4 * i));
    points[i]->altitude = float(altitude);
    points[i]->coords.z = float(altitude);
    points[i]->speed = le16(values.data() + 4 * i + 2);
  }
}

int read_track_file(obj_t* file, container_t* list, const track_layout& l) {
  int64_t size = 0;
  if (const int err = open_file(file, &size)) return err;
  const int64_t header = l.trl ? (size & ~int64_t(65535)) : 0;
  if (l.trl && size < header + kTrlMinAfterHeader) {
    fail(ERR_BAD_FILE);
    return finish(file, list, place_tracks);
  }
  if (!magic_at(header, l.magic)) return finish(file, list, place_tracks);
  unsigned char rest[12];
  if (!read_at(header + 4, rest, sizeof rest)) return finish(file, list, place_tracks);
  const int unit = georef_unit(list);
  const int64_t table = header + 16;
  const bool altitudes = size >= int64_t(l.tracks) * kPointsPerTrack * 12;
  for (int t = 0; t < l.tracks && get_gblerr() == 0; ++t)
    read_track(l, list, unit, table, t, altitudes);
  return finish(file, list, place_tracks);
}

}  // namespace

int mapshow_read_wpr(obj_t* file, container_t* list) { return read_waypoint_file(file, list, kWpr); }
int mapshow_read_wpo(obj_t* file, container_t* list) { return read_waypoint_file(file, list, kWpo); }
int mapshow_read_trl(obj_t* file, container_t* list) { return read_track_file(file, list, kTrl); }
int mapshow_read_trk(obj_t* file, container_t* list) { return read_track_file(file, list, kTrk); }
