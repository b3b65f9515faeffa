// What the NMEA import's files share (nmea_import.cpp: the read loop and the steps of
// each line; nmea_import_points.cpp: a fix into a track point; nmea_import_cleanup.cpp:
// routes, reprojection and the clean-up of a finished segment), reachable by the tests.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct obj_t;
struct container_t;
struct georef_t;
struct xform_chain_t;
struct nmea_parser;
struct nmea_fix;
struct gpspos_t;
struct route_t;
struct waypoint_t;
struct trackseg_t;
struct tracklog_t;

// Longest line fed to the parser; a longer line is fed in pieces of this many characters.
constexpr int kNmeaImportLineMax = 200;
// The reader's buffer.
constexpr int64_t kNmeaImportBuffer = 0x20000;
// Fix times within this window around the last fix time are that time (days): from
// 1.5 s before to 0.1 s after.
constexpr double kNmeaSnapBefore = -1.736111111111111e-05;
constexpr double kNmeaSnapAfter = 1.1574074074074074e-06;
// An early datum change reprojects what was read while the list held at most this many
// objects.
constexpr int kNmeaEarlyObjects = 9;

// Objects by name (waypoints, routes), each name's objects in the order they were
// entered. A hash table: a file of many distinct names costs no more per name than a
// file of few.
struct nmea_name_index {
  std::unordered_map<std::u16string, std::vector<obj_t*>> by_name;
  void add(obj_t* obj, const char16_t* name) { by_name[name ? name : u""].push_back(obj); }
  const std::vector<obj_t*>* find(const char16_t* name) const {
    const auto it = by_name.find(name ? name : u"");
    return it == by_name.end() ? nullptr : &it->second;
  }
};

// The calendar fields of the last packed date a fix carried.
struct nmea_date_cache {
  double packed = 0.0;
  int year = 0, month = 0;
  double day = 0.0;
};

// The import context: the parser with its fix, the georeference of the fix's positions
// (seconds of arc on the fix's datum) and the chain from it to the objects' coordinates
// (geographic on the reference datum), and the state of the read.
struct nmea_import_context {
  nmea_parser* parser = nullptr;
  georef_t* georef = nullptr;      // owned, not in the list
  xform_chain_t* chain = nullptr;  // owned
  std::string datum_text;          // the datum name last looked up
  container_t* list = nullptr;
  tracklog_t* tracklog = nullptr;
  trackseg_t* segment = nullptr;
  gpspos_t* point = nullptr;
  bool stored = false;
  bool point_height = false;       // the current point got an ellipsoidal height
  double last_time = 0.0;
  // The fix position (seconds of arc, as the sentence gave it) last given to the
  // current point: an untimed fix at another position is another point.
  bool has_position = false;
  double latitude = 0.0, longitude = 0.0;
  bool new_time = false;
  nmea_name_index waypoints;
  nmea_name_index routes;
  // Objects taken out of the segments by the clean-up, taken out of the list and freed
  // at the end of the read (one pass over the list).
  std::vector<obj_t*> removed;
  int64_t made = 0;                  // objects made, for the memory-budget watch
  nmea_date_cache dates;
};

// Builds the parser (standard tables, own fix), the georeference and its chain. 0 or the
// error code.
int nmea_import_begin(nmea_import_context* c);
// Frees the parser and its fix, the georeference, the chain and the indexes; takes the
// removed objects out of the list and frees them. Keeps gblerr as it was.
void nmea_import_end(nmea_import_context* c);

// One line (without its end) through the parser and the steps of the import.
void nmea_import_line(nmea_import_context* c, const char* line, int length);

// When the fix's datum name differs from the one last looked up: finds the datum by name
// in the fix's naming scheme and, when found, gives it to the georeference and rebuilds
// the chain; the old chain is handed back in *old (null when nothing changed).
void nmea_datum_update(nmea_import_context* c, xform_chain_t** old);
// Every waypoint of the list and every track point of every tracklog back through the old
// chain and forward through the new one.
void nmea_reproject_all(container_t* list, xform_chain_t* old_chain, xform_chain_t* new_chain);
// Fills a track point from the fix (each group when its flag is set; the time always).
// Satellite objects are made in `sat_list` when with_sats is set.
void nmea_fix_to_point(const nmea_fix* fix, gpspos_t* point, container_t* sat_list,
                       bool with_sats, nmea_import_context* c);
// The route's waypoints from the names of the string list (each ended by a NUL, the list
// by an empty string): of several waypoints of one name, the first entered. A route that
// found none, or that the route index already holds with the same name and waypoints, is
// freed (*route nulled); otherwise it goes into the list and the index.
void nmea_route_from_names(nmea_name_index* route_index, route_t** route, container_t* list,
                           const nmea_name_index* waypoint_index, const char* names);
// A waypoint made at the end of the list: freed when the index holds one of the same
// name, x, y and symbol (*waypoint becomes that one), else entered in the index.
void nmea_waypoint_unique(nmea_name_index* index, waypoint_t** waypoint, container_t* list);
// Date repair of the first points and removal of the inside of stationary runs. Removed
// points go to `removed` (null: freed at once).
void nmea_track_cleanup(trackseg_t* segment, std::vector<obj_t*>* removed);
// Takes the objects of `removed` (and the satellites of removed points) out of the list
// and frees them.
void nmea_drop_removed(container_t* list, std::vector<obj_t*>* removed);
