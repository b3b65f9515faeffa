// The Magellan sentence dictionary and the reader of Magellan log files: waypoints,
// tracklogs (one per track name) and routes built from $PMGN sentences fed through the
// NMEA parser, waypoint icon codes turned into the system's symbols by product tables.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "gps/loggers/magellan.h"
#include "gps/nmea_parser.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "core/command_hooks.h"

namespace {

tag_t g_table[] = {
    make_tag("PMGNCSM", MGN_CSM), make_tag("PMGNRTE", MGN_RTE), make_tag("PMGNTRK", MGN_TRK),
    make_tag("PMGNVER", MGN_VER), make_tag("PMGNWPL", MGN_WPL), make_tag("PMGNCMD", MGN_CMD),
    make_tag("PMGNALM", MGN_IGNORED), make_tag("PMGNMPH", MGN_IGNORED),
    make_tag("PMGNPIH", MGN_IGNORED), make_tag("PMGNFMT", MGN_IGNORED),
};
std::atomic<container_t*> g_dict{nullptr};

constexpr int64_t kLogBuffer = 128 * 1024;
constexpr int kLogLineMax = 100;

// Symbols by icon index, per product table.
constexpr int kFirstTable[] = {19, 32, 10, 10, 6, 27, 0, 0, 0, 30, 10, 4, 1, 49, 3, 11, 5, 26, 2, 17, 19};
constexpr int kSecondTable[] = {19, 10, 10, 0, 0, 0, 6, 10, 4, 29, 19, 10, 10, 0, 0, 0, 6, 10, 4};
constexpr int kThirdTable[] = {19, 10, 10, 0, 0, 0, 6, 10, 4, 29, 3};

struct magellan_log_ctx {
  container_t* layer = nullptr;
  long product = 0;
  std::unordered_map<std::string, waypoint_t*> names;  // the file's waypoints by name
  tracklog_t* tracklog = nullptr;
  std::string track_name;
  trackseg_t* segment = nullptr;
  int route_total = 0;
  route_t* route = nullptr;
  bool route_pairs = false;
};

magellan_log_ctx* log_of(nmea_parser* p) { return static_cast<magellan_log_ctx*>(p->device); }

double next_degrees(nmea_parser* p) {
  char value[kNmeaFieldSize], hemi[kNmeaFieldSize];
  nmea_next_field(p, value);
  nmea_next_field(p, hemi);
  double deg = 0;
  nmea_dm_to_deg(std::atof(value), &deg);
  return (hemi[0] == 'S' || hemi[0] == 'W') ? -deg : deg;
}

double next_altitude(nmea_parser* p) {
  char value[kNmeaFieldSize], unit[kNmeaFieldSize];
  nmea_next_field(p, value);
  nmea_next_field(p, unit);
  const double v = std::atof(value);
  return unit[0] == 'F' ? v * 0.3048 : v;
}

void on_version(nmea_parser* p) {
  char field[kNmeaFieldSize];
  log_of(p)->product = std::strtol(nmea_next_field(p, field), nullptr, 10);
}

void on_waypoint(nmea_parser* p) {
  magellan_log_ctx* c = log_of(p);
  const double lat = next_degrees(p);
  const double lon = next_degrees(p);
  const double alt = next_altitude(p);
  char name[kNmeaFieldSize], comment[kNmeaFieldSize], icon[kNmeaFieldSize];
  nmea_next_field(p, name);
  nmea_next_field(p, comment);
  nmea_next_field(p, icon);
  waypoint_t* w = nullptr;
  waypoint_create(lon, lat, "", "", 0, magellan_symbol(icon, c->product), 0, alt, c->layer, &w);
  if (!w || get_gblerr()) return;
  w->geoidh = float(alt);
  mbs_to_wcs(name, &w->name);
  if (comment[0]) mbs_to_wcs(comment, &w->comment);
  c->names[name] = w;
}

void on_trackpoint(nmea_parser* p) {
  magellan_log_ctx* c = log_of(p);
  const double lat = next_degrees(p);
  const double lon = next_degrees(p);
  const double alt = next_altitude(p);
  char time[kNmeaFieldSize], status[kNmeaFieldSize], track[kNmeaFieldSize], date[kNmeaFieldSize];
  nmea_next_field(p, time);
  nmea_next_field(p, status);
  nmea_next_field(p, track);
  nmea_next_field(p, date);
  if (status[0] != 'A') return;
  track[79] = 0;
  if (!c->tracklog || c->track_name != track) {
    tracklog_create(c->layer, &c->tracklog);
    if (!c->tracklog || get_gblerr()) return;
    mbs_to_wcs(track, &c->tracklog->name);
    c->track_name = track;
    trackseg_create(c->tracklog, c->layer, &c->segment);
    if (!c->segment || get_gblerr()) return;
  }
  const double fraction = hhmmss_to_day_fraction(std::atof(time), nullptr);
  date_rec when = kNoDate;
  const long dmy = std::strtol(date, nullptr, 10);
  if (date[0]) {
    date_from_fields(&when, year_from_two_digits(int(dmy % 100)), int(dmy / 100 % 100),
                     double(dmy / 10000 - 1) + fraction);
  } else {
    when = date_rec{fraction, fraction};
  }
  gpspos_t* pt = nullptr;
  gpspos_create(lon, lat, &when, alt, c->segment, c->layer, &pt);
  if (pt) pt->geoidh = float(alt);
}

void append_point(magellan_log_ctx* c, const char* name, const char* icon) {
  auto it = c->names.find(name);
  if (it == c->names.end()) return;  // a waypoint the file does not hold
  if (icon) it->second->symbol = magellan_symbol(icon, c->product);
  obj_list_append(c->route->sons, it->second);
}

// The fields of the sentence being handled, split on every comma.
std::vector<std::string> all_fields(const nmea_parser* p) {
  std::vector<std::string> out(1);
  for (const char* q = p->fields ? p->fields : ""; *q; ++q) {
    if (*q == ',') {
      out.emplace_back();
    } else {
      out.back() += *q;
    }
  }
  return out;
}

void on_route(nmea_parser* p) {
  magellan_log_ctx* c = log_of(p);
  const std::vector<std::string> f = all_fields(p);
  if (f.size() < 4) return;
  const int total = std::atoi(f[0].c_str());
  const int number = std::atoi(f[1].c_str());
  const std::string& kind = f[2];
  if (number == 1) {
    route_create(c->layer, &c->route);
    if (!c->route || get_gblerr()) return;
    c->route->number = std::atoi(f[3].c_str());
    c->route_total = total;
  } else if (!c->route) {
    set_gblerr(ERR_BAD_FILE);  // a continuation without its first sentence
    return;
  } else if (total != c->route_total) {
    return;
  }
  const std::vector<std::string> rest(f.begin() + 4, f.end());
  if (kind.empty() || kind[0] != 'c') {
    if (!rest.empty()) mbs_to_wcs(rest[0].c_str(), &c->route->comment);
    return;
  }
  // An odd count: the last field is the route's name (as the receivers write it).
  size_t end = rest.size();
  if (end % 2 == 1) {
    --end;
    if (!rest[end].empty()) mbs_to_wcs(rest[end].c_str(), &c->route->name);
  } else if (number == 1) {
    mbs_to_wcs(f[3].c_str(), &c->route->name);
  }
  // Name and icon pairs: four fields or more in the first sentence; its continuations
  // keep the way it was written.
  if (number == 1) c->route_pairs = end >= 4;
  const bool pairs = c->route_pairs && end % 2 == 0;
  for (size_t i = 0; i < end; i += pairs ? 2 : 1) {
    if (rest[i].empty()) continue;
    append_point(c, rest[i].c_str(), pairs ? rest[i + 1].c_str() : nullptr);
  }
}

constexpr nmea_handler kReaderHandlers[MGN_SENTENCES] = {nullptr,    nullptr,     on_route, on_trackpoint,
                                                         on_version, on_waypoint, nullptr};

void place_objects(obj_t* file, container_t* list) {
  georef_create(list, nullptr);
  gpsobj_remove_empty_routes(list);
  if (!file_of(file) || get_gblerr()) return;
  folder_get_or_create(file, list, 0, nullptr);
  gpsobj_attach_icons(list, CLS_WAYPOINT);
  file_default_label_styles(file, CLS_WAYPOINT, 0, 30000, 2000.0, 400.0, 0);
  if (get_gblerr()) return;
  file_default_track_styles(file, 1, 1000.0);
  if (get_gblerr()) return;
  file_default_route_styles(file, CLS_ROUTE, 1, 1000.0);
}

}  // namespace

void magellan_log_free() {
  container_t* d = g_dict.exchange(nullptr);
  free_obj(&d);
}

void magellan_log_register() {
  magellan_log_free();
  for (tag_t& t : g_table) t.id = 0;
  container_t* dict = nullptr;
  if (dict_build(int(sizeof g_table / sizeof g_table[0]), g_table, &dict) != 0) {
    free_obj(&dict);
    return;
  }
  g_dict.store(dict, std::memory_order_release);
}

container_t* magellan_dict() { return g_dict.load(std::memory_order_acquire); }

int magellan_symbol(const char* icon, long product) {
  if (!icon || !icon[0]) return 0;
  int index = (icon[0] - 'a') + (icon[1] ? icon[1] - 96 : 0);
  if (index < 0) index = 0;
  const int* table = nullptr;
  int last = -1;
  if ((product >= 0 && product <= 4) || product == 6) {
    table = kFirstTable, last = 20;
  } else if (product == 5) {
    table = kSecondTable, last = 18;
  } else if (product == 7) {
    table = kThirdTable, last = 10;
  }
  if (!table || index > last) return 0;  // products without a table: symbol 0
  return table[index];
}

int magellan_log_read(obj_t* file, container_t* list) {
  if (rd_open(file, kLogBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  if (!magellan_dict()) magellan_log_register();
  magellan_log_ctx c;
  c.layer = list;
  nmea_parser* parser = nullptr;
  if (nmea_parser_new(magellan_dict(), kReaderHandlers, MGN_SENTENCES, &c, nullptr, 80, nullptr, &parser) != 0) {
    const int err = get_gblerr();
    set_gblerr(0);
    return err ? err : ERR_MEMORY;
  }
  char line[kLogLineMax + 3];
  while (get_gblerr() == 0 && rd_bytes_left() > 0) {
    core_progress_file_position("Magellan");
    int n = 0;
    // One line: at most 100 characters kept, the rest of a longer line dropped.
    while (rd_bytes_left() > 0) {
      const int b = rd_read_byte();
      if (get_gblerr()) break;
      if (b == '\n' || b == '\r') break;
      if (n < kLogLineMax) {
        line[n++] = char(b);
      }
    }
    if (get_gblerr()) break;
    if (n == 0) continue;
    line[n++] = '\r';
    line[n++] = '\n';
    nmea_feed(reinterpret_cast<const uint8_t*>(line), n, parser);
  }
  nmea_parser_free(&parser);
  int err = get_gblerr();
  if (err == 0) {
    place_objects(file, list);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}

void magellan_files_init() { register_format_reader(37, magellan_log_read); }
